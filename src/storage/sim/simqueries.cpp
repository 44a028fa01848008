// Opening simulated devices and the storage requests on them: device numbers, descriptors,
// geometry, layouts, TRIM, and sector reads and writes.
#include <cstring>

#include "foundation/textconvutil.h"
#include "storage/partitiontableutil.h"
#include "storage/sim/simlayout.h"
#include "storage/sim/simstorageimpl.h"

namespace tvd {

using namespace simstore;

namespace {
// The GPT areas a layout deletion clears at both ends of the drive (512-byte sectors).
constexpr std::uint64_t kLayoutSectors = 34;
constexpr std::uint64_t kGptArrayBytes = 16384;
} // namespace

ErrorCode SimStorage::Open(const std::string& path, DeviceHandle& handle) {
    return OpenAs(path, handle, true);
}

ErrorCode SimStorage::OpenRead(const std::string& path, DeviceHandle& handle) {
    return OpenAs(path, handle, false);
}

ErrorCode SimStorage::OpenAs(const std::string& path, DeviceHandle& handle, bool write) {
    handle.Close();
    const std::string wanted = Upper(StripPrefix(path));
    if (wanted.empty()) return err::kInvalidParameter;
    auto s = std::make_unique<SimHandle>();
    s->owner = impl_.get();
    {
        std::lock_guard<std::mutex> guard(impl_->lock);
        const Node* node = impl_->FindPath(wanted);
        if (!node) return err::kFileNotFound;
        s->node = node->devInst;
        if (node->kind == NodeKind::kDisk || node->kind == NodeKind::kVolume) {
            s->drive = node->drive;
            s->partition = node->partition;
            s->partitionNumber = node->kind == NodeKind::kVolume ? node->partition.number : 0;
        }
    }
    if (!s->drive) {
        handle.Reset(std::move(s), write);
        return err::kSuccess;
    }
    const SimDriveSpec& spec = *s->drive->spec;
    if (spec.faults.failOpen != err::kSuccess) return spec.faults.failOpen;
    const bool openWrite = write && !spec.readOnly && impl_->prepareImages;
    if (const ErrorCode e = s->file.Open(s->drive->folder, s->drive->image, openWrite)) {
        // An image a read-only back end never made reads as zeros.
        if (impl_->prepareImages || (e != err::kFileNotFound && e != err::kPathNotFound)) return e;
    }
    if (s->partitionNumber != 0) {
        s->base = s->partition.startingOffset;
        s->length = s->partition.length;
    } else {
        s->length = spec.capacity;
    }
    // A write-protected drive opens for writing like a real one; its writes are refused.
    const bool writable = write && (spec.readOnly || s->file.Writable());
    handle.Reset(std::move(s), writable);
    return err::kSuccess;
}

ErrorCode SimStorage::OpenForClone(const std::string& path, CloneOpenMode mode,
                                   DeviceHandle& handle) {
    handle.Close();
    CloneDiskFacts facts;
    if (const ErrorCode e = QueryCloneFacts(path, facts)) return e;
    if (mode == CloneOpenMode::kTarget && facts.mountedVolume) return err::kSharingViolation;
    DeviceHandle h;
    if (const ErrorCode e = Open(path, h)) return e;
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    if (s->partitionNumber != 0) return err::kInvalidParameter; // whole disks only
    // The source is read-only whatever the image allows.
    const bool writable = mode == CloneOpenMode::kTarget && h.Writable();
    auto owned = std::make_unique<SimHandle>();
    owned->owner = s->owner;
    owned->drive = s->drive;
    owned->base = s->base;
    owned->length = s->length;
    owned->file = std::move(s->file);
    h.Close();
    handle.Reset(std::move(owned), writable);
    return err::kSuccess;
}

ErrorCode SimStorage::QueryCloneFacts(const std::string& path, CloneDiskFacts& facts) {
    facts = CloneDiskFacts{};
    const std::string wanted = Upper(StripPrefix(path));
    std::lock_guard<std::mutex> guard(impl_->lock);
    for (const Node& n : impl_->nodes) {
        if (n.path.empty() || Upper(n.path) != wanted) continue;
        if (n.kind != NodeKind::kDisk || !n.drive) return err::kInvalidParameter;
        facts.systemDisk = n.drive->spec->systemDisk;
        facts.mountedVolume = n.drive->spec->mountedVolume;
        return err::kSuccess;
    }
    return err::kFileNotFound;
}

ErrorCode SimStorage::OpenLetter(char letter, DeviceHandle& handle) {
    handle.Close();
    std::string path;
    {
        std::lock_guard<std::mutex> guard(impl_->lock);
        const Node* n = impl_->LetterNode(AsciiUpper(letter));
        if (!n) return err::kFileNotFound;
        path = n->path;
    }
    return OpenAs(path, handle, false);
}

ErrorCode SimStorage::GetDeviceNumber(DeviceHandle& h, StorageDeviceNumber& out) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    out.deviceType = filedevice::kDisk;
    out.deviceNumber = s->drive->number;
    out.partitionNumber = s->partitionNumber;
    return err::kSuccess;
}

