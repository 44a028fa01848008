// The report's system facts on Linux: os-release, /proc, /sys/class/net, mountinfo, statvfs.
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <pwd.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "foundation/cpuidutil.h"
#include "foundation/envutil.h"
#include "foundation/langutil.h"
#include "foundation/smbiosutil.h"
#include "report/infosavesystemutil.h"
#include "report/infosavevolumeutil.h"
#include "report/linux/blkidprobe.h"
#include "report/osnameutil.h"
#include "storage/cldevice.h"
#include "storage/linux/linuxmountinfo.h"

namespace tvd {

namespace {

// At most `limit` bytes of a small system file.
std::string ReadSmallFile(const std::string& path, std::size_t limit = 1 << 20) {
    std::ifstream in(path, std::ios::binary);
    std::string text;
    char buffer[4096];
    while (in && text.size() < limit) {
        in.read(buffer, sizeof buffer);
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
    }
    if (text.size() > limit) text.resize(limit);
    return text;
}

std::string FirstLine(const std::string& path) {
    std::string t = ReadSmallFile(path, 4096);
    return t.substr(0, t.find('\n'));
}

std::string Ipv4Text(const sockaddr* a) {
    if (!a || a->sa_family != AF_INET) return "0.0.0.0";
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a)->sin_addr, text, sizeof text);
    return text;
}

} // namespace

ComputerFacts GatherComputerFacts() {
    ComputerFacts f;
    const EnvRecord& env = DetectOs();
    unsigned major = 0, minor = 0, patch = 0;
    std::sscanf(env.kernel.c_str(), "%u.%u.%u", &major, &minor, &patch);
    f.major = major;
    f.minor = minor;
    f.build = patch;
    const auto os = ParseOsRelease(ReadSmallFile("/etc/os-release", 64 * 1024).empty()
                                       ? ReadSmallFile("/usr/lib/os-release", 64 * 1024)
                                       : ReadSmallFile("/etc/os-release", 64 * 1024));
    auto field = [&](const char* key) {
        auto it = os.find(key);
        return it == os.end() ? std::string() : it->second;
    };
    f.osName = LinuxOsName(field("NAME"), field("VERSION_ID"), env.arch);
    if (!field("PRETTY_NAME").empty()) f.osCaption = field("PRETTY_NAME");
    f.admin = geteuid() == 0;
    f.cpuVendor = CpuVendor();
    f.cpuBrand = CpuBrand();
    // CPUID pads the brand with blanks, on both ends on some processors.
    f.cpuBrand.erase(0, f.cpuBrand.find_first_not_of(' '));
    f.cpuBrand.erase(f.cpuBrand.find_last_not_of(' ') + 1);
    if (f.cpuBrand.empty()) {
        // Processors without the brand leaves: the kernel's model name.
        std::istringstream info(ReadSmallFile("/proc/cpuinfo"));
        for (std::string line; std::getline(info, line);) {
            const auto colon = line.find(':');
            if (colon == std::string::npos) continue;
            const std::string key = line.substr(0, line.find_last_not_of(" \t", colon - 1) + 1);
            if (key == "model name" || key == "Model") {
                f.cpuBrand = line.substr(line.find_first_not_of(' ', colon + 1));
                break;
            }
        }
    }
    f.smbiosError = ReadSmbios(f.smbios);
    std::istringstream mem(ReadSmallFile("/proc/meminfo"));
    std::uint64_t total = 0, available = 0;
    bool haveTotal = false, haveAvailable = false;
    for (std::string key; mem >> key;) {
        std::uint64_t kib = 0;
        mem >> kib;
        if (key == "MemTotal:") total = kib, haveTotal = true;
        if (key == "MemAvailable:") available = kib, haveAvailable = true;
        mem.ignore(INT_MAX, '\n');
    }
    f.memoryError = haveTotal && haveAvailable ? err::kSuccess : err::kFileNotFound;
    f.totalMiB = total / 1024;
    f.availableMiB = available / 1024;
    f.uiLanguage = UserUiLanguageId();
    char link[4096] = {};
    const char* tz = std::getenv("TZ");
    if (tz && *tz) {
        f.timeZone = tz[0] == ':' ? tz + 1 : tz;
    } else if (const ssize_t n = readlink("/etc/localtime", link, sizeof link - 1); n > 0) {
        const std::string target(link, static_cast<std::size_t>(n));
        const auto at = target.find("zoneinfo/");
        if (at != std::string::npos) f.timeZone = target.substr(at + 9);
    }
    if (!f.timeZone) {
        const std::string zone = FirstLine("/etc/timezone");
        if (!zone.empty()) f.timeZone = zone;
    }
    return f;
}

UserFacts GatherUserFacts() {
    UserFacts f;
    utsname uts{};
    if (uname(&uts) == 0)
        f.dnsHostname.value = uts.nodename;
    else
        f.dnsHostname.error = ErrorFromErrno(errno);
    f.netBios.supported = false;
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name)
        f.userName.value = pw->pw_name;
    else
        f.userName.error = err::kFileNotFound;
    return f;
}

AppsFacts GatherAppsFacts() {
    return AppsFacts{}; // no uninstall registry; the package database is not the same thing
}

