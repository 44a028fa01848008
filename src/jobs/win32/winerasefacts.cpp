// Windows tells a disk's use through its volumes. The system volume's disk is refused; every
// other volume of the disk is locked and dismounted for the erase, and one that will not lock
// (a file is open on it) refuses the erase.
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/textconvutil.h"
#include "foundation/win32/winhandle.h"
#include "jobs/fundiskeraseutil.h"
#include "storage/deviceregistry.h"

namespace tvd {

namespace {

// A lock is refused while any handle is open on the volume; handles closing on their own
// (indexers, antivirus scans) are waited for a little, never indefinitely.
constexpr int kLockAttempts = 10;
constexpr DWORD kLockPauseMs = 200;
constexpr DWORD kMaxExtents = 32;

ErrorCode LastError() {
    const DWORD e = GetLastError();
    return e != 0 ? ErrorCode(e) : err::kFileNotFound;
}

ErrorCode DiskNumberOf(const std::string& path, DWORD& number) {
    if (path.empty()) return err::kInvalidParameter;
    const std::u16string name = u"\\\\.\\" + Utf8ToUtf16(path);
    win::UniqueHandle disk(CreateFileW(reinterpret_cast<const wchar_t*>(name.c_str()), 0,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       0, nullptr));
    if (!disk.valid()) return LastError();
    STORAGE_DEVICE_NUMBER n{};
    DWORD got = 0;
    if (!DeviceIoControl(disk.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &n, sizeof n,
                         &got, nullptr))
        return LastError();
    if (got < sizeof n || n.DeviceType != FILE_DEVICE_DISK || n.PartitionNumber != 0)
        return err::kInvalidParameter; // whole disks only
    number = n.DeviceNumber;
    return err::kSuccess;
}

// Whether the volume (opened for queries) has an extent on the disk; false with the error when
// the volume cannot tell. A volume of no disk (a CD, a RAM disk) answers "invalid function".
ErrorCode VolumeOnDisk(HANDLE volume, DWORD diskNumber, bool& on, DWORD* count = nullptr) {
    on = false;
    if (count) *count = 0;
    alignas(8)
        std::uint8_t buf[sizeof(VOLUME_DISK_EXTENTS) + (kMaxExtents - 1) * sizeof(DISK_EXTENT)] =
            {};
    DWORD got = 0;
    if (!DeviceIoControl(volume, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, buf, sizeof buf,
                         &got, nullptr))
        return LastError();
    const auto* extents = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(buf);
    const DWORD n = std::min<DWORD>(extents->NumberOfDiskExtents, kMaxExtents);
    if (count) *count = n;
    for (DWORD i = 0; i < n; ++i)
        on = on || extents->Extents[i].DiskNumber == diskNumber;
    return err::kSuccess;
}

bool NotOnAnyDisk(ErrorCode e) {
    return e == ERROR_INVALID_FUNCTION || e == ERROR_NOT_SUPPORTED || e == ERROR_NOT_READY;
}

// Calls `visit(volumeName)` with "\\?\Volume{...}" (no trailing backslash) for each volume with
// an extent on the disk; stops at the first error `visit` returns. A volume that cannot say
// where it lives gives kUseUnknown's reason: its name in `where`, and an error.
template <class Visit>
ErrorCode ForEachVolumeOf(DWORD diskNumber, std::string& where, Visit visit) {
    wchar_t name[MAX_PATH + 1] = {};
    const HANDLE find = FindFirstVolumeW(name, MAX_PATH);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD e = GetLastError();
        return e == ERROR_NO_MORE_FILES ? err::kSuccess : ErrorCode(e ? e : err::kFileNotFound);
    }
    ErrorCode result = err::kSuccess;
    do {
        std::wstring path(name);
        if (!path.empty() && path.back() == L'\\') path.pop_back();
        win::UniqueHandle query(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_EXISTING, 0, nullptr));
        bool on = false;
        const ErrorCode e = query.valid() ? VolumeOnDisk(query.get(), diskNumber, on) : LastError();
        if (e != err::kSuccess) {
            if (NotOnAnyDisk(e)) continue;
            where = Utf16ToUtf8(std::u16string(path.begin(), path.end()));
            result = e;
            break;
        }
        if (!on) continue;
        query.reset();
        if ((result = visit(path)) != err::kSuccess) break;
    } while (FindNextVolumeW(find, name, MAX_PATH));
    FindVolumeClose(find);
    return result;
}

