// The report's "Volume Class :" section: each volume of the device layer with its node, where it
// is mounted, its volume information, its storage answers and its file-system block.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "report/infosavesystemutil.h"
#include "report/infowritediskutil.h"

namespace tvd {

class clVolume;

struct VolumeFacts {
    std::string name; // the volume's device name
    NodeFacts node;
    std::optional<std::string> root; // where it is mounted; none: not mounted
    VolumeInfoFacts info;
    ErrorCode openError = err::kSuccess;
    ErrorCode mountNameError = err::kNotSupported;
    std::string mountName;
    DiskFacts storage; // device number, geometry, hot-plug answers
    ErrorCode partitionError = err::kNotSupported;
    PartitionEntry partition;
    ErrorCode extentsError = err::kNotSupported;
    std::vector<DiskExtent> extents;
    ErrorCode bootError = err::kNotSupported;
    std::vector<std::uint8_t> bootSector;
};

// Where a volume is mounted: its drive letters and folders on Windows, its mount points on
// Linux (one definition per platform).
std::vector<std::string> ReportVolumeRoots(clVolume* volume);
// The volume information of a mounted root (one definition per platform).
VolumeInfoFacts GatherVolumeInfo(const std::string& root);
// Opens the volume for reading only.
VolumeFacts GatherVolumeFacts(clVolume* volume);
bool WriteVolumeBlock(ReportWriter& w, const VolumeFacts& v);

} // namespace tvd
