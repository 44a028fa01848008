#include "storage/sim/simscsidevice.h"

#include "storage/sim/simnvmedevice.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace tvd {

namespace {

using namespace scsisim;

// Additional sense codes.
constexpr std::uint16_t kInvalidOpcode = 0x2000, kLbaOutOfRange = 0x2100;
constexpr std::uint16_t kInvalidFieldInCdb = 0x2400, kAtaInfoAvailable = 0x001D;
constexpr std::uint16_t kUnrecoveredRead = 0x1100, kWriteError = 0x0C00;
constexpr std::uint16_t kWriteProtected = 0x2700;

// Standard INQUIRY data.
constexpr std::size_t kInqStandardSize = 36, kInqVendor = 8, kInqProduct = 16, kInqRevision = 32;

// ATA Status Return sense descriptor.
constexpr std::uint8_t kAtaReturnDescriptor = 0x09, kAtaReturnLength = 0x0C;
constexpr std::size_t kDescSenseHeader = 8, kAtaReturnSize = 14;

void Good(ScsiCommandRequest& r, std::uint32_t transferred) {
    r.status = kGood;
    r.transferred = transferred;
    r.senseLength = 0;
}

void PutText(std::uint8_t* at, std::size_t len, std::string_view s) {
    for (std::size_t i = 0; i < len; ++i)
        at[i] = static_cast<std::uint8_t>(i < s.size() ? s[i] : ' ');
}

// Data-in answer cut to the allocation length and the caller's buffer.
void DataIn(ScsiCommandRequest& r, ByteView bytes, std::size_t allocation) {
    if (r.direction != DataDirection::kIn && !bytes.empty() && allocation != 0) {
        FixedSense(r, kIllegalRequest, kInvalidFieldInCdb);
        return;
    }
    const std::size_t n = std::min({bytes.size(), allocation, r.data.size()});
    std::copy_n(bytes.begin(), n, r.data.begin());
    Good(r, static_cast<std::uint32_t>(n));
}

bool IsAtaBus(std::uint32_t bus) {
    return bus == bustype::kSata || bus == bustype::kAta;
}

} // namespace

void scsisim::FixedSense(ScsiCommandRequest& r, std::uint8_t key, std::uint16_t ascq) {
    r.status = kCheckCondition;
    std::memset(r.sense, 0, sizeof r.sense);
    r.sense[0] = 0x70;
    r.sense[2] = key;
    r.sense[7] = 10;
    r.sense[12] = static_cast<std::uint8_t>(ascq >> 8);
    r.sense[13] = static_cast<std::uint8_t>(ascq);
    r.senseLength = 18;
}

SimScsi::SimScsi(const SimDriveSpec& spec, SimAta* ata) : spec_(spec), ata_(ata) {
    if (!spec.parent.empty() && !spec.usb.bridge.empty())
        bridge_ = std::make_unique<SimBridge>(spec, ata);
}

void SimScsi::Execute(ScsiCommandRequest& r) {
    r.transferred = 0;
    r.senseLength = 0;
    r.status = kGood;
    const ByteView cdb = r.cdb;
    if (cdb.empty()) {
        FixedSense(r, kIllegalRequest, kInvalidOpcode);
        return;
    }
    if (bridge_ && bridge_->Execute(r)) return;
    const std::uint64_t sectors = spec_.SectorCount();
    switch (cdb[0]) {
    case 0x00: // TEST UNIT READY
    case 0x35: // SYNCHRONIZE CACHE (10)
    case 0x91: // SYNCHRONIZE CACHE (16)
        Good(r, 0);
        return;
    case 0x03: { // REQUEST SENSE: the sense went back with the failed command already
        std::uint8_t none[18] = {0x70, 0, 0, 0, 0, 0, 0, 10};
        DataIn(r, none, cdb.size() > 4 ? cdb[4] : 0);
        return;
    }
    case 0x12:
        Inquiry(r);
        return;
    case 0x25: { // READ CAPACITY (10)
        std::uint8_t cap[8] = {};
        const std::uint64_t last = sectors - 1;
        StoreBe<std::uint32_t>(
            cap, 0, last >= 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(last));
        StoreBe<std::uint32_t>(cap, 4, spec_.sectorSize);
        DataIn(r, cap, sizeof cap);
        return;
    }
    case 0x9E: { // SERVICE ACTION IN (16)
        if (cdb.size() < 16 || (cdb[1] & 0x1F) != 0x10) {
            FixedSense(r, kIllegalRequest, kInvalidFieldInCdb);
            return;
        }
        std::uint8_t cap[32] = {};
        StoreBe<std::uint64_t>(cap, 0, sectors - 1);
        StoreBe<std::uint32_t>(cap, 8, spec_.sectorSize);
        if (spec_.trim) cap[14] = 0x80; // thin provisioning enabled
        DataIn(r, cap, Be<std::uint32_t>(cdb, 10));
        return;
    }
    case 0x28:
    case 0x2A:
        if (cdb.size() < 10) break;
        ReadWrite(r, cdb[0] == 0x2A, Be<std::uint32_t>(cdb, 2), Be<std::uint16_t>(cdb, 7));
        return;
    case 0x88:
    case 0x8A:
        if (cdb.size() < 16) break;
        ReadWrite(r, cdb[0] == 0x8A, Be<std::uint64_t>(cdb, 2), Be<std::uint32_t>(cdb, 10));
        return;
    case 0x48: // SANITIZE: an NVMe drive's own sanitize, else a SCSI disk's erase at once
        if (cdb.size() < 10) break;
        if (spec_.busType == bustype::kNvme) {
            if (!nvme_) break;
            SanitizeNvme(r);
            return;
        }
        if (ata_) break;
        Sanitize(r);
        return;
    case 0xA1:
    case 0x85:
        if (!ata_ || (bridge_ && !bridge_->AnswersSat())) break;
        PassThrough(r);
        return;
    default:
        break;
    }
    FixedSense(r, kIllegalRequest, kInvalidOpcode);
}

