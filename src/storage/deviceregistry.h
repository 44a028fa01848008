// The device registry: the typed device lists of the machine, kept current from device-change
// events and refreshed by a periodic tick. Used only by the kernel's UI thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "storage/cldevicelist.h"

namespace tvd {

class DeviceRegistry {
public:
    static constexpr std::size_t kMaxLists = 11;
    static constexpr int kRefreshTicks = 10;

    // Called by Tick for every object of every list. It may delete the object it is given (see
    // DeleteDevice), but no other.
    using TickCallback = std::function<void(clDevice& device)>;

    DeviceRegistry() = default;
    DeviceRegistry(const DeviceRegistry&) = delete;
    DeviceRegistry& operator=(const DeviceRegistry&) = delete;
    ~DeviceRegistry() { ShutdownAll(); }

    // Takes the list; false (and the list is deleted) when it is null or the table is full.
    bool RegisterList(std::unique_ptr<clDeviceList> list);
    // Clears the pending refresh, then enumerates every list in table order.
    void EnumerateAll(void* window);
    // A pending refresh counts down and runs (nothing else happens in such a tick); otherwise
    // the callback sees every object, and lists that left a device out for a removed object
    // still holding its key are refreshed once that object is gone.
    void Tick(const TickCallback& callback);
    void OnDeviceEvent(const DeviceEvent& event);
    // Hands the events the back end collected without window messages to OnDeviceEvent;
    // answers their number.
    std::size_t PollDeviceEvents();
    // The first registered list of this type code.
    clDeviceList* FindList(std::uint16_t type) const;
    // Stops every list's notifications, deletes the lists and the table; the registry is then
    // as new (a refresh pending).
    void ShutdownAll();

    bool HasTable() const noexcept { return hasTable_; }
    std::size_t ListCount() const noexcept { return lists_.size(); }
    bool RefreshPending() const noexcept { return refreshPending_; }
    int RefreshCountdown() const noexcept { return countdown_; }

    // Lookups over all lists, skipping removed objects.
    clDevice* FindByDevInst(std::uint32_t devInst) const;
    clDevice* FindByPath(std::string_view path) const;

    // The disk behind a removable or fixed drive letter; none for other drive types.
    clDisk* FindDiskByLetter(char letter) const;
    // Bit (letter - 'A') for every present drive-letter object whose disk is `disk`.
    std::uint32_t DiskLetterMask(const clDisk* disk) const;
    // The first removable or fixed drive letter (volume) whose only extent starts at `offset`
    // on disk `diskNumber`; `length` receives the extent's length. A volume of several extents
    // never matches.
    clDrive* FindDriveByExtent(std::int64_t diskNumber, std::uint64_t offset,
                               std::uint64_t* length = nullptr) const;
    clVolume* FindVolumeByExtent(std::int64_t diskNumber, std::uint64_t offset,
                                 std::uint64_t* length = nullptr) const;
    // The USB device node a USB disk hangs on (its parent node); an unclassified node found so
    // is classified as a device.
    clUsb* UsbNodeOfDisk(clDisk* disk) const;

private:
    void SetRefreshPending();
    void OnVolumeEvent(const DeviceEvent& event, bool arrival);

    std::vector<std::unique_ptr<clDeviceList>> lists_;
    bool hasTable_ = false;
    // Set with a zero countdown while nothing has been enumerated: a tick before EnumerateAll
    // enumerates at once. EnumerateAll clears it, so the tick right after the kernel's start
    // already announces the devices found (see EnumerateAll).
    bool refreshPending_ = true;
    int countdown_ = 0;
};

// The registry of the process.
DeviceRegistry& ProcessDeviceRegistry();

// The operations of the process's registry.
bool RegisterList(std::unique_ptr<clDeviceList> list);
void EnumerateAll(void* window);
void Tick(const DeviceRegistry::TickCallback& callback);
void OnDeviceEvent(const DeviceEvent& event);
std::size_t PollDeviceEvents();
clDeviceList* FindList(std::uint16_t type);
void ShutdownAll();
clDisk* FindDiskByLetter(char letter);
std::uint32_t DiskLetterMask(const clDisk* disk);
clDrive* FindDriveByExtent(std::int64_t diskNumber, std::uint64_t offset,
                           std::uint64_t* length = nullptr);
clVolume* FindVolumeByExtent(std::int64_t diskNumber, std::uint64_t offset,
                             std::uint64_t* length = nullptr);
clUsb* UsbNodeOfDisk(clDisk* disk);

} // namespace tvd
