// The sector copy on disks whose tables sfdisk and sgdisk wrote and whose file systems
// mkfs.ext4 and mkfs.fat made: on simulated drives over those images, and (as root) on loop
// devices through the Linux back end's direct, exclusive open. Each partition is compared by
// cmp over its range; the copied ext4 passes e2fsck, the copied FAT fsck.fat.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <regex>

#include "clone/cldiskcloneprocess.h"
#include "clone/kernelclonefun.h"
#include "storage/fsrecognizeutil.h"
#include "storage/linux/linuxtesttools.h"
#include "storage/sim/simstorage.h"

namespace tvd {
namespace {

using test::RunTool;
constexpr std::uint64_t kMiB = 1ull << 20;

std::string Q(const std::string& s) {
    return "'" + s + "'";
}

struct Table {
    const char* what;
    std::uint32_t sectorSize;
    bool gpt;
};

class CloneTools : public ::testing::TestWithParam<Table> {
protected:
    void SetUp() override {
        for (const char* tool : {"sfdisk", "sgdisk", "mkfs.ext4", "e2fsck", "mkfs.fat", "fsck.fat",
                                 "cmp", "truncate", "dd"})
            if (!test::HaveTool(tool)) GTEST_SKIP() << tool << " is not installed (setup.sh)";
        ASSERT_FALSE(tmp_.Path().empty());
        previous_ = CloneInterfaceReplace(std::make_unique<clCustomCloneInterface>());
    }
    void TearDown() override {
        process_.reset();
        SelectStorage(nullptr);
        sim_.reset();
        for (auto it = loops_.rbegin(); it != loops_.rend(); ++it)
            RunTool("losetup -d " + *it + " 2>/dev/null");
        CloneInterfaceReplace(std::move(previous_));
    }

    std::uint32_t Ss() const { return GetParam().sectorSize; }

    // A 96 MiB image: a FAT volume, an ext4 volume, a swap-like area of random
    // bytes and (MBR) the last two as logical partitions.
    void MakeSource(const std::string& img) {
        ASSERT_EQ(RunTool("truncate -s 96M " + Q(img)).status, 0);
        const std::uint64_t s = Ss();
        const std::uint64_t p1 = kMiB / s, n1 = 16 * kMiB / s;
        const std::uint64_t p2 = 18 * kMiB / s, n2 = 40 * kMiB / s;
        const std::uint64_t p3 = 60 * kMiB / s, n3 = 20 * kMiB / s;
        starts_ = {p1 * s, p2 * s, p3 * s};
        lengths_ = {n1 * s, n2 * s, n3 * s};
        std::string cmd;
        if (GetParam().gpt) {
            cmd = "sgdisk -o -n 1:" + std::to_string(p1) + ":+" + std::to_string(n1) +
                  " -t 1:0700 -n 2:" + std::to_string(p2) + ":+" + std::to_string(n2) +
                  " -t 2:8300 -n 3:" + std::to_string(p3) + ":+" + std::to_string(n3) +
                  " -t 3:8200 " + Q(img) + " >/dev/null 2>&1";
            // sgdisk works in the image's 512-byte sectors; 4096-byte disks are left to sfdisk.
            if (Ss() != 512) GTEST_SKIP() << "sgdisk writes 512-byte-sector images only";
        } else {
            // sfdisk takes the sector size from the device: a 4096-byte one needs a loop device
            // of that block size.
            std::string device = img;
            if (s != 512) {
                if (::geteuid() != 0 || !test::HaveTool("losetup"))
                    GTEST_SKIP() << "a 4096-byte table needs a loop device (root, losetup)";
                device = Loop(img, false);
                if (device.empty()) GTEST_SKIP() << "no free loop device";
            }
            cmd = "sfdisk -q " + Q(device) +
                  " >/dev/null 2>&1 <<'EOF'\nlabel: dos\n"
                  "start=" +
                  std::to_string(p1) + ", size=" + std::to_string(n1) +
                  ", type=6\n"
                  "start=" +
                  std::to_string(p2 - kMiB / s) +
                  ", type=5\n"
                  "start=" +
                  std::to_string(p2) + ", size=" + std::to_string(n2) +
                  ", type=83\n"
                  "start=" +
                  std::to_string(p3) + ", size=" + std::to_string(n3) +
                  ", type=82\n"
                  "EOF";
            ASSERT_EQ(RunTool(cmd).status, 0) << cmd;
            if (device != img) {
                RunTool("losetup -d " + device);
                loops_.pop_back();
            }
            cmd = "true";
        }
        ASSERT_EQ(RunTool(cmd).status, 0) << cmd;
        // FAT16 in the first, ext4 in the second, random bytes in the third.
        const std::string part1 = tmp_ / "p1.img", part2 = tmp_ / "p2.img";
        ASSERT_EQ(RunTool("mkfs.fat -C -S " + std::to_string(s) + " " + Q(part1) + " " +
                          std::to_string(lengths_[0] / 1024) + " >/dev/null 2>&1")
                      .status,
                  0);
        ASSERT_EQ(RunTool("truncate -s " + std::to_string(lengths_[1]) + " " + Q(part2) +
                          " && mkfs.ext4 -q -F -b 4096 " + Q(part2) + " >/dev/null 2>&1")
                      .status,
                  0);
        Put(img, part1, starts_[0]);
        Put(img, part2, starts_[1]);
        ASSERT_EQ(RunTool("head -c " + std::to_string(lengths_[2]) + " /dev/urandom | dd of=" +
                          Q(img) + " bs=1M seek=" + std::to_string(starts_[2]) +
                          " oflag=seek_bytes conv=notrunc "
                          "status=none")
                      .status,
                  0);
    }
    void Put(const std::string& img, const std::string& part, std::uint64_t at) {
        ASSERT_EQ(RunTool("dd if=" + Q(part) + " of=" + Q(img) + " bs=1M seek=" +
                          std::to_string(at) + " oflag=seek_bytes conv=notrunc status=none")
                      .status,
                  0);
    }

