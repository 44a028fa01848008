#include "clone/kernelclonefun.h"

#include <atomic>
#include <chrono>
#include <new>

#include "foundation/errtextutil.h"
#include "foundation/textconvutil.h"

namespace tvd {

namespace {

std::unique_ptr<clCustomCloneInterface> g_owner;
std::atomic<clCustomCloneInterface*> cloneInterface{nullptr};

enum class Line { kPlain, kNote, kError };

template <class Fmt>
void Log(Line kind, bool wide, Fmt format, std::initializer_list<CloneArg> args) {
    clCustomCloneInterface* ci = cloneInterface.load();
    if (!ci) return;
    std::lock_guard lock(ci->logLock);
    ci->messageText =
        CloneFormat(format, std::span<const CloneArg>(args.begin(), args.size()), kCloneMessageMax);
    if (kind == Line::kError) ++ci->errorCount;
    const std::u16string& t = ci->messageText;
    const auto logWide = [&] {
        switch (kind) {
        case Line::kPlain:
            ci->LogLineW(t);
            break;
        case Line::kNote:
            ci->LogNoteW(t);
            break;
        case Line::kError:
            ci->LogErrorW(t);
            break;
        }
    };
    if (wide) {
        logWide();
    } else {
        // A narrow message whose arguments were all ASCII stays narrow for the virtuals.
        std::string narrow;
        bool ascii = true;
        for (char16_t u : t) {
            if (u > 0x7F) ascii = false;
            narrow.push_back(char(u));
        }
        if (!ascii) {
            logWide();
            return;
        }
        switch (kind) {
        case Line::kPlain:
            ci->LogLine(narrow);
            break;
        case Line::kNote:
            ci->LogNote(narrow);
            break;
        case Line::kError:
            ci->LogError(narrow);
            break;
        }
    }
}

} // namespace

clCustomCloneInterface* CloneInterface() {
    return cloneInterface.load();
}

bool CloneInterfaceStart() {
    if (cloneInterface.load()) return true;
    auto ci = std::unique_ptr<clCustomCloneInterface>(new (std::nothrow) clCloneInterface);
    if (!ci) return false;
    CloneInterfaceReplace(std::move(ci));
    return true;
}

void CloneInterfaceStop() {
    CloneInterfaceReplace(nullptr);
}

std::unique_ptr<clCustomCloneInterface>
CloneInterfaceReplace(std::unique_ptr<clCustomCloneInterface> next) {
    std::unique_ptr<clCustomCloneInterface> old = std::move(g_owner);
    g_owner = std::move(next);
    cloneInterface.store(g_owner.get());
    if (auto* ci = ZoltCast<clCloneInterface>(old.get())) ci->LogClose();
    return old;
}

std::uint64_t CloneTicks() {
    if (clCustomCloneInterface* ci = cloneInterface.load()) return ci->Ticks();
    return std::uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now().time_since_epoch())
                             .count());
}

void CloneLogV(std::string_view f, std::initializer_list<CloneArg> a) {
    Log(Line::kPlain, false, f, a);
}
void CloneLogWV(std::u16string_view f, std::initializer_list<CloneArg> a) {
    Log(Line::kPlain, true, f, a);
}
void CloneNoteV(std::string_view f, std::initializer_list<CloneArg> a) {
    Log(Line::kNote, false, f, a);
}
void CloneNoteWV(std::u16string_view f, std::initializer_list<CloneArg> a) {
    Log(Line::kNote, true, f, a);
}
void CloneErrorV(std::string_view f, std::initializer_list<CloneArg> a) {
    Log(Line::kError, false, f, a);
}
void CloneErrorWV(std::u16string_view f, std::initializer_list<CloneArg> a) {
    Log(Line::kError, true, f, a);
}

std::string CloneFormatNarrow(std::string_view format, std::initializer_list<CloneArg> args) {
    return Utf16ToUtf8(CloneFormat(format, std::span<const CloneArg>(args.begin(), args.size()),
                                   kCloneMessageMax));
}

