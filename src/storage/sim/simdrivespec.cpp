#include "storage/sim/simdrivespec.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>

#include "storage/sim/simlayout.h"

namespace tvd {

namespace {

struct BusName {
    const char* name;
    std::uint32_t type;
};

constexpr std::array<BusName, 9> kBusNames = {{
    {"SATA", bustype::kSata},
    {"ATA", bustype::kAta},
    {"NVMe", bustype::kNvme},
    {"SCSI", bustype::kScsi},
    {"SAS", bustype::kSas},
    {"USB", bustype::kUsb},
    {"SD", bustype::kSd},
    {"MMC", bustype::kMmc},
    {"Virtual", bustype::kVirtual},
}};

constexpr std::uint64_t kMaxCapacity = std::uint64_t(std::numeric_limits<std::int64_t>::max());

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return inidetail::EqualNoCase(a, b);
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool ParseDecimal(std::string_view s, std::uint64_t& out) {
    if (s.empty()) return false;
    std::uint64_t v = 0;
    for (char c : s) {
        if (!IsDigit(c)) return false;
        const auto d = static_cast<std::uint64_t>(c - '0');
        if (v > (std::numeric_limits<std::uint64_t>::max() - d) / 10) return false;
        v = v * 10 + d;
    }
    out = v;
    return true;
}

bool ParseHex16(std::string_view s, std::uint16_t& out) {
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s.remove_prefix(2);
    if (s.empty() || s.size() > 4) return false;
    std::uint32_t v = 0;
    for (char c : s) {
        const char u = Upper(c);
        if (IsDigit(u))
            v = v * 16 + static_cast<std::uint32_t>(u - '0');
        else if (u >= 'A' && u <= 'F')
            v = v * 16 + static_cast<std::uint32_t>(u - 'A' + 10);
        else
            return false;
    }
    out = static_cast<std::uint16_t>(v);
    return true;
}

// Reads one section of the file and collects the first complaint.
class Reader {
public:
    Reader(const IniBuffer& ini, std::string& message) : ini_(ini), message_(message) {}

    bool Failed() const { return failed_; }

    std::optional<std::string_view> Get(const char* section, const char* key) const {
        return IniGetValue(&ini_, section, key);
    }

    std::string Text(const char* section, const char* key, std::string fallback) const {
        const auto v = Get(section, key);
        return v ? std::string(*v) : fallback;
    }

    bool Flag(const char* section, const char* key, bool fallback) {
        const auto v = Get(section, key);
        if (!v) return fallback;
        if (*v == "0") return false;
        if (*v == "1") return true;
        Fail(section, key, *v, "must be 0 or 1");
        return fallback;
    }

    std::uint64_t Number(const char* section, const char* key, std::uint64_t fallback,
                         std::uint64_t max) {
        const auto v = Get(section, key);
        if (!v) return fallback;
        std::uint64_t n = 0;
        if (!ParseDecimal(*v, n) || n > max) {
            Fail(section, key, *v, "must be a whole number up to " + std::to_string(max));
            return fallback;
        }
        return n;
    }

    std::uint16_t Hex16(const char* section, const char* key) {
        const auto v = Get(section, key);
        std::uint16_t n = 0;
        if (v && !ParseHex16(*v, n)) Fail(section, key, *v, "must be a hexadecimal 16-bit number");
        return n;
    }

    // LBAs separated by commas or blanks, each below `sectors`.
    std::vector<std::uint64_t> LbaList(const char* section, const char* key,
                                       std::uint64_t sectors) {
        std::vector<std::uint64_t> lbas;
        const auto v = Get(section, key);
        if (!v) return lbas;
        std::string_view rest = *v;
        while (!rest.empty()) {
            const std::size_t end = rest.find_first_of(", ");
            const std::string_view item = rest.substr(0, end);
            rest = end == rest.npos ? std::string_view() : rest.substr(end + 1);
            if (item.empty()) continue;
            std::uint64_t lba = 0;
            if (!ParseDecimal(item, lba) || lba >= sectors) {
                Fail(section, key, item,
                     "is not a sector of this drive (0 to " + std::to_string(sectors - 1) + ")");
                return {};
            }
            lbas.push_back(lba);
        }
        std::sort(lbas.begin(), lbas.end());
        lbas.erase(std::unique(lbas.begin(), lbas.end()), lbas.end());
        return lbas;
    }

