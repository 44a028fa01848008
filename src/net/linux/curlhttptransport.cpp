// The Linux transport: one libcurl easy handle driven through the multi interface, so that each
// step keeps its meaning (the status is known when SendRequest returns) and the body is handed
// over a piece at a time. libcurl's own redirects are off: the job follows them.
#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "net/httptransport.h"

namespace tvd {
namespace {

ErrorCode FromCurl(CURLcode c) {
    switch (c) {
    case CURLE_OK:
        return 0;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return neterr::kNameNotResolved;
    case CURLE_COULDNT_CONNECT:
        return neterr::kCannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
        return neterr::kTimeout;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_INVALIDCERTSTATUS:
        return neterr::kSecureFailure;
    case CURLE_SSL_CONNECT_ERROR:
        return neterr::kSecureChannelError;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
        return neterr::kConnectionError;
    case CURLE_ABORTED_BY_CALLBACK:
        return err::kCancelled;
    case CURLE_OUT_OF_MEMORY:
        return err::kNotEnoughMemory;
    case CURLE_URL_MALFORMAT:
        return neterr::kInvalidUrl;
    case CURLE_UNSUPPORTED_PROTOCOL:
        return neterr::kUnrecognizedScheme;
    case CURLE_WEIRD_SERVER_REPLY:
        return neterr::kInvalidServerResponse;
    default:
        return neterr::kInternal;
    }
}

bool StartsWithNoCase(const char* p, std::size_t n, const char* prefix) {
    const std::size_t k = std::strlen(prefix);
    if (n < k) return false;
    for (std::size_t i = 0; i < k; ++i) {
        char c = p[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

std::string Trimmed(const char* p, std::size_t n) {
    std::size_t b = 0, e = n;
    while (b < e && (p[b] == ' ' || p[b] == '\t'))
        ++b;
    while (e > b && (p[e - 1] == '\r' || p[e - 1] == '\n' || p[e - 1] == ' '))
        --e;
    return std::string(p + b, e - b);
}

class CurlHttpTransport final : public HttpTransport {
public:
    ~CurlHttpTransport() override {
        CloseRequest();
        CloseSession();
    }

    ErrorCode OpenSession(const char* userAgent, const HttpTransportSettings& s) override {
        static std::once_flag once;
        static CURLcode init = CURLE_OK;
        std::call_once(once, [] { init = curl_global_init(CURL_GLOBAL_DEFAULT); });
        if (init != CURLE_OK) return neterr::kInternal;
        multi_ = curl_multi_init();
        if (!multi_) return err::kNotEnoughMemory;
        userAgent_ = userAgent ? userAgent : "";
        settings_ = s;
        return 0;
    }

    // libcurl connects when the request is sent; here the address is only kept.
    ErrorCode Connect(const std::string& host, std::uint16_t port) override {
        if (!multi_ || host.empty()) return err::kInvalidParameter;
        host_ = host;
        port_ = port;
        return 0;
    }

    ErrorCode OpenRequest(const std::string& verb, const std::string& path) override {
        if (!multi_) return err::kInvalidHandle;
        easy_ = curl_easy_init();
        if (!easy_) return err::kNotEnoughMemory;
        verb_ = verb;
        path_ = path.empty() ? "/" : path;
        ResetResponse();
        return 0;
    }

    ErrorCode SendRequest(const std::string& headers, const std::uint8_t* body,
                          std::uint32_t bodyLength, std::uint32_t& status) override {
        status = 0;
        if (!easy_) return err::kInvalidHandle;
        std::vector<std::string> lines;
        if (!SplitRequestHeaders(headers, lines)) return err::kInvalidParameter;
        // No "Expect: 100-continue" and no Accept: the request carries only what the job asked.
        lines.push_back("Expect:");
        lines.push_back("Accept:");
        for (const auto& l : lines) {
            curl_slist* next = curl_slist_append(headerList_, l.c_str());
            if (!next) return err::kNotEnoughMemory;
            headerList_ = next;
        }
        const bool ipv6 = host_.find(':') != std::string::npos;
        url_ =
            "https://" + (ipv6 ? "[" + host_ + "]" : host_) + ":" + std::to_string(port_) + path_;
        ErrorCode r = Configure(body, bodyLength);
        if (r != 0) return r;
        if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) return neterr::kInternal;
        added_ = true;
        r = Drive([this] { return headersDone_; });
        long code = 0;
        curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &code);
        if (code > 0 && code < 1000) status = static_cast<std::uint32_t>(code);
        return r;
    }

    std::string Location() override { return location_; }
    std::int64_t ContentLength() override { return contentLength_; }

    ErrorCode QueryDataAvailable(std::uint32_t& available) override {
        available = 0;
        if (!easy_ || !added_) return err::kInvalidHandle;
        if (pending_.empty() && paused_) {
            paused_ = false;
            curl_easy_pause(easy_, CURLPAUSE_CONT);
        }
        ErrorCode r = Drive([this] { return !pending_.empty(); });
        if (r != 0) return r;
        available = static_cast<std::uint32_t>(pending_.size());
        return 0;
    }

    ErrorCode ReadData(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& read) override {
        read = static_cast<std::uint32_t>(std::min<std::size_t>(size, pending_.size()));
        if (read) std::memcpy(buffer, pending_.data(), read);
        pending_.erase(0, read);
        return 0;
    }

    void CloseRequest() override {
        if (easy_) {
            if (added_ && multi_) curl_multi_remove_handle(multi_, easy_);
            curl_easy_cleanup(easy_);
        }
        easy_ = nullptr;
        added_ = false;
        if (headerList_) curl_slist_free_all(headerList_);
        headerList_ = nullptr;
        ResetResponse();
    }

    void CloseConnection() override { host_.clear(); }

    void CloseSession() override {
        if (multi_) curl_multi_cleanup(multi_);
        multi_ = nullptr;
    }

    void Cancel() override {
        if (multi_) curl_multi_wakeup(multi_);
    }

    void SetAbortFlag(const std::atomic<bool>* flag) override { abort_ = flag; }

private:
    bool Aborted() const { return abort_ && abort_->load(std::memory_order_acquire); }

    void ResetResponse() {
        headersDone_ = done_ = paused_ = false;
        doneCode_ = CURLE_OK;
        lineStatus_ = 0;
        location_.clear();
        contentLength_ = -1;
        pending_.clear();
    }

    ErrorCode Configure(const std::uint8_t* body, std::uint32_t bodyLength) {
        const long idleSeconds = static_cast<long>((settings_.idleTimeoutMs + 999) / 1000);
        bool ok = true;
        auto set = [&](CURLoption o, auto v) {
            ok = ok && curl_easy_setopt(easy_, o, v) == CURLE_OK;
        };
        set(CURLOPT_URL, url_.c_str());
        set(CURLOPT_PROTOCOLS_STR, "https");
        set(CURLOPT_REDIR_PROTOCOLS_STR, "https");
        set(CURLOPT_FOLLOWLOCATION, 0L);
        set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
        set(CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
        set(CURLOPT_SSL_VERIFYPEER, 1L);
        set(CURLOPT_SSL_VERIFYHOST, 2L);
        if (!settings_.caFile.empty()) set(CURLOPT_CAINFO, settings_.caFile.c_str());
        set(CURLOPT_USERAGENT, userAgent_.c_str());
        set(CURLOPT_HTTPHEADER, headerList_);
        set(CURLOPT_NOSIGNAL, 1L);
        set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(settings_.connectTimeoutMs));
        set(CURLOPT_LOW_SPEED_LIMIT, 1L);
        set(CURLOPT_LOW_SPEED_TIME, idleSeconds > 0 ? idleSeconds : 1L);
        set(CURLOPT_NOPROGRESS, 0L);
        set(CURLOPT_XFERINFOFUNCTION, &CurlHttpTransport::OnProgress);
        set(CURLOPT_XFERINFODATA, this);
        set(CURLOPT_HEADERFUNCTION, &CurlHttpTransport::OnHeader);
        set(CURLOPT_HEADERDATA, this);
        set(CURLOPT_WRITEFUNCTION, &CurlHttpTransport::OnWrite);
        set(CURLOPT_WRITEDATA, this);
        if (verb_ == "GET") {
            set(CURLOPT_HTTPGET, 1L);
        } else if (verb_ == "POST") {
            static const char kEmpty[] = "";
            set(CURLOPT_POST, 1L);
            set(CURLOPT_POSTFIELDS, body ? reinterpret_cast<const char*>(body) : kEmpty);
            set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body ? bodyLength : 0));
        } else {
            return err::kInvalidParameter;
        }
        return ok ? 0 : neterr::kInternal;
    }

