// The report's monitor section: the monitor class block, each monitor device with its node lines
// and the identity its EDID gives, the monitor count and, where the platform has a display
// server to ask, the display areas.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "report/infodeviceclassutil.h"

namespace tvd {

struct MonitorDeviceFacts {
    NodeFacts node;
    ErrorCode edidError = err::kFileNotFound; // kFileNotFound: the monitor gave none
    std::vector<std::uint8_t> edid;
};

struct DisplayRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

struct DisplayAreaFacts {
    std::string device;
    bool infoOk = false; // GetMonitorInfoA answered: device name and work area known
    DisplayRect monitor, work;
};

struct MonitorSectionFacts {
    DeviceClassFacts cls;
    bool listOk = true;
    std::vector<MonitorDeviceFacts> monitors;
    int count = 0;
    bool areasSupported = true; // false: no display server is asked
    std::vector<DisplayAreaFacts> displays;
    ErrorCode workAreaError = err::kSuccess;
    DisplayRect workArea;
};

// One definition per platform.
MonitorSectionFacts GatherMonitorFacts();

// The EDID lines of one monitor.
bool WriteEdidLines(ReportWriter& w, ErrorCode error, ByteView edid);
bool WriteMonitorSection(ReportWriter& w, const MonitorSectionFacts& f);

} // namespace tvd
