#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "storage/clnvme.h"
#include "storage/fakestorage.h"
#include "storage/nvmeidentitybuilder.h"
#include "storage/sim/simdevices.h"
#include "storage/w10nvmefun.h"
#include "storage/winnvmeirstfun.h"

namespace tvd {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t U32(ByteView b, std::size_t off) {
    return Le<std::uint32_t>(b, off, 0xDEADBEEF);
}

nvmecmd::Command TestCommand() {
    nvmecmd::Command c{};
    for (std::size_t i = 0; i < c.size(); ++i)
        c[i] = static_cast<std::uint8_t>(i + 1);
    return c;
}

TEST(W10Nvme, ProtocolCommandLayout) {
    struct Case {
        const char* name;
        bool admin, errorInfo;
        DataDirection dir;
        std::size_t length;
        // size, ErrorInfoLength/Offset, to-device len/offset, from-device len/offset, specific
        std::size_t size;
        std::uint32_t eiLen, eiOff, toLen, toOff, fromLen, fromOff, specific;
    };
    const Case cases[] = {
        {"admin in + error info", true, true, DataDirection::kIn, 4096, 208 + 4096, 64, 144, 0, 0,
         4096, 208, 1},
        {"admin in", true, false, DataDirection::kIn, 512, 144 + 512, 0, 0, 0, 0, 512, 144, 1},
        {"nvm out + error info", false, true, DataDirection::kOut, 16, 208 + 16, 64, 144, 16, 208,
         0, 0, 2},
        {"non-data", true, false, DataDirection::kNone, 0, 144, 0, 0, 0, 0, 0, 0, 1},
    };
    const auto cmd = TestCommand();
    for (const Case& c : cases) {
        const Bytes out(c.dir == DataDirection::kOut ? c.length : 0, 0xA5);
        w10nvme::ProtocolRequest r{
            c.admin, cmd, c.dir, out, c.dir == DataDirection::kIn ? c.length : 0, c.errorInfo};
        Bytes b;
        ASSERT_EQ(w10nvme::BuildProtocolCommand(r, b), err::kSuccess) << c.name;
        ASSERT_EQ(b.size(), c.size) << c.name;
        const std::uint32_t fixed[] = {1,  84,      3,       0x80000000u, 0,
                                       0,  64,      c.eiLen, c.toLen,     c.fromLen,
                                       10, c.eiOff, c.toOff, c.fromOff,   c.specific};
        for (std::size_t i = 0; i < std::size(fixed); ++i)
            EXPECT_EQ(U32(b, 4 * i), fixed[i]) << c.name << " dword " << i;
        for (std::size_t off = 60; off < 80; ++off)
            EXPECT_EQ(b[off], 0) << c.name << " reserved " << off;
        EXPECT_TRUE(std::equal(cmd.begin(), cmd.end(), b.begin() + 80)) << c.name;
        const std::size_t dataAt = c.errorInfo ? 208 : 144;
        for (std::size_t off = 144; off < b.size(); ++off)
            ASSERT_EQ(b[off], off >= dataAt && c.dir == DataDirection::kOut ? 0xA5 : 0)
                << c.name << " at " << off;
    }
    Bytes b;
    w10nvme::ProtocolRequest shortCmd;
    shortCmd.command = ByteView(cmd).first(63);
    EXPECT_EQ(w10nvme::BuildProtocolCommand(shortCmd, b), err::kInvalidParameter);
}

TEST(W10Nvme, ProtocolCommandAnswer) {
    struct Case {
        const char* name;
        std::uint32_t returnStatus;
        std::uint16_t statusField; // of the completion in the error info
        std::uint32_t returned;
        ErrorCode result;
    };
    const Case cases[] = {
        {"success", 1, 0, 212, err::kSuccess},
        {"nothing came back", 1, 0, 0, err::kInvalidData},
        {"more than the buffer", 1, 0, 213, err::kInvalidData},
        {"driver error", 2, 0, 212, err::kIoDevice},
        {"pending is no success", 0, 0, 212, err::kIoDevice},
        {"completion status", 1, 0x0002 << 1, 212, err::kIoDevice},
    };
    const auto cmd = TestCommand();
    for (const Case& c : cases) {
        Bytes b;
        ASSERT_EQ(w10nvme::BuildProtocolCommand({true, cmd, DataDirection::kIn, {}, 4, true}, b),
                  err::kSuccess);
        StoreLe(MutableByteView(b), 16, c.returnStatus);
        for (std::size_t i = 0; i < 64; ++i) // error info beyond the completion is not copied
            b[144 + i] = static_cast<std::uint8_t>(0x40 + i);
        StoreLe(MutableByteView(b), 144 + 14, c.statusField);
        std::fill(b.begin() + 208, b.end(), 0x77);

        std::uint8_t guard[32];
        std::fill(std::begin(guard), std::end(guard), 0xEE);
        Bytes data(4, 0);
        EXPECT_EQ(w10nvme::ParseProtocolCommandAnswer(b, c.returned, true, data, guard), c.result)
            << c.name;
        EXPECT_EQ(data, Bytes(4, c.result == err::kSuccess ? 0x77 : 0)) << c.name;
        if (c.returned != 0 && c.returned <= b.size()) {
            EXPECT_TRUE(std::equal(guard, guard + 16, b.begin() + 144)) << c.name;
        }
        for (std::size_t i = 16; i < 32; ++i)
            ASSERT_EQ(guard[i], 0xEE) << c.name << " completion copy overran at " << i;
    }
}

TEST(W10Nvme, PropertyQueryLayout) {
    struct Case {
        const char* name;
        w10nvme::PropertyRequest r;
        std::uint32_t property, dataType, value, subValue, length;
    };
    const Case cases[] = {
        {"identify controller", w10nvme::IdentifyRequest(0, 1), 49, 1, 1, 0, 4096},
        {"identify namespace", w10nvme::IdentifyRequest(5, 0), 50, 1, 0, 5, 4096},
        {"active list", w10nvme::IdentifyRequest(0, 2), 50, 1, 2, 0, 4096},
        {"log page", w10nvme::LogPageRequest(0x81, 512), 50, 2, 0x81, 0, 512},
    };
    for (const Case& c : cases) {
        const Bytes b = w10nvme::BuildPropertyQuery(c.r);
        ASSERT_EQ(b.size(), 52 + c.length) << c.name;
        const std::uint32_t expected[] = {c.property, 0, 3, c.dataType, c.value, c.subValue, 40,
                                          c.length,   0, 0, 0,          0,       0};
        for (std::size_t i = 0; i < std::size(expected); ++i)
            EXPECT_EQ(U32(b, 4 * i), expected[i]) << c.name << " dword " << i;
        EXPECT_TRUE(std::all_of(b.begin() + 52, b.end(), [](auto v) { return v == 0; }));
    }
}

// A well-formed answer to a request of `length` bytes, data 0x30, 0x31, ...
Bytes Answer(std::uint32_t length) {
    Bytes b(52 + length, 0);
    StoreLe(MutableByteView(b), 0, std::uint32_t{48});
    StoreLe(MutableByteView(b), 4, std::uint32_t{48});
    StoreLe(MutableByteView(b), 8 + 16, std::uint32_t{40});
    StoreLe(MutableByteView(b), 8 + 20, length);
    for (std::size_t i = 48; i < b.size(); ++i)
        b[i] = static_cast<std::uint8_t>(0x30 + i - 48);
    return b;
}

TEST(W10Nvme, PropertyAnswerValidity) {
    struct Case {
        const char* name;
        int field; // offset of the dword changed, -1 none
        std::uint32_t value;
        std::uint32_t returned;
        ErrorCode result;
    };
    const Case cases[] = {
        {"valid", -1, 0, 48 + 16, err::kSuccess},
        {"whole buffer returned", -1, 0, 52 + 16, err::kSuccess},
        {"nothing returned", -1, 0, 0, err::kInvalidData},
        {"more than the buffer", -1, 0, 52 + 17, err::kInvalidData},
        {"version", 0, 47, 64, err::kInvalidData},
        {"size", 4, 49, 64, err::kInvalidData},
        {"offset below 40", 24, 39, 64, err::kInvalidData},
        {"length above request", 28, 17, 64, err::kInvalidData},
        {"shorter length accepted", 28, 8, 64, err::kSuccess},
        {"data beyond returned", -1, 0, 48 + 15, err::kInvalidData},
        {"offset past returned", 24, 44, 64, err::kInvalidData},
        {"huge offset", 24, 0xFFFFFFF0u, 64, err::kInvalidData},
        {"header cut", -1, 0, 20, err::kInvalidData},
    };
    for (const Case& c : cases) {
        Bytes b = Answer(16);
        if (c.field >= 0) StoreLe(MutableByteView(b), static_cast<std::size_t>(c.field), c.value);
        Bytes out(16, 0xEE);
        EXPECT_EQ(w10nvme::ParsePropertyAnswer(b, c.returned, out), c.result) << c.name;
        if (c.result == err::kSuccess) {
            EXPECT_EQ(out[0], 0x30) << c.name;
            EXPECT_EQ(out[15], 0x3F) << c.name;
        } else {
            EXPECT_EQ(out, Bytes(16, 0xEE)) << c.name;
        }
    }
    Bytes b = Answer(16);
    StoreLe(MutableByteView(b), 8 + 16, std::uint32_t{44}); // a later start inside the data
    StoreLe(MutableByteView(b), 8 + 20, std::uint32_t{8});
    Bytes out(8);
    ASSERT_EQ(w10nvme::ParsePropertyAnswer(b, 64, out), err::kSuccess);
    EXPECT_EQ(out[0], 0x34);
}

TEST(IrstNvme, RequestLayout) {
    const auto cmd = TestCommand();
    const Bytes b = irstnvme::BuildRequest(ScsiAddress{2, 1, 3, 4}, cmd);
    ASSERT_EQ(b.size(), 4260u);
    Bytes expected(4260, 0);
    const MutableByteView e(expected);
    StoreLe(e, 0, std::uint32_t{28});
    const char sig[] = "IntelNvm";
    std::copy(sig, sig + 8, expected.begin() + 4);
    StoreLe(e, 12, std::uint32_t{10});
    StoreLe(e, 16, std::uint32_t{0xF0002808});
    StoreLe(e, 24, std::uint32_t{4232});
    expected[28] = 1;
    expected[29] = 1;
    expected[30] = 3;
    expected[31] = 4;
    std::copy(cmd.begin(), cmd.end(), expected.begin() + 32);
    StoreLe(e, 116, std::uint32_t{164});
    StoreLe(e, 120, std::uint32_t{4096});
    EXPECT_EQ(b, expected);
}

TEST(IrstNvme, Answer) {
    Bytes b = irstnvme::BuildRequest(ScsiAddress{}, TestCommand());
    for (std::size_t i = 0; i < 4096; ++i)
        b[164 + i] = static_cast<std::uint8_t>(i);
    b[96] = 0x11;
    std::uint8_t completion[17];
    completion[16] = 0xEE;
    Bytes data(512);
    ASSERT_EQ(irstnvme::ParseAnswer(b, 4260, data, completion), err::kSuccess);
    EXPECT_EQ(data[511], 0xFF);
    EXPECT_EQ(completion[0], 0x11);
    EXPECT_EQ(completion[16], 0xEE);
    Bytes big(4097);
    EXPECT_EQ(irstnvme::ParseAnswer(b, 4260, big, nullptr), err::kInvalidParameter);
    EXPECT_EQ(irstnvme::ParseAnswer(b, 0, data, nullptr), err::kInvalidData);
    StoreLe(MutableByteView(b), 96 + 14, std::uint16_t{0x0002 << 1});
    EXPECT_EQ(irstnvme::ParseAnswer(b, 4260, data, nullptr), err::kIoDevice);
}

// ---- The simulated requests, through the classes that send them

// Identify from scripted structures, log pages filled with the log id; records commands.
class FakeController : public SimNvmeDevice {
public:
    std::map<std::uint8_t, Bytes> identify;
    std::uint16_t statusField = 0;
    std::vector<Bytes> commands;
    bool Execute(ByteView cmd, DataDirection dir, MutableByteView data,
                 std::uint8_t (&completion)[kNvmeCompletionSize]) override {
        commands.emplace_back(cmd.begin(), cmd.end());
        std::fill(std::begin(completion), std::end(completion), 0);
        StoreLe(MutableByteView(completion), 14, statusField);
        if (cmd[0] == 0x06 && dir == DataDirection::kIn) {
            auto it = identify.find(cmd[40]);
            if (it != identify.end())
                std::copy_n(it->second.begin(), std::min(data.size(), it->second.size()),
                            data.begin());
        } else if (cmd[0] == 0x02 && dir == DataDirection::kIn) {
            std::fill(data.begin(), data.end(), cmd[40]);
        }
        return true;
    }
};

class SimIoStorage : public test::FakeStorage {
public:
    explicit SimIoStorage(SimNvmeDevice& d) : dev(d) { paths["PHYSICALDRIVE1"]; }
    SimNvmeDevice& dev;
    ErrorCode IoControl(DeviceHandle& h, std::uint32_t code, ByteView in, MutableByteView out,
                        std::uint32_t& returned) override {
        if (!h.IsOpen()) return err::kInvalidHandle;
        return SimNvmeIoControl(dev, code, in, out, returned);
    }
};

TEST(W10NvmeSim, IdentifyLogAndCommandsRoundTrip) {
    FakeController ctrl;
    ctrl.identify[1] = test::NvmeControllerBuilder().Sanicap(7).Bytes();
    ctrl.identify[0] = test::NvmeNamespaceBuilder().Bytes();
    SimIoStorage fake(ctrl);
    test::SelectedStorage selected(fake);
    clW10Nvme n("PhysicalDrive1");

    Bytes id(4096);
    ASSERT_TRUE(n.IdentifyNvme(0, 1, id));
    EXPECT_EQ(id, ctrl.identify[1]);
    EXPECT_FALSE(n.GetNamespace(1).empty());
    EXPECT_EQ(ctrl.commands.back()[4], 1); // NSID of the namespace identify
    Bytes log(512);
    ASSERT_TRUE(n.GetLogPage(0x81, 127, log));
    EXPECT_EQ(log, Bytes(512, 0x81));
    EXPECT_EQ(Le<std::uint32_t>(ByteView(ctrl.commands.back()), 40), 0x007F0081u);

    EXPECT_TRUE(n.Sanitize(2));
    EXPECT_EQ(ctrl.commands.back()[0], 0x84);
    ctrl.statusField = 0x1D << 1;
    EXPECT_FALSE(n.Sanitize(2));
    EXPECT_EQ(n.LastError(), err::kIoDevice);
    EXPECT_FALSE(n.IdentifyNvme(0, 1, id));
}

TEST(W10NvmeSim, RequestsItDoesNotAnswer) {
    FakeController ctrl;
    struct Case {
        const char* name;
        std::uint32_t code;
        Bytes in;
        ErrorCode result;
    };
    Bytes deviceProp(12, 0); // StorageDeviceProperty: the back end's own
    Bytes otherProtocol = w10nvme::BuildPropertyQuery(w10nvme::IdentifyRequest(0, 1));
    StoreLe(MutableByteView(otherProtocol), 8, std::uint32_t{2}); // ATA
    Bytes badOffset = w10nvme::BuildPropertyQuery(w10nvme::LogPageRequest(2, 512));
    StoreLe(MutableByteView(badOffset), 8 + 16, std::uint32_t{48});
    Bytes badType = w10nvme::BuildPropertyQuery(w10nvme::LogPageRequest(2, 512));
    StoreLe(MutableByteView(badType), 8 + 4, std::uint32_t{3});
    Bytes cmdBuf;
    w10nvme::BuildProtocolCommand({true, TestCommand(), DataDirection::kIn, {}, 512, false},
                                  cmdBuf);
    Bytes badLen = cmdBuf;
    StoreLe(MutableByteView(badLen), 36, std::uint32_t{513});
    Bytes badVersion = cmdBuf;
    badVersion[0] = 2;
    const Case cases[] = {
        {"other code", ioctl::kScsiPassThrough, cmdBuf, err::kNotSupported},
        {"device property", ioctl::kStorageQueryProperty, deviceProp, err::kNotSupported},
        {"other protocol", ioctl::kStorageQueryProperty, otherProtocol, err::kNotSupported},
        {"offset beyond buffer", ioctl::kStorageQueryProperty, badOffset, err::kInvalidParameter},
        {"data type", ioctl::kStorageQueryProperty, badType, err::kInvalidParameter},
        {"short query", ioctl::kStorageQueryProperty, Bytes(3, 0), err::kInvalidParameter},
        {"length beyond buffer", ioctl::kStorageProtocolCommand, badLen, err::kInvalidParameter},
        {"version", ioctl::kStorageProtocolCommand, badVersion, err::kInvalidParameter},
        {"short command", ioctl::kStorageProtocolCommand, Bytes(100, 0), err::kInvalidParameter},
    };
    for (const Case& c : cases) {
        Bytes buf = c.in;
        std::uint32_t returned = 99;
        EXPECT_EQ(SimNvmeIoControl(ctrl, c.code, buf, buf, returned), c.result) << c.name;
        EXPECT_EQ(returned, 0u) << c.name;
    }
    EXPECT_TRUE(ctrl.commands.empty());
}

} // namespace
} // namespace tvd
