// USB hub requests answered from a sysfs tree the test builds: the same records the Windows hub
// driver returns, decoded by the shared code.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "storage/linux/linuxtesttools.h"
#include "storage/linux/linuxusb.h"
#include "storage/usbnodeutil.h"

namespace tvd {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class UsbSysfs : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(tmp_.Path().empty());
        const std::string hub = "devices/pci0000:00/0000:00:14.0/usb2";
        Node(hub, {{"busnum", "2"},
                   {"devnum", "1"},
                   {"maxchild", "4"},
                   {"speed", "5000"},
                   {"bDeviceClass", "09"}});
        Descriptor(hub, 0x1D6B, 0x0003, 9, 0, 0, 0);
        const std::string dev = hub + "/2-3";
        Node(dev, {{"busnum", "2"},
                   {"devnum", "2"},
                   {"speed", "5000"},
                   {"bDeviceClass", "00"},
                   {"bConfigurationValue", "1"},
                   {"manufacturer", "Maker"},
                   {"product", "Enclosure"},
                   {"serial", "ABC123"}});
        Descriptor(dev, 0x174C, 0x55AA, 9, 2, 3, 1);
        Node(dev + "/2-3:1.0/ep_81", {{"bEndpointAddress", "81"},
                                      {"bmAttributes", "02"},
                                      {"wMaxPacketSize", "0400"},
                                      {"bInterval", "00"}});
        Node(dev + "/2-3:1.0/ep_02", {{"bEndpointAddress", "02"},
                                      {"bmAttributes", "02"},
                                      {"wMaxPacketSize", "0400"},
                                      {"bInterval", "00"}});
        Node("bus/usb/drivers/uas", {});
        fs::create_directory_symlink(tmp_ / "bus/usb/drivers/uas",
                                     tmp_ / (dev + "/2-3:1.0/driver"));
        fs::create_directories(tmp_ / "bus/usb/devices");
        fs::create_directory_symlink(tmp_ / hub, tmp_ / "bus/usb/devices/usb2");
        fs::create_directory_symlink(tmp_ / dev, tmp_ / "bus/usb/devices/2-3");
        devices_ = tmp_ / "bus/usb/devices";
    }
    void Node(const std::string& rel, std::vector<std::pair<std::string, std::string>> attrs) {
        fs::create_directories(tmp_ / rel);
        for (const auto& [k, v] : attrs)
            std::ofstream(tmp_ / (rel + "/" + k)) << v << "\n";
    }
    // A device descriptor with a configuration descriptor after it, as sysfs shows them.
    void Descriptor(const std::string& rel, std::uint16_t vid, std::uint16_t pid,
                    std::uint8_t maxPacket0, std::uint8_t iManufacturer, std::uint8_t iProduct,
                    std::uint8_t iSerial) {
        Bytes d = {18, 1, 0x20, 0x03,          0,        0,       0, maxPacket0, 0, 0,  0,
                   0,  0, 1,    iManufacturer, iProduct, iSerial, 1, 9,          2, 44, 0,
                   1,  1, 0,    0xC0,          0};
        StoreLe<std::uint16_t>(d, 8, vid);
        StoreLe<std::uint16_t>(d, 10, pid);
        std::ofstream(tmp_ / (rel + "/descriptors"), std::ios::binary)
            .write(reinterpret_cast<const char*>(d.data()), static_cast<std::streamsize>(d.size()));
    }
    ErrorCode Ask(DeviceHandle& h, std::uint32_t code, Bytes& buf, std::uint32_t& returned) {
        return linuxsys::UsbNodeIoControl(h, code, buf, buf, returned);
    }

    test::TempDir tmp_;
    std::string devices_;
};

