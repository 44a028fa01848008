#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fstream>
#include <string>

#include "clone/clonecheckutil.h"

namespace tvd {

namespace {

bool StatOf(const std::string& path, struct stat& st) {
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

// The file a loop device reads, from sysfs; empty for anything else.
std::string BackingFile(const struct stat& dev) {
    if (!S_ISBLK(dev.st_mode)) return {};
    std::ifstream f("/sys/dev/block/" + std::to_string(major(dev.st_rdev)) + ":" +
                    std::to_string(minor(dev.st_rdev)) + "/loop/backing_file");
    std::string line;
    std::getline(f, line);
    return line;
}

// `inner` is the file or device `outer` (a loop device) reads.
bool Backs(const struct stat& outer, const struct stat& inner) {
    struct stat file {};
    if (!StatOf(BackingFile(outer), file)) return false;
    if (S_ISBLK(inner.st_mode)) return S_ISBLK(file.st_mode) && file.st_rdev == inner.st_rdev;
    return file.st_dev == inner.st_dev && file.st_ino == inner.st_ino;
}

} // namespace

bool SameBackingDisk(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (!StatOf(a, sa) || !StatOf(b, sb)) return false;
    if (S_ISBLK(sa.st_mode) && S_ISBLK(sb.st_mode) && sa.st_rdev == sb.st_rdev) return true;
    if (Backs(sa, sb) || Backs(sb, sa)) return true;
    // Two loop devices over one file.
    struct stat fa {
    }, fb{};
    return StatOf(BackingFile(sa), fa) && StatOf(BackingFile(sb), fb) && fa.st_dev == fb.st_dev &&
           fa.st_ino == fb.st_ino;
}

} // namespace tvd
