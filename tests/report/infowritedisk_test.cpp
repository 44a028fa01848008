#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/textconvutil.h"
#include "report/infowritediskutil.h"
#include "storage/ntstoragepropertyutil.h"

namespace tvd {
namespace {

std::string Text(const std::vector<std::uint8_t>& bytes) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        units += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    return Utf16ToUtf8(units);
}

std::string Block(const DiskFacts& d) {
    MemoryReportSink sink;
    ReportWriter w(&sink);
    EXPECT_TRUE(WriteDiskBlock(w, d));
    return Text(sink.Bytes());
}

bool Has(const std::string& text, const std::string& line) {
    return text.find(line + "\r\n") != std::string::npos;
}

// A disk whose every query answered.
DiskFacts AnsweringDisk() {
    DiskFacts d;
    d.number = 1;
    d.node.devInst = 0x1A;
    d.node.friendlyName = "Disk One";
    d.node.parents = {0x10, 0x02};
    d.descriptorError = d.trimError = d.numberError = d.geometryError = d.hotplugError =
        d.addressError = d.lengthError = d.layoutError = err::kSuccess;
    d.layout.style = partstyle::kMbr;
    d.layout.mbrSignature = 0xA1B2C3D4;
    PartitionEntry used;
    used.length = 1024;
    used.number = 1;
    used.mbrType = 7;
    d.layout.partitions = {used, PartitionEntry{}};
    return d;
}

TEST(ReportDiskBlock, UnopenableDiskKeepsItsOtherBlocks) {
    DiskFacts d;
    d.number = 3;
    d.systemDisk = true;
    d.letters = "C:, D:";
    d.node.devInst = 0x42;
    d.openError = err::kAccessDenied;
    d.bridgeKnown = true;
    d.bridgeVendorId = 0x152D;
    d.hasAta = true; // IDENTIFY failed
    const std::string text = Block(d);
    EXPECT_EQ(text.rfind("Disk [3] (SystemDisk) :\r\n Drives = [C:, D:]\r\n", 0), 0u) << text;
    EXPECT_TRUE(Has(text, " [00000042] = [][][][]"));
    EXPECT_TRUE(Has(text, " * Open Disk fail."));
    EXPECT_EQ(text.find("STORAGE_DEVICE_DESCRIPTOR"), std::string::npos);
    EXPECT_TRUE(Has(text, " USB Bridge : VID = [152D]"));
    EXPECT_TRUE(Has(text, "  ** ATA Identify read fail"));
    EXPECT_TRUE(Has(text, " SMART :\r\n  ** SMART read failed."));
    EXPECT_EQ(text.substr(text.size() - 4), "\r\n\r\n"); // the empty line after the block
}

TEST(ReportDiskBlock, LayoutAndChain) {
    const std::string text = Block(AnsweringDisk());
    EXPECT_TRUE(Has(text, " [0000001A]->[00000010]->[00000002]"));
    EXPECT_TRUE(Has(text, " DRIVE_LAYOUT_INFORMATION_EX : PARTITION_STYLE_MBR : Partition "
                          "Count=[2], Signature=[0xA1B2C3D4]"));
    EXPECT_TRUE(Has(text, "  Partition Entry [ 0]"));
    EXPECT_TRUE(Has(text, "   Partition Length     = [1024] (1.00 KB)"));
    EXPECT_TRUE(Has(text, "  Partition Entry [ 1] (Empty)"));
    EXPECT_TRUE(Has(text, " DiskWritable = [FALSE]"));
}

TEST(ReportDiskBlock, GptNameStopsAt36Units) {
    DiskFacts d = AnsweringDisk();
    d.layout.style = partstyle::kGpt;
    PartitionEntry p;
    p.length = 512;
    p.gptName = std::u16string(40, u'N'); // no NUL within the field
    PartitionEntry q;
    q.length = 512;
    q.gptName = std::u16string(u"EFI\0junk", 8);
    d.layout.partitions = {p, q};
    const std::string text = Block(d);
    EXPECT_TRUE(Has(text, "   Name               = [" + std::string(36, 'N') + "]"));
    EXPECT_TRUE(Has(text, "   Name               = [EFI]"));
    d.layout.style = 7;
    EXPECT_TRUE(Has(Block(d), " ** GetDriveLayout : Unknown PartitionStyle"));
}

TEST(ReportDiskBlock, DescriptorTextsOnlyInsideTheAnswer) {
    DiskFacts d = AnsweringDisk();
    std::vector<std::uint8_t> raw(devdesc::kHeaderSize + 8, 0);
    std::memcpy(raw.data() + devdesc::kHeaderSize, "VEND\0PRO", 8); // PRO has no NUL
    auto put = [&](std::size_t off, std::uint32_t v) { StoreLe<std::uint32_t>(raw, off, v); };
    put(devdesc::kSize, static_cast<std::uint32_t>(raw.size()));
    put(devdesc::kVendorIdOffset, devdesc::kHeaderSize);
    put(devdesc::kProductIdOffset, devdesc::kHeaderSize + 5);
    put(devdesc::kProductRevisionOffset, 0xFFFFFFF0u);
    put(devdesc::kSerialNumberOffset, 0);
    put(devdesc::kBusType, bustype::kUsb);
    d.descriptor.raw = raw;
    const std::string text = Block(d);
    EXPECT_TRUE(Has(text, "  VendorIdOffset = [36] (VEND)"));
    EXPECT_TRUE(Has(text, "  ProductIdOffset = [41] (NULL)"));
    EXPECT_TRUE(Has(text, "  ProductRevisionOffset = [4294967280] (NULL)"));
    EXPECT_TRUE(Has(text, "  SerialNumberOffset = [0] (NULL)"));
    EXPECT_TRUE(Has(text, "  BusType = [7] (USB)"));
}

TEST(ReportDiskBlock, PlatformGapsAndErrors) {
    DiskFacts d = AnsweringDisk();
    d.adapterError = err::kNotSupported;
    d.temperatureError = err::kNotSupported;
    d.geometryError = err::kAccessDenied;
    d.lengthError = err::kInvalidParameter;
    const std::string text = Block(d);
    EXPECT_TRUE(Has(text, " * STORAGE_ADAPTER_DESCRIPTOR: not supported on this platform."));
    EXPECT_TRUE(
        Has(text, " * STORAGE_TEMPERATURE_DATA_DESCRIPTOR: not supported on this platform."));
    EXPECT_TRUE(Has(text, " ** IOCTL_DISK_GET_DRIVE_GEOMETRY fail, Error=[ERROR_ACCESS_DENIED]."));
    EXPECT_TRUE(Has(text, " ** IOCTL_DISK_GET_LENGTH_INFO fail, Error=[87]."));
}

TEST(ReportDiskBlock, NvmeNamespacesAndBounds) {
    DiskFacts d = AnsweringDisk();
    d.hasNvme = true;
    d.link = PciLinkInfo{3, 4, 3, 2};
    d.namespaceListOk = true;
    for (std::uint32_t nsid : {1u, 2u, 5u}) {
        NvmeNamespaceFacts ns;
        ns.nsid = nsid;
        if (nsid != 2) {
            ns.data.assign(4096, 0);
            ns.data[25] = 200; // NLBAF far beyond the 16 formats the structure holds
        }
        d.namespaces.push_back(ns);
    }
    const std::string text = Block(d);
    EXPECT_TRUE(Has(text, "   Maximum = [PCIe Gen3 x4]"));
    EXPECT_TRUE(Has(text, "   Current = [PCIe Gen3 x2]"));
    EXPECT_TRUE(Has(text, "  ** NVMe IdentifyController load fail"));
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(
            Has(text, std::string("  Namespace(").append(std::to_string(i)).append(") data :")))
            << i;
    EXPECT_TRUE(Has(text, "   NSID = [5]"));
    EXPECT_TRUE(Has(text, "  ** NVMe IdentifyNamespace load fail"));
    EXPECT_TRUE(Has(text, "   LBA Format [15] Support = [0x00000000]"));
    EXPECT_FALSE(Has(text, "   LBA Format [16] Support = [0x00000000]"));
    // 256 data-table lines per 4096-byte structure.
    const std::size_t first = text.find("    0FF0 ");
    EXPECT_NE(first, std::string::npos);
}

TEST(ReportDiskBlock, SmartColumns) {
    DiskFacts d = AnsweringDisk();
    d.hasSmart = true;
    d.smartIsAta = true;
    d.temperature = -1000;
    d.hostWritesGb = 1234;
    SmartAttribute a;
    a.id = 0xC2;
    a.threshold = 0;
    a.current = 38;
    a.worst = 45;
    a.raw = 0x26;
    d.attributes = {a};
    std::string text = Block(d);
    EXPECT_TRUE(Has(text, "  Temperature = [N/A]"));
    EXPECT_TRUE(Has(text, "  TBW = [1234 GB]"));
    EXPECT_TRUE(Has(text, "   C2h    0       38    45    0000000000000026"));
    d.smartIsAta = false;
    text = Block(d);
    EXPECT_TRUE(Has(text, "   ID        RAW_value"));
    EXPECT_TRUE(Has(text, "   C2h    0000000000000026"));
}

TEST(ReportDiskBlock, EveryWriteFailureStopsTheBlock) {
    DiskFacts d = AnsweringDisk();
    d.hasAta = true;
    d.identify.assign(512, 0x20);
    d.hasSmart = true;
    MemoryReportSink full;
    ReportWriter all(&full);
    ASSERT_TRUE(WriteDiskBlock(all, d));
    const std::size_t total = full.Bytes().size();
    // A failure at any point is passed up, never swallowed.
    for (std::size_t room = 0; room < total; room += 7) {
        MemoryReportSink sink(room);
        ReportWriter w(&sink);
        EXPECT_FALSE(WriteDiskBlock(w, d)) << room;
    }
}

} // namespace
} // namespace tvd
