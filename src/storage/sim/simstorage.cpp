#include "storage/sim/simstorage.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <system_error>

#include "foundation/crc32util.h"
#include "foundation/errtextutil.h"
#include "foundation/fileutil.h"
#include "foundation/textconvutil.h"
#include "storage/partitiontableutil.h"
#include "storage/sim/simatadevice.h"
#include "storage/sim/simimagefile.h"
#include "storage/sim/simlayout.h"
#include "storage/sim/simnvmedevice.h"
#include "storage/sim/simscsidevice.h"
#include "storage/sim/simusbhub.h"

namespace tvd {

namespace fs = std::filesystem;

namespace {

// Interface paths. Disks and volumes carry the drive's name; USB nodes live under a prefix of
// their own so that no drive name can collide with them.
constexpr std::string_view kDiskPrefix = "SIM\\";
constexpr std::string_view kUsbHostPath = "SIMUSB\\HC0";
constexpr std::string_view kUsbHubPath = "SIMUSB\\ROOT_HUB";
constexpr std::string_view kUsbDevicePrefix = "SIMUSB\\DEV\\";

// Setup classes of the driver keys, as Windows names them.
constexpr const char* kDiskClass = "{4d36e967-e325-11ce-bfc1-08002be10318}";
constexpr const char* kVolumeClass = "{71a27cdd-812a-11d0-bec7-08002be2092f}";
constexpr const char* kUsbClass = "{36fc9e60-c465-11cf-8056-444553540000}";
constexpr const char* kScsiAdapterClass = "{4d36e97b-e325-11ce-bfc1-08002be10318}";

constexpr std::uintmax_t kMaxDriveFileBytes = 16u << 20;

// The GPT areas a layout deletion clears at both ends of the drive (512-byte sectors).
constexpr std::uint64_t kLayoutSectors = 34;
constexpr std::uint64_t kGptArrayBytes = 16384;

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = AsciiUpper(c);
    return out;
}

fs::path PathOf(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const fs::path& p) {
    const std::u8string u = p.u8string();
    return std::string(u.begin(), u.end());
}

struct Stamp {
    fs::file_time_type time{};
    std::uintmax_t size = 0;
    bool operator==(const Stamp&) const = default;
};

bool StampOf(const fs::path& p, Stamp& out) {
    std::error_code ec;
    const auto time = fs::last_write_time(p, ec);
    if (ec) return false;
    const auto size = fs::file_size(p, ec);
    if (ec) return false;
    out = {time, size};
    return true;
}

ErrorCode ErrorFromStdError(const std::error_code& ec) {
    if (ec.category() == std::generic_category()) return ErrorFromErrno(ec.value());
#ifdef _WIN32
    if (ec.category() == std::system_category()) return static_cast<ErrorCode>(ec.value());
#else
    if (ec.category() == std::system_category()) return ErrorFromErrno(ec.value());
#endif
    return err::kGenFailure;
}

std::string Join(const std::string& a, const std::string& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return a + " " + b;
}

std::string DriverKey(const char* cls, std::uint32_t devInst) {
    std::string n = std::to_string(devInst);
    if (n.size() < 4) n.insert(0, 4 - n.size(), '0');
    return std::string(cls) + "\\" + n;
}

std::string_view StripPrefix(std::string_view path) {
    if (path.size() >= 4 && path[0] == '\\' && path[1] == '\\' &&
        (path[2] == '?' || path[2] == '.') && path[3] == '\\')
        path.remove_prefix(4);
    return path;
}

bool HasScsiAddress(std::uint32_t bus) {
    switch (bus) {
    case bustype::kScsi:
    case bustype::kSas:
    case bustype::kSata:
    case bustype::kAta:
    case bustype::kUsb:
        return true;
    default:
        return false;
    }
}

bool IsVolumePartition(const PartitionEntry& p, std::uint64_t capacity) {
    return p.number != 0 && p.length != 0 && p.startingOffset != 0 &&
           p.startingOffset <= capacity && p.length <= capacity - p.startingOffset;
}

} // namespace

// One plugged drive. A re-plug makes a new object, so handles of the old one stay dead.
struct SimDrive {
    std::shared_ptr<const SimDriveSpec> spec;
    std::string folder, image; // the image is `image` inside `folder`
    std::string imagePath;     // both joined, for time stamps
    // A read-only back end makes no image: a missing one reads as zeros, apart from the table
    // its Layout= key would have written, kept here.
    std::vector<std::uint8_t> head;
    std::int64_t number = 0;
    std::uint32_t devInst = 0, usbDevInst = 0, controllerDevInst = 0;
    std::uint64_t generation = 0;
    std::atomic<bool> present{true};
    std::atomic<bool> layoutDirty{true};

    // Command-set personalities, made when the drive arrives so that a re-plug starts afresh.
    std::unique_ptr<SimAta> ata;   // SATA/ATA drives, and USB disks behind a SATA bridge
    std::unique_ptr<SimNvme> nvme; // NVMe drives
    std::unique_ptr<SimScsi> scsi; // every drive
    std::mutex commandLock;        // one command at a time through the personalities

    std::mutex lock; // guards the members below
    std::vector<SimRange> trims;
    DriveLayout layout; // as last read for the volume list
    Stamp imageStamp;

    std::uint32_t SectorSize() const { return spec->sectorSize; }
    std::uint64_t Capacity() const { return spec->capacity; }
};

namespace {

enum class NodeKind { kUsbHost, kUsbHub, kUsbDevice, kController, kDisk, kVolume };

struct Node {
    NodeKind kind = NodeKind::kDisk;
    std::uint32_t devInst = 0, parent = 0;
    std::string path;     // interface path; empty for a node without an interface
    std::string identity; // changes whenever the device must leave and arrive again
    std::shared_ptr<SimDrive> drive;
    PartitionEntry partition; // volumes
    std::string friendlyName, deviceDesc, driver;
};

struct DriveFile {
    std::string name; // as the folder spells it
    Stamp stamp;
    std::shared_ptr<const SimDriveSpec> spec; // null when refused
    ErrorCode error = err::kSuccess;          // refusal, or why the drive cannot be plugged
    std::string message;
    std::size_t line = 0; // of the refused key; 0 when the refusal has no line
};

// An open disk, volume or USB node.
struct SimHandle final : DeviceHandle::Impl {
    const SimStorage::Impl* owner = nullptr;
    std::shared_ptr<SimDrive> drive; // null for USB nodes
    std::uint32_t node = 0;          // the USB node of a USB node handle
    std::uint32_t partitionNumber = 0;
    PartitionEntry partition;
    std::uint64_t base = 0, length = 0; // the bytes this handle addresses
    SimImageFile file;
};

} // namespace

