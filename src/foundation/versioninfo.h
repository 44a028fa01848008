/* The product's one version number: major * 10000 + minor * 100 + patch (5.2.8). The build reads
   the macro from here for the version resource and the manifest; C++ code uses the constant. */
#pragma once

#define TVD_VERSION_NUMBER 50208

#ifdef __cplusplus
namespace tvd {

constexpr unsigned kProductVersionNumber = TVD_VERSION_NUMBER;

} // namespace tvd
#endif
