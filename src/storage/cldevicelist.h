// Typed lists of device objects and their enumeration over the storage back end.
//
// A list owns its objects. It never holds two objects with the same device-instance key: a
// device whose key is still held by a removed object (not yet deleted by the registry's tick)
// is left out and the list is marked deferred; the registry refreshes a deferred list right
// after its tick deleted the removed objects, so a re-plugged device comes back as a new
// object only once the old one is gone.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "foundation/clzoltitemlist.h"
#include "foundation/errorcodes.h"
#include "storage/cldevice.h"
#include "storage/storageplatform.h"

namespace tvd {

class clDeviceList : public clZoltObjectList {
public:
    ~clDeviceList() override;

    // Enumerates and registers, once, for the device-change notifications of the list's
    // classes. A back end without windows (Linux, simulation) may accept a null window and
    // deliver its events through PollEvents; one that needs a window refuses, which is ignored.
    virtual ErrorCode Enumerate(void* window);
    // Enumerates only: adds the devices not yet listed (state new).
    virtual ErrorCode Refresh() = 0;
    // Unregisters the list's notifications.
    virtual void StopNotifications();

    std::uint16_t Type() const noexcept { return type_; }

    // Appends an object this list then owns (state new). Refuses (and deletes) an object of
    // another type; false when it could not be linked.
    bool AppendDevice(std::unique_ptr<clDevice> device);

    // Lookups; all skip objects in state removed.
    clDevice* FirstDevice() const;
    clDevice* NextDevice(const clDevice* device) const;
    clDevice* FindByDevInst(std::uint32_t devInst) const;
    // Case-insensitive; a leading \\?\ or \\.\ of `path` is ignored. An empty path finds none.
    clDevice* FindByPath(std::string_view path) const;
    // Drive-letter objects, case-insensitive letter.
    clDrive* FindByLetter(char letter) const;
    // Disk objects whose GetDeviceNumber equals `number`; a negative number finds none.
    clDisk* FindByDeviceNumber(std::int64_t number) const;

    // The drive-letter object of this letter in any state, removed ones included.
    clDrive* HolderOfLetter(char letter) const;
    // Whether the list holds an object in state removed.
    bool HasRemoved() const;
    // A device was left out because a removed object still holds its key.
    bool Deferred() const noexcept { return deferred_; }
    void SetDeferred() noexcept { deferred_ = true; }

protected:
    explicit clDeviceList(std::uint16_t type) noexcept : type_(type) {}

    // The classes whose notifications Enumerate registers.
    virtual std::vector<DeviceClass> NotificationClasses() const { return {}; }

    // The object of any state holding this key, removed ones included.
    clDevice* HolderOfDevInst(std::uint32_t devInst) const;
    // Interface enumeration of one class: started devices not yet listed, each with the path of
    // its own interface (prefix removed, kept only when it opens or is refused for lack of
    // rights, upper-cased on Windows). `make` creates the object of the list's kind.
    ErrorCode EnumerateInterfaces(DeviceClass cls,
                                  const std::function<std::unique_ptr<clDevice>()>& make);

    bool deferred_ = false;

private:
    std::uint16_t type_;
    std::vector<void*> tokens_;
};

// Unlinks a device from its owning list and deletes it (the tick callback's way of disposing
// of a removed object). Null is ignored.
void DeleteDevice(clDevice* device) noexcept;

class clDiskList : public clDeviceList {
protected:
    clDiskList() noexcept : clDeviceList(devtype::kDisk) {}
};

class clWinDiskList : public clDiskList {};

class clNtDiskList : public clWinDiskList {
public:
    ErrorCode Refresh() override;

protected:
    std::vector<DeviceClass> NotificationClasses() const override {
        return {DeviceClass::kDiskInterface};
    }
};

class clDriveList : public clDeviceList {
protected:
    clDriveList() noexcept : clDeviceList(devtype::kDrive) {}
};

class clWinDriveList : public clDriveList {};

// Drive letters; volume messages arrive without registration, so it registers nothing.
class clNtDriveList : public clWinDriveList {
public:
    ErrorCode Refresh() override;
};

class clVolumeList : public clDeviceList {
protected:
    clVolumeList() noexcept : clDeviceList(devtype::kVolume) {}
};

class clWinVolumeList : public clVolumeList {
public:
    ErrorCode Refresh() override;

protected:
    std::vector<DeviceClass> NotificationClasses() const override {
        return {DeviceClass::kVolumeInterface};
    }
};

class clUsbList : public clDeviceList {
protected:
    clUsbList() noexcept : clDeviceList(devtype::kUsb) {}
};

class clWinUsbList : public clUsbList {
public:
    // Host controllers, their numbering, hubs, devices, then the remaining nodes of the USB
    // setup class (unclassified).
    ErrorCode Refresh() override;

protected:
    std::vector<DeviceClass> NotificationClasses() const override {
        return {DeviceClass::kUsbHostControllerIface, DeviceClass::kUsbHubInterface,
                DeviceClass::kUsbDeviceInterface, DeviceClass::kUsbSetupClass};
    }

private:
    void NumberHostControllers();
};

} // namespace tvd
