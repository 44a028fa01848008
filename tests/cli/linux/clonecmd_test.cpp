// tarvikdorn clone end to end on simulated drives over images that sfdisk, sgdisk, mkfs.fat and
// mkfs.ext4 made: the copy onto a larger and a smaller target is checked by sfdisk, sgdisk -v,
// fsck.fat, e2fsck and a byte comparison of every partition; the refusals leave the target
// byte-identical; a clone that fails halfway leaves no table.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <regex>

#include "storage/linux/linuxtesttools.h"
#include "storage/simfolder.h"
#include "../toolrun.h"
#include "storage/linux/linuxstorage.h"

namespace tvd::cli {
namespace {

constexpr std::uint64_t kMiB = 1ull << 20;

std::string Q(const std::string& s) {
    return "'" + s + "'";
}

struct Extent {
    std::uint64_t start = 0, size = 0;
};

// The partitions sfdisk reads from an image, by start.
std::vector<Extent> SfdiskExtents(const std::string& img, std::string* dump = nullptr) {
    const auto r = test::RunTool("sfdisk -d " + Q(img) + " 2>&1");
    if (dump) *dump = r.output;
    std::vector<Extent> out;
    const std::regex line(R"(start=\s*(\d+), size=\s*(\d+))");
    for (std::sregex_iterator it(r.output.begin(), r.output.end(), line), end; it != end; ++it)
        out.push_back({std::stoull((*it)[1]), std::stoull((*it)[2])});
    return out;
}

std::string Sha(const std::string& img, std::uint64_t offset, std::uint64_t bytes) {
    return test::RunTool("dd if=" + Q(img) + " bs=1M skip=" + std::to_string(offset) +
                         " count=" + std::to_string(bytes) +
                         " iflag=skip_bytes,count_bytes status=none | sha256sum")
        .output;
}

class CloneCommand : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"sfdisk", "sgdisk", "mkfs.ext4", "e2fsck", "mkfs.fat", "fsck.fat",
                                 "truncate", "dd", "sha256sum"})
            if (!test::HaveTool(tool)) GTEST_SKIP() << tool << " is not installed (setup.sh)";
        ASSERT_EQ(test::RunTool("mkdir -p " + Q(folder_ / "logs")).status, 0);
    }

    test::ToolRun Clone(std::vector<std::string> args) {
        args.insert(args.begin(), {"--simulate", folder_.Path(), "clone"});
        return test::RunTool(std::move(args));
    }

    std::string Img(const std::string& name) const { return folder_ / (name + ".img"); }

    void Disk(const std::string& name, std::uint64_t mib, const std::string& extra = "") {
        ASSERT_EQ(test::RunTool("truncate -s " + std::to_string(mib) + "M " + Q(Img(name))).status,
                  0);
        folder_.Drive(name, "Capacity=" + std::to_string(mib) + "M\n" + extra);
    }

    void Put(const std::string& name, const std::string& part, std::uint64_t at) {
        ASSERT_EQ(test::RunTool("dd if=" + Q(part) + " of=" + Q(Img(name)) + " bs=1M seek=" +
                                std::to_string(at) + " oflag=seek_bytes conv=notrunc status=none")
                      .status,
                  0);
    }
    void Fat(const std::string& name, std::uint64_t at, std::uint64_t bytes) {
        const std::string p = folder_ / "fat.part";
        test::RunTool("rm -f " + Q(p));
        ASSERT_EQ(test::RunTool("mkfs.fat -C " + Q(p) + " " + std::to_string(bytes / 1024) +
                                " >/dev/null 2>&1")
                      .status,
                  0);
        Put(name, p, at);
    }
    void Ext4(const std::string& name, std::uint64_t at, std::uint64_t bytes) {
        const std::string p = folder_ / "ext.part";
        ASSERT_EQ(test::RunTool("rm -f " + Q(p) + " && truncate -s " + std::to_string(bytes) + " " +
                                Q(p) + " && mkfs.ext4 -q -F -b 4096 " + Q(p) + " >/dev/null 2>&1")
                      .status,
                  0);
        Put(name, p, at);
    }
    void Random(const std::string& name, std::uint64_t at, std::uint64_t bytes) {
        ASSERT_EQ(test::RunTool("head -c " + std::to_string(bytes) + " /dev/urandom | dd of=" +
                                Q(Img(name)) + " bs=1M seek=" + std::to_string(at) +
                                " oflag=seek_bytes conv=notrunc status=none")
                      .status,
                  0);
    }

    // 96 MiB, MBR: FAT16 (16 MiB) primary; ext4 (40 MiB) and random bytes (20 MiB) as logicals.
    void MbrSource(const std::string& name) {
        Disk(name, 96);
        const std::string cmd = "sfdisk -q " + Q(Img(name)) +
                                " >/dev/null 2>&1 <<'EOF'\nlabel: dos\n"
                                "start=2048, size=32768, type=6\n"
                                "start=34816, type=5\n"
                                "start=36864, size=81920, type=83\n"
                                "start=120832, size=40960, type=82\n"
                                "EOF";
        ASSERT_EQ(test::RunTool(cmd).status, 0);
        Fat(name, 2048 * 512, 16 * kMiB);
        Ext4(name, 36864 * 512, 40 * kMiB);
        Random(name, 120832 * 512, 20 * kMiB);
        source_ = {{2048, 32768, "fat"}, {36864, 81920, "ext4"}, {120832, 40960, "raw"}};
    }
    // 96 MiB, GPT: an ESP with FAT (32 MiB), a reserved partition of random bytes (16 MiB), a
    // recovery partition with the required attribute holding ext4 (20 MiB).
    void GptSource(const std::string& name) {
        Disk(name, 96);
        ASSERT_EQ(test::RunTool("sgdisk -o -n 1:2048:+32M -t 1:ef00 -n 2:0:+16M -t 2:0c01 "
                                "-n 3:0:+20M -t 3:2700 -A 3:set:0 " +
                                Q(Img(name)) + " >/dev/null 2>&1")
                      .status,
                  0);
        Fat(name, kMiB, 32 * kMiB);
        Random(name, 33 * kMiB, 16 * kMiB);
        Ext4(name, 49 * kMiB, 20 * kMiB);
        source_ = {{2048, 65536, "fat"}, {67584, 32768, "raw"}, {100352, 40960, "ext4"}};
    }

    struct SourcePart {
        std::uint64_t start, size;
        const char* kind;
    };

    // Every source partition found on the target in order, at least its length, its bytes the
    // source's, its file system sound.
    void CheckTarget(const std::string& src, const std::string& dst) {
        std::string dump;
        const std::vector<Extent> got = SfdiskExtents(Img(dst), &dump);
        ASSERT_EQ(got.size(), source_.size()) << dump;
        for (std::size_t i = 0; i < got.size(); ++i) {
            SCOPED_TRACE(i);
            const SourcePart& s = source_[i];
            EXPECT_GE(got[i].size, s.size);
            EXPECT_EQ(got[i].start % 2048, 0u) << "not on a MiB boundary";
            EXPECT_EQ(Sha(Img(src), s.start * 512, s.size * 512),
                      Sha(Img(dst), got[i].start * 512, s.size * 512));
            const std::string part = folder_ / "check.part";
            ASSERT_EQ(test::RunTool("dd if=" + Q(Img(dst)) + " of=" + Q(part) +
                                    " bs=1M skip=" + std::to_string(got[i].start * 512) +
                                    " count=" + std::to_string(s.size * 512) +
                                    " iflag=skip_bytes,count_bytes status=none")
                          .status,
                      0);
            if (std::string(s.kind) == "fat") {
                const auto r = test::RunTool("fsck.fat -n " + Q(part) + " 2>&1");
                EXPECT_EQ(r.status, 0) << r.output;
            } else if (std::string(s.kind) == "ext4") {
                const auto r = test::RunTool("e2fsck -fn " + Q(part) + " 2>&1");
                EXPECT_EQ(r.status, 0) << r.output;
            }
        }
    }

    test::SimFolder folder_;
    std::vector<SourcePart> source_;
};

