// A simulated drive as its drive file describes it: one INI text "NAME.drive" per drive in the
// simulation folder (docs/simulated-drives.md). Parsing is pure: no file is touched here, so the
// rules can be tested as a table and the back end decides when images are made.
#pragma once
#include <cstdint>
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
};

struct SimFaults {
    std::vector<std::uint64_t> readErrorAt, writeErrorAt; // LBAs, sorted, each once
    ErrorCode failOpen = err::kSuccess;                   // what Open answers; 0 opens
};

struct SimDriveSpec {
    std::string name; // the file name without ".drive"
    std::uint32_t busType = bustype::kSata;
    std::string model, serial, firmware, vendor;
    std::uint64_t capacity = 0;
    std::uint32_t sectorSize = 512;
    bool removable = false, trim = false, readOnly = false;
    std::string image;  // relative to the folder
    std::string layout; // Layout=, applied only to an image created for this drive
    std::string parent; // USB node name; empty when the disk is not on USB
    SimUsbSpec usb;     // meaningful when `parent` is set
    bool hasPci = false;
    PciLinkInfo pci;
    SimFaults faults;
    // The whole file, for the sections the command-set layers read ([Ata], [Nvme], [Scsi]).
    IniBuffer ini;

    std::uint64_t SectorCount() const { return sectorSize ? capacity / sectorSize : 0; }
};

inline constexpr std::uint64_t kSimDefaultCapacity = std::uint64_t(1) << 30;

// Parses the text of drive file `name`. kInvalidParameter for an unusable name, kInvalidData
// for a file the simulation refuses; `message` then says which key is wrong and why.
ErrorCode ParseSimDrive(std::string_view name, ByteView text, SimDriveSpec& out,
                        std::string& message);

// Drive names become device paths: letters, digits, '-', '_' and '.', 1 to 64 characters, not
// starting with '.'.
bool IsValidSimDriveName(std::string_view name);

// Bus names of the Bus= key (case-insensitive) and back; "" for a bus without a name.
bool SimBusFromName(std::string_view name, std::uint32_t& busType);
const char* SimBusName(std::uint32_t busType);

// A byte count: decimal digits, optionally a binary suffix K, M, G or T (also "KB", "KiB", ...).
bool ParseSimSize(std::string_view text, std::uint64_t& bytes);

} // namespace tvd
