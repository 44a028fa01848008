#include "smart/clsmartata.h"

#include <utility>

#include "smart/smartlangutil.h"
#include "storage/clata.h"

namespace tvd {

clSmart::clSmart(clDisk* disk, int capacity) noexcept : disk_(disk) {
    attributes_.capacity = capacity < 0                     ? 0
                           : capacity > kSmartMaxAttributes ? kSmartMaxAttributes
                                                            : capacity;
}

clSmartAta::clSmartAta(clDisk* disk, InterfacePtr<clAta> ata) noexcept
    : clSmart(disk, kSmartAtaCapacity), ata_(std::move(ata)) {}

clSmartAta::~clSmartAta() = default;

void clSmartAta::Close() {
    if (ata_) ata_->Close();
}

ByteView clSmartAta::GetIdentifyData() {
    return AtaIdentifyOf(ata_.get());
}

bool clSmartAta::GetModel(std::string* out) {
    if (!haveModel_) haveModel_ = ata_ && ata_->GetModel(model_);
    if (haveModel_ && out) *out = model_;
    return haveModel_;
}

bool clSmartAta::GetSerial(std::string* out) {
    std::string serial;
    if (!ata_ || !ata_->GetSerial(serial)) return false;
    if (out) *out = std::move(serial);
    return true;
}

bool clSmartAta::GetFirmware(std::string* out) {
    if (!haveFirmware_) haveFirmware_ = ata_ && ata_->GetFirmware(firmware_);
    if (haveFirmware_ && out) *out = firmware_;
    return haveFirmware_;
}

std::vector<std::uint8_t> clSmartAta::ReadRaw() {
    std::vector<std::uint8_t> page(kSmartPageSize, 0);
    if (!ata_ || !ata_->SmartReadData(page)) return {};
    return page;
}

bool clSmartAta::Refresh() {
    const std::vector<std::uint8_t> page = ReadRaw();
    return !page.empty() && ParseData(page);
}

void clSmartAta::UpdateStatus() {
    const int count = attributes_.count;
    for (int i = 0; i < count && i < kSmartMaxAttributes; ++i) {
        SmartAttribute& entry = attributes_.entries[i];
        if (entry.threshold != 0 && IsCriticalAttribute(entry.id))
            entry.status = RateSmartAttribute(entry);
    }
    status_ = WorstSmartStatus(attributes_);
}

std::u16string clSmartAta::GetAttributeName(std::uint8_t id) {
    if (auto name = SmartAttributeName(Profile().nameSection, id)) return *name;
    return SmartUnnamedAttributeText().value_or(std::u16string{});
}

bool clSmartAta::IsCriticalAttribute(std::uint8_t id) {
    return (id >= 1 && id <= 13) || (id >= 187 && id <= 189) || (id >= 191 && id <= 193) ||
           (id >= 195 && id <= 209) || id == 211 || id == 212 || (id >= 220 && id <= 228) ||
           id == 230 || id == 231 || id == 240 || id == 250 || id == 254;
}

} // namespace tvd
