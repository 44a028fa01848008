// The command paths of the Windows back end. The simulation answers the same device-control
// requests, so simulated drives go through these classes too.
#include <cstring>

#include "foundation/envutil.h"
#include "storage/clntata.h"
#include "storage/clnvme.h"
#include "storage/commandinterfaces.h"
#include "storage/devicechoice.h"
#include "storage/nvmeidentifyutil.h"
#include "storage/storageplatform.h"

namespace tvd {

namespace {

template <class T> CandidateResult<clAta> MakeNtAta(const CandidateContext& ctx) {
    CandidateResult<clAta> r;
    r.object = AdoptInterface<clAta>(new T(ctx.path));
    r.valid = !r.object->GetIdentify().empty();
    return r;
}

CandidateResult<clAta> MakeNtScsiAta(const CandidateContext& ctx) {
    CandidateResult<clAta> r;
    if (!ctx.address) return r;
    r.object = AdoptInterface<clAta>(new clNtScsiAta(ctx.path, ctx.address->targetId));
    r.valid = !r.object->GetIdentify().empty();
    return r;
}

// Valid when IDENTIFY CONTROLLER answers with a plausible structure, which the interface keeps.
CandidateResult<clNvme> Identified(InterfacePtr<clNvme> nvme, MutableByteView identify) {
    CandidateResult<clNvme> r;
    r.object = std::move(nvme);
    r.valid = r.object->IdentifyNvme(0, 1, identify) && nvmeid::ControllerValid(identify);
    if (r.valid) r.object->SetController(identify);
    r.object->Close();
    return r;
}

// The protocol requests exist from Windows 10 on; the simulation answers them everywhere.
bool HasW10Requests() {
    return IsWin10OrLater() || std::strcmp(Storage().Name(), "sim") == 0;
}

CandidateResult<clNvme> MakeW10(const CandidateContext& ctx, MutableByteView identify,
                                InterfacePtr<clNtScsi>&) {
    if (!HasW10Requests()) return {};
    return Identified(AdoptInterface<clNvme>(new clW10Nvme(ctx.path)), identify);
}

CandidateResult<clNvme> MakeIrst(const CandidateContext& ctx, MutableByteView identify,
                                 InterfacePtr<clNtScsi>&) {
    if (!ctx.address) return {};
    return Identified(AdoptInterface<clNvme>(new clWinNvmeIrst(*ctx.address)), identify);
}

} // namespace

void RegisterPlatformCommandInterfaces() {
    SetAtaCandidateFactory(AtaCandidate::kWinSmart, MakeNtAta<clWinSmartAta>);
    SetAtaCandidateFactory(AtaCandidate::kWinPassThrough, MakeNtAta<clWinPassThroughAta>);
    SetAtaCandidateFactory(AtaCandidate::kNtScsiAta, MakeNtScsiAta);
    SetNvmeCandidateFactory(NvmeCandidate::kW10, MakeW10);
    SetNvmeCandidateFactory(NvmeCandidate::kWinIrst, MakeIrst);
}

} // namespace tvd
