#include "report/infoexportutil.h"

#include "foundation/versioninfo.h"
#include "shell/formathelpers.h"

#include <cstdio>
#include <ctime>
#include <vector>

#include "drive/kernelfun.h"
#include "report/infosavesystemutil.h"
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

// A section this build does not gather: said in the report rather than left out silently.
bool NotGathered(ReportWriter& w, const char* heading) {
    return w.Line(heading) && w.ErrorLine(" * not gathered by this build.") && w.Eol();
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
    if (!w.Line("Disk Class :")) return false;
    for (const DiskFacts& d : facts)
        if (!WriteDeviceLine(w, d.node)) return false;
    if (!w.Eol()) return false;
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
    if (!w.Line("Volume Class :")) return false;
    for (const VolumeFacts& v : facts)
        if (!WriteDeviceLine(w, v.node)) return false;
    if (!w.Eol()) return false;
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
        step("monitors", [&] { return NotGathered(w, "Monitor Class :"); }) &&
        step("network", [&] { return WriteNetSection(w, GatherNetFacts()); }) &&
        step("ATA controllers", [&] { return NotGathered(w, "ATA Controller Class :"); }) &&
        step("SCSI controllers", [&] { return NotGathered(w, "SCSI Controller Class :"); }) &&
        step("USB", [&] { return NotGathered(w, "USB Class :"); }) &&
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
