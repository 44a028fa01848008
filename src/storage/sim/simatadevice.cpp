#include "storage/sim/simatadevice.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

namespace tvd {

namespace {

// IDENTIFY DEVICE word numbers.
namespace idw {
constexpr std::size_t kGeneral = 0, kCylinders = 1, kHeads = 3, kSectorsPerTrack = 6;
constexpr std::size_t kSerial = 10, kFirmware = 23, kModel = 27;
constexpr std::size_t kMultiple = 47, kCapabilities = 49, kCapabilities2 = 50, kValidity = 53;
constexpr std::size_t kSectors28 = 60, kMultiwordDma = 63, kPioModes = 64, kCycleTimes = 65;
constexpr std::size_t kQueueDepth = 75, kSataCaps = 76, kSataCurrent = 77, kMajor = 80;
constexpr std::size_t kMinor = 81, kCommandSet = 82, kEnabled = 85, kUdma = 88;
constexpr std::size_t kEraseTime = 89, kEnhancedEraseTime = 90, kMasterRevision = 92;
constexpr std::size_t kHardwareReset = 93, kSectors48 = 100, kSectorSizeInfo = 106;
constexpr std::size_t kWwn = 108, kLogicalSectorWords = 117, kSecurity = 128;
constexpr std::size_t kDataSetManagement = 169, kRotation = 217, kTransportMajor = 222;
constexpr std::size_t kIntegrity = 255;
} // namespace idw

// SMART data page layout.
constexpr std::size_t kSmartAttrOffset = 2, kSmartAttrSize = 12, kSmartAttrCount = 30;
constexpr std::size_t kSmartOfflineStatus = 362, kSmartSelfTestStatus = 363;
constexpr std::size_t kSmartOfflineCaps = 367, kSmartCaps = 368, kSmartErrorLogging = 370;
constexpr std::size_t kSmartShortTime = 372, kSmartLongTime = 373;
constexpr std::size_t kSmartChecksum = 511;
static_assert(kSmartAttrOffset + kSmartAttrCount * kSmartAttrSize <= kSmartOfflineStatus);

constexpr std::uint8_t kSmartLbaMid = 0x4F, kSmartLbaHigh = 0xC2;

void PutWord(MutableByteView id, std::size_t word, std::uint16_t v) {
    StoreLe<std::uint16_t>(id, word * 2, v);
}

// ATA strings: space-padded, two characters per word with the first in the high byte.
void PutText(MutableByteView id, std::size_t word, std::size_t words, const std::string& text) {
    for (std::size_t i = 0; i < words * 2; ++i) {
        const char c = i < text.size() ? text[i] : ' ';
        const auto byte = static_cast<std::uint8_t>(c >= 32 && c <= 122 ? c : '?');
        id[word * 2 + (i ^ 1)] = byte;
    }
}

void Checksum(MutableByteView page, std::size_t at) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < at; ++i)
        sum = static_cast<std::uint8_t>(sum + page[i]);
    page[at] = static_cast<std::uint8_t>(0x100 - sum);
}

std::uint64_t Fnv(const std::string& s) {
    std::uint64_t h = 1469598103934665603ull;
    for (char c : s)
        h = (h ^ static_cast<std::uint8_t>(c)) * 1099511628211ull;
    return h;
}

struct Attribute {
    std::uint8_t id;
    std::uint16_t flags;
    std::uint8_t value, worst, threshold;
    std::uint64_t raw;
};

std::vector<Attribute> DefaultAttributes(const SimDriveSpec& spec) {
    const std::uint64_t hours = 1234 + Fnv(spec.serial) % 5000;
    std::vector<Attribute> a = {
        {0x05, 0x0033, 100, 100, 10, 0},  // reallocated sectors
        {0x09, 0x0032, 99, 99, 0, hours}, // power-on hours
        {0x0C, 0x0032, 99, 99, 0, 321},   // power cycles
        {0xC2, 0x0022, 65, 52, 0, 35},    // temperature, degrees Celsius
        {0xC5, 0x0032, 100, 100, 0, 0},   // pending sectors
    };
    if (spec.trim) {
        const std::uint64_t lbas = hours * 3600 * 2048; // plausible totals, in 512-byte units
        a.push_back({0xF1, 0x0032, 99, 99, 0, lbas});
        a.push_back({0xF2, 0x0032, 99, 99, 0, lbas * 3 / 2});
    }
    return a;
}

