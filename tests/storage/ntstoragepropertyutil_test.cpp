#include "storage/ntstoragepropertyutil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tvd {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put32(Bytes& b, std::size_t off, std::uint32_t v) {
    ASSERT_TRUE(StoreLe(MutableByteView(b), off, v));
}
void Put64(Bytes& b, std::size_t off, std::uint64_t v) {
    ASSERT_TRUE(StoreLe(MutableByteView(b), off, v));
}

TEST(StorageNames, BusAndDeviceTypeTexts) {
    const char* const bus[] = {
        "Unknown", "SCSI",  "ATAPI", "ATA",  "1394", "SSA", "Fibre",   "USB",
        "RAID",    "iSCSI", "SAS",   "SATA", "SD",   "MMC", "Virtual", "FileBackedVirtual",
        "Spaces",  "NVMe"};
    for (std::uint32_t i = 0; i < 18; ++i)
        EXPECT_STREQ(BusTypeName(i), bus[i]) << i;
    EXPECT_STREQ(BusTypeName(18), "Unknown");
    EXPECT_STREQ(BusTypeName(0xFFFFFFFFu), "Unknown");
    EXPECT_STREQ(DeviceTypeName(2), "CD Rom");
    EXPECT_STREQ(DeviceTypeName(7), "Disk");
    EXPECT_STREQ(DeviceTypeName(0x33), "DVD");
    EXPECT_STREQ(DeviceTypeName(8), "Unknown");
}

// ---- requests

