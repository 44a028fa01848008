// `tarvikdorn smart`: what the command prints of simulated drives' SMART pages, and how it fails.
#include <gtest/gtest.h>

#include "storage/simfolder.h"

#include "toolrun.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "smart/smartlangutil.h"
#include "smart/smartpages.h"

namespace tvd::cli {
namespace {

namespace fs = std::filesystem;

using test::RunTool;
using test::ToolRun;

using test::Flat;

// The same without the attribute names, which come from a resource not every build carries.
std::string Unnamed(const std::string& json) {
    return std::regex_replace(Flat(json), std::regex(R"("name": (null|"[^"]*"))"), R"("name": N)");
}

const char kHdd[] = "[Drive]\nBus=SATA\nModel=Tvd Platter 2TB\nSerial=  HP-0042  \nFirmware=CC43\n"
                    "Capacity=64M\n[Ata]\n";

class SmartCommand : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.empty());
        Write("hdd", kHdd + test::AtaSmartKeys({{0x05, 100, 100, 36, 10},
                                                {0x09, 100, 100, 0, 5000},
                                                {0xC2, 40, 30, 0, 40},
                                                {0xC5, 100, 100, 0, 3},
                                                {0xAA, 100, 100, 0, 0}}));
        Write("nvme", "[Drive]\nBus=NVMe\nModel=Tvd Vesper\nCapacity=64M\n[Nvme]\n" +
                          test::NvmeHealthKey({.kelvin = 0,
                                               .spare = 10,
                                               .spareThreshold = 10,
                                               .percentUsed = 105,
                                               .unitsWritten = 4194304}));
        Write("scsi", "[Drive]\nBus=SCSI\nModel=Loom\nCapacity=64M\n");
    }
    void Write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / (name + ".drive"), std::ios::binary) << text;
    }
    ToolRun Smart(std::vector<std::string> args) {
        args.insert(args.begin(), {"--simulate", dir_.string()});
        return RunTool(std::move(args));
    }

    test::SimFolder folder_;
    fs::path dir_ = folder_.Dir();
};

