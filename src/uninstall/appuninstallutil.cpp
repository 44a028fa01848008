#include "uninstall/appuninstallutil.h"

#include "foundation/regutil.h"
#include "uninstall/uninstallnames.h"

namespace tvd::uninstall {

namespace {

bool IsNotFound(ErrorCode e) {
    return e == err::kFileNotFound || e == err::kPathNotFound;
}

std::u16string Lnk(const std::u16string& folder, const std::u16string& name) {
    return JoinPath(folder, name + u".LNK");
}

void DeleteRunValue(RegRoot root, RegView view) {
    Registry().DeleteValue(root, kRunKey, kRunValue, view);
}

} // namespace

std::u16string JoinPath(const std::u16string& folder, const std::u16string& name) {
    if (folder.empty()) return name;
    if (folder.back() == u'\\') return folder + name;
    return folder + u'\\' + name;
}

std::u16string AppDataFolderOf(const RemovalPlaces& places) {
    return JoinPath(JoinPath(places.commonAppData, kVendorDataFolder), kProductKeyName);
}

ErrorCode CloseMainProgram(RemovalPlatform& platform) {
    for (int attempt = 0; attempt < kMainCloseAttempts; ++attempt) {
        if (!platform.RequestMainProgramClose()) return err::kSuccess;
        platform.WaitMainProgramEnd(kMainCloseWaitMs);
        if (platform.Cancelled()) return err::kCancelled;
    }
    // The last wait may have seen it end.
    if (!platform.RequestMainProgramClose()) return err::kSuccess;
    return static_cast<ErrorCode>(msg::kMainProgramBusy);
}

ErrorCode RunRemovalSteps(RemovalPlatform& platform, const RemovalPlaces& places) {
    platform.ClearCancelled();
    platform.Progress(10);
    // Nothing is removed while the main program's process lives: its shutdown waits for a
    // running job and its file stays open until then.
    if (ErrorCode e = CloseMainProgram(platform)) return e;

    platform.Progress(30);
    if (platform.Cancelled()) return err::kCancelled;

    // Start-up items; results are not checked.
    const std::u16string& install = places.installFolder;
    platform.RemoveFile(JoinPath(install, std::u16string(kProductKeyName) + u".xml"));
    platform.RunAndWait(JoinPath(places.toolFolder, u"schtasks.exe"),
                        u"/delete /tn \"" + std::u16string(kProductName) + u"\" /F");
    DeleteRunValue(RegRoot::kLocalMachine, RegView::k64);
    DeleteRunValue(RegRoot::kLocalMachine, RegView::k32);
    DeleteRunValue(RegRoot::kCurrentUser, RegView::kDefault);
    platform.RemoveFile(Lnk(places.startupFolder, kShortcutName));
    if (platform.Cancelled()) return err::kCancelled;

    // Shortcuts: a failure other than "not found" stops the steps.
    const std::u16string menuFolder = JoinPath(places.programsFolder, kCompanyFolder);
    auto shortcut = [&platform](const std::u16string& path) -> ErrorCode {
        const ErrorCode e = platform.RemoveFile(path);
        if (e != err::kSuccess && !IsNotFound(e)) return e;
        return platform.Cancelled() ? err::kCancelled : err::kSuccess;
    };
    platform.Progress(35);
    if (ErrorCode e = shortcut(Lnk(places.desktopFolder, kShortcutName))) return e;
    platform.Progress(36);
    platform.Progress(37);
    if (ErrorCode e = shortcut(Lnk(menuFolder, kShortcutName))) return e;
    platform.Progress(38);
    if (ErrorCode e = shortcut(Lnk(menuFolder, kUninstallShortcutName))) return e;
    platform.Progress(39);
    platform.RemoveEmptyFolder(menuFolder);

    platform.Progress(40);
    const ErrorCode mainFile = platform.RemoveFile(JoinPath(install, kMainProgramFile));
    if (mainFile != err::kSuccess && !IsNotFound(mainFile)) return mainFile;

    platform.Progress(50);
    if (platform.Cancelled()) return err::kCancelled;

    // From here on the steps run to the end; a Cancel now only keeps the Final page away.
    platform.Progress(60);
    RegDeleteKeyTree(RegRoot::kLocalMachine, kUninstallKey, RegView::k64);
    RegDeleteKeyTree(RegRoot::kLocalMachine, kUninstallKey, RegView::k32);

    platform.Progress(70);
    const std::u16string appData = AppDataFolderOf(places);
    platform.DeleteFolderContents(appData);
    if (platform.RemoveEmptyFolder(appData) == err::kSuccess)
        platform.RemoveEmptyFolder(JoinPath(places.commonAppData, kVendorDataFolder));

    platform.Progress(80);
    platform.Progress(90);
    platform.NotifyFolderChanged(places.desktopFolder);
    return err::kSuccess;
}

RemovalOutcome DecideOutcome(ErrorCode result, bool cancelled) {
    if (result == err::kCancelled) return RemovalOutcome::kStartPage;
    if (result == err::kSuccess)
        return cancelled ? RemovalOutcome::kStartPage : RemovalOutcome::kFinalPage;
    return RemovalOutcome::kErrorThenStart;
}

int SilentExitCode(ErrorCode result, bool cancelled) {
    if (result != err::kSuccess) return static_cast<int>(result);
    return cancelled ? static_cast<int>(err::kCancelled) : 0;
}

} // namespace tvd::uninstall
