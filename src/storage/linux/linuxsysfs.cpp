#include "storage/linux/linuxsysfs.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <regex>

#include "foundation/bytesutil.h"

namespace tvd::linuxsys {

namespace fs = std::filesystem;

namespace {

// sysfs trees are shallow; the bound only guards against a tree that loops.
constexpr int kMaxDepth = 64;

std::string Join(const std::string& dir, std::string_view name) {
    std::string p = dir;
    if (p.empty() || p.back() != '/') p += '/';
    p += name;
    return p;
}

std::string Trim(std::string_view s) {
    auto sp = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == 0; };
    while (!s.empty() && sp(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && sp(s.back()))
        s.remove_suffix(1);
    return std::string(s);
}

std::string Printable(std::string_view s) {
    std::string out;
    for (char c : s)
        if (c >= 0x20 && c <= 0x7E) out.push_back(c);
    return Trim(out);
}

// Compiling a pattern costs far more than matching it, and the same few are asked for every
// device of every walk.
bool Matches(const std::string& name, const char* pattern) {
    thread_local std::map<std::string, std::regex, std::less<>> compiled;
    auto it = compiled.find(std::string_view(pattern));
    if (it == compiled.end()) it = compiled.emplace(pattern, std::regex(pattern)).first;
    return std::regex_match(name, it->second);
}

// What the walks of one query have read already: every query climbs the same ancestry several
// times (bus type, identity, SCSI address, hot-plug), each step a link read and a uevent read.
// Kept only while a SysfsQuery lives, so nothing read here outlives the query that read it.
struct WalkMemo {
    int depth = 0;
    std::map<std::string, std::string, std::less<>> subsystems; // by device directory
    std::map<std::string, std::string, std::less<>> uevents;
};
thread_local WalkMemo t_walk;

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

// The device directories from `dir` upward.
std::vector<std::string> Ancestry(const std::string& dir) {
    std::vector<std::string> out;
    std::string d = dir;
    for (int i = 0; i < kMaxDepth && d.size() > 1; ++i) {
        out.push_back(d);
        d = ParentDir(d);
    }
    return out;
}

// ATA IDENTIFY strings are stored as big-endian words.
std::string AtaString(ByteView identify, std::size_t offset, std::size_t bytes) {
    std::string s;
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        const auto w = Le<std::uint16_t>(identify, offset + i);
        s.push_back(static_cast<char>(w >> 8));
        s.push_back(static_cast<char>(w & 0xFF));
    }
    return Printable(s);
}

// The unit serial number VPD page: 4-byte header, then the serial.
std::string VpdSerial(const std::string& scsiDir) {
    std::vector<std::uint8_t> page;
    if (!ReadAttrBytes(scsiDir, "vpd_pg80", page) || page.size() < 4 || page[1] != 0x80) return {};
    const std::size_t len = std::min<std::size_t>(Be<std::uint16_t>(page, 2), page.size() - 4);
    return Printable(std::string_view(reinterpret_cast<const char*>(page.data() + 4), len));
}

// The ATA Information VPD page carries the drive's IDENTIFY DEVICE data from byte 60 on; its
// model is not cut to the 16 characters of the INQUIRY product field.
bool AtaIdentity(const std::string& scsiDir, DiskIdentity& id) {
    std::vector<std::uint8_t> page;
    if (!ReadAttrBytes(scsiDir, "vpd_pg89", page) || page.size() < 60 + 512 || page[1] != 0x89)
        return false;
    const ByteView identify = ByteView(page).subspan(60, 512);
    const std::string model = AtaString(identify, 54, 40);
    if (model.empty()) return false;
    id.product = model;
    id.serial = AtaString(identify, 20, 20);
    id.revision = AtaString(identify, 46, 8);
    return true;
}

// libata presents SATA and PATA alike; a SATA link reports its negotiated speed.
std::uint32_t AtaBusType(const std::string& ataDir) {
    for (const std::string& name : ListDir(ataDir)) {
        if (!StartsWith(name, "link")) continue;
        const std::string speed =
            ReadAttr(Join(Join(Join(ataDir, name), "ata_link"), name), "sata_spd");
        if (speed.empty()) continue;
        return std::isdigit(static_cast<unsigned char>(speed[0])) ? bustype::kSata : bustype::kAta;
    }
    return bustype::kSata;
}

} // namespace

