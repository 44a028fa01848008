// The NVMe personality of a simulated drive: identify, log pages, SANITIZE with its progress
// and the security commands, answered from the drive file's [Drive] and [Nvme] sections. A
// sanitize runs on wall time; its end is noticed by the next command or Poll.
#pragma once
#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

#include "storage/sim/simdevices.h"
#include "storage/sim/simdrivespec.h"
#include "storage/sim/simimagefile.h"

namespace tvd {

namespace nvmesim {
// Status codes (generic command status unless noted).
inline constexpr std::uint8_t kInvalidOpcode = 0x01;
inline constexpr std::uint8_t kInvalidField = 0x02;
inline constexpr std::uint8_t kInternalError = 0x06;
inline constexpr std::uint8_t kInvalidNamespace = 0x0B;
inline constexpr std::uint8_t kSanitizeInProgress = 0x1D;
inline constexpr std::uint8_t kInvalidLogPage = 0x09; // command specific
// Sanitize status log, SSTAT bits 0-2.
inline constexpr std::uint16_t kNeverSanitized = 0, kSanitized = 1, kSanitizing = 2;
} // namespace nvmesim

class SimNvme final : public SimNvmeDevice {
public:
    using Clock = std::chrono::steady_clock;

    explicit SimNvme(const SimDriveSpec& spec);

    // Where a sanitize's zeroing goes; null makes it fail. Not owned.
    void SetMedium(SimMedium* medium) { medium_ = medium; }
    // Ends a sanitize whose time is up. True while one is still running.
    bool Poll(Clock::time_point now);

    bool Execute(ByteView command, DataDirection dir, MutableByteView data,
                 std::uint8_t (&completion)[kNvmeCompletionSize]) override;
    // The same with a given clock, for tests of a running sanitize.
    bool ExecuteAt(ByteView command, DataDirection dir, MutableByteView data,
                   std::uint8_t (&completion)[kNvmeCompletionSize], Clock::time_point now);

    const std::vector<std::uint8_t>& Controller() const { return controller_; }

private:
    std::vector<std::uint8_t> SanitizeLog(Clock::time_point now) const;
    std::vector<std::uint8_t> HealthLog() const;

    SimNvmeSpec cfg_;
    std::vector<std::uint8_t> controller_, namespace_;
    std::uint64_t sectors_ = 0;
    std::uint32_t sectorSize_ = 512;
    std::uint64_t capacity_ = 0;
    SimMedium* medium_ = nullptr;
    std::uint16_t sanitizeStatus_ = nvmesim::kNeverSanitized;
    std::uint32_t sanitizeCdw10_ = 0;
    Clock::time_point sanitizeStart_{}, sanitizeEnd_{};
};

} // namespace tvd
