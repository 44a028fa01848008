// Display texts of a drive: its World Wide Name or EUI-64, the short and long names of the drive
// lists, the interface line and the list icon.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/bytesutil.h"

namespace tvd {

class clMsgObject;

struct WwnFacts {
    bool hasAta = false;
    ByteView ataIdentify; // IDENTIFY DEVICE data; empty when it could not be read
    bool hasNvme = false;
    ByteView nvmeNamespace; // IDENTIFY NAMESPACE of the drive's namespace; empty when none
};

// Eight bytes as sixteen upper-case hex digits.
std::string HexId(const std::uint8_t (&id)[8]);
// "WWN: ..." with an ATA interface, else "EUI64: ..." with an NVMe one ("N/A" when the drive
// reports none), else empty.
std::string BuildWwnText(const WwnFacts& facts);

// "0 Byte", "n Bytes" below 1024, else KB, MB, GB or TB with no decimals.
std::string CapacityText(std::uint64_t sizeBytes);
// "C:, D:" for the letters of `letterMask` (bit 0 = A), A to Z.
std::string DriveLettersText(std::uint32_t letterMask);

// "model | bus", the model alone without a bus text, empty without a model.
std::string BuildDisplayNameShort(std::string_view model, std::string_view busText);
// "Disk n - capacity (letters)", or without the parenthesis when no volume has a letter.
std::string BuildDisplayNameLong(std::uint32_t diskNumber, std::uint64_t sizeBytes,
                                 std::uint32_t letterMask);

inline constexpr std::int32_t kMsgInterface = 22012;
// "Interface: bus" with the label from the message table (English without one).
std::string BuildDisplayInterface(std::string_view busText, const clMsgObject* messages);

// The list icon's image resource name.
const char* DiskIconName(bool bootDisk, bool usb);

} // namespace tvd