    template <class Pred> ErrorCode Drive(Pred ready) {
        while (!ready()) {
            if (done_) return doneCode_ == CURLE_OK ? 0 : FromCurl(doneCode_);
            if (Aborted()) return err::kCancelled;
            int running = 0;
            if (curl_multi_perform(multi_, &running) != CURLM_OK) return neterr::kInternal;
            int left = 0;
            while (CURLMsg* m = curl_multi_info_read(multi_, &left)) {
                if (m->msg == CURLMSG_DONE && m->easy_handle == easy_) {
                    done_ = true;
                    doneCode_ = m->data.result;
                }
            }
            if (ready() || done_) continue;
            curl_multi_poll(multi_, nullptr, 0, 100, nullptr);
        }
        return 0;
    }

    static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        return static_cast<CurlHttpTransport*>(self)->Aborted() ? 1 : 0;
    }

    static size_t OnHeader(char* p, size_t size, size_t n, void* self) {
        auto* t = static_cast<CurlHttpTransport*>(self);
        const size_t len = size * n;
        if (len >= 5 && std::memcmp(p, "HTTP/", 5) == 0) {
            // A new response head (after a 1xx one): forget the previous one's fields.
            t->location_.clear();
            t->contentLength_ = -1;
            t->lineStatus_ = 0;
            const char* sp = static_cast<const char*>(std::memchr(p, ' ', len));
            for (const char* d = sp ? sp + 1 : p + len; d < p + len && *d >= '0' && *d <= '9'; ++d)
                t->lineStatus_ = t->lineStatus_ * 10 + static_cast<unsigned>(*d - '0');
        } else if (len <= 2 && (len == 0 || p[0] == '\r' || p[0] == '\n')) {
            if (t->lineStatus_ >= 200) t->headersDone_ = true;
        } else if (StartsWithNoCase(p, len, "location:")) {
            if (len < 8192) t->location_ = Trimmed(p + 9, len - 9);
        } else if (StartsWithNoCase(p, len, "content-length:")) {
            std::string v = Trimmed(p + 15, len - 15);
            std::int64_t value = 0;
            bool ok = !v.empty() && v.size() <= 15;
            for (char c : v) {
                if (c < '0' || c > '9')
                    ok = false;
                else
                    value = value * 10 + (c - '0');
            }
            t->contentLength_ = ok ? value : -1;
        } else if (StartsWithNoCase(p, len, "transfer-encoding:")) {
            t->contentLength_ = -1;
        }
        return len;
    }

    static size_t OnWrite(char* p, size_t size, size_t n, void* self) {
        auto* t = static_cast<CurlHttpTransport*>(self);
        // Held back until the job has taken what came before: the buffer stays one piece large.
        if (!t->pending_.empty()) {
            t->paused_ = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        t->pending_.append(p, size * n);
        return size * n;
    }

    CURLM* multi_ = nullptr;
    CURL* easy_ = nullptr;
    curl_slist* headerList_ = nullptr;
    bool added_ = false;
    std::string userAgent_, host_, verb_, path_, url_;
    std::uint16_t port_ = 443;
    HttpTransportSettings settings_;
    const std::atomic<bool>* abort_ = nullptr;
    bool headersDone_ = false, done_ = false, paused_ = false;
    CURLcode doneCode_ = CURLE_OK;
    unsigned lineStatus_ = 0;
    std::string location_;
    std::int64_t contentLength_ = -1;
    std::string pending_;
};

} // namespace

std::unique_ptr<HttpTransport> CreatePlatformHttpTransport() {
    return std::make_unique<CurlHttpTransport>();
}

} // namespace tvd
