#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "storage/sim/simatadevice.h"
#include "storage/sim/simdrivespec.h"
#include "storage/sim/simnvmedevice.h"

namespace tvd {
namespace {

SimDriveSpec Spec(const std::string& text, const std::string& name = "d0") {
    SimDriveSpec spec;
    std::string message;
    const ErrorCode e = ParseSimDrive(
        name, ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), spec,
        message);
    EXPECT_EQ(e, err::kSuccess) << message;
    return spec;
}

// The sectors of a small drive in memory.
class MemoryMedium final : public SimMedium {
public:
    explicit MemoryMedium(std::size_t size) : bytes(size, 0) {}
    ErrorCode Read(std::uint64_t offset, MutableByteView data) override {
        if (offset + data.size() > bytes.size()) return err::kHandleEof;
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), data.size(), data.begin());
        return err::kSuccess;
    }
    ErrorCode Write(std::uint64_t offset, ByteView data) override {
        if (offset + data.size() > bytes.size()) return err::kHandleEof;
        std::copy(data.begin(), data.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
        return err::kSuccess;
    }
    ErrorCode ZeroAll() override {
        std::fill(bytes.begin(), bytes.end(), 0);
        return err::kSuccess;
    }
    bool AllZero() const {
        return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
    }
    std::vector<std::uint8_t> bytes;
};

std::uint16_t Word(ByteView id, std::size_t n) {
    return Le<std::uint16_t>(id, n * 2);
}

