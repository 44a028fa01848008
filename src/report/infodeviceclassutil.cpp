#include "report/infodeviceclassutil.h"

namespace tvd {

const char* DeviceClassHeading(ReportDeviceClass cls) {
    switch (cls) {
    case ReportDeviceClass::kMonitor:
        return "Monitor Class :";
    case ReportDeviceClass::kAtaController:
        return "ATA Controller Class :";
    case ReportDeviceClass::kScsiController:
        return "SCSI Controller Class :";
    case ReportDeviceClass::kUsb:
        return "USB Class :";
    case ReportDeviceClass::kDisk:
        return "Disk Class :";
    case ReportDeviceClass::kVolume:
        return "Volume Class :";
    }
    return "Class :";
}

namespace {

bool WriteFilter(ReportWriter& w, const char* heading, const char* read,
                 const ClassFilterFacts& f) {
    if (!w.Line(heading)) return false;
    if (f.error == err::kFileNotFound) return true;
    if (f.error) return w.Error(read, f.error);
    return w.StringList(ByteView(f.multiSz));
}

} // namespace

bool WriteDeviceClass(ReportWriter& w, const char* heading, const DeviceClassFacts& f) {
    if (!w.Line(heading)) return false;
    if (f.enumError && !w.Error("SetupDiGetClassDevs", f.enumError)) return false;
    for (const NodeFacts& n : f.devices)
        if (!WriteDeviceLine(w, n)) return false;
    if (!f.filtersSupported) {
        if (!w.NotSupported("Class Filters")) return false;
    } else if (f.classKeyError) {
        if (!w.ErrorLine(" ** Open Class Key fail.")) return false;
    } else if (!WriteFilter(w, " Upper Filters :", "Read Upper Filters", f.upper) ||
               !WriteFilter(w, " Lower Filters :", "Read Lower Filters", f.lower)) {
        return false;
    }
    return w.Eol();
}

} // namespace tvd
