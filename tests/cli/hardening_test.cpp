// The tool as a new user meets it: bad drive folders, drives that cannot be opened, output that
// cannot be written, links where files are written, and one health verdict in every command.
#include <gtest/gtest.h>

#include "storage/simfolder.h"

#include "toolrun.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "smart/smartpages.h"

namespace tvd::cli {
namespace {

namespace fs = std::filesystem;
using test::Flat;
using test::RunTool;
using test::ToolRun;

class Hardening : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(folder_.Dir().empty()); }
    ToolRun Run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--simulate", folder_.Path()});
        return RunTool(std::move(args));
    }
    std::string Read(const fs::path& p) {
        std::ifstream f(p, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    test::SimFolder folder_;
};

TEST_F(Hardening, RefusedDriveFilesAreNamedWithLineAndReason) {
    folder_.Drive("good", "Model=Fine Disk\nCapacity=1M\n");
    folder_.Write("zero.drive", "[Drive]\nCapacity=1M\nSectorSize=0\n");
    folder_.Write("bus.drive", "; mine\n[Drive]\nBus=Floppy\n");

    const ToolRun text = Run({"list"});
    EXPECT_EQ(text.status, 1) << "a listing without a refused drive is incomplete";
    EXPECT_NE(text.out.find("Fine Disk"), std::string::npos) << text.out;
    EXPECT_NE(text.err.find("zero.drive: line 3: [Drive] SectorSize=0: must be 512 or 4096"),
              std::string::npos)
        << text.err;
    EXPECT_NE(text.err.find("bus.drive: line 3: [Drive] Bus=Floppy"), std::string::npos)
        << text.err;

    const ToolRun json = Run({"--json", "list"});
    EXPECT_EQ(json.status, 1);
    EXPECT_NE(Flat(json.out).find(R"({"file": "zero.drive","line": 3,"reason": "[Drive] )"),
              std::string::npos)
        << json.out;

    // Only refused files: still no silent "No disks found." with success.
    folder_.Remove("good.drive");
    const ToolRun none = Run({"list"});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.out.find("refused"), std::string::npos) << none.out;
}

TEST_F(Hardening, ReadOnlyCommandsMakeNoImages) {
    folder_.Drive("big", "Capacity=2T\nLayout=mbr:1G/0c,rest\n");
    folder_.Drive("short", "Capacity=1G\n");
    folder_.Write("short.img", "abc");
    for (const char* command : {"list", "info", "identify", "smart", "dump"}) {
        std::vector<std::string> args = {command};
        if (std::string(command) != "list") args.push_back("big");
        Run(args);
    }
    const ToolRun info = Run({"info", "big"});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_TRUE(std::regex_search(info.out, std::regex(R"(\n1 +1048576 +1.0 GiB +ordinary)")))
        << info.out;
    EXPECT_FALSE(fs::exists(folder_ / "big.img"));
    EXPECT_EQ(folder_.Size("short.img"), 3u);
}

// The README runs the examples on examples/sim itself: the commands must leave the folder as
// it is (once they wrote several TiB of sparse images into it).
TEST_F(Hardening, ExamplesStayAsTheyAre) {
    const fs::path examples = fs::path(TVD_SOURCE_DIR) / "examples" / "sim";
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(examples)) {
        fs::copy_file(e.path(), folder_.Dir() / e.path().filename());
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(Run({"list"}).status, 0);
    for (const std::string& name : names) {
        const std::string drive = fs::path(name).stem().string();
        for (const char* command : {"info", "smart", "identify"})
            Run({command, drive});
    }
    std::vector<std::string> after;
    for (const auto& e : fs::directory_iterator(folder_.Dir()))
        after.push_back(e.path().filename().string());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, names);
}