    void Fail(const char* section, const char* key, std::string_view value,
              const std::string& why) {
        if (failed_) return;
        failed_ = true;
        failSection_ = section;
        failKey_ = key;
        std::string m = "[";
        m.append(section).append("] ").append(key).append("=").append(value);
        m.append(": ").append(why);
        message_ = std::move(m);
    }

    const std::string& FailedSection() const { return failSection_; }
    const std::string& FailedKey() const { return failKey_; }

private:
    const IniBuffer& ini_;
    std::string& message_;
    bool failed_ = false;
    std::string failSection_, failKey_;
};

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::uint8_t HexDigit(char c) {
    const char u = Upper(c);
    if (IsDigit(u)) return static_cast<std::uint8_t>(u - '0');
    if (u >= 'A' && u <= 'F') return static_cast<std::uint8_t>(u - 'A' + 10);
    return 0xFF;
}

// "Log.XX" keys of a section: the address, or -1 for another key.
int LogAddress(std::string_view key) {
    while (!key.empty() && key.back() == ' ')
        key.remove_suffix(1);
    if (key.size() != 6 || !EqualNoCase(key.substr(0, 4), "Log.")) return -1;
    const std::uint8_t hi = HexDigit(key[4]), lo = HexDigit(key[5]);
    return hi > 15 || lo > 15 ? -1 : hi * 16 + lo;
}

void ReadHex(Reader& r, const char* section, const char* key, std::size_t size,
             std::vector<std::uint8_t>& out) {
    const auto v = r.Get(section, key);
    if (!v) return;
    if (!ParseSimHexBlock(*v, size, out))
        r.Fail(section, key, *v, "must be hexadecimal bytes, at most " + std::to_string(size));
}

void ReadLogs(Reader& r, const IniBuffer& ini, const char* section, std::size_t size,
              std::map<std::uint8_t, std::vector<std::uint8_t>>& out) {
    for (const std::string& key : IniKeyList(&ini, section)) {
        const int address = LogAddress(key);
        if (address < 0) continue;
        std::string trimmed = key;
        while (!trimmed.empty() && trimmed.back() == ' ')
            trimmed.pop_back();
        ReadHex(r, section, trimmed.c_str(), size, out[static_cast<std::uint8_t>(address)]);
    }
}

// [Usb] Bridge, Sat, Chip, DrivePort, Link: the enclosure's bridge and its link. Defaults
// give each bridge the ids and INQUIRY data a real one of its kind has.
void ReadUsbBridge(Reader& r, SimDriveSpec& spec) {
    struct Kind {
        const char* name;
        std::uint16_t chip, vendorId, productId;
    };
    static constexpr Kind kKinds[] = {
        {"sat", 0, 0, 0},
        {"none", 0, 0, 0},
        {"jmicron", 0x2339, 0x152D, 0x2339},
        {"asmedia", 0x2105, 0x174C, 0x5106},
        {"sunplus", 0, 0x04FC, 0x0C05},
        {"plx507", 0, 0x067B, 0x2507},
        {"pl2571", 0, 0x067B, 0x2571},
        {"asmedia-nvme", 0, 0x174C, 0x2362},
        {"jmicron-nvme", 0, 0x152D, 0x0583},
    };
    SimUsbSpec& usb = spec.usb;
    const bool hasAta = IniFindSection(&spec.ini, "Ata") >= 0;
    std::string bridge = r.Text("Usb", "Bridge", hasAta ? "sat" : "");
    for (char& c : bridge)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    const Kind* kind = nullptr;
    for (const Kind& k : kKinds)
        if (bridge == k.name) kind = &k;
    if (!bridge.empty() && !kind) {
        r.Fail("Usb", "Bridge", bridge,
               "must be sat, none, jmicron, asmedia, sunplus, plx507, pl2571, asmedia-nvme or "
               "jmicron-nvme");
        return;
    }
    usb.bridge = bridge;
    usb.sat = r.Flag("Usb", "Sat", bridge == "sat");
    usb.chip = kind ? kind->chip : 0;
    if (r.Get("Usb", "Chip")) usb.chip = r.Hex16("Usb", "Chip");
    if (kind && !r.Get("Usb", "VendorId")) usb.vendorId = kind->vendorId;
    if (kind && !r.Get("Usb", "ProductId")) usb.productId = kind->productId;
    usb.drivePort = static_cast<std::uint8_t>(r.Number("Usb", "DrivePort", 0, 1));
    const std::string link = r.Text("Usb", "Link", "2.0");
    if (link == "1.0")
        usb.link = 0x0100;
    else if (link == "1.1")
        usb.link = 0x0110;
    else if (link == "2.0")
        usb.link = 0x0200;
    else if (link == "3.0")
        usb.link = 0x0300;
    else
        r.Fail("Usb", "Link", link, "must be 1.0, 1.1, 2.0 or 3.0");
}

void ReadCommandSets(Reader& r, SimDriveSpec& spec) {
    const bool hasAta = IniFindSection(&spec.ini, "Ata") >= 0;
    const std::uint32_t bus = spec.busType;
    const bool ataBus = bus == bustype::kSata || bus == bustype::kAta;
    // Sections of a personality the bus does not have are checked but have no effect.
    SimAtaSpec& ata = spec.ata;
    ata.present = (ataBus || (bus == bustype::kUsb && hasAta)) && r.Flag("Ata", "Present", true);
    ReadHex(r, "Ata", "Identify", 512, ata.identify);
    ReadHex(r, "Ata", "SmartData", 512, ata.smartData);
    ReadHex(r, "Ata", "SmartThresholds", 512, ata.smartThresholds);
    if (const auto st = r.Get("Ata", "SmartStatus")) {
        if (EqualNoCase(*st, "exceeded"))
            ata.smartExceeded = true;
        else if (!EqualNoCase(*st, "ok"))
            r.Fail("Ata", "SmartStatus", *st, "must be ok or exceeded");
    }
    ata.rotation = static_cast<std::uint16_t>(r.Number("Ata", "Rotation", 0, 0xFFFE));
    static constexpr const char* kSecurityStates[] = {"disabled", "enabled", "locked", "frozen",
                                                      "expired"};
    if (const auto st = r.Get("Ata", "Security")) {
        bool known = false;
        for (std::uint8_t i = 0; i < 5 && !known; ++i)
            if (EqualNoCase(*st, kSecurityStates[i])) {
                ata.security = i;
                known = true;
            }
        if (!known)
            r.Fail("Ata", "Security", *st, "must be disabled, enabled, locked, frozen or expired");
    }
    for (auto [key, target] : {std::pair{"UserPassword", &ata.userPassword},
                               std::pair{"MasterPassword", &ata.masterPassword}}) {
        const auto text = r.Get("Ata", key);
        if (!text) continue;
        if (text->size() > 32) {
            r.Fail("Ata", key, *text, "at most 32 characters");
            continue;
        }
        std::array<std::uint8_t, 32> pw{};
        std::copy(text->begin(), text->end(), pw.begin());
        *target = pw;
    }
    // Enabled and locked drives have a user password: the one given, else 32 zero bytes.
    if ((ata.security == 1 || ata.security == 2) && !ata.userPassword)
        ata.userPassword = std::array<std::uint8_t, 32>{};
    ReadLogs(r, spec.ini, "Ata", kSimAtaLogMax, ata.logs);

    SimNvmeSpec& nvme = spec.nvme;
    nvme.present = bus == bustype::kNvme;
    nvme.vendorId = r.Hex16("Nvme", "VendorId");
    nvme.security = r.Flag("Nvme", "Security", false);
    nvme.sanicap = static_cast<std::uint32_t>(r.Number("Nvme", "Sanicap", 0, 0xFFFFFFFFu));
    nvme.sanitizeSeconds =
        static_cast<std::uint32_t>(r.Number("Nvme", "SanitizeSeconds", 0, 86400));
    ReadHex(r, "Nvme", "Controller", 4096, nvme.controller);
    ReadHex(r, "Nvme", "Namespace.1", 4096, nvme.namespace1);
    ReadLogs(r, spec.ini, "Nvme", kSimNvmeLogMax, nvme.logs);

    ReadHex(r, "Scsi", "Inquiry", kSimInquiryMax, spec.scsi.inquiry);
}

// An image path stays inside the folder: relative, no "..", no drive or stream colon.
bool IsContainedRelativePath(std::string_view path) {
    if (path.empty() || path.front() == '/' || path.front() == '\\') return false;
    if (path.find(':') != path.npos) return false;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of("/\\", start);
        if (end == path.npos) end = path.size();
        const std::string_view part = path.substr(start, end - start);
        if (part == "..") return false;
        start = end + 1;
    }
    return true;
}

bool EndsWithNoCase(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && EqualNoCase(s.substr(s.size() - tail.size()), tail);
}

} // namespace

