#include "storage/storagechipidentifyutil.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "storage/asmusbatafun.h"
#include "storage/clscsi.h"
#include "storage/jmusbatafun.h"

namespace tvd {

namespace chipid {

namespace {

struct JmText {
    std::string_view text; // at byte 36, or at 37 for three characters
    std::uint16_t chip;
};
constexpr JmText kJmicronTexts[] = {
    {"j335", 0x2335}, {"j336", 0x2336}, {"j337", 0x2337}, {"j338", 0x2338}, {"j339", 0x2339},
    {"j329", 0x2329}, {"j352", 0x2352}, {"j353", 0x2353}, {"j355", 0x2355}, {"j356", 0x2356},
    {"j509", 0x2509}, {"j519", 0x2519}, {"j539", 0x0539}, {"j551", 0x2551}, {"j566", 0x0566},
    {"567", 0x0567},  {"j568", 0x0568}, {"j569", 0x0569}, {"576", 0x0576},  {"578", 0x0578},
};

bool TextAt(ByteView b, std::size_t offset, std::string_view text) {
    return b.size() >= offset + text.size() &&
           std::memcmp(b.data() + offset, text.data(), text.size()) == 0;
}

} // namespace

std::uint16_t FromInquiry64(ByteView b) {
    const std::size_t n = b.size();
    if (n >= 40) {
        for (const JmText& t : kJmicronTexts)
            if (TextAt(b, t.text.size() == 3 ? 37 : 36, t.text)) return t.chip;
        if (TextAt(b, 36, "VU3A")) return n >= 56 && TextAt(b, 54, "TD") ? 0x0750 : 0x0700;
    }
    if (n >= 36 && TextAt(b, 8, "SYMWAVE ")) return 0x1CA1;
    if (n >= 40 && TextAt(b, 36, "PLX")) return 0x0525;
    if (n >= 42 && TextAt(b, 36, "SkyOTB")) return 0x1516;
    return 0;
}

std::uint16_t FromInquiry38(ByteView b) {
    return b.size() >= 38 && b[36] == 0x05 && b[37] == 0x21 ? 0x2105 : 0;
}

std::uint16_t FromUsbIds(std::uint16_t vendorId, std::uint16_t productId) {
    constexpr std::uint16_t kSunplus = 0x04FC, kProlific = 0x067B;
    if (vendorId == kSunplus && productId == 0x0C05) return 0x0C05;
    if (vendorId == kProlific) {
        switch (productId) {
        case 0x2506:
        case 0x2507:
        case 0x3507:
        case 0x2571:
        case 0x2771:
            return productId;
        default:
            break;
        }
    }
    return 0;
}

AtaSet AtaSetOf(std::uint16_t chip) {
    switch (chip) {
    case 0x2329:
    case 0x2335:
    case 0x2337:
    case 0x2338:
    case 0x2339:
    case 0x2352:
    case 0x2353:
    case 0x2355:
    case 0x2356:
    case 0x2509:
    case 0x2519:
    case 0x2551:
    case 0x0539:
        return AtaSet::kJmicron;
    case 0x2105:
        return AtaSet::kAsmedia;
    case 0x0C05:
        return AtaSet::kSunplus;
    case 0x2506:
    case 0x2507:
    case 0x3507:
        return AtaSet::kPlx507;
    case 0x2571:
    case 0x2771:
        return AtaSet::kPl2571;
    default:
        return AtaSet::kNone;
    }
}

bool IsJmicronChip(std::uint16_t chip) {
    return std::any_of(std::begin(kJmicronTexts), std::end(kJmicronTexts),
                       [chip](const JmText& t) { return t.chip == chip; });
}

bool AsmediaNvmeInquiry(ByteView b) {
    return b.size() >= 38 && b[36] == 0x60 && b[37] == 0x23;
}

bool JmicronNvmeInquiry(ByteView b) {
    return b.size() >= 40 && (TextAt(b, 37, "583") || TextAt(b, 37, "CFE") || TextAt(b, 37, "822"));
}

} // namespace chipid

namespace {

ByteView InquiryInto(clScsi* scsi, MutableByteView buffer) {
    std::uint32_t n = static_cast<std::uint32_t>(buffer.size());
    if (!scsicmd::Inquiry(scsi, buffer, n)) return {};
    return ByteView(buffer.data(), std::min<std::size_t>(n, buffer.size()));
}

} // namespace

std::uint16_t IdentifyBridgeChip(clScsi* scsi) {
    if (!scsi) return 0;
    std::uint8_t big[64] = {};
    if (const std::uint16_t chip = chipid::FromInquiry64(InquiryInto(scsi, big))) return chip;
    std::uint8_t small[38] = {};
    return chipid::FromInquiry38(InquiryInto(scsi, small));
}

bool IdentifyUsbBridge(clScsi* scsi, std::uint16_t chipId, std::uint16_t& vendorId,
                       std::uint16_t& productId) {
    vendorId = productId = 0;
    if (!scsi) return false;
    std::uint8_t inq[64] = {};
    const ByteView b = InquiryInto(scsi, inq);
    const std::size_t n = b.size();
    if (n >= 40 && std::memcmp(b.data() + 36, "VU3A", 4) == 0) {
        vendorId = 0x2109;
        return true;
    }
    if (n >= 42 && std::memcmp(b.data() + 36, "SkyOTB", 6) == 0) {
        vendorId = 0x1516;
        return true;
    }
    if (n >= 36 && std::memcmp(b.data() + 8, "SYMWAVE ", 8) == 0) {
        vendorId = 0x1CA1;
        return true;
    }
    const bool jmicron = chipid::IsJmicronChip(chipId) || chipid::JmicronNvmeInquiry(b);
    if (jmicron) {
        if (const std::uint16_t p = jmusb::ProductId(scsi)) {
            vendorId = chipid::kUsbVendorJmicron;
            productId = p;
            return true;
        }
    }
    const bool asmedia = chipId == 0x2105 || chipid::AsmediaNvmeInquiry(b);
    if (asmedia) {
        if (const std::uint16_t p = asmusb::ProductId(scsi)) {
            vendorId = chipid::kUsbVendorAsmedia;
            productId = p;
            return true;
        }
    }
    return false;
}

} // namespace tvd
