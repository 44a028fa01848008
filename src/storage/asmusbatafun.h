// ASMedia USB bridges: the ATA command set (CDB 0xE6, result registers through 0xE7), the NVMe
// command set (identify and log pages through 0xE6, any command through the 0xEA/0xEB steps), and
// the bridge's product identifier.
#pragma once
#include <array>
#include <cstdint>

#include "storage/clusbata.h"
#include "storage/clusbnvme.h"

namespace tvd {

class clAsmUsbAta : public clUsbAta {
public:
    TVD_ISA(clAsmUsbAta, clUsbAta)
    using clUsbAta::clUsbAta;

    bool ExecNonData(const AtaRegisters& regs, AtaRegisters* result) override;
    bool ExecDataIn(const AtaRegisters& regs, MutableByteView data) override;
};

class clAsmUsbNvme : public clUsbNvme {
public:
    TVD_ISA(clAsmUsbNvme, clUsbNvme)
    using clUsbNvme::clUsbNvme;

    // Every step must succeed, and the completion must report success.
    bool ExecNonData(bool admin, ByteView command, std::uint8_t* completion) override;
    bool ExecDataIn(bool admin, ByteView command, MutableByteView data,
                    std::uint8_t* completion) override;
    bool ExecDataOut(bool admin, ByteView command, ByteView data,
                     std::uint8_t* completion) override;
    // The bridge's own identify: it cannot be told a namespace (for CNS 0 it picks one).
    bool IdentifyNvme(std::uint32_t nsid, std::uint8_t cns, MutableByteView buffer) override;
    bool GetLogPage(std::uint8_t logId, std::uint32_t dwordsMinusOne,
                    MutableByteView buffer) override;

private:
    bool Exec(bool admin, ByteView command, DataDirection dir, MutableByteView dataIn,
              ByteView dataOut, std::uint8_t* completion);
};

namespace asmusb {
using Cdb16 = std::array<std::uint8_t, 16>;
using Cdb6 = std::array<std::uint8_t, 6>;
using Cdb12 = std::array<std::uint8_t, 12>;

Cdb16 AtaCdb(const AtaRegisters& regs);
Cdb6 ResultCdb();
inline constexpr std::size_t kResultSize = 12;
AtaRegisters DecodeResult(ByteView answer);

Cdb16 IdentifyCdb(std::uint8_t cns);
// `value` is the dword count minus one, as the callers pass it.
Cdb16 LogPageCdb(std::uint8_t logId, std::uint16_t value);
// Steps of a command: send the 64-byte command, write data, read data (or execute), completion.
enum class Step { kSendCommand, kWriteData, kReadData, kReadCompletion };
Cdb16 NvmeStepCdb(Step step, bool admin, DataDirection dir, std::uint32_t length);
Cdb12 ProductIdCdb();

// The bridge's USB product identifier (0xE0 data-in of 128 bytes; vendor 0x174C at bytes
// 116-117); 0 when the bridge does not answer so.
std::uint16_t ProductId(clScsi* transport);
} // namespace asmusb

} // namespace tvd
