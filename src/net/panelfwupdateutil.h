// The firmware update check: the daily key, the multipart request, and the reply's decode into
// one outcome.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/clzoltitem.h"
#include "net/cljobhttpbuffer.h"
#include "net/updateoutcome.h"

namespace tvd {

inline constexpr const char* kFwUpdatePath = "/ssd_api/tarvikdornFwUpdate";
inline constexpr const char* kFwUpdateToken = "Hq3TmW7xRc2NvLp8Ys5KdF1a";
inline constexpr const char* kFwUpdateBoundary = "boundary1";
inline constexpr const char* kFwUpdateHeaders =
    "Content-type: multipart/form-data; boundary=boundary1";
// The reply is a short JSON object; anything larger is not one.
inline constexpr std::int32_t kFwReplyCap = 64 * 1024;

// SHA-256 of the token followed by the date "YYYYMMDD", as 64 lower-case hex digits.
ErrorCode FwUpdateKey(unsigned year, unsigned month, unsigned day, std::string& key);

// The form body. kInvalidData when the serial or firmware revision is empty, has a byte outside
// printable ASCII, or contains the boundary: such a value would break the form.
ErrorCode BuildFwUpdateForm(std::string_view serial, std::string_view firmware,
                            std::string_view key, std::string& body);

// A queued-ready POST job for the service; null with the error when the request cannot be built.
ZoltRef<clJobHttpBuffer> CreateFwUpdateJob(const HttpsUrl& service, std::string_view serial,
                                           std::string_view firmware, unsigned year, unsigned month,
                                           unsigned day, ErrorCode& error);

// The reply of a finished request (failed: the job failed with `error`).
UpdateOutcome DecodeFwUpdateReply(bool failed, ErrorCode error, std::uint32_t httpStatus,
                                  const std::uint8_t* body, std::size_t length);
UpdateOutcome DecodeFwUpdateJob(clJobHttpBuffer* job);

} // namespace tvd
