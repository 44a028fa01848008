#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "report/infoexportutil.h"
#include "report/infowriteutil.h"
#include "storage/simfolder.h"
#include "storage/deviceregistry.h"

namespace tvd {
namespace {

namespace fs = std::filesystem;

TEST(ReportFile, FullDeviceFailsTheReport) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no writable /dev/full";
    FileReportSink sink;
    ASSERT_EQ(sink.Create("/dev/full"), err::kSuccess);
    ReportWriter w(&sink);
    // Small writes may sit in no buffer at all: the first one already fails.
    EXPECT_FALSE(w.Bom() && w.Line("x"));
    EXPECT_NE(sink.Close(), err::kSuccess);

    DeviceRegistry registry;
    ReportOptions options;
    options.registry = &registry;
    const ReportResult r = ExportReport("/dev/full", options);
    EXPECT_FALSE(r.complete);
    EXPECT_NE(r.error, err::kSuccess);
}

TEST(ReportFile, ReplacesAFileButNotALink) {
    test::SimFolder dir;
    const fs::path target = dir / "report.log";
    std::ofstream(target) << "an older and longer report";
    DeviceRegistry registry;
    ReportOptions options;
    options.registry = &registry;
    const ReportResult r = ExportReport(target.string(), options);
    ASSERT_TRUE(r.complete) << r.error;
    std::ifstream in(target, std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(bytes.size(), r.bytes);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\xFF\xFEV\0", 4));

    // A link planted at the name is not followed: its target stays as it was.
    const fs::path victim = dir / "victim";
    std::ofstream(victim) << "keep";
    const fs::path link = dir / "link.log";
    fs::create_symlink(victim, link);
    const ReportResult refused = ExportReport(link.string(), options);
    EXPECT_FALSE(refused.complete);
    EXPECT_NE(refused.error, err::kSuccess);
    std::ifstream kept(victim);
    std::string word;
    kept >> word;
    EXPECT_EQ(word, "keep");
}

TEST(ReportFile, AbortKeepsWhatWasWritten) {
    test::SimFolder dir;
    std::atomic<bool> stop{false};
    DeviceRegistry registry;
    ReportOptions options;
    options.registry = &registry;
    options.abort = &stop;
    int sections = 0;
    options.progress = [&](const char*) {
        if (++sections == 3) stop = true;
    };
    const ReportResult r = ExportReport((dir / "r.log").string(), options);
    EXPECT_FALSE(r.complete);
    EXPECT_EQ(r.error, err::kCancelled);
    EXPECT_GT(r.bytes, 0u);
    EXPECT_EQ(fs::file_size(dir / "r.log"), r.bytes);
}

} // namespace
} // namespace tvd
