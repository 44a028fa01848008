#include "storage/ataidentifyutil.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

#include "storage/commandtypes.h"

namespace tvd::ataid {

namespace {

// Word numbers of the fields the decoders read.
namespace w {
constexpr std::size_t kSerial = 10, kSerialWords = 10;
constexpr std::size_t kFirmware = 23, kFirmwareWords = 4;
constexpr std::size_t kModel = 27, kModelWords = 20;
constexpr std::size_t kLba28Sectors = 60;
constexpr std::size_t kSataCapabilities = 76;
constexpr std::size_t kSataCurrentSpeed = 77;
constexpr std::size_t kMajorVersion = 80;
constexpr std::size_t kMinorVersion = 81;
constexpr std::size_t kCommandSet1 = 82;
constexpr std::size_t kCommandSet2 = 83;
constexpr std::size_t kCommandSetExt = 84;
constexpr std::size_t kCommandSetEnabled2 = 86;
constexpr std::size_t kUdma = 88;
constexpr std::size_t kEraseTime = 89;
constexpr std::size_t kEnhancedEraseTime = 90;
constexpr std::size_t kHardwareReset = 93;
constexpr std::size_t kLba48Sectors = 100;
constexpr std::size_t kSectorSizeInfo = 106;
constexpr std::size_t kWwn = 108, kWwnWords = 4;
constexpr std::size_t kLogicalSectorWords = 117;
constexpr std::size_t kSecurityStatus = 128;
constexpr std::size_t kRotationRate = 217;
constexpr std::size_t kIntegrity = 255;
} // namespace w

bool Full(ByteView id) {
    return id.size() >= kAtaIdentifySize;
}

// Decoders read nothing from a buffer shorter than a full page.
std::uint16_t W(ByteView id, std::size_t word) {
    return Full(id) ? Le<std::uint16_t>(id, 2 * word) : 0;
}

std::uint32_t Dword(ByteView id, std::size_t word) {
    return Full(id) ? Le<std::uint32_t>(id, 2 * word) : 0;
}

bool TextFieldValid(ByteView id, std::size_t first, std::size_t count) {
    if (W(id, first) == 0) return false;
    for (std::size_t i = 2 * first; i < 2 * (first + count); ++i) {
        const std::uint8_t c = id[i];
        if (c != 0 && (c < 32 || c > 122)) return false;
    }
    return true;
}

struct MinorName {
    std::uint16_t code;
    const char* name;
};
constexpr MinorName kMinorNames[] = {
    {0x0013, "ATA/ATAPI-5 T13 1321D version 3"},
    {0x0015, "ATA/ATAPI-5 T13 1321D version 1"},
    {0x0016, "ATA/ATAPI-5 published, ANSI INCITS 340-2000"},
    {0x0018, "ATA/ATAPI-6 T13 1410D version 0"},
    {0x0019, "ATA/ATAPI-6 T13 1410D version 3a"},
    {0x001A, "ATA/ATAPI-7 T13 1532D version 1"},
    {0x001B, "ATA/ATAPI-6 T13 1410D version 2"},
    {0x001C, "ATA/ATAPI-6 T13 1410D version 1"},
    {0x001D, "ATA/ATAPI-7 published ANSI INCITS 397-2005."},
    {0x001E, "ATA/ATAPI-7 T13 1532D version 0"},
    {0x001F, "ACS-3 version 3b"},
    {0x0021, "ATA/ATAPI-7 T13 1532D version 4a"},
    {0x0022, "ATA/ATAPI-6 published, ANSI INCITS 361-2002"},
    {0x0027, "ATA8-ACS version 3c"},
    {0x0028, "ATA8-ACS version 6"},
    {0x0029, "ATA8-ACS version 4"},
    {0x0031, "ASC-2 Revision 2"},
    {0x0033, "ATA8-ACS version 3e"},
    {0x0039, "ATA8-ACS version 4c"},
    {0x0042, "ATA8-ACS version 3f"},
    {0x0052, "ATA8-ACS version 3b"},
    {0x006D, "ACS-3 Revision 5"},
    {0x0082, "ACS-2 published, ANSI INCITS 482-2012"},
    {0x0107, "ATA8-ACS version 2d"},
    {0x0110, "ACS-2 Revision 3"},
    {0x011B, "ACS-3 Revision 4"},
};

std::string Lower(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

// An unset word reads 0 or 0xFFFF on drives that do not implement it.
bool Reported(std::uint16_t v) {
    return v != 0 && v != 0xFFFF;
}

} // namespace

std::uint16_t Word(ByteView id, std::size_t n) {
    if (n >= id.size() / 2) return 0;
    return Le<std::uint16_t>(id, 2 * n);
}

std::string Text(ByteView id, std::size_t firstWord, std::size_t wordCount) {
    std::string s;
    for (std::size_t i = 0; i < wordCount; ++i) {
        const std::size_t n = firstWord + i;
        if (n >= id.size() / 2) break;
        s.push_back(static_cast<char>(id[2 * n + 1]));
        s.push_back(static_cast<char>(id[2 * n]));
    }
    return s;
}

std::string Model(ByteView id) {
    return Full(id) ? Text(id, w::kModel, w::kModelWords) : std::string();
}
std::string Serial(ByteView id) {
    return Full(id) ? Text(id, w::kSerial, w::kSerialWords) : std::string();
}
std::string Firmware(ByteView id) {
    return Full(id) ? Text(id, w::kFirmware, w::kFirmwareWords) : std::string();
}

bool HasChecksum(ByteView id) {
    return Full(id) && (W(id, w::kIntegrity) & 0xFF) == 0xA5;
}

bool ChecksumOk(ByteView id) {
    if (!Full(id)) return false;
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < kAtaIdentifySize; ++i)
        sum = static_cast<std::uint8_t>(sum + id[i]);
    return sum == 0;
}

bool IsValid(ByteView id) {
    if (!Full(id) || W(id, w::kMajorVersion) == 0) return false;
    if (!TextFieldValid(id, w::kSerial, w::kSerialWords) ||
        !TextFieldValid(id, w::kModel, w::kModelWords) ||
        !TextFieldValid(id, w::kFirmware, w::kFirmwareWords))
        return false;
    return !HasChecksum(id) || ChecksumOk(id);
}

int MajorVersion(ByteView id) {
    const std::uint16_t v = W(id, w::kMajorVersion);
    if (!Reported(v)) return 0;
    for (int bit = 14; bit >= 2; --bit)
        if (v & (1u << bit)) return bit;
    return 0;
}

const char* MajorVersionName(int major) {
    static constexpr const char* kNames[] = {"ATA/ATAPI-3", "ATA/ATAPI-4", "ATA/ATAPI-5",
                                             "ATA/ATAPI-6", "ATA/ATAPI-7", "ATA8-ACS",
                                             "ACS-2",       "ACS-3"};
    if (major < 3 || major > 10) return nullptr;
    return kNames[major - 3];
}

const char* MinorVersionName(ByteView id) {
    if (!Full(id)) return nullptr;
    const std::uint16_t v = W(id, w::kMinorVersion);
    for (const MinorName& m : kMinorNames)
        if (m.code == v) return m.name;
    return nullptr;
}

std::uint8_t HighestUdmaMode(ByteView id) {
    const std::uint16_t v = W(id, w::kUdma);
    if (!Reported(v)) return kNoMode;
    int n = 0;
    while (n < 8 && (v & (1u << n)))
        ++n;
    return n == 0 ? kNoMode : static_cast<std::uint8_t>(n - 1);
}

std::uint8_t SelectedUdmaMode(ByteView id) {
    const std::uint16_t v = W(id, w::kUdma);
    if (!Reported(v)) return kNoMode;
    for (std::uint8_t bit = 0; bit < 8; ++bit)
        if (v & (0x100u << bit)) return bit;
    return kNoMode;
}

const char* UdmaName(std::uint16_t modeMask) {
    static constexpr const char* kNames[] = {"UDMA/16", "UDMA/25",  "UDMA/33", "UDMA/44",
                                             "UDMA/66", "UDMA/100", "UDMA/133"};
    for (int bit = 6; bit >= 0; --bit)
        if (modeMask & (1u << bit)) return kNames[bit];
    return "PIO/DMA";
}

bool IsSata(ByteView id) {
    return Full(id) && W(id, w::kHardwareReset) == 0;
}

std::uint8_t SataMaxSpeed(ByteView id) {
    if (!IsSata(id)) return kNoMode;
    const std::uint16_t v = W(id, w::kSataCapabilities);
    if (v & 0x8) return 3;
    if (v & 0x4) return 2;
    if (v & 0x2) return 1;
    return 0;
}

std::uint8_t SataCurrentSpeed(ByteView id) {
    const unsigned v = (W(id, w::kSataCurrentSpeed) >> 1) & 7;
    return v >= 1 && v <= 3 ? static_cast<std::uint8_t>(v) : 0;
}

const char* SataSpeedName(std::uint8_t speed) {
    switch (speed) {
    case 1:
        return "SATA 1.5 Gb/s";
    case 2:
        return "SATA 3.0 Gb/s";
    case 3:
        return "SATA 6.0 Gb/s";
    default:
        return "SATA";
    }
}

bool SecuritySupported(ByteView id) {
    const std::uint16_t v = W(id, w::kCommandSet1);
    return MajorVersion(id) > 2 && v != 0xFFFF && (v & 0x2);
}

bool SecurityEnabled(ByteView id) {
    const std::uint16_t v = W(id, w::kSecurityStatus);
    return v != 0xFFFF && (v & 0x2);
}

bool Lba48Supported(ByteView id) {
    const std::uint16_t supported = W(id, w::kCommandSet2);
    const std::uint16_t enabled = W(id, w::kCommandSetEnabled2);
    return MajorVersion(id) > 5 && supported != 0xFFFF && (supported & 0x400) &&
           enabled != 0xFFFF && (enabled & 0x400);
}

std::uint32_t LogicalSectorSize(ByteView id) {
    const std::uint16_t info = W(id, w::kSectorSizeInfo);
    // Bit 15 set (or the all-ones word) marks the word as not valid; absurd sizes would make
    // callers allocate or divide by garbage.
    if (MajorVersion(id) <= 6 || info == 0xFFFF || (info & 0x8000) || !(info & 0x1000)) return 512;
    const std::uint64_t bytes = 2ull * Dword(id, w::kLogicalSectorWords);
    return bytes >= 512 && bytes <= 65536 ? static_cast<std::uint32_t>(bytes) : 512;
}

std::uint64_t SectorCount(ByteView id) {
    if (!Full(id)) return 0;
    if (Lba48Supported(id)) return Le<std::uint64_t>(id, 2 * w::kLba48Sectors);
    return Dword(id, w::kLba28Sectors);
}

bool Wwn(ByteView id, std::uint8_t (&wwn)[8]) {
    const std::uint16_t v = W(id, w::kCommandSetExt);
    if (MajorVersion(id) <= 6 || v == 0xFFFF || !(v & 0x100)) return false;
    for (std::size_t i = 0; i < w::kWwnWords; ++i) {
        const std::uint16_t word = W(id, w::kWwn + i);
        wwn[2 * i] = static_cast<std::uint8_t>(word >> 8);
        wwn[2 * i + 1] = static_cast<std::uint8_t>(word);
    }
    return true;
}

std::uint16_t NominalRotationRate(ByteView id) {
    return W(id, w::kRotationRate);
}

bool ModelLooksSolidState(const std::string& model) {
    static constexpr std::string_view kPrefixes[] = {"ocz",       "spcc",    "patriot",
                                                     "photofast", "stt_ftm", "super talent"};
    static constexpr std::string_view kAnywhere[] = {"solid", "ssd", "siliconharddisk"};
    const std::string m = Lower(model);
    for (std::string_view p : kPrefixes)
        if (m.starts_with(p)) return true;
    for (std::string_view a : kAnywhere)
        if (m.find(a) != std::string::npos) return true;
    return false;
}

bool IsSolidState(ByteView id) {
    if (!Full(id)) return false;
    if (MajorVersion(id) < 8) return ModelLooksSolidState(Model(id));
    return NominalRotationRate(id) == 1;
}

std::uint32_t SecurityEraseTimeoutSeconds(ByteView id, bool enhanced) {
    constexpr std::uint32_t kMinute = 60;
    constexpr std::uint32_t kUnreported = 12 * 60 * kMinute;
    constexpr std::uint32_t kMargin = 10 * kMinute;
    const std::uint16_t v = W(id, enhanced ? w::kEnhancedEraseTime : w::kEraseTime);
    // Extended format: bits 14:0, 32767 meaning "longer than that"; otherwise bits 7:0 with 255
    // meaning the same. Either way the unit is 2 minutes.
    const bool extended = (v & 0x8000) != 0;
    const std::uint32_t units = extended ? (v & 0x7FFFu) : (v & 0xFFu);
    const std::uint32_t atLeast = extended ? 32767 : 255;
    if (units == 0) return kUnreported;
    const std::uint32_t minutes = units * 2;
    const std::uint32_t factor = units == atLeast ? 4 : 2;
    return factor * minutes * kMinute + kMargin;
}

} // namespace tvd::ataid
