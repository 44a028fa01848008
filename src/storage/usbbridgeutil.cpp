#include "storage/usbbridgeutil.h"

#include <algorithm>

#include "storage/asmusbatafun.h"
#include "storage/clscsi.h"
#include "storage/jmusbatafun.h"
#include "storage/nvmeidentifyutil.h"
#include "storage/storagechipidentifyutil.h"
#include "storage/usbnodeutil.h"
#include "storage/usbvendoratafun.h"

namespace tvd {

namespace {

using chipid::AtaSet;

// The accepted candidate, or the transport handed back for the next one.
template <class T>
bool Accept(T* candidate, InterfacePtr<clNtScsi>& scsi, InterfacePtr<clAta>& out) {
    if (!candidate->GetIdentify().empty()) {
        out = AdoptInterface<clAta>(candidate);
        return true;
    }
    scsi = candidate->DetachTransport();
    delete candidate;
    return false;
}

// The vendor class a chip calls for; null when none (or when its probe refuses).
clUsbAta* VendorCandidate(std::uint16_t chip, InterfacePtr<clNtScsi>& scsi) {
    std::uint8_t device = 0xA0;
    switch (chipid::AtaSetOf(chip)) {
    case AtaSet::kJmicron:
        if (!jmusb::SelectPort(scsi.get(), chip, device)) return nullptr;
        return new clJmUsbAta(std::move(scsi), device);
    case AtaSet::kAsmedia:
        return new clAsmUsbAta(std::move(scsi));
    case AtaSet::kSunplus:
        return new clSunplusAta(std::move(scsi));
    case AtaSet::kPlx507:
        if (!usbvendor::Plx507Probe(scsi.get(), device)) return nullptr;
        return new clPlx507Ata(std::move(scsi), device);
    case AtaSet::kPl2571:
        return new clPl2571Ata(std::move(scsi));
    case AtaSet::kNone:
        break;
    }
    return nullptr;
}

ByteView Inquiry(clScsi* scsi, MutableByteView buffer) {
    std::uint32_t n = static_cast<std::uint32_t>(buffer.size());
    if (!scsicmd::Inquiry(scsi, buffer, n)) return {};
    return ByteView(buffer.data(), std::min<std::size_t>(n, buffer.size()));
}

struct UsbIds {
    bool known = false;
    std::uint16_t vendor = 0, product = 0;
};
UsbIds IdsOf(clDisk* disk) {
    UsbIds ids;
    ids.known = GetUsbIds(disk, ids.vendor, ids.product);
    return ids;
}

// The NVMe bridge tests: INQUIRY, the USB ids, or (for a device of that maker only) the
// bridge's product query. Unknown bridges never see the vendor CDB.
bool IsAsmediaNvme(clDisk* disk, clScsi* scsi) {
    std::uint8_t inq[38] = {};
    if (chipid::AsmediaNvmeInquiry(Inquiry(scsi, inq))) return true;
    const UsbIds ids = IdsOf(disk);
    if (!ids.known || ids.vendor != chipid::kUsbVendorAsmedia) return false;
    return ids.product == 0x2362 || asmusb::ProductId(scsi) == 0x2362;
}

bool IsJmicronNvme(clDisk* disk, clScsi* scsi) {
    std::uint8_t inq[40] = {};
    if (chipid::JmicronNvmeInquiry(Inquiry(scsi, inq))) return true;
    const UsbIds ids = IdsOf(disk);
    if (!ids.known || ids.vendor != chipid::kUsbVendorJmicron) return false;
    const auto wanted = [](std::uint16_t p) { return p == 0x0583 || p == 0x0586; };
    return wanted(ids.product) || wanted(jmusb::ProductId(scsi));
}

template <class Bridge>
CandidateResult<clNvme> TryNvme(bool (*test)(clDisk*, clScsi*), const CandidateContext& ctx,
                                MutableByteView identify, InterfacePtr<clNtScsi>& scsi) {
    CandidateResult<clNvme> r;
    if (!scsi || !test(ctx.disk, scsi.get())) return r;
    auto* bridge = new Bridge(std::move(scsi));
    std::fill(identify.begin(), identify.end(), std::uint8_t{0});
    const bool ok = bridge->IdentifyNvme(0, 1, identify) && nvmeid::ControllerValid(identify);
    bridge->Close();
    if (!ok) {
        scsi = bridge->DetachTransport();
        delete bridge;
        return r;
    }
    bridge->SetController(identify);
    r.object = AdoptInterface<clNvme>(bridge);
    r.valid = true;
    return r;
}

} // namespace

std::uint16_t BridgeChipOf(clDisk* disk, clScsi* scsi) {
    if (const std::uint16_t chip = IdentifyBridgeChip(scsi)) return chip;
    const UsbIds ids = IdsOf(disk);
    return ids.known ? chipid::FromUsbIds(ids.vendor, ids.product) : 0;
}

InterfacePtr<clAta> OpenUsbAtaInterface(clDisk* disk) {
    InterfacePtr<clAta> out;
    // Card readers and other removable media get no ATA interface.
    if (disk == nullptr || disk->IsRemovable()) return out;
    InterfacePtr<clNtScsi> scsi = OpenScsiInterface(disk);
    if (!scsi) return out;
    if (disk->ChipId() == 0) {
        if (const std::uint16_t chip = BridgeChipOf(disk, scsi.get())) disk->SetChipId(chip);
    }
    if (Accept(new clSatUsbAta(std::move(scsi)), scsi, out)) return out;
    if (clUsbAta* vendor = VendorCandidate(disk->ChipId(), scsi)) Accept(vendor, scsi, out);
    return out;
}

CandidateResult<clNvme> MakeAsmediaUsbNvme(const CandidateContext& ctx, MutableByteView identify,
                                           InterfacePtr<clNtScsi>& scsi) {
    return TryNvme<clAsmUsbNvme>(IsAsmediaNvme, ctx, identify, scsi);
}

CandidateResult<clNvme> MakeJmicronUsbNvme(const CandidateContext& ctx, MutableByteView identify,
                                           InterfacePtr<clNtScsi>& scsi) {
    return TryNvme<clJmUsbNvme>(IsJmicronNvme, ctx, identify, scsi);
}

} // namespace tvd
