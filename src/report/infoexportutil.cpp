#include "report/infoexportutil.h"

#include "foundation/versioninfo.h"
#include "shell/formathelpers.h"

#include <cstdio>
#include <ctime>
#include <vector>

#include "drive/kernelfun.h"
#include "report/infodeviceclassutil.h"
#include "report/infosavemonitorutil.h"
#include "report/infosavesystemutil.h"
#include "report/infosaveusbutil.h"
#include "report/infosavevolumeutil.h"
#include "report/infowritediskutil.h"
#include "storage/cldevicelist.h"
#include "storage/deviceregistry.h"

namespace tvd {

namespace {

bool Aborted(const ReportOptions& o) {
    return o.abort && o.abort->load();
}

void Tell(const ReportOptions& o, const char* section) {
    if (o.progress) o.progress(section);
}

bool WriteClass(ReportWriter& w, ReportDeviceClass cls) {
    return WriteDeviceClass(w, DeviceClassHeading(cls), GatherDeviceClass(cls));
}

// The platform's class of disks or volumes; where it lists nothing of its own (Linux, the
// simulation) the device layer's nodes stand in.
bool WriteLayerClass(ReportWriter& w, ReportDeviceClass cls, const std::vector<NodeFacts>& nodes) {
    DeviceClassFacts f = GatherDeviceClass(cls);
    if (f.devices.empty()) f.devices = nodes;
    return WriteDeviceClass(w, DeviceClassHeading(cls), f);
}

bool WriteHeader(ReportWriter& w) {
    std::string when;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    const bool haveTime = now != static_cast<std::time_t>(-1) && localtime_s(&local, &now) == 0;
#else
    const bool haveTime = now != static_cast<std::time_t>(-1) && localtime_r(&now, &local);
#endif
    if (haveTime)
        when = ReportTimeText(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                              local.tm_min, local.tm_sec);
    return w.Line("VORNA Tarvik Detail Information Version " +
                  FormatVersionNumber(kProductVersionNumber)) &&
           w.Line(" Create on [" + when + "]") && w.Eol();
}

bool WriteDisks(ReportWriter& w, DeviceRegistry& registry, const ReportOptions& o, bool& aborted) {
    clDeviceList* list = registry.FindList(devtype::kDisk);
    std::vector<clDisk*> disks;
    if (list)
        for (clDevice* d = list->FirstDevice(); d; d = list->NextDevice(d))
            if (!d->IsRemoved()) disks.push_back(static_cast<clDisk*>(d));
    SystemVolume volume;
    const clDisk* systemDisk = list ? FindSystemDisk(list, volume) : nullptr;
    std::vector<DiskFacts> facts;
    for (clDisk* disk : disks) {
        if (Aborted(o)) {
            aborted = true;
            break;
        }
        Tell(o, "disk");
        facts.push_back(GatherDiskFacts(registry, disk, systemDisk));
    }
    std::vector<NodeFacts> nodes;
    for (const DiskFacts& d : facts)
        nodes.push_back(d.node);
    if (!WriteLayerClass(w, ReportDeviceClass::kDisk, nodes)) return false;
    for (const DiskFacts& d : facts)
        if (!WriteDiskBlock(w, d)) return false;
    return true;
}

bool WriteVolumes(ReportWriter& w, DeviceRegistry& registry, const ReportOptions& o,
                  bool& aborted) {
    clDeviceList* list = registry.FindList(devtype::kVolume);
    std::vector<VolumeFacts> facts;
    if (list)
        for (clDevice* d = list->FirstDevice(); d; d = list->NextDevice(d)) {
            if (d->IsRemoved()) continue;
            if (Aborted(o)) {
                aborted = true;
                break;
            }
            Tell(o, "volume");
            facts.push_back(GatherVolumeFacts(static_cast<clVolume*>(d)));
        }
    std::vector<NodeFacts> nodes;
    for (const VolumeFacts& v : facts)
        nodes.push_back(v.node);
    if (!WriteLayerClass(w, ReportDeviceClass::kVolume, nodes)) return false;
    if (!list) return w.ErrorLine(" * Create VolumeList fail.") && w.Eol();
    for (const VolumeFacts& v : facts)
        if (!WriteVolumeBlock(w, v)) return false;
    return true;
}

} // namespace

std::string ReportTimeText(int year, int month, int day, int hour, int minute, int second) {
    char text[48];
    std::snprintf(text, sizeof text, "%02i-%02i-%02i, %02i:%02i:%02i", year % 100, month, day, hour,
                  minute, second);
    return text;
}

ReportResult WriteReport(ReportWriter& w, const ReportOptions& o) {
    ReportResult r;
    DeviceRegistry& registry = o.registry ? *o.registry : ProcessDeviceRegistry();
    bool aborted = false;
    auto step = [&](const char* section, auto&& write) {
        if (!w.Ok() || aborted) return false;
        if (Aborted(o)) {
            aborted = true;
            return false;
        }
        Tell(o, section);
        return static_cast<bool>(write());
    };
    step("header", [&] { return w.Bom() && WriteHeader(w); }) &&
        step("computer", [&] { return WriteComputerSection(w, GatherComputerFacts()); }) &&
        step("user", [&] { return WriteUserSection(w, GatherUserFacts()); }) &&
        step("installed programs", [&] { return WriteAppsSection(w, GatherAppsFacts()); }) &&
        step("monitors", [&] { return WriteMonitorSection(w, GatherMonitorFacts()); }) &&
        step("network", [&] { return WriteNetSection(w, GatherNetFacts()); }) &&
        step("ATA controllers", [&] { return WriteClass(w, ReportDeviceClass::kAtaController); }) &&
        step("SCSI controllers",
             [&] { return WriteClass(w, ReportDeviceClass::kScsiController); }) &&
        step("USB", [&] { return WriteUsbSection(w, GatherUsbFacts(registry)); }) &&
        step("disks", [&] { return WriteDisks(w, registry, o, aborted); }) &&
        step("volumes", [&] { return WriteVolumes(w, registry, o, aborted); }) &&
        step("drives", [&] { return WriteDrivesSection(w, GatherDriveFacts()); });
    r.bytes = w.BytesWritten();
    r.errorLines = w.ErrorLines();
    if (!w.Ok())
        r.error = err::kWriteFault;
    else if (aborted)
        r.error = err::kCancelled;
    else
        r.complete = true;
    return r;
}

ReportResult ExportReport(const std::string& path, const ReportOptions& options,
                          ReportEncoding encoding, bool exclusive) {
    ReportResult r;
    FileReportSink sink;
    if (const ErrorCode e = sink.Create(path, exclusive)) {
        r.error = e;
        return r;
    }
    ReportWriter w(&sink, encoding);
    r = WriteReport(w, options);
    const ErrorCode closed = sink.Close();
    if (r.error == err::kWriteFault && closed) r.error = closed;
    if (closed && !r.error) {
        r.error = closed;
        r.complete = false;
    }
    return r;
}

} // namespace tvd