std::string AtaText(ByteView id, std::size_t first, std::size_t words) {
    std::string s;
    for (std::size_t w = first; w < first + words; ++w) {
        s += static_cast<char>(Word(id, w) >> 8);
        s += static_cast<char>(Word(id, w) & 0xFF);
    }
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

AtaRegisters Regs(std::uint8_t command, std::uint8_t features = 0, std::uint8_t count = 0,
                  std::uint8_t low = 0, std::uint8_t mid = 0, std::uint8_t high = 0) {
    AtaRegisters r;
    r.command = command;
    r.features = features;
    r.sectorCount = count;
    r.lbaLow = low;
    r.lbaMid = mid;
    r.lbaHigh = high;
    r.device = 0xA0;
    return r;
}

TEST(SimAta, GeneratedIdentifyIsValidAndDescribesTheDrive) {
    struct Case {
        const char* text;
        std::uint64_t sectors;
        std::uint32_t sectorSize;
        std::uint16_t rotation;
    };
    const Case cases[] = {
        {"[Drive]\nModel=Orvane SSD 1\nSerial=S1\nFirmware=FW01\nCapacity=2G\nTrim=1\n",
         (2ull << 30) / 512, 512, 1},
        {"[Drive]\nModel=Big Disk\nSerial=HD-9\nFirmware=AB12CD34\nCapacity=6T\nSectorSize=4096\n",
         (6ull << 40) / 4096, 4096, 7200},
        {"[Drive]\nModel=Slow Disk\nCapacity=1G\n[Ata]\nRotation=5400\n", (1ull << 30) / 512, 512,
         5400},
    };
    for (const Case& c : cases) {
        const SimDriveSpec spec = Spec(c.text);
        SimAta ata(spec);
        std::vector<std::uint8_t> id(512, 0xEE);
        AtaRegisters out;
        ASSERT_TRUE(ata.Execute(Regs(0xEC), DataDirection::kIn, id, out)) << c.text;
        EXPECT_EQ(out.command, 0x50);
        // The usual validity: versions, printable text, checksum.
        EXPECT_EQ(Word(id, 80), 0x07F0);
        EXPECT_EQ(Word(id, 93), 0);            // SATA
        EXPECT_NE(Word(id, 76) & 0x000E, 0);   // SATA generations
        EXPECT_EQ((Word(id, 77) >> 1) & 7, 3); // 6.0 Gb/s now
        EXPECT_EQ(Word(id, 255) & 0xFF, 0xA5);
        std::uint8_t sum = 0;
        for (std::uint8_t b : id)
            sum = static_cast<std::uint8_t>(sum + b);
        EXPECT_EQ(sum, 0);
        EXPECT_EQ(AtaText(id, 27, 20), spec.model);
        EXPECT_EQ(AtaText(id, 10, 10), spec.serial);
        EXPECT_EQ(AtaText(id, 23, 4), spec.firmware);
        // SMART, security; LBA48 supported and enabled.
        EXPECT_EQ(Word(id, 82) & 3, 3);
        EXPECT_NE(Word(id, 83) & 0x0400, 0);
        EXPECT_NE(Word(id, 86) & 0x0400, 0);
        EXPECT_EQ(Le<std::uint64_t>(id, 200), c.sectors);
        EXPECT_EQ(Le<std::uint32_t>(id, 120), std::min<std::uint64_t>(c.sectors, 0x0FFFFFFF));
        const std::uint32_t logical =
            (Word(id, 106) & 0xD000) == 0x5000 ? 2 * Le<std::uint32_t>(id, 234) : 512;
        EXPECT_EQ(logical, c.sectorSize);
        EXPECT_EQ(Word(id, 108) >> 12, 5); // NAA 5
        EXPECT_NE(Word(id, 84) & 0x0100, 0);
        EXPECT_EQ(Word(id, 217), c.rotation);
        EXPECT_EQ(Word(id, 128) & 0x0003, 0x0001); // supported, not enabled
        EXPECT_NE(Word(id, 89), 0);
    }
}

TEST(SimAta, SmartStatusAndPages) {
    struct Case {
        const char* ata;
        std::uint8_t mid, high;
    };
    const Case cases[] = {
        {"", 0x4F, 0xC2}, {"SmartStatus=ok\n", 0x4F, 0xC2}, {"SmartStatus=exceeded\n", 0xF4, 0x2C}};
    for (const Case& c : cases) {
        SimAta ata(Spec(std::string("[Drive]\nTrim=1\n[Ata]\n") + c.ata));
        AtaRegisters out;
        ASSERT_TRUE(ata.Execute(Regs(0xB0, 0xDA, 0, 0, 0x4F, 0xC2), DataDirection::kNone, {}, out));
        EXPECT_EQ(out.lbaMid, c.mid) << c.ata;
        EXPECT_EQ(out.lbaHigh, c.high) << c.ata;
    }
    SimAta ata(Spec("[Drive]\nTrim=1\n"));
    std::vector<std::uint8_t> page(512);
    AtaRegisters out;
    ASSERT_TRUE(ata.Execute(Regs(0xB0, 0xD0, 1, 0, 0x4F, 0xC2), DataDirection::kIn, page, out));
    EXPECT_EQ(Le<std::uint16_t>(page, 0), 0x0010);
    std::uint8_t sum = 0;
    std::vector<std::uint8_t> ids;
    for (std::uint8_t b : page)
        sum = static_cast<std::uint8_t>(sum + b);
    for (std::size_t o = 2; o < 362; o += 12)
        if (page[o]) ids.push_back(page[o]);
    EXPECT_EQ(sum, 0);
    EXPECT_EQ(ids, (std::vector<std::uint8_t>{0x05, 0x09, 0x0C, 0xC2, 0xC5, 0xF1, 0xF2}));
    // Without the SMART signature in LBA mid/high the drive aborts.
    EXPECT_FALSE(ata.Execute(Regs(0xB0, 0xD0, 1), DataDirection::kIn, page, out));
    EXPECT_EQ(out.command, 0x51);
    EXPECT_EQ(out.features, 0x04);
}

TEST(SimAta, OverridesAndLogsComeFromTheFile) {
    SimAta ata(Spec("[Drive]\n[Ata]\nIdentify=40 00 11 22\nSmartData=10 00 05\nLog.E0=AB CD\n"));
    std::vector<std::uint8_t> buf(512, 0xEE);
    AtaRegisters out;
    ASSERT_TRUE(ata.Execute(Regs(0xEC), DataDirection::kIn, buf, out));
    EXPECT_EQ(buf[2], 0x11);
    EXPECT_EQ(buf[511], 0); // zero-padded
    ASSERT_TRUE(ata.Execute(Regs(0xB0, 0xD0, 1, 0, 0x4F, 0xC2), DataDirection::kIn, buf, out));
    EXPECT_EQ(buf[2], 0x05);
    ASSERT_TRUE(ata.Execute(Regs(0xB0, 0xD5, 1, 0xE0, 0x4F, 0xC2), DataDirection::kIn, buf, out));
    EXPECT_EQ(buf[1], 0xCD);
    EXPECT_FALSE(ata.Execute(Regs(0xB0, 0xD5, 1, 0xE1, 0x4F, 0xC2), DataDirection::kIn, buf, out));
}

TEST(SimAta, SecurityEraseNeedsPrepareAndThePassword) {
    const SimDriveSpec spec = Spec("[Drive]\nCapacity=1M\n");
    SimAta ata(spec);
    MemoryMedium medium(spec.capacity);
    std::fill(medium.bytes.begin(), medium.bytes.end(), 0x5A);
    ata.SetMedium(&medium);
    const auto sector = [](std::uint16_t control, const char* pw) {
        std::vector<std::uint8_t> s(512, 0);
        StoreLe<std::uint16_t>(s, 0, control);
        std::memcpy(s.data() + 2, pw, std::strlen(pw));
        return s;
    };
    const auto securityBits = [&] {
        std::vector<std::uint8_t> id(512);
        AtaRegisters out;
        ata.Execute(Regs(0xEC), DataDirection::kIn, id, out);
        return Word(id, 128) & 0x0003;
    };
    AtaRegisters out;
    auto right = sector(0, "secret"), wrong = sector(0, "guess");
    ASSERT_TRUE(ata.Execute(Regs(0xF1), DataDirection::kOut, right, out));
    EXPECT_EQ(securityBits(), 3);

    struct Step {
        bool prepare;
        std::vector<std::uint8_t>* password;
        bool ok;
    };
    const Step steps[] = {
        {false, &right, false}, // no ERASE PREPARE before
        {true, &wrong, false},  // wrong password
        {true, &right, true},
    };
    for (const Step& st : steps) {
        if (st.prepare) {
            ASSERT_TRUE(ata.Execute(Regs(0xF3), DataDirection::kNone, {}, out));
        }
        EXPECT_EQ(ata.Execute(Regs(0xF4), DataDirection::kOut, *st.password, out), st.ok);
        EXPECT_EQ(medium.AllZero(), st.ok);
    }
    EXPECT_EQ(securityBits(), 1); // erased: security disabled again

    // A prepare followed by another command no longer counts.
    ASSERT_TRUE(ata.Execute(Regs(0xF1), DataDirection::kOut, right, out));
    ASSERT_TRUE(ata.Execute(Regs(0xF3), DataDirection::kNone, {}, out));
    std::vector<std::uint8_t> id(512);
    ASSERT_TRUE(ata.Execute(Regs(0xEC), DataDirection::kIn, id, out));
    EXPECT_FALSE(ata.Execute(Regs(0xF4), DataDirection::kOut, right, out));
}

// A power cycle keeps the passwords: a user password (set from the file or by SET PASSWORD)
// leaves the drive locked, a master password alone does not; frozen and the count of wrong
// passwords clear, and a pending ERASE PREPARE is gone.
TEST(SimAta, PowerCycleKeepsPasswords) {
    const auto sector = [](std::uint16_t control, const char* pw) {
        std::vector<std::uint8_t> s(512, 0);
        StoreLe<std::uint16_t>(s, 0, control);
        std::memcpy(s.data() + 2, pw, std::strlen(pw));
        return s;
    };
    struct Row {
        const char* ata;             // [Ata] of the drive file
        const char* setUser;         // SET PASSWORD (user) before the cycle, when given
        const char* setMaster;       // SET PASSWORD (master) before the cycle, when given
        std::uint16_t before, after; // word 128 bits 1-4 (enabled, locked, frozen, expired)
    };
    const Row rows[] = {
        {"", nullptr, nullptr, 0x00, 0x00},
        {"", "user", nullptr, 0x02, 0x06},
        {"", nullptr, "master", 0x00, 0x00},
        {"Security=frozen", nullptr, nullptr, 0x08, 0x00},
        {"Security=expired\nUserPassword=x", nullptr, nullptr, 0x12, 0x06},
        {"Security=enabled\nUserPassword=x", nullptr, nullptr, 0x02, 0x06},
        {"Security=locked\nUserPassword=x", nullptr, nullptr, 0x06, 0x06},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.ata);
        const SimDriveSpec spec = Spec(std::string("[Drive]\nCapacity=1M\n[Ata]\n") + r.ata);
        SimAta ata(spec);
        MemoryMedium medium(spec.capacity);
        ata.SetMedium(&medium);
        AtaRegisters out;
        const auto bits = [&] {
            std::vector<std::uint8_t> id(512);
            EXPECT_TRUE(ata.Execute(Regs(0xEC), DataDirection::kIn, id, out));
            return std::uint16_t(Word(id, 128) & 0x001E);
        };
        if (r.setUser) {
            auto s = sector(0, r.setUser);
            ASSERT_TRUE(ata.Execute(Regs(0xF1), DataDirection::kOut, s, out));
        }
        if (r.setMaster) {
            auto s = sector(1, r.setMaster);
            ASSERT_TRUE(ata.Execute(Regs(0xF1), DataDirection::kOut, s, out));
        }
        EXPECT_EQ(bits(), r.before);
        ata.Execute(Regs(0xF3), DataDirection::kNone, {}, out); // refused when frozen or expired
        ata.PowerCycle();
        EXPECT_EQ(bits(), r.after);
        // ERASE PREPARE did not survive: the erase needs a new one.
        auto pw = sector(r.setMaster ? 1 : 0, r.setMaster ? r.setMaster
                                              : r.setUser ? r.setUser
                                                          : "x");
        EXPECT_FALSE(ata.Execute(Regs(0xF4), DataDirection::kOut, pw, out));
        // A locked drive refuses sector reads until it is erased or unlocked.
        std::vector<std::uint8_t> data(512);
        EXPECT_EQ(ata.TransferSectors(false, 0, 1, data, out), (r.after & 0x04) == 0);
    }
}

