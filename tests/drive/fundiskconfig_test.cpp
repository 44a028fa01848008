#include <gtest/gtest.h>

#include <string>

#include "drive/fundiskconfigutil.h"

namespace tvd {
namespace {

#ifdef _WIN32
constexpr char kSep = '\\';
#else
constexpr char kSep = '/';
#endif

ConfigKeyFacts Drive(std::string model, std::string serial) {
    ConfigKeyFacts f;
    f.model = std::move(model);
    f.serial = std::move(serial);
    f.devicePath = "PATH";
    return f;
}

ConfigKeyFacts Usb(std::string manufacturer, std::string product, std::string serial) {
    ConfigKeyFacts f = Drive("", "");
    f.onUsb = true;
    f.usbManufacturer = std::move(manufacturer);
    f.usbProduct = std::move(product);
    f.usbSerial = std::move(serial);
    return f;
}

ConfigKeyFacts Descriptor(std::string vendor, std::string product, std::string serial) {
    ConfigKeyFacts f = Drive("", "");
    f.vendor = std::move(vendor);
    f.product = std::move(product);
    f.descriptorSerial = std::move(serial);
    return f;
}

// A USB disk named by its USB strings, its storage descriptor and, when given, its own
// identify data.
ConfigKeyFacts UsbDisk(bool onUsb, std::string usbSerial, std::string model = {},
                       std::string serial = {}) {
    ConfigKeyFacts f = Descriptor("V", "", "D1");
    f.model = std::move(model);
    f.serial = std::move(serial);
    f.onUsb = onUsb;
    f.usbManufacturer = "Maker";
    f.usbProduct = "Box";
    f.usbSerial = std::move(usbSerial);
    return f;
}

TEST(FunDiskConfig, KeyFromTheFirstRuleThatYields) {
    const struct {
        ConfigKeyFacts facts;
        const char* key;
    } cases[] = {
        {Drive("Example 1", "123"), "DISK_Example 1_123"},
        {Drive("Example 1", ""), "PATH"},
        {Drive("", "123"), "PATH"},
        {UsbDisk(true, "U1", "Example 1", "123"), "DISK_Example 1_123"},
        {UsbDisk(true, "U1"), "USB_Maker_Box_U1"},
        {Usb("Maker", "", "U1"), "USB_Maker_U1"},
        {Usb("", "Box", "U1"), "USB_Box_U1"},
        {Usb(" Maker ", " Box ", " U1 "), "USB_Maker_Box_U1"},
        {Usb("", "", "U1"), "PATH"},
        {UsbDisk(true, ""), "DEVICE_V_D1"},
        {UsbDisk(false, "U1"), "DEVICE_V_D1"},
        {Descriptor("Generic", "SD/MMC", "0001"), "DEVICE_Generic_SD_MMC_0001"},
        {Descriptor(" Generic ", "Mass Storage", "12:34"), "DEVICE_Generic_Mass_Storage_12_34"},
        {Descriptor("", "Card\\Reader", "S\t1"), "DEVICE_Card_Reader_S_1"},
        {Descriptor("Vendor", "", "S1"), "DEVICE_Vendor_S1"},
        {Descriptor("Vendor", "P", ""), "PATH"},
        {Descriptor("", "", "S1"), "PATH"},
        {Drive("v1.0", "S.1"), "DISK_v1.0_S.1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BuildConfigKey(c.facts), c.key) << c.key;
    ConfigKeyFacts none;
    EXPECT_EQ(BuildConfigKey(none), "");
}

// Whatever a drive or the system reports, the key stays one file name inside the folder.
TEST(FunDiskConfig, EveryKeyFormIsASafeFileName) {
    const std::string hostile = "a/b\\c:d*e?f\"g<h>i|j\x01k\x7Fl..m...n";
    ConfigKeyFacts path = Drive("", "");
    path.devicePath = "\\\\?\\scsi#disk&ven_x#{53f56307-b6bf}\\..\\..";
    const ConfigKeyFacts forms[] = {
        Drive(hostile, hostile),
        Drive("..", ".."),
        Usb(hostile, hostile, hostile),
        Descriptor(hostile, hostile, hostile),
        path,
    };
    for (const ConfigKeyFacts& f : forms) {
        const std::string key = BuildConfigKey(f);
        ASSERT_FALSE(key.empty());
        EXPECT_EQ(key.find_first_of("/\\:*?\"<>|"), std::string::npos) << key;
        EXPECT_EQ(key.find(".."), std::string::npos) << key;
        for (char c : key)
            EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) << key;
    }
    EXPECT_EQ(SafeFileName("x..y.z...w"), "x__y.z___w");
}

TEST(FunDiskConfig, PathInTheDataFolder) {
    const std::string folder = std::string("data") + kSep + "app";
    const struct {
        std::string folder, key, path;
    } cases[] = {
        {folder, "DISK_Example 1_123", folder + kSep + "DISK_Example 1_123.ini"},
        {folder + kSep, "K", folder + kSep + "K.ini"},
        {folder, "../../evil", folder + kSep + "______evil.ini"},
        {folder, "", ""},
        {"", "K", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BuildConfigPath(c.folder, c.key), c.path) << c.key;
}

} // namespace
} // namespace tvd
