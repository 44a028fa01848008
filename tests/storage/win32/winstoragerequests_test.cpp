// The storage request sequences of the Windows back end over a scripted transport: the bytes
// each request sends, byte by byte and against the system headers' structures, and how the
// sequences treat short, oversized and refused answers. Destructive requests are only ever
// sent to the script.
#include <windows.h>

#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <ddk/mountmgr.h>
#include <deque>
#include <ntddcdrm.h>
#include <ntddscsi.h>
#include <usbioctl.h>
#include <vector>

#include "storage/ntstoragepropertyutil.h"
#include "storage/win32/winstoragerequests.h"

namespace tvd {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Answer {
    ErrorCode error = err::kSuccess;
    Bytes bytes; // written to the caller's buffer, cut to its size
};

struct Sent {
    std::uint32_t code = 0;
    Bytes in;
    std::size_t outSize = 0;
};

using Script = std::deque<Answer>;

class ScriptedIo final : public win::IoControl {
public:
    explicit ScriptedIo(Script script, Answer rest = {err::kNotSupported, {}})
        : script_(std::move(script)), rest_(std::move(rest)) {}

    ErrorCode Call(std::uint32_t code, ByteView in, MutableByteView out,
                   std::uint32_t& returned) override {
        sent.push_back({code, Bytes(in.begin(), in.end()), out.size()});
        Answer a = rest_;
        if (!script_.empty()) {
            a = std::move(script_.front());
            script_.pop_front();
        }
        const std::size_t n = std::min(a.bytes.size(), out.size());
        std::copy_n(a.bytes.begin(), n, out.begin());
        returned = static_cast<std::uint32_t>(n);
        return a.error;
    }

