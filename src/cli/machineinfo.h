// What the machine is: operating system, processor, memory, board and firmware.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/errorcodes.h"

namespace tvd::cli {

struct MemoryDevice {
    std::string locator;
    std::string type;
    std::uint64_t bytes = 0;
};

struct MachineInfo {
    std::string osName, osVersion, kernel, machine;
    std::uint32_t osCode = 0;
    std::uint32_t arch = 0;
    bool admin = false;
    std::string cpuVendor, cpuBrand;
    unsigned cpuThreads = 0;
    std::uint64_t memoryBytes = 0;
    // From the SMBIOS table; smbiosError is non-zero when it could not be read.
    ErrorCode smbiosError = 0;
    std::string smbiosVersion;
    std::string systemMaker, systemProduct;
    std::string boardMaker, boardProduct, boardType;
    std::string chassisType;
    std::string biosVendor, biosVersion, biosDate;
    std::vector<MemoryDevice> memoryDevices;
};

MachineInfo GatherMachineInfo();
// Fills the SMBIOS fields from a table blob (separate so that tests can feed a crafted table).
void FillFromSmbios(const std::vector<std::uint8_t>& blob, MachineInfo& info);

std::string MachineInfoText(const MachineInfo& info);
std::string MachineInfoJson(const MachineInfo& info);

} // namespace tvd::cli