void BuildSmartPages(const SimDriveSpec& spec, std::vector<std::uint8_t>& data,
                     std::vector<std::uint8_t>& thresholds) {
    data.assign(kAtaSectorSize, 0);
    thresholds.assign(kAtaSectorSize, 0);
    StoreLe<std::uint16_t>(data, 0, 0x0010);
    StoreLe<std::uint16_t>(thresholds, 0, 0x0010);
    const auto attrs = DefaultAttributes(spec);
    for (std::size_t i = 0; i < attrs.size() && i < kSmartAttrCount; ++i) {
        const Attribute& at = attrs[i];
        const std::size_t o = kSmartAttrOffset + i * kSmartAttrSize;
        data[o] = at.id;
        StoreLe<std::uint16_t>(data, o + 1, at.flags);
        data[o + 3] = at.value;
        data[o + 4] = at.worst;
        for (int b = 0; b < 6; ++b)
            data[o + 5 + b] = static_cast<std::uint8_t>(at.raw >> (8 * b));
        thresholds[o] = at.id;
        thresholds[o + 1] = at.threshold;
    }
    data[kSmartOfflineStatus] = 0x82;  // off-line collection completed
    data[kSmartSelfTestStatus] = 0x00; // last self-test passed
    StoreLe<std::uint16_t>(data, kSmartOfflineStatus + 2, 120);
    data[kSmartOfflineCaps] = 0x7B;
    StoreLe<std::uint16_t>(data, kSmartCaps, 0x0003);
    data[kSmartErrorLogging] = 0x01;
    data[kSmartShortTime] = 2;
    data[kSmartLongTime] = spec.trim ? 10 : 120;
    Checksum(data, kSmartChecksum);
    Checksum(thresholds, kSmartChecksum);
}

} // namespace

