#include "storage/devicechoice.h"

#include <algorithm>
#include <map>

#include "storage/storageplatform.h"
#include "storage/devicehandleutil.h"

namespace tvd {

namespace {

struct Factories {
    std::map<ScsiCandidate, ScsiFactory> scsi;
    std::map<AtaCandidate, AtaFactory> ata;
    std::map<NvmeCandidate, NvmeFactory> nvme;
};

Factories& Table() {
    static Factories table;
    return table;
}

template <class Map, class Key, class Fn> void SetFactory(Map& map, Key kind, Fn factory) {
    if (factory)
        map[kind] = std::move(factory);
    else
        map.erase(kind);
}

template <class Map, class Key> const typename Map::mapped_type* FactoryOf(Map& map, Key kind) {
    auto it = map.find(kind);
    return it == map.end() ? nullptr : &it->second;
}

// The context of a disk with a path; the SCSI address is read when `withAddress`. False when
// the disk has no path, or when `mustOpen` and it cannot be opened.
bool MakeContext(clDisk* disk, bool mustOpen, bool withAddress, CandidateContext& ctx) {
    if (disk == nullptr || disk->Path().empty()) return false;
    ctx.disk = disk;
    ctx.path = disk->Path();
    if (!mustOpen && !withAddress) return true;
    DeviceHandle h;
    if (OpenDevice(ctx.path, h) != err::kSuccess) return !mustOpen;
    ScsiAddress address;
    if (withAddress && Storage().GetScsiAddress(h, address) == err::kSuccess) ctx.address = address;
    return true;
}

// A candidate that answered valid with an object; anything else is destroyed on return.
template <class T> bool Accept(CandidateResult<T>& result) {
    return result.valid && result.object != nullptr;
}

} // namespace

void SetScsiCandidateFactory(ScsiCandidate kind, ScsiFactory factory) {
    SetFactory(Table().scsi, kind, std::move(factory));
}
void SetAtaCandidateFactory(AtaCandidate kind, AtaFactory factory) {
    SetFactory(Table().ata, kind, std::move(factory));
}
void SetNvmeCandidateFactory(NvmeCandidate kind, NvmeFactory factory) {
    SetFactory(Table().nvme, kind, std::move(factory));
}
void ClearCandidateFactories() {
    Table() = Factories{};
}

std::vector<AtaCandidate> AtaCandidatesFor(std::uint32_t busType, bool isUsb) {
    using A = AtaCandidate;
    if (isUsb) return {A::kUsbBridge};
    switch (busType) {
    case bustype::kScsi:
    case bustype::kIscsi:
        return {A::kNtScsiAta};
    case bustype::kAta:
    case bustype::kSata:
        return {A::kSat, A::kWinSmart, A::kWinPassThrough, A::kNtScsiAta};
    case bustype::kUsb:
        return {A::kUsbBridge};
    case bustype::kRaid:
        return {A::kWinPassThrough, A::kNtScsiAta};
    default:
        return {};
    }
}

// kW10 is the Windows 10 protocol-specific query; its factory is registered only where that
// exists.
std::vector<NvmeCandidate> NvmeCandidatesFor(std::uint32_t busType, bool isUsb) {
    using N = NvmeCandidate;
    if (isUsb || busType == bustype::kUsb) return {N::kUsbAsmedia, N::kUsbJmicron};
    if (busType == bustype::kRaid || busType == bustype::kNvme)
        return {N::kPlatform, N::kW10, N::kWinIrst};
    return {};
}

InterfacePtr<clNtScsi> OpenScsiInterface(clDisk* disk) {
    CandidateContext ctx;
    if (!MakeContext(disk, true, true, ctx)) return {};
    const ScsiFactory* factory = FactoryOf(Table().scsi, ScsiCandidate::kNtScsi);
    if (!factory) return {};
    CandidateResult<clNtScsi> r = (*factory)(ctx);
    return Accept(r) ? std::move(r.object) : InterfacePtr<clNtScsi>();
}

InterfacePtr<clAta> OpenAtaInterface(clDisk* disk) {
    if (disk == nullptr) return {};
    const std::vector<AtaCandidate> candidates =
        AtaCandidatesFor(disk->GetBusType(), disk->IsUsb());
    const bool needsAddress = std::find(candidates.begin(), candidates.end(),
                                        AtaCandidate::kNtScsiAta) != candidates.end();
    CandidateContext ctx;
    if (!MakeContext(disk, false, needsAddress, ctx)) return {};
    for (AtaCandidate kind : candidates) {
        // The SCSI-translated ATA interface addresses its target by the SCSI address.
        if (kind == AtaCandidate::kNtScsiAta && !ctx.address) continue;
        const AtaFactory* factory = FactoryOf(Table().ata, kind);
        if (!factory) continue;
        CandidateResult<clAta> r = (*factory)(ctx);
        if (Accept(r)) return std::move(r.object);
    }
    return {};
}

NvmeChoice OpenNvmeInterface(clDisk* disk) {
    NvmeChoice choice;
    if (disk == nullptr) return choice;
    const bool usb = disk->IsUsb() || disk->GetBusType() == bustype::kUsb;
    const std::vector<NvmeCandidate> candidates = NvmeCandidatesFor(disk->GetBusType(), usb);
    if (candidates.empty()) return choice;
    // The USB NVMe bridges are tried only for fixed disks, over the disk's SCSI interface.
    InterfacePtr<clNtScsi> scsi;
    if (usb) {
        if (disk->IsRemovable()) return choice;
        scsi = OpenScsiInterface(disk);
        if (!scsi) return choice;
    }
    CandidateContext ctx;
    if (!MakeContext(disk, false, !usb, ctx)) return choice;
    std::vector<std::uint8_t> identify(kNvmeIdentifySize);
    for (NvmeCandidate kind : candidates) {
        const NvmeFactory* factory = FactoryOf(Table().nvme, kind);
        if (!factory) continue;
        std::fill(identify.begin(), identify.end(), std::uint8_t{0});
        InterfacePtr<clNtScsi> none;
        CandidateResult<clNvme> r = (*factory)(ctx, identify, usb ? scsi : none);
        if (Accept(r)) {
            choice.nvme = std::move(r.object);
            choice.identify = std::move(identify);
            return choice;
        }
    }
    return choice;
}

} // namespace tvd
