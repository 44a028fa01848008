#include "storage/clusbata.h"

#include "storage/satatautil.h"

namespace tvd {

namespace {
constexpr std::uint8_t kSmartReadData = 0xD0, kSmartReadThresholds = 0xD1;
} // namespace

void clUsbAta::Open() {
    if (transport_) transport_->Open();
}

void clUsbAta::Close() {
    if (transport_) transport_->Close();
}

bool clSatUsbAta::ExecNonData(const AtaRegisters& regs, AtaRegisters* result) {
    // ATA PASS-THROUGH (12) returns no registers here.
    if (result != nullptr) return false;
    return satata::ExecNonData(Transport(), regs);
}

bool clSatUsbAta::ExecDataIn(const AtaRegisters& regs, MutableByteView data) {
    return satata::ExecDataIn(Transport(), regs, data);
}

bool clSatUsbAta::ExecDataOut(const AtaRegisters& regs, ByteView data) {
    return satata::ExecDataOut(Transport(), regs, data);
}

bool clSatUsbAta::Identify(MutableByteView buffer) {
    return satata::Identify(Transport(), Device(), buffer);
}

bool clSatUsbAta::SmartReadThresholds(MutableByteView buffer) {
    return satata::SmartRead(Transport(), kSmartReadThresholds, buffer);
}

bool clSatUsbAta::SmartReadData(MutableByteView buffer) {
    return satata::SmartRead(Transport(), kSmartReadData, buffer);
}

bool clSatUsbAta::ReadSectors(std::uint64_t lba, std::uint32_t count, MutableByteView buffer) {
    return satata::ReadSectors(Transport(), lba, count, buffer);
}

bool clSatUsbAta::WriteSectors(std::uint64_t lba, std::uint32_t count, ByteView buffer) {
    return satata::WriteSectors(Transport(), lba, count, buffer);
}

} // namespace tvd
