// The NVMe SMART object: the SMART / health information log (log page 2) presented as fifteen
// numbered pseudo attributes, and the evaluators over them.
#pragma once
#include <cstdint>

#include "smart/clsmartata.h"

namespace tvd {

class clNvme;

inline constexpr std::uint8_t kNvmeHealthLogId = 2;
inline constexpr std::size_t kNvmeHealthLogSize = 512;

class clSmartNvme : public clSmart {
public:
    TVD_ISA(clSmartNvme, clSmart)

    clSmartNvme(clDisk* disk, InterfacePtr<clNvme> nvme) noexcept;
    ~clSmartNvme() override;

    void Close() override;
    ByteView GetIdentifyData() override;
    bool GetModel(std::string* out) override;
    bool GetSerial(std::string* out) override;
    bool GetFirmware(std::string* out) override;
    // The health log (GET LOG PAGE 2, 512 bytes).
    std::vector<std::uint8_t> ReadRaw() override;
    bool Refresh() override;
    void UpdateStatus() override;
    std::u16string GetAttributeName(std::uint8_t id) override;

    clNvme* Nvme() const noexcept { return nvme_.get(); }
    // Copies a health log into the pseudo attributes; false (list unchanged) when it is shorter
    // than 512 bytes.
    bool ParseHealthLog(ByteView log);

private:
    InterfacePtr<clNvme> nvme_;
    bool haveLog_ = false; // status stays unknown until a log was read
};

// Sets the NVMe evaluators (temperature, host counters, power cycles and hours, life, health).
void AssignNvmeEvaluators(clSmartNvme& smart);

} // namespace tvd
