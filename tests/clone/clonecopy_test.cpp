// Disk and partition objects and the sector copy on simulated drives the tests make: every
// partition copied and compared byte for byte, the signature stamp, zero-length copies, cancel
// between read and write, a failing target write mid-partition, and the refusals of the
// clone's open.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "clone/cldiskcloneprocess.h"
#include "clone/kernelclonefun.h"
#include "storage/fsrecognizeutil.h"
#include "storage/sim/simstorage.h"
#include "storage/simfolder.h"

namespace tvd {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint64_t kMiB = 1ull << 20;

// A context that keeps the lines it is given.
class RecordingContext : public clCustomCloneInterface {
public:
    void LogLine(std::string_view t) override { lines.push_back(std::string(t)); }
    void LogNote(std::string_view t) override { lines.push_back("! " + std::string(t)); }
    void LogError(std::string_view t) override { lines.push_back("** " + std::string(t)); }
    void LogLineW(std::u16string_view t) override { lines.push_back(Narrow(t)); }
    void LogNoteW(std::u16string_view t) override { lines.push_back("! " + Narrow(t)); }
    void LogErrorW(std::u16string_view t) override { lines.push_back("** " + Narrow(t)); }
    void OnSourceSectorsRead(ByteView, std::uint64_t, std::uint64_t) override {
        ++reads;
        if (cancelOnRead && reads == cancelOnRead) Cancel(GetStep().get());
    }
    static std::string Narrow(std::u16string_view t) {
        std::string s;
        for (char16_t u : t)
            s.push_back(char(u));
        return s;
    }
    std::vector<std::string> lines;
    int reads = 0, cancelOnRead = 0;
};

class CloneCopy : public ::testing::TestWithParam<std::uint32_t> {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.Path().empty());
        auto ctx = std::make_unique<RecordingContext>();
        ctx_ = ctx.get();
        previous_ = CloneInterfaceReplace(std::move(ctx));
    }
    void TearDown() override {
        SelectStorage(nullptr);
        sim_.reset();
        CloneInterfaceReplace(std::move(previous_));
        SharedBufferRelease();
    }
    std::uint32_t Bps() const { return GetParam(); }

    // Source: three MBR partitions of 8, 5 and the rest MiB, random contents; target: the same
    // size, filled with 0xEE so that anything not copied shows.
    void MakeDrives(const std::string& targetExtra = "", const std::string& sourceExtra = "") {
        const std::string ss = "SectorSize=" + std::to_string(Bps()) + "\n";
        dir_.Drive("src", "Capacity=32M\n" + ss + "Layout=mbr:8M/83,5M/0c,rest/07\n" + sourceExtra);
        dir_.Drive("dst", "Capacity=32M\n" + ss + targetExtra);
        Open();
        std::mt19937 rng(Bps());
        Bytes fill(32 * kMiB - kMiB);
        for (auto& b : fill)
            b = std::uint8_t(rng());
        ASSERT_EQ(Write("src", kMiB, fill), 0u);
        // The second partition carries a FAT16 boot sector, the others none.
        Bytes boot(Bps(), 0);
        std::memcpy(boot.data() + 54, "FAT16   ", 8);
        boot[510] = 0x55;
        boot[511] = 0xAA;
        ASSERT_EQ(Write("src", 9 * kMiB, boot), 0u);
        // Straight into the image: the target's injected faults refuse the drive's own writes.
        dir_.Patch("dst.img", 0, Bytes(32 * kMiB, 0xEE));
    }
    void Open() {
        ErrorCode e = 0;
        sim_ = SimStorage::Create(dir_.Path(), e);
        ASSERT_TRUE(sim_) << e;
        SelectStorage(sim_.get());
    }
    ErrorCode Write(const std::string& name, std::uint64_t offset, const Bytes& data) {
        DeviceHandle h;
        if (ErrorCode e = sim_->Open("SIM\\" + name, h)) return e;
        return sim_->WriteAt(h, offset, data);
    }
    Bytes Read(const std::string& name, std::uint64_t offset, std::size_t n) {
        Bytes out(n);
        DeviceHandle h;
        EXPECT_EQ(sim_->Open("SIM\\" + name, h), 0u);
        EXPECT_EQ(sim_->ReadAt(h, offset, out), 0u);
        return out;
    }

    // The disk process over the two drives, one partition process per source partition at the
    // same place on the target.
    void Build() {
        ASSERT_EQ(source_.SetDevicePath("SIM\\src", false), 0u);
        ASSERT_EQ(target_.SetMemberPath(0, "SIM\\dst"), 0u);
        ASSERT_EQ(source_.drives.Count(), 3u);
        process_ = std::make_unique<clDiskCloneProcess>(&source_, &target_);
        ASSERT_TRUE(CloneCreateStep());
        process_->step = CloneGetStep();
        for (clZoltObject* o : source_.drives) {
            auto* d = static_cast<clFunDrive*>(o);
            auto p = CreateDriveCloneProcess(process_.get(), d, d->Offset() / Bps(),
                                             d->Length() / Bps());
            ASSERT_TRUE(p);
            process_->partitions.push_back(std::move(p));
        }
    }
    bool HasLine(const std::string& prefix) const {
        for (const auto& l : ctx_->lines)
            if (l.rfind(prefix, 0) == 0) return true;
        return false;
    }

    test::SimFolder dir_;
    std::unique_ptr<SimStorage> sim_;
    RecordingContext* ctx_ = nullptr;
    std::unique_ptr<clCustomCloneInterface> previous_;
    clCloneSourceDisk source_;
    clCloneTargetDisk target_;
    std::unique_ptr<clDiskCloneProcess> process_;
};

