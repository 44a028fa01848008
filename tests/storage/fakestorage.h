// A scriptable storage back end for the registry tests: devices per class, what opens, what each
// opened path or letter answers, parent nodes, properties, letters. It records what was asked
// so tests can tell a cached answer from a fresh query and an open handle from a closed one.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "storage/storageplatform.h"

namespace tvd::test {

class FakeStorage : public StoragePlatform {
public:
    // What an opened path or letter answers; an unset answer fails with kInvalidFunction.
    struct Target {
        std::optional<StorageDeviceNumber> number;
        std::optional<StorageDeviceDescriptor> descriptor;
        std::optional<DiskGeometry> geometry;
        std::optional<std::uint64_t> length;
        std::optional<std::vector<DiskExtent>> extents;
        std::optional<ScsiAddress> address;
        ErrorCode openResult = err::kSuccess; // kAccessDenied: exists, no rights
    };

    std::string name = "win32";
    std::map<DeviceClass, std::vector<PresentDevice>> classes;
    std::map<std::string, Target> paths; // keyed as opened (case-insensitive for "win32")
    std::map<char, Target> letters;
    std::map<char, std::uint32_t> driveTypes;
    std::uint32_t logicalDrives = 0;
    std::map<std::uint32_t, std::uint32_t> parents;
    std::map<std::pair<std::uint32_t, DeviceProperty>, std::string> properties;
    std::map<char, std::string> displayNames;
    std::map<std::string, std::vector<std::string>> mountPoints;
    // Driver keys of the USB host controllers by index ("" = none); unset: not supported.
    std::optional<std::vector<std::string>> hcdKeys;
    std::vector<DeviceEvent> events; // handed out by the next PollEvents
    bool needsWindow = false;        // RegisterNotifications refuses a null window (Windows)

    // Records.
    std::vector<DeviceClass> enumerated;
    std::vector<std::string> opened; // paths and "X:" letters in order
    int liveHandles = 0;
    int numberQueries = 0, descriptorQueries = 0, propertyQueries = 0, displayNameQueries = 0;
    std::vector<DeviceClass> registered;
    std::vector<void*> liveTokens;
    std::vector<void*> registerWindows;

    // ---- scripting helpers
    void AddDevice(DeviceClass cls, std::uint32_t devInst, std::string interfacePath,
                   bool started = true) {
        PresentDevice d;
        d.devInst = devInst;
        d.started = started;
        d.hasInterface = !interfacePath.empty();
        d.interfacePath = std::move(interfacePath);
        classes[cls].push_back(d);
    }
    void RemoveDevice(DeviceClass cls, std::uint32_t devInst) {
        auto& v = classes[cls];
        std::erase_if(v, [&](const PresentDevice& d) { return d.devInst == devInst; });
    }
    // A disk reachable at `path` whose device number answer names a disk.
    Target& AddDiskTarget(const std::string& path, std::int64_t number) {
        Target& t = paths[Key(path)];
        t.number = StorageDeviceNumber{filedevice::kDisk, number, 0};
        return t;
    }
    void AddLetter(char letter, std::uint32_t driveType) {
        logicalDrives |= 1u << (letter - 'A');
        driveTypes[letter] = driveType;
    }
    int EnumerationsOf(DeviceClass cls) const {
        int n = 0;
        for (DeviceClass c : enumerated)
            n += c == cls;
        return n;
    }

    // ---- StoragePlatform
    const char* Name() const override { return name.c_str(); }

    ErrorCode EnumerateClass(DeviceClass cls, std::vector<PresentDevice>& devices) override {
        enumerated.push_back(cls);
        auto it = classes.find(cls);
        devices = it == classes.end() ? std::vector<PresentDevice>{} : it->second;
        return err::kSuccess;
    }
    std::uint32_t ParentOf(std::uint32_t devInst) override {
        auto it = parents.find(devInst);
        return it == parents.end() ? 0 : it->second;
    }
    ErrorCode GetProperty(std::uint32_t devInst, DeviceProperty prop, std::string& value) override {
        ++propertyQueries;
        auto it = properties.find({devInst, prop});
        if (it == properties.end()) return err::kFileNotFound;
        value = it->second;
        return err::kSuccess;
    }
    std::uint32_t LogicalDrives() override { return logicalDrives; }
    std::uint32_t DriveType(char letter) override {
        auto it = driveTypes.find(letter);
        return it == driveTypes.end() ? drivetype::kNoRootDir : it->second;
    }
    ErrorCode DriveDisplayName(char letter, std::string& out) override {
        ++displayNameQueries;
        auto it = displayNames.find(letter);
        if (it == displayNames.end()) return err::kFileNotFound;
        out = it->second;
        return err::kSuccess;
    }
    std::vector<std::string> MountPoints(const std::string& volumePath) override {
        auto it = mountPoints.find(volumePath);
        return it == mountPoints.end() ? std::vector<std::string>{} : it->second;
    }
    ErrorCode UsbHostControllerDriverKey(std::uint32_t index, std::string& key) override {
        if (!hcdKeys) return err::kNotSupported;
        if (index >= hcdKeys->size() || (*hcdKeys)[index].empty()) return err::kFileNotFound;
        key = (*hcdKeys)[index];
        return err::kSuccess;
    }

