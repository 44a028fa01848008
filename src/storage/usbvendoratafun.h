// The 512-byte-only USB bridge command sets: Sunplus (CDB 0xF8), PLX 507 (0xDF, result
// registers through 0xDE) and Prolific PL2571 (0xD8, result registers through 0xD7). Each moves
// one sector in or none, and reads the result registers with a second command.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "storage/clusbata.h"

namespace tvd {

// What differs between the three sets: the command block, the result-register read and its
// decoding, and the device byte of SMART RETURN STATUS.
struct RegisterBridgeSet {
    std::vector<std::uint8_t> (*command)(const AtaRegisters& regs, bool dataIn);
    std::vector<std::uint8_t> resultCdb;
    std::size_t resultSize;
    AtaRegisters (*decode)(ByteView answer);
};

// The six operations of the three classes, over a set (they derive from clUsbAta directly).
#define TVD_REGISTER_BRIDGE_OPS                                                                    \
    bool ExecNonData(const AtaRegisters& regs, AtaRegisters* result) override;                     \
    bool ExecDataIn(const AtaRegisters& regs, MutableByteView data) override;                      \
    bool Identify(MutableByteView buffer) override;                                                \
    std::uint16_t SmartReturnStatus() override;                                                    \
    bool SmartReadThresholds(MutableByteView buffer) override;                                     \
    bool SmartReadData(MutableByteView buffer) override;

class clSunplusAta : public clUsbAta {
public:
    TVD_ISA(clSunplusAta, clUsbAta)
    using clUsbAta::clUsbAta;
    TVD_REGISTER_BRIDGE_OPS
};

class clPlx507Ata : public clUsbAta {
public:
    TVD_ISA(clPlx507Ata, clUsbAta)
    // `device` is the bridge port the drive hangs on: 0xA0 or 0xB0.
    clPlx507Ata(InterfacePtr<clNtScsi> transport, std::uint8_t device)
        : clUsbAta(std::move(transport)) {
        SetDevice(device);
    }
    TVD_REGISTER_BRIDGE_OPS
};

class clPl2571Ata : public clUsbAta {
public:
    TVD_ISA(clPl2571Ata, clUsbAta)
    using clUsbAta::clUsbAta;
    TVD_REGISTER_BRIDGE_OPS
};

#undef TVD_REGISTER_BRIDGE_OPS

namespace usbvendor {
const RegisterBridgeSet& Sunplus();
const RegisterBridgeSet& Plx507();
const RegisterBridgeSet& Pl2571();
// PLX 507 probe (0xD8 0 0x06 0x7B 0 0x08, 8 bytes in): true with the drive's device byte.
bool Plx507Probe(clScsi* transport, std::uint8_t& device);
std::array<std::uint8_t, 6> Plx507ProbeCdb();
} // namespace usbvendor

} // namespace tvd
