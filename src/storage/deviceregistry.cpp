#include "storage/deviceregistry.h"
#include "storage/devicehandleutil.h"

namespace tvd {

namespace {

bool LetterHasDisk(char letter) {
    const std::uint32_t type = Storage().DriveType(letter);
    return type == drivetype::kRemovable || type == drivetype::kFixed;
}

// The only extent of an open volume, when it has exactly one.
bool SingleExtent(DeviceHandle& h, DiskExtent& out) {
    std::vector<DiskExtent> extents;
    if (Storage().GetVolumeExtents(h, extents) != err::kSuccess || extents.size() != 1)
        return false;
    out = extents.front();
    return true;
}

bool ExtentMatches(const DiskExtent& e, std::int64_t diskNumber, std::uint64_t offset,
                   std::uint64_t* length) {
    if (e.diskNumber != diskNumber || e.startingOffset != offset) return false;
    if (length) *length = e.length;
    return true;
}

} // namespace

bool DeviceRegistry::RegisterList(std::unique_ptr<clDeviceList> list) {
    if (!list || lists_.size() >= kMaxLists) return false;
    hasTable_ = true;
    lists_.push_back(std::move(list));
    return true;
}

// The refresh-pending flag starts set and EnumerateAll clears it. The kernel enumerates once at
// start and then polls: clearing here lets the very first poll announce the devices just found
// instead of spending that tick (and, with a countdown, ten more) enumerating them again. The
// flag still makes a registry that is ticked before any EnumerateAll enumerate at the first tick.
void DeviceRegistry::EnumerateAll(void* window) {
    const DeviceBurst burst; // every list asks the same disks: each opens once
    refreshPending_ = false;
    countdown_ = 0;
    for (auto& list : lists_)
        list->Enumerate(window);
}

void DeviceRegistry::Tick(const TickCallback& callback) {
    if (!hasTable_) return;
    const DeviceBurst burst;
    if (refreshPending_) {
        if (countdown_ > 0) --countdown_;
        if (countdown_ == 0) {
            refreshPending_ = false;
            for (auto& list : lists_)
                list->Refresh();
        }
        return;
    }
    if (callback) {
        for (auto& list : lists_) {
            clZoltObject* next = nullptr;
            for (clZoltObject* o = list->First(); o; o = next) {
                next = o->Next();
                callback(*static_cast<clDevice*>(o));
            }
        }
    }
    for (auto& list : lists_)
        if (list->Deferred() && !list->HasRemoved()) list->Refresh();
}

void DeviceRegistry::SetRefreshPending() {
    refreshPending_ = true;
    countdown_ = kRefreshTicks;
}

void DeviceRegistry::OnVolumeEvent(const DeviceEvent& event, bool arrival) {
    clDeviceList* drives = FindList(devtype::kDrive);
    if (!drives) return;
    for (int i = 0; i < 26; ++i) {
        if ((event.unitMask & (1u << i)) == 0) continue;
        const char letter = static_cast<char>('A' + i);
        clDrive* drive = drives->FindByLetter(letter);
        if (event.media) {
            if (drive) drive->MarkChanged();
        } else if (!arrival) {
            if (drive) drive->MarkRemoved();
        } else if (!drive) {
            if (drives->HolderOfLetter(letter))
                drives->SetDeferred(); // comes back once the removed object is deleted
            else
                drives->AppendDevice(std::make_unique<clWinDrive>(letter));
        }
    }
}

void DeviceRegistry::OnDeviceEvent(const DeviceEvent& event) {
    using Kind = DeviceEvent::Kind;
    switch (event.kind) {
    case Kind::kNodesChanged:
    case Kind::kNodeArrival:
    case Kind::kInterfaceArrival:
        SetRefreshPending();
        break;
    case Kind::kVolumeArrival:
        OnVolumeEvent(event, true);
        break;
    case Kind::kVolumeRemoved:
        OnVolumeEvent(event, false);
        break;
    case Kind::kNodeRemoved:
        // Key 0 names no device node (drive letters carry it).
        if (event.devInst != 0)
            if (clDevice* d = FindByDevInst(event.devInst)) d->MarkRemoved();
        break;
    case Kind::kInterfaceRemoved:
        if (clDevice* d = FindByPath(event.path)) d->MarkRemoved();
        break;
    case Kind::kMediaInserted:
    case Kind::kMediaRemoved:
        if (clDeviceList* drives = FindList(devtype::kDrive))
            if (clDrive* d = drives->FindByLetter(event.letter)) d->MarkChanged();
        break;
    case Kind::kIgnored:
        break;
    }
}

std::size_t DeviceRegistry::PollDeviceEvents() {
    std::vector<DeviceEvent> events;
    Storage().PollEvents(events);
    for (const DeviceEvent& e : events)
        OnDeviceEvent(e);
    return events.size();
}

clDeviceList* DeviceRegistry::FindList(std::uint16_t type) const {
    for (const auto& list : lists_)
        if (list->Type() == type) return list.get();
    return nullptr;
}

void DeviceRegistry::ShutdownAll() {
    for (auto& list : lists_)
        list->StopNotifications();
    lists_.clear();
    lists_.shrink_to_fit();
    hasTable_ = false;
    refreshPending_ = true;
    countdown_ = 0;
}

clDevice* DeviceRegistry::FindByDevInst(std::uint32_t devInst) const {
    for (const auto& list : lists_)
        if (clDevice* d = list->FindByDevInst(devInst)) return d;
    return nullptr;
}

clDevice* DeviceRegistry::FindByPath(std::string_view path) const {
    for (const auto& list : lists_)
        if (clDevice* d = list->FindByPath(path)) return d;
    return nullptr;
}

clDisk* DeviceRegistry::FindDiskByLetter(char letter) const {
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    if (letter < 'A' || letter > 'Z' || !LetterHasDisk(letter)) return nullptr;
    clDeviceList* disks = FindList(devtype::kDisk);
    if (!disks) return nullptr;
    std::int64_t number = -1;
    {
        DeviceHandle h;
        if (Storage().OpenLetter(letter, h) != err::kSuccess) return nullptr;
        StorageDeviceNumber n;
        if (Storage().GetDeviceNumber(h, n) == err::kSuccess && n.deviceType == filedevice::kDisk &&
            n.deviceNumber != -1) {
            number = n.deviceNumber;
        } else {
            // A volume of several extents (or one the device-number request does not know)
            // belongs to the disk of its first extent.
            std::vector<DiskExtent> extents;
            if (Storage().GetVolumeExtents(h, extents) == err::kSuccess && !extents.empty())
                number = extents.front().diskNumber;
        }
    }
    return disks->FindByDeviceNumber(number);
}

std::uint32_t DeviceRegistry::DiskLetterMask(const clDisk* disk) const {
    clDeviceList* drives = FindList(devtype::kDrive);
    if (!disk || !drives) return 0;
    std::uint32_t mask = 0;
    for (clDevice* d = drives->FirstDevice(); d; d = drives->NextDevice(d)) {
        const char letter = static_cast<clDrive*>(d)->Letter();
        if (letter >= 'A' && letter <= 'Z' && FindDiskByLetter(letter) == disk)
            mask |= 1u << (letter - 'A');
    }
    return mask;
}

clDrive* DeviceRegistry::FindDriveByExtent(std::int64_t diskNumber, std::uint64_t offset,
                                           std::uint64_t* length) const {
    clDeviceList* drives = FindList(devtype::kDrive);
    if (!drives || diskNumber < 0) return nullptr;
    for (clDevice* d = drives->FirstDevice(); d; d = drives->NextDevice(d)) {
        auto* drive = static_cast<clDrive*>(d);
        if (!LetterHasDisk(drive->Letter())) continue;
        DeviceHandle h;
        DiskExtent extent;
        if (Storage().OpenLetter(drive->Letter(), h) != err::kSuccess) continue;
        if (SingleExtent(h, extent) && ExtentMatches(extent, diskNumber, offset, length))
            return drive;
    }
    return nullptr;
}

clVolume* DeviceRegistry::FindVolumeByExtent(std::int64_t diskNumber, std::uint64_t offset,
                                             std::uint64_t* length) const {
    clDeviceList* volumes = FindList(devtype::kVolume);
    if (!volumes || diskNumber < 0) return nullptr;
    for (clDevice* d = volumes->FirstDevice(); d; d = volumes->NextDevice(d)) {
        if (d->Path().empty()) continue;
        DeviceHandle h;
        DiskExtent extent;
        if (OpenDevice(d->Path(), h) != err::kSuccess) continue;
        if (SingleExtent(h, extent) && ExtentMatches(extent, diskNumber, offset, length))
            return static_cast<clVolume*>(d);
    }
    return nullptr;
}

clUsb* DeviceRegistry::UsbNodeOfDisk(clDisk* disk) const {
    clDeviceList* usbs = FindList(devtype::kUsb);
    if (!disk || !usbs || disk->GetBusType() != bustype::kUsb) return nullptr;
    const std::uint32_t parent = Storage().ParentOf(disk->DevInst());
    if (parent == 0) return nullptr;
    auto* node = static_cast<clUsb*>(usbs->FindByDevInst(parent));
    if (!node) return nullptr;
    if (node->NodeKind() == usbkind::kUnclassified) node->SetNodeKind(usbkind::kDevice);
    return node->NodeKind() == usbkind::kDevice ? node : nullptr;
}

// ---- the process's registry

DeviceRegistry& ProcessDeviceRegistry() {
    // Never destroyed: the kernel shuts it down at stop, and static destruction must not reach
    // a back end that may already be gone.
    static DeviceRegistry* registry = new DeviceRegistry();
    return *registry;
}

bool RegisterList(std::unique_ptr<clDeviceList> list) {
    return ProcessDeviceRegistry().RegisterList(std::move(list));
}
void EnumerateAll(void* window) {
    ProcessDeviceRegistry().EnumerateAll(window);
}
void Tick(const DeviceRegistry::TickCallback& callback) {
    ProcessDeviceRegistry().Tick(callback);
}
void OnDeviceEvent(const DeviceEvent& event) {
    ProcessDeviceRegistry().OnDeviceEvent(event);
}
std::size_t PollDeviceEvents() {
    return ProcessDeviceRegistry().PollDeviceEvents();
}
clDeviceList* FindList(std::uint16_t type) {
    return ProcessDeviceRegistry().FindList(type);
}
void ShutdownAll() {
    ProcessDeviceRegistry().ShutdownAll();
}
clDisk* FindDiskByLetter(char letter) {
    return ProcessDeviceRegistry().FindDiskByLetter(letter);
}
std::uint32_t DiskLetterMask(const clDisk* disk) {
    return ProcessDeviceRegistry().DiskLetterMask(disk);
}
clDrive* FindDriveByExtent(std::int64_t diskNumber, std::uint64_t offset, std::uint64_t* length) {
    return ProcessDeviceRegistry().FindDriveByExtent(diskNumber, offset, length);
}
clVolume* FindVolumeByExtent(std::int64_t diskNumber, std::uint64_t offset, std::uint64_t* length) {
    return ProcessDeviceRegistry().FindVolumeByExtent(diskNumber, offset, length);
}
clUsb* UsbNodeOfDisk(clDisk* disk) {
    return ProcessDeviceRegistry().UsbNodeOfDisk(disk);
}

} // namespace tvd
