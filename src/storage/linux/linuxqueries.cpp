// Opening devices, the storage queries and sector access of the Linux back end. Nothing here
// touches libudev, so job threads may use it while the registry enumerates.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>

#include "foundation/alignedbuffer.h"
#include "storage/linux/linuxstorage.h"
#include "storage/linux/linuxusb.h"
#include "storage/linux/linuxsysfs.h"
#include "storage/partitiontableutil.h"

namespace tvd {

using namespace linuxsys;

namespace {

// Nested device-mapper and MD volumes are followed this deep for their extents.
constexpr int kMaxVolumeDepth = 8;
// sysfs start and size attributes count 512-byte units whatever the logical sector size.
constexpr std::uint64_t kSysfsSector = 512;

struct LinuxHandle final : DeviceHandle::Impl {
    int fd = -1;
    dev_t rdev = 0;
    bool block = false;
    ~LinuxHandle() override {
        if (fd >= 0) ::close(fd);
    }
};

LinuxHandle* HandleOf(DeviceHandle& h) {
    return dynamic_cast<LinuxHandle*>(h.Get());
}

std::string BlockDirOf(dev_t rdev) {
    return Canonical("/sys/dev/block/" + std::to_string(major(rdev)) + ":" +
                     std::to_string(minor(rdev)));
}

// The sysfs directory of an open block device; the handle's error otherwise.
ErrorCode BlockDir(DeviceHandle& h, LinuxHandle*& lh, std::string& dir) {
    lh = HandleOf(h);
    if (lh == nullptr) return err::kInvalidHandle;
    if (!lh->block) return err::kInvalidFunction;
    dir = BlockDirOf(lh->rdev);
    return dir.empty() ? err::kFileNotFound : err::kSuccess;
}

// The directory of the disk itself for queries a partition passes on to its disk; volumes of
// device-mapper or MD have no disk below them in that sense.
ErrorCode DiskDir(DeviceHandle& h, std::string& dir) {
    LinuxHandle* lh = nullptr;
    if (ErrorCode e = BlockDir(h, lh, dir); e != err::kSuccess) return e;
    dir = DiskDirOf(dir);
    return IsMappedVolume(dir) ? err::kInvalidFunction : err::kSuccess;
}

bool DeviceNumberOfDir(const std::string& dir, std::int64_t& number) {
    const std::string dev = ReadAttr(dir, "dev");
    const auto colon = dev.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= dev.size() || dev.size() > 21)
        return false;
    std::uint64_t maj = 0, min = 0;
    for (std::size_t i = 0; i < dev.size(); ++i) {
        if (i == colon) continue;
        if (dev[i] < '0' || dev[i] > '9') return false;
        std::uint64_t& v = i < colon ? maj : min;
        v = v * 10 + std::uint64_t(dev[i] - '0');
    }
    if (maj > 0xFFF || min > 0xFFFFF) return false;
    number = static_cast<std::int64_t>((maj << 20) | min);
    return true;
}

ErrorCode Ioctl(int fd, unsigned long request, void* arg) {
    if (::ioctl(fd, request, arg) == 0) return err::kSuccess;
    return ErrorFromErrno(errno);
}

ErrorCode SectorSizeAndLength(int fd, std::uint32_t& sectorSize, std::uint64_t& length) {
    int ss = 0;
    if (ErrorCode e = Ioctl(fd, BLKSSZGET, &ss); e != err::kSuccess) return e;
    std::uint64_t bytes = 0;
    if (ErrorCode e = Ioctl(fd, BLKGETSIZE64, &bytes); e != err::kSuccess) return e;
    if (ss <= 0) return err::kInvalidData;
    sectorSize = static_cast<std::uint32_t>(ss);
    length = bytes;
    return err::kSuccess;
}

// The whole transfer or an error: short transfers continue, interrupted ones are retried.
template <class Op> ErrorCode FullTransfer(std::uint64_t offset, std::size_t size, Op op) {
    if (size == 0) return err::kInvalidParameter;
    constexpr auto kMaxOff = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
    if (offset > kMaxOff || size > kMaxOff - offset) return err::kInvalidParameter;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = op(done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return ErrorFromErrno(errno);
        if (n == 0) return err::kHandleEof;
        done += static_cast<std::size_t>(n);
    }
    return err::kSuccess;
}

ErrorCode ReadFull(int fd, std::uint64_t offset, MutableByteView data) {
    return FullTransfer(offset, data.size(), [&](std::size_t done, off_t at) {
        return ::pread(fd, data.data() + done, data.size() - done, at);
    });
}

ErrorCode WriteFull(int fd, std::uint64_t offset, ByteView data) {
    return FullTransfer(offset, data.size(), [&](std::size_t done, off_t at) {
        return ::pwrite(fd, data.data() + done, data.size() - done, at);
    });
}

// Linux opens read-only devices for writing and refuses the writes themselves; such a refusal
// is the write protection Windows reports.
ErrorCode WriteError(int fd, ErrorCode e) {
    int ro = 0;
    if (e == err::kAccessDenied && ::ioctl(fd, BLKROGET, &ro) == 0 && ro != 0) return kWriteProtect;
    return e;
}

// What sysfs tells of a block device opened for queries only (no descriptor): its logical
// sector size and length.
ErrorCode SysfsSectorSizeAndLength(const std::string& dir, std::uint32_t& sectorSize,
                                   std::uint64_t& length) {
    std::uint64_t size = 0, ss = 0;
    if (!ReadAttrU64(dir, "size", size) || size > ~0ull / kSysfsSector ||
        !ReadAttrU64(DiskDirOf(dir), "queue/logical_block_size", ss) || ss == 0 || ss > 65536)
        return err::kInvalidData;
    sectorSize = static_cast<std::uint32_t>(ss);
    length = size * kSysfsSector;
    return err::kSuccess;
}

ErrorCode SizesOf(const LinuxHandle& lh, const std::string& dir, std::uint32_t& sectorSize,
                  std::uint64_t& length) {
    if (lh.fd < 0) return SysfsSectorSizeAndLength(dir, sectorSize, length);
    return SectorSizeAndLength(lh.fd, sectorSize, length);
}

// The partition table's style as udev recorded it ("gpt", "dos"), read from its database file.
std::string UdevPartTableType(dev_t rdev) {
    std::ifstream f("/run/udev/data/b" + std::to_string(major(rdev)) + ":" +
                    std::to_string(minor(rdev)));
    std::string line;
    for (int i = 0; i < 512 && std::getline(f, line); ++i)
        if (line.rfind("E:ID_PART_TABLE_TYPE=", 0) == 0) return line.substr(21);
    return {};
}

// The partitions the kernel found, from sysfs, for a disk its user may not read: numbers,
// starts and lengths, no types. The usable GPT area is taken as the whole disk.
ErrorCode LayoutOfSysfs(const std::string& diskDir, dev_t rdev, DriveLayout& out) {
    std::uint32_t ss = 0;
    std::uint64_t length = 0;
    if (ErrorCode e = SysfsSectorSizeAndLength(diskDir, ss, length); e != err::kSuccess) return e;
    const bool gpt = UdevPartTableType(rdev) == "gpt";
    out = DriveLayout{};
    out.style = gpt ? layoutstyle::kGpt : layoutstyle::kMbr;
    if (gpt) out.gptUsableLength = length;
    for (const std::string& name : ListDir(diskDir)) {
        const std::string dir = diskDir + "/" + name;
        std::uint64_t number = 0, start = 0, size = 0;
        if (!ReadAttrU64(dir, "partition", number) || number == 0 || number > 0xFFFFFFFFu ||
            !ReadAttrU64(dir, "start", start) || !ReadAttrU64(dir, "size", size) ||
            start > ~0ull / kSysfsSector || size > ~0ull / kSysfsSector)
            continue;
        // An extended partition shows as a stub of one or two units.
        if (!gpt && number <= 4 && size <= 2) continue;
        PartitionEntry p;
        p.style = out.style;
        p.number = static_cast<std::uint32_t>(number);
        p.startingOffset = start * kSysfsSector;
        p.length = size * kSysfsSector;
        out.partitions.push_back(std::move(p));
    }
    return err::kSuccess;
}

ErrorCode LayoutOfFd(int fd, DriveLayout& out) {
    std::uint32_t ss = 0;
    std::uint64_t length = 0;
    if (ErrorCode e = SectorSizeAndLength(fd, ss, length); e != err::kSuccess) return e;
    if (length < ss) return kNotReady;
    // The descriptor may bypass the cache (the report's read-only open), where drivers such as
    // libata and usb-storage refuse a buffer that is not aligned: read through an aligned one.
    const SectorReadFn read = [fd](std::uint64_t offset, MutableByteView data) {
        AlignedBuffer buffer;
        if (!buffer.Allocate(data.size())) return err::kNotEnoughMemory;
        if (ErrorCode e = ReadFull(fd, offset, buffer.View()); e != err::kSuccess) return e;
        std::memcpy(data.data(), buffer.Data(), data.size());
        return err::kSuccess;
    };
    return ReadDriveLayout(read, ss, length, out);
}

// A partition's layout questions go to its disk, opened read-only for the purpose.
ErrorCode LayoutOfDiskDir(const std::string& diskDir, DriveLayout& out) {
    std::int64_t number = 0;
    if (!DeviceNumberOfDir(diskDir, number)) return err::kFileNotFound;
    const dev_t rdev = makedev(unsigned(number >> 20), unsigned(number & 0xFFFFF));
    // The node named by the kernel, checked to be this very device.
    std::string name;
    {
        std::vector<std::uint8_t> uevent;
        ReadAttrBytes(diskDir, "uevent", uevent);
        const std::string text(uevent.begin(), uevent.end());
        const auto pos = text.find("DEVNAME=");
        if (pos != std::string::npos) name = text.substr(pos + 8, text.find('\n', pos) - (pos + 8));
    }
    if (name.empty() || name.find("..") != std::string::npos) return err::kFileNotFound;
    const std::string node = "/dev/" + name;
    const int fd = ::open(node.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return ErrorFromErrno(errno);
    struct stat st {};
    ErrorCode e = err::kFileNotFound;
    if (::fstat(fd, &st) == 0 && S_ISBLK(st.st_mode) && st.st_rdev == rdev) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        e = LayoutOfFd(fd, out);
    }
    ::close(fd);
    return e;
}

ErrorCode ExtentsOf(const std::string& dir, int depth, std::vector<DiskExtent>& out) {
    if (depth > kMaxVolumeDepth) return err::kInvalidData;
    std::uint64_t size = 0;
    if (IsPartitionDir(dir)) {
        DiskExtent x;
        std::uint64_t start = 0;
        if (!DeviceNumberOfDir(ParentDir(dir), x.diskNumber) || !ReadAttrU64(dir, "start", start) ||
            !ReadAttrU64(dir, "size", size) || start > ~0ull / kSysfsSector ||
            size > ~0ull / kSysfsSector)
            return err::kInvalidData;
        x.startingOffset = start * kSysfsSector;
        x.length = size * kSysfsSector;
        out.push_back(x);
        return err::kSuccess;
    }
    if (IsMappedVolume(dir)) {
        // The extents are the slaves' whole areas; where a mapping starts inside a slave is in
        // its table, which sysfs does not show.
        for (const std::string& slave : ListDir(dir + "/slaves")) {
            const std::string sdir = Canonical(dir + "/slaves/" + slave);
            if (sdir.empty()) return err::kInvalidData;
            if (ErrorCode e = ExtentsOf(sdir, depth + 1, out); e != err::kSuccess) return e;
        }
        return out.empty() ? err::kInvalidData : err::kSuccess;
    }
    if (depth == 0) return err::kInvalidFunction; // a whole disk is no volume
    DiskExtent x;
    if (!DeviceNumberOfDir(dir, x.diskNumber) || !ReadAttrU64(dir, "size", size) ||
        size > ~0ull / kSysfsSector)
        return err::kInvalidData;
    x.length = size * kSysfsSector;
    out.push_back(x);
    return err::kSuccess;
}

} // namespace