    std::vector<Sent> sent;

private:
    Script script_;
    Answer rest_;
};

// A structure of the system headers with every byte, padding included, zero.
template <class T> T Zeroed() {
    T v;
    std::memset(&v, 0, sizeof v);
    return v;
}

template <class T> Bytes BytesOf(const T& value) {
    Bytes b(sizeof value);
    std::memcpy(b.data(), &value, sizeof value);
    return b;
}

void Put32(Bytes& b, std::size_t off, std::uint32_t v) {
    if (b.size() < off + 4) b.resize(off + 4);
    StoreLe(MutableByteView(b), off, v);
}

// A property answer of `size` bytes whose header names `declared`.
Bytes PropertyAnswer(std::uint32_t declared, std::size_t size) {
    Bytes b(std::max<std::size_t>(size, 8));
    Put32(b, 0, declared);
    Put32(b, 4, declared);
    b.resize(size);
    return b;
}

// ---- request bytes

TEST(WinStorageRequests, PropertyQueryBytes) {
    struct Case {
        std::uint32_t property;
        STORAGE_PROPERTY_ID headerId;
        Bytes expected;
    };
    const Case cases[] = {
        {0, StorageDeviceProperty, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {1, StorageAdapterProperty, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {8, StorageDeviceTrimProperty, {8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {52, StorageDeviceTemperatureProperty, {52, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        ScriptedIo io({}, {err::kNotSupported, {}});
        Bytes answer;
        EXPECT_EQ(win::QueryStorageProperty(io, c.property, answer), err::kNotSupported);
        ASSERT_EQ(io.sent.size(), 1u);
        EXPECT_EQ(io.sent[0].code, static_cast<std::uint32_t>(IOCTL_STORAGE_QUERY_PROPERTY));
        EXPECT_EQ(io.sent[0].in, c.expected) << "property " << c.property;
        auto q = Zeroed<STORAGE_PROPERTY_QUERY>();
        q.PropertyId = c.headerId;
        q.QueryType = PropertyStandardQuery;
        EXPECT_EQ(io.sent[0].in, BytesOf(q)) << "property " << c.property;
    }
}

TEST(WinStorageRequests, TrimInputBytes) {
    ScriptedIo io(Script{{err::kSuccess, {}}});
    ASSERT_EQ(win::TrimRange(io, 0x123456000ull, 0x100000ull), err::kSuccess);
    ASSERT_EQ(io.sent.size(), 1u);
    EXPECT_EQ(io.sent[0].code,
              static_cast<std::uint32_t>(IOCTL_STORAGE_MANAGE_DATA_SET_ATTRIBUTES));
    EXPECT_EQ(io.sent[0].outSize, 0u);
    // clang-format off
    const Bytes expected = {
        0x1C, 0,    0,    0,    // Size 28
        1,    0,    0,    0,    // Action: trim
        0,    0,    0,    0x80, // Flags: ranges not allocated by the file system
        0,    0,    0,    0,    // no parameter block
        0,    0,    0,    0,
        0x20, 0,    0,    0,    // ranges at 32
        0x10, 0,    0,    0,    // one range of 16 bytes
        0,    0,    0,    0,    // padding to the 8-byte boundary
        0x00, 0x60, 0x45, 0x23, 0x01, 0, 0, 0, // starting offset
        0x00, 0x00, 0x10, 0x00, 0,    0, 0, 0, // length
    };
    // clang-format on
    EXPECT_EQ(io.sent[0].in, expected);

    // The same request built from the system headers' structures.
    struct Request {
        DEVICE_MANAGE_DATA_SET_ATTRIBUTES header;
        DEVICE_DATA_SET_RANGE range;
    };
    static_assert(offsetof(Request, range) == 32);
    auto viaHeaders = Zeroed<Request>();
    viaHeaders.header.Size = sizeof viaHeaders.header;
    viaHeaders.header.Action = DeviceDsmAction_Trim;
    viaHeaders.header.Flags = 0x80000000u;
    viaHeaders.header.DataSetRangesOffset = offsetof(Request, range);
    viaHeaders.header.DataSetRangesLength = sizeof viaHeaders.range;
    viaHeaders.range.StartingOffset = 0x123456000ll;
    viaHeaders.range.LengthInBytes = 0x100000ull;
    EXPECT_EQ(io.sent[0].in, BytesOf(viaHeaders));
}

TEST(WinStorageRequests, TrimRefusesEmptyAndWrappingRangesBeforeSending) {
    for (const auto& [offset, length] :
         {std::pair<std::uint64_t, std::uint64_t>{4096, 0}, {~0ull - 10, 4096}}) {
        ScriptedIo io(Script{{err::kSuccess, {}}});
        EXPECT_EQ(win::TrimRange(io, offset, length), err::kInvalidParameter);
        EXPECT_TRUE(io.sent.empty());
    }
}

std::vector<PartitionEntry> TwoPartitions() {
    PartitionEntry a;
    a.startingOffset = 0x100000;
    a.length = 0x40000000;
    a.hiddenSectors = 2048;
    a.number = 1;
    a.mbrType = 0x07;
    a.bootIndicator = true;
    a.recognized = true;
    a.rewrite = true;
    PartitionEntry b;
    b.startingOffset = 0x40100000;
    b.length = 0x80000000;
    b.hiddenSectors = 0x200800;
    b.number = 2;
    b.mbrType = 0x0C;
    b.recognized = true;
    b.rewrite = true;
    return {a, b};
}

TEST(WinStorageRequests, NewMbrLayoutSendsCreateSetAndUpdateInOrder) {
    ScriptedIo io({}, {err::kSuccess, {}});
    ASSERT_EQ(win::WriteMbrLayout(io, 0x12345678, TwoPartitions()), err::kSuccess);
    ASSERT_EQ(io.sent.size(), 3u);

    EXPECT_EQ(io.sent[0].code, static_cast<std::uint32_t>(IOCTL_DISK_CREATE_DISK));
    const Bytes create = {0,    0,    0,    0, // MBR
                          0x78, 0x56, 0x34, 0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(io.sent[0].in, create);
    auto cd = Zeroed<CREATE_DISK>();
    cd.PartitionStyle = PARTITION_STYLE_MBR;
    cd.Mbr.Signature = 0x12345678;
    EXPECT_EQ(io.sent[0].in, BytesOf(cd));

    EXPECT_EQ(io.sent[1].code, static_cast<std::uint32_t>(IOCTL_DISK_SET_DRIVE_LAYOUT_EX));
    // The same layout built from the system headers' structures: two entries padded to a group
    // of four, all in MBR style.
    const std::vector<PartitionEntry> parts = TwoPartitions();
    Bytes viaHeaders(offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry) +
                     4 * sizeof(PARTITION_INFORMATION_EX));
    auto* dl = reinterpret_cast<DRIVE_LAYOUT_INFORMATION_EX*>(viaHeaders.data());
    dl->PartitionStyle = PARTITION_STYLE_MBR;
    dl->PartitionCount = 4;
    dl->Mbr.Signature = 0x12345678;
    for (int i = 0; i < 4; ++i) {
        PARTITION_INFORMATION_EX& p = dl->PartitionEntry[i];
        p.PartitionStyle = PARTITION_STYLE_MBR;
        if (i >= 2) continue;
        p.StartingOffset.QuadPart = static_cast<LONGLONG>(parts[i].startingOffset);
        p.PartitionLength.QuadPart = static_cast<LONGLONG>(parts[i].length);
        p.PartitionNumber = parts[i].number;
        p.RewritePartition = parts[i].rewrite;
        p.Mbr.PartitionType = parts[i].mbrType;
        p.Mbr.BootIndicator = parts[i].bootIndicator;
        p.Mbr.RecognizedPartition = parts[i].recognized;
        p.Mbr.HiddenSectors = parts[i].hiddenSectors;
    }
    EXPECT_EQ(io.sent[1].in, viaHeaders);
    // A few fields by their bytes as well: the second entry's type and hidden sectors.
    ASSERT_EQ(io.sent[1].in.size(), 48u + 4 * 144u);
    EXPECT_EQ(io.sent[1].in[48 + 144 + 32], 0x0C);
    EXPECT_EQ(Bytes(io.sent[1].in.begin() + 48 + 144 + 36, io.sent[1].in.begin() + 48 + 144 + 40),
              (Bytes{0x00, 0x08, 0x20, 0x00}));

    EXPECT_EQ(io.sent[2].code, static_cast<std::uint32_t>(IOCTL_DISK_UPDATE_PROPERTIES));
    EXPECT_TRUE(io.sent[2].in.empty());
}

// A GPT disk: CREATE_DISK with the disk GUID and entry count, then the _EX layout with each
// entry's type, GUID, attributes and name, so that the system writes both tables and the
// protective MBR.
TEST(WinStorageRequests, NewGptLayoutSendsCreateSetAndUpdateInOrder) {
    DriveLayout layout;
    layout.style = PARTITION_STYLE_GPT;
    for (int i = 0; i < 16; ++i)
        layout.gptDiskId[i] = std::uint8_t(0x40 + i);
    layout.gptStartingUsableOffset = 34 * 512;
    layout.gptUsableLength = 0x3FFFBC00;
    layout.gptMaxPartitionCount = 128;
    PartitionEntry p;
    p.style = PARTITION_STYLE_GPT;
    p.startingOffset = 0x100000;
    p.length = 0x6400000;
    p.number = 1;
    p.rewrite = true;
    for (int i = 0; i < 16; ++i) {
        p.gptType[i] = std::uint8_t(0x80 + i);
        p.gptId[i] = std::uint8_t(0xC0 + i);
    }
    p.gptAttributes = 0x8000000000000001ull;
    p.gptName = u"EFI system partition";
    layout.partitions = {p, p};
    layout.partitions[1].startingOffset = 0x6500000;
    layout.partitions[1].number = 2;
    layout.partitions[1].gptAttributes = 0;
    layout.partitions[1].gptName = u"";

    ScriptedIo io({}, {err::kSuccess, {}});
    ASSERT_EQ(win::WriteGptLayout(io, layout), err::kSuccess);
    ASSERT_EQ(io.sent.size(), 3u);

    EXPECT_EQ(io.sent[0].code, static_cast<std::uint32_t>(IOCTL_DISK_CREATE_DISK));
    auto cd = Zeroed<CREATE_DISK>();
    cd.PartitionStyle = PARTITION_STYLE_GPT;
    std::memcpy(&cd.Gpt.DiskId, layout.gptDiskId, 16);
    cd.Gpt.MaxPartitionCount = 128;
    EXPECT_EQ(io.sent[0].in, BytesOf(cd));

    EXPECT_EQ(io.sent[1].code, static_cast<std::uint32_t>(IOCTL_DISK_SET_DRIVE_LAYOUT_EX));
    Bytes viaHeaders(offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry) +
                     2 * sizeof(PARTITION_INFORMATION_EX));
    auto* dl = reinterpret_cast<DRIVE_LAYOUT_INFORMATION_EX*>(viaHeaders.data());
    dl->PartitionStyle = PARTITION_STYLE_GPT;
    dl->PartitionCount = 2;
    std::memcpy(&dl->Gpt.DiskId, layout.gptDiskId, 16);
    dl->Gpt.StartingUsableOffset.QuadPart = 34 * 512;
    dl->Gpt.UsableLength.QuadPart = 0x3FFFBC00;
    dl->Gpt.MaxPartitionCount = 128;
    for (int i = 0; i < 2; ++i) {
        const PartitionEntry& e = layout.partitions[i];
        PARTITION_INFORMATION_EX& x = dl->PartitionEntry[i];
        x.PartitionStyle = PARTITION_STYLE_GPT;
        x.StartingOffset.QuadPart = static_cast<LONGLONG>(e.startingOffset);
        x.PartitionLength.QuadPart = static_cast<LONGLONG>(e.length);
        x.PartitionNumber = e.number;
        x.RewritePartition = TRUE;
        std::memcpy(&x.Gpt.PartitionType, e.gptType, 16);
        std::memcpy(&x.Gpt.PartitionId, e.gptId, 16);
        x.Gpt.Attributes = e.gptAttributes;
        for (std::size_t c = 0; c < e.gptName.size(); ++c)
            x.Gpt.Name[c] = static_cast<WCHAR>(e.gptName[c]);
    }
    EXPECT_EQ(io.sent[1].in, viaHeaders);

    EXPECT_EQ(io.sent[2].code, static_cast<std::uint32_t>(IOCTL_DISK_UPDATE_PROPERTIES));

    // Not a GPT, or a name the entry cannot hold: nothing is sent.
    for (int bad = 0; bad < 2; ++bad) {
        DriveLayout wrong = layout;
        if (bad == 0)
            wrong.style = PARTITION_STYLE_MBR;
        else
            wrong.partitions[0].gptName = std::u16string(37, u'n');
        ScriptedIo none({}, {err::kSuccess, {}});
        EXPECT_EQ(win::WriteGptLayout(none, wrong), err::kInvalidParameter) << bad;
        EXPECT_TRUE(none.sent.empty()) << bad;
    }
}

TEST(WinStorageRequests, LayoutSequencesStopAtTheFirstRefusal) {
    {
        ScriptedIo io({{err::kAccessDenied, {}}}, {err::kSuccess, {}});
        EXPECT_EQ(win::WriteMbrLayout(io, 1, TwoPartitions()), err::kAccessDenied);
        EXPECT_EQ(io.sent.size(), 1u) << "no layout after a refused create";
    }
    {
        ScriptedIo io({}, {err::kSuccess, {}});
        EXPECT_EQ(win::WriteMbrLayout(io, 1, std::vector<PartitionEntry>(257)),
                  err::kInvalidParameter);
        EXPECT_TRUE(io.sent.empty()) << "an impossible layout is refused before the disk changes";
    }
    {
        ScriptedIo io({{ERROR_WRITE_PROTECT, {}}}, {err::kSuccess, {}});
        EXPECT_EQ(win::DeleteDriveLayout(io), static_cast<ErrorCode>(ERROR_WRITE_PROTECT));
        ASSERT_EQ(io.sent.size(), 1u);
        EXPECT_EQ(io.sent[0].code, static_cast<std::uint32_t>(IOCTL_DISK_DELETE_DRIVE_LAYOUT));
    }
    {
        ScriptedIo io({}, {err::kSuccess, {}});
        EXPECT_EQ(win::DeleteDriveLayout(io), err::kSuccess);
        ASSERT_EQ(io.sent.size(), 2u);
        EXPECT_EQ(io.sent[1].code, static_cast<std::uint32_t>(IOCTL_DISK_UPDATE_PROPERTIES));
    }
}

// ---- answers

TEST(WinStorageRequests, PropertyIsReadAsHeaderThenItsSize) {
    struct Case {
        const char* name;
        Answer header;
        ErrorCode expected;
        std::size_t calls;
        std::size_t secondSize = 0;
    };
    const Case cases[] = {
        {"descriptor of 0x40", {err::kSuccess, PropertyAnswer(0x40, 8)}, 0, 2, 0x40},
        {"at the cap", {err::kSuccess, PropertyAnswer(64 * 1024, 8)}, 0, 2, 64 * 1024},
        {"above the cap", {err::kSuccess, PropertyAnswer(64 * 1024 + 1, 8)}, err::kInvalidData, 1},
        {"below the header", {err::kSuccess, PropertyAnswer(4, 8)}, err::kInvalidData, 1},
        {"short header", {err::kSuccess, PropertyAnswer(0x40, 4)}, err::kInvalidData, 1},
        {"refused", {err::kNotSupported, {}}, err::kNotSupported, 1},
    };
    for (const Case& c : cases) {
        ScriptedIo io({c.header}, {err::kSuccess, PropertyAnswer(0x40, 64 * 1024)});
        Bytes answer = {0xEE};
        EXPECT_EQ(win::QueryStorageProperty(io, 0, answer), c.expected) << c.name;
        ASSERT_EQ(io.sent.size(), c.calls) << c.name;
        EXPECT_EQ(io.sent[0].outSize, 8u) << c.name;
        if (c.calls == 2) {
            EXPECT_EQ(io.sent[1].outSize, c.secondSize) << c.name;
            EXPECT_EQ(io.sent[1].in, io.sent[0].in) << c.name;
            EXPECT_EQ(answer.size(), c.secondSize) << c.name;
        } else {
            EXPECT_EQ(answer, Bytes{0xEE}) << c.name << ": output untouched on failure";
        }
    }
}

TEST(WinStorageRequests, PropertyAnswerKeepsOnlyTheBytesReturned) {
    Bytes full = PropertyAnswer(0x40, 0x20); // the driver returned less than it announced
    ScriptedIo io({{err::kSuccess, PropertyAnswer(0x40, 8)}, {err::kSuccess, full}});
    Bytes answer;
    ASSERT_EQ(win::QueryStorageProperty(io, 1, answer), err::kSuccess);
    EXPECT_EQ(answer, full);
}

TEST(WinStorageRequests, DeviceDescriptorStringsThroughTheSequence) {
    Bytes d = PropertyAnswer(0x40, 0x40);
    d[10] = 1;          // removable
    Put32(d, 12, 0x28); // vendor
    Put32(d, 16, 0x30); // product
    Put32(d, 28, 7);    // USB
    std::memcpy(&d[0x28], "ACME\0", 5);
    std::memcpy(&d[0x30], "Stick\0", 6);
    ScriptedIo io({{err::kSuccess, PropertyAnswer(0x40, 8)}, {err::kSuccess, d}});
    StorageDeviceDescriptor out;
    ASSERT_EQ(win::QueryDeviceDescriptor(io, out), err::kSuccess);
    EXPECT_EQ(out.vendor, "ACME");
    EXPECT_EQ(out.product, "Stick");
    EXPECT_TRUE(out.removableMedia);
    EXPECT_EQ(out.busType, bustype::kUsb);
    EXPECT_EQ(out.raw, d);
}

TEST(WinStorageRequests, DriveLayoutGrowsByFourUpToTheCap) {
    {
        ScriptedIo io({}, {err::kInsufficientBuffer, {}});
        DriveLayout out;
        EXPECT_EQ(win::QueryDriveLayout(io, out), err::kInsufficientBuffer);
        ASSERT_EQ(io.sent.size(), 64u) << "4, 8, ... 256 entries, then it gives up";
        for (std::size_t i = 0; i < io.sent.size(); ++i)
            EXPECT_EQ(io.sent[i].outSize, 48 + 144 * 4 * (i + 1));
    }
    {
        Bytes answer(48 + 144 * 9);
        Put32(answer, 0, 0);          // MBR
        Put32(answer, 4, 9);          // nine entries
        Put32(answer, 8, 0xCAFEF00D); // signature
        ScriptedIo io(Script{{err::kInsufficientBuffer, {}}, {err::kMoreData, {}}, {0, answer}});
        DriveLayout out;
        ASSERT_EQ(win::QueryDriveLayout(io, out), err::kSuccess);
        ASSERT_EQ(io.sent.size(), 3u);
        EXPECT_EQ(io.sent[2].outSize, 48u + 144 * 12);
        EXPECT_EQ(out.partitions.size(), 9u);
        EXPECT_EQ(out.mbrSignature, 0xCAFEF00Du);
    }
    {
        ScriptedIo io(Script{{err::kNotSupported, {}}});
        DriveLayout out;
        EXPECT_EQ(win::QueryDriveLayout(io, out), err::kNotSupported);
        EXPECT_EQ(io.sent.size(), 1u);
    }
}

Bytes Extents(std::uint32_t count, std::size_t size) {
    Bytes b(size);
    Put32(b, 0, count);
    for (std::uint32_t i = 0; i < count && 8 + 24 * (i + 1) <= size; ++i) {
        Put32(b, 8 + 24 * i, i + 1);                  // disk number
        Put32(b, 8 + 24 * i + 8, 0x100000 * (i + 1)); // start
    }
    return b;
}

TEST(WinStorageRequests, VolumeExtentsAskAgainForTheCountNamed) {
    struct Case {
        const char* name;
        Script script;
        ErrorCode expected;
        std::vector<std::size_t> sizes;
        std::size_t extents;
    };
    const Case cases[] = {
        {"one extent", {{0, Extents(1, 32)}}, 0, {32}, 1},
        {"three extents", {{err::kMoreData, Extents(3, 32)}, {0, Extents(3, 96)}}, 0, {32, 96}, 3},
        {"more data without a count", {{err::kMoreData, {}}}, err::kInvalidData, {32}, 0},
        {"absurd count", {{err::kMoreData, Extents(5000, 32)}}, err::kInvalidData, {32}, 0},
        {"second answer short again",
         {{err::kMoreData, Extents(3, 32)}, {err::kMoreData, Extents(4, 96)}},
         err::kMoreData,
         {32, 96},
         0},
        {"refused", {{err::kInvalidFunction, {}}}, err::kInvalidFunction, {32}, 0},
    };
    for (const Case& c : cases) {
        ScriptedIo io(c.script);
        std::vector<DiskExtent> out;
        EXPECT_EQ(win::QueryVolumeExtents(io, out), c.expected) << c.name;
        ASSERT_EQ(io.sent.size(), c.sizes.size()) << c.name;
        for (std::size_t i = 0; i < c.sizes.size(); ++i) {
            EXPECT_EQ(io.sent[i].code,
                      static_cast<std::uint32_t>(IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS));
            EXPECT_EQ(io.sent[i].outSize, c.sizes[i]) << c.name;
        }
        ASSERT_EQ(out.size(), c.extents) << c.name;
        if (c.extents == 3) {
            EXPECT_EQ(out[2].diskNumber, 3);
            EXPECT_EQ(out[2].startingOffset, 0x300000u);
        }
    }
}

TEST(WinStorageRequests, GeometryRequestFollowsTheDeviceType) {
    const auto number = [](std::uint32_t type) {
        Bytes b(12);
        Put32(b, 0, type);
        return b;
    };
    Bytes geometry(24);
    Put32(geometry, 0, 1000);
    Put32(geometry, 20, 2048);
    struct Case {
        Answer deviceNumber;
        std::uint32_t code;
    };
    const Case cases[] = {
        {{0, number(FILE_DEVICE_DVD)}, IOCTL_CDROM_GET_DRIVE_GEOMETRY},
        {{0, number(FILE_DEVICE_CD_ROM)}, IOCTL_CDROM_GET_DRIVE_GEOMETRY},
        {{0, number(FILE_DEVICE_DISK)}, IOCTL_DISK_GET_DRIVE_GEOMETRY},
        {{err::kInvalidFunction, {}}, IOCTL_DISK_GET_DRIVE_GEOMETRY},
    };
    for (const Case& c : cases) {
        ScriptedIo io(Script{c.deviceNumber, {0, geometry}});
        DiskGeometry out;
        ASSERT_EQ(win::QueryGeometry(io, out), err::kSuccess);
        ASSERT_EQ(io.sent.size(), 2u);
        EXPECT_EQ(io.sent[0].code, static_cast<std::uint32_t>(IOCTL_STORAGE_GET_DEVICE_NUMBER));
        EXPECT_EQ(io.sent[1].code, c.code);
        EXPECT_EQ(io.sent[1].outSize, 24u);
        EXPECT_EQ(out.cylinders, 1000);
        EXPECT_EQ(out.bytesPerSector, 2048u);
    }
}

TEST(WinStorageRequests, ShortFixedAnswersAreRefused) {
    {
        ScriptedIo io(Script{{err::kSuccess, Bytes(11, 0xAB)}});
        StorageDeviceNumber number;
        number.deviceNumber = 42;
        EXPECT_EQ(win::QueryDeviceNumber(io, number), err::kInvalidData);
        EXPECT_EQ(number.deviceNumber, 42) << "untouched";
    }
    {
        ScriptedIo io(Script{{err::kSuccess, Bytes(7, 1)}});
        std::uint64_t length = 7;
        EXPECT_EQ(win::QueryLength(io, length), err::kInvalidData);
        EXPECT_EQ(length, 7u);
    }
    {
        ScriptedIo io(Script{{err::kSuccess, {8, 0, 1, 0, 1, 0, 0, 0}}});
        std::uint8_t info[8] = {};
        ASSERT_EQ(win::QueryHotplugInfo(io, info), err::kSuccess);
        EXPECT_EQ(io.sent[0].code, static_cast<std::uint32_t>(IOCTL_STORAGE_GET_HOTPLUG_INFO));
        EXPECT_EQ(info[0], 8);
        EXPECT_EQ(info[2], 1);
        EXPECT_EQ(info[4], 1);
    }
    {
        ScriptedIo io(Script{{err::kSuccess, Bytes(6, 1)}});
        std::uint8_t info[8] = {};
        EXPECT_EQ(win::QueryHotplugInfo(io, info), err::kInvalidData);
        EXPECT_EQ(info[0], 0);
    }
}

TEST(WinStorageRequests, WriteProtectionIsAnAnswer) {
    const std::pair<ErrorCode, bool> cases[] = {{err::kSuccess, true},
                                                {ERROR_WRITE_PROTECT, false}};
    for (const auto& [error, writable] : cases) {
        ScriptedIo io(Script{{error, {}}});
        bool out = !writable;
        EXPECT_EQ(win::QueryWritable(io, out), err::kSuccess);
        EXPECT_EQ(out, writable);
        EXPECT_EQ(io.sent[0].code, static_cast<std::uint32_t>(IOCTL_DISK_IS_WRITABLE));
    }
    ScriptedIo io(Script{{ERROR_NOT_READY, {}}});
    bool out = true;
    EXPECT_EQ(win::QueryWritable(io, out), static_cast<ErrorCode>(ERROR_NOT_READY));
}

TEST(WinStorageRequests, MountDeviceNameStaysWithinTheAnswer) {
    const auto name = [](std::uint16_t bytes, const char16_t* text, std::size_t total) {
        Bytes b(total);
        b[0] = static_cast<std::uint8_t>(bytes);
        b[1] = static_cast<std::uint8_t>(bytes >> 8);
        for (std::size_t i = 0; text[i] && 2 + 2 * i + 1 < total; ++i) {
            b[2 + 2 * i] = static_cast<std::uint8_t>(text[i]);
            b[3 + 2 * i] = static_cast<std::uint8_t>(text[i] >> 8);
        }
        return b;
    };
    struct Case {
        Bytes answer;
        ErrorCode expected;
        std::u16string name;
    };
    const std::u16string volume = u"\\Device\\HarddiskVolume3"; // 46 bytes
    const Case cases[] = {
        {name(46, volume.c_str(), 48), 0, volume},
        {name(46, volume.c_str(), 1028), 0, volume},
        {name(0, u"", 2), 0, u""},
        {name(45, volume.c_str(), 60), err::kInvalidData, u"keep"},
        {name(60, volume.c_str(), 48), err::kInvalidData, u"keep"},
        {Bytes(1, 0), err::kInvalidData, u"keep"},
    };
    for (const Case& c : cases) {
        ScriptedIo io(Script{{err::kSuccess, c.answer}});
        std::u16string out = u"keep";
        EXPECT_EQ(win::QueryMountDeviceName(io, out), c.expected);
        EXPECT_EQ(out, c.name);
        EXPECT_EQ(io.sent[0].code, static_cast<std::uint32_t>(IOCTL_MOUNTDEV_QUERY_DEVICE_NAME));
        EXPECT_EQ(io.sent[0].outSize, 1028u);
    }
}

Bytes HcdKey(std::uint32_t actual, const std::u16string& key, std::size_t size) {
    Bytes b(std::max<std::size_t>(size, 4));
    Put32(b, 0, actual);
    for (std::size_t i = 0; i < key.size() && 4 + 2 * i + 1 < b.size(); ++i) {
        b[4 + 2 * i] = static_cast<std::uint8_t>(key[i]);
        b[5 + 2 * i] = static_cast<std::uint8_t>(key[i] >> 8);
    }
    b.resize(size);
    return b;
}

TEST(WinStorageRequests, HostControllerKeyIsReadAgainWhenLonger) {
    const std::u16string key = u"{36fc9e60-c465-11cf-8056-444553540000}\\0001";
    const std::u16string longKey(400, u'k'); // 804 bytes with its header
    struct Case {
        const char* name;
        Script script;
        ErrorCode expected;
        std::vector<std::size_t> sizes;
        std::u16string key;
    };
    const Case cases[] = {
        {"fits",
         {{0, HcdKey(static_cast<std::uint32_t>(6 + 2 * key.size()), key, 512)}},
         0,
         {512},
         key},
        {"longer",
         {{0, HcdKey(806, {}, 512)}, {0, HcdKey(806, longKey, 806)}},
         0,
         {512, 806},
         longKey},
        {"the key ends at ActualLength", {{0, HcdKey(4 + 2 * 3, key, 512)}}, 0, {512}, u"{36"},
        {"absurd length", {{0, HcdKey(100000, {}, 512)}}, err::kInvalidData, {512}, u"keep"},
        {"below the header", {{0, HcdKey(2, key, 512)}}, err::kInvalidData, {512}, u"keep"},
        {"no answer", {{0, {}}}, err::kInvalidData, {512}, u"keep"},
        {"refused", {{err::kInvalidFunction, {}}}, err::kInvalidFunction, {512}, u"keep"},
    };
    for (const Case& c : cases) {
        ScriptedIo io(c.script);
        std::u16string out = u"keep";
        EXPECT_EQ(win::QueryHcdDriverKey(io, out), c.expected) << c.name;
        EXPECT_EQ(out, c.key) << c.name;
        ASSERT_EQ(io.sent.size(), c.sizes.size()) << c.name;
        for (std::size_t i = 0; i < c.sizes.size(); ++i) {
            EXPECT_EQ(io.sent[i].code, static_cast<std::uint32_t>(IOCTL_GET_HCD_DRIVERKEY_NAME));
            EXPECT_EQ(io.sent[i].outSize, c.sizes[i]) << c.name;
        }
    }
}

TEST(WinStorageRequests, FixedRequestsUseTheirCodesAndSizes) {
    struct Case {
        const char* name;
        std::uint32_t code;
        std::size_t outSize;
        ErrorCode (*run)(win::IoControl&);
    };
    const Case cases[] = {
        {"device number", IOCTL_STORAGE_GET_DEVICE_NUMBER, 12,
         [](win::IoControl& io) {
             StorageDeviceNumber n;
             return win::QueryDeviceNumber(io, n);
         }},
        {"scsi address", IOCTL_SCSI_GET_ADDRESS, 8,
         [](win::IoControl& io) {
             ScsiAddress a;
             return win::QueryScsiAddress(io, a);
         }},
        {"length", IOCTL_DISK_GET_LENGTH_INFO, 8,
         [](win::IoControl& io) {
             std::uint64_t n;
             return win::QueryLength(io, n);
         }},
        {"partition", IOCTL_DISK_GET_PARTITION_INFO_EX, 144,
         [](win::IoControl& io) {
             PartitionEntry p;
             return win::QueryPartitionInfo(io, p);
         }},
        {"layout", IOCTL_DISK_GET_DRIVE_LAYOUT_EX, 48 + 4 * 144,
         [](win::IoControl& io) {
             DriveLayout l;
             return win::QueryDriveLayout(io, l);
         }},
    };
    for (const Case& c : cases) {
        ScriptedIo io(Script{{err::kGenFailure, {}}});
        EXPECT_EQ(c.run(io), err::kGenFailure) << c.name;
        ASSERT_EQ(io.sent.size(), 1u) << c.name;
        EXPECT_EQ(io.sent[0].code, c.code) << c.name;
        EXPECT_EQ(io.sent[0].outSize, c.outSize) << c.name;
        EXPECT_TRUE(io.sent[0].in.empty()) << c.name;
    }
}

} // namespace
} // namespace tvd
