// A simulated drive as its drive file describes it: one INI text "NAME.drive" per drive in the
// simulation folder (docs/simulated-drives.md). Parsing is pure: no file is touched here, so the
// rules can be tested as a table and the back end decides when images are made.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"
#include "foundation/inibufutila.h"
#include "storage/storagetypes.h"

namespace tvd {

// The USB device a disk hangs on ([Usb] section, named by Parent=).
struct SimUsbSpec {
    std::uint16_t vendorId = 0, productId = 0;
    std::string product, manufacturer, serial;
    // The enclosure's bridge (Bridge=): "sat", "none", "jmicron", "asmedia", "sunplus",
    // "plx507", "pl2571", "asmedia-nvme", "jmicron-nvme"; empty: SAT when there is an [Ata]
    // section.
    std::string bridge;
    bool sat = false;            // Sat=: the bridge also answers ATA PASS-THROUGH
    std::uint16_t chip = 0;      // Chip=: the chip its INQUIRY data names
    std::uint8_t drivePort = 0;  // DrivePort=: the bridge port of the drive, 0 or 1
    std::uint16_t link = 0x0200; // Link=: 0x0100, 0x0110, 0x0200 or 0x0300
};

struct SimFaults {
    std::vector<std::uint64_t> readErrorAt, writeErrorAt; // LBAs, sorted, each once
    ErrorCode failOpen = err::kSuccess;                   // what Open answers; 0 opens
    bool trimIgnored = false;          // TRIM succeeds and changes nothing, as a drive may do
    std::uint32_t ataEraseAbortAt = 0; // percent: ERASE UNIT zeroes that share, then aborts
};

// [Ata]: the ATA personality of SATA and ATA drives, and of a USB disk behind a SATA bridge.
// Empty byte blocks mean "generate"; given ones are zero-padded to their structure's size.
struct SimAtaSpec {
    bool present = false;
    std::vector<std::uint8_t> identify, smartData, smartThresholds; // 512 bytes each
    bool smartExceeded = false;
    std::uint16_t rotation = 0; // 0: the default for the drive
    // The security state at plug-in: 0 disabled, 1 enabled, 2 locked, 3 frozen, 4 expired
    // (five wrong passwords), and the passwords (32 bytes, zero-padded) when given.
    std::uint8_t security = 0;
    std::optional<std::array<std::uint8_t, 32>> userPassword, masterPassword;
    std::map<std::uint8_t, std::vector<std::uint8_t>> logs; // SMART READ LOG by address
};

// [Nvme]: the NVMe personality of NVMe drives.
struct SimNvmeSpec {
    bool present = false;
    std::uint16_t vendorId = 0;
    bool security = false;
    std::uint32_t sanicap = 0;
    std::uint32_t sanitizeSeconds = 0;
    std::vector<std::uint8_t> controller, namespace1;       // 4096 bytes each
    std::map<std::uint8_t, std::vector<std::uint8_t>> logs; // Get Log Page by identifier
};

// [Scsi]: every drive answers SCSI commands.
struct SimScsiSpec {
    std::vector<std::uint8_t> inquiry; // standard INQUIRY data, at most 96 bytes
};

inline constexpr std::size_t kSimAtaLogMax = 16 * 512;
inline constexpr std::size_t kSimNvmeLogMax = 4096;
inline constexpr std::size_t kSimInquiryMax = 96;

struct SimDriveSpec {
    std::string name; // the file name without ".drive"
    std::uint32_t busType = bustype::kSata;
    std::string model, serial, firmware, vendor;
    std::uint64_t capacity = 0;
    std::uint32_t sectorSize = 512;
    bool removable = false, trim = false, readOnly = false;
    // The clone's refusals: the drive holds the running system / a mounted volume.
    bool systemDisk = false, mountedVolume = false;
    std::string image;  // relative to the folder
    std::string layout; // Layout=, applied only to an image created for this drive
    // Letters= and Free=: drive letters of volumes by partition number, and the free bytes their
    // file systems report (a volume without a Free= figure is empty: free = its length).
    std::map<std::uint32_t, char> letters;
    std::map<std::uint32_t, std::uint64_t> freeBytes;
    std::string parent; // USB node name; empty when the disk is not on USB
    SimUsbSpec usb;     // meaningful when `parent` is set
    bool hasPci = false;
    PciLinkInfo pci;
    SimFaults faults;
    SimAtaSpec ata;
    SimNvmeSpec nvme;
    SimScsiSpec scsi;
    // The whole file, for the sections the command-set layers read ([Ata], [Nvme], [Scsi]).
    IniBuffer ini;

    std::uint64_t SectorCount() const { return sectorSize ? capacity / sectorSize : 0; }
};

inline constexpr std::uint64_t kSimDefaultCapacity = std::uint64_t(1) << 30;

// Parses the text of drive file `name`. kInvalidParameter for an unusable name, kInvalidData
// for a file the simulation refuses; `message` then says which key is wrong and why, and `line`
// (when given) the 1-based line of that key in `text`, 0 when the key is not written there.
ErrorCode ParseSimDrive(std::string_view name, ByteView text, SimDriveSpec& out,
                        std::string& message, std::size_t* line = nullptr);

// The 1-based line of `key` in `section` of an INI text (names ignore case); 0 when absent.
std::size_t SimKeyLine(std::string_view text, std::string_view section, std::string_view key);

// Drive names become device paths: letters, digits, '-', '_' and '.', 1 to 64 characters, not
// starting with '.'.
bool IsValidSimDriveName(std::string_view name);

// Bus names of the Bus= key (case-insensitive) and back; "" for a bus without a name.
bool SimBusFromName(std::string_view name, std::uint32_t& busType);
const char* SimBusName(std::uint32_t busType);

// Hexadecimal bytes: digit pairs, blanks allowed between bytes. A text shorter than `size` is
// zero-padded to it; a longer one, an odd digit or any other character is refused.
bool ParseSimHexBlock(std::string_view text, std::size_t size, std::vector<std::uint8_t>& out);

// Letters= ("N:L,...", partition N 1-128, letter A-Z, each partition and letter once) and
// Free= ("N:SIZE,...", sizes as Capacity=). False with `message` naming the bad item.
bool ParseSimLetters(std::string_view text, std::map<std::uint32_t, char>& out,
                     std::string& message);
bool ParseSimFree(std::string_view text, std::map<std::uint32_t, std::uint64_t>& out,
                  std::string& message);

// A byte count: decimal digits, optionally a binary suffix K, M, G or T (also "KB", "KiB", ...).
bool ParseSimSize(std::string_view text, std::uint64_t& bytes);

} // namespace tvd
