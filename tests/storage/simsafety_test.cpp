// Hostile drive folders: files that must be refused with their line, images that must not lead
// outside the folder, and read-only back ends that must not touch an image.
#include "storage/sim/simstorage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "storage/partitiontableutil.h"
#include "storage/sim/simdrivespec.h"
#include "storage/sim/simimagefile.h"
#include "storage/simfolder.h"

namespace tvd {
namespace {

namespace fs = std::filesystem;
using test::SimFolder;

std::unique_ptr<SimStorage> Sim(const SimFolder& folder, SimImages images) {
    ErrorCode e = err::kGenFailure;
    auto sim = SimStorage::Create(folder.Path(), e, images);
    EXPECT_EQ(e, err::kSuccess);
    return sim;
}

const SimProblem* ProblemOf(const std::vector<SimProblem>& problems, const std::string& name) {
    for (const SimProblem& p : problems)
        if (p.name == name) return &p;
    return nullptr;
}

// A bad key refuses its file, names its line, and leaves the other drives of the folder alone.
TEST(SimSafety, BadFilesAreRefusedWithTheirLineAndTheOthersStay) {
    const std::string kLongHex = "[Drive]\n[Ata]\nIdentify=" + std::string(1100, '0') + "\n";
    struct Row {
        const char* name;
        const char* text;
        std::size_t line;
        const char* inMessage;
    };
    const Row rows[] = {
        // The capacity check once divided by the refused sector size.
        {"zero", "[Drive]\nCapacity=1M\nSectorSize=0\n", 3, "SectorSize=0"},
        {"zerofirst", "[Drive]\n; a comment\n\nSectorSize=0\nCapacity=4K\n", 4, "SectorSize"},
        {"badbus", "[Drive]\nBus=Floppy\nSectorSize=0\nCapacity=1M\n", 2, "Bus=Floppy"},
        {"huge", "[Drive]\nModel=x\nCapacity=99999999999T\n", 3, "Capacity"},
        {"hex", kLongHex.c_str(), 3, "Identify"},
        {"lower", "[drive]\n  sectorsize = 520\n", 2, "SectorSize"},
        {"pci", "[Drive]\n[Pci]\nWidth=4\n", 0, "Speed"}, // the missing key has no line
    };
    SimFolder dir;
    dir.Drive("good", "Capacity=1M\n");
    for (const Row& r : rows)
        dir.Write(std::string(r.name) + ".drive", r.text);
    auto sim = Sim(dir, SimImages::kReadOnly);
    ASSERT_TRUE(sim);
    EXPECT_EQ(sim->DriveNames(), std::vector<std::string>{"good"});
    const std::vector<SimProblem> problems = sim->Problems();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const SimProblem* p = ProblemOf(problems, r.name);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->error, err::kInvalidData);
        EXPECT_EQ(p->line, r.line) << p->message;
        EXPECT_NE(p->message.find(r.inMessage), std::string::npos) << p->message;
    }
}

TEST(SimSafety, KeyLinesFollowSectionsAndIgnoreCase) {
    const std::string text = "; c\n[Usb]\nModel=u\n\r\n[ drive ]\r\nmodel = m\r\nCapacity=1\n";
    EXPECT_EQ(SimKeyLine(text, "Drive", "Model"), 6u);
    EXPECT_EQ(SimKeyLine(text, "Usb", "Model"), 3u);
    EXPECT_EQ(SimKeyLine(text, "Drive", "Capacity"), 7u);
    EXPECT_EQ(SimKeyLine(text, "Drive", "Bus"), 0u);
}

TEST(SimSafety, EntriesThatAreNoDriveFilesAreReported) {
    SimFolder dir;
    dir.Drive("good", "Capacity=1M\n");
    fs::create_directory(dir / "folder.drive");
    dir.Write("huge.drive", "[Drive]\n");
    fs::resize_file(dir / "huge.drive", std::uintmax_t(17) << 20);
    auto sim = Sim(dir, SimImages::kReadOnly);
    ASSERT_TRUE(sim);
    EXPECT_EQ(sim->DriveNames(), std::vector<std::string>{"good"});
    const std::vector<SimProblem> problems = sim->Problems();
    const SimProblem* p = ProblemOf(problems, "folder");
    ASSERT_NE(p, nullptr);
    EXPECT_NE(p->message.find("not a regular file"), std::string::npos) << p->message;
    p = ProblemOf(problems, "huge");
    ASSERT_NE(p, nullptr);
    EXPECT_NE(p->message.find("larger than 16 MiB"), std::string::npos) << p->message;
}

