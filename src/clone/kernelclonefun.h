// The clone context as the rest of the program reaches it: the kernel global made in KernelStart
// and freed in KernelFinalize, the logging functions every part of a clone uses, and the
// context operations. All of them do nothing (or answer none) while there is no context.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "clone/clcloneinterface.h"
#include "clone/cloneformat.h"

namespace tvd {

// The context; null before KernelStart and after KernelFinalize.
clCustomCloneInterface* CloneInterface();
// KernelStart: makes the program's clCloneInterface (false when it cannot be made).
bool CloneInterfaceStart();
void CloneInterfaceStop();
// Puts another context in place (tests); returns the previous one.
std::unique_ptr<clCustomCloneInterface>
CloneInterfaceReplace(std::unique_ptr<clCustomCloneInterface> next);

// Monotonic milliseconds of the context (a steady clock when there is none).
std::uint64_t CloneTicks();

// Logging. The format is a constant text of the program; everything else is an argument.
void CloneLogV(std::string_view format, std::initializer_list<CloneArg> args);
void CloneLogWV(std::u16string_view format, std::initializer_list<CloneArg> args);
void CloneNoteV(std::string_view format, std::initializer_list<CloneArg> args);
void CloneNoteWV(std::u16string_view format, std::initializer_list<CloneArg> args);
void CloneErrorV(std::string_view format, std::initializer_list<CloneArg> args);
void CloneErrorWV(std::u16string_view format, std::initializer_list<CloneArg> args);

template <class... A> void CloneLog(std::string_view f, const A&... a) {
    CloneLogV(f, {CloneArg(a)...});
}
template <class... A> void CloneLogW(std::u16string_view f, const A&... a) {
    CloneLogWV(f, {CloneArg(a)...});
}
template <class... A> void CloneNote(std::string_view f, const A&... a) {
    CloneNoteV(f, {CloneArg(a)...});
}
template <class... A> void CloneNoteW(std::u16string_view f, const A&... a) {
    CloneNoteWV(f, {CloneArg(a)...});
}
template <class... A> void CloneError(std::string_view f, const A&... a) {
    CloneErrorV(f, {CloneArg(a)...});
}
template <class... A> void CloneErrorW(std::u16string_view f, const A&... a) {
    CloneErrorWV(f, {CloneArg(a)...});
}
// A narrow text formatted like a log line (for a text handed on to CloneErrorCode).
std::string CloneFormatNarrow(std::string_view format, std::initializer_list<CloneArg> args);
// "text, Error(code) system text", or without the system text when the code has none.
void CloneNoteCode(std::string_view text, std::uint32_t code);
void CloneErrorCode(std::string_view text, std::uint32_t code);
// "[tag] - text, Error(code) system text" / "[tag] - text".
void CloneErrorCodeW(std::u16string_view tag, std::u16string_view text, std::uint32_t code);
void CloneErrorTagW(std::u16string_view tag, std::u16string_view text);
// The system's text of an error number (US English), empty when it has none.
std::u16string CloneSystemText(std::uint32_t code);

// Context operations.
void CloneBegin();
void CloneEnd();
void CloneSetStage(std::uint32_t stage);
std::uint32_t CloneGetStage();
bool CloneCreateStep();
std::shared_ptr<clStep> CloneGetStep();
bool CloneIsCancelled();
// From the window's thread: cancel the root step, mark aborted, log "Clone Aborted" (1223).
void CloneAbort();
std::uint32_t CloneErrorCount();

// The log file of the program's context.
ErrorCode CloneLogOpen();
void CloneLogClose();
ErrorCode CloneLogDiscard();
// Where log folders go (the command line's --log-dir); empty: the desktop.
void CloneSetLogBase(const std::u16string& folder);

} // namespace tvd