ErrorCode SimStorage::QueryDeviceDescriptor(DeviceHandle& h, StorageDeviceDescriptor& out) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    const SimDriveSpec& spec = *s->drive->spec;
    StorageDeviceDescriptor d;
    d.deviceType = 0; // direct-access block device
    d.removableMedia = spec.removable;
    d.commandQueueing = spec.busType == bustype::kSata || spec.busType == bustype::kNvme ||
                        spec.busType == bustype::kScsi || spec.busType == bustype::kSas;
    d.busType = spec.busType;
    d.vendor = spec.vendor;
    d.product = spec.model;
    d.revision = spec.firmware;
    d.serial = spec.serial;
    out = std::move(d);
    return err::kSuccess;
}

ErrorCode SimStorage::QueryAdapterDescriptor(DeviceHandle& h, std::vector<std::uint8_t>& raw) {
    raw.clear();
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    return err::kNotSupported;
}

ErrorCode SimStorage::QueryTrimEnabled(DeviceHandle& h, bool& enabled) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    enabled = s->drive->spec->trim;
    return err::kSuccess;
}

ErrorCode SimStorage::QueryTemperature(DeviceHandle& h, std::vector<TemperatureInfo>& out) {
    out.clear();
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    return err::kNotSupported;
}

ErrorCode SimStorage::GetHotplugInfo(DeviceHandle& h, std::uint8_t (&info)[8]) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    const SimDriveSpec& spec = *s->drive->spec;
    const bool hotplug = spec.busType == bustype::kUsb || spec.busType == bustype::kSd ||
                         spec.busType == bustype::kMmc || !spec.parent.empty();
    // STORAGE_HOTPLUG_INFO: Size, MediaRemovable, MediaHotplug, DeviceHotplug, WriteCacheOverride.
    std::uint8_t bytes[8] = {};
    StoreLe<std::uint32_t>(bytes, 0, 8);
    StoreLe<std::uint8_t>(bytes, 4, spec.removable ? 1 : 0);
    StoreLe<std::uint8_t>(bytes, 5, spec.removable ? 1 : 0);
    StoreLe<std::uint8_t>(bytes, 6, hotplug ? 1 : 0);
    std::memcpy(info, bytes, sizeof bytes);
    return err::kSuccess;
}

ErrorCode SimStorage::GetScsiAddress(DeviceHandle& h, ScsiAddress& out) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    if (!HasScsiAddress(s->drive->spec->busType)) return err::kNotSupported;
    out = ScsiAddress{};
    out.portNumber = static_cast<std::uint8_t>(s->drive->number & 0xFF);
    return err::kSuccess;
}

ErrorCode SimStorage::GetGeometry(DeviceHandle& h, DiskGeometry& out) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    const SimDriveSpec& spec = *s->drive->spec;
    const std::uint64_t sectors = spec.SectorCount();
    DiskGeometry g;
    g.bytesPerSector = spec.sectorSize;
    g.mediaType = spec.removable ? 11 : 12; // RemovableMedia, FixedMedia
    g.tracksPerCylinder = 255;
    g.sectorsPerTrack = 63;
    // A drive smaller than one such cylinder still has media: one sector per track then.
    if (sectors < 255 * 63) g.tracksPerCylinder = g.sectorsPerTrack = 1;
    g.cylinders = static_cast<std::int64_t>(sectors / (g.tracksPerCylinder * g.sectorsPerTrack));
    out = g;
    return err::kSuccess;
}

ErrorCode SimStorage::GetLength(DeviceHandle& h, std::uint64_t& bytes) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    bytes = s->length;
    return err::kSuccess;
}

ErrorCode SimStorage::IsWritable(DeviceHandle& h, bool& writable) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    writable = !s->drive->spec->readOnly && h.Writable() && s->file.Writable();
    return err::kSuccess;
}

ErrorCode SimStorage::GetMountDeviceName(DeviceHandle& h, std::u16string& name) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    const std::string n = std::to_string(s->drive->number);
    const std::string text = s->partitionNumber == 0 ? "\\Device\\Harddisk" + n + "\\DR" + n
                                                     : "\\Device\\Harddisk" + n + "\\Partition" +
                                                           std::to_string(s->partitionNumber);
    name = Utf8ToUtf16(text);
    return err::kSuccess;
}

