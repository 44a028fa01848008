// The tool version check: a GET of the version record, compared with this program's version.
#pragma once
#include <cstdint>
#include <vector>

#include "foundation/clzoltitem.h"
#include "net/cljobhttpgetdata.h"
#include "net/updateoutcome.h"

namespace tvd {

inline constexpr const char* kSwUpdatePath = "/storage/ssd/api/tarvik.json";
inline constexpr std::int32_t kSwRecordBuffer = 32768;

// A GET job for the record into `buffer` (resized to 32,768 zero bytes; the job may fill all but
// the last, which stays the terminating zero). The buffer must outlive the job.
ZoltRef<clJobHttpGetData> CreateSwUpdateJob(const HttpsUrl& service,
                                            std::vector<std::uint8_t>& buffer);

// The record of a finished request, compared with `ownVersion` (the product's by default).
UpdateOutcome DecodeSwUpdateReply(bool failed, ErrorCode error, std::uint32_t httpStatus,
                                  const std::uint8_t* body, std::size_t length,
                                  std::uint64_t ownVersion);
UpdateOutcome DecodeSwUpdateJob(clJobHttpGetData* job);

} // namespace tvd
