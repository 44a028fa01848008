#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "../storage/commandfakes.h"
#include "../storage/fakestorage.h"
#include "drive/fundiskfwutil.h"
#include "storage/clnvme.h"

#ifdef _WIN32
#include <windows.h>

#include <winioctl.h>
static_assert(IOCTL_STORAGE_FIRMWARE_GET_INFO == tvd::fwinfo::kIoctlGetInfo);
#endif

namespace tvd {
namespace {

using test::LogNvme;

using S = FirmwareSource;

TEST(FunDiskFirmware, SourcesInOrderUntilOneAnswers) {
    const struct {
        std::uint32_t busType;
        std::map<S, std::string> answers;
        std::vector<S> asked;
        const char* text;
    } cases[] = {
        {bustype::kSata, {{S::kAtaIdentify, "FW1  \t"}}, {S::kAtaIdentify}, "FW1"},
        {bustype::kAta,
         {{S::kAtaIdentify, "    "}, {S::kDeviceDescriptor, "D1"}},
         {S::kAtaIdentify, S::kDeviceDescriptor},
         "D1"},
        {bustype::kUsb,
         {{S::kScsiInquiry, "R1"}},
         {S::kAtaIdentify, S::kNvmeIdentify, S::kScsiInquiry},
         "R1"},
        {bustype::kRaid, {{S::kNvmeIdentify, "N1"}}, {S::kAtaIdentify, S::kNvmeIdentify}, "N1"},
        {bustype::kRaid,
         {{S::kPlatformQuery, "P"}},
         {S::kAtaIdentify, S::kNvmeIdentify, S::kScsiInquiry, S::kDeviceDescriptor},
         ""},
        {bustype::kScsi,
         {{S::kPlatformQuery, "P"}, {S::kScsiInquiry, "S1"}},
         {S::kScsiInquiry},
         "S1"},
        {bustype::k1394, {}, {S::kScsiInquiry, S::kDeviceDescriptor}, ""},
        {bustype::kSd, {{S::kPlatformQuery, "P1"}}, {S::kPlatformQuery}, "P1"},
        {bustype::kMmc,
         {{S::kPlatformQuery, std::string("\0\0", 2)}, {S::kScsiInquiry, "S2"}},
         {S::kPlatformQuery, S::kScsiInquiry},
         "S2"},
        {bustype::kNvme,
         {{S::kPlatformQuery, "P"}, {S::kDeviceDescriptor, "D"}},
         {S::kNvmeIdentify, S::kDeviceDescriptor},
         "D"},
        {bustype::kSas, {{S::kDeviceDescriptor, "D"}}, {S::kDeviceDescriptor}, "D"},
    };
    for (const auto& c : cases) {
        std::vector<S> asked;
        const std::string text = BuildFirmwareText(c.busType, [&](S source) {
            asked.push_back(source);
            const auto it = c.answers.find(source);
            return it == c.answers.end() ? std::string() : it->second;
        });
        EXPECT_EQ(text, c.text) << "bus " << c.busType;
        EXPECT_EQ(asked, c.asked) << "bus " << c.busType;
    }
    EXPECT_EQ(BuildFirmwareText(bustype::kSata, nullptr), "");
}

// A STORAGE_HW_FIRMWARE_INFO answer with `slots` entries numbered from 1.
struct FirmwareInfoBuilder {
    std::vector<std::uint8_t> bytes;

    explicit FirmwareInfoBuilder(std::uint8_t slots = 1, std::uint8_t active = 1) {
        using namespace fwinfo;
        bytes.assign(kSlots + kSlotLength * std::max<std::size_t>(slots, 1), 0);
        Set32(kVersion, kInfoVersion);
        Set32(kSize, static_cast<std::uint32_t>(bytes.size()));
        bytes[kSlotCount] = slots;
        bytes[kActiveSlot] = active;
        for (std::uint8_t i = 0; i < std::max<std::uint8_t>(slots, 1); ++i) {
            Set32(kSlots + i * kSlotLength + kSlotVersion, kSlotInfoVersion);
            bytes[kSlots + i * kSlotLength + kSlotNumber] = static_cast<std::uint8_t>(i + 1);
        }
        Revision("1.2.3");
    }
    FirmwareInfoBuilder& Set32(std::size_t off, std::uint32_t v) {
        StoreLe(MutableByteView(bytes), off, v);
        return *this;
    }
    FirmwareInfoBuilder& Byte(std::size_t off, std::uint8_t v) {
        bytes[off] = v;
        return *this;
    }
    FirmwareInfoBuilder& Revision(const std::string& text) {
        const std::size_t at = fwinfo::kSlots + fwinfo::kSlotRevision;
        std::fill_n(bytes.begin() + at, fwinfo::kRevisionLength, std::uint8_t{0});
        std::copy_n(text.begin(), std::min(text.size(), fwinfo::kRevisionLength),
                    bytes.begin() + at);
        return *this;
    }
    FirmwareInfoBuilder& Cut(std::size_t length) {
        bytes.resize(length);
        return *this;
    }
};

// Answers the firmware request with a scripted answer and keeps what it was sent.
class FirmwareStorage : public test::FakeStorage {
public:
    std::vector<std::uint8_t> answer;
    ErrorCode result = err::kSuccess;
    std::optional<std::uint32_t> claimReturned; // a driver that reports more than it wrote
    std::uint32_t code = 0;
    std::vector<std::uint8_t> query;

