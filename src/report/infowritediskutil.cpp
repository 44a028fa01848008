#include "report/infowritediskutil.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "drive/fundisksmartutil.h"
#include "foundation/textconvutil.h"
#include "smart/clsmartata.h"
#include "smart/smartatacreateutil.h"
#include "storage/ataidentifyutil.h"
#include "storage/clata.h"
#include "storage/cldevice.h"
#include "storage/cldevicelist.h"
#include "storage/clnvme.h"
#include "storage/clscsi.h"
#include "storage/deviceregistry.h"
#include "storage/devicechoice.h"
#include "storage/ntstoragepropertyutil.h"
#include "storage/nvmeidentifyutil.h"
#include "storage/storageplatform.h"
#include "storage/usbnodeutil.h"

namespace tvd {

namespace {

template <class... A> std::string Format(const char* format, A... args) {
    char buffer[256];
    const int n = std::snprintf(buffer, sizeof buffer, format, args...);
    return n < 0 ? std::string() : std::string(buffer, std::min<std::size_t>(n, sizeof buffer - 1));
}

// IOCTL_SFFDISK_QUERY_DEVICE_PROTOCOL and its answer (Size, Reserved, ProtocolGUID).
constexpr std::uint32_t kIoctlSffDiskQueryProtocol = 0x00071E80;
constexpr std::size_t kSffProtocolAnswer = 20;
constexpr std::uint8_t kSdProtocol[16] = {0xA8, 0x36, 0x75, 0xAD, 0x55, 0xD0, 0x40, 0x4C,
                                          0xAA, 0x4D, 0x96, 0x31, 0x2D, 0xDB, 0x6B, 0x38};
constexpr std::uint8_t kMmcProtocol[16] = {0x3F, 0x4D, 0x27, 0x77, 0x65, 0x23, 0x91, 0x44,
                                           0xA0, 0x30, 0x8B, 0xB4, 0x4A, 0xE6, 0x00, 0x97};

constexpr std::uint8_t kNvmeCnsNamespace = 0, kNvmeCnsController = 1, kNvmeCnsActiveList = 2;

std::optional<std::string> Property(std::uint32_t devInst, DeviceProperty p) {
    std::string value;
    if (!devInst || Storage().GetProperty(devInst, p, value) != err::kSuccess) return std::nullopt;
    return value;
}

// A text inside a returned descriptor: only when the offset and its NUL lie within it.
const char* OffsetText(ByteView raw, std::uint32_t offset, std::string& holder) {
    if (offset == 0 || offset >= raw.size()) return nullptr;
    const auto* begin = raw.data() + offset;
    const auto* end = std::find(begin, raw.data() + raw.size(), std::uint8_t{0});
    if (end == raw.data() + raw.size()) return nullptr;
    holder = DeviceText(std::string_view(reinterpret_cast<const char*>(begin), end - begin));
    return holder.c_str();
}

const char* MediaTypeName(std::uint32_t type) {
    if (type == 11) return "RemovableMedia";
    if (type == 12) return "FixedMedia";
    return "Unknown";
}

std::string GptName(const std::u16string& name) {
    std::u16string cut = name.substr(0, partex::kGptNameChars);
    const std::size_t nul = cut.find(u'\0');
    if (nul != std::u16string::npos) cut.resize(nul);
    return Utf16ToUtf8(cut);
}

} // namespace

ErrorCode OpenReadOnly(const std::string& path, DeviceHandle& handle) {
    // The report only reads: no write access is asked for where the back end can avoid it. A
    // user without read access still gets what the system tells without opening the device.
    const ErrorCode e = Storage().OpenRead(path, handle);
    if (e == err::kSuccess) return e;
    return Storage().OpenForQuery(path, handle);
}

std::string LetterListText(std::uint32_t mask) {
    std::string text;
    for (int i = 0; i < 26; ++i) {
        if (!(mask & (1u << i))) continue;
        if (!text.empty()) text += ", ";
        text += static_cast<char>('A' + i);
        text += ':';
    }
    return text;
}

DiskFacts GatherDiskFacts(DeviceRegistry& registry, clDisk* disk, const clDisk* systemDisk) {
    DiskFacts d;
    if (!disk) return d;
    StoragePlatform& s = Storage();
    d.number = disk->GetDeviceNumber();
    d.systemDisk = disk == systemDisk;
    d.letters = LetterListText(registry.DiskLetterMask(disk));
    if (d.letters.empty() && registry.FindList(devtype::kVolume)) {
        // Platforms without letters name the disk's volumes by where they are mounted.
        std::int64_t number = d.number;
        clDeviceList* volumes = registry.FindList(devtype::kVolume);
        for (clDevice* v = volumes->FirstDevice(); v; v = volumes->NextDevice(v)) {
            DeviceHandle h;
            std::vector<DiskExtent> extents;
            if (v->Path().empty() || s.OpenForQuery(v->Path(), h) != err::kSuccess ||
                s.GetVolumeExtents(h, extents) != err::kSuccess || extents.empty() ||
                extents[0].diskNumber != number)
                continue;
            for (const std::string& m : static_cast<clVolume*>(v)->MountPoints())
                d.letters += (d.letters.empty() ? "" : ", ") + m;
        }
    }
    d.node.devInst = disk->DevInst();
    d.node.friendlyName = Property(d.node.devInst, DeviceProperty::kFriendlyName);
    d.node.description = Property(d.node.devInst, DeviceProperty::kDeviceDesc);
    d.node.driver = Property(d.node.devInst, DeviceProperty::kDriver);
    if (!disk->Path().empty()) d.node.instanceId = disk->Path();
    for (std::uint32_t p = s.ParentOf(d.node.devInst), n = 0; p && n < 64; p = s.ParentOf(p), ++n)
        d.node.parents.push_back(p);

    const char* path = disk->GetPath();
    DeviceHandle h;
    d.openError = path ? OpenReadOnly(path, h) : err::kFileNotFound;
    if (d.openError == err::kSuccess) {
        d.descriptorError = s.QueryDeviceDescriptor(h, d.descriptor);
        d.adapterError = s.QueryAdapterDescriptor(h, d.adapter);
        d.trimError = s.QueryTrimEnabled(h, d.trimEnabled);
        d.temperatureError = s.QueryTemperature(h, d.temperatures);
        d.numberError = s.GetDeviceNumber(h, d.deviceNumber);
        d.geometryError = s.GetGeometry(h, d.geometry);
        d.hotplugError = s.GetHotplugInfo(h, d.hotplug);
        d.addressError = s.GetScsiAddress(h, d.address);
        d.lengthError = s.GetLength(h, d.length);
        bool writable = false;
        d.writable = s.IsWritable(h, writable) == err::kSuccess && writable;
        d.layoutError = s.GetDriveLayout(h, d.layout);
        if (disk->GetBusType() == bustype::kSd) {
            std::uint8_t answer[kSffProtocolAnswer] = {};
            std::uint32_t returned = 0;
            d.sdError = s.IoControl(h, kIoctlSffDiskQueryProtocol, {}, answer, returned);
            if (!d.sdError && returned < kSffProtocolAnswer) d.sdError = err::kInvalidData;
            if (!d.sdError) std::copy(answer + 4, answer + 20, d.sdProtocol);
        }
    }
    h.Close();

    if (disk->IsUsb() && !disk->IsRemovable()) {
        std::uint16_t vid = 0, pid = 0;
        if (GetUsbIds(disk, vid, pid)) {
            d.bridgeKnown = true;
            d.bridgeVendorId = vid;
            d.bridgeProductId = pid;
        }
    }

    if (d.openError != err::kSuccess) return d;

    ScsiDiskInfo scsi;
    if (FillScsiDiskInfo(scsi, OpenScsiInterface(disk))) {
        d.hasScsi = true;
        const std::size_t n = std::min<std::size_t>(scsi.inquiryLength, sizeof scsi.inquiry);
        d.inquiry.assign(scsi.inquiry, scsi.inquiry + n);
        d.capacity10 = !scsi.capacity16;
        d.capacity16 = scsi.capacity16;
        d.capacityOk = scsi.blockLength != 0;
        d.lastLba = scsi.lastLba;
        d.blockLength = scsi.blockLength;
    }
    if (InterfacePtr<clAta> ata = OpenAtaInterface(disk)) {
        d.hasAta = true;
        const ByteView id = ata->GetIdentify();
        d.identify.assign(id.begin(), id.end());
        ata->Close();
    } else if (NvmeChoice choice = OpenNvmeInterface(disk); choice.nvme) {
        d.hasNvme = true;
        clNvme* nvme = choice.nvme.get();
        PciLinkInfo link;
        if (const std::uint32_t c = s.ControllerOf(disk->DevInst());
            c && s.GetPciLink(c, link) == err::kSuccess)
            d.link = link;
        std::vector<std::uint8_t> buffer(kNvmeIdentifySize);
        if (nvme->IdentifyNvme(0, kNvmeCnsController, buffer)) d.controller = buffer;
        std::fill(buffer.begin(), buffer.end(), 0);
        if (nvme->IdentifyNvme(0, kNvmeCnsActiveList, buffer)) {
            d.namespaceListOk = true;
            std::vector<std::uint32_t> ids = nvmeid::ActiveNamespaces(buffer);
            if (ids.size() > kReportMaxNamespaces) ids.resize(kReportMaxNamespaces);
            for (std::uint32_t nsid : ids) {
                NvmeNamespaceFacts ns;
                ns.nsid = nsid;
                std::vector<std::uint8_t> data(kNvmeIdentifySize);
                if (nvme->IdentifyNvme(nsid, kNvmeCnsNamespace, data)) ns.data = std::move(data);
                d.namespaces.push_back(std::move(ns));
            }
        }
        nvme->Close();
    }

    SmartMonitor monitor;
    SmartMonitorSetup(&monitor, disk, std::string());
    if (monitor.smart) {
        SmartMonitorRefresh(&monitor); // the block shows fresh figures
        clSmart* smart = monitor.smart.get();
        d.hasSmart = true;
        d.smartIsAta = smart->IsA(clSmartAta::kClassName);
        d.temperature = GetTemperature(smart);
        d.hostWritesGb = GetHostWrites(smart);
        if (d.smartIsAta) {
            const auto profile = static_cast<const clSmartAta*>(smart)->profileId;
            if (profile != SmartVendorProfileId::kHardDisk && profile != SmartVendorProfileId::kSsd)
                d.vendorId = static_cast<std::uint32_t>(profile);
        }
        const SmartAttributeList& list = smart->Attributes();
        const int count = std::clamp<int>(list.count, 0, kSmartMaxAttributes);
        d.attributes.assign(list.entries, list.entries + count);
        smart->Close();
    }
    return d;
}

bool WriteDeviceLine(ReportWriter& w, const NodeFacts& n) {
    auto opt = [](const std::optional<std::string>& s) { return s ? s->c_str() : nullptr; };
    return w.Text(Format(" [%08X] = ", n.devInst)) && w.Bracketed(opt(n.friendlyName)) &&
           w.Bracketed(opt(n.description)) && w.Bracketed(opt(n.instanceId)) &&
           w.Bracketed(opt(n.driver)) && w.Eol();
}

bool WriteNodeLines(ReportWriter& w, const NodeFacts& n) {
    if (!WriteDeviceLine(w, n)) return false;
    std::string chain = Format(" [%08X]", n.devInst);
    for (std::uint32_t p : n.parents)
        chain += Format("->[%08X]", p);
    if (!w.Line(chain)) return false;
    if (n.upperFilters && (!w.Line(" Upper Filters :") || !w.StringList(*n.upperFilters)))
        return false;
    if (n.lowerFilters && (!w.Line(" Lower Filters :") || !w.StringList(*n.lowerFilters)))
        return false;
    return true;
}

namespace {

bool QueryFailed(ReportWriter& w, const char* heading, const char* query, ErrorCode e) {
    if (e == err::kNotSupported) return w.NotSupported(heading);
    return w.Error(query, e);
}

bool WriteDeviceDescriptor(ReportWriter& w, const DiskFacts& d) {
    if (d.descriptorError)
        return QueryFailed(w, "STORAGE_DEVICE_DESCRIPTOR", "Query StorageDeviceProperty",
                           d.descriptorError);
    const StorageDeviceDescriptor& x = d.descriptor;
    if (!w.Line(" STORAGE_DEVICE_DESCRIPTOR :")) return false;
    const ByteView raw(x.raw);
    if (raw.size() >= devdesc::kHeaderSize) {
        std::string a, b, c, e;
        return w.Unsigned("  Version", Le<std::uint32_t>(raw, devdesc::kVersion)) &&
               w.Unsigned("  Size", Le<std::uint32_t>(raw, devdesc::kSize)) &&
               w.Unsigned("  DeviceType", raw[devdesc::kDeviceType]) &&
               w.Unsigned("  DeviceTypeModifier", raw[devdesc::kDeviceTypeModifier]) &&
               w.Bool("  RemovableMedia", raw[devdesc::kRemovableMedia] != 0) &&
               w.Bool("  CommandQueueing", raw[devdesc::kCommandQueueing] != 0) &&
               w.NumberName("  VendorIdOffset", Le<std::uint32_t>(raw, devdesc::kVendorIdOffset),
                            OffsetText(raw, Le<std::uint32_t>(raw, devdesc::kVendorIdOffset), a)) &&
               w.NumberName(
                   "  ProductIdOffset", Le<std::uint32_t>(raw, devdesc::kProductIdOffset),
                   OffsetText(raw, Le<std::uint32_t>(raw, devdesc::kProductIdOffset), b)) &&
               w.NumberName(
                   "  ProductRevisionOffset",
                   Le<std::uint32_t>(raw, devdesc::kProductRevisionOffset),
                   OffsetText(raw, Le<std::uint32_t>(raw, devdesc::kProductRevisionOffset), c)) &&
               w.NumberName(
                   "  SerialNumberOffset", Le<std::uint32_t>(raw, devdesc::kSerialNumberOffset),
                   OffsetText(raw, Le<std::uint32_t>(raw, devdesc::kSerialNumberOffset), e)) &&
               w.NumberName("  BusType", Le<std::uint32_t>(raw, devdesc::kBusType),
                            BusTypeName(Le<std::uint32_t>(raw, devdesc::kBusType))) &&
               w.Unsigned("  RawPropertiesLength",
                          Le<std::uint32_t>(raw, devdesc::kRawPropertiesLength));
    }
    // Back ends that build the descriptor from other sources have texts but no offsets.
    return w.Unsigned("  DeviceType", x.deviceType) &&
           w.Bool("  RemovableMedia", x.removableMedia) &&
           w.Bool("  CommandQueueing", x.commandQueueing) &&
           w.Value("  VendorId", DeviceText(x.vendor)) &&
           w.Value("  ProductId", DeviceText(x.product)) &&
           w.Value("  ProductRevision", DeviceText(x.revision)) &&
           w.Value("  SerialNumber", DeviceText(x.serial)) &&
           w.NumberName("  BusType", x.busType, BusTypeName(x.busType));
}

bool WriteAdapterDescriptor(ReportWriter& w, const DiskFacts& d) {
    if (d.adapterError)
        return QueryFailed(w, "STORAGE_ADAPTER_DESCRIPTOR", "Query StorageAdapterProperty",
                           d.adapterError);
    // STORAGE_ADAPTER_DESCRIPTOR: fields read only where the answer holds them.
    const ByteView a(d.adapter);
    if (!w.Line(" STORAGE_ADAPTER_DESCRIPTOR :")) return false;
    if (a.size() < 28) return w.ErrorLine("  ** STORAGE_ADAPTER_DESCRIPTOR short answer");
    return w.Unsigned("  Version", Le<std::uint32_t>(a, 0)) &&
           w.Unsigned("  Size", Le<std::uint32_t>(a, 4)) &&
           w.Unsigned("  MaximumTransferLength", Le<std::uint32_t>(a, 8)) &&
           w.Unsigned("  MaximumPhysicalPages", Le<std::uint32_t>(a, 12)) &&
           w.Unsigned("  AlignmentMask", Le<std::uint32_t>(a, 16)) &&
           w.Bool("  AdapterUsesPio", a[20] != 0) && w.Bool("  AdapterScansDown", a[21] != 0) &&
           w.Bool("  CommandQueueing", a[22] != 0) && w.Bool("  AcceleratedTransfer", a[23] != 0) &&
           w.NumberName("  BusType", a[24], BusTypeName(a[24])) &&
           w.Value("  BusVersion", Format("%i.%i", Le<std::uint16_t>(a, 26) >> 8,
                                          Le<std::uint16_t>(a, 26) & 0xFF)) &&
           (a.size() < 30 || w.Unsigned("  SrbType", a[28])) &&
           (a.size() < 30 || w.Unsigned("  AddressType", a[29]));
}

bool WriteLayout(ReportWriter& w, const DiskFacts& d) {
    if (d.layoutError)
        return QueryFailed(w, "DRIVE_LAYOUT_INFORMATION_EX", "IOCTL_DISK_GET_DRIVE_LAYOUT_EX",
                           d.layoutError);
    const DriveLayout& l = d.layout;
    const std::size_t count = std::min<std::size_t>(l.partitions.size(), layoutex::kMaxEntries);
    if (l.style == partstyle::kMbr) {
        if (!w.Line(Format(" DRIVE_LAYOUT_INFORMATION_EX : PARTITION_STYLE_MBR : Partition "
                           "Count=[%i], Signature=[0x%08X]",
                           static_cast<int>(count), l.mbrSignature)))
            return false;
        for (std::size_t i = 0; i < count; ++i) {
            const PartitionEntry& p = l.partitions[i];
            if (p.length == 0) {
                if (!w.Line(Format("  Partition Entry [%2i] (Empty)", static_cast<int>(i))))
                    return false;
                continue;
            }
            if (!w.Line(Format("  Partition Entry [%2i]", static_cast<int>(i))) ||
                !w.Unsigned("   Partition Number    ", p.number) ||
                !w.Int64("   Starting Offset     ", static_cast<std::int64_t>(p.startingOffset)) ||
                !w.Size("   Partition Length    ", p.length) ||
                !w.Bool("   Rewrite Partition   ", p.rewrite) ||
                !w.Unsigned("   Hidden Sectors      ", p.hiddenSectors) ||
                !w.Hex02("   Partition Type      ", p.mbrType) ||
                !w.Bool("   Boot Indicator      ", p.bootIndicator) ||
                !w.Bool("   Recognized Partition", p.recognized))
                return false;
        }
        return true;
    }
    if (l.style == partstyle::kGpt) {
        if (!w.Line(Format(" DRIVE_LAYOUT_INFORMATION_EX : PARTITION_STYLE_GPT : Partition "
                           "Count=[%i]",
                           static_cast<int>(count))) ||
            !w.Guid("  Disk ID", l.gptDiskId) ||
            !w.Int64("  StartingUsableOffset",
                     static_cast<std::int64_t>(l.gptStartingUsableOffset)) ||
            !w.Int64("  UsableLength", static_cast<std::int64_t>(l.gptUsableLength)) ||
            !w.Unsigned("  MaxPartitionCount", l.gptMaxPartitionCount))
            return false;
        for (std::size_t i = 0; i < count; ++i) {
            const PartitionEntry& p = l.partitions[i];
            const bool empty = p.length == 0;
            if (!w.Line(
                    Format(empty ? "  Partition Entry [%2i] (Empty)" : "  Partition Entry [%2i]",
                           static_cast<int>(i))))
                return false;
            if (empty) continue;
            if (!w.Unsigned("   Partition Number  ", p.number) ||
                !w.Int64("   Starting Offset   ", static_cast<std::int64_t>(p.startingOffset)) ||
                !w.Size("   Partition Length  ", p.length) ||
                !w.Bool("   Rewrite Partition ", p.rewrite) ||
                !w.Guid("   Partition Type    ", p.gptType) ||
                !w.Guid("   Partition ID      ", p.gptId) ||
                !w.Hex64("   Attributes        ", p.gptAttributes) ||
                !w.Value("   Name              ", GptName(p.gptName)))
                return false;
        }
        return true;
    }
    return w.ErrorLine(" ** GetDriveLayout : Unknown PartitionStyle");
}

} // namespace

bool WriteNumberGeometryHotplug(ReportWriter& w, const DiskFacts& d) {
    if (d.numberError) {
        if (!QueryFailed(w, "STORAGE_DEVICE_NUMBER", "IOCTL_STORAGE_GET_DEVICE_NUMBER",
                         d.numberError))
            return false;
    } else if (!w.Line(" STORAGE_DEVICE_NUMBER :") ||
               !w.Line(Format("  Device Type : [0x%08X] (%s)", d.deviceNumber.deviceType,
                              DeviceTypeName(d.deviceNumber.deviceType))) ||
               !w.Int64("  Device Number", d.deviceNumber.deviceNumber) ||
               !w.Unsigned("  Partition Number", d.deviceNumber.partitionNumber)) {
        return false;
    }
    if (d.geometryError) {
        if (!QueryFailed(w, "DISK_GEOMETRY", "IOCTL_DISK_GET_DRIVE_GEOMETRY", d.geometryError))
            return false;
    } else if (!w.Line(" DISK_GEOMETRY :") ||
               !w.NumberName("  MediaType", d.geometry.mediaType,
                             MediaTypeName(d.geometry.mediaType)) ||
               !w.Int64("  Cylinders", d.geometry.cylinders) ||
               !w.Unsigned("  TracksPerCylinder", d.geometry.tracksPerCylinder) ||
               !w.Unsigned("  SectorsPerTrack", d.geometry.sectorsPerTrack) ||
               !w.Unsigned("  BytesPerSector", d.geometry.bytesPerSector)) {
        return false;
    }
    if (d.hotplugError) {
        if (!QueryFailed(w, "STORAGE_HOTPLUG_INFO", "IOCTL_STORAGE_GET_HOTPLUG_INFO",
                         d.hotplugError))
            return false;
    } else if (!w.Line(" STORAGE_HOTPLUG_INFO :") ||
               !w.Unsigned("  Size", Le<std::uint32_t>(ByteView(d.hotplug), 0)) ||
               !w.Bool("  MediaRemovable", d.hotplug[4] != 0) ||
               !w.Bool("  MediaHotplug", d.hotplug[5] != 0) ||
               !w.Bool("  DeviceHotplug", d.hotplug[6] != 0)) {
        return false;
    }
    return true;
}

bool WriteStorageProperties(ReportWriter& w, const DiskFacts& d) {
    if (!WriteDeviceDescriptor(w, d) || !WriteAdapterDescriptor(w, d)) return false;
    if (d.trimError) {
        if (!QueryFailed(w, "DEVICE_TRIM_DESCRIPTOR", "Query StorageDeviceTrimProperty",
                         d.trimError))
            return false;
    } else if (!w.Line(" DEVICE_TRIM_DESCRIPTOR :") || !w.Bool("  TrimEnabled", d.trimEnabled)) {
        return false;
    }
    if (d.temperatureError) {
        if (!QueryFailed(w, "STORAGE_TEMPERATURE_DATA_DESCRIPTOR",
                         "Query StorageDeviceTemperatureProperty", d.temperatureError))
            return false;
    } else {
        const std::size_t count = std::min<std::size_t>(d.temperatures.size(), 256);
        if (!w.Line(" STORAGE_TEMPERATURE_DATA_DESCRIPTOR :") ||
            !w.Unsigned("  InfoCount", static_cast<std::uint32_t>(count)))
            return false;
        for (std::size_t i = 0; i < count; ++i) {
            const TemperatureInfo& t = d.temperatures[i];
            if (!w.Line(Format("  Temperature[%i] :", static_cast<int>(i))) ||
                !w.Unsigned("   Index", t.index) || !w.Int64("   Temperature", t.temperature) ||
                !w.Int64("   OverThreshold", t.overThreshold) ||
                !w.Int64("   UnderThreshold", t.underThreshold) ||
                !w.Bool("   OverThresholdChangable", t.overThresholdChangable) ||
                !w.Bool("   UnderThresholdChangable", t.underThresholdChangable) ||
                !w.Bool("   EventGenerated", t.eventGenerated))
                return false;
        }
    }
    if (!WriteNumberGeometryHotplug(w, d)) return false;
    if (d.addressError) {
        if (!QueryFailed(w, "IOCTL_SCSI_GET_ADDRESS", "IOCTL_SCSI_GET_ADDRESS", d.addressError))
            return false;
    } else if (!w.Line(Format(" IOCTL_SCSI_GET_ADDRESS : Port=[%i], Adapter=[%i], Target=[%i], "
                              "Lun=[%i]",
                              d.address.portNumber, d.address.pathId, d.address.targetId,
                              d.address.lun))) {
        return false;
    }
    if (d.lengthError) {
        if (!QueryFailed(w, "DiskLength", "IOCTL_DISK_GET_LENGTH_INFO", d.lengthError))
            return false;
    } else if (!w.Size(" DiskLength", d.length)) {
        return false;
    }
    if (!w.Line(d.writable ? " DiskWritable = [TRUE]" : " DiskWritable = [FALSE]")) return false;
    return WriteLayout(w, d);
}

namespace {

bool WriteScsi(ReportWriter& w, const DiskFacts& d) {
    if (!d.hasScsi) return true;
    if (!w.Line(" SCSI :")) return false;
    const ByteView q(d.inquiry);
    if (q.size() < 36) {
        if (!w.ErrorLine("  ** SCSI_INQUIRY Data error.")) return false;
    } else {
        const std::size_t vendorEnd = std::min<std::size_t>(q.size(), 56);
        auto text = [&](std::size_t off, std::size_t len) {
            return DeviceText(std::string_view(reinterpret_cast<const char*>(q.data() + off), len));
        };
        if (!w.Line(Format("  SCSI_INQUIRY : %i Bytes", static_cast<int>(q.size()))) ||
            !w.Hex02("   PeripheralData", q[0]) || !w.Bool("   RMB", (q[1] & 0x80) != 0) ||
            !w.Hex02("   Version", q[2]) || !w.Hex02("   DataFormat", q[3] & 0x0F) ||
            !w.Unsigned("   AdditionalLen", q[4]) || !w.Value("   Vendor", text(8, 8)) ||
            !w.Value("   Product", text(16, 16)) || !w.Value("   Revision", text(32, 4)) ||
            !w.HexValue("   VendorSpecific", q.subspan(36, vendorEnd - 36)))
            return false;
    }
    if (d.capacity16) {
        return d.capacityOk ? w.Line(Format("  SCSI_READ_CAPACITY_16 : BlockSize=[%u], "
                                            "MaxBlockNo=[%" PRIu64 "]",
                                            d.blockLength, d.lastLba))
                            : w.ErrorLine("  ** SCSI_READ_CAPACITY_16 fail");
    }
    return d.capacityOk ? w.Line(Format("  SCSI_READ_CAPACITY_10 : BlockSize=[%u], MaxBlockNo=[%u]",
                                        d.blockLength, static_cast<unsigned>(d.lastLba)))
                        : w.ErrorLine("  ** SCSI_READ_CAPACITY_10 fail");
}

bool WriteWordTable(ReportWriter& w, ByteView id) {
    if (!w.Line("  Identify Data:") ||
        !w.Line("          0    1    2    3    4    5    6    7    8    9    A    B    C    D    E"
                "    F"))
        return false;
    for (std::size_t row = 0; row < 16; ++row) {
        std::string line = Format("   %02X ", static_cast<unsigned>(row * 16));
        for (std::size_t i = 0; i < 16; ++i)
            line += Format(" %04X", ataid::Word(id, row * 16 + i));
        if (!w.Line(line + " ")) return false;
    }
    return true;
}

bool WriteAta(ReportWriter& w, const DiskFacts& d) {
    if (!d.hasAta) return true;
    if (!w.Line(" ATA :")) return false;
    const ByteView id(d.identify);
    if (id.size() < 512) return w.ErrorLine("  ** ATA Identify read fail");
    if (!w.Value("  ModelName", DeviceText(ataid::Model(id))) ||
        !w.Value("  SerialNo", DeviceText(ataid::Serial(id))) ||
        !w.Value("  FirmwareVersion", DeviceText(ataid::Firmware(id))))
        return false;
    std::uint8_t wwn[8];
    if (ataid::Wwn(id, wwn) && !w.HexValue("  WWN", wwn)) return false;
    const int major = ataid::MajorVersion(id);
    const char* majorName = ataid::MajorVersionName(major);
    const char* minorName = ataid::MinorVersionName(id);
    if (!w.Line(Format("  Major Version : [%04X], (Max=%i), [%s]", ataid::Word(id, 80), major,
                       majorName ? majorName : "")) ||
        !w.Line(Format("  Minor Version : [%04X], [%s]", ataid::Word(id, 81),
                       minorName ? minorName : "")))
        return false;
    const std::uint8_t maxUdma = ataid::HighestUdmaMode(id), selUdma = ataid::SelectedUdmaMode(id);
    auto udmaName = [](std::uint8_t mode) {
        return ataid::UdmaName(mode == ataid::kNoMode ? 0 : static_cast<std::uint16_t>(1u << mode));
    };
    if (!w.Line(Format("  UDMA : [%04X], Max = [%u](%s), Selected = [%u](%s)", ataid::Word(id, 88),
                       maxUdma, udmaName(maxUdma), selUdma, udmaName(selUdma))))
        return false;
    if (ataid::IsSata(id)) {
        const std::uint8_t maxSpeed = ataid::SataMaxSpeed(id), cur = ataid::SataCurrentSpeed(id);
        if (!w.Line(Format("  SATA Speed : Max = [%04X](%s), Current = [%04X](%s)",
                           ataid::Word(id, 76), ataid::SataSpeedName(maxSpeed), ataid::Word(id, 77),
                           ataid::SataSpeedName(cur))))
            return false;
    }
    const std::uint32_t sector = ataid::LogicalSectorSize(id);
    const std::uint64_t count = ataid::SectorCount(id);
    const std::uint64_t length =
        sector && count <= UINT64_MAX / sector ? count * sector : 0; // no overflow
    if (!w.Unsigned("  BytesPerSector", sector) ||
        !w.Int64("  NormalSectors", static_cast<std::int64_t>(count)) ||
        !w.Size("  DiskLength", length) || !w.Bool("  LBA48 support", ataid::Lba48Supported(id)) ||
        !w.Unsigned("  Nominal media rotation rate", ataid::NominalRotationRate(id)))
        return false;
    const std::uint16_t integrity = ataid::Word(id, 255);
    const char* note = (integrity & 0xFF) != 0xA5 ? " (NO Checksum)"
                       : !ataid::ChecksumOk(id)   ? " (Incorrect Checksum)"
                                                  : "";
    if (!w.Line(Format("  IntegrityWord = [%04X]%s", integrity, note))) return false;
    return WriteWordTable(w, id);
}

bool WriteByteTable(ReportWriter& w, ByteView data, const char* indent) {
    if (!w.Line(std::string(indent) + "Data Table:") ||
        !w.Line("           0  1  2  3  4  5  6  7  8  9  A  B  C  D  E  F"))
        return false;
    for (std::size_t off = 0; off + 16 <= data.size() && off < kNvmeIdentifySize; off += 16) {
        std::string line = Format("    %04X ", static_cast<unsigned>(off));
        for (std::size_t i = 0; i < 16; ++i)
            line += Format(" %02X", data[off + i]);
        if (!w.Line(line)) return false;
    }
    return true;
}

std::string LinkText(const std::optional<PciLinkInfo>& link, bool max) {
    if (!link) return "----";
    const int speed = max ? link->maxSpeed : link->currentSpeed;
    const int width = max ? link->maxWidth : link->currentWidth;
    if (!speed || !width) return "----";
    return Format("PCIe Gen%d x%d", speed, width);
}

std::string NvmeText(ByteView c, std::size_t off, std::size_t len) {
    if (!InBounds(c.size(), off, len)) return {};
    return DeviceText(std::string_view(reinterpret_cast<const char*>(c.data() + off), len));
}

bool WriteNvme(ReportWriter& w, const DiskFacts& d) {
    if (!d.hasNvme) return true;
    if (!w.Line(" NVMe :") || !w.Line("  Slot Speed :") ||
        !w.Value("   Maximum", LinkText(d.link, true)) ||
        !w.Value("   Current", LinkText(d.link, false)) || !w.Line("  Controller data :"))
        return false;
    const ByteView c(d.controller);
    if (c.size() < kNvmeIdentifySize) {
        if (!w.ErrorLine("  ** NVMe IdentifyController load fail")) return false;
    } else {
        const std::uint32_t ver = nvmeid::Version(c);
        const std::string verText =
            ver ? Format("NVM Express %i.%i.%i", ver >> 16, (ver >> 8) & 0xFF, ver & 0xFF)
                : std::string("NVM Express 1.0/1.1");
        const std::uint16_t oacs = nvmeid::Oacs(c);
        const std::uint8_t frmw = c[260];
        const std::uint32_t sanicap = nvmeid::Sanicap(c);
        if (!w.Line(Format("   PCI VID=[%04X], SSVID=[%04X], CNTLID=[%04X]", nvmeid::PciVendorId(c),
                           nvmeid::PciSubsystemVendorId(c), Le<std::uint16_t>(c, 78))) ||
            !w.Value("   Model Number", NvmeText(c, 24, 40)) ||
            !w.Value("   Serial Number", NvmeText(c, 4, 20)) ||
            !w.Value("   Firmware Revision", NvmeText(c, 64, 8)) ||
            !w.HexValue("   IEEE OUI Identifier", c.subspan(73, 3)) ||
            !w.Line(Format("   Version = [%08X] (%s)", ver, verText.c_str())) ||
            !w.Hex04("   Optional Admin Command Support (OACS)", oacs) ||
            !w.Unsigned("    SecurityCommands", oacs & 1) ||
            !w.Unsigned("    FormatNVM", (oacs >> 1) & 1) ||
            !w.Unsigned("    FirmwareCommands", (oacs >> 2) & 1) ||
            !w.Unsigned("    NamespaceCommands", (oacs >> 3) & 1) ||
            !w.Unsigned("    DeviceSelfTest", (oacs >> 4) & 1) ||
            !w.Unsigned("    Directives", (oacs >> 5) & 1) ||
            !w.Hex02("   Firmware Updates (FRMW)", frmw) ||
            !w.Unsigned("    Slot1ReadOnly", frmw & 1) ||
            !w.Unsigned("    SlotCount", (frmw >> 1) & 7) ||
            !w.Unsigned("    ActivationWithoutReset", (frmw >> 4) & 1) ||
            !w.Hex08("   Sanitize Capabilities (SANICAP)", sanicap) ||
            !w.Unsigned("    CryptoErase", sanicap & 1) ||
            !w.Unsigned("    BlockErase", (sanicap >> 1) & 1) ||
            !w.Unsigned("    Overwrite", (sanicap >> 2) & 1) ||
            !w.Unsigned("   Number of Namespaces (NN)", nvmeid::NamespaceCount(c)) ||
            !WriteByteTable(w, c, "   "))
            return false;
    }
    if (!d.namespaceListOk) return w.ErrorLine("  ** NVMe NamespaceList alloc fail");
    for (std::size_t i = 0; i < d.namespaces.size() && i < kReportMaxNamespaces; ++i) {
        const NvmeNamespaceFacts& ns = d.namespaces[i];
        if (!w.Line(Format("  Namespace(%i) data :", static_cast<int>(i))) ||
            !w.Unsigned("   NSID", ns.nsid))
            return false;
        const ByteView n(ns.data);
        if (n.size() < kNvmeIdentifySize) {
            if (!w.ErrorLine("  ** NVMe IdentifyNamespace load fail")) return false;
            continue;
        }
        const std::size_t nlbaf = std::min<std::size_t>(n[25], kReportMaxLbaFormats - 1);
        if (!w.Int64("   Namespace Size (NSZE)",
                     static_cast<std::int64_t>(Le<std::uint64_t>(n, 0))) ||
            !w.Int64("   Namespace Capacity (NCAP)",
                     static_cast<std::int64_t>(Le<std::uint64_t>(n, 8))) ||
            !w.Int64("   Namespace Utilization (NUSE)",
                     static_cast<std::int64_t>(Le<std::uint64_t>(n, 16))) ||
            !w.Unsigned("   Number of LBA Formats (NLBAF)", n[25]))
            return false;
        for (std::size_t f = 0; f <= nlbaf; ++f) {
            const std::uint32_t format = Le<std::uint32_t>(n, 128 + 4 * f);
            if (!w.Line(
                    Format("   LBA Format [%i] Support = [0x%08X]", static_cast<int>(f), format)) ||
                !w.Unsigned("    LBA Data Size (LBADS)", (format >> 16) & 0xFF))
                return false;
        }
        if (!w.HexValue("   NGUID", n.subspan(104, 16)) ||
            !w.HexValue("   EUI64", n.subspan(120, 8)) || !WriteByteTable(w, n, "   "))
            return false;
    }
    return true;
}

bool WriteSd(ReportWriter& w, const DiskFacts& d) {
    if (d.descriptor.busType != bustype::kSd) return true;
    if (!w.Line(" SD :")) return false;
    if (d.sdError)
        return QueryFailed(w, "IOCTL_SFFDISK_QUERY_DEVICE_PROTOCOL",
                           "IOCTL_SFFDISK_QUERY_DEVICE_PROTOCOL", d.sdError);
    if (std::equal(d.sdProtocol, d.sdProtocol + 16, kSdProtocol))
        return w.Line("  ProtocolGUID = [SD]");
    if (std::equal(d.sdProtocol, d.sdProtocol + 16, kMmcProtocol))
        return w.Line("  ProtocolGUID = [MMC]");
    return w.Guid("  ProtocolGUID", d.sdProtocol);
}

bool WriteSmart(ReportWriter& w, const DiskFacts& d) {
    if (!w.Line(" SMART :")) return false;
    if (!d.hasSmart) return w.ErrorLine("  ** SMART read failed.");
    if (!w.Temperature("  Temperature", d.temperature) ||
        !w.Value("  TBW", d.hostWritesGb < 0 ? std::string("N/A")
                                             : Format("%" PRId64 " GB", d.hostWritesGb)))
        return false;
    const std::size_t count = std::min<std::size_t>(d.attributes.size(), kSmartMaxAttributes);
    if (d.smartIsAta) {
        if (d.vendorId && !w.Unsigned("  Vendor ID", *d.vendorId)) return false;
        if (!w.Line("  SMART Attributes:") || !w.Line("   ID  Threshold Value Worst      Raw_Data"))
            return false;
        for (std::size_t i = 0; i < count; ++i) {
            const SmartAttribute& a = d.attributes[i];
            std::string line(80, ' ');
            auto put = [&](std::size_t col, const std::string& s) {
                line.replace(col, s.size(), s);
            };
            put(3, Format("%02Xh", a.id));
            put(10, Format("%i", a.threshold));
            put(18, Format("%i", a.current));
            put(24, Format("%i", a.worst));
            put(30, Format("%016" PRIX64, a.raw));
            line.erase(line.find_last_not_of(' ') + 1);
            if (!w.Line(line)) return false;
        }
        return true;
    }
    if (!w.Line("  SMART Attributes:") || !w.Line("   ID        RAW_value")) return false;
    for (std::size_t i = 0; i < count; ++i) {
        const SmartAttribute& a = d.attributes[i];
        std::string line(80, ' ');
        line.replace(3, 3, Format("%02Xh", a.id));
        const std::string raw = Format("%016" PRIX64, a.raw);
        line.replace(10, raw.size(), raw);
        line.erase(line.find_last_not_of(' ') + 1);
        if (!w.Line(line)) return false;
    }
    return true;
}

} // namespace

bool WriteDiskBlock(ReportWriter& w, const DiskFacts& d) {
    const int number = static_cast<int>(d.number);
    if (!w.Line(Format(d.systemDisk ? "Disk [%i] (SystemDisk) :" : "Disk [%i] :", number)) ||
        !w.Value(" Drives", d.letters) || !WriteNodeLines(w, d.node))
        return false;
    if (d.openError) {
        if (!w.ErrorLine(" * Open Disk fail.")) return false;
    } else if (!WriteStorageProperties(w, d)) {
        return false;
    }
    if (d.bridgeKnown) {
        const std::string bridge = d.bridgeProductId
                                       ? Format(" USB Bridge : VID = [%04X], PID = [%04X]",
                                                d.bridgeVendorId, d.bridgeProductId)
                                       : Format(" USB Bridge : VID = [%04X]", d.bridgeVendorId);
        if (!w.Line(bridge)) return false;
    }
    return WriteScsi(w, d) && WriteAta(w, d) && WriteNvme(w, d) && WriteSd(w, d) &&
           WriteSmart(w, d) && w.Eol();
}

} // namespace tvd
