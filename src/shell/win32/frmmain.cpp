#include "shell/win32/frmmain.h"

#include <array>
#include <memory>
#include <vector>

#include "drive/kernelfun.h"
#include "shell/controls/win32/wincombobox.h"
#include "shell/controls/win32/winpicture.h"
#include "shell/languagetables.h"
#include "shell/mainlayoututil.h"
#include "shell/processutil.h"
#include "shell/singleinstanceutil.h"
#include "shell/win32/mainuifun.h"
#include "shell/win32/mainuitestutil.h"
#include "shell/win32/pagessdwin.h"
#include "shell/win32/tapplicationutil.h"

namespace tvd::win {

namespace {

const wchar_t* W(const char16_t* s) {
    return reinterpret_cast<const wchar_t*>(s);
}

std::u16string UiText(int id) {
    return MessageText(id).value_or(std::u16string());
}

Rect ToLayout(const LayoutRect& r) {
    return {r.left, r.top, r.width, r.height};
}

// The page's side of its menu button.
class MenuButton final : public MenuButtonView {
public:
    explicit MenuButton(TclMenuButton* button) : button_(button) {}
    void SetEnabled(bool e) override { button_->SetEnabledButton(e); }
    void SetSelectedLook(bool s) override { button_->SetSelected(s); }

private:
    TclMenuButton* button_;
};

struct MainState : ShellHost {
    HWND hwnd = nullptr;
    int dpi = 96;
    // Every control of the window sits on this frame, which covers the client area.
    std::unique_ptr<TclCustomFrame> root;
    std::vector<std::unique_ptr<TclMenuButton>> menuButtons;
    std::vector<std::unique_ptr<MenuButton>> menuViews;
    std::vector<std::unique_ptr<TclCustomFrame>> frames;
    std::vector<TclImageButton*> titleButtons;
    TclLabel* activeLabel = nullptr;
    TclLabel* countLabel = nullptr;
    TclMainComboBox* selector = nullptr;
    MainShell shell{this};
    std::vector<std::unique_ptr<clMenuPage>> pages;
    bool contentsBuilt = false;
    bool firstActivation = true;

