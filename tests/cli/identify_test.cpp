#include <gtest/gtest.h>

#include "toolrun.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace tvd::cli {
namespace {

namespace fs = std::filesystem;

// A folder of simulated drives of the test's own, removed afterwards.
class DriveFolder {
public:
    DriveFolder() {
        std::random_device random;
        std::error_code ec;
        const fs::path base = fs::temp_directory_path(ec);
        for (int i = 0; i < 100 && path_.empty(); ++i) {
            const fs::path p = base / ("tvdident-" + std::to_string(random()));
            if (fs::create_directory(p, ec)) path_ = p;
        }
    }
    ~DriveFolder() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    std::string Path() const { return path_.string(); }
    std::string File(const std::string& rel) const { return (path_ / rel).string(); }
    void Write(const std::string& rel, const std::string& text) const {
        std::ofstream(path_ / rel, std::ios::binary | std::ios::trunc) << text;
    }
    std::string Read(const std::string& rel) const {
        std::ifstream f(path_ / rel, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }

private:
    fs::path path_;
};

using test::RunTool;
using test::ToolRun;

// One drive of each kind, with what its identify output must say: the texts come from the
// drive file, the numbers from its capacity and sector size.
struct DriveCase {
    const char* name;
    const char* bus;
    const char* model;
    const char* serial;
    const char* firmware;
    const char* vendor; // SCSI and USB only
    std::uint64_t capacity;
    std::uint32_t sectorSize;
    enum { kAta, kNvme, kScsiOnly } kind;
    const char* extra; // command-set keys no [Drive] key gives: a dump must carry them over
    const char* extraShows;