TEST_F(SmartCommand, JsonCarriesEveryAttributeAndDerivedValue) {
    struct Case {
        const char* drive;
        std::vector<const char*> members;
    };
    const Case cases[] = {
        {"hdd",
         {R"("smart": {"kind": "ata","model": "Tvd Platter 2TB","serial": "HP-0042","firmware": "CC43")",
          R"("profile": {"section": "Smart","type": 3,)",
          R"({"id": 5,"name": N,"current": 100,"worst": 100,"threshold": 36,"raw": 10,"status": "good"})",
          R"({"id": 9,"name": N,"current": 100,"worst": 100,"threshold": 0,"raw": 5000,"status": "not rated"})",
          R"({"id": 194,"name": N,"current": 40,"worst": 30,"threshold": 0,"raw": 40,"status": "not rated"})",
          R"("derived": {"temperature": 40,"life": null,"health": 77,"host_writes_gib": null,)"
          R"("host_reads_gib": null,"power_cycles": null,"power_on_hours": 5000,"status": "good"})"}},
        {"nvme",
         {R"("kind": "nvme",)", R"("profile": null,)",
          R"({"id": 5,"name": N,"current": null,"worst": null,"threshold": null,"raw": 105,)",
          R"({"id": 7,"name": N,"current": null,"worst": null,"threshold": null,"raw": 4194304,)",
          R"("derived": {"temperature": null,"life": -5,"health": -5,"host_writes_gib": 2000,)"
          R"("host_reads_gib": 0,"power_cycles": 0,"power_on_hours": 0,"status": "at threshold"})"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.drive);
        const ToolRun r = Smart({"--json", "smart", c.drive});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string json = Unnamed(r.out);
        for (const char* m : c.members)
            EXPECT_NE(json.find(m), std::string::npos) << "no " << m << " in\n" << json;
    }
}

TEST_F(SmartCommand, TextShowsTableAndDerivedValues) {
    const ToolRun r = Smart({"smart", "hdd"});
    ASSERT_EQ(r.status, 0) << r.err;
    const char* lines[] = {
        R"(^Serial: +HP-0042$)",
        R"(^Kind: +ATA, profile Smart \(type 3\)$)",
        R"(^0x05 +5 +.+ +100 +100 +36 +10 +0x00000000000A +good *$)",
        R"(^0xC2 +194 +.+ +40 +30 +0 +40 +0x000000000028 +not rated *$)",
        "^Temperature: +40 \xC2\xB0"
        "C$",
        R"(^Life: +none$)",
        R"(^Health: +77 %$)",
        R"(^Host writes: +none$)",
        R"(^Power-on hours: +5000$)",
        R"(^Status: +good$)",
    };
    for (const char* line : lines)
        EXPECT_TRUE(std::regex_search(r.out, std::regex(line, std::regex::multiline)))
            << "no line " << line << " in\n"
            << r.out;
}

TEST_F(SmartCommand, NamesComeFromTheProfileSection) {
    if (!LoadSmartNames(kSmartLangResourceName, kSmartLangFallback))
        GTEST_SKIP() << "this build carries no attribute-name resource";
    const std::pair<const char*, const char*> expected[] = {
        {"hdd", R"({"id": 5,"name": "Reallocated Sectors Count",)"},
        {"hdd", R"({"id": 194,"name": "Temperature",)"},
        {"hdd", R"({"id": 170,"name": "Vendor Specific",)"},
        {"nvme", R"({"id": 5,"name": "Percentage Used",)"},
    };
    for (const auto& [drive, member] : expected) {
        const ToolRun r = Smart({"--json", "smart", drive});
        EXPECT_NE(Flat(r.out).find(member), std::string::npos) << member << " not in\n" << r.out;
    }
}

TEST_F(SmartCommand, FailuresExitNonZeroWithAReason) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* out; // flattened stdout must contain it; "" = stdout must be empty
        const char* err;
    };
    const Case cases[] = {
        {{"--json", "smart", "scsi"},
         1,
         R"("bus": "SCSI","smart": null,"reason": "the drive answered neither)",
         "has no SMART data"},
        {{"smart", "scsi"}, 1, "", "has no SMART data"},
        {{"smart", "nosuch"}, 1, "", "no drive nosuch"},
        {{"smart"}, 2, "", "usage: tarvikdorn smart DRIVE"},
        {{"smart", "hdd", "--raw"}, 2, "", "unknown option --raw"},
        {{"smart", "hdd", "nvme"}, 2, "", "takes one drive"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        const ToolRun r = Smart(c.args);
        EXPECT_EQ(r.status, c.status);
        if (*c.out)
            EXPECT_NE(Flat(r.out).find(c.out), std::string::npos) << r.out;
        else
            EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
}

// The example drives show one profile each (or tell there is no SMART).
TEST(SmartExamples, EachExampleShowsItsKind) {
    const fs::path examples = fs::path(TVD_SOURCE_DIR) / "examples" / "sim";
    const test::SimFolder folder;
    const fs::path& dir = folder.Dir();
    ASSERT_FALSE(dir.empty());
    std::error_code ec;
    for (const auto& f : fs::directory_iterator(examples, ec))
        if (f.path().extension() == ".drive")
            fs::copy_file(f.path(), dir / f.path().filename(), ec);
    ASSERT_TRUE(fs::exists(dir / "ssd.drive")) << "no example drives in " << examples;
    const std::pair<const char*, const char*> expected[] = {
        {"ssd", R"("section": "SmartSsd")"}, {"samsung-ssd", R"("section": "SmartSamsung")"},
        {"hdd", R"("section": "Smart",)"},   {"usb-sat", R"("section": "SmartMicronMU03")"},
        {"nvme", R"("kind": "nvme")"},       {"stick", R"("smart": null)"},
    };
    for (const auto& [drive, member] : expected) {
        SCOPED_TRACE(drive);
        const ToolRun r = RunTool({"--simulate", dir.string(), "--json", "smart", drive});
        EXPECT_EQ(r.status, std::string(drive) == "stick" ? 1 : 0) << r.err;
        EXPECT_NE(Flat(r.out).find(member), std::string::npos) << r.out;
    }
}

} // namespace
} // namespace tvd::cli
