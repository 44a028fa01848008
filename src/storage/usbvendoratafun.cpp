#include "storage/usbvendoratafun.h"

#include "storage/usbbridgeio.h"

namespace tvd {

namespace {

constexpr std::uint8_t kCmdIdentify = 0xEC, kCmdSmart = 0xB0;
constexpr std::uint8_t kSmartReadData = 0xD0, kSmartReadThresholds = 0xD1;
constexpr std::uint8_t kSmartReturnStatus = 0xDA;

// Bytes 1-7 of the answer: error, count, LBA low, mid, high, device, status.
AtaRegisters SevenFromOne(ByteView a) {
    AtaRegisters r;
    if (a.size() < 8) return r;
    r.features = a[1];
    r.sectorCount = a[2];
    r.lbaLow = a[3];
    r.lbaMid = a[4];
    r.lbaHigh = a[5];
    r.device = a[6];
    r.command = a[7];
    return r;
}

std::vector<std::uint8_t> SunplusCommand(const AtaRegisters& r, bool dataIn) {
    return {0xF8,
            0x00,
            0x22,
            std::uint8_t(dataIn ? 0x10 : 0),
            std::uint8_t(dataIn ? 1 : 0),
            r.features,
            r.sectorCount,
            r.lbaLow,
            r.lbaMid,
            r.lbaHigh,
            r.device,
            r.command};
}

std::vector<std::uint8_t> Plx507Command(const AtaRegisters& r, bool dataIn) {
    return {0xDF,
            0x10,
            0,
            std::uint8_t(dataIn ? 2 : 0),
            0,
            r.features,
            r.sectorCount,
            r.lbaLow,
            r.lbaMid,
            r.lbaHigh,
            r.device,
            r.command};
}

std::vector<std::uint8_t> Pl2571Command(const AtaRegisters& r, bool dataIn) {
    return {0xD8,
            0x15,
            0,
            r.features,
            0x06,
            0x7B,
            0,
            std::uint8_t(dataIn ? 0x02 : 0),
            0,
            0,
            r.sectorCount,
            r.lbaLow,
            r.lbaMid,
            r.lbaHigh,
            r.device,
            r.command};
}

AtaRegisters Pl2571Result(ByteView a) {
    AtaRegisters r;
    if (a.size() < 16) return r;
    r.command = a[0];
    r.features = a[1];
    r.sectorCount = a[2];
    r.lbaLow = a[4];
    r.lbaMid = a[5];
    r.lbaHigh = a[6];
    r.device = a[10];
    return r;
}

} // namespace

namespace usbvendor {

const RegisterBridgeSet& Sunplus() {
    static const RegisterBridgeSet set{
        SunplusCommand, {0xF8, 0, 0x21, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8, SevenFromOne};
    return set;
}

const RegisterBridgeSet& Plx507() {
    static const RegisterBridgeSet set{
        Plx507Command, {0xDE, 0x01, 0x06, 0x7B, 0, 0}, 12, SevenFromOne};
    return set;
}

const RegisterBridgeSet& Pl2571() {
    static const RegisterBridgeSet set{
        Pl2571Command, {0xD7, 0x01, 0, 0, 0x06, 0x7B}, 16, Pl2571Result};
    return set;
}

std::array<std::uint8_t, 6> Plx507ProbeCdb() {
    return {0xD8, 0, 0x06, 0x7B, 0, 0x08};
}

bool Plx507Probe(clScsi* transport, std::uint8_t& device) {
    std::uint8_t answer[8] = {};
    const auto cdb = Plx507ProbeCdb();
    if (!bridgeio::In(transport, cdb, answer)) return false;
    if (answer[0] == 1) {
        device = 0xA0;
        return true;
    }
    if (answer[3] == 1) {
        device = 0xB0;
        return true;
    }
    return false;
}

} // namespace usbvendor

namespace {

// The operations shared by the three sets; `device` is the interface's device byte.
bool RbExecNonData(clScsi* t, const RegisterBridgeSet& set, const AtaRegisters& regs,
                   AtaRegisters* result) {
    const std::vector<std::uint8_t> cdb = set.command(regs, false);
    if (!bridgeio::NonData(t, cdb)) return false;
    if (result == nullptr) return true;
    std::vector<std::uint8_t> answer(set.resultSize);
    if (!bridgeio::In(t, set.resultCdb, answer)) return false;
    *result = set.decode(answer);
    return true;
}

bool RbExecDataIn(clScsi* t, const RegisterBridgeSet& set, const AtaRegisters& regs,
                  MutableByteView data) {
    if (data.size() != kAtaSectorSize) return false;
    const std::vector<std::uint8_t> cdb = set.command(regs, true);
    return bridgeio::In(t, cdb, data);
}

bool RbIdentify(clScsi* t, const RegisterBridgeSet& set, std::uint8_t device,
                MutableByteView buffer) {
    if (buffer.size() < kAtaIdentifySize) return false;
    AtaRegisters r;
    r.device = device;
    r.command = kCmdIdentify;
    return RbExecDataIn(t, set, r, buffer.first(kAtaIdentifySize));
}

AtaRegisters Smart(std::uint8_t feature, std::uint8_t device) {
    AtaRegisters r;
    r.features = feature;
    r.lbaMid = 0x4F;
    r.lbaHigh = 0xC2;
    r.device = device;
    r.command = kCmdSmart;
    return r;
}

bool RbSmartRead(clScsi* t, const RegisterBridgeSet& set, std::uint8_t feature, std::uint8_t device,
                 MutableByteView buffer) {
    if (buffer.size() < kAtaSectorSize) return false;
    return RbExecDataIn(t, set, Smart(feature, device), buffer.first(kAtaSectorSize));
}

std::uint16_t RbSmartStatus(clScsi* t, const RegisterBridgeSet& set, std::uint8_t device) {
    AtaRegisters result;
    if (!RbExecNonData(t, set, Smart(kSmartReturnStatus, device), &result)) return 0;
    return static_cast<std::uint16_t>((result.lbaMid << 8) | result.lbaHigh);
}

} // namespace

// Sunplus sends SMART RETURN STATUS to device 0xE0; the others to the interface's device.
#define TVD_REGISTER_BRIDGE_DEFINE(Class, Set, StatusDevice)                                       \
    bool Class::ExecNonData(const AtaRegisters& regs, AtaRegisters* result) {                      \
        return RbExecNonData(Transport(), Set, regs, result);                                      \
    }                                                                                              \
    bool Class::ExecDataIn(const AtaRegisters& regs, MutableByteView data) {                       \
        return RbExecDataIn(Transport(), Set, regs, data);                                         \
    }                                                                                              \
    bool Class::Identify(MutableByteView buffer) {                                                 \
        return RbIdentify(Transport(), Set, Device(), buffer);                                     \
    }                                                                                              \
    std::uint16_t Class::SmartReturnStatus() {                                                     \
        return RbSmartStatus(Transport(), Set, StatusDevice);                                      \
    }                                                                                              \
    bool Class::SmartReadThresholds(MutableByteView buffer) {                                      \
        return RbSmartRead(Transport(), Set, kSmartReadThresholds, Device(), buffer);              \
    }                                                                                              \
    bool Class::SmartReadData(MutableByteView buffer) {                                            \
        return RbSmartRead(Transport(), Set, kSmartReadData, Device(), buffer);                    \
    }

TVD_REGISTER_BRIDGE_DEFINE(clSunplusAta, usbvendor::Sunplus(), 0xE0)
TVD_REGISTER_BRIDGE_DEFINE(clPlx507Ata, usbvendor::Plx507(), Device())
TVD_REGISTER_BRIDGE_DEFINE(clPl2571Ata, usbvendor::Pl2571(), Device())

#undef TVD_REGISTER_BRIDGE_DEFINE

} // namespace tvd
