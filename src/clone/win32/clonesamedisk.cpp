#include "clone/clonecheckutil.h"

namespace tvd {

// Windows names one disk by one device number, which the portable check compares.
bool SameBackingDisk(const std::string&, const std::string&) {
    return false;
}

} // namespace tvd