// An image through a symbolic link is refused in both modes; the file behind it keeps its size.
TEST(SimSafety, ImagesAreNotReachedThroughLinks) {
    SimFolder dir, outside;
    outside.Write("victim.bin", "7 bytes");
    std::error_code ec;
    fs::create_symlink(outside / "victim.bin", dir / "link.img", ec);
    if (ec) GTEST_SKIP() << "symbolic links cannot be made here: " << ec.message();
    fs::create_directory_symlink(outside.Dir(), dir / "sub", ec);
    ASSERT_FALSE(ec) << ec.message();
    fs::create_symlink(outside / "missing.bin", dir / "dangling.img", ec);
    ASSERT_FALSE(ec) << ec.message();
    dir.Drive("direct", "Capacity=1G\nImage=link.img\n");
    dir.Drive("throughdir", "Capacity=1G\nImage=sub/victim.bin\n");
    dir.Drive("dangling", "Capacity=1G\nImage=dangling.img\nLayout=mbr:rest\n");
    dir.Drive("good", "Capacity=1M\n");
    for (SimImages mode : {SimImages::kPrepare, SimImages::kReadOnly}) {
        auto sim = Sim(dir, mode);
        ASSERT_TRUE(sim);
        EXPECT_EQ(sim->DriveNames(), std::vector<std::string>{"good"});
        const std::vector<SimProblem> problems = sim->Problems();
        for (const char* name : {"direct", "throughdir", "dangling"}) {
            SCOPED_TRACE(name);
            const SimProblem* p = ProblemOf(problems, name);
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(p->error, kSimImageLink);
            EXPECT_NE(p->message.find("symbolic link"), std::string::npos) << p->message;
        }
        EXPECT_EQ(outside.Size("victim.bin"), 7u);
        EXPECT_FALSE(fs::exists(outside / "missing.bin"));
    }
}

// A read-only back end creates no image and grows none, yet shows the table Layout= describes.
TEST(SimSafety, ReadOnlyBackEndLeavesImagesAlone) {
    SimFolder dir;
    dir.Drive("fresh", "Capacity=1G\nLayout=mbr:256M/0c,rest\n");
    dir.Drive("short", "Capacity=1G\n");
    dir.Write("short.img", "abc");
    {
        auto sim = Sim(dir, SimImages::kReadOnly);
        ASSERT_TRUE(sim);
        EXPECT_EQ(sim->DriveNames(), (std::vector<std::string>{"fresh", "short"}));
        EXPECT_TRUE(sim->Problems().empty());
        std::vector<PresentDevice> volumes;
        ASSERT_EQ(sim->EnumerateClass(DeviceClass::kVolumeInterface, volumes), err::kSuccess);
        EXPECT_EQ(volumes.size(), 2u);

        DeviceHandle h;
        ASSERT_EQ(sim->Open("SIM\\fresh", h), err::kSuccess);
        DriveLayout layout;
        ASSERT_EQ(sim->GetDriveLayout(h, layout), err::kSuccess);
        EXPECT_EQ(std::count_if(layout.partitions.begin(), layout.partitions.end(),
                                [](const PartitionEntry& p) { return p.length != 0; }),
                  2);
        std::vector<std::uint8_t> sector(512, 0xEE);
        ASSERT_EQ(sim->ReadAt(h, 0, sector), err::kSuccess);
        EXPECT_EQ(sector[510], 0x55);
        EXPECT_EQ(sector[511], 0xAA);
        ASSERT_EQ(sim->ReadAt(h, 512, sector), err::kSuccess);
        EXPECT_EQ(sector, std::vector<std::uint8_t>(512, 0));
        EXPECT_NE(sim->WriteAt(h, 0, sector), err::kSuccess);

        DeviceHandle s;
        ASSERT_EQ(sim->Open("SIM\\short", s), err::kSuccess);
        ASSERT_EQ(sim->ReadAt(s, 0, sector), err::kSuccess);
        EXPECT_EQ(sector[0], 'a');
        EXPECT_EQ(sector[3], 0);
        EXPECT_NE(sim->WriteAt(s, 0, sector), err::kSuccess);
    }
    EXPECT_FALSE(fs::exists(dir / "fresh.img"));
    EXPECT_EQ(dir.Size("short.img"), 3u);

    // A back end that prepares images makes them, with the same table.
    auto sim = Sim(dir, SimImages::kPrepare);
    ASSERT_TRUE(sim);
    EXPECT_EQ(dir.Size("fresh.img"), 1u << 30);
    EXPECT_EQ(dir.Size("short.img"), 1u << 30);
    EXPECT_EQ(dir.Bytes("fresh.img", 510, 2), (std::vector<std::uint8_t>{0x55, 0xAA}));
}

} // namespace
} // namespace tvd
