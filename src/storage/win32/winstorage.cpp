// Opening devices, the storage requests on an open device, sector access and the drive
// letters of the Windows back end.
#include "storage/win32/winstorage.h"

#include <shellapi.h>
#include <winioctl.h>

#include <algorithm>
#include <new>
#include <string>

#include "foundation/textconvutil.h"
#include "storage/win32/winstoragerequests.h"

namespace tvd {

namespace {

struct WinDevice final : DeviceHandle::Impl {
    win::UniqueHandle handle;
    // The clone target's volumes, locked and dismounted while the disk is open.
    std::vector<win::UniqueHandle> lockedVolumes;
};

// Locks and dismounts every volume with an extent on disk `diskNumber`; the first volume that
// cannot be opened or locked gives its error.
ErrorCode LockDiskVolumes(DWORD diskNumber, std::vector<win::UniqueHandle>& locked) {
    wchar_t name[MAX_PATH + 1] = {};
    const HANDLE find = FindFirstVolumeW(name, MAX_PATH);
    if (find == INVALID_HANDLE_VALUE) return err::kSuccess;
    ErrorCode result = err::kSuccess;
    do {
        std::wstring path(name);
        if (!path.empty() && path.back() == L'\\') path.pop_back();
        win::UniqueHandle query(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_EXISTING, 0, nullptr));
        if (!query.valid()) continue;
        alignas(8) std::uint8_t buf[sizeof(VOLUME_DISK_EXTENTS) + 31 * sizeof(DISK_EXTENT)] = {};
        DWORD got = 0;
        if (!DeviceIoControl(query.get(), IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, buf,
                             sizeof buf, &got, nullptr))
            continue;
        const auto* extents = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(buf);
        const DWORD n = std::min<DWORD>(extents->NumberOfDiskExtents, 32);
        bool ours = false;
        for (DWORD i = 0; i < n; ++i)
            ours = ours || extents->Extents[i].DiskNumber == diskNumber;
        if (!ours) continue;
        win::UniqueHandle volume(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
        DWORD unused = 0;
        if (!volume.valid() || !DeviceIoControl(volume.get(), FSCTL_LOCK_VOLUME, nullptr, 0,
                                                nullptr, 0, &unused, nullptr)) {
            result = win::LastErrorOrNotFound();
            break;
        }
        DeviceIoControl(volume.get(), FSCTL_DISMOUNT_VOLUME, nullptr, 0, nullptr, 0, &unused,
                        nullptr);
        locked.push_back(std::move(volume));
    } while (FindNextVolumeW(find, name, MAX_PATH));
    FindVolumeClose(find);
    return result;
}

// Transfers are split so that each fits a DWORD and stays a multiple of any sector size.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;
// Host controllers are numbered \\.\HCD0 to \\.\HCD31.
constexpr std::uint32_t kMaxHostControllers = 32;

template <class F> ErrorCode Guarded(F&& f) {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return err::kNoSystemResources;
    }
}

template <class F> ErrorCode OnDevice(DeviceHandle& h, F&& f) {
    const HANDLE native = win::NativeHandle(h);
    if (native == INVALID_HANDLE_VALUE) return err::kFileNotFound;
    win::HandleIoControl io(native);
    return Guarded([&] { return f(io); });
}

char UpperLetter(char letter) {
    if (letter >= 'a' && letter <= 'z') return static_cast<char>(letter - 'a' + 'A');
    return letter >= 'A' && letter <= 'Z' ? letter : 0;
}

// Read and write with read/write sharing first, then read with read sharing. A refusal for lack
// of rights in either attempt is reported as such: the device exists.
ErrorCode OpenDevice(const std::u16string& name, DeviceHandle& handle) {
    win::UniqueHandle h(CreateFileW(win::W(name), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
    const bool writable = h.valid();
    if (!writable) {
        const ErrorCode first = win::LastErrorOrNotFound();
        h.reset(CreateFileW(win::W(name), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr));
        if (!h.valid()) {
            const ErrorCode second = win::LastErrorOrNotFound();
            return first == err::kAccessDenied ? first : second;
        }
    }
    auto device = std::make_unique<WinDevice>();
    device->handle = std::move(h);
    handle.Reset(std::move(device), writable);
    return err::kSuccess;
}

bool TransferFits(std::uint64_t offset, std::size_t size) {
    return size != 0 && offset <= UINT64_MAX - size;
}

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED ov{};
    ov.Offset = static_cast<DWORD>(offset);
    ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return ov;
}

} // namespace

HANDLE win::NativeHandle(const DeviceHandle& handle) {
    const auto* device = dynamic_cast<const WinDevice*>(handle.Get());
    return device && device->handle.valid() ? device->handle.get() : INVALID_HANDLE_VALUE;
}

ErrorCode WinStoragePlatform::Open(const std::string& path, DeviceHandle& handle) {
    handle.Close();
    if (path.empty()) return err::kInvalidParameter;
    return Guarded([&] { return OpenDevice(u"\\\\.\\" + Utf8ToUtf16(path), handle); });
}

ErrorCode WinStoragePlatform::OpenForClone(const std::string& path, CloneOpenMode mode,
                                           DeviceHandle& handle) {
    handle.Close();
    if (path.empty()) return err::kInvalidParameter;
    return Guarded([&]() -> ErrorCode {
        const bool target = mode == CloneOpenMode::kTarget;
        const std::u16string name = u"\\\\.\\" + Utf8ToUtf16(path);
        auto device = std::make_unique<WinDevice>();
        device->handle.reset(CreateFileW(win::W(name), GENERIC_READ | (target ? GENERIC_WRITE : 0),
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH,
                                         nullptr));
        if (!device->handle.valid()) return win::LastErrorOrNotFound();
        if (target) {
            win::HandleIoControl io(device->handle.get());
            StorageDeviceNumber number;
            if (const ErrorCode e = win::QueryDeviceNumber(io, number)) return e;
            if (number.deviceNumber < 0) return err::kInvalidData;
            if (const ErrorCode e =
                    LockDiskVolumes(DWORD(number.deviceNumber), device->lockedVolumes))
                return e;
        }
        handle.Reset(std::move(device), target);
        return err::kSuccess;
    });
}

ErrorCode WinStoragePlatform::OpenLetter(char letter, DeviceHandle& handle) {
    handle.Close();
    const char upper = UpperLetter(letter);
    if (!upper) return err::kInvalidParameter;
    return Guarded([&] {
        return OpenDevice(std::u16string(u"\\\\.\\") + static_cast<char16_t>(upper) + u':', handle);
    });
}

ErrorCode WinStoragePlatform::GetDeviceNumber(DeviceHandle& h, StorageDeviceNumber& out) {
    return OnDevice(h, [&](win::IoControl& io) { return win::QueryDeviceNumber(io, out); });
}

ErrorCode WinStoragePlatform::QueryDeviceDescriptor(DeviceHandle& h, StorageDeviceDescriptor& out) {
    return OnDevice(h, [&](win::IoControl& io) { return win::QueryDeviceDescriptor(io, out); });
}

ErrorCode WinStoragePlatform::QueryAdapterDescriptor(DeviceHandle& h,
                                                     std::vector<std::uint8_t>& raw) {
    return OnDevice(h, [&](win::IoControl& io) { return win::QueryAdapterDescriptor(io, raw); });
}

ErrorCode WinStoragePlatform::QueryTrimEnabled(DeviceHandle& h, bool& enabled) {
    return OnDevice(h, [&](win::IoControl& io) { return win::QueryTrimEnabled(io, enabled); });
}

ErrorCode WinStoragePlatform::QueryTemperature(DeviceHandle& h, std::vector<TemperatureInfo>& out) {
    return OnDevice(h, [&](win::IoControl& io) { return win::QueryTemperature(io, out); });
}

ErrorCode WinStoragePlatform::GetHotplugInfo(DeviceHandle& h, std::uint8_t (&info)[8]) {
    return OnDevice(h, [&](win::IoControl& io) { return win::QueryHotplugInfo(io, info); });
}

ErrorCode WinStoragePlatform::GetScsiAddress(DeviceHandle& h, ScsiAddress& out) {
    return OnDevice(h, [&](win::IoControl& io) { return win::QueryScsiAddress(io, out); });
}

ErrorCode WinStoragePlatform::GetGeometry(DeviceHandle& h, DiskGeometry& out) {
    return OnDevice(h, [&](win::IoControl& io) { return win::QueryGeometry(io, out); });
}

ErrorCode WinStoragePlatform::GetLength(DeviceHandle& h, std::uint64_t& bytes) {
    return OnDevice(h, [&](win::IoControl& io) { return win::QueryLength(io, bytes); });
}

ErrorCode WinStoragePlatform::IsWritable(DeviceHandle& h, bool& writable) {
    return OnDevice(h, [&](win::IoControl& io) { return win::QueryWritable(io, writable); });
}

ErrorCode WinStoragePlatform::GetMountDeviceName(DeviceHandle& h, std::u16string& name) {
    return OnDevice(h, [&](win::IoControl& io) { return win::QueryMountDeviceName(io, name); });
}

ErrorCode WinStoragePlatform::GetVolumeExtents(DeviceHandle& h, std::vector<DiskExtent>& out) {
    return OnDevice(h, [&](win::IoControl& io) { return win::QueryVolumeExtents(io, out); });
}

ErrorCode WinStoragePlatform::GetPartitionInfo(DeviceHandle& h, PartitionEntry& out) {
    return OnDevice(h, [&](win::IoControl& io) { return win::QueryPartitionInfo(io, out); });
}

ErrorCode WinStoragePlatform::GetDriveLayout(DeviceHandle& h, DriveLayout& out) {
    return OnDevice(h, [&](win::IoControl& io) { return win::QueryDriveLayout(io, out); });
}

ErrorCode WinStoragePlatform::CreateMbrLayout(DeviceHandle& h, std::uint32_t signature,
                                              const std::vector<PartitionEntry>& partitions) {
    return OnDevice(
        h, [&](win::IoControl& io) { return win::WriteMbrLayout(io, signature, partitions); });
}

ErrorCode WinStoragePlatform::DeleteLayout(DeviceHandle& h) {
    return OnDevice(h, [&](win::IoControl& io) { return win::DeleteDriveLayout(io); });
}

ErrorCode WinStoragePlatform::CreateGptLayout(DeviceHandle& h, const DriveLayout& layout) {
    return OnDevice(h, [&](win::IoControl& io) { return win::WriteGptLayout(io, layout); });
}

ErrorCode WinStoragePlatform::FlushBuffers(DeviceHandle& h) {
    const HANDLE native = win::NativeHandle(h);
    if (native == INVALID_HANDLE_VALUE) return err::kFileNotFound;
    return FlushFileBuffers(native) ? err::kSuccess : win::LastErrorOrNotFound();
}

ErrorCode WinStoragePlatform::TrimRange(DeviceHandle& h, std::uint64_t offset,
                                        std::uint64_t length) {
    return OnDevice(h, [&](win::IoControl& io) { return win::TrimRange(io, offset, length); });
}

ErrorCode WinStoragePlatform::ReadAt(DeviceHandle& h, std::uint64_t offset, MutableByteView data) {
    const HANDLE native = win::NativeHandle(h);
    if (native == INVALID_HANDLE_VALUE) return err::kFileNotFound;
    if (!TransferFits(offset, data.size())) return err::kInvalidParameter;
    for (std::size_t done = 0; done < data.size();) {
        const auto chunk = static_cast<DWORD>(std::min(data.size() - done, kMaxTransfer));
        OVERLAPPED ov = At(offset + done);
        DWORD got = 0;
        if (!ReadFile(native, data.data() + done, chunk, &got, &ov))
            return win::LastErrorOrNotFound();
        if (got == 0) return err::kHandleEof;
        done += got;
    }
    return err::kSuccess;
}

ErrorCode WinStoragePlatform::WriteAt(DeviceHandle& h, std::uint64_t offset, ByteView data) {
    const HANDLE native = win::NativeHandle(h);
    if (native == INVALID_HANDLE_VALUE) return err::kFileNotFound;
    if (!h.Writable()) return err::kAccessDenied;
    if (!TransferFits(offset, data.size())) return err::kInvalidParameter;
    for (std::size_t done = 0; done < data.size();) {
        const auto chunk = static_cast<DWORD>(std::min(data.size() - done, kMaxTransfer));
        OVERLAPPED ov = At(offset + done);
        DWORD put = 0;
        if (!WriteFile(native, data.data() + done, chunk, &put, &ov))
            return win::LastErrorOrNotFound();
        if (put == 0) return err::kWriteFault;
        done += put;
    }
    return err::kSuccess;
}

ErrorCode WinStoragePlatform::UsbHostControllerDriverKey(std::uint32_t index,
                                                         std::string& driverKey) {
    if (index >= kMaxHostControllers) return err::kInvalidParameter;
    return Guarded([&] {
        const std::u16string name = u"\\\\.\\HCD" + Utf8ToUtf16(std::to_string(index));
        const win::UniqueHandle h(CreateFileW(win::W(name), GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, 0, nullptr));
        if (!h.valid()) return win::LastErrorOrNotFound();
        win::HandleIoControl io(h.get());
        std::u16string key;
        const ErrorCode e = win::QueryHcdDriverKey(io, key);
        if (e == err::kSuccess) driverKey = Utf16ToUtf8(key);
        return e;
    });
}

std::uint32_t WinStoragePlatform::LogicalDrives() {
    return GetLogicalDrives();
}

std::uint32_t WinStoragePlatform::DriveType(char letter) {
    const char upper = UpperLetter(letter);
    if (!upper) return drivetype::kNoRootDir;
    const wchar_t root[] = {static_cast<wchar_t>(upper), L':', L'\\', L'\0'};
    return GetDriveTypeW(root);
}

ErrorCode WinStoragePlatform::VolumeSpace(const std::u16string& root, std::uint64_t& total,
                                          std::uint64_t& free) {
    if (root.empty()) return err::kInvalidParameter;
    const std::wstring path(root.begin(), root.end());
    ULARGE_INTEGER available{}, bytes{}, unused{};
    if (!GetDiskFreeSpaceExW(path.c_str(), &available, &bytes, &unused))
        return win::LastErrorOrNotFound();
    total = bytes.QuadPart;
    free = unused.QuadPart;
    return err::kSuccess;
}

ErrorCode WinStoragePlatform::DriveDisplayName(char letter, std::string& name) {
    const char upper = UpperLetter(letter);
    if (!upper) return err::kInvalidParameter;
    const wchar_t root[] = {static_cast<wchar_t>(upper), L':', L'\\', L'\0'};
    SHFILEINFOW info{};
    SetLastError(0);
    if (!SHGetFileInfoW(root, 0, &info, sizeof info, SHGFI_DISPLAYNAME))
        return win::LastErrorOrNotFound();
    const std::size_t n =
        std::find(info.szDisplayName, std::end(info.szDisplayName), L'\0') - info.szDisplayName;
    if (n == 0) return err::kFileNotFound;
    return Guarded([&] {
        name = Utf16ToUtf8(win::U16(info.szDisplayName, n));
        return err::kSuccess;
    });
}

StoragePlatform& NativeStorage() {
    static WinStoragePlatform platform;
    return platform;
}

} // namespace tvd
