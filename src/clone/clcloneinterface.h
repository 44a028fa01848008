// The clone context: the one program-wide object through which every part of a clone writes its
// log lines, counts errors, publishes its stage and learns that the user cancelled. The job
// thread logs while the window's thread may write the abort line: one lock covers each
// format-and-write, and the flags and counters the window reads are atomic.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "clone/clonelogfileutil.h"
#include "clone/clstep.h"
#include "foundation/bytesutil.h"
#include "foundation/clzoltitem.h"

namespace tvd {

namespace clonestage {
inline constexpr std::uint32_t kIdle = 0;
inline constexpr std::uint32_t kPrepare = 1;
inline constexpr std::uint32_t kSnapshot = 2;
inline constexpr std::uint32_t kCopy = 3;
} // namespace clonestage

// Characters of one message; a longer one is cut.
inline constexpr std::size_t kCloneMessageMax = 1023;

class clCustomCloneInterface {
public:
    TVD_ISA_ROOT(clCustomCloneInterface)
    clCustomCloneInterface() = default;
    clCustomCloneInterface(const clCustomCloneInterface&) = delete;
    clCustomCloneInterface& operator=(const clCustomCloneInterface&) = delete;
    virtual ~clCustomCloneInterface() = default;

    virtual bool IsReady() const { return false; }
    // One line each; nothing in the base.
    virtual void LogLine(std::string_view) {}
    virtual void LogLineW(std::u16string_view) {}
    virtual void LogNote(std::string_view) {}
    virtual void LogNoteW(std::u16string_view) {}
    virtual void LogError(std::string_view) {}
    virtual void LogErrorW(std::u16string_view) {}
    // After every successful read of source sectors through the disk.
    virtual void OnSourceSectorsRead(ByteView, std::uint64_t, std::uint64_t) {}
    // Milliseconds of a monotonic clock.
    virtual std::uint64_t Ticks() const;

    std::u16string messageText; // the formatted message (cut at kCloneMessageMax)
    std::atomic<bool> aborted{false};
    std::atomic<std::uint32_t> stage{clonestage::kIdle};
    std::atomic<bool> running{false};
    std::atomic<std::uint32_t> errorCount{0};
    // Held by the logging functions around each format-and-write.
    std::mutex logLock;

    std::shared_ptr<clStep> GetStep() const;
    void SetStep(std::shared_ptr<clStep> step);

private:
    mutable std::mutex stepLock_;
    std::shared_ptr<clStep> step_;
};

// The instance the program uses: lines go to the clone log file.
class clCloneInterface : public clCustomCloneInterface {
public:
    TVD_ISA(clCloneInterface, clCustomCloneInterface)
    bool IsReady() const override { return true; }
    void LogLine(std::string_view text) override;
    void LogLineW(std::u16string_view text) override;
    void LogNote(std::string_view text) override;
    void LogNoteW(std::u16string_view text) override;
    void LogError(std::string_view text) override;
    void LogErrorW(std::u16string_view text) override;

    // Opens the log in a new folder under the base folder (the desktop unless one was set);
    // a log already open stays in use.
    ErrorCode LogOpen();
    void LogClose();
    // Deletes the log and its folder.
    ErrorCode LogDiscard();
    // Where log folders go from now on (empty: the desktop).
    void SetLogBase(const std::u16string& folder) { logBase_ = folder; }
    const std::u16string& LogFolder() const { return file_.Folder(); }
    const std::u16string& LogPath() const { return file_.Path(); }

private:
    void Write(CloneLineKind kind, std::u16string_view text);
    CloneLogFile file_;
    std::u16string logBase_;
};

} // namespace tvd
