// The Linux device classes over sysfs trees the test builds, and the EDID decoder against
// edid-decode.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "report/edidbuilder.h"
#include "report/edidutil.h"
#include "report/pciidscases.h"
#include "report/pciidsutil.h"
#include "report/linux/infoclasslinux.h"
#include "storage/linux/linuxdevinst.h"
#include "storage/linux/linuxsysfs.h"
#include "storage/linux/linuxtesttools.h"

namespace tvd {
namespace {

namespace fs = std::filesystem;

void Attr(const std::string& dir, const std::string& name, const std::string& value) {
    fs::create_directories(dir);
    std::ofstream(dir + "/" + name, std::ios::binary) << value;
}

void Bind(const std::string& root, const std::string& dir, const std::string& driver) {
    fs::create_directories(root + "/bus/pci/drivers/" + driver);
    fs::create_directory_symlink(root + "/bus/pci/drivers/" + driver, dir + "/driver");
}

TEST(LinuxReportClasses, PciControllersByClassCode) {
    test::TempDir tmp;
    ASSERT_FALSE(tmp.Path().empty());
    const std::string devices = tmp / "devices/pci0000:00";
    const struct {
        const char* slot;
        const char* classCode;
        const char* driver; // nullptr: nothing bound
        int group;          // 1 ATA, 2 SCSI, 0 neither
    } functions[] = {
        {"0000:00:1f.2", "0x010601", "ahci", 1},     // SATA AHCI
        {"0000:00:01.1", "0x010180", "ata_piix", 1}, // IDE
        {"0000:00:05.0", "0x010500", nullptr, 0},    // ATA, no driver: not started
        {"0000:00:04.0", "0x010000", "virtio-pci", 2},
        {"0000:00:06.0", "0x010802", "nvme", 2}, // NVMe files as SCSI
        {"0000:00:07.0", "0x010700", "mpt3sas", 2},
        {"0000:00:02.0", "0x018000", "virtio-pci", 0}, // other mass storage
        {"0000:00:03.0", "0x020000", "e1000", 0},
    };
    fs::create_directories(tmp / "bus/pci/devices");
    for (const auto& f : functions) {
        const std::string dir = devices + "/" + f.slot;
        Attr(dir, "class", std::string(f.classCode) + "\n");
        Attr(dir, "modalias", "pci:v00001AF4d00001001sv00001AF4sd00000002bc01sc00i00\n");
        if (f.driver) Bind(tmp.Path(), dir, f.driver);
        fs::create_directory_symlink(dir, tmp / (std::string("bus/pci/devices/") + f.slot));
    }
    for (ReportDeviceClass cls :
         {ReportDeviceClass::kAtaController, ReportDeviceClass::kScsiController}) {
        const int group = cls == ReportDeviceClass::kAtaController ? 1 : 2;
        std::vector<std::string> expected;
        for (const auto& f : functions)
            if (f.group == group) expected.push_back(devices + "/" + f.slot);
        std::sort(expected.begin(), expected.end());
        std::vector<std::string> got;
        for (const NodeFacts& n : linuxreport::PciControllers(tmp / "bus/pci/devices", cls, {})) {
            ASSERT_TRUE(n.instanceId && n.driver && n.description);
            got.push_back(*n.instanceId);
            std::string path;
            EXPECT_TRUE(linuxsys::SyspathOf(n.devInst, path));
            EXPECT_EQ(path, *n.instanceId);
            EXPECT_EQ(*n.driver, fs::read_symlink(*n.instanceId + "/driver").filename().string());
        }
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, expected) << group;
    }
    EXPECT_EQ(linuxreport::PciStorageGroup(0x010802), 2);
    EXPECT_EQ(linuxreport::PciStorageGroup(0x010601), 1);
    EXPECT_EQ(linuxreport::PciStorageGroup(0x0C0330), 0);
}

TEST(LinuxReportClasses, ConnectedDrmConnectorsWithTheirEdid) {
    test::TempDir tmp;
    ASSERT_FALSE(tmp.Path().empty());
    const std::string card = tmp / "devices/pci0000:00/0000:00:02.0/drm/card0";
    Attr(card, "dev", "226:0\n");
    Bind(tmp.Path(), tmp / "devices/pci0000:00/0000:00:02.0", "bochs-drm");
    const std::vector<std::uint8_t> edid =
        test::BuildEdid({"RHT", 0x1234, 7, 1, 24, "QEMU Monitor", "", false});
    Attr(card + "/card0-Virtual-1", "status", "connected\n");
    Attr(card + "/card0-Virtual-1", "edid", std::string(edid.begin(), edid.end()));
    Attr(card + "/card0-HDMI-A-1", "status", "disconnected\n");
    Attr(card + "/card0-DP-1", "status", "connected\n");
    Attr(card + "/card0-DP-1", "edid", ""); // connected, but the monitor gave no EDID
    fs::create_directories(tmp / "class/drm");
    for (const char* name : {"card0-Virtual-1", "card0-HDMI-A-1", "card0-DP-1"})
        fs::create_directory_symlink(card + "/" + name, tmp / (std::string("class/drm/") + name));
    fs::create_directory_symlink(card, tmp / "class/drm/card0");

    const auto monitors = linuxreport::DrmMonitors(tmp / "class/drm");
    ASSERT_EQ(monitors.size(), 2u);
    EXPECT_EQ(monitors[0].node.description.value_or(""), "card0-DP-1");
    EXPECT_EQ(monitors[0].edidError, err::kFileNotFound);
    EXPECT_FALSE(monitors[0].node.friendlyName);
    EXPECT_EQ(monitors[1].node.description.value_or(""), "card0-Virtual-1");
    EXPECT_EQ(monitors[1].node.friendlyName.value_or(""), "QEMU Monitor");
    EXPECT_EQ(monitors[1].node.driver.value_or(""), "bochs-drm");
    EXPECT_EQ(monitors[1].node.instanceId.value_or(""), card + "/card0-Virtual-1");
    EXPECT_EQ(monitors[1].edid, edid);
}

TEST(LinuxReportClasses, EdidAgreesWithEdidDecode) {
    if (test::RunTool("command -v edid-decode").status != 0)
        GTEST_SKIP() << "edid-decode not installed";
    test::TempDir tmp;
    ASSERT_FALSE(tmp.Path().empty());
    const test::EdidSpec specs[] = {
        {"RHT", 0x1234, 123456, 42, 24, "QEMU Monitor", "SN-77", false},
        {"DEL", 0xA0C2, 0xFFFFFFFF, 1, 30, "DELL U2719D", "", false},
        {"GSM", 0x5B09, 0, 10, 20, "", "904NTABC1234", false},
    };
    for (const auto& s : specs) {
        SCOPED_TRACE(s.maker);
        const std::vector<std::uint8_t> edid = test::BuildEdid(s);
        const std::string file = tmp / (s.maker + ".bin");
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(edid.data()), edid.size());
        const std::string out = test::RunTool("edid-decode '" + file + "'").output;
        const auto id = DecodeEdid(edid);
        ASSERT_TRUE(id);
        std::smatch m;
        ASSERT_TRUE(std::regex_search(out, m, std::regex("Manufacturer: (\\S+)")));
        EXPECT_EQ(m[1], id->makerId);
        ASSERT_TRUE(std::regex_search(out, m, std::regex("Model: ([0-9]+)")));
        EXPECT_EQ(std::stoul(m[1]), id->productCode);
        if (std::regex_search(out, m, std::regex("Serial Number: ([0-9]+)")))
            EXPECT_EQ(std::stoul(m[1]), id->serialNumber);
        else
            EXPECT_EQ(id->serialNumber, 0u); // edid-decode leaves out a zero serial
        const bool named = std::regex_search(out, m, std::regex("Product Name: '([^']*)'"));
        EXPECT_EQ(named, id->name.has_value());
        if (named && id->name) {
            EXPECT_EQ(m[1], *id->name);
        }
        const bool serial =
            std::regex_search(out, m, std::regex("Product Serial Number: '([^']*)'"));
        EXPECT_EQ(serial, id->serialText.has_value());
        if (serial && id->serialText) {
            EXPECT_EQ(m[1], *id->serialText);
        }
    }
}

} // namespace
} // namespace tvd

