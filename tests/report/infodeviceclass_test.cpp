// The class block, the monitor section and the USB section over crafted fact records.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "foundation/textconvutil.h"
#include "report/edidbuilder.h"
#include "report/infodeviceclassutil.h"
#include "report/infosavemonitorutil.h"
#include "report/infosaveusbutil.h"
#include "storage/cldevice.h"

namespace tvd {
namespace {

using namespace std::string_literals;

std::string Written(const std::function<bool(ReportWriter&)>& write) {
    MemoryReportSink sink;
    ReportWriter w(&sink, ReportEncoding::kUtf8Lf);
    EXPECT_TRUE(write(w));
    const auto& b = sink.Bytes();
    return std::string(b.begin(), b.end());
}

std::vector<std::uint8_t> MultiSz(const std::u16string& units) {
    std::vector<std::uint8_t> bytes;
    for (char16_t u : units) {
        bytes.push_back(static_cast<std::uint8_t>(u));
        bytes.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return bytes;
}

NodeFacts Node(std::uint32_t devInst, const char* friendly) {
    NodeFacts n;
    n.devInst = devInst;
    if (friendly) n.friendlyName = friendly;
    n.description = "desc";
    n.instanceId = "PCI\\VEN_8086";
    return n;
}

TEST(DeviceClassBlock, DevicesAndFilters) {
    const struct {
        const char* what;
        std::function<void(DeviceClassFacts&)> set;
        const char* expected;
    } cases[] = {
        {"both filters",
         [](DeviceClassFacts& f) {
             f.upper = {err::kSuccess, MultiSz(u"PartMgr\0EhStorClass\0\0"s)};
             f.lower = {err::kSuccess, MultiSz(u"iaStorF\0\0"s)};
         },
         "X :\n [0000002A] = [Disk one][desc][PCI\\VEN_8086][]\n Upper Filters :\n  PartMgr\n"
         "  EhStorClass\n Lower Filters :\n  iaStorF\n\n"},
        // A missing value writes its heading alone; another failure its error line.
        {"missing and failing", [](DeviceClassFacts& f) { f.lower.error = 5; },
         "X :\n [0000002A] = [Disk one][desc][PCI\\VEN_8086][]\n Upper Filters :\n"
         " Lower Filters :\n ** Read Lower Filters fail, Error=[ERROR_ACCESS_DENIED].\n\n"},
        // A value without its final NUL, or of odd length, stops at its length.
        {"cut value",
         [](DeviceClassFacts& f) {
             f.upper = {err::kSuccess, MultiSz(u"abc\0de"s)};
             f.upper.multiSz.push_back('Z');
         },
         "X :\n [0000002A] = [Disk one][desc][PCI\\VEN_8086][]\n Upper Filters :\n  abc\n  de\n"
         " Lower Filters :\n\n"},
        {"class key", [](DeviceClassFacts& f) { f.classKeyError = 2; },
         "X :\n [0000002A] = [Disk one][desc][PCI\\VEN_8086][]\n ** Open Class Key fail.\n\n"},
        {"no filters here", [](DeviceClassFacts& f) { f.filtersSupported = false; },
         "X :\n [0000002A] = [Disk one][desc][PCI\\VEN_8086][]\n"
         " * Class Filters: not supported on this platform.\n\n"},
        {"enumeration",
         [](DeviceClassFacts& f) {
             f.enumError = 13;
             f.devices.clear();
         },
         "X :\n ** SetupDiGetClassDevs fail, Error=[13].\n Upper Filters :\n Lower Filters :\n\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DeviceClassFacts f;
        f.devices.push_back(Node(42, "Disk one"));
        c.set(f);
        EXPECT_EQ(Written([&](ReportWriter& w) { return WriteDeviceClass(w, "X :", f); }),
                  c.expected);
    }
}

TEST(MonitorSection, EdidLinesAndAreas) {
    MonitorSectionFacts f;
    f.cls.filtersSupported = false;
    MonitorDeviceFacts good;
    good.node = Node(7, "QEMU Monitor");
    good.edidError = err::kSuccess;
    good.edid = test::BuildEdid({"RHT", 0x1234, 99, 1, 24, "QEMU Monitor", "", false});
    MonitorDeviceFacts none;
    none.node = Node(8, nullptr);
    MonitorDeviceFacts garbage;
    garbage.node = Node(9, nullptr);
    garbage.edidError = err::kSuccess;
    garbage.edid.assign(128, 0x41);
    f.monitors = {good, none, garbage};
    f.count = 2;
    f.displays.push_back({"\\\\.\\DISPLAY1", true, {0, 0, 1920, 1080}, {0, 0, 1920, 1040}});
    f.displays.push_back({"", false, {-1280, 100, 0, 1124}, {}});
    f.workArea = {0, 0, 1920, 1040};
    const std::string text = Written([&](ReportWriter& w) { return WriteMonitorSection(w, f); });
    EXPECT_NE(text.find(" Monitor [00000007] :\n [00000007] = [QEMU Monitor][desc]"),
              std::string::npos);
    EXPECT_NE(text.find("  EDID Version = [1.4]\n  Manufacturer ID = [RHT]\n  Product Code = "
                        "[0x1234]\n  Serial Number = [99]\n  Monitor Name = [QEMU Monitor]\n\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(" [00000008]\n  * No EDID.\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" [00000009]\n  ** EDID decode fail\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Monitor Count = [2]\n [0] : [\\\\.\\DISPLAY1]\n  Monitor Area = (0, 0) - "
                        "(1920, 1080)\n  Work Area = (0, 0) - (1920, 1040)\n [1]\n  Monitor Area "
                        "= (-1280, 100) - (0, 1124)\n Full Screen = (-1280, 0) - (1920, 1124)\n\n"
                        " Work Area = (0, 0) - (1920- 1040)\n\n"),
              std::string::npos)
        << text;

    f.workAreaError = 5;
    f.areasSupported = true;
    EXPECT_NE(Written([&](ReportWriter& w) {
                  return WriteMonitorSection(w, f);
              }).find("\n\n  ** Get Work Area fail\n\n"),
              std::string::npos);
    f.areasSupported = false;
    f.listOk = false;
    const std::string linux = Written([&](ReportWriter& w) { return WriteMonitorSection(w, f); });
    EXPECT_NE(linux.find(" * Create MonitorList fail.\nMonitor Count = [2]\n"
                         " * Monitor Areas: not supported on this platform.\n\n"),
              std::string::npos)
        << linux;
    EXPECT_EQ(linux.find("Full Screen"), std::string::npos);
}

TEST(UsbSection, NodeKindsAndPortFailures) {
    UsbSectionFacts f;
    f.cls.filtersSupported = false;
    UsbNodeReportFacts hci;
    hci.kind = usbkind::kHostController;
    hci.node = Node(1, "xHCI");
    hci.hcdNumber = 1;
    UsbNodeReportFacts root;
    root.kind = usbkind::kHub;
    root.node = Node(2, nullptr);
    root.node.parents = {1};
    root.hubOpened = true;
    root.portCount = 4;
    root.port = 0;
    UsbNodeReportFacts dev;
    dev.kind = usbkind::kDevice;
    dev.node = Node(3, "Disk");
    dev.port = 2;
    dev.parentOpened = dev.infoOk = true;
    dev.linkVersion = 0x300;
    dev.vendorId = 0x152D;
    dev.productId = 0x0578;
    dev.manufacturer = "JMicron";
    dev.product = "Bridge\r\nFake line"; // device texts cannot forge lines
    UsbNodeReportFacts lost;
    lost.kind = usbkind::kDevice;
    lost.node = Node(4, nullptr);
    lost.port = -1;
    UsbNodeReportFacts closed = dev;
    closed.node = Node(5, nullptr);
    closed.parentOpened = false;
    UsbNodeReportFacts odd;
    odd.kind = usbkind::kUnclassified;
    f.nodes = {hci, root, dev, lost, closed, odd};
    const std::string text = Written([&](ReportWriter& w) { return WriteUsbSection(w, f); });
    EXPECT_NE(text.find(" USB Hci [00000001] :\n [00000001] = [xHCI][desc][PCI\\VEN_8086][]\n"
                        " [00000001]\n HCD No = [1]\n\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(" [00000002]->[00000001]\n PortCount = [4]\n PortNumber = [0]\n\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(" PortNumber = [2]\n USB Version = [300]\n VID = [152D], PID = [0578]\n"
                        " Manufacturer = [JMicron]\n Product = [Bridge  Fake line]\n"
                        " SerialNumber = []\n\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(" [00000004]\n ** PortNumber fail\n\n"), std::string::npos);
    EXPECT_NE(text.find(" [00000005]\n PortNumber = [2]\n ** Open Parent Hub fail\n\n"),
              std::string::npos);
    EXPECT_NE(text.find(" ** Unknown USB Device.\n\n"), std::string::npos);

    f.listOk = false;
    EXPECT_NE(Written([&](ReportWriter& w) {
                  return WriteUsbSection(w, f);
              }).find(" * Create UsbDeviceList fail.\n\n"),
              std::string::npos);
}

// Every write failure stops the sections at once.
TEST(DeviceClassBlock, WriteFailuresStop) {
    MonitorSectionFacts m;
    m.count = 1;
    m.displays.push_back({"D", true, {0, 0, 1, 1}, {0, 0, 1, 1}});
    m.monitors.push_back({Node(1, "M"), err::kSuccess, test::BuildEdid({})});
    for (std::size_t limit = 0; limit < 400; limit += 7) {
        MemoryReportSink sink(limit);
        ReportWriter w(&sink);
        EXPECT_FALSE(WriteMonitorSection(w, m)) << limit;
        EXPECT_LE(sink.Bytes().size(), limit);
    }
}

} // namespace
} // namespace tvd