std::u16string CloneSystemText(std::uint32_t code) {
    std::u16string text = ErrorTextW(code, 1033);
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' '))
        text.pop_back();
    // The fall-back wording stands for "no text".
    const std::string fallback = "Error " + std::to_string(code);
    if (text == std::u16string(fallback.begin(), fallback.end())) text.clear();
    return text;
}

void CloneNoteCode(std::string_view text, std::uint32_t code) {
    const std::u16string sys = CloneSystemText(code);
    if (sys.empty())
        CloneNote("%s, Error(%i)", text, code);
    else
        CloneNote("%s, Error(%i) %s", text, code, sys);
}

void CloneErrorCode(std::string_view text, std::uint32_t code) {
    const std::u16string sys = CloneSystemText(code);
    if (sys.empty())
        CloneError("%s, Error(%i)", text, code);
    else
        CloneError("%s, Error(%i) %s", text, code, sys);
}

void CloneErrorCodeW(std::u16string_view tag, std::u16string_view text, std::uint32_t code) {
    const std::u16string sys = CloneSystemText(code);
    if (sys.empty())
        CloneErrorW(u"[%s] - %s, Error(%i)", tag, text, code);
    else
        CloneErrorW(u"[%s] - %s, Error(%i) %s", tag, text, code, sys);
}

void CloneErrorTagW(std::u16string_view tag, std::u16string_view text) {
    CloneErrorW(u"[%s] - %s", tag, text);
}

void CloneBegin() {
    if (clCustomCloneInterface* ci = cloneInterface.load()) {
        ci->running = true;
        ci->aborted = false;
    }
}

void CloneEnd() {
    if (clCustomCloneInterface* ci = cloneInterface.load()) ci->running = false;
}

void CloneSetStage(std::uint32_t stage) {
    if (clCustomCloneInterface* ci = cloneInterface.load()) ci->stage = stage;
}

std::uint32_t CloneGetStage() {
    clCustomCloneInterface* ci = cloneInterface.load();
    return ci ? ci->stage.load() : 0;
}

bool CloneCreateStep() {
    clCustomCloneInterface* ci = cloneInterface.load();
    if (!ci) return false;
    std::shared_ptr<clStep> step(new (std::nothrow) clStep);
    if (!step) return false;
    ci->SetStep(std::move(step));
    return true;
}

std::shared_ptr<clStep> CloneGetStep() {
    clCustomCloneInterface* ci = cloneInterface.load();
    return ci ? ci->GetStep() : nullptr;
}

bool CloneIsCancelled() {
    clCustomCloneInterface* ci = cloneInterface.load();
    if (!ci) return false;
    if (ci->aborted.load()) return true;
    const std::shared_ptr<clStep> step = ci->GetStep();
    return step && IsCancelled(step.get());
}

void CloneAbort() {
    clCustomCloneInterface* ci = cloneInterface.load();
    if (!ci) return;
    Cancel(ci->GetStep().get());
    ci->aborted = true;
    CloneErrorCode("Clone Aborted", 1223);
}

std::uint32_t CloneErrorCount() {
    clCustomCloneInterface* ci = cloneInterface.load();
    return ci ? ci->errorCount.load() : 0;
}

ErrorCode CloneLogOpen() {
    auto* ci = ZoltCast<clCloneInterface>(cloneInterface.load());
    return ci ? ci->LogOpen() : err::kFileNotFound;
}

void CloneLogClose() {
    if (auto* ci = ZoltCast<clCloneInterface>(cloneInterface.load())) ci->LogClose();
}

ErrorCode CloneLogDiscard() {
    auto* ci = ZoltCast<clCloneInterface>(cloneInterface.load());
    return ci ? ci->LogDiscard() : err::kFileNotFound;
}

void CloneSetLogBase(const std::u16string& folder) {
    if (auto* ci = ZoltCast<clCloneInterface>(cloneInterface.load())) ci->SetLogBase(folder);
}

} // namespace tvd
