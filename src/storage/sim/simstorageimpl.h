// The simulated back end's inner parts, shared by its units: the drives, the device nodes and
// the open handles, the folder state, and the sector access every request goes through. Only
// the sim/ units include it.
#pragma once
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "foundation/errtextutil.h"
#include "storage/sim/simatadevice.h"
#include "storage/sim/simimagefile.h"
#include "storage/sim/simnvmedevice.h"
#include "storage/sim/simscsidevice.h"
#include "storage/sim/simstorage.h"

namespace tvd {

namespace simstore {

namespace fs = std::filesystem;

// Interface paths. Disks and volumes carry the drive's name; USB nodes live under a prefix of
// their own so that no drive name can collide with them.
inline constexpr std::string_view kDiskPrefix = "SIM\\";
inline constexpr std::string_view kUsbHostPath = "SIMUSB\\HC0";
inline constexpr std::string_view kUsbHubPath = "SIMUSB\\ROOT_HUB";
inline constexpr std::string_view kUsbDevicePrefix = "SIMUSB\\DEV\\";

inline char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = AsciiUpper(c);
    return out;
}

inline fs::path PathOf(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8Of(const fs::path& p) {
    const std::u8string u = p.u8string();
    return std::string(u.begin(), u.end());
}

struct Stamp {
    fs::file_time_type time{};
    std::uintmax_t size = 0;
    bool operator==(const Stamp&) const = default;
};

inline bool StampOf(const fs::path& p, Stamp& out) {
    std::error_code ec;
    const auto time = fs::last_write_time(p, ec);
    if (ec) return false;
    const auto size = fs::file_size(p, ec);
    if (ec) return false;
    out = {time, size};
    return true;
}

inline ErrorCode ErrorFromStdError(const std::error_code& ec) {
    if (ec.category() == std::generic_category()) return ErrorFromErrno(ec.value());
#ifdef _WIN32
    if (ec.category() == std::system_category()) return static_cast<ErrorCode>(ec.value());
#else
    if (ec.category() == std::system_category()) return ErrorFromErrno(ec.value());
#endif
    return err::kGenFailure;
}

inline std::string Join(const std::string& a, const std::string& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return a + " " + b;
}

inline std::string DriverKey(const char* cls, std::uint32_t devInst) {
    std::string n = std::to_string(devInst);
    if (n.size() < 4) n.insert(0, 4 - n.size(), '0');
    return std::string(cls) + "\\" + n;
}

inline std::string_view StripPrefix(std::string_view path) {
    if (path.size() >= 4 && path[0] == '\\' && path[1] == '\\' &&
        (path[2] == '?' || path[2] == '.') && path[3] == '\\')
        path.remove_prefix(4);
    return path;
}

inline bool HasScsiAddress(std::uint32_t bus) {
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

inline bool IsVolumePartition(const PartitionEntry& p, std::uint64_t capacity) {
    return p.number != 0 && p.length != 0 && p.startingOffset != 0 &&
           p.startingOffset <= capacity && p.length <= capacity - p.startingOffset;
}

} // namespace simstore

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
    simstore::Stamp imageStamp;

    std::uint32_t SectorSize() const { return spec->sectorSize; }
    std::uint64_t Capacity() const { return spec->capacity; }
};

namespace simstore {

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

} // namespace simstore

struct SimStorage::Impl {
    using Node = simstore::Node;
    using DriveFile = simstore::DriveFile;
    using SimHandle = simstore::SimHandle;
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
    // The volume holding drive letter `letter` (upper case), under `lock`; null when none.
    const Node* LetterNode(char letter) const {
        for (const Node& n : nodes) {
            if (n.kind != simstore::NodeKind::kVolume || !n.drive || !n.drive->present.load())
                continue;
            const auto& letters = n.drive->spec->letters;
            const auto it = letters.find(n.partition.number);
            if (it != letters.end() && it->second == letter) return &n;
        }
        return nullptr;
    }

    // The volume holding each present drive letter (its node and identity), under `lock`.
    std::map<char, std::string> LetterHolders() const;
    void ReadFolder();
    DriveFile LoadFile(const std::string& name, const simstore::fs::path& file,
                       const simstore::Stamp& stamp) const;
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

namespace simstore {

// The request's range checked against what the handle addresses; `abs` is the drive offset.
ErrorCode CheckRange(const SimHandle& s, std::uint64_t offset, std::uint64_t length,
                     std::uint64_t& abs);
// Reads an image, or the zeros and synthetic table of one a read-only back end did not make.
ErrorCode ReadImage(const SimImageFile& file, const SimDrive& d, std::uint64_t abs,
                    MutableByteView data);
// A drive's bytes through a handle, with its injected faults and write protection.
ErrorCode ReadDrive(const SimHandle& s, std::uint64_t abs, MutableByteView data);
ErrorCode WriteDrive(SimHandle& s, bool handleWritable, std::uint64_t abs, ByteView data);
ErrorCode WriteZeros(SimHandle& s, bool writable, std::uint64_t abs, std::uint64_t length);
// The layout of the drive as the handle's reads see it (injected faults included).
ErrorCode ReadLayout(const SimHandle& s, DriveLayout& out);
// A sanitize that is still running keeps the drive from serving sectors.
ErrorCode SanitizeBusy(SimHandle& s, bool writable);

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

} // namespace simstore

} // namespace tvd