struct LockedVolumes final : EraseVolumeLock::Held {
    std::vector<win::UniqueHandle> volumes;
    ~LockedVolumes() override {
        // The handles close in reverse; each volume mounts again on its next use.
        for (auto it = volumes.rbegin(); it != volumes.rend(); ++it) {
            DWORD unused = 0;
            DeviceIoControl(it->get(), FSCTL_UNLOCK_VOLUME, nullptr, 0, nullptr, 0, &unused,
                            nullptr);
            it->reset();
        }
    }
};

std::string Narrow(const std::wstring& w) {
    return Utf16ToUtf8(std::u16string(w.begin(), w.end()));
}

} // namespace

ErrorCode NativeEraseFacts(const std::string& path, EraseDiskFacts& facts) {
    facts = EraseDiskFacts{};
    DWORD disk = 0;
    if (const ErrorCode e = DiskNumberOf(path, disk)) return e;
    // The disk of the Windows folder's volume runs the system.
    wchar_t windows[MAX_PATH + 1] = {};
    const UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (n < 2 || n > MAX_PATH || windows[1] != L':') return err::kInvalidData;
    const wchar_t volume[] = {L'\\', L'\\', L'.', L'\\', windows[0], L':', 0};
    win::UniqueHandle system(CreateFileW(volume, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    if (!system.valid()) return LastError();
    bool on = false;
    DWORD extents = 0;
    if (const ErrorCode e = VolumeOnDisk(system.get(), disk, on, &extents)) return e;
    // The system volume lies on some disk; one that names none cannot vouch for any disk.
    if (extents == 0) return err::kInvalidData;
    if (on) {
        facts.systemDisk = true;
        facts.where = Narrow(std::wstring(volume + 4));
        return err::kSuccess;
    }
    // The other volumes are locked when the erase starts; here they are only found.
    return ForEachVolumeOf(disk, facts.where, [&](const std::wstring& v) {
        if (facts.where.empty()) facts.where = Narrow(v);
        return err::kSuccess;
    });
}

ErrorCode NativeLockEraseVolumes(const std::string& path, EraseVolumeLock& lock,
                                 std::string& where) {
    lock.Release();
    where.clear();
    DWORD disk = 0;
    if (const ErrorCode e = DiskNumberOf(path, disk)) return e;
    auto held = std::make_unique<LockedVolumes>();
    const ErrorCode e = ForEachVolumeOf(disk, where, [&](const std::wstring& v) -> ErrorCode {
        win::UniqueHandle volume(CreateFileW(v.c_str(), GENERIC_READ | GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
        if (!volume.valid()) {
            where = Narrow(v);
            return LastError();
        }
        DWORD unused = 0;
        bool locked = false;
        for (int attempt = 0; attempt < kLockAttempts && !locked; ++attempt) {
            if (attempt) Sleep(kLockPauseMs);
            locked = DeviceIoControl(volume.get(), FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0,
                                     &unused, nullptr) != 0;
        }
        if (!locked) {
            where = Narrow(v);
            return LastError();
        }
        // Locked first, so that the dismount cannot be taken while files are open.
        if (!DeviceIoControl(volume.get(), FSCTL_DISMOUNT_VOLUME, nullptr, 0, nullptr, 0, &unused,
                             nullptr)) {
            const ErrorCode d = LastError();
            DeviceIoControl(volume.get(), FSCTL_UNLOCK_VOLUME, nullptr, 0, nullptr, 0, &unused,
                            nullptr);
            where = Narrow(v);
            return d;
        }
        held->volumes.push_back(std::move(volume));
        return err::kSuccess;
    });
    // On failure the volumes locked so far are unlocked as `held` goes.
    if (e != err::kSuccess) return e;
    lock.Hold(std::move(held));
    return err::kSuccess;
}

// Each namespace of an NVMe controller is a disk of its own under the controller's adapter node;
// the registry's disks on the same adapter are the namespaces a sanitize erases with this one.
ErrorCode NativeSanitizeSiblings(const std::string& path, std::vector<std::string>& siblings) {
    return ControllerSiblings(FindList(devtype::kDisk), path, siblings);
}

// The system caches no blocks of a raw disk handle that an erase would leave stale.
ErrorCode NativeFlushDiskBuffers(const std::string& path) {
    (void)path;
    return err::kNotSupported;
}

} // namespace tvd
