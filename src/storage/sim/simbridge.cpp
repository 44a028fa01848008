#include "storage/sim/simbridge.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "storage/clnvme.h"
#include "storage/sim/simscsidevice.h"

namespace tvd {

namespace {

using scsisim::kAbortedCommand;
using scsisim::kIllegalRequest;
constexpr std::uint16_t kInvalidFieldInCdb = 0x2400;

void Fail(ScsiCommandRequest& r, std::uint8_t key, std::uint16_t ascq = kInvalidFieldInCdb) {
    scsisim::FixedSense(r, key, ascq);
    r.transferred = 0;
}

void Good(ScsiCommandRequest& r, std::size_t transferred) {
    r.status = 0;
    r.senseLength = 0;
    r.transferred = static_cast<std::uint32_t>(transferred);
}

// A data-in answer: what the CDB allows and the buffer holds.
void Answer(ScsiCommandRequest& r, ByteView bytes, std::size_t allocation) {
    if (r.direction != DataDirection::kIn) {
        Fail(r, kIllegalRequest);
        return;
    }
    const std::size_t n = std::min({bytes.size(), allocation, r.data.size()});
    std::copy_n(bytes.begin(), n, r.data.begin());
    Good(r, n);
}

bool Is(ByteView cdb, std::initializer_list<std::uint8_t> head) {
    return cdb.size() >= head.size() && std::equal(head.begin(), head.end(), cdb.begin());
}

// The transfer a CDB announces must be the one the request carries.
bool TransferMatches(const ScsiCommandRequest& r, DataDirection dir, std::size_t length) {
    if (dir == DataDirection::kNone) return r.direction == DataDirection::kNone || r.data.empty();
    return r.direction == dir && length != 0 && r.data.size() >= length;
}

} // namespace

SimBridge::SimBridge(const SimDriveSpec& spec, SimAta* ata) : spec_(spec), ata_(ata) {
    const std::string& b = spec.usb.bridge;
    if (b == "jmicron")
        kind_ = Kind::kJmicron;
    else if (b == "asmedia")
        kind_ = Kind::kAsmedia;
    else if (b == "sunplus")
        kind_ = Kind::kSunplus;
    else if (b == "plx507")
        kind_ = Kind::kPlx507;
    else if (b == "pl2571")
        kind_ = Kind::kPl2571;
    else if (b == "asmedia-nvme")
        kind_ = Kind::kAsmNvme;
    else if (b == "jmicron-nvme")
        kind_ = Kind::kJmNvme;
    sat_ = spec.usb.sat && ata_ != nullptr;
    device_ = spec.usb.drivePort ? 0xB0 : 0xA0;
    if (kind_ == Kind::kAsmNvme || kind_ == Kind::kJmNvme) nvme_ = std::make_unique<SimNvme>(spec);
    // An ATA bridge without an ATA drive behind it answers nothing of its own.
    if (!nvme_ && !ata_) kind_ = Kind::kNone;
}

SimBridge::~SimBridge() = default;

void SimBridge::SetMedium(SimMedium* medium) {
    if (nvme_) nvme_->SetMedium(medium);
}

std::size_t SimBridge::InquiryTail(std::uint8_t (&inq)[64]) const {
    const std::uint16_t chip = spec_.usb.chip;
    const auto put = [&](std::size_t at, std::string_view text) {
        std::memcpy(inq + at, text.data(), text.size());
    };
    if (kind_ == Kind::kAsmNvme) {
        inq[36] = 0x60;
        inq[37] = 0x23;
        return 38;
    }
    if (kind_ == Kind::kJmNvme) {
        put(36, " 583");
        return 40;
    }
    if (chip == 0) return 36;
    if (chip == 0x2105) {
        inq[36] = 0x05;
        inq[37] = 0x21;
        return 38;
    }
    // JMicron chips name themselves as "j" and the last three hexadecimal digits.
    char text[5];
    std::snprintf(text, sizeof text, "j%03x", chip & 0xFFF);
    put(36, text);
    return 40;
}

bool SimBridge::Ata(const AtaRegisters& in, DataDirection dir, MutableByteView data) {
    last_ = AtaRegisters{};
    // Only the port with the drive answers.
    if ((in.device & 0x10) != (device_ & 0x10) || !ata_) {
        last_.command = 0x51;
        last_.features = 0x04;
        return false;
    }
    return ata_->Execute(in, dir, data, last_);
}

bool SimBridge::Execute(ScsiCommandRequest& r) {
    switch (kind_) {
    case Kind::kJmicron:
        return Jmicron(r) || ProductQuery(r);
    case Kind::kAsmedia:
        return Asmedia(r) || ProductQuery(r);
    case Kind::kSunplus:
        return Sunplus(r);
    case Kind::kPlx507:
        return Plx507(r);
    case Kind::kPl2571:
        return Pl2571(r);
    case Kind::kAsmNvme:
        return AsmNvme(r) || ProductQuery(r);
    case Kind::kJmNvme:
        return JmNvme(r) || ProductQuery(r);
    case Kind::kNone:
        break;
    }
    return false;
}

// The product queries of the JMicron (0xE0 0xF4 0xE7) and ASMedia (0xE0) bridges.
bool SimBridge::ProductQuery(ScsiCommandRequest& r) {
    const ByteView c = r.cdb;
    const bool jmicron = kind_ == Kind::kJmicron || kind_ == Kind::kJmNvme;
    std::uint8_t answer[128] = {};
    if (jmicron && Is(c, {0xE0, 0xF4, 0xE7})) {
        answer[0] = 0xF4;
        answer[1] = 0xE7;
        StoreBe<std::uint16_t>(answer, 2, spec_.usb.vendorId);
        StoreBe<std::uint16_t>(answer, 4, spec_.usb.productId);
        if (spec_.usb.chip == 0x2352 || spec_.usb.chip == 0x2551) answer[15] = 'X';
        Answer(r, answer, sizeof answer);
        return true;
    }
    if (jmicron && Is(c, {0xFF, 0x04, 0x37, 0x04})) {
        const std::uint8_t port[4] = {'J', 'M', 0, spec_.usb.drivePort};
        Answer(r, port, sizeof port);
        return true;
    }
    if (!jmicron && c.size() == 12 && c[0] == 0xE0 &&
        std::all_of(c.begin() + 1, c.end(), [](std::uint8_t b) { return b == 0; })) {
        StoreLe<std::uint16_t>(answer, 116, spec_.usb.vendorId);
        StoreLe<std::uint16_t>(answer, 118, spec_.usb.productId);
        Answer(r, answer, sizeof answer);
        return true;
    }
    return false;
}

bool SimBridge::Jmicron(ScsiCommandRequest& r) {
    const ByteView c = r.cdb;
    if (c.size() != 12 || c[0] != 0xDF) return false;
    const std::size_t length = Be<std::uint16_t>(c, 3);
    const bool in = c[1] & 0x10;
    if (in && c[11] == 0xFD) { // bridge register read
        std::uint8_t regs[64] = {};
        if (Be<std::uint16_t>(c, 6) == 0x720F) regs[0] = spec_.usb.drivePort ? 0x40 : 0x04;
        Answer(r, regs, std::min(length, sizeof regs));
        return true;
    }
    const DataDirection dir =
        in ? DataDirection::kIn : (length ? DataDirection::kOut : DataDirection::kNone);
    if (!TransferMatches(r, dir, length)) {
        Fail(r, kIllegalRequest);
        return true;
    }
    const AtaRegisters regs = AtaRegisters::FromBytes(
        std::array<std::uint8_t, 8>{c[5], c[6], c[7], c[8], c[9], c[10], c[11], 0});
    // SMART RETURN STATUS answers one byte: the LBA high register.
    if (in && regs.command == 0xB0 && regs.features == 0xDA) {
        if (!Ata(regs, DataDirection::kNone, {})) {
            Fail(r, kAbortedCommand, 0);
            return true;
        }
        const std::uint8_t status[1] = {last_.lbaHigh};
        Answer(r, status, length);
        return true;
    }
    const MutableByteView data = r.data.first(dir == DataDirection::kNone ? 0 : length);
    return Run(r, regs, dir, data);
}

bool SimBridge::Asmedia(ScsiCommandRequest& r) {
    const ByteView c = r.cdb;
    if (c.size() == 6 && c[0] == 0xE7) {
        std::uint8_t a[12] = {};
        a[0] = last_.command;
        a[1] = last_.features;
        a[2] = last_.lbaLow;
        a[3] = last_.lbaMid;
        a[4] = last_.lbaHigh;
        a[5] = last_.device;
        a[10] = last_.sectorCount;
        Answer(r, a, sizeof a);
        return true;
    }
    if (c.size() != 16 || c[0] != 0xE6) return false;
    AtaRegisters regs;
    regs.command = c[4];
    regs.features = c[5];
    regs.lbaLow = c[6];
    regs.lbaMid = c[7];
    regs.lbaHigh = c[8];
    regs.device = c[9];
    regs.sectorCount = c[14];
    // The set has no data-out.
    if (r.direction == DataDirection::kOut) {
        Fail(r, kIllegalRequest);
        return true;
    }
    const DataDirection dir = r.data.empty() ? DataDirection::kNone : r.direction;
    return Run(r, regs, dir, dir == DataDirection::kNone ? MutableByteView() : r.data);
}

bool SimBridge::Sunplus(ScsiCommandRequest& r) {
    const ByteView c = r.cdb;
    if (c.size() != 12 || c[0] != 0xF8) return false;
    if (c[2] == 0x21) {
        const std::uint8_t a[8] = {0,
                                   last_.features,
                                   last_.sectorCount,
                                   last_.lbaLow,
                                   last_.lbaMid,
                                   last_.lbaHigh,
                                   last_.device,
                                   last_.command};
        Answer(r, a, sizeof a);
        return true;
    }
    if (c[2] != 0x22) return false;
    const bool in = c[3] == 0x10;
    const std::size_t length = in ? std::size_t{c[4]} * 512 : 0;
    const DataDirection dir = in ? DataDirection::kIn : DataDirection::kNone;
    if ((c[3] != 0 && !in) || (in && length != 512) || !TransferMatches(r, dir, length)) {
        Fail(r, kIllegalRequest);
        return true;
    }
    const AtaRegisters regs = AtaRegisters::FromBytes(
        std::array<std::uint8_t, 8>{c[5], c[6], c[7], c[8], c[9], c[10], c[11], 0});
    return Run(r, regs, dir, r.data.first(length));
}

bool SimBridge::Run(ScsiCommandRequest& r, const AtaRegisters& regs, DataDirection dir,
                    MutableByteView data) {
    if (!Ata(regs, dir, data)) {
        Fail(r, kAbortedCommand, 0);
        return true;
    }
    Good(r, data.size());
    return true;
}

bool SimBridge::Plx507(ScsiCommandRequest& r) {
    const ByteView c = r.cdb;
    if (Is(c, {0xD8, 0x00, 0x06, 0x7B, 0x00, 0x08}) && c.size() == 6) {
        std::uint8_t a[8] = {};
        a[spec_.usb.drivePort ? 3 : 0] = 1;
        Answer(r, a, sizeof a);
        return true;
    }
    if (Is(c, {0xDE, 0x01, 0x06, 0x7B}) && c.size() == 6) {
        const std::uint8_t a[12] = {0,
                                    last_.features,
                                    last_.sectorCount,
                                    last_.lbaLow,
                                    last_.lbaMid,
                                    last_.lbaHigh,
                                    last_.device,
                                    last_.command};
        Answer(r, a, sizeof a);
        return true;
    }
    if (c.size() != 12 || c[0] != 0xDF || c[1] != 0x10) return false;
    const bool in = c[3] == 2;
    const std::size_t length = in ? 512 : 0;
    const DataDirection dir = in ? DataDirection::kIn : DataDirection::kNone;
    if ((c[3] != 0 && !in) || !TransferMatches(r, dir, length)) {
        Fail(r, kIllegalRequest);
        return true;
    }
    const AtaRegisters regs = AtaRegisters::FromBytes(
        std::array<std::uint8_t, 8>{c[5], c[6], c[7], c[8], c[9], c[10], c[11], 0});
    return Run(r, regs, dir, r.data.first(length));
}

bool SimBridge::Pl2571(ScsiCommandRequest& r) {
    const ByteView c = r.cdb;
    if (Is(c, {0xD7, 0x01, 0x00, 0x00, 0x06, 0x7B}) && c.size() == 6) {
        std::uint8_t a[16] = {};
        a[0] = last_.command;
        a[1] = last_.features;
        a[2] = last_.sectorCount;
        a[4] = last_.lbaLow;
        a[5] = last_.lbaMid;
        a[6] = last_.lbaHigh;
        a[10] = last_.device;
        Answer(r, a, sizeof a);
        return true;
    }
    if (c.size() != 16 || c[0] != 0xD8 || c[1] != 0x15 || c[4] != 0x06 || c[5] != 0x7B)
        return false;
    const bool in = Be<std::uint32_t>(c, 6) == 0x00020000;
    const std::size_t length = in ? 512 : 0;
    const DataDirection dir = in ? DataDirection::kIn : DataDirection::kNone;
    if ((!in && Be<std::uint32_t>(c, 6) != 0) || !TransferMatches(r, dir, length)) {
        Fail(r, kIllegalRequest);
        return true;
    }
    AtaRegisters regs;
    regs.features = c[3];
    regs.sectorCount = c[10];
    regs.lbaLow = c[11];
    regs.lbaMid = c[12];
    regs.lbaHigh = c[13];
    regs.device = c[14];
    regs.command = c[15];
    return Run(r, regs, dir, r.data.first(length));
}

bool SimBridge::NvmeRun(DataDirection dir, MutableByteView data) {
    completionReady_ = false;
    if (!commandPending_ || !nvme_) return false;
    commandPending_ = false;
    if (!nvme_->Execute(command_, dir, data, completion_)) return false;
    completionReady_ = true;
    return true;
}

bool SimBridge::AsmNvme(ScsiCommandRequest& r) {
    const ByteView c = r.cdb;
    if (c.size() != 16) return false;
    if (c[0] == 0xE6 && (c[1] == 0x06 || c[1] == 0x02)) {
        const auto cmd = c[1] == 0x06 ? nvmecmd::Identify(c[3] == 0 ? 1 : 0, c[3])
                                      : nvmecmd::GetLogPage(c[3], Be<std::uint16_t>(c, 6));
        std::copy(cmd.begin(), cmd.end(), command_);
        commandPending_ = true;
        const std::size_t length = c[1] == 0x06 ? kNvmeDataSize : r.data.size();
        if (!TransferMatches(r, DataDirection::kIn, length) ||
            !NvmeRun(DataDirection::kIn, r.data.first(length)) ||
            !nvmecmd::CompletionOk(completion_)) {
            Fail(r, kAbortedCommand, 0);
            return true;
        }
        Good(r, length);
        return true;
    }
    if (c[1] != 0x5A || (c[0] != 0xEA && c[0] != 0xEB)) return false;
    const std::size_t length = Be<std::uint32_t>(c, 10);
    const bool admin = c[3] == 0;
    const std::uint8_t step = c[2];
    if (c[0] == 0xEA && step == 0x80) { // the command
        if (!admin || length != kNvmeCommandSize ||
            !TransferMatches(r, DataDirection::kOut, length)) {
            Fail(r, kIllegalRequest);
            return true;
        }
        std::copy_n(r.data.begin(), kNvmeCommandSize, command_);
        commandPending_ = true;
        completionReady_ = false;
        Good(r, length);
        return true;
    }
    if (step == 0x81) { // data out (0xEA), data in or execute (0xEB)
        const DataDirection dir = c[0] == 0xEA ? DataDirection::kOut
                                  : length     ? DataDirection::kIn
                                               : DataDirection::kNone;
        if (!TransferMatches(r, dir, length) || !NvmeRun(dir, r.data.first(length))) {
            Fail(r, kIllegalRequest);
            return true;
        }
        Good(r, length);
        return true;
    }
    if (c[0] == 0xEB && step == 0x82) {
        if (!completionReady_) {
            Fail(r, kIllegalRequest);
            return true;
        }
        Answer(r, completion_, length);
        return true;
    }
    return false;
}

bool SimBridge::JmNvme(ScsiCommandRequest& r) {
    const ByteView c = r.cdb;
    if (c.size() != 12 || c[0] != 0xA1) return false;
    const std::uint8_t step = c[1] & 0x7F;
    const bool admin = c[1] & 0x80;
    const std::size_t length = std::size_t{c[3]} << 16 | std::size_t{c[4]} << 8 | c[5];
    if (!admin && step != 0x0F) { // the controller here takes admin commands only
        Fail(r, kIllegalRequest);
        return true;
    }
    switch (step) {
    case 0x00:
        if (length != 512 || !TransferMatches(r, DataDirection::kOut, length) ||
            std::memcmp(r.data.data(), "NVME", 4) != 0) {
            Fail(r, kIllegalRequest);
            return true;
        }
        std::copy_n(r.data.begin() + 8, kNvmeCommandSize, command_);
        commandPending_ = true;
        completionReady_ = false;
        Good(r, length);
        return true;
    case 0x01:
    case 0x02:
    case 0x03: {
        const DataDirection dir = step == 1   ? DataDirection::kNone
                                  : step == 2 ? DataDirection::kIn
                                              : DataDirection::kOut;
        if (!TransferMatches(r, dir, length) || !NvmeRun(dir, r.data.first(length))) {
            Fail(r, kIllegalRequest);
            return true;
        }
        Good(r, length);
        return true;
    }
    case 0x0F: {
        if (!completionReady_) {
            Fail(r, kIllegalRequest);
            return true;
        }
        std::uint8_t a[512] = {'N', 'V', 'M', 'E'};
        std::copy_n(completion_, kNvmeCompletionSize, a + 8);
        Answer(r, a, length);
        return true;
    }
    default:
        Fail(r, kIllegalRequest);
        return true;
    }
}

} // namespace tvd