TEST_F(Hardening, UnopenableDrivesFailWithTheReasonAndWriteNothing) {
    folder_.Drive("locked", "Model=Locked\n[Faults]\nFailOpen=5\n");
    const fs::path target = folder_ / "out.drive";
    struct Case {
        std::vector<std::string> args;
        const char* inErr;
    };
    const Case cases[] = {
        {{"identify", "locked"}, "cannot open SIM\\locked: "},
        {{"dump", "locked"}, "cannot open SIM\\locked: "},
        {{"dump", "locked", "--output", target.string()}, "cannot open SIM\\locked: "},
        {{"smart", "locked"}, "cannot open SIM\\locked: "},
        {{"info", "locked"}, "the device cannot be opened: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        const ToolRun r = Run(c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.inErr), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(target));

        // With --json the failure is a document of its own.
        std::vector<std::string> json = c.args;
        json.insert(json.begin(), "--json");
        const ToolRun j = Run(json);
        EXPECT_EQ(j.status, 1);
        EXPECT_NE(Flat(j.out).find(R"({"error": {"message": ")"), std::string::npos) << j.out;
        EXPECT_NE(Flat(j.out).find(R"("status": 1,"code": 5,"reason": ")"), std::string::npos)
            << j.out;
    }
}

TEST_F(Hardening, JsonErrorsAreDocuments) {
    folder_.Drive("good", "Capacity=1M\n");
    const std::vector<std::string> cases[] = {
        {"--json", "info", "nosuch"},
        {"--json", "info"},
        {"--json", "list", "extra"},
        {"--json", "smart", "nosuch"},
        {"--json", "identify"},
        {"--json", "dump", "good", "--bogus"},
        {"--json", "watch", "--seconds", "x"},
        {"--json", "system", "extra"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args[1]);
        const ToolRun r = Run(args);
        EXPECT_NE(r.status, 0);
        EXPECT_TRUE(std::regex_search(
            Flat(r.out), std::regex(R"(^\{"error": \{"message": "[^"]+","status": [12],)")))
            << r.out;
        EXPECT_FALSE(r.err.empty());
    }
}

#ifndef _WIN32
// Output that never arrives is a failure, whatever the command.
TEST_F(Hardening, UnwritableOutputFails) {
    folder_.Drive("good", "Capacity=1M\n");
    std::FILE* full = std::fopen("/dev/full", "w");
    if (!full) GTEST_SKIP() << "no /dev/full here";
    std::FILE* err = std::tmpfile();
    ASSERT_NE(err, nullptr);
    const std::string dir = folder_.Path();
    const std::vector<std::vector<std::string>> cases = {
        {"--version"},
        {"--simulate", dir, "list"},
        {"--simulate", dir, "--json", "info", "good"},
        {"--simulate", dir, "dump", "good"},
        {"system"},
        {"--simulate", dir, "watch", "--seconds", "1"},
    };
    for (std::vector<std::string> args : cases) {
        SCOPED_TRACE(args.back());
        args.insert(args.begin(), "tarvikdorn");
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        std::clearerr(full);
        EXPECT_NE(RunCommandLine(static_cast<int>(argv.size()), argv.data(), full, err), 0);
    }
    std::rewind(err);
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, err), nullptr);
    EXPECT_NE(std::string(line).find("cannot write the output: No space left on device"),
              std::string::npos)
        << line;
    std::fclose(err);
    std::fclose(full);
}

// dump never writes through a link at its output and leaves nothing half-written.
TEST_F(Hardening, DumpReplacesNamesAndNeverFollowsLinks) {
    folder_.Drive("good", "Model=Fine Disk\nCapacity=1M\n");
    test::SimFolder outside;
    const fs::path target = outside / "target.drive";
    const fs::path link = folder_ / "link.drive.out";
    std::error_code ec;
    fs::create_symlink(target, link, ec);
    ASSERT_FALSE(ec) << ec.message();

    const ToolRun refused = Run({"dump", "good", "--output", link.string()});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("exists; --force replaces it"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(target));

    const ToolRun forced = Run({"dump", "good", "--output", link.string(), "--force"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(fs::is_symlink(link));
    EXPECT_NE(Read(link).find("Model=Fine Disk"), std::string::npos);
    EXPECT_NE(Read(link).find("; not captured: "), std::string::npos);

    // A name that cannot be written: the system's reason, and no leftovers beside it.
    outside.Write("file", "x");
    const ToolRun bad = Run({"dump", "good", "--output", (outside / "file" / "x.drive").string()});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("cannot write "), std::string::npos) << bad.err;
    std::size_t entries = 0;
    for (const auto& e : fs::directory_iterator(outside.Dir())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
}

// A table longer than the listing says how much of it is shown (sfdisk writes it).
TEST_F(Hardening, ACutPartitionListSaysSo) {
    if (std::system("command -v sfdisk >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "sfdisk is not installed (setup.sh)";
    folder_.Drive("many", "Capacity=64M\n");
    std::string script = "label: gpt\n";
    for (int i = 0; i < 40; ++i)
        script += ",1M\n";
    folder_.Write("many.sfdisk", script);
    const std::string image = (folder_ / "many.img").string();
    ASSERT_EQ(std::system(("truncate -s 64M '" + image + "' && sfdisk -q '" + image + "' < '" +
                           (folder_ / "many.sfdisk").string() + "' >/dev/null 2>&1")
                              .c_str()),
              0);
    const ToolRun text = Run({"info", "many"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("\n(32 of 40 partitions shown)\n"), std::string::npos) << text.out;
    const ToolRun json = Run({"--json", "info", "many"});
    EXPECT_NE(Flat(json.out).find(R"("partitionCount": 40,"partitionsShown": 32,)"),
              std::string::npos)
        << json.out;
}

TEST_F(Hardening, LinuxReasonsAreErrnoTexts) {
    const ToolRun r = RunTool({"--simulate", folder_.Path() + "/missing", "list"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;
}
#endif

// dump writes what the drive file format can say, and says what it leaves out.
TEST_F(Hardening, DumpKeepsTrimAndTheLink) {
    folder_.Drive("fast", "Bus=NVMe\nModel=Fast\nCapacity=64M\nTrim=1\n[Pci]\nSpeed=3\nWidth=4\n"
                          "MaxSpeed=4\n");
    const ToolRun dump = Run({"dump", "fast"});
    ASSERT_EQ(dump.status, 0) << dump.err;
    EXPECT_NE(dump.out.find("\nTrim=1\n"), std::string::npos) << dump.out;
    EXPECT_NE(dump.out.find("\n[Pci]\nSpeed=3\nWidth=4\nMaxSpeed=4\nMaxWidth=4\n"),
              std::string::npos)
        << dump.out;
    EXPECT_NE(dump.out.find("; not captured: the partition table"), std::string::npos);
}

// list, info and smart rate a drive with one function.
TEST_F(Hardening, OneVerdictEverywhere) {
    folder_.Drive("worn", "Model=Worn\nCapacity=64M\n[Ata]\nSmartStatus=exceeded\n" +
                              test::AtaSmartKeys({{0x05, 100, 100, 36, 10}}));
    folder_.Drive("hot",
                  "Model=Hot\nCapacity=64M\n[Ata]\n" + test::AtaSmartKeys({{0xC2, 30, 30, 0, 70}}));
    for (const auto& [drive, word] : {std::pair{"worn", "bad"}, std::pair{"hot", "caution"}}) {
        SCOPED_TRACE(drive);
        const ToolRun list = Run({"--json", "list"});
        const ToolRun info = Run({"--json", "info", drive});
        const ToolRun smart = Run({"--json", "smart", drive});
        const ToolRun text = Run({"smart", drive});
        const std::string health = std::string(R"("health": ")") + word + "\"";
        EXPECT_NE(Flat(info.out).find(health), std::string::npos) << info.out;
        EXPECT_NE(Flat(smart.out).find(health), std::string::npos) << smart.out;
        EXPECT_TRUE(std::regex_search(text.out, std::regex(std::string("\nStatus: +") + word)))
            << text.out;
        const std::string model = std::string(drive) == "worn" ? "Worn" : "Hot";
        EXPECT_TRUE(std::regex_search(
            Flat(list.out), std::regex(std::string("\"model\": \"") + model + "\"[^}]*" + health)))
            << list.out;
    }
}

// A hard disk has a health figure but no remaining-life figure: every command says "none".
TEST_F(Hardening, LifeIsTheSameFigureEverywhere) {
    folder_.Drive("hdd", "Model=Spin\nCapacity=64M\n[Ata]\nRotation=7200\n" +
                             test::AtaSmartKeys({{0x05, 100, 100, 36, 0}, {0x09, 99, 99, 0, 5}}));
    const ToolRun smart = Run({"smart", "hdd"});
    ASSERT_EQ(smart.status, 0) << smart.err;
    EXPECT_TRUE(std::regex_search(smart.out, std::regex("\nLife: +none\n"))) << smart.out;
    const ToolRun info = Run({"info", "hdd"});
    EXPECT_TRUE(std::regex_search(info.out, std::regex("\nLife: +none\n"))) << info.out;
    const ToolRun list = Run({"list"});
    EXPECT_EQ(list.out.find("100 %"), std::string::npos) << list.out;
    const ToolRun json = Run({"--json", "info", "hdd"});
    EXPECT_NE(Flat(json.out).find(R"("life": null,"healthValue": 100)"), std::string::npos)
        << json.out;
}

TEST_F(Hardening, WwnLineIsAlignedAndItsValueBare) {
    folder_.Drive("ssd", "Model=Id\nCapacity=64M\nTrim=1\n");
    const ToolRun text = Run({"info", "ssd"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_TRUE(std::regex_search(text.out, std::regex("\nWWN:          [0-9A-F]{16}\n")))
        << text.out;
    const ToolRun json = Run({"--json", "info", "ssd"});
    EXPECT_TRUE(
        std::regex_search(Flat(json.out), std::regex(R"("wwn": "[0-9A-F]{16}","wwnKind": "WWN")")))
        << json.out;
}

} // namespace
} // namespace tvd::cli
