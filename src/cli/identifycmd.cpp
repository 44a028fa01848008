#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/clicommands.h"
#include "cli/jsonwriter.h"
#include "cli/storagesession.h"
#include "cli/textformat.h"
#include "cli/tracestorage.h"
#include "cli/usbview.h"
#include "foundation/errtextutil.h"
#include "foundation/textconvutil.h"
#include "cli/clierror.h"
#include "shell/drivedetailutil.h"
#include "storage/ataidentifyutil.h"
#include "storage/clata.h"
#include "storage/nvmeidentifyutil.h"

namespace tvd::cli {

namespace {

// One reported value: a JSON member and a text line from the same data.
struct Field {
    enum class Kind { kText, kNumber, kBool, kNull };
    const char* key;
    const char* label;
    Kind kind = Kind::kNull;
    std::string text;
    std::uint64_t number = 0;
    bool flag = false;
    std::string display; // the text line's value when it differs from the JSON one
};
using Section = std::vector<Field>;

Field Text(const char* key, const char* label, std::string value) {
    return Field{key, label, Field::Kind::kText, std::move(value), 0, false, {}};
}
Field OptText(const char* key, const char* label, const char* value) {
    return value ? Text(key, label, value)
                 : Field{key, label, Field::Kind::kNull, {}, 0, false, {}};
}
Field Number(const char* key, const char* label, std::uint64_t value, std::string display = {}) {
    return Field{key, label, Field::Kind::kNumber, {}, value, false, std::move(display)};
}
Field Flag(const char* key, const char* label, bool value) {
    return Field{key, label, Field::Kind::kBool, {}, 0, value, {}};
}

std::string CapacityDisplay(std::uint64_t bytes) {
    return std::to_string(bytes) + " bytes (" + SizeText(bytes) + ")";
}

// The most derived of the known classes an interface is; IsA is the only class check there is.
template <class T>
const char* ClassNameOf(const T* object, std::initializer_list<const char*> names) {
    if (!object) return nullptr;
    for (const char* n : names)
        if (object->IsA(n)) return n;
    return T::kClassName;
}

const char* AtaClassName(const clAta* ata) {
    return ClassNameOf(ata, {"clSatAta", "clSatUsbAta", "clJmUsbAta", "clAsmUsbAta", "clSunplusAta",
                             "clPlx507Ata", "clPl2571Ata", "clWinSmartAta", "clWinPassThroughAta",
                             "clNtScsiAta", "clUsbAta", "clNtAta"});
}

const char* NvmeClassName(const clNvme* nvme) {
    return ClassNameOf(nvme, {"clPlatformNvme", "clAsmUsbNvme", "clJmUsbNvme", "clUsbNvme",
                              "clW10Nvme", "clWinNvmeIrst", "clWinNvme"});
}

const char* ModeName(std::uint8_t mode) {
    if (mode == ataid::kNoMode || mode > 15) return nullptr;
    return ataid::UdmaName(static_cast<std::uint16_t>(1u << mode));
}

Section AtaSection(ByteView id) {
    const std::uint32_t sectorSize = ataid::LogicalSectorSize(id);
    const std::uint64_t sectors = ataid::SectorCount(id);
    const std::uint64_t bytes =
        sectorSize && sectors <= ~0ull / sectorSize ? sectors * sectorSize : 0;
    std::uint8_t wwn[8];
    const bool hasWwn = ataid::Wwn(id, wwn);
    const bool sata = ataid::IsSata(id);
    const std::uint8_t maxSpeed = ataid::SataMaxSpeed(id);
    const std::uint8_t curSpeed = ataid::SataCurrentSpeed(id);
    const int major = ataid::MajorVersion(id);
    const std::uint16_t rpm = ataid::NominalRotationRate(id);
    const char* checksum = !ataid::HasChecksum(id) ? "absent"
                           : ataid::ChecksumOk(id) ? "valid"
                                                   : "invalid";
    return {
        Text("model", "Model", Trimmed(ataid::Model(id))),
        Text("serial", "Serial", Trimmed(ataid::Serial(id))),
        Text("firmware", "Firmware", Trimmed(ataid::Firmware(id))),
        Number("sectors", "Sectors", sectors),
        Number("logicalSectorSize", "Logical sector size", sectorSize),
        Number("capacityBytes", "Capacity", bytes, CapacityDisplay(bytes)),
        hasWwn ? Text("wwn", "World-wide name", HexBytes(wwn))
               : OptText("wwn", "World-wide name", nullptr),
        Number("rotationRate", "Rotation rate", rpm,
               rpm == 1 ? "1 (solid state)"
               : rpm    ? std::to_string(rpm) + " rpm"
                        : "0 (not reported)"),
        Flag("solidState", "Solid state", ataid::IsSolidState(id)),
        Flag("sata", "SATA", sata),
        OptText("sataMaxSpeed", "SATA max speed",
                sata && maxSpeed && maxSpeed != ataid::kNoMode ? ataid::SataSpeedName(maxSpeed)
                                                               : nullptr),
        OptText("sataCurrentSpeed", "SATA current speed",
                sata && curSpeed ? ataid::SataSpeedName(curSpeed) : nullptr),
        OptText("udmaHighest", "Highest UDMA mode", ModeName(ataid::HighestUdmaMode(id))),
        OptText("udmaSelected", "Selected UDMA mode", ModeName(ataid::SelectedUdmaMode(id))),
        Number("majorVersion", "Major version", static_cast<std::uint64_t>(std::max(major, 0))),
        OptText("majorVersionName", "Major version name", ataid::MajorVersionName(major)),
        OptText("minorVersionName", "Minor version name", ataid::MinorVersionName(id)),
        Flag("lba48", "48-bit LBA", ataid::Lba48Supported(id)),
        Flag("securitySupported", "Security supported", ataid::SecuritySupported(id)),
        Flag("securityEnabled", "Security enabled", ataid::SecurityEnabled(id)),
        Text("checksum", "Checksum", checksum),
    };
}

Section NvmeSection(ByteView ctrl) {
    const std::uint32_t version = nvmeid::Version(ctrl);
    const std::string versionText = nvmeid::VersionText(version);
    return {
        Text("model", "Model", Trimmed(nvmeid::Model(ctrl))),
        Text("serial", "Serial", Trimmed(nvmeid::Serial(ctrl))),
        Text("firmware", "Firmware", Trimmed(nvmeid::Firmware(ctrl))),
        Number("pciVendorId", "PCI vendor", nvmeid::PciVendorId(ctrl),
               HexNumber(nvmeid::PciVendorId(ctrl), 4)),
        Number("pciSubsystemVendorId", "PCI subsystem vendor", nvmeid::PciSubsystemVendorId(ctrl),
               HexNumber(nvmeid::PciSubsystemVendorId(ctrl), 4)),
        versionText.empty() ? OptText("version", "Version", nullptr)
                            : Text("version", "Version", versionText),
        Number("namespaceCount", "Namespaces", nvmeid::NamespaceCount(ctrl)),
        Number("oacs", "OACS", nvmeid::Oacs(ctrl), HexNumber(nvmeid::Oacs(ctrl), 4)),
        Number("sanicap", "SANICAP", nvmeid::Sanicap(ctrl), HexNumber(nvmeid::Sanicap(ctrl), 8)),
        Number("totalCapacity", "Total capacity", nvmeid::TotalCapacity(ctrl),
               CapacityDisplay(nvmeid::TotalCapacity(ctrl))),
    };
}

Section NamespaceSection(std::uint32_t nsid, ByteView ns) {
    nvmeid::NamespaceInfo info;
    nvmeid::DecodeNamespace(ns, info);
    const std::uint64_t bytes =
        info.blockSize && info.size <= ~0ull / info.blockSize ? info.size * info.blockSize : 0;
    return {
        Number("id", "Namespace", nsid),
        Number("sizeBlocks", "Size (blocks)", info.size),
        Number("capacityBlocks", "Capacity (blocks)", info.capacity),
        Number("utilizationBlocks", "Utilization (blocks)", info.utilization),
        Number("blockSize", "Block size", info.blockSize),
        Number("capacityBytes", "Capacity", bytes, CapacityDisplay(bytes)),
        info.hasEui64 ? Text("eui64", "EUI-64", HexBytes(info.eui64))
                      : OptText("eui64", "EUI-64", nullptr),
        info.hasNguid ? Text("nguid", "NGUID", HexBytes(info.nguid))
                      : OptText("nguid", "NGUID", nullptr),
    };
}

Section ScsiSection(const ScsiDiskInfo& s) {
    const ScsiIdentity ident = DecodeInquiry(
        ByteView(s.inquiry, std::min<std::size_t>(s.inquiryLength, sizeof s.inquiry)));
    const std::uint64_t bytes = s.CapacityBytes();
    return {
        Text("vendor", "Vendor", ident.vendor),
        Text("product", "Product", ident.product),
        Text("revision", "Revision", ident.revision),
        Number("peripheralType", "Peripheral type", ident.peripheralType),
        Number("lastLba", "Last LBA", s.lastLba),
        Number("blockLength", "Block length", s.blockLength),
        Number("capacityBytes", "Capacity", bytes, CapacityDisplay(bytes)),
        Flag("readCapacity16", "READ CAPACITY (16)", s.capacity16),
    };
}

void WriteFields(JsonWriter& j, const Section& fields) {
    for (const Field& f : fields) {
        switch (f.kind) {
        case Field::Kind::kText:
            j.String(f.key, f.text);
            break;
        case Field::Kind::kNumber:
            j.Unsigned(f.key, f.number);
            break;
        case Field::Kind::kBool:
            j.Bool(f.key, f.flag);
            break;
        case Field::Kind::kNull:
            j.Null(f.key);
            break;
        }
    }
}

std::string ValueText(const Field& f) {
    if (!f.display.empty()) return f.display;
    switch (f.kind) {
    case Field::Kind::kText:
        if (!f.text.empty()) return f.text;
        break;
    case Field::Kind::kNumber:
        return std::to_string(f.number);
    case Field::Kind::kBool:
        return f.flag ? "yes" : "no";
    case Field::Kind::kNull:
        break;
    }
    return "-";
}

void TextFields(std::string& t, const Section& fields, const char* indent = "  ") {
    std::size_t width = 0;
    for (const Field& f : fields)
        width = std::max(width, std::string_view(f.label).size());
    for (const Field& f : fields) {
        const std::string value = ValueText(f);
        t += indent;
        t += f.label;
        t += ':';
        t.append(width - std::string_view(f.label).size() + 1, ' ');
        t += value;
        t += '\n';
    }
}

void HexDump(std::string& t, const char* title, ByteView b) {
    t += title;
    t.append(" (").append(std::to_string(b.size())).append(" bytes)\n");
    char line[32];
    for (std::size_t off = 0; off < b.size(); off += 16) {
        std::snprintf(line, sizeof line, "  %04llx ", static_cast<unsigned long long>(off));
        t += line;
        for (std::size_t i = off; i < std::min(off + 16, b.size()); ++i)
            t.append(1, ' ').append(HexBytes(b.subspan(i, 1)));
        t += '\n';
    }
}

struct IdentifyOptions {
    std::string drive;
    bool raw = false;
    bool fields = false; // the details window's rows instead of the summary
    bool trace = false;  // every command sent while identifying, on the error stream
};

int ParseArgs(const Options& o, IdentifyOptions& io, std::FILE* out, std::FILE* err) {
    for (const std::string& a : o.args) {
        if (a == "--raw") {
            io.raw = true;
        } else if (a == "--fields") {
            io.fields = true;
        } else if (a == "--trace") {
            io.trace = true;
        } else if (!a.empty() && a[0] == '-') {
            return Fail(o, out, err, 2, "identify: unknown option " + a);
        } else if (io.drive.empty()) {
            io.drive = a;
        } else {
            return Fail(o, out, err, 2, "identify takes one drive");
        }
    }
    if (io.drive.empty()) {
        return Fail(o, out, err, 2,
                    "usage: tarvikdorn identify DRIVE [--json] [--raw | --fields] [--trace]");
    }
    if (io.raw && io.fields)
        return Fail(o, out, err, 2, "identify: --raw and --fields exclude each other");
    return 0;
}

// The drive details rows: the NVMe controller's when the drive has an NVMe interface, else the
// IDENTIFY DEVICE words, as the window shows them.
int PrintFields(const Options& o, std::FILE* out, std::FILE* err, const std::string& drive,
                bool nvme, ByteView data) {
    if (data.empty()) return Fail(o, out, err, 1, drive + " gave no ATA or NVMe identify data");
    const std::vector<DetailRow> rows = nvme ? BuildNvmeDetailRows(data) : BuildAtaDetailRows(data);
    if (o.json) {
        JsonWriter j;
        j.BeginObject().String("drive", drive).String("kind", nvme ? "nvme" : "ata");
        j.Unsigned("bytes", data.size()).BeginArray("rows");
        for (const DetailRow& r : rows) {
            j.BeginObject().Unsigned("first", r.first).Unsigned("last", r.last);
            j.String("position", r.position);
            if (nvme) j.String("name", r.name);
            j.String("format", DetailFormatCode(r.field->format)).String("value", r.value);
            j.String("description", Utf16ToUtf8(r.description)).EndObject();
        }
        j.EndArray().EndObject();
        std::fputs(j.Text().c_str(), out);
        return 0;
    }
    std::size_t posWidth = 4, nameWidth = 4, valueWidth = 5;
    for (const DetailRow& r : rows) {
        posWidth = std::max(posWidth, r.position.size());
        nameWidth = std::max(nameWidth, r.name.size());
        valueWidth = std::max(valueWidth, r.value.size());
    }
    std::string t;
    auto cell = [&t](std::string_view text, std::size_t width) {
        t.append(text).append(width - std::min(width, text.size()) + 2, ' ');
    };
    cell(nvme ? "Byte" : "Word", posWidth);
    if (nvme) cell("Name", nameWidth);
    cell("Value", valueWidth);
    t += "Description\n";
    for (const DetailRow& r : rows) {
        cell(r.position, posWidth);
        if (nvme) cell(r.name, nameWidth);
        // Drive texts may hold control bytes: they are shown as '.'.
        std::string value = r.value;
        for (char& c : value)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '.';
        cell(value, valueWidth);
        t += Utf16ToUtf8(r.description);
        while (!t.empty() && t.back() == ' ')
            t.pop_back();
        t += '\n';
    }
    std::fputs(t.c_str(), out);
    return 0;
}

} // namespace

int CmdIdentify(const Options& o, std::FILE* out, std::FILE* err) {
    IdentifyOptions io;
    if (int status = ParseArgs(o, io, out, err)) return status;
    StorageSession session;
    std::string problem;
    if (ErrorCode e = session.Open(o.simulate, problem, err))
        return Fail(o, out, err, 1, problem, e);
    clDisk* disk = session.FindDisk(io.drive);
    if (!disk) return Fail(o, out, err, 1, "no drive " + io.drive + " (see tarvikdorn list)");
    std::optional<ScopedTrace> trace;
    if (io.trace) trace.emplace(err);
    const DriveInterfaces d = OpenDriveInterfaces(disk);
    const char* path = disk->GetPath();
    const std::string drive = path ? path : io.drive;
    if (d.openError) return Fail(o, out, err, 1, "cannot open " + drive, d.openError);
    const std::string bus = Storage().BusName(disk->GetBusType());
    const ByteView identify(d.identify.data(), d.identify.size());
    const ByteView ctrl(d.controller.data(), d.controller.size());
    const ByteView ns(d.nvmeNamespace.data(), d.nvmeNamespace.size());
    const ByteView inquiry(d.scsi.inquiry,
                           std::min<std::size_t>(d.scsi.inquiryLength, sizeof d.scsi.inquiry));
    const bool hasAta = d.ata && !identify.empty();
    const bool hasNvme = d.nvme && !ctrl.empty();
    const char* scsiClass = d.hasScsi ? clNtScsi::kClassName : nullptr;
    const char* ataClass = AtaClassName(d.ata.get());
    const char* nvmeClass = NvmeClassName(d.nvme.get());
    if (io.fields)
        return PrintFields(o, out, err, drive, d.nvme != nullptr, d.nvme ? ctrl : identify);
    const UsbView usb = ReadUsbView(disk);

    if (o.json) {
        JsonWriter j;
        j.BeginObject().String("drive", drive).String("bus", bus).BeginObject("interfaces");
        WriteFields(j, {OptText("scsi", "", scsiClass), OptText("ata", "", ataClass),
                        OptText("nvme", "", nvmeClass)});
        j.EndObject();
        if (hasAta) {
            j.BeginObject("ata");
            WriteFields(j, AtaSection(identify));
            j.EndObject();
        } else {
            j.Null("ata");
        }
        if (hasNvme) {
            j.BeginObject("nvme");
            WriteFields(j, NvmeSection(ctrl));
            j.BeginObject("namespace");
            WriteFields(j, NamespaceSection(d.namespaceId, ns));
            j.EndObject().EndObject();
        } else {
            j.Null("nvme");
        }
        if (d.hasScsi) {
            j.BeginObject("scsi");
            WriteFields(j, ScsiSection(d.scsi));
            j.EndObject();
        } else {
            j.Null("scsi");
        }
        WriteUsbJson(j, usb);
        if (io.raw) {
            j.BeginObject("raw");
            if (hasAta) j.String("identify", HexBytes(identify));
            if (hasNvme) j.String("controller", HexBytes(ctrl));
            if (hasNvme && !ns.empty()) j.String("namespace", HexBytes(ns));
            if (d.hasScsi) j.String("inquiry", HexBytes(inquiry));
            j.EndObject();
        }
        j.EndObject();
        std::fputs(j.Text().c_str(), out);
        return 0;
    }

    std::string t;
    TextFields(t,
               {Text("drive", "Drive", drive), Text("bus", "Bus", bus),
                OptText("scsi", "SCSI interface", scsiClass),
                OptText("ata", "ATA interface", ataClass),
                OptText("nvme", "NVMe interface", nvmeClass)},
               "");
    if (hasAta) {
        t += "\nATA\n";
        TextFields(t, AtaSection(identify));
    }
    if (hasNvme) {
        t += "\nNVMe controller\n";
        TextFields(t, NvmeSection(ctrl));
        t += "\nNVMe namespace\n";
        TextFields(t, NamespaceSection(d.namespaceId, ns));
    }
    if (d.hasScsi) {
        t += "\nSCSI\n";
        TextFields(t, ScsiSection(d.scsi));
    }
    if (usb.usb) t += "\nUSB\n" + UsbText(usb, 14);
    if (io.raw) {
        if (hasAta) HexDump(t, "\nIDENTIFY DEVICE", identify);
        if (hasNvme) HexDump(t, "\nIDENTIFY CONTROLLER", ctrl);
        if (hasNvme && !ns.empty()) HexDump(t, "\nIDENTIFY NAMESPACE", ns);
        if (d.hasScsi) HexDump(t, "\nINQUIRY", inquiry);
    }
    std::fputs(t.c_str(), out);
    return 0;
}

} // namespace tvd::cli