TEST(StorageRequests, PropertyQueryAndTrimAndCreateDisk) {
    EXPECT_EQ(EncodePropertyQuery(52), (Bytes{52, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    const Bytes trim = EncodeTrimRange(0x1122334455667788ull, 0x100000);
    ASSERT_EQ(trim.size(), 48u);
    const ByteView t(trim);
    EXPECT_EQ(Le<std::uint32_t>(t, 0), 28u);         // Size of the header
    EXPECT_EQ(Le<std::uint32_t>(t, 4), 1u);          // trim
    EXPECT_EQ(Le<std::uint32_t>(t, 8), 0x80000000u); // not file-system allocated
    EXPECT_EQ(Le<std::uint32_t>(t, 12), 0u);         // no parameter block
    EXPECT_EQ(Le<std::uint32_t>(t, 16), 0u);
    EXPECT_EQ(Le<std::uint32_t>(t, 20), 32u); // ranges at 32
    EXPECT_EQ(Le<std::uint32_t>(t, 24), 16u); // one range
    EXPECT_EQ(Le<std::uint64_t>(t, 32), 0x1122334455667788ull);
    EXPECT_EQ(Le<std::uint64_t>(t, 40), 0x100000u);

    const Bytes create = EncodeCreateDiskMbr(0xCAFEBABE);
    ASSERT_EQ(create.size(), 24u);
    EXPECT_EQ(Le<std::uint32_t>(ByteView(create), 0), 0u);
    EXPECT_EQ(Le<std::uint32_t>(ByteView(create), 4), 0xCAFEBABEu);
}

TEST(StorageRequests, CreateDiskGptCarriesGuidAndEntryCount) {
    std::uint8_t guid[16];
    for (int i = 0; i < 16; ++i)
        guid[i] = std::uint8_t(0xA0 + i);
    const Bytes create = EncodeCreateDiskGpt(guid, 128);
    ASSERT_EQ(create.size(), 24u);
    EXPECT_EQ(Le<std::uint32_t>(ByteView(create), 0), 1u);
    EXPECT_EQ(Bytes(create.begin() + 4, create.begin() + 20), Bytes(guid, guid + 16));
    EXPECT_EQ(Le<std::uint32_t>(ByteView(create), 20), 128u);
}

// The MBR layout of the _EX request: a 48-byte header, 144 bytes per entry, padded to groups of
// four; entries 1 and 5 (the second MBR slot, a logical partition in the first EBR group).
TEST(StorageRequests, MbrLayoutExIsPaddedToGroupsOfFour) {
    PartitionEntry p;
    p.startingOffset = 1048576;
    p.length = 0x1'0000'0000ull;
    p.hiddenSectors = 2048;
    p.number = 1;
    p.mbrType = 0x07;
    p.bootIndicator = true;
    p.recognized = true;
    p.rewrite = true;
    DriveLayout layout;
    layout.style = 0;
    layout.mbrSignature = 0x12345678;
    layout.partitions.resize(6);
    layout.partitions[1] = p;
    p.mbrType = 0x0C;
    p.bootIndicator = false;
    p.number = 2;
    layout.partitions[5] = p;
    Bytes b;
    ASSERT_EQ(EncodeSetDriveLayoutEx(layout, b), err::kSuccess);
    ASSERT_EQ(b.size(), 48u + 144u * 8);
    const ByteView v(b);
    EXPECT_EQ(Le<std::uint32_t>(v, 0), 0u); // MBR
    EXPECT_EQ(Le<std::uint32_t>(v, 4), 8u);
    EXPECT_EQ(Le<std::uint32_t>(v, 8), 0x12345678u);
    for (std::size_t i = 0; i < 8; ++i) {
        const std::size_t e = 48 + 144 * i;
        SCOPED_TRACE(i);
        EXPECT_EQ(Le<std::uint32_t>(v, e), 0u); // every entry in MBR style
        const bool used = i == 1 || i == 5;
        EXPECT_EQ(Le<std::uint64_t>(v, e + 8), used ? 1048576u : 0u);
        EXPECT_EQ(Le<std::uint64_t>(v, e + 16), used ? 0x1'0000'0000ull : 0u);
        EXPECT_EQ(Le<std::uint32_t>(v, e + 24), used ? (i == 1 ? 1u : 2u) : 0u);
        EXPECT_EQ(b[e + 28], used ? 1 : 0); // rewrite
        EXPECT_EQ(b[e + 32], i == 1 ? 0x07 : i == 5 ? 0x0C : 0);
        EXPECT_EQ(b[e + 33], i == 1 ? 1 : 0); // boot
        EXPECT_EQ(b[e + 34], used ? 1 : 0);   // recognized
        EXPECT_EQ(Le<std::uint32_t>(v, e + 36), used ? 2048u : 0u);
    }
    // Decoded again, the fields come back one for one.
    DriveLayout back;
    ASSERT_EQ(DecodeDriveLayoutEx(v, back), err::kSuccess);
    ASSERT_EQ(back.partitions.size(), 8u);
    EXPECT_EQ(back.partitions[5].mbrType, 0x0C);
    EXPECT_EQ(back.partitions[5].hiddenSectors, 2048u);

    DriveLayout tooMany;
    tooMany.style = 0;
    tooMany.partitions.resize(layoutex::kMaxEntries + 1);
    DriveLayout raw;
    raw.style = 2;
    Bytes untouched{9};
    EXPECT_EQ(EncodeSetDriveLayoutEx(tooMany, untouched), err::kInvalidParameter);
    EXPECT_EQ(EncodeSetDriveLayoutEx(raw, untouched), err::kInvalidParameter);
    EXPECT_EQ(untouched, Bytes{9});
}

TEST(StorageRequests, GptLayoutExCarriesEachEntrysIdentity) {
    DriveLayout layout;
    layout.style = 1;
    for (int i = 0; i < 16; ++i)
        layout.gptDiskId[i] = std::uint8_t(i + 1);
    layout.gptStartingUsableOffset = 34 * 512;
    layout.gptUsableLength = 0x1000000;
    layout.gptMaxPartitionCount = 128;
    PartitionEntry p;
    p.startingOffset = 1048576;
    p.length = 0x6400000;
    p.number = 1;
    p.rewrite = true;
    for (int i = 0; i < 16; ++i) {
        p.gptType[i] = std::uint8_t(0x10 + i);
        p.gptId[i] = std::uint8_t(0x30 + i);
    }
    p.gptAttributes = 0x8000000000000001ull;
    p.gptName = std::u16string(36, u'x');
    p.gptName[0] = u'\u00e9';
    layout.partitions = {p};
    Bytes b;
    ASSERT_EQ(EncodeSetDriveLayoutEx(layout, b), err::kSuccess);
    ASSERT_EQ(b.size(), 48u + 144u) << "GPT entries are not padded";
    const ByteView v(b);
    EXPECT_EQ(Le<std::uint32_t>(v, 0), 1u);
    EXPECT_EQ(Le<std::uint32_t>(v, 4), 1u);
    EXPECT_EQ(Bytes(b.begin() + 8, b.begin() + 24), Bytes(layout.gptDiskId, layout.gptDiskId + 16));
    EXPECT_EQ(Le<std::uint64_t>(v, 24), 34u * 512);
    EXPECT_EQ(Le<std::uint64_t>(v, 32), 0x1000000u);
    EXPECT_EQ(Le<std::uint32_t>(v, 40), 128u);
    EXPECT_EQ(Le<std::uint32_t>(v, 48), 1u);
    EXPECT_EQ(Le<std::uint64_t>(v, 56), 1048576u);
    EXPECT_EQ(Le<std::uint64_t>(v, 64), 0x6400000u);
    EXPECT_EQ(Le<std::uint32_t>(v, 72), 1u);
    EXPECT_EQ(b[76], 1);
    EXPECT_EQ(Bytes(b.begin() + 80, b.begin() + 96), Bytes(p.gptType, p.gptType + 16));
    EXPECT_EQ(Bytes(b.begin() + 96, b.begin() + 112), Bytes(p.gptId, p.gptId + 16));
    EXPECT_EQ(Le<std::uint64_t>(v, 112), 0x8000000000000001ull);
    EXPECT_EQ(Le<std::uint16_t>(v, 120), 0x00E9u);
    EXPECT_EQ(Le<std::uint16_t>(v, 120 + 70), u'x');

    layout.partitions[0].gptName.push_back(u'y');
    Bytes untouched{9};
    EXPECT_EQ(EncodeSetDriveLayoutEx(layout, untouched), err::kInvalidParameter)
        << "a name is never cut";
    EXPECT_EQ(untouched, Bytes{9});
}

TEST(StorageRequests, AnswerSizesAreBounded) {
    // Layout growth: 4, 8, ... up to the cap, then no further retry.
    std::uint32_t n = layoutex::kInitialEntries, steps = 0;
    while (std::uint32_t next = NextDriveLayoutEntries(n)) {
        EXPECT_EQ(next, n + 4);
        n = next;
        ++steps;
    }
    EXPECT_EQ(n, layoutex::kMaxEntries);
    EXPECT_EQ(steps, (layoutex::kMaxEntries - 4) / 4);
    EXPECT_EQ(NextDriveLayoutEntries(0xFFFFFFFFu), 0u);
    EXPECT_EQ(DriveLayoutRequestSize(4), 48u + 144u * 4);

    EXPECT_EQ(VolumeExtentsRequestSize(3), 96u);
    EXPECT_EQ(VolumeExtentsRequestSize(0), 0u);
    EXPECT_EQ(VolumeExtentsRequestSize(extents::kMaxExtents + 1), 0u);

    struct {
        std::uint32_t size;
        ErrorCode want;
    } rows[] = {{7, err::kInvalidData},
                {8, err::kSuccess},
                {1024, err::kSuccess},
                {propheader::kMaxAnswer + 1, err::kInvalidData}};
    for (auto& r : rows) {
        Bytes h(8);
        Put32(h, 4, r.size);
        std::uint32_t got = 0;
        EXPECT_EQ(PropertyAnswerSize(h, got), r.want) << r.size;
        EXPECT_EQ(got, r.want == err::kSuccess ? r.size : 0u) << r.size;
    }
    std::uint32_t got = 0;
    EXPECT_EQ(PropertyAnswerSize(Bytes(7), got), err::kInvalidData);
}

// ---- device descriptor

// A descriptor answer: the header, then the given strings at the offsets the row names.
struct DescriptorBuilder {
    Bytes b = Bytes(64, 0);
    DescriptorBuilder() {
        Put32(b, devdesc::kVersion, 40);
        Put32(b, devdesc::kSize, 64);
        b[devdesc::kDeviceType] = 0;
        b[devdesc::kRemovableMedia] = 1;
        Put32(b, devdesc::kBusType, bustype::kUsb);
    }
    DescriptorBuilder& Text(std::size_t field, std::uint32_t off, const std::string& s, bool nul) {
        Put32(b, field, off);
        if (b.size() < off + s.size() + 1) b.resize(off + s.size() + 1, 0);
        std::copy(s.begin(), s.end(), b.begin() + off);
        b[off + s.size()] = nul ? 0 : 'x';
        return *this;
    }
    DescriptorBuilder& Size(std::uint32_t s) {
        Put32(b, devdesc::kSize, s);
        return *this;
    }
};

TEST(StorageAnswers, DeviceDescriptorStringsStayInsideTheAnswer) {
    struct Row {
        const char* what;
        Bytes answer;
        ErrorCode want;
        const char* vendor;
        const char* product;
    };
    using D = DescriptorBuilder;
    const std::size_t V = devdesc::kVendorIdOffset, P = devdesc::kProductIdOffset;
    Bytes shortAnswer = D().Text(V, 40, "VEND", true).Text(P, 50, "PRODUCT1", true).b;
    shortAnswer.resize(54); // the request returned fewer bytes than Size says
    const Row rows[] = {
        {"both strings", D().Text(V, 40, "VEND", true).Text(P, 50, "PROD", true).b, err::kSuccess,
         "VEND", "PROD"},
        {"offset 0 is no string", D().Text(P, 50, "PROD", true).b, err::kSuccess, "", "PROD"},
        {"offset at Size", D().Text(V, 40, "VEND", true).Text(P, 64, "PROD", true).Size(64).b,
         err::kSuccess, "VEND", ""},
        {"NUL beyond Size", D().Text(V, 40, "VEND", true).Text(P, 60, "PRODUCT", true).Size(64).b,
         err::kSuccess, "VEND", ""},
        {"no NUL at all", D().Text(V, 40, "VEND", true).Text(P, 56, "PRODUCT", false).b,
         err::kSuccess, "VEND", ""},
        {"truncated answer", shortAnswer, err::kSuccess, "VEND", ""},
        {"Size below header", D().Text(V, 40, "VEND", true).Size(35).b, err::kInvalidData, "", ""},
        {"answer below header", Bytes(35, 0), err::kInvalidData, "", ""},
    };
    for (const Row& r : rows) {
        StorageDeviceDescriptor d;
        d.vendor = "stale";
        ASSERT_EQ(DecodeDeviceDescriptor(r.answer, d), r.want) << r.what;
        if (r.want != err::kSuccess) {
            EXPECT_EQ(d.vendor, "stale") << r.what; // nothing written on failure
            continue;
        }
        EXPECT_EQ(d.vendor, r.vendor) << r.what;
        EXPECT_EQ(d.product, r.product) << r.what;
        EXPECT_EQ(d.busType, bustype::kUsb) << r.what;
        EXPECT_TRUE(d.removableMedia) << r.what;
        EXPECT_LE(d.raw.size(), r.answer.size()) << r.what;
        EXPECT_LE(d.raw.size(), Le<std::uint32_t>(ByteView(r.answer), 4)) << r.what;
    }
}

// ---- temperature

TEST(StorageAnswers, TemperatureCountIsClippedToSizeAndAnswer) {
    auto answer = [](std::uint16_t count, std::uint32_t size, std::size_t returned) {
        Bytes b(std::max<std::size_t>(returned, 24), 0);
        Put32(b, 4, size);
        b[12] = static_cast<std::uint8_t>(count);
        b[13] = static_cast<std::uint8_t>(count >> 8);
        for (std::size_t i = 0; 24 + 16 * (i + 1) <= b.size(); ++i) {
            b[24 + 16 * i] = static_cast<std::uint8_t>(i);      // index
            b[24 + 16 * i + 2] = static_cast<std::uint8_t>(-5); // -5 °C, low byte
            b[24 + 16 * i + 3] = 0xFF;
            b[24 + 16 * i + 8] = 1; // over threshold changeable
        }
        b.resize(returned);
        return b;
    };
    struct {
        std::uint16_t count;
        std::uint32_t size;
        std::size_t returned;
        ErrorCode want;
        std::size_t entries;
    } rows[] = {
        {2, 56, 56, err::kSuccess, 2},  // exact
        {5, 56, 56, err::kSuccess, 2},  // count beyond Size
        {2, 200, 40, err::kSuccess, 1}, // Size beyond what came back
        {2, 55, 200, err::kSuccess, 1}, // second entry one byte short of Size
        {0xFFFF, 64 * 1024, 88, err::kSuccess, 4},
        {1, 23, 40, err::kInvalidData, 0}, // Size below the header
        {1, 40, 23, err::kInvalidData, 0}, // answer below the header
    };
    for (auto& r : rows) {
        std::vector<TemperatureInfo> out;
        ASSERT_EQ(DecodeTemperatureDescriptor(answer(r.count, r.size, r.returned), out), r.want)
            << r.count << "/" << r.size << "/" << r.returned;
        ASSERT_EQ(out.size(), r.entries) << r.count << "/" << r.size << "/" << r.returned;
        for (std::size_t i = 0; i < out.size(); ++i) {
            EXPECT_EQ(out[i].index, i);
            EXPECT_EQ(out[i].temperature, -5);
            EXPECT_TRUE(out[i].overThresholdChangable);
            EXPECT_FALSE(out[i].underThresholdChangable);
        }
    }
}

// ---- fixed-size answers

TEST(StorageAnswers, FixedAnswersAndTheirShortForms) {
    Bytes num(12);
    Put32(num, 0, 7);
    Put32(num, 4, 0x80000001u);
    Put32(num, 8, 3);
    StorageDeviceNumber n;
    ASSERT_EQ(DecodeDeviceNumber(num, n), err::kSuccess);
    EXPECT_EQ(n.deviceNumber, 0x80000001ll); // full width, not a negative 32-bit number
    EXPECT_EQ(n.partitionNumber, 3u);
    Put32(num, 4, 0xFFFFFFFFu);
    ASSERT_EQ(DecodeDeviceNumber(num, n), err::kSuccess);
    EXPECT_EQ(n.deviceNumber, -1);
    EXPECT_EQ(DecodeDeviceNumber(ByteView(num).first(11), n), err::kInvalidData);

    Bytes geo(24);
    Put64(geo, 0, 121601);
    Put32(geo, 8, 12);
    Put32(geo, 12, 255);
    Put32(geo, 16, 63);
    Put32(geo, 20, 4096);
    DiskGeometry g;
    ASSERT_EQ(DecodeDiskGeometry(geo, g), err::kSuccess);
    EXPECT_EQ(g.cylinders, 121601);
    EXPECT_EQ(g.mediaType, 12u);
    EXPECT_EQ(g.tracksPerCylinder, 255u);
    EXPECT_EQ(g.sectorsPerTrack, 63u);
    EXPECT_EQ(g.bytesPerSector, 4096u);
    EXPECT_EQ(DecodeDiskGeometry(ByteView(geo).first(23), g), err::kInvalidData);

    const Bytes addr{8, 0, 0, 0, 2, 0, 5, 1};
    ScsiAddress a;
    ASSERT_EQ(DecodeScsiAddress(addr, a), err::kSuccess);
    EXPECT_EQ(a.portNumber, 2);
    EXPECT_EQ(a.targetId, 5);
    EXPECT_EQ(a.lun, 1);
    EXPECT_EQ(DecodeScsiAddress(ByteView(addr).first(7), a), err::kInvalidData);

    Bytes trim(12);
    Put32(trim, 4, 12);
    trim[8] = 1;
    bool enabled = false;
    ASSERT_EQ(DecodeTrimDescriptor(trim, enabled), err::kSuccess);
    EXPECT_TRUE(enabled);
    Put32(trim, 4, 8);
    EXPECT_EQ(DecodeTrimDescriptor(trim, enabled), err::kInvalidData);

    std::uint64_t len = 0;
    EXPECT_EQ(DecodeLengthInfo(Bytes{0, 0, 0, 0, 1, 0, 0, 0}, len), err::kSuccess);
    EXPECT_EQ(len, 0x1'0000'0000ull);
    EXPECT_EQ(DecodeLengthInfo(Bytes(7), len), err::kInvalidData);
}

// ---- extents

TEST(StorageAnswers, VolumeExtents) {
    auto answer = [](std::uint32_t count, std::size_t entriesPresent) {
        Bytes b(8 + 24 * entriesPresent, 0);
        Put32(b, 0, count);
        for (std::size_t i = 0; i < entriesPresent; ++i) {
            Put32(b, 8 + 24 * i, 0xFFFFFFF0u + static_cast<std::uint32_t>(i));
            Put64(b, 8 + 24 * i + 8, 1048576 * (i + 1));
            Put64(b, 8 + 24 * i + 16, 4096 * (i + 1));
        }
        return b;
    };
    std::vector<DiskExtent> out;
    ASSERT_EQ(DecodeVolumeDiskExtents(answer(2, 2), out), err::kSuccess);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1].diskNumber, 0xFFFFFFF1ll);
    EXPECT_EQ(out[1].startingOffset, 2097152u);
    EXPECT_EQ(out[1].length, 8192u);
    // The first 32-byte answer of a spanned volume: the count, one extent.
    Bytes first = answer(3, 1);
    first.resize(32);
    EXPECT_EQ(DecodeVolumeDiskExtents(first, out), err::kMoreData);
    EXPECT_EQ(DecodeVolumeDiskExtents(answer(extents::kMaxExtents + 1, 1), out), err::kInvalidData);
    EXPECT_EQ(DecodeVolumeDiskExtents(Bytes(3), out), err::kInvalidData);
    ASSERT_EQ(DecodeVolumeDiskExtents(answer(0, 0), out), err::kSuccess);
    EXPECT_TRUE(out.empty());
}

// ---- layouts

TEST(StorageAnswers, DriveLayoutMbrAndGpt) {
    // GPT, two entries.
    Bytes b(DriveLayoutRequestSize(2), 0);
    Put32(b, 0, partstyle::kGpt);
    Put32(b, 4, 2);
    for (int i = 0; i < 16; ++i)
        b[8 + i] = static_cast<std::uint8_t>(0xA0 + i);
    Put64(b, 24, 17408);
    Put64(b, 32, 1'000'000'000);
    Put32(b, 40, 128);
    const std::size_t e1 = 48 + 144;
    Put32(b, e1 + 0, partstyle::kGpt);
    Put64(b, e1 + 8, 1048576);
    Put64(b, e1 + 16, 536870912);
    Put32(b, e1 + 24, 2);
    b[e1 + 32] = 0x28; // type GUID first byte
    b[e1 + 48] = 0x77; // id GUID first byte
    Put64(b, e1 + 64, 0x8000000000000001ull);
    const std::u16string name = u"Basic data";
    for (std::size_t i = 0; i < name.size(); ++i)
        b[e1 + 72 + 2 * i] = static_cast<std::uint8_t>(name[i]);

    DriveLayout l;
    ASSERT_EQ(DecodeDriveLayoutEx(b, l), err::kSuccess);
    EXPECT_EQ(l.style, partstyle::kGpt);
    EXPECT_EQ(l.gptDiskId[15], 0xAF);
    EXPECT_EQ(l.gptStartingUsableOffset, 17408u);
    EXPECT_EQ(l.gptUsableLength, 1'000'000'000u);
    EXPECT_EQ(l.gptMaxPartitionCount, 128u);
    ASSERT_EQ(l.partitions.size(), 2u);
    const PartitionEntry& p = l.partitions[1];
    EXPECT_EQ(p.startingOffset, 1048576u);
    EXPECT_EQ(p.length, 536870912u);
    EXPECT_EQ(p.number, 2u);
    EXPECT_EQ(p.gptType[0], 0x28);
    EXPECT_EQ(p.gptId[0], 0x77);
    EXPECT_EQ(p.gptAttributes, 0x8000000000000001ull);
    EXPECT_EQ(p.gptName, name);

    // A name filling all 36 characters without a NUL stays inside the entry.
    for (std::size_t i = 0; i < 36; ++i)
        b[e1 + 72 + 2 * i] = 'N';
    ASSERT_EQ(DecodeDriveLayoutEx(b, l), err::kSuccess);
    EXPECT_EQ(l.partitions[1].gptName, std::u16string(36, u'N'));

    // MBR entry.
    Bytes m(DriveLayoutRequestSize(1), 0);
    Put32(m, 0, partstyle::kMbr);
    Put32(m, 4, 1);
    Put32(m, 8, 0xDEADBEEF);
    Put32(m, 48, partstyle::kMbr);
    Put32(m, 48 + 24, 1);
    m[48 + 28] = 1;
    m[48 + 32] = 0x07;
    m[48 + 33] = 0x80;
    m[48 + 34] = 1;
    Put32(m, 48 + 36, 2048);
    ASSERT_EQ(DecodeDriveLayoutEx(m, l), err::kSuccess);
    EXPECT_EQ(l.mbrSignature, 0xDEADBEEFu);
    ASSERT_EQ(l.partitions.size(), 1u);
    EXPECT_EQ(l.partitions[0].mbrType, 0x07);
    EXPECT_TRUE(l.partitions[0].bootIndicator);
    EXPECT_TRUE(l.partitions[0].recognized);
    EXPECT_TRUE(l.partitions[0].rewrite);
    EXPECT_EQ(l.partitions[0].hiddenSectors, 2048u);

    // A count beyond the entries returned, or beyond the cap, is inconsistent.
    Put32(m, 4, 2);
    EXPECT_EQ(DecodeDriveLayoutEx(m, l), err::kInvalidData);
    Put32(m, 4, layoutex::kMaxEntries + 1);
    m.resize(DriveLayoutRequestSize(layoutex::kMaxEntries + 1));
    EXPECT_EQ(DecodeDriveLayoutEx(m, l), err::kInvalidData);
    EXPECT_EQ(DecodeDriveLayoutEx(Bytes(47), l), err::kInvalidData);
    EXPECT_EQ(l.mbrSignature, 0xDEADBEEFu); // failures leave the output alone
    PartitionEntry pe;
    EXPECT_EQ(DecodePartitionInfoEx(Bytes(143), pe), err::kInvalidData);
}

} // namespace
} // namespace tvd
