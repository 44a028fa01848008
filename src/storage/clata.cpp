#include "storage/clata.h"

#include <algorithm>
#include <cstring>

#include "storage/ataidentifyutil.h"

namespace tvd {

namespace {

constexpr std::uint8_t kCmdIdentify = 0xEC;
constexpr std::uint8_t kCmdSmart = 0xB0;
constexpr std::uint8_t kCmdSecuritySetPassword = 0xF1;
constexpr std::uint8_t kCmdSecurityErasePrepare = 0xF3;
constexpr std::uint8_t kCmdSecurityEraseUnit = 0xF4;

constexpr std::uint8_t kSmartReadData = 0xD0;
constexpr std::uint8_t kSmartReadThresholds = 0xD1;
constexpr std::uint8_t kSmartExecuteOffline = 0xD4;
constexpr std::uint8_t kSmartReadLog = 0xD5;
constexpr std::uint8_t kSmartReturnStatus = 0xDA;

// The data sector of the security commands: control word 1, then the password at bytes 2-33.
std::array<std::uint8_t, kAtaSectorSize> SecuritySector(const std::uint8_t (&password)[32]) {
    std::array<std::uint8_t, kAtaSectorSize> sector{};
    StoreLe<std::uint16_t>(sector, 0, 0x0001);
    std::memcpy(sector.data() + 2, password, sizeof password);
    return sector;
}

// Restores the command time-out when the scope ends.
class TimeoutScope {
public:
    TimeoutScope(clAta& ata, std::uint32_t seconds) : ata_(ata), saved_(ata.CommandTimeout(0)) {
        ata_.SetCommandTimeout(seconds);
    }
    ~TimeoutScope() { ata_.SetCommandTimeout(saved_); }
    TimeoutScope(const TimeoutScope&) = delete;
    TimeoutScope& operator=(const TimeoutScope&) = delete;

private:
    clAta& ata_;
    std::uint32_t saved_;
};

bool CopyText(ByteView id, std::string (*field)(ByteView), std::string& out) {
    if (id.empty()) return false;
    out = field(id);
    return true;
}

} // namespace

AtaRegisters clAta::SmartRegisters(std::uint8_t feature) const {
    AtaRegisters r;
    r.features = feature;
    r.lbaMid = 0x4F;
    r.lbaHigh = 0xC2;
    r.device = device_;
    r.command = kCmdSmart;
    return r;
}

bool clAta::Identify(MutableByteView buffer) {
    if (buffer.size() < kAtaIdentifySize) return false;
    AtaRegisters r;
    r.device = device_;
    r.command = kCmdIdentify;
    return ExecDataIn(r, buffer.first(kAtaIdentifySize));
}

std::uint16_t clAta::SmartReturnStatus() {
    AtaRegisters result;
    if (!ExecNonData(SmartRegisters(kSmartReturnStatus), &result)) return 0;
    return static_cast<std::uint16_t>((result.lbaMid << 8) | result.lbaHigh);
}

bool clAta::SmartReadThresholds(MutableByteView buffer) {
    if (buffer.size() < kAtaSectorSize) return false;
    return ExecDataIn(SmartRegisters(kSmartReadThresholds), buffer.first(kAtaSectorSize));
}

bool clAta::SmartReadData(MutableByteView buffer) {
    if (buffer.size() < kAtaSectorSize) return false;
    return ExecDataIn(SmartRegisters(kSmartReadData), buffer.first(kAtaSectorSize));
}

bool clAta::SmartExecuteOffline(std::uint8_t subcommand) {
    AtaRegisters r = SmartRegisters(kSmartExecuteOffline);
    r.lbaLow = subcommand;
    return ExecNonData(r, nullptr);
}

bool clAta::SmartReadLog(MutableByteView buffer, std::uint8_t logAddress) {
    if (buffer.size() < kAtaSectorSize) return false;
    AtaRegisters r = SmartRegisters(kSmartReadLog);
    r.sectorCount = 1;
    r.lbaLow = logAddress;
    return ExecDataIn(r, buffer.first(kAtaSectorSize));
}

ByteView clAta::GetIdentify() {
    if (!identify_) {
        auto buffer = std::make_unique<std::uint8_t[]>(kAtaIdentifySize);
        const MutableByteView view(buffer.get(), kAtaIdentifySize);
        const bool ok = Identify(view) && ataid::IsValid(view);
        Close();
        if (!ok) return {};
        identify_ = std::move(buffer);
    }
    return ByteView(identify_.get(), kAtaIdentifySize);
}

bool clAta::GetModel(std::string& out) {
    return CopyText(GetIdentify(), ataid::Model, out);
}
bool clAta::GetSerial(std::string& out) {
    return CopyText(GetIdentify(), ataid::Serial, out);
}
bool clAta::GetFirmware(std::string& out) {
    return CopyText(GetIdentify(), ataid::Firmware, out);
}

bool clAta::GetWwn(std::uint8_t (&wwn)[8]) {
    const ByteView id = GetIdentify();
    return !id.empty() && ataid::Wwn(id, wwn);
}

// The security commands address this interface's device (a bridge's second drive is 0xB0), so
// they never reach a drive other than the one identified.
bool clAta::SecuritySetPassword(const std::uint8_t (&password)[32]) {
    const auto sector = SecuritySector(password);
    AtaRegisters r;
    r.device = device_;
    r.command = kCmdSecuritySetPassword;
    // One sector: SAT takes the transfer length from the count, where 0 would move nothing.
    r.sectorCount = 1;
    return ExecDataOut(r, sector);
}

bool clAta::SecurityEraseUnit(const std::uint8_t (&password)[32]) {
    // Read before the prepare: GetIdentify may close the device between the two commands.
    const ByteView id = GetIdentify();
    const std::uint32_t eraseTimeout = ataid::SecurityEraseTimeoutSeconds(id, false);

    AtaRegisters prepare;
    prepare.device = device_;
    prepare.command = kCmdSecurityErasePrepare;
    ExecNonData(prepare, nullptr);

    const auto sector = SecuritySector(password);
    AtaRegisters erase;
    erase.device = device_;
    erase.command = kCmdSecurityEraseUnit;
    erase.sectorCount = 1;
    const TimeoutScope scope(*this, eraseTimeout);
    return ExecDataOut(erase, sector);
}

} // namespace tvd
