#include "net/cljobhttpclient.h"

#include <algorithm>
#include <new>

#include "net/weburlutil.h"

namespace tvd {
namespace {

bool IsRedirectStatus(std::uint32_t s) {
    return s == 301 || s == 302 || s == 303 || s == 307 || s == 308;
}

} // namespace

clJobHttpClient::clJobHttpClient() = default;
clJobHttpClient::~clJobHttpClient() = default;

void clJobHttpClient::SetTransport(std::unique_ptr<HttpTransport> transport) {
    std::lock_guard<std::mutex> hold(lock_);
    transport_ = std::move(transport);
}

void clJobHttpClient::Abort() {
    if (Done()) return;
    abortRequested.store(true, std::memory_order_release);
    std::lock_guard<std::mutex> hold(lock_);
    if (transport_ && requestOpen_) transport_->Cancel();
}

void clJobHttpClient::Run() {
    failed.store(false, std::memory_order_release);
    statusCode = 0;
    redirects_ = 0;
    currentHost_ = host;
    currentPort_ = port;
    currentPath_ = path;
    // A stop asked for while the job waited in the queue is kept: the network is never touched.
    ErrorCode r = IsAborted() ? err::kCancelled : BeginBody();
    if (r == 0) {
        try {
            chunk.assign(static_cast<std::size_t>(std::max<std::int32_t>(chunkSize, 1)), 0);
        } catch (const std::bad_alloc&) {
            r = err::kInsufficientBuffer;
        }
    }
    if (r == 0) {
        std::lock_guard<std::mutex> hold(lock_);
        if (!transport_) transport_ = CreatePlatformHttpTransport();
        if (!transport_)
            r = err::kNotSupported;
        else
            transport_->SetAbortFlag(&abortRequested);
    }
    if (r == 0) r = OpenSession();
    for (;;) {
        if (r == 0) r = Connect();
        if (r == 0) r = OpenRequest();
        if (r == 0) r = SendRequest();
        if (r != 0 || verb != "GET" || !IsRedirectStatus(statusCode)) break;
        if (redirects_ >= kMaxRedirects) {
            r = neterr::kRedirectFailed;
            break;
        }
        r = FollowRedirect();
        if (r != 0) break;
    }
    if (r == 0) r = ReadBody();
    if (r != 0 && IsAborted()) r = err::kCancelled;
    Completed(r);
    CloseHandles();
    std::vector<std::uint8_t>().swap(chunk);
    result.store(r, std::memory_order_release);
    if (r != 0) failed.store(true, std::memory_order_release);
    Finish();
}

ErrorCode clJobHttpClient::FollowRedirect() {
    // Only to an https address the browser check would accept, or a path on the same server.
    const std::string location = transport_->Location();
    HttpsUrl next;
    if (location.size() > 1 && location[0] == '/' && location[1] != '/') {
        // A path on the same server: the same character check, under a stand-in host.
        if (!ParseHttpsUrl("https://localhost" + location, next)) return neterr::kRedirectFailed;
        next.host = currentHost_;
        next.port = currentPort_;
    } else if (!ParseHttpsUrl(location, next)) {
        return neterr::kRedirectFailed;
    }
    {
        std::lock_guard<std::mutex> hold(lock_);
        transport_->CloseRequest();
        requestOpen_ = false;
        transport_->CloseConnection();
        connectionOpen_ = false;
    }
    currentHost_ = next.host;
    currentPort_ = next.port;
    currentPath_ = next.path;
    statusCode = 0;
    ++redirects_;
    return IsAborted() ? err::kCancelled : 0;
}

void clJobHttpClient::CloseHandles() {
    std::lock_guard<std::mutex> hold(lock_);
    if (!transport_) return;
    if (requestOpen_) transport_->CloseRequest();
    if (connectionOpen_) transport_->CloseConnection();
    if (sessionOpen_) transport_->CloseSession();
    requestOpen_ = connectionOpen_ = sessionOpen_ = false;
}

ErrorCode clJobHttpClient::OpenSession() {
    ErrorCode r = transport_->OpenSession(kUserAgent, settings);
    if (r == 0) sessionOpen_ = true;
    return r;
}

ErrorCode clJobHttpClient::Connect() {
    ErrorCode r = transport_->Connect(currentHost_, currentPort_);
    if (r == 0) connectionOpen_ = true;
    return r;
}

ErrorCode clJobHttpClient::OpenRequest() {
    std::lock_guard<std::mutex> hold(lock_);
    ErrorCode r = transport_->OpenRequest(verb, currentPath_);
    if (r == 0) requestOpen_ = true;
    return r;
}

ErrorCode clJobHttpClient::SendRequest() {
    if (IsAborted()) return err::kCancelled;
    if (body.size() > 0x7fffffffu) return err::kInvalidParameter;
    std::uint32_t status = 0;
    const ErrorCode r =
        transport_->SendRequest(headers, reinterpret_cast<const std::uint8_t*>(body.data()),
                                static_cast<std::uint32_t>(body.size()), status);
    statusCode = status;
    return r;
}

ErrorCode clJobHttpClient::ReadBody() {
    ErrorCode r = ExpectLength(transport_->ContentLength());
    if (r != 0) return r;
    const auto size = static_cast<std::uint32_t>(chunk.size());
    while (!IsAborted()) {
        std::uint32_t available = 0;
        r = transport_->QueryDataAvailable(available);
        if (r != 0) return r;
        if (available == 0) return 0;
        std::uint32_t got = 0;
        r = transport_->ReadData(chunk.data(), std::min(size, available), got);
        if (r != 0) return r;
        if (got == 0) return 0;
        // A transport that hands over more than asked must not reach OnData's arithmetic.
        if (got > size) return err::kInvalidData;
        r = OnData(got);
        if (r != 0) return r;
    }
    return err::kCancelled;
}

} // namespace tvd
