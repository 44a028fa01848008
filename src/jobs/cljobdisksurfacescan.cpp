#include "jobs/cljobdisksurfacescan.h"

#include <algorithm>

namespace tvd {

void clJobDiskSurfaceScan::SetDisk(clFunDisk* fd) {
    disk_.Reset(fd);
    path_.clear();
    sectorSize_ = 0;
    sectors_ = 0;
    if (!fd) return;
    if (fd->disk && fd->disk->GetPath()) path_ = fd->disk->GetPath();
    sectorSize_ = fd->bytesPerSector;
    sectors_ = GetSectorCount(fd);
}

void clJobDiskSurfaceScan::SetGeometry(const std::string& path, std::uint32_t sectorSize,
                                       std::uint64_t sectors) {
    path_ = path;
    sectorSize_ = sectorSize;
    sectors_ = sectors;
}

void clJobDiskSurfaceScan::SetMode(ScanMode mode) {
    points = mode == ScanMode::kQuick ? kQuickPoints : kFullPoints;
    maxBytesPerPoint = mode == ScanMode::kQuick ? kQuickBytesPerPoint : kFullBytesPerPoint;
}

float clJobDiskSurfaceScan::GetProgress() {
    const std::uint32_t total = TotalPoints();
    if (total == 0) return 0.0f;
    return static_cast<float>(static_cast<double>(DonePoints()) * 100.0 / total);
}

bool clJobDiskSurfaceScan::Work() {
    total_.store(0, std::memory_order_release);
    donePoints_.store(0, std::memory_order_release);
    bytesRead_.store(0, std::memory_order_release);
    readError_.store(false, std::memory_order_release);
    const bool ok = Prepare() && Scan();
    reader_.Close();
    buffer_.Free();
    return ok;
}

bool clJobDiskSurfaceScan::Prepare() {
    if (points == 0 || maxBytesPerPoint == 0 || path_.empty()) {
        SetFailureCode(err::kInvalidParameter);
        return false;
    }
    // A drive that left before the scan began has nothing to read.
    if (disk_ && disk_->Detached()) {
        SetFailureCode(err::kDeviceNotConnected);
        return false;
    }
    // The last stride may reach past the end by less than a stride; its start must not wrap.
    if (sectors_ == 0 || sectorSize_ == 0 || sectors_ > UINT64_MAX / sectorSize_ ||
        sectors_ * sectorSize_ > UINT64_MAX - std::uint64_t{points} * sectorSize_) {
        SetFailureCode(err::kInvalidData);
        return false;
    }
    sizeBytes_ = sectors_ * sectorSize_;
    const std::uint64_t strideSectors = (sectors_ - 1) / points + 1;
    stride_ = strideSectors * sectorSize_;
    if (const ErrorCode e = Storage().OpenRead(path_, reader_)) {
        SetFailureCode(e);
        return false;
    }
    total_.store(points, std::memory_order_release);
    // Whole sectors per piece, so direct reads stay aligned on 4096-byte-sector disks.
    const std::size_t got =
        buffer_.AllocateHalving(kBufferWanted, std::max<std::size_t>(kBufferLeast, sectorSize_));
    if (got == 0 || got % sectorSize_ != 0) {
        SetFailureCode(err::kNoSystemResources);
        return false;
    }
    bufferSize_ = static_cast<std::uint32_t>(got);
    return true;
}

bool clJobDiskSurfaceScan::Scan() {
    for (std::uint32_t i = 0; i < points; ++i) {
        if (AbortRequested()) return false;
        if (!ReadPoint(i)) return false;
        donePoints_.fetch_add(1, std::memory_order_acq_rel);
    }
    return true;
}

bool clJobDiskSurfaceScan::ReadPoint(std::uint32_t index) {
    // stride * index stays below sizeBytes + stride (stride * points covers the disk at most one
    // stride over), and a point that begins at or past the end reads nothing.
    const std::uint64_t offset = stride_ * index;
    if (offset >= sizeBytes_) return true;
    std::uint64_t length = std::min(stride_, sizeBytes_ - offset);
    if (maxBytesPerPoint != 0 && maxBytesPerPoint < length) {
        // The cap is kept to whole sectors.
        length = maxBytesPerPoint - maxBytesPerPoint % sectorSize_;
        if (length == 0) length = sectorSize_;
    }
    for (std::uint64_t done = 0; done < length;) {
        if (AbortRequested()) return false;
        const auto piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(length - done, bufferSize_));
        if (const ErrorCode e = Storage().ReadAt(reader_, offset + done, buffer_.View(piece))) {
            errorOffset_ = offset + done;
            errorLength_ = static_cast<std::uint32_t>(piece);
            errorPoint_ = index;
            SetFailureCode(e);
            readError_.store(true, std::memory_order_release);
            return false;
        }
        done += piece;
        bytesRead_.fetch_add(piece, std::memory_order_acq_rel);
    }
    return true;
}

} // namespace tvd