    void CloseMainWindow() override {
        if (hwnd) DestroyWindow(hwnd);
    }
    void PostPendingClose() override {
        if (hwnd) PostMessageW(hwnd, kMsgPendingClose, 0, 0);
    }
    void KernelTick() override { tvd::KernelTick(false); }
    void SelectorChanged() override;
    void PageChanged(clMenuPage* page) override;
    std::u16string MessageText(int id) override { return UiText(id); }
    std::u16string MessageFormat(int id, FormatArgs args) override {
        return tvd::MessageFormat(id, args);
    }
    void PlaceLabels();
};

MainState* g_main = nullptr;

FontSpec UiFontSpec(int px, bool bold) {
    const UiFontChoice font = UiFont();
    return FontSpec{font.faceName.empty() ? std::u16string(u"Segoe UI") : font.faceName, px, bold,
                    font.charset};
}

// The count label follows the active-drive label's right edge.
void MainState::PlaceLabels() {
    if (!activeLabel || !countLabel) return;
    activeLabel->SetText(UiText(FindLayoutRow("ActiveDriveLabel")->textId));
    countLabel->SetText(shell.CountText());
    const Rect a = activeLabel->Bounds();
    countLabel->SetLeft(a.Right() + 8);
}

void MainState::SelectorChanged() {
    if (!selector) return;
    selector->Clear();
    for (std::size_t i = 0; i < shell.EntryCount(); ++i)
        selector->AddItem(shell.EntryAt(i)->text, i);
    selector->SelectIndex(shell.SelectedIndex());
    const bool shown = shell.DriveSelectorShown();
    selector->SetVisible(shown);
    selector->SetEnabled(shell.DriveSelectorEnabled());
    activeLabel->SetVisible(shown);
    countLabel->SetVisible(shown);
    PlaceLabels();
}

void MainState::PageChanged(clMenuPage* page) {
    for (std::size_t i = 0; i < pages.size() && i < frames.size(); ++i)
        frames[i]->SetVisible(pages[i].get() == page);
}

void AdvertisementClicked() {
    // The address is a build setting; without one the click does nothing.
    const std::string address = AdvertisementAddress(TVD_AD_BASE_ADDRESS, UiLanguageId());
    if (!address.empty()) OpenWebPage(address);
}

// One layout row as its control on the root frame (menu buttons and page frames are made with
// their pages).
bool AddRowControl(MainState& s, const LayoutRow& row) {
    TclCustomFrame& root = *s.root;
    const std::string kind = row.kind;
    const Rect r = ToLayout(row.rect);
    if (kind == "outline") {
        auto* c = root.Add<TclRectangle>(row.name);
        c->SetBounds(r);
        c->SetPen(1, row.rgb);
        c->SetFill(std::nullopt);
    } else if (kind == "TclFormMove") {
        root.Add<TclFormMove>(row.name)->SetBounds(r);
    } else if (kind == "picture") {
        auto* c = root.Add<TclPicture>(row.name);
        c->SetBounds(r);
        c->SetPicture(row.picture);
    } else if (kind == "TclImageButton") {
        auto* c = root.Add<TclImageButton>(row.name);
        c->SetBounds(r);
        c->SetPictures({row.picture, "", "", ""});
        const bool close = std::string(row.name) == "CloseButton";
        c->SetOnClick([close](TclCustomControl&) {
            if (close)
                g_main->shell.RequestClose();
            else
                ShowWindow(g_main->hwnd, SW_MINIMIZE);
        });
        s.titleButtons.push_back(c);
    } else if (kind == "TclHorzLine") {
        auto* c = root.Add<TclHorzLine>(row.name);
        c->SetBounds(r);
        c->SetColour(row.rgb);
    } else if (kind == "rectangle") {
        auto* c = root.Add<TclRectangle>(row.name);
        c->SetBounds(r);
        c->SetPen(1, row.rgb);
        c->SetFill(row.rgb);
    } else if (kind == "label") {
        auto* c = root.Add<TclLabel>(row.name);
        c->SetBounds(r);
        c->SetFont(UiFontSpec(FontHeightFromPoints(12), false));
        c->SetColour(row.rgb);
        c->SetAutoSize(true);
        c->SetVisible(false);
        (std::string(row.name) == "ActiveDriveLabel" ? s.activeLabel : s.countLabel) = c;
    } else if (kind == "TclMainComboBox") {
        auto* c = root.Add<TclMainComboBox>(row.name);
        c->SetBounds(r);
        c->SetVisible(false);
        c->SetOnChange([](TclStdComboBox& box) {
            const int i = box.SelectedIndex();
            if (i != g_main->shell.SelectedIndex()) g_main->shell.SelectDriveIndex(i);
        });
        s.selector = c;
    } else if (kind == "clPanelAd") {
        auto* back = root.Add<TclRectangle>(row.name);
        back->SetBounds(r);
        back->SetPen(0, row.rgb);
        back->SetFill(row.rgb);
        back->SetOnClick([](TclCustomControl&) { AdvertisementClicked(); });
        auto* picture = root.Add<TclPicture>(std::string(row.name) + ".picture");
        picture->SetBounds(r);
        picture->SetPicture(row.picture);
    } else if (kind != "TclMenuButton" && kind != "TclCustomFrame") {
        return false; // a row nothing draws
    }
    return true;
}

bool BuildMenuAndFrames(MainState& s) {
    const auto& menu = MainMenuEntries();
    for (std::size_t i = 0; i < menu.size(); ++i) {
        const std::string name = menu[i].name;
        const LayoutRow* buttonRow = FindLayoutRow(("Menu" + name).c_str());
        const LayoutRow* frameRow = FindLayoutRow(("Frame" + name).c_str());
        if (!buttonRow || !frameRow) return false;
        auto button = std::make_unique<TclMenuButton>(buttonRow->name);
        if (!button->Create(*s.root, {buttonRow->rect.left, buttonRow->rect.top})) return false;
        button->SetPictures(menu[i].normalPicture, menu[i].selectedPicture);
        auto frame = std::make_unique<TclCustomFrame>(frameRow->name);
        if (!frame->CreateChild(*s.root, ToLayout(frameRow->rect))) return false;
        // A page with controls of its own builds them on its content frame.
        std::unique_ptr<clMenuPage> page;
        if (std::string(menu[i].className) == "clPageSsd")
            page = CreatePageSsd(menu[i], *frame);
        else
            page = std::make_unique<clMenuPage>(menu[i]);
        if (!page) return false;
        clMenuPage* raw = page.get();
        button->SetOnClick([raw](TclCustomControl&) { raw->MenuClicked(); });
        auto view = std::make_unique<MenuButton>(button.get());
        page->SetMenuButton(view.get());
        s.shell.AddPage(raw);
        s.pages.push_back(std::move(page));
        s.menuButtons.push_back(std::move(button));
        s.menuViews.push_back(std::move(view));
        s.frames.push_back(std::move(frame));
    }
    return true;
}

// The dump's view of the window: the root frame's tree.
std::vector<ControlInfo> ListMainControls(HWND) {
    if (!g_main || !g_main->root) return {};
    std::vector<ControlInfo> out = ControlsOfTree(*g_main->root);
    if (!IsWindowVisible(g_main->hwnd))
        for (ControlInfo& c : out)
            c.visible = false;
    return out;
}

LRESULT CALLBACK MainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = Guarded([&]() -> LRESULT {
        switch (msg) {
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && g_main && g_main->firstActivation) {
                g_main->firstActivation = false;
                StartStagedStart();
            }
            break;
        case WM_TIMER:
            if (wParam == kMainTimerId) OnMainTimer();
            if (wParam == kUiTestTimerId) UiTestOnTimer();
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            // Before the contents exist the client is plain white; afterwards the root frame
            // covers it.
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_PRINTCLIENT: {
            RECT rc;
            GetClientRect(hwnd, &rc);
            FillRect(reinterpret_cast<HDC>(wParam), &rc,
                     static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            return 0;
        }
        case WM_CLOSE:
            // Alt+F4 and the uninstaller's request take the close button's way.
            if (g_main) g_main->shell.RequestClose();
            return 0;
        case kMsgOpenTestBox:
            UiTestOpenPendingBox();
            return 0;
        case kMsgPendingClose:
            if (g_main) g_main->shell.CarryOutPendingClose();
            return 0;
        case WM_DESTROY:
            Shutdown();
            PostQuitMessage(0);
            return 0;
        default:
            break;
        }
        KernelMessage(msg, wParam, lParam);
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    });
    return result;
}

} // namespace

