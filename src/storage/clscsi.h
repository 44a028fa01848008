// The SCSI command interface (CDBs through the platform's pass-through) and the few commands
// the engine builds: INQUIRY, READ CAPACITY (10)/(16), SANITIZE and the SCSI/ATA Translation
// ATA PASS-THROUGH (12)/(16).
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/bytesutil.h"
#include "foundation/clzoltitem.h"
#include "storage/commandtypes.h"
#include "storage/devicechoice.h"
#include "storage/storageplatform.h"

namespace tvd {

class clScsi {
public:
    TVD_ISA_ROOT(clScsi)

    clScsi() = default;
    clScsi(const clScsi&) = delete;
    clScsi& operator=(const clScsi&) = delete;
    virtual ~clScsi() = default;

    virtual void Open() {}
    virtual void Close() {}
    // True when the platform request succeeded; the SCSI status byte (0 GOOD) is handed back
    // separately. For data commands `length` is updated to the bytes actually transferred.
    virtual bool ExecNonData(ByteView cdb, std::uint8_t* status) {
        (void)cdb;
        (void)status;
        return false;
    }
    virtual bool ExecDataIn(ByteView cdb, MutableByteView buffer, std::uint32_t& length,
                            std::uint8_t* status) {
        (void)cdb;
        (void)buffer;
        (void)length;
        (void)status;
        return false;
    }
    virtual bool ExecDataOut(ByteView cdb, ByteView buffer, std::uint32_t& length,
                             std::uint8_t* status) {
        (void)cdb;
        (void)buffer;
        (void)length;
        (void)status;
        return false;
    }
    // The sense data of the last command, when the path returns it (empty otherwise).
    virtual ByteView LastSense() const { return {}; }

    std::uint8_t pathId = 0, targetId = 0, lun = 0;
};

// SCSI on a disk path through the back end's ScsiCommand (SG_IO, IOCTL_SCSI_PASS_THROUGH, the
// simulation). Opens the path on the first command; the owner closes it.
class clNtScsi : public clScsi {
public:
    TVD_ISA(clNtScsi, clScsi)

    explicit clNtScsi(std::string path) : path_(std::move(path)) {}
    ~clNtScsi() override { Close(); }

    void Open() override;
    void Close() override;
    bool ExecNonData(ByteView cdb, std::uint8_t* status) override;
    bool ExecDataIn(ByteView cdb, MutableByteView buffer, std::uint32_t& length,
                    std::uint8_t* status) override;
    bool ExecDataOut(ByteView cdb, ByteView buffer, std::uint32_t& length,
                     std::uint8_t* status) override;
    ByteView LastSense() const override { return ByteView(sense_, senseLength_); }

    const std::string& Path() const noexcept { return path_; }
    bool IsOpen() const noexcept { return handle_.IsOpen(); }
    // The error of the last failed request (0 after a success).
    ErrorCode LastError() const noexcept { return lastError_; }
    void SetTimeout(std::uint32_t seconds) noexcept { timeout_ = seconds; }

    std::uint32_t portNumber = 0;
    bool viaHook = false;

private:
    bool Exec(ByteView cdb, DataDirection dir, MutableByteView data, std::uint32_t* length,
              std::uint8_t* status);

