// Volume labels and serials as the report reads them, against what mkfs was told and what the
// file systems' own tools say.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "report/linux/blkidprobe.h"
#include "storage/linux/linuxtesttools.h"

namespace tvd {
namespace {

using linuxreport::FsProbe;

bool Have(const char* tool) {
    return test::RunTool(std::string("command -v ") + tool + " >/dev/null").status == 0;
}

TEST(BlkidProbe, LabelsAndSerialsOfMadeFileSystems) {
    test::TempDir tmp;
    ASSERT_FALSE(tmp.Path().empty());
    const struct {
        const char* tool;
        const char* make; // %s: the image
        const char* type;
        const char* label;
        const char* serialFrom; // shell command printing the serial as hex, or nullptr
    } cases[] = {
        {"mkfs.fat", "mkfs.fat -n 'TVD FAT' -i 1A2B3C4D '%s'", "vfat", "TVD FAT", "echo 1A2B3C4D"},
        {"mkfs.exfat", "mkfs.exfat -L 'TVD EX' '%s'", "exfat", "TVD EX",
         "dump.exfat '%s' | sed -n 's/^Volume Serial:[[:space:]]*0x//p'"},
        {"mkntfs", "mkntfs -F -f -q -L 'TVD NT' '%s'", "ntfs", "TVD NT", nullptr},
        {"mkfs.ext4", "mkfs.ext4 -q -F -L tvd-ext '%s'", "ext4", "tvd-ext", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        if (!Have(c.tool)) {
            ADD_FAILURE() << c.tool << " missing (scripts/setup.sh installs it)";
            continue;
        }
        const std::string image = tmp / (std::string(c.type) + ".img");
        std::ofstream(image).close();
        std::filesystem::resize_file(image, 64u << 20);
        auto fill = [&](const char* format) {
            std::string command = format;
            if (const auto at = command.find("%s"); at != std::string::npos)
                command.replace(at, 2, image);
            return command;
        };
        ASSERT_EQ(test::RunTool(fill(c.make) + " >/dev/null 2>&1").status, 0);
        FsProbe probe;
        ASSERT_EQ(linuxreport::ProbeFileSystem(image, probe), err::kSuccess);
        EXPECT_EQ(probe.type, c.type);
        EXPECT_EQ(probe.label, c.label);
        const auto serial = linuxreport::VolumeSerialFromUuid(probe.type, probe.uuid);
        if (c.serialFrom) {
            const std::string hex = test::RunTool(fill(c.serialFrom)).output;
            ASSERT_FALSE(hex.empty());
            ASSERT_TRUE(serial);
            EXPECT_EQ(*serial, std::stoul(hex, nullptr, 16));
        }
        if (std::string(c.type) == "ext4") {
            EXPECT_FALSE(serial);
        }
        if (std::string(c.type) == "ntfs" && Have("ntfsinfo")) {
            const std::string info =
                test::RunTool("ntfsinfo -m '" + image + "' 2>/dev/null").output;
            std::smatch m;
            ASSERT_TRUE(std::regex_search(info, m, std::regex("Volume Name: ([^\n]*)")));
            EXPECT_EQ(m[1], probe.label);
            EXPECT_TRUE(serial); // the low half of the 64-bit serial
        }
    }
    // Nothing on an empty image; an unreadable path says why.
    const std::string blank = tmp / "blank.img";
    std::ofstream(blank).close();
    std::filesystem::resize_file(blank, 1u << 20);
    FsProbe probe;
    EXPECT_EQ(linuxreport::ProbeFileSystem(blank, probe), err::kFileNotFound);
    EXPECT_NE(linuxreport::ProbeFileSystem(tmp / "missing.img", probe), err::kSuccess);
}

TEST(BlkidProbe, SerialFromUuid) {
    const struct {
        const char* type;
        const char* uuid;
        std::optional<std::uint32_t> serial;
    } cases[] = {
        {"vfat", "1A2B-3C4D", 0x1A2B3C4Du},
        {"exfat", "7bfb-1345", 0x7BFB1345u},
        {"ntfs", "40CB48E6482A6E72", 0x482A6E72u},
        {"vfat", "1A2B3C4D", std::nullopt},
        {"vfat", "1A2B-3C4G", std::nullopt},
        {"vfat", "-1A2-B3C4", std::nullopt},
        {"ntfs", "40CB48E6482A6E7", std::nullopt},
        {"ext4", "1A2B-3C4D", std::nullopt},
        {"vfat", "", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(linuxreport::VolumeSerialFromUuid(c.type, c.uuid), c.serial)
            << c.type << " " << c.uuid;
}

} // namespace
} // namespace tvd