struct SimStorage::Impl {
    std::string folder;
    bool prepareImages = true;
    mutable std::mutex lock;
    std::map<std::string, DriveFile> files;             // by upper-cased name
    std::vector<SimProblem> duplicates;                 // and other entries that are no drive files
    std::map<std::uint32_t, std::size_t> nodeByDevInst; // index into `nodes`
    std::map<std::string, std::size_t> nodeByPath;      // upper-cased interface path
    std::set<std::string> unplugged;
    std::map<std::string, std::shared_ptr<SimDrive>> drives; // present, by upper-cased name
    std::vector<Node> nodes;
    std::map<std::string, std::uint32_t> devInsts;
    std::uint32_t nextDevInst = 1;
    std::map<std::string, std::int64_t> numbers;
    std::int64_t nextNumber = 0;
    std::map<std::uint32_t, std::uint32_t> usbPorts; // USB device node -> root hub port
    std::uint32_t nextUsbPort = 1;
    std::uint64_t nextGeneration = 1;
    std::vector<DeviceEvent> pending;
    std::set<std::uintptr_t> tokens;
    std::uintptr_t nextToken = 1;

    std::uint32_t DevInstOf(const std::string& key) {
        auto [it, added] = devInsts.emplace(key, nextDevInst);
        if (added) ++nextDevInst;
        return it->second;
    }

    std::int64_t NumberOf(const std::string& upperName) {
        auto [it, added] = numbers.emplace(upperName, nextNumber);
        if (added) ++nextNumber;
        return it->second;
    }

    // A USB device keeps its port for the life of the back end, as a re-plugged device does.
    std::uint32_t UsbPortOf(std::uint32_t devInst) {
        auto [it, added] = usbPorts.emplace(devInst, nextUsbPort);
        if (added) ++nextUsbPort;
        return it->second;
    }
    ErrorCode UsbIoControl(const SimHandle& s, std::uint32_t code, ByteView in, MutableByteView out,
                           std::uint32_t& returned) const;

    const Node* FindNode(std::uint32_t devInst) const {
        const auto it = nodeByDevInst.find(devInst);
        return it == nodeByDevInst.end() ? nullptr : &nodes[it->second];
    }
    const Node* FindPath(const std::string& upperPath) const {
        const auto it = nodeByPath.find(upperPath);
        return it == nodeByPath.end() ? nullptr : &nodes[it->second];
    }

    void ReadFolder();
    DriveFile LoadFile(const std::string& name, const fs::path& file, const Stamp& stamp) const;
    std::shared_ptr<SimDrive> MakeDrive(const std::string& upper, DriveFile& f);
    void RefreshLayout(SimDrive& d) const;
    std::vector<Node> BuildNodes();
    void Update(bool readFolder, bool announce);

    // The handle when it is one of ours; null otherwise.
    SimHandle* HandleOf(const DeviceHandle& h) const {
        auto* s = dynamic_cast<SimHandle*>(h.Get());
        return s && s->owner == this ? s : nullptr;
    }
    // The handle of a present disk or volume, or the error the request answers.
    ErrorCode DriveHandle(const DeviceHandle& h, SimHandle*& out) const {
        out = HandleOf(h);
        if (!out) return err::kFileNotFound;
        if (!out->drive) return err::kInvalidFunction;
        if (!out->drive->present.load()) return simerr::kDeviceNotConnected;
        return err::kSuccess;
    }
};

namespace {

// The request's range checked against what the handle addresses; `abs` is the drive offset.
ErrorCode CheckRange(const SimHandle& s, std::uint64_t offset, std::uint64_t length,
                     std::uint64_t& abs) {
    if (length == 0 || offset > s.length) return err::kInvalidParameter;
    if (length > s.length - offset) return err::kHandleEof;
    abs = s.base + offset;
    return err::kSuccess;
}

bool HitsFault(const std::vector<std::uint64_t>& lbas, std::uint32_t sectorSize, std::uint64_t abs,
               std::uint64_t length) {
    const std::uint64_t first = abs / sectorSize, last = (abs + length - 1) / sectorSize;
    const auto it = std::lower_bound(lbas.begin(), lbas.end(), first);
    return it != lbas.end() && *it <= last;
}

// Reads an image, or the zeros and synthetic table of one a read-only back end did not make.
ErrorCode ReadImage(const SimImageFile& file, const SimDrive& d, std::uint64_t abs,
                    MutableByteView data) {
    if (file.IsOpen()) return file.ReadAt(abs, data);
    std::fill(data.begin(), data.end(), std::uint8_t(0));
    if (abs < d.head.size()) {
        const std::size_t n = std::min<std::size_t>(d.head.size() - abs, data.size());
        std::copy_n(d.head.begin() + static_cast<std::ptrdiff_t>(abs), n, data.begin());
    }
    return err::kSuccess;
}

ErrorCode ReadDrive(const SimHandle& s, std::uint64_t abs, MutableByteView data) {
    const SimDriveSpec& spec = *s.drive->spec;
    if (HitsFault(spec.faults.readErrorAt, spec.sectorSize, abs, data.size())) return simerr::kCrc;
    return ReadImage(s.file, *s.drive, abs, data);
}

ErrorCode WriteDrive(SimHandle& s, bool handleWritable, std::uint64_t abs, ByteView data) {
    const SimDriveSpec& spec = *s.drive->spec;
    if (spec.readOnly) return simerr::kWriteProtect;
    if (!handleWritable || !s.file.Writable()) return err::kAccessDenied;
    if (HitsFault(spec.faults.writeErrorAt, spec.sectorSize, abs, data.size()))
        return err::kWriteFault;
    s.drive->layoutDirty = true;
    return s.file.WriteAt(abs, data);
}

// The layout of the drive as the handle's reads see it (injected faults included).
ErrorCode ReadLayout(const SimHandle& s, DriveLayout& out) {
    const SectorReadFn read = [&s](std::uint64_t offset, MutableByteView data) {
        if (offset > s.drive->Capacity() || data.size() > s.drive->Capacity() - offset)
            return err::kHandleEof;
        return ReadDrive(s, offset, data);
    };
    return ReadDriveLayout(read, s.drive->SectorSize(), s.drive->Capacity(), out);
}

ErrorCode WriteZeros(SimHandle& s, bool writable, std::uint64_t abs, std::uint64_t length) {
    if (length == 0) return err::kSuccess;
    const std::vector<std::uint8_t> zeros(static_cast<std::size_t>(length));
    return WriteDrive(s, writable, abs, zeros);
}

// The drive's sectors as a command through this handle reaches them: the drive's own offsets
// (whatever the handle addresses), its write protection and its injected faults.
class HandleMedium final : public SimMedium {
public:
    HandleMedium(SimHandle& s, bool writable) : s_(s), writable_(writable) {}
    ErrorCode Read(std::uint64_t offset, MutableByteView data) override {
        if (!Fits(offset, data.size())) return err::kHandleEof;
        return ReadDrive(s_, offset, data);
    }
    ErrorCode Write(std::uint64_t offset, ByteView data) override {
        if (!Fits(offset, data.size())) return err::kHandleEof;
        return WriteDrive(s_, writable_, offset, data);
    }
    ErrorCode ZeroAll() override {
        if (s_.drive->spec->readOnly) return simerr::kWriteProtect;
        if (!writable_ || !s_.file.Writable()) return err::kAccessDenied;
        s_.drive->layoutDirty = true;
        return s_.file.Zero(0, s_.drive->Capacity());
    }

private:
    bool Fits(std::uint64_t offset, std::uint64_t length) const {
        const std::uint64_t cap = s_.drive->Capacity();
        return offset <= cap && length <= cap - offset;
    }
    SimHandle& s_;
    bool writable_;
};

// Lends the medium to the personalities for one command and takes it back.
class MediumLease {
public:
    MediumLease(SimDrive& d, SimMedium* m) : d_(d) { Set(m); }
    ~MediumLease() { Set(nullptr); }
    MediumLease(const MediumLease&) = delete;
    MediumLease& operator=(const MediumLease&) = delete;

private:
    void Set(SimMedium* m) {
        if (d_.ata) d_.ata->SetMedium(m);
        if (d_.nvme) d_.nvme->SetMedium(m);
        if (d_.scsi) d_.scsi->SetMedium(m);
    }
    SimDrive& d_;
};

// A sanitize that is still running keeps the drive from serving sectors.
ErrorCode SanitizeBusy(SimHandle& s, bool writable) {
    SimDrive& d = *s.drive;
    if (!d.nvme) return err::kSuccess;
    std::lock_guard<std::mutex> guard(d.commandLock);
    HandleMedium medium(s, writable);
    MediumLease lease(d, &medium);
    return d.nvme->Poll(SimNvme::Clock::now()) ? err::kNotReady : err::kSuccess;
}

} // namespace

