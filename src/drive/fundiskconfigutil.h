// The key that names a drive's own settings file, and that file's path. The key becomes a file
// name, so whatever its source it carries no path separators, reserved characters or "..".
#pragma once
#include <string>
#include <string_view>

namespace tvd {

struct ConfigKeyFacts {
    // From the drive's own identify or INQUIRY data (never from USB descriptors): the model
    // from ATA, NVMe or SCSI, the serial from ATA or NVMe. Trailing blanks already removed.
    std::string model, serial;
    // String descriptors of the USB device, when the disk is on USB and they were read.
    bool onUsb = false;
    std::string usbManufacturer, usbProduct, usbSerial;
    // The storage device descriptor's texts.
    std::string vendor, product, descriptorSerial;
    std::string devicePath;
};

// Replaces what a file name may not hold ('/', '\', ':', '*', '?', '"', '<', '>', '|', control
// characters, and every dot of a run of two or more) by '_'.
std::string SafeFileName(std::string_view key);
// The first key rule that yields a text, made safe; empty when there is none.
std::string BuildConfigKey(const ConfigKeyFacts& facts);
// "<folder><separator><key>.ini" with the key made safe as well; empty without a folder or a
// key.
std::string BuildConfigPath(std::string_view appDataFolder, std::string_view key);

} // namespace tvd