bool IsValidSimDriveName(std::string_view name) {
    if (name.empty() || name.size() > 64 || name.front() == '.') return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        const char u = Upper(c);
        return IsDigit(c) || (u >= 'A' && u <= 'Z') || c == '-' || c == '_' || c == '.';
    });
}

bool SimBusFromName(std::string_view name, std::uint32_t& busType) {
    for (const auto& b : kBusNames)
        if (EqualNoCase(name, b.name)) {
            busType = b.type;
            return true;
        }
    return false;
}

const char* SimBusName(std::uint32_t busType) {
    for (const auto& b : kBusNames)
        if (b.type == busType) return b.name;
    return "";
}

bool ParseSimHexBlock(std::string_view text, std::size_t size, std::vector<std::uint8_t>& out) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(size);
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        if (i + 1 >= text.size()) return false;
        const std::uint8_t hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
        if (hi > 15 || lo > 15 || bytes.size() >= size) return false;
        bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
        i += 2;
    }
    bytes.resize(size, 0);
    out = std::move(bytes);
    return true;
}

bool ParseSimSize(std::string_view text, std::uint64_t& bytes) {
    std::size_t digits = 0;
    while (digits < text.size() && IsDigit(text[digits]))
        ++digits;
    std::uint64_t n = 0;
    if (!ParseDecimal(text.substr(0, digits), n)) return false;
    std::string_view suffix = text.substr(digits);
    while (!suffix.empty() && suffix.front() == ' ')
        suffix.remove_prefix(1);
    unsigned shift = 0;
    if (!suffix.empty()) {
        switch (Upper(suffix.front())) {
        case 'K':
            shift = 10;
            break;
        case 'M':
            shift = 20;
            break;
        case 'G':
            shift = 30;
            break;
        case 'T':
            shift = 40;
            break;
        default:
            return false;
        }
        suffix.remove_prefix(1);
        if (!suffix.empty() && !EqualNoCase(suffix, "B") && !EqualNoCase(suffix, "iB"))
            return false;
    }
    if (shift && n > (std::numeric_limits<std::uint64_t>::max() >> shift)) return false;
    bytes = n << shift;
    return true;
}

