#include "smart/smartnvmeutil.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "smart/smartlangutil.h"
#include "storage/clnvme.h"

namespace tvd {

namespace {

// Health-log offset and width of pseudo attribute k + 1.
struct HealthField {
    std::uint16_t offset;
    std::uint8_t width;
};
constexpr HealthField kHealthFields[kSmartNvmeCapacity] = {
    {0, 1},  {1, 2},  {3, 1},   {4, 1},   {5, 1},   {32, 8},  {48, 8},  {64, 8},
    {80, 8}, {96, 8}, {112, 8}, {128, 8}, {144, 8}, {160, 8}, {176, 8},
};

constexpr std::uint8_t kIdTemperature = 2;
constexpr std::uint8_t kIdAvailableSpare = 3;
constexpr std::uint8_t kIdPercentageUsed = 5;
constexpr std::uint8_t kIdDataUnitsRead = 6;
constexpr std::uint8_t kIdDataUnitsWritten = 7;
constexpr std::uint8_t kIdPowerCycles = 11;
constexpr std::uint8_t kIdPowerOnHours = 12;
constexpr std::uint8_t kSpareLimit = 10;

std::uint64_t Raw(const clSmart& smart, std::uint8_t id) {
    return smart.Attributes().entries[id - 1].raw;
}

int Temperature(const clSmart& smart) {
    // 0 K means the controller does not report the sensor.
    const std::uint64_t kelvin = Raw(smart, kIdTemperature);
    if (kelvin == 0) return kSmartNoValue;
    return static_cast<int>(kelvin) - 273;
}

// Data units are thousands of 512-byte units: GiB = units * 1000 / 2^21, computed without the
// product so that no counter value can wrap.
std::int64_t DataUnitsToGib(std::uint64_t units) {
    constexpr std::uint64_t kSectorsPerGib = std::uint64_t{1} << 21;
    const std::uint64_t gib =
        units / kSectorsPerGib * 1000 + (units % kSectorsPerGib) * 1000 / kSectorsPerGib;
    return static_cast<std::int64_t>(gib); // at most 2^43 * 1000, well inside int64
}

std::int64_t Counter(std::uint64_t raw) {
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    return static_cast<std::int64_t>(std::min(raw, kMax));
}

std::int64_t HostWrites(const clSmart& smart) {
    return DataUnitsToGib(Raw(smart, kIdDataUnitsWritten));
}
std::int64_t HostReads(const clSmart& smart) {
    return DataUnitsToGib(Raw(smart, kIdDataUnitsRead));
}
std::int64_t PowerCycles(const clSmart& smart) {
    return Counter(Raw(smart, kIdPowerCycles));
}
std::int64_t PowerOnHours(const clSmart& smart) {
    return Counter(Raw(smart, kIdPowerOnHours));
}
// Negative when the drive reports more than 100 % used: below any warning level.
int Life(const clSmart& smart) {
    return 100 - static_cast<int>(Raw(smart, kIdPercentageUsed));
}

} // namespace

clSmartNvme::clSmartNvme(clDisk* disk, InterfacePtr<clNvme> nvme) noexcept
    : clSmart(disk, kSmartNvmeCapacity), nvme_(std::move(nvme)) {
    attributes_.count = kSmartNvmeCapacity;
    for (int k = 0; k < kSmartNvmeCapacity; ++k)
        attributes_.entries[k].id = static_cast<std::uint8_t>(k + 1);
}

clSmartNvme::~clSmartNvme() = default;

void clSmartNvme::Close() {
    if (nvme_) nvme_->Close();
}

ByteView clSmartNvme::GetIdentifyData() {
    return nvme_ ? nvme_->GetController() : ByteView{};
}

bool clSmartNvme::GetModel(std::string* out) {
    std::string text;
    if (!nvme_ || !nvme_->GetModel(text)) return false;
    if (out) *out = std::move(text);
    return true;
}

bool clSmartNvme::GetSerial(std::string* out) {
    std::string text;
    if (!nvme_ || !nvme_->GetSerial(text)) return false;
    if (out) *out = std::move(text);
    return true;
}

bool clSmartNvme::GetFirmware(std::string* out) {
    std::string text;
    if (!nvme_ || !nvme_->GetFirmware(text)) return false;
    if (out) *out = std::move(text);
    return true;
}

std::vector<std::uint8_t> clSmartNvme::ReadRaw() {
    constexpr std::uint32_t kDwordsMinusOne = kNvmeHealthLogSize / 4 - 1;
    std::vector<std::uint8_t> buffer(kNvmeIdentifySize, 0);
    if (!nvme_ || !nvme_->GetLogPage(kNvmeHealthLogId, kDwordsMinusOne,
                                     MutableByteView(buffer).first(kNvmeHealthLogSize)))
        return {};
    return buffer;
}

bool clSmartNvme::Refresh() {
    const std::vector<std::uint8_t> log = ReadRaw();
    return ParseHealthLog(log);
}

bool clSmartNvme::ParseHealthLog(ByteView log) {
    if (log.size() < kNvmeHealthLogSize) return false;
    const ByteView page = log.first(kNvmeHealthLogSize);
    // A log nobody filled in is no data, not a drive at 0 K with no spare left.
    if (std::all_of(page.begin(), page.end(), [](std::uint8_t b) { return b == 0; })) return false;
    for (int k = 0; k < kSmartNvmeCapacity; ++k) {
        const HealthField field = kHealthFields[k];
        std::uint64_t raw = 0;
        for (int b = field.width - 1; b >= 0; --b)
            raw = (raw << 8) | page[field.offset + b];
        SmartAttribute& entry = attributes_.entries[k];
        entry.id = static_cast<std::uint8_t>(k + 1);
        entry.raw = raw;
    }
    haveLog_ = true;
    return true;
}

void clSmartNvme::UpdateStatus() {
    if (!haveLog_) {
        status_ = smartstatus::kUnknown;
        return;
    }
    const std::uint64_t spare = Raw(*this, kIdAvailableSpare);
    status_ = spare > kSpareLimit    ? smartstatus::kGood
              : spare == kSpareLimit ? smartstatus::kAtThreshold
                                     : smartstatus::kBelowThreshold;
}

std::u16string clSmartNvme::GetAttributeName(std::uint8_t id) {
    if (auto name = SmartAttributeName(u"SmartNVMe", id)) return *name;
    return SmartUnnamedAttributeText().value_or(std::u16string{});
}

void AssignNvmeEvaluators(clSmartNvme& smart) {
    smart.temperature = Temperature;
    smart.hostWrites = HostWrites;
    smart.hostReads = HostReads;
    smart.powerCycles = PowerCycles;
    smart.powerOnHours = PowerOnHours;
    smart.life = Life;
    smart.health = Life;
}

} // namespace tvd