struct CloneCase {
    const char* what;
    bool gpt;
    std::uint64_t targetMiB;
};

TEST_F(CloneCommand, WholeDisksOntoLargerAndSmallerTargets) {
    const CloneCase cases[] = {
        {"mbr_larger", false, 160},
        {"mbr_smaller", false, 88},
        {"gpt_larger", true, 200},
        {"gpt_smaller", true, 80},
    };
    for (const CloneCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string src = std::string("s_") + c.what, dst = std::string("t_") + c.what;
        if (c.gpt)
            GptSource(src);
        else
            MbrSource(src);
        Disk(dst, c.targetMiB);
        const auto r = Clone({src, dst, "--yes", "--json", "--log-dir", folder_ / "logs"});
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const std::string json = test::Flat(r.out);
        EXPECT_NE(json.find("\"result\": \"completed\""), std::string::npos) << json;
        EXPECT_NE(json.find("\"log\": null"), std::string::npos) << json;
        CheckTarget(src, dst);
        if (c.gpt) {
            const auto v = test::RunTool("sgdisk -v " + Q(Img(dst)) + " 2>&1");
            EXPECT_NE(v.output.find("No problems found"), std::string::npos) << v.output;
            EXPECT_EQ(v.output.find("Caution"), std::string::npos) << v.output;
            // The ESP and the required recovery partition keep their types and sizes.
            const std::string d = test::RunTool("sfdisk -d " + Q(Img(dst))).output;
            EXPECT_NE(d.find("size=       65536, type=C12A7328-F81F-11D2-BA4B-00A0C93EC93B"),
                      std::string::npos)
                << d;
            EXPECT_NE(d.find("attrs=\"RequiredPartition\""), std::string::npos) << d;
        } else {
            const auto f = test::RunTool("fdisk -l " + Q(Img(dst)) + " 2>&1");
            EXPECT_EQ(f.output.find("does not start on physical sector boundary"),
                      std::string::npos)
                << f.output;
        }
        // The log folder is empty again after a clean clone.
        EXPECT_EQ(test::RunTool("ls -A " + Q(folder_ / "logs")).output, "");
    }
}