void SimScsi::Inquiry(ScsiCommandRequest& r) {
    const ByteView cdb = r.cdb;
    if (cdb.size() < 6) {
        FixedSense(r, kIllegalRequest, kInvalidFieldInCdb);
        return;
    }
    const bool evpd = cdb[1] & 1;
    const std::uint8_t page = cdb[2];
    const std::size_t allocation = Be<std::uint16_t>(cdb, 3);
    if (!evpd) {
        if (page != 0) {
            FixedSense(r, kIllegalRequest, kInvalidFieldInCdb);
            return;
        }
        if (!spec_.scsi.inquiry.empty()) {
            const auto& given = spec_.scsi.inquiry;
            const std::size_t n = std::min<std::size_t>(
                std::max<std::size_t>(kInqStandardSize, 5u + given[4]), given.size());
            DataIn(r, ByteView(given).first(n), allocation);
            return;
        }
        std::uint8_t inq[64] = {};
        // A bridge adds its own identification after the standard bytes.
        const std::size_t size = bridge_ ? bridge_->InquiryTail(inq) : kInqStandardSize;
        inq[1] = spec_.removable ? 0x80 : 0;
        inq[2] = 0x06; // SPC-4
        inq[3] = 0x02;
        inq[4] = static_cast<std::uint8_t>(size - 5);
        inq[7] = 0x02; // command queueing
        // Like the Linux SAT layer: "ATA" as vendor, the model's start as product, the last
        // four characters of an eight-character firmware revision.
        std::string vendor = spec_.vendor, revision = spec_.firmware;
        if (IsAtaBus(spec_.busType) && spec_.ata.present) {
            vendor = "ATA";
            if (revision.size() > 4) revision = revision.substr(4);
        } else if (spec_.busType == bustype::kNvme && vendor.empty()) {
            vendor = "NVMe";
        }
        PutText(inq + kInqVendor, 8, vendor);
        PutText(inq + kInqProduct, 16, spec_.model);
        PutText(inq + kInqRevision, 4, revision);
        DataIn(r, ByteView(inq).first(size), allocation);
        return;
    }
    std::string payload;
    switch (page) {
    case 0x00:
        payload = std::string("\x00\x80\x83", 3);
        break;
    case 0x80:
        payload = spec_.serial.substr(0, 252);
        break;
    case 0x83: { // one T10 vendor identification designator: vendor, model, serial
        std::string id = (spec_.vendor + std::string(8, ' ')).substr(0, 8);
        id += spec_.model + " " + spec_.serial;
        if (id.size() > 200) id.resize(200);
        payload = std::string("\x02\x01\x00", 3) + static_cast<char>(id.size()) + id;
        break;
    }
    default:
        FixedSense(r, kIllegalRequest, kInvalidFieldInCdb);
        return;
    }
    std::vector<std::uint8_t> vpd(4 + payload.size(), 0);
    vpd[1] = page;
    StoreBe<std::uint16_t>(vpd, 2, static_cast<std::uint16_t>(payload.size()));
    std::copy(payload.begin(), payload.end(), vpd.begin() + 4);
    DataIn(r, vpd, allocation);
}