TEST(SimDriveSpec, RefusesBadCommandSetSections) {
    const std::string big(513 * 2, 'A');
    const std::string refused[] = {
        "[Drive]\nBus=NVMe\n[Ata]\nRotation=fast\n",
        "[Drive]\nBus=SATA\n[Nvme]\nSanicap=-2\n",
        "[Drive]\n[Ata]\nIdentify=4\n",
        "[Drive]\n[Ata]\nIdentify=4G\n",
        "[Drive]\n[Ata]\nIdentify=" + big + "\n",
        "[Drive]\n[Ata]\nSmartStatus=maybe\n",
        "[Drive]\n[Ata]\nLog.80=zz\n",
        "[Drive]\nBus=NVMe\n[Nvme]\nLog.C0=" + std::string(4097 * 2, '0') + "\n",
        "[Drive]\n[Scsi]\nInquiry=" + std::string(97 * 2, '0') + "\n",
    };
    for (const std::string& text : refused) {
        SimDriveSpec spec;
        std::string message;
        EXPECT_EQ(
            ParseSimDrive("d",
                          ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                          spec, message),
            err::kInvalidData)
            << text;
        EXPECT_FALSE(message.empty());
    }
    std::vector<std::uint8_t> out;
    ASSERT_TRUE(ParseSimHexBlock("0a 1B  ff", 4, out));
    EXPECT_EQ(out, (std::vector<std::uint8_t>{0x0A, 0x1B, 0xFF, 0x00}));
}

