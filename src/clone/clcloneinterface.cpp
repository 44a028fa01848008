#include "clone/clcloneinterface.h"

#include <chrono>

namespace tvd {

namespace {

std::u16string Widen(std::string_view text) {
    // The program's messages are ASCII: each byte becomes one code unit.
    std::u16string w;
    w.reserve(text.size());
    for (char c : text)
        w.push_back(char16_t(std::uint8_t(c)));
    return w;
}

} // namespace

std::uint64_t clCustomCloneInterface::Ticks() const {
    return std::uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now().time_since_epoch())
                             .count());
}

std::shared_ptr<clStep> clCustomCloneInterface::GetStep() const {
    std::lock_guard lock(stepLock_);
    return step_;
}

void clCustomCloneInterface::SetStep(std::shared_ptr<clStep> step) {
    std::lock_guard lock(stepLock_);
    step_ = std::move(step);
}

void clCloneInterface::Write(CloneLineKind kind, std::u16string_view text) {
    if (!file_.IsOpen()) return;
    file_.Write(CloneLogLineBytes(CloneLocalTimeNow(), kind, text));
}

void clCloneInterface::LogLine(std::string_view text) {
    Write(CloneLineKind::kPlain, Widen(text));
}
void clCloneInterface::LogLineW(std::u16string_view text) {
    Write(CloneLineKind::kPlain, text);
}
void clCloneInterface::LogNote(std::string_view text) {
    Write(CloneLineKind::kNote, Widen(text));
}
void clCloneInterface::LogNoteW(std::u16string_view text) {
    Write(CloneLineKind::kNote, text);
}
void clCloneInterface::LogError(std::string_view text) {
    Write(CloneLineKind::kError, Widen(text));
}
void clCloneInterface::LogErrorW(std::u16string_view text) {
    Write(CloneLineKind::kError, text);
}

ErrorCode clCloneInterface::LogOpen() {
    std::lock_guard lock(logLock);
    errorCount = 0;
    if (file_.IsOpen()) return err::kSuccess;
    std::u16string base = logBase_;
    if (base.empty()) {
        const ErrorCode e = CloneLogBaseFolder(base);
        if (e != err::kSuccess) return e;
    }
    return file_.Create(base, CloneLocalTimeNow());
}

void clCloneInterface::LogClose() {
    std::lock_guard lock(logLock);
    file_.Close();
}

ErrorCode clCloneInterface::LogDiscard() {
    std::lock_guard lock(logLock);
    return file_.Discard();
}

} // namespace tvd
