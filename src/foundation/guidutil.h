// GUIDs and the millisecond tick.
#pragma once
#include <cstdint>
#include <string>

#include "foundation/errorcodes.h"

namespace tvd {

struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0, data3 = 0;
    std::uint8_t data4[8] = {};
    bool operator==(const Guid&) const = default;
};

// A new random GUID (Windows CoCreateGuid; Linux a version-4 GUID from the kernel's random
// source). Never a fixed or predictable value.
ErrorCode NewGuid(Guid& guid);
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
std::string GuidText(const Guid& guid);
// Milliseconds since start-up, wrapping at 32 bits like GetTickCount.
std::uint32_t TickCount();

} // namespace tvd
