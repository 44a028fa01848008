#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "storage/ataidentitybuilder.h"
#include "storage/clntata.h"
#include "storage/fakestorage.h"
#include "storage/sim/simdevices.h"
#include "storage/winpassthroughatafun.h"

namespace tvd {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Records each device-control request and answers it with `answer` (success by default).
class IoctlStorage : public test::FakeStorage {
public:
    struct Call {
        std::uint32_t code;
        Bytes in;
        std::size_t outSize;
    };
    std::vector<Call> calls;
    std::function<ErrorCode(std::uint32_t code, MutableByteView out)> answer =
        [](std::uint32_t, MutableByteView) { return err::kSuccess; };

    ErrorCode IoControl(DeviceHandle& h, std::uint32_t code, ByteView in, MutableByteView out,
                        std::uint32_t& returned) override {
        calls.push_back({code, Bytes(in.begin(), in.end()), out.size()});
        returned = 0;
        if (!h.IsOpen()) return err::kInvalidHandle;
        const ErrorCode e = answer(code, out);
        if (e == err::kSuccess) returned = static_cast<std::uint32_t>(out.size());
        return e;
    }
};

constexpr const char* kPath = "PCIIDE#DISK&VEN_X#1";
constexpr std::size_t kHeader = winata::AtaPassThroughLayoutOf(kNativeLayoutWidth).size;

class ClNtAta : public testing::Test {
protected:
    ClNtAta() { storage.paths[kPath]; }
    IoctlStorage storage;
    test::SelectedStorage selected{storage};
};

TEST_F(ClNtAta, OpensOnceAndClosesAfterIdentify) {
    const auto page = test::AtaIdentityBuilder().FixChecksum();
    storage.answer = [&](std::uint32_t, MutableByteView out) {
        std::copy(page.Page().begin(), page.Page().end(), out.begin() + kHeader);
        return err::kSuccess;
    };
    clWinPassThroughAta ata(kPath);
    std::uint8_t buf[512];
    EXPECT_TRUE(ata.SmartReadData(buf));
    EXPECT_TRUE(ata.SmartReadThresholds(buf));
    EXPECT_EQ(storage.opened.size(), 1u);
    EXPECT_TRUE(ata.IsOpen());
    EXPECT_FALSE(ata.GetIdentify().empty());
    EXPECT_EQ(storage.liveHandles, 0);
    EXPECT_TRUE(ata.IsA("clNtAta") && ata.IsA("clAta"));
}

TEST_F(ClNtAta, FailuresBecomeErrorCodes) {
    struct Case {
        const char* what;
        std::function<void(clNtAta&)> setup;
        ErrorCode answer;
        std::uint8_t status; // returned status register
        ErrorCode lastError;
        bool sent;
    };
    const Case cases[] = {
        {"success", [](clNtAta&) {}, err::kSuccess, 0x50, err::kSuccess, true},
        {"platform error", [](clNtAta&) {}, err::kIoDevice + 1, 0x50, err::kIoDevice + 1, true},
        {"drive aborted", [](clNtAta&) {}, err::kSuccess, 0x51, err::kIoDevice, true},
        {"no rights", [](clNtAta& a) { a.viaHook = true; }, err::kSuccess, 0x50, err::kAccessDenied,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        storage.calls.clear();
        storage.opened.clear();
        storage.answer = [&](std::uint32_t, MutableByteView out) {
            out[kHeader - 2] = c.status;
            return c.answer;
        };
        clWinPassThroughAta ata(kPath);
        c.setup(ata);
        EXPECT_EQ(ata.ExecNonData(AtaRegisters{0, 0, 0, 0, 0, 0xA0, 0xE5, 0}, nullptr),
                  c.lastError == err::kSuccess);
        EXPECT_EQ(ata.LastError(), c.lastError);
        EXPECT_EQ(storage.calls.size(), c.sent ? 1u : 0u);
        EXPECT_EQ(storage.opened.size(), c.sent ? 1u : 0u);
    }
    clWinPassThroughAta missing("NO#SUCH#DISK");
    EXPECT_EQ(missing.SmartReturnStatus(), 0);
    EXPECT_EQ(missing.LastError(), err::kFileNotFound);
    clWinPassThroughAta ata(kPath);
    EXPECT_FALSE(ata.ExecDataIn(AtaRegisters{}, {}));
    EXPECT_EQ(ata.LastError(), err::kInvalidParameter);
}

TEST_F(ClNtAta, PassThroughCarriesDataAndTimeout) {
    Bytes sector(512);
    for (std::size_t i = 0; i < sector.size(); ++i)
        sector[i] = static_cast<std::uint8_t>(i ^ 0x5A);
    storage.answer = [&](std::uint32_t, MutableByteView out) {
        if (out.size() > kHeader) std::copy(sector.begin(), sector.end(), out.begin() + kHeader);
        return err::kSuccess;
    };
    clWinPassThroughAta ata(kPath);
    Bytes in(512);
    ASSERT_TRUE(ata.SmartReadLog(in, 0x06));
    EXPECT_EQ(in, sector);
    ata.SetCommandTimeout(7200);
    ASSERT_TRUE(ata.ExecDataOut(AtaRegisters{0, 0, 0, 0, 0, 0xA0, 0xF4, 0}, sector));
    ASSERT_EQ(storage.calls.size(), 2u);
    const auto& read = storage.calls[0];
    EXPECT_EQ(read.code, ioctl::kAtaPassThrough);
    EXPECT_EQ(read.in.size(), kHeader);
    EXPECT_EQ(read.outSize, kHeader + 512);
    EXPECT_EQ(Le<std::uint32_t>(read.in, winata::apt::kTimeOutValue), 1000u);
    EXPECT_EQ(read.in[kHeader - 8], 0xD5);
    const auto& write = storage.calls[1];
    EXPECT_EQ(write.in.size(), kHeader + 512);
    EXPECT_EQ(write.outSize, kHeader);
    EXPECT_EQ(Bytes(write.in.begin() + kHeader, write.in.end()), sector);
    EXPECT_EQ(Le<std::uint32_t>(write.in, winata::apt::kTimeOutValue), 7200u);
}

TEST_F(ClNtAta, SmartRequests) {
    storage.answer = [](std::uint32_t code, MutableByteView out) {
        const std::size_t at =
            code == ioctl::kScsiMiniport ? winata::srb::kData : winata::smart::kOutData;
        if (code == ioctl::kAtaPassThrough) return err::kSuccess;
        out[at + 3] = 0xF4;
        out[at + 4] = 0x2C;
        return err::kSuccess;
    };
    struct Case {
        const char* what;
        std::function<bool(clNtAta&, MutableByteView)> run;
        std::uint32_t code;
        std::size_t inSize, outSize;
        Bytes regs; // as sent
    };
    const auto status = [](clNtAta& a, MutableByteView) { return a.SmartReturnStatus() == 0xF42C; };
    const auto identify = [](clNtAta& a, MutableByteView b) { return a.Identify(b); };
    const auto offline = [](clNtAta& a, MutableByteView) { return a.SmartExecuteOffline(2); };
    const auto data = [](clNtAta& a, MutableByteView b) { return a.SmartReadData(b); };
    const Case smartCases[] = {
        {"identify", identify, ioctl::kSmartRcvDriveData, 32, 528, {0, 0, 0, 0, 0, 0, 0xEC, 0}},
        {"status",
         status,
         ioctl::kSmartSendDriveCommand,
         32,
         24,
         {0xDA, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0, 0}},
        {"off-line",
         offline,
         ioctl::kSmartSendDriveCommand,
         32,
         24,
         {0xD4, 0, 2, 0x4F, 0xC2, 0xA0, 0xB0, 0}},
        {"data", data, ioctl::kSmartRcvDriveData, 32, 528, {0xD0, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0, 0}},
    };
    for (const Case& c : smartCases) {
        SCOPED_TRACE(c.what);
        storage.calls.clear();
        clWinSmartAta ata(kPath);
        Bytes buf(512);
        EXPECT_TRUE(c.run(ata, buf));
        ASSERT_EQ(storage.calls.size(), 1u);
        EXPECT_EQ(storage.calls[0].code, c.code);
        EXPECT_EQ(storage.calls[0].in.size(), c.inSize);
        EXPECT_EQ(storage.calls[0].outSize, c.outSize);
        EXPECT_EQ(Bytes(storage.calls[0].in.begin() + 4, storage.calls[0].in.begin() + 12), c.regs);
        EXPECT_EQ(storage.calls[0].in[12], 0);
    }
    const Case miniportCases[] = {
        {"identify", identify, 0x1B0501, 60, 556, {0, 0, 0, 0, 0, 0, 0xEC, 0}},
        {"status", status, 0x1B0506, 60, 60, {0xDA, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0, 0}},
        {"off-line", offline, 0x1B0509, 60, 60, {0xD4, 0, 2, 0x4F, 0xC2, 0xA0, 0xB0, 0}},
        {"data", data, 0x1B0502, 60, 556, {0xD0, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0, 0}},
    };
    for (const Case& c : miniportCases) {
        SCOPED_TRACE(c.what);
        storage.calls.clear();
        clNtScsiAta ata(kPath, 3);
        Bytes buf(512);
        EXPECT_TRUE(c.run(ata, buf));
        ASSERT_EQ(storage.calls.size(), 1u);
        const Bytes& in = storage.calls[0].in;
        EXPECT_EQ(storage.calls[0].code, ioctl::kScsiMiniport);
        EXPECT_EQ(Le<std::uint32_t>(in, winata::srb::kControlCode), c.code);
        EXPECT_EQ(in.size(), c.inSize);
        EXPECT_EQ(storage.calls[0].outSize, c.outSize);
        EXPECT_EQ(Bytes(in.begin() + 32, in.begin() + 40), c.regs);
        EXPECT_EQ(in[40], 3);
    }

    // The log goes through pass-through on the SMART class, nowhere on the miniport class.
    storage.calls.clear();
    Bytes buf(512);
    clWinSmartAta smartAta(kPath);
    EXPECT_TRUE(smartAta.SmartReadLog(buf, 1));
    clNtScsiAta scsiAta(kPath, 0);
    EXPECT_FALSE(scsiAta.SmartReadLog(buf, 1));
    EXPECT_FALSE(scsiAta.ExecDataIn(AtaRegisters{}, buf));
    ASSERT_EQ(storage.calls.size(), 1u);
    EXPECT_EQ(storage.calls[0].code, ioctl::kAtaPassThrough);

    // A request the driver marks as rejected by the drive fails.
    storage.answer = [](std::uint32_t code, MutableByteView out) {
        out[(code == ioctl::kScsiMiniport ? winata::srb::kSize : 0) + 4] = 1;
        out[(code == ioctl::kScsiMiniport ? winata::srb::kData : 16) + 3] = 0x4F;
        out[(code == ioctl::kScsiMiniport ? winata::srb::kData : 16) + 4] = 0xC2;
        return err::kSuccess;
    };
    EXPECT_EQ(smartAta.SmartReturnStatus(), 0);
    EXPECT_EQ(scsiAta.SmartReturnStatus(), 0);
    EXPECT_FALSE(smartAta.Identify(buf));
}

// A drive that answers IDENTIFY, SMART RETURN STATUS (threshold exceeded) and takes data-out
// commands; command 0x99 is aborted.
class TinyDrive : public SimAtaDevice {
public:
    std::vector<AtaRegisters> commands;
    Bytes written;
    Bytes identify = test::AtaIdentityBuilder().FixChecksum().Vector();

    bool Execute(const AtaRegisters& in, DataDirection dir, MutableByteView data,
                 AtaRegisters& out) override {
        commands.push_back(in);
        out = AtaRegisters{0, 0, 0, 0, 0, in.device, 0x50, 0};
        if (in.command == 0x99) {
            out.command = 0x51;
            out.features = 0x04;
            return false;
        }
        if (in.command == 0xEC && dir == DataDirection::kIn && data.size() == 512)
            std::copy(identify.begin(), identify.end(), data.begin());
        if (in.command == 0xB0 && in.features == 0xDA) {
            out.lbaMid = 0xF4;
            out.lbaHigh = 0x2C;
        }
        if (dir == DataDirection::kOut) written.assign(data.begin(), data.end());
        return true;
    }
};

// Routes the classes' requests to the simulated drive, as the simulated back end does.
class SimIoctlStorage : public test::FakeStorage {
public:
    TinyDrive drive;
    std::uint8_t target = 2;
    ErrorCode IoControl(DeviceHandle&, std::uint32_t code, ByteView in, MutableByteView out,
                        std::uint32_t& returned) override {
        return SimAtaIoControl(drive, target, code, in, out, returned);
    }
};

TEST(SimAtaIoControl, AnswersEveryClass) {
    SimIoctlStorage storage;
    storage.paths[kPath];
    test::SelectedStorage selected(storage);
    std::uint8_t password[32] = {'p', 'w'};

    std::unique_ptr<clNtAta> classes[] = {std::make_unique<clWinPassThroughAta>(kPath),
                                          std::make_unique<clWinSmartAta>(kPath),
                                          std::make_unique<clNtScsiAta>(kPath, 2)};
    for (auto& ata : classes) {
        SCOPED_TRACE(ata->IsA("clWinSmartAta") ? "smart"
                     : ata->IsA("clNtScsiAta") ? "miniport"
                                               : "pass-through");
        const bool rawCommands = !ata->IsA("clNtScsiAta");
        const ByteView id = ata->GetIdentify();
        ASSERT_EQ(id.size(), 512u);
        EXPECT_TRUE(std::equal(id.begin(), id.end(), storage.drive.identify.begin()));
        EXPECT_EQ(ata->SmartReturnStatus(), 0xF42C);
        Bytes sector(512);
        EXPECT_TRUE(ata->SmartReadData(sector));
        EXPECT_EQ(storage.drive.commands.back().features, 0xD0);
        EXPECT_TRUE(ata->SmartExecuteOffline(0x7F));
        EXPECT_EQ(storage.drive.commands.back().lbaLow, 0x7F);

        storage.drive.written.clear();
        EXPECT_EQ(ata->SecuritySetPassword(password), rawCommands);
        EXPECT_EQ(storage.drive.written.size(), rawCommands ? 512u : 0u);
        EXPECT_FALSE(ata->ExecNonData(AtaRegisters{0, 0, 0, 0, 0, 0xA0, 0x99, 0}, nullptr));
    }
    // The drive number of a miniport request names the target.
    clNtScsiAta elsewhere(kPath, 5);
    EXPECT_EQ(elsewhere.SmartReturnStatus(), 0);
    EXPECT_EQ(elsewhere.LastError(), err::kInvalidFunction);
}

TEST(SimAtaIoControl, RefusesMalformedRequests) {
    TinyDrive drive;
    const AtaRegisters identify{0, 0, 0, 0, 0, 0xA0, 0xEC, 0};
    const Bytes read =
        winata::BuildAtaPassThrough(kNativeLayoutWidth, identify, DataDirection::kIn, 512, {}, 10);
    const Bytes smart = winata::BuildSmartRequest(identify, 0, true);
    Bytes foreign = winata::BuildMiniportSmart(winata::srb::kIdentify, identify, 0);
    std::copy_n("NvmeMini", 8, foreign.begin() + winata::srb::kSignature);
    Bytes out(1024);
    struct Case {
        const char* what;
        std::uint32_t code;
        Bytes in;
        std::size_t outSize;
        ErrorCode expected;
    };
    const Case cases[] = {
        {"well formed", ioctl::kAtaPassThrough, read, read.size(), err::kSuccess},
        {"output too small", ioctl::kAtaPassThrough, read, read.size() - 1, err::kInvalidParameter},
        {"short header", ioctl::kAtaPassThrough, Bytes(read.begin(), read.begin() + 20),
         read.size(), err::kInvalidParameter},
        {"SMART output too small", ioctl::kSmartRcvDriveData, smart, 527, err::kInvalidParameter},
        {"SMART not a SMART command", ioctl::kSmartSendDriveCommand, smart, 24,
         err::kInvalidParameter},
        {"other miniport", ioctl::kScsiMiniport, foreign, 556, err::kNotSupported},
        {"other request", ioctl::kScsiPassThrough, read, read.size(), err::kNotSupported},
    };
    for (const Case& c : cases) {
        std::uint32_t returned = 99;
        EXPECT_EQ(SimAtaIoControl(drive, 0, c.code, c.in, MutableByteView(out).first(c.outSize),
                                  returned),
                  c.expected)
            << c.what;
        EXPECT_EQ(returned, c.expected == err::kSuccess ? c.outSize : 0u) << c.what;
    }
}

} // namespace
} // namespace tvd
