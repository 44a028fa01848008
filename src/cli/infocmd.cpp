#include <string>
#include <utility>

#include "cli/clicommands.h"
#include "cli/clierror.h"
#include "cli/fundiskview.h"
#include "cli/jsonwriter.h"
#include "cli/storagesession.h"
#include "cli/textformat.h"
#include "cli/usbview.h"
#include "drive/fundiskdescutil.h"
#include "drive/kernelfun.h"
#include "foundation/textconvutil.h"
#include "smart/clsmartata.h"
#include "storage/partitiontableutil.h"
#include "storage/storageplatform.h"
#include "storage/devicehandleutil.h"

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

// "WWN: 50A1..." as its label and value.
std::pair<std::string, std::string> SplitWwn(const std::string& text) {
    const std::size_t colon = text.find(": ");
    if (colon == std::string::npos) return {std::string(), text};
    return {text.substr(0, colon), text.substr(colon + 2)};
}

std::string Figure(std::int64_t value, std::int64_t none, const char* unit) {
    return value == none ? std::string("none") : std::to_string(value) + unit;
}

// How many partitions the table holds and how many the snapshot shows: a snapshot keeps at most
// kMaxSnapshotEntries places, and a cut list must say so.
std::pair<std::size_t, std::size_t> PartitionCounts(const PartitionSnapshot& s) {
    std::size_t total = 0, shown = 0;
    const bool gpt = s.layout.style == layoutstyle::kGpt;
    for (const PartitionEntry& p : s.layout.partitions)
        if (p.length != 0 && (gpt || !IsExtendedMbrType(p.mbrType))) ++total;
    for (const PartitionSnapshotEntry& e : s.entries)
        if (e.partitionNumber >= 0) ++shown;
    return {total, shown};
}

void WritePartitionsJson(JsonWriter& j, const PartitionSnapshot* s) {
    if (!s) {
        j.Null("partitions");
        return;
    }
    const auto [total, shown] = PartitionCounts(*s);
    j.Unsigned("partitionCount", total).Unsigned("partitionsShown", shown);
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
    if (o.args.size() != 1) return Fail(o, out, err, 2, "info takes one DRIVE");
    StorageSession session;
    const DeviceBurst burst; // each drive is opened once for the whole command
    std::string problem;
    if (ErrorCode e = session.Open(o.simulate, problem, err))
        return Fail(o, out, err, 1, problem, e);
    UseDefaultSettingsFolder();
    clDisk* disk = nullptr;
    ErrorCode code = err::kSuccess;
    ZoltRef<clFunDisk> ref = session.ServedDisk(o.args[0], problem, code, &disk);
    clFunDisk* fd = ref.Get();
    if (!fd) return Fail(o, out, err, 1, problem, code);
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
        const auto [idLabel, id] = SplitWwn(GetWwnText(fd));
        if (id.empty() || id == "N/A")
            j.Null("wwn");
        else
            j.String("wwn", id);
        if (idLabel.empty())
            j.Null("wwnKind");
        else
            j.String("wwnKind", idLabel);
        j.String("displayName", DisplayNameShort(fd))
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
    std::fprintf(out, "Interface:    %s\n", InterfaceText(fd).c_str());
    std::fprintf(out, "Capacity:     %s (%llu sectors of %u bytes)\n",
                 SizeText(fd->sizeBytes).c_str(),
                 static_cast<unsigned long long>(GetSectorCount(fd)), fd->bytesPerSector);
    std::fprintf(out, "Kind:         %s\n", fd->solidState ? "SSD" : "HDD");
    if (const auto [idLabel, id] = SplitWwn(GetWwnText(fd)); !idLabel.empty()) {
        std::string label = idLabel + ":";
        label.resize(14, ' ');
        std::fprintf(out, "%s%s\n", label.c_str(), id.c_str());
    }
    std::fprintf(out, "Settings key: %s\n", Or(GetConfigKey(fd)).c_str());
    std::fprintf(out, "Clone:        %s source, %s target\n", fd->cloneSource ? "can be" : "not a",
                 fd->cloneTarget ? "can be" : "not a");
    if (usb.usb) std::fprintf(out, "\n%s", UsbText(usb, 14).c_str());
    std::fprintf(out, "\nHealth:       %s%s%s\n", HealthStateWord(m.HealthState),
                 m.healthReason.empty() ? "" : " - ", m.healthReason.c_str());
    if (m.smart) {
        std::fprintf(out, "Life:         %s\n",
                     Figure(GetLife(m.smart.get()), kSmartNoValue, " %").c_str());
        std::fprintf(out, "Health value: %s\n", Figure(m.health, kSmartNoValue, " %").c_str());
        std::fprintf(out, "Temperature:  %s\n",
                     Figure(m.temperature, kSmartNoValue, " °C").c_str());
        std::fprintf(out, "Power-on:     %s\n",
                     Figure(m.powerOnHours, kSmartNoCount, " h").c_str());
        std::fprintf(out, "Written:      %s\n", Figure(m.written, kSmartNoCount, " GiB").c_str());
    } else {
        std::fprintf(out, "SMART:        none (the drive answered no SMART or health-log read)\n");
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
    if (const auto [total, shown] = PartitionCounts(*parts); shown < total)
        std::fprintf(out, "(%zu of %zu partitions shown)\n", shown, total);
    return 0;
}

} // namespace tvd::cli
