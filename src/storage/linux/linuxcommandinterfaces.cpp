// The command paths of the Linux back end (and of the simulation it selects): ATA through
// SG_IO and libata's SCSI/ATA Translation, NVMe through the admin pass-through.
#include "storage/clnvme.h"
#include "storage/clscsi.h"
#include "storage/clsatata.h"
#include "storage/commandinterfaces.h"
#include "storage/devicechoice.h"
#include "storage/nvmeidentifyutil.h"

namespace tvd {

namespace {

CandidateResult<clAta> MakeSat(const CandidateContext& ctx) {
    CandidateResult<clAta> r;
    auto scsi = AdoptInterface<clNtScsi>(new clNtScsi(ctx.path));
    if (ctx.address) {
        scsi->pathId = ctx.address->pathId;
        scsi->targetId = ctx.address->targetId;
        scsi->lun = ctx.address->lun;
    }
    r.object = AdoptInterface<clAta>(new clSatAta(std::move(scsi)));
    r.valid = !r.object->GetIdentify().empty();
    return r;
}

CandidateResult<clNvme> MakePlatformNvme(const CandidateContext& ctx, MutableByteView identify,
                                         InterfacePtr<clNtScsi>&) {
    CandidateResult<clNvme> r;
    r.object = AdoptInterface<clNvme>(new clPlatformNvme(ctx.path));
    r.valid = r.object->IdentifyNvme(0, 1, identify) && nvmeid::ControllerValid(identify);
    if (r.valid) r.object->SetController(identify);
    r.object->Close();
    return r;
}

} // namespace

void RegisterPlatformCommandInterfaces() {
    SetAtaCandidateFactory(AtaCandidate::kSat, MakeSat);
    SetNvmeCandidateFactory(NvmeCandidate::kPlatform, MakePlatformNvme);
}

} // namespace tvd
