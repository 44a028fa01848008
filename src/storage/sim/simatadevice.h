// The ATA personality of a simulated drive: IDENTIFY DEVICE, the SMART commands, the security
// feature set with its erase, and sector reads and writes, answered from the drive file's
// [Drive] and [Ata] sections. Security state lives as long as the object (one plug).
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "storage/sim/simdevices.h"
#include "storage/sim/simdrivespec.h"
#include "storage/sim/simimagefile.h"

namespace tvd {

namespace atasim {
inline constexpr std::uint8_t kStatusOk = 0x50;
inline constexpr std::uint8_t kStatusError = 0x51;
inline constexpr std::uint8_t kErrorAbort = 0x04;
inline constexpr std::uint8_t kErrorUnc = 0x40;
inline constexpr int kMaxPasswordTries = 5;
} // namespace atasim

class SimAta final : public SimAtaDevice {
public:
    explicit SimAta(const SimDriveSpec& spec);

    // Where sector commands and the erase go; null makes them abort. Not owned.
    void SetMedium(SimMedium* medium) { medium_ = medium; }

    bool Execute(const AtaRegisters& in, DataDirection dir, MutableByteView data,
                 AtaRegisters& out) override;
    // READ/WRITE SECTORS (EXT) with a 48-bit LBA and a 16-bit count (0 = 65536), as the SAT
    // (16) translation carries them; `out` as for Execute.
    bool TransferSectors(bool write, std::uint64_t lba, std::uint32_t count, MutableByteView data,
                         AtaRegisters& out);

    // IDENTIFY DEVICE as it reads now (security state included).
    std::array<std::uint8_t, kAtaIdentifySize> Identify() const;
    std::uint32_t LogicalSectorSize() const { return sectorSize_; }
    bool SecurityEnabled() const { return userPassword_.has_value(); }
    // Power off and on: the passwords stay, so a user password leaves the drive locked; frozen,
    // the count of wrong passwords and a pending ERASE PREPARE clear.
    void PowerCycle();

private:
    bool Abort(AtaRegisters& out, std::uint8_t error = atasim::kErrorAbort);
    bool Smart(const AtaRegisters& in, DataDirection dir, MutableByteView data, AtaRegisters& out);
    bool Security(const AtaRegisters& in, DataDirection dir, MutableByteView data,
                  AtaRegisters& out);

    using Password = std::array<std::uint8_t, 32>;
    SimAtaSpec cfg_;
    std::array<std::uint8_t, kAtaIdentifySize> identify_{};
    std::vector<std::uint8_t> smartData_, smartThresholds_;
    std::uint64_t sectors_ = 0;
    std::uint32_t sectorSize_ = 512;
    bool givenIdentify_ = false;
    SimMedium* medium_ = nullptr;
    std::optional<Password> userPassword_, masterPassword_;
    bool erasePrepared_ = false;
    bool locked_ = false, frozen_ = false;
    int wrongTries_ = 0;
    std::uint32_t eraseAbortAt_ = 0; // percent, 0: none
};

} // namespace tvd
