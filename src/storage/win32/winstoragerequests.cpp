#include "storage/win32/winstoragerequests.h"

#include <winioctl.h>

#include <ddk/mountmgr.h>
#include <ntddcdrm.h>
#include <ntddscsi.h>
#include <usbioctl.h>

#include <algorithm>

#include "storage/ntstoragepropertyutil.h"

namespace tvd::win {

namespace {

// The 1028-byte answer buffer of the mount-device-name request.
constexpr std::size_t kMountDevNameBuffer = 1028;
constexpr std::size_t kHotplugInfoSize = 8;
// USB_HCD_DRIVERKEY_NAME: the first read's buffer, the name's offset, the largest answer taken.
constexpr std::size_t kHcdKeyFirstRead = 512, kHcdKeyName = 4;
constexpr std::uint32_t kHcdKeyMaxAnswer = 64 * 1024;

ErrorCode Exchange(IoControl& io, std::uint32_t code, ByteView in, std::vector<std::uint8_t>& out) {
    std::uint32_t got = 0;
    const ErrorCode e = io.Call(code, in, MutableByteView(out), got);
    if (e == err::kSuccess) out.resize(std::min<std::size_t>(got, out.size()));
    return e;
}

ErrorCode Send(IoControl& io, std::uint32_t code, ByteView in = {}) {
    std::uint32_t got = 0;
    return io.Call(code, in, {}, got);
}

// A fixed-size answer, then its decoder.
template <class T, class Decode>
ErrorCode FixedQuery(IoControl& io, std::uint32_t code, std::size_t size, T& out, Decode decode) {
    std::vector<std::uint8_t> answer(size);
    const ErrorCode e = Exchange(io, code, {}, answer);
    if (e != err::kSuccess) return e;
    T value{};
    const ErrorCode d = decode(ByteView(answer), value);
    if (d == err::kSuccess) out = std::move(value);
    return d;
}

} // namespace

ErrorCode HandleIoControl::Call(std::uint32_t code, ByteView in, MutableByteView out,
                                std::uint32_t& returned) {
    returned = 0;
    if (h_ == nullptr || h_ == INVALID_HANDLE_VALUE) return err::kFileNotFound;
    if (in.size() > MAXDWORD || out.size() > MAXDWORD) return err::kInvalidParameter;
    DWORD got = 0;
    const BOOL ok =
        DeviceIoControl(h_, code, in.empty() ? nullptr : const_cast<std::uint8_t*>(in.data()),
                        static_cast<DWORD>(in.size()), out.empty() ? nullptr : out.data(),
                        static_cast<DWORD>(out.size()), &got, nullptr);
    const ErrorCode e = ok ? err::kSuccess : LastErrorOrNotFound();
    returned = static_cast<std::uint32_t>(std::min<std::size_t>(got, out.size()));
    return e;
}

ErrorCode LastErrorOrNotFound() {
    const DWORD e = GetLastError();
    return e ? e : err::kFileNotFound;
}

ErrorCode QueryStorageProperty(IoControl& io, std::uint32_t propertyId,
                               std::vector<std::uint8_t>& answer) {
    const std::vector<std::uint8_t> query = EncodePropertyQuery(propertyId);
    std::vector<std::uint8_t> header(propheader::kHeaderSize);
    ErrorCode e = Exchange(io, IOCTL_STORAGE_QUERY_PROPERTY, query, header);
    if (e != err::kSuccess) return e;
    std::uint32_t size = 0;
    if (header.size() < propheader::kHeaderSize) return err::kInvalidData;
    e = PropertyAnswerSize(header, size);
    if (e != err::kSuccess) return e;
    std::vector<std::uint8_t> full(size);
    e = Exchange(io, IOCTL_STORAGE_QUERY_PROPERTY, query, full);
    if (e != err::kSuccess) return e;
    if (full.size() < propheader::kHeaderSize) return err::kInvalidData;
    answer = std::move(full);
    return err::kSuccess;
}

ErrorCode QueryDeviceNumber(IoControl& io, StorageDeviceNumber& out) {
    return FixedQuery(io, IOCTL_STORAGE_GET_DEVICE_NUMBER, devnumber::kSize, out,
                      DecodeDeviceNumber);
}

ErrorCode QueryDeviceDescriptor(IoControl& io, StorageDeviceDescriptor& out) {
    std::vector<std::uint8_t> answer;
    const ErrorCode e = QueryStorageProperty(io, propquery::kDeviceProperty, answer);
    return e != err::kSuccess ? e : DecodeDeviceDescriptor(answer, out);
}

ErrorCode QueryAdapterDescriptor(IoControl& io, std::vector<std::uint8_t>& raw) {
    return QueryStorageProperty(io, propquery::kAdapterProperty, raw);
}

ErrorCode QueryTrimEnabled(IoControl& io, bool& enabled) {
    std::vector<std::uint8_t> answer;
    const ErrorCode e = QueryStorageProperty(io, propquery::kTrimProperty, answer);
    return e != err::kSuccess ? e : DecodeTrimDescriptor(answer, enabled);
}

ErrorCode QueryTemperature(IoControl& io, std::vector<TemperatureInfo>& out) {
    std::vector<std::uint8_t> answer;
    const ErrorCode e = QueryStorageProperty(io, propquery::kTemperatureProperty, answer);
    return e != err::kSuccess ? e : DecodeTemperatureDescriptor(answer, out);
}

ErrorCode QueryHotplugInfo(IoControl& io, std::uint8_t (&info)[8]) {
    std::vector<std::uint8_t> answer(kHotplugInfoSize);
    const ErrorCode e = Exchange(io, IOCTL_STORAGE_GET_HOTPLUG_INFO, {}, answer);
    if (e != err::kSuccess) return e;
    if (answer.size() < kHotplugInfoSize) return err::kInvalidData;
    std::copy(answer.begin(), answer.end(), info);
    return err::kSuccess;
}

ErrorCode QueryScsiAddress(IoControl& io, ScsiAddress& out) {
    return FixedQuery(io, IOCTL_SCSI_GET_ADDRESS, scsiaddr::kSize, out, DecodeScsiAddress);
}

ErrorCode QueryGeometry(IoControl& io, DiskGeometry& out) {
    StorageDeviceNumber number;
    const bool optical =
        QueryDeviceNumber(io, number) == err::kSuccess &&
        (number.deviceType == filedevice::kCdRom || number.deviceType == filedevice::kDvd);
    return FixedQuery(io, optical ? IOCTL_CDROM_GET_DRIVE_GEOMETRY : IOCTL_DISK_GET_DRIVE_GEOMETRY,
                      geometry::kSize, out, DecodeDiskGeometry);
}

ErrorCode QueryLength(IoControl& io, std::uint64_t& bytes) {
    return FixedQuery(io, IOCTL_DISK_GET_LENGTH_INFO, lengthinfo::kSize, bytes, DecodeLengthInfo);
}

ErrorCode QueryWritable(IoControl& io, bool& writable) {
    const ErrorCode e = Send(io, IOCTL_DISK_IS_WRITABLE);
    if (e != err::kSuccess && e != ERROR_WRITE_PROTECT) return e;
    writable = e == err::kSuccess;
    return err::kSuccess;
}

ErrorCode DecodeMountDeviceName(ByteView answer, std::u16string& name) {
    std::uint16_t bytes = 0;
    if (!LoadLe(answer, 0, bytes) || bytes % 2 != 0 || !InBounds(answer.size(), 2, bytes))
        return err::kInvalidData;
    std::u16string text(bytes / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(Le<std::uint16_t>(answer, 2 + 2 * i));
    name = std::move(text);
    return err::kSuccess;
}

ErrorCode QueryMountDeviceName(IoControl& io, std::u16string& name) {
    return FixedQuery(io, IOCTL_MOUNTDEV_QUERY_DEVICE_NAME, kMountDevNameBuffer, name,
                      DecodeMountDeviceName);
}

ErrorCode DecodeHcdDriverKey(ByteView answer, std::u16string& key) {
    std::uint32_t actual = 0;
    if (!LoadLe(answer, 0, actual) || actual < kHcdKeyName) return err::kInvalidData;
    const ByteView valid = answer.first(std::min<std::size_t>(actual, answer.size()));
    std::u16string text;
    for (std::size_t off = kHcdKeyName;; off += 2) {
        std::uint16_t c = 0;
        if (!LoadLe(valid, off, c) || c == 0) break;
        text.push_back(static_cast<char16_t>(c));
    }
    key = std::move(text);
    return err::kSuccess;
}

ErrorCode QueryHcdDriverKey(IoControl& io, std::u16string& key) {
    std::vector<std::uint8_t> answer(kHcdKeyFirstRead);
    ErrorCode e = Exchange(io, IOCTL_GET_HCD_DRIVERKEY_NAME, {}, answer);
    if (e != err::kSuccess) return e;
    std::uint32_t actual = 0;
    if (!LoadLe(ByteView(answer), 0, actual)) return err::kInvalidData;
    if (actual > kHcdKeyFirstRead) {
        if (actual > kHcdKeyMaxAnswer) return err::kInvalidData;
        answer.assign(actual, 0);
        e = Exchange(io, IOCTL_GET_HCD_DRIVERKEY_NAME, {}, answer);
        if (e != err::kSuccess) return e;
    }
    return DecodeHcdDriverKey(answer, key);
}

ErrorCode QueryVolumeExtents(IoControl& io, std::vector<DiskExtent>& out) {
    std::vector<std::uint8_t> answer(extents::kSize);
    ErrorCode e = Exchange(io, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, {}, answer);
    if (e == err::kMoreData) {
        // The count sits in our own zero-filled buffer, however many bytes the driver reported.
        const std::size_t size = VolumeExtentsRequestSize(Le<std::uint32_t>(answer, 0));
        if (size == 0) return err::kInvalidData;
        answer.assign(size, 0);
        e = Exchange(io, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, {}, answer);
    }
    if (e != err::kSuccess) return e;
    return DecodeVolumeDiskExtents(answer, out);
}

ErrorCode QueryPartitionInfo(IoControl& io, PartitionEntry& out) {
    return FixedQuery(io, IOCTL_DISK_GET_PARTITION_INFO_EX, partex::kSize, out,
                      DecodePartitionInfoEx);
}

ErrorCode QueryDriveLayout(IoControl& io, DriveLayout& out) {
    for (std::uint32_t entries = layoutex::kInitialEntries;;) {
        std::vector<std::uint8_t> answer(DriveLayoutRequestSize(entries));
        const ErrorCode e = Exchange(io, IOCTL_DISK_GET_DRIVE_LAYOUT_EX, {}, answer);
        if (e == err::kInsufficientBuffer || e == err::kMoreData) {
            entries = NextDriveLayoutEntries(entries);
            if (entries == 0) return e;
            continue;
        }
        if (e != err::kSuccess) return e;
        return DecodeDriveLayoutEx(answer, out);
    }
}

namespace {

ErrorCode CreateAndSetLayout(IoControl& io, ByteView create, const DriveLayout& layout) {
    std::vector<std::uint8_t> request;
    ErrorCode e = EncodeSetDriveLayoutEx(layout, request);
    if (e != err::kSuccess) return e;
    if ((e = Send(io, IOCTL_DISK_CREATE_DISK, create)) != err::kSuccess) return e;
    if ((e = Send(io, IOCTL_DISK_SET_DRIVE_LAYOUT_EX, request)) != err::kSuccess) return e;
    return Send(io, IOCTL_DISK_UPDATE_PROPERTIES);
}

} // namespace

ErrorCode WriteMbrLayout(IoControl& io, std::uint32_t signature,
                         const std::vector<PartitionEntry>& partitions) {
    DriveLayout layout;
    layout.style = partstyle::kMbr;
    layout.mbrSignature = signature;
    layout.partitions = partitions;
    return CreateAndSetLayout(io, EncodeCreateDiskMbr(signature), layout);
}

ErrorCode WriteGptLayout(IoControl& io, const DriveLayout& layout) {
    if (layout.style != partstyle::kGpt) return err::kInvalidParameter;
    return CreateAndSetLayout(
        io, EncodeCreateDiskGpt(layout.gptDiskId, layout.gptMaxPartitionCount), layout);
}

ErrorCode DeleteDriveLayout(IoControl& io) {
    const ErrorCode e = Send(io, IOCTL_DISK_DELETE_DRIVE_LAYOUT);
    if (e != err::kSuccess) return e;
    return Send(io, IOCTL_DISK_UPDATE_PROPERTIES);
}

ErrorCode TrimRange(IoControl& io, std::uint64_t offset, std::uint64_t length) {
    if (length == 0 || offset + length < offset) return err::kInvalidParameter;
    return Send(io, IOCTL_STORAGE_MANAGE_DATA_SET_ATTRIBUTES, EncodeTrimRange(offset, length));
}

} // namespace tvd::win
