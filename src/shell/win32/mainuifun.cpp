#include "shell/win32/mainuifun.h"

#include <commctrl.h>
#include <shellapi.h>

#include <memory>
#include <vector>

#include "drive/fundisksutil.h"
#include "drive/kernelfun.h"
#include "foundation/envutil.h"
#include "foundation/textconvutil.h"
#include "shell/controls/win32/wincontrols.h"
#include "shell/appdatafolder.h"
#include "shell/languagetables.h"
#include "shell/stagedstartutil.h"
#include "shell/win32/formloadingutil.h"
#include "shell/win32/formsmartwin.h"
#include "shell/win32/frmdrivedetail.h"
#include "shell/win32/frmmain.h"
#include "shell/win32/mainuitestutil.h"
#include "shell/win32/tapplicationutil.h"
#include "shell/win32/tformutil.h"
#include "storage/sim/simstorage.h"

namespace tvd::win {

namespace {

enum class TimerPhase { kNone, kStagedStart, kTick };
TimerPhase g_phase = TimerPhase::kNone;
bool g_kernelStarted = false;
bool g_shutDown = false;
bool g_startFailed = false;

void SetMainTimer(TimerPhase phase) {
    g_phase = phase;
    if (HWND w = MainWindow()) SetTimer(w, kMainTimerId, 100, nullptr);
}

void KillMainTimer() {
    g_phase = TimerPhase::kNone;
    if (HWND w = MainWindow()) KillTimer(w, kMainTimerId);
}

class WinStartHost final : public StartHost {
public:
    void ReportProgress(int value) override { SplashProgress(value); }
    void PrepareErrorBox() override {
        CloseSplash();
        ShowMainWindow();
    }
    void ShowErrorById(int id) override { ShowErrorId(id); }
    void RequestClose() override {
        if (MainShell* s = Shell()) s->RequestClose();
    }
};

std::u16string Utf16(const std::string& s) {
    return Utf8ToUtf16(s);
}

std::vector<StartStage> StartTable(WinStartHost& host) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    std::vector<StartStage> t;
    t.push_back({"a", StageFailure::kNever, -1, [] {
                     ShowWindow(MainWindow(), SW_HIDE);
                     PumpMessages();
                     return true;
                 }});
    t.push_back({"b", StageFailure::kMemory, -1, [instance] { return BuildSplash(instance); }});
    t.push_back({"c", StageFailure::kNever, 10, [] {
                     ShowSplash();
                     return true;
                 }});
    t.push_back({"d", StageFailure::kMemory, 20, [] {
                     // Config.ini lives in the data folder; a folder that cannot be made
                     // leaves the user's language.
                     EnsureAppDataFolder();
                     return LoadLanguageTables();
                 }});
    t.push_back({"e", StageFailure::kNever, -1, [instance] {
                     // Without the application's box the system's boxes serve.
                     BuildMessageBox(instance);
                     return true;
                 }});
    t.push_back({"f", StageFailure::kMemory, 30, [] {
                     if (!BuildMainContents()) return false;
                     ApplyLanguage();
                     return true;
                 }});
    // The child windows of the pages join here as rows "g.NAME".
    t.push_back({"g", StageFailure::kMemory, 60, [] { return true; }});
    t.push_back(
        {"g.drivedetail", StageFailure::kMemory, -1, [] { return BuildDriveDetailWindow(); }});
    t.push_back({"g.smart", StageFailure::kMemory, -1, [] { return BuildSmartWindow(); }});
    t.push_back({"h", StageFailure::kNever, 70, [] {
                     ApplyLanguage();
                     return true;
                 }});
    t.push_back({"i", StageFailure::kMemory, 80, [] {
                     g_kernelStarted = KernelStart(MainWindow());
                     return g_kernelStarted;
                 }});
    t.push_back(
        {"j", StageFailure::kOwnMessage, 90, [&host] {
             const EnvRecord& env = DetectOs();
             if (OsSupported(env.arch, env.osCode)) return true;
             host.PrepareErrorBox();
             ShowErrorText(MessageFormat(msgid::kNotSupportedOn, {u"Tarvik", Utf16(env.osName)}));
             return false;
         }});
    t.push_back({"k", StageFailure::kNever, 100, [] {
                     FunDiskBusPoll();
                     PumpMessages();
                     return true;
                 }});
    t.push_back({"l", StageFailure::kNever, -1, [] {
                     CloseSplash();
                     ShowMainWindow();
                     return true;
                 }});
    t.push_back({"m", StageFailure::kNever, -1, [] {
                     if (MainShell* s = Shell())
                         if (!s->Pages().empty()) s->Pages().front()->MenuClicked();
                     return true;
                 }});
    t.push_back({"n", StageFailure::kNever, -1, [] {
                     if (MainShell* s = Shell()) s->SetStarted(true);
                     SetMainTimer(TimerPhase::kTick);
                     return true;
                 }});
    return t;
}

void RunStart() {
    MainShell* shell = Shell();
    WinStartHost host;
    // The start pumps messages: a close request meanwhile waits for its end.
    NestedLoopScope loop(shell);
    g_startFailed = !RunStagedStart(StartTable(host), host).finished;
}

std::wstring ArgAfter(int argc, wchar_t** argv, int& i) {
    return i + 1 < argc ? std::wstring(argv[++i]) : std::wstring();
}

MainOptions ParseCommandLine() {
    MainOptions o;
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return o;
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (i == 1 && IsRestartArgument(std::u16string(a.begin(), a.end())))
            o.restart = true;
        else if (a == L"--simulate")
            o.simulate = ArgAfter(argc, argv, i);
        else if (a == L"--ui-test")
            o.uiTest = ArgAfter(argc, argv, i);
    }
    LocalFree(argv);
    return o;
}

