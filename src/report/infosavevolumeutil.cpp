#include "report/infosavevolumeutil.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "foundation/alignedbuffer.h"
#include "foundation/textconvutil.h"
#include "report/infowritefilesystemutil.h"
#include "storage/cldevice.h"
#include "storage/ntstoragepropertyutil.h"
#include "storage/storageplatform.h"

namespace tvd {

namespace {

std::optional<std::string> Property(std::uint32_t devInst, DeviceProperty p) {
    std::string value;
    if (!devInst || Storage().GetProperty(devInst, p, value) != err::kSuccess) return std::nullopt;
    return value;
}

bool WritePartition(ReportWriter& w, const VolumeFacts& v) {
    if (v.partitionError == err::kNotSupported) return w.NotSupported("PARTITION_INFORMATION_EX");
    if (v.partitionError) return w.Error("IOCTL_DISK_GET_PARTITION_INFO_EX", v.partitionError);
    const PartitionEntry& p = v.partition;
    if (!w.Line(" PARTITION_INFORMATION_EX :")) return false;
    if (p.style == partstyle::kGpt) {
        std::u16string name = p.gptName.substr(0, partex::kGptNameChars);
        name = name.substr(0, name.find(u'\0'));
        return w.Value("  Partition Style   ", "GPT") &&
               w.Unsigned("  Partition Number  ", p.number) &&
               w.Int64("  Starting Offset   ", static_cast<std::int64_t>(p.startingOffset)) &&
               w.Size("  Partition Length  ", p.length) &&
               w.Bool("  Rewrite Partition ", p.rewrite) &&
               w.Guid("  Partition Type    ", p.gptType) &&
               w.Guid("  Partition ID      ", p.gptId) &&
               w.Hex64("  Attributes        ", p.gptAttributes) &&
               w.Value("  Name              ", Utf16ToUtf8(name));
    }
    return w.Value("  Partition Style     ", p.style == partstyle::kMbr ? "MBR" : "RAW") &&
           w.Unsigned("  Partition Number    ", p.number) &&
           w.Int64("  Starting Offset     ", static_cast<std::int64_t>(p.startingOffset)) &&
           w.Size("  Partition Length    ", p.length) &&
           w.Bool("  Rewrite Partition   ", p.rewrite) &&
           w.Unsigned("  Hidden Sectors      ", p.hiddenSectors) &&
           w.Hex02("  Partition Type      ", p.mbrType) &&
           w.Bool("  Boot Indicator      ", p.bootIndicator) &&
           w.Bool("  Recognized Partition", p.recognized);
}

} // namespace

VolumeFacts GatherVolumeFacts(clVolume* volume) {
    VolumeFacts v;
    if (!volume) return v;
    StoragePlatform& s = Storage();
    v.name = volume->Path();
    v.node.devInst = volume->DevInst();
    v.node.friendlyName = Property(v.node.devInst, DeviceProperty::kFriendlyName);
    v.node.description = Property(v.node.devInst, DeviceProperty::kDeviceDesc);
    v.node.driver = Property(v.node.devInst, DeviceProperty::kDriver);
    if (!v.name.empty()) v.node.instanceId = v.name;
    for (std::uint32_t p = s.ParentOf(v.node.devInst), n = 0; p && n < 64; p = s.ParentOf(p), ++n)
        v.node.parents.push_back(p);
    const std::vector<std::string> mounts = ReportVolumeRoots(volume);
    if (!mounts.empty()) {
        v.root = mounts.front();
        v.info = GatherVolumeInfo(*v.root);
    }
    DeviceHandle h;
    v.openError = v.name.empty() ? err::kFileNotFound : OpenReadOnly(v.name, h);
    if (v.openError) return v;
    std::u16string mountName;
    v.mountNameError = s.GetMountDeviceName(h, mountName);
    v.mountName = Utf16ToUtf8(mountName);
    v.storage.numberError = s.GetDeviceNumber(h, v.storage.deviceNumber);
    v.storage.geometryError = s.GetGeometry(h, v.storage.geometry);
    v.storage.hotplugError = s.GetHotplugInfo(h, v.storage.hotplug);
    v.partitionError = s.GetPartitionInfo(h, v.partition);
    v.extentsError = s.GetVolumeExtents(h, v.extents);
    h.Close();
    // The first sector, read through a read-only handle in the sector size the geometry gives.
    const std::uint32_t sector = v.storage.geometryError ? 512 : v.storage.geometry.bytesPerSector;
    if (!BootSectorSizeValid(sector)) {
        v.bootError = err::kInvalidData;
        return v;
    }
    DeviceHandle reader;
    AlignedBuffer buffer;
    if ((v.bootError = s.OpenRead(v.name, reader))) return v;
    if (!buffer.Allocate(AlignedBuffer::kAlignment)) {
        v.bootError = err::kNotEnoughMemory;
        return v;
    }
    v.bootError = s.ReadAt(reader, 0, buffer.View());
    if (!v.bootError) v.bootSector.assign(buffer.Data(), buffer.Data() + sector);
    return v;
}

bool WriteVolumeBlock(ReportWriter& w, const VolumeFacts& v) {
    if (!w.Line("Volume [" + v.name + "] :") || !WriteNodeLines(w, v.node)) return false;
    if (v.root) {
        if (!w.Value(" RootPath", *v.root) || !WriteVolumeInformation(w, v.info)) return false;
    } else if (!w.ErrorLine(" * VolumeGetRootNameW fail.")) {
        return false;
    }
    if (v.openError) return w.ErrorLine(" * Open Volume fail.") && w.Eol();
    if (v.mountNameError == err::kNotSupported) {
        if (!w.NotSupported("IOCTL_MOUNTDEV_QUERY_DEVICE_NAME")) return false;
    } else if (v.mountNameError) {
        if (!w.ErrorLine(" ** IOCTL_MOUNTDEV_QUERY_DEVICE_NAME fail")) return false;
    } else if (!w.Value(" IOCTL_MOUNTDEV_QUERY_DEVICE_NAME", v.mountName)) {
        return false;
    }
    if (!WriteNumberGeometryHotplug(w, v.storage) || !WritePartition(w, v)) return false;
    if (v.extentsError) {
        if (!w.Error("IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS", v.extentsError)) return false;
    } else {
        if (!w.Line(" IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS :")) return false;
        for (std::size_t i = 0; i < v.extents.size() && i < 1024; ++i) {
            const DiskExtent& e = v.extents[i];
            char line[128];
            std::snprintf(line, sizeof line,
                          "  Disk=[%" PRId64 "], Start=[%" PRIu64 "], Length=[%" PRIu64 "]",
                          e.diskNumber, e.startingOffset, e.length);
            if (!w.Line(line)) return false;
        }
    }
    if (v.bootError) {
        char line[64];
        std::snprintf(line, sizeof line, " * Read boot buffer fail, Error=[%u]", v.bootError);
        if (!w.ErrorLine(line)) return false;
    } else if (!WriteFileSystemBlock(w, v.bootSector)) {
        return false;
    }
    return w.Eol();
}

} // namespace tvd