ErrorCode LinuxStorage::Open(const std::string& path, DeviceHandle& handle) {
    handle.Close();
    if (path.empty()) return err::kInvalidParameter;
    if (IsUsbNodePath(path)) return OpenUsbNode(kUsbDevicesDir, path, handle);
    // O_NONBLOCK lets a drive without its medium open; it is cleared again for the I/O.
    bool writable = true;
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        writable = false;
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    }
    if (fd < 0) return ErrorFromErrno(errno);
    auto impl = std::make_unique<LinuxHandle>();
    impl->fd = fd;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return ErrorFromErrno(errno);
    // Devices only: a file or folder by the same name is not a drive.
    if (!S_ISBLK(st.st_mode) && !S_ISCHR(st.st_mode)) return err::kFileNotFound;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    impl->block = S_ISBLK(st.st_mode);
    impl->rdev = st.st_rdev;
    handle.Reset(std::move(impl), writable);
    return err::kSuccess;
}

ErrorCode LinuxStorage::OpenForClone(const std::string& path, CloneOpenMode mode,
                                     DeviceHandle& handle) {
    handle.Close();
    if (path.empty()) return err::kInvalidParameter;
    // O_EXCL on a block device: the kernel refuses it while a partition is mounted or held by
    // device-mapper or md, and refuses mounts while it is open.
    const bool target = mode == CloneOpenMode::kTarget;
    const int flags = target ? (O_RDWR | O_EXCL) : O_RDONLY;
    const int fd = ::open(path.c_str(), flags | O_DIRECT | O_CLOEXEC);
    if (fd < 0) return ErrorFromErrno(errno);
    auto impl = std::make_unique<LinuxHandle>();
    impl->fd = fd;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return ErrorFromErrno(errno);
    if (!S_ISBLK(st.st_mode)) return err::kFileNotFound; // whole disks, not files
    impl->block = true;
    impl->rdev = st.st_rdev;
    handle.Reset(std::move(impl), target);
    return err::kSuccess;
}