HWND MainWindow() {
    return g_main ? g_main->hwnd : nullptr;
}
MainShell* Shell() {
    return g_main ? &g_main->shell : nullptr;
}
int Dpi() {
    return g_main ? g_main->dpi : 96;
}
int Px(int value96) {
    return ScaleForDpi(value96, Dpi());
}

TclCustomFrame* PageContentFrame(std::size_t index) {
    if (!g_main || index >= g_main->frames.size()) return nullptr;
    return g_main->frames[index].get();
}

HWND CreateMainWindow(HINSTANCE instance, const MainOptions& options) {
    (void)options;
    KernelInitialize();
    static MainState state;
    g_main = &state;
    state.dpi = SystemDpi();

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = MainProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(instance, L"MAINICON");
    wc.lpszClassName = W(kMainWindowClass);
    if (!RegisterClassExW(&wc)) return nullptr;

    RECT r{0, 0, Px(kMainClientWidth), Px(kMainClientHeight)};
    const DWORD style = WS_POPUP | WS_MINIMIZEBOX | WS_SYSMENU | WS_CLIPCHILDREN;
    AdjustWindowRectEx(&r, style, FALSE, WS_EX_APPWINDOW);
    state.hwnd = CreateWindowExW(WS_EX_APPWINDOW, W(kMainWindowClass), W(kMainWindowCaption), style,
                                 -Px(kMainClientWidth), -Px(kMainClientHeight), r.right - r.left,
                                 r.bottom - r.top, nullptr, nullptr, instance, nullptr);
    if (!state.hwnd) return nullptr;
    SetActiveShell(&state.shell);
    RegisterControlLister(state.hwnd, ListMainControls);
    return state.hwnd;
}

bool BuildMainContents() {
    MainState& s = *g_main;
    s.root = std::make_unique<TclCustomFrame>("Main");
    s.root->SetDpi(s.dpi);
    if (!s.root->CreateInWindow(s.hwnd, {0, 0, kMainClientWidth, kMainClientHeight})) return false;
    // Graphic controls first in the rows' order; the menu buttons and page frames are windows
    // above them.
    for (const LayoutRow& row : MainLayoutRows())
        if (!AddRowControl(s, row)) return false;
    if (!s.activeLabel || !s.countLabel || !s.selector) return false;
    if (!BuildMenuAndFrames(s)) return false;
    if (!s.shell.CreatePages()) return false;
    s.root->SetVisible(true);
    s.contentsBuilt = true;
    s.SelectorChanged();
    return true;
}

void ApplyLanguage() {
    if (!g_main || !g_main->contentsBuilt) return;
    MainState& s = *g_main;
    const FontSpec label = UiFontSpec(FontHeightFromPoints(12), false);
    s.activeLabel->SetFont(label);
    s.countLabel->SetFont(label);
    for (TclImageButton* b : s.titleButtons)
        if (const LayoutRow* row = FindLayoutRow(b->Name().c_str()))
            b->SetCaption(UiText(row->textId)); // the tooltip
    const UiFontChoice font = UiFont();
    const auto& menu = MainMenuEntries();
    for (std::size_t i = 0; i < s.menuButtons.size() && i < menu.size(); ++i) {
        if (!font.faceName.empty()) s.menuButtons[i]->SetCaptionFont(font.faceName, font.charset);
        s.menuButtons[i]->SetCaption(UiText(menu[i].captionId));
    }
    s.shell.RefreshTexts();
    s.PlaceLabels();
    if (clMenuPage* page = s.shell.CurrentPage()) page->RefreshTexts();
    InvalidateRect(s.hwnd, nullptr, FALSE);
}

void ShowMainWindow() {
    if (!g_main) return;
    CentreWindow(g_main->hwnd);
    ShowWindow(g_main->hwnd, SW_SHOW);
    SetForegroundWindow(g_main->hwnd);
    UpdateWindow(g_main->hwnd);
}

} // namespace tvd::win
