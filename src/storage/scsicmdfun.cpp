#include <algorithm>
#include <limits>

#include "storage/clscsi.h"

namespace tvd {

namespace {

constexpr std::uint8_t kGood = 0x00;
constexpr std::uint8_t kCheckCondition = 0x02;

// Operation codes.
constexpr std::uint8_t kOpInquiry = 0x12;
constexpr std::uint8_t kOpReadCapacity10 = 0x25;
constexpr std::uint8_t kOpServiceIn16 = 0x9E;
constexpr std::uint8_t kOpSanitize = 0x48;
constexpr std::uint8_t kOpAtaPassThrough12 = 0xA1;
constexpr std::uint8_t kOpAtaPassThrough16 = 0x85;
constexpr std::uint8_t kSaReadCapacity16 = 0x10;

// READ CAPACITY answers.
constexpr std::size_t kCapacity10Size = 8, kCapacity16Size = 32;

// ATA PASS-THROUGH byte 1 (protocol << 1 | EXTEND) and byte 2 (CK_COND, T_DIR, BYTE_BLOCK,
// T_LENGTH = sector count).
constexpr std::uint8_t kProtoNonData = 3 << 1, kProtoPioIn = 4 << 1, kProtoPioOut = 5 << 1;
constexpr std::uint8_t kExtend = 0x01;
constexpr std::uint8_t kToHost = 0x0E, kToDevice = 0x06, kCheckCond = 0x20;

constexpr std::uint8_t kAtaReadSectorsExt = 0x24, kAtaWriteSectorsExt = 0x34;
constexpr std::uint8_t kAtaDeviceLba = 0xE0;
constexpr std::uint8_t kAtaStatusErr = 0x01, kAtaStatusDf = 0x20;

// The ATA Status Return descriptor of descriptor-format sense data.
namespace ataret {
constexpr std::uint8_t kCode = 0x09;
constexpr std::size_t kSize = 14;
constexpr std::size_t kError = 3, kCount = 5, kLbaLow = 7, kLbaMid = 9, kLbaHigh = 11, kDevice = 12,
                      kStatus = 13;
static_assert(kStatus < kSize);
} // namespace ataret

// The registers of fixed-format sense data after ATA PASS-THROUGH (INFORMATION and
// COMMAND-SPECIFIC INFORMATION fields), valid with ASC/ASCQ 00h/1Dh.
namespace atafixed {
constexpr std::size_t kError = 3, kStatus = 4, kDevice = 5, kCount = 6, kLbaLow = 9, kLbaMid = 10,
                      kLbaHigh = 11, kAsc = 12, kAscq = 13;
constexpr std::uint8_t kInfoAvailableAsc = 0x00, kInfoAvailableAscq = 0x1D;
} // namespace atafixed

// INQUIRY identity fields.
constexpr std::size_t kVendorOff = 8, kVendorLen = 8, kProductOff = 16, kProductLen = 16,
                      kRevisionOff = 32, kRevisionLen = 4;
constexpr std::size_t kModelTextMax = 29;

bool Good(bool ok, std::uint8_t status) {
    return ok && status == kGood;
}

// A data-in command that must fill the whole buffer with GOOD status.
bool DataInFull(clScsi* scsi, ByteView cdb, MutableByteView data) {
    if (scsi == nullptr || data.empty() || data.size() > std::numeric_limits<std::uint32_t>::max())
        return false;
    std::uint32_t length = static_cast<std::uint32_t>(data.size());
    std::uint8_t status = 0xFF;
    const bool ok = scsi->ExecDataIn(cdb, data, length, &status);
    return Good(ok, status) && length == data.size();
}

bool DataOutFull(clScsi* scsi, ByteView cdb, ByteView data) {
    if (scsi == nullptr || data.empty() || data.size() > std::numeric_limits<std::uint32_t>::max())
        return false;
    std::uint32_t length = static_cast<std::uint32_t>(data.size());
    std::uint8_t status = 0xFF;
    const bool ok = scsi->ExecDataOut(cdb, data, length, &status);
    return Good(ok, status) && length == data.size();
}

// Non-data commands name no transfer length: a conforming translator rejects one.
std::uint8_t PassThroughDirection(DataDirection dir) {
    switch (dir) {
    case DataDirection::kIn:
        return kToHost;
    case DataDirection::kOut:
        return kToDevice;
    case DataDirection::kNone:
        break;
    }
    return 0;
}

std::uint8_t PassThroughProtocol(DataDirection dir) {
    switch (dir) {
    case DataDirection::kIn:
        return kProtoPioIn;
    case DataDirection::kOut:
        return kProtoPioOut;
    case DataDirection::kNone:
        break;
    }
    return kProtoNonData;
}

// An identity field: the bytes up to the first NUL, without trailing spaces and tabs; empty
// when the field was not transferred in full.
std::string Field(ByteView data, std::size_t off, std::size_t len) {
    if (!InBounds(data.size(), off, len)) return {};
    std::string s;
    for (std::size_t i = 0; i < len && data[off + i] != 0; ++i)
        s.push_back(static_cast<char>(data[off + i]));
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.pop_back();
    return s;
}

// (last LBA + 1) x block length, 0 when unknown or past 64 bits.
std::uint64_t Capacity(std::uint64_t lastLba, std::uint32_t blockLength) {
    if (blockLength == 0 || lastLba == std::numeric_limits<std::uint64_t>::max()) return 0;
    const std::uint64_t blocks = lastLba + 1;
    if (blocks > std::numeric_limits<std::uint64_t>::max() / blockLength) return 0;
    return blocks * blockLength;
}

} // namespace

namespace scsicmd {

std::vector<std::uint8_t> InquiryCdb(std::uint8_t allocationLength) {
    return {kOpInquiry, 0, 0, 0, allocationLength, 0};
}

std::vector<std::uint8_t> ReadCapacity10Cdb() {
    std::vector<std::uint8_t> cdb(10, 0);
    cdb[0] = kOpReadCapacity10;
    return cdb;
}

std::vector<std::uint8_t> ReadCapacity16Cdb() {
    std::vector<std::uint8_t> cdb(16, 0);
    cdb[0] = kOpServiceIn16;
    cdb[1] = kSaReadCapacity16;
    StoreBe<std::uint32_t>(cdb, 10, kCapacity16Size);
    return cdb;
}

std::vector<std::uint8_t> SanitizeCdb(std::uint8_t serviceAction, std::uint16_t parameterLength) {
    std::vector<std::uint8_t> cdb(10, 0);
    cdb[0] = kOpSanitize;
    cdb[1] = serviceAction;
    StoreBe<std::uint16_t>(cdb, 7, parameterLength);
    return cdb;
}

// The sector count goes to the device for every protocol: non-data commands such as SET
// FEATURES carry their argument in it.
std::vector<std::uint8_t> AtaPassThrough12Cdb(const AtaRegisters& regs, DataDirection dir) {
    return {kOpAtaPassThrough12,
            PassThroughProtocol(dir),
            PassThroughDirection(dir),
            regs.features,
            regs.sectorCount,
            regs.lbaLow,
            regs.lbaMid,
            regs.lbaHigh,
            regs.device,
            regs.command,
            0,
            0};
}

std::vector<std::uint8_t> AtaPassThrough16Cdb(const AtaRegisters& regs, DataDirection dir,
                                              bool checkCondition) {
    std::vector<std::uint8_t> cdb(16, 0);
    cdb[0] = kOpAtaPassThrough16;
    cdb[1] = PassThroughProtocol(dir);
    cdb[2] =
        static_cast<std::uint8_t>(PassThroughDirection(dir) | (checkCondition ? kCheckCond : 0));
    cdb[4] = regs.features;
    cdb[6] = regs.sectorCount;
    cdb[8] = regs.lbaLow;
    cdb[10] = regs.lbaMid;
    cdb[12] = regs.lbaHigh;
    cdb[13] = regs.device;
    cdb[14] = regs.command;
    return cdb;
}

std::vector<std::uint8_t> AtaSectors16Cdb(bool write, std::uint64_t lba, std::uint16_t count) {
    std::vector<std::uint8_t> cdb(16, 0);
    cdb[0] = kOpAtaPassThrough16;
    cdb[1] = static_cast<std::uint8_t>((write ? kProtoPioOut : kProtoPioIn) | kExtend);
    cdb[2] = write ? kToDevice : kToHost;
    StoreBe<std::uint16_t>(cdb, 5, count);
    // Previous / current register pairs: LBA bits 24-31, 0-7, 32-39, 8-15, 40-47, 16-23.
    constexpr int kShifts[6] = {24, 0, 32, 8, 40, 16};
    for (int i = 0; i < 6; ++i)
        cdb[7 + i] = static_cast<std::uint8_t>(lba >> kShifts[i]);
    cdb[13] = kAtaDeviceLba;
    cdb[14] = write ? kAtaWriteSectorsExt : kAtaReadSectorsExt;
    return cdb;
}

bool AtaReturnFromSense(ByteView sense, AtaRegisters& result) {
    if (sense.size() < 8) return false;
    const std::uint8_t response = sense[0] & 0x7F;
    if (response == 0x72 || response == 0x73) {
        const std::size_t end = std::min<std::size_t>(sense.size(), 8u + sense[7]);
        std::size_t d = 8;
        while (d + 2 <= end) {
            const std::size_t size = 2u + sense[d + 1];
            if (!InBounds(end, d, size)) return false;
            if (sense[d] == ataret::kCode && size >= ataret::kSize) {
                const ByteView desc = sense.subspan(d, size);
                result = AtaRegisters{};
                result.features = desc[ataret::kError];
                result.sectorCount = desc[ataret::kCount];
                result.lbaLow = desc[ataret::kLbaLow];
                result.lbaMid = desc[ataret::kLbaMid];
                result.lbaHigh = desc[ataret::kLbaHigh];
                result.device = desc[ataret::kDevice];
                result.command = desc[ataret::kStatus];
                return true;
            }
            d += size;
        }
        return false;
    }
    if (response == 0x70 || response == 0x71) {
        using namespace atafixed;
        if (sense.size() <= kAscq || sense[kAsc] != kInfoAvailableAsc ||
            sense[kAscq] != kInfoAvailableAscq)
            return false;
        result = AtaRegisters{};
        result.features = sense[kError];
        result.sectorCount = sense[kCount];
        result.lbaLow = sense[kLbaLow];
        result.lbaMid = sense[kLbaMid];
        result.lbaHigh = sense[kLbaHigh];
        result.device = sense[kDevice];
        result.command = sense[kStatus];
        return true;
    }
    return false;
}

bool Inquiry(clScsi* scsi, MutableByteView buffer, std::uint32_t& length) {
    if (scsi == nullptr || buffer.empty() || length == 0) return false;
    const std::uint8_t ask = static_cast<std::uint8_t>(
        std::min<std::size_t>({length, buffer.size(), std::size_t{0xFF}}));
    const std::vector<std::uint8_t> cdb = InquiryCdb(ask);
    std::uint32_t got = ask;
    std::uint8_t status = 0xFF;
    // A short answer is normal; a CHECK CONDITION answer is not INQUIRY data.
    const bool ok = scsi->ExecDataIn(cdb, buffer.first(ask), got, &status);
    if (!Good(ok, status)) return false;
    length = std::min<std::uint32_t>(got, ask);
    return true;
}

bool ReadCapacity10(clScsi* scsi, std::uint32_t& lastLba, std::uint32_t& blockLength) {
    std::uint8_t data[kCapacity10Size] = {};
    if (!DataInFull(scsi, ReadCapacity10Cdb(), data)) return false;
    lastLba = Be<std::uint32_t>(data, 0);
    blockLength = Be<std::uint32_t>(data, 4);
    return true;
}

bool ReadCapacity16(clScsi* scsi, std::uint64_t& lastLba, std::uint32_t& blockLength) {
    std::uint8_t data[kCapacity16Size] = {};
    if (!DataInFull(scsi, ReadCapacity16Cdb(), data)) return false;
    lastLba = Be<std::uint64_t>(data, 0);
    blockLength = Be<std::uint32_t>(data, 8);
    return true;
}

bool Sanitize(clScsi* scsi, std::uint8_t serviceAction, ByteView parameters) {
    if (scsi == nullptr || parameters.size() > std::numeric_limits<std::uint16_t>::max())
        return false;
    const std::vector<std::uint8_t> cdb =
        SanitizeCdb(serviceAction, static_cast<std::uint16_t>(parameters.size()));
    std::uint8_t status = 0xFF;
    if (parameters.empty()) {
        const bool ok = scsi->ExecNonData(cdb, &status);
        return Good(ok, status);
    }
    std::uint32_t length = static_cast<std::uint32_t>(parameters.size());
    const bool ok = scsi->ExecDataOut(cdb, parameters, length, &status);
    return Good(ok, status);
}

bool AtaPassThrough12NonData(clScsi* scsi, const AtaRegisters& regs) {
    if (scsi == nullptr) return false;
    std::uint8_t status = 0xFF;
    const bool ok = scsi->ExecNonData(AtaPassThrough12Cdb(regs, DataDirection::kNone), &status);
    return Good(ok, status);
}

bool AtaPassThrough12In(clScsi* scsi, const AtaRegisters& regs, MutableByteView data) {
    return DataInFull(scsi, AtaPassThrough12Cdb(regs, DataDirection::kIn), data);
}

bool AtaPassThrough12Out(clScsi* scsi, const AtaRegisters& regs, ByteView data) {
    return DataOutFull(scsi, AtaPassThrough12Cdb(regs, DataDirection::kOut), data);
}

// The device answers CHECK CONDITION with the registers in its sense data (or GOOD from a
// translator that still fills them). A command the drive rejected (ERR or DF) is a failure; its
// registers are handed back all the same.
bool AtaPassThrough16NonDataResult(clScsi* scsi, const AtaRegisters& regs, AtaRegisters& result) {
    if (scsi == nullptr) return false;
    std::uint8_t status = 0xFF;
    if (!scsi->ExecNonData(AtaPassThrough16Cdb(regs, DataDirection::kNone, true), &status))
        return false;
    if (status != kGood && status != kCheckCondition) return false;
    AtaRegisters got;
    if (!AtaReturnFromSense(scsi->LastSense(), got)) return false;
    result = got;
    return (got.command & (kAtaStatusErr | kAtaStatusDf)) == 0;
}

bool AtaReadSectors16(clScsi* scsi, std::uint64_t lba, std::uint16_t count, MutableByteView data) {
    const std::size_t bytes = std::size_t{count} * kAtaSectorSize;
    if (count == 0 || data.size() < bytes) return false;
    return DataInFull(scsi, AtaSectors16Cdb(false, lba, count), data.first(bytes));
}

bool AtaWriteSectors16(clScsi* scsi, std::uint64_t lba, std::uint16_t count, ByteView data) {
    const std::size_t bytes = std::size_t{count} * kAtaSectorSize;
    if (count == 0 || data.size() < bytes) return false;
    return DataOutFull(scsi, AtaSectors16Cdb(true, lba, count), data.first(bytes));
}

} // namespace scsicmd

std::string ScsiIdentity::ModelText() const {
    std::string s;
    if (!vendor.empty() && !product.empty())
        s = vendor + " " + product;
    else
        s = vendor.empty() ? product : vendor;
    if (s.size() > kModelTextMax) s.resize(kModelTextMax);
    return s;
}

ScsiIdentity DecodeInquiry(ByteView transferred) {
    ScsiIdentity id;
    if (!transferred.empty()) id.peripheralType = transferred[0] & 0x1F;
    id.vendor = Field(transferred, kVendorOff, kVendorLen);
    id.product = Field(transferred, kProductOff, kProductLen);
    id.revision = Field(transferred, kRevisionOff, kRevisionLen);
    return id;
}

std::uint64_t ScsiDiskInfo::CapacityBytes() const {
    return Capacity(lastLba, blockLength);
}

bool FillScsiDiskInfo(ScsiDiskInfo& info, InterfacePtr<clNtScsi> scsi) {
    if (!scsi) return false;
    bool capacity10 = false, capacity16 = false;
    std::uint64_t lastLba = info.lastLba;
    std::uint32_t blockLength = info.blockLength;

    std::uint32_t lba10 = 0, block10 = 0;
    if (scsicmd::ReadCapacity10(scsi.get(), lba10, block10)) {
        capacity10 = true;
        if (blockLength == 0) {
            blockLength = block10;
            lastLba = lba10;
        }
        // Past 2 TiB of 512-byte blocks only the 16-byte form tells the size.
        if (lba10 == 0xFFFFFFFFu) {
            std::uint64_t lba16 = 0;
            std::uint32_t block16 = 0;
            if (scsicmd::ReadCapacity16(scsi.get(), lba16, block16) && lba16 != 0) {
                lastLba = lba16;
                blockLength = block16;
                capacity16 = true;
            }
        }
    }
    if (blockLength == 0) return false;

    std::uint8_t inquiry[sizeof info.inquiry] = {};
    std::uint32_t inquiryLength = sizeof inquiry;
    if (!scsicmd::Inquiry(scsi.get(), inquiry, inquiryLength)) {
        scsi->Close();
        return false;
    }

    scsi->Close();
    std::copy(std::begin(inquiry), std::end(inquiry), std::begin(info.inquiry));
    info.inquiryLength = inquiryLength;
    info.capacity10 = capacity10;
    info.capacity16 = capacity16;
    info.lastLba = lastLba;
    info.blockLength = blockLength;
    info.scsi = std::move(scsi);
    return true;
}

std::uint64_t ScsiCapacityBytes(clScsi* scsi) {
    if (scsi == nullptr) return 0;
    std::uint64_t lba16 = 0;
    std::uint32_t block = 0;
    if (scsicmd::ReadCapacity16(scsi, lba16, block) && block != 0) return Capacity(lba16, block);
    std::uint32_t lba10 = 0;
    // 0xFFFFFFFF only says "larger than this": no size to report.
    if (scsicmd::ReadCapacity10(scsi, lba10, block) && lba10 != 0xFFFFFFFFu)
        return Capacity(lba10, block);
    return 0;
}

} // namespace tvd
