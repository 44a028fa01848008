// JMicron USB bridges: the ATA command set (CDB 0xDF) with its port selection, the NVMe
// command set (CDB 0xA1 with a 512-byte command block), and the bridge's product identifier.
#pragma once
#include <array>
#include <cstdint>

#include "storage/clusbata.h"
#include "storage/clusbnvme.h"

namespace tvd {

class clJmUsbAta : public clUsbAta {
public:
    TVD_ISA(clJmUsbAta, clUsbAta)
    // `device` is the bridge port the drive hangs on: 0xA0 or 0xB0.
    clJmUsbAta(InterfacePtr<clNtScsi> transport, std::uint8_t device)
        : clUsbAta(std::move(transport)) {
        SetDevice(device);
    }

    // No result registers: a caller that wants them is refused.
    bool ExecNonData(const AtaRegisters& regs, AtaRegisters* result) override;
    bool ExecDataIn(const AtaRegisters& regs, MutableByteView data) override;
    bool ExecDataOut(const AtaRegisters& regs, ByteView data) override;
    // A one-byte data-in SMART RETURN STATUS: 0xC2 → 0x4FC2, 0x2C → 0xF42C, any other byte
    // as its value; 0 when the request fails.
    std::uint16_t SmartReturnStatus() override;
};

class clJmUsbNvme : public clUsbNvme {
public:
    TVD_ISA(clJmUsbNvme, clUsbNvme)
    using clUsbNvme::clUsbNvme;

    bool ExecNonData(bool admin, ByteView command, std::uint8_t* completion) override;
    bool ExecDataIn(bool admin, ByteView command, MutableByteView data,
                    std::uint8_t* completion) override;
    bool ExecDataOut(bool admin, ByteView command, ByteView data,
                     std::uint8_t* completion) override;

private:
    bool Exec(bool admin, ByteView command, DataDirection dir, MutableByteView dataIn,
              ByteView dataOut, std::uint8_t* completion);
};

namespace jmusb {
using Cdb12 = std::array<std::uint8_t, 12>;

// ATA command: the transfer length in full in bytes 3-4 (big-endian); the device byte is the
// interface's port.
Cdb12 AtaCdb(const AtaRegisters& regs, DataDirection dir, std::uint16_t length,
             std::uint8_t device);
Cdb12 SmartStatusCdb(std::uint8_t device);
// Bridge register read of `length` bytes at `address`.
Cdb12 RegisterReadCdb(std::uint16_t address, std::uint16_t length);
Cdb12 ProductIdCdb();
Cdb12 PortQueryCdb();

// NVMe steps: 0 send command, 1 execute non-data, 2 read data, 3 write data, 0x0F completion.
inline constexpr std::uint8_t kSendCommand = 0x00, kNonData = 0x01, kReadData = 0x02,
                              kWriteData = 0x03, kReadCompletion = 0x0F;
inline constexpr std::size_t kNvmeBlockSize = 512;
Cdb12 NvmeCdb(std::uint8_t step, bool admin, std::uint32_t length);
// The 512-byte block of the send step: "NVME", the command at bytes 8-71.
std::array<std::uint8_t, kNvmeBlockSize> NvmeCommandBlock(ByteView command);

// The bridge's USB product identifier (0xE0 0xF4 0xE7 data-in of 128 bytes; vendor 0x152D at
// bytes 2-3); 0 when the bridge does not answer so.
std::uint16_t ProductId(clScsi* transport);
// The port a drive hangs on for `chip`: true with `device` 0xA0 or 0xB0, false when the
// bridge shows no drive (chip 0x2335 only).
bool SelectPort(clScsi* transport, std::uint16_t chip, std::uint8_t& device);
} // namespace jmusb

} // namespace tvd
