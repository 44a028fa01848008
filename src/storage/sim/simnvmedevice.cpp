#include "storage/sim/simnvmedevice.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace tvd {

namespace {

// Submission entry.
constexpr std::size_t kOpcode = 0, kNsid = 4, kCdw10 = 40, kCdw11 = 44, kCdw12 = 48, kCdw13 = 52;
// Completion entry: dword 0, status field.
constexpr std::size_t kCqeDw0 = 0, kCqeStatus = 14;

// Identify controller.
constexpr std::size_t kVid = 0, kSsvid = 2, kSn = 4, kMn = 24, kFr = 64, kRab = 72, kIeee = 73;
constexpr std::size_t kMdts = 77, kVer = 80, kOacs = 256, kAcl = 258, kAerl = 259, kFrmw = 260;
constexpr std::size_t kLpa = 261, kElpe = 262, kWctemp = 266, kCctemp = 268, kSanicap = 328;
constexpr std::size_t kSqes = 512, kCqes = 513, kNn = 516, kOncs = 520, kVwc = 525, kPsd0 = 2048;
// Identify namespace.
constexpr std::size_t kNsze = 0, kNcap = 8, kNuse = 16, kNlbaf = 25, kFlbas = 26, kEui64 = 120;
constexpr std::size_t kLbaf0 = 128;
// SMART / health log.
constexpr std::size_t kHTemp = 1, kHSpare = 3, kHSpareThresh = 4, kHUsed = 5, kHUnitsRead = 32;
constexpr std::size_t kHUnitsWritten = 48, kHReads = 64, kHWrites = 80, kHBusy = 96;
constexpr std::size_t kHPowerCycles = 112, kHPowerOnHours = 128, kHUnsafe = 144;
constexpr std::size_t kHSensor1 = 200;
// Sanitize status log.
constexpr std::size_t kSProgress = 0, kSStatus = 2, kSCdw10 = 4, kSEstOverwrite = 8;
constexpr std::size_t kSEstBlock = 12, kSEstCrypto = 16;

constexpr std::uint32_t kNamespaceId = 1;

void PutText(std::vector<std::uint8_t>& b, std::size_t at, std::size_t len, const std::string& s) {
    for (std::size_t i = 0; i < len; ++i)
        b[at + i] = static_cast<std::uint8_t>(i < s.size() ? s[i] : ' ');
}

std::uint64_t Fnv(const std::string& s) {
    std::uint64_t h = 1469598103934665603ull;
    for (char c : s)
        h = (h ^ static_cast<std::uint8_t>(c)) * 1099511628211ull;
    return h;
}

// Sanitize actions (CDW10 bits 0-2) and the SANICAP bit each needs.
constexpr std::uint32_t kActExitFailure = 1, kActBlock = 2, kActOverwrite = 3, kActCrypto = 4;

bool SanicapAllows(std::uint32_t sanicap, std::uint32_t action) {
    switch (action) {
    case kActExitFailure:
        return sanicap != 0;
    case kActBlock:
        return (sanicap & 2) != 0;
    case kActOverwrite:
        return (sanicap & 4) != 0;
    case kActCrypto:
        return (sanicap & 1) != 0;
    default:
        return false;
    }
}

void Complete(std::uint8_t (&cqe)[kNvmeCompletionSize], std::uint8_t sct, std::uint8_t sc,
              std::uint32_t dw0 = 0) {
    std::memset(cqe, 0, sizeof cqe);
    MutableByteView v(cqe);
    StoreLe<std::uint32_t>(v, kCqeDw0, dw0);
    StoreLe<std::uint16_t>(v, kCqeStatus, static_cast<std::uint16_t>((sct << 9) | (sc << 1)));
}

} // namespace

