#include "clone/clonemountutil.h"

namespace tvd {

// Windows reads live volumes through snapshots; mounting is no reason to refuse a source.
bool IsMountedWritable(const std::string&) {
    return false;
}

} // namespace tvd
