#include "storage/clsatata.h"

#include "storage/satatautil.h"

namespace tvd {

namespace {
constexpr std::uint8_t kSmartReadData = 0xD0, kSmartReadThresholds = 0xD1;
} // namespace

void clSatAta::Open() {
    if (transport_) transport_->Open();
}

void clSatAta::Close() {
    if (transport_) transport_->Close();
}

bool clSatAta::ExecNonData(const AtaRegisters& regs, AtaRegisters* result) {
    if (result == nullptr) return satata::ExecNonData(Transport(), regs);
    if (!transport_) return false;
    transport_->Open();
    return scsicmd::AtaPassThrough16NonDataResult(Transport(), regs, *result);
}

bool clSatAta::ExecDataIn(const AtaRegisters& regs, MutableByteView data) {
    return satata::ExecDataIn(Transport(), regs, data);
}

bool clSatAta::ExecDataOut(const AtaRegisters& regs, ByteView data) {
    return satata::ExecDataOut(Transport(), regs, data);
}

bool clSatAta::Identify(MutableByteView buffer) {
    return satata::Identify(Transport(), Device(), buffer);
}

bool clSatAta::SmartReadThresholds(MutableByteView buffer) {
    return satata::SmartRead(Transport(), kSmartReadThresholds, buffer);
}

bool clSatAta::SmartReadData(MutableByteView buffer) {
    return satata::SmartRead(Transport(), kSmartReadData, buffer);
}

bool clSatAta::ReadSectors(std::uint64_t lba, std::uint32_t count, MutableByteView buffer) {
    return satata::ReadSectors(Transport(), lba, count, buffer);
}

bool clSatAta::WriteSectors(std::uint64_t lba, std::uint32_t count, ByteView buffer) {
    return satata::WriteSectors(Transport(), lba, count, buffer);
}

} // namespace tvd