    ErrorCode IoControl(DeviceHandle&, std::uint32_t c, ByteView in, MutableByteView out,
                        std::uint32_t& returned) override {
        code = c;
        query.assign(in.begin(), in.end());
        returned = 0;
        if (result != err::kSuccess) return result;
        if (answer.size() > out.size()) return err::kInsufficientBuffer;
        std::copy(answer.begin(), answer.end(), out.begin());
        returned = claimReturned.value_or(static_cast<std::uint32_t>(answer.size()));
        return err::kSuccess;
    }
};

class FunDiskFirmwareInfo : public ::testing::Test {
protected:
    FunDiskFirmwareInfo() {
        storage.paths["DISK"] = {};
        EXPECT_EQ(Storage().Open("disk", handle), err::kSuccess);
    }
    FirmwareStorage storage;
    test::SelectedStorage selected{storage};
    DeviceHandle handle;
};

TEST_F(FunDiskFirmwareInfo, SendsTheDeviceRequest) {
    storage.answer = FirmwareInfoBuilder().bytes;
    EXPECT_EQ(StorageFirmwareRevision(&handle), "1.2.3");
    EXPECT_EQ(storage.code, 0x002D1C00u);
    const std::vector<std::uint8_t> expected = {16, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(storage.query, expected);
}

TEST_F(FunDiskFirmwareInfo, AcceptsOnlyOneWholeActiveSlot) {
    using namespace fwinfo;
    const std::size_t slot = kSlots;
    const struct {
        const char* name;
        std::vector<std::uint8_t> answer;
        const char* revision;
        bool accepted; // the shape alone
    } cases[] = {
        {"single slot", FirmwareInfoBuilder().bytes, "1.2.3", true},
        {"16 characters, no terminator", FirmwareInfoBuilder().Revision("ABCDEFGHIJKLMNOP").bytes,
         "ABCDEFGHIJKLMNOP", true},
        {"trailing blanks", FirmwareInfoBuilder().Revision("0102    ").bytes, "0102", true},
        {"two slots", FirmwareInfoBuilder(2).bytes, "", false},
        {"no slots", FirmwareInfoBuilder(0).bytes, "", false},
        {"count beyond the answer", FirmwareInfoBuilder().Byte(kSlotCount, 200).bytes, "", false},
        {"other layout", FirmwareInfoBuilder().Set32(kVersion, 48).bytes, "", false},
        {"other slot layout", FirmwareInfoBuilder().Set32(slot + kSlotVersion, 24).bytes, "",
         false},
        {"active slot not described", FirmwareInfoBuilder(1, 2).bytes, "", false},
        {"slot number out of range", FirmwareInfoBuilder().Byte(slot + kSlotNumber, 9).bytes, "",
         false},
        {"slot cut short", FirmwareInfoBuilder().Cut(kSlots + kSlotRevision + 4).bytes, "", false},
        {"header only", FirmwareInfoBuilder().Cut(kSlots).bytes, "", false},
        {"nothing", {}, "", false},
        {"unprintable revision", FirmwareInfoBuilder().Revision("1.0\x01").bytes, "", true},
    };
    for (const auto& c : cases) {
        storage.answer = c.answer;
        EXPECT_EQ(StorageFirmwareRevision(&handle), c.revision) << c.name;
        EXPECT_EQ(GetStorageFirmwareInfo(&handle, kAnswerSize).has_value(), c.accepted) << c.name;
    }
}

TEST_F(FunDiskFirmwareInfo, FailuresGiveNone) {
    std::vector<std::uint8_t> buffer(fwinfo::kAnswerSize);
    std::uint32_t returned = 7;
    DeviceHandle closed;
    EXPECT_EQ(QueryStorageFirmwareInfo(nullptr, buffer, returned), err::kFileNotFound);
    EXPECT_EQ(QueryStorageFirmwareInfo(&closed, buffer, returned), err::kFileNotFound);
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(StorageFirmwareRevision(nullptr), "");

    storage.answer = FirmwareInfoBuilder().bytes;
    storage.result = err::kInvalidFunction; // a driver without the request
    EXPECT_EQ(QueryStorageFirmwareInfo(&handle, buffer, returned), err::kInvalidFunction);
    EXPECT_EQ(StorageFirmwareRevision(&handle), "");

    storage.result = err::kSuccess;
    storage.claimReturned = fwinfo::kAnswerSize + 1;
    EXPECT_EQ(QueryStorageFirmwareInfo(&handle, buffer, returned), err::kInvalidData);
    EXPECT_EQ(StorageFirmwareRevision(&handle), "");

    // Too small a buffer for one slot is not even sent.
    storage.claimReturned.reset();
    storage.code = 0;
    EXPECT_FALSE(GetStorageFirmwareInfo(&handle, fwinfo::kInfoVersion - 1).has_value());
    EXPECT_EQ(storage.code, 0u);
}

// NVMe firmware slot information log: byte 0 names the active slot (bits 2:0), slot n's
// revision is bytes 8n to 8n+7.
std::vector<std::uint8_t> SlotLog(std::uint8_t afi, std::size_t slot, const std::string& rev) {
    std::vector<std::uint8_t> log(fwslotlog::kSize, 0);
    log[0] = afi;
    if (slot >= 1 && slot <= 7) std::copy(rev.begin(), rev.end(), log.begin() + 8 * slot);
    return log;
}

std::vector<std::uint8_t> Cut(std::vector<std::uint8_t> bytes, std::size_t length) {
    bytes.resize(length);
    return bytes;
}

TEST(FunDiskFirmwareSlotLog, RevisionOfTheActiveSlot) {
    const struct {
        const char* name;
        std::vector<std::uint8_t> log;
        const char* revision;
    } cases[] = {
        {"slot 1", SlotLog(0x01, 1, "1B2QEXM7"), "1B2QEXM7"},
        {"slot 7", SlotLog(0x07, 7, "7.0"), "7.0"},
        {"next-reset bits ignored", SlotLog(0x23, 3, "3.0 "), "3.0"},
        {"other slot filled", SlotLog(0x02, 1, "1.0"), ""},
        {"slot 0", SlotLog(0x10, 1, "1.0"), ""},
        {"unprintable", SlotLog(0x01, 1, "1.\x7F"), ""},
        {"short log", Cut(SlotLog(0x07, 7, "7.0"), 63), ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FirmwareSlotLogRevision(c.log), c.revision) << c.name;
}

TEST(FunDiskFirmwareSlotLog, ReadsLogPage3) {
    LogNvme nvme;
    nvme.log = SlotLog(0x02, 2, "2.0");
    EXPECT_EQ(NvmeActiveFirmwareRevision(&nvme), "2.0");
    EXPECT_EQ(nvme.askedLog, 3);
    EXPECT_EQ(nvme.askedDwords, 127u);
    nvme.ok = false;
    EXPECT_EQ(NvmeActiveFirmwareRevision(&nvme), "");
    EXPECT_EQ(NvmeActiveFirmwareRevision(nullptr), "");
}

TEST(FunDiskFirmwareSysfs, FirstRevisionAttribute) {
    namespace fs = std::filesystem;
    const fs::path root = fs::path(::testing::TempDir()) / "tvd_fundiskfw_sysfs";
    fs::remove_all(root);
    const struct {
        std::map<std::string, std::string> files;
        const char* revision;
    } cases[] = {
        {{{"rev", "SN03\n"}}, "SN03"},
        {{{"rev", "SN03\n"}, {"firmware_rev", "2B2QEXM7  \n"}}, "2B2QEXM7"},
        {{{"rev", "0x8\n"}, {"fwrev", "0x5000000000000000\n"}}, "0x5000000000000000"},
        {{{"firmware_rev", "\n"}, {"rev", "1.0\n"}}, "1.0"},
        {{{"rev", "\x01\x02\n"}}, ""},
        {{}, ""},
    };
    int n = 0;
    for (const auto& c : cases) {
        const fs::path block = root / std::to_string(n++);
        fs::create_directories(block / "device");
        for (const auto& [name, text] : c.files)
            std::ofstream(block / "device" / name, std::ios::binary) << text;
        EXPECT_EQ(SysfsFirmwareRevision(block.string()), c.revision) << block;
    }
    EXPECT_EQ(SysfsFirmwareRevision(""), "");
    fs::remove_all(root);
}

#ifndef _WIN32
// Without the storage stack's request, the slot log speaks first and sysfs stands in.
TEST(FunDiskFirmwareSysfs, PlatformRevisionOnLinux) {
    namespace fs = std::filesystem;
    const fs::path root = fs::path(::testing::TempDir()) / "tvd_fundiskfw_platform";
    const fs::path block = root / "sdq";
    fs::create_directories(block / "device");
    std::ofstream(block / "device" / "firmware_rev") << "SYSFS1\n";
    LogNvme nvme;
    nvme.log = SlotLog(0x01, 1, "SLOT1");
    PlatformFirmwareTarget target{nullptr, &nvme, "/dev/sdq", root.string()};
    EXPECT_EQ(PlatformFirmwareRevision(target), "SLOT1");
    nvme.ok = false;
    EXPECT_EQ(PlatformFirmwareRevision(target), "SYSFS1");
    target.nvme = nullptr;
    EXPECT_EQ(PlatformFirmwareRevision(target), "SYSFS1");
    target.devicePath.clear();
    EXPECT_EQ(PlatformFirmwareRevision(target), "");
    fs::remove_all(root);
}
#endif

} // namespace
} // namespace tvd
