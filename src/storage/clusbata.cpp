#include "storage/clusbata.h"

#include <limits>

namespace tvd {

namespace {

constexpr std::uint8_t kCmdIdentify = 0xEC;
constexpr std::uint8_t kCmdSmart = 0xB0;
constexpr std::uint8_t kSmartReadData = 0xD0, kSmartReadThresholds = 0xD1;
constexpr std::uint8_t kSmartDevice = 0xE0;
constexpr std::uint64_t kLba48Limit = std::uint64_t{1} << 48;

// One 512-byte sector in; the translation takes its length from the sector count.
AtaRegisters OneSectorSmart(std::uint8_t feature) {
    AtaRegisters r;
    r.features = feature;
    r.sectorCount = 1;
    r.lbaMid = 0x4F;
    r.lbaHigh = 0xC2;
    r.device = kSmartDevice;
    r.command = kCmdSmart;
    return r;
}

// A sector range that READ/WRITE SECTORS EXT can address in one command.
bool SectorRangeOk(std::uint64_t lba, std::uint32_t count, std::size_t bufferSize) {
    return count != 0 && count <= std::numeric_limits<std::uint16_t>::max() && lba < kLba48Limit &&
           count <= kLba48Limit - lba && bufferSize / kAtaSectorSize >= count;
}

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
    Open();
    return scsicmd::AtaPassThrough12NonData(Transport(), regs);
}

bool clSatUsbAta::ExecDataIn(const AtaRegisters& regs, MutableByteView data) {
    Open();
    return scsicmd::AtaPassThrough12In(Transport(), regs, data);
}

bool clSatUsbAta::ExecDataOut(const AtaRegisters& regs, ByteView data) {
    Open();
    return scsicmd::AtaPassThrough12Out(Transport(), regs, data);
}

bool clSatUsbAta::Identify(MutableByteView buffer) {
    if (buffer.size() < kAtaIdentifySize) return false;
    AtaRegisters r;
    r.sectorCount = 1;
    r.device = Device();
    r.command = kCmdIdentify;
    return ExecDataIn(r, buffer.first(kAtaIdentifySize));
}

bool clSatUsbAta::SmartReadThresholds(MutableByteView buffer) {
    if (buffer.size() < kAtaSectorSize) return false;
    return ExecDataIn(OneSectorSmart(kSmartReadThresholds), buffer.first(kAtaSectorSize));
}

bool clSatUsbAta::SmartReadData(MutableByteView buffer) {
    if (buffer.size() < kAtaSectorSize) return false;
    return ExecDataIn(OneSectorSmart(kSmartReadData), buffer.first(kAtaSectorSize));
}

bool clSatUsbAta::ReadSectors(std::uint64_t lba, std::uint32_t count, MutableByteView buffer) {
    if (!SectorRangeOk(lba, count, buffer.size())) return false;
    Open();
    return scsicmd::AtaReadSectors16(Transport(), lba, static_cast<std::uint16_t>(count), buffer);
}

bool clSatUsbAta::WriteSectors(std::uint64_t lba, std::uint32_t count, ByteView buffer) {
    if (!SectorRangeOk(lba, count, buffer.size())) return false;
    Open();
    return scsicmd::AtaWriteSectors16(Transport(), lba, static_cast<std::uint16_t>(count), buffer);
}

bool clSatAta::ExecNonData(const AtaRegisters& regs, AtaRegisters* result) {
    if (result == nullptr) return clSatUsbAta::ExecNonData(regs, nullptr);
    Open();
    return scsicmd::AtaPassThrough16NonDataResult(Transport(), regs, *result);
}

} // namespace tvd
