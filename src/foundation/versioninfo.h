// The product's version, kept in one place: 5.2.8 as major * 10000 + minor * 100 + patch.
#pragma once

namespace tvd {

constexpr unsigned kProductVersionNumber = 50208;

} // namespace tvd