SimNvme::SimNvme(const SimDriveSpec& spec)
    : cfg_(spec.nvme), sectors_(spec.SectorCount()), sectorSize_(spec.sectorSize),
      capacity_(spec.capacity) {
    if (!cfg_.controller.empty()) {
        controller_ = cfg_.controller;
    } else {
        auto& c = controller_;
        c.assign(kNvmeDataSize, 0);
        StoreLe<std::uint16_t>(c, kVid, cfg_.vendorId);
        StoreLe<std::uint16_t>(c, kSsvid, cfg_.vendorId);
        PutText(c, kSn, 20, spec.serial);
        PutText(c, kMn, 40, spec.model);
        PutText(c, kFr, 8, spec.firmware);
        c[kRab] = 0;
        c[kIeee] = 0x2C;
        c[kIeee + 1] = 0x1B;
        c[kIeee + 2] = 0x0A;
        c[kMdts] = 5;
        StoreLe<std::uint32_t>(c, kVer, 0x00010400);
        // Security send/receive when asked for; format NVM and firmware download always.
        StoreLe<std::uint16_t>(c, kOacs,
                               static_cast<std::uint16_t>(0x0006 | (cfg_.security ? 1 : 0)));
        c[kAcl] = 3;
        c[kAerl] = 3;
        c[kFrmw] = 0x02;
        c[kLpa] = 0x02;
        c[kElpe] = 63;
        StoreLe<std::uint16_t>(c, kWctemp, 343);
        StoreLe<std::uint16_t>(c, kCctemp, 353);
        StoreLe<std::uint32_t>(c, kSanicap, cfg_.sanicap);
        c[kSqes] = 0x66;
        c[kCqes] = 0x44;
        StoreLe<std::uint32_t>(c, kNn, 1);
        StoreLe<std::uint16_t>(c, kOncs, static_cast<std::uint16_t>(spec.trim ? 0x0004 : 0));
        c[kVwc] = 1;
        StoreLe<std::uint16_t>(c, kPsd0, 600); // 6 W
    }
    if (!cfg_.namespace1.empty()) {
        namespace_ = cfg_.namespace1;
    } else {
        auto& n = namespace_;
        n.assign(kNvmeDataSize, 0);
        StoreLe<std::uint64_t>(n, kNsze, sectors_);
        StoreLe<std::uint64_t>(n, kNcap, sectors_);
        StoreLe<std::uint64_t>(n, kNuse, sectors_);
        n[kNlbaf] = 0;
        n[kFlbas] = 0;
        StoreBe<std::uint64_t>(
            n, kEui64, (std::uint64_t(0x0A1B2C) << 40) | (Fnv(spec.serial) & 0xFFFFFFFFFFull));
        n[kLbaf0 + 2] = sectorSize_ == 4096 ? 12 : 9; // LBADS
    }
}

std::vector<std::uint8_t> SimNvme::HealthLog() const {
    std::vector<std::uint8_t> h(kNvmeLogSize, 0);
    const std::uint64_t hours =
        1234 + Fnv(std::string(controller_.begin() + kSn, controller_.begin() + kSn + 20)) % 5000;
    StoreLe<std::uint16_t>(h, kHTemp, 310);
    h[kHSpare] = 100;
    h[kHSpareThresh] = 10;
    h[kHUsed] = 3;
    // Data units are thousands of 512-byte units; totals in proportion to the hours.
    StoreLe<std::uint64_t>(h, kHUnitsRead, hours * 9000);
    StoreLe<std::uint64_t>(h, kHUnitsWritten, hours * 6000);
    StoreLe<std::uint64_t>(h, kHReads, hours * 400000);
    StoreLe<std::uint64_t>(h, kHWrites, hours * 250000);
    StoreLe<std::uint64_t>(h, kHBusy, hours / 2);
    StoreLe<std::uint64_t>(h, kHPowerCycles, 321);
    StoreLe<std::uint64_t>(h, kHPowerOnHours, hours);
    StoreLe<std::uint64_t>(h, kHUnsafe, 12);
    StoreLe<std::uint16_t>(h, kHSensor1, 310);
    return h;
}

std::vector<std::uint8_t> SimNvme::SanitizeLog(Clock::time_point now) const {
    std::vector<std::uint8_t> s(kNvmeLogSize, 0);
    std::uint16_t progress = 0xFFFF;
    if (sanitizeStatus_ == nvmesim::kSanitizing) {
        const auto total = sanitizeEnd_ - sanitizeStart_;
        const auto done = std::clamp(now - sanitizeStart_, Clock::duration::zero(), total);
        progress = total.count() > 0
                       ? static_cast<std::uint16_t>(65536.0 * static_cast<double>(done.count()) /
                                                    static_cast<double>(total.count()))
                       : 0;
        if (progress == 0xFFFF) progress = 0xFFFE;
    }
    StoreLe<std::uint16_t>(s, kSProgress, progress);
    std::uint16_t status = sanitizeStatus_;
    if (sanitizeStatus_ == nvmesim::kSanitized) status |= 0x0100; // global data erased
    StoreLe<std::uint16_t>(s, kSStatus, status);
    StoreLe<std::uint32_t>(s, kSCdw10, sanitizeCdw10_);
    const std::uint32_t estimate = cfg_.sanitizeSeconds ? cfg_.sanitizeSeconds : 0xFFFFFFFF;
    StoreLe<std::uint32_t>(s, kSEstOverwrite, estimate);
    StoreLe<std::uint32_t>(s, kSEstBlock, estimate);
    StoreLe<std::uint32_t>(s, kSEstCrypto, estimate);
    return s;
}

bool SimNvme::Poll(Clock::time_point now) {
    if (sanitizeStatus_ != nvmesim::kSanitizing) return false;
    if (now < sanitizeEnd_) return true;
    // The zeroing happens when the end is noticed; without the medium the sanitize fails.
    const bool ok = medium_ && medium_->ZeroAll() == err::kSuccess;
    sanitizeStatus_ = ok ? nvmesim::kSanitized : 3;
    return false;
}

bool SimNvme::Execute(ByteView command, DataDirection dir, MutableByteView data,
                      std::uint8_t (&completion)[kNvmeCompletionSize]) {
    return ExecuteAt(command, dir, data, completion, Clock::now());
}

