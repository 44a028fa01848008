#include "drive/fundiskfwutil.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "storage/clnvme.h"
#include "storage/storageplatform.h"
#include "storage/storagetypes.h"

namespace tvd {
namespace {

using S = FirmwareSource;
constexpr S kAtaOrder[] = {S::kAtaIdentify, S::kDeviceDescriptor};
// Bridges and RAID controllers may pass any of the three command sets through.
constexpr S kBridgeOrder[] = {S::kAtaIdentify, S::kNvmeIdentify, S::kScsiInquiry,
                              S::kDeviceDescriptor};
constexpr S kScsiOrder[] = {S::kScsiInquiry, S::kDeviceDescriptor};
// The storage stack's firmware request is trusted for card buses only; NVMe answers better
// through its own identify data.
constexpr S kCardOrder[] = {S::kPlatformQuery, S::kScsiInquiry, S::kDeviceDescriptor};
constexpr S kNvmeOrder[] = {S::kNvmeIdentify, S::kDeviceDescriptor};
constexpr S kOtherOrder[] = {S::kDeviceDescriptor};

bool Printable(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

// A fixed-width revision field: up to its first NUL, trailing blanks removed; none when it
// holds anything unprintable.
std::string FieldText(ByteView field) {
    const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
    const std::string text = TrimRevision(std::string(field.begin(), end));
    return Printable(text) ? text : std::string();
}

std::string TrimBoth(std::string text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && blank(text.back()))
        text.pop_back();
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    text.erase(text.begin(), first);
    return text;
}

std::string ReadSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    char buffer[256];
    in.read(buffer, sizeof buffer);
    return std::string(buffer, static_cast<std::size_t>(in.gcount()));
}

} // namespace

std::span<const FirmwareSource> FirmwareSourceOrder(std::uint32_t busType) {
    switch (busType) {
    case bustype::kAta:
    case bustype::kSata:
        return kAtaOrder;
    case bustype::kUsb:
    case bustype::kRaid:
        return kBridgeOrder;
    case bustype::kScsi:
    case bustype::k1394:
        return kScsiOrder;
    case bustype::kSd:
    case bustype::kMmc:
        return kCardOrder;
    case bustype::kNvme:
        return kNvmeOrder;
    default:
        return kOtherOrder;
    }
}

std::string TrimRevision(std::string_view text) {
    std::size_t n = text.size();
    while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\t' || text[n - 1] == '\0'))
        --n;
    return std::string(text.substr(0, n));
}

std::string BuildFirmwareText(std::uint32_t busType,
                              const std::function<std::string(FirmwareSource)>& fetch) {
    if (!fetch) return {};
    for (FirmwareSource source : FirmwareSourceOrder(busType)) {
        std::string text = TrimRevision(fetch(source));
        if (!text.empty()) return text;
    }
    return {};
}

// ---- Storage firmware information request

std::vector<std::uint8_t> BuildFirmwareInfoQuery() {
    using namespace fwinfo;
    std::vector<std::uint8_t> query(kQueryLength, 0);
    StoreLe(MutableByteView(query), kQueryVersion, static_cast<std::uint32_t>(kQueryLength));
    StoreLe(MutableByteView(query), kQuerySize, static_cast<std::uint32_t>(kQueryLength));
    return query; // Flags 0: the device's firmware, not the adapter's
}

ErrorCode QueryStorageFirmwareInfo(DeviceHandle* handle, MutableByteView buffer,
                                   std::uint32_t& returned) {
    returned = 0;
    if (!handle || !handle->IsOpen()) return err::kFileNotFound;
    const std::vector<std::uint8_t> query = BuildFirmwareInfoQuery();
    const ErrorCode e =
        Storage().IoControl(*handle, fwinfo::kIoctlGetInfo, query, buffer, returned);
    if (e != err::kSuccess) {
        returned = 0;
        return e;
    }
    if (returned > buffer.size()) {
        returned = 0;
        return err::kInvalidData;
    }
    return err::kSuccess;
}

bool IsSingleSlotFirmwareInfo(ByteView answer) {
    using namespace fwinfo;
    // The one slot entry must lie inside what came back, and it must be the active slot whose
    // revision is wanted.
    if (answer.size() < kSlots + kSlotLength) return false;
    return Le<std::uint32_t>(answer, kVersion) == kInfoVersion && answer[kSlotCount] == 1 &&
           Le<std::uint32_t>(answer, kSlots + kSlotVersion) == kSlotInfoVersion &&
           answer[kSlots + kSlotNumber] == answer[kActiveSlot];
}

std::optional<std::vector<std::uint8_t>> GetStorageFirmwareInfo(DeviceHandle* handle,
                                                                std::size_t bufferSize) {
    if (bufferSize < fwinfo::kSlots + fwinfo::kSlotLength) return std::nullopt;
    std::vector<std::uint8_t> buffer(bufferSize, 0);
    std::uint32_t returned = 0;
    if (QueryStorageFirmwareInfo(handle, buffer, returned) != err::kSuccess) return std::nullopt;
    if (!IsSingleSlotFirmwareInfo(ByteView(buffer).first(returned))) return std::nullopt;
    return buffer;
}

std::string FirmwareInfoRevision(ByteView answer) {
    using namespace fwinfo;
    if (!IsSingleSlotFirmwareInfo(answer)) return {};
    return FieldText(answer.subspan(kSlots + kSlotRevision, kRevisionLength));
}

std::string StorageFirmwareRevision(DeviceHandle* handle) {
    const auto answer = GetStorageFirmwareInfo(handle, fwinfo::kAnswerSize);
    return answer ? FirmwareInfoRevision(*answer) : std::string();
}

// ---- NVMe firmware slot log and sysfs

std::string FirmwareSlotLogRevision(ByteView log) {
    using namespace fwslotlog;
    if (log.size() < kSlotRevisions + kSlotCount * kRevisionLength) return {};
    const std::size_t active = log[kActiveFirmwareInfo] & 0x7;
    if (active < 1 || active > kSlotCount) return {};
    return FieldText(log.subspan(kSlotRevisions + (active - 1) * kRevisionLength, kRevisionLength));
}

std::string NvmeActiveFirmwareRevision(clNvme* nvme) {
    if (!nvme) return {};
    std::vector<std::uint8_t> log(fwslotlog::kSize, 0);
    if (!nvme->GetLogPage(fwslotlog::kLogId, fwslotlog::kSize / 4 - 1, log)) return {};
    return FirmwareSlotLogRevision(log);
}

std::string SysfsFirmwareRevision(const std::string& blockDir) {
    if (blockDir.empty()) return {};
    for (const char* name : {"firmware_rev", "fwrev", "rev"}) {
        const std::string text = TrimBoth(ReadSmallFile(blockDir + "/device/" + name));
        if (!text.empty() && Printable(text)) return text;
    }
    return {};
}

} // namespace tvd
