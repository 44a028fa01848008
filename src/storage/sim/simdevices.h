// Command-set personalities of simulated drives (docs/simulated-drives.md): an ATA drive, an
// NVMe controller and a SCSI disk answer the commands a real one answers, with their state
// (security, sanitize) kept for the life of the plugged drive. The back end routes its
// ScsiCommand, NvmeCommand and IoControl requests to them.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"
#include "storage/commandtypes.h"

namespace tvd {

class SimAtaDevice {
public:
    virtual ~SimAtaDevice() = default;
    // One command. `in` is the register block as sent; `out` receives the returned registers
    // (status in `command`, error in `features`; LBA mid/high carry SMART RETURN STATUS).
    // `data` is the transfer: filled for data-in, read for data-out. False when the drive
    // aborted the command (out then holds status 0x51 and error 0x04) or the transfer length
    // does not fit the command.
    virtual bool Execute(const AtaRegisters& in, DataDirection dir, MutableByteView data,
                         AtaRegisters& out) = 0;
};

class SimNvmeDevice {
public:
    virtual ~SimNvmeDevice() = default;
    // One admin command (64 bytes); the completion entry is always written (status field at
    // bytes 14-15, bits 1-8 status code). False only when the command could not be carried
    // (not an admin command the controller knows is still carried and answered with a status).
    virtual bool Execute(ByteView command, DataDirection dir, MutableByteView data,
                         std::uint8_t (&completion)[kNvmeCompletionSize]) = 0;
};

// The Windows storage requests the ATA and NVMe classes send, answered by a personality as the
// Windows storage stack would (request layouts of the build's pointer width). kNotSupported for
// a code the function does not handle, so the caller can try the other personality; other
// errors as Windows reports them (87 for a malformed request, 1 for a request the device does
// not understand). `in` and `out` may be the same memory.
ErrorCode SimAtaIoControl(SimAtaDevice& ata, std::uint8_t targetId, std::uint32_t code, ByteView in,
                          MutableByteView out, std::uint32_t& returned);
ErrorCode SimNvmeIoControl(SimNvmeDevice& nvme, std::uint32_t code, ByteView in,
                           MutableByteView out, std::uint32_t& returned);

} // namespace tvd
