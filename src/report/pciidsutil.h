// Names of PCI functions from the pci.ids text database, for machines without a udev hardware
// database. The file is read as pciutils reads it: a line it would refuse (bad id, missing name,
// too deep, too long, a duplicate) makes the whole file unusable, so no name is better than a
// name lspci would not give.
#pragma once
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace tvd {

// Largest pci.ids read (the real one is about 1.4 MB); a longer file counts as malformed.
inline constexpr std::size_t kPciIdsMaxBytes = 16u << 20;
// Longest line, newline included, as pciutils' line buffer takes it.
inline constexpr std::size_t kPciIdsMaxLine = 1023;

struct PciIds {
    std::uint16_t vendor = 0, device = 0, subVendor = 0, subDevice = 0;
};

struct PciIdNames {
    std::string vendor, device;
    std::string subsystem; // the subsystem entry of this vendor and device, else the generic one
};

// None for a malformed or over-long text; empty names for ids it does not list.
std::optional<PciIdNames> PciIdsLookup(std::istream& in, const PciIds& ids);
// The first of `paths` that opens; none when none opens or it is malformed.
std::optional<PciIdNames> PciIdsLookupFile(const std::vector<std::string>& paths,
                                           const PciIds& ids);
// Where pciutils installs the database on Debian and on Red Hat-like systems.
const std::vector<std::string>& PciIdsDefaultPaths();
// The name the hardware database would give: "vendor device (subsystem)", the parts present.
std::string PciIdsDisplayName(const PciIdNames& names);

} // namespace tvd
