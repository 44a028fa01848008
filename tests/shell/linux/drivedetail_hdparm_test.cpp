// The ATA details rows against hdparm's own decoder of the same IDENTIFY DEVICE words
// (hdparm --Istdin): model, serial, firmware, LBA48 count, sector size, WWN and rotation rate.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "cli/toolrun.h"
#include "shell/drivedetailutil.h"
#include "storage/ataidentitybuilder.h"
#include "storage/linux/linuxtesttools.h"

namespace tvd {
namespace {

constexpr const char* kHdparm = "PATH=\"$PATH:/usr/sbin:/sbin\" hdparm";

bool HaveHdparm() {
    return test::RunTool(std::string(kHdparm) + " -V >/dev/null 2>&1").status == 0;
}

std::string Trim(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.pop_back();
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    return s.substr(i);
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The text after `label` on its line of hdparm's output; "" when the line is missing.
std::string After(const std::string& out, const std::string& label) {
    const std::size_t at = out.find(label);
    if (at == std::string::npos) return "";
    const std::size_t from = at + label.size();
    return Trim(out.substr(from, out.find('\n', from) - from));
}

// The decimal in parentheses of a formatted row.
std::string Decimal(const std::string& value) {
    std::smatch m;
    return std::regex_search(value, m, std::regex("\\((-?[0-9]+)\\)")) ? m[1].str() : "";
}

const DetailRow* Row(const std::vector<DetailRow>& rows, const char* position) {
    for (const DetailRow& r : rows)
        if (r.position == position) return &r;
    return nullptr;
}

std::string HdparmOf(ByteView page, const std::string& folder) {
    std::string words;
    for (std::size_t i = 0; i + 1 < page.size(); i += 2) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%04x ", Le<std::uint16_t>(page, i));
        words += buf;
    }
    const std::string file = folder + "/identify.txt";
    std::ofstream(file) << words << "\n";
    const test::RunResult r = test::RunTool(std::string(kHdparm) + " --Istdin < " + file);
    return r.status == 0 ? r.output : "";
}

void Compare(ByteView page, const std::string& what) {
    SCOPED_TRACE(what);
    test::TempDir dir;
    const std::string out = HdparmOf(page, dir.Path());
    ASSERT_FALSE(out.empty()) << "hdparm --Istdin gave nothing";
    const auto rows = BuildAtaDetailRows(page);
    ASSERT_EQ(rows.size(), 102u);
    EXPECT_EQ(Trim(Row(rows, "27..46")->value), After(out, "Model Number:"));
    EXPECT_EQ(Trim(Row(rows, "10..19")->value), After(out, "Serial Number:"));
    EXPECT_EQ(Trim(Row(rows, "23..26")->value), After(out, "Firmware Revision:"));
    EXPECT_EQ(Decimal(Row(rows, "100..103")->value),
              After(out, "LBA48  user addressable sectors:"));
    EXPECT_EQ(Lower(Row(rows, "108..111")->value),
              After(out, "Logical Unit WWN Device Identifier:"));
    // Words 117-118 count words, and count only when word 106 says so; else 512 bytes.
    const std::uint16_t w106 = Le<std::uint16_t>(page, 212);
    const std::string logical =
        (w106 & 0xD000) == 0x5000
            ? std::to_string(2 * std::stoull(Decimal(Row(rows, "117..118")->value)))
            : "512";
    EXPECT_EQ(After(out, "Logical  Sector size:"), logical + " bytes");
    const std::string rpm = Decimal(Row(rows, "217")->value);
    EXPECT_EQ(After(out, "Nominal Media Rotation Rate:"), rpm == "1" ? "Solid State Device" : rpm);
}

test::AtaIdentityBuilder Lba48Drive() {
    test::AtaIdentityBuilder b;
    b.Set(49, 0x0300).Set(82, 0x4000).Set(83, 0x4400).Set(84, 0x4100).Set(86, 0x0400);
    b.Set(87, 0x4100);
    return b;
}

TEST(DriveDetailVsHdparm, BuiltPagesDecodeTheSame) {
    if (!HaveHdparm()) GTEST_SKIP() << "hdparm is not installed (scripts/setup.sh)";
    struct Case {
        const char* what;
        std::uint64_t sectors;
        std::uint16_t w106;
        std::uint32_t logicalWords;
        std::uint16_t rpm;
        std::uint16_t wwn[4];
    };
    for (const Case& c : {
             Case{"hard disk, 512-byte sectors",
                  976773168,
                  0x4000,
                  0,
                  7200,
                  {0x5000, 0xC500, 0x1234, 0xABCD}},
             Case{"SSD, 4096-byte logical sectors",
                  244190646,
                  0x5003,
                  2048,
                  1,
                  {0x5002, 0x5380, 0x0000, 0x0042}},
             Case{"above 2 TiB, 5400 rpm",
                  7814037168ull,
                  0x6003,
                  0,
                  5400,
                  {0x5000, 0x0CCA, 0x2B6E, 0x1F00}},
         }) {
        test::AtaIdentityBuilder b = Lba48Drive();
        b.Model("ORVANE RIDGE " + std::to_string(c.sectors)).Serial("ZX9" + std::to_string(c.rpm));
        b.Firmware("RB0" + std::to_string(c.w106 & 0xF));
        b.Set64(100, c.sectors).Set(106, c.w106).Set32(117, c.logicalWords).Set(217, c.rpm);
        for (int i = 0; i < 4; ++i)
            b.Set(108 + i, c.wwn[i]);
        b.FixChecksum();
        Compare(b.View(), c.what);
    }
}

// The pages the simulated drives answer (made by the sim layer from their drive files).
TEST(DriveDetailVsHdparm, SimulatedDrivesPagesDecodeTheSame) {
    if (!HaveHdparm()) GTEST_SKIP() << "hdparm is not installed (scripts/setup.sh)";
    test::TempDir dir;
    std::ofstream(dir / "hdd.drive") << "[Drive]\nBus=SATA\nModel=Hollin Deep 4TB\nSerial=HD4-1\n"
                                        "Firmware=CC43\nCapacity=4T\n[Ata]\nRotation=5900\n";
    std::ofstream(dir / "ssd.drive") << "[Drive]\nBus=SATA\nModel=Tvd Quill 512\nSerial=QS-7\n"
                                        "Firmware=FW01A\nCapacity=512M\nSectorSize=4096\nTrim=1\n";
    for (const char* name : {"hdd", "ssd"}) {
        const test::ToolRun run =
            test::RunTool({"--simulate", dir.Path(), "--json", "identify", "--raw", name});
        ASSERT_EQ(run.status, 0) << run.err;
        std::smatch m;
        ASSERT_TRUE(
            std::regex_search(run.out, m, std::regex("\"identify\": \"([0-9a-fA-F]{1024})\"")))
            << run.out;
        std::vector<std::uint8_t> page;
        const std::string hex = m[1].str();
        for (std::size_t i = 0; i < hex.size(); i += 2)
            page.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
        Compare(page, name);
    }
}

} // namespace
} // namespace tvd
