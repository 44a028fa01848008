#include "shell/win32/frmmain.h"

#include <commctrl.h>

#include <array>
#include <memory>
#include <vector>

#include "drive/kernelfun.h"
#include "shell/languagetables.h"
#include "shell/mainlayoututil.h"
#include "shell/processutil.h"
#include "shell/singleinstanceutil.h"
#include "shell/win32/mainpictureutil.h"
#include "shell/win32/mainuifun.h"
#include "shell/win32/mainuitestutil.h"
#include "shell/win32/pagessdwin.h"
#include "shell/win32/tapplicationutil.h"

namespace tvd::win {

namespace {

const wchar_t* W(const char16_t* s) {
    return reinterpret_cast<const wchar_t*>(s);
}
const wchar_t* W(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

std::u16string UiText(int id) {
    return MessageText(id).value_or(std::u16string());
}

// A plain child window until the controls library's frame takes its place.
constexpr const wchar_t* kFrameClass = L"TvdMainPageFrame";
constexpr COLORREF kGrey = RGB(0xD2, 0xD2, 0xD2);

class MenuButton final : public MenuButtonView {
public:
    void SetEnabled(bool e) override {
        enabled = e;
        Invalidate();
    }
    void SetSelectedLook(bool s) override {
        selected = s;
        Invalidate();
    }
    void Invalidate();
    bool enabled = true;
    bool selected = false;
    RECT rect{};
};

struct MainState : ShellHost {
    HWND hwnd = nullptr;
    HWND combo = nullptr;
    std::array<HWND, 7> frames{};
    int dpi = 96;
    HFONT labelFont = nullptr;
    HFONT menuFont = nullptr;
    MainShell shell{this};
    std::vector<std::unique_ptr<clMenuPage>> pages;
    std::array<MenuButton, 7> buttons;
    bool contentsBuilt = false;
    bool firstActivation = true;
    bool closing = false;
    // Drag area: cursor and window positions when the drag began.
    bool dragging = false;
    POINT dragCursor{};
    RECT dragWindow{};
    const LayoutRow* pressed = nullptr;

    void CloseMainWindow() override {
        closing = true;
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
};

MainState* g_main = nullptr;

void MenuButton::Invalidate() {
    if (g_main && g_main->hwnd) InvalidateRect(g_main->hwnd, &rect, FALSE);
}

RECT ToRect(const LayoutRect& r) {
    const LayoutRect s = ScaleRect(r, g_main ? g_main->dpi : 96);
    return {s.left, s.top, s.left + s.width, s.top + s.height};
}

int PageIndexOfRow(const LayoutRow& row) {
    const auto& menu = MainMenuEntries();
    for (std::size_t i = 0; i < menu.size(); ++i)
        if (row.name == std::string("Menu") + menu[i].name) return static_cast<int>(i);
    return -1;
}

void MainState::SelectorChanged() {
    if (!combo) return;
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (std::size_t i = 0; i < shell.EntryCount(); ++i)
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(shell.EntryAt(i)->text)));
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(shell.SelectedIndex()), 0);
    ShowWindow(combo, shell.DriveSelectorShown() ? SW_SHOWNA : SW_HIDE);
    EnableWindow(combo, shell.DriveSelectorEnabled());
    RECT labels = ToRect({368, 25, 607 - 368, 40});
    InvalidateRect(hwnd, &labels, FALSE);
}

void MainState::PageChanged(clMenuPage* page) {
    for (std::size_t i = 0; i < pages.size(); ++i)
        if (frames[i]) ShowWindow(frames[i], pages[i].get() == page ? SW_SHOWNA : SW_HIDE);
}

HFONT MakeFont(int px, int weight) {
    const UiFontChoice font = UiFont();
    return CreateFontW(-Px(px), 0, 0, 0, weight, FALSE, FALSE, FALSE, font.charset,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, W(font.faceName));
}

// The label row's rectangle: its text decides its width.
RECT LabelRect(HDC dc, const LayoutRow& row, const std::u16string& text, int left) {
    HGDIOBJ old = SelectObject(dc, g_main->labelFont);
    SIZE size{};
    GetTextExtentPoint32W(dc, W(text), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    const int top = Px(row.rect.top);
    return {left, top, left + size.cx, top + size.cy};
}

std::u16string RowText(const LayoutRow& row) {
    if (std::string(row.name) == "DeviceCountLabel") return g_main->shell.CountText();
    return row.textId ? UiText(row.textId) : std::u16string();
}

struct LabelRects {
    RECT active{}, count{};
};
LabelRects Labels(HDC dc) {
    LabelRects r;
    const LayoutRow* a = FindLayoutRow("ActiveDriveLabel");
    const LayoutRow* c = FindLayoutRow("DeviceCountLabel");
    r.active = LabelRect(dc, *a, RowText(*a), Px(a->rect.left));
    r.count = LabelRect(dc, *c, RowText(*c), r.active.right + Px(8));
    return r;
}

void FillRectColour(HDC dc, const RECT& r, COLORREF c) {
    HBRUSH b = CreateSolidBrush(c);
    FillRect(dc, &r, b);
    DeleteObject(b);
}

void DrawMenuButton(HDC dc, const LayoutRow& row, int index) {
    const RECT r = ToRect(row.rect);
    const MenuButton& b = g_main->buttons[static_cast<std::size_t>(index)];
    const MenuEntry& e = MainMenuEntries()[static_cast<std::size_t>(index)];
    if (b.selected) {
        HRGN rgn = CreateRoundRectRgn(r.left, r.top, r.right + 1, r.bottom + 1, Px(7), Px(7));
        SelectClipRgn(dc, rgn);
        TRIVERTEX v[2] = {{r.left, r.top, 0x0000, 0x8B00, 0xFD00, 0},
                          {r.right, r.bottom, 0x3900, 0xA500, 0xFD00, 0}};
        GRADIENT_RECT g{0, 1};
        GradientFill(dc, v, 2, &g, 1, GRADIENT_FILL_RECT_H);
        SelectClipRgn(dc, nullptr);
        DeleteObject(rgn);
    }
    RECT icon{r.left + Px(15), r.top + Px(12), r.left + Px(45), r.top + Px(42)};
    if (!DrawPicture(dc, b.selected ? e.selectedPicture : e.normalPicture, icon)) {
        // No picture yet: a plain disc in the caption's colour keeps the layout readable.
        HBRUSH brush = CreateSolidBrush(b.selected ? RGB(255, 255, 255) : RGB(0x00, 0x71, 0xB5));
        HGDIOBJ oldBrush = SelectObject(dc, brush);
        HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
        Ellipse(dc, icon.left + Px(5), icon.top + Px(5), icon.right - Px(5), icon.bottom - Px(5));
        SelectObject(dc, oldPen);
        SelectObject(dc, oldBrush);
        DeleteObject(brush);
    }
    RECT caption{r.left + Px(60), r.top, r.left + Px(210), r.bottom};
    const std::u16string text = UiText(e.captionId);
    HGDIOBJ old = SelectObject(dc, g_main->menuFont);
    SetTextColor(dc, b.selected ? RGB(255, 255, 255) : RGB(0, 0, 0));
    SetBkMode(dc, TRANSPARENT);
    // The caption wraps within its 150 pixels and is centred vertically as a block.
    RECT measure = caption;
    DrawTextW(dc, W(text), -1, &measure, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
    const int h = measure.bottom - measure.top;
    caption.top += ((caption.bottom - caption.top) - h) / 2;
    DrawTextW(dc, W(text), -1, &caption, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
}

void DrawGlyphButton(HDC dc, const RECT& r, bool close) {
    HPEN pen = CreatePen(PS_SOLID, Px(2) > 1 ? Px(2) / 2 + 1 : 1, RGB(0x66, 0x66, 0x66));
    HGDIOBJ old = SelectObject(dc, pen);
    const int m = Px(3);
    if (close) {
        MoveToEx(dc, r.left + m, r.top + m, nullptr);
        LineTo(dc, r.right - m, r.bottom - m);
        MoveToEx(dc, r.right - m - 1, r.top + m, nullptr);
        LineTo(dc, r.left + m - 1, r.bottom - m);
    } else {
        const int y = (r.top + r.bottom) / 2;
        MoveToEx(dc, r.left + m, y, nullptr);
        LineTo(dc, r.right - m, y);
    }
    SelectObject(dc, old);
    DeleteObject(pen);
}

void PaintMain(HDC dc) {
    RECT client{0, 0, Px(kMainClientWidth), Px(kMainClientHeight)};
    FillRectColour(dc, client, RGB(255, 255, 255));
    SetBkMode(dc, TRANSPARENT);
    const LabelRects labels = Labels(dc);
    for (const LayoutRow& row : MainLayoutRows()) {
        const std::string kind = row.kind;
        const RECT r = ToRect(row.rect);
        if (kind == "outline") {
            HBRUSH b = CreateSolidBrush(RGB(0xB9, 0xB9, 0xB9));
            FrameRect(dc, &r, b);
            DeleteObject(b);
        } else if (kind == "picture") {
            if (!DrawPicture(dc, row.picture, r) && std::string(row.name) == "Title") {
                HGDIOBJ old = SelectObject(dc, g_main->menuFont);
                SetTextColor(dc, RGB(0x00, 0x71, 0xB5));
                RECT t = r;
                DrawTextW(dc, L"Tarvik", -1, &t, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP);
                SelectObject(dc, old);
            }
        } else if (kind == "TclImageButton") {
            if (!DrawPicture(dc, row.picture, r))
                DrawGlyphButton(dc, r, std::string(row.name) == "CloseButton");
        } else if (kind == "TclMenuButton") {
            DrawMenuButton(dc, row, PageIndexOfRow(row));
        } else if (kind == "TclHorzLine" || kind == "rectangle") {
            FillRectColour(dc, r, kGrey);
        } else if (kind == "label") {
            if (!g_main->shell.DriveSelectorShown()) continue;
            const bool count = std::string(row.name) == "DeviceCountLabel";
            RECT t = count ? labels.count : labels.active;
            HGDIOBJ old = SelectObject(dc, g_main->labelFont);
            SetTextColor(dc, count ? RGB(0x00, 0x71, 0xB5) : RGB(0, 0, 0));
            const std::u16string text = RowText(row);
            DrawTextW(dc, W(text), -1, &t, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
            SelectObject(dc, old);
        } else if (kind == "clPanelAd") {
            FillRectColour(dc, r, RGB(0xF4, 0xF4, 0xF4));
            DrawPicture(dc, row.picture, r);
        }
    }
}

// The row under a client point that takes clicks (buttons, the advertisement); null for the
// drag area.
const LayoutRow* ClickableAt(POINT p) {
    const LayoutRow* hit = nullptr;
    for (const LayoutRow& row : MainLayoutRows()) {
        const std::string kind = row.kind;
        if (kind != "TclImageButton" && kind != "TclMenuButton" && kind != "clPanelAd") continue;
        const RECT r = ToRect(row.rect);
        if (PtInRect(&r, p)) hit = &row;
    }
    return hit;
}

void Clicked(const LayoutRow& row) {
    const std::string name = row.name;
    if (name == "CloseButton") {
        g_main->shell.RequestClose();
    } else if (name == "MinimizeButton") {
        ShowWindow(g_main->hwnd, SW_MINIMIZE);
    } else if (name == "Advertisement") {
        // The address is a build setting; without one the click does nothing.
        const std::string address = AdvertisementAddress(TVD_AD_BASE_ADDRESS, UiLanguageId());
        if (!address.empty()) OpenWebPage(address);
    } else {
        const int i = PageIndexOfRow(row);
        if (i >= 0 && static_cast<std::size_t>(i) < g_main->pages.size())
            g_main->pages[static_cast<std::size_t>(i)]->MenuClicked();
    }
}

std::vector<ControlInfo> ListMainControls(HWND) {
    std::vector<ControlInfo> out;
    if (!g_main) return out;
    HDC dc = GetDC(g_main->hwnd);
    const LabelRects labels = Labels(dc);
    ReleaseDC(g_main->hwnd, dc);
    const bool windowVisible = IsWindowVisible(g_main->hwnd) != FALSE;
    for (const LayoutRow& row : MainLayoutRows()) {
        const std::string kind = row.kind;
        if (kind == "TclCustomFrame" || kind == "TclMainComboBox") continue; // child windows
        ControlInfo c;
        c.name = row.name;
        c.cls = kind;
        c.rect = ToRect(row.rect);
        c.picture = row.picture ? row.picture : "";
        c.visible = windowVisible;
        if (row.rgb) c.backColor = row.rgb;
        if (kind == "label") {
            const bool count = c.name == "DeviceCountLabel";
            c.rect = count ? labels.count : labels.active;
            c.text = RowText(row);
            c.fontFace = UiFont().faceName;
            c.fontHeight = Px(16);
            c.fontWeight = FW_NORMAL;
            c.textColor = count ? 0x0071B5 : 0;
            c.backColor = -1;
            c.visible = windowVisible && g_main->shell.DriveSelectorShown();
        } else if (kind == "TclMenuButton") {
            const int i = PageIndexOfRow(row);
            const MenuButton& b = g_main->buttons[static_cast<std::size_t>(i)];
            const MenuEntry& e = MainMenuEntries()[static_cast<std::size_t>(i)];
            c.text = UiText(e.captionId);
            c.picture = b.selected ? e.selectedPicture : e.normalPicture;
            c.fontFace = UiFont().faceName;
            c.fontHeight = Px(15);
            c.fontWeight = FW_BOLD;
            c.textColor = b.selected ? 0xFFFFFF : 0x000000;
            c.backColor = b.selected ? 0x008BFD : -1;
            c.enabled = b.enabled;
        } else if (kind == "TclImageButton") {
            c.text = UiText(row.textId); // the tooltip
        }
        out.push_back(std::move(c));
    }
    return out;
}

LRESULT OnMouse(HWND hwnd, UINT msg, LPARAM lParam) {
    POINT p{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    switch (msg) {
    case WM_LBUTTONDOWN:
        g_main->pressed = ClickableAt(p);
        if (!g_main->pressed) {
            g_main->dragging = true;
            GetCursorPos(&g_main->dragCursor);
            GetWindowRect(hwnd, &g_main->dragWindow);
        }
        SetCapture(hwnd);
        return 0;
    case WM_MOUSEMOVE:
        if (g_main->dragging) {
            POINT now{};
            GetCursorPos(&now);
            SetWindowPos(hwnd, nullptr, g_main->dragWindow.left + now.x - g_main->dragCursor.x,
                         g_main->dragWindow.top + now.y - g_main->dragCursor.y, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        return 0;
    case WM_LBUTTONUP: {
        const LayoutRow* pressed = g_main->pressed;
        g_main->pressed = nullptr;
        g_main->dragging = false;
        ReleaseCapture();
        // A click is a press and a release on the same control.
        if (pressed && ClickableAt(p) == pressed) Clicked(*pressed);
        return 0;
    }
    default:
        return 0;
    }
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
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            RECT rc;
            GetClientRect(hwnd, &rc);
            HDC mem = CreateCompatibleDC(dc);
            HBITMAP bmp = CreateCompatibleBitmap(dc, rc.right, rc.bottom);
            HGDIOBJ old = SelectObject(mem, bmp);
            if (g_main && g_main->contentsBuilt)
                PaintMain(mem);
            else
                FillRectColour(mem, rc, RGB(255, 255, 255));
            BitBlt(dc, 0, 0, rc.right, rc.bottom, mem, 0, 0, SRCCOPY);
            SelectObject(mem, old);
            DeleteObject(bmp);
            DeleteDC(mem);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_PRINTCLIENT:
            if (g_main && g_main->contentsBuilt) PaintMain(reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_LBUTTONDOWN:
        case WM_MOUSEMOVE:
        case WM_LBUTTONUP:
            if (g_main && g_main->contentsBuilt) return OnMouse(hwnd, msg, lParam);
            return 0;
        case WM_CAPTURECHANGED:
            if (g_main) {
                g_main->dragging = false;
                g_main->pressed = nullptr;
            }
            return 0;
        case WM_COMMAND:
            if (g_main && reinterpret_cast<HWND>(lParam) == g_main->combo &&
                HIWORD(wParam) == CBN_SELCHANGE) {
                const int i = static_cast<int>(SendMessageW(g_main->combo, CB_GETCURSEL, 0, 0));
                if (i != g_main->shell.SelectedIndex()) g_main->shell.SelectDriveIndex(i);
            }
            return 0;
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

LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return Guarded([&]() -> LRESULT {
        if (msg == WM_ERASEBKGND) {
            RECT r;
            GetClientRect(hwnd, &r);
            FillRectColour(reinterpret_cast<HDC>(wParam), r, RGB(255, 255, 255));
            return 1;
        }
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    });
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

HWND CreateMainWindow(HINSTANCE instance, const MainOptions& options) {
    (void)options;
    KernelInitialize();
    static MainState state;
    g_main = &state;
    HDC screen = GetDC(nullptr);
    state.dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    if (state.dpi <= 0) state.dpi = 96;

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = MainProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(instance, L"MAINICON");
    wc.lpszClassName = W(kMainWindowClass);
    if (!RegisterClassExW(&wc)) return nullptr;
    WNDCLASSEXW fc{};
    fc.cbSize = sizeof(fc);
    fc.lpfnWndProc = FrameProc;
    fc.hInstance = instance;
    fc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    fc.lpszClassName = kFrameClass;
    if (!RegisterClassExW(&fc)) return nullptr;

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
    s.labelFont = MakeFont(16, FW_NORMAL);
    s.menuFont = MakeFont(15, FW_BOLD);
    if (!s.labelFont || !s.menuFont) return false;
    const auto& menu = MainMenuEntries();
    HINSTANCE instance = GetModuleHandleW(nullptr);
    for (std::size_t i = 0; i < menu.size(); ++i) {
        const RECT fr = ToRect({323, 76, 769, 631});
        s.frames[i] = CreateWindowExW(0, kFrameClass, nullptr, WS_CHILD | WS_CLIPCHILDREN, fr.left,
                                      fr.top, fr.right - fr.left, fr.bottom - fr.top, s.hwnd,
                                      nullptr, instance, nullptr);
        if (!s.frames[i]) return false;
        std::unique_ptr<clMenuPage> page;
        if (std::string(menu[i].className) == "clPageSsd") {
            page = CreatePageSsd(menu[i], s.frames[i]);
            if (!page) return false;
        } else {
            page = std::make_unique<clMenuPage>(menu[i]);
        }
        const LayoutRow* row = FindLayoutRow(("Menu" + std::string(menu[i].name)).c_str());
        if (!row) return false;
        s.buttons[i].rect = ToRect(row->rect);
        page->SetMenuButton(&s.buttons[i]);
        s.shell.AddPage(page.get());
        s.pages.push_back(std::move(page));
        const std::string name = "Frame" + std::string(menu[i].name);
        SetPropW(s.frames[i], L"TvdName",
                 reinterpret_cast<HANDLE>(const_cast<char*>(FindLayoutRow(name.c_str())->name)));
    }
    if (!s.shell.CreatePages()) return false;
    const LayoutRow* sel = FindLayoutRow("DriveSelector");
    const RECT cr = ToRect(sel->rect);
    s.combo = CreateWindowExW(
        0, WC_COMBOBOXW, nullptr, WS_CHILD | WS_VSCROLL | CBS_DROPDOWNLIST | WS_TABSTOP, cr.left,
        cr.top, cr.right - cr.left, Px(32 * 28), s.hwnd, nullptr, instance, nullptr);
    if (!s.combo) return false;
    SetPropW(s.combo, L"TvdName", reinterpret_cast<HANDLE>(const_cast<char*>(sel->name)));
    SendMessageW(s.combo, WM_SETFONT, reinterpret_cast<WPARAM>(s.labelFont), FALSE);
    s.contentsBuilt = true;
    s.SelectorChanged();
    return true;
}

void ApplyLanguage() {
    if (!g_main || !g_main->contentsBuilt) return;
    MainState& s = *g_main;
    // The fonts take the language's character set and face; the old ones go once nothing
    // holds them.
    HFONT label = MakeFont(16, FW_NORMAL);
    HFONT menu = MakeFont(15, FW_BOLD);
    if (label && menu) {
        std::swap(s.labelFont, label);
        std::swap(s.menuFont, menu);
        if (s.combo) SendMessageW(s.combo, WM_SETFONT, reinterpret_cast<WPARAM>(s.labelFont), TRUE);
    }
    if (label) DeleteObject(label);
    if (menu) DeleteObject(menu);
    s.shell.RefreshTexts();
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
