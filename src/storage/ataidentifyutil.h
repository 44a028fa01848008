// Decoders of IDENTIFY DEVICE data (512 bytes; word n = bytes 2n, 2n+1 little-endian). Pure
// functions: every one is bounded by the buffer it is given, and a buffer shorter than 512
// bytes decodes as "none" / 0 / false.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "foundation/bytesutil.h"

namespace tvd::ataid {

inline constexpr std::uint8_t kNoMode = 255;

std::uint16_t Word(ByteView id, std::size_t n); // 0 outside the buffer

// Byte-swapped text of words [first, first + count), untrimmed (NULs kept as they are).
std::string Text(ByteView id, std::size_t firstWord, std::size_t wordCount);
std::string Model(ByteView id);    // words 27-46
std::string Serial(ByteView id);   // words 10-19
std::string Firmware(ByteView id); // words 23-26

// The validity test: word 80 non-zero, and serial, model and firmware each with a non-zero
// first word and only bytes 0 or 32-122. A checksum, when word 255 announces one, must hold.
bool IsValid(ByteView id);
// Word 255: low byte 0xA5 announces a checksum.
bool HasChecksum(ByteView id);
bool ChecksumOk(ByteView id); // byte sum of all 512 bytes is 0 mod 256

int MajorVersion(ByteView id);                // 0 when none
const char* MajorVersionName(int major);      // null when none
const char* MinorVersionName(ByteView id);    // word 81; null when none
std::uint8_t HighestUdmaMode(ByteView id);    // kNoMode when none
std::uint8_t SelectedUdmaMode(ByteView id);   // kNoMode when none
const char* UdmaName(std::uint16_t modeMask); // "UDMA/133" ... "PIO/DMA"
bool IsSata(ByteView id);                     // word 93 = 0
std::uint8_t SataMaxSpeed(ByteView id);       // 1-3, 0 unknown, kNoMode when not SATA
std::uint8_t SataCurrentSpeed(ByteView id);   // 1-3, else 0
const char* SataSpeedName(std::uint8_t speed);
bool SecuritySupported(ByteView id);
bool SecurityEnabled(ByteView id); // word 128 bit 1
bool Lba48Supported(ByteView id);
std::uint32_t LogicalSectorSize(ByteView id);
std::uint64_t SectorCount(ByteView id);
bool Wwn(ByteView id, std::uint8_t (&wwn)[8]);  // false when the drive reports none
std::uint16_t NominalRotationRate(ByteView id); // word 217
bool IsSolidState(ByteView id);
bool ModelLooksSolidState(const std::string& model); // the model-name test alone

// The time-out for SECURITY ERASE UNIT in seconds, from word 89 (normal erase time) or word 90
// (enhanced), with a margin; generous when the drive gives no time.
std::uint32_t SecurityEraseTimeoutSeconds(ByteView id, bool enhanced);

} // namespace tvd::ataid