ErrorCode LinuxStorage::OpenForQuery(const std::string& path, DeviceHandle& handle) {
    const ErrorCode e = Open(path, handle);
    if (e != err::kAccessDenied) return e;
    // A node the user may not open still names its device; sysfs answers the queries.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return e;
    auto impl = std::make_unique<LinuxHandle>();
    impl->block = true;
    impl->rdev = st.st_rdev;
    handle.Reset(std::move(impl), false);
    return err::kSuccess;
}

bool LinuxStorage::AdmitsExtraBus(std::uint32_t busType) {
    // virtio and Xen disks are what virtual machines and clouds give; loop devices are listed
    // only when asked for, to try the program on an image.
    return busType == bustype::kVirtual || (busType == bustype::kFileBackedVirtual && includeLoop_);
}

const char* LinuxStorage::BusName(std::uint32_t busType) {
    if (busType == bustype::kVirtual) return "Virtio";
    if (busType == bustype::kFileBackedVirtual) return "Loop";
    return BusTypeName(busType);
}

ErrorCode LinuxStorage::OpenLetter(char, DeviceHandle& handle) {
    handle.Close();
    return err::kNotSupported; // no drive letters on Linux
}

ErrorCode LinuxStorage::GetDeviceNumber(DeviceHandle& h, StorageDeviceNumber& out) {
    out = StorageDeviceNumber{};
    LinuxHandle* lh = nullptr;
    std::string dir;
    if (ErrorCode e = BlockDir(h, lh, dir); e != err::kSuccess) return e;
    // Spanned volumes have no number of their own: their disks come from the extents.
    if (IsMappedVolume(dir)) return err::kInvalidFunction;
    // A partition answers with its disk's number, as a partition's volume does on Windows.
    if (!DeviceNumberOfDir(DiskDirOf(dir), out.deviceNumber)) return err::kInvalidData;
    const std::string name = BaseName(DiskDirOf(dir));
    out.deviceType = name.rfind("sr", 0) == 0 ? filedevice::kCdRom : filedevice::kDisk;
    std::uint64_t part = 0;
    if (IsPartitionDir(dir) && ReadAttrU64(dir, "partition", part) && part <= 0xFFFFFFFFu)
        out.partitionNumber = static_cast<std::uint32_t>(part);
    return err::kSuccess;
}

