#include "foundation/smbiosutil.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundation/smbiosfixture.h"

namespace tvd {
namespace {

using test::SmbiosTableBuilder;

std::string FindDmidecode() {
    for (const char* p : {"/usr/sbin/dmidecode", "/sbin/dmidecode", "/usr/bin/dmidecode"})
        if (access(p, X_OK) == 0) return p;
    return {};
}

// dmidecode's --from-dump file: a 32-byte area holding an SMBIOS 3.0 entry point that places
// the structure table at file offset 32, followed by the table.
std::vector<std::uint8_t> DumpFile(const std::vector<std::uint8_t>& table, std::uint8_t major,
                                   std::uint8_t minor) {
    std::vector<std::uint8_t> file(32 + table.size());
    const char magic[] = "_SM3_";
    std::copy(magic, magic + 5, file.begin());
    file[6] = 0x18; // entry point length
    file[7] = major;
    file[8] = minor;
    file[9] = 0;  // docrev
    file[10] = 1; // entry point revision
    StoreLe<std::uint32_t>(file, 12, static_cast<std::uint32_t>(table.size()));
    StoreLe<std::uint64_t>(file, 16, 32);
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < 0x18; ++i)
        sum = static_cast<std::uint8_t>(sum + file[i]);
    file[5] = static_cast<std::uint8_t>(0x100 - sum);
    std::copy(table.begin(), table.end(), file.begin() + 32);
    return file;
}

std::string RunCommand(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
        out.append(buf, n);
    pclose(pipe);
    return out;
}

// Values of "\tKey: value" lines, in order.
std::vector<std::string> Values(const std::string& output, const std::string& key) {
    std::vector<std::string> values;
    std::istringstream in(output);
    std::string line;
    const std::string prefix = "\t" + key + ": ";
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0) values.push_back(line.substr(prefix.size()));
    return values;
}

// dmidecode's "8 GB", "512 kB", "No Module Installed" in bytes.
std::uint64_t DmidecodeSize(const std::string& text) {
    std::istringstream in(text);
    std::uint64_t n = 0;
    std::string unit;
    if (!(in >> n >> unit)) return 0;
    const char* units[] = {"bytes", "kB", "MB", "GB", "TB"};
    for (int i = 0; i < 5; ++i)
        if (unit == units[i]) return n << (10 * i);
    return ~0ull;
}

TEST(LinuxSmbios, DecodersAgreeWithDmidecode) {
    const std::string dmidecode = FindDmidecode();
    if (dmidecode.empty()) GTEST_SKIP() << "dmidecode is not installed (scripts/setup.sh adds it)";

    SmbiosTableBuilder b;
    b.Add(0, 0x0000, test::BiosFields(), {"Vendor Inc.", "1.07", "03/14/2024"});
    b.Add(1, 0x0001, test::SystemFields(), {"Maker", "Model X", "1.0", "SN123"});
    const auto board = b.Add(2, 0x0002, test::BoardFields(10), {"Board Co", "B-450 PRO", "1"});
    b.Add(3, 0x0003, test::ChassisFields(3), {"Case Co"});
    b.Add(4, 0x0004, test::ProcessorFields(), {"CPU0", "ChipCo", "ChipCo 9000"});
    const std::uint16_t sizes[][2] = {
        {8192, 0},      {0x7FFF, 32768}, {0, 0},    {0x8000 | 512, 0},
        {0x7FFF, 1536}, {0xFFFF, 0},     {1024, 0},
    };
    std::vector<std::int64_t> dimms;
    for (std::size_t i = 0; i < std::size(sizes); ++i)
        dimms.push_back(b.Add(17, static_cast<std::uint16_t>(0x11 + i),
                              test::MemoryFields(sizes[i][0], sizes[i][1]),
                              {"DIMM_" + std::to_string(i), "BANK " + std::to_string(i)}));
    b.AddEnd();

    char dir[] = "/tmp/tvdsmbios.XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string dump = std::string(dir) + "/table.bin";
    {
        const auto file = DumpFile(b.Table(), 3, 2);
        std::ofstream(dump, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    }
    const std::string boardOut = RunCommand(dmidecode + " --from-dump " + dump + " -t 2 2>&1");
    const std::string memoryOut = RunCommand(dmidecode + " --from-dump " + dump + " -t 17 2>&1");
    std::filesystem::remove_all(dir);

    const auto blob = b.Blob(3, 2);
    ASSERT_EQ(Values(boardOut, "Manufacturer").size(), 1u) << boardOut;
    EXPECT_EQ(Values(boardOut, "Manufacturer")[0],
              SmbiosFieldString(blob, board, 0x04).value_or("(none)"));
    EXPECT_EQ(Values(boardOut, "Product Name").at(0),
              SmbiosFieldString(blob, board, 0x05).value_or("(none)"));

    const auto sizeTexts = Values(memoryOut, "Size");
    const auto locators = Values(memoryOut, "Locator");
    ASSERT_EQ(sizeTexts.size(), dimms.size()) << memoryOut;
    ASSERT_EQ(locators.size(), dimms.size()) << memoryOut;
    // Walk our side with the decoders, as the report does.
    std::size_t i = 0;
    for (auto at = FindSmbiosStructure(blob, 8, 17); at >= 0;
         at = FindSmbiosStructure(blob, NextSmbiosStructure(blob, at), 17), ++i) {
        ASSERT_LT(i, dimms.size());
        EXPECT_EQ(at, dimms[i]);
        EXPECT_EQ(SmbiosMemorySize(blob, at), DmidecodeSize(sizeTexts[i]))
            << "dmidecode says " << sizeTexts[i];
        EXPECT_EQ(SmbiosFieldString(blob, at, 0x10).value_or("(none)"), locators[i]);
    }
    EXPECT_EQ(i, dimms.size());
}

TEST(LinuxSmbios, ReadsTheMachineTable) {
    std::vector<std::uint8_t> blob{1, 2, 3};
    const ErrorCode e = ReadSmbios(blob);
    if (e == err::kFileNotFound || e == err::kAccessDenied) {
        EXPECT_TRUE(blob.empty());
        GTEST_SKIP() << "no readable /sys/firmware/dmi/tables/DMI here (error " << e << ")";
    }
    ASSERT_EQ(e, err::kSuccess);
    EXPECT_TRUE(SmbiosBlobValid(blob));
    EXPECT_GE(blob[1], 2) << "SMBIOS major version from the entry point";
    EXPECT_GE(FindSmbiosStructure(blob, 8, 1), 8);
}

} // namespace
} // namespace tvd
