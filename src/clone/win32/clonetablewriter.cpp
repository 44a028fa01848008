#include "clone/clwindiskobject.h"

namespace tvd {

// Windows writes a disk's tables itself; a refusal (even ERROR_NOT_SUPPORTED) is an answer.
bool SystemWritesPartitionTables() {
    return true;
}

} // namespace tvd