    std::string File() const {
        std::string t = std::string("[Drive]\nBus=") + bus + "\nModel=" + model +
                        "\nSerial=" + serial + "\nFirmware=" + firmware +
                        "\nCapacity=" + std::to_string(capacity) +
                        "\nSectorSize=" + std::to_string(sectorSize) + "\n";
        if (vendor) t += std::string("Vendor=") + vendor + "\n";
        return t + extra;
    }
};

const DriveCase kDrives[] = {
    {"sata1", "SATA", "Tvd Quill 512", "QS-0001-77", "FW01A", nullptr, 512ull << 20, 512,
     DriveCase::kAta, "[Ata]\nRotation=10025\n", "\"rotationRate\": 10025"},
    {"nvme1", "NVMe", "Tvd Vesper NVMe 1TB", "VN1T-4471", "2B0QEXM7", nullptr, 2ull << 30, 4096,
     DriveCase::kNvme, "[Nvme]\nVendorId=0x144D\nSanicap=2\n", "\"pciVendorId\": 5197"},
    {"scsi1", "SCSI", "Loom 4K", "LM4K-0002", "0420", "ACME", 64ull << 20, 4096,
     DriveCase::kScsiOnly, "", "\"peripheralType\": 0"},
    {"usb1", "USB", "Pocket 8", "PK8-9", "1.10", "Heddle", 8ull << 30, 512, DriveCase::kScsiOnly,
     "", "\"peripheralType\": 0"},
};

std::string Member(const std::string& key, const std::string& value) {
    return "\"" + key + "\": \"" + value + "\"";
}
std::string Member(const std::string& key, std::uint64_t value) {
    return "\"" + key + "\": " + std::to_string(value);
}

void ExpectHas(const std::string& json, const std::string& what, const char* drive) {
    EXPECT_NE(json.find(what), std::string::npos) << drive << ": no " << what << " in\n" << json;
}

TEST(IdentifyCommand, ReportsWhatEachDriveFileDescribes) {
    DriveFolder dir;
    for (const DriveCase& d : kDrives)
        dir.Write(std::string(d.name) + ".drive", d.File());
    for (const DriveCase& d : kDrives) {
        const ToolRun run = RunTool({"--simulate", dir.Path(), "--json", "identify", d.name});
        ASSERT_EQ(run.status, 0) << d.name << ": " << run.err;
        const std::string& j = run.out;
        const std::uint64_t blocks = d.capacity / d.sectorSize;
        ExpectHas(j, Member("bus", d.bus), d.name);
        ExpectHas(j, d.extraShows, d.name);
        switch (d.kind) {
        case DriveCase::kAta:
            ExpectHas(j, Member("model", d.model), d.name);
            ExpectHas(j, Member("serial", d.serial), d.name);
            ExpectHas(j, Member("firmware", d.firmware), d.name);
            ExpectHas(j, Member("sectors", blocks), d.name);
            ExpectHas(j, Member("logicalSectorSize", d.sectorSize), d.name);
            ExpectHas(j, Member("capacityBytes", d.capacity), d.name);
            ExpectHas(j, "\"nvme\": null", d.name);
            break;
        case DriveCase::kNvme:
            ExpectHas(j, "\"ata\": null", d.name);
            ExpectHas(j, Member("model", d.model), d.name);
            ExpectHas(j, Member("serial", d.serial), d.name);
            ExpectHas(j, Member("firmware", d.firmware), d.name);
            ExpectHas(j, Member("sizeBlocks", blocks), d.name);
            ExpectHas(j, Member("blockSize", d.sectorSize), d.name);
            ExpectHas(j, Member("capacityBytes", d.capacity), d.name);
            break;
        case DriveCase::kScsiOnly:
            ExpectHas(j, "\"ata\": null", d.name);
            ExpectHas(j, "\"nvme\": null", d.name);
            ExpectHas(j, "\"scsi\": \"clNtScsi\"", d.name);
            ExpectHas(j, Member("vendor", d.vendor), d.name);
            ExpectHas(j, Member("product", d.model), d.name);
            ExpectHas(j, Member("revision", d.firmware), d.name);
            ExpectHas(j, Member("lastLba", blocks - 1), d.name);
            ExpectHas(j, Member("blockLength", d.sectorSize), d.name);
            break;
        }
    }
}

TEST(IdentifyCommand, DumpedDriveIdentifiesTheSame) {
    DriveFolder original, copy;
    for (const DriveCase& d : kDrives)
        original.Write(std::string(d.name) + ".drive", d.File());
    for (const DriveCase& d : kDrives) {
        const std::string file = copy.File(std::string(d.name) + ".drive");
        const ToolRun dump =
            RunTool({"--simulate", original.Path(), "dump", d.name, "--output", file});
        ASSERT_EQ(dump.status, 0) << d.name << ": " << dump.err;
        const ToolRun before =
            RunTool({"--simulate", original.Path(), "--json", "identify", "--raw", d.name});
        const ToolRun after =
            RunTool({"--simulate", copy.Path(), "--json", "identify", "--raw", d.name});
        ASSERT_EQ(after.status, 0) << d.name << ": " << after.err << "\n" << copy.Read(file);
        EXPECT_EQ(after.out, before.out) << d.name << "\n" << copy.Read(file);
    }
}

TEST(IdentifyCommand, DumpKeepsAnExistingFileUnlessForced) {
    DriveFolder dir;
    dir.Write("sata1.drive", kDrives[0].File());
    const std::string target = dir.File("taken.txt");
    dir.Write("taken.txt", "keep me");
    const ToolRun refused = RunTool({"--simulate", dir.Path(), "dump", "sata1", "-o", target});
    EXPECT_NE(refused.status, 0);
    EXPECT_EQ(dir.Read("taken.txt"), "keep me");
    const ToolRun forced =
        RunTool({"--simulate", dir.Path(), "dump", "sata1", "-o", target, "--force"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_NE(dir.Read("taken.txt").find("Identify="), std::string::npos);
}

TEST(IdentifyCommand, NamesADriveByPathNameOrNumberAndRefusesOthers) {
    DriveFolder dir;
    for (const DriveCase& d : kDrives)
        dir.Write(std::string(d.name) + ".drive", d.File());
    const ToolRun byName = RunTool({"--simulate", dir.Path(), "--json", "identify", "scsi1"});
    ASSERT_EQ(byName.status, 0) << byName.err;
    // The path as list shows it, and the drive's number in list (drives are listed by name).
    const ToolRun list = RunTool({"--simulate", dir.Path(), "--json", "list"});
    const std::size_t at = list.out.find("\"path\": \"");
    ASSERT_NE(at, std::string::npos) << list.out;
    const std::size_t start = at + 9;
    std::string path = list.out.substr(start, list.out.find('"', start) - start);
    std::string unescaped;
    for (std::size_t i = 0; i < path.size(); ++i)
        unescaped += path[i] == '\\' ? path[++i] : path[i];
    const ToolRun byPath = RunTool({"--simulate", dir.Path(), "--json", "identify", unescaped});
    const ToolRun byNumber = RunTool({"--simulate", dir.Path(), "--json", "identify", "0"});
    ASSERT_EQ(byPath.status, 0) << unescaped << ": " << byPath.err;
    EXPECT_EQ(byNumber.out, byPath.out);

    struct {
        std::vector<std::string> args;
        const char* inErr;
    } bad[] = {
        {{"identify", "nosuch"}, "no drive nosuch"},
        {{"identify", "9"}, "no drive 9"},
        {{"identify"}, "usage"},
        {{"identify", "sata1", "--bogus"}, "unknown option --bogus"},
        {{"dump", "nosuch"}, "no drive nosuch"},
    };
    for (auto& b : bad) {
        std::vector<std::string> args = {"--simulate", dir.Path()};
        args.insert(args.end(), b.args.begin(), b.args.end());
        const ToolRun run = RunTool(args);
        EXPECT_NE(run.status, 0) << b.inErr;
        EXPECT_NE(run.err.find(b.inErr), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
}

// The trace shows each command block with its answer on the error stream, and changes nothing
// on standard output.
TEST(IdentifyCommand, TraceShowsTheReadCapacityCommandAndItsAnswer) {
    DriveFolder dir;
    for (const DriveCase& d : kDrives)
        dir.Write(std::string(d.name) + ".drive", d.File());
    // READ CAPACITY (10) answers 8 bytes, (16) 32; either must have gone to the drive.
    const std::regex readCapacity(
        "(^|\\n)cdb: (25( 00){9}|9e 10( [0-9a-f]{2}){14})\\nstatus: 0x00 transferred: (8|32)\\n");
    for (const char* drive : {"scsi1", "usb1"}) {
        const ToolRun plain = RunTool({"--simulate", dir.Path(), "--json", "identify", drive});
        const ToolRun traced =
            RunTool({"--simulate", dir.Path(), "--json", "identify", "--trace", drive});
        ASSERT_EQ(traced.status, 0) << drive << ": " << traced.err;
        EXPECT_TRUE(std::regex_search(traced.err, readCapacity)) << drive << ":\n" << traced.err;
        EXPECT_EQ(plain.err.find("cdb:"), std::string::npos) << drive << ": " << plain.err;
        EXPECT_EQ(traced.out, plain.out) << drive;
    }
}

} // namespace
} // namespace tvd::cli