    ErrorCode RegisterNotifications(void* window, DeviceClass cls, void*& token) override {
        if (needsWindow && window == nullptr) return err::kInvalidParameter;
        registered.push_back(cls);
        registerWindows.push_back(window);
        token = new int(0);
        liveTokens.push_back(token);
        return err::kSuccess;
    }
    void UnregisterNotifications(void* token) override {
        std::erase(liveTokens, token);
        delete static_cast<int*>(token);
    }
    void PollEvents(std::vector<DeviceEvent>& out) override {
        out.insert(out.end(), events.begin(), events.end());
        events.clear();
    }

    ErrorCode Open(const std::string& path, DeviceHandle& handle) override {
        opened.push_back(path);
        auto it = paths.find(Key(path));
        if (it == paths.end()) return err::kFileNotFound;
        if (it->second.openResult != err::kSuccess) return it->second.openResult;
        handle.Reset(std::make_unique<Handle>(this, &it->second), true);
        return err::kSuccess;
    }
    ErrorCode OpenLetter(char letter, DeviceHandle& handle) override {
        opened.push_back(std::string(1, letter) + ":");
        auto it = letters.find(letter);
        if (it == letters.end()) return err::kFileNotFound;
        handle.Reset(std::make_unique<Handle>(this, &it->second), true);
        return err::kSuccess;
    }

    ErrorCode GetDeviceNumber(DeviceHandle& h, StorageDeviceNumber& out) override {
        ++numberQueries;
        return Answer(h, &Target::number, out);
    }
    ErrorCode QueryDeviceDescriptor(DeviceHandle& h, StorageDeviceDescriptor& out) override {
        ++descriptorQueries;
        return Answer(h, &Target::descriptor, out);
    }
    ErrorCode GetGeometry(DeviceHandle& h, DiskGeometry& out) override {
        return Answer(h, &Target::geometry, out);
    }
    ErrorCode GetLength(DeviceHandle& h, std::uint64_t& bytes) override {
        return Answer(h, &Target::length, bytes);
    }
    ErrorCode GetVolumeExtents(DeviceHandle& h, std::vector<DiskExtent>& out) override {
        return Answer(h, &Target::extents, out);
    }
    ErrorCode GetScsiAddress(DeviceHandle& h, ScsiAddress& out) override {
        return Answer(h, &Target::address, out);
    }

    // Not scripted: the registry does not use them.
    ErrorCode QueryAdapterDescriptor(DeviceHandle&, std::vector<std::uint8_t>&) override {
        return err::kNotSupported;
    }
    ErrorCode QueryTrimEnabled(DeviceHandle&, bool&) override { return err::kNotSupported; }
    ErrorCode QueryTemperature(DeviceHandle&, std::vector<TemperatureInfo>&) override {
        return err::kNotSupported;
    }
    ErrorCode GetHotplugInfo(DeviceHandle&, std::uint8_t (&)[8]) override {
        return err::kNotSupported;
    }
    ErrorCode IsWritable(DeviceHandle&, bool&) override { return err::kNotSupported; }
    ErrorCode GetMountDeviceName(DeviceHandle&, std::u16string&) override {
        return err::kNotSupported;
    }
    ErrorCode GetPartitionInfo(DeviceHandle&, PartitionEntry&) override {
        return err::kNotSupported;
    }
    ErrorCode GetDriveLayout(DeviceHandle&, DriveLayout&) override { return err::kNotSupported; }
    ErrorCode CreateMbrLayout(DeviceHandle&, std::uint32_t,
                              const std::vector<PartitionEntry>&) override {
        return err::kNotSupported;
    }
    ErrorCode DeleteLayout(DeviceHandle&) override { return err::kNotSupported; }
    ErrorCode TrimRange(DeviceHandle&, std::uint64_t, std::uint64_t) override {
        return err::kNotSupported;
    }
    ErrorCode GetPciLink(std::uint32_t, PciLinkInfo&) override { return err::kNotSupported; }
    std::uint32_t ControllerOf(std::uint32_t) override { return 0; }
    ErrorCode ReadAt(DeviceHandle&, std::uint64_t, MutableByteView) override {
        return err::kNotSupported;
    }
    ErrorCode WriteAt(DeviceHandle&, std::uint64_t, ByteView) override {
        return err::kNotSupported;
    }

private:
    struct Handle : DeviceHandle::Impl {
        Handle(FakeStorage* s, const Target* t) : storage(s), target(t) { ++storage->liveHandles; }
        ~Handle() override { --storage->liveHandles; }
        FakeStorage* storage;
        const Target* target;
    };

    std::string Key(const std::string& path) const {
        if (name != "win32") return path;
        std::string k = path;
        for (char& c : k)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return k;
    }

    template <class T> ErrorCode Answer(DeviceHandle& h, std::optional<T> Target::*field, T& out) {
        auto* impl = static_cast<Handle*>(h.Get());
        if (impl == nullptr) return err::kInvalidHandle;
        const std::optional<T>& v = impl->target->*field;
        if (!v) return err::kInvalidFunction;
        out = *v;
        return err::kSuccess;
    }
};

// Selects a fake for the lifetime of the object. Declare it after the fake and before any
// registry or list, so that those are destroyed while the fake is still selected.
class SelectedStorage {
public:
    explicit SelectedStorage(StoragePlatform& p) { SelectStorage(&p); }
    ~SelectedStorage() { SelectStorage(nullptr); }
    SelectedStorage(const SelectedStorage&) = delete;
    SelectedStorage& operator=(const SelectedStorage&) = delete;
};

} // namespace tvd::test
