// The ATA command interface: 28-bit commands described by an 8-byte register block, sent by
// one implementation per platform path, and the drive operations built on them (IDENTIFY DEVICE,
// the SMART commands, security set-password and erase, sector access where a bridge allows).
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/bytesutil.h"
#include "foundation/clzoltitem.h"
#include "storage/commandtypes.h"

namespace tvd {

class clAta {
public:
    TVD_ISA_ROOT(clAta)

    clAta() = default;
    clAta(const clAta&) = delete;
    clAta& operator=(const clAta&) = delete;
    virtual ~clAta() = default;

    virtual void Open() {}
    virtual void Close() {}
    // `result` (optional) receives the returned registers.
    virtual bool ExecNonData(const AtaRegisters& regs, AtaRegisters* result) {
        (void)regs;
        (void)result;
        return false;
    }
    virtual bool ExecDataIn(const AtaRegisters& regs, MutableByteView data) {
        (void)regs;
        (void)data;
        return false;
    }
    virtual bool ExecDataOut(const AtaRegisters& regs, ByteView data) {
        (void)regs;
        (void)data;
        return false;
    }
    // IDENTIFY DEVICE into a 512-byte buffer (nothing sent for an empty or short buffer).
    virtual bool Identify(MutableByteView buffer);
    // (returned LBA mid << 8) | returned LBA high; 0 when the request fails.
    virtual std::uint16_t SmartReturnStatus();
    virtual bool SmartReadThresholds(MutableByteView buffer);
    virtual bool SmartReadData(MutableByteView buffer);
    virtual bool SmartExecuteOffline(std::uint8_t subcommand);
    virtual bool SmartReadLog(MutableByteView buffer, std::uint8_t logAddress);
    virtual bool ReadSectors(std::uint64_t lba, std::uint32_t count, MutableByteView buffer) {
        (void)lba;
        (void)count;
        (void)buffer;
        return false;
    }
    virtual bool WriteSectors(std::uint64_t lba, std::uint32_t count, ByteView buffer) {
        (void)lba;
        (void)count;
        (void)buffer;
        return false;
    }

    // Cached, validated IDENTIFY DEVICE data (512 bytes); empty when there is none. The first
    // use runs Identify and then Close; a failed attempt is retried on the next call.
    ByteView GetIdentify();
    // Texts of the IDENTIFY data (40, 20 and 8 characters, untrimmed); false without data.
    bool GetModel(std::string& out);
    bool GetSerial(std::string& out);
    bool GetFirmware(std::string& out);
    // World-wide name (8 bytes); false without data or when the drive reports none.
    bool GetWwn(std::uint8_t (&wwn)[8]);

    // SECURITY SET PASSWORD (32 bytes; the sector's identifier word 0x0001 selects the master
    // password, which leaves security disabled so a failed erase cannot lock the drive).
    bool SecuritySetPassword(const std::uint8_t (&password)[32]);
    // SECURITY ERASE PREPARE, then SECURITY ERASE UNIT with the same password. The erase runs
    // with the time-out the drive's IDENTIFY data announces (with a margin), not the usual one.
    bool SecurityEraseUnit(const std::uint8_t (&password)[32]);

    std::uint8_t Device() const noexcept { return device_; }
    void SetDevice(std::uint8_t device) noexcept { device_ = device; }

    // The time-out of the next commands in seconds; 0 means the path's own default. Paths read
    // it through CommandTimeout.
    void SetCommandTimeout(std::uint32_t seconds) noexcept { timeout_ = seconds; }
    std::uint32_t CommandTimeout(std::uint32_t pathDefault) const noexcept {
        return timeout_ ? timeout_ : pathDefault;
    }

protected:
    // Builds the register block of a SMART command (command 0xB0, LBA mid/high 0x4F/0xC2).
    AtaRegisters SmartRegisters(std::uint8_t feature) const;

private:
    std::uint8_t device_ = 0xA0;
    std::uint32_t timeout_ = 0;
    std::unique_ptr<std::uint8_t[]> identify_; // kAtaIdentifySize bytes when set
};

// Null-safe forms used by callers that may hold no interface.
inline ByteView AtaIdentifyOf(clAta* ata) {
    return ata ? ata->GetIdentify() : ByteView{};
}

} // namespace tvd
