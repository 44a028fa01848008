#include "cli/clicommands.h"

#include <string>

#include "cli/clierror.h"
#include "cli/fundiskview.h"
#include "cli/jsonwriter.h"
#include "cli/storagesession.h"
#include "cli/textformat.h"
#include "drive/fundiskdescutil.h"
#include "drive/kernelfun.h"
#include "smart/clsmartata.h"
#include "storage/devicehandleutil.h"

namespace tvd::cli {

namespace {

struct DiskRow {
    std::size_t index;
    std::string path, name, bus;
    bool removable;
    std::uint64_t capacity;
    std::uint32_t sectorSize;
    ZoltRef<clFunDisk> fd; // none for disks the program does not serve
};

DiskRow RowOf(std::size_t index, clDisk& d) {
    DiskRow r{};
    r.index = index;
    if (const char* p = d.GetPath()) r.path = p;
    if (const char* n = d.GetDescription()) r.name = n;
    r.bus = Storage().BusName(d.GetBusType());
    r.removable = d.IsRemovable();
    r.capacity = d.GetCapacity();
    r.sectorSize = d.GetSectorSize();
    return r;
}

} // namespace

int CmdList(const Options& o, std::FILE* out, std::FILE* err) {
    if (!o.args.empty()) return Fail(o, out, err, 2, "list takes no arguments");
    StorageSession session;
    const DeviceBurst burst; // each drive is opened once for the whole command
    std::string problem;
    if (ErrorCode e = session.Open(o.simulate, problem, err))
        return Fail(o, out, err, 1, problem, e);
    UseDefaultSettingsFolder();
    const std::vector<clDisk*> disks = session.Disks();
    SystemVolume volume;
    const clDisk* system = FindSystemDisk(session.Registry().FindList(devtype::kDisk), volume);
    std::vector<DiskRow> rows;
    std::size_t index = 0;
    for (clDisk* d : disks) {
        rows.push_back(RowOf(index++, *d));
        rows.back().fd = FunDiskCreate(d, system);
    }
    // A refused drive file makes the listing incomplete: it is named and the status says so.
    const std::vector<SimProblem> problems = session.Problems();
    const int status = problems.empty() ? 0 : 1;

    if (o.json) {
        JsonWriter j;
        j.BeginObject().String("backend", session.BackendName()).BeginArray("disks");
        for (const auto& r : rows) {
            j.BeginObject()
                .Unsigned("index", r.index)
                .String("path", r.path)
                .String("name", r.name)
                .String("bus", r.bus)
                .Bool("removable", r.removable)
                .Unsigned("capacity", r.capacity)
                .Unsigned("sectorSize", r.sectorSize);
            if (r.fd) {
                j.BeginObject("drive");
                WriteFunDiskSummary(j, r.fd.Get());
                j.EndObject();
            } else {
                j.Null("drive");
            }
            j.EndObject();
        }
        j.EndArray().BeginArray("problems");
        for (const SimProblem& p : problems) {
            j.BeginObject().String("file", p.name.empty() ? "" : p.name + ".drive");
            if (p.line)
                j.Unsigned("line", p.line);
            else
                j.Null("line");
            j.String("reason", p.message).EndObject();
        }
        j.EndArray().EndObject();
        std::fputs(j.Text().c_str(), out);
        return status;
    }
    if (rows.empty()) {
        std::fprintf(out, problems.empty() ? "No disks found.\n"
                                           : "No disks found (drive files were refused).\n");
        return status;
    }
    TextTable t({"#", "Path", "Bus", "Capacity", "Sector", "Kind", "Health", "Temp", "Life",
                 "Model", "Firmware"});
    for (const auto& r : rows) {
        std::string kind = r.removable ? "removable" : "-", health = "-", temp = "-", life = "-",
                    model = r.name, firmware = "-";
        if (clFunDisk* fd = r.fd.Get()) {
            kind = fd->solidState ? "SSD" : "HDD";
            health = HealthStateWord(fd->smart.HealthState);
            if (fd->smart.temperature != kSmartNoValue)
                temp = std::to_string(fd->smart.temperature) + " C";
            // The drive's own remaining-life figure, as `smart` and `info` show it.
            if (const int l = GetLife(fd->smart.smart.get()); l != kSmartNoValue)
                life = std::to_string(l) + " %";
            if (const std::string* m = GetModel(fd)) model = *m;
            if (const std::string* f = GetFirmware(fd)) firmware = *f;
        }
        t.Row({std::to_string(r.index), r.path.empty() ? "-" : r.path, r.bus,
               r.capacity ? SizeText(r.capacity) : "-",
               r.sectorSize ? std::to_string(r.sectorSize) : "-", kind, health, temp, life, model,
               firmware});
    }
    std::fputs(t.Text().c_str(), out);
    return status;
}

} // namespace tvd::cli