ErrorCode LinuxStorage::QueryDeviceDescriptor(DeviceHandle& h, StorageDeviceDescriptor& out) {
    out = StorageDeviceDescriptor{};
    const SysfsQuery query;
    std::string dir;
    if (ErrorCode e = DiskDir(h, dir); e != err::kSuccess) return e;
    DiskIdentity id = IdentifyDisk(dir);
    MergeUdevRecord(UdevRecordOf(dir), id);
    out.deviceType = id.scsiType;
    out.removableMedia = id.removable;
    out.commandQueueing = id.commandQueueing;
    out.busType = id.busType;
    out.vendor = id.vendor;
    out.product = id.product;
    out.revision = id.revision;
    out.serial = id.serial;
    // `raw` stays empty: there is no descriptor image on Linux.
    return err::kSuccess;
}

ErrorCode LinuxStorage::QueryAdapterDescriptor(DeviceHandle& h, std::vector<std::uint8_t>& raw) {
    (void)h;
    raw.clear();
    return err::kNotSupported; // a Windows storage-port structure; Linux has no equivalent
}

ErrorCode LinuxStorage::QueryTrimEnabled(DeviceHandle& h, bool& enabled) {
    enabled = false;
    LinuxHandle* lh = nullptr;
    std::string dir;
    if (ErrorCode e = BlockDir(h, lh, dir); e != err::kSuccess) return e;
    std::uint64_t maxBytes = 0;
    if (!ReadAttrU64(DiskDirOf(dir), "queue/discard_max_bytes", maxBytes)) return kNotFound;
    enabled = maxBytes > 0;
    return err::kSuccess;
}

