#include "shell/win32/tformutil.h"

#include <algorithm>
#include <vector>

#include "shell/languagetables.h"
#include "shell/mainpagesutil.h"
#include "shell/messageboxlayout.h"
#include "shell/win32/frmmain.h"
#include "shell/win32/mainpictureutil.h"
#include "shell/win32/mainuitestutil.h"
#include "shell/win32/tapplicationutil.h"

namespace tvd::win {

namespace {

const wchar_t* W(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

std::u16string UiText(int id) {
    return MessageText(id).value_or(std::u16string());
}

constexpr const wchar_t* kAlertClass = L"TFormAlert";
bool g_built = false;

struct KindInfo {
    BoxKind kind;
    MessageKind look; // picture, buttons and size rule
    const char* name;
    UINT systemFlags;
};

const KindInfo kKinds[] = {
    {BoxKind::kError, MessageKind::kError, "error", MB_OK | MB_ICONERROR},
    {BoxKind::kWarning, MessageKind::kWarning, "warning", MB_OK | MB_ICONWARNING},
    {BoxKind::kInformation, MessageKind::kInformation, "information", MB_OK | MB_ICONINFORMATION},
    {BoxKind::kQuestion, MessageKind::kQuestion, "question",
     MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2},
    {BoxKind::kWarningQuestion, MessageKind::kWarningQuestion, "warningquestion",
     MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2},
};

bool TwoButtons(const KindInfo& k) {
    return MessageBoxLookOf(k.look).secondaryTextId != 0;
}
const char* IconOf(const KindInfo& k) {
    return MessageBoxLookOf(k.look).icon;
}
std::u16string PrimaryText(const KindInfo& k) {
    return UiText(MessageBoxLookOf(k.look).primaryTextId);
}
std::u16string SecondaryText(const KindInfo& k) {
    const int id = MessageBoxLookOf(k.look).secondaryTextId;
    return id ? UiText(id) : std::u16string();
}

const KindInfo& Info(BoxKind kind) {
    for (const KindInfo& k : kKinds)
        if (k.kind == kind) return k;
    return kKinds[0];
}

// The box on screen: its layout in client pixels at 96 DPI (scaled when drawn).
struct Alert {
    HWND hwnd = nullptr;
    const KindInfo* kind = nullptr;
    std::u16string text;
    RECT icon{}, label{}, primary{}, secondary{};
    int clientW = 0, clientH = 0;
    bool done = false;
    bool result = false;
    int pressed = 0; // 1 primary, 2 secondary
    HFONT font = nullptr;
};
Alert* g_alert = nullptr;

RECT Scaled(int l, int t, int w, int h) {
    return {Px(l), Px(t), Px(l + w), Px(t + h)};
}

RECT Scaled(const BoxRect& r) {
    return Scaled(r.left, r.top, r.width, r.height);
}

// The label is measured in 96 DPI pixels: its natural size (the widest of its lines), or, when
// wider than the size rule allows, its height wrapped at that width; the rule places the rest.
void LayOut(Alert& a, HDC dc) {
    HGDIOBJ old = SelectObject(dc, a.font);
    const int dpi = Dpi();
    RECT natural{0, 0, 0, 0};
    DrawTextW(dc, W(a.text), -1, &natural, DT_CALCRECT | DT_NOPREFIX);
    const int naturalW = MulDiv(natural.right - natural.left, 96, dpi);
    const int labelW = MessageBoxLabelWidth(naturalW);
    int labelH = MulDiv(natural.bottom - natural.top, 96, dpi);
    if (labelW < naturalW) {
        RECT wrap{0, 0, Px(labelW), 0};
        DrawTextW(dc, W(a.text), -1, &wrap, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        labelH = MulDiv(wrap.bottom - wrap.top, 96, dpi);
    }
    SelectObject(dc, old);
    const MessageBoxLayout box = LayoutMessageBox(a.kind->look, labelW, labelH);
    a.clientW = box.clientWidth;
    a.clientH = box.clientHeight;
    a.icon = Scaled(box.icon);
    a.label = Scaled(box.label);
    a.primary = Scaled(box.primary);
    a.secondary = TwoButtons(*a.kind) ? Scaled(box.secondary) : RECT{};
}

void DrawButton(HDC dc, const RECT& r, const std::u16string& text, bool primary) {
    const COLORREF fill = primary ? RGB(0x00, 0x79, 0xD8) : RGB(0xF0, 0xF0, 0xF0);
    const COLORREF border = primary ? RGB(0x00, 0x79, 0xD8) : RGB(0xBF, 0xBF, 0xBF);
    HBRUSH b = CreateSolidBrush(fill);
    FillRect(dc, &r, b);
    DeleteObject(b);
    HBRUSH f = CreateSolidBrush(border);
    FrameRect(dc, &r, f);
    DeleteObject(f);
    SetTextColor(dc, primary ? RGB(255, 255, 255) : RGB(0, 0, 0));
    RECT t = r;
    DrawTextW(dc, W(text), -1, &t, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

void PaintAlert(Alert& a, HDC dc) {
    RECT r;
    GetClientRect(a.hwnd, &r);
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    FillRect(dc, &r, white);
    DeleteObject(white);
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ old = SelectObject(dc, a.font);
    DrawPicture(dc, IconOf(*a.kind), a.icon);
    SetTextColor(dc, RGB(0, 0, 0));
    RECT label = a.label;
    DrawTextW(dc, W(a.text), -1, &label, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
    DrawButton(dc, a.primary, PrimaryText(*a.kind), true);
    if (TwoButtons(*a.kind)) DrawButton(dc, a.secondary, SecondaryText(*a.kind), false);
    SelectObject(dc, old);
}

void Finish(Alert& a, bool result) {
    a.result = result;
    a.done = true;
}

LRESULT CALLBACK AlertProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return Guarded([&]() -> LRESULT {
        Alert* a = g_alert && g_alert->hwnd == hwnd ? g_alert : nullptr;
        if (!a) return DefWindowProcW(hwnd, msg, wParam, lParam);
        POINT p{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        switch (msg) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            PaintAlert(*a, dc);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_PRINTCLIENT:
            PaintAlert(*a, reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_LBUTTONDOWN:
            a->pressed = PtInRect(&a->primary, p)                             ? 1
                         : TwoButtons(*a->kind) && PtInRect(&a->secondary, p) ? 2
                                                                              : 0;
            return 0;
        case WM_LBUTTONUP:
            if (a->pressed == 1 && PtInRect(&a->primary, p)) Finish(*a, true);
            if (a->pressed == 2 && PtInRect(&a->secondary, p)) Finish(*a, false);
            a->pressed = 0;
            return 0;
        case WM_KEYDOWN:
            // Return takes the default button: OK, or No for a question.
            if (wParam == VK_RETURN) Finish(*a, !TwoButtons(*a->kind));
            if (wParam == VK_ESCAPE) Finish(*a, false);
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) Finish(*a, true);
            if (LOWORD(wParam) == IDCANCEL) Finish(*a, false);
            return 0;
        case WM_CLOSE:
            Finish(*a, false);
            return 0;
        default:
            return DefWindowProcW(hwnd, msg, wParam, lParam);
        }
    });
}

std::vector<ControlInfo> ListAlert(HWND hwnd) {
    std::vector<ControlInfo> out;
    Alert* a = g_alert && g_alert->hwnd == hwnd ? g_alert : nullptr;
    if (!a) return out;
    const bool visible = IsWindowVisible(hwnd) != FALSE;
    ControlInfo icon;
    icon.name = "Icon";
    icon.cls = "picture";
    icon.rect = a->icon;
    icon.picture = IconOf(*a->kind);
    icon.visible = visible;
    out.push_back(icon);
    ControlInfo label;
    label.name = "Text";
    label.cls = "label";
    label.rect = a->label;
    label.text = a->text;
    label.fontFace = UiFont().faceName;
    label.fontHeight = Px(12);
    label.fontWeight = FW_NORMAL;
    label.textColor = 0;
    label.visible = visible;
    out.push_back(label);
    ControlInfo primary;
    primary.name = "PrimaryButton";
    primary.cls = "TclBoxCaptionButton";
    primary.rect = a->primary;
    primary.text = PrimaryText(*a->kind);
    primary.fontFace = UiFont().faceName;
    primary.fontHeight = Px(12);
    primary.textColor = 0xFFFFFF;
    primary.backColor = 0x0079D8;
    primary.visible = visible;
    out.push_back(primary);
    ControlInfo secondary = primary;
    secondary.name = "SecondaryButton";
    secondary.rect = a->secondary;
    secondary.text = SecondaryText(*a->kind);
    secondary.textColor = 0x000000;
    secondary.backColor = 0xF0F0F0;
    secondary.visible = visible && TwoButtons(*a->kind);
    out.push_back(secondary);
    return out;
}

void BringMainForward() {
    HWND main = MainWindow();
    if (!main) return;
    if (IsIconic(main)) ShowWindow(main, SW_RESTORE);
    if (IsWindowVisible(main)) SetForegroundWindow(main);
}

bool RunAlert(const KindInfo& kind, const std::u16string& text) {
    Alert a;
    a.kind = &kind;
    a.text = text;
    const UiFontChoice font = UiFont();
    a.font = CreateFontW(-Px(12), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, font.charset,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                         DEFAULT_PITCH | FF_DONTCARE, W(font.faceName));
    HWND owner = MainWindow();
    if (owner && !IsWindowVisible(owner)) owner = nullptr;
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    a.hwnd =
        CreateWindowExW(WS_EX_TOPMOST | WS_EX_DLGMODALFRAME, kAlertClass, L"Tarvik", style, 0, 0,
                        Px(300), Px(130), owner, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!a.hwnd) {
        if (a.font) DeleteObject(a.font);
        return false;
    }
    Alert* outer = g_alert;
    g_alert = &a;
    HDC dc = GetDC(a.hwnd);
    LayOut(a, dc);
    ReleaseDC(a.hwnd, dc);
    RECT wr{0, 0, Px(a.clientW), Px(a.clientH)};
    AdjustWindowRectEx(&wr, style, FALSE, WS_EX_TOPMOST | WS_EX_DLGMODALFRAME);
    SetWindowPos(a.hwnd, nullptr, 0, 0, wr.right - wr.left, wr.bottom - wr.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    CentreWindow(a.hwnd, owner);
    RegisterControlLister(a.hwnd, ListAlert);
    {
        NestedLoopScope loop(Shell());
        if (owner) EnableWindow(owner, FALSE);
        ShowWindow(a.hwnd, SW_SHOW);
        SetForegroundWindow(a.hwnd);
        MSG msg;
        while (!a.done) {
            const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
            if (got == 0) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            if (got < 0) break;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (owner) {
            EnableWindow(owner, TRUE);
            SetForegroundWindow(owner);
        }
    }
    UnregisterControlLister(a.hwnd);
    g_alert = outer;
    DestroyWindow(a.hwnd);
    DeleteObject(a.font);
    return a.result;
}

} // namespace

const char* BoxKindName(BoxKind kind) {
    return Info(kind).name;
}

bool BoxKindFromName(const std::string& name, BoxKind& kind) {
    for (const KindInfo& k : kKinds)
        if (name == k.name) {
            kind = k.kind;
            return true;
        }
    return false;
}

bool BuildMessageBox(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = AlertProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kAlertClass;
    g_built = RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    return g_built;
}

bool MessageBoxBuilt() {
    return g_built;
}

bool ShowBox(BoxKind kind, const std::u16string& text) {
    BringMainForward();
    const KindInfo& info = Info(kind);
    if (g_built) return RunAlert(info, text);
    HWND owner = MainWindow();
    if (owner && !IsWindowVisible(owner)) owner = nullptr;
    NestedLoopScope loop(Shell());
    const int r = MessageBoxW(owner, W(text), L"Tarvik", info.systemFlags | MB_TOPMOST);
    return r == IDYES || r == IDOK;
}

void ShowErrorText(const std::u16string& text) {
    ShowBox(BoxKind::kError, text);
}

void ShowErrorId(int id) {
    ShowErrorText(ErrorMessageText(id));
}

void ShowWarning(const std::u16string& text) {
    ShowBox(BoxKind::kWarning, text);
}
void ShowInformation(const std::u16string& text) {
    ShowBox(BoxKind::kInformation, text);
}
bool AskQuestion(const std::u16string& text) {
    return ShowBox(BoxKind::kQuestion, text);
}
bool AskWarningQuestion(const std::u16string& text) {
    return ShowBox(BoxKind::kWarningQuestion, text);
}

HWND OpenAlertWindow() {
    return g_alert ? g_alert->hwnd : nullptr;
}

} // namespace tvd::win
