// The byte mover under the HTTP jobs: one session, one connection and one request at a time, in
// the order the job's pipeline calls them. It decides nothing: redirects, body limits and abort
// handling belong to the job, so that every platform behaves the same.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/errorcodes.h"

namespace tvd {

// The numbers a Windows caller sees for network failures; other platforms map theirs to these.
namespace neterr {
inline constexpr ErrorCode kTimeout = 12002;            // ERROR_WINHTTP_TIMEOUT
inline constexpr ErrorCode kInternal = 12004;           // ERROR_WINHTTP_INTERNAL_ERROR
inline constexpr ErrorCode kInvalidUrl = 12005;         // ERROR_WINHTTP_INVALID_URL
inline constexpr ErrorCode kUnrecognizedScheme = 12006; // ERROR_WINHTTP_UNRECOGNIZED_SCHEME
inline constexpr ErrorCode kNameNotResolved = 12007;    // ERROR_WINHTTP_NAME_NOT_RESOLVED
inline constexpr ErrorCode kCancelled = 12017;          // ERROR_WINHTTP_OPERATION_CANCELLED
inline constexpr ErrorCode kCannotConnect = 12029;      // ERROR_WINHTTP_CANNOT_CONNECT
inline constexpr ErrorCode kConnectionError = 12030;    // ERROR_WINHTTP_CONNECTION_ERROR
inline constexpr ErrorCode kInvalidServerResponse = 12152;
inline constexpr ErrorCode kRedirectFailed = 12156; // ERROR_WINHTTP_REDIRECT_FAILED
inline constexpr ErrorCode kSecureChannelError = 12157;
inline constexpr ErrorCode kSecureFailure = 12175; // ERROR_WINHTTP_SECURE_FAILURE
// NTE_BUFFER_TOO_SMALL: the body does not fit the place meant for it.
inline constexpr ErrorCode kBufferTooSmall = 0x80090028u;

// The certificate or the TLS handshake failed (the platforms differ in which of the two).
inline bool IsTlsFailure(ErrorCode e) {
    return e == kSecureFailure || e == kSecureChannelError || (e >= 12037 && e <= 12045) ||
           e == 12169;
}
} // namespace neterr

// Settings of one request that the transport needs besides the request line.
struct HttpTransportSettings {
    std::uint32_t connectTimeoutMs = 60000;
    // Longest time without progress while sending or receiving.
    std::uint32_t idleTimeoutMs = 30000;
    // Extra trust anchors (a PEM file); empty: the system's store alone.
    std::string caFile;
};

class HttpTransport {
public:
    virtual ~HttpTransport() = default;

    virtual ErrorCode OpenSession(const char* userAgent, const HttpTransportSettings& s) = 0;
    virtual ErrorCode Connect(const std::string& host, std::uint16_t port) = 0;
    // Always a TLS request: the services carry serial numbers and decide what the browser opens.
    virtual ErrorCode OpenRequest(const std::string& verb, const std::string& path) = 0;
    // Sends the request (headers: lines without a line end, joined by "\n") and waits for the
    // response head; `status` is the HTTP status, 0 when none was read.
    virtual ErrorCode SendRequest(const std::string& headers, const std::uint8_t* body,
                                  std::uint32_t bodyLength, std::uint32_t& status) = 0;
    // The response's Location header ("" when none) and Content-Length (-1 when unknown).
    virtual std::string Location() = 0;
    virtual std::int64_t ContentLength() = 0;
    // Bytes that can be read now without waiting for the end; 0 at the end of the body.
    virtual ErrorCode QueryDataAvailable(std::uint32_t& available) = 0;
    virtual ErrorCode ReadData(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& read) = 0;
    virtual void CloseRequest() = 0;
    virtual void CloseConnection() = 0;
    virtual void CloseSession() = 0;
    // From another thread, under the job's lock: makes a blocking call of the job thread return.
    // The abort flag is the one the job keeps; a transport may poll it.
    virtual void Cancel() = 0;
    virtual void SetAbortFlag(const std::atomic<bool>* flag) { (void)flag; }
};

// The job's extra header lines for the wire: split at line feeds, a trailing CR dropped, empty
// lines and any Content-Length dropped (the transport sets that one from the body), and lines with
// other control characters refused (false).
bool SplitRequestHeaders(const std::string& headers, std::vector<std::string>& lines);

// The platform's transport (WinHTTP on Windows, libcurl on Linux); null when none can be made.
std::unique_ptr<HttpTransport> CreatePlatformHttpTransport();

} // namespace tvd