    void Copy(const std::string& sourcePath, const std::string& targetPath) {
        ASSERT_EQ(source_.SetDevicePath(sourcePath, false), 0u);
        ASSERT_EQ(source_.bytesPerSector, Ss());
        ASSERT_EQ(target_.SetMemberPath(0, targetPath), 0u);
        ASSERT_EQ(source_.drives.Count(), 3u);
        process_ = std::make_unique<clDiskCloneProcess>(&source_, &target_);
        ASSERT_TRUE(CloneCreateStep());
        process_->step = CloneGetStep();
        for (clZoltObject* o : source_.drives) {
            auto* d = static_cast<clFunDrive*>(o);
            process_->partitions.push_back(
                CreateDriveCloneProcess(process_.get(), d, d->Offset() / Ss(), d->Length() / Ss()));
            ASSERT_TRUE(process_->partitions.back());
        }
        ASSERT_TRUE(CreateCopyEngines(process_.get()));
        EXPECT_TRUE(IsFatKind(process_->partitions[0]->source->fsKind));
        EXPECT_EQ(process_->partitions[1]->source->fsKind, fskind::kNone); // ext4
        ASSERT_EQ(PrepareCopyEngines(process_.get()), 0u);
        ASSERT_EQ(RunCopyEngines(process_.get()), 0u);
        EXPECT_EQ(CloneErrorCount(), 0u);
        EXPECT_EQ(target_.EndWrite(true), 0u);
    }

    void CheckCopies(const std::string& src, const std::string& dst) {
        for (std::size_t i = 0; i < 3; ++i) {
            const auto r = RunTool("cmp -n " + std::to_string(lengths_[i]) + " -i " +
                                   std::to_string(starts_[i]) + ":" + std::to_string(starts_[i]) +
                                   " " + Q(src) + " " + Q(dst) + " 2>&1");
            EXPECT_EQ(r.status, 0) << "partition " << i + 1 << ": " << r.output;
        }
        const std::string fat = tmp_ / "fat.img", ext = tmp_ / "ext.img";
        for (auto [file, i] : {std::pair{fat, 0}, std::pair{ext, 1}})
            ASSERT_EQ(RunTool("dd if=" + Q(dst) + " of=" + Q(file) + " bs=1M skip=" +
                              std::to_string(starts_[i]) + " count=" + std::to_string(lengths_[i]) +
                              " iflag=skip_bytes,count_bytes status=none")
                          .status,
                      0);
        auto r = RunTool("e2fsck -fn " + Q(ext) + " 2>&1");
        EXPECT_EQ(r.status, 0) << r.output;
        r = RunTool("fsck.fat -n " + Q(fat) + " 2>&1");
        EXPECT_EQ(r.status, 0) << r.output;
    }

