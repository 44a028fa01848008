#include <cstddef>
#include <cstdint>
#include <vector>

#include "storage/ntstoragepropertyutil.h"

// Storage answers come from drivers and, through them, from drives: every decoder must stay
// inside the bytes it was given, whatever their counts, sizes and offsets claim.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tvd;
    const ByteView raw(data, size);

    StorageDeviceDescriptor d;
    if (DecodeDeviceDescriptor(raw, d) == err::kSuccess) {
        if (d.raw.size() > size) __builtin_trap();
        for (const std::string* s : {&d.vendor, &d.product, &d.revision, &d.serial})
            if (s->size() >= d.raw.size()) __builtin_trap(); // a string and its NUL lie inside
    }

    std::vector<TemperatureInfo> temps;
    if (DecodeTemperatureDescriptor(raw, temps) == err::kSuccess &&
        tempdesc::kInfo + tempdesc::kInfoSize * temps.size() > size)
        __builtin_trap();

    std::vector<DiskExtent> extents;
    if (DecodeVolumeDiskExtents(raw, extents) == err::kSuccess &&
        extents.size() > extents::kMaxExtents)
        __builtin_trap();

    DriveLayout layout;
    if (DecodeDriveLayoutEx(raw, layout) == err::kSuccess &&
        (layout.partitions.size() > layoutex::kMaxEntries ||
         DriveLayoutRequestSize(static_cast<std::uint32_t>(layout.partitions.size())) > size))
        __builtin_trap();
    PartitionEntry entry;
    if (DecodePartitionInfoEx(raw, entry) == err::kSuccess &&
        entry.gptName.size() > partex::kGptNameChars)
        __builtin_trap();

    StorageDeviceNumber number;
    DecodeDeviceNumber(raw, number);
    DiskGeometry geometry;
    DecodeDiskGeometry(raw, geometry);
    ScsiAddress address;
    DecodeScsiAddress(raw, address);
    std::uint64_t length = 0;
    DecodeLengthInfo(raw, length);
    bool trim = false;
    DecodeTrimDescriptor(raw, trim);

    std::uint32_t answerSize = 0;
    if (PropertyAnswerSize(raw, answerSize) == err::kSuccess &&
        (answerSize < propheader::kHeaderSize || answerSize > propheader::kMaxAnswer))
        __builtin_trap();

    // The retry sizes a driver's counts lead to stay bounded.
    std::uint32_t count = 0;
    if (LoadLe(raw, 0, count)) {
        if (VolumeExtentsRequestSize(count) > extents::kSize * extents::kMaxExtents)
            __builtin_trap();
        int retries = 0;
        for (std::uint32_t n = count; n != 0; n = NextDriveLayoutEntries(n))
            if (++retries > static_cast<int>(layoutex::kMaxEntries)) __builtin_trap();
    }
    return 0;
}
