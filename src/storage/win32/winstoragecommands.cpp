// winstorage.h brings windows.h, which the device-control headers need first.
#include "storage/win32/winstorage.h"

#include <winioctl.h>

#include <ntddscsi.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <vector>

#include "storage/sptiiofun.h"
#include "storage/win32/winstoragerequests.h"

namespace tvd {

namespace {

constexpr spti::Layout kNative = spti::LayoutOf(kNativeLayoutWidth);
static_assert(kNative.headerSize == sizeof(SCSI_PASS_THROUGH));
static_assert(spti::kScsiStatusOff == offsetof(SCSI_PASS_THROUGH, ScsiStatus));
static_assert(spti::kPathIdOff == offsetof(SCSI_PASS_THROUGH, PathId));
static_assert(spti::kTargetIdOff == offsetof(SCSI_PASS_THROUGH, TargetId));
static_assert(spti::kLunOff == offsetof(SCSI_PASS_THROUGH, Lun));
static_assert(spti::kCdbLengthOff == offsetof(SCSI_PASS_THROUGH, CdbLength));
static_assert(spti::kSenseInfoLengthOff == offsetof(SCSI_PASS_THROUGH, SenseInfoLength));
static_assert(spti::kDataInOff == offsetof(SCSI_PASS_THROUGH, DataIn));
static_assert(spti::kDataTransferLengthOff == offsetof(SCSI_PASS_THROUGH, DataTransferLength));
static_assert(spti::kTimeOutValueOff == offsetof(SCSI_PASS_THROUGH, TimeOutValue));
static_assert(kNative.dataBufferOffset == offsetof(SCSI_PASS_THROUGH, DataBufferOffset));
static_assert(kNative.dataBufferOffsetSize == sizeof(SCSI_PASS_THROUGH::DataBufferOffset));
static_assert(kNative.senseInfoOffset == offsetof(SCSI_PASS_THROUGH, SenseInfoOffset));
static_assert(kNative.cdb == offsetof(SCSI_PASS_THROUGH, Cdb));
static_assert(spti::kCdbMax == sizeof(SCSI_PASS_THROUGH::Cdb));
static_assert(spti::kDataIn == SCSI_IOCTL_DATA_IN && spti::kDataOut == SCSI_IOCTL_DATA_OUT &&
              spti::kDataUnspecified == SCSI_IOCTL_DATA_UNSPECIFIED);
static_assert(ioctl::kScsiPassThrough == IOCTL_SCSI_PASS_THROUGH);

} // namespace

ErrorCode WinStoragePlatform::ScsiCommand(DeviceHandle& h, ScsiCommandRequest& r) {
    const HANDLE native = win::NativeHandle(h);
    if (native == INVALID_HANDLE_VALUE) return err::kFileNotFound;
    if (r.data.size() > std::numeric_limits<std::uint32_t>::max() - kNative.data)
        return err::kInvalidParameter;
    spti::Request req;
    req.cdb = r.cdb;
    req.direction = r.direction;
    req.dataLength = static_cast<std::uint32_t>(r.data.size());
    req.dataOut = r.data;
    req.timeoutSeconds = r.timeoutSeconds;
    req.pathId = r.address.pathId;
    req.targetId = r.address.targetId;
    req.lun = r.address.lun;
    std::vector<std::uint8_t> buffer;
    ErrorCode e = spti::Encode(kNativeLayoutWidth, req, buffer);
    if (e != err::kSuccess) return e;

    DWORD got = 0;
    const DWORD size = static_cast<DWORD>(buffer.size());
    if (!DeviceIoControl(native, IOCTL_SCSI_PASS_THROUGH, buffer.data(), size, buffer.data(), size,
                         &got, nullptr))
        return win::LastErrorOrNotFound();

    spti::Answer answer;
    e = spti::Decode(kNativeLayoutWidth, req, buffer, answer);
    if (e != err::kSuccess) return e;
    r.status = answer.status;
    r.transferred = answer.transferred;
    r.senseLength = static_cast<std::uint8_t>(answer.sense.size());
    std::copy(answer.sense.begin(), answer.sense.end(), r.sense);
    std::copy(answer.data.begin(), answer.data.end(), r.data.begin());
    return err::kSuccess;
}

ErrorCode WinStoragePlatform::IoControl(DeviceHandle& h, std::uint32_t code, ByteView in,
                                        MutableByteView out, std::uint32_t& returned) {
    returned = 0;
    const HANDLE native = win::NativeHandle(h);
    if (native == INVALID_HANDLE_VALUE) return err::kFileNotFound;
    win::HandleIoControl io(native);
    return io.Call(code, in, out, returned);
}

} // namespace tvd
