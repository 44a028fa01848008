// The report's device classes on Linux, on sysfs directories (tests build such trees): the
// connected DRM connectors as monitors, and the PCI storage controllers filed by class code as
// Windows files them (NVMe controllers count as SCSI controllers there).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "report/infosavemonitorutil.h"

namespace tvd::linuxreport {

// 1 for an ATA controller (PCI class 01.01, 01.05, 01.06), 2 for a SCSI one (01.00, 01.04,
// 01.07, 01.08), 0 otherwise; `classCode` is the 24-bit class attribute.
int PciStorageGroup(std::uint32_t classCode);
// The bound PCI functions of `dir` (/sys/bus/pci/devices) in the class's group, named from the
// udev hardware database, else from the first of `pciIds` that opens.
std::vector<NodeFacts> PciControllers(const std::string& dir, ReportDeviceClass cls,
                                      const std::vector<std::string>& pciIds);
// The connected connectors of `dir` (/sys/class/drm) with their EDID.
std::vector<MonitorDeviceFacts> DrmMonitors(const std::string& dir);

} // namespace tvd::linuxreport
