#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <map>
#include <vector>

#include "storage/clnvme.h"
#include "storage/fakestorage.h"
#include "storage/nvmeidentitybuilder.h"

namespace tvd {
namespace {

using test::NvmeControllerBuilder;
using Bytes = std::vector<std::uint8_t>;

// Answers identify from scripted structures and records every command it is given.
class RecordingNvme : public clNvme {
public:
    struct Sent {
        Bytes command;
        DataDirection dir;
        std::size_t length;
        bool wantsCompletion;
    };
    std::vector<Sent> sent;
    std::map<std::uint8_t, Bytes> identify; // by CNS; missing: the command fails
    std::uint16_t statusField = 0;          // of every completion
    int closes = 0;

    void Close() override { ++closes; }
    bool ExecNonData(bool, ByteView cmd, std::uint8_t* completion) override {
        return Record(cmd, DataDirection::kNone, 0, completion);
    }
    bool ExecDataIn(bool, ByteView cmd, MutableByteView data, std::uint8_t* completion) override {
        if (!Record(cmd, DataDirection::kIn, data.size(), completion)) return false;
        if (cmd[0] != 0x06) return true;
        auto it = identify.find(cmd[40]);
        if (it == identify.end()) return false;
        std::copy_n(it->second.begin(), std::min(data.size(), it->second.size()), data.begin());
        return true;
    }
    bool ExecDataOut(bool, ByteView cmd, ByteView data, std::uint8_t* completion) override {
        return Record(cmd, DataDirection::kOut, data.size(), completion);
    }

private:
    bool Record(ByteView cmd, DataDirection dir, std::size_t length, std::uint8_t* completion) {
        sent.push_back({Bytes(cmd.begin(), cmd.end()), dir, length, completion != nullptr});
        if (completion) StoreLe(MutableByteView(completion, 16), 14, statusField);
        return true;
    }
};

// A 64-byte command with the given bytes set, zero elsewhere.
Bytes Cmd(std::initializer_list<std::pair<std::size_t, std::uint8_t>> set) {
    Bytes c(64, 0);
    for (auto [off, v] : set)
        c[off] = v;
    return c;
}

TEST(ClNvme, CommandBlocksAreByteExact) {
    struct Case {
        const char* name;
        std::function<bool(clNvme&)> call;
        Bytes command;
        DataDirection dir;
        std::size_t length;
    };
    Bytes buf(512);
    const Case cases[] = {
        {"identify namespace 7",
         [](clNvme& n) {
             Bytes b(4096);
             return n.IdentifyNvme(7, 0, b);
         },
         Cmd({{0, 0x06}, {4, 7}}), DataDirection::kIn, 4096},
        {"identify controller",
         [](clNvme& n) {
             Bytes b(4096);
             return n.IdentifyNvme(0, 1, b);
         },
         Cmd({{0, 0x06}, {40, 1}}), DataDirection::kIn, 4096},
        {"smart log", [&](clNvme& n) { return n.GetLogPage(2, 127, buf); },
         Cmd({{0, 0x02}, {4, 0xFF}, {5, 0xFF}, {6, 0xFF}, {7, 0xFF}, {40, 2}, {42, 0x7F}}),
         DataDirection::kIn, 512},
        {"log count limited to 12 bits",
         [&](clNvme& n) { return n.GetLogPage(0x81, 0xFFFFF, buf); },
         Cmd({{0, 0x02},
              {4, 0xFF},
              {5, 0xFF},
              {6, 0xFF},
              {7, 0xFF},
              {40, 0x81},
              {42, 0xFF},
              {43, 0x0F}}),
         DataDirection::kIn, 512},
        {"security receive",
         [](clNvme& n) {
             Bytes b(0x1234);
             return n.SecurityReceive(0xEF, 0xABCD, b);
         },
         Cmd({{0, 0x82}, {41, 0xCD}, {42, 0xAB}, {43, 0xEF}, {44, 0x34}, {45, 0x12}}),
         DataDirection::kIn, 0x1234},
        {"security send",
         [](clNvme& n) {
             Bytes b(512);
             return n.SecuritySend(0x01, 0x0001, b);
         },
         Cmd({{0, 0x81}, {41, 0x01}, {43, 0x01}, {45, 0x02}}), DataDirection::kOut, 512},
        {"sanitize", [](clNvme& n) { return n.Sanitize(0x0204); },
         Cmd({{0, 0x84}, {40, 0x04}, {41, 0x02}}), DataDirection::kNone, 0},
    };
    for (const Case& c : cases) {
        RecordingNvme n;
        n.SetController(NvmeControllerBuilder().Oacs(1).Sanicap(2).Bytes());
        n.identify[0] = n.identify[1] = Bytes(4096, 1);
        EXPECT_TRUE(c.call(n)) << c.name;
        ASSERT_EQ(n.sent.size(), 1u) << c.name;
        EXPECT_EQ(n.sent[0].command, c.command) << c.name;
        EXPECT_EQ(n.sent[0].dir, c.dir) << c.name;
        EXPECT_EQ(n.sent[0].length, c.length) << c.name;
    }
}

TEST(ClNvme, SecurityNeedsOacsBit0) {
    for (std::uint16_t oacs : {0x0000, 0x0006, 0x0001}) {
        RecordingNvme n;
        n.identify[1] = NvmeControllerBuilder().Oacs(oacs).Bytes();
        Bytes b(16);
        const bool supported = oacs & 1;
        EXPECT_EQ(n.SecurityReceive(1, 0, b), supported) << oacs;
        EXPECT_EQ(n.SecuritySend(1, 0, b), supported) << oacs;
        // Only the controller identify, plus the two security commands when supported.
        EXPECT_EQ(n.sent.size(), supported ? 3u : 1u) << oacs;
    }
}

TEST(ClNvme, ControllerCacheKeepsOnlyPlausibleDataAndRetries) {
    RecordingNvme n;
    EXPECT_TRUE(n.GetController().empty()); // identify fails
    n.identify[1] = Bytes(4096, 0);
    EXPECT_TRUE(n.GetController().empty()); // answered, but all zero
    n.identify[1] = NvmeControllerBuilder().Bytes();
    EXPECT_EQ(n.GetController().size(), 4096u);
    EXPECT_EQ(n.GetController().size(), 4096u);
    EXPECT_EQ(n.sent.size(), 3u); // the good answer was cached
    EXPECT_EQ(n.closes, 3);       // every identify attempt closes
}

TEST(ClNvme, NamespaceCacheByNsid) {
    RecordingNvme n;
    n.identify[0] = test::NvmeNamespaceBuilder().Bytes();
    EXPECT_FALSE(n.GetNamespace(1).empty());
    EXPECT_FALSE(n.GetNamespace(1).empty());
    EXPECT_EQ(n.sent.size(), 1u);
    EXPECT_FALSE(n.GetNamespace(2).empty());
    EXPECT_EQ(n.sent.size(), 2u);
    EXPECT_EQ(n.NamespaceId(), 2u);

    n.identify.erase(0);
    EXPECT_TRUE(n.GetNamespace(3).empty());
    EXPECT_EQ(n.NamespaceId(), 0u);
    // The failed identify may have overwritten the buffer: NSID 2 is asked again.
    n.identify[0] = test::NvmeNamespaceBuilder().Bytes();
    EXPECT_FALSE(n.GetNamespace(2).empty());
    EXPECT_EQ(n.sent.size(), 4u);
}

TEST(ClNvme, TextsAndFirstNamespace) {
    RecordingNvme n;
    std::string s = "x";
    EXPECT_FALSE(n.GetModel(s)); // no controller data
    EXPECT_EQ(s, "");
    EXPECT_EQ(n.FirstActiveNamespace(), 0u);

    const std::string model40 = "0123456789ABCDEFGHIJ0123456789abcdefghij";
    n.identify[1] = NvmeControllerBuilder().Model(model40).Serial("SN1").Firmware("FW9").Bytes();
    n.identify[2] = Bytes{5, 0, 0, 0, 9, 0, 0, 0};
    ASSERT_TRUE(n.GetModel(s));
    EXPECT_EQ(s, model40);
    ASSERT_TRUE(n.GetSerial(s));
    EXPECT_EQ(s, "SN1" + std::string(17, ' '));
    ASSERT_TRUE(n.GetFirmware(s));
    EXPECT_EQ(s, "FW9     ");
    EXPECT_EQ(n.PciVendorId(), 0x144D);
    EXPECT_EQ(n.FirstActiveNamespace(), 5u);
}

TEST(ClNvme, SanitizeNeedsSanicapAndCleanStatus) {
    struct Case {
        std::uint32_t sanicap;
        std::uint16_t status;
        bool ok;
        std::size_t commands;
    };
    const Case cases[] = {
        {0, 0, false, 0},         // not announced: never sent
        {2, 0, true, 1},          //
        {2, 0x1D << 1, false, 1}, // status code
        {2, 1 << 9, false, 1},    // status code type only
    };
    for (const Case& c : cases) {
        RecordingNvme n;
        n.SetController(NvmeControllerBuilder().Sanicap(c.sanicap).Bytes());
        EXPECT_EQ(n.SanitizeSupported(), c.sanicap != 0);
        n.statusField = c.status;
        EXPECT_EQ(n.Sanitize(1), c.ok) << c.status;
        ASSERT_EQ(n.sent.size(), c.commands);
        if (c.commands) {
            EXPECT_TRUE(n.sent[0].wantsCompletion);
        }
    }
}

// ---- Platform paths against a scripted back end

class NvmeStorage : public test::FakeStorage {
public:
    ErrorCode nvmeResult = err::kSuccess;
    std::uint16_t statusField = 0;
    Bytes dataIn;
    std::vector<NvmeCommandRequest> requests;
    std::function<ErrorCode(std::uint32_t, ByteView, MutableByteView, std::uint32_t&)> io;
    std::vector<std::uint32_t> ioCodes;