// ---- the folder and the device table

DriveFile SimStorage::Impl::LoadFile(const std::string& name, const fs::path& file,
                                     const Stamp& stamp) const {
    DriveFile f;
    f.name = name;
    f.stamp = stamp;
    std::vector<std::uint8_t> text;
    // The longest sensible file (every log of both command sets in hex) is a few MiB; a larger
    // one is not read into memory.
    if (stamp.size > kMaxDriveFileBytes) {
        f.error = err::kInvalidData;
        f.message = "the file is larger than " + std::to_string(kMaxDriveFileBytes >> 20) + " MiB";
        return f;
    }
    if (stamp.size != 0) {
        if (const ErrorCode e = ReadWholeFile(Utf8Of(file), text)) {
            f.error = e;
            f.message = "the file cannot be read: " + SystemErrorText(e);
            return f;
        }
    }
    auto spec = std::make_shared<SimDriveSpec>();
    f.error = ParseSimDrive(name, text, *spec, f.message, &f.line);
    if (f.error == err::kSuccess) f.spec = std::move(spec);
    return f;
}

void SimStorage::Impl::ReadFolder() {
    struct Seen {
        std::string name;
        fs::path file;
        Stamp stamp;
    };
    std::map<std::string, Seen> seen;
    std::map<std::string, std::vector<std::string>> clashes;
    std::vector<SimProblem> others;
    std::error_code ec;
    for (fs::directory_iterator it(PathOf(folder), ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        if (Upper(Utf8Of(p.extension())) != ".DRIVE") continue;
        const std::string stem = Utf8Of(p.stem());
        std::error_code typeEc;
        if (!it->is_regular_file(typeEc)) {
            others.push_back({stem, err::kFileNotFound, "not a regular file"});
            continue;
        }
        Stamp stamp;
        if (!StampOf(p, stamp)) {
            others.push_back({stem, err::kAccessDenied, "the file cannot be examined"});
            continue;
        }
        const std::string name = Utf8Of(p.stem());
        const std::string upper = Upper(name);
        // Names differing only in case would share paths where paths are upper-cased: the
        // first in byte order keeps the name.
        auto found = seen.find(upper);
        if (found == seen.end()) {
            seen.emplace(upper, Seen{name, p, stamp});
        } else if (name < found->second.name) {
            clashes[upper].push_back(found->second.name);
            found->second = Seen{name, p, stamp};
        } else {
            clashes[upper].push_back(name);
        }
    }
    for (auto it = files.begin(); it != files.end();)
        it = seen.count(it->first) ? std::next(it) : files.erase(it);
    for (const auto& [upper, s] : seen) {
        auto known = files.find(upper);
        if (known != files.end() && known->second.name == s.name && known->second.stamp == s.stamp)
            continue;
        files[upper] = LoadFile(s.name, s.file, s.stamp);
    }
    // A folder that stops answering part way is no empty folder.
    if (ec)
        others.push_back({"", ErrorFromStdError(ec),
                          "the folder cannot be read: " + SystemErrorText(ErrorFromStdError(ec))});
    duplicates = std::move(others);
    for (const auto& [upper, names] : clashes)
        for (const std::string& n : names)
            duplicates.push_back(
                {n, err::kAlreadyExists,
                 "the name differs only in case from " + seen[upper].name + ".drive"});
}

namespace {

// The table an image made for `spec` starts with; empty without a Layout= key.
ErrorCode LayoutHead(const SimDriveSpec& spec, const std::string& upper,
                     std::vector<std::uint8_t>& head) {
    head.clear();
    if (spec.layout.empty()) return err::kSuccess;
    std::vector<PartitionEntry> entries;
    std::string why;
    if (!ParseSimLayoutKey(spec.layout, spec.capacity, spec.sectorSize, entries, why))
        return err::kInvalidData;
    std::vector<std::uint8_t> sector(spec.sectorSize, 0);
    if (const ErrorCode e = BuildMbrSector(Crc32(upper.data(), upper.size()), entries,
                                           spec.capacity, spec.sectorSize, sector))
        return e;
    head = std::move(sector);
    return err::kSuccess;
}

std::string ImageProblem(const std::string& image, ErrorCode e) {
    if (e == kSimImageLink)
        return "the image " + image +
               " is a symbolic link or lies behind one; links are not followed";
    return "the image " + image + " cannot be used: " + SystemErrorText(e);
}

} // namespace

std::shared_ptr<SimDrive> SimStorage::Impl::MakeDrive(const std::string& upper, DriveFile& f) {
    const SimDriveSpec& spec = *f.spec;
    std::vector<std::uint8_t> head;
    ErrorCode e = LayoutHead(spec, upper, head);
    bool created = false;
    if (e == err::kSuccess && prepareImages) {
        e = SimImageFile::Prepare(folder, spec.image, spec.capacity, created);
        if (e == err::kSuccess && created && !head.empty()) {
            SimImageFile image;
            if ((e = image.Open(folder, spec.image, true)) == err::kSuccess)
                e = image.WriteAt(0, head);
            image.Close();
            // A fresh image without its table must not survive: the next try starts over.
            if (e != err::kSuccess) DeleteFileForce(Utf8Of(PathOf(folder) / PathOf(spec.image)));
        }
        head.clear(); // the image holds it now
    } else if (e == err::kSuccess) {
        // Read-only: the image is only looked at, and a missing one is no fault.
        SimImageFile image;
        e = image.Open(folder, spec.image, false);
        if (e == err::kFileNotFound || e == err::kPathNotFound) e = err::kSuccess;
        if (image.IsOpen()) head.clear();
    }
    if (e != err::kSuccess) {
        f.error = e;
        f.message = ImageProblem(spec.image, e);
        f.line = 0;
        return nullptr;
    }
    f.error = err::kSuccess;
    f.message.clear();
    auto d = std::make_shared<SimDrive>();
    d->spec = f.spec;
    d->folder = folder;
    d->image = spec.image;
    d->imagePath = Utf8Of(PathOf(folder) / PathOf(spec.image));
    d->head = std::move(head);
    d->number = NumberOf(upper);
    d->devInst = DevInstOf("DISK\\" + upper);
    if (!spec.parent.empty()) d->usbDevInst = DevInstOf("USB\\" + Upper(spec.parent));
    if (spec.hasPci) d->controllerDevInst = DevInstOf("PCI\\" + upper);
    d->generation = nextGeneration++;
    if (spec.ata.present) d->ata = std::make_unique<SimAta>(spec);
    if (spec.nvme.present) d->nvme = std::make_unique<SimNvme>(spec);
    d->scsi = std::make_unique<SimScsi>(spec, d->ata.get());
    if (d->nvme) d->scsi->SetNvme(d->nvme.get());
    return d;
}

void SimStorage::Impl::RefreshLayout(SimDrive& d) const {
    Stamp stamp;
    StampOf(PathOf(d.imagePath), stamp);
    std::lock_guard<std::mutex> guard(d.lock);
    if (!d.layoutDirty.exchange(false) && stamp == d.imageStamp) return;
    d.imageStamp = stamp;
    d.layout = DriveLayout{};
    SimImageFile image;
    const ErrorCode e = image.Open(d.folder, d.image, false);
    if (e != err::kSuccess && (prepareImages || e != err::kFileNotFound)) return;
    const SectorReadFn read = [&](std::uint64_t offset, MutableByteView data) {
        return ReadImage(image, d, offset, data);
    };
    DriveLayout layout;
    if (ReadDriveLayout(read, d.SectorSize(), d.Capacity(), layout) == err::kSuccess)
        d.layout = std::move(layout);
}

std::vector<Node> SimStorage::Impl::BuildNodes() {
    std::vector<Node> out;
    auto add = [&](NodeKind kind, std::uint32_t devInst, std::uint32_t parent, std::string path,
                   std::string identity) -> Node& {
        Node n;
        n.kind = kind;
        n.devInst = devInst;
        n.parent = parent;
        n.path = std::move(path);
        n.identity = std::move(identity);
        out.push_back(std::move(n));
        return out.back();
    };
    const bool anyUsb = std::any_of(drives.begin(), drives.end(),
                                    [](const auto& d) { return d.second->usbDevInst != 0; });
    std::uint32_t hub = 0;
    if (anyUsb) {
        const std::uint32_t host = DevInstOf("USBHC");
        hub = DevInstOf("USBHUB");
        Node& hc = add(NodeKind::kUsbHost, host, 0, std::string(kUsbHostPath), "usbhc");
        hc.friendlyName = hc.deviceDesc = "Simulated USB Host Controller";
        hc.driver = DriverKey(kUsbClass, host);
        Node& root = add(NodeKind::kUsbHub, hub, host, std::string(kUsbHubPath), "usbhub");
        root.deviceDesc = "USB Root Hub";
        root.driver = DriverKey(kUsbClass, hub);
    }
    std::set<std::uint32_t> usbDone;
    for (const auto& [upper, d] : drives) {
        if (d->usbDevInst == 0 || !usbDone.insert(d->usbDevInst).second) continue;
        const SimDriveSpec& spec = *d->spec;
        Node& n = add(NodeKind::kUsbDevice, d->usbDevInst, hub,
                      std::string(kUsbDevicePrefix) + spec.parent,
                      "usb:" + std::to_string(d->generation));
        n.drive = d;
        UsbPortOf(d->usbDevInst);
        n.friendlyName = Join(spec.usb.manufacturer, spec.usb.product);
        n.deviceDesc = spec.usb.product;
        n.driver = DriverKey(kUsbClass, d->usbDevInst);
    }
    for (const auto& [upper, d] : drives) {
        if (d->controllerDevInst == 0) continue;
        Node& n = add(NodeKind::kController, d->controllerDevInst, 0, std::string(),
                      "pci:" + std::to_string(d->generation));
        n.drive = d;
        n.friendlyName = n.deviceDesc = "Simulated Storage Controller";
        n.driver = DriverKey(kScsiAdapterClass, d->controllerDevInst);
    }
    for (const auto& [upper, d] : drives) {
        const SimDriveSpec& spec = *d->spec;
        const std::uint32_t parent = d->usbDevInst ? d->usbDevInst : d->controllerDevInst;
        Node& n = add(NodeKind::kDisk, d->devInst, parent, std::string(kDiskPrefix) + spec.name,
                      "disk:" + std::to_string(d->generation));
        n.drive = d;
        n.friendlyName = Join(spec.vendor, spec.model);
        n.deviceDesc = "Disk drive";
        n.driver = DriverKey(kDiskClass, d->devInst);
    }
    for (const auto& [upper, d] : drives) {
        DriveLayout layout;
        {
            std::lock_guard<std::mutex> guard(d->lock);
            layout = d->layout;
        }
        for (const PartitionEntry& p : layout.partitions) {
            if (!IsVolumePartition(p, d->Capacity())) continue;
            const std::string number = std::to_string(p.number);
            const std::uint32_t devInst = DevInstOf("VOLUME\\" + upper + "\\" + number);
            Node& n = add(NodeKind::kVolume, devInst, d->devInst,
                          std::string(kDiskPrefix) + d->spec->name + "\\PARTITION" + number,
                          "volume:" + std::to_string(d->generation) + ":" +
                              std::to_string(p.startingOffset) + ":" + std::to_string(p.length));
            n.drive = d;
            n.partition = p;
            n.deviceDesc = "Volume";
            n.driver = DriverKey(kVolumeClass, devInst);
        }
    }
    return out;
}

void SimStorage::Impl::Update(bool readFolder, bool announce) {
    if (readFolder) ReadFolder();
    for (auto it = drives.begin(); it != drives.end();) {
        const auto f = files.find(it->first);
        const bool stays =
            f != files.end() && f->second.spec == it->second->spec && !unplugged.count(it->first);
        if (stays) {
            ++it;
            continue;
        }
        it->second->present = false;
        it = drives.erase(it);
    }
    for (auto& [upper, f] : files) {
        if (!f.spec || unplugged.count(upper) || drives.count(upper)) continue;
        if (auto d = MakeDrive(upper, f)) drives.emplace(upper, std::move(d));
    }
    for (const auto& [upper, d] : drives)
        RefreshLayout(*d);

    std::vector<Node> next = BuildNodes();
    if (announce) {
        std::set<std::string> before, after;
        for (const Node& n : nodes)
            before.insert(std::to_string(n.devInst) + "|" + n.identity);
        for (const Node& n : next)
            after.insert(std::to_string(n.devInst) + "|" + n.identity);
        // Children leave before their parents and arrive after them.
        for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
            if (after.count(std::to_string(it->devInst) + "|" + it->identity)) continue;
            if (!it->path.empty()) {
                DeviceEvent e;
                e.kind = DeviceEvent::Kind::kInterfaceRemoved;
                e.devInst = it->devInst;
                e.path = it->path;
                pending.push_back(std::move(e));
            }
            DeviceEvent e;
            e.kind = DeviceEvent::Kind::kNodeRemoved;
            e.devInst = it->devInst;
            pending.push_back(std::move(e));
        }
        for (const Node& n : next) {
            if (before.count(std::to_string(n.devInst) + "|" + n.identity)) continue;
            DeviceEvent e;
            e.kind = n.path.empty() ? DeviceEvent::Kind::kNodeArrival
                                    : DeviceEvent::Kind::kInterfaceArrival;
            e.devInst = n.devInst;
            e.path = n.path;
            pending.push_back(std::move(e));
        }
    }
    nodes = std::move(next);
    nodeByDevInst.clear();
    nodeByPath.clear();
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        nodeByDevInst.emplace(nodes[i].devInst, i);
        if (!nodes[i].path.empty()) nodeByPath.emplace(Upper(nodes[i].path), i);
    }
}