ErrorCode LinuxStorage::QueryTemperature(DeviceHandle& h, std::vector<TemperatureInfo>& out) {
    (void)h;
    out.clear();
    return err::kNotSupported; // the SMART and NVMe log readers report it on Linux
}

ErrorCode LinuxStorage::GetHotplugInfo(DeviceHandle& h, std::uint8_t (&info)[8]) {
    std::memset(info, 0, sizeof info);
    std::string dir;
    if (ErrorCode e = DiskDir(h, dir); e != err::kSuccess) return e;
    HotplugInfoOf(dir, info);
    return err::kSuccess;
}

ErrorCode LinuxStorage::GetScsiAddress(DeviceHandle& h, ScsiAddress& out) {
    out = ScsiAddress{};
    std::string dir;
    if (ErrorCode e = DiskDir(h, dir); e != err::kSuccess) return e;
    return ScsiAddressOf(dir, out);
}

ErrorCode LinuxStorage::GetGeometry(DeviceHandle& h, DiskGeometry& out) {
    out = DiskGeometry{};
    LinuxHandle* lh = nullptr;
    std::string dir;
    if (ErrorCode e = BlockDir(h, lh, dir); e != err::kSuccess) return e;
    std::uint32_t ss = 0;
    std::uint64_t length = 0;
    if (ErrorCode e = SizesOf(*lh, dir, ss, length); e != err::kSuccess) return e;
    if (length == 0) return kNotReady;
    // The made-up geometry Windows reports for every disk: 255 heads, 63 sectors per track.
    out.bytesPerSector = ss;
    out.tracksPerCylinder = 255;
    out.sectorsPerTrack = 63;
    out.cylinders = static_cast<std::int64_t>(length / (255ull * 63 * ss));
    out.mediaType = ReadAttr(DiskDirOf(dir), "removable") == "1" ? 11 : 12;
    return err::kSuccess;
}