TEST_P(CloneCopy, EveryPartitionCopiedWholeWithProgress) {
    MakeDrives();
    Build();
    const std::uint8_t kinds[] = {fskind::kNone, fskind::kFat16, fskind::kNone};
    ASSERT_TRUE(CreateCopyEngines(process_.get()));
    clDriveCloneProcess* first = process_->partitions[0].get();
    EXPECT_EQ(first->FindPartitionByOffset(9 * kMiB), process_->partitions[1].get());
    EXPECT_EQ(first->FindPartitionByOffset(9 * kMiB + 512), nullptr);
    std::uint8_t guid[16];
    process_->partitions[2]->source->GetPartitionGuid(guid);
    EXPECT_EQ(Le<std::uint64_t>(ByteView(guid, 16), 0), 14 * kMiB); // MBR: made from the offset
    EXPECT_EQ(first->FindPartitionByGuid(guid), process_->partitions[2].get());
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(process_->engines[i]) << i;
        EXPECT_EQ(process_->partitions[i]->source->fsKind, kinds[i]) << i;
    }
    // Kind 0 is copied too, with a note naming the partition's type.
    EXPECT_TRUE(HasLine("! [0] MBR type 0x83 holds no recognised file system"));
    EXPECT_TRUE(HasLine("! [2] MBR type 0x07 holds no recognised file system"));
    ASSERT_EQ(PrepareCopyEngines(process_.get()), 0u);
    // Each target partition's first sector is zeroed before any copying.
    EXPECT_EQ(Read("dst", 9 * kMiB, Bps()), Bytes(Bps(), 0));
    EXPECT_TRUE(HasLine("DiskClone ItemCount=[3], Read=[32505856], Write=[32505856]"));
    ASSERT_EQ(RunCopyEngines(process_.get()), 0u);
    EXPECT_EQ(CloneErrorCount(), 0u);
    EXPECT_EQ(CloneGetStage(), clonestage::kCopy);
    EXPECT_DOUBLE_EQ(Percent(process_->step.get()), 100);
    EXPECT_EQ(process_->step->doneWrite.load(), 31 * kMiB);
    for (const auto& p : process_->partitions)
        EXPECT_EQ(p->target->highWater, p->target->fsInfo.sectorCount);
    // The partitions hold what the source holds; the MBR area before them was not touched.
    EXPECT_TRUE(Read("dst", kMiB, 31 * kMiB) == Read("src", kMiB, 31 * kMiB));
    EXPECT_EQ(Read("dst", 0, kMiB), Bytes(kMiB, 0xEE));
}