// ---- public interface

SimStorage::SimStorage() : impl_(std::make_unique<Impl>()) {}
SimStorage::~SimStorage() = default;

std::unique_ptr<SimStorage> SimStorage::Create(const std::string& folder, ErrorCode& error,
                                               SimImages images) {
    if (folder.empty()) {
        error = err::kInvalidParameter;
        return nullptr;
    }
    std::error_code ec;
    fs::directory_iterator probe(PathOf(folder), ec);
    if (ec) {
        error = ec == std::errc::no_such_file_or_directory ? err::kPathNotFound
                : ec == std::errc::not_a_directory         ? err::kPathNotFound
                : ec == std::errc::permission_denied       ? err::kAccessDenied
                                                           : err::kGenFailure;
        return nullptr;
    }
    std::unique_ptr<SimStorage> storage(new (std::nothrow) SimStorage());
    if (!storage) {
        error = err::kNoSystemResources;
        return nullptr;
    }
    storage->impl_->folder = folder;
    storage->impl_->prepareImages = images == SimImages::kPrepare;
    storage->impl_->Update(true, false);
    error = err::kSuccess;
    return storage;
}

std::unique_ptr<StoragePlatform> NewSimStorage(const std::string& folder, ErrorCode& error,
                                               bool readOnly) {
    return SimStorage::Create(folder, error, readOnly ? SimImages::kReadOnly : SimImages::kPrepare);
}

