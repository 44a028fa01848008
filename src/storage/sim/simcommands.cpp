// Commands through an open simulated disk: SCSI CDBs, NVMe admin commands and the Windows
// storage requests of the ATA and NVMe personalities, each with the drive's medium lent.
#include "storage/sim/simstorageimpl.h"

namespace tvd {

using namespace simstore;

ErrorCode SimStorage::ScsiCommand(DeviceHandle& h, ScsiCommandRequest& request) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    if (s->partitionNumber != 0) return err::kInvalidFunction; // commands go to the disk
    if (request.cdb.size() < 6 || request.cdb.size() > 16) return err::kInvalidParameter;
    SimDrive& d = *s->drive;
    std::lock_guard<std::mutex> guard(d.commandLock);
    HandleMedium medium(*s, h.Writable());
    MediumLease lease(d, &medium);
    d.scsi->Execute(request);
    return err::kSuccess;
}

ErrorCode SimStorage::NvmeCommand(DeviceHandle& h, NvmeCommandRequest& request) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    SimDrive& d = *s->drive;
    if (!d.nvme || !request.admin) return err::kNotSupported;
    if (s->partitionNumber != 0) return err::kInvalidFunction;
    std::lock_guard<std::mutex> guard(d.commandLock);
    HandleMedium medium(*s, h.Writable());
    MediumLease lease(d, &medium);
    if (!d.nvme->Execute(request.command, request.direction, request.data, request.completion))
        return err::kInvalidParameter;
    return err::kSuccess;
}

ErrorCode SimStorage::IoControl(DeviceHandle& h, std::uint32_t code, ByteView in,
                                MutableByteView out, std::uint32_t& returned) {
    returned = 0;
    if (const SimHandle* node = impl_->HandleOf(h); node && !node->drive)
        return impl_->UsbIoControl(*node, code, in, out, returned);
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    SimDrive& d = *s->drive;
    if (code == ioctl::kScsiGetAddress) {
        // SCSI_ADDRESS: Length, PortNumber, PathId, TargetId, Lun.
        ScsiAddress a;
        if (const ErrorCode e = GetScsiAddress(h, a)) return e;
        if (out.size() < 8) return err::kInsufficientBuffer;
        std::uint8_t bytes[8] = {8, 0, 0, 0, a.portNumber, a.pathId, a.targetId, a.lun};
        std::copy(std::begin(bytes), std::end(bytes), out.begin());
        returned = 8;
        return err::kSuccess;
    }
    std::lock_guard<std::mutex> guard(d.commandLock);
    HandleMedium medium(*s, h.Writable());
    MediumLease lease(d, &medium);
    ErrorCode e = err::kNotSupported;
    if (d.ata) e = SimAtaIoControl(*d.ata, 0, code, in, out, returned);
    if (e == err::kNotSupported && d.nvme) e = SimNvmeIoControl(*d.nvme, code, in, out, returned);
    if (e == err::kNotSupported) {
        returned = 0;
        return err::kInvalidFunction;
    }
    return e;
}

} // namespace tvd
