#include "storage/satatautil.h"

#include <limits>

#include "storage/clscsi.h"

namespace tvd::satata {

namespace {

constexpr std::uint8_t kCmdIdentify = 0xEC;
constexpr std::uint8_t kCmdSmart = 0xB0;
constexpr std::uint8_t kSmartDevice = 0xE0;
constexpr std::uint64_t kLba48Limit = std::uint64_t{1} << 48;

// A sector range that READ/WRITE SECTORS EXT can address in one command.
bool SectorRangeOk(std::uint64_t lba, std::uint32_t count, std::size_t bufferSize) {
    return count != 0 && count <= std::numeric_limits<std::uint16_t>::max() && lba < kLba48Limit &&
           count <= kLba48Limit - lba && bufferSize / kAtaSectorSize >= count;
}

} // namespace

bool ExecNonData(clScsi* transport, const AtaRegisters& regs) {
    if (!transport) return false;
    transport->Open();
    return scsicmd::AtaPassThrough12NonData(transport, regs);
}

bool ExecDataIn(clScsi* transport, const AtaRegisters& regs, MutableByteView data) {
    if (!transport) return false;
    transport->Open();
    return scsicmd::AtaPassThrough12In(transport, regs, data);
}

bool ExecDataOut(clScsi* transport, const AtaRegisters& regs, ByteView data) {
    if (!transport) return false;
    transport->Open();
    return scsicmd::AtaPassThrough12Out(transport, regs, data);
}

bool Identify(clScsi* transport, std::uint8_t device, MutableByteView buffer) {
    if (buffer.size() < kAtaIdentifySize) return false;
    AtaRegisters r;
    // The translation takes the transfer length from the sector count.
    r.sectorCount = 1;
    r.device = device;
    r.command = kCmdIdentify;
    return ExecDataIn(transport, r, buffer.first(kAtaIdentifySize));
}

bool SmartRead(clScsi* transport, std::uint8_t feature, MutableByteView buffer) {
    if (buffer.size() < kAtaSectorSize) return false;
    AtaRegisters r;
    r.features = feature;
    r.sectorCount = 1;
    r.lbaMid = 0x4F;
    r.lbaHigh = 0xC2;
    r.device = kSmartDevice;
    r.command = kCmdSmart;
    return ExecDataIn(transport, r, buffer.first(kAtaSectorSize));
}

bool ReadSectors(clScsi* transport, std::uint64_t lba, std::uint32_t count,
                 MutableByteView buffer) {
    if (!transport || !SectorRangeOk(lba, count, buffer.size())) return false;
    transport->Open();
    return scsicmd::AtaReadSectors16(transport, lba, static_cast<std::uint16_t>(count), buffer);
}

bool WriteSectors(clScsi* transport, std::uint64_t lba, std::uint32_t count, ByteView buffer) {
    if (!transport || !SectorRangeOk(lba, count, buffer.size())) return false;
    transport->Open();
    return scsicmd::AtaWriteSectors16(transport, lba, static_cast<std::uint16_t>(count), buffer);
}

} // namespace tvd::satata
