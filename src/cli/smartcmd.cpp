#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/clicommands.h"
#include "cli/clierror.h"
#include "cli/fundiskview.h"
#include "cli/jsonwriter.h"
#include "cli/storagesession.h"
#include "cli/textformat.h"
#include "drive/fundiskdescutil.h"
#include "drive/fundisksmartutil.h"
#include "drive/kernelfun.h"
#include "foundation/textconvutil.h"
#include "smart/smartatacreateutil.h"
#include "smart/smartlangutil.h"
#include "storage/cldevice.h"
#include "storage/storageplatform.h"
#include "storage/storagetypes.h"
#include "storage/devicehandleutil.h"

namespace tvd::cli {

namespace {

const char* const kNoSmartReason =
    "the drive answered neither the ATA SMART reads nor the NVMe health log";

std::string TextOf(bool (clSmart::*get)(std::string*), clSmart& smart) {
    std::string s;
    return (smart.*get)(&s) ? Trimmed(std::move(s)) : std::string();
}

const char* StatusText(std::uint32_t status) {
    switch (status) {
    case smartstatus::kGood:
        return "good";
    case smartstatus::kAtThreshold:
        return "at threshold";
    case smartstatus::kBelowThreshold:
        return "below threshold";
    default:
        return "unknown";
    }
}

// An attribute's rating; "not rated" where the object's "unknown" would mislead.
const char* RatingText(std::uint8_t status) {
    return status == smartstatus::kUnknown ? "not rated" : StatusText(status);
}

// One derived value: absent values are null in JSON and "none" in text.
struct Derived {
    const char* key;
    const char* label;
    const char* unit;
    bool present;
    std::int64_t value;
};

std::vector<Derived> DerivedValues(const clSmart* smart) {
    const auto value = [](const char* key, const char* label, const char* unit, int v) {
        return Derived{key, label, unit, v != kSmartNoValue, v};
    };
    const auto count = [](const char* key, const char* label, const char* unit, std::int64_t v) {
        return Derived{key, label, unit, v >= 0, v};
    };
    return {
        value("temperature", "Temperature",
              " \xC2\xB0"
              "C",
              GetTemperature(smart)),
        value("life", "Life", " %", GetLife(smart)),
        value("health", "Health", " %", GetHealth(smart)),
        count("host_writes_gib", "Host writes", " GiB", GetHostWrites(smart)),
        count("host_reads_gib", "Host reads", " GiB", GetHostReads(smart)),
        count("power_cycles", "Power cycles", "", GetPowerCycles(smart)),
        count("power_on_hours", "Power-on hours", "", GetPowerOnHours(smart)),
    };
}

// What the command shows of a SMART object, gathered once for both output forms.
struct SmartView {
    std::string model, serial, firmware;
    const clSmartAta* ata = nullptr; // null for NVMe
    struct Row {
        SmartAttribute a;
        std::string name;
    };
    std::vector<Row> rows;
    std::vector<Derived> derived;
    std::uint32_t status = smartstatus::kUnknown;
    // The drive's health as list and info rate it (SmartMonitorEvaluate).
    std::int32_t health = 0;
    std::string healthReason;
};

SmartView ViewOf(clSmart& smart, const SmartMonitor& m) {
    SmartView v;
    v.model = TextOf(&clSmart::GetModel, smart);
    v.serial = TextOf(&clSmart::GetSerial, smart);
    v.firmware = TextOf(&clSmart::GetFirmware, smart);
    if (smart.IsA(clSmartAta::kClassName)) v.ata = static_cast<const clSmartAta*>(&smart);
    const SmartAttributeList& list = smart.Attributes();
    const int count = std::clamp<int>(list.count, 0, kSmartMaxAttributes);
    for (int i = 0; i < count; ++i)
        v.rows.push_back(
            {list.entries[i], Utf16ToUtf8(smart.GetAttributeName(list.entries[i].id))});
    v.derived = DerivedValues(&smart);
    v.status = GetSmartStatus(&smart);
    v.health = m.HealthState;
    v.healthReason = m.healthReason;
    return v;
}

void WriteJson(std::FILE* out, const std::string& drive, const std::string& bus,
               const SmartView* v) {
    JsonWriter j;
    j.BeginObject().String("drive", drive).String("bus", bus);
    if (!v) {
        j.Null("smart").String("reason", kNoSmartReason).EndObject();
        std::fputs(j.Text().c_str(), out);
        return;
    }
    j.BeginObject("smart")
        .String("kind", v->ata ? "ata" : "nvme")
        .String("model", v->model)
        .String("serial", v->serial)
        .String("firmware", v->firmware);
    if (v->ata) {
        const SmartVendorProfile& p = v->ata->Profile();
        j.BeginObject("profile")
            .String("section", Utf16ToUtf8(p.nameSection))
            .Unsigned("type", p.type)
            .Unsigned("unit", p.unitCode)
            .Unsigned("life_variant", p.lifeVariant)
            .EndObject();
    } else {
        j.Null("profile");
    }
    j.BeginArray("attributes");
    for (const SmartView::Row& r : v->rows) {
        j.BeginObject().Unsigned("id", r.a.id);
        if (r.name.empty())
            j.Null("name");
        else
            j.String("name", r.name);
        // NVMe fields have no normalized values or thresholds.
        if (v->ata)
            j.Unsigned("current", r.a.current)
                .Unsigned("worst", r.a.worst)
                .Unsigned("threshold", r.a.threshold);
        else
            j.Null("current").Null("worst").Null("threshold");
        j.Unsigned("raw", r.a.raw).String("status", RatingText(r.a.status)).EndObject();
    }
    j.EndArray().BeginObject("derived");
    for (const Derived& d : v->derived) {
        if (d.present)
            j.Number(d.key, d.value);
        else
            j.Null(d.key);
    }
    j.String("status", StatusText(v->status)).EndObject();
    j.String("health", HealthStateWord(v->health));
    if (v->healthReason.empty())
        j.Null("healthReason");
    else
        j.String("healthReason", v->healthReason);
    j.EndObject().EndObject();
    std::fputs(j.Text().c_str(), out);
}

void WriteText(std::FILE* out, const std::string& drive, const std::string& bus,
               const SmartView& v) {
    std::string kind = "NVMe health log";
    if (v.ata) {
        const SmartVendorProfile& p = v.ata->Profile();
        kind =
            "ATA, profile " + Utf16ToUtf8(p.nameSection) + " (type " + std::to_string(p.type) + ")";
    }
    const auto none = [](const std::string& s) { return s.empty() ? std::string("-") : s; };
    std::string t = "Drive:    " + drive + "\nBus:      " + bus + "\nModel:    " + none(v.model) +
                    "\nSerial:   " + none(v.serial) + "\nFirmware: " + none(v.firmware) +
                    "\nKind:     " + kind + "\n\n";
    TextTable table(
        {"ID", "Dec", "Name", "Current", "Worst", "Threshold", "Raw", "Raw (hex)", "Status"});
    for (const SmartView::Row& r : v.rows) {
        const auto normalized = [&](std::uint8_t n) {
            return v.ata ? std::to_string(n) : std::string("-");
        };
        table.Row({HexNumber(r.a.id, 2, true), std::to_string(r.a.id), none(r.name),
                   normalized(r.a.current), normalized(r.a.worst), normalized(r.a.threshold),
                   std::to_string(r.a.raw), HexNumber(r.a.raw, 12, true), RatingText(r.a.status)});
    }
    t += table.Text();
    t += '\n';
    for (const Derived& d : v.derived) {
        std::string label = std::string(d.label) + ':';
        label.resize(16, ' ');
        t += label + (d.present ? std::to_string(d.value) + d.unit : std::string("none")) + '\n';
    }
    t += std::string("Attributes:     ") + StatusText(v.status) + '\n';
    // The drive's verdict, the same as list's and info's health.
    t += std::string("Status:         ") + HealthStateWord(v.health) +
         (v.healthReason.empty() ? std::string() : " - " + v.healthReason) + '\n';
    std::fputs(t.c_str(), out);
}

} // namespace

int CmdSmart(const Options& o, std::FILE* out, std::FILE* err) {
    std::string name;
    for (const std::string& a : o.args) {
        if (!a.empty() && a[0] == '-') return Fail(o, out, err, 2, "smart: unknown option " + a);
        if (!name.empty()) return Fail(o, out, err, 2, "smart takes one drive");
        name = a;
    }
    if (name.empty()) return Fail(o, out, err, 2, "usage: tarvikdorn smart DRIVE [--json]");
    // Without the name table the attributes are still shown, only unnamed.
    LoadSmartNames(kSmartLangResourceName, kSmartLangFallback);
    StorageSession session;
    const DeviceBurst burst; // each drive is opened once for the whole command
    std::string problem;
    if (ErrorCode e = session.Open(o.simulate, problem, err))
        return Fail(o, out, err, 1, problem, e);
    clDisk* disk = session.FindDisk(name);
    if (!disk) return Fail(o, out, err, 1, "no drive " + name + " (see tarvikdorn list)");
    const char* path = disk->GetPath();
    const std::string drive = path ? path : name;
    const std::string bus = Storage().BusName(disk->GetBusType());

    {
        DeviceHandle probe;
        if (const ErrorCode e = OpenDevice(path ? path : "", probe))
            return Fail(o, out, err, 1, "cannot open " + drive, e);
    }
    // The verdict comes from the same monitor as list's and info's, with the drive's own
    // thresholds where the program serves it and the defaults otherwise.
    UseDefaultSettingsFolder();
    SystemVolume volume;
    ZoltRef<clFunDisk> fd =
        FunDiskCreate(disk, FindSystemDisk(session.Registry().FindList(devtype::kDisk), volume));
    SmartMonitor own;
    SmartMonitor& m = fd ? fd->smart : own;
    if (!fd) SmartMonitorSetup(&m, disk, std::string());
    if (!m.smart) {
        if (o.json) WriteJson(out, drive, bus, nullptr);
        std::fprintf(err, "tarvikdorn: %s has no SMART data: %s\n", drive.c_str(), kNoSmartReason);
        return 1;
    }
    clSmart& smart = *m.smart;
    const SmartView v = ViewOf(smart, m);
    if (o.json)
        WriteJson(out, drive, bus, &v);
    else
        WriteText(out, drive, bus, v);
    return 0;
}

} // namespace tvd::cli
