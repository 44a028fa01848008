// `identify --fields`: the drive details rows on the command line, from simulated drives.
#include <gtest/gtest.h>

#include "toolrun.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "cli/commands.h"

namespace tvd::cli {
namespace {

namespace fs = std::filesystem;
using test::Flat;
using test::RunTool;
using test::ToolRun;

class Drives {
public:
    Drives() {
        std::random_device random;
        std::error_code ec;
        const fs::path base = fs::temp_directory_path(ec);
        for (int i = 0; i < 100 && path_.empty(); ++i) {
            const fs::path p = base / ("tvdfields-" + std::to_string(random()));
            if (fs::create_directory(p, ec)) path_ = p;
        }
        Write("sata1", "[Drive]\nBus=SATA\nModel=Tvd Quill 512\nSerial=QS-0001-77\nFirmware=FW01A\n"
                       "Capacity=512M\n[Ata]\nRotation=10025\n");
        Write("nvme1",
              "[Drive]\nBus=NVMe\nModel=Tvd Vesper NVMe 1TB\nSerial=VN1T-4471\n"
              "Firmware=2B0QEXM7\nCapacity=2G\nSectorSize=4096\n[Nvme]\nVendorId=0x144D\n");
        Write("scsi1", "[Drive]\nBus=SCSI\nModel=Loom 4K\nVendor=ACME\nCapacity=64M\n");
    }
    ~Drives() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    std::string Path() const { return path_.string(); }

private:
    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(path_ / (name + ".drive"), std::ios::binary | std::ios::trunc) << text;
    }
    fs::path path_;
};

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

void ExpectHas(const std::string& text, const std::string& what) {
    EXPECT_NE(text.find(what), std::string::npos) << "no " << what << " in\n" << text;
}

TEST(IdentifyFields, AtaDriveGivesTheIdentifyWordsRows) {
    Drives d;
    const ToolRun run =
        RunTool({"--simulate", d.Path(), "--json", "identify", "sata1", "--fields"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string j = Flat(run.out);
    ExpectHas(j, "\"kind\": \"ata\"");
    EXPECT_EQ(Count(j, "\"position\""), 102u); // 99 fields, three of them in two rows
    ExpectHas(j, "\"position\": \"10..19\",\"format\": \"s\",\"value\": \"QS-0001-77          \"");
    ExpectHas(j, "\"position\": \"27..46\",\"format\": \"s\",\"value\": \"Tvd Quill 512");
    ExpectHas(j, "\"position\": \"100..103\",\"format\": \"q\",\"value\": "
                 "\"0x0000000000100000 (1048576)\"");
    ExpectHas(j, "\"position\": \"217\",\"format\": \"w\",\"value\": \"0x2729 (10025)\"");
    ExpectHas(j, "\"description\": \"Manufacturer\u2019s recommended Multiword DMA transfer cycle "
                 "time\"");
    ExpectHas(j, "\"first\": 145,\"last\": 159,\"position\": \"145..159\",\"format\": \"\"");
    EXPECT_EQ(j.find("\"name\""), std::string::npos); // ATA rows have no short names

    const ToolRun text = RunTool({"--simulate", d.Path(), "identify", "sata1", "--fields"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out.rfind("Word", 0), 0u) << text.out;
    ExpectHas(text.out, "Serial number\n");
    ExpectHas(text.out, "0x2729 (10025)");
}

TEST(IdentifyFields, NvmeDriveGivesTheControllerRows) {
    Drives d;
    const ToolRun run =
        RunTool({"--simulate", d.Path(), "--json", "identify", "nvme1", "--fields"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string j = Flat(run.out);
    ExpectHas(j, "\"kind\": \"nvme\",\"bytes\": 4096");
    EXPECT_EQ(Count(j, "\"position\""), 173u); // 97 fields, the long reserved ones split
    ExpectHas(j,
              "\"position\": \"0..1\",\"name\": \"VID\",\"format\": \"w\",\"value\": \"0x144D\"");
    ExpectHas(j, "\"name\": \"MN\",\"format\": \"s\",\"value\": \"Tvd Vesper NVMe 1TB");
    ExpectHas(j, "\"name\": \"PSD31\"");
    ExpectHas(j, "\"position\": \"4064..4095\",\"name\": \"\"");

    const ToolRun text = RunTool({"--simulate", d.Path(), "identify", "nvme1", "--fields"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out.rfind("Byte", 0), 0u) << text.out;
    ExpectHas(text.out, "Number of Namespaces\n");
}

TEST(IdentifyFields, DriveWithoutIdentifyDataAndBadOptionsFail) {
    Drives d;
    const ToolRun scsi = RunTool({"--simulate", d.Path(), "identify", "scsi1", "--fields"});
    EXPECT_EQ(scsi.status, 1);
    ExpectHas(scsi.err, "no ATA or NVMe identify data");
    const ToolRun both =
        RunTool({"--simulate", d.Path(), "identify", "sata1", "--fields", "--raw"});
    EXPECT_EQ(both.status, 2);
    // Without --fields the summary stays as it was.
    const ToolRun plain = RunTool({"--simulate", d.Path(), "--json", "identify", "sata1"});
    ASSERT_EQ(plain.status, 0);
    ExpectHas(Flat(plain.out), "\"rotationRate\": 10025");
    EXPECT_EQ(plain.out.find("\"rows\""), std::string::npos);
}

} // namespace
} // namespace tvd::cli
