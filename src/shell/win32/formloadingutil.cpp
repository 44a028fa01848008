#include "shell/win32/formloadingutil.h"

#include "shell/mainlayoututil.h"
#include "shell/stagedstartutil.h"
#include "shell/win32/frmmain.h"
#include "shell/win32/mainpictureutil.h"
#include "shell/win32/mainuitestutil.h"
#include "shell/win32/tapplicationutil.h"

namespace tvd::win {

namespace {

HWND g_splash = nullptr;
std::uint64_t g_shownAt = 0;
int g_progress = 0;

void PaintSplash(HWND hwnd, HDC dc) {
    RECT r;
    GetClientRect(hwnd, &r);
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    FillRect(dc, &r, white);
    DeleteObject(white);
    DrawPicture(dc, "IMG_LOADING", r);
    HBRUSH grey = CreateSolidBrush(RGB(0xB9, 0xB9, 0xB9));
    FrameRect(dc, &r, grey);
    DeleteObject(grey);
}

LRESULT CALLBACK SplashProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return Guarded([&]() -> LRESULT {
        switch (msg) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            PaintSplash(hwnd, dc);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_PRINTCLIENT:
            PaintSplash(hwnd, reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_TIMER:
            // The test mode's timer lives on the main window, which is hidden now; its requests
            // are still served.
            return 0;
        default:
            return DefWindowProcW(hwnd, msg, wParam, lParam);
        }
    });
}

std::vector<ControlInfo> ListSplash(HWND hwnd) {
    ControlInfo c;
    c.name = "LoadingPicture";
    c.cls = "picture";
    GetClientRect(hwnd, &c.rect);
    c.picture = "IMG_LOADING";
    c.visible = IsWindowVisible(hwnd) != FALSE;
    return {c};
}

} // namespace

bool BuildSplash(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = SplashProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"TFormLoading";
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    g_splash = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"TFormLoading", L"Tarvik",
                               WS_POPUP, 0, 0, Px(kSplashWidth), Px(kSplashHeight), nullptr,
                               nullptr, instance, nullptr);
    if (!g_splash) return false;
    RegisterControlLister(g_splash, ListSplash);
    return true;
}

void ShowSplash() {
    if (!g_splash) return;
    CentreWindow(g_splash);
    ShowWindow(g_splash, SW_SHOWNA);
    UpdateWindow(g_splash);
    PumpMessages();
    g_shownAt = SteadyClock().Milliseconds();
}

void SplashProgress(int value) {
    g_progress = value;
}

void CloseSplash() {
    if (!g_splash) return;
    WaitForSplashRule(SteadyClock(), g_shownAt, [] {
        // One second in small steps, with the messages served between them.
        for (int i = 0; i < 10; ++i) {
            PumpMessages();
            Sleep(100);
        }
    });
    UnregisterControlLister(g_splash);
    ShowWindow(g_splash, SW_HIDE);
    DestroyWindow(g_splash);
    g_splash = nullptr;
}

HWND SplashWindow() {
    return g_splash;
}

} // namespace tvd::win
