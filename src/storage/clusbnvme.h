// NVMe drives behind a USB bridge: the base that holds the SCSI transport. The vendor command
// sets live in asmusbatafun and jmusbatafun.
#pragma once
#include "storage/clnvme.h"
#include "storage/clscsi.h"
#include "storage/devicechoice.h"

namespace tvd {

class clUsbNvme : public clNvme {
public:
    TVD_ISA(clUsbNvme, clNvme)

    explicit clUsbNvme(InterfacePtr<clNtScsi> transport) : transport_(std::move(transport)) {}
    void Open() override {
        if (transport_) transport_->Open();
    }
    void Close() override {
        if (transport_) transport_->Close();
    }
    clNtScsi* Transport() const noexcept { return transport_.get(); }
    InterfacePtr<clNtScsi> DetachTransport() noexcept { return std::move(transport_); }

private:
    InterfacePtr<clNtScsi> transport_;
};

} // namespace tvd