TEST_P(CloneCopy, SignatureStampAndClearKeepLaterChunksZero) {
    MakeDrives();
    Build();
    target_.SetSignature(0x12345678);
    Bytes sector(Bps(), 0xAB);
    ASSERT_EQ(target_.WriteSectors(sector.data(), 0, 1), 0u);
    const Bytes back = Read("dst", 0, Bps());
    EXPECT_EQ(Le<std::uint32_t>(back, 440), 0x12345678u);
    EXPECT_EQ(back[439], 0xAB);
    EXPECT_EQ(back[444], 0xAB);
    // A clear from sector 0 over several chunks: only sector 0 carries the stamp.
    const std::uint64_t sectors = 3 * kMiB / Bps();
    ASSERT_EQ(target_.ClearSectors(0, sectors), 0u);
    Bytes expected(3 * kMiB, 0);
    StoreLe<std::uint32_t>(expected, 440, 0x12345678u);
    EXPECT_TRUE(Read("dst", 0, 3 * kMiB) == expected);
    EXPECT_EQ(Read("dst", 3 * kMiB, 16), Bytes(16, 0xEE));
}

TEST_P(CloneCopy, EmptyCopyAndCancelBetweenReadAndWrite) {
    MakeDrives();
    Build();
    ASSERT_TRUE(CreateCopyEngines(process_.get()));
    clDriveCloneProcess* p = process_->partitions[0].get();
    ctx_->reads = 0; // the boot sectors were read
    Start(process_->step.get());
    AddPlannedRead(p->step.get(), 1);
    AddPlannedWrite(p->step.get(), 1);
    EXPECT_EQ(DriveCopySectors(p, 0, 0, 0), 0u);
    EXPECT_EQ(ctx_->reads, 0);
    // The first read cancels: the copy stops before writing, with the read counted.
    ctx_->cancelOnRead = 1;
    EXPECT_EQ(DriveCopySectors(p, 0, 0, 4 * kMiB / Bps()), err::kCancelled);
    EXPECT_EQ(p->step->doneRead.load(), kMiB);
    EXPECT_EQ(p->step->doneWrite.load(), 0u);
    EXPECT_TRUE(HasLine("DriveCopySectors Cancelled"));
    EXPECT_EQ(Read("dst", kMiB, 16), Bytes(16, 0xEE));
    // Cancelled before anything: nothing is read at all.
    EXPECT_EQ(DiskCopySectors(process_.get(), 0, 0, 10), err::kCancelled);
    EXPECT_EQ(ctx_->reads, 1);
}