TEST_F(UsbSysfs, HubAnswersForItsPorts) {
    DeviceHandle hub;
    ASSERT_EQ(linuxsys::OpenUsbNode(devices_, "/dev/bus/usb/002/001", hub), err::kSuccess);
    DeviceHandle none;
    EXPECT_EQ(linuxsys::OpenUsbNode(devices_, "/dev/bus/usb/003/001", none), err::kFileNotFound);
    EXPECT_EQ(linuxsys::OpenUsbNode(devices_, "/dev/bus/usb/002/x", none), err::kFileNotFound);

    std::uint32_t returned = 0;
    Bytes node(usbnode::kSize);
    ASSERT_EQ(Ask(hub, ioctl::kUsbGetNodeInformation, node, returned), err::kSuccess);
    EXPECT_EQ(usbdesc::HubPortCount(ByteView(node).first(returned)), 4);
    EXPECT_EQ(node[usbnode::kDescriptorType], usbnode::kSuperSpeedHubDescriptor);

    Bytes conn(usbconn::kSize);
    StoreLe<std::uint32_t>(conn, 0, 3);
    ASSERT_EQ(Ask(hub, ioctl::kUsbGetNodeConnectionInformation, conn, returned), err::kSuccess);
    const auto info = usbdesc::DecodeConnectionInfo(ByteView(conn).first(returned));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->VendorId(), 0x174C);
    EXPECT_EQ(info->ProductId(), 0x55AA);
    EXPECT_EQ(info->status, usbconn::kDeviceConnected);
    EXPECT_EQ(info->address, 2);
    ASSERT_EQ(info->pipes.size(), 2u);
    EXPECT_EQ(usbdesc::LinkVersion(*info), 0x0300);

    // An empty port: the record says so.
    StoreLe<std::uint32_t>(conn, 0, 1);
    ASSERT_EQ(Ask(hub, ioctl::kUsbGetNodeConnectionInformation, conn, returned), err::kSuccess);
    EXPECT_EQ(usbdesc::DecodeConnectionInfo(ByteView(conn).first(returned))->status, 0u);

    // Through the shared helpers: driver keys and strings.
    Bytes key(usbname::kDriverKeySize);
    StoreLe<std::uint32_t>(key, 0, 3);
    ASSERT_EQ(Ask(hub, ioctl::kUsbGetNodeConnectionDriverKeyName, key, returned), err::kSuccess);
    const std::uint32_t needed = Le<std::uint32_t>(ByteView(key), 4);
    Bytes full(needed);
    StoreLe<std::uint32_t>(full, 0, 3);
    ASSERT_EQ(Ask(hub, ioctl::kUsbGetNodeConnectionDriverKeyName, full, returned), err::kSuccess);
    EXPECT_EQ(usbdesc::DecodeName(ByteView(full).first(returned), usbname::kDriverKeyName), "2-3");

    for (auto [index, text] :
         {std::pair<std::uint8_t, const char*>{1, "ABC123"}, {2, "Maker"}, {3, "Enclosure"}}) {
        Bytes req = usbdesc::StringRequest(3, index);
        ASSERT_EQ(Ask(hub, ioctl::kUsbGetDescriptorFromNodeConnection, req, returned),
                  err::kSuccess);
        EXPECT_EQ(usbdesc::DecodeStringAnswer(ByteView(req).first(returned)), text);
    }
    Bytes req = usbdesc::StringRequest(3, 7);
    EXPECT_NE(Ask(hub, ioctl::kUsbGetDescriptorFromNodeConnection, req, returned), err::kSuccess);
    EXPECT_EQ(linuxsys::UsbStorageDriver(tmp_ / "devices/pci0000:00/0000:00:14.0/usb2/2-3"), "uas");
}

TEST_F(UsbSysfs, OtherHandlesAreNotUsbNodes) {
    DeviceHandle h;
    Bytes buf(usbnode::kSize);
    std::uint32_t returned = 0;
    EXPECT_EQ(linuxsys::UsbNodeIoControl(h, ioctl::kUsbGetNodeInformation, buf, buf, returned),
              err::kNotSupported);
    EXPECT_TRUE(linuxsys::IsUsbNodePath("/dev/bus/usb/001/002"));
    EXPECT_FALSE(linuxsys::IsUsbNodePath("/dev/sda"));
}

} // namespace
} // namespace tvd