TEST_F(CloneCommand, PlanShowsWhereEachPartitionGoesAndWritesNothing) {
    MbrSource("src");
    Disk("dst", 160);
    const std::string before = Sha(Img("dst"), 0, 160 * kMiB);
    const auto r = Clone({"src", "dst", "--plan", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string json = test::Flat(r.out);
    EXPECT_NE(json.find("\"result\": \"planned\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"targetStart\": 4096"), std::string::npos) << json;
    EXPECT_NE(json.find("\"targetStyle\": \"mbr\""), std::string::npos) << json;
    EXPECT_EQ(Sha(Img("dst"), 0, 160 * kMiB), before);
}

TEST_F(CloneCommand, RefusalsLeaveTheTargetUnchanged) {
    MbrSource("src");
    // A source whose last logical partition runs past its disk's end.
    MbrSource("past");
    test::RunTool("truncate -s 70M " + Q(Img("past")));
    folder_.Drive("past", "Capacity=70M\n");
    struct Refusal {
        const char* what;
        const char* source;
        const char* targetDrive; // drive file text of "dst"
        std::uint64_t targetMiB;
        const char* code;
        bool yes = true;
    } const table[] = {
        {"same", "src", "", 160, "\"same-disk\""},
        {"system", "src", "SystemDisk=1\n", 160, "\"system-disk\""},
        {"mounted", "src", "MountedVolume=1\n", 160, "\"mounted\""},
        {"sector_size", "src", "SectorSize=4096\n", 160, "\"sector-size\""},
        {"too_small", "src", "", 60, "\"does-not-fit\""},
        {"past_the_end", "past", "", 160, "\"does-not-fit\""},
        {"no_terminal", "src", "", 160, nullptr, false},
    };
    for (const Refusal& t : table) {
        SCOPED_TRACE(t.what);
        Disk("dst", t.targetMiB, t.targetDrive);
        test::RunTool("printf 'old' | dd of=" + Q(Img("dst")) + " conv=notrunc status=none");
        const std::string before = Sha(Img("dst"), 0, t.targetMiB * kMiB);
        std::vector<std::string> args = {t.source, std::string(t.what) == "same" ? "src" : "dst",
                                         "--json"};
        if (t.yes) args.push_back("--yes");
        const auto r = Clone(args);
        EXPECT_EQ(r.status, 3) << r.out << r.err;
        if (t.code) {
            EXPECT_NE(r.out.find(t.code), std::string::npos) << r.out << r.err;
        }
        EXPECT_EQ(Sha(Img("dst"), 0, t.targetMiB * kMiB), before);
    }
}

TEST_F(CloneCommand, AFailedCloneLeavesNoTableAndKeepsItsLog) {
    MbrSource("src");
    // A write fault inside the second partition's new place (from 2 MiB + 16 MiB + gaps).
    Disk("dst", 160, "[Faults]\nWriteErrorAt=120000\n");
    const auto r = Clone({"src", "dst", "--yes", "--json", "--log-dir", folder_ / "logs"});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    const std::string json = test::Flat(r.out);
    EXPECT_NE(json.find("\"result\": \"failed\""), std::string::npos) << json;
    const std::smatch m = [&] {
        std::smatch s;
        std::regex_search(json, s, std::regex("\"log\": \"([^\"]+)\""));
        return s;
    }();
    ASSERT_EQ(m.size(), 2u) << json;
    std::ifstream log(m[1].str(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(log)), {});
    std::string text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
        text.push_back(bytes[i]);
    EXPECT_NE(text.find("DriveCopySectors write fail"), std::string::npos) << text;
    EXPECT_NE(text.find("Layout not written"), std::string::npos) << text;
    // No table: nothing points at the half-written partitions.
    EXPECT_TRUE(SfdiskExtents(Img("dst")).empty());
    EXPECT_NE(test::RunTool("sfdisk -d " + Q(Img("dst")) + " 2>&1").output.find("does not contain"),
              std::string::npos);
}

TEST_F(CloneCommand, LoopDevicesThroughTheLinuxBackEnd) {
    if (::geteuid() != 0) GTEST_SKIP() << "loop devices need root";
    if (::access("/dev/loop-control", F_OK) != 0 || !test::HaveTool("losetup"))
        GTEST_SKIP() << "no loop devices here";
    MbrSource("src");
    Disk("dst", 160);
    std::vector<std::string> loops;
    const auto attach = [&](const std::string& img) {
        auto r = test::RunTool("losetup -f --show " + Q(img));
        std::string dev = r.output;
        while (!dev.empty() && dev.back() == '\n')
            dev.pop_back();
        if (r.status == 0 && !dev.empty()) loops.push_back(dev);
        return r.status == 0 ? dev : std::string();
    };
    const std::string src = attach(Img("src")), dst = attach(Img("dst")), twin = attach(Img("src"));
    // The machine's back end is made once per process: it is told to list loop devices.
    auto& native = static_cast<LinuxStorage&>(NativeStorage());
    const bool listed = native.IncludeLoop();
    native.SetIncludeLoop(true);
    if (!src.empty() && !dst.empty() && !twin.empty()) {
        // Two loop devices over one file are one disk.
        const auto same = test::RunTool({"clone", src, twin, "--yes", "--json"});
        EXPECT_EQ(same.status, 3) << same.out << same.err;
        EXPECT_NE(same.out.find("\"same-disk\""), std::string::npos) << same.out;
        const auto r =
            test::RunTool({"clone", src, dst, "--yes", "--json", "--log-dir", folder_ / "logs"});
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        test::RunTool("sync");
    }
    native.SetIncludeLoop(listed);
    for (const std::string& l : loops)
        test::RunTool("losetup -d " + l);
    if (src.empty() || dst.empty() || twin.empty()) GTEST_SKIP() << "no free loop device";
    CheckTarget("src", "dst");
}

// The sector engine grows an NTFS partition without growing its volume; the system and ntfs-3g
// look for the backup boot sector in the partition's last sector, so it must be there too.
TEST_F(CloneCommand, GrownNtfsPartitionKeepsABackupBootSectorAtItsEnd) {
    for (const char* tool : {"mkntfs", "ntfsfix"})
        if (!test::HaveTool(tool)) GTEST_SKIP() << tool << " is not installed (setup.sh)";
    Disk("s_ntfs", 64);
    ASSERT_EQ(test::RunTool("sfdisk -q " + Q(Img("s_ntfs")) +
                            " >/dev/null 2>&1 <<'EOF'\nlabel: dos\nstart=2048, size=61440, type=7\n"
                            "EOF")
                  .status,
              0);
    const std::string p = folder_ / "ntfs.part";
    ASSERT_EQ(test::RunTool("truncate -s 30M " + Q(p) +
                            " && mkntfs -F -Q -q -L SRC -s 512 -p 2048 " + Q(p) +
                            " >/dev/null 2>&1")
                  .status,
              0);
    Put("s_ntfs", p, kMiB);
    Disk("t_ntfs", 160);
    const auto r = Clone({"s_ntfs", "t_ntfs", "--yes", "--log-dir", folder_ / "logs"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::vector<Extent> got = SfdiskExtents(Img("t_ntfs"));
    ASSERT_EQ(got.size(), 1u);
    ASSERT_GT(got[0].size, 61440u) << "the partition did not grow; the case shows nothing";
    const std::string part = folder_ / "check.part";
    ASSERT_EQ(test::RunTool("dd if=" + Q(Img("t_ntfs")) + " of=" + Q(part) +
                            " bs=1M skip=" + std::to_string(got[0].start * 512) +
                            " count=" + std::to_string(got[0].size * 512) +
                            " iflag=skip_bytes,count_bytes status=none")
                  .status,
              0);
    const auto f = test::RunTool("ntfsfix -n " + Q(part) + " 2>&1");
    EXPECT_EQ(f.status, 0) << f.output;
    EXPECT_EQ(Sha(Img("s_ntfs"), kMiB, 30 * kMiB),
              Sha(Img("t_ntfs"), got[0].start * 512, 30 * kMiB));
}

} // namespace
} // namespace tvd::cli
