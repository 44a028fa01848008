#include "storage/ntstoragepropertyutil.h"

#include <algorithm>
#include <cstring>

namespace tvd {

const char* BusTypeName(std::uint32_t busType) {
    static const char* const kNames[] = {
        "Unknown", "SCSI",  "ATAPI", "ATA",  "1394", "SSA", "Fibre",   "USB",
        "RAID",    "iSCSI", "SAS",   "SATA", "SD",   "MMC", "Virtual", "FileBackedVirtual",
        "Spaces",  "NVMe",
    };
    static_assert(sizeof(kNames) / sizeof(kNames[0]) == bustype::kNvme + 1);
    return busType <= bustype::kNvme ? kNames[busType] : "Unknown";
}

const char* DeviceTypeName(std::uint32_t fileDeviceType) {
    switch (fileDeviceType) {
    case filedevice::kCdRom:
        return "CD Rom";
    case filedevice::kDisk:
        return "Disk";
    case filedevice::kDvd:
        return "DVD";
    default:
        return "Unknown";
    }
}

namespace {

std::uint32_t U32(ByteView b, std::size_t off) {
    return Le<std::uint32_t>(b, off);
}
std::uint64_t U64(ByteView b, std::size_t off) {
    return Le<std::uint64_t>(b, off);
}
std::int16_t I16(ByteView b, std::size_t off) {
    return static_cast<std::int16_t>(Le<std::uint16_t>(b, off));
}
std::uint8_t U8(ByteView b, std::size_t off) {
    return Le<std::uint8_t>(b, off);
}

void Copy16(ByteView b, std::size_t off, std::uint8_t (&out)[16]) {
    for (std::size_t i = 0; i < 16; ++i)
        out[i] = U8(b, off + i);
}

// A NUL-terminated string at `offset` of `b`: none unless the offset is non-zero and the NUL
// lies inside `b`.
std::string StringAt(ByteView b, std::uint32_t offset) {
    if (offset == 0 || offset >= b.size()) return {};
    const ByteView rest = b.subspan(offset);
    const auto nul = std::find(rest.begin(), rest.end(), std::uint8_t{0});
    if (nul == rest.end()) return {};
    return std::string(rest.begin(), nul);
}

} // namespace

// ---- requests

std::vector<std::uint8_t> EncodePropertyQuery(std::uint32_t propertyId, std::uint32_t queryType) {
    std::vector<std::uint8_t> q(propquery::kSize);
    StoreLe(MutableByteView(q), propquery::kPropertyId, propertyId);
    StoreLe(MutableByteView(q), propquery::kQueryType, queryType);
    return q;
}

std::vector<std::uint8_t> EncodeTrimRange(std::uint64_t offset, std::uint64_t length) {
    using namespace dsmtrim;
    std::vector<std::uint8_t> b(kSize);
    const MutableByteView v(b);
    StoreLe(v, kSizeField, std::uint32_t{kHeaderSize});
    StoreLe(v, kAction, kActionTrim);
    StoreLe(v, kFlags, kFlagTrimNotFsAllocated);
    StoreLe(v, kParameterBlockOffset, std::uint32_t{0});
    StoreLe(v, kParameterBlockLength, std::uint32_t{0});
    StoreLe(v, kRangesOffset, std::uint32_t{kRange});
    StoreLe(v, kRangesLength, std::uint32_t{kRangeSize});
    StoreLe(v, kRangeStart, offset);
    StoreLe(v, kRangeLength, length);
    return b;
}

std::vector<std::uint8_t> EncodeCreateDiskMbr(std::uint32_t signature) {
    std::vector<std::uint8_t> b(createdisk::kSize);
    StoreLe(MutableByteView(b), createdisk::kStyle, partstyle::kMbr);
    StoreLe(MutableByteView(b), createdisk::kMbrSignature, signature);
    return b;
}

std::vector<std::uint8_t> EncodeCreateDiskGpt(const std::uint8_t (&diskId)[16],
                                              std::uint32_t maxPartitionCount) {
    std::vector<std::uint8_t> b(createdisk::kSize);
    StoreLe(MutableByteView(b), createdisk::kStyle, partstyle::kGpt);
    std::memcpy(b.data() + createdisk::kGptDiskId, diskId, 16);
    StoreLe(MutableByteView(b), createdisk::kGptMaxPartitionCount, maxPartitionCount);
    return b;
}

ErrorCode EncodeSetDriveLayoutEx(const DriveLayout& layout, std::vector<std::uint8_t>& out) {
    using namespace layoutex;
    const bool mbr = layout.style == partstyle::kMbr;
    if (!mbr && layout.style != partstyle::kGpt) return err::kInvalidParameter;
    std::size_t count = layout.partitions.size();
    if (mbr) count = (count + 3) / 4 * 4;
    if (count > kMaxEntries) return err::kInvalidParameter;
    std::vector<std::uint8_t> b(DriveLayoutRequestSize(static_cast<std::uint32_t>(count)));
    const MutableByteView v(b);
    StoreLe(v, kStyle, layout.style);
    StoreLe(v, kCount, static_cast<std::uint32_t>(count));
    if (mbr) {
        StoreLe(v, kMbrSignature, layout.mbrSignature);
    } else {
        std::memcpy(b.data() + kGptDiskId, layout.gptDiskId, 16);
        StoreLe(v, kGptStartingUsableOffset, layout.gptStartingUsableOffset);
        StoreLe(v, kGptUsableLength, layout.gptUsableLength);
        StoreLe(v, kGptMaxPartitionCount, layout.gptMaxPartitionCount);
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t e = kEntries + partex::kSize * i;
        StoreLe(v, e + partex::kStyle, layout.style);
        if (i >= layout.partitions.size()) continue; // unused MBR slot: type 0
        const PartitionEntry& p = layout.partitions[i];
        StoreLe(v, e + partex::kStartingOffset, p.startingOffset);
        StoreLe(v, e + partex::kLength, p.length);
        StoreLe(v, e + partex::kNumber, p.number);
        StoreLe(v, e + partex::kRewrite, std::uint8_t{p.rewrite});
        if (mbr) {
            StoreLe(v, e + partex::kMbrType, p.mbrType);
            StoreLe(v, e + partex::kMbrBootIndicator, std::uint8_t{p.bootIndicator});
            StoreLe(v, e + partex::kMbrRecognized, std::uint8_t{p.recognized});
            StoreLe(v, e + partex::kMbrHiddenSectors, p.hiddenSectors);
            continue;
        }
        if (p.gptName.size() > partex::kGptNameChars) return err::kInvalidParameter;
        std::memcpy(b.data() + e + partex::kGptType, p.gptType, 16);
        std::memcpy(b.data() + e + partex::kGptId, p.gptId, 16);
        StoreLe(v, e + partex::kGptAttributes, p.gptAttributes);
        for (std::size_t c = 0; c < p.gptName.size(); ++c)
            StoreLe(v, e + partex::kGptName + 2 * c, static_cast<std::uint16_t>(p.gptName[c]));
    }
    out = std::move(b);
    return err::kSuccess;
}

// ---- answer sizes

ErrorCode PropertyAnswerSize(ByteView header, std::uint32_t& size) {
    std::uint32_t s = 0;
    if (!LoadLe(header, propheader::kSize, s)) return err::kInvalidData;
    if (s < propheader::kHeaderSize || s > propheader::kMaxAnswer) return err::kInvalidData;
    size = s;
    return err::kSuccess;
}

std::size_t VolumeExtentsRequestSize(std::uint32_t count) {
    if (count == 0 || count > extents::kMaxExtents) return 0;
    return extents::kSize * std::size_t{count};
}

std::size_t DriveLayoutRequestSize(std::uint32_t entries) {
    return layoutex::kEntries + partex::kSize * std::size_t{entries};
}

std::uint32_t NextDriveLayoutEntries(std::uint32_t entries) {
    if (entries >= layoutex::kMaxEntries) return 0;
    return std::min(entries + layoutex::kGrowth, layoutex::kMaxEntries);
}

// ---- answers

ErrorCode DecodeDeviceDescriptor(ByteView answer, StorageDeviceDescriptor& out) {
    using namespace devdesc;
    const std::uint32_t size = U32(answer, kSize);
    if (answer.size() < kHeaderSize || size < kHeaderSize) return err::kInvalidData;
    const ByteView valid = answer.first(std::min<std::size_t>(size, answer.size()));
    StorageDeviceDescriptor d;
    d.deviceType = U8(valid, kDeviceType);
    d.removableMedia = U8(valid, kRemovableMedia) != 0;
    d.commandQueueing = U8(valid, kCommandQueueing) != 0;
    d.busType = U32(valid, kBusType);
    d.vendor = StringAt(valid, U32(valid, kVendorIdOffset));
    d.product = StringAt(valid, U32(valid, kProductIdOffset));
    d.revision = StringAt(valid, U32(valid, kProductRevisionOffset));
    d.serial = StringAt(valid, U32(valid, kSerialNumberOffset));
    d.raw.assign(valid.begin(), valid.end());
    out = std::move(d);
    return err::kSuccess;
}

ErrorCode DecodeTrimDescriptor(ByteView answer, bool& trimEnabled) {
    const std::uint32_t size = U32(answer, propheader::kSize);
    if (answer.size() < trimdesc::kSize || size < trimdesc::kSize) return err::kInvalidData;
    trimEnabled = U8(answer, trimdesc::kTrimEnabled) != 0;
    return err::kSuccess;
}

ErrorCode DecodeTemperatureDescriptor(ByteView answer, std::vector<TemperatureInfo>& out) {
    using namespace tempdesc;
    const std::uint32_t size = U32(answer, propheader::kSize);
    if (answer.size() < kHeaderSize || size < kHeaderSize) return err::kInvalidData;
    const std::size_t limit = std::min<std::size_t>(size, answer.size());
    const std::size_t count =
        std::min<std::size_t>(Le<std::uint16_t>(answer, kInfoCount), (limit - kInfo) / kInfoSize);
    std::vector<TemperatureInfo> infos(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t e = kInfo + kInfoSize * i;
        TemperatureInfo& t = infos[i];
        t.index = Le<std::uint16_t>(answer, e + kInfoIndex);
        t.temperature = I16(answer, e + kInfoTemperature);
        t.overThreshold = I16(answer, e + kInfoOverThreshold);
        t.underThreshold = I16(answer, e + kInfoUnderThreshold);
        t.overThresholdChangable = U8(answer, e + kInfoOverChangable) != 0;
        t.underThresholdChangable = U8(answer, e + kInfoUnderChangable) != 0;
        t.eventGenerated = U8(answer, e + kInfoEventGenerated) != 0;
    }
    out = std::move(infos);
    return err::kSuccess;
}

ErrorCode DecodeDeviceNumber(ByteView answer, StorageDeviceNumber& out) {
    if (answer.size() < devnumber::kSize) return err::kInvalidData;
    const std::uint32_t number = U32(answer, devnumber::kDeviceNumber);
    out.deviceType = U32(answer, devnumber::kDeviceType);
    out.deviceNumber = number == 0xFFFFFFFFu ? -1 : std::int64_t{number};
    out.partitionNumber = U32(answer, devnumber::kPartitionNumber);
    return err::kSuccess;
}

ErrorCode DecodeScsiAddress(ByteView answer, ScsiAddress& out) {
    if (answer.size() < scsiaddr::kSize) return err::kInvalidData;
    out.portNumber = U8(answer, scsiaddr::kPortNumber);
    out.pathId = U8(answer, scsiaddr::kPathId);
    out.targetId = U8(answer, scsiaddr::kTargetId);
    out.lun = U8(answer, scsiaddr::kLun);
    return err::kSuccess;
}

ErrorCode DecodeDiskGeometry(ByteView answer, DiskGeometry& out) {
    using namespace geometry;
    if (answer.size() < kSize) return err::kInvalidData;
    out.cylinders = static_cast<std::int64_t>(U64(answer, kCylinders));
    out.mediaType = U32(answer, kMediaType);
    out.tracksPerCylinder = U32(answer, kTracksPerCylinder);
    out.sectorsPerTrack = U32(answer, kSectorsPerTrack);
    out.bytesPerSector = U32(answer, kBytesPerSector);
    return err::kSuccess;
}

ErrorCode DecodeLengthInfo(ByteView answer, std::uint64_t& bytes) {
    if (answer.size() < lengthinfo::kSize) return err::kInvalidData;
    bytes = U64(answer, lengthinfo::kLength);
    return err::kSuccess;
}

ErrorCode DecodeVolumeDiskExtents(ByteView answer, std::vector<DiskExtent>& out) {
    using namespace extents;
    std::uint32_t count = 0;
    if (!LoadLe(answer, kCount, count) || count > kMaxExtents) return err::kInvalidData;
    if (kExtents + kExtentSize * std::size_t{count} > answer.size()) return err::kMoreData;
    std::vector<DiskExtent> list(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t e = kExtents + kExtentSize * i;
        list[i].diskNumber = U32(answer, e + kDiskNumber);
        list[i].startingOffset = U64(answer, e + kStartingOffset);
        list[i].length = U64(answer, e + kExtentLength);
    }
    out = std::move(list);
    return err::kSuccess;
}

ErrorCode DecodePartitionInfoEx(ByteView entry, PartitionEntry& out) {
    using namespace partex;
    if (entry.size() < kSize) return err::kInvalidData;
    PartitionEntry p;
    p.style = U32(entry, kStyle);
    p.startingOffset = U64(entry, kStartingOffset);
    p.length = U64(entry, kLength);
    p.number = U32(entry, kNumber);
    p.rewrite = U8(entry, kRewrite) != 0;
    if (p.style == partstyle::kMbr) {
        p.mbrType = U8(entry, kMbrType);
        p.bootIndicator = U8(entry, kMbrBootIndicator) != 0;
        p.recognized = U8(entry, kMbrRecognized) != 0;
        p.hiddenSectors = U32(entry, kMbrHiddenSectors);
    } else if (p.style == partstyle::kGpt) {
        Copy16(entry, kGptType, p.gptType);
        Copy16(entry, kGptId, p.gptId);
        p.gptAttributes = U64(entry, kGptAttributes);
        for (std::size_t i = 0; i < kGptNameChars; ++i) {
            const auto c = static_cast<char16_t>(Le<std::uint16_t>(entry, kGptName + 2 * i));
            if (c == 0) break;
            p.gptName.push_back(c);
        }
    }
    out = std::move(p);
    return err::kSuccess;
}

ErrorCode DecodeDriveLayoutEx(ByteView answer, DriveLayout& out) {
    using namespace layoutex;
    if (answer.size() < kEntries) return err::kInvalidData;
    const std::uint32_t count = U32(answer, kCount);
    if (count > kMaxEntries || DriveLayoutRequestSize(count) > answer.size())
        return err::kInvalidData;
    DriveLayout layout;
    layout.style = U32(answer, kStyle);
    if (layout.style == partstyle::kMbr) {
        layout.mbrSignature = U32(answer, kMbrSignature);
    } else if (layout.style == partstyle::kGpt) {
        Copy16(answer, kGptDiskId, layout.gptDiskId);
        layout.gptStartingUsableOffset = U64(answer, kGptStartingUsableOffset);
        layout.gptUsableLength = U64(answer, kGptUsableLength);
        layout.gptMaxPartitionCount = U32(answer, kGptMaxPartitionCount);
    }
    layout.partitions.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const ErrorCode e = DecodePartitionInfoEx(
            answer.subspan(kEntries + partex::kSize * std::size_t{i}, partex::kSize),
            layout.partitions[i]);
        if (e != err::kSuccess) return e;
    }
    out = std::move(layout);
    return err::kSuccess;
}

} // namespace tvd
