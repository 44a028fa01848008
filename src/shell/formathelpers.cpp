#include "shell/formathelpers.h"

#include <ctime>

#include "shell/formattext.h"

namespace tvd {

std::string FormatSizeExact(std::uint64_t v) {
    if (v < 1024) return {};
    if (v < (1ull << 20)) return FormatText("%i KB", {v >> 10});
    const std::uint64_t m = v >> 20;
    if (m < 1024 || m % 1024 != 0) return FormatText("%i MB", {m});
    const std::uint64_t g = v >> 30;
    if (g < 1024 || g % 1024 != 0) return FormatText("%i GB", {g});
    return FormatText("%i TB", {v >> 40});
}

namespace {

// The decimal helpers divide in single precision, step by step, like the texts always did.
struct Scaled {
    float value;
    int unit; // 0 KB, 1 MB, 2 GB, 3 TB
};

Scaled Scale(std::uint64_t bytes, int lastUnit) {
    float v = static_cast<float>(bytes) / 1024.0f;
    int unit = 0;
    while (v >= 1024.0f && unit < lastUnit) {
        v /= 1024.0f;
        ++unit;
    }
    return {v, unit};
}

constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB"};

std::string Decimal(std::uint64_t bytes, const char* number, int lastUnit) {
    if (bytes == 0) return "0 Byte";
    if (bytes < 1024) return FormatText("%.I64u Bytes", {bytes});
    const Scaled s = Scale(bytes, lastUnit);
    return FormatText(std::string(number) + " %s", {double(s.value), kUnits[s.unit]});
}

} // namespace

std::string FormatSizeDecimal(std::uint64_t bytes) {
    return Decimal(bytes, "%.2f", 3);
}

std::string FormatSizeRounded(std::uint64_t bytes) {
    return Decimal(bytes, "%.f", 3);
}

std::string FormatSizeCompact(std::uint64_t bytes) {
    if (bytes == 0) return "0 Byte";
    if (bytes < 1024) return FormatText("%.I64u Bytes", {bytes});
    const Scaled s = Scale(bytes, 2);
    const bool whole = static_cast<float>(static_cast<std::uint64_t>(s.value)) == s.value;
    return FormatText(whole ? "%.f %s" : "%.2f %s", {double(s.value), kUnits[s.unit]});
}

std::string FormatDuration(std::uint64_t seconds) {
    return FormatText("%02d:%02d:%02d", {seconds / 3600, (seconds / 60) % 60, seconds % 60});
}

std::string FormatVersionNumber(std::uint32_t n) {
    return FormatText("%i.%02i.%02i", {n / 10000, (n % 10000) / 100, n % 100});
}

std::string FormatGuid(const Guid& g) {
    return FormatText("{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                      {g.data1, unsigned(g.data2), unsigned(g.data3), unsigned(g.data4[0]),
                       unsigned(g.data4[1]), unsigned(g.data4[2]), unsigned(g.data4[3]),
                       unsigned(g.data4[4]), unsigned(g.data4[5]), unsigned(g.data4[6]),
                       unsigned(g.data4[7])});
}

std::string FormatDriveLetters(std::uint32_t mask) {
    std::string out;
    for (unsigned i = 0; i < 26; ++i) {
        if (!(mask & (1u << i))) continue;
        const unsigned letter = 'A' + i;
        out = out.empty() ? FormatText("%C:", {letter}) : FormatText("%s, %C:", {out, letter});
    }
    return out;
}

std::u16string FormatTemperature(int degreesCelsius) {
    return FormatText(u"%i \u00B0C", {degreesCelsius});
}

std::string FormatTimestamp(const SystemTime& t) {
    if (t.year == 0) return {};
    return FormatText(
        "%02i-%02i-%02i, %02i:%02i:%02i",
        {t.year % 100, int(t.month), int(t.day), int(t.hour), int(t.minute), int(t.second)});
}

SystemTime LocalTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    if (localtime_s(&tm, &now) != 0) return {};
#else
    if (!localtime_r(&now, &tm)) return {};
#endif
    SystemTime t;
    t.year = static_cast<std::uint16_t>(tm.tm_year + 1900);
    t.month = static_cast<std::uint16_t>(tm.tm_mon + 1);
    t.day = static_cast<std::uint16_t>(tm.tm_mday);
    t.hour = static_cast<std::uint16_t>(tm.tm_hour);
    t.minute = static_cast<std::uint16_t>(tm.tm_min);
    t.second = static_cast<std::uint16_t>(tm.tm_sec);
    return t;
}

std::string FormatTimestampNow() {
    return FormatTimestamp(LocalTimeNow());
}

} // namespace tvd