const std::string& SimStorage::Folder() const {
    return impl_->folder;
}

std::vector<std::string> SimStorage::DriveNames() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    std::vector<std::string> names;
    for (const auto& [upper, d] : impl_->drives)
        names.push_back(d->spec->name);
    return names;
}

std::vector<SimProblem> SimStorage::Problems() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    std::vector<SimProblem> out;
    for (const auto& [upper, f] : impl_->files)
        if (f.error != err::kSuccess) out.push_back({f.name, f.error, f.message, f.line});
    out.insert(out.end(), impl_->duplicates.begin(), impl_->duplicates.end());
    return out;
}

ErrorCode SimStorage::Plug(const std::string& name) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    const std::string upper = Upper(name);
    impl_->unplugged.erase(upper);
    impl_->Update(true, true);
    if (impl_->drives.count(upper)) return err::kSuccess;
    const auto f = impl_->files.find(upper);
    return f == impl_->files.end() ? err::kFileNotFound : f->second.error;
}

ErrorCode SimStorage::Unplug(const std::string& name) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    const std::string upper = Upper(name);
    if (!impl_->drives.count(upper)) return err::kFileNotFound;
    impl_->unplugged.insert(upper);
    impl_->Update(false, true);
    return err::kSuccess;
}

ErrorCode SimStorage::PowerCycle(const std::string& name) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    const auto it = impl_->drives.find(Upper(name));
    if (it == impl_->drives.end()) return err::kFileNotFound;
    SimDrive& d = *it->second;
    std::lock_guard<std::mutex> commands(d.commandLock);
    if (!d.ata) return err::kNotSupported;
    d.ata->PowerCycle();
    return err::kSuccess;
}

std::vector<SimRange> SimStorage::TrimmedRanges(const std::string& name) const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    const auto it = impl_->drives.find(Upper(name));
    if (it == impl_->drives.end()) return {};
    std::lock_guard<std::mutex> driveGuard(it->second->lock);
    return it->second->trims;
}

std::shared_ptr<const SimDriveSpec> SimStorage::DriveSpec(const std::string& name) const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    const auto it = impl_->drives.find(Upper(name));
    return it == impl_->drives.end() ? nullptr : it->second->spec;
}

std::shared_ptr<const SimDriveSpec> SimStorage::HandleSpec(const DeviceHandle& h) const {
    const SimHandle* s = impl_->HandleOf(h);
    return s && s->drive ? s->drive->spec : nullptr;
}

ErrorCode SimStorage::EnumerateClass(DeviceClass cls, std::vector<PresentDevice>& devices) {
    auto matches = [cls](NodeKind k) {
        switch (cls) {
        case DeviceClass::kDiskInterface:
            return k == NodeKind::kDisk;
        case DeviceClass::kVolumeInterface:
            return k == NodeKind::kVolume;
        case DeviceClass::kUsbHostControllerIface:
            return k == NodeKind::kUsbHost;
        case DeviceClass::kUsbHubInterface:
            return k == NodeKind::kUsbHub;
        case DeviceClass::kUsbDeviceInterface:
            return k == NodeKind::kUsbDevice;
        case DeviceClass::kUsbSetupClass:
            return k == NodeKind::kUsbHub || k == NodeKind::kUsbDevice;
        }
        return false;
    };
    devices.clear();
    std::lock_guard<std::mutex> guard(impl_->lock);
    for (const Node& n : impl_->nodes) {
        if (!matches(n.kind)) continue;
        PresentDevice d;
        d.devInst = n.devInst;
        d.started = true;
        // The setup class lists devices, not interfaces.
        d.hasInterface = cls != DeviceClass::kUsbSetupClass;
        if (d.hasInterface) d.interfacePath = n.path;
        devices.push_back(std::move(d));
    }
    return err::kSuccess;
}