ErrorCode LinuxStorage::GetLength(DeviceHandle& h, std::uint64_t& bytes) {
    bytes = 0;
    LinuxHandle* lh = nullptr;
    std::string dir;
    if (ErrorCode e = BlockDir(h, lh, dir); e != err::kSuccess) return e;
    std::uint64_t length = 0;
    std::uint32_t ss = 0;
    if (lh->fd < 0) {
        if (ErrorCode e = SysfsSectorSizeAndLength(dir, ss, length); e != err::kSuccess) return e;
    } else if (ErrorCode e = Ioctl(lh->fd, BLKGETSIZE64, &length); e != err::kSuccess) {
        return e;
    }
    if (length == 0) return kNotReady;
    bytes = length;
    return err::kSuccess;
}

ErrorCode LinuxStorage::IsWritable(DeviceHandle& h, bool& writable) {
    writable = false;
    LinuxHandle* lh = HandleOf(h);
    if (lh == nullptr) return err::kInvalidHandle;
    if (!lh->block) return err::kInvalidFunction;
    int ro = 0;
    if (ErrorCode e = Ioctl(lh->fd, BLKROGET, &ro); e != err::kSuccess) return e;
    writable = ro == 0;
    return err::kSuccess;
}

ErrorCode LinuxStorage::GetMountDeviceName(DeviceHandle& h, std::u16string& name) {
    (void)h;
    name.clear();
    return err::kNotSupported; // the mount manager's names exist on Windows only
}

ErrorCode LinuxStorage::GetVolumeExtents(DeviceHandle& h, std::vector<DiskExtent>& out) {
    out.clear();
    LinuxHandle* lh = nullptr;
    std::string dir;
    if (ErrorCode e = BlockDir(h, lh, dir); e != err::kSuccess) return e;
    std::vector<DiskExtent> extents;
    if (ErrorCode e = ExtentsOf(dir, 0, extents); e != err::kSuccess) return e;
    out = std::move(extents);
    return err::kSuccess;
}

ErrorCode LinuxStorage::GetPartitionInfo(DeviceHandle& h, PartitionEntry& out) {
    out = PartitionEntry{};
    LinuxHandle* lh = nullptr;
    std::string dir;
    if (ErrorCode e = BlockDir(h, lh, dir); e != err::kSuccess) return e;
    if (!IsPartitionDir(dir)) {
        // A whole disk or a mapped volume is one partition from 0, in its disk's style.
        std::uint64_t length = 0;
        if (ErrorCode e = GetLength(h, length); e != err::kSuccess) return e;
        DriveLayout layout;
        out.style = layoutstyle::kRaw;
        if (!IsMappedVolume(dir) && LayoutOfFd(lh->fd, layout) == err::kSuccess)
            out.style = layout.style;
        out.length = length;
        return err::kSuccess;
    }
    std::uint64_t start = 0, size = 0, number = 0;
    if (!ReadAttrU64(dir, "start", start) || !ReadAttrU64(dir, "size", size) ||
        !ReadAttrU64(dir, "partition", number) || start > ~0ull / kSysfsSector ||
        size > ~0ull / kSysfsSector || number > 0xFFFFFFFFu)
        return err::kInvalidData;
    DriveLayout layout;
    const PartitionEntry* entry = nullptr;
    if (LayoutOfDiskDir(ParentDir(dir), layout) == err::kSuccess)
        entry = FindLayoutPartition(layout, start * kSysfsSector);
    // The kernel's view of place and size wins; the table adds type, name and identifiers. A
    // partition the table does not show (added by hand) stays RAW.
    if (entry != nullptr)
        out = *entry;
    else
        out.style = layoutstyle::kRaw;
    out.startingOffset = start * kSysfsSector;
    out.length = size * kSysfsSector;
    out.number = static_cast<std::uint32_t>(number);
    return err::kSuccess;
}

ErrorCode LinuxStorage::GetDriveLayout(DeviceHandle& h, DriveLayout& out) {
    out = DriveLayout{};
    LinuxHandle* lh = nullptr;
    std::string dir;
    if (ErrorCode e = BlockDir(h, lh, dir); e != err::kSuccess) return e;
    if (IsMappedVolume(dir)) return err::kInvalidFunction;
    if (IsPartitionDir(dir)) return LayoutOfDiskDir(ParentDir(dir), out);
    if (lh->fd < 0) return LayoutOfSysfs(dir, lh->rdev, out);
    return LayoutOfFd(lh->fd, out);
}