namespace {

constexpr std::uint64_t kSimMaxPartitionNumber = 128;

// Appended piece by piece: "\"" + std::string(...) trips a false -Wrestrict in GCC 12.
std::string Quoted(std::string_view text) {
    std::string q(1, '"');
    q.append(text);
    q.push_back('"');
    return q;
}

// Items "N:VALUE" separated by commas or blanks; `take` reads one value of partition N.
template <class Take>
bool ParsePartitionItems(std::string_view text, std::string& message, Take take) {
    while (!text.empty()) {
        const std::size_t end = text.find_first_of(", ");
        const std::string_view item = text.substr(0, end);
        text = end == text.npos ? std::string_view() : text.substr(end + 1);
        if (item.empty()) continue;
        const std::size_t colon = item.find(':');
        std::uint64_t n = 0;
        if (colon == item.npos || !ParseDecimal(item.substr(0, colon), n) || n == 0 ||
            n > kSimMaxPartitionNumber) {
            message = Quoted(item) + " is not N:VALUE with a partition N of 1 to " +
                      std::to_string(kSimMaxPartitionNumber);
            return false;
        }
        if (!take(static_cast<std::uint32_t>(n), item.substr(colon + 1), message)) return false;
    }
    return true;
}

} // namespace

bool ParseSimLetters(std::string_view text, std::map<std::uint32_t, char>& out,
                     std::string& message) {
    std::map<std::uint32_t, char> letters;
    const bool ok = ParsePartitionItems(
        text, message, [&](std::uint32_t n, std::string_view value, std::string& why) {
            const char letter = value.size() == 1 ? Upper(value.front()) : 0;
            if (letter < 'A' || letter > 'Z') {
                why = Quoted(value) + " is not a drive letter A to Z";
                return false;
            }
            for (const auto& [other, used] : letters)
                if (used == letter || other == n) {
                    why = "partition " + std::to_string(n) + " or letter " + letter +
                          " is given twice";
                    return false;
                }
            letters.emplace(n, letter);
            return true;
        });
    if (ok) out = std::move(letters);
    return ok;
}

