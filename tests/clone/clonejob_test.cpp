// The clone job on simulated drives (both builds): a whole MBR disk with logical partitions onto
// a larger target and onto an equal one; what the target's table reads back and each
// partition's bytes; the log discarded after a clean clone; an aborted and a failing clone keep
// their log and leave no table.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "clone/cljobclonedrive.h"
#include "clone/clonelayout.h"
#include "clone/kernelclonefun.h"
#include "storage/partitiontableutil.h"
#include "storage/sim/simstorage.h"
#include "storage/simfolder.h"

namespace tvd {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint64_t kMiB = 1ull << 20;

// The program's context with a hook: the job is aborted after a number of source reads.
class AbortingContext : public clCloneInterface {
public:
    void OnSourceSectorsRead(ByteView, std::uint64_t, std::uint64_t) override {
        if (job && ++reads == abortAfter) job->Abort();
    }
    clJobCloneDrive* job = nullptr;
    int reads = 0, abortAfter = 0;
};

class CloneJob : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.Path().empty());
        auto ctx = std::make_unique<AbortingContext>();
        ctx_ = ctx.get();
        previous_ = CloneInterfaceReplace(std::move(ctx));
        std::filesystem::create_directories(dir_ / "logs");
        const auto u8 = (dir_ / "logs").u16string();
        CloneSetLogBase(std::u16string(u8.begin(), u8.end()));
    }
    void TearDown() override {
        SelectStorage(nullptr);
        sim_.reset();
        CloneInterfaceReplace(std::move(previous_));
        SharedBufferRelease();
    }

    // 32 MiB, MBR: two primaries, and two logical partitions in an extended one.
    void MakeSource() {
        dir_.Drive("src", "Capacity=32M\n");
        { std::ofstream(dir_ / "src.img", std::ios::binary); }
        std::filesystem::resize_file(dir_ / "src.img", 32 * kMiB);
        const auto entry = [](std::uint8_t type, std::uint64_t startMiB, std::uint64_t sizeMiB) {
            Bytes e(16, 0);
            e[4] = type;
            StoreLe<std::uint32_t>(e, 8, std::uint32_t(startMiB * 2048));
            StoreLe<std::uint32_t>(e, 12, std::uint32_t(sizeMiB * 2048));
            return e;
        };
        const auto table = [&](std::uint64_t at, std::vector<Bytes> entries) {
            Bytes sector(512, 0);
            for (std::size_t i = 0; i < entries.size(); ++i)
                std::memcpy(&sector[446 + 16 * i], entries[i].data(), 16);
            sector[510] = 0x55;
            sector[511] = 0xAA;
            dir_.Patch("src.img", at * kMiB, sector);
        };
        table(0, {entry(0x0C, 1, 4), entry(0x83, 5, 4), entry(0x05, 9, 22)});
        // Logical starts relative to their record, links relative to the container.
        table(9, {entry(0x83, 1, 10), entry(0x05, 11, 11)});
        table(20, {entry(0x82, 1, 10)});
    }
    void Open() {
        ErrorCode e = 0;
        sim_ = SimStorage::Create(dir_.Path(), e);
        ASSERT_TRUE(sim_) << e;
        SelectStorage(sim_.get());
    }
    void Fill() {
        std::mt19937 rng(7);
        Bytes fill(31 * kMiB);
        for (auto& b : fill)
            b = std::uint8_t(rng());
        // Into every partition, leaving the tables alone.
        DeviceHandle h;
        ASSERT_EQ(sim_->Open("SIM\\src", h), 0u);
        clCloneSourceDisk probe;
        ASSERT_EQ(probe.SetDevicePath("SIM\\src", false), 0u);
        for (clZoltObject* o : probe.drives) {
            auto* d = static_cast<clFunDrive*>(o);
            ASSERT_EQ(sim_->WriteAt(h, d->Offset(), ByteView(fill).first(d->Length())), 0u);
        }
    }
    Bytes Read(const std::string& name, std::uint64_t offset, std::size_t n) {
        Bytes out(n);
        DeviceHandle h;
        EXPECT_EQ(sim_->Open("SIM\\" + name, h), 0u);
        EXPECT_EQ(sim_->ReadAt(h, offset, out), 0u);
        return out;
    }
    DriveLayout ReadTable(const std::string& name) {
        DriveLayout out;
        DeviceHandle h;
        EXPECT_EQ(sim_->Open("SIM\\" + name, h), 0u);
        std::uint64_t length = 0;
        sim_->GetLength(h, length);
        ReadDriveLayout(
            [&](std::uint64_t off, MutableByteView d) { return sim_->ReadAt(h, off, d); }, 512,
            length, out);
        return out;
    }
    std::vector<const PartitionEntry*> Used(const DriveLayout& l) {
        std::vector<const PartitionEntry*> out;
        for (const PartitionEntry& p : l.partitions)
            if (p.length != 0 && !IsExtendedMbrType(p.mbrType)) out.push_back(&p);
        return out;
    }

    std::uint32_t RunJob(clJobCloneDrive& job) {
        ctx_->job = &job;
        job.Run();
        ctx_->job = nullptr;
        return job.ResultMessage();
    }

    std::string LogText(const std::u16string& path) {
        std::ifstream f(std::filesystem::path(path), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(f)), {});
        std::string text;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            text.push_back(bytes[i]);
        return text;
    }

    test::SimFolder dir_;
    std::unique_ptr<SimStorage> sim_;
    AbortingContext* ctx_ = nullptr;
    std::unique_ptr<clCustomCloneInterface> previous_;
};

