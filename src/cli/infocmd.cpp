#include <string>

#include "cli/clicommands.h"
#include "cli/fundiskview.h"
#include "cli/jsonwriter.h"
#include "cli/storagesession.h"
#include "cli/textformat.h"
#include "cli/usbview.h"
#include "drive/fundiskdescutil.h"
#include "drive/kernelfun.h"
#include "foundation/errtextutil.h"
#include "foundation/textconvutil.h"
#include "smart/clsmartata.h"

namespace tvd::cli {

namespace {

const char* KindWord(std::uint8_t kind) {
    switch (kind) {
    case partkind::kGap:
        return "unallocated";
    case partkind::kBoot:
        return "boot";
    case partkind::kEfi:
        return "efi";
    case partkind::kWindows:
        return "windows";
    case partkind::kRecovery:
        return "recovery";
    default:
        return "ordinary";
    }
}

std::string Or(const std::string* text, const char* none = "-") {
    return text ? *text : std::string(none);
}

std::string Figure(std::int64_t value, std::int64_t none, const char* unit) {
    return value == none ? std::string("none") : std::to_string(value) + unit;
}

void WritePartitionsJson(JsonWriter& j, const PartitionSnapshot* s) {
    if (!s) {
        j.Null("partitions");
        return;
    }
    j.BeginArray("partitions");
    for (const PartitionSnapshotEntry& e : s->entries) {
        j.BeginObject();
        if (e.partitionNumber < 0)
            j.Null("number");
        else
            j.Number("number", e.partitionNumber);
        j.Unsigned("start", e.start).Unsigned("length", e.length).String("kind", KindWord(e.kind));
        if (e.hasVolume) {
            j.BeginObject("volume")
                .String("root", Utf16ToUtf8(e.root))
                .String("label", Utf16ToUtf8(e.label))
                .String("fileSystem", Utf16ToUtf8(e.fileSystem))
                .EndObject();
        } else {
            j.Null("volume");
        }
        j.EndObject();
    }
    j.EndArray();
}

} // namespace

int CmdInfo(const Options& o, std::FILE* out, std::FILE* err) {
    if (o.args.size() != 1) {
        std::fprintf(err, "tarvikdorn: info takes one DRIVE\n");
        return 2;
    }
    StorageSession session;
    std::string problem;
    if (ErrorCode e = session.Open(o.simulate, problem)) {
        std::fprintf(err, "tarvikdorn: %s: %s\n", problem.c_str(), ErrorText(e).c_str());
        return 1;
    }
    clDisk* disk = session.FindDisk(o.args[0]);
    if (!disk) {
        std::fprintf(err, "tarvikdorn: no drive %s (see tarvikdorn list)\n", o.args[0].c_str());
        return 1;
    }
    UseDefaultSettingsFolder();
    SystemVolume volume;
    ZoltRef<clFunDisk> ref =
        FunDiskCreate(disk, FindSystemDisk(session.Registry().FindList(devtype::kDisk), volume));
    clFunDisk* fd = ref.Get();
    if (!fd) {
        std::fprintf(err,
                     "tarvikdorn: %s is not a drive this program serves (no media, a removable "
                     "USB medium, or an unsupported bus)\n",
                     o.args[0].c_str());
        return 1;
    }
    const PartitionSnapshot* parts = GetPartitions(fd);
    const SmartMonitor& m = fd->smart;
    const std::string path = disk->GetPath() ? disk->GetPath() : "";
    const UsbView usb = ReadUsbView(disk);

    if (o.json) {
        JsonWriter j;
        j.BeginObject().String("path", path);
        if (fd->diskNumber == kNoDiskNumber)
            j.Null("diskNumber");
        else
            j.Unsigned("diskNumber", fd->diskNumber);
        j.Unsigned("capacity", fd->sizeBytes)
            .Unsigned("sectorSize", fd->bytesPerSector)
            .Unsigned("sectors", GetSectorCount(fd));
        WriteFunDiskSummary(j, fd);
        j.String("wwn", GetWwnText(fd))
            .String("displayName", DisplayNameShort(fd))
            .String("icon", DiskIcon(fd))
            .Bool("cloneSource", fd->cloneSource)
            .Bool("cloneTarget", fd->cloneTarget);
        const std::string* key = GetConfigKey(fd);
        if (key)
            j.String("settingsKey", *key);
        else
            j.Null("settingsKey");
        WriteUsbJson(j, usb);
        WritePartitionsJson(j, parts);
        j.EndObject();
        std::fputs(j.Text().c_str(), out);
        return 0;
    }

    std::fprintf(out, "Drive:        %s\n", path.c_str());
    std::fprintf(out, "Model:        %s\n", Or(GetModel(fd)).c_str());
    std::fprintf(out, "Serial:       %s\n", Or(GetSerial(fd)).c_str());
    std::fprintf(out, "Firmware:     %s\n", Or(GetFirmware(fd)).c_str());
    std::fprintf(out, "Interface:    %s\n", Or(GetBusText(fd)).c_str());
    std::fprintf(out, "Capacity:     %s (%llu sectors of %u bytes)\n",
                 SizeText(fd->sizeBytes).c_str(),
                 static_cast<unsigned long long>(GetSectorCount(fd)), fd->bytesPerSector);
    std::fprintf(out, "Kind:         %s\n", fd->solidState ? "SSD" : "HDD");
    std::fprintf(out, "%s\n", GetWwnText(fd).c_str());
    std::fprintf(out, "Settings key: %s\n", Or(GetConfigKey(fd)).c_str());
    std::fprintf(out, "Clone:        %s source, %s target\n", fd->cloneSource ? "can be" : "not a",
                 fd->cloneTarget ? "can be" : "not a");
    if (usb.usb) std::fprintf(out, "\n%s", UsbText(usb, 14).c_str());
    std::fprintf(out, "\nHealth:       %s%s%s\n", HealthStateWord(m.HealthState),
                 m.healthReason.empty() ? "" : " - ", m.healthReason.c_str());
    if (m.smart) {
        std::fprintf(out, "Life:         %s\n", Figure(m.health, kSmartNoValue, " %").c_str());
        std::fprintf(out, "Temperature:  %s\n",
                     Figure(m.temperature, kSmartNoValue, " °C").c_str());
        std::fprintf(out, "Power-on:     %s\n",
                     Figure(m.powerOnHours, kSmartNoCount, " h").c_str());
        std::fprintf(out, "Written:      %s\n", Figure(m.written, kSmartNoCount, " GiB").c_str());
    } else {
        std::fprintf(out, "SMART:        none\n");
    }
    std::fprintf(out, "\nPartitions:\n");
    if (!parts || parts->entries.empty()) {
        std::fprintf(out, "  none\n");
        return 0;
    }
    TextTable t({"#", "Start", "Size", "Kind", "File system", "Label", "Mounted"});
    for (const PartitionSnapshotEntry& e : parts->entries)
        t.Row({e.partitionNumber < 0 ? "-" : std::to_string(e.partitionNumber),
               std::to_string(e.start), SizeText(e.length), KindWord(e.kind),
               e.hasVolume ? Utf16ToUtf8(e.fileSystem) : "-",
               e.hasVolume ? Utf16ToUtf8(e.label) : "-", e.hasVolume ? Utf16ToUtf8(e.root) : "-"});
    std::fputs(t.Text().c_str(), out);
    return 0;
}

} // namespace tvd::cli
