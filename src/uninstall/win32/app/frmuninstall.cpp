// The uninstaller's window: a 500 x 400 wizard of three pages (Start, Progress, Final) with a
// step indicator, drawn with the shell's controls. The window class the single-instance check
// and "-close" look for belongs to a hidden owner window, as an application window owns its
// forms; the wizard frame is the visible window it owns.
#include "uninstall/win32/app/frmuninstall.h"

#include <shellapi.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/envutil.h"
#include "foundation/errtextutil.h"
#include "foundation/textconvutil.h"
#include "foundation/versioninfo.h"
#include "foundation/win32/winhandle.h"
#include "shell/controls/dpiscale.h"
#include "shell/controls/win32/wincontrols.h"
#include "shell/formathelpers.h"
#include "shell/languagetables.h"
#include "shell/singleinstanceutil.h"
#include "shell/win32/mainuitestutil.h"
#include "shell/win32/tformutil.h"
#include "uninstall/appuninstallutil.h"
#include "uninstall/cleanupbatch.h"
#include "uninstall/cluninstallpagelist.h"
#include "uninstall/removalplaces.h"
#include "uninstall/uninstallnames.h"

namespace tvd::uninstall {

// The test mode's timer fired.
void ServeTestRequests();

namespace {

constexpr UINT kMsgStartRemoval = WM_APP + 1;
constexpr UINT_PTR kTestTimerId = 7;
constexpr int kClientWidth = 500;
constexpr int kClientHeight = 400;
constexpr DWORD kCloseWaitMs = 60000;
constexpr Rgb kBlue = 0x005AAB;
constexpr Rgb kDarkBlue = 0x002F7A;
constexpr Rgb kBand = 0xF0F0F0;
constexpr Rgb kTitle = 0x4D4D4D;

// A text of the uninstaller's tables; "%s" is the product name.
std::u16string T(std::int32_t id) {
    std::u16string s = MessageFormat(id, {kProductName});
    if (s.empty()) s = MessageFormat(id, {});
    return s;
}

std::u16string ErrorBoxText(ErrorCode r) {
    if (MessageText(static_cast<std::int32_t>(r))) return T(static_cast<std::int32_t>(r));
    return ErrorTextW(r, UiLanguageId());
}

// Texts that are the same in every language (the caption and version, the percentage).
FontSpec LatinFontSpec(int px) {
    FontSpec s;
    s.face = u"Segoe UI";
    s.heightPx = px;
    return s;
}

FontSpec UiFontSpec(int px, bool bold) {
    const UiFontChoice f = UiFont();
    FontSpec s;
    s.face = f.faceName.empty() ? u"Segoe UI" : f.faceName;
    s.heightPx = px;
    s.bold = bold;
    s.charset = f.charset;
    return s;
}

// --- process-wide state -----------------------------------------------------------------------

HWND g_owner = nullptr;
bool g_silent = false;
std::wstring g_testFolder;

// --- the window ----------------------------------------------------------------------------

class WizardForm;
WizardForm* g_form = nullptr;

class CaptionButton {
public:
    TclBoxCaptionButton* button = nullptr;
    void Create(TclCustomFrame& frame, const std::string& name, bool primary) {
        button = frame.Add<TclBoxCaptionButton>(name);
        button->SetFont(UiFontSpec(12, false));
        button->SetCursor(CursorKind::kHand);
        if (primary) {
            button->SetBoxColours(ButtonLook::kNormal, {0x0079D8, 0x0079D8});
            button->SetBoxColours(ButtonLook::kHot, {0x0079D8, 0x1C8BE4});
            button->SetBoxColours(ButtonLook::kDisabled, {0xBFBFBF, 0xBFBFBF});
            button->SetCaptionColours({kWhite, 0xBFBFBF, kWhite});
        } else {
            button->SetBoxColours(ButtonLook::kNormal, {0xBFBFBF, kBand});
            button->SetBoxColours(ButtonLook::kHot, {0x0079D8, kBand});
            button->SetBoxColours(ButtonLook::kDisabled, {0xBFBFBF, kBand});
            button->SetCaptionColours({kBlack, 0x666666, kBlack});
        }
        button->SetVisible(false);
    }
};

// TclStdProgressBar: a 1-pixel outline, the filled share and the percentage below.
struct ProgressBar {
    TclRectangle* outline = nullptr;
    TclRectangle* fill = nullptr;
    TclLabel* text = nullptr;
    Rect bounds;
    void Create(TclCustomFrame& frame) {
        outline = frame.Add<TclRectangle>("ProgressBar");
        outline->SetPen(1, 0x808080);
        outline->SetFill(kWhite);
        fill = frame.Add<TclRectangle>("ProgressBarFill");
        fill->SetPen(1, kBlue);
        fill->SetFill(kBlue);
        text = frame.Add<TclLabel>("ProgressText");
        text->SetFont(LatinFontSpec(12));
        text->SetAlign(TextAlign::kCentre, false);
    }
    void Place(const Rect& r) {
        bounds = r;
        outline->SetBounds(r);
        text->SetBounds({r.left, r.top + 20, r.width, 18});
    }
    void Set(int percent) {
        percent = percent < 0 ? 0 : percent > 100 ? 100 : percent;
        const int inner = bounds.width - 2;
        const int w = inner * percent / 100;
        fill->SetBounds({bounds.left + 1, bounds.top + 1, w, bounds.height - 2});
        fill->SetVisible(outline->Visible() && w > 0);
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.2f %%", static_cast<double>(percent));
        text->SetText(Utf8ToUtf16(buf));
    }
    void Show(bool v) {
        outline->SetVisible(v);
        text->SetVisible(v);
        fill->SetVisible(v && fill->Bounds().width > 0);
    }
};

struct StepIndicator {
    TclRectangle* boxes[3] = {};
    TclLabel* digits[3] = {};
    TclPicture* arrows[2] = {};
    void Create(TclCustomFrame& frame) {
        int x = 32;
        for (int i = 0; i < 3; ++i) {
            if (i > 0) {
                x += 16;
                arrows[i - 1] = frame.Add<TclPicture>("StepArrow" + std::to_string(i));
                arrows[i - 1]->SetPicture("SETUP_ARROW");
                arrows[i - 1]->SetBounds({x, 100 + (23 - 10) / 2, 12, 10});
                x += 12 + 8;
            }
            boxes[i] = frame.Add<TclRectangle>("Step" + std::to_string(i + 1));
            boxes[i]->SetBounds({x, 100, 23, 23});
            digits[i] = frame.Add<TclLabel>("StepDigit" + std::to_string(i + 1));
            digits[i]->SetBounds({x, 100, 23, 23});
            digits[i]->SetText(std::u16string(1, static_cast<char16_t>(u'1' + i)));
            FontSpec f;
            f.face = u"Arial";
            f.heightPx = 12;
            f.bold = true;
            digits[i]->SetFont(f);
            digits[i]->SetAlign(TextAlign::kCentre, true);
            x += 23;
        }
        Mark(1);
    }
    void Mark(std::int32_t page) {
        for (int i = 0; i < 3; ++i) {
            const bool current = i + 1 == page;
            boxes[i]->SetPen(1, current ? kBlue : kDarkBlue);
            boxes[i]->SetFill(current ? kBlue : kDarkBlue);
            digits[i]->SetColour(current ? kWhite : 0xBFBFBF);
        }
    }
};

class WizardForm : public TclCustomFrame {
public:
    WizardForm() : TclCustomFrame("FormUninstall") {}