TEST_F(CloneJob, WholeDiskOntoLargerAndEqualTargets) {
    MakeSource();
    dir_.Drive("big", "Capacity=64M\n");
    dir_.Drive("same", "Capacity=32M\n");
    Open();
    Fill();
    const DriveLayout source = ReadTable("src");
    const auto parts = Used(source);
    ASSERT_EQ(parts.size(), 4u);
    struct {
        const char* target;
        std::uint32_t message;
    } const cases[] = {{"big", kMsgCloneCompleted}, {"same", kMsgCloneFailed}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        clCloneSourceDisk src;
        clCloneTargetDisk dst;
        ASSERT_EQ(src.SetDevicePath("SIM\\src", false), 0u);
        ASSERT_EQ(dst.SetMemberPath(0, std::string("SIM\\") + c.target), 0u);
        const Bytes before = Read(c.target, 0, 4096);
        clJobCloneDrive job(&src, &dst);
        EXPECT_EQ(RunJob(job), c.message);
        if (c.message != kMsgCloneCompleted) {
            // An equal target cannot take the partitions re-placed on MiB boundaries: refused
            // in the preparation, nothing written, the log says why.
            EXPECT_FALSE(job.Prepared());
            EXPECT_EQ(Read(c.target, 0, 4096), before);
            const std::string log = LogText(job.KeptLog());
            EXPECT_NE(log.find("Layout: the partitions do not fit"), std::string::npos) << log;
            EXPECT_NE(log.find("Create Drive Process fail"), std::string::npos) << log;
            continue;
        }
        EXPECT_TRUE(job.KeptLog().empty());
        EXPECT_TRUE(std::filesystem::is_empty(dir_ / "logs"));
        const DriveLayout got = ReadTable(c.target);
        EXPECT_EQ(got.style, layoutstyle::kMbr);
        EXPECT_EQ(got.mbrSignature, dst.signature);
        EXPECT_NE(got.mbrSignature, source.mbrSignature);
        const auto copies = Used(got);
        ASSERT_EQ(copies.size(), parts.size());
        for (std::size_t i = 0; i < parts.size(); ++i) {
            EXPECT_EQ(copies[i]->startingOffset % kMiB, 0u);
            EXPECT_GE(copies[i]->length, parts[i]->length);
            EXPECT_EQ(copies[i]->mbrType, parts[i]->mbrType);
            // Sector 0 of each partition was cleared before the copy and copied again.
            EXPECT_TRUE(Read("src", parts[i]->startingOffset, parts[i]->length) ==
                        Read(c.target, copies[i]->startingOffset, parts[i]->length))
                << "partition " << i;
        }
        EXPECT_GT(job.BytesCopied(), 0u);
    }
}

TEST_F(CloneJob, AbortedAndFailingClonesLeaveNoTable) {
    MakeSource();
    dir_.Drive("cancel", "Capacity=64M\n");
    dir_.Drive("fault", "Capacity=64M\n");
    Open();
    Fill();
    // A write fault inside the third partition's new place, past its first sector.
    {
        clCloneSourceDisk src;
        clCloneTargetDisk dst;
        ASSERT_EQ(src.SetDevicePath("SIM\\src", false), 0u);
        ASSERT_EQ(dst.SetMemberPath(0, "SIM\\fault"), 0u);
        LayoutPlan plan;
        ASSERT_TRUE(PlanForDisks(src, dst, plan)) << plan.failure;
        dir_.Drive("fault", "Capacity=64M\n[Faults]\nWriteErrorAt=" +
                                std::to_string(plan.parts[2].start + 100) + "\n");
    }
    SelectStorage(nullptr);
    sim_.reset();
    Open();
    struct {
        const char* target;
        int abortAfter;
        std::uint32_t message;
        const char* line;
    } const cases[] = {
        {"cancel", 3, kMsgCloneCanceled, "** Clone Aborted, Error(1223)"},
        {"fault", 0, kMsgCloneFailed, "DriveCopySectors write fail"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        clCloneSourceDisk src;
        clCloneTargetDisk dst;
        ASSERT_EQ(src.SetDevicePath("SIM\\src", false), 0u);
        ASSERT_EQ(dst.SetMemberPath(0, std::string("SIM\\") + c.target), 0u);
        ctx_->reads = 0;
        ctx_->abortAfter = c.abortAfter;
        clJobCloneDrive job(&src, &dst);
        EXPECT_EQ(RunJob(job), c.message);
        const std::string log = LogText(job.KeptLog());
        const std::size_t at = log.find(c.line);
        EXPECT_NE(at, std::string::npos) << log;
        EXPECT_NE(log.find("Clone Stop", at), std::string::npos) << log;
        EXPECT_TRUE(Used(ReadTable(c.target)).empty());
        const Bytes zero0 = Read(c.target, 510, 2);
        EXPECT_FALSE(zero0[0] == 0x55 && zero0[1] == 0xAA);
    }
}

} // namespace
} // namespace tvd
