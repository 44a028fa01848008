// The Windows transport: WinHTTP, bound at run time from the system folder. Synchronous calls;
// an abort closes the request handle, which WinHTTP documents as cancelling a call in progress.
#include <windows.h>
#include <winhttp.h>

#include <string>

#include "foundation/textconvutil.h"
#include "foundation/win32/winmodules.h"
#include "net/httptransport.h"

namespace tvd {
namespace {

template <class F> F Bind(const char* name) {
    return win::WinHttpModule().Fn<F>(name);
}

using OpenFn = HINTERNET(WINAPI*)(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD);
using ConnectFn = HINTERNET(WINAPI*)(HINTERNET, LPCWSTR, INTERNET_PORT, DWORD);
using OpenRequestFn = HINTERNET(WINAPI*)(HINTERNET, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR*,
                                         DWORD);
using SendRequestFn = BOOL(WINAPI*)(HINTERNET, LPCWSTR, DWORD, LPVOID, DWORD, DWORD, DWORD_PTR);
using ReceiveResponseFn = BOOL(WINAPI*)(HINTERNET, LPVOID);
using QueryHeadersFn = BOOL(WINAPI*)(HINTERNET, DWORD, LPCWSTR, LPVOID, LPDWORD, LPDWORD);
using QueryDataAvailableFn = BOOL(WINAPI*)(HINTERNET, LPDWORD);
using ReadDataFn = BOOL(WINAPI*)(HINTERNET, LPVOID, DWORD, LPDWORD);
using CloseHandleFn = BOOL(WINAPI*)(HINTERNET);
using SetOptionFn = BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, DWORD);
using SetTimeoutsFn = BOOL(WINAPI*)(HINTERNET, int, int, int, int);

struct WinHttpApi {
    OpenFn open = Bind<OpenFn>("WinHttpOpen");
    ConnectFn connect = Bind<ConnectFn>("WinHttpConnect");
    OpenRequestFn openRequest = Bind<OpenRequestFn>("WinHttpOpenRequest");
    SendRequestFn sendRequest = Bind<SendRequestFn>("WinHttpSendRequest");
    ReceiveResponseFn receiveResponse = Bind<ReceiveResponseFn>("WinHttpReceiveResponse");
    QueryHeadersFn queryHeaders = Bind<QueryHeadersFn>("WinHttpQueryHeaders");
    QueryDataAvailableFn queryDataAvailable =
        Bind<QueryDataAvailableFn>("WinHttpQueryDataAvailable");
    ReadDataFn readData = Bind<ReadDataFn>("WinHttpReadData");
    CloseHandleFn closeHandle = Bind<CloseHandleFn>("WinHttpCloseHandle");
    SetOptionFn setOption = Bind<SetOptionFn>("WinHttpSetOption");
    SetTimeoutsFn setTimeouts = Bind<SetTimeoutsFn>("WinHttpSetTimeouts");

    bool Complete() const {
        return open && connect && openRequest && sendRequest && receiveResponse && queryHeaders &&
               queryDataAvailable && readData && closeHandle && setOption && setTimeouts;
    }
};

const WinHttpApi& Api() {
    static const WinHttpApi api;
    return api;
}

std::wstring Wide(std::string_view s) {
    const std::u16string u = Utf8ToUtf16(s);
    return std::wstring(u.begin(), u.end());
}

ErrorCode LastError() {
    const DWORD e = GetLastError();
    return e != 0 ? static_cast<ErrorCode>(e) : neterr::kInternal;
}

int TimeoutMs(std::uint32_t ms) {
    return ms > 0x7fffffffu ? 0x7fffffff : static_cast<int>(ms);
}

class WinHttpTransport final : public HttpTransport {
public:
    ~WinHttpTransport() override {
        CloseRequest();
        CloseConnection();
        CloseSession();
    }

