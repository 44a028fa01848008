// The WMI query job with COM: locator, services, a forward-only WQL query, the first object's
// string property. oleaut32 (BSTR, VARIANT) is bound at run time from the system folder.
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>

#include "foundation/dllbindutil.h"
#include "report/clwmibasicjob.h"
#include "report/wmithreadutil.h"

namespace tvd {

namespace {

// {4590F811-1D3A-11D0-891F-00AA004B2E24} and {DC12A687-737F-11CF-884D-00AA004B2E24}.
const CLSID kClsidWbemLocator = {
    0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
const IID kIidWbemLocator = {
    0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

BoundModule& OleAut() {
    static BoundModule module("oleaut32.dll");
    return module;
}

struct Bstr {
    BSTR text = nullptr;
    explicit Bstr(const std::u16string& s) {
        using Fn = BSTR(WINAPI*)(const OLECHAR*, UINT);
        if (auto alloc = OleAut().Fn<Fn>("SysAllocStringLen"))
            text = alloc(reinterpret_cast<const OLECHAR*>(s.data()), static_cast<UINT>(s.size()));
    }
    ~Bstr() {
        using Fn = void(WINAPI*)(BSTR);
        if (auto free = OleAut().Fn<Fn>("SysFreeString"); free && text) free(text);
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
};

template <class T> void ReleaseCom(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

bool ComInitialize() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return false;
    const HRESULT hr =
        CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                             RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    if (FAILED(hr) && hr != RPC_E_TOO_LATE) {
        CoUninitialize();
        return false;
    }
    return true;
}

void ComUninitialize() {
    CoUninitialize();
}

class clWmiJobQueryPropertyString : public clWmiBasicJob {
public:
    TVD_ISA(clWmiJobQueryPropertyString, clWmiBasicJob)
    clWmiJobQueryPropertyString(std::u16string ns, std::u16string cls, std::u16string property,
                                std::u16string condition)
        : clWmiBasicJob(std::move(ns)), class_(std::move(cls)), property_(std::move(property)),
          condition_(std::move(condition)) {}

    void Run() override {
        result_ = Execute();
        ReleaseCom(enumerator_);
        ReleaseCom(services_);
        ReleaseCom(locator_);
    }
    HRESULT Result() const { return result_; }
    const std::optional<std::u16string>& Text() const { return text_; }

private:
    HRESULT Execute() {
        HRESULT hr = CoCreateInstance(kClsidWbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                      kIidWbemLocator, reinterpret_cast<void**>(&locator_));
        if (FAILED(hr)) return hr;
        Bstr ns(Namespace());
        if (!ns.text) return E_OUTOFMEMORY;
        hr = locator_->ConnectServer(ns.text, nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                     &services_);
        if (FAILED(hr)) return hr;
        hr = CoSetProxyBlanket(services_, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                               RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                               EOAC_NONE);
        if (FAILED(hr)) return hr;
        std::u16string query = u"SELECT " + property_ + u" FROM " + class_;
        if (!condition_.empty()) query += u" WHERE " + condition_;
        Bstr language(u"WQL"), text(query);
        if (!language.text || !text.text) return E_OUTOFMEMORY;
        hr = services_->ExecQuery(language.text, text.text,
                                  WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                  &enumerator_);
        if (FAILED(hr)) return hr;
        IWbemClassObject* object = nullptr;
        ULONG returned = 0;
        hr = enumerator_->Next(10000, 1, &object, &returned);
        if (FAILED(hr) || returned == 0 || !object) {
            ReleaseCom(object);
            return FAILED(hr) ? hr : S_FALSE;
        }
        VARIANT value;
        using InitFn = void(WINAPI*)(VARIANTARG*);
        using ClearFn = HRESULT(WINAPI*)(VARIANTARG*);
        auto init = OleAut().Fn<InitFn>("VariantInit");
        auto clear = OleAut().Fn<ClearFn>("VariantClear");
        if (!init || !clear) {
            ReleaseCom(object);
            return E_NOTIMPL;
        }
        init(&value);
        Bstr name(property_);
        hr = name.text ? object->Get(name.text, 0, &value, nullptr, nullptr) : E_OUTOFMEMORY;
        if (SUCCEEDED(hr) && value.vt == VT_BSTR && value.bstrVal)
            text_ = std::u16string(reinterpret_cast<const char16_t*>(value.bstrVal));
        clear(&value);
        ReleaseCom(object);
        return hr;
    }

    std::u16string class_, property_, condition_;
    IWbemLocator* locator_ = nullptr;
    IWbemServices* services_ = nullptr;
    IEnumWbemClassObject* enumerator_ = nullptr;
    HRESULT result_ = E_FAIL;
    std::optional<std::u16string> text_;
};

} // namespace

WmiThreadHooks PlatformWmiHooks() {
    return {ComInitialize, ComUninitialize};
}

std::optional<std::u16string> WmiQueryString(const std::u16string& wmiNamespace,
                                             const std::u16string& cls,
                                             const std::u16string& property,
                                             const std::u16string& condition) {
    ZoltRef<clWmiJobQueryPropertyString> job =
        MakeZoltRef<clWmiJobQueryPropertyString>(wmiNamespace, cls, property, condition);
    if (!job || !WmiRunAndWait(job.Get())) return std::nullopt;
    return job->Text();
}

} // namespace tvd