bool ParseSimFree(std::string_view text, std::map<std::uint32_t, std::uint64_t>& out,
                  std::string& message) {
    std::map<std::uint32_t, std::uint64_t> free;
    const bool ok = ParsePartitionItems(
        text, message, [&](std::uint32_t n, std::string_view value, std::string& why) {
            std::uint64_t bytes = 0;
            if (!ParseSimSize(value, bytes)) {
                why = Quoted(value) + " is not a byte count";
                return false;
            }
            if (!free.emplace(n, bytes).second) {
                why = "partition " + std::to_string(n) + " is given twice";
                return false;
            }
            return true;
        });
    if (ok) out = std::move(free);
    return ok;
}

std::size_t SimKeyLine(std::string_view text, std::string_view section, std::string_view key) {
    std::size_t number = 0;
    bool inSection = false;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find_first_of("\r\n");
        const std::string_view line = TrimBlanks(text.substr(0, end));
        if (end == text.npos)
            text = {};
        else
            text.remove_prefix(end + (text.substr(end, 2) == "\r\n" ? 2 : 1));
        if (!line.empty() && line.front() == '[') {
            const std::size_t close = line.find(']');
            inSection =
                close != line.npos && EqualNoCase(TrimBlanks(line.substr(1, close - 1)), section);
            continue;
        }
        const std::size_t eq = line.find('=');
        if (inSection && eq != line.npos && EqualNoCase(TrimBlanks(line.substr(0, eq)), key))
            return number;
    }
    return 0;
}

