// A drive's firmware revision: the sources in the order each bus type trusts them, and the
// platform's own firmware reports (the storage stack's firmware information request on
// Windows 10 and later; the NVMe firmware slot log and the sysfs revision on Linux).
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"

namespace tvd {

class DeviceHandle;
class clNvme;

enum class FirmwareSource : std::uint8_t {
    kAtaIdentify,      // IDENTIFY DEVICE firmware revision
    kNvmeIdentify,     // identify-controller firmware revision
    kScsiInquiry,      // INQUIRY product revision level
    kPlatformQuery,    // PlatformFirmwareRevision below
    kDeviceDescriptor, // product revision of the storage device descriptor
};

// The sources tried for a bus type, in order; the device descriptor always comes last.
std::span<const FirmwareSource> FirmwareSourceOrder(std::uint32_t busType);
// Trailing blanks, tabs and NULs removed.
std::string TrimRevision(std::string_view text);
// The first non-blank answer of `fetch` along the bus type's order; sources after it are not
// asked. Empty when none answers.
std::string BuildFirmwareText(std::uint32_t busType,
                              const std::function<std::string(FirmwareSource)>& fetch);

// STORAGE_HW_FIRMWARE_INFO_QUERY, STORAGE_HW_FIRMWARE_INFO and STORAGE_HW_FIRMWARE_SLOT_INFO.
namespace fwinfo {
inline constexpr std::uint32_t kIoctlGetInfo = 0x002D1C00; // IOCTL_STORAGE_FIRMWARE_GET_INFO
inline constexpr std::size_t kQueryVersion = 0, kQuerySize = 4, kQueryFlags = 8,
                             kQueryReserved = 12, kQueryLength = 16;
inline constexpr std::size_t kVersion = 0, kSize = 4, kSupportUpgrade = 8, kSlotCount = 9,
                             kActiveSlot = 10, kPendingActivateSlot = 11, kFirmwareShared = 12,
                             kImagePayloadAlignment = 16, kImagePayloadMaxSize = 20, kSlots = 24;
inline constexpr std::size_t kSlotVersion = 0, kSlotSize = 4, kSlotNumber = 8, kSlotReadOnly = 9,
                             kSlotRevision = 16, kRevisionLength = 16, kSlotLength = 32;
inline constexpr std::uint32_t kInfoVersion = 56, kSlotInfoVersion = 32;
inline constexpr std::size_t kAnswerSize = 512;
static_assert(kSlots + kSlotLength == kInfoVersion);
static_assert(kSlotRevision + kRevisionLength == kSlotLength);
} // namespace fwinfo

// The 16-byte request for the device's own firmware (not the adapter's).
std::vector<std::uint8_t> BuildFirmwareInfoQuery();
// Sends the request; `returned` is the length of the answer. 2 for a null or closed handle,
// otherwise the platform's error.
ErrorCode QueryStorageFirmwareInfo(DeviceHandle* handle, MutableByteView buffer,
                                   std::uint32_t& returned);
// The answer (the bytes that came back) describes exactly one slot, the active one, and holds
// all of it.
bool IsSingleSlotFirmwareInfo(ByteView answer);
// The answer in a zero-filled buffer of `bufferSize` bytes, or none when the request fails or
// the answer is not a single-slot one.
std::optional<std::vector<std::uint8_t>> GetStorageFirmwareInfo(DeviceHandle* handle,
                                                                std::size_t bufferSize);
// The slot's revision of a single-slot answer; empty otherwise.
std::string FirmwareInfoRevision(ByteView answer);
// Both steps with a 512-byte buffer.
std::string StorageFirmwareRevision(DeviceHandle* handle);

// NVMe firmware slot information log (log page 3).
namespace fwslotlog {
inline constexpr std::uint8_t kLogId = 3;
inline constexpr std::size_t kActiveFirmwareInfo = 0, kSlotRevisions = 8, kRevisionLength = 8,
                             kSlotCount = 7, kSize = 512;
static_assert(kSlotRevisions + kSlotCount * kRevisionLength <= kSize);
} // namespace fwslotlog

// The revision in the active slot; empty when the log is short, names no valid slot, or the
// slot holds no printable revision.
std::string FirmwareSlotLogRevision(ByteView log);
std::string NvmeActiveFirmwareRevision(clNvme* nvme);
// firmware_rev, fwrev, then rev of the block device's "device" directory (for example
// /sys/block/sda); empty when none holds a printable text.
std::string SysfsFirmwareRevision(const std::string& blockDir);

struct PlatformFirmwareTarget {
    DeviceHandle* handle = nullptr; // the disk, for the Windows request
    clNvme* nvme = nullptr;
    std::string devicePath;                    // the disk's path ("/dev/sda" on Linux)
    std::string sysfsBlockRoot = "/sys/block"; // where Linux looks the path's name up
};
// The platform's own report for FirmwareSource::kPlatformQuery (one definition per platform:
// Windows 10 and later ask the storage stack; Linux reads the NVMe firmware slot log, then the
// block device's sysfs revision).
std::string PlatformFirmwareRevision(const PlatformFirmwareTarget& target);

} // namespace tvd
