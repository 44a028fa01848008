#include "clone/clclonesourcedisk.h"

#include <cstring>

#include "clone/clonelayoututil.h"
#include "clone/clonemountutil.h"
#include "drive/fundiskpartitionsutil.h"
#include "foundation/textconvutil.h"
#include "storage/cldevice.h"
#include "storage/fsrecognizeutil.h"
#include "storage/partitiontableutil.h"

namespace tvd {

clCloneSourceDisk::clCloneSourceDisk() {
    readable = true;
    writable = false;
}

clCloneSourceDisk::~clCloneSourceDisk() {
    drives.Clear();
}

void clCloneSourceDisk::Drop() {
    drives.Clear();
    device_.reset();
    funDisk_.Reset();
    layout_ = DriveLayout{};
    bytesPerSector = 0;
    sectorCount = 0;
    holdsWindows = false;
}

ErrorCode clCloneSourceDisk::SetFunDisk(clFunDisk* disk, bool systemDisk) {
    Drop();
    if (!disk || !disk->disk || !disk->disk->GetPath()) return err::kFileNotFound;
    const ErrorCode e = SetDevicePath(disk->disk->GetPath(), systemDisk);
    funDisk_.Reset(disk);
    return e;
}

ErrorCode clCloneSourceDisk::SetDevicePath(const std::string& path, bool systemDisk) {
    Drop();
    auto device = std::make_unique<clWinDiskObject>();
    if (const ErrorCode e = device->Open(path, CloneOpenMode::kSource)) return e;
    bytesPerSector = device->bytesPerSector;
    sectorCount = device->sectorCount;
    holdsWindows = systemDisk;
    device_ = std::move(device);
    return LoadPartitions();
}

ErrorCode clCloneSourceDisk::ReadSectors(void* buffer, std::uint64_t first, std::uint64_t count) {
    if (!device_) return err::kFileNotFound;
    return device_->ReadSectors(buffer, first, count);
}

ErrorCode clCloneSourceDisk::LoadPartitions() {
    const std::uint32_t bps = bytesPerSector;
    const SectorReadFn read = [this](std::uint64_t offset, MutableByteView data) {
        return device_->ReadBytesAll(data.data(), offset, data.size());
    };
    const ErrorCode e = ReadDriveLayout(read, bps, std::uint64_t(sectorCount) * bps, layout_);
    if (e != err::kSuccess) return e;
    return ReadLayout();
}

ErrorCode clCloneSourceDisk::ReadLayout() {
    const std::uint32_t bps = bytesPerSector;
    AlignedBuffer first;
    if (!first.Allocate(bps)) return err::kNoSystemResources;
    std::uint8_t wholeDiskKind = fskind::kNone;
    signature = 0;
    if (device_->ReadSectors(first.Data(), 0, 1) == err::kSuccess) {
        signature = Le<std::uint32_t>(first.View(), kMbrSignatureOffset);
        wholeDiskKind = RecognizeFileSystem(first.View());
    }
    SetLayoutInfo(LayoutFromDrive(layout_, wholeDiskKind, bps, sectorCount));
    if (layoutStyle == diskstyle::kGpt)
        std::memcpy(diskGuid, layout_.gptDiskId, 16);
    else
        GuidFromSignature();

    const std::unique_ptr<VolumeLookup> volumes = NewPlatformVolumeLookup(device_->Path());
    AlignedBuffer sector;
    if (!sector.Allocate(bps)) return err::kNoSystemResources;
    for (const PartitionEntry& p : layout_.partitions) {
        if (p.length == 0 || p.startingOffset % bps != 0 || p.length % bps != 0) continue;
        if (p.style == layoutstyle::kMbr && (p.mbrType == 0 || IsExtendedMbrType(p.mbrType)))
            continue;
        auto* d = new (std::nothrow) clFunDrive;
        if (!d) return err::kNoSystemResources;
        d->entry = p;
        if (device_->ReadSectors(sector.Data(), p.startingOffset / bps, 1) == err::kSuccess)
            d->fsKind = RecognizeFileSystem(sector.View());
        VolumeMatch match;
        if (volumes && volumes->Find(p.startingOffset, match)) {
            d->letter = match.letter;
            d->root = match.root;
            d->volumePath = match.volumePath;
            d->label = match.label;
            d->mountedWritable = IsMountedWritable(Utf16ToUtf8(match.volumePath));
        }
        drives.AppendOwned(d);
    }
    if (layoutStyle == diskstyle::kRaw && layoutCount == 1) {
        // The whole disk is one volume.
        auto* d = new (std::nothrow) clFunDrive;
        if (!d) return err::kNoSystemResources;
        d->entry.style = layoutstyle::kRaw;
        d->entry.length = sectorCount * bps;
        d->fsKind = wholeDiskKind;
        VolumeMatch match;
        if (volumes && volumes->Find(0, match)) {
            d->root = match.root;
            d->volumePath = match.volumePath;
            d->label = match.label;
            d->mountedWritable = IsMountedWritable(Utf16ToUtf8(match.volumePath));
        }
        drives.AppendOwned(d);
    }
    return err::kSuccess;
}

} // namespace tvd
