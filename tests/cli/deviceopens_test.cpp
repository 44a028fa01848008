// How often the tool opens each drive: once per command, however many command interfaces,
// bridge probes and queries ask (every one of them used to open the device on its own), and
// nothing stays open afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/tracestorage.h"
#include "storage/sim/simstorage.h"
#include "storage/simfolder.h"
#include "toolrun.h"

namespace tvd::cli {
namespace {

using test::RunTool;
using test::ToolRun;

// Counts the opens the back end is asked for, by path.
class CountingStorage final : public TraceStorage {
public:
    explicit CountingStorage(StoragePlatform& inner) : TraceStorage(inner, nullptr) {}
    ErrorCode Open(const std::string& path, DeviceHandle& handle) override {
        ++opens[path];
        return TraceStorage::Open(path, handle);
    }
    ErrorCode OpenForQuery(const std::string& path, DeviceHandle& handle) override {
        ++opens[path];
        return TraceStorage::OpenForQuery(path, handle);
    }
    ErrorCode OpenRead(const std::string& path, DeviceHandle& handle) override {
        ++opens[path];
        return TraceStorage::OpenRead(path, handle);
    }
    std::map<std::string, int> opens;
};

// One drive of each command path: SCSI/ATA Translation, NVMe, plain SCSI, and USB enclosures
// that answer SAT, a vendor ATA set or a vendor NVMe set.
const char* const kDrives[][2] = {
    {"sata", "Bus=SATA\nModel=Plain SATA\nSerial=S1\n[Ata]\n"},
    {"nvme", "Bus=NVMe\nModel=Plain NVMe\nSerial=S2\n[Nvme]\n"},
    {"scsi", "Bus=SCSI\nVendor=Maker\nModel=Plain SCSI\nSerial=S3\n"},
    {"usbsat", "Bus=USB\nModel=Boxed SAT\nSerial=S4\n[Usb]\nBridge=sat\n[Ata]\n"},
    {"usbjm", "Bus=USB\nModel=Boxed JM\nSerial=S5\n[Usb]\nBridge=jmicron\nChip=2335\n[Ata]\n"},
    {"usbnvme", "Bus=USB\nModel=Boxed NVMe\nSerial=S6\n[Usb]\nBridge=asmedia-nvme\n[Nvme]\n"},
};

#ifndef _WIN32
std::size_t OpenDescriptors() {
    std::error_code ec;
    std::size_t n = 0;
    for (std::filesystem::directory_iterator it("/proc/self/fd", ec), end; !ec && it != end;
         it.increment(ec))
        ++n;
    return n;
}
#endif

class DeviceOpens : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto& d : kDrives)
            dir_.Drive(d[0], std::string("Capacity=64M\n") + d[1]);
        ErrorCode e = err::kSuccess;
        sim_ = SimStorage::Create(dir_.Path(), e); // makes the images, so opens hold files
        ASSERT_TRUE(sim_) << e;
        counting_ = std::make_unique<CountingStorage>(*sim_);
        SelectStorage(counting_.get());
    }
    void TearDown() override { SelectStorage(nullptr); }

    // Runs the tool on the counted back end; every disk it names must have been opened once.
    void ExpectOnePerDisk(std::vector<std::string> args, std::vector<std::string> disks) {
        counting_->opens.clear();
        const ToolRun run = RunTool(args);
        ASSERT_EQ(run.status, 0) << run.err << run.out;
        for (const std::string& disk : disks)
            EXPECT_EQ(counting_->opens["SIM\\" + disk], 1) << args.back() << ": " << disk;
        for (const auto& [path, n] : counting_->opens)
            EXPECT_LE(n, 1) << args.back() << ": " << path;
    }

    test::SimFolder dir_;
    std::unique_ptr<SimStorage> sim_;
    std::unique_ptr<CountingStorage> counting_;
};

TEST_F(DeviceOpens, ListOpensEachDriveOnce) {
    std::vector<std::string> all;
    for (const auto& d : kDrives)
        all.push_back(d[0]);
    ExpectOnePerDisk({"list"}, all);
    ExpectOnePerDisk({"--json", "list"}, all);
}

TEST_F(DeviceOpens, DriveCommandsOpenTheirDriveOnce) {
    for (const auto& d : kDrives)
        for (const std::string command : {"info", "smart", "identify"}) {
            // A plain SCSI drive has no SMART data to show, which the tool reports as a failure.
            if (command == "smart" && std::string(d[0]) == "scsi") continue;
            ExpectOnePerDisk({"--json", command, d[0]}, {d[0]});
        }
}

TEST_F(DeviceOpens, NothingStaysOpenAfterACommand) {
#ifdef _WIN32
    GTEST_SKIP() << "counts the process's file descriptors in /proc";
#else
    const std::size_t before = OpenDescriptors();
    ASSERT_GT(before, 0u);
    for (const char* command : {"list", "info", "smart"}) {
        const ToolRun run =
            std::string(command) == "list" ? RunTool({command}) : RunTool({command, "usbjm"});
        ASSERT_EQ(run.status, 0) << command << ": " << run.err;
        EXPECT_EQ(OpenDescriptors(), before) << command;
    }
#endif
}

} // namespace
} // namespace tvd::cli
