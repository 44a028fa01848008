#include "clone/clwindiskobject.h"

namespace tvd {

// Linux has no request that builds a table: the clone writes the sectors itself.
bool SystemWritesPartitionTables() {
    return false;
}

} // namespace tvd
