#include "drive/fundiskstringutil.h"

#include <cstdio>

#include "foundation/clmsgobject.h"
#include "foundation/textconvutil.h"
#include "storage/ataidentifyutil.h"
#include "storage/nvmeidentifyutil.h"

namespace tvd {

std::string HexId(const std::uint8_t (&id)[8]) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t b : id) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0xF];
    }
    return text;
}

std::string BuildWwnText(const WwnFacts& f) {
    std::uint8_t id[8] = {};
    if (f.hasAta) return "WWN: " + (ataid::Wwn(f.ataIdentify, id) ? HexId(id) : "N/A");
    if (!f.hasNvme) return {};
    // An all-zero EUI-64 means the namespace has none.
    nvmeid::NamespaceInfo ns;
    if (!nvmeid::DecodeNamespace(f.nvmeNamespace, ns) || !ns.hasEui64) return "EUI64: N/A";
    return "EUI64: " + HexId(ns.eui64);
}

std::string CapacityText(std::uint64_t sizeBytes) {
    char text[64];
    if (sizeBytes == 0) return "0 Byte";
    if (sizeBytes < 1024) {
        std::snprintf(text, sizeof text, "%llu Bytes", static_cast<unsigned long long>(sizeBytes));
        return text;
    }
    static constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB"};
    double value = static_cast<double>(sizeBytes);
    std::size_t unit = 0;
    value /= 1024;
    while (value >= 1024 && unit + 1 < std::size(kUnits)) {
        value /= 1024;
        ++unit;
    }
    std::snprintf(text, sizeof text, "%.f %s", value, kUnits[unit]);
    return text;
}

std::string DriveLettersText(std::uint32_t letterMask) {
    std::string text;
    for (int i = 0; i < 26; ++i) {
        if (!(letterMask & (1u << i))) continue;
        if (!text.empty()) text += ", ";
        text += static_cast<char>('A' + i);
        text += ':';
    }
    return text;
}

std::string BuildDisplayNameShort(std::string_view model, std::string_view busText) {
    if (model.empty()) return {};
    std::string text(model);
    if (!busText.empty()) {
        text += " | ";
        text += busText;
    }
    return text;
}

std::string BuildDisplayNameLong(std::uint32_t diskNumber, std::uint64_t sizeBytes,
                                 std::uint32_t letterMask) {
    std::string text = "Disk " + std::to_string(diskNumber) + " - " + CapacityText(sizeBytes);
    const std::string letters = DriveLettersText(letterMask);
    if (!letters.empty()) text += " (" + letters + ")";
    return text;
}

std::string BuildDisplayInterface(std::string_view busText, const clMsgObject* messages) {
    const char16_t* label = messages ? messages->FindText(kMsgInterface) : nullptr;
    std::string text = label && *label ? Utf16ToUtf8(label) : std::string("Interface");
    text += ": ";
    text += busText;
    return text;
}

const char* DiskIconName(bool bootDisk, bool usb) {
    if (usb) return bootDisk ? "IMG_CLONE_ICON_USB_WIN" : "IMG_CLONE_ICON_USB";
    return bootDisk ? "IMG_CLONE_ICON_PC_WIN" : "IMG_CLONE_ICON_PC";
}

} // namespace tvd
