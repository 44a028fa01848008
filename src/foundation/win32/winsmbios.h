// The two sources of the SMBIOS table on Windows, apart so that each can be exercised alone.
#pragma once
#include <cstdint>
#include <vector>

#include "foundation/errorcodes.h"
#include "foundation/regutil.h"

namespace tvd::win {

// GetSystemFirmwareTable('RSMB'), Vista and later.
ErrorCode ReadSmbiosFromFirmware(std::vector<std::uint8_t>& blob);
// The binary value the SMBIOS driver leaves in the registry before Vista.
ErrorCode ReadSmbiosFromRegistry(RegistryBackend& registry, std::vector<std::uint8_t>& blob);

} // namespace tvd::win
