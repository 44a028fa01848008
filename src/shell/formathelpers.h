// Texts of sizes, durations, versions, GUIDs, drive letters, temperatures and timestamps, the
// same on every platform. All of them go through FormatText.
#pragma once
#include <cstdint>
#include <string>

#include "foundation/guidutil.h"

namespace tvd {

// Empty below 1 KiB; otherwise the largest of KB, MB, GB, TB in which the value is whole, the
// full 64-bit count printed ("1536 MB", "1025 GB").
std::string FormatSizeExact(std::uint64_t bytes);
// "0 Byte", "N Bytes" below 1 KiB, else "%.2f" of the value divided by 1024 in single precision
// while it is at least 1024, up to TB.
std::string FormatSizeDecimal(std::uint64_t bytes);
// As FormatSizeDecimal with "%.f".
std::string FormatSizeRounded(std::uint64_t bytes);
// Up to GB only; "%.f" for a whole value, "%.2f" otherwise.
std::string FormatSizeCompact(std::uint64_t bytes);

// "HH:MM:SS" with the full hour count ("256:00:00").
std::string FormatDuration(std::uint64_t seconds);
// "5.02.08" for 50208.
std::string FormatVersionNumber(std::uint32_t n);
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::string FormatGuid(const Guid& guid);
// Bit i (0 to 25) is drive 'A' + i: "C:, D:"; empty for none.
std::string FormatDriveLetters(std::uint32_t mask);
// "%i °C".
std::u16string FormatTemperature(int degreesCelsius);

struct SystemTime {
    std::uint16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
// "YY-MM-DD, hh:mm:ss"; empty when the year is 0.
std::string FormatTimestamp(const SystemTime& t);
SystemTime LocalTimeNow();
std::string FormatTimestampNow();

} // namespace tvd
