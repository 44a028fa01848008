#include "report/infosavemonitorutil.h"

#include <algorithm>
#include <cstdio>

#include "report/edidutil.h"

namespace tvd {

namespace {

std::string RectText(const char* format, const DisplayRect& r) {
    char text[128];
    std::snprintf(text, sizeof text, format, r.left, r.top, r.right, r.bottom);
    return text;
}

} // namespace

bool WriteEdidLines(ReportWriter& w, ErrorCode error, ByteView edid) {
    if (error == err::kFileNotFound) return w.Line("  * No EDID.");
    if (error) return w.Error("Read EDID", error);
    const std::optional<EdidIdentity> id = DecodeEdid(edid);
    if (!id) return w.ErrorLine("  ** EDID decode fail");
    char version[16];
    std::snprintf(version, sizeof version, "%u.%u", id->version, id->revision);
    return w.Value("  EDID Version", version) && w.Value("  Manufacturer ID", id->makerId) &&
           w.Hex04("  Product Code", id->productCode) &&
           w.Unsigned("  Serial Number", id->serialNumber) &&
           (!id->name || w.Value("  Monitor Name", *id->name)) &&
           (!id->serialText || w.Value("  Serial Text", *id->serialText)) &&
           (id->checksumOk || w.ErrorLine("  ** EDID Checksum error"));
}

bool WriteMonitorSection(ReportWriter& w, const MonitorSectionFacts& f) {
    if (!WriteDeviceClass(w, DeviceClassHeading(ReportDeviceClass::kMonitor), f.cls)) return false;
    if (!f.listOk) {
        if (!w.ErrorLine(" * Create MonitorList fail.")) return false;
    } else {
        for (const MonitorDeviceFacts& m : f.monitors) {
            char heading[40];
            std::snprintf(heading, sizeof heading, " Monitor [%08X] :", m.node.devInst);
            if (!w.Line(heading) || !WriteNodeLines(w, m.node) ||
                !WriteEdidLines(w, m.edidError, ByteView(m.edid)) || !w.Eol())
                return false;
        }
    }
    if (!w.Line("Monitor Count = [" + std::to_string(f.count) + "]")) return false;
    if (!f.areasSupported) return w.NotSupported("Monitor Areas") && w.Eol();
    DisplayRect full;
    for (std::size_t i = 0; i < f.displays.size(); ++i) {
        const DisplayAreaFacts& d = f.displays[i];
        const int n = static_cast<int>(i);
        if (d.infoOk) {
            if (!w.Line(" [" + std::to_string(n) + "] : [" + d.device + "]") ||
                !w.Line(RectText("  Monitor Area = (%i, %i) - (%i, %i)", d.monitor)) ||
                !w.Line(RectText("  Work Area = (%i, %i) - (%i, %i)", d.work)))
                return false;
        } else if (!w.Line(" [" + std::to_string(n) + "]") ||
                   !w.Line(RectText("  Monitor Area = (%i, %i) - (%i, %i)", d.monitor))) {
            return false;
        }
        if (i == 0) {
            full = d.monitor;
        } else {
            full.left = std::min(full.left, d.monitor.left);
            full.top = std::min(full.top, d.monitor.top);
            full.right = std::max(full.right, d.monitor.right);
            full.bottom = std::max(full.bottom, d.monitor.bottom);
        }
    }
    if (!w.Line(RectText(" Full Screen = (%i, %i) - (%i, %i)", full)) || !w.Eol()) return false;
    // The label keeps its old form: readers of earlier reports match it.
    if (f.workAreaError) {
        if (!w.ErrorLine("  ** Get Work Area fail")) return false;
    } else if (!w.Line(RectText(" Work Area = (%i, %i) - (%i- %i)", f.workArea))) {
        return false;
    }
    return w.Eol();
}

} // namespace tvd
