#include "drive/linux/linuxvolumes.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundation/textconvutil.h"
#include "storage/cldevice.h"
#include "storage/linux/linuxsysfs.h"

namespace tvd::linuxsys {
namespace {

namespace fs = std::filesystem;

// sysfs gives partition starts in 512-byte units whatever the disk's sector size.
constexpr std::uint64_t kSysfsSector = 512;

bool ParseDev(const std::string& text, unsigned& major, unsigned& minor) {
    unsigned long long a = 0, b = 0;
    char tail = 0;
    std::istringstream in(text);
    if (!(in >> a) || in.get() != ':' || !(in >> b) || (in >> tail)) return false;
    if (a > 0xFFFu || b > 0xFFFFFu) return false;
    major = unsigned(a);
    minor = unsigned(b);
    return true;
}

// The entry of `dir` named `name`, exactly or else without regard to case; empty when none.
fs::path ChildNoCase(const fs::path& dir, const std::string& name) {
    std::error_code ec;
    if (fs::exists(dir / name, ec)) return dir / name;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (PathEqualsNoCase(it->path().filename().string(), name)) return it->path();
    return {};
}

} // namespace

LinuxVolumeLookup::LinuxVolumeLookup(const std::string& diskDir, std::vector<MountEntry> mounts,
                                     std::string udevDataDir, std::string devDir)
    : mounts_(std::move(mounts)), udevDataDir_(std::move(udevDataDir)), devDir_(std::move(devDir)) {
    for (const std::string& name : ListDir(diskDir)) {
        const std::string dir = diskDir + "/" + name;
        Volume v;
        if (!IsPartitionDir(dir) || !ReadAttrU64(dir, "start", v.start) ||
            v.start > UINT64_MAX / kSysfsSector ||
            !ParseDev(ReadAttr(dir, "dev"), v.major, v.minor))
            continue;
        v.start *= kSysfsSector;
        v.name = name;
        volumes_.push_back(std::move(v));
    }
    // A disk without partitions may carry a file system of its own.
    Volume whole;
    if (volumes_.empty() && ParseDev(ReadAttr(diskDir, "dev"), whole.major, whole.minor)) {
        whole.name = BaseName(diskDir);
        volumes_.push_back(std::move(whole));
    }
}

bool LinuxVolumeLookup::Find(std::uint64_t offset, VolumeMatch& out) const {
    for (const Volume& v : volumes_) {
        if (v.start != offset) continue;
        out = VolumeMatch{};
        const std::string node = devDir_ + "/" + v.name;
        out.volumePath = Utf8ToUtf16(node);
        const std::vector<std::string> points = MountPointsOf(mounts_, v.major, v.minor, node);
        if (!points.empty()) {
            std::string root = points.front();
            if (root.empty() || root.back() != '/') root.push_back('/');
            out.root = Utf8ToUtf16(root);
        }
        std::vector<std::uint8_t> bytes;
        const std::string dev = std::to_string(v.major) + ":" + std::to_string(v.minor);
        std::string record;
        if (ReadAttrBytes(udevDataDir_, "b" + dev, bytes, 65536))
            record.assign(bytes.begin(), bytes.end());
        out.label = Utf8ToUtf16(UdevProperty(record, "ID_FS_LABEL"));
        std::string type = UdevProperty(record, "ID_FS_TYPE");
        for (const MountEntry& m : mounts_)
            if (type.empty() && m.major == v.major && m.minor == v.minor) type = m.fsType;
        out.fileSystem = Utf8ToUtf16(type);
        return true;
    }
    return false;
}

bool LinuxVolumeLookup::FileExists(const std::u16string& root, std::u16string_view relative) const {
    if (root.empty()) return false;
    fs::path at = Utf16ToUtf8(root);
    const std::string rel = Utf16ToUtf8(relative);
    std::size_t pos = 0;
    while (pos <= rel.size()) {
        std::size_t end = rel.find('\\', pos);
        if (end == std::string::npos) end = rel.size();
        const std::string part = rel.substr(pos, end - pos);
        pos = end + 1;
        if (part == "..") return false; // never outside the volume
        if (part.empty() || part == ".") continue;
        at = ChildNoCase(at, part);
        if (at.empty()) return false;
    }
    std::error_code ec;
    return fs::is_regular_file(at, ec);
}

} // namespace tvd::linuxsys

namespace tvd {

std::unique_ptr<VolumeLookup> NewPlatformVolumeLookup(const std::string& diskPath) {
    struct stat st {};
    if (diskPath.empty() || ::stat(diskPath.c_str(), &st) != 0 || !S_ISBLK(st.st_mode))
        return std::make_unique<NoVolumeLookup>();
    const std::string dir =
        linuxsys::Canonical("/sys/dev/block/" + std::to_string(major(st.st_rdev)) + ":" +
                            std::to_string(minor(st.st_rdev)));
    if (dir.empty()) return std::make_unique<NoVolumeLookup>();
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream text;
    text << in.rdbuf();
    return std::make_unique<linuxsys::LinuxVolumeLookup>(linuxsys::DiskDirOf(dir),
                                                         linuxsys::ParseMountInfo(text.str()));
}

} // namespace tvd