std::uint32_t SimStorage::ParentOf(std::uint32_t devInst) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    const Node* n = impl_->FindNode(devInst);
    return n ? n->parent : 0;
}

ErrorCode SimStorage::GetProperty(std::uint32_t devInst, DeviceProperty prop, std::string& value) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    const Node* n = impl_->FindNode(devInst);
    if (!n) return err::kFileNotFound;
    const std::string* v = nullptr;
    switch (prop) {
    case DeviceProperty::kFriendlyName:
        v = &n->friendlyName;
        break;
    case DeviceProperty::kDeviceDesc:
        v = &n->deviceDesc;
        break;
    case DeviceProperty::kDriver:
        v = &n->driver;
        break;
    }
    if (!v || v->empty()) return err::kFileNotFound;
    value = *v;
    return err::kSuccess;
}

ErrorCode SimStorage::DriveDisplayName(char, std::string& name) {
    name.clear();
    return err::kFileNotFound; // simulated drives have no letters
}

ErrorCode SimStorage::UsbHostControllerDriverKey(std::uint32_t index, std::string& driverKey) {
    driverKey.clear();
    std::lock_guard<std::mutex> guard(impl_->lock);
    if (index != 0) return err::kFileNotFound;
    for (const Node& n : impl_->nodes)
        if (n.kind == NodeKind::kUsbHost) {
            driverKey = n.driver;
            return err::kSuccess;
        }
    return err::kFileNotFound;
}

ErrorCode SimStorage::RegisterNotifications(void*, DeviceClass cls, void*& token) {
    token = nullptr;
    if (static_cast<int>(cls) < static_cast<int>(DeviceClass::kDiskInterface) ||
        static_cast<int>(cls) > static_cast<int>(DeviceClass::kUsbSetupClass))
        return err::kInvalidParameter;
    std::lock_guard<std::mutex> guard(impl_->lock);
    const std::uintptr_t id = impl_->nextToken++;
    impl_->tokens.insert(id);
    token = reinterpret_cast<void*>(id);
    return err::kSuccess;
}

void SimStorage::UnregisterNotifications(void* token) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    impl_->tokens.erase(reinterpret_cast<std::uintptr_t>(token));
}

void SimStorage::PollEvents(std::vector<DeviceEvent>& events) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    impl_->Update(true, true);
    events.insert(events.end(), std::make_move_iterator(impl_->pending.begin()),
                  std::make_move_iterator(impl_->pending.end()));
    impl_->pending.clear();
}

ErrorCode SimStorage::Open(const std::string& path, DeviceHandle& handle) {
    return OpenAs(path, handle, true);
}

ErrorCode SimStorage::OpenRead(const std::string& path, DeviceHandle& handle) {
    return OpenAs(path, handle, false);
}

ErrorCode SimStorage::OpenAs(const std::string& path, DeviceHandle& handle, bool write) {
    handle.Close();
    const std::string wanted = Upper(StripPrefix(path));
    if (wanted.empty()) return err::kInvalidParameter;
    auto s = std::make_unique<SimHandle>();
    s->owner = impl_.get();
    {
        std::lock_guard<std::mutex> guard(impl_->lock);
        const Node* node = impl_->FindPath(wanted);
        if (!node) return err::kFileNotFound;
        s->node = node->devInst;
        if (node->kind == NodeKind::kDisk || node->kind == NodeKind::kVolume) {
            s->drive = node->drive;
            s->partition = node->partition;
            s->partitionNumber = node->kind == NodeKind::kVolume ? node->partition.number : 0;
        }
    }
    if (!s->drive) {
        handle.Reset(std::move(s), write);
        return err::kSuccess;
    }
    const SimDriveSpec& spec = *s->drive->spec;
    if (spec.faults.failOpen != err::kSuccess) return spec.faults.failOpen;
    const bool openWrite = write && !spec.readOnly && impl_->prepareImages;
    if (const ErrorCode e = s->file.Open(s->drive->folder, s->drive->image, openWrite)) {
        // An image a read-only back end never made reads as zeros.
        if (impl_->prepareImages || (e != err::kFileNotFound && e != err::kPathNotFound)) return e;
    }
    if (s->partitionNumber != 0) {
        s->base = s->partition.startingOffset;
        s->length = s->partition.length;
    } else {
        s->length = spec.capacity;
    }
    // A write-protected drive opens for writing like a real one; its writes are refused.
    const bool writable = write && (spec.readOnly || s->file.Writable());
    handle.Reset(std::move(s), writable);
    return err::kSuccess;
}

ErrorCode SimStorage::OpenForClone(const std::string& path, CloneOpenMode mode,
                                   DeviceHandle& handle) {
    handle.Close();
    CloneDiskFacts facts;
    if (const ErrorCode e = QueryCloneFacts(path, facts)) return e;
    if (mode == CloneOpenMode::kTarget && facts.mountedVolume) return err::kSharingViolation;
    DeviceHandle h;
    if (const ErrorCode e = Open(path, h)) return e;
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    if (s->partitionNumber != 0) return err::kInvalidParameter; // whole disks only
    // The source is read-only whatever the image allows.
    const bool writable = mode == CloneOpenMode::kTarget && h.Writable();
    auto owned = std::make_unique<SimHandle>();
    owned->owner = s->owner;
    owned->drive = s->drive;
    owned->base = s->base;
    owned->length = s->length;
    owned->file = std::move(s->file);
    h.Close();
    handle.Reset(std::move(owned), writable);
    return err::kSuccess;
}

ErrorCode SimStorage::QueryCloneFacts(const std::string& path, CloneDiskFacts& facts) {
    facts = CloneDiskFacts{};
    const std::string wanted = Upper(StripPrefix(path));
    std::lock_guard<std::mutex> guard(impl_->lock);
    for (const Node& n : impl_->nodes) {
        if (n.path.empty() || Upper(n.path) != wanted) continue;
        if (n.kind != NodeKind::kDisk || !n.drive) return err::kInvalidParameter;
        facts.systemDisk = n.drive->spec->systemDisk;
        facts.mountedVolume = n.drive->spec->mountedVolume;
        return err::kSuccess;
    }
    return err::kFileNotFound;
}

ErrorCode SimStorage::OpenLetter(char, DeviceHandle& handle) {
    handle.Close();
    return err::kFileNotFound; // simulated drives have no letters
}

ErrorCode SimStorage::GetDeviceNumber(DeviceHandle& h, StorageDeviceNumber& out) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    out.deviceType = filedevice::kDisk;
    out.deviceNumber = s->drive->number;
    out.partitionNumber = s->partitionNumber;
    return err::kSuccess;
}