std::vector<std::string> ListDir(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(dir, ec), end;
    for (int n = 0; !ec && it != end && n < 4096; it.increment(ec), ++n)
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadAttr(const std::string& dir, std::string_view name) {
    std::vector<std::uint8_t> b;
    if (!ReadAttrBytes(dir, name, b)) return {};
    return Trim(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
}

bool ReadAttrBytes(const std::string& dir, std::string_view name, std::vector<std::uint8_t>& out,
                   std::size_t limit) {
    out.clear();
    if (dir.empty() || name.empty()) return false;
    const int fd = ::open(Join(dir, name).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::uint8_t buf[4096];
    bool ok = true;
    while (out.size() < limit) {
        const ssize_t n = ::read(fd, buf, std::min(sizeof buf, limit - out.size()));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        out.insert(out.end(), buf, buf + n);
    }
    ::close(fd);
    return ok;
}

bool ReadAttrU64(const std::string& dir, std::string_view name, std::uint64_t& value) {
    const std::string s = ReadAttr(dir, name);
    if (s.empty() || s.size() > 20) return false;
    std::uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        const std::uint64_t d = std::uint64_t(c - '0');
        if (v > (~std::uint64_t(0) - d) / 10) return false;
        v = v * 10 + d;
    }
    value = v;
    return true;
}

SysfsQuery::SysfsQuery() {
    ++t_walk.depth;
}

SysfsQuery::~SysfsQuery() {
    if (--t_walk.depth == 0) {
        t_walk.subsystems.clear();
        t_walk.uevents.clear();
    }
}

namespace {
std::string ReadSubsystem(const std::string& dir) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(Join(dir, "subsystem"), ec);
    return ec ? std::string() : target.filename().string();
}

std::string ReadUevent(const std::string& dir) {
    std::vector<std::uint8_t> b;
    return ReadAttrBytes(dir, "uevent", b) ? std::string(b.begin(), b.end()) : std::string();
}

// `read` of `dir`, through the memo while a query lives.
template <class Read>
std::string Remembered(std::map<std::string, std::string, std::less<>>& memo,
                       const std::string& dir, Read read) {
    if (t_walk.depth == 0) return read(dir);
    if (auto it = memo.find(dir); it != memo.end()) return it->second;
    return memo.emplace(dir, read(dir)).first->second;
}
} // namespace

std::string SubsystemOf(const std::string& dir) {
    return Remembered(t_walk.subsystems, dir, ReadSubsystem);
}

std::string DriverOf(const std::string& dir) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(Join(dir, "driver"), ec);
    return ec ? std::string() : target.filename().string();
}

