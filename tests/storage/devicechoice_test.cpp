#include "storage/devicechoice.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "storage/fakestorage.h"

namespace tvd {
namespace {

using test::FakeStorage;
using test::SelectedStorage;

// Stand-in for a command object: the choice never looks inside one, it only keeps or destroys
// it, so the tests hand it opaque objects that log their destruction.
struct FakeInterface {
    std::string kind;
    std::vector<std::string>* destroyed;
    InterfacePtr<clNtScsi> transport; // a bridge's SCSI interface, when it took one
    ~FakeInterface() { destroyed->push_back(kind); }
};

template <class T> InterfacePtr<T> MakeFake(std::string kind, std::vector<std::string>& log) {
    auto* f = new FakeInterface{std::move(kind), &log, {}};
    return InterfacePtr<T>(reinterpret_cast<T*>(f), InterfaceDeleter<T>{[](T* p) {
                               delete reinterpret_cast<FakeInterface*>(p);
                           }});
}
template <class T> FakeInterface* Fake(const InterfacePtr<T>& p) {
    return reinterpret_cast<FakeInterface*>(p.get());
}

class ChoiceDisk : public clDisk {
public:
    std::uint32_t bus = bustype::kSata;
    bool removable = false;
    std::uint32_t GetBusType() override { return bus; }
    bool IsUsb() override { return bus == bustype::kUsb; }
    bool IsRemovable() override { return removable; }
};

const char* Name(AtaCandidate k) {
    switch (k) {
    case AtaCandidate::kUsbBridge:
        return "usb";
    case AtaCandidate::kWinSmart:
        return "smart";
    case AtaCandidate::kWinPassThrough:
        return "passthrough";
    case AtaCandidate::kNtScsiAta:
        return "scsiata";
    case AtaCandidate::kSat:
        return "sat";
    }
    return "?";
}
const char* Name(NvmeCandidate k) {
    switch (k) {
    case NvmeCandidate::kUsbAsmedia:
        return "asmedia";
    case NvmeCandidate::kUsbJmicron:
        return "jmicron";
    case NvmeCandidate::kW10:
        return "w10";
    case NvmeCandidate::kWinIrst:
        return "irst";
    case NvmeCandidate::kPlatform:
        return "platform";
    }
    return "?";
}

class DeviceChoiceTest : public ::testing::Test {
protected:
    DeviceChoiceTest() {
        ClearCandidateFactories();
        FakeStorage::Target& t = fake.paths["DISK1"];
        t.address = ScsiAddress{2, 0, 5, 0};
        disk.SetPath("DISK1");
    }
    ~DeviceChoiceTest() override { ClearCandidateFactories(); }

    // ATA factories for every kind; `valid` names the kinds that answer valid.
    void RegisterAta(std::vector<AtaCandidate> valid = {}) {
        for (AtaCandidate k :
             {AtaCandidate::kUsbBridge, AtaCandidate::kWinSmart, AtaCandidate::kWinPassThrough,
              AtaCandidate::kNtScsiAta, AtaCandidate::kSat}) {
            const bool ok = std::find(valid.begin(), valid.end(), k) != valid.end();
            SetAtaCandidateFactory(k, [this, k, ok](const CandidateContext& ctx) {
                tried.push_back(Name(k));
                contexts.push_back(ctx);
                return CandidateResult<clAta>{MakeFake<clAta>(Name(k), destroyed), ok};
            });
        }
    }
    void RegisterScsi(bool valid) {
        SetScsiCandidateFactory(ScsiCandidate::kNtScsi, [this, valid](const CandidateContext& ctx) {
            tried.push_back("scsi");
            contexts.push_back(ctx);
            return CandidateResult<clNtScsi>{MakeFake<clNtScsi>("scsi", destroyed), valid};
        });
    }

