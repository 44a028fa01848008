#include "uninstall/removalplaces.h"

namespace tvd::uninstall {

// No installer puts the product on a Linux machine, so there is nothing to remove there.
ErrorCode FindRemovalPlaces(RemovalPlaces& places) {
    places = {};
    return err::kNotSupported;
}

std::unique_ptr<RemovalPlatform> MakeRemovalPlatform(const RemovalPlaces&, std::function<void(int)>,
                                                     bool*) {
    return nullptr;
}

} // namespace tvd::uninstall
