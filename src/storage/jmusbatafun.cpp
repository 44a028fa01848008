#include "storage/jmusbatafun.h"

#include <algorithm>
#include <cstring>

#include "storage/usbbridgeio.h"

namespace tvd {

namespace jmusb {

namespace {
constexpr std::uint8_t kAtaOpcode = 0xDF, kDataIn = 0x10;
constexpr std::uint8_t kNvmeOpcode = 0xA1, kAdmin = 0x80;
constexpr std::uint16_t kVendorJmicron = 0x152D;
constexpr std::uint16_t kPortRegister = 0x720F;
constexpr std::uint8_t kMaster = 0xA0, kSlave = 0xB0;
constexpr char kNvmeMagic[4] = {'N', 'V', 'M', 'E'};
} // namespace

Cdb12 AtaCdb(const AtaRegisters& regs, DataDirection dir, std::uint16_t length,
             std::uint8_t device) {
    Cdb12 c{};
    c[0] = kAtaOpcode;
    c[1] = dir == DataDirection::kIn ? kDataIn : 0;
    c[3] = static_cast<std::uint8_t>(length >> 8);
    c[4] = static_cast<std::uint8_t>(length);
    c[5] = regs.features;
    c[6] = regs.sectorCount;
    c[7] = regs.lbaLow;
    c[8] = regs.lbaMid;
    c[9] = regs.lbaHigh;
    c[10] = device;
    c[11] = regs.command;
    return c;
}

Cdb12 SmartStatusCdb(std::uint8_t device) {
    return {kAtaOpcode, kDataIn, 0, 0, 0x01, 0xDA, 0, 0, 0x4F, 0xC2, device, 0xB0};
}

Cdb12 RegisterReadCdb(std::uint16_t address, std::uint16_t length) {
    Cdb12 c{};
    c[0] = kAtaOpcode;
    c[1] = kDataIn;
    c[3] = static_cast<std::uint8_t>(length >> 8);
    c[4] = static_cast<std::uint8_t>(length);
    c[6] = static_cast<std::uint8_t>(address >> 8);
    c[7] = static_cast<std::uint8_t>(address);
    c[11] = 0xFD;
    return c;
}

Cdb12 ProductIdCdb() {
    return {0xE0, 0xF4, 0xE7, 0, 0, 0, 0, 0, 0, 0, 0, 0};
}

Cdb12 PortQueryCdb() {
    return {0xFF, 0x04, 0x37, 0x04, 0, 0, 0, 0, 0, 0, 0, 0};
}

Cdb12 NvmeCdb(std::uint8_t step, bool admin, std::uint32_t length) {
    Cdb12 c{};
    c[0] = kNvmeOpcode;
    c[1] = static_cast<std::uint8_t>(step | (admin ? kAdmin : 0));
    c[3] = static_cast<std::uint8_t>(length >> 16);
    c[4] = static_cast<std::uint8_t>(length >> 8);
    c[5] = static_cast<std::uint8_t>(length);
    return c;
}

std::array<std::uint8_t, kNvmeBlockSize> NvmeCommandBlock(ByteView command) {
    std::array<std::uint8_t, kNvmeBlockSize> b{};
    std::memcpy(b.data(), kNvmeMagic, sizeof kNvmeMagic);
    std::copy_n(command.begin(), std::min(command.size(), kNvmeCommandSize), b.begin() + 8);
    return b;
}

std::uint16_t ProductId(clScsi* transport) {
    std::uint8_t answer[128] = {};
    std::uint32_t got = 0;
    const Cdb12 cdb = ProductIdCdb();
    if (!bridgeio::InCount(transport, cdb, answer, got) || got < 8) return 0;
    if (answer[0] != 0xF4 || answer[1] != 0xE7 || Be<std::uint16_t>(answer, 2) != kVendorJmicron)
        return 0;
    return Be<std::uint16_t>(answer, 4);
}

bool SelectPort(clScsi* transport, std::uint16_t chip, std::uint8_t& device) {
    device = kMaster;
    if (chip == 0x2335) {
        std::uint8_t reg[2] = {};
        const Cdb12 cdb = RegisterReadCdb(kPortRegister, sizeof reg);
        if (!bridgeio::In(transport, cdb, reg)) return false;
        if (reg[0] & 0x04) return true;
        device = kSlave;
        return (reg[0] & 0x40) != 0;
    }
    if (chip == 0x2352 || chip == 0x2551) {
        std::uint8_t probe[16] = {};
        const Cdb12 cdb = ProductIdCdb();
        if (!bridgeio::In(transport, cdb, probe) || probe[0] != 0xF4 || probe[1] != 0xE7 ||
            probe[15] != 'X')
            return true;
        std::uint8_t port[4] = {};
        const Cdb12 query = PortQueryCdb();
        if (bridgeio::In(transport, query, port) && port[0] == 'J' && port[1] == 'M' &&
            port[3] == 1)
            device = kSlave;
    }
    return true;
}

} // namespace jmusb

bool clJmUsbAta::ExecNonData(const AtaRegisters& regs, AtaRegisters* result) {
    if (result != nullptr) return false;
    const jmusb::Cdb12 cdb = jmusb::AtaCdb(regs, DataDirection::kNone, 0, Device());
    return bridgeio::NonData(Transport(), cdb);
}

bool clJmUsbAta::ExecDataIn(const AtaRegisters& regs, MutableByteView data) {
    if (data.empty() || data.size() > 0xFFFF) return false;
    const auto cdb =
        jmusb::AtaCdb(regs, DataDirection::kIn, static_cast<std::uint16_t>(data.size()), Device());
    return bridgeio::In(Transport(), cdb, data);
}

bool clJmUsbAta::ExecDataOut(const AtaRegisters& regs, ByteView data) {
    if (data.empty() || data.size() > 0xFFFF) return false;
    const auto cdb =
        jmusb::AtaCdb(regs, DataDirection::kOut, static_cast<std::uint16_t>(data.size()), Device());
    return bridgeio::Out(Transport(), cdb, data);
}

std::uint16_t clJmUsbAta::SmartReturnStatus() {
    std::uint8_t answer[1] = {};
    const jmusb::Cdb12 cdb = jmusb::SmartStatusCdb(Device());
    if (!bridgeio::In(Transport(), cdb, answer)) return 0;
    if (answer[0] == 0xC2) return 0x4FC2;
    if (answer[0] == 0x2C) return 0xF42C;
    return answer[0];
}

bool clJmUsbNvme::Exec(bool admin, ByteView command, DataDirection dir, MutableByteView dataIn,
                       ByteView dataOut, std::uint8_t* completion) {
    if (command.size() != kNvmeCommandSize) return false;
    clScsi* t = Transport();
    const auto block = jmusb::NvmeCommandBlock(command);
    if (!bridgeio::Out(t, jmusb::NvmeCdb(jmusb::kSendCommand, admin, block.size()), block))
        return false;
    bool ok = false;
    switch (dir) {
    case DataDirection::kIn:
        ok = dataIn.size() <= 0xFFFFFF &&
             bridgeio::In(t, jmusb::NvmeCdb(jmusb::kReadData, admin, dataIn.size()), dataIn);
        break;
    case DataDirection::kOut:
        ok = dataOut.size() <= 0xFFFFFF &&
             bridgeio::Out(t, jmusb::NvmeCdb(jmusb::kWriteData, admin, dataOut.size()), dataOut);
        break;
    case DataDirection::kNone:
        ok = bridgeio::NonData(t, jmusb::NvmeCdb(jmusb::kNonData, admin, 0));
        break;
    }
    if (!ok || completion == nullptr) return ok;
    // A completion the caller asked for must come back; without it a sanitize or a status
    // check would read zeros as success.
    std::memset(completion, 0, kNvmeCompletionSize);
    std::uint8_t answer[jmusb::kNvmeBlockSize] = {};
    if (!bridgeio::In(t, jmusb::NvmeCdb(jmusb::kReadCompletion, admin, sizeof answer), answer) ||
        std::memcmp(answer, "NVME", 4) != 0)
        return false;
    std::memcpy(completion, answer + 8, kNvmeCompletionSize);
    return true;
}

bool clJmUsbNvme::ExecNonData(bool admin, ByteView command, std::uint8_t* completion) {
    return Exec(admin, command, DataDirection::kNone, {}, {}, completion);
}

bool clJmUsbNvme::ExecDataIn(bool admin, ByteView command, MutableByteView data,
                             std::uint8_t* completion) {
    if (data.empty()) return false;
    return Exec(admin, command, DataDirection::kIn, data, {}, completion);
}

bool clJmUsbNvme::ExecDataOut(bool admin, ByteView command, ByteView data,
                              std::uint8_t* completion) {
    if (data.empty()) return false;
    return Exec(admin, command, DataDirection::kOut, {}, data, completion);
}

} // namespace tvd