void SimScsi::Sanitize(ScsiCommandRequest& r) {
    const std::uint8_t action = r.cdb[1] & 0x1F;
    if (action == 0x1F) { // EXIT FAILURE MODE
        Good(r, 0);
        return;
    }
    if (action != 0x02 && action != 0x03) { // overwrite and the rest are not offered
        FixedSense(r, kIllegalRequest, kInvalidFieldInCdb);
        return;
    }
    const ErrorCode e = medium_ ? medium_->ZeroAll() : err::kNotReady;
    if (e == err::kWriteProtect)
        FixedSense(r, 0x07, kWriteProtected);
    else if (e != err::kSuccess)
        FixedSense(r, 0x03, kWriteError);
    else
        Good(r, 0);
}

// As Windows translates SANITIZE for an NVMe drive: block erase, crypto erase and exit failure
// mode become the NVMe SANITIZE actions; OVERWRITE (which needs a parameter list) and anything
// else are refused. The sanitize then runs in the drive; its progress is in the NVMe log.
void SimScsi::SanitizeNvme(ScsiCommandRequest& r) {
    static constexpr std::uint32_t kSanact[] = {0, 0, 2, 4}; // by service action 0-3
    const std::uint8_t sa = r.cdb[1] & 0x1F;
    const std::uint32_t sanact = sa == 0x1F ? 1 : sa < 4 ? kSanact[sa] : 0;
    if (sanact == 0 || r.cdb[7] != 0 || r.cdb[8] != 0) {
        FixedSense(r, kIllegalRequest, kInvalidFieldInCdb);
        return;
    }
    std::uint8_t command[kNvmeCommandSize] = {};
    command[0] = 0x84;
    StoreLe<std::uint32_t>(MutableByteView(command), 40, sanact);
    std::uint8_t completion[kNvmeCompletionSize] = {};
    if (!nvme_->Execute(ByteView(command), DataDirection::kNone, MutableByteView(), completion)) {
        FixedSense(r, kIllegalRequest, kInvalidOpcode);
        return;
    }
    const std::uint16_t status = Le<std::uint16_t>(ByteView(completion), 14);
    const std::uint8_t sc = static_cast<std::uint8_t>(status >> 1);
    const std::uint8_t sct = static_cast<std::uint8_t>((status >> 9) & 7);
    if (sc == 0 && sct == 0)
        Good(r, 0);
    else if (sct == 0 && sc == 0x1D) // Sanitize In Progress
        FixedSense(r, 0x02, 0x041B); // NOT READY, SANITIZE IN PROGRESS
    else
        FixedSense(r, kIllegalRequest, kInvalidFieldInCdb);
}

void SimScsi::ReadWrite(ScsiCommandRequest& r, bool write, std::uint64_t lba,
                        std::uint32_t blocks) {
    const std::uint64_t sectors = spec_.SectorCount();
    if (lba > sectors || blocks > sectors - lba) {
        FixedSense(r, kIllegalRequest, kLbaOutOfRange);
        return;
    }
    const std::uint64_t bytes = std::uint64_t(blocks) * spec_.sectorSize;
    if (blocks == 0) {
        Good(r, 0);
        return;
    }
    if (r.direction != (write ? DataDirection::kOut : DataDirection::kIn) ||
        r.data.size() < bytes || !medium_) {
        FixedSense(r, kIllegalRequest, kInvalidFieldInCdb);
        return;
    }
    const auto span = r.data.first(static_cast<std::size_t>(bytes));
    const std::uint64_t offset = lba * spec_.sectorSize;
    const ErrorCode e = write ? medium_->Write(offset, span) : medium_->Read(offset, span);
    if (e == err::kWriteProtect)
        FixedSense(r, 0x07, kWriteProtected); // DATA PROTECT
    else if (e != err::kSuccess)
        FixedSense(r, 0x03, write ? kWriteError : kUnrecoveredRead); // MEDIUM ERROR
    else
        Good(r, static_cast<std::uint32_t>(bytes));
}

