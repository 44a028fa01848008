#include "storage/asmusbatafun.h"

#include <algorithm>
#include <cstring>

#include "storage/usbbridgeio.h"

namespace tvd {

namespace asmusb {

namespace {
constexpr std::uint16_t kVendorAsmedia = 0x174C;
constexpr std::size_t kIdentifySize = 4096;

std::uint8_t DirectionCode(DataDirection dir) {
    switch (dir) {
    case DataDirection::kIn:
        return 1;
    case DataDirection::kOut:
        return 2;
    case DataDirection::kNone:
        break;
    }
    return 0;
}
} // namespace

Cdb16 AtaCdb(const AtaRegisters& regs) {
    Cdb16 c{};
    c[0] = 0xE6;
    c[4] = regs.command;
    c[5] = regs.features;
    c[6] = regs.lbaLow;
    c[7] = regs.lbaMid;
    c[8] = regs.lbaHigh;
    c[9] = regs.device;
    c[14] = regs.sectorCount;
    return c;
}

Cdb6 ResultCdb() {
    return {0xE7, 0, 0, 0, 0, 0};
}

AtaRegisters DecodeResult(ByteView a) {
    AtaRegisters r;
    if (a.size() < kResultSize) return r;
    r.command = a[0];  // status
    r.features = a[1]; // error
    r.lbaLow = a[2];
    r.lbaMid = a[3];
    r.lbaHigh = a[4];
    r.device = a[5];
    r.sectorCount = a[10];
    return r;
}

Cdb16 IdentifyCdb(std::uint8_t cns) {
    Cdb16 c{};
    c[0] = 0xE6;
    c[1] = 0x06;
    c[3] = cns;
    return c;
}

Cdb16 LogPageCdb(std::uint8_t logId, std::uint16_t value) {
    Cdb16 c{};
    c[0] = 0xE6;
    c[1] = 0x02;
    c[3] = logId;
    c[6] = static_cast<std::uint8_t>(value >> 8);
    c[7] = static_cast<std::uint8_t>(value);
    return c;
}

Cdb16 NvmeStepCdb(Step step, bool admin, DataDirection dir, std::uint32_t length) {
    Cdb16 c{};
    c[1] = 0x5A;
    switch (step) {
    case Step::kSendCommand:
        c[0] = 0xEA;
        c[2] = 0x80;
        length = kNvmeCommandSize;
        break;
    case Step::kWriteData:
        c[0] = 0xEA;
        c[2] = 0x81;
        break;
    case Step::kReadData:
        c[0] = 0xEB;
        c[2] = 0x81;
        break;
    case Step::kReadCompletion:
        c[0] = 0xEB;
        c[2] = 0x82;
        length = kNvmeCompletionSize;
        break;
    }
    c[3] = admin ? 0 : 1;
    c[4] = DirectionCode(dir);
    StoreBe<std::uint32_t>(c, 10, length);
    return c;
}

Cdb12 ProductIdCdb() {
    return {0xE0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
}

std::uint16_t ProductId(clScsi* transport) {
    std::uint8_t answer[128] = {};
    const Cdb12 cdb = ProductIdCdb();
    if (!bridgeio::In(transport, cdb, answer)) return 0;
    if (Le<std::uint16_t>(answer, 116) != kVendorAsmedia) return 0;
    return Le<std::uint16_t>(answer, 118);
}

} // namespace asmusb

bool clAsmUsbAta::ExecNonData(const AtaRegisters& regs, AtaRegisters* result) {
    const asmusb::Cdb16 cdb = asmusb::AtaCdb(regs);
    if (!bridgeio::NonData(Transport(), cdb)) return false;
    if (result == nullptr) return true;
    std::uint8_t answer[asmusb::kResultSize] = {};
    const asmusb::Cdb6 read = asmusb::ResultCdb();
    if (!bridgeio::In(Transport(), read, answer)) return false;
    *result = asmusb::DecodeResult(answer);
    return true;
}

bool clAsmUsbAta::ExecDataIn(const AtaRegisters& regs, MutableByteView data) {
    if (data.empty()) return false;
    const asmusb::Cdb16 cdb = asmusb::AtaCdb(regs);
    return bridgeio::In(Transport(), cdb, data);
}

bool clAsmUsbNvme::Exec(bool admin, ByteView command, DataDirection dir, MutableByteView dataIn,
                        ByteView dataOut, std::uint8_t* completion) {
    using asmusb::Step;
    if (command.size() != kNvmeCommandSize) return false;
    clScsi* t = Transport();
    if (!bridgeio::Out(t, asmusb::NvmeStepCdb(Step::kSendCommand, admin, dir, 0), command))
        return false;
    bool ok = false;
    switch (dir) {
    case DataDirection::kIn:
        ok = bridgeio::In(t,
                          asmusb::NvmeStepCdb(Step::kReadData, admin, dir,
                                              static_cast<std::uint32_t>(dataIn.size())),
                          dataIn);
        break;
    case DataDirection::kOut:
        ok = bridgeio::Out(t,
                           asmusb::NvmeStepCdb(Step::kWriteData, admin, dir,
                                               static_cast<std::uint32_t>(dataOut.size())),
                           dataOut);
        break;
    case DataDirection::kNone:
        // Reading no data executes the command.
        ok = bridgeio::NonData(t, asmusb::NvmeStepCdb(Step::kReadData, admin, dir, 0));
        break;
    }
    if (!ok) return false;
    std::uint8_t answer[kNvmeCompletionSize] = {};
    if (!bridgeio::In(t, asmusb::NvmeStepCdb(Step::kReadCompletion, admin, dir, 0), answer))
        return false;
    if (completion) std::memcpy(completion, answer, kNvmeCompletionSize);
    return nvmecmd::CompletionOk(answer);
}

bool clAsmUsbNvme::ExecNonData(bool admin, ByteView command, std::uint8_t* completion) {
    return Exec(admin, command, DataDirection::kNone, {}, {}, completion);
}

bool clAsmUsbNvme::ExecDataIn(bool admin, ByteView command, MutableByteView data,
                              std::uint8_t* completion) {
    if (data.empty() || data.size() > 0xFFFFFFFFu) return false;
    return Exec(admin, command, DataDirection::kIn, data, {}, completion);
}

bool clAsmUsbNvme::ExecDataOut(bool admin, ByteView command, ByteView data,
                               std::uint8_t* completion) {
    if (data.empty() || data.size() > 0xFFFFFFFFu) return false;
    return Exec(admin, command, DataDirection::kOut, {}, data, completion);
}

bool clAsmUsbNvme::IdentifyNvme(std::uint32_t nsid, std::uint8_t cns, MutableByteView buffer) {
    (void)nsid; // the bridge's command has no field for it
    if (buffer.size() < asmusb::kIdentifySize) return false;
    const MutableByteView data = buffer.first(asmusb::kIdentifySize);
    std::fill(data.begin(), data.end(), std::uint8_t{0});
    const asmusb::Cdb16 cdb = asmusb::IdentifyCdb(cns);
    return bridgeio::In(Transport(), cdb, data);
}

bool clAsmUsbNvme::GetLogPage(std::uint8_t logId, std::uint32_t dwordsMinusOne,
                              MutableByteView buffer) {
    // The CDB carries 16 bits of the dword count.
    if (buffer.empty() || dwordsMinusOne > 0xFFFF) return false;
    const asmusb::Cdb16 cdb = asmusb::LogPageCdb(logId, static_cast<std::uint16_t>(dwordsMinusOne));
    return bridgeio::In(Transport(), cdb, buffer);
}

} // namespace tvd