std::string BaseName(std::string_view path) {
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    const auto pos = path.rfind('/');
    return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string ParentDir(std::string_view path) {
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    const auto pos = path.rfind('/');
    if (pos == std::string_view::npos) return {};
    return pos == 0 ? std::string("/") : std::string(path.substr(0, pos));
}

std::string Canonical(const std::string& path) {
    if (path.empty()) return {};
    std::error_code ec;
    const fs::path p = fs::canonical(path, ec);
    return ec ? std::string() : p.string();
}

bool IsPartitionDir(const std::string& blockDir) {
    std::uint64_t n = 0;
    return ReadAttrU64(blockDir, "partition", n) && n != 0;
}

std::string DiskDirOf(const std::string& blockDir) {
    return IsPartitionDir(blockDir) ? ParentDir(blockDir) : blockDir;
}

DiskKind ClassifyDisk(const std::string& blockDir) {
    const std::string name = BaseName(blockDir);
    if (name.empty() || IsPartitionDir(blockDir)) return DiskKind::kNone;
    if (Matches(name, "loop[0-9]+"))
        return ReadAttr(Join(blockDir, "loop"), "backing_file").empty() ? DiskKind::kNone
                                                                        : DiskKind::kLoop;
    for (const char* prefix : {"ram", "zram", "dm-", "md", "sr", "nbd", "fd", "mtdblock"})
        if (StartsWith(name, prefix)) return DiskKind::kNone;
    // Hidden gendisks are the per-controller paths of a multipath NVMe namespace.
    if (ReadAttr(blockDir, "hidden") == "1" || Matches(name, "nvme[0-9]+c[0-9]+n[0-9]+"))
        return DiskKind::kNone;
    if (Matches(name, "mmcblk[0-9]+(boot[0-9]+|rpmb)")) return DiskKind::kNone;
    // Only a disk with hardware below it is a drive; virtual block devices have no device link.
    std::error_code ec;
    if (!fs::exists(Join(blockDir, "device"), ec)) return DiskKind::kNone;
    const std::string scsiType = ReadAttr(blockDir, "device/type");
    if (!scsiType.empty() && scsiType != "0" && scsiType != "7" && scsiType != "14")
        return DiskKind::kNone;
    return DiskKind::kPhysical;
}

bool IsMappedVolume(const std::string& blockDir) {
    const std::string name = BaseName(blockDir);
    if (!StartsWith(name, "dm-") && !Matches(name, "md[0-9]+(_d[0-9]+)?")) return false;
    std::uint64_t size = 0;
    if (!ReadAttrU64(blockDir, "size", size) || size == 0) return false;
    return !ListDir(Join(blockDir, "slaves")).empty();
}

std::string HardwareDir(const std::string& blockDir) {
    const std::string parent = ParentDir(blockDir);
    if (ParentDir(parent).find("/nvme-subsystem") == std::string::npos) return blockDir;
    for (const std::string& name : ListDir(parent)) {
        std::error_code ec;
        const std::string link = Join(parent, name);
        if (!Matches(name, "nvme[0-9]+") || !fs::is_symlink(link, ec)) continue;
        if (std::string real = Canonical(link); !real.empty()) return real;
    }
    return blockDir;
}

std::string AncestorOfSubsystem(const std::string& dir, std::string_view subsystem,
                                std::string_view devtype) {
    for (const std::string& d : Ancestry(dir))
        if (SubsystemOf(d) == subsystem &&
            (devtype.empty() || UeventValue(d, "DEVTYPE") == devtype))
            return d;
    return {};
}

std::uint32_t BusTypeOfDisk(const std::string& blockDir) {
    const SysfsQuery query;
    const std::string name = BaseName(blockDir);
    if (Matches(name, "loop[0-9]+")) return bustype::kFileBackedVirtual;
    bool usb = false, firewire = false, nvme = false, scsi = false, virt = false;
    std::string mmcCard, ataDir;
    bool sas = false, fibre = false, iscsi = false;
    for (const std::string& d : Ancestry(HardwareDir(blockDir))) {
        const std::string sub = SubsystemOf(d);
        const std::string base = BaseName(d);
        if (sub == "usb")
            usb = true;
        else if (sub == "firewire" || sub == "ieee1394")
            firewire = true;
        else if (sub == "nvme" || sub == "nvme-subsystem")
            nvme = true;
        else if (sub == "mmc" && mmcCard.empty())
            mmcCard = d;
        else if (sub == "scsi")
            scsi = true;
        else if (sub == "virtio" || sub == "xen")
            virt = true;
        if (Matches(base, "ata[0-9]+") && ataDir.empty()) ataDir = d;
        if (StartsWith(base, "end_device-") || StartsWith(base, "expander-")) sas = true;
        if (StartsWith(base, "rport-")) fibre = true;
        if (Matches(base, "session[0-9]+")) iscsi = true;
    }
    if (usb) return bustype::kUsb;
    if (firewire) return bustype::k1394;
    if (nvme) return bustype::kNvme;
    if (!mmcCard.empty()) return ReadAttr(mmcCard, "type") == "MMC" ? bustype::kMmc : bustype::kSd;
    if (scsi) {
        if (!ataDir.empty()) return AtaBusType(ataDir);
        if (sas) return bustype::kSas;
        if (fibre) return bustype::kFibre;
        if (iscsi) return bustype::kIscsi;
        return bustype::kScsi;
    }
    if (virt) return bustype::kVirtual;
    return bustype::kUnknown;
}

DiskIdentity IdentifyDisk(const std::string& blockDir) {
    const SysfsQuery query;
    DiskIdentity id;
    id.busType = BusTypeOfDisk(blockDir);
    id.removable = ReadAttr(blockDir, "removable") == "1";
    const std::string hw = HardwareDir(blockDir);
    if (id.busType == bustype::kFileBackedVirtual) return id;
    if (const std::string ctrl = AncestorOfSubsystem(hw, "nvme"); !ctrl.empty()) {
        id.product = Printable(ReadAttr(ctrl, "model"));
        id.serial = Printable(ReadAttr(ctrl, "serial"));
        id.revision = Printable(ReadAttr(ctrl, "firmware_rev"));
        id.commandQueueing = true;
        return id;
    }
    if (const std::string card = AncestorOfSubsystem(hw, "mmc"); !card.empty()) {
        id.product = Printable(ReadAttr(card, "name"));
        id.serial = Printable(ReadAttr(card, "serial"));
        id.revision = Printable(ReadAttr(card, "fwrev"));
        return id;
    }
    if (const std::string sdev = AncestorOfSubsystem(hw, "scsi", "scsi_device"); !sdev.empty()) {
        id.vendor = Printable(ReadAttr(sdev, "vendor"));
        id.product = Printable(ReadAttr(sdev, "model"));
        id.revision = Printable(ReadAttr(sdev, "rev"));
        id.serial = VpdSerial(sdev);
        std::uint64_t type = 0, depth = 0;
        if (ReadAttrU64(sdev, "type", type) && type <= 0x1F) id.scsiType = std::uint8_t(type);
        id.commandQueueing = ReadAttrU64(sdev, "queue_depth", depth) && depth > 1;
        if (id.busType == bustype::kSata || id.busType == bustype::kAta) {
            // "ATA" is libata's stand-in for the vendor field, not a vendor.
            if (id.vendor == "ATA") id.vendor.clear();
            AtaIdentity(sdev, id);
        }
        if (id.busType == bustype::kUsb) {
            const std::string usbDev = AncestorOfSubsystem(hw, "usb", "usb_device");
            if (std::string s = Printable(ReadAttr(usbDev, "serial")); !s.empty()) id.serial = s;
        }
        return id;
    }
    // virtio and Xen block devices keep their serial on the disk itself.
    id.serial = Printable(ReadAttr(blockDir, "serial"));
    return id;
}

namespace {

// udev writes property values with \xHH escapes in its _ENC variants.
std::string DecodeUdevEscapes(std::string_view v) {
    auto hex = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    };
    std::string out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '\\' && i + 3 < v.size() && v[i + 1] == 'x' && hex(v[i + 2]) >= 0 &&
            hex(v[i + 3]) >= 0) {
            out.push_back(static_cast<char>(hex(v[i + 2]) * 16 + hex(v[i + 3])));
            i += 3;
        } else {
            out.push_back(v[i]);
        }
    }
    return out;
}

} // namespace