    std::string Loop(const std::string& img, bool partitions = true) {
        const auto r = RunTool(std::string("losetup -f --show ") + (partitions ? "-P " : "") +
                               "-b " + std::to_string(Ss()) + " " + Q(img));
        std::string dev = r.output;
        while (!dev.empty() && dev.back() == '\n')
            dev.pop_back();
        if (r.status == 0 && !dev.empty()) loops_.push_back(dev);
        return r.status == 0 ? dev : std::string();
    }

    test::TempDir tmp_;
    std::unique_ptr<clCustomCloneInterface> previous_;
    std::unique_ptr<SimStorage> sim_;
    clCloneSourceDisk source_;
    clCloneTargetDisk target_;
    std::unique_ptr<clDiskCloneProcess> process_;
    std::vector<std::uint64_t> starts_, lengths_;
    std::vector<std::string> loops_;
};

TEST_P(CloneTools, PartitionsOfToolMadeTablesOnSimulatedDrives) {
    MakeSource(tmp_ / "src.img");
    if (IsSkipped()) return;
    ASSERT_EQ(RunTool("truncate -s 96M " + Q(tmp_ / "dst.img")).status, 0);
    for (const char* name : {"src", "dst"})
        std::ofstream(tmp_ / (std::string(name) + ".drive"))
            << "[Drive]\nCapacity=96M\nSectorSize=" << Ss() << "\n";
    ErrorCode e = 0;
    sim_ = SimStorage::Create(tmp_.Path(), e);
    ASSERT_TRUE(sim_) << e;
    SelectStorage(sim_.get());
    Copy("SIM\\src", "SIM\\dst");
    CheckCopies(tmp_ / "src.img", tmp_ / "dst.img");
}

TEST_P(CloneTools, LoopDevicesDirectAndExclusive) {
    if (::geteuid() != 0) GTEST_SKIP() << "loop devices need root";
    if (::access("/dev/loop-control", F_OK) != 0) GTEST_SKIP() << "no loop devices here";
    if (!test::HaveTool("losetup")) GTEST_SKIP() << "losetup is not installed";
    MakeSource(tmp_ / "src.img");
    if (IsSkipped()) return;
    ASSERT_EQ(RunTool("truncate -s 96M " + Q(tmp_ / "dst.img")).status, 0);
    const std::string src = Loop(tmp_ / "src.img"), dst = Loop(tmp_ / "dst.img");
    if (src.empty() || dst.empty()) GTEST_SKIP() << "no free loop device";

    // Held exclusively by someone else: the target open is refused before anything is written.
    {
        const int held = ::open(dst.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC);
        ASSERT_GE(held, 0);
        clCloneTargetDisk t;
        EXPECT_EQ(t.SetMemberPath(0, dst), err::kSharingViolation);
        ::close(held);
    }
    Copy(src, dst);
    RunTool("sync");
    CheckCopies(tmp_ / "src.img", tmp_ / "dst.img");
}

TEST_P(CloneTools, MountedTargetPartitionRefusesTheOpen) {
    if (::geteuid() != 0) GTEST_SKIP() << "loop devices need root";
    if (::access("/dev/loop-control", F_OK) != 0) GTEST_SKIP() << "no loop devices here";
    for (const char* tool : {"losetup", "mount", "umount"})
        if (!test::HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
    MakeSource(tmp_ / "src.img");
    if (IsSkipped()) return;
    const std::string dev = Loop(tmp_ / "src.img");
    if (dev.empty()) GTEST_SKIP() << "no free loop device";
    const std::string mnt = tmp_ / "mnt";
    RunTool("mkdir -p " + Q(mnt));
    const std::string part = dev + "p" + (GetParam().gpt ? "2" : "5");
    if (RunTool("mount -o ro " + part + " " + Q(mnt) + " 2>/dev/null").status != 0)
        GTEST_SKIP() << "mounting " << part << " is not possible here (no mount rights)";
    clCloneTargetDisk t;
    EXPECT_EQ(t.SetMemberPath(0, dev), err::kSharingViolation);
    RunTool("umount " + Q(mnt));
    EXPECT_EQ(t.SetMemberPath(0, dev), 0u);
}

INSTANTIATE_TEST_SUITE_P(Tables, CloneTools,
                         ::testing::Values(Table{"mbr_logical_512", 512, false},
                                           Table{"mbr_logical_4096", 4096, false},
                                           Table{"gpt_512", 512, true}),
                         [](const auto& info) { return std::string(info.param.what); });

} // namespace
} // namespace tvd
