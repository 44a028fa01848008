// The SMART monitor every functional disk carries: the drive's SMART object, the figures the
// pages show, the thresholds from the drive's own settings file and the three-level health state.
// The countdown that drives the refresh lives in kernelsmartfun.h.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "smart/smartatacreateutil.h"

namespace tvd {

class clDisk;

namespace healthstate {
inline constexpr std::int32_t kUnknown = 0;
inline constexpr std::int32_t kGood = 1;
inline constexpr std::int32_t kCaution = 2;
inline constexpr std::int32_t kBad = 3;
} // namespace healthstate

inline constexpr std::uint32_t kSmartRefreshPeriod = 100; // ticks of the 100 ms window timer
inline constexpr std::int32_t kDefaultHealthWarning = 20;
inline constexpr std::int32_t kDefaultHealthBad = 5;
inline constexpr std::int32_t kDefaultTemperatureWarning = 60;

// ATA SMART RETURN STATUS answers (LBA mid << 8 | LBA high).
inline constexpr std::uint16_t kAtaSmartStatusOk = 0x4FC2;
inline constexpr std::uint16_t kAtaSmartStatusExceeded = 0xF42C;

// The thresholds of section "Smart" of a drive's settings file.
struct SmartThresholds {
    std::int32_t healthWarning = kDefaultHealthWarning; // health at or below: no longer good
    std::int32_t healthBad = kDefaultHealthBad;         // health at or below: bad
    std::int32_t temperatureWarning = kDefaultTemperatureWarning; // °C at or above: caution
};

struct SmartMonitor {
    std::unique_ptr<clSmart> smart; // none when the drive has no usable SMART
    std::string settingsPath;
    std::uint32_t tickCount = 0; // ticks since the last refresh
    std::uint32_t refreshPeriod = kSmartRefreshPeriod;
    std::int32_t healthWarning = kDefaultHealthWarning;
    std::int32_t healthBad = kDefaultHealthBad;
    std::int32_t temperatureWarning = kDefaultTemperatureWarning;
    std::int32_t health = kSmartNoValue;      // remaining life, %
    std::int32_t temperature = kSmartNoValue; // °C
    std::int32_t HealthState = healthstate::kUnknown;
    std::int64_t written = kSmartNoCount; // GiB
    std::int64_t read = kSmartNoCount;    // GiB
    std::int64_t powerCycles = kSmartNoCount;
    std::int64_t powerOnHours = kSmartNoCount;
    bool updated = false; // set by each refresh; the drive frame clears it after redrawing
    // Last ATA SMART RETURN STATUS answer (0 = none); read with the SMART data, not per display.
    std::uint16_t ataReturnStatus = 0;
    std::string healthReason; // why the state is not good ("; "-separated); empty when good
};

// Reads section "Smart" of the INI file at `path`. A missing or unreadable file, a missing key
// and a value that is not a whole decimal int32 (blanks around it allowed) give the default.
SmartThresholds ReadSmartThresholds(const std::string& path);

// Creates the disk's SMART object (CreateSmart) and sets the monitor up with it; nothing when the
// monitor already has a SMART object. Without SMART the monitor stays empty (state unknown).
void SmartMonitorSetup(SmartMonitor* monitor, clDisk* disk, const std::string& settingsPath);
// The same with a SMART object already made (it has just read its data, so the figures are taken
// from it without a second read).
void SmartMonitorSetup(SmartMonitor* monitor, std::unique_ptr<clSmart> smart,
                       const std::string& settingsPath);

// Re-reads the SMART data (and the ATA return status), updates the figures and the health state,
// closes the handles and sets `updated`. False without a SMART object or when the read failed;
// a failed read keeps the previous figures. The tick count restarts either way.
bool SmartMonitorRefresh(SmartMonitor* monitor);

// Recomputes HealthState and healthReason from the figures, the thresholds and the drive's own
// verdict (ATA attribute status and return status, NVMe critical warning).
void SmartMonitorEvaluate(SmartMonitor* monitor);

// Message id of the Drive Information text of a state: "Good" (21115) for good, "Bad" (21117)
// for caution and bad, 0 for unknown (shown as N/A).
std::uint32_t HealthStateTextId(std::int32_t state);

} // namespace tvd
