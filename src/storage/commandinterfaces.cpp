#include "storage/commandinterfaces.h"

#include "storage/clscsi.h"
#include "storage/usbbridgeutil.h"
#include "storage/devicechoice.h"

namespace tvd {

namespace {

CandidateResult<clNtScsi> MakeNtScsi(const CandidateContext& ctx) {
    CandidateResult<clNtScsi> r;
    r.object = AdoptInterface<clNtScsi>(new clNtScsi(ctx.path));
    if (ctx.address) {
        r.object->portNumber = ctx.address->portNumber;
        r.object->pathId = ctx.address->pathId;
        r.object->targetId = ctx.address->targetId;
        r.object->lun = ctx.address->lun;
    }
    r.object->Open();
    r.valid = r.object->IsOpen();
    return r;
}

CandidateResult<clAta> MakeUsbBridge(const CandidateContext& ctx) {
    CandidateResult<clAta> r;
    r.object = OpenUsbAtaInterface(ctx.disk);
    r.valid = r.object != nullptr;
    return r;
}

} // namespace

void RegisterCommandInterfaces() {
    // Setting a factory replaces the previous one, so a repeated call leaves the same table
    // (and one after ClearCandidateFactories restores it).
    SetScsiCandidateFactory(ScsiCandidate::kNtScsi, MakeNtScsi);
    SetAtaCandidateFactory(AtaCandidate::kUsbBridge, MakeUsbBridge);
    SetNvmeCandidateFactory(NvmeCandidate::kUsbAsmedia, MakeAsmediaUsbNvme);
    SetNvmeCandidateFactory(NvmeCandidate::kUsbJmicron, MakeJmicronUsbNvme);
    RegisterPlatformCommandInterfaces();
}

} // namespace tvd
