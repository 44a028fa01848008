#include "storage/clscsi.h"
#include "storage/devicehandleutil.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tvd {

namespace {
constexpr ErrorCode kBadCommand = 22; // ERROR_BAD_COMMAND: no CDB
constexpr std::size_t kMaxCdb = 16;
} // namespace

void clNtScsi::Open() {
    if (handle_.IsOpen() || path_.empty()) return;
    // Without administrator rights the device would be reached through a device-open hook,
    // which is never installed: the interface stays closed.
    if (viaHook) {
        lastError_ = err::kAccessDenied;
        return;
    }
    lastError_ = OpenDevice(path_, handle_);
    if (lastError_ != err::kSuccess) handle_.Close();
}

void clNtScsi::Close() {
    handle_.Close();
}

bool clNtScsi::Exec(ByteView cdb, DataDirection dir, MutableByteView data, std::uint32_t* length,
                    std::uint8_t* status) {
    senseLength_ = 0;
    if (cdb.empty() || cdb.size() > kMaxCdb) {
        lastError_ = kBadCommand;
        return false;
    }
    Open();
    if (!handle_.IsOpen()) {
        lastError_ = err::kFileNotFound;
        return false;
    }
    ScsiCommandRequest req;
    req.cdb = cdb;
    req.direction = dir;
    req.data = data;
    req.timeoutSeconds = timeout_;
    req.address.portNumber = static_cast<std::uint8_t>(portNumber);
    req.address.pathId = pathId;
    req.address.targetId = targetId;
    req.address.lun = lun;
    const ErrorCode e = Storage().ScsiCommand(handle_, req);
    if (e != err::kSuccess) {
        lastError_ = e;
        return false;
    }
    // A back end must not claim more than the buffer it was given.
    if (req.transferred > data.size()) {
        lastError_ = err::kNotEnoughMemory;
        return false;
    }
    senseLength_ = std::min<std::uint8_t>(req.senseLength, kScsiSenseSize);
    std::memcpy(sense_, req.sense, senseLength_);
    if (status) *status = req.status;
    if (length) *length = req.transferred;
    lastError_ = err::kSuccess;
    return true;
}

bool clNtScsi::ExecNonData(ByteView cdb, std::uint8_t* status) {
    return Exec(cdb, DataDirection::kNone, {}, nullptr, status);
}

bool clNtScsi::ExecDataIn(ByteView cdb, MutableByteView buffer, std::uint32_t& length,
                          std::uint8_t* status) {
    const std::size_t n = std::min<std::size_t>(length, buffer.size());
    return Exec(cdb, DataDirection::kIn, buffer.first(n), &length, status);
}

bool clNtScsi::ExecDataOut(ByteView cdb, ByteView buffer, std::uint32_t& length,
                           std::uint8_t* status) {
    const std::size_t n = std::min<std::size_t>(length, buffer.size());
    // The request's buffer is writable; the caller's data stays untouched.
    std::vector<std::uint8_t> out(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
    return Exec(cdb, DataDirection::kOut, out, &length, status);
}

} // namespace tvd