namespace tvd {
namespace {

// This machine's controller classes against lspci, which reads the same functions through
// libpci: every bound storage function of the ATA or SCSI group, with its driver.
TEST(LinuxReportClasses, ControllersAgreeWithLspci) {
    if (test::RunTool("command -v lspci >/dev/null").status != 0)
        GTEST_SKIP() << "pciutils not installed";
    const test::RunResult lspci = test::RunTool("lspci -D -n -k 2>/dev/null");
    ASSERT_EQ(lspci.status, 0);
    std::map<std::string, std::pair<std::string, std::string>> functions; // class, driver
    std::string current;
    std::istringstream lines(lspci.output);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_search(line, m, std::regex("^([0-9a-f:.]+) ([0-9a-f]{4}): "))) {
            current = m[1];
            functions[current] = {m[2], ""};
        } else if (!current.empty() &&
                   std::regex_search(line, m, std::regex("^\\tKernel driver in use: (\\S+)"))) {
            functions[current].second = m[1];
        }
    }
    ASSERT_FALSE(functions.empty());
    for (ReportDeviceClass cls :
         {ReportDeviceClass::kAtaController, ReportDeviceClass::kScsiController}) {
        const int group = cls == ReportDeviceClass::kAtaController ? 1 : 2;
        std::map<std::string, std::string> expected, got;
        for (const auto& [address, f] : functions)
            if (!f.second.empty() &&
                linuxreport::PciStorageGroup(std::stoul(f.first, nullptr, 16) << 8) == group)
                expected[address] = f.second;
        for (const NodeFacts& n : GatherDeviceClass(cls).devices)
            got[linuxsys::BaseName(n.instanceId.value_or(""))] = n.driver.value_or("");
        EXPECT_EQ(got, expected) << group;
    }
}

} // namespace
} // namespace tvd