    ErrorCode NvmeCommand(DeviceHandle& h, NvmeCommandRequest& r) override {
        if (!h.IsOpen()) return err::kInvalidHandle;
        requests.push_back(r);
        if (r.direction == DataDirection::kIn)
            std::copy_n(dataIn.begin(), std::min(dataIn.size(), r.data.size()), r.data.begin());
        StoreLe(MutableByteView(r.completion), 0, std::uint32_t{0xC0FFEE});
        StoreLe(MutableByteView(r.completion), 14, statusField);
        return nvmeResult;
    }
    ErrorCode IoControl(DeviceHandle& h, std::uint32_t code, ByteView in, MutableByteView out,
                        std::uint32_t& returned) override {
        returned = 0;
        if (!h.IsOpen()) return err::kInvalidHandle;
        ioCodes.push_back(code);
        return io ? io(code, in, out, returned) : err::kNotSupported;
    }
};

TEST(ClPlatformNvme, SuccessNeedsDeliveryAndCleanCompletion) {
    struct Case {
        ErrorCode result;
        std::uint16_t status;
        bool ok;
        ErrorCode lastError;
    };
    const Case cases[] = {
        {err::kSuccess, 0, true, err::kSuccess},
        {err::kSuccess, 0x0002 << 1, false, err::kIoDevice},
        {err::kSuccess, 0x0001 << 9, false, err::kIoDevice},
        {err::kIoDevice, 0, false, err::kIoDevice},
        {err::kNotSupported, 0, false, err::kNotSupported},
    };
    for (const Case& c : cases) {
        NvmeStorage fake;
        fake.name = "linux";
        fake.paths["/dev/nvme0"];
        fake.nvmeResult = c.result;
        fake.statusField = c.status;
        fake.dataIn = Bytes(8, 0x5A);
        test::SelectedStorage selected(fake);
        clPlatformNvme n("/dev/nvme0");
        Bytes data(8, 0);
        std::uint8_t completion[16] = {};
        EXPECT_EQ(n.ExecDataIn(true, nvmecmd::Identify(0, 1), data, completion), c.ok);
        EXPECT_EQ(n.LastError(), c.lastError);
        if (c.result == err::kSuccess) {
            EXPECT_EQ(Le<std::uint16_t>(ByteView(completion), 14), c.status);
            EXPECT_EQ(Le<std::uint32_t>(ByteView(completion), 0), 0xC0FFEEu);
        }
        ASSERT_EQ(fake.requests.size(), 1u);
        EXPECT_EQ(fake.requests[0].command[0], 0x06);
        EXPECT_EQ(fake.requests[0].direction, DataDirection::kIn);
    }
}

TEST(ClPlatformNvme, UnopenablePathSendsNothing) {
    NvmeStorage fake;
    fake.name = "linux";
    test::SelectedStorage selected(fake);
    clPlatformNvme n("/dev/missing");
    EXPECT_FALSE(n.ExecNonData(true, nvmecmd::Sanitize(1), nullptr));
    EXPECT_EQ(n.LastError(), err::kFileNotFound);
    EXPECT_TRUE(fake.requests.empty());
}

TEST(ClWinNvme, UnopenablePathSendsNothing) {
    NvmeStorage fake;
    test::SelectedStorage selected(fake);
    clW10Nvme w10("PHYSICALDRIVE9");
    Bytes b(4096);
    EXPECT_FALSE(w10.IdentifyNvme(0, 1, b));
    EXPECT_FALSE(w10.ExecNonData(true, nvmecmd::Sanitize(1), nullptr));
    EXPECT_EQ(w10.LastError(), err::kFileNotFound);
    clWinNvmeIrst irst(ScsiAddress{3, 0, 1, 0});
    EXPECT_EQ(irst.Path(), "Scsi3:");
    EXPECT_FALSE(irst.ExecDataIn(true, nvmecmd::Identify(0, 1), b, nullptr));
    EXPECT_TRUE(fake.ioCodes.empty());
}

TEST(ClWinNvmeIrst, RefusesWhatTheMiniportCannotCarry) {
    NvmeStorage fake;
    fake.paths["SCSI3:"];
    fake.io = [](std::uint32_t, ByteView, MutableByteView, std::uint32_t& r) {
        r = 4260;
        return err::kSuccess;
    };
    test::SelectedStorage selected(fake);
    clWinNvmeIrst irst(ScsiAddress{3, 0, 1, 0});
    Bytes big(4097), ok(4096);
    EXPECT_FALSE(irst.ExecDataIn(true, nvmecmd::GetLogPage(2, 1023), big, nullptr));
    EXPECT_FALSE(irst.ExecDataIn(false, nvmecmd::Identify(0, 1), ok, nullptr));
    EXPECT_FALSE(irst.ExecNonData(true, nvmecmd::Sanitize(1), nullptr));
    Bytes small(4);
    EXPECT_FALSE(irst.ExecDataOut(true, nvmecmd::SecuritySend(1, 0, 4), small, nullptr));
    EXPECT_TRUE(fake.ioCodes.empty());
    EXPECT_TRUE(irst.ExecDataIn(true, nvmecmd::Identify(0, 1), ok, nullptr));
    EXPECT_EQ(fake.ioCodes, std::vector<std::uint32_t>{ioctl::kScsiMiniport});
}

} // namespace
} // namespace tvd