    bool Build(const RemovalPlaces& places);
    UninstallFlow& Flow() { return *flow_; }
    clUninstallPageList* Pages() { return pages_.Get(); }
    void SetProgress(int percent) { progress_.Set(percent); }

    // Controls the pages show and hide.
    TclLabel* title = nullptr;
    TclLabel* question = nullptr;
    CaptionButton buttonA, buttonB, buttonC;
    ProgressBar progress_;
    StepIndicator steps;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    RemovalPlaces places_;
    std::unique_ptr<UninstallFlow> flow_;
    ZoltRef<clUninstallPageList> pages_;
};

// --- pages ---------------------------------------------------------------------------------

class clPageUninstallStart : public clAppPage {
public:
    explicit clPageUninstallStart(WizardForm& f) : clAppPage(kStartPage), f_(f) {}
    TVD_ISA(clPageUninstallStart, clAppPage)
    void Enter() override {
        f_.question->SetVisible(true);
        f_.buttonA.button->SetVisible(false);
        f_.buttonC.button->SetCaption(T(msg::kYes));
        f_.buttonC.button->SetOnClick([](TclCustomControl&) { g_form->Flow().OnYes(); });
        f_.buttonC.button->SetVisible(true);
        f_.buttonB.button->SetCaption(T(msg::kNo));
        f_.buttonB.button->SetOnClick([](TclCustomControl&) { g_form->Flow().OnNo(); });
        f_.buttonB.button->SetVisible(true);
    }
    void Leave() override { f_.question->SetVisible(false); }
    void RefreshTexts() override {
        f_.title->SetText(T(msg::kStartTitle));
        f_.question->SetText(T(msg::kStartQuestion));
    }

private:
    WizardForm& f_;
};

class clPageUninstallProgress : public clAppPage {
public:
    explicit clPageUninstallProgress(WizardForm& f) : clAppPage(kProgressPage), f_(f) {}
    TVD_ISA(clPageUninstallProgress, clAppPage)
    bool Create() override {
        f_.progress_.Place({24, 249, 452, 16});
        return true;
    }
    void Enter() override {
        f_.buttonA.button->SetVisible(false);
        f_.buttonC.button->SetVisible(false);
        f_.buttonB.button->SetCaption(T(msg::kCancel));
        f_.buttonB.button->SetOnClick([](TclCustomControl&) { g_form->Flow().OnCancel(); });
        f_.buttonB.button->SetVisible(true);
        f_.SetProgress(0);
        f_.progress_.Show(true);
        // The removal starts from a posted message, once this switch has finished.
    }
    void Leave() override {
        f_.progress_.Show(false);
        f_.buttonB.button->SetOnClick(nullptr);
    }
    void RefreshTexts() override { f_.title->SetText(T(msg::kProgressTitle)); }

private:
    WizardForm& f_;
};

class clPageUninstallFinal : public clAppPage {
public:
    explicit clPageUninstallFinal(WizardForm& f) : clAppPage(kFinalPage), f_(f) {}
    TVD_ISA(clPageUninstallFinal, clAppPage)
    void Enter() override {
        f_.buttonC.button->SetVisible(false);
        f_.buttonB.button->SetCaption(T(msg::kDone));
        f_.buttonB.button->SetOnClick([](TclCustomControl&) { g_form->Flow().OnDone(); });
        f_.buttonB.button->SetVisible(true);
    }
    void RefreshTexts() override { f_.title->SetText(T(msg::kFinalTitle)); }

private:
    WizardForm& f_;
};

// --- building ------------------------------------------------------------------------------

std::u16string VersionText() {
    return Utf8ToUtf16(FormatVersionNumber(TVD_VERSION_NUMBER));
}

bool WizardForm::Build(const RemovalPlaces& places) {
    places_ = places;
    SetBackColour(kWhite);
    auto* border = Add<TclRectangle>("Border");
    border->SetBounds({0, 0, kClientWidth, kClientHeight});
    border->SetPen(1, kTitle);
    border->SetFill(kWhite);

    auto* titleBar = Add<TclRectangle>("TitleBar");
    titleBar->SetBounds({1, 1, kClientWidth - 2, 30});
    titleBar->SetPen(1, kTitle);
    titleBar->SetFill(kTitle);
    auto* mover = Add<TclFormMove>("TitleBarMove");
    mover->SetBounds({1, 1, kClientWidth - 2, 30});
    auto* titleText = Add<TclLabel>("TitleBarText");
    titleText->SetBounds({12, 1, kClientWidth - 24, 30});
    titleText->SetFont(LatinFontSpec(12));
    titleText->SetColour(kWhite);
    titleText->SetAlign(TextAlign::kLeft, true);
    titleText->SetText(FormatText(u"%s  Ver %s", {kWindowCaption, VersionText()}));

    auto* header = Add<TclRectangle>("HeaderBand");
    header->SetBounds({1, 30, kClientWidth - 2, 55});
    header->SetPen(1, kBand);
    header->SetFill(kBand);
    auto* bottom = Add<TclRectangle>("BottomBand");
    bottom->SetBounds({1, kClientHeight - 46, kClientWidth - 2, 45});
    bottom->SetPen(1, kBand);
    bottom->SetFill(kBand);

    auto* icon = Add<TclPicture>("Icon");
    icon->SetPicture("SETUP_ICON48");
    icon->SetBounds({30, 35, 36, 40});
    title = Add<TclLabel>("PageTitle");
    title->SetBounds({80, 50, kClientWidth - 88, 24});
    title->SetFont(UiFontSpec(16, true));
    auto* background = Add<TclPicture>("Background");
    background->SetPicture("SETUP_BACKGROUND");
    background->SetBounds({110, 140, 279, 77});
    steps.Create(*this);

    question = Add<TclLabel>("Question");
    question->SetBounds({64, 233, 372, 40});
    question->SetFont(UiFontSpec(14, false));
    question->SetWordWrap(true);
    question->SetVisible(false);
    progress_.Create(*this);
    progress_.Show(false);

    buttonA.Create(*this, "ButtonA", false);
    buttonA.button->SetBounds({10, 364, 100, 28});
    buttonB.Create(*this, "ButtonB", false);
    buttonB.button->SetBounds({kClientWidth - 10 - 100, 364, 100, 28});
    buttonC.Create(*this, "ButtonC", true);
    buttonC.button->SetBounds({kClientWidth - 10 - 100 - 10 - 100, 364, 100, 28});

    pages_ = ZoltRef<clUninstallPageList>(
        new (std::nothrow) clUninstallPageList([this](std::int32_t n) { steps.Mark(n); }));
    if (!pages_) return false;
    auto add = [this](clCustomPage* page) { return page && pages_->AddPage(page); };
    if (!add(new (std::nothrow) clPageUninstallStart(*this)) ||
        !add(new (std::nothrow) clPageUninstallProgress(*this)) ||
        !add(new (std::nothrow) clPageUninstallFinal(*this)))
        return false;

    UninstallFlow::Hooks hooks;
    hooks.showPage = [this](std::int32_t n) {
        const bool ok = pages_->ShowPage(pages_->PageByNumber(n));
        InvalidateRect(Window(), nullptr, FALSE);
        return ok;
    };
    hooks.postStartRemoval = [this] { PostMessageW(Window(), kMsgStartRemoval, 0, 0); };
    hooks.runRemoval = [this] {
        auto platform = MakeRemovalPlatform(
            places_,
            [this](int p) {
                SetProgress(p);
                UpdateWindow(Window());
            },
            flow_->CancelFlag());
        return platform ? RunRemovalSteps(*platform, places_) : err::kNotSupported;
    };
    hooks.showError = [](ErrorCode r) { win::ShowErrorText(ErrorBoxText(r)); };
    hooks.destroyWindow = [this] { DestroyWindow(Window()); };
    hooks.startCleanup = [this] {
        WriteAndStartCleanupBatch(JoinPath(places_.installFolder, kUninstallerFile),
                                  places_.installFolder);
    };
    flow_ = std::make_unique<UninstallFlow>(std::move(hooks));
    return true;
}

LRESULT WizardForm::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case kMsgStartRemoval:
        flow_->OnStartRemoval();
        return 0;
    case WM_CLOSE:
        if (flow_->OnCloseRequest()) DestroyWindow(Window());
        return 0;
    case WM_PRINTCLIENT:
        // The test mode's capture.
        PaintTo(reinterpret_cast<HDC>(wp));
        return 0;
    case WM_QUERYENDSESSION:
        return flow_->OnCloseRequest() ? TRUE : FALSE;
    case WM_TIMER:
        if (wp == kTestTimerId) {
            ServeTestRequests();
            return 0;
        }
        break;
    case WM_DESTROY:
        KillTimer(Window(), kTestTimerId);
        win::UnregisterControlLister(Window());
        if (g_owner) DestroyWindow(g_owner);
        PostQuitMessage(0);
        break;
    default:
        break;
    }
    return TclCustomFrame::HandleMessage(msg, wp, lp);
}

} // namespace

