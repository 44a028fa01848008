#include "shell/win32/mainwebpageutil.h"

#include <windows.h>

#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shobjidl.h>

#include "shell/mainlayoututil.h"

namespace tvd::win {

namespace {

template <class T> struct ComPtr {
    T* p = nullptr;
    ~ComPtr() {
        if (p) p->Release();
    }
    T** operator&() { return &p; }
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

// The desktop shell's IShellDispatch2, reached through its desktop window's view.
bool DesktopShellExecute(const std::wstring& file) {
    ComPtr<IShellWindows> windows;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                reinterpret_cast<void**>(&windows))))
        return false;
    VARIANT empty;
    VariantInit(&empty);
    long hwnd = 0;
    ComPtr<IDispatch> desktop;
    if (windows->FindWindowSW(&empty, &empty, SWC_DESKTOP, &hwnd, SWFO_NEEDDISPATCH, &desktop) !=
            S_OK ||
        !desktop)
        return false;
    ComPtr<IServiceProvider> provider;
    if (FAILED(desktop->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&provider))))
        return false;
    ComPtr<IShellBrowser> browser;
    if (FAILED(provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser,
                                      reinterpret_cast<void**>(&browser))))
        return false;
    ComPtr<IShellView> view;
    if (FAILED(browser->QueryActiveShellView(&view)) || !view) return false;
    ComPtr<IDispatch> background;
    if (FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch,
                                   reinterpret_cast<void**>(&background))))
        return false;
    ComPtr<IShellFolderViewDual> folderView;
    if (FAILED(background->QueryInterface(IID_IShellFolderViewDual,
                                          reinterpret_cast<void**>(&folderView))))
        return false;
    ComPtr<IDispatch> application;
    if (FAILED(folderView->get_Application(&application)) || !application) return false;
    ComPtr<IShellDispatch2> shell;
    if (FAILED(application->QueryInterface(IID_IShellDispatch2, reinterpret_cast<void**>(&shell))))
        return false;
    BSTR bfile = SysAllocString(file.c_str());
    BSTR verb = SysAllocString(L"open");
    VARIANT args, dir, op, show;
    VariantInit(&args);
    VariantInit(&dir);
    VariantInit(&op);
    VariantInit(&show);
    op.vt = VT_BSTR;
    op.bstrVal = verb;
    show.vt = VT_I4;
    show.lVal = SW_SHOWNORMAL;
    const HRESULT hr =
        bfile && verb ? shell->ShellExecute(bfile, args, dir, op, show) : E_OUTOFMEMORY;
    SysFreeString(bfile);
    SysFreeString(verb);
    return SUCCEEDED(hr);
}

} // namespace

ErrorCode OpenWebPageUnelevated(const std::string& address) {
    if (!IsOpenableWebAddress(address)) return err::kInvalidParameter;
    const std::wstring wide(address.begin(), address.end()); // checked ASCII
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const bool ok = DesktopShellExecute(wide);
    if (SUCCEEDED(init)) CoUninitialize();
    return ok ? err::kSuccess : err::kNotSupported;
}

} // namespace tvd::win