// Writing tables belongs to the clone's layout writer on Linux, which writes the sectors itself
// and has the kernel re-read them; there is no kernel request that builds a table.
ErrorCode LinuxStorage::CreateMbrLayout(DeviceHandle& h, std::uint32_t signature,
                                        const std::vector<PartitionEntry>& partitions) {
    (void)h;
    (void)signature;
    (void)partitions;
    return err::kNotSupported;
}

ErrorCode LinuxStorage::FlushBuffers(DeviceHandle& h) {
    LinuxHandle* lh = HandleOf(h);
    if (lh == nullptr) return err::kInvalidHandle;
    return ::fdatasync(lh->fd) == 0 ? err::kSuccess : ErrorFromErrno(errno);
}

// As the simulation and Windows do: the first and last 34 logical sectors (MBR, both GPT headers
// and their arrays) are zeroed; the caller has the kernel re-read the table.
ErrorCode LinuxStorage::DeleteLayout(DeviceHandle& h) {
    LinuxHandle* lh = HandleOf(h);
    if (lh == nullptr) return err::kInvalidHandle;
    if (!lh->block) return err::kInvalidFunction;
    if (!h.Writable()) return err::kAccessDenied;
    int ss = 0;
    std::uint64_t bytes = 0;
    if (ErrorCode e = Ioctl(lh->fd, BLKSSZGET, &ss); e != err::kSuccess) return e;
    if (ErrorCode e = Ioctl(lh->fd, BLKGETSIZE64, &bytes); e != err::kSuccess) return e;
    if (ss < 512 || ss > 65536 || bytes < static_cast<std::uint64_t>(ss)) return err::kInvalidData;
    constexpr std::uint64_t kLayoutSectors = 34;
    const std::uint64_t span = std::min<std::uint64_t>(kLayoutSectors * ss, bytes);
    // Page-aligned zeros: the handle may bypass the cache.
    AlignedBuffer zeros;
    if (!zeros.Allocate(static_cast<std::size_t>(span))) return err::kNotEnoughMemory;
    if (ErrorCode e = WriteError(lh->fd, WriteFull(lh->fd, 0, zeros.View()))) return e;
    return WriteError(lh->fd, WriteFull(lh->fd, bytes - span, zeros.View()));
}

ErrorCode LinuxStorage::TrimRange(DeviceHandle& h, std::uint64_t offset, std::uint64_t length) {
    LinuxHandle* lh = HandleOf(h);
    if (lh == nullptr) return err::kInvalidHandle;
    if (!lh->block) return err::kInvalidFunction;
    if (!h.Writable()) return err::kAccessDenied;
    if (length == 0 || offset > ~0ull - length) return err::kInvalidParameter;
    std::uint64_t range[2] = {offset, length};
    return WriteError(lh->fd, Ioctl(lh->fd, BLKDISCARD, range));
}

ErrorCode LinuxStorage::ReadAt(DeviceHandle& h, std::uint64_t offset, MutableByteView data) {
    LinuxHandle* lh = HandleOf(h);
    if (lh == nullptr) return err::kInvalidHandle;
    return ReadFull(lh->fd, offset, data);
}

ErrorCode LinuxStorage::WriteAt(DeviceHandle& h, std::uint64_t offset, ByteView data) {
    LinuxHandle* lh = HandleOf(h);
    if (lh == nullptr) return err::kInvalidHandle;
    if (!h.Writable()) return err::kAccessDenied;
    return WriteError(lh->fd, WriteFull(lh->fd, offset, data));
}

// The descriptor behind a handle of this back end, for the command pass-through.
int linuxsys::HandleFd(DeviceHandle& h) {
    LinuxHandle* lh = HandleOf(h);
    return lh ? lh->fd : -1;
}

} // namespace tvd
