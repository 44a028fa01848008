// The folders of the removal on this machine, and the platform's removal operations.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include "uninstall/appuninstallutil.h"

namespace tvd::uninstall {

// Looks the folders up once; the install folder from the uninstall entry (or the default under
// Program Files). Windows only: kNotSupported elsewhere.
ErrorCode FindRemovalPlaces(RemovalPlaces& places);

// The platform's operations for `places`. `progress` shows a value (null: none shown);
// `cancelled` is the wizard's flag (null: never cancelled). Null on platforms without them.
std::unique_ptr<RemovalPlatform> MakeRemovalPlatform(const RemovalPlaces& places,
                                                     std::function<void(int)> progress,
                                                     bool* cancelled);

} // namespace tvd::uninstall