ErrorCode ParseSimDrive(std::string_view name, ByteView text, SimDriveSpec& out,
                        std::string& message, std::size_t* line) {
    message.clear();
    if (line) *line = 0;
    if (!IsValidSimDriveName(name)) {
        message = "\"" + std::string(name) +
                  "\" is not a drive name (letters, digits, '-', '_', '.'; at most 64)";
        return err::kInvalidParameter;
    }
    SimDriveSpec spec;
    spec.name = std::string(name);
    static const std::uint8_t kEmpty = 0;
    if (!IniParse(&spec.ini, text.empty() ? &kEmpty : text.data(), text.size())) {
        message = "the file cannot be read as INI text";
        return err::kInvalidData;
    }
    Reader r(spec.ini, message);
    const char* d = "Drive";

    if (const auto bus = r.Get(d, "Bus"); bus && !SimBusFromName(*bus, spec.busType))
        r.Fail(d, "Bus", *bus, "not one of SATA, ATA, NVMe, SCSI, SAS, USB, SD, MMC, Virtual");
    spec.model = r.Text(d, "Model", "Simulated Disk");
    spec.serial = r.Text(d, "Serial", "SIM-" + spec.name);
    spec.firmware = r.Text(d, "Firmware", "1.0");
    spec.vendor = r.Text(d, "Vendor", "");

    spec.sectorSize = static_cast<std::uint32_t>(r.Number(d, "SectorSize", 512, 65536));
    if (spec.sectorSize != 512 && spec.sectorSize != 4096) {
        r.Fail(d, "SectorSize", std::to_string(spec.sectorSize), "must be 512 or 4096");
        spec.sectorSize = 512; // the checks below divide by it
    }

    spec.capacity = kSimDefaultCapacity;
    if (const auto cap = r.Get(d, "Capacity")) {
        if (!ParseSimSize(*cap, spec.capacity) || spec.capacity == 0 ||
            spec.capacity > kMaxCapacity)
            r.Fail(d, "Capacity", *cap, "must be a byte count above 0 (suffixes K, M, G, T)");
        else if (spec.capacity % spec.sectorSize != 0)
            r.Fail(d, "Capacity", *cap,
                   "is not a whole number of " + std::to_string(spec.sectorSize) + "-byte sectors");
    }

    const bool cardBus = spec.busType == bustype::kSd || spec.busType == bustype::kMmc;
    spec.removable = r.Flag(d, "Removable", cardBus);
    spec.trim = r.Flag(d, "Trim", false);
    spec.readOnly = r.Flag(d, "ReadOnly", false);
    spec.systemDisk = r.Flag(d, "SystemDisk", false);
    spec.mountedVolume = r.Flag(d, "MountedVolume", false);

    spec.image = r.Text(d, "Image", spec.name + ".img");
    std::replace(spec.image.begin(), spec.image.end(), '\\', '/');
    if (!IsContainedRelativePath(spec.image) || EndsWithNoCase(spec.image, ".drive"))
        r.Fail(d, "Image", spec.image,
               "must name a file inside the folder (relative, no \"..\", not a .drive file)");

    // A USB disk without a named node gets one of its own, so that it always has a parent.
    spec.parent = r.Text(d, "Parent", spec.busType == bustype::kUsb ? spec.name : "");
    if (!spec.parent.empty() && !IsValidSimDriveName(spec.parent))
        r.Fail(d, "Parent", spec.parent, "is not a node name (letters, digits, '-', '_', '.')");
    if (!spec.parent.empty()) {
        spec.usb.vendorId = r.Hex16("Usb", "VendorId");
        spec.usb.productId = r.Hex16("Usb", "ProductId");
        spec.usb.product = r.Text("Usb", "Product", "USB Mass Storage Device");
        spec.usb.manufacturer = r.Text("Usb", "Manufacturer", "");
        spec.usb.serial = r.Text("Usb", "Serial", "");
        ReadUsbBridge(r, spec);
    }

    if (IniFindSection(&spec.ini, "Pci") >= 0) {
        spec.hasPci = true;
        if (!r.Get("Pci", "Speed") || !r.Get("Pci", "Width"))
            r.Fail("Pci", "Speed", r.Text("Pci", "Speed", ""), "Speed and Width are both needed");
        const auto speed = static_cast<std::uint8_t>(r.Number("Pci", "Speed", 0, 255));
        const auto width = static_cast<std::uint8_t>(r.Number("Pci", "Width", 0, 255));
        spec.pci.currentSpeed = speed;
        spec.pci.currentWidth = width;
        spec.pci.maxSpeed = static_cast<std::uint8_t>(r.Number("Pci", "MaxSpeed", speed, 255));
        spec.pci.maxWidth = static_cast<std::uint8_t>(r.Number("Pci", "MaxWidth", width, 255));
    }

    if (!r.Failed()) {
        const std::uint64_t sectors = spec.SectorCount();
        spec.faults.readErrorAt = r.LbaList("Faults", "ReadErrorAt", sectors);
        spec.faults.writeErrorAt = r.LbaList("Faults", "WriteErrorAt", sectors);
        const auto failOpen = r.Number("Faults", "FailOpen", 0, 0xFFFFFFFFu);
        spec.faults.failOpen = failOpen == 1 ? err::kIoDevice : static_cast<ErrorCode>(failOpen);
        spec.faults.trimIgnored = r.Flag("Faults", "TrimIgnored", false);
        spec.faults.ataEraseAbortAt =
            static_cast<std::uint32_t>(r.Number("Faults", "AtaEraseAbortAt", 0, 99));
    }

    if (!r.Failed()) {
        spec.layout = r.Text(d, "Layout", "");
        std::vector<PartitionEntry> entries;
        std::string why;
        if (!spec.layout.empty() &&
            !ParseSimLayoutKey(spec.layout, spec.capacity, spec.sectorSize, entries, why))
            r.Fail(d, "Layout", spec.layout, why);
    }

    if (!r.Failed()) {
        std::string why;
        if (const auto v = r.Get(d, "Letters"); v && !ParseSimLetters(*v, spec.letters, why))
            r.Fail(d, "Letters", *v, why);
        else if (const auto f = r.Get(d, "Free"); f && !ParseSimFree(*f, spec.freeBytes, why))
            r.Fail(d, "Free", *f, why);
        for (const auto& [n, bytes] : spec.freeBytes)
            if (!r.Failed() && !spec.letters.count(n))
                r.Fail(d, "Free", r.Text(d, "Free", ""),
                       "partition " + std::to_string(n) + " has no letter in Letters=");
    }

    if (!r.Failed()) ReadCommandSets(r, spec);

    if (r.Failed()) {
        if (line)
            *line = SimKeyLine(
                std::string_view(reinterpret_cast<const char*>(text.data()), text.size()),
                r.FailedSection(), r.FailedKey());
        return err::kInvalidData;
    }
    out = std::move(spec);
    return err::kSuccess;
}

} // namespace tvd