ErrorCode SimStorage::GetVolumeExtents(DeviceHandle& h, std::vector<DiskExtent>& out) {
    out.clear();
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    if (s->partitionNumber == 0) return err::kInvalidFunction; // a disk is no volume
    out.push_back({s->drive->number, s->base, s->length});
    return err::kSuccess;
}

ErrorCode SimStorage::GetPartitionInfo(DeviceHandle& h, PartitionEntry& out) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    if (s->partitionNumber != 0) {
        out = s->partition;
        return err::kSuccess;
    }
    // A disk answers as partition 0, the whole drive, in its table's style.
    DriveLayout layout;
    if (const ErrorCode e = ReadLayout(*s, layout)) return e;
    PartitionEntry whole;
    whole.style = layout.style;
    whole.length = s->length;
    out = std::move(whole);
    return err::kSuccess;
}

ErrorCode SimStorage::GetDriveLayout(DeviceHandle& h, DriveLayout& out) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    if (s->partitionNumber != 0) return err::kInvalidFunction;
    return ReadLayout(*s, out);
}

ErrorCode SimStorage::CreateMbrLayout(DeviceHandle& h, std::uint32_t signature,
                                      const std::vector<PartitionEntry>& partitions) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    if (s->partitionNumber != 0) return err::kInvalidFunction;
    const std::uint32_t ss = s->drive->SectorSize();
    const std::uint64_t capacity = s->drive->Capacity();
    std::vector<std::uint8_t> sector(ss);
    if (const ErrorCode e = ReadDrive(*s, 0, sector)) return e;
    if (const ErrorCode e = BuildMbrSector(signature, partitions, capacity, ss, sector)) return e;
    // A GPT left behind would still be found through a stale protective entry elsewhere, and
    // tools would see two tables: clear both of its copies first.
    std::vector<std::uint8_t> header(ss);
    if (capacity >= 2 * std::uint64_t(ss) && ReadDrive(*s, ss, header) == err::kSuccess &&
        std::memcmp(header.data(), "EFI PART", 8) == 0) {
        const std::uint64_t bytes = std::min<std::uint64_t>(ss + kGptArrayBytes, capacity - ss);
        if (const ErrorCode e = WriteZeros(*s, h.Writable(), ss, bytes)) return e;
        const std::uint64_t tail = std::min<std::uint64_t>(ss + kGptArrayBytes, capacity - ss);
        if (const ErrorCode e = WriteZeros(*s, h.Writable(), capacity - tail, tail)) return e;
    }
    return WriteDrive(*s, h.Writable(), 0, sector);
}

ErrorCode SimStorage::DeleteLayout(DeviceHandle& h) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    if (s->partitionNumber != 0) return err::kInvalidFunction;
    const std::uint64_t capacity = s->drive->Capacity();
    const std::uint64_t bytes =
        std::min<std::uint64_t>(kLayoutSectors * s->drive->SectorSize(), capacity);
    if (const ErrorCode e = WriteZeros(*s, h.Writable(), 0, bytes)) return e;
    return WriteZeros(*s, h.Writable(), capacity - bytes, bytes);
}

ErrorCode SimStorage::TrimRange(DeviceHandle& h, std::uint64_t offset, std::uint64_t length) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    std::uint64_t abs = 0;
    if (const ErrorCode e = CheckRange(*s, offset, length, abs)) return e;
    const SimDriveSpec& spec = *s->drive->spec;
    if (!spec.trim) return err::kNotSupported;
    if (spec.readOnly) return simerr::kWriteProtect;
    if (!h.Writable() || !s->file.Writable()) return err::kAccessDenied;
    if (!spec.faults.trimIgnored) {
        s->drive->layoutDirty = true;
        if (const ErrorCode e = s->file.Zero(abs, length)) return e;
    }
    std::lock_guard<std::mutex> guard(s->drive->lock);
    s->drive->trims.push_back({abs, length});
    return err::kSuccess;
}

ErrorCode SimStorage::ReadAt(DeviceHandle& h, std::uint64_t offset, MutableByteView data) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    std::uint64_t abs = 0;
    if (const ErrorCode e = CheckRange(*s, offset, data.size(), abs)) return e;
    if (const ErrorCode e = SanitizeBusy(*s, h.Writable())) return e;
    return ReadDrive(*s, abs, data);
}

ErrorCode SimStorage::WriteAt(DeviceHandle& h, std::uint64_t offset, ByteView data) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    std::uint64_t abs = 0;
    if (const ErrorCode e = CheckRange(*s, offset, data.size(), abs)) return e;
    if (const ErrorCode e = SanitizeBusy(*s, h.Writable())) return e;
    return WriteDrive(*s, h.Writable(), abs, data);
}

} // namespace tvd
