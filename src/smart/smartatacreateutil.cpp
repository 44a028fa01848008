#include "smart/smartatacreateutil.h"

#include <algorithm>
#include <limits>
#include <string>
#include <utility>

#include "smart/smartatavendoridentifyutil.h"
#include "storage/ataidentifyutil.h"
#include "storage/clata.h"
#include "storage/clnvme.h"
#include "storage/storagetypes.h"

namespace tvd {

namespace {

// ---- ATA evaluators: each reads the attribute the assignment recorded in the object. ----

const SmartAttribute* At(const clSmart& smart, int index) {
    const SmartAttributeList& list = smart.Attributes();
    if (index < 0 || index >= list.count || index >= kSmartMaxAttributes) return nullptr;
    return &list.entries[index];
}
const clSmartAta& AtaOf(const clSmart& smart) {
    return static_cast<const clSmartAta&>(smart);
}
std::uint8_t Byte0(const SmartAttribute& a) {
    return static_cast<std::uint8_t>(a.raw & 0xFF);
}

int TemperatureStandard(const clSmart& smart) {
    const SmartAttribute* a = At(smart, AtaOf(smart).temperatureIndex);
    if (!a || Byte0(*a) < 1 || Byte0(*a) > 99) return kSmartNoValue;
    return Byte0(*a);
}
int TemperatureHalfDegree(const clSmart& smart) {
    const SmartAttribute* a = At(smart, AtaOf(smart).temperatureIndex);
    if (!a || Byte0(*a) == 0) return kSmartNoValue;
    const int value = static_cast<int>((a->raw >> 1) & 0x7F);
    return value < 100 ? value : kSmartNoValue;
}
int TemperatureTenthDegree(const clSmart& smart) {
    const SmartAttribute* a = At(smart, AtaOf(smart).temperatureIndex);
    if (!a) return kSmartNoValue;
    const int tenths = static_cast<int>(a->raw & 0xFFFF);
    if (tenths == 0 || tenths / 10 >= 100) return kSmartNoValue;
    return tenths / 10;
}

template <int Bits> std::int64_t PowerOnHoursBits(const clSmart& smart) {
    const SmartAttribute* a = At(smart, AtaOf(smart).powerOnHoursIndex);
    return a ? static_cast<std::int64_t>(a->raw & ((std::uint64_t{1} << Bits) - 1)) : kSmartNoCount;
}
template <int Bits> std::int64_t PowerCyclesBits(const clSmart& smart) {
    const SmartAttribute* a = At(smart, AtaOf(smart).powerCyclesIndex);
    return a ? static_cast<std::int64_t>(a->raw & ((std::uint64_t{1} << Bits) - 1)) : kSmartNoCount;
}

constexpr std::uint64_t kLow48 = (std::uint64_t{1} << 48) - 1;
template <int Shift> std::int64_t HostWritesShift(const clSmart& smart) {
    const SmartAttribute* a = At(smart, AtaOf(smart).hostWritesIndex);
    return a ? static_cast<std::int64_t>((a->raw & kLow48) >> Shift) : kSmartNoCount;
}
template <int Shift> std::int64_t HostReadsShift(const clSmart& smart) {
    const SmartAttribute* a = At(smart, AtaOf(smart).hostReadsIndex);
    return a ? static_cast<std::int64_t>((a->raw & kLow48) >> Shift) : kSmartNoCount;
}

int LifeCurrent(const clSmart& smart) {
    const SmartAttribute* a = At(smart, AtaOf(smart).lifeIndex);
    return a && a->current <= 100 ? a->current : kSmartNoValue;
}
int LifeRawByte0(const clSmart& smart) {
    const SmartAttribute* a = At(smart, AtaOf(smart).lifeIndex);
    return a && Byte0(*a) <= 100 ? Byte0(*a) : kSmartNoValue;
}
int LifeInverseRawByte0(const clSmart& smart) {
    const SmartAttribute* a = At(smart, AtaOf(smart).lifeIndex);
    return a && Byte0(*a) <= 100 ? 100 - Byte0(*a) : kSmartNoValue;
}

// 100, reduced in turn by each reported critical attribute's capped penalty.
int ComputedHealth(const clSmart& smart) {
    const clSmartAta& ata = AtaOf(smart);
    if (ata.criticalCount <= 0) return kSmartNoValue;
    std::uint64_t health = 100;
    for (int i = 0; i < ata.criticalCount && i < clSmartAta::kMaxCritical; ++i) {
        const SmartCriticalEntry& entry = ata.critical[i];
        const SmartAttribute* a = At(smart, entry.index);
        if (!a) continue;
        const std::uint64_t raw = a->raw & 0xFFFFFFFF;
        if (raw == 0) continue;
        const std::uint64_t penalty = std::min<std::uint64_t>(raw * entry.weight, entry.cap);
        health = penalty >= 100 ? 0 : (100 - penalty) * health / 100;
    }
    return static_cast<int>(health);
}

clSmart::CountEvaluator HostWritesFor(int shift) {
    switch (shift) {
    case 0:
        return HostWritesShift<0>;
    case 4:
        return HostWritesShift<4>;
    case 5:
        return HostWritesShift<5>;
    case 10:
        return HostWritesShift<10>;
    case 21:
        return HostWritesShift<21>;
    default:
        return nullptr;
    }
}
clSmart::CountEvaluator HostReadsFor(int shift) {
    switch (shift) {
    case 0:
        return HostReadsShift<0>;
    case 4:
        return HostReadsShift<4>;
    case 5:
        return HostReadsShift<5>;
    case 10:
        return HostReadsShift<10>;
    case 21:
        return HostReadsShift<21>;
    default:
        return nullptr;
    }
}

bool TypeIn(std::uint32_t type, std::initializer_list<std::uint32_t> types) {
    return std::find(types.begin(), types.end(), type) != types.end();
}

// Shift from the counter unit to GiB; -1 when the unit is unknown.
int UnitShift(std::uint8_t unit) {
    switch (unit) {
    case kSmartUnitSectors:
        return 21;
    case kSmartUnitMib:
        return 10;
    case kSmartUnit64Mib:
        return 4; // 2^26-byte units: 16 of them make a GiB
    case kSmartUnit32Mib:
        return 5;
    case kSmartUnitGib:
        return 0;
    default:
        return -1;
    }
}

// Shift of attributes 241/242 by profile type; -1 = not assigned.
int HostCounterShift(const SmartVendorProfile& profile) {
    const std::uint32_t t = profile.type;
    if (TypeIn(t, {4, 12, 15, 18, 19, 24, 25, 26, 28, 102, 103}) || (t >= 31 && t <= 36) ||
        (t >= 131 && t <= 135))
        return UnitShift(profile.unitCode);
    if (TypeIn(t, {10, 23, 27, 30, 101})) return 5;
    if (TypeIn(t, {11, 14})) return profile.unitCode == kSmartUnitGib ? 0 : 21;
    if (TypeIn(t, {13, 29})) return 21;
    if (t == 20) return profile.unitCode == kSmartUnitGib ? 0 : 5;
    return -1;
}

clSmart::ValueEvaluator LifeByVariant(std::uint8_t variant) {
    switch (variant) {
    case kSmartLifeNormalized:
        return LifeCurrent;
    case kSmartLifeRawByte0:
        return LifeRawByte0;
    case kSmartLifeInverseRawByte0:
        return LifeInverseRawByte0;
    default:
        return nullptr;
    }
}

struct CriticalRow {
    std::uint8_t id;
    std::uint32_t weight;
    std::uint64_t cap;
};
constexpr CriticalRow kCriticalRows[] = {
    {5, 2, 70}, {10, 2, 50}, {184, 1, 50}, {196, 1, 40}, {197, 1, 40}, {198, 2, 70}, {201, 1, 20},
};

void SetLife(clSmartAta& s, int index, clSmart::ValueEvaluator fn) {
    if (!fn) return;
    s.lifeIndex = index;
    s.life = fn;
}
void SetWrites(clSmartAta& s, int index, int shift) {
    if (auto fn = HostWritesFor(shift)) {
        s.hostWritesIndex = index;
        s.hostWrites = fn;
    }
}
void SetReads(clSmartAta& s, int index, int shift) {
    if (auto fn = HostReadsFor(shift)) {
        s.hostReadsIndex = index;
        s.hostReads = fn;
    }
}

} // namespace

void AssignAtaEvaluators(clSmartAta& s, bool solidState) {
    std::string model, firmware;
    s.GetModel(&model);
    s.GetFirmware(&firmware);
    std::uint8_t ids[kSmartMaxAttributes];
    const std::size_t count = SmartAttributeIds(s.Attributes(), ids);
    s.profileId = SelectVendorProfile(solidState, model, firmware, std::span(ids, count));
    const SmartVendorProfile& profile = s.Profile();
    const std::uint32_t type = profile.type;

    s.temperature = s.life = s.health = nullptr;
    s.hostWrites = s.hostReads = s.powerCycles = s.powerOnHours = nullptr;
    s.temperatureIndex = s.hostReadsIndex = s.hostWritesIndex = -1;
    s.lifeIndex = s.powerCyclesIndex = s.powerOnHoursIndex = -1;
    s.criticalCount = 0;

    const SmartAttributeList& list = s.Attributes();
    for (int i = 0; i < static_cast<int>(count); ++i) {
        const SmartAttribute& a = list.entries[i];
        const bool tempUnset = s.temperatureIndex < 0;
        const bool writesUnset = s.hostWritesIndex < 0;
        const bool readsUnset = s.hostReadsIndex < 0;
        const bool lifeUnset = s.lifeIndex < 0;
        switch (a.id) {
        case 0x09:
            s.powerOnHoursIndex = i;
            s.powerOnHours = type == 22 ? PowerOnHoursBits<16> : PowerOnHoursBits<32>;
            break;
        case 0x0C:
            s.powerCyclesIndex = i;
            s.powerCycles = type == 22 ? PowerCyclesBits<16> : PowerCyclesBits<32>;
            break;
        case 0xC2:
            s.temperatureIndex = i;
            if (StartsWithNoCase(model, "VORNA SSD") && StartsWithNoCase(firmware, "3.4.6"))
                s.temperature = TemperatureHalfDegree;
            else if (StartsWithNoCase(model, "SAMSUNG SV") && ((a.raw >> 8) & 0xFF) != 0 &&
                     Byte0(a) >= 71)
                s.temperature = TemperatureTenthDegree;
            else
                s.temperature = TemperatureStandard;
            break;
        case 0xBE:
            if (tempUnset && Byte0(a) <= 99) {
                s.temperatureIndex = i;
                s.temperature = TemperatureStandard;
            }
            break;
        case 0xF3:
            if (type == 34 && tempUnset) {
                s.temperatureIndex = i;
                s.temperature = TemperatureStandard;
            }
            break;
        case 0xF1:
            SetWrites(s, i, HostCounterShift(profile));
            break;
        case 0xF2:
            SetReads(s, i, HostCounterShift(profile));
            break;
        case 0xC7:
            if (type == 102 && writesUnset) SetWrites(s, i, 0);
            break;
        case 0xC6:
            if (type == 102 && readsUnset) SetReads(s, i, 0);
            break;
        case 0xE1:
            if (type == 10 && writesUnset) SetWrites(s, i, 5);
            break;
        case 0xE8:
            if (type == 17 && writesUnset) SetWrites(s, i, 21);
            if (type == 23 && lifeUnset) SetLife(s, i, LifeCurrent);
            break;
        case 0xEB:
            if (type == 101 && writesUnset) SetWrites(s, i, 5);
            break;
        case 0xF6:
            if (TypeIn(type, {16, 103}) && writesUnset) SetWrites(s, i, 21);
            break;
        case 0xA9:
            if ((TypeIn(type, {25, 30}) || (type == 15 && profile.unitCode == kSmartUnit32Mib)) &&
                lifeUnset)
                SetLife(s, i, LifeByVariant(profile.lifeVariant));
            break;
        case 0xAD:
            if (TypeIn(type, {20, 27}) && lifeUnset) SetLife(s, i, LifeCurrent);
            break;
        case 0xB1:
            if (type == 11 && lifeUnset) SetLife(s, i, LifeCurrent);
            break;
        case 0xBB:
            if (type == 21 && lifeUnset) SetLife(s, i, LifeCurrent);
            break;
        case 0xC9:
            if (TypeIn(type, {132, 133}) && lifeUnset) SetLife(s, i, LifeCurrent);
            break;
        case 0xCA:
            if (TypeIn(type, {16, 101, 103}) && lifeUnset) SetLife(s, i, LifeCurrent);
            break;
        case 0xD1:
            if (type == 22 && lifeUnset) SetLife(s, i, LifeCurrent);
            break;
        case 0xE6:
            if (TypeIn(type, {131, 134}) && lifeUnset) SetLife(s, i, LifeCurrent);
            break;
        case 0xE7:
            if (type >= 12 && type <= 36 && !TypeIn(type, {16, 17, 19, 20, 21, 22, 23, 27, 30, 32}))
                SetLife(s, i, LifeByVariant(profile.lifeVariant));
            break;
        case 0xE9:
            if (TypeIn(type, {10, 17, 26, 102}) && lifeUnset)
                SetLife(s, i,
                        profile.lifeVariant == kSmartLifeRawByte0 ? LifeRawByte0 : LifeCurrent);
            else if (type == 135 && lifeUnset)
                SetLife(s, i, LifeCurrent);
            break;
        default:
            break;
        }
    }

    if (s.life) {
        s.health = s.life;
        return;
    }
    for (const CriticalRow& row : kCriticalRows) {
        const int index = FindSmartAttribute(list, row.id);
        if (index < 0 || s.criticalCount >= clSmartAta::kMaxCritical) continue;
        s.critical[s.criticalCount++] =
            SmartCriticalEntry{static_cast<std::uint8_t>(index), row.weight, row.cap};
    }
    s.health = ComputedHealth;
}

std::unique_ptr<clSmartAta> CreateSmartAta(clDisk* disk, InterfacePtr<clAta> ata) {
    if (!ata) return nullptr;
    const ByteView identify = ata->GetIdentify();
    if (identify.empty()) return nullptr;
    const bool solidState = ataid::IsSolidState(identify);

    std::vector<std::uint8_t> thresholds(kSmartPageSize, 0), data(kSmartPageSize, 0);
    const bool read = ata->SmartReadThresholds(thresholds) && ata->SmartReadData(data);
    // A page that is all zero or fails its checksum is no SMART, not a list of zeros.
    if (!read || !SmartPageUsable(thresholds) || !SmartPageUsable(data)) return nullptr;

    auto smart = std::make_unique<clSmartAta>(disk, std::move(ata));
    smart->ParseData(data);
    smart->ParseThresholds(thresholds);
    if (!smart->GetModel(nullptr) || !smart->GetFirmware(nullptr)) return nullptr;
    AssignAtaEvaluators(*smart, solidState);
    smart->Close();
    return smart;
}

std::unique_ptr<clSmartNvme> CreateSmartNvme(clDisk* disk, InterfacePtr<clNvme> nvme) {
    if (!nvme) return nullptr;
    auto smart = std::make_unique<clSmartNvme>(disk, std::move(nvme));
    const bool refreshed = smart->Refresh();
    smart->Close();
    if (!refreshed) return nullptr;
    AssignNvmeEvaluators(*smart);
    return smart;
}

namespace {

std::unique_ptr<clSmart> TryAta(clDisk* disk) {
    return CreateSmartAta(disk, OpenAtaInterface(disk));
}

std::unique_ptr<clSmart> TryNvme(clDisk* disk) {
    NvmeChoice choice = OpenNvmeInterface(disk);
    if (!choice.nvme) return nullptr;
    if (choice.identify.size() == kNvmeIdentifySize) choice.nvme->SetController(choice.identify);
    return CreateSmartNvme(disk, std::move(choice.nvme));
}

} // namespace

std::unique_ptr<clSmart> CreateSmart(clDisk* disk) {
    if (!disk) return nullptr;
    bool ata = false, nvme = false;
    if (disk->IsUsb()) {
        ata = nvme = true;
    } else {
        switch (disk->GetBusType()) {
        case bustype::kScsi:
        case bustype::kAtapi:
        case bustype::kAta:
        case bustype::kSsa:
        case bustype::kFibre:
        case bustype::kIscsi:
        case bustype::kSas:
        case bustype::kSata:
        case bustype::kSd:
            ata = true;
            break;
        case bustype::kUsb:
        case bustype::kRaid:
            ata = nvme = true;
            break;
        case bustype::kNvme:
            nvme = true;
            break;
        default:
            break;
        }
    }
    if (ata)
        if (auto smart = TryAta(disk)) return smart;
    if (nvme)
        if (auto smart = TryNvme(disk)) return smart;
    return nullptr;
}

bool RefreshSmart(clSmart* smart) {
    if (!smart) return false;
    const bool ok = smart->Refresh();
    smart->UpdateStatus();
    smart->Close();
    return ok;
}

int GetTemperature(const clSmart* smart) {
    return smart && smart->temperature ? smart->temperature(*smart) : kSmartNoValue;
}
int GetLife(const clSmart* smart) {
    return smart && smart->life ? smart->life(*smart) : kSmartNoValue;
}
int GetHealth(const clSmart* smart) {
    return smart && smart->health ? smart->health(*smart) : kSmartNoValue;
}
std::int64_t GetHostWrites(const clSmart* smart) {
    return smart && smart->hostWrites ? smart->hostWrites(*smart) : kSmartNoCount;
}
std::int64_t GetHostReads(const clSmart* smart) {
    return smart && smart->hostReads ? smart->hostReads(*smart) : kSmartNoCount;
}
std::int64_t GetPowerCycles(const clSmart* smart) {
    return smart && smart->powerCycles ? smart->powerCycles(*smart) : kSmartNoCount;
}
std::int64_t GetPowerOnHours(const clSmart* smart) {
    return smart && smart->powerOnHours ? smart->powerOnHours(*smart) : kSmartNoCount;
}
std::uint32_t GetSmartStatus(const clSmart* smart) {
    return smart ? smart->Status() : smartstatus::kUnknown;
}

} // namespace tvd