    std::string path_;
    DeviceHandle handle_;
    ErrorCode lastError_ = err::kSuccess;
    std::uint32_t timeout_ = 10;
    std::uint8_t sense_[kScsiSenseSize] = {};
    std::uint8_t senseLength_ = 0;
};

// The command builders. All return false on any failure and leave the caller's buffer
// unspecified.
namespace scsicmd {
// INQUIRY: success when the request succeeds (a short answer is fine); `length` in: buffer
// size (at most 255 asked), out: bytes transferred.
bool Inquiry(clScsi* scsi, MutableByteView buffer, std::uint32_t& length);
// READ CAPACITY (10)/(16): success needs GOOD status and the full answer.
bool ReadCapacity10(clScsi* scsi, std::uint32_t& lastLba, std::uint32_t& blockLength);
bool ReadCapacity16(clScsi* scsi, std::uint64_t& lastLba, std::uint32_t& blockLength);
// SANITIZE with the service action byte (high bits included) and optional parameters;
// success needs GOOD status.
bool Sanitize(clScsi* scsi, std::uint8_t serviceAction, ByteView parameters);
// ATA PASS-THROUGH (12) with the register block of the ATA layer. Success: request succeeds,
// status GOOD and (data commands) every byte transferred.
bool AtaPassThrough12NonData(clScsi* scsi, const AtaRegisters& regs);
bool AtaPassThrough12In(clScsi* scsi, const AtaRegisters& regs, MutableByteView data);
bool AtaPassThrough12Out(clScsi* scsi, const AtaRegisters& regs, ByteView data);
// ATA PASS-THROUGH (16) non-data with CK_COND set: the device returns the result registers in
// the ATA Return descriptor of its sense data (libata does). False when no descriptor came.
bool AtaPassThrough16NonDataResult(clScsi* scsi, const AtaRegisters& regs, AtaRegisters& result);
// READ / WRITE SECTORS EXT through ATA PASS-THROUGH (16), 512-byte sectors.
bool AtaReadSectors16(clScsi* scsi, std::uint64_t lba, std::uint16_t count, MutableByteView data);
bool AtaWriteSectors16(clScsi* scsi, std::uint64_t lba, std::uint16_t count, ByteView data);

// CDB encoders (pure; used by the builders above and checked byte by byte in tests).
std::vector<std::uint8_t> InquiryCdb(std::uint8_t allocationLength);
std::vector<std::uint8_t> ReadCapacity10Cdb();
std::vector<std::uint8_t> ReadCapacity16Cdb();
std::vector<std::uint8_t> SanitizeCdb(std::uint8_t serviceAction, std::uint16_t parameterLength);
std::vector<std::uint8_t> AtaPassThrough12Cdb(const AtaRegisters& regs, DataDirection dir);
std::vector<std::uint8_t> AtaPassThrough16Cdb(const AtaRegisters& regs, DataDirection dir,
                                              bool checkCondition);
std::vector<std::uint8_t> AtaSectors16Cdb(bool write, std::uint64_t lba, std::uint16_t count);
// The ATA Return descriptor (type 0x09) of descriptor-format sense data; false when absent.
bool AtaReturnFromSense(ByteView sense, AtaRegisters& result);
} // namespace scsicmd

// Identity of INQUIRY data, read only from the bytes actually transferred: vendor (8-15),
// product (16-31), revision (32-35), trailing spaces and tabs removed; empty when absent.
struct ScsiIdentity {
    std::string vendor, product, revision;
    std::uint8_t peripheralType = 0x1F; // byte 0 bits 0-4
    // "vendor product" (at most 29 characters), or whichever is present; empty when none.
    std::string ModelText() const;
};
ScsiIdentity DecodeInquiry(ByteView transferred);

// The record the functional disk keeps for every disk.
struct ScsiDiskInfo {
    InterfacePtr<clNtScsi> scsi;
    std::uint8_t inquiry[128] = {};
    std::uint32_t inquiryLength = 0;
    bool capacity10 = false; // READ CAPACITY (10) answered
    bool capacity16 = false; // READ CAPACITY (16) was used
    std::uint64_t lastLba = 0;
    std::uint32_t blockLength = 0;

    // (last LBA + 1) x block length; 0 when unknown or when it would not fit 64 bits.
    std::uint64_t CapacityBytes() const;
};
// Fills the record over `scsi` (taken over only on success, and closed).
bool FillScsiDiskInfo(ScsiDiskInfo& info, InterfacePtr<clNtScsi> scsi);
// READ CAPACITY (16), else (10): capacity in bytes; 0 on failure or overflow.
std::uint64_t ScsiCapacityBytes(clScsi* scsi);

} // namespace tvd
