// Programs and web pages started by the elevated window program.
#include <windows.h>

#include <exdisp.h>
#include <shldisp.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "foundation/dllbindutil.h"
#include "foundation/textconvutil.h"
#include "foundation/win32/winfileutil.h"
#include "foundation/win32/winhandle.h"
#include "foundation/winfolderutilw.h"
#include "shell/processutil.h"

namespace tvd {

namespace {

// Windows messages keep flowing while a child runs, so the window stays responsive.
void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// The folders a program may be run from: the system folder and the admin-only folder.
std::vector<std::string> RunnableFolders() {
    std::vector<std::string> folders;
    wchar_t system[MAX_PATH + 1] = {};
    const UINT n = GetSystemDirectoryW(system, MAX_PATH);
    if (n > 0 && n < MAX_PATH) folders.push_back(Utf16ToUtf8(win::U16(system, n)));
    std::u16string admin;
    if (win::AdminOnlyFolderW(admin) == err::kSuccess) folders.push_back(Utf16ToUtf8(admin));
    return folders;
}

} // namespace

ErrorCode RunAndWait(const std::string& program, const std::string& arguments,
                     const std::string& directory, std::uint32_t* exitCode) {
    if (exitCode) *exitCode = 0;
    std::u16string full;
    if (program.empty()) return err::kInvalidParameter;
    if (ErrorCode e = win::FullPath(Utf8ToUtf16(program), full)) return e;
    // Both the text asked for and the path it resolves to must pass: the rule never sees one
    // folder while CreateProcess runs from another.
    const std::vector<std::string> folders = RunnableFolders();
    if (!IsRunnableProgramPath(program, folders) ||
        !IsRunnableProgramPath(Utf16ToUtf8(full), folders))
        return err::kAccessDenied;

    std::u16string commandLine = u"\"" + full + u"\"";
    if (!arguments.empty()) commandLine += u" " + Utf8ToUtf16(arguments);
    std::u16string folder = Utf8ToUtf16(directory);

    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(L'\0');
    // The application name is given, so nothing is searched or guessed at blanks.
    if (!CreateProcessW(win::W(full), mutableLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, folder.empty() ? nullptr : win::W(folder), &si, &pi))
        return win::LastError();
    win::UniqueHandle process(pi.hProcess);
    win::UniqueHandle thread(pi.hThread);
    while (WaitForSingleObject(process.get(), 50) == WAIT_TIMEOUT)
        PumpMessages();
    DWORD code = 0;
    if (!GetExitCodeProcess(process.get(), &code)) return win::LastError();
    if (exitCode) *exitCode = code;
    return err::kSuccess;
}

namespace {

// Interfaces of the desktop shell, by their published identifiers.
constexpr CLSID kClsidShellWindows = {
    0x9BA05972, 0xF6A8, 0x11CF, {0xA4, 0x42, 0x00, 0xA0, 0xC9, 0x0A, 0x8F, 0x39}};
constexpr IID kIidShellWindows = {
    0x85CB6900, 0x4D95, 0x11CF, {0x96, 0x0C, 0x00, 0x80, 0xC7, 0xF4, 0xEE, 0x85}};
constexpr GUID kSidTopLevelBrowser = {
    0x4C96BE40, 0x915C, 0x11CF, {0x99, 0xD3, 0x00, 0xAA, 0x00, 0x4A, 0xE8, 0x37}};
constexpr IID kIidServiceProvider = {
    0x6D5140C1, 0x7436, 0x11CE, {0x80, 0x34, 0x00, 0xAA, 0x00, 0x60, 0x09, 0xFA}};
constexpr IID kIidShellBrowser = {
    0x000214E2, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIidDispatch = {
    0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIidShellFolderViewDual = {
    0xE7A1AF80, 0x4D96, 0x11CF, {0x96, 0x0C, 0x00, 0x80, 0xC7, 0xF4, 0xEE, 0x85}};
constexpr IID kIidShellDispatch2 = {
    0xA4C6892C, 0x3BA9, 0x11D2, {0x9D, 0xEA, 0x00, 0xC0, 0x4F, 0xB1, 0x61, 0x62}};

template <class T> class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() {
        if (p_) p_->Release();
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    void** out() { return reinterpret_cast<void**>(&p_); }
    T** outTyped() { return &p_; }

private:
    T* p_ = nullptr;
};

class ComApartment {
public:
    ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    bool ok() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT hr_;
};

// BSTRs and VARIANTs come from oleaut32, bound on first use.
BoundModule& OleAut() {
    static BoundModule module("oleaut32.dll");
    return module;
}

class Bstr {
public:
    explicit Bstr(const std::u16string& s) {
        using Alloc = BSTR(WINAPI*)(const OLECHAR*);
        if (auto alloc = OleAut().Fn<Alloc>("SysAllocString"))
            b_ = alloc(reinterpret_cast<const OLECHAR*>(s.c_str()));
    }
    ~Bstr() {
        using Free = void(WINAPI*)(BSTR);
        if (b_)
            if (auto free = OleAut().Fn<Free>("SysFreeString")) free(b_);
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return b_; }

private:
    BSTR b_ = nullptr;
};

VARIANT Text(const Bstr& s) {
    VARIANT v;
    ZeroMemory(&v, sizeof v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = s.get();
    return v;
}

VARIANT Int(int i) {
    VARIANT v;
    ZeroMemory(&v, sizeof v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = i;
    return v;
}

VARIANT Empty() {
    VARIANT v;
    ZeroMemory(&v, sizeof v);
    V_VT(&v) = VT_EMPTY;
    return v;
}

// The desktop's own shell (Explorer, running as the user) opens the page; this process never
// calls ShellExecute, which would start the browser elevated through associations that users
// can change.
ErrorCode OpenThroughDesktopShell(const std::u16string& url) {
    ComApartment apartment;
    if (!apartment.ok()) return err::kFileNotFound;
    ComPtr<IShellWindows> windows;
    if (FAILED(CoCreateInstance(kClsidShellWindows, nullptr, CLSCTX_LOCAL_SERVER, kIidShellWindows,
                                windows.out())))
        return err::kFileNotFound;
    VARIANT location = Int(CSIDL_DESKTOP);
    VARIANT root = Empty();
    long hwnd = 0;
    ComPtr<IDispatch> desktop;
    if (windows->FindWindowSW(&location, &root, SWC_DESKTOP, &hwnd, SWFO_NEEDDISPATCH,
                              desktop.outTyped()) != S_OK ||
        !desktop.get())
        return err::kFileNotFound;
    ComPtr<IServiceProvider> provider;
    if (FAILED(desktop->QueryInterface(kIidServiceProvider, provider.out())))
        return err::kFileNotFound;
    ComPtr<IShellBrowser> browser;
    if (FAILED(provider->QueryService(kSidTopLevelBrowser, kIidShellBrowser, browser.out())))
        return err::kFileNotFound;
    ComPtr<IShellView> view;
    if (FAILED(browser->QueryActiveShellView(view.outTyped())) || !view.get())
        return err::kFileNotFound;
    ComPtr<IDispatch> background;
    if (FAILED(view->GetItemObject(SVGIO_BACKGROUND, kIidDispatch, background.out())))
        return err::kFileNotFound;
    ComPtr<IShellFolderViewDual> folderView;
    if (FAILED(background->QueryInterface(kIidShellFolderViewDual, folderView.out())))
        return err::kFileNotFound;
    ComPtr<IDispatch> application;
    if (FAILED(folderView->get_Application(application.outTyped())) || !application.get())
        return err::kFileNotFound;
    ComPtr<IShellDispatch2> shell;
    if (FAILED(application->QueryInterface(kIidShellDispatch2, shell.out())))
        return err::kFileNotFound;

    Bstr file(url), verb(u"open");
    if (!file.get() || !verb.get()) return err::kNotEnoughMemory;
    const VARIANT none = Empty();
    if (FAILED(shell->ShellExecute(file.get(), none, none, Text(verb), Int(SW_SHOWNORMAL))))
        return err::kFileNotFound;
    return err::kSuccess;
}

} // namespace

ErrorCode OpenWebPage(const std::string& url) {
    if (!IsWellFormedHttpsUrl(url)) return err::kInvalidParameter;
    return OpenThroughDesktopShell(Utf8ToUtf16(url));
}

} // namespace tvd