std::string UdevProperty(std::string_view record, std::string_view key) {
    std::size_t pos = 0;
    while (pos < record.size()) {
        std::size_t end = record.find('\n', pos);
        if (end == std::string_view::npos) end = record.size();
        const std::string_view line = record.substr(pos, end - pos);
        pos = end + 1;
        if (line.size() > key.size() + 2 && line.substr(0, 2) == "E:" &&
            line.substr(2, key.size()) == key && line[2 + key.size()] == '=')
            return std::string(line.substr(3 + key.size()));
    }
    return {};
}

void MergeUdevRecord(std::string_view record, DiskIdentity& id) {
    if (id.serial.empty()) id.serial = Printable(UdevProperty(record, "ID_SERIAL_SHORT"));
    const std::string model = Printable(DecodeUdevEscapes(UdevProperty(record, "ID_MODEL_ENC")));
    if (model.size() > id.product.size() && StartsWith(model, id.product)) id.product = model;
}

std::string UdevRecordOf(const std::string& blockDir) {
    return UdevRecordOfDevice(blockDir, "block");
}

ErrorCode ScsiAddressOf(const std::string& blockDir, ScsiAddress& out) {
    const SysfsQuery query;
    const std::string sdev = AncestorOfSubsystem(HardwareDir(blockDir), "scsi", "scsi_device");
    const std::string name = BaseName(sdev);
    std::smatch m;
    static const std::regex kAddress("([0-9]+):([0-9]+):([0-9]+):([0-9]+)");
    if (sdev.empty() || !std::regex_match(name, m, kAddress)) return err::kNotSupported;
    std::uint8_t v[4] = {};
    for (int i = 0; i < 4; ++i) {
        const std::string part = m[i + 1].str();
        if (part.size() > 3 || std::stoul(part) > 255) return err::kInvalidData;
        v[i] = static_cast<std::uint8_t>(std::stoul(part));
    }
    out = ScsiAddress{v[0], v[1], v[2], v[3]};
    return err::kSuccess;
}