namespace tvd {
namespace {

// The function's ids from sysfs, as the gatherer reads them.
std::optional<PciIds> SysfsIds(const std::string& device) {
    PciIds ids;
    for (auto [name, field] : {std::pair<const char*, std::uint16_t*>{"vendor", &ids.vendor},
                               {"device", &ids.device},
                               {"subsystem_vendor", &ids.subVendor},
                               {"subsystem_device", &ids.subDevice}}) {
        const std::string text = linuxsys::ReadAttr(device, name);
        if (text.empty()) return std::nullopt;
        *field = static_cast<std::uint16_t>(std::stoul(text, nullptr, 16));
    }
    return ids;
}

// lspci -vmm's fields of one function; "Vendor [8086]" (no name) becomes an empty name.
std::map<std::string, std::string> LspciNames(const std::string& idsFile, const std::string& slot) {
    const std::string file = idsFile.empty() ? "" : " -i '" + idsFile + "'";
    const test::RunResult r = test::RunTool("lspci -O hwdb.disable=1" + file + " -D -nn -vmm -s " +
                                            slot + " 2>/dev/null");
    std::map<std::string, std::string> fields;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (!std::regex_match(line, m, std::regex("(\\w+):\t(.*?)(?: ?\\[[0-9a-f]{4}\\])?")))
            continue;
        std::string name = m[2];
        if (name == "Vendor" || name == "Device") name.clear(); // lspci's "no name"
        fields[m[1]] = name;
    }
    return fields;
}

// Our lookup against lspci reading the same text, for this machine's functions: the test's
// hostile texts filled in with each function's ids, and the installed database.
TEST(LinuxReportClasses, PciIdsAgreeWithLspci) {
    if (test::RunTool("command -v lspci >/dev/null").status != 0)
        GTEST_SKIP() << "pciutils not installed";
    test::TempDir tmp;
    ASSERT_FALSE(tmp.Path().empty());
    const std::string file = tmp / "pci.ids";
    int functions = 0;
    for (const std::string& slot : linuxsys::ListDir("/sys/bus/pci/devices")) {
        const auto ids = SysfsIds("/sys/bus/pci/devices/" + slot);
        if (!ids) continue;
        ++functions;
        SCOPED_TRACE(slot);
        // lspci cuts a long name to its buffer and ends it with "...".
        auto same = [](const std::string& ours, const std::string& theirs) {
            const std::string cut = "...";
            if (theirs.size() > cut.size() && theirs.compare(theirs.size() - 3, 3, cut) == 0)
                return ours.compare(0, theirs.size() - 3, theirs, 0, theirs.size() - 3) == 0;
            return ours == theirs;
        };
        auto check = [&](const std::string& idsFile, const std::optional<PciIdNames>& ours) {
            const auto theirs = LspciNames(idsFile, slot);
            ASSERT_EQ(ours.has_value(), theirs.count("Vendor") == 1);
            if (!ours) return;
            EXPECT_PRED2(same, ours->vendor, theirs.at("Vendor"));
            EXPECT_PRED2(same, ours->device, theirs.at("Device"));
            // lspci names a subsystem that equals the function by the device's name.
            std::string sub = ours->subsystem;
            if (sub.empty() && ids->subVendor == ids->vendor && ids->subDevice == ids->device)
                sub = ours->device;
            if (theirs.count("SDevice")) {
                EXPECT_PRED2(same, sub, theirs.at("SDevice"));
            }
        };
        for (const test::PciIdsCase& c : test::PciIdsCases()) {
            SCOPED_TRACE(c.what);
            std::ofstream(file, std::ios::binary | std::ios::trunc)
                << test::FillPciIds(c.text, *ids);
            check(file, PciIdsLookupFile({file}, *ids));
        }
        if (fs::exists(PciIdsDefaultPaths()[0])) {
            SCOPED_TRACE(PciIdsDefaultPaths()[0]);
            check("", PciIdsLookupFile(PciIdsDefaultPaths(), *ids));
        }
    }
    if (functions == 0) GTEST_SKIP() << "no PCI functions in sysfs";
}

// Without a hardware database entry the controller is named from pci.ids; a missing or
// malformed file leaves the name out and keeps the controller.
TEST(LinuxReportClasses, ControllerNamesFromPciIds) {
    test::TempDir tmp;
    ASSERT_FALSE(tmp.Path().empty());
    const std::string dir = tmp / "devices/pci0000:00/0000:00:1f.2";
    Attr(dir, "class", "0x010601\n");
    Attr(dir, "vendor", "0x8086\n");
    Attr(dir, "device", "0x2922\n");
    Attr(dir, "subsystem_vendor", "0x1af4\n");
    Attr(dir, "subsystem_device", "0x1100\n");
    Bind(tmp.Path(), dir, "ahci");
    fs::create_directories(tmp / "bus/pci/devices");
    fs::create_directory_symlink(dir, tmp / "bus/pci/devices/0000:00:1f.2");
    const std::string good = tmp / "good.ids", bad = tmp / "bad.ids";
    std::ofstream(good)
        << "1af4  Red Hat, Inc.\n8086  Intel Corporation\n"
           "\t2922  82801IR/IO/IH (ICH9R/DO/DH) 6 port SATA Controller [AHCI mode]\n"
           "\t\t1af4 1100  QEMU Virtual Machine\n";
    std::ofstream(bad) << "8086  Intel Corporation\n\t2922\n";
    const struct {
        std::vector<std::string> files;
        const char* name; // nullptr: no name
    } cases[] = {
        {{good},
         "Intel Corporation 82801IR/IO/IH (ICH9R/DO/DH) 6 port SATA Controller [AHCI mode] "
         "(QEMU Virtual Machine)"},
        {{tmp / "missing.ids", good},
         "Intel Corporation 82801IR/IO/IH (ICH9R/DO/DH) 6 port SATA "
         "Controller [AHCI mode] (QEMU Virtual Machine)"},
        {{bad, good}, nullptr}, // the first file that opens is the database
        {{tmp / "missing.ids"}, nullptr},
        {{}, nullptr},
    };
    for (const auto& c : cases) {
        const auto nodes = linuxreport::PciControllers(tmp / "bus/pci/devices",
                                                       ReportDeviceClass::kAtaController, c.files);
        ASSERT_EQ(nodes.size(), 1u);
        EXPECT_EQ(nodes[0].friendlyName.has_value(), c.name != nullptr);
        if (c.name) {
            EXPECT_EQ(nodes[0].friendlyName.value_or(""), c.name);
        }
        EXPECT_EQ(nodes[0].description.value_or(""), "SATA controller");
        EXPECT_EQ(nodes[0].driver.value_or(""), "ahci");
    }
}

} // namespace
} // namespace tvd
