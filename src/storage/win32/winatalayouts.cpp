// The ATA request layouts of storage/winpassthroughatafun.h and the device-control codes of
// storage/commandtypes.h against the system headers. Each build checks the layout of its own
// pointer width (x86-64: 48-byte ATA_PASS_THROUGH_EX, i686: 40). Nothing here runs.
#include <windows.h>

#include <winioctl.h>

#include <cstddef>
#include <ntddscsi.h>

#include "storage/commandtypes.h"
#include "storage/winpassthroughatafun.h"

namespace tvd {
namespace {

#define TVD_AT(type, field, offset)                                                                \
    static_assert(offsetof(type, field) == (offset), #type "." #field)
#define TVD_SIZE(type, size) static_assert(sizeof(type) == (size), "sizeof " #type)

// ATA_PASS_THROUGH_EX of this build's width.
constexpr const winata::AtaPassThroughLayout& kApt =
    winata::AtaPassThroughLayoutOf(kNativeLayoutWidth);
TVD_AT(ATA_PASS_THROUGH_EX, Length, winata::apt::kLength);
TVD_AT(ATA_PASS_THROUGH_EX, AtaFlags, winata::apt::kAtaFlags);
TVD_AT(ATA_PASS_THROUGH_EX, PathId, winata::apt::kPathId);
TVD_AT(ATA_PASS_THROUGH_EX, TargetId, winata::apt::kTargetId);
TVD_AT(ATA_PASS_THROUGH_EX, Lun, winata::apt::kLun);
TVD_AT(ATA_PASS_THROUGH_EX, DataTransferLength, winata::apt::kDataTransferLength);
TVD_AT(ATA_PASS_THROUGH_EX, TimeOutValue, winata::apt::kTimeOutValue);
TVD_AT(ATA_PASS_THROUGH_EX, ReservedAsUlong, winata::apt::kReservedAsUlong);
TVD_AT(ATA_PASS_THROUGH_EX, DataBufferOffset, kApt.dataBufferOffset);
static_assert(sizeof(ATA_PASS_THROUGH_EX::DataBufferOffset) == kApt.dataBufferOffsetSize);
TVD_AT(ATA_PASS_THROUGH_EX, PreviousTaskFile, kApt.previousTaskFile);
TVD_AT(ATA_PASS_THROUGH_EX, CurrentTaskFile, kApt.currentTaskFile);
TVD_SIZE(ATA_PASS_THROUGH_EX, kApt.size);
static_assert(ATA_FLAGS_DRDY_REQUIRED == winata::apt::kFlagDrdyRequired);
static_assert(ATA_FLAGS_DATA_IN == winata::apt::kFlagDataIn);
static_assert(ATA_FLAGS_DATA_OUT == winata::apt::kFlagDataOut);
static_assert(ATA_FLAGS_48BIT_COMMAND == winata::apt::kFlag48BitCommand);

// The register block is IDEREGS.
TVD_SIZE(IDEREGS, winata::smart::kRegsSize);
TVD_AT(IDEREGS, bFeaturesReg, offsetof(AtaRegisters, features));
TVD_AT(IDEREGS, bSectorCountReg, offsetof(AtaRegisters, sectorCount));
TVD_AT(IDEREGS, bSectorNumberReg, offsetof(AtaRegisters, lbaLow));
TVD_AT(IDEREGS, bCylLowReg, offsetof(AtaRegisters, lbaMid));
TVD_AT(IDEREGS, bCylHighReg, offsetof(AtaRegisters, lbaHigh));
TVD_AT(IDEREGS, bDriveHeadReg, offsetof(AtaRegisters, device));
TVD_AT(IDEREGS, bCommandReg, offsetof(AtaRegisters, command));

// SENDCMDINPARAMS / SENDCMDOUTPARAMS (byte-packed; the trailing bBuffer[1] is the data).
TVD_AT(SENDCMDINPARAMS, cBufferSize, winata::smart::kInBufferSize);
TVD_AT(SENDCMDINPARAMS, irDriveRegs, winata::smart::kInRegs);
TVD_AT(SENDCMDINPARAMS, bDriveNumber, winata::smart::kInDriveNumber);
TVD_AT(SENDCMDINPARAMS, bBuffer, winata::smart::kInSize);
TVD_AT(SENDCMDOUTPARAMS, cBufferSize, winata::smart::kOutBufferSize);
TVD_AT(SENDCMDOUTPARAMS, DriverStatus, winata::smart::kOutDriverError);
TVD_AT(DRIVERSTATUS, bIDEError, winata::smart::kOutIdeError - winata::smart::kOutDriverError);
TVD_AT(SENDCMDOUTPARAMS, bBuffer, winata::smart::kOutData);
static_assert(SMART_IDE_ERROR == winata::smart::kDriverErrorIde);

// SRB_IO_CONTROL.
TVD_AT(SRB_IO_CONTROL, HeaderLength, winata::srb::kHeaderLength);
TVD_AT(SRB_IO_CONTROL, Signature, winata::srb::kSignature);
TVD_AT(SRB_IO_CONTROL, Timeout, winata::srb::kTimeout);
TVD_AT(SRB_IO_CONTROL, ControlCode, winata::srb::kControlCode);
TVD_AT(SRB_IO_CONTROL, ReturnCode, winata::srb::kReturnCode);
TVD_AT(SRB_IO_CONTROL, Length, winata::srb::kLength);
TVD_SIZE(SRB_IO_CONTROL, winata::srb::kSize);

// Device-control codes. The miniport SMART control codes (0x1B0501...) are defined only in the
// driver kit's scsi.h, which does not compile in a user-mode unit; they are not checked here.
static_assert(IOCTL_SCSI_PASS_THROUGH == ioctl::kScsiPassThrough);
static_assert(IOCTL_SCSI_MINIPORT == ioctl::kScsiMiniport);
static_assert(IOCTL_SCSI_GET_ADDRESS == ioctl::kScsiGetAddress);
static_assert(IOCTL_ATA_PASS_THROUGH == ioctl::kAtaPassThrough);
static_assert(SMART_SEND_DRIVE_COMMAND == ioctl::kSmartSendDriveCommand);
static_assert(SMART_RCV_DRIVE_DATA == ioctl::kSmartRcvDriveData);
static_assert(IOCTL_STORAGE_QUERY_PROPERTY == ioctl::kStorageQueryProperty);
static_assert(IOCTL_STORAGE_PROTOCOL_COMMAND == ioctl::kStorageProtocolCommand);

} // namespace
} // namespace tvd