void HotplugInfoOf(const std::string& blockDir, std::uint8_t (&info)[8]) {
    const SysfsQuery query;
    const std::string disk = DiskDirOf(blockDir);
    const bool mediaRemovable = ReadAttr(disk, "removable") == "1";
    const std::uint32_t bus = BusTypeOfDisk(disk);
    bool deviceHotplug = bus == bustype::kUsb || bus == bustype::k1394;
    // Devices behind hot-plug capable ports (USB, Thunderbolt, ExpressCard) say so themselves.
    for (const std::string& d : Ancestry(ParentDir(HardwareDir(disk))))
        if (!SubsystemOf(d).empty() && ReadAttr(d, "removable") == "removable")
            deviceHotplug = true;
    StoreLe<std::uint32_t>(MutableByteView(info), 0, 8);
    info[4] = mediaRemovable;
    info[5] = mediaRemovable;
    info[6] = deviceHotplug;
    info[7] = 0;
}

std::uint8_t PcieGeneration(std::string_view speed) {
    // Tenths of GT/s, so that "2.5" compares exactly.
    std::uint32_t tenths = 0;
    std::size_t i = 0;
    bool digits = false;
    while (i < speed.size() && speed[i] >= '0' && speed[i] <= '9' && tenths < 100000) {
        tenths = tenths * 10 + std::uint32_t(speed[i++] - '0');
        digits = true;
    }
    tenths *= 10;
    if (i < speed.size() && speed[i] == '.' && i + 1 < speed.size() && speed[i + 1] >= '0' &&
        speed[i + 1] <= '9')
        tenths += std::uint32_t(speed[i + 1] - '0');
    if (!digits) return 0;
    static constexpr std::uint32_t kGenerations[] = {25, 50, 80, 160, 320, 640};
    for (std::size_t g = 0; g < std::size(kGenerations); ++g)
        if (tenths == kGenerations[g]) return static_cast<std::uint8_t>(g + 1);
    return 0;
}

