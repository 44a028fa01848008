#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fstream>
#include <sstream>

#include "clone/clonemountutil.h"

namespace tvd {

bool IsMountedWritable(const std::string& deviceNode) {
    struct stat st {};
    if (deviceNode.empty() || ::stat(deviceNode.c_str(), &st) != 0 || !S_ISBLK(st.st_mode))
        return false;
    std::ifstream f("/proc/self/mountinfo");
    std::ostringstream text;
    text << f.rdbuf();
    return MountInfoWritable(text.str(), major(st.st_rdev), minor(st.st_rdev));
}

} // namespace tvd