ErrorCode SimStorage::QueryDeviceDescriptor(DeviceHandle& h, StorageDeviceDescriptor& out) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    const SimDriveSpec& spec = *s->drive->spec;
    StorageDeviceDescriptor d;
    d.deviceType = 0; // direct-access block device
    d.removableMedia = spec.removable;
    d.commandQueueing = spec.busType == bustype::kSata || spec.busType == bustype::kNvme ||
                        spec.busType == bustype::kScsi || spec.busType == bustype::kSas;
    d.busType = spec.busType;
    d.vendor = spec.vendor;
    d.product = spec.model;
    d.revision = spec.firmware;
    d.serial = spec.serial;
    out = std::move(d);
    return err::kSuccess;
}

ErrorCode SimStorage::QueryAdapterDescriptor(DeviceHandle& h, std::vector<std::uint8_t>& raw) {
    raw.clear();
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    return err::kNotSupported;
}

ErrorCode SimStorage::QueryTrimEnabled(DeviceHandle& h, bool& enabled) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    enabled = s->drive->spec->trim;
    return err::kSuccess;
}

ErrorCode SimStorage::QueryTemperature(DeviceHandle& h, std::vector<TemperatureInfo>& out) {
    out.clear();
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    return err::kNotSupported;
}

ErrorCode SimStorage::GetHotplugInfo(DeviceHandle& h, std::uint8_t (&info)[8]) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    const SimDriveSpec& spec = *s->drive->spec;
    const bool hotplug = spec.busType == bustype::kUsb || spec.busType == bustype::kSd ||
                         spec.busType == bustype::kMmc || !spec.parent.empty();
    // STORAGE_HOTPLUG_INFO: Size, MediaRemovable, MediaHotplug, DeviceHotplug, WriteCacheOverride.
    std::uint8_t bytes[8] = {};
    StoreLe<std::uint32_t>(bytes, 0, 8);
    StoreLe<std::uint8_t>(bytes, 4, spec.removable ? 1 : 0);
    StoreLe<std::uint8_t>(bytes, 5, spec.removable ? 1 : 0);
    StoreLe<std::uint8_t>(bytes, 6, hotplug ? 1 : 0);
    std::memcpy(info, bytes, sizeof bytes);
    return err::kSuccess;
}

ErrorCode SimStorage::GetScsiAddress(DeviceHandle& h, ScsiAddress& out) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    if (!HasScsiAddress(s->drive->spec->busType)) return err::kNotSupported;
    out = ScsiAddress{};
    out.portNumber = static_cast<std::uint8_t>(s->drive->number & 0xFF);
    return err::kSuccess;
}

ErrorCode SimStorage::GetGeometry(DeviceHandle& h, DiskGeometry& out) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    const SimDriveSpec& spec = *s->drive->spec;
    const std::uint64_t sectors = spec.SectorCount();
    DiskGeometry g;
    g.bytesPerSector = spec.sectorSize;
    g.mediaType = spec.removable ? 11 : 12; // RemovableMedia, FixedMedia
    g.tracksPerCylinder = 255;
    g.sectorsPerTrack = 63;
    // A drive smaller than one such cylinder still has media: one sector per track then.
    if (sectors < 255 * 63) g.tracksPerCylinder = g.sectorsPerTrack = 1;
    g.cylinders = static_cast<std::int64_t>(sectors / (g.tracksPerCylinder * g.sectorsPerTrack));
    out = g;
    return err::kSuccess;
}

ErrorCode SimStorage::GetLength(DeviceHandle& h, std::uint64_t& bytes) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    bytes = s->length;
    return err::kSuccess;
}

ErrorCode SimStorage::IsWritable(DeviceHandle& h, bool& writable) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    writable = !s->drive->spec->readOnly && h.Writable() && s->file.Writable();
    return err::kSuccess;
}

ErrorCode SimStorage::GetMountDeviceName(DeviceHandle& h, std::u16string& name) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    const std::string n = std::to_string(s->drive->number);
    const std::string text = s->partitionNumber == 0 ? "\\Device\\Harddisk" + n + "\\DR" + n
                                                     : "\\Device\\Harddisk" + n + "\\Partition" +
                                                           std::to_string(s->partitionNumber);
    name = Utf8ToUtf16(text);
    return err::kSuccess;
}

ErrorCode SimStorage::GetVolumeExtents(DeviceHandle& h, std::vector<DiskExtent>& out) {
    out.clear();
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    if (s->partitionNumber == 0) return err::kInvalidFunction; // a disk is no volume
    out.push_back({s->drive->number, s->base, s->length});
    return err::kSuccess;
}

ErrorCode SimStorage::GetPartitionInfo(DeviceHandle& h, PartitionEntry& out) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    if (s->partitionNumber != 0) {
        out = s->partition;
        return err::kSuccess;
    }
    // A disk answers as partition 0, the whole drive, in its table's style.
    DriveLayout layout;
    if (const ErrorCode e = ReadLayout(*s, layout)) return e;
    PartitionEntry whole;
    whole.style = layout.style;
    whole.length = s->length;
    out = std::move(whole);
    return err::kSuccess;
}

ErrorCode SimStorage::GetDriveLayout(DeviceHandle& h, DriveLayout& out) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    if (s->partitionNumber != 0) return err::kInvalidFunction;
    return ReadLayout(*s, out);
}

ErrorCode SimStorage::CreateMbrLayout(DeviceHandle& h, std::uint32_t signature,
                                      const std::vector<PartitionEntry>& partitions) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    if (s->partitionNumber != 0) return err::kInvalidFunction;
    const std::uint32_t ss = s->drive->SectorSize();
    const std::uint64_t capacity = s->drive->Capacity();
    std::vector<std::uint8_t> sector(ss);
    if (const ErrorCode e = ReadDrive(*s, 0, sector)) return e;
    if (const ErrorCode e = BuildMbrSector(signature, partitions, capacity, ss, sector)) return e;
    // A GPT left behind would still be found through a stale protective entry elsewhere, and
    // tools would see two tables: clear both of its copies first.
    std::vector<std::uint8_t> header(ss);
    if (capacity >= 2 * std::uint64_t(ss) && ReadDrive(*s, ss, header) == err::kSuccess &&
        std::memcmp(header.data(), "EFI PART", 8) == 0) {
        const std::uint64_t bytes = std::min<std::uint64_t>(ss + kGptArrayBytes, capacity - ss);
        if (const ErrorCode e = WriteZeros(*s, h.Writable(), ss, bytes)) return e;
        const std::uint64_t tail = std::min<std::uint64_t>(ss + kGptArrayBytes, capacity - ss);
        if (const ErrorCode e = WriteZeros(*s, h.Writable(), capacity - tail, tail)) return e;
    }
    return WriteDrive(*s, h.Writable(), 0, sector);
}

