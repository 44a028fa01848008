// The removal of the installed product, as a sequence over a few platform operations: the
// sequence (order, progress values, cancel points, outcomes) is the same everywhere, the
// operations are the platform's.
#pragma once
#include <cstdint>
#include <string>

#include "foundation/errorcodes.h"

namespace tvd::uninstall {

// Folders the steps work in, found once before they start.
struct RemovalPlaces {
    std::u16string installFolder;
    std::u16string desktopFolder;  // all-users Desktop
    std::u16string startupFolder;  // all-users Startup
    std::u16string programsFolder; // all-users Start-menu Programs
    std::u16string commonAppData;  // common application data
    std::u16string toolFolder;     // the native system folder (schtasks.exe)
};

class RemovalPlatform {
public:
    virtual ~RemovalPlatform() = default;
    // Looks for the main program's window; when there is one, posts it one close request and
    // keeps hold of the process that owns it. True while that window exists or the process
    // kept from an earlier call still runs.
    virtual bool RequestMainProgramClose() = 0;
    // Waits up to `ms` for the kept process to end, pumping messages; true once it has ended
    // (or when no process is kept).
    virtual bool WaitMainProgramEnd(std::uint32_t ms) = 0;
    // Clears the attributes, then deletes.
    virtual ErrorCode RemoveFile(const std::u16string& path) = 0;
    virtual ErrorCode RemoveEmptyFolder(const std::u16string& path) = 0;
    // Deletes everything inside `path`, never following a link or junction (a link is removed,
    // its target is left alone); nothing when `path` itself is a link.
    virtual ErrorCode DeleteFolderContents(const std::u16string& path) = 0;
    // Runs `program` with `arguments`, hidden, and waits for it.
    virtual ErrorCode RunAndWait(const std::u16string& program,
                                 const std::u16string& arguments) = 0;
    virtual void NotifyFolderChanged(const std::u16string& path) = 0;
    // Shows the value and pumps messages.
    virtual void Progress(int percent) = 0;
    virtual bool Cancelled() = 0;
    virtual void ClearCancelled() = 0;
};

// About one second per close request, about thirty of them.
inline constexpr std::uint32_t kMainCloseWaitMs = 1000;
inline constexpr int kMainCloseAttempts = 30;

// Asks the main program to close until its process has ended: kCancelled when Cancel was
// pressed during the wait, msg::kMainProgramBusy when it still runs at the bound.
ErrorCode CloseMainProgram(RemovalPlatform& platform);

// The removal. 0 when done; kCancelled (1223) when cancelled at a checkpoint; otherwise the
// error of the step that stopped it (a Windows error number or msg::kMainProgramBusy).
ErrorCode RunRemovalSteps(RemovalPlatform& platform, const RemovalPlaces& places);

// What the wizard does after the steps.
enum class RemovalOutcome {
    kFinalPage,      // done
    kStartPage,      // cancelled: back to the Start page without a message
    kErrorThenStart, // an error box, then the Start page
};
RemovalOutcome DecideOutcome(ErrorCode result, bool cancelled);

// Exit status of "-silent": 0 only when every checked step succeeded and nothing cancelled.
int SilentExitCode(ErrorCode result, bool cancelled);

// Paths of the items, for the platform and the tests.
std::u16string JoinPath(const std::u16string& folder, const std::u16string& name);
std::u16string AppDataFolderOf(const RemovalPlaces& places);

} // namespace tvd::uninstall
