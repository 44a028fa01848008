// The byte layouts the storage back end sends and decodes (storage/ntstoragepropertyutil.h,
// storage/win32/windevicechange.h) against the system headers. Both the x86-64 and the i686
// build compile this unit, so every offset holds for both word sizes. Nothing here runs.
#include <windows.h>

#include <winioctl.h>

#include <cstddef>
#include <ddk/mountmgr.h>
#include <dbt.h>
#include <ntddcdrm.h>
#include <ntddscsi.h>
#include <setupapi.h>
#include <shlobj.h>
#include <usbioctl.h>

#include "storage/ntstoragepropertyutil.h"
#include "storage/win32/windevicechange.h"

namespace tvd {
namespace {

#define TVD_AT(type, field, offset)                                                                \
    static_assert(offsetof(type, field) == (offset), #type "." #field)
#define TVD_SIZE(type, size) static_assert(sizeof(type) == (size), "sizeof " #type)

// Storage property query and the header of every answer.
TVD_AT(STORAGE_PROPERTY_QUERY, PropertyId, propquery::kPropertyId);
TVD_AT(STORAGE_PROPERTY_QUERY, QueryType, propquery::kQueryType);
TVD_AT(STORAGE_PROPERTY_QUERY, AdditionalParameters, propquery::kAdditional);
TVD_SIZE(STORAGE_PROPERTY_QUERY, propquery::kSize);
static_assert(StorageDeviceProperty == propquery::kDeviceProperty);
static_assert(StorageAdapterProperty == propquery::kAdapterProperty);
static_assert(StorageDeviceTrimProperty == propquery::kTrimProperty);
static_assert(StorageDeviceTemperatureProperty == propquery::kTemperatureProperty);
static_assert(PropertyStandardQuery == propquery::kStandardQuery);

TVD_AT(STORAGE_DESCRIPTOR_HEADER, Version, propheader::kVersion);
TVD_AT(STORAGE_DESCRIPTOR_HEADER, Size, propheader::kSize);
TVD_SIZE(STORAGE_DESCRIPTOR_HEADER, propheader::kHeaderSize);

TVD_AT(STORAGE_DEVICE_DESCRIPTOR, Version, devdesc::kVersion);
TVD_AT(STORAGE_DEVICE_DESCRIPTOR, Size, devdesc::kSize);
TVD_AT(STORAGE_DEVICE_DESCRIPTOR, DeviceType, devdesc::kDeviceType);
TVD_AT(STORAGE_DEVICE_DESCRIPTOR, DeviceTypeModifier, devdesc::kDeviceTypeModifier);
TVD_AT(STORAGE_DEVICE_DESCRIPTOR, RemovableMedia, devdesc::kRemovableMedia);
TVD_AT(STORAGE_DEVICE_DESCRIPTOR, CommandQueueing, devdesc::kCommandQueueing);
TVD_AT(STORAGE_DEVICE_DESCRIPTOR, VendorIdOffset, devdesc::kVendorIdOffset);
TVD_AT(STORAGE_DEVICE_DESCRIPTOR, ProductIdOffset, devdesc::kProductIdOffset);
TVD_AT(STORAGE_DEVICE_DESCRIPTOR, ProductRevisionOffset, devdesc::kProductRevisionOffset);
TVD_AT(STORAGE_DEVICE_DESCRIPTOR, SerialNumberOffset, devdesc::kSerialNumberOffset);
TVD_AT(STORAGE_DEVICE_DESCRIPTOR, BusType, devdesc::kBusType);
TVD_AT(STORAGE_DEVICE_DESCRIPTOR, RawPropertiesLength, devdesc::kRawPropertiesLength);
TVD_AT(STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties, devdesc::kRawDeviceProperties);
static_assert(sizeof(STORAGE_BUS_TYPE) == 4);
static_assert(BusTypeNvme == 17 && BusTypeUsb == 7 && BusTypeSata == 11);

TVD_AT(DEVICE_TRIM_DESCRIPTOR, TrimEnabled, trimdesc::kTrimEnabled);
TVD_SIZE(DEVICE_TRIM_DESCRIPTOR, trimdesc::kSize);
// The system headers here carry no temperature descriptor: its layout (a 24-byte header, then
// 16-byte entries) is the published one and is checked by the decoder's own tests only.

// Fixed answers.
TVD_AT(STORAGE_DEVICE_NUMBER, DeviceType, devnumber::kDeviceType);
TVD_AT(STORAGE_DEVICE_NUMBER, DeviceNumber, devnumber::kDeviceNumber);
TVD_AT(STORAGE_DEVICE_NUMBER, PartitionNumber, devnumber::kPartitionNumber);
TVD_SIZE(STORAGE_DEVICE_NUMBER, devnumber::kSize);
static_assert(FILE_DEVICE_DISK == filedevice::kDisk && FILE_DEVICE_CD_ROM == filedevice::kCdRom &&
              FILE_DEVICE_DVD == filedevice::kDvd);

TVD_SIZE(STORAGE_HOTPLUG_INFO, 8);

TVD_AT(SCSI_ADDRESS, Length, scsiaddr::kLength);
TVD_AT(SCSI_ADDRESS, PortNumber, scsiaddr::kPortNumber);
TVD_AT(SCSI_ADDRESS, PathId, scsiaddr::kPathId);
TVD_AT(SCSI_ADDRESS, TargetId, scsiaddr::kTargetId);
TVD_AT(SCSI_ADDRESS, Lun, scsiaddr::kLun);
TVD_SIZE(SCSI_ADDRESS, scsiaddr::kSize);

TVD_AT(DISK_GEOMETRY, Cylinders, geometry::kCylinders);
TVD_AT(DISK_GEOMETRY, MediaType, geometry::kMediaType);
TVD_AT(DISK_GEOMETRY, TracksPerCylinder, geometry::kTracksPerCylinder);
TVD_AT(DISK_GEOMETRY, SectorsPerTrack, geometry::kSectorsPerTrack);
TVD_AT(DISK_GEOMETRY, BytesPerSector, geometry::kBytesPerSector);
TVD_SIZE(DISK_GEOMETRY, geometry::kSize);

TVD_AT(GET_LENGTH_INFORMATION, Length, lengthinfo::kLength);
TVD_SIZE(GET_LENGTH_INFORMATION, lengthinfo::kSize);

// The mount-device name: a 16-bit byte count, the UTF-16 name right behind it.
TVD_AT(MOUNTDEV_NAME, NameLength, 0);
TVD_AT(MOUNTDEV_NAME, Name, 2);

// Volume extents: the 64-bit fields align the first extent to 8, so one extent makes 32 bytes.
TVD_AT(VOLUME_DISK_EXTENTS, NumberOfDiskExtents, extents::kCount);
TVD_AT(VOLUME_DISK_EXTENTS, Extents, extents::kExtents);
TVD_SIZE(VOLUME_DISK_EXTENTS, extents::kSize);
TVD_AT(DISK_EXTENT, DiskNumber, extents::kDiskNumber);
TVD_AT(DISK_EXTENT, StartingOffset, extents::kStartingOffset);
TVD_AT(DISK_EXTENT, ExtentLength, extents::kExtentLength);
TVD_SIZE(DISK_EXTENT, extents::kExtentSize);
static_assert(alignof(DISK_EXTENT) == 8);

// Partitions and layouts.
TVD_AT(PARTITION_INFORMATION_EX, PartitionStyle, partex::kStyle);
TVD_AT(PARTITION_INFORMATION_EX, StartingOffset, partex::kStartingOffset);
TVD_AT(PARTITION_INFORMATION_EX, PartitionLength, partex::kLength);
TVD_AT(PARTITION_INFORMATION_EX, PartitionNumber, partex::kNumber);
TVD_AT(PARTITION_INFORMATION_EX, RewritePartition, partex::kRewrite);
TVD_AT(PARTITION_INFORMATION_EX, Mbr, partex::kUnion);
TVD_AT(PARTITION_INFORMATION_EX, Mbr.PartitionType, partex::kMbrType);
TVD_AT(PARTITION_INFORMATION_EX, Mbr.BootIndicator, partex::kMbrBootIndicator);
TVD_AT(PARTITION_INFORMATION_EX, Mbr.RecognizedPartition, partex::kMbrRecognized);
TVD_AT(PARTITION_INFORMATION_EX, Mbr.HiddenSectors, partex::kMbrHiddenSectors);
TVD_AT(PARTITION_INFORMATION_EX, Gpt.PartitionType, partex::kGptType);
TVD_AT(PARTITION_INFORMATION_EX, Gpt.PartitionId, partex::kGptId);
TVD_AT(PARTITION_INFORMATION_EX, Gpt.Attributes, partex::kGptAttributes);
TVD_AT(PARTITION_INFORMATION_EX, Gpt.Name, partex::kGptName);
static_assert(sizeof(PARTITION_INFORMATION_GPT::Name) == 2 * partex::kGptNameChars);
TVD_SIZE(PARTITION_INFORMATION_EX, partex::kSize);
static_assert(PARTITION_STYLE_MBR == partstyle::kMbr && PARTITION_STYLE_GPT == partstyle::kGpt &&
              PARTITION_STYLE_RAW == partstyle::kRaw);

TVD_AT(DRIVE_LAYOUT_INFORMATION_EX, PartitionStyle, layoutex::kStyle);
TVD_AT(DRIVE_LAYOUT_INFORMATION_EX, PartitionCount, layoutex::kCount);
TVD_AT(DRIVE_LAYOUT_INFORMATION_EX, Mbr.Signature, layoutex::kMbrSignature);
TVD_AT(DRIVE_LAYOUT_INFORMATION_EX, Gpt.DiskId, layoutex::kGptDiskId);
TVD_AT(DRIVE_LAYOUT_INFORMATION_EX, Gpt.StartingUsableOffset, layoutex::kGptStartingUsableOffset);
TVD_AT(DRIVE_LAYOUT_INFORMATION_EX, Gpt.UsableLength, layoutex::kGptUsableLength);
TVD_AT(DRIVE_LAYOUT_INFORMATION_EX, Gpt.MaxPartitionCount, layoutex::kGptMaxPartitionCount);
TVD_AT(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry, layoutex::kEntries);
static_assert(sizeof(DRIVE_LAYOUT_INFORMATION_EX) == layoutex::kEntries + partex::kSize);

TVD_AT(CREATE_DISK, PartitionStyle, createdisk::kStyle);
TVD_AT(CREATE_DISK, Mbr.Signature, createdisk::kMbrSignature);
TVD_AT(CREATE_DISK, Gpt.DiskId, createdisk::kGptDiskId);
TVD_AT(CREATE_DISK, Gpt.MaxPartitionCount, createdisk::kGptMaxPartitionCount);
TVD_SIZE(CREATE_DISK, createdisk::kSize);

// Trim: the header, then one range at the next 8-byte boundary.
TVD_AT(DEVICE_MANAGE_DATA_SET_ATTRIBUTES, Size, dsmtrim::kSizeField);
TVD_AT(DEVICE_MANAGE_DATA_SET_ATTRIBUTES, Action, dsmtrim::kAction);
TVD_AT(DEVICE_MANAGE_DATA_SET_ATTRIBUTES, Flags, dsmtrim::kFlags);
TVD_AT(DEVICE_MANAGE_DATA_SET_ATTRIBUTES, ParameterBlockOffset, dsmtrim::kParameterBlockOffset);
TVD_AT(DEVICE_MANAGE_DATA_SET_ATTRIBUTES, ParameterBlockLength, dsmtrim::kParameterBlockLength);
TVD_AT(DEVICE_MANAGE_DATA_SET_ATTRIBUTES, DataSetRangesOffset, dsmtrim::kRangesOffset);
TVD_AT(DEVICE_MANAGE_DATA_SET_ATTRIBUTES, DataSetRangesLength, dsmtrim::kRangesLength);
TVD_SIZE(DEVICE_MANAGE_DATA_SET_ATTRIBUTES, dsmtrim::kHeaderSize);
TVD_AT(DEVICE_DATA_SET_RANGE, StartingOffset, 0);
TVD_AT(DEVICE_DATA_SET_RANGE, LengthInBytes, 8);
TVD_SIZE(DEVICE_DATA_SET_RANGE, dsmtrim::kRangeSize);
static_assert(dsmtrim::kRange == (sizeof(DEVICE_MANAGE_DATA_SET_ATTRIBUTES) + 7) / 8 * 8);
static_assert(dsmtrim::kRangeStart == dsmtrim::kRange &&
              dsmtrim::kRangeLength == dsmtrim::kRange + 8);
static_assert(DeviceDsmAction_Trim == dsmtrim::kActionTrim);
// winioctl.h here lacks DEVICE_DSM_FLAG_TRIM_NOT_FS_ALLOCATED; the tests pin its bytes.

// Requests whose codes come from headers beside winioctl.h.
static_assert(IOCTL_MOUNTDEV_QUERY_DEVICE_NAME == 0x004D0008);
static_assert(IOCTL_CDROM_GET_DRIVE_GEOMETRY == 0x0002404C);
static_assert(IOCTL_SCSI_GET_ADDRESS == 0x00041018);
static_assert(IOCTL_GET_HCD_DRIVERKEY_NAME == 0x00220424);

// The host controller's driver key: ActualLength, then the UTF-16 key.
TVD_AT(USB_HCD_DRIVERKEY_NAME, ActualLength, 0);
TVD_AT(USB_HCD_DRIVERKEY_NAME, DriverKeyName, 4);

// Device-change broadcasts.
TVD_AT(DEV_BROADCAST_HDR, dbch_size, devbroadcast::kSize);
TVD_AT(DEV_BROADCAST_HDR, dbch_devicetype, devbroadcast::kDeviceType);
TVD_AT(DEV_BROADCAST_HDR, dbch_reserved, devbroadcast::kReserved);
TVD_SIZE(DEV_BROADCAST_HDR, devbroadcast::kHeaderSize);
TVD_AT(DEV_BROADCAST_DEVNODE, dbcd_devnode, devbroadcast::kDevNode);
TVD_SIZE(DEV_BROADCAST_DEVNODE, devbroadcast::kDevNodeSize);
TVD_AT(DEV_BROADCAST_VOLUME, dbcv_unitmask, devbroadcast::kUnitMask);
TVD_AT(DEV_BROADCAST_VOLUME, dbcv_flags, devbroadcast::kFlags);
static_assert(offsetof(DEV_BROADCAST_VOLUME, dbcv_flags) + sizeof(WORD) ==
              devbroadcast::kVolumeFieldsEnd);
TVD_AT(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_classguid, devbroadcast::kClassGuid);
TVD_AT(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name, devbroadcast::kName);
TVD_AT(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_classguid, devbroadcast::kClassGuid);
TVD_AT(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name, devbroadcast::kName);
// The notification filter is the 32-byte interface broadcast on both word sizes.
TVD_SIZE(DEV_BROADCAST_DEVICEINTERFACE_W, 32);
static_assert(WM_DEVICECHANGE == devbroadcast::kMessage);
static_assert(DBT_DEVNODES_CHANGED == devbroadcast::kNodesChanged &&
              DBT_DEVICEARRIVAL == devbroadcast::kArrival &&
              DBT_DEVICEREMOVECOMPLETE == devbroadcast::kRemoveComplete);
static_assert(DBT_DEVTYP_DEVNODE == devbroadcast::kTypeDevNode &&
              DBT_DEVTYP_VOLUME == devbroadcast::kTypeVolume &&
              DBT_DEVTYP_DEVICEINTERFACE == devbroadcast::kTypeInterface);
static_assert(DBTF_MEDIA == devbroadcast::kFlagMedia);
static_assert(SHCNE_MEDIAINSERTED == shellmedia::kMediaInserted &&
              SHCNE_MEDIAREMOVED == shellmedia::kMediaRemoved &&
              static_cast<std::uint32_t>(SHCNE_INTERRUPT) == shellmedia::kInterrupt);

// SetupDi packs its structures to 1 byte on 32-bit Windows: the interface detail the back end
// sizes its buffer by is 6 bytes there and 8 on 64-bit.
TVD_AT(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath, 4);
#if defined(_WIN64)
TVD_SIZE(SP_DEVICE_INTERFACE_DETAIL_DATA_W, 8);
#else
TVD_SIZE(SP_DEVICE_INTERFACE_DETAIL_DATA_W, 6);
#endif

#undef TVD_AT
#undef TVD_SIZE

} // namespace
} // namespace tvd
