#include "storage/cldevice.h"

#include "storage/storageplatform.h"
#include "storage/devicehandleutil.h"

namespace tvd {

namespace {
char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
} // namespace

std::string_view StripDevicePrefix(std::string_view path) {
    if (path.size() >= 4 && path[0] == '\\' && path[1] == '\\' &&
        (path[2] == '?' || path[2] == '.') && path[3] == '\\')
        path.remove_prefix(4);
    return path;
}

bool PathEqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    return true;
}

void clDevice::MarkRemoved() noexcept {
    state_ = devstate::kRemoved;
    if (!path_.empty()) CloseDevice(path_);
}

void clDevice::MarkChanged() noexcept {
    DropDescription();
    if (state_ == devstate::kCurrent) state_ = devstate::kChanged;
}

// ---- clNtDisk

std::int64_t clNtDisk::GetDeviceNumber() {
    if (deviceNumber_ != -1) return deviceNumber_;
    if (Path().empty()) return -1;
    DeviceHandle h;
    StorageDeviceNumber number;
    if (OpenDeviceForQuery(Path(), h) != err::kSuccess) return -1;
    if (Storage().GetDeviceNumber(h, number) != err::kSuccess) return -1;
    if (number.deviceType != filedevice::kDisk) return -1;
    deviceNumber_ = number.deviceNumber;
    return deviceNumber_;
}

const char* clNtDisk::GetDescription() {
    if (!description_) {
        std::string name;
        if (Storage().GetProperty(DevInst(), DeviceProperty::kFriendlyName, name) != err::kSuccess)
            return nullptr;
        description_ = std::move(name);
    }
    return description_->c_str();
}

const StorageDeviceDescriptor* clNtDisk::Descriptor() {
    if (descriptor_) return &*descriptor_;
    if (Path().empty()) return nullptr;
    DeviceHandle h;
    StorageDeviceDescriptor d;
    if (OpenDeviceForQuery(Path(), h) != err::kSuccess) return nullptr;
    if (Storage().QueryDeviceDescriptor(h, d) != err::kSuccess) return nullptr;
    descriptor_ = std::move(d);
    return &*descriptor_;
}

std::uint32_t clNtDisk::GetBusType() {
    const StorageDeviceDescriptor* d = Descriptor();
    return d ? d->busType : bustype::kUnknown;
}

bool clNtDisk::IsRemovable() {
    const StorageDeviceDescriptor* d = Descriptor();
    return d && d->removableMedia;
}

bool clNtDisk::ReadGeometry(DiskGeometry& out) {
    if (Path().empty()) return false;
    DeviceHandle h;
    if (OpenDeviceForQuery(Path(), h) != err::kSuccess) return false;
    return Storage().GetGeometry(h, out) == err::kSuccess;
}

bool clNtDisk::HasMedia() {
    DiskGeometry g;
    return ReadGeometry(g) && g.bytesPerSector != 0 && g.cylinders != 0;
}

std::uint32_t clNtDisk::GetSectorSize() {
    DiskGeometry g;
    return ReadGeometry(g) ? g.bytesPerSector : 0;
}

// The length request exists on every system the back ends support (Windows Vista and later,
// Linux), so the SCSI READ CAPACITY fallback of older Windows versions is not needed.
std::uint64_t clNtDisk::GetCapacity() {
    if (Path().empty()) return 0;
    DeviceHandle h;
    std::uint64_t bytes = 0;
    if (OpenDeviceForQuery(Path(), h) != err::kSuccess) return 0;
    if (Storage().GetLength(h, bytes) != err::kSuccess) return 0;
    return bytes;
}

// ---- clWinDrive, clWinUsb, clNtVolume

const char* clWinDrive::GetDescription() {
    if (!description_) {
        std::string name;
        if (Storage().DriveDisplayName(Letter(), name) != err::kSuccess) return nullptr;
        description_ = std::move(name);
    }
    return description_->c_str();
}

const char* clWinUsb::GetDescription() {
    if (!description_) {
        std::string name;
        if (Storage().GetProperty(DevInst(), DeviceProperty::kDeviceDesc, name) != err::kSuccess)
            return nullptr;
        description_ = std::move(name);
    }
    return description_->c_str();
}

std::vector<std::string> clNtVolume::MountPoints() {
    if (Path().empty()) return {};
    return Storage().MountPoints(Path());
}

} // namespace tvd
