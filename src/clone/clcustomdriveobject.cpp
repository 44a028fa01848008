#include "clone/clcustomdriveobject.h"

#include <algorithm>
#include <cstring>

#include "clone/clclonesourcedisk.h"
#include "clone/clonebufferutil.h"
#include "clone/kernelclonefun.h"
#include "foundation/bytesutil.h"
#include "foundation/guidutil.h"

namespace tvd {

bool clCustomDriveObject::SectorRange(std::uint64_t first, std::uint64_t count,
                                      std::uint64_t& offset, std::uint64_t& bytes) const {
    const std::uint64_t bps = fsInfo.bytesPerSector;
    if (bps == 0 || first > fsInfo.sectorCount || count > fsInfo.sectorCount - first) return false;
    offset = first * bps;
    bytes = count * bps;
    return true;
}

std::uint32_t clCustomDriveObject::ReadBytes(void*, std::uint64_t, std::uint32_t,
                                             ErrorCode& error) {
    error = err::kAccessDenied;
    return 0;
}

std::uint32_t clCustomDriveObject::WriteBytes(const void*, std::uint64_t, std::uint32_t,
                                              ErrorCode& error) {
    error = err::kAccessDenied;
    return 0;
}

ErrorCode clCustomDriveObject::ReadBytesAll(void* buffer, std::uint64_t offset,
                                            std::uint64_t length) {
    auto* p = static_cast<std::uint8_t*>(buffer);
    return TransferAll(length, [&](std::uint64_t done, std::uint32_t want, ErrorCode& e) {
        return ReadBytes(p + done, offset + done, want, e);
    });
}

ErrorCode clCustomDriveObject::WriteBytesAll(const void* buffer, std::uint64_t offset,
                                             std::uint64_t length) {
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    return TransferAll(length, [&](std::uint64_t done, std::uint32_t want, ErrorCode& e) {
        return WriteBytes(p + done, offset + done, want, e);
    });
}

ErrorCode clCustomDriveObject::ReadSectors(void* buffer, std::uint64_t first, std::uint64_t count) {
    if (!readable) return err::kAccessDenied;
    std::uint64_t offset = 0, bytes = 0;
    if (!SectorRange(first, count, offset, bytes)) return err::kInvalidParameter;
    return ReadBytesAll(buffer, offset, bytes);
}

ErrorCode clCustomDriveObject::WriteSectors(void* buffer, std::uint64_t first,
                                            std::uint64_t count) {
    if (!writable) return err::kWriteProtect;
    std::uint64_t offset = 0, bytes = 0;
    if (!SectorRange(first, count, offset, bytes)) return err::kInvalidParameter;
    return WriteBytesAll(buffer, offset, bytes);
}

ErrorCode clCustomDriveObject::ClearSectors(std::uint64_t first, std::uint64_t count) {
    if (!writable) return err::kWriteProtect;
    const std::uint32_t bps = fsInfo.bytesPerSector;
    if (bps == 0) return err::kInvalidParameter;
    if (count == 0) return err::kSuccess;
    const std::uint64_t chunk =
        std::max<std::uint64_t>(1, std::min<std::uint64_t>(count, kCloneChunkBytes / bps));
    if (!SharedBufferEnsure(chunk * bps)) {
        CloneErrorCode("ClearSectors alloc fail", err::kNoSystemResources);
        return err::kNoSystemResources;
    }
    const MutableByteView zero = SharedBuffer().first(chunk * bps);
    for (std::uint64_t done = 0; done < count;) {
        std::fill(zero.begin(), zero.end(), 0);
        const std::uint64_t n = std::min(chunk, count - done);
        if (const ErrorCode e = WriteSectors(zero.data(), first + done, n)) return e;
        done += n;
    }
    return err::kSuccess;
}

bool clCustomDriveObject::GetLabel(std::u16string& label) {
    label.clear();
    return false;
}

std::uint64_t clCustomDriveObject::GetCopyBytes() {
    return fsInfo.sectorCount * fsInfo.bytesPerSector;
}

std::uint64_t clCustomDriveObject::GetNeededBytes() {
    return fsInfo.sectorCount * fsInfo.bytesPerSector;
}

void clCustomDriveObject::NotifyWritten(std::uint64_t) {}
std::uint32_t clCustomDriveObject::GetDiskTracks() {
    return 0;
}
void clCustomDriveObject::GetDiskGuid(std::uint8_t (&out)[16]) {
    std::memset(out, 0, 16);
}
std::uint32_t clCustomDriveObject::GetSignature() {
    return 0;
}
std::uint8_t clCustomDriveObject::GetDiskStyle() {
    return 0;
}

void clCustomDriveObject::GetPartitionGuid(std::uint8_t (&out)[16]) const {
    std::memcpy(out, partitionGuid, 16);
}

void clCustomDriveObject::SetPartitionGuid(const std::uint8_t (&guid)[16]) {
    std::memcpy(partitionGuid, guid, 16);
}

void clCustomDriveObject::GuidFromOffset() {
    std::memset(partitionGuid, 0, 16);
    StoreLe<std::uint64_t>(partitionGuid, 0, GetStartOffset());
}

void clCustomDriveObject::NewGuid() {
    Guid g;
    if (tvd::NewGuid(g) != err::kSuccess) return;
    StoreLe<std::uint32_t>(partitionGuid, 0, g.data1);
    StoreLe<std::uint16_t>(partitionGuid, 4, g.data2);
    StoreLe<std::uint16_t>(partitionGuid, 6, g.data3);
    std::memcpy(partitionGuid + 8, g.data4, 8);
}

// --- Source partition

clCloneSourceDrive::clCloneSourceDrive(clCloneSourceDisk* disk, clFunDrive* drive)
    : disk_(disk), drive_(drive) {
    readable = true;
    writable = false;
}

std::uint32_t clCloneSourceDrive::ReadBytes(void* buffer, std::uint64_t offset,
                                            std::uint32_t length, ErrorCode& error) {
    error = err::kSuccess;
    clWinDiskObject* device = disk_ ? disk_->Device() : nullptr;
    if (!device) {
        error = err::kFileNotFound;
        return 0;
    }
    const std::uint64_t size = fsInfo.sectorCount * fsInfo.bytesPerSector;
    if (offset >= size) return 0; // the partition's end
    const auto n = std::uint32_t(std::min<std::uint64_t>(length, size - offset));
    return device->ReadBytes(buffer, GetStartOffset() + offset, n, error);
}

ErrorCode clCloneSourceDrive::ReadSectors(void* buffer, std::uint64_t first, std::uint64_t count) {
    if (!readable) return err::kAccessDenied;
    if (!disk_) return err::kFileNotFound;
    std::uint64_t offset = 0, bytes = 0;
    if (!SectorRange(first, count, offset, bytes)) return err::kInvalidParameter;
    if (disk_->bytesPerSector != fsInfo.bytesPerSector) return err::kInvalidParameter;
    const ErrorCode e = disk_->ReadSectors(buffer, startSector + first, count);
    if (e == err::kSuccess)
        if (clCustomCloneInterface* ci = CloneInterface())
            ci->OnSourceSectorsRead(ByteView(static_cast<std::uint8_t*>(buffer), bytes), first,
                                    count);
    return e;
}

bool clCloneSourceDrive::GetLabel(std::u16string& label) {
    if (disk_ && disk_->QueryLabelAt(GetStartOffset(), label)) return true;
    label = drive_ ? drive_->label : std::u16string();
    return drive_ != nullptr;
}

std::uint64_t clCloneSourceDrive::GetCopyBytes() {
    std::uint64_t n = 0;
    if (disk_ && disk_->QueryCopyBytesAt(GetStartOffset(), n)) return n;
    return drive_ ? drive_->CopyBytes() : clCustomDriveObject::GetCopyBytes();
}

std::uint64_t clCloneSourceDrive::GetNeededBytes() {
    std::uint64_t n = 0;
    if (disk_ && disk_->QueryNeededBytesAt(GetStartOffset(), n)) return n;
    return drive_ ? drive_->NeededBytes() : clCustomDriveObject::GetNeededBytes();
}

std::uint32_t clCloneSourceDrive::GetDiskTracks() {
    return disk_ ? disk_->tracksPerCylinder : 0;
}
void clCloneSourceDrive::GetDiskGuid(std::uint8_t (&out)[16]) {
    if (disk_)
        disk_->GetDiskGuid(out);
    else
        std::memset(out, 0, 16);
}
std::uint32_t clCloneSourceDrive::GetSignature() {
    return disk_ ? disk_->GetSignature() : 0;
}
std::uint8_t clCloneSourceDrive::GetDiskStyle() {
    return disk_ ? disk_->layoutStyle : 0;
}

// --- Target partition

clDiskDriveObject::clDiskDriveObject(clCustomDiskObject* disk) : disk_(disk) {
    readable = true;
    writable = true;
}

ErrorCode clDiskDriveObject::ReadSectors(void* buffer, std::uint64_t first, std::uint64_t count) {
    if (!disk_) return err::kFileNotFound;
    if (!readable) return err::kAccessDenied;
    std::uint64_t offset = 0, bytes = 0;
    if (!SectorRange(first, count, offset, bytes)) return err::kInvalidParameter;
    return disk_->ReadSectors(buffer, startSector + first, count);
}

ErrorCode clDiskDriveObject::WriteSectors(void* buffer, std::uint64_t first, std::uint64_t count) {
    if (!disk_) return err::kFileNotFound;
    if (!writable) return err::kWriteProtect;
    std::uint64_t offset = 0, bytes = 0;
    // Nothing is written outside the partition.
    if (!SectorRange(first, count, offset, bytes)) return err::kInvalidParameter;
    return disk_->WriteSectors(buffer, startSector + first, count);
}

ErrorCode clDiskDriveObject::ClearSectors(std::uint64_t first, std::uint64_t count) {
    if (!disk_) return err::kFileNotFound;
    if (!writable) return err::kWriteProtect;
    std::uint64_t offset = 0, bytes = 0;
    if (!SectorRange(first, count, offset, bytes)) return err::kInvalidParameter;
    return disk_->ClearSectors(startSector + first, count);
}

void clDiskDriveObject::NotifyWritten(std::uint64_t bytes) {
    if (disk_) disk_->NotifyWrittenAt(GetStartOffset(), bytes);
}

bool clDiskDriveObject::GetLabel(std::u16string& label) {
    if (disk_ && disk_->QueryLabelAt(GetStartOffset(), label)) return true;
    return clCustomDriveObject::GetLabel(label);
}

std::uint64_t clDiskDriveObject::GetCopyBytes() {
    std::uint64_t n = 0;
    if (disk_ && disk_->QueryCopyBytesAt(GetStartOffset(), n)) return n;
    return clCustomDriveObject::GetCopyBytes();
}

std::uint64_t clDiskDriveObject::GetNeededBytes() {
    std::uint64_t n = 0;
    if (disk_ && disk_->QueryNeededBytesAt(GetStartOffset(), n)) return n;
    return clCustomDriveObject::GetNeededBytes();
}

std::uint32_t clDiskDriveObject::GetDiskTracks() {
    return disk_ ? disk_->tracksPerCylinder : 0;
}
void clDiskDriveObject::GetDiskGuid(std::uint8_t (&out)[16]) {
    if (disk_)
        disk_->GetDiskGuid(out);
    else
        std::memset(out, 0, 16);
}
std::uint32_t clDiskDriveObject::GetSignature() {
    return disk_ ? disk_->GetSignature() : 0;
}
std::uint8_t clDiskDriveObject::GetDiskStyle() {
    return disk_ ? disk_->layoutStyle : 0;
}

} // namespace tvd