SimAta::SimAta(const SimDriveSpec& spec)
    : cfg_(spec.ata), sectors_(spec.SectorCount()), sectorSize_(spec.sectorSize) {
    userPassword_ = cfg_.userPassword;
    masterPassword_ = cfg_.masterPassword;
    locked_ = cfg_.security == 2;
    frozen_ = cfg_.security == 3;
    if (cfg_.security == 4) wrongTries_ = atasim::kMaxPasswordTries;
    eraseAbortAt_ = spec.faults.ataEraseAbortAt;
    MutableByteView id(identify_);
    if (!cfg_.identify.empty()) {
        std::copy_n(cfg_.identify.begin(), kAtaIdentifySize, identify_.begin());
        givenIdentify_ = true;
    } else {
        PutWord(id, idw::kGeneral, 0x0040); // fixed device
        PutWord(id, idw::kCylinders, 16383);
        PutWord(id, idw::kHeads, 16);
        PutWord(id, idw::kSectorsPerTrack, 63);
        PutText(id, idw::kSerial, 10, spec.serial);
        PutText(id, idw::kFirmware, 4, spec.firmware);
        PutText(id, idw::kModel, 20, spec.model);
        PutWord(id, idw::kMultiple, 0x8010);
        PutWord(id, idw::kCapabilities, 0x2F00); // LBA, DMA, IORDY
        PutWord(id, idw::kCapabilities2, 0x4000);
        PutWord(id, idw::kValidity, 0x0007);
        const auto s28 = static_cast<std::uint32_t>(std::min<std::uint64_t>(sectors_, 0x0FFFFFFF));
        StoreLe<std::uint32_t>(id, idw::kSectors28 * 2, s28);
        PutWord(id, idw::kMultiwordDma, 0x0407);
        PutWord(id, idw::kPioModes, 0x0003);
        for (std::size_t w = 0; w < 4; ++w)
            PutWord(id, idw::kCycleTimes + w, 120);
        PutWord(id, idw::kQueueDepth, 31);
        PutWord(id, idw::kSataCaps, 0x010E);    // 1.5, 3.0 and 6.0 Gb/s, NCQ
        PutWord(id, idw::kSataCurrent, 0x0006); // 6.0 Gb/s
        PutWord(id, idw::kMajor, 0x07F0);       // ATA/ATAPI-4 to ACS-3
        PutWord(id, idw::kMinor, 0x011B);
        // 82-87: SMART, security, write cache, look-ahead, HPA, buffers; LBA48 and flushes;
        // SMART logs, self-test, WWN, general-purpose logging.
        PutWord(id, idw::kCommandSet, 0x746B);
        PutWord(id, idw::kCommandSet + 1, 0x7401);
        PutWord(id, idw::kCommandSet + 2, 0x4163);
        PutWord(id, idw::kEnabled, 0x7469);
        PutWord(id, idw::kEnabled + 1, 0xB401);
        PutWord(id, idw::kEnabled + 2, 0x4163);
        PutWord(id, idw::kUdma, 0x407F); // UDMA 0-6, mode 6 selected
        // Erase time in 2-minute units: an SSD erases at once, a disk at about 150 MB/s.
        const std::uint64_t minutes = spec.trim ? 2 : spec.capacity / (150ull << 20) / 60 + 1;
        const auto units = static_cast<std::uint16_t>(
            std::min<std::uint64_t>(std::max<std::uint64_t>((minutes + 1) / 2, 1), 254));
        PutWord(id, idw::kEraseTime, units);
        PutWord(id, idw::kEnhancedEraseTime, units);
        PutWord(id, idw::kMasterRevision, 0xFFFE);
        PutWord(id, idw::kHardwareReset, 0); // SATA
        StoreLe<std::uint64_t>(id, idw::kSectors48 * 2, sectors_);
        if (sectorSize_ > 512) {
            PutWord(id, idw::kSectorSizeInfo, 0x5000); // logical sector longer than 256 words
            StoreLe<std::uint32_t>(id, idw::kLogicalSectorWords * 2, sectorSize_ / 2);
        } else {
            PutWord(id, idw::kSectorSizeInfo, 0x4000);
        }
        // NAA 5 with a made-up company identifier and an id from the serial number.
        const std::uint64_t wwn = (std::uint64_t(0x5) << 60) | (std::uint64_t(0x0A1B2C) << 36) |
                                  (Fnv(spec.serial + spec.model) & 0xFFFFFFFFFull);
        for (std::size_t w = 0; w < 4; ++w)
            PutWord(id, idw::kWwn + w, static_cast<std::uint16_t>(wwn >> (48 - 16 * w)));
        PutWord(id, idw::kDataSetManagement, spec.trim ? 1 : 0);
        PutWord(id, idw::kRotation, cfg_.rotation ? cfg_.rotation : spec.trim ? 1 : 7200);
        PutWord(id, idw::kTransportMajor, 0x107F);
    }
    if (!cfg_.smartData.empty()) smartData_ = cfg_.smartData;
    if (!cfg_.smartThresholds.empty()) smartThresholds_ = cfg_.smartThresholds;
    std::vector<std::uint8_t> data, thresholds;
    BuildSmartPages(spec, data, thresholds);
    if (smartData_.empty()) smartData_ = std::move(data);
    if (smartThresholds_.empty()) smartThresholds_ = std::move(thresholds);
}

std::array<std::uint8_t, kAtaIdentifySize> SimAta::Identify() const {
    auto id = identify_;
    if (givenIdentify_) return id; // as the file gives it, checksum and all
    MutableByteView v(id);
    std::uint16_t security = 0x0021; // supported, enhanced erase supported
    if (userPassword_) security |= 0x0002;
    if (locked_) security |= 0x0004;
    if (frozen_) security |= 0x0008;
    if (wrongTries_ >= atasim::kMaxPasswordTries) security |= 0x0010;
    PutWord(v, idw::kSecurity, security);
    std::uint16_t enabled = Le<std::uint16_t>(v, idw::kEnabled * 2);
    PutWord(v, idw::kEnabled, userPassword_ ? (enabled | 0x0002) : (enabled & ~0x0002));
    PutWord(v, idw::kIntegrity, 0x00A5);
    Checksum(v, idw::kIntegrity * 2 + 1);
    return id;
}