// ---- NVMe

std::array<std::uint8_t, 64> Cmd(std::uint8_t opcode, std::uint32_t nsid, std::uint32_t cdw10,
                                 std::uint32_t cdw11 = 0) {
    std::array<std::uint8_t, 64> c{};
    c[0] = opcode;
    StoreLe<std::uint32_t>(c, 4, nsid);
    StoreLe<std::uint32_t>(c, 40, cdw10);
    StoreLe<std::uint32_t>(c, 44, cdw11);
    return c;
}

std::uint8_t StatusCode(const std::uint8_t (&cqe)[16]) {
    return static_cast<std::uint8_t>((Le<std::uint16_t>(ByteView(cqe), 14) >> 1) & 0xFF);
}

TEST(SimNvme, IdentifyAndLogPages) {
    const SimDriveSpec spec = Spec("[Drive]\nBus=NVMe\nModel=Fast One\nSerial=N1\nFirmware=F1\n"
                                   "Capacity=4G\nSectorSize=4096\n[Nvme]\nVendorId=1B2C\n"
                                   "Security=1\nSanicap=6\nLog.C0=01 02\n");
    SimNvme nvme(spec);
    std::vector<std::uint8_t> buf(4096);
    std::uint8_t cqe[16];
    ASSERT_TRUE(nvme.Execute(Cmd(0x06, 0, 1), DataDirection::kIn, buf, cqe));
    EXPECT_EQ(StatusCode(cqe), 0);
    EXPECT_EQ(Le<std::uint16_t>(buf, 0), 0x1B2C);
    EXPECT_EQ(std::string(buf.begin() + 24, buf.begin() + 64), "Fast One" + std::string(32, ' '));
    EXPECT_EQ(std::string(buf.begin() + 4, buf.begin() + 6), "N1");
    EXPECT_EQ(Le<std::uint32_t>(buf, 80), 0x00010400u);
    EXPECT_EQ(Le<std::uint32_t>(buf, 516), 1u);
    EXPECT_EQ(Le<std::uint16_t>(buf, 256) & 1, 1);
    EXPECT_EQ(Le<std::uint32_t>(buf, 328), 6u);

    ASSERT_TRUE(nvme.Execute(Cmd(0x06, 1, 0), DataDirection::kIn, buf, cqe));
    EXPECT_EQ(Le<std::uint64_t>(buf, 0), (4ull << 30) / 4096);
    EXPECT_EQ(buf[128 + 2 + 4 * (buf[26] & 0xF)], 12); // LBADS of the format in use
    ASSERT_TRUE(nvme.Execute(Cmd(0x06, 0, 2), DataDirection::kIn, buf, cqe));
    EXPECT_EQ(Le<std::uint32_t>(buf, 0), 1u);
    EXPECT_EQ(Le<std::uint32_t>(buf, 4), 0u);
    ASSERT_TRUE(nvme.Execute(Cmd(0x06, 7, 0), DataDirection::kIn, buf, cqe));
    EXPECT_NE(StatusCode(cqe), 0);

    // Log length follows NUMD (dwords minus one), never past the buffer.
    struct LogCase {
        std::uint8_t lid;
        std::uint32_t numd;
        std::size_t buffer, written;
    };
    const LogCase logs[] = {
        {0x02, 15, 512, 64}, {0x02, 127, 512, 512}, {0x02, 1023, 100, 100}, {0xC0, 127, 512, 512}};
    for (const LogCase& c : logs) {
        std::vector<std::uint8_t> log(c.buffer + 8, 0xEE);
        ASSERT_TRUE(nvme.Execute(Cmd(0x02, 0xFFFFFFFF, c.lid | (c.numd << 16)), DataDirection::kIn,
                                 std::span(log).first(c.buffer), cqe));
        EXPECT_EQ(StatusCode(cqe), 0);
        const auto untouched = std::count(log.begin(), log.end(), 0xEE);
        EXPECT_EQ(static_cast<std::size_t>(untouched), log.size() - c.written);
        if (c.lid == 0x02) {
            EXPECT_EQ(Le<std::uint16_t>(log, 1), 310);
            EXPECT_EQ(log[3], 100);
            EXPECT_EQ(log[4], 10);
            EXPECT_EQ(log[5], 3);
        } else {
            EXPECT_EQ(log[1], 0x02);
        }
    }
    ASSERT_TRUE(nvme.Execute(Cmd(0x02, 0xFFFFFFFF, 0x7F00C5), DataDirection::kIn, buf, cqe));
    EXPECT_NE(StatusCode(cqe), 0);
    ASSERT_TRUE(nvme.Execute(Cmd(0x7E, 0, 0), DataDirection::kNone, {}, cqe));
    EXPECT_EQ(StatusCode(cqe), 0x01);
}

