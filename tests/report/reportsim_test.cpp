// The whole report over the simulated drives of examples/sim (copied, so nothing touches the
// repository), checked against what the identify and smart commands say of the same drives.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "cli/toolrun.h"
#include "storage/simfolder.h"

namespace tvd {
namespace {

namespace fs = std::filesystem;

struct SimCopy {
    test::SimFolder folder;
    SimCopy() {
        std::error_code ec;
        fs::copy(fs::path(TVD_SOURCE_DIR) / "examples" / "sim", folder.Dir(),
                 fs::copy_options::recursive, ec);
    }
    std::string Path() const { return folder.Path(); }
};

std::string FileBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The block of one disk: from its heading to the next empty line.
std::string DiskBlock(const std::string& report, const std::string& instance) {
    const std::size_t at = report.find("[" + instance + "]");
    if (at == std::string::npos) return {};
    const std::size_t second = report.find("[" + instance + "]", at + 1);
    if (second == std::string::npos) return {};
    const std::size_t start = report.rfind("\nDisk [", second);
    const std::size_t end = report.find("\n\n", second);
    return report.substr(start + 1, end - start);
}

std::string JsonString(const std::string& json, const std::string& key) {
    std::smatch m;
    if (std::regex_search(json, m, std::regex("\"" + key + "\": \"([^\"]*)\""))) return m[1];
    return {};
}

TEST(ReportSim, DriveBlocksAgreeWithIdentifyAndSmart) {
    SimCopy sim;
    const test::ToolRun report = test::RunTool({"--simulate", sim.Path(), "report"});
    ASSERT_EQ(report.status, 0) << report.err;
    const std::string& text = report.out;
    EXPECT_EQ(text.find('\r'), std::string::npos); // standard output: LF only
    EXPECT_EQ(text.rfind("VORNA Tarvik Detail Information Version 5.02.08\n Create on [", 0), 0u);

    for (const char* drive : {"hdd", "ssd", "samsung-ssd", "usb-sat", "usb-jmicron"}) {
        SCOPED_TRACE(drive);
        const std::string block = DiskBlock(text, std::string("SIM\\") + drive);
        ASSERT_FALSE(block.empty());
        const test::ToolRun id =
            test::RunTool({"--simulate", sim.Path(), "--json", "identify", drive});
        ASSERT_EQ(id.status, 0);
        const std::string ata = id.out.substr(id.out.find("\"ata\""));
        // The report keeps the drive's own padding; the command trims it.
        std::smatch m;
        ASSERT_TRUE(std::regex_search(block, m, std::regex("\n  ModelName = \\[([^\\]]*)\\]")));
        EXPECT_EQ(std::regex_replace(std::string(m[1]), std::regex(" +$"), ""),
                  JsonString(ata, "model"));
        ASSERT_TRUE(std::regex_search(block, m, std::regex("\n  SerialNo = \\[([^\\]]*)\\]")));
        EXPECT_EQ(std::regex_replace(std::string(m[1]), std::regex("^ +| +$"), ""),
                  JsonString(ata, "serial"));
        ASSERT_TRUE(std::regex_search(id.out, m, std::regex("\"capacityBytes\": ([0-9]+)")));
        EXPECT_NE(block.find("  DiskLength = [" + std::string(m[1]) + "]"), std::string::npos);

        const test::ToolRun smart =
            test::RunTool({"--simulate", sim.Path(), "--json", "smart", drive});
        ASSERT_EQ(smart.status, 0);
        const std::string flat = test::Flat(smart.out);
        const std::regex attribute(
            "\\{\"id\": ([0-9]+),\"name\": [^,]*,\"current\": ([0-9]+),\"worst\": ([0-9]+),"
            "\"threshold\": ([0-9]+),\"raw\": ([0-9]+)");
        int compared = 0;
        for (auto it = std::sregex_iterator(flat.begin(), flat.end(), attribute);
             it != std::sregex_iterator(); ++it, ++compared) {
            const auto& a = *it;
            char line[96];
            std::snprintf(line, sizeof line, "\n   %02Xh", std::stoi(a[1]));
            std::string expected = line;
            expected.resize(11, ' ');
            expected += a[4];
            expected.resize(19, ' ');
            expected += a[2];
            expected.resize(25, ' ');
            expected += a[3];
            expected.resize(31, ' ');
            std::snprintf(line, sizeof line, "%016llX\n", std::stoull(a[5]));
            expected += line;
            EXPECT_NE(block.find(expected), std::string::npos) << expected;
        }
        EXPECT_GT(compared, 0);
    }
}

TEST(ReportSim, NvmeAndNoSmart) {
    SimCopy sim;
    const test::ToolRun report = test::RunTool({"--simulate", sim.Path(), "report"});
    ASSERT_EQ(report.status, 0);
    const std::string nvme = DiskBlock(report.out, "SIM\\nvme");
    const test::ToolRun id =
        test::RunTool({"--simulate", sim.Path(), "--json", "identify", "nvme"});
    const std::string model = JsonString(id.out.substr(id.out.find("\"nvme\": {")), "model");
    ASSERT_FALSE(model.empty());
    EXPECT_NE(nvme.find("\n   Model Number = [" + model), std::string::npos) << nvme;
    EXPECT_NE(nvme.find("\n  Namespace(0) data :\n   NSID = [1]\n"), std::string::npos);
    // A drive without SMART: the failure line, then the next disk.
    const std::string stick = DiskBlock(report.out, "SIM\\stick");
    EXPECT_NE(stick.find(" SMART :\n  ** SMART read failed.\n"), std::string::npos) << stick;
}

// Each USB disk's node in the USB tree agrees with what identify tells of its USB side.
TEST(ReportSim, UsbTreeAgreesWithIdentify) {
    SimCopy sim;
    const test::ToolRun report = test::RunTool({"--simulate", sim.Path(), "report"});
    ASSERT_EQ(report.status, 0);
    const std::string& text = report.out;
    const std::size_t usb = text.find("\nUSB Class :\n");
    const std::size_t disks = text.find("\nDisk Class :\n");
    ASSERT_NE(usb, std::string::npos);
    ASSERT_LT(usb, disks);
    const std::string tree = text.substr(usb, disks - usb);
    EXPECT_NE(tree.find(" USB Hci ["), std::string::npos) << tree;
    EXPECT_NE(tree.find(" USB Hub ["), std::string::npos) << tree;
    int compared = 0;
    for (const char* drive : {"usb-sat", "usb-jmicron", "usb-nvme"}) {
        SCOPED_TRACE(drive);
        const test::ToolRun id =
            test::RunTool({"--simulate", sim.Path(), "--json", "identify", drive});
        ASSERT_EQ(id.status, 0);
        const std::size_t at = id.out.find("\"usb\": {");
        ASSERT_NE(at, std::string::npos) << id.out;
        const std::string u = id.out.substr(at);
        std::smatch port;
        ASSERT_TRUE(std::regex_search(u, port, std::regex("\"port\": ([0-9]+)")));
        std::string vid = JsonString(u, "vendorId"), pid = JsonString(u, "productId");
        for (std::string* s : {&vid, &pid})
            for (char& c : *s)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const std::string node = " PortNumber = [" + std::string(port[1]) + "]\n USB Version = [" +
                                 (JsonString(u, "link") == "USB 3.0" ? "300" : "200") +
                                 "]\n VID = [" + vid + "], PID = [" + pid + "]\n Manufacturer = [" +
                                 JsonString(u, "manufacturer") + "]\n Product = [" +
                                 JsonString(u, "product") + "]\n SerialNumber = [" +
                                 JsonString(u, "serial") + "]\n";
        EXPECT_NE(tree.find(node), std::string::npos) << node << tree;
        ++compared;
    }
    EXPECT_EQ(compared, 3);
}

// The file's format, checked with python's own UTF-16 codec rather than our writer.
TEST(ReportSim, FileFormatByAnIndependentDecoder) {
    SimCopy sim;
    const fs::path out = sim.folder / "report.log";
    const std::string outPath = out.string();
    const test::ToolRun r =
        test::RunTool({"--simulate", sim.Path(), "--json", "report", "--output", outPath});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"complete\": true"), std::string::npos) << r.out;
#ifndef _WIN32 // python runs on the host; the Windows build checks the rest
    const std::string check =
        "import sys\n"
        "b = open(sys.argv[1], 'rb').read()\n"
        "assert b[:2] == b'\\xff\\xfe', 'bom'\n"
        "t = b[2:].decode('utf-16-le')\n"
        "assert '\\0' not in t, 'nul'\n"
        "assert t.endswith('\\r\\n'), 'end'\n"
        "assert '\\r' not in t.replace('\\r\\n', ''), 'lone cr'\n"
        "assert '\\n' not in t.replace('\\r\\n', ''), 'lone lf'\n"
        "lines = t.split('\\r\\n')\n"
        "bad = [l for l in lines if ' = [' in l and not l.rstrip().endswith(']') "
        "and not ']' in l.split(' = [', 1)[1]]\n"
        "assert not bad, bad[:3]\n"
        "assert lines[0] == 'VORNA Tarvik Detail Information Version 5.02.08'\n"
        "assert sum(1 for l in lines if l.startswith('Disk [')) == 8, 'disks'\n"
        "print('ok')\n";
    const fs::path script = sim.folder / "check.py";
    std::ofstream(script) << check;
    const std::string command = "python3 '" + script.string() + "' '" + outPath + "' 2>&1";
    std::FILE* p = popen(command.c_str(), "r");
    if (!p) GTEST_SKIP() << "python3 cannot be started";
    std::string said;
    for (int c; (c = std::fgetc(p)) != EOF;)
        said += static_cast<char>(c);
    const int status = pclose(p);
    if (said.find("not found") != std::string::npos) GTEST_SKIP() << "no python3";
    EXPECT_EQ(status, 0) << said;
    EXPECT_EQ(said, "ok\n");

#else
    EXPECT_EQ(FileBytes(out).substr(0, 2), "\xFF\xFE");
#endif
    // The same file again: refused without --force, replaced with it.
    const test::ToolRun again = test::RunTool({"--simulate", sim.Path(), "report", outPath});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("--force"), std::string::npos);
    std::ofstream(out, std::ios::trunc) << "old";
    const test::ToolRun forced =
        test::RunTool({"--simulate", sim.Path(), "report", outPath, "--force", "--utf8"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    const std::string utf8 = FileBytes(out);
    EXPECT_EQ(utf8.rfind("VORNA Tarvik", 0), 0u);
    // Nothing is left beside it.
    int entries = 0;
    for (const auto& e : fs::directory_iterator(sim.folder.Dir()))
        entries += e.path().filename().string().find(".tmp") != std::string::npos;
    EXPECT_EQ(entries, 0);
}

TEST(ReportSim, UsageErrors) {
    const struct {
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {{"report", "--force"}, 2}, {{"report", "--utf8"}, 2},  {{"--json", "report"}, 2},
        {{"report", "a", "b"}, 2},  {{"report", "--bogus"}, 2}, {{"report", "--output"}, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(test::RunTool(c.args).status, c.status) << c.args.back();
}

} // namespace
} // namespace tvd
