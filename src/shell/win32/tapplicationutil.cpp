#include "shell/win32/tapplicationutil.h"

namespace tvd::win {

namespace {

const wchar_t* W(const char16_t* s) {
    return reinterpret_cast<const wchar_t*>(s);
}

} // namespace

WinInstancePlatform::~WinInstancePlatform() {
    if (mutex_) {
        if (owned_) ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }
}

LockResult WinInstancePlatform::TakeLock() {
    mutex_ = CreateMutexW(nullptr, TRUE, W(kInstanceLockName));
    if (!mutex_) return LockResult::kFailed;
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
        owned_ = true;
        return LockResult::kOwned;
    }
    // It exists: free when its last owner ended without releasing it.
    const DWORD w = WaitForSingleObject(mutex_, 0);
    if (w == WAIT_OBJECT_0 || w == WAIT_ABANDONED) {
        owned_ = true;
        return LockResult::kOwned;
    }
    return LockResult::kHeldElsewhere;
}

bool WinInstancePlatform::WaitLock(std::uint32_t ms) {
    if (!mutex_) return false;
    const DWORD w = WaitForSingleObject(mutex_, ms);
    owned_ = w == WAIT_OBJECT_0 || w == WAIT_ABANDONED;
    return owned_;
}

bool WinInstancePlatform::BringExistingForward() {
    HWND other = FindWindowW(W(kMainWindowClass), W(kMainWindowCaption));
    if (!other) return false;
    if (IsIconic(other)) SendMessageW(other, WM_SYSCOMMAND, SC_RESTORE, 0);
    SetForegroundWindow(other);
    return true;
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void CentreWindow(HWND window, HWND over) {
    RECT w{};
    if (!GetWindowRect(window, &w)) return;
    RECT area{};
    if (over && IsWindowVisible(over)) {
        GetWindowRect(over, &area);
    } else if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) {
        area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    const int width = w.right - w.left, height = w.bottom - w.top;
    const int x = area.left + ((area.right - area.left) - width) / 2;
    const int y = area.top + ((area.bottom - area.top) - height) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void FatalError() {
    MessageBoxW(nullptr, L"An error occurred. The application will exit.", L"Tarvik",
                MB_OK | MB_ICONERROR | MB_TASKMODAL);
    ExitProcess(1);
}

} // namespace tvd::win
