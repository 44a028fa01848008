// Device objects of the registry: physical disks, drive letters, volumes and USB nodes. Each is
// owned by its device list; every query goes through the storage back end (Storage()) and opens
// the device only for the query, so no handle stays open while the program is idle.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/clzoltitem.h"
#include "storage/storagetypes.h"

namespace tvd {

// Removes a leading \\?\ or \\.\ from an interface path.
std::string_view StripDevicePrefix(std::string_view path);
// ASCII case-insensitive equality (device paths, driver keys).
bool PathEqualsNoCase(std::string_view a, std::string_view b);

// The type code names the class: objects of type 2 are clDisk, 1 clDrive, 5 clUsb, 8 clVolume.
class clDevice : public clZoltObject {
public:
    // Device number of the object (disks only); -1 when none.
    virtual std::int64_t GetDeviceNumber() { return -1; }
    // Cached human-readable name, fetched on first use; null when none.
    virtual const char* GetDescription() { return nullptr; }
    // The path to open the device with; null when none.
    virtual const char* GetPath() { return nullptr; }

    std::uint16_t Type() const noexcept { return type_; }
    std::uint16_t State() const noexcept { return state_; }
    void SetState(std::uint16_t state) noexcept { state_ = state; }
    bool IsRemoved() const noexcept { return state_ == devstate::kRemoved; }
    std::uint32_t DevInst() const noexcept { return devInst_; }
    void SetDevInst(std::uint32_t devInst) noexcept { devInst_ = devInst; }
    std::uint32_t SubKey() const noexcept { return subKey_; }
    // The registry path (prefix removed; upper-cased on Windows); empty when none.
    const std::string& Path() const noexcept { return path_; }
    void SetPath(std::string path) { path_ = std::move(path); }

    // Medium inserted or removed: the cached description is dropped, and an announced object
    // becomes changed (a new one stays new, so that it is still announced as new).
    void MarkChanged() noexcept;
    // The device left: a burst's handle of its path goes too, so that a drive arriving at the
    // same path is opened afresh.
    void MarkRemoved() noexcept;
    void DropDescription() noexcept { description_.reset(); }

protected:
    explicit clDevice(std::uint16_t type) noexcept : type_(type) {}
    // The path field as GetPath answers it.
    const char* PathOrNull() const noexcept { return path_.empty() ? nullptr : path_.c_str(); }
    std::optional<std::string> description_;

private:
    std::string path_;
    std::uint16_t type_;
    std::uint16_t state_ = devstate::kNew;
    std::uint32_t devInst_ = 0;
    std::uint32_t subKey_ = 0;
};

class clDisk : public clDevice {
public:
    clDisk() noexcept : clDevice(devtype::kDisk) {}

    virtual std::uint32_t GetBusType() { return bustype::kUnknown; }
    virtual bool IsUsb() { return false; }
    virtual bool IsRemovable() { return false; }
    virtual bool HasMedia() { return false; }
    virtual std::uint32_t GetSectorSize() { return 0; }
    virtual std::uint64_t GetCapacity() { return 0; }

    // USB bridge chip identifier; 0 until the bridge identification has run.
    std::uint16_t ChipId() const noexcept { return chipId_; }
    void SetChipId(std::uint16_t chipId) noexcept { chipId_ = chipId; }

private:
    std::uint16_t chipId_ = 0;
};

class clNtDisk : public clDisk {
public:
    // Cached while the answer names a disk; any other answer is asked again next time.
    std::int64_t GetDeviceNumber() override;
    // The device node's friendly name.
    const char* GetDescription() override;
    const char* GetPath() override { return PathOrNull(); }
    std::uint32_t GetBusType() override;
    bool IsUsb() override { return GetBusType() == bustype::kUsb; }
    bool IsRemovable() override;
    bool HasMedia() override;
    std::uint32_t GetSectorSize() override;
    std::uint64_t GetCapacity() override;

    // The storage device descriptor, queried once per object (a failed query is retried);
    // null when it cannot be read.
    const StorageDeviceDescriptor* Descriptor();

private:
    bool ReadGeometry(DiskGeometry& out);

    std::int64_t deviceNumber_ = -1;
    std::optional<StorageDeviceDescriptor> descriptor_;
};

class clDrive : public clDevice {
public:
    explicit clDrive(char letter) noexcept : clDevice(devtype::kDrive), letter_(letter) {}
    // Upper-case 'A'-'Z'.
    char Letter() const noexcept { return letter_; }

private:
    char letter_;
};

class clWinDrive : public clDrive {
public:
    using clDrive::clDrive;
    // The shell's display name of the letter's root.
    const char* GetDescription() override;
};

namespace usbkind {
inline constexpr std::uint8_t kHostController = 1;
inline constexpr std::uint8_t kHub = 2;
inline constexpr std::uint8_t kDevice = 3;
inline constexpr std::uint8_t kUnclassified = 255;
} // namespace usbkind

class clUsb : public clDevice {
public:
    explicit clUsb(std::uint8_t kind) noexcept : clDevice(devtype::kUsb), kind_(kind) {}

    std::uint8_t NodeKind() const noexcept { return kind_; }
    void SetNodeKind(std::uint8_t kind) noexcept { kind_ = kind; }
    // Host-controller number (1-based); none while unknown.
    std::optional<std::uint32_t> HostControllerNumber() const noexcept { return hcNumber_; }
    void SetHostControllerNumber(std::uint32_t number) noexcept { hcNumber_ = number; }

private:
    std::uint8_t kind_;
    std::optional<std::uint32_t> hcNumber_;
};

class clWinUsb : public clUsb {
public:
    using clUsb::clUsb;
    // The device node's device description.
    const char* GetDescription() override;
    const char* GetPath() override { return PathOrNull(); }
};

class clVolume : public clDevice {
public:
    clVolume() noexcept : clDevice(devtype::kVolume) {}
    // Where the volume is mounted (platforms without drive letters); empty when nowhere.
    virtual std::vector<std::string> MountPoints() { return {}; }
};

class clNtVolume : public clVolume {
public:
    const char* GetPath() override { return PathOrNull(); }
    std::vector<std::string> MountPoints() override;
};

} // namespace tvd
