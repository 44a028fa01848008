// The other namespaces of an NVMe controller, found through the back end's controller nodes (the
// way Windows finds them): a sanitize erases them all, so each must be free of use.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/storagesession.h"
#include "cli/tracestorage.h"
#include "drive/kernelfun.h"
#include "jobs/fundiskeraseutil.h"
#include "storage/deviceregistry.h"
#include "storage/sim/simstorage.h"
#include "storage/simfolder.h"

namespace tvd {
namespace {

// The simulated drives with controller nodes chosen by the test, by drive name.
class ControllerStorage : public cli::TraceStorage {
public:
    explicit ControllerStorage(StoragePlatform& inner) : TraceStorage(inner, nullptr) {}
    std::uint32_t ControllerOf(std::uint32_t diskDevInst) override {
        for (clDevice* d = FindList(devtype::kDisk) ? FindList(devtype::kDisk)->FirstDevice()
                                                    : nullptr;
             d; d = FindList(devtype::kDisk)->NextDevice(d)) {
            if (d->DevInst() != diskDevInst || !d->GetPath()) continue;
            std::string name = d->GetPath();
            name = name.substr(name.find_last_of("/\\") + 1);
            std::transform(name.begin(), name.end(), name.begin(), ::tolower);
            const auto it = controllers.find(name);
            return it == controllers.end() ? 0 : it->second;
        }
        return 0;
    }
    std::map<std::string, std::uint32_t> controllers;
};

std::string Drive(const char* bus, bool mounted) {
    return std::string("[Drive]\nBus=") + bus +
           "\nCapacity=8M\nMountedVolume=" + (mounted ? "1" : "0") + "\n[Nvme]\nSanicap=3\n";
}

TEST(SanitizeSiblings, EveryNamespaceOfTheControllerMustBeFree) {
    test::SimFolder folder;
    folder.Write("ns1.drive", Drive("NVMe", false));
    folder.Write("ns2.drive", Drive("NVMe", true)); // a mounted volume
    folder.Write("ns3.drive", Drive("NVMe", false));
    folder.Write("sata.drive", Drive("SATA", true)); // mounted, but not a namespace
    ErrorCode e = err::kSuccess;
    std::unique_ptr<SimStorage> sim = SimStorage::Create(folder.Path(), e);
    ASSERT_TRUE(sim);
    ControllerStorage storage(*sim);
    SelectStorage(&storage);
    {
        cli::StorageSession session;
        std::string problem;
        ASSERT_EQ(session.Open("", problem), err::kSuccess) << problem;
        clDeviceList* disks = FindList(devtype::kDisk);
        ASSERT_NE(disks, nullptr);
        auto path = [&](const char* name) {
            clDisk* d = session.FindDisk(name);
            return d && d->GetPath() ? std::string(d->GetPath()) : std::string();
        };
        struct Row {
            const char* name;
            std::map<std::string, std::uint32_t> controllers;
            const char* disk;
            ErrorCode code;
            std::vector<std::string> siblings; // drive names
            EraseRefusal refusal;
            const char* where; // the sibling named by the refusal
        } rows[] = {
            {"one controller",
             {{"ns1", 7}, {"ns2", 7}, {"ns3", 7}, {"sata", 7}},
             "ns1",
             err::kSuccess,
             {"ns2", "ns3"},
             EraseRefusal::kMountedVolume,
             "ns2"},
            {"the mounted namespace elsewhere",
             {{"ns1", 7}, {"ns2", 8}, {"ns3", 7}, {"sata", 7}},
             "ns1",
             err::kSuccess,
             {"ns3"},
             EraseRefusal::kNone,
             ""},
            {"controller unknown: the disk's own check",
             {{"ns2", 7}, {"ns3", 7}},
             "ns1",
             err::kNotSupported,
             {},
             EraseRefusal::kNone,
             ""},
            {"a SATA disk has no namespaces",
             {{"sata", 7}, {"ns1", 7}},
             "sata",
             err::kSuccess,
             {},
             EraseRefusal::kMountedVolume,
             ""},
        };
        for (const Row& r : rows) {
            SCOPED_TRACE(r.name);
            storage.controllers = r.controllers;
            std::vector<std::string> siblings;
            EXPECT_EQ(ControllerSiblings(disks, path(r.disk), siblings), r.code);
            std::vector<std::string> want;
            for (const std::string& s : r.siblings)
                want.push_back(path(s.c_str()));
            EXPECT_EQ(siblings, want);
            std::string where;
            EXPECT_EQ(CheckSanitizePathAllowed(path(r.disk), &where), r.refusal);
            if (*r.where) {
                EXPECT_NE(where.find(path(r.where)), std::string::npos) << where;
            }
            // The erase of the disk alone looks at that disk only.
            EXPECT_EQ(CheckErasePathAllowed(path(r.disk)), std::string(r.disk) == "sata"
                                                               ? EraseRefusal::kMountedVolume
                                                               : EraseRefusal::kNone);
        }
        std::vector<std::string> none;
        EXPECT_EQ(ControllerSiblings(disks, "no-such-disk", none), err::kFileNotFound);
        EXPECT_EQ(ControllerSiblings(nullptr, path("ns1"), none), err::kNotSupported);
    }
    SelectStorage(nullptr);
}

} // namespace
} // namespace tvd