// ATA PASS-THROUGH (12) 0xA1 and (16) 0x85.
void SimScsi::PassThrough(ScsiCommandRequest& r) {
    const ByteView cdb = r.cdb;
    const bool is16 = cdb[0] == 0x85;
    if (cdb.size() < (is16 ? 16u : 12u)) {
        FixedSense(r, kIllegalRequest, kInvalidFieldInCdb);
        return;
    }
    const std::uint8_t protocol = (cdb[1] >> 1) & 0x0F;
    const bool extend = is16 && (cdb[1] & 1);
    const bool ckCond = cdb[2] & 0x20;
    const bool tType = cdb[2] & 0x10;
    const bool tDirIn = cdb[2] & 0x08;
    const bool bytBlok = cdb[2] & 0x04;
    const std::uint8_t tLength = cdb[2] & 0x03;

    AtaRegisters in;
    std::uint32_t count = 0, features = 0;
    std::uint64_t lba = 0;
    if (is16) {
        in.features = cdb[4];
        in.sectorCount = cdb[6];
        in.lbaLow = cdb[8];
        in.lbaMid = cdb[10];
        in.lbaHigh = cdb[12];
        in.device = cdb[13];
        in.command = cdb[14];
        features = extend ? (std::uint32_t(cdb[3]) << 8 | cdb[4]) : cdb[4];
        count = extend ? (std::uint32_t(cdb[5]) << 8 | cdb[6]) : cdb[6];
        lba = std::uint64_t(cdb[8]) | std::uint64_t(cdb[10]) << 8 | std::uint64_t(cdb[12]) << 16;
        if (extend)
            lba |= std::uint64_t(cdb[7]) << 24 | std::uint64_t(cdb[9]) << 32 |
                   std::uint64_t(cdb[11]) << 40;
    } else {
        in.features = cdb[3];
        in.sectorCount = cdb[4];
        in.lbaLow = cdb[5];
        in.lbaMid = cdb[6];
        in.lbaHigh = cdb[7];
        in.device = cdb[8];
        in.command = cdb[9];
        features = cdb[3];
        count = cdb[4];
    }

    // Transfer: non-data (3), PIO data-in (4), PIO data-out (5); the length comes from the
    // field T_LENGTH names, in bytes or in blocks of 512 bytes or of the logical sector.
    DataDirection want = DataDirection::kNone;
    if (protocol == 4)
        want = DataDirection::kIn;
    else if (protocol == 5)
        want = DataDirection::kOut;
    else if (protocol != 3) {
        FixedSense(r, kIllegalRequest, kInvalidFieldInCdb);
        return;
    }
    std::uint64_t bytes = 0;
    if (want == DataDirection::kNone) {
        if (tLength != 0 || (r.direction != DataDirection::kNone && !r.data.empty())) {
            FixedSense(r, kIllegalRequest, kInvalidFieldInCdb);
            return;
        }
    } else {
        const std::uint32_t n = tLength == 1 ? features : tLength == 2 ? count : 0;
        const std::uint64_t block = tType ? ata_->LogicalSectorSize() : kAtaSectorSize;
        bytes = bytBlok ? n * block : n;
        if (tLength == 0 || tLength == 3 || tDirIn != (want == DataDirection::kIn) ||
            r.direction != want || bytes == 0 || r.data.size() < bytes) {
            FixedSense(r, kIllegalRequest, kInvalidFieldInCdb);
            return;
        }
    }

    AtaRegisters out;
    const auto data = r.data.first(static_cast<std::size_t>(bytes));
    bool ok = false;
    const std::uint8_t c = in.command;
    const bool sectorCommand = c == 0x20 || c == 0x24 || c == 0x30 || c == 0x34;
    if (sectorCommand && extend) {
        out = in;
        const bool write = c == 0x30 || c == 0x34;
        ok = ((want == DataDirection::kOut) == write) && want != DataDirection::kNone &&
             ata_->TransferSectors(write, lba, count, data, out);
        if (!ok && out.command != atasim::kStatusError) {
            out.command = atasim::kStatusError;
            out.features = atasim::kErrorAbort;
        }
    } else {
        ok = ata_->Execute(in, want, data, out);
    }

    if (ok && !ckCond) {
        Good(r, static_cast<std::uint32_t>(bytes));
        return;
    }
    // Descriptor-format sense with the ATA Status Return descriptor.
    r.status = kCheckCondition;
    r.transferred = ok ? static_cast<std::uint32_t>(bytes) : 0;
    std::memset(r.sense, 0, sizeof r.sense);
    r.sense[0] = 0x72;
    r.sense[1] = ok ? kRecoveredError : kAbortedCommand;
    r.sense[2] = static_cast<std::uint8_t>(kAtaInfoAvailable >> 8);
    r.sense[3] = static_cast<std::uint8_t>(kAtaInfoAvailable);
    r.sense[7] = kAtaReturnSize;
    std::uint8_t* d = r.sense + kDescSenseHeader;
    d[0] = kAtaReturnDescriptor;
    d[1] = kAtaReturnLength;
    d[2] = extend ? 1 : 0;
    d[3] = out.features;
    d[5] = out.sectorCount;
    d[7] = out.lbaLow;
    d[9] = out.lbaMid;
    d[11] = out.lbaHigh;
    d[12] = out.device;
    d[13] = out.command;
    if (extend && sectorCommand) {
        d[4] = static_cast<std::uint8_t>(count >> 8);
        d[6] = static_cast<std::uint8_t>(lba >> 24);
        d[8] = static_cast<std::uint8_t>(lba >> 32);
        d[10] = static_cast<std::uint8_t>(lba >> 40);
    }
    r.senseLength = kDescSenseHeader + kAtaReturnSize;
    static_assert(kDescSenseHeader + kAtaReturnSize <= kScsiSenseSize);
}

} // namespace tvd