bool SimAta::Abort(AtaRegisters& out, std::uint8_t error) {
    out.command = atasim::kStatusError;
    out.features = error;
    return false;
}

bool SimAta::Execute(const AtaRegisters& in, DataDirection dir, MutableByteView data,
                     AtaRegisters& out) {
    out = in;
    out.command = atasim::kStatusOk;
    out.features = 0;
    // ERASE UNIT must follow ERASE PREPARE directly.
    const bool prepared = std::exchange(erasePrepared_, false);
    switch (in.command) {
    case 0xEC: { // IDENTIFY DEVICE
        if (dir != DataDirection::kIn || data.size() < kAtaIdentifySize) return Abort(out);
        const auto id = Identify();
        std::copy(id.begin(), id.end(), data.begin());
        return true;
    }
    case 0xB0:
        return Smart(in, dir, data, out);
    case 0xF3: // SECURITY ERASE PREPARE
        if (dir != DataDirection::kNone || frozen_) return Abort(out);
        erasePrepared_ = true;
        return true;
    case 0xF4: // SECURITY ERASE UNIT
        erasePrepared_ = prepared;
        return Security(in, dir, data, out);
    case 0xF1: // SECURITY SET PASSWORD
    case 0xF6: // SECURITY DISABLE PASSWORD
        return Security(in, dir, data, out);
    case 0x20:
    case 0x24:
    case 0x30:
    case 0x34: {
        const std::uint64_t lba = in.lbaLow | (std::uint32_t(in.lbaMid) << 8) |
                                  (std::uint32_t(in.lbaHigh) << 16) |
                                  (std::uint32_t(in.device & 0x0F) << 24);
        const bool write = in.command == 0x30 || in.command == 0x34;
        if (dir != (write ? DataDirection::kOut : DataDirection::kIn)) return Abort(out);
        return TransferSectors(write, lba, in.sectorCount ? in.sectorCount : 256, data, out);
    }
    case 0xE7: // FLUSH CACHE
    case 0xEA: // FLUSH CACHE EXT
    case 0xE0: // STANDBY IMMEDIATE
    case 0xE1: // IDLE IMMEDIATE
        return dir == DataDirection::kNone ? true : Abort(out);
    default:
        return Abort(out);
    }
}

bool SimAta::TransferSectors(bool write, std::uint64_t lba, std::uint32_t count,
                             MutableByteView data, AtaRegisters& out) {
    // A locked drive serves no sectors until it is unlocked.
    if (locked_) return Abort(out);
    out.command = atasim::kStatusOk;
    out.features = 0;
    if (count == 0) count = 65536;
    const std::uint64_t bytes = std::uint64_t(count) * sectorSize_;
    if (!medium_ || lba >= sectors_ || count > sectors_ - lba || data.size() < bytes)
        return Abort(out);
    // A locked drive would refuse; a drive with security enabled but unlocked serves sectors.
    const std::uint64_t offset = lba * sectorSize_;
    const auto span = data.first(static_cast<std::size_t>(bytes));
    const ErrorCode e = write ? medium_->Write(offset, span) : medium_->Read(offset, span);
    if (e != err::kSuccess) return Abort(out, write ? atasim::kErrorAbort : atasim::kErrorUnc);
    return true;
}

