// A stop while the drive sanitizes: the run stops waiting, reports the outcome unknown and not
// done, and the drive goes on sanitizing (nothing is sent into it).
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "cli/storagesession.h"
#include "drive/kernelfun.h"
#include "jobs/cljobdiskerase.h"
#include "storage/simfolder.h"

namespace tvd {
namespace {

TEST(SanitizeStop, StopLeavesTheSanitizeRunningAndNotDone) {
    test::SimFolder folder;
    folder.Drive("nv", "Bus=NVMe\nCapacity=1M\n[Nvme]\nSanicap=2\nSanitizeSeconds=600\n");
    folder.Write("nv.img", std::string(1 << 20, 'x'));
    cli::StorageSession session;
    std::string problem;
    ASSERT_EQ(session.Open(folder.Path(), problem, nullptr, false), err::kSuccess) << problem;
    clDisk* disk = session.FindDisk("nv");
    ASSERT_NE(disk, nullptr);
    ZoltRef<clFunDisk> fd = FunDiskCreate(disk);
    ASSERT_TRUE(fd);
    const std::uint8_t method = EraseMethodFor(fd.Get());
    ASSERT_TRUE(EraseMethodIsSanitize(method)) << int(method);
    auto job = MakeZoltRef<clJobDiskErase>();
    job->method = method;
    job->SetDisk(fd.Get());
    std::thread stopper([&] {
        while (!job->SanitizeStarted() && !job->Done())
            std::this_thread::yield();
        job->Abort();
    });
    job->Run();
    stopper.join();
    EXPECT_TRUE(job->SanitizeStarted());
    EXPECT_TRUE(job->IsAborted());
    EXPECT_NE(GetJobOutcome(job.Get()), JobOutcome::kDone);
    EXPECT_TRUE(job->SanitizeOutcomeUnknown());
    EXPECT_EQ(job->SanitizeActionSent(), 2);
    // The drive is still at work: it serves no sectors.
    DeviceHandle h;
    ASSERT_EQ(Storage().Open("SIM\\nv", h), err::kSuccess);
    std::vector<std::uint8_t> sector(512);
    EXPECT_EQ(Storage().ReadAt(h, 0, sector), err::kNotReady);
}

} // namespace
} // namespace tvd
