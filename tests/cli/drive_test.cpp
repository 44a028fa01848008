#include <gtest/gtest.h>

#include "storage/simfolder.h"
#include "toolrun.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace tvd::cli {
namespace {

using test::Flat;
using test::RunTool;
using test::ToolRun;
namespace fs = std::filesystem;

// A folder of simulated drives of the kinds the front end must tell apart.
class DriveCommands : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.empty());
        Drive("a-hdd", "Model=Spin Disk\nSerial=SP-1\nFirmware=SP01\nCapacity=4G\n"
                       "Layout=mbr:1G/07,1G/0C,rest/83");
        Drive("b-nvme", "Model=Flash Disk\nSerial=FL-2\nFirmware=FL02\nBus=NVMe");
        Drive("c-stick", "Model=Pocket Stick\nBus=USB\nRemovable=1");
    }
    void Drive(const std::string& name, const std::string& body) {
        std::ofstream(dir_ / (name + ".drive")) << "[Drive]\n" << body << "\n";
    }
    ToolRun Run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--simulate", dir_.string()});
        return RunTool(std::move(args));
    }
    test::SimFolder folder_;
    fs::path dir_ = folder_.Dir();
};

TEST_F(DriveCommands, ListShowsEveryServedDriveWithItsSummary) {
    const ToolRun r = Run({"--json", "list"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string flat = Flat(r.out);
    for (const char* member :
         {R"("model": "Spin Disk","serial": "SP-1","firmware": "SP01")",
          R"("model": "Flash Disk","serial": "FL-2","firmware": "FL02","busText": "PCIe)",
          R"("removable": true,"capacity": 1073741824,"sectorSize": 512,"drive": null)",
          R"("ssd": true,"smart": true,"health": "good")"})
        EXPECT_NE(flat.find(member), std::string::npos) << member << "\n" << flat;

    const ToolRun text = Run({"list"});
    ASSERT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("Spin Disk"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("HDD"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("SSD"), std::string::npos) << text.out;
}

TEST_F(DriveCommands, InfoJoinsIdentityHealthAndPartitions) {
    const ToolRun r = Run({"--json", "info", "a-hdd"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string flat = Flat(r.out);
    for (const char* member :
         {R"("capacity": 4294967296,"sectorSize": 512,"sectors": 8388608)",
          R"("model": "Spin Disk")", R"("health": "good")", R"("cloneSource": true)",
          R"({"number": 1,"start": 1048576,)", R"({"number": 3,)", R"("kind": "ordinary")"})
        EXPECT_NE(flat.find(member), std::string::npos) << member << "\n" << flat;

    const struct {
        std::vector<std::string> args;
        int status;
        const char* err;
    } failures[] = {
        {{"info"}, 2, "info takes one DRIVE"},
        {{"info", "no-such-drive"}, 1, "no drive no-such-drive"},
        {{"info", "c-stick"}, 1, "not a drive this program serves"},
    };
    for (const auto& f : failures) {
        const ToolRun bad = Run(f.args);
        EXPECT_EQ(bad.status, f.status) << bad.err;
        EXPECT_NE(bad.err.find(f.err), std::string::npos) << bad.err;
    }
}

TEST_F(DriveCommands, WatchAnnouncesTheDrivesPresentAtStart) {
    const ToolRun w = Run({"--json", "watch", "--seconds", "1"});
    ASSERT_EQ(w.status, 0) << w.err;
    std::istringstream lines(w.out);
    std::vector<std::string> events;
    for (std::string line; std::getline(lines, line);)
        events.push_back(line);
    // The stick is not served (no SMART), but it is there as list shows it.
    ASSERT_EQ(events.size(), 3u) << w.out;
    for (const std::string& e : events) {
        EXPECT_TRUE(std::regex_search(
            e, std::regex(
                   R"(^\{"time": "20[0-9]{2}-[0-9]{2}-[0-9]{2}T[0-9:]{8}Z","event": "arrival")")))
            << e;
    }
    EXPECT_NE(w.out.find(R"("model": "Spin Disk")"), std::string::npos) << w.out;
    EXPECT_NE(w.out.find(R"("model": "Flash Disk")"), std::string::npos) << w.out;
    EXPECT_NE(w.out.find(R"("path": "SIM\\c-stick","model": "Pocket Stick","health": "unknown")"),
              std::string::npos)
        << w.out;
    EXPECT_EQ(Run({"watch", "--seconds", "x"}).status, 2);
}

} // namespace
} // namespace tvd::cli