bool SimAta::Smart(const AtaRegisters& in, DataDirection dir, MutableByteView data,
                   AtaRegisters& out) {
    if (in.lbaMid != kSmartLbaMid || in.lbaHigh != kSmartLbaHigh) return Abort(out);
    const auto dataIn = [&](ByteView page) {
        if (dir != DataDirection::kIn || data.size() < page.size()) return Abort(out);
        std::copy(page.begin(), page.end(), data.begin());
        return true;
    };
    switch (in.features) {
    case 0xD0:
        return dataIn(std::span(smartData_).first(kAtaSectorSize));
    case 0xD1:
        return dataIn(std::span(smartThresholds_).first(kAtaSectorSize));
    case 0xD5: { // READ LOG: count sectors of the log at LBA low
        const auto it = cfg_.logs.find(in.lbaLow);
        const std::size_t bytes = std::size_t(in.sectorCount) * kAtaSectorSize;
        if (it == cfg_.logs.end() || bytes == 0 || bytes > it->second.size()) return Abort(out);
        return dataIn(std::span(it->second).first(bytes));
    }
    case 0xD4: // EXECUTE OFF-LINE IMMEDIATE
    case 0xD8: // ENABLE OPERATIONS
    case 0xD9: // DISABLE OPERATIONS
    case 0xDB: // ENABLE/DISABLE AUTOSAVE
        return dir == DataDirection::kNone ? true : Abort(out);
    case 0xDA: // RETURN STATUS
        if (dir != DataDirection::kNone) return Abort(out);
        out.lbaMid = cfg_.smartExceeded ? 0xF4 : kSmartLbaMid;
        out.lbaHigh = cfg_.smartExceeded ? 0x2C : kSmartLbaHigh;
        return true;
    default:
        return Abort(out);
    }
}

bool SimAta::Security(const AtaRegisters& in, DataDirection dir, MutableByteView data,
                      AtaRegisters& out) {
    // Word 0 bit 0 names the password (0 user, 1 master), bit 1 asks for the enhanced erase;
    // the password is bytes 2-33.
    if (dir != DataDirection::kOut || data.size() < kAtaSectorSize) return Abort(out);
    const std::uint16_t control = Le<std::uint16_t>(data, 0);
    const bool master = (control & 1) != 0;
    Password pw{};
    std::copy_n(data.begin() + 2, pw.size(), pw.begin());
    // A frozen drive takes no security command until its next power-on.
    if (frozen_) return Abort(out);
    if (in.command == 0xF1) {
        if (locked_) return Abort(out);
        (master ? masterPassword_ : userPassword_) = pw;
        return true;
    }
    if (wrongTries_ >= atasim::kMaxPasswordTries) return Abort(out);
    const std::optional<Password>& want = master ? masterPassword_ : userPassword_;
    const bool matches = want && *want == pw;
    if (in.command == 0xF6) { // DISABLE PASSWORD
        if (!userPassword_ || !matches) {
            if (userPassword_) ++wrongTries_;
            return Abort(out);
        }
        if (locked_) return Abort(out); // UNLOCK comes first
        userPassword_.reset();
        return true;
    }
    // ERASE UNIT
    if (!erasePrepared_) return Abort(out);
    erasePrepared_ = false;
    if (!matches) {
        ++wrongTries_;
        return Abort(out);
    }
    if (!medium_) return Abort(out);
    if (eraseAbortAt_ != 0) {
        // The injected failure: the first share of the drive is zeroed, then the erase aborts
        // and the security state stays as it was.
        const std::uint64_t bytes = sectors_ * eraseAbortAt_ / 100 * sectorSize_;
        const std::vector<std::uint8_t> zeros(1u << 20, 0);
        for (std::uint64_t off = 0; off < bytes; off += zeros.size()) {
            const auto n =
                static_cast<std::size_t>(std::min<std::uint64_t>(zeros.size(), bytes - off));
            if (medium_->Write(off, ByteView(zeros.data(), n)) != err::kSuccess) break;
        }
        return Abort(out);
    }
    if (medium_->ZeroAll() != err::kSuccess) return Abort(out);
    userPassword_.reset();
    locked_ = false;
    wrongTries_ = 0;
    return true;
}

void SimAta::PowerCycle() {
    locked_ = userPassword_.has_value();
    frozen_ = false;
    wrongTries_ = 0;
    erasePrepared_ = false;
}

} // namespace tvd
