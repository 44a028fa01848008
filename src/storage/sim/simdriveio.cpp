// Sector access of simulated drives through an open handle: range checks, injected faults,
// write protection, and the medium the command personalities read and write.
#include "storage/partitiontableutil.h"
#include "storage/sim/simstorageimpl.h"

namespace tvd::simstore {

// The request's range checked against what the handle addresses; `abs` is the drive offset.
ErrorCode CheckRange(const SimHandle& s, std::uint64_t offset, std::uint64_t length,
                     std::uint64_t& abs) {
    if (length == 0 || offset > s.length) return err::kInvalidParameter;
    if (length > s.length - offset) return err::kHandleEof;
    abs = s.base + offset;
    return err::kSuccess;
}

bool HitsFault(const std::vector<std::uint64_t>& lbas, std::uint32_t sectorSize, std::uint64_t abs,
               std::uint64_t length) {
    const std::uint64_t first = abs / sectorSize, last = (abs + length - 1) / sectorSize;
    const auto it = std::lower_bound(lbas.begin(), lbas.end(), first);
    return it != lbas.end() && *it <= last;
}

// Reads an image, or the zeros and synthetic table of one a read-only back end did not make.
ErrorCode ReadImage(const SimImageFile& file, const SimDrive& d, std::uint64_t abs,
                    MutableByteView data) {
    if (file.IsOpen()) return file.ReadAt(abs, data);
    std::fill(data.begin(), data.end(), std::uint8_t(0));
    if (abs < d.head.size()) {
        const std::size_t n = std::min<std::size_t>(d.head.size() - abs, data.size());
        std::copy_n(d.head.begin() + static_cast<std::ptrdiff_t>(abs), n, data.begin());
    }
    return err::kSuccess;
}

ErrorCode ReadDrive(const SimHandle& s, std::uint64_t abs, MutableByteView data) {
    const SimDriveSpec& spec = *s.drive->spec;
    if (HitsFault(spec.faults.readErrorAt, spec.sectorSize, abs, data.size())) return simerr::kCrc;
    return ReadImage(s.file, *s.drive, abs, data);
}

ErrorCode WriteDrive(SimHandle& s, bool handleWritable, std::uint64_t abs, ByteView data) {
    const SimDriveSpec& spec = *s.drive->spec;
    if (spec.readOnly) return simerr::kWriteProtect;
    if (!handleWritable || !s.file.Writable()) return err::kAccessDenied;
    if (HitsFault(spec.faults.writeErrorAt, spec.sectorSize, abs, data.size()))
        return err::kWriteFault;
    s.drive->layoutDirty = true;
    return s.file.WriteAt(abs, data);
}

// The layout of the drive as the handle's reads see it (injected faults included).
ErrorCode ReadLayout(const SimHandle& s, DriveLayout& out) {
    const SectorReadFn read = [&s](std::uint64_t offset, MutableByteView data) {
        if (offset > s.drive->Capacity() || data.size() > s.drive->Capacity() - offset)
            return err::kHandleEof;
        return ReadDrive(s, offset, data);
    };
    return ReadDriveLayout(read, s.drive->SectorSize(), s.drive->Capacity(), out);
}

ErrorCode WriteZeros(SimHandle& s, bool writable, std::uint64_t abs, std::uint64_t length) {
    if (length == 0) return err::kSuccess;
    const std::vector<std::uint8_t> zeros(static_cast<std::size_t>(length));
    return WriteDrive(s, writable, abs, zeros);
}

// A sanitize that is still running keeps the drive from serving sectors.
ErrorCode SanitizeBusy(SimHandle& s, bool writable) {
    SimDrive& d = *s.drive;
    if (!d.nvme) return err::kSuccess;
    std::lock_guard<std::mutex> guard(d.commandLock);
    HandleMedium medium(s, writable);
    MediumLease lease(d, &medium);
    return d.nvme->Poll(SimNvme::Clock::now()) ? err::kNotReady : err::kSuccess;
}

} // namespace tvd::simstore