    FakeStorage fake;
    SelectedStorage selected{fake};
    ChoiceDisk disk;
    std::vector<std::string> tried, destroyed;
    std::vector<CandidateContext> contexts;
};

TEST_F(DeviceChoiceTest, AtaCandidatesByBusInOrderAndRejectedOnesDestroyed) {
    struct Row {
        std::uint32_t bus;
        std::vector<std::string> order;
    } rows[] = {
        {bustype::kScsi, {"scsiata"}},
        {bustype::kIscsi, {"scsiata"}},
        {bustype::kAta, {"sat", "smart", "passthrough", "scsiata"}},
        {bustype::kSata, {"sat", "smart", "passthrough", "scsiata"}},
        {bustype::kUsb, {"usb"}},
        {bustype::kRaid, {"passthrough", "scsiata"}},
        {bustype::kNvme, {}},
        {bustype::kSd, {}},
        {bustype::kUnknown, {}},
    };
    RegisterAta();
    for (const Row& r : rows) {
        tried.clear();
        destroyed.clear();
        disk.bus = r.bus;
        EXPECT_EQ(OpenAtaInterface(&disk), nullptr) << r.bus;
        EXPECT_EQ(tried, r.order) << r.bus;
        EXPECT_EQ(destroyed, r.order) << r.bus;
    }
}

TEST_F(DeviceChoiceTest, FirstValidAtaCandidateWinsAndLaterOnesAreNotTried) {
    RegisterAta({AtaCandidate::kWinPassThrough, AtaCandidate::kNtScsiAta});
    disk.bus = bustype::kSata;
    {
        InterfacePtr<clAta> ata = OpenAtaInterface(&disk);
        ASSERT_NE(ata, nullptr);
        EXPECT_EQ(Fake(ata)->kind, "passthrough");
        EXPECT_EQ(tried, (std::vector<std::string>{"sat", "smart", "passthrough"}));
        EXPECT_EQ(destroyed, (std::vector<std::string>{"sat", "smart"}));
        EXPECT_EQ(contexts.back().path, "DISK1");
        EXPECT_EQ(contexts.back().disk, &disk);
    }
    EXPECT_EQ(destroyed,
              (std::vector<std::string>{"sat", "smart", "passthrough"})); // owned by the caller

    // A valid verdict without an object is no interface: the next candidate is tried.
    tried.clear();
    SetAtaCandidateFactory(AtaCandidate::kWinSmart, [this](const CandidateContext&) {
        tried.push_back("smart-null");
        return CandidateResult<clAta>{{}, true};
    });
    InterfacePtr<clAta> ata = OpenAtaInterface(&disk);
    ASSERT_NE(ata, nullptr);
    EXPECT_EQ(Fake(ata)->kind, "passthrough");
    EXPECT_EQ(tried, (std::vector<std::string>{"sat", "smart-null", "passthrough"}));
}

TEST_F(DeviceChoiceTest, ScsiTranslatedAtaNeedsTheScsiAddress) {
    RegisterAta({AtaCandidate::kNtScsiAta});
    disk.bus = bustype::kScsi;
    InterfacePtr<clAta> ata = OpenAtaInterface(&disk);
    ASSERT_NE(ata, nullptr);
    ASSERT_TRUE(contexts.back().address.has_value());
    EXPECT_EQ(contexts.back().address->portNumber, 2);
    EXPECT_EQ(contexts.back().address->targetId, 5);

    tried.clear();
    fake.paths["DISK1"].address.reset(); // the address request fails
    EXPECT_EQ(OpenAtaInterface(&disk), nullptr);
    EXPECT_TRUE(tried.empty());
    disk.bus = bustype::kRaid; // the pass-through candidate is still tried
    EXPECT_EQ(OpenAtaInterface(&disk), nullptr);
    EXPECT_EQ(tried, std::vector<std::string>{"passthrough"});
}

TEST_F(DeviceChoiceTest, NothingRegisteredOrNothingToOpenAnswersNone) {
    for (std::uint32_t bus : {bustype::kSata, bustype::kUsb, bustype::kNvme, bustype::kScsi}) {
        disk.bus = bus;
        EXPECT_EQ(OpenAtaInterface(&disk), nullptr) << bus;
        EXPECT_EQ(OpenScsiInterface(&disk), nullptr) << bus;
        EXPECT_EQ(OpenNvmeInterface(&disk).nvme, nullptr) << bus;
    }
    RegisterAta({AtaCandidate::kWinSmart});
    RegisterScsi(true);
    EXPECT_EQ(OpenAtaInterface(nullptr), nullptr);
    EXPECT_EQ(OpenScsiInterface(nullptr), nullptr);
    EXPECT_EQ(OpenNvmeInterface(nullptr).nvme, nullptr);
    ChoiceDisk pathless; // listed without a path: never gets a command interface
    EXPECT_EQ(OpenAtaInterface(&pathless), nullptr);
    EXPECT_EQ(OpenScsiInterface(&pathless), nullptr);
    EXPECT_TRUE(tried.empty());
}

TEST_F(DeviceChoiceTest, ScsiInterfaceOnlyWhenTheDiskOpens) {
    RegisterScsi(true);
    InterfacePtr<clNtScsi> scsi = OpenScsiInterface(&disk);
    ASSERT_NE(scsi, nullptr);
    ASSERT_TRUE(contexts.back().address.has_value());
    EXPECT_EQ(contexts.back().address->targetId, 5);

    fake.paths["DISK1"].address.reset();
    EXPECT_NE(OpenScsiInterface(&disk), nullptr);
    EXPECT_FALSE(contexts.back().address.has_value());

    tried.clear();
    fake.paths["DISK1"].openResult = err::kAccessDenied;
    EXPECT_EQ(OpenScsiInterface(&disk), nullptr);
    EXPECT_TRUE(tried.empty());
    EXPECT_EQ(fake.liveHandles, 0);
}

TEST_F(DeviceChoiceTest, UsbDiskWithASilentBridgeKeepsScsiButGetsNoAta) {
    RegisterScsi(true);
    RegisterAta(); // the bridge answers neither SAT nor a vendor command set
    disk.bus = bustype::kUsb;
    EXPECT_NE(OpenScsiInterface(&disk), nullptr);
    EXPECT_EQ(OpenAtaInterface(&disk), nullptr);
    EXPECT_EQ(tried, (std::vector<std::string>{"scsi", "usb"}));
}

class NvmeChoiceTest : public DeviceChoiceTest {
protected:
    // Each factory writes its mark into the shared buffer; `takes` names the bridge that takes
    // the SCSI transport and answers valid, `valid` the others that answer valid.
    void RegisterNvme(std::vector<NvmeCandidate> valid) {
        for (NvmeCandidate k :
             {NvmeCandidate::kUsbAsmedia, NvmeCandidate::kUsbJmicron, NvmeCandidate::kW10,
              NvmeCandidate::kWinIrst, NvmeCandidate::kPlatform}) {
            const bool ok = std::find(valid.begin(), valid.end(), k) != valid.end();
            SetNvmeCandidateFactory(k, [this, k, ok](const CandidateContext&,
                                                     MutableByteView identify,
                                                     InterfacePtr<clNtScsi>& scsi) {
                tried.push_back(Name(k));
                buffers.push_back(identify.data());
                sawZeroed.push_back(identify.size() == 4096 && identify[0] == 0 &&
                                    identify[4095] == 0);
                sawTransport.push_back(scsi != nullptr);
                identify[0] = static_cast<std::uint8_t>(tried.size());
                identify[4095] = 0xEE;
                CandidateResult<clNvme> r{MakeFake<clNvme>(Name(k), destroyed), ok};
                if (ok && scsi) Fake(r.object)->transport = std::move(scsi);
                return r;
            });
        }
    }
    std::vector<const std::uint8_t*> buffers;
    std::vector<bool> sawZeroed, sawTransport;
};

TEST_F(NvmeChoiceTest, SharedIdentifyBufferGoesToTheWinner) {
    RegisterNvme({NvmeCandidate::kWinIrst});
    for (std::uint32_t bus : {bustype::kNvme, bustype::kRaid}) {
        tried.clear();
        destroyed.clear();
        buffers.clear();
        sawZeroed.clear();
        disk.bus = bus;
        NvmeChoice c = OpenNvmeInterface(&disk);
        ASSERT_NE(c.nvme, nullptr) << bus;
        EXPECT_EQ(Fake(c.nvme)->kind, "irst");
        EXPECT_EQ(tried, (std::vector<std::string>{"platform", "w10", "irst"}));
        EXPECT_EQ(destroyed, (std::vector<std::string>{"platform", "w10"}));
        ASSERT_EQ(buffers.size(), 3u);
        EXPECT_EQ(buffers[0], buffers[2]); // one buffer for all attempts
        EXPECT_EQ(buffers[1], buffers[2]);
        EXPECT_EQ(sawZeroed, (std::vector<bool>{true, true, true})); // no stale bytes of a loser
        ASSERT_EQ(c.identify.size(), 4096u);
        EXPECT_EQ(c.identify[0], 3); // written by the winner
        EXPECT_EQ(c.identify.data(), buffers[2]);
    }
    tried.clear();
    for (std::uint32_t bus : {bustype::kSata, bustype::kScsi, bustype::kSd}) {
        disk.bus = bus;
        NvmeChoice c = OpenNvmeInterface(&disk);
        EXPECT_EQ(c.nvme, nullptr) << bus;
        EXPECT_TRUE(c.identify.empty()) << bus;
    }
    EXPECT_TRUE(tried.empty());
}

TEST_F(NvmeChoiceTest, UsbBridgesOnlyForFixedDisksOverTheirScsiInterface) {
    RegisterScsi(true);
    RegisterNvme({NvmeCandidate::kUsbJmicron});
    disk.bus = bustype::kUsb;

    disk.removable = true;
    EXPECT_EQ(OpenNvmeInterface(&disk).nvme, nullptr);
    EXPECT_TRUE(tried.empty()); // not even the SCSI interface is opened

    disk.removable = false;
    {
        NvmeChoice c = OpenNvmeInterface(&disk);
        ASSERT_NE(c.nvme, nullptr);
        EXPECT_EQ(Fake(c.nvme)->kind, "jmicron");
        EXPECT_EQ(tried, (std::vector<std::string>{"scsi", "asmedia", "jmicron"}));
        EXPECT_EQ(sawTransport, (std::vector<bool>{true, true}));
        EXPECT_EQ(destroyed, std::vector<std::string>{"asmedia"}); // the transport lives on
        EXPECT_NE(Fake(c.nvme)->transport, nullptr);
    }
    EXPECT_EQ(destroyed, (std::vector<std::string>{"asmedia", "jmicron", "scsi"}));

    // No bridge answers: the SCSI interface opened for them is released.
    tried.clear();
    destroyed.clear();
    RegisterNvme({});
    EXPECT_EQ(OpenNvmeInterface(&disk).nvme, nullptr);
    EXPECT_EQ(destroyed, (std::vector<std::string>{"asmedia", "jmicron", "scsi"}));

    // Without a SCSI interface there is nothing to tunnel through.
    tried.clear();
    RegisterScsi(false);
    EXPECT_EQ(OpenNvmeInterface(&disk).nvme, nullptr);
    EXPECT_EQ(tried, std::vector<std::string>{"scsi"});
}

} // namespace
} // namespace tvd