std::string Narrow(const std::wstring& w) {
    return Utf16ToUtf8(std::u16string(w.begin(), w.end()));
}

} // namespace

void StartStagedStart() {
    // Once per process: the window is activated again when the start shows it.
    static bool requested = false;
    if (requested || g_shutDown) return;
    requested = true;
    SetMainTimer(TimerPhase::kStagedStart);
}

void OnMainTimer() {
    switch (g_phase) {
    case TimerPhase::kStagedStart:
        KillMainTimer(); // the start runs once
        RunStart();
        break;
    case TimerPhase::kTick:
        if (MainShell* s = Shell()) s->Tick();
        break;
    case TimerPhase::kNone:
        break;
    }
}

void Shutdown() {
    if (g_shutDown) return;
    g_shutDown = true;
    KillMainTimer();
    if (HWND w = MainWindow()) UiTestStop(w);
    if (MainShell* s = Shell()) {
        s->SetStarted(false);
        s->SwitchPage(nullptr);
        s->ReleaseDisks();
    }
    // The selector's entries go before the registry lets go of its disks.
    FunDisksSetHandlers({});
    KernelFinalize();
    g_kernelStarted = false;
}

int RunTarvikdornMain(HINSTANCE instance) {
    const MainOptions options = ParseCommandLine();
    WinInstancePlatform lock;
    if (DecideInstanceStart(options.restart, lock) == StartDecision::kExit) return 0;

    std::unique_ptr<SimStorage> sim;
    if (!options.simulate.empty()) {
        ErrorCode e = err::kSuccess;
        sim = SimStorage::Create(Narrow(options.simulate), e, SimImages::kPrepare);
        if (!sim) return 2;
        SelectStorage(sim.get());
    }

    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    // The controls' windows end the program as the main window's do.
    SetWindowFaultHandler([] { FatalError(); });
    FunDisksSetHandlers(
        {[](clFunDisk* fd) { NotifyDiskAdded(fd); }, [](clFunDisk* fd) { NotifyDiskRemoved(fd); }});

    HWND main = CreateMainWindow(instance, options);
    if (!main) {
        ShowErrorId(msgid::kMemoryAllocationFailed);
        return 1;
    }
    if (!options.uiTest.empty()) UiTestStart(main, options.uiTest);
    ShowWindow(main, SW_SHOWNA);
    // The start waits for the first activation; a window that is not activated (no desktop
    // focus) starts anyway.
    StartStagedStart();

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    Shutdown();
    SetActiveShell(nullptr);
    if (sim) SelectStorage(nullptr);
    return g_startFailed ? 1 : static_cast<int>(msg.wParam);
}

} // namespace tvd::win
