#include "cli/clicommands.h"

#include <string>

#include "cli/jsonwriter.h"
#include "cli/storagesession.h"
#include "cli/textformat.h"
#include "foundation/errtextutil.h"

namespace tvd::cli {

namespace {

struct DiskRow {
    std::size_t index;
    std::string path, name, bus;
    bool removable;
    std::uint64_t capacity;
    std::uint32_t sectorSize;
};

DiskRow RowOf(std::size_t index, clDisk& d) {
    DiskRow r{};
    r.index = index;
    if (const char* p = d.GetPath()) r.path = p;
    if (const char* n = d.GetDescription()) r.name = n;
    r.bus = BusTypeName(d.GetBusType());
    r.removable = d.IsRemovable();
    r.capacity = d.GetCapacity();
    r.sectorSize = d.GetSectorSize();
    return r;
}

} // namespace

int CmdList(const Options& o, std::FILE* out, std::FILE* err) {
    if (!o.args.empty()) {
        std::fprintf(err, "tarvikdorn: list takes no arguments\n");
        return 2;
    }
    StorageSession session;
    std::string problem;
    if (ErrorCode e = session.Open(o.simulate, problem)) {
        std::fprintf(err, "tarvikdorn: %s: %s\n", problem.c_str(), ErrorText(e).c_str());
        return 1;
    }
    std::vector<DiskRow> rows;
    std::size_t index = 0;
    for (clDisk* d : session.Disks())
        rows.push_back(RowOf(index++, *d));

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
                .Unsigned("sectorSize", r.sectorSize)
                .EndObject();
        }
        j.EndArray().EndObject();
        std::fputs(j.Text().c_str(), out);
        return 0;
    }
    if (rows.empty()) {
        std::fprintf(out, "No disks found.\n");
        return 0;
    }
    TextTable t({"#", "Path", "Bus", "Removable", "Capacity", "Sector", "Name"});
    for (const auto& r : rows)
        t.Row({std::to_string(r.index), r.path.empty() ? "-" : r.path, r.bus,
               r.removable ? "yes" : "no", r.capacity ? SizeText(r.capacity) : "-",
               r.sectorSize ? std::to_string(r.sectorSize) : "-", r.name});
    std::fputs(t.Text().c_str(), out);
    return 0;
}

} // namespace tvd::cli