TEST(SimNvme, SanitizeRunsOnWallTimeAndZerosAtTheEnd) {
    const SimDriveSpec spec =
        Spec("[Drive]\nBus=NVMe\nCapacity=1M\n[Nvme]\nSanicap=2\nSanitizeSeconds=10\n");
    SimNvme nvme(spec);
    MemoryMedium medium(spec.capacity);
    std::fill(medium.bytes.begin(), medium.bytes.end(), 0x77);
    nvme.SetMedium(&medium);
    std::uint8_t cqe[16];
    const auto t0 = SimNvme::Clock::now();
    const auto status = [&](SimNvme::Clock::time_point at, std::uint16_t& progress) {
        std::vector<std::uint8_t> log(512);
        nvme.ExecuteAt(Cmd(0x02, 0xFFFFFFFF, 0x81 | (127u << 16)), DataDirection::kIn, log, cqe,
                       at);
        progress = Le<std::uint16_t>(log, 0);
        return Le<std::uint16_t>(log, 2);
    };
    std::uint16_t progress = 0;
    EXPECT_EQ(status(t0, progress) & 7, 0); // never sanitized

    // Overwrite (3) and crypto erase (4) are not in SANICAP 2.
    for (std::uint32_t action : {3u, 4u}) {
        nvme.ExecuteAt(Cmd(0x84, 0, action), DataDirection::kNone, {}, cqe, t0);
        EXPECT_EQ(StatusCode(cqe), 0x02) << action;
    }
    nvme.ExecuteAt(Cmd(0x84, 0, 2), DataDirection::kNone, {}, cqe, t0);
    ASSERT_EQ(StatusCode(cqe), 0);
    EXPECT_EQ(status(t0 + std::chrono::seconds(5), progress) & 7, 2);
    EXPECT_NEAR(progress, 32768, 100);
    EXPECT_FALSE(medium.AllZero());
    nvme.ExecuteAt(Cmd(0x84, 0, 2), DataDirection::kNone, {}, cqe, t0 + std::chrono::seconds(6));
    EXPECT_EQ(StatusCode(cqe), 0x1D);
    const std::uint16_t done = status(t0 + std::chrono::seconds(10), progress);
    EXPECT_EQ(done & 7, 1);
    EXPECT_NE(done & 0x100, 0);
    EXPECT_EQ(progress, 0xFFFF);
    EXPECT_TRUE(medium.AllZero());
}

TEST(SimNvme, SecurityCommandsNeedSecurity) {
    for (bool security : {false, true}) {
        SimNvme nvme(Spec(std::string("[Drive]\nBus=NVMe\n[Nvme]\nSecurity=") +
                          (security ? "1" : "0") + "\n"));
        std::vector<std::uint8_t> buf(16);
        std::uint8_t cqe[16];
        ASSERT_TRUE(nvme.Execute(Cmd(0x82, 0, 0, 16), DataDirection::kIn, buf, cqe));
        EXPECT_EQ(StatusCode(cqe), security ? 0 : 0x01);
    }
}

} // namespace
} // namespace tvd