bool SimNvme::ExecuteAt(ByteView command, DataDirection dir, MutableByteView data,
                        std::uint8_t (&completion)[kNvmeCompletionSize], Clock::time_point now) {
    Complete(completion, 0, 0);
    if (command.size() < kNvmeCommandSize) return false;
    const bool sanitizing = Poll(now);
    const std::uint8_t opcode = command[kOpcode];
    const std::uint32_t nsid = Le<std::uint32_t>(command, kNsid);
    const std::uint32_t cdw10 = Le<std::uint32_t>(command, kCdw10);
    const std::uint32_t cdw11 = Le<std::uint32_t>(command, kCdw11);
    const auto dataIn = [&](ByteView bytes, std::size_t want) {
        if (dir != DataDirection::kIn) {
            Complete(completion, 0, nvmesim::kInvalidField);
            return true;
        }
        // Only the bytes asked for are written; a structure shorter than that reads zeros.
        const std::size_t n = std::min(want, data.size());
        const std::size_t have = std::min(n, bytes.size());
        std::copy_n(bytes.begin(), have, data.begin());
        std::fill(data.begin() + static_cast<std::ptrdiff_t>(have),
                  data.begin() + static_cast<std::ptrdiff_t>(n), 0);
        return true;
    };
    switch (opcode) {
    case 0x06: { // IDENTIFY
        const std::uint8_t cns = cdw10 & 0xFF;
        if (cns == 1) return dataIn(controller_, kNvmeDataSize);
        if (cns == 0) {
            if (nsid != kNamespaceId && nsid != 0xFFFFFFFF) {
                Complete(completion, 0, nvmesim::kInvalidNamespace);
                return true;
            }
            return dataIn(namespace_, kNvmeDataSize);
        }
        if (cns == 2) { // active namespaces above NSID
            std::vector<std::uint8_t> list(kNvmeDataSize, 0);
            if (nsid < kNamespaceId) StoreLe<std::uint32_t>(list, 0, kNamespaceId);
            return dataIn(list, kNvmeDataSize);
        }
        Complete(completion, 0, nvmesim::kInvalidField);
        return true;
    }
    case 0x02: { // GET LOG PAGE
        const std::uint8_t lid = cdw10 & 0xFF;
        const std::uint64_t dwords = ((cdw10 >> 16) | ((cdw11 & 0xFFFF) << 16)) + 1ull;
        const std::uint64_t offset = Le<std::uint32_t>(command, kCdw12) |
                                     (std::uint64_t(Le<std::uint32_t>(command, kCdw13)) << 32);
        std::vector<std::uint8_t> log;
        if (const auto it = cfg_.logs.find(lid); it != cfg_.logs.end())
            log = it->second;
        else if (lid == 0x02)
            log = HealthLog();
        else if (lid == 0x81)
            log = SanitizeLog(now);
        else if (lid == 0x01) // error information: no errors
            log.assign(64, 0);
        else {
            Complete(completion, 1, nvmesim::kInvalidLogPage);
            return true;
        }
        if (offset % 4 != 0 || offset > log.size()) {
            Complete(completion, 0, nvmesim::kInvalidField);
            return true;
        }
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(dwords * 4, data.size()));
        return dataIn(std::span(log).subspan(static_cast<std::size_t>(offset)), want);
    }
    case 0x84: { // SANITIZE
        const std::uint32_t action = cdw10 & 7;
        if (sanitizing) {
            Complete(completion, 0, nvmesim::kSanitizeInProgress);
            return true;
        }
        if (!SanicapAllows(cfg_.sanicap, action)) {
            Complete(completion, 0, nvmesim::kInvalidField);
            return true;
        }
        if (action == kActExitFailure) {
            if (sanitizeStatus_ == 3) sanitizeStatus_ = nvmesim::kNeverSanitized;
            return true;
        }
        sanitizeCdw10_ = cdw10;
        sanitizeStatus_ = nvmesim::kSanitizing;
        sanitizeStart_ = now;
        sanitizeEnd_ = now + std::chrono::seconds(cfg_.sanitizeSeconds);
        Poll(now); // an instant sanitize is done before the command completes
        return true;
    }
    case 0x81:   // SECURITY SEND
    case 0x82: { // SECURITY RECEIVE
        if (!cfg_.security) {
            Complete(completion, 0, nvmesim::kInvalidOpcode);
            return true;
        }
        const std::uint8_t protocol = static_cast<std::uint8_t>(cdw10 >> 24);
        if (opcode == 0x82 && protocol == 0) { // supported protocols: 0 only
            std::vector<std::uint8_t> list(16, 0);
            StoreBe<std::uint16_t>(list, 6, 1);
            return dataIn(list, cdw11);
        }
        Complete(completion, 0, nvmesim::kInvalidField);
        return true;
    }
    default:
        Complete(completion, 0, nvmesim::kInvalidOpcode);
        return true;
    }
}

} // namespace tvd