NetFacts GatherNetFacts() {
    NetFacts f;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        f.interfacesError = f.adaptersError = ErrorFromErrno(errno);
        return f;
    }
    // Default gateways per interface from the kernel's routing table.
    std::map<std::string, std::vector<std::string>> gateways;
    std::istringstream route(ReadSmallFile("/proc/net/route"));
    std::string line;
    std::getline(route, line);
    while (std::getline(route, line)) {
        std::istringstream fields(line);
        std::string name, dest, gateway;
        if (!(fields >> name >> dest >> gateway) || gateway == "00000000") continue;
        in_addr a{};
        a.s_addr = static_cast<std::uint32_t>(std::strtoul(gateway.c_str(), nullptr, 16));
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &a, text, sizeof text);
        gateways[name].push_back(text);
    }
    std::map<std::string, NetAdapter> adapters;
    std::vector<std::string> order;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_name || (i->ifa_flags & IFF_LOOPBACK)) continue;
        const std::string name = i->ifa_name;
        auto [it, added] = adapters.try_emplace(name);
        NetAdapter& a = it->second;
        if (added) {
            order.push_back(name);
            const std::string dir = "/sys/class/net/" + name;
            a.index = static_cast<std::uint32_t>(
                std::strtoul(FirstLine(dir + "/ifindex").c_str(), nullptr, 10));
            a.comboIndex = a.index;
            a.name = name;
            a.description = name;
            const std::string mac = FirstLine(dir + "/address");
            for (std::size_t p = 0; p + 1 < mac.size() && a.mac.size() < 8; p += 3)
                a.mac.push_back(
                    static_cast<std::uint8_t>(std::strtoul(mac.substr(p, 2).c_str(), nullptr, 16)));
            const unsigned long arp = std::strtoul(FirstLine(dir + "/type").c_str(), nullptr, 10);
            const bool wireless = access((dir + "/wireless").c_str(), F_OK) == 0 ||
                                  access((dir + "/phy80211").c_str(), F_OK) == 0;
            a.type = wireless     ? 71
                     : arp == 1   ? 6
                     : arp == 512 ? 23
                                  : static_cast<std::uint32_t>(arp);
            for (const std::string& g : gateways[name])
                a.gateways.push_back({g, "255.255.255.255", 0});
        }
        if (i->ifa_addr && i->ifa_addr->sa_family == AF_INET) {
            NetAddress addr{Ipv4Text(i->ifa_addr), Ipv4Text(i->ifa_netmask), 0};
            if (a.current.empty()) a.current.push_back(addr);
            a.addresses.push_back(addr);
        }
    }
    freeifaddrs(list);
    for (const std::string& name : order) {
        f.interfaces.emplace_back(adapters[name].index, name);
        f.adapters.push_back(std::move(adapters[name]));
    }
    return f;
}

namespace {

// The label and serial the file system gives itself; nothing when the device cannot be read
// (reading a block device needs root) or holds no file system libblkid knows. A FUSE mount of a
// block device (ntfs-3g) says only "fuseblk"; the device then names its own file system.
void ProbeLabel(const std::string& source, VolumeInfoFacts& v) {
    linuxreport::FsProbe probe;
    if (source.rfind("/dev/", 0) != 0 || linuxreport::ProbeFileSystem(source, probe)) return;
    v.label = probe.label;
    v.serial = linuxreport::VolumeSerialFromUuid(probe.type, probe.uuid);
    if (v.fileSystem == "fuseblk" && !probe.type.empty()) v.fileSystem = probe.type;
}

void MeasureSpace(const std::string& root, VolumeInfoFacts& v) {
    struct statvfs s {};
    if (statvfs(root.c_str(), &s) == 0) {
        v.totalBytes = static_cast<std::uint64_t>(s.f_blocks) * s.f_frsize;
        v.freeBytes = static_cast<std::uint64_t>(s.f_bavail) * s.f_frsize;
    } else {
        v.spaceError = ErrorFromErrno(errno);
    }
}

} // namespace

std::vector<std::string> ReportVolumeRoots(clVolume* volume) {
    return volume ? volume->MountPoints() : std::vector<std::string>{};
}

VolumeInfoFacts GatherVolumeInfo(const std::string& root) {
    VolumeInfoFacts v;
    v.name = root;
    v.driveType = 3;
    v.infoError = err::kFileNotFound;
    for (const linuxsys::MountEntry& m :
         linuxsys::ParseMountInfo(ReadSmallFile("/proc/self/mountinfo", 4 << 20))) {
        if (m.mountPoint != root) continue;
        v.fileSystem = m.fsType;
        v.infoError = err::kSuccess;
        ProbeLabel(m.source, v);
    }
    MeasureSpace(root, v);
    return v;
}

std::vector<VolumeInfoFacts> GatherDriveFacts() {
    std::vector<VolumeInfoFacts> drives;
    static const char* const kRemote[] = {"nfs", "nfs4", "cifs", "smb3", "9p", "fuse.sshfs"};
    for (const linuxsys::MountEntry& m :
         linuxsys::ParseMountInfo(ReadSmallFile("/proc/self/mountinfo", 4 << 20))) {
        bool remote = false;
        for (const char* r : kRemote)
            remote = remote || m.fsType == r;
        if (!remote && m.source.rfind("/dev/", 0) != 0) continue;
        VolumeInfoFacts v;
        v.name = m.mountPoint;
        v.driveType = remote ? 4 : 3;
        v.fileSystem = m.fsType;
        if (remote)
            v.connectionName = m.source;
        else
            ProbeLabel(m.source, v);
        MeasureSpace(m.mountPoint, v);
        drives.push_back(std::move(v));
    }
    return drives;
}

} // namespace tvd
