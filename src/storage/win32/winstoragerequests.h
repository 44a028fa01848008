// The storage requests of the Windows back end as sequences of DeviceIoControl exchanges over
// an abstract transport: the real one is a device handle, tests script the answers. Each
// sequence sends the request layouts of storage/ntstoragepropertyutil.h and decodes the answer
// within the bytes returned; outputs are written only on success.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"
#include "storage/storagetypes.h"

namespace tvd::win {

class IoControl {
public:
    virtual ~IoControl() = default;
    // One DeviceIoControl exchange: 0 or the Windows error. `returned` receives the bytes written
    // to `out`, also when the request fails (a driver may fill a header and answer kMoreData).
    virtual ErrorCode Call(std::uint32_t code, ByteView in, MutableByteView out,
                           std::uint32_t& returned) = 0;
};

// DeviceIoControl on an open handle (not owned).
class HandleIoControl final : public IoControl {
public:
    explicit HandleIoControl(HANDLE h) : h_(h) {}
    ErrorCode Call(std::uint32_t code, ByteView in, MutableByteView out,
                   std::uint32_t& returned) override;

private:
    HANDLE h_;
};

// The calling thread's last error; 2 when a call failed without one.
ErrorCode LastErrorOrNotFound();

// IOCTL_STORAGE_QUERY_PROPERTY, standard query, read twice: the 8-byte header, then the Size it
// names (refused below the header and above propheader::kMaxAnswer).
ErrorCode QueryStorageProperty(IoControl& io, std::uint32_t propertyId,
                               std::vector<std::uint8_t>& answer);
ErrorCode QueryDeviceNumber(IoControl& io, StorageDeviceNumber& out);
ErrorCode QueryDeviceDescriptor(IoControl& io, StorageDeviceDescriptor& out);
ErrorCode QueryAdapterDescriptor(IoControl& io, std::vector<std::uint8_t>& raw);
ErrorCode QueryTrimEnabled(IoControl& io, bool& enabled);
ErrorCode QueryTemperature(IoControl& io, std::vector<TemperatureInfo>& out);
ErrorCode QueryHotplugInfo(IoControl& io, std::uint8_t (&info)[8]);
ErrorCode QueryScsiAddress(IoControl& io, ScsiAddress& out);
// The CD-ROM request for devices whose device number names them optical, the disk one otherwise.
ErrorCode QueryGeometry(IoControl& io, DiskGeometry& out);
ErrorCode QueryLength(IoControl& io, std::uint64_t& bytes);
// A write-protected medium is an answer (false), not a failure.
ErrorCode QueryWritable(IoControl& io, bool& writable);
ErrorCode QueryMountDeviceName(IoControl& io, std::u16string& name);
// 32 bytes first; on kMoreData again with room for the count the first answer named.
ErrorCode QueryVolumeExtents(IoControl& io, std::vector<DiskExtent>& out);
ErrorCode QueryPartitionInfo(IoControl& io, PartitionEntry& out);
// Room for 4 entries first, 4 more per too-small answer, up to layoutex::kMaxEntries.
ErrorCode QueryDriveLayout(IoControl& io, DriveLayout& out);

// Destructive: create the disk in the layout's style (MBR signature; GPT disk GUID and entry
// count), set its layout through the _EX request (the system writes the MBR and its extended
// records, or both GPT headers and arrays and the protective MBR), let the system re-read it.
// A layout the encoder refuses is refused before anything is sent.
ErrorCode WriteMbrLayout(IoControl& io, std::uint32_t signature,
                         const std::vector<PartitionEntry>& partitions);
ErrorCode WriteGptLayout(IoControl& io, const DriveLayout& layout);
ErrorCode DeleteDriveLayout(IoControl& io);
// An empty range is refused before anything is sent.
ErrorCode TrimRange(IoControl& io, std::uint64_t offset, std::uint64_t length);

// IOCTL_GET_HCD_DRIVERKEY_NAME of a USB host controller: 512 bytes first, again with the
// ActualLength the first answer named when that is larger (refused above 64 KiB).
ErrorCode QueryHcdDriverKey(IoControl& io, std::u16string& key);

// USB_HCD_DRIVERKEY_NAME: ActualLength (the whole answer's size), then the UTF-16 key up to its
// NUL, read within both ActualLength and the answer.
ErrorCode DecodeHcdDriverKey(ByteView answer, std::u16string& key);

// MOUNTDEV_NAME: a 16-bit byte count, then that many bytes of UTF-16 (bounded by the answer).
ErrorCode DecodeMountDeviceName(ByteView answer, std::u16string& name);

} // namespace tvd::win