ErrorCode ReadPciLink(const std::string& pciDir, PciLinkInfo& out) {
    const std::string maxSpeed = ReadAttr(pciDir, "max_link_speed");
    const std::string maxWidth = ReadAttr(pciDir, "max_link_width");
    const std::string curSpeed = ReadAttr(pciDir, "current_link_speed");
    const std::string curWidth = ReadAttr(pciDir, "current_link_width");
    if (pciDir.empty() || maxSpeed.empty() || maxWidth.empty() || curSpeed.empty() ||
        curWidth.empty())
        return kNotFound;
    auto width = [](std::string w, std::uint8_t& v) {
        if (!w.empty() && (w[0] == 'x' || w[0] == 'X')) w.erase(0, 1);
        if (w.empty() || w.size() > 2 ||
            !std::all_of(w.begin(), w.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        v = static_cast<std::uint8_t>(std::stoul(w));
        return true;
    };
    PciLinkInfo link;
    link.maxSpeed = PcieGeneration(maxSpeed);
    link.currentSpeed = PcieGeneration(curSpeed);
    if (link.maxSpeed == 0 || link.currentSpeed == 0 || !width(maxWidth, link.maxWidth) ||
        !width(curWidth, link.currentWidth))
        return err::kInvalidData;
    out = link;
    return err::kSuccess;
}

std::string UeventValue(const std::string& dir, std::string_view key) {
    const std::string text = Remembered(t_walk.uevents, dir, ReadUevent);
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string_view line(text.data() + pos, end - pos);
        if (line.size() > key.size() && StartsWith(line, key) && line[key.size()] == '=')
            return std::string(line.substr(key.size() + 1));
        pos = end + 1;
    }
    return {};
}

std::string ResolveLink(const std::string& dir, const std::string& name) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(Join(dir, name), ec);
    if (ec || target.empty()) return {};
    // Lexical: ".." takes the last component off, which is what the kernel does for these links
    // since every directory on the way is a real one.
    std::string out = target.is_absolute() ? std::string() : dir;
    const std::string text = target.string();
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find('/', pos);
        if (end == std::string::npos) end = text.size();
        const std::string part = text.substr(pos, end - pos);
        if (part == "..") {
            out = ParentDir(out);
            if (out == "/") out.clear();
        } else if (!part.empty() && part != ".") {
            out += "/" + part;
        }
        pos = end + 1;
    }
    return out.empty() ? std::string("/") : out;
}

std::vector<std::string> ListedDevices(const std::string& listDir) {
    std::vector<std::string> out;
    for (const std::string& name : ListDir(listDir)) {
        std::string dir = ResolveLink(listDir, name);
        if (!dir.empty()) out.push_back(std::move(dir));
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string ParentDevice(const std::string& dir) {
    for (std::string d = ParentDir(dir); d.size() > 1; d = ParentDir(d))
        if (::access(Join(d, "uevent").c_str(), F_OK) == 0) return d;
    return {};
}

namespace {
// The device's file name in udev's database; empty when it cannot have one.
std::string UdevDbName(const std::string& dir, const std::string& subsystem) {
    std::string id;
    const std::string dev = ReadAttr(dir, "dev");
    if (!dev.empty())
        id = (subsystem == "block" ? "b" : "c") + dev;
    else if (!subsystem.empty())
        id = "+" + subsystem + ":" + BaseName(dir);
    return id.find('/') == std::string::npos ? id : std::string();
}
constexpr const char* kUdevDb = "/run/udev/data";
} // namespace

std::string UdevRecordOfDevice(const std::string& dir, const std::string& subsystem) {
    const std::string id = UdevDbName(dir, subsystem);
    std::vector<std::uint8_t> b;
    if (id.empty() || !ReadAttrBytes(kUdevDb, id, b, 65536)) return {};
    return std::string(b.begin(), b.end());
}

bool HasUdevRecord(const std::string& dir, const std::string& subsystem) {
    const std::string id = UdevDbName(dir, subsystem);
    return !id.empty() && ::access(Join(kUdevDb, id).c_str(), F_OK) == 0;
}

} // namespace tvd::linuxsys
