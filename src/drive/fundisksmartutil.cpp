#include "drive/fundisksmartutil.h"

#include <charconv>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/errorcodes.h"
#include "foundation/fileutil.h"
#include "foundation/inibufutila.h"
#include "storage/clata.h"

namespace tvd {

namespace {

constexpr std::string_view kSection = "Smart";
constexpr std::uint8_t kNvmeCriticalWarningId = 1;

// A whole decimal int32, or the fallback (atol would turn "abc" into 0 and "20%" into 20).
std::int32_t StrictInt(const IniBuffer& ini, std::string_view key, std::int32_t fallback) {
    const auto value = IniGetValue(&ini, kSection, key);
    if (!value || value->empty()) return fallback;
    std::string_view v = *value;
    if (v.front() == '+') v.remove_prefix(1);
    std::int32_t n = 0;
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
    return ec == std::errc{} && end == v.data() + v.size() ? n : fallback;
}

// NVMe critical warning bits: the ones that mean lost redundancy or lost data make the drive
// bad; temperature and reserved bits only take "good" away.
struct CriticalBit {
    std::uint8_t mask;
    std::int32_t state;
    const char* text;
};
constexpr CriticalBit kCriticalBits[] = {
    {0x01, healthstate::kBad, "available spare below threshold"},
    {0x02, healthstate::kCaution, "temperature outside its threshold"},
    {0x04, healthstate::kBad, "reliability degraded"},
    {0x08, healthstate::kBad, "media read-only"},
    {0x10, healthstate::kBad, "volatile memory backup failed"},
    {0x20, healthstate::kCaution, "persistent memory region read-only"},
    {0xC0, healthstate::kCaution, "reserved warning bit set"},
};

class Verdict {
public:
    void Raise(std::int32_t to, const std::string& why) {
        if (to > state) state = to;
        if (!reason.empty()) reason += "; ";
        reason += why;
    }
    std::int32_t state = healthstate::kUnknown;
    std::string reason;
};

void RateLife(const SmartMonitor& m, Verdict& v) {
    if (m.health == kSmartNoValue) {
        v.Raise(healthstate::kUnknown, "no remaining-life figure");
    } else if (m.health > m.healthWarning) {
        v.state = healthstate::kGood;
    } else if (m.health > m.healthBad) {
        v.Raise(healthstate::kCaution, "life " + std::to_string(m.health) +
                                           " % at or below the warning level of " +
                                           std::to_string(m.healthWarning) + " %");
    } else {
        v.Raise(healthstate::kBad, "life " + std::to_string(m.health) +
                                       " % at or below the bad level of " +
                                       std::to_string(m.healthBad) + " %");
    }
}

void RateTemperature(const SmartMonitor& m, Verdict& v) {
    if (m.temperature == kSmartNoValue || m.temperature < m.temperatureWarning) return;
    v.Raise(healthstate::kCaution, "temperature " + std::to_string(m.temperature) +
                                       " °C at or above the limit of " +
                                       std::to_string(m.temperatureWarning) + " °C");
}

// ATA: a critical attribute at or below its threshold is "threshold exceeded" (ACS); so is the
// RETURN STATUS answer F42Ch.
void RateAtaVerdict(const SmartMonitor& m, const clSmartAta& ata, Verdict& v) {
    if (ata.Status() >= smartstatus::kAtThreshold) {
        const SmartAttributeList& list = ata.Attributes();
        for (int i = 0; i < list.count && i < kSmartMaxAttributes; ++i)
            if (list.entries[i].status >= smartstatus::kAtThreshold)
                v.Raise(healthstate::kBad, "attribute " + std::to_string(list.entries[i].id) +
                                               " at or below its threshold");
    }
    if (m.ataReturnStatus == kAtaSmartStatusExceeded)
        v.Raise(healthstate::kBad, "the drive reports a threshold exceeded");
}

void RateNvmeVerdict(const clSmartNvme& nvme, Verdict& v) {
    const SmartAttributeList& list = nvme.Attributes();
    const int index = FindSmartAttribute(list, kNvmeCriticalWarningId);
    if (index < 0) return;
    const auto bits = static_cast<std::uint8_t>(list.entries[index].raw & 0xFF);
    for (const CriticalBit& bit : kCriticalBits)
        if (bits & bit.mask) v.Raise(bit.state, std::string("critical warning: ") + bit.text);
}

// Only the two defined answers are kept: a failed command (0) must not clear a known verdict.
void ReadAtaReturnStatus(SmartMonitor& m) {
    auto* ata = ZoltCast<clSmartAta>(m.smart.get());
    if (!ata || !ata->Ata()) return;
    const std::uint16_t answer = ata->Ata()->SmartReturnStatus();
    if (answer == kAtaSmartStatusOk || answer == kAtaSmartStatusExceeded)
        m.ataReturnStatus = answer;
}

void TakeFigures(SmartMonitor& m) {
    const clSmart* s = m.smart.get();
    m.temperature = GetTemperature(s);
    m.health = GetHealth(s);
    m.written = GetHostWrites(s);
    m.read = GetHostReads(s);
    m.powerCycles = GetPowerCycles(s);
    m.powerOnHours = GetPowerOnHours(s);
    SmartMonitorEvaluate(&m);
    m.updated = true;
}

} // namespace

SmartThresholds ReadSmartThresholds(const std::string& path) {
    SmartThresholds t;
    if (path.empty()) return t;
    std::vector<std::uint8_t> bytes;
    if (ReadWholeFile(path, bytes) != err::kSuccess) return t;
    IniBuffer ini;
    if (!IniParse(&ini, bytes.data(), bytes.size())) return t;
    t.healthWarning = StrictInt(ini, "HealthWarning", t.healthWarning);
    t.healthBad = StrictInt(ini, "HealthBad", t.healthBad);
    t.temperatureWarning = StrictInt(ini, "TemperatureWarning", t.temperatureWarning);
    return t;
}

void SmartMonitorSetup(SmartMonitor* monitor, clDisk* disk, const std::string& settingsPath) {
    if (!monitor || monitor->smart) return;
    SmartMonitorSetup(monitor, CreateSmart(disk), settingsPath);
}

void SmartMonitorSetup(SmartMonitor* monitor, std::unique_ptr<clSmart> smart,
                       const std::string& settingsPath) {
    if (!monitor || monitor->smart) return;
    monitor->smart = std::move(smart);
    monitor->settingsPath = settingsPath;
    const SmartThresholds t = ReadSmartThresholds(settingsPath);
    monitor->healthWarning = t.healthWarning;
    monitor->healthBad = t.healthBad;
    monitor->temperatureWarning = t.temperatureWarning;
    monitor->tickCount = 0;
    if (!monitor->smart) {
        SmartMonitorEvaluate(monitor);
        return;
    }
    // The object was made from data read a moment ago: rate it and take the figures from it
    // rather than reading the drive a second time.
    monitor->smart->UpdateStatus();
    ReadAtaReturnStatus(*monitor);
    monitor->smart->Close();
    TakeFigures(*monitor);
}

bool SmartMonitorRefresh(SmartMonitor* monitor) {
    if (!monitor) return false;
    monitor->tickCount = 0;
    if (!monitor->smart) return false;
    const bool ok = monitor->smart->Refresh();
    monitor->smart->UpdateStatus();
    if (ok) ReadAtaReturnStatus(*monitor);
    monitor->smart->Close();
    if (ok) TakeFigures(*monitor);
    return ok;
}

void SmartMonitorEvaluate(SmartMonitor* monitor) {
    if (!monitor) return;
    Verdict v;
    if (!monitor->smart) {
        v.Raise(healthstate::kUnknown, "no SMART data");
    } else {
        RateLife(*monitor, v);
        RateTemperature(*monitor, v);
        if (const auto* ata = ZoltCast<const clSmartAta>(monitor->smart.get()))
            RateAtaVerdict(*monitor, *ata, v);
        else if (const auto* nvme = ZoltCast<const clSmartNvme>(monitor->smart.get()))
            RateNvmeVerdict(*nvme, v);
    }
    monitor->HealthState = v.state;
    monitor->healthReason = std::move(v.reason);
}

std::uint32_t HealthStateTextId(std::int32_t state) {
    switch (state) {
    case healthstate::kGood:
        return 21115;
    case healthstate::kCaution:
    case healthstate::kBad:
        return 21117;
    default:
        return 0;
    }
}

} // namespace tvd