// The copy reads the next chunk while the previous one is written: whatever stops it (cancel,
// a read error), every chunk before the stop is on the target, nothing after it, and no write
// is left running. A count off the chunk size is copied exactly.
TEST_P(CloneCopy, OverlappedCopyStopsBetweenChunks) {
    const std::uint64_t chunk = kMiB / Bps();
    // A bad source sector in the third chunk of the third partition (which starts at 14 MiB).
    const std::uint64_t bad = (14 * kMiB + 2 * kMiB + 8192) / Bps();
    MakeDrives("", "[Faults]\nReadErrorAt=" + std::to_string(bad) + "\n");
    Build();
    ASSERT_TRUE(CreateCopyEngines(process_.get()));
    struct Case {
        const char* name;
        std::size_t partition;
        int cancelOnRead;
        std::uint64_t count;
        bool fails;
        std::uint64_t written; // sectors on the target afterwards
    };
    const Case cases[] = {
        {"whole", 0, 0, 5 * chunk + 3, false, 5 * chunk + 3},
        {"cancel on third read", 0, 3, 6 * chunk, true, 2 * chunk},
        {"read error in third chunk", 2, 0, 6 * chunk, true, 2 * chunk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dir_.Patch("dst.img", 0, Bytes(32 * kMiB, 0xEE));
        ctx_->lines.clear();
        ctx_->reads = 0;
        ctx_->cancelOnRead = c.cancelOnRead;
        clDriveCloneProcess* p = process_->partitions[c.partition].get();
        p->target->highWater = 0;
        Start(process_->step.get());
        Start(p->step.get());
        AddPlannedWrite(p->step.get(), 1);
        const ErrorCode e = DriveCopySectors(p, 0, 0, c.count);
        EXPECT_EQ(e != 0, c.fails) << e;
        if (c.cancelOnRead) {
            EXPECT_EQ(e, err::kCancelled);
        }
        EXPECT_EQ(p->step->doneWrite.load(), c.written * Bps());
        EXPECT_EQ(p->target->highWater, c.written);
        const std::uint64_t at = p->source->GetStartOffset();
        const std::size_t bytes = std::size_t(c.written * Bps());
        EXPECT_TRUE(Read("dst", at, bytes) == Read("src", at, bytes));
        EXPECT_EQ(Read("dst", at + bytes, Bps()), Bytes(Bps(), 0xEE));
        EXPECT_EQ(HasLine("DriveCopySectors Cancelled"), c.cancelOnRead != 0);
        EXPECT_EQ(HasLine("** DriveCopySectors read fail"), c.fails && !c.cancelOnRead);
    }
}

TEST_P(CloneCopy, TargetWriteFailureStopsOnlyItsPartition) {
    // A bad sector in the middle of the second partition (which starts at 9 MiB).
    const std::uint64_t bad = (9 * kMiB + 2 * kMiB + 4096) / Bps();
    MakeDrives("[Faults]\nWriteErrorAt=" + std::to_string(bad) + "\n");
    Build();
    ASSERT_TRUE(CreateCopyEngines(process_.get()));
    ASSERT_EQ(PrepareCopyEngines(process_.get()), 0u);
    ASSERT_EQ(RunCopyEngines(process_.get()), 0u);
    EXPECT_EQ(CloneErrorCount(), 2u);
    const std::uint64_t chunk = kMiB / Bps();
    const std::uint64_t lba = (9 * kMiB + 2 * kMiB) / Bps();
    const std::string fail = "** Target Disk [0] Write fail, LBA=[" + std::to_string(lba) +
                             "], Count=[" + std::to_string(chunk) + "], Error(29)";
    std::size_t at = 0;
    for (; at < ctx_->lines.size(); ++at)
        if (ctx_->lines[at].rfind(fail, 0) == 0) break;
    ASSERT_LT(at + 1, ctx_->lines.size()) << fail;
    EXPECT_EQ(ctx_->lines[at + 1].rfind("** DriveCopySectors write fail, Error(29)", 0), 0u)
        << ctx_->lines[at + 1];
    // The third partition is still copied; the failed one keeps a zeroed boot sector.
    EXPECT_TRUE(Read("dst", 14 * kMiB, 18 * kMiB) == Read("src", 14 * kMiB, 18 * kMiB));
    EXPECT_TRUE(Read("dst", kMiB, 8 * kMiB) == Read("src", kMiB, 8 * kMiB));
    EXPECT_EQ(Read("dst", 9 * kMiB, Bps()), Bytes(Bps(), 0));
}

INSTANTIATE_TEST_SUITE_P(SectorSizes, CloneCopy, ::testing::Values(512u, 4096u));

TEST(CloneOpen, RefusalsAndFacts) {
    test::SimFolder dir;
    dir.Drive("sys", "Capacity=16M\nSystemDisk=1\n");
    dir.Drive("busy", "Capacity=16M\nMountedVolume=1\n");
    dir.Drive("ro", "Capacity=16M\nReadOnly=1\n");
    dir.Drive("free", "Capacity=16M\n");
    ErrorCode e = 0;
    auto sim = SimStorage::Create(dir.Path(), e);
    ASSERT_TRUE(sim);
    SelectStorage(sim.get());
    struct Case {
        const char* name;
        bool system, mounted;
        ErrorCode target;
    };
    for (const Case& c : {Case{"sys", true, false, 0}, Case{"busy", false, true, 32},
                          Case{"ro", false, false, 0}, Case{"free", false, false, 0}}) {
        CloneDiskFacts facts;
        ASSERT_EQ(Storage().QueryCloneFacts(std::string("SIM\\") + c.name, facts), 0u);
        EXPECT_EQ(facts.systemDisk, c.system) << c.name;
        EXPECT_EQ(facts.mountedVolume, c.mounted) << c.name;
        clCloneTargetDisk t;
        EXPECT_EQ(t.SetMemberPath(0, std::string("SIM\\") + c.name), c.target) << c.name;
        // A source opens whatever it holds, and never writes.
        clWinDiskObject s;
        ASSERT_EQ(s.Open(std::string("SIM\\") + c.name, CloneOpenMode::kSource), 0u) << c.name;
        EXPECT_FALSE(s.writable);
        AlignedBuffer b;
        ASSERT_TRUE(b.Allocate(512));
        EXPECT_EQ(s.WriteSectors(b.Data(), 1, 1), err::kWriteProtect);
        EXPECT_EQ(s.ReadSectors(b.Data(), 1, 1), 0u);
    }
    // A write-protected target writes nothing.
    clCloneTargetDisk ro;
    ASSERT_EQ(ro.SetMemberPath(0, "SIM\\ro"), 0u);
    AlignedBuffer b;
    ASSERT_TRUE(b.Allocate(512));
    EXPECT_NE(ro.WriteSectors(b.Data(), 5, 1), 0u);
    CloneDiskFacts facts;
    EXPECT_EQ(Storage().QueryCloneFacts("SIM\\missing", facts), err::kFileNotFound);
    clWinDiskObject none;
    EXPECT_EQ(none.Open("SIM\\missing", CloneOpenMode::kSource), err::kFileNotFound);
    std::uint8_t byte;
    ErrorCode re = 0;
    EXPECT_EQ(none.ReadBytes(&byte, 0, 1, re), 0u);
    EXPECT_EQ(re, err::kFileNotFound);
    SelectStorage(nullptr);
}

// A disk whose transfers stop short without an error: the device's end.
class ShortDisk : public clCustomDiskObject {
public:
    std::uint32_t ReadBytes(void*, std::uint64_t offset, std::uint32_t length,
                            ErrorCode& e) override {
        e = 0;
        return offset < 1024 ? std::min<std::uint32_t>(length, 512) : 0;
    }
    std::uint32_t WriteBytes(const void*, std::uint64_t, std::uint32_t, ErrorCode& e) override {
        e = 0;
        return 0;
    }
};

TEST(CloneDiskObject, ZeroTransfersEndAndSignaturesAreDrawnApart) {
    ShortDisk d;
    d.readable = d.writable = true;
    Bytes buf(4096);
    EXPECT_EQ(d.ReadBytesAll(buf.data(), 0, 1024), 0u);
    EXPECT_EQ(d.ReadBytesAll(buf.data(), 0, 4096), err::kHandleEof);
    EXPECT_EQ(d.WriteBytesAll(buf.data(), 0, 512), err::kHandleEof);
    EXPECT_EQ(d.ReadSectors(buf.data(), ~0ull / 2, 4), err::kInvalidParameter);
    clCustomDiskObject base;
    EXPECT_EQ(base.ReadSectors(buf.data(), 0, 1), err::kAccessDenied);
    EXPECT_EQ(base.WriteSectors(buf.data(), 0, 1), err::kWriteProtect);
    EXPECT_EQ(base.DeleteLayout(), err::kAccessDenied);

    clCustomDiskObject s;
    s.avoidSignatures = {0x11111111, 0x22222222};
    std::set<std::uint32_t> seen;
    for (int i = 0; i < 200; ++i) {
        s.NewSignature();
        EXPECT_NE(s.GetSignature(), 0u);
        EXPECT_NE(s.GetSignature(), 0x11111111u);
        seen.insert(s.GetSignature());
    }
    EXPECT_GT(seen.size(), 190u);
    s.SetSignature(0xA1B2C3D4);
    s.GuidFromSignature();
    EXPECT_EQ(Le<std::uint32_t>(ByteView(s.diskGuid, 16), 0), 0xA1B2C3D4u);
    EXPECT_EQ(Le<std::uint64_t>(ByteView(s.diskGuid, 16), 8), 0u);
}

} // namespace
} // namespace tvd
