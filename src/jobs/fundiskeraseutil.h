// What the secure erase may do to a disk: the method its command sets offer, and the refusals
// that hold before any question is asked and again when the job starts.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "drive/clfundisk.h"
#include "storage/cldevicelist.h"
#include "foundation/errorcodes.h"

namespace tvd {

namespace erasemethod {
inline constexpr std::uint8_t kNone = 0;
inline constexpr std::uint8_t kTrim = 1;
inline constexpr std::uint8_t kAtaSecurity = 3;
inline constexpr std::uint8_t kNvmeSanitize = 5;
inline constexpr std::uint8_t kScsiSanitize = 6;
} // namespace erasemethod

// The first method that applies: TRIM enabled, NVMe sanitize behind USB with SANICAP, SCSI
// sanitize on an NVMe bus with a SCSI interface, ATA security feature set; 0 when none does.
std::uint8_t EraseMethodFor(clFunDisk* fd);
// Whether the condition of one method's row holds for the disk.
bool EraseMethodApplies(clFunDisk* fd, std::uint8_t method);
// The method a command-line name stands for; kNone for an unknown name.
std::uint8_t EraseMethodByName(const std::string& name);
// The method's name on the command line ("trim", "nvme-sanitize", ...); "none" for 0.
const char* EraseMethodName(std::uint8_t method);

// Whether the ATA security feature set is usable by the erase: IDENTIFY word 80 names ATA-3 or
// later, word 82 is not FFFFh and has bit 1.
bool AtaSecuritySupported(ByteView identify);

// What the platform knows of a disk's use.
struct EraseDiskFacts {
    bool systemDisk = false;    // holds the running system
    bool mountedVolume = false; // a file system of the disk is mounted
    bool swap = false;          // the disk or a partition is active swap
    bool holder = false;        // device-mapper or md holds the disk or a partition
    std::string where;          // the first mount point, swap or holder found
};

enum class EraseRefusal : std::uint8_t {
    kNone,
    kSystemDisk,
    kMountedVolume,
    kSwap,
    kHolder,
    kDetached,   // the drive left since it was chosen
    kUseUnknown, // the platform cannot tell whether the disk is in use
    kNoMethod,
    kAtaFrozen,       // security frozen: the erase commands would be rejected
    kAtaCountExpired, // five wrong passwords since power-on
    kAtaLocked,       // locked by a user password
    kVolumeInUse,     // a volume of the disk would not lock (Windows): files are open on it
};

// IDENTIFY word 128.
struct AtaSecurityState {
    bool valid = false; // IDENTIFY data present
    bool supported = false, enabled = false, locked = false, frozen = false, countExpired = false;
};
AtaSecurityState DecodeAtaSecurity(ByteView identify);
// The state's name: "not supported", "disabled", "enabled", "locked", "frozen", "expired".
const char* AtaSecurityStateName(const AtaSecurityState& s);
// The refusal the state makes before any ATA security command: frozen, count expired, locked.
EraseRefusal AtaSecurityRefusal(const AtaSecurityState& s);
// The password this program sets as the master password.
inline constexpr char kErasePassword[] = "Qrvx Mp., Inc. Num:402-7-9154871";
static_assert(sizeof kErasePassword == 33);

// The refusal check shared by the command line and the job: kNone when the disk may be erased.
// `where` names the mount point, swap or holder behind a refusal when the platform knows it.
EraseRefusal CheckEraseAllowed(clFunDisk* fd, std::string* where = nullptr);
// The same for a whole disk named by its device path alone.
EraseRefusal CheckErasePathAllowed(const std::string& path, std::string* where = nullptr);
// The refusal check of a sanitize, which erases every namespace of the NVMe controller: the
// disk's own, then each other namespace's (named in `where`).
EraseRefusal CheckSanitizeAllowed(clFunDisk* fd, std::string* where = nullptr);
EraseRefusal CheckSanitizePathAllowed(const std::string& path, std::string* where = nullptr);
// The NVMe disks of `disks` on the controller node of the disk at `path` (the back end's
// ControllerOf), that disk left out: the other namespaces a sanitize erases with it. None for a
// disk not on the NVMe bus; kNotSupported when the disk's controller is unknown, kFileNotFound
// when the list has no such disk.
ErrorCode ControllerSiblings(clDeviceList* disks, const std::string& path,
                             std::vector<std::string>& siblings);
// Whether the method erases the whole controller (the sanitize rows).
bool EraseMethodIsSanitize(std::uint8_t method);
// Why a refusal was made, as the program tells it.
const char* EraseRefusalText(EraseRefusal r);
// The error code a refusal reports through the job.
ErrorCode EraseRefusalCode(EraseRefusal r);

// Facts about a disk by its device path: simulated drives answer from their files, the real
// back ends look at the system's mounts, swaps and holders.
ErrorCode QueryEraseFacts(const std::string& path, EraseDiskFacts& facts);
// The platform part of QueryEraseFacts (linux/, win32/).
ErrorCode NativeEraseFacts(const std::string& path, EraseDiskFacts& facts);
// The device paths of the other namespaces of the NVMe controller that holds the disk; none for
// a disk that is not an NVMe namespace. kNotSupported where the platform cannot tell.
ErrorCode NativeSanitizeSiblings(const std::string& path, std::vector<std::string>& siblings);
// A disk's volumes held locked and dismounted for the length of an erase, so that no file
// system writes under it; unlocked and closed when released or destroyed.
class EraseVolumeLock {
public:
    struct Held {
        virtual ~Held() = default;
    };
    EraseVolumeLock() = default;
    EraseVolumeLock(const EraseVolumeLock&) = delete;
    EraseVolumeLock& operator=(const EraseVolumeLock&) = delete;
    bool Holds() const { return held_ != nullptr; }
    void Hold(std::unique_ptr<Held> held) { held_ = std::move(held); }
    void Release() { held_.reset(); }

private:
    std::unique_ptr<Held> held_;
};
// Locks (a bounded number of tries) and dismounts every volume of the disk into `lock`. A volume
// that cannot be locked gives its error and its name in `where`, with nothing left locked.
// kNotSupported where the platform has no such lock (Linux refuses a disk in use by its mounts,
// swaps and holders and opens it exclusively).
ErrorCode NativeLockEraseVolumes(const std::string& path, EraseVolumeLock& lock,
                                 std::string& where);
// Drops the system's cached blocks of a disk after an erase (Linux BLKFLSBUF); kNotSupported
// where there is nothing to drop.
ErrorCode NativeFlushDiskBuffers(const std::string& path);

} // namespace tvd
