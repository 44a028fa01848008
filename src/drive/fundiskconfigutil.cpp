#include "drive/fundiskconfigutil.h"

#include <algorithm>

namespace tvd {
namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

std::string Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

// The prefix and the parts joined by '_'; the last part is the serial. An empty leading part
// is left out; with neither leading part, or without a serial, there is no key.
std::string Join(std::string_view prefix, const std::string& first, const std::string& second,
                 const std::string& serial) {
    if (serial.empty() || (first.empty() && second.empty())) return {};
    std::string key(prefix);
    for (const std::string* part : {&first, &second, &serial}) {
        if (part->empty()) continue;
        key += '_';
        key += *part;
    }
    return key;
}

std::string KeyOf(const ConfigKeyFacts& f) {
    if (!f.model.empty() && !f.serial.empty()) return "DISK_" + f.model + "_" + f.serial;
    if (f.onUsb) {
        std::string key =
            Join("USB", Trim(f.usbManufacturer), Trim(f.usbProduct), Trim(f.usbSerial));
        if (!key.empty()) return key;
    }
    std::string key = Join("DEVICE", Trim(f.vendor), Trim(f.product), Trim(f.descriptorSerial));
    if (!key.empty()) {
        std::replace_if(
            key.begin(), key.end(),
            [](char c) {
                return c == '/' || c == ':' || c == '\\' || static_cast<unsigned char>(c) < '!';
            },
            '_');
        return key;
    }
    return f.devicePath;
}

} // namespace

std::string SafeFileName(std::string_view key) {
    static constexpr std::string_view kReserved = "/\\:*?\"<>|";
    std::string out(key);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(key[i]);
        const bool dotRun =
            c == '.' && ((i > 0 && key[i - 1] == '.') || (i + 1 < key.size() && key[i + 1] == '.'));
        if (c < 0x20 || c == 0x7F || kReserved.find(key[i]) != std::string_view::npos || dotRun)
            out[i] = '_';
    }
    return out;
}

std::string BuildConfigKey(const ConfigKeyFacts& facts) {
    return SafeFileName(KeyOf(facts));
}

std::string BuildConfigPath(std::string_view appDataFolder, std::string_view key) {
    if (appDataFolder.empty() || key.empty()) return {};
    std::string path(appDataFolder);
    if (path.back() != '\\' && path.back() != '/') path += kSeparator;
    path += SafeFileName(key);
    path += ".ini";
    return path;
}

} // namespace tvd