ErrorCode SimStorage::DeleteLayout(DeviceHandle& h) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    if (s->partitionNumber != 0) return err::kInvalidFunction;
    const std::uint64_t capacity = s->drive->Capacity();
    const std::uint64_t bytes =
        std::min<std::uint64_t>(kLayoutSectors * s->drive->SectorSize(), capacity);
    if (const ErrorCode e = WriteZeros(*s, h.Writable(), 0, bytes)) return e;
    return WriteZeros(*s, h.Writable(), capacity - bytes, bytes);
}

ErrorCode SimStorage::TrimRange(DeviceHandle& h, std::uint64_t offset, std::uint64_t length) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    std::uint64_t abs = 0;
    if (const ErrorCode e = CheckRange(*s, offset, length, abs)) return e;
    const SimDriveSpec& spec = *s->drive->spec;
    if (!spec.trim) return err::kNotSupported;
    if (spec.readOnly) return simerr::kWriteProtect;
    if (!h.Writable() || !s->file.Writable()) return err::kAccessDenied;
    if (!spec.faults.trimIgnored) {
        s->drive->layoutDirty = true;
        if (const ErrorCode e = s->file.Zero(abs, length)) return e;
    }
    std::lock_guard<std::mutex> guard(s->drive->lock);
    s->drive->trims.push_back({abs, length});
    return err::kSuccess;
}

ErrorCode SimStorage::GetPciLink(std::uint32_t controllerDevInst, PciLinkInfo& out) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    const Node* n = impl_->FindNode(controllerDevInst);
    if (!n || n->kind != NodeKind::kController) return err::kNotSupported;
    out = n->drive->spec->pci;
    return err::kSuccess;
}

std::uint32_t SimStorage::ControllerOf(std::uint32_t diskDevInst) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    const Node* n = impl_->FindNode(diskDevInst);
    return n && n->kind == NodeKind::kDisk ? n->drive->controllerDevInst : 0;
}

ErrorCode SimStorage::ReadAt(DeviceHandle& h, std::uint64_t offset, MutableByteView data) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    std::uint64_t abs = 0;
    if (const ErrorCode e = CheckRange(*s, offset, data.size(), abs)) return e;
    if (const ErrorCode e = SanitizeBusy(*s, h.Writable())) return e;
    return ReadDrive(*s, abs, data);
}

ErrorCode SimStorage::WriteAt(DeviceHandle& h, std::uint64_t offset, ByteView data) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    std::uint64_t abs = 0;
    if (const ErrorCode e = CheckRange(*s, offset, data.size(), abs)) return e;
    if (const ErrorCode e = SanitizeBusy(*s, h.Writable())) return e;
    return WriteDrive(*s, h.Writable(), abs, data);
}

ErrorCode SimStorage::ScsiCommand(DeviceHandle& h, ScsiCommandRequest& request) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    if (s->partitionNumber != 0) return err::kInvalidFunction; // commands go to the disk
    if (request.cdb.size() < 6 || request.cdb.size() > 16) return err::kInvalidParameter;
    SimDrive& d = *s->drive;
    std::lock_guard<std::mutex> guard(d.commandLock);
    HandleMedium medium(*s, h.Writable());
    MediumLease lease(d, &medium);
    d.scsi->Execute(request);
    return err::kSuccess;
}

ErrorCode SimStorage::NvmeCommand(DeviceHandle& h, NvmeCommandRequest& request) {
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    SimDrive& d = *s->drive;
    if (!d.nvme || !request.admin) return err::kNotSupported;
    if (s->partitionNumber != 0) return err::kInvalidFunction;
    std::lock_guard<std::mutex> guard(d.commandLock);
    HandleMedium medium(*s, h.Writable());
    MediumLease lease(d, &medium);
    if (!d.nvme->Execute(request.command, request.direction, request.data, request.completion))
        return err::kInvalidParameter;
    return err::kSuccess;
}

ErrorCode SimStorage::IoControl(DeviceHandle& h, std::uint32_t code, ByteView in,
                                MutableByteView out, std::uint32_t& returned) {
    returned = 0;
    if (const SimHandle* node = impl_->HandleOf(h); node && !node->drive)
        return impl_->UsbIoControl(*node, code, in, out, returned);
    SimHandle* s = nullptr;
    if (const ErrorCode e = impl_->DriveHandle(h, s)) return e;
    SimDrive& d = *s->drive;
    if (code == ioctl::kScsiGetAddress) {
        // SCSI_ADDRESS: Length, PortNumber, PathId, TargetId, Lun.
        ScsiAddress a;
        if (const ErrorCode e = GetScsiAddress(h, a)) return e;
        if (out.size() < 8) return err::kInsufficientBuffer;
        std::uint8_t bytes[8] = {8, 0, 0, 0, a.portNumber, a.pathId, a.targetId, a.lun};
        std::copy(std::begin(bytes), std::end(bytes), out.begin());
        returned = 8;
        return err::kSuccess;
    }
    std::lock_guard<std::mutex> guard(d.commandLock);
    HandleMedium medium(*s, h.Writable());
    MediumLease lease(d, &medium);
    ErrorCode e = err::kNotSupported;
    if (d.ata) e = SimAtaIoControl(*d.ata, 0, code, in, out, returned);
    if (e == err::kNotSupported && d.nvme) e = SimNvmeIoControl(*d.nvme, code, in, out, returned);
    if (e == err::kNotSupported) {
        returned = 0;
        return err::kInvalidFunction;
    }
    return e;
}

} // namespace tvd

namespace tvd {

// The host controller names its root hub; the root hub answers for the devices on its ports.
ErrorCode SimStorage::Impl::UsbIoControl(const SimHandle& s, std::uint32_t code, ByteView in,
                                         MutableByteView out, std::uint32_t& returned) const {
    returned = 0;
    std::lock_guard<std::mutex> guard(lock);
    const Node* node = FindNode(s.node);
    if (!node) return simerr::kDeviceNotConnected;
    if (node->kind == NodeKind::kUsbHost)
        return SimUsbHostIoControl(std::string(kUsbHubPath), code, out, returned);
    if (node->kind != NodeKind::kUsbHub) return err::kInvalidFunction;
    std::vector<SimUsbPort> ports;
    std::uint32_t highest = 4;
    for (const Node& n : nodes) {
        if (n.kind != NodeKind::kUsbDevice || n.parent != node->devInst || !n.drive) continue;
        const auto it = usbPorts.find(n.devInst);
        if (it == usbPorts.end()) continue;
        ports.push_back({it->second, n.drive->spec->usb, n.driver});
        highest = std::max(highest, it->second);
    }
    return SimUsbHubIoControl(ports,
                              static_cast<std::uint8_t>(std::min<std::uint32_t>(highest, 255)),
                              code, in, out, returned);
}

} // namespace tvd
