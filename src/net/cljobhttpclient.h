// HTTPS request jobs: one request per job, run on the job thread through a fixed pipeline of
// steps (session, connection, request, send, body) over a platform transport. Descendants differ
// only in where the body goes. An HTTP status other than 200 is not a job failure: the caller
// decides from statusCode.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "jobs/clkernelbasicjob.h"
#include "net/httptransport.h"

namespace tvd {

class clJobHttpClient : public clKernelBasicJob {
public:
    TVD_ISA(clJobHttpClient, clKernelBasicJob)

    static constexpr const char* kUserAgent = "HTTP Zolt/1.0";
    // Redirects a GET follows; a POST follows none, so its body goes nowhere else.
    static constexpr int kMaxRedirects = 5;

    clJobHttpClient();
    ~clJobHttpClient() override;

    void Run() override;
    bool IsFailed() override { return failed.load(std::memory_order_acquire); }
    bool IsAborted() override { return abortRequested.load(std::memory_order_acquire); }
    // Kept when asked before Run (the job then ends aborted without touching the network);
    // ignored once the job has finished.
    void Abort() override;

    // Before queuing: the transport to use (tests); without one Run takes the platform's.
    void SetTransport(std::unique_ptr<HttpTransport> transport);

    // The pipeline result: 0, or the error that ended it.
    ErrorCode Result() const { return result.load(std::memory_order_acquire); }
    // Where the last request went (after redirects).
    const std::string& FinalHost() const { return currentHost_; }
    const std::string& FinalPath() const { return currentPath_; }
    int RedirectCount() const { return redirects_; }

    std::atomic<bool> abortRequested{false};
    std::atomic<bool> failed{false};
    std::atomic<ErrorCode> result{0};
    std::int32_t chunkSize = 2048;
    std::uint32_t statusCode = 0;

    // The request, filled in by the creator before queuing. The transport is always TLS.
    std::string verb = "GET";
    std::uint16_t port = 443;
    std::string host;
    std::string path;
    // Extra header lines separated by line feeds; Content-Length is the transport's alone.
    std::string headers;
    std::string body;
    HttpTransportSettings settings;

protected:
    virtual ErrorCode OpenSession();
    virtual ErrorCode Connect();
    virtual ErrorCode OpenRequest();
    virtual ErrorCode SendRequest();
    virtual ErrorCode ReadBody();
    virtual ErrorCode BeginBody() { return 0; }
    virtual void Completed(ErrorCode r) { (void)r; }
    virtual ErrorCode OnData(std::uint32_t count) {
        (void)count;
        return 0;
    }
    // The announced body length, before any byte is read: a descendant refuses what cannot fit.
    virtual ErrorCode ExpectLength(std::int64_t length) {
        (void)length;
        return 0;
    }

    // The read buffer of chunkSize bytes, alive during Run.
    std::vector<std::uint8_t> chunk;

private:
    ErrorCode FollowRedirect();
    void CloseHandles();

    std::mutex lock_;
    std::unique_ptr<HttpTransport> transport_;
    bool sessionOpen_ = false, connectionOpen_ = false, requestOpen_ = false;
    std::string currentHost_, currentPath_;
    std::uint16_t currentPort_ = 443;
    int redirects_ = 0;
};

} // namespace tvd