// --- test mode -----------------------------------------------------------------------------

namespace {

std::vector<win::ControlInfo> ListFormControls(HWND) {
    std::vector<win::ControlInfo> out;
    if (!g_form) return out;
    const int dpi = g_form->Dpi();
    const bool shown = IsWindowVisible(g_form->Window()) != FALSE;
    g_form->ForEachControl([&](const ControlInfo& c) {
        win::ControlInfo d = win::DumpEntry(c, dpi);
        d.visible = d.visible && shown;
        out.push_back(std::move(d));
    });
    return out;
}

std::string State() {
    std::ostringstream o;
    o << "{\"page\":" << (g_form ? g_form->Flow().Page() : 0)
      << ",\"running\":" << (g_form && g_form->Flow().Running() ? "true" : "false")
      << ",\"box\":" << (win::OpenAlertWindow() ? "true" : "false") << "}";
    return o.str();
}

} // namespace

// The test mode (--ui-test DIR): DIR\request holds lines "id TOKEN", "dump NAME" and
// "closebox"; the reply goes to DIR\reply.json.
void ServeTestRequests() {
    const std::wstring request = g_testFolder + L"\\request";
    std::ifstream in(std::filesystem::path(request), std::ios::binary);
    if (!in) return;
    std::stringstream all;
    all << in.rdbuf();
    in.close();
    DeleteFileW(request.c_str());
    std::string id, line;
    bool ok = true;
    while (std::getline(all, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (line.rfind("id ", 0) == 0) {
            id = line.substr(3);
        } else if (line.rfind("dump ", 0) == 0) {
            const std::string name = line.substr(5);
            ok = win::UiTestDump(g_testFolder, std::wstring(name.begin(), name.end())) && ok;
        } else if (line == "closebox") {
            if (HWND box = win::OpenAlertWindow()) PostMessageW(box, WM_CLOSE, 0, 0);
        }
    }
    const std::string reply = "{\"id\":\"" + id + "\",\"ok\":" + (ok ? "true" : "false") +
                              ",\"state\":" + State() + "}\n";
    const std::wstring tmp = g_testFolder + L"\\reply.tmp";
    std::ofstream(std::filesystem::path(tmp), std::ios::binary) << reply;
    MoveFileExW(tmp.c_str(), (g_testFolder + L"\\reply.json").c_str(), MOVEFILE_REPLACE_EXISTING);
}

namespace {

// --- process start -------------------------------------------------------------------------

class UninstallInstance final : public InstancePlatform {
public:
    ~UninstallInstance() override {
        if (mutex_) {
            if (owned_) ReleaseMutex(mutex_);
            CloseHandle(mutex_);
        }
    }
    LockResult TakeLock() override {
        mutex_ = CreateMutexW(nullptr, FALSE, win::W(std::u16string(kInstanceLockName)));
        if (!mutex_) return LockResult::kFailed;
        const DWORD r = WaitForSingleObject(mutex_, 0);
        owned_ = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
        return owned_ ? LockResult::kOwned : LockResult::kHeldElsewhere;
    }
    bool WaitLock(std::uint32_t) override { return false; }
    bool BringExistingForward() override {
        HWND owner = FindWindowW(win::W(kWindowClass), win::W(kWindowCaption));
        if (!owner) return false;
        HWND w = GetLastActivePopup(owner);
        if (!w || w == owner) return true;
        if (IsIconic(w)) ShowWindow(w, SW_RESTORE);
        SetForegroundWindow(w);
        return true;
    }

private:
    HANDLE mutex_ = nullptr;
    bool owned_ = false;
};

// "-close": until the uninstaller that started the batch has ended, bounded. Its window is
// followed by its process, then by its instance lock, which it holds until it ends.
int WaitForUninstallerEnd() {
    const ULONGLONG end = GetTickCount64() + kCloseWaitMs;
    auto left = [end] {
        const ULONGLONG now = GetTickCount64();
        return now >= end ? DWORD(0) : static_cast<DWORD>(end - now);
    };
    win::UniqueHandle process;
    while (HWND w = FindWindowW(win::W(kWindowClass), win::W(kWindowCaption))) {
        if (!process.valid()) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid && pid != GetCurrentProcessId())
                process.reset(OpenProcess(SYNCHRONIZE, FALSE, pid));
        }
        if (left() == 0) return 1;
        Sleep(50);
    }
    if (process.valid() && WaitForSingleObject(process.get(), left()) != WAIT_OBJECT_0) return 1;
    HANDLE mutex = CreateMutexW(nullptr, FALSE, win::W(std::u16string(kInstanceLockName)));
    if (mutex) {
        const DWORD r = WaitForSingleObject(mutex, left());
        if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) ReleaseMutex(mutex);
        CloseHandle(mutex);
        if (r == WAIT_TIMEOUT) return 1;
    }
    return 0;
}

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CLOSE && g_form) {
        PostMessageW(g_form->Window(), WM_CLOSE, 0, 0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND CreateOwner(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    static const std::u16string className = kWindowClass;
    wc.lpszClassName = win::W(className);
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
    return CreateWindowExW(0, win::W(className), win::W(std::u16string(kWindowCaption)), WS_POPUP,
                           0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
}

std::wstring WideCaption() {
    const std::u16string c = kWindowCaption;
    return std::wstring(c.begin(), c.end());
}

int RunSilent() {
    RemovalPlaces places;
    if (ErrorCode e = FindRemovalPlaces(places)) return static_cast<int>(e);
    bool cancelled = false;
    auto platform = MakeRemovalPlatform(places, nullptr, &cancelled);
    if (!platform) return static_cast<int>(err::kNotSupported);
    const ErrorCode r = RunRemovalSteps(*platform, places);
    return SilentExitCode(r, cancelled);
}

int RunWizard(HINSTANCE instance) {
    RemovalPlaces places;
    if (ErrorCode e = FindRemovalPlaces(places)) {
        win::ShowErrorText(ErrorTextW(e));
        return static_cast<int>(e);
    }
    win::SetMessageBoxCaption(kWindowCaption);
    win::BuildMessageBox(instance);
    g_owner = CreateOwner(instance);
    auto form = std::make_unique<WizardForm>();
    g_form = form.get();
    const int dpi = GetDeviceCaps(GetDC(nullptr), LOGPIXELSY);
    form->SetDpi(EffectiveDpi(dpi));
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int screenW = UnscaleForDpi(work.right - work.left, form->Dpi());
    const int screenH = UnscaleForDpi(work.bottom - work.top, form->Dpi());
    const Rect bounds{UnscaleForDpi(work.left, form->Dpi()) + (screenW - kClientWidth) / 2,
                      UnscaleForDpi(work.top, form->Dpi()) + (screenH - kClientHeight) / 2,
                      kClientWidth, kClientHeight};
    if (!g_owner ||
        !form->CreateTopLevel(bounds, WideCaption(), WS_SYSMENU | WS_MINIMIZEBOX, WS_EX_APPWINDOW,
                              g_owner) ||
        !form->Build(places)) {
        win::ShowErrorText(T(msg::kMemoryAllocationFailed).empty()
                               ? u"Memory allocation failed."
                               : T(msg::kMemoryAllocationFailed));
        g_form = nullptr;
        if (g_owner) DestroyWindow(g_owner);
        return static_cast<int>(err::kNotEnoughMemory);
    }
    SetWindowTextW(g_owner, win::W(std::u16string(kWindowCaption)));
    win::RegisterControlLister(form->Window(), ListFormControls);
    form->Flow().Begin();
    form->SetVisible(true);
    SetForegroundWindow(form->Window());
    if (!g_testFolder.empty()) SetTimer(form->Window(), kTestTimerId, 100, nullptr);

    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    g_form = nullptr;
    return 0;
}

} // namespace

int RunUninstall(HINSTANCE instance) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::wstring> args;
    for (int i = 1; argv && i < argc; ++i)
        args.emplace_back(argv[i]);
    if (argv) LocalFree(argv);
    const std::wstring first = args.empty() ? std::wstring() : args[0];
    if (first == L"-close") return WaitForUninstallerEnd();
    g_silent = first == L"-silent";
    // The test mode's folder: only from the command line, never from the environment.
    for (std::size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == L"--ui-test") g_testFolder = args[i + 1];

    UninstallInstance instanceLock;
    if (DecideInstanceStart(false, instanceLock) == StartDecision::kExit)
        return g_silent ? static_cast<int>(err::kAlreadyExists) : 0;

    DetectOs();
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    EnablePrivileges();
    LoadLanguageTables();
    return g_silent ? RunSilent() : RunWizard(instance);
}

} // namespace tvd::uninstall