    ErrorCode OpenSession(const char* userAgent, const HttpTransportSettings& s) override {
        const WinHttpApi& api = Api();
        if (!api.Complete()) return err::kProcNotFound;
        // The machine's certificate store decides trust here; no file is added to it.
        if (!s.caFile.empty()) return err::kNotSupported;
        session_ =
            api.open(Wide(userAgent ? userAgent : "").c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                     WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
        if (!session_) return LastError();
        DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
        if (!api.setOption(session_, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                           sizeof protocols)) {
            // Systems without TLS 1.3 refuse the flag; 1.2 alone is still the floor.
            protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
            if (!api.setOption(session_, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                               sizeof protocols))
                return LastError();
        }
        DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
        if (!api.setOption(session_, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy))
            return LastError();
        if (!api.setTimeouts(session_, 0, TimeoutMs(s.connectTimeoutMs), TimeoutMs(s.idleTimeoutMs),
                             TimeoutMs(s.idleTimeoutMs)))
            return LastError();
        return 0;
    }

    ErrorCode Connect(const std::string& host, std::uint16_t port) override {
        if (!session_) return err::kInvalidHandle;
        connection_ = Api().connect(session_, Wide(host).c_str(), port, 0);
        return connection_ ? 0 : LastError();
    }

    ErrorCode OpenRequest(const std::string& verb, const std::string& path) override {
        if (!connection_) return err::kInvalidHandle;
        const WinHttpApi& api = Api();
        HINTERNET r =
            api.openRequest(connection_, Wide(verb).c_str(), Wide(path).c_str(), nullptr,
                            WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE);
        if (!r) return LastError();
        request_ = r;
        requestClosed_ = false;
        DWORD off = WINHTTP_DISABLE_REDIRECTS;
        if (!api.setOption(request_, WINHTTP_OPTION_DISABLE_FEATURE, &off, sizeof off))
            return LastError();
        return 0;
    }

    ErrorCode SendRequest(const std::string& headers, const std::uint8_t* body,
                          std::uint32_t bodyLength, std::uint32_t& status) override {
        status = 0;
        if (!request_ || requestClosed_) return err::kInvalidHandle;
        const WinHttpApi& api = Api();
        std::vector<std::string> lines;
        if (!SplitRequestHeaders(headers, lines)) return err::kInvalidParameter;
        std::string joined;
        for (const auto& l : lines)
            joined += l + "\r\n";
        const std::wstring wide = Wide(joined);
        if (!api.sendRequest(request_, wide.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : wide.c_str(),
                             static_cast<DWORD>(wide.size()),
                             bodyLength ? const_cast<std::uint8_t*>(body) : WINHTTP_NO_REQUEST_DATA,
                             bodyLength, bodyLength, 0))
            return LastError();
        ErrorCode kept = 0;
        if (!api.receiveResponse(request_, nullptr)) kept = LastError();
        DWORD code = 0, size = sizeof code;
        const BOOL got =
            api.queryHeaders(request_, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX);
        if (got) status = code;
        if (kept != 0) return kept;
        return got ? 0 : LastError();
    }

    std::string Location() override { return TextHeader(WINHTTP_QUERY_LOCATION); }

    std::int64_t ContentLength() override {
        const std::string v = TextHeader(WINHTTP_QUERY_CONTENT_LENGTH);
        if (v.empty() || v.size() > 15) return -1;
        std::int64_t n = 0;
        for (char c : v) {
            if (c < '0' || c > '9') return -1;
            n = n * 10 + (c - '0');
        }
        return n;
    }

    ErrorCode QueryDataAvailable(std::uint32_t& available) override {
        available = 0;
        DWORD n = 0;
        if (!Api().queryDataAvailable(request_, &n)) return LastError();
        available = n;
        return 0;
    }

    ErrorCode ReadData(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& read) override {
        DWORD n = 0;
        read = 0;
        if (!Api().readData(request_, buffer, size, &n)) return LastError();
        read = n;
        return 0;
    }

    void CloseRequest() override {
        if (request_ && !requestClosed_) Api().closeHandle(request_);
        request_ = nullptr;
        requestClosed_ = false;
    }

    void CloseConnection() override {
        if (connection_) Api().closeHandle(connection_);
        connection_ = nullptr;
    }

    void CloseSession() override {
        if (session_) Api().closeHandle(session_);
        session_ = nullptr;
    }

    // Called under the job's lock, as is CloseRequest: the handle is closed once.
    void Cancel() override {
        if (request_ && !requestClosed_) {
            requestClosed_ = true;
            Api().closeHandle(request_);
        }
    }

private:
    std::string TextHeader(DWORD query) {
        if (!request_ || requestClosed_) return {};
        wchar_t buffer[2048];
        DWORD size = sizeof buffer - sizeof(wchar_t);
        if (!Api().queryHeaders(request_, query, WINHTTP_HEADER_NAME_BY_INDEX, buffer, &size,
                                WINHTTP_NO_HEADER_INDEX))
            return {};
        const std::size_t chars = size / sizeof(wchar_t);
        std::u16string u(buffer, buffer + (chars < 2048 ? chars : 2047));
        return Utf16ToUtf8(u);
    }

    HINTERNET session_ = nullptr;
    HINTERNET connection_ = nullptr;
    HINTERNET request_ = nullptr;
    bool requestClosed_ = false;
};

} // namespace

std::unique_ptr<HttpTransport> CreatePlatformHttpTransport() {
    return std::make_unique<WinHttpTransport>();
}

} // namespace tvd
