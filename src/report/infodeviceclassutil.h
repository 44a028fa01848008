// The device class block: the started devices of one setup class with their node texts, then
// the class's own upper and lower filters. The platform gatherers fill the record (Windows:
// SetupDi and the configuration manager; Linux: sysfs and the udev hardware database).
#pragma once
#include <cstdint>
#include <vector>

#include "foundation/errorcodes.h"
#include "report/infowritediskutil.h"
#include "report/infowriteutil.h"

namespace tvd {

enum class ReportDeviceClass {
    kMonitor,        // {4D36E96E-E325-11CE-BFC1-08002BE10318}
    kAtaController,  // {4D36E96A-E325-11CE-BFC1-08002BE10318}
    kScsiController, // {4D36E97B-E325-11CE-BFC1-08002BE10318}
    kUsb,            // {36FC9E60-C465-11CF-8056-444553540000}, absent devices too
    kDisk,           // {4D36E967-E325-11CE-BFC1-08002BE10318}
    kVolume,         // {71A27CDD-812A-11D0-BEC7-08002BE2092F}
};

// "Monitor Class :" and its kin.
const char* DeviceClassHeading(ReportDeviceClass cls);

// One REG_MULTI_SZ filter value as read: kFileNotFound when the value is missing.
struct ClassFilterFacts {
    ErrorCode error = err::kFileNotFound;
    std::vector<std::uint8_t> multiSz; // UTF-16LE bytes as the registry returned them
};

struct DeviceClassFacts {
    ErrorCode enumError = err::kSuccess;
    std::vector<NodeFacts> devices; // started devices only
    bool filtersSupported = true;   // false: the platform has no class filters
    ErrorCode classKeyError = err::kSuccess;
    ClassFilterFacts upper, lower;
};

// The platform's class (one definition per platform). On Linux the disk and volume classes
// come from the device layer's own nodes, which the caller adds.
DeviceClassFacts GatherDeviceClass(ReportDeviceClass cls);

bool WriteDeviceClass(ReportWriter& w, const char* heading, const DeviceClassFacts& f);

} // namespace tvd
