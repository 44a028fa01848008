/* The product's one version number: major * 10000 + minor * 100 + patch. The build reads it from
   here for the version resource and the manifest, so it is defined nowhere else. */
#pragma once

#define TVD_VERSION_NUMBER 50208
#define TVD_VERSION_MAJOR (TVD_VERSION_NUMBER / 10000)
#define TVD_VERSION_MINOR ((TVD_VERSION_NUMBER % 10000) / 100)
#define TVD_VERSION_PATCH (TVD_VERSION_NUMBER % 100)
