#include "jobs/cljobdiskerase.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>
#include <cstring>

#include "drive/kernelfun.h"
#include "foundation/alignedbuffer.h"
#include "jobs/nvmesanitizeutil.h"
#include "storage/clata.h"
#include "storage/clnvme.h"
#include "storage/nvmeidentifyutil.h"
#include "jobs/scsisanitizeutil.h"

namespace tvd {

#ifdef _WIN32
constexpr bool kScsiSanitizeTranslated = true;
#else
constexpr bool kScsiSanitizeTranslated = false;
#endif

namespace {

std::uint64_t Fnv1a(ByteView bytes) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::uint8_t b : bytes) {
        h ^= b;
        h *= 0x100000001b3ull;
    }
    return h;
}

bool AllZero(ByteView bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

} // namespace

std::vector<TrimStep> TrimSteps(std::uint64_t sizeBytes, std::uint64_t step) {
    std::vector<TrimStep> steps;
    if (step == 0) return steps;
    for (std::uint64_t offset = 0; offset < sizeBytes;) {
        const std::uint64_t length = std::min(sizeBytes - offset, step);
        steps.push_back({offset, length});
        offset += length;
    }
    return steps;
}

void clJobDiskErase::SetDisk(clFunDisk* fd) {
    disk_.Reset(fd);
    path_.clear();
    sectorSize_ = 0;
    sizeBytes_ = 0;
    if (!fd) return;
    if (fd->disk && fd->disk->GetPath()) path_ = fd->disk->GetPath();
    sectorSize_ = fd->bytesPerSector;
    sizeBytes_ = fd->sizeBytes;
}

void clJobDiskErase::SetPath(const std::string& path, std::uint32_t sectorSize,
                             std::uint64_t sizeBytes) {
    disk_.Reset(nullptr);
    path_ = path;
    sectorSize_ = sectorSize;
    sizeBytes_ = sizeBytes;
}

bool clJobDiskErase::Fail(ErrorCode e) {
    SetFailureCode(e);
    return false;
}

bool clJobDiskErase::Work() {
    SetProgress(0.0f);
    keepAwake_ = KeepAwake(true);
    bool ok = false;
    // The disk may have been mounted, or have left, since the user was asked.
    // A sanitize erases every namespace of the controller: each must be free.
    if (EraseMethodIsSanitize(method))
        refusal_ = disk_ ? CheckSanitizeAllowed(disk_.Get(), &where_)
                         : CheckSanitizePathAllowed(path_, &where_);
    else
        refusal_ =
            disk_ ? CheckEraseAllowed(disk_.Get(), &where_) : CheckErasePathAllowed(path_, &where_);
    // No file system may write under the erase: the volumes are locked until it ends.
    const bool native = std::string(Storage().Name()) == NativeStorage().Name();
    if (refusal_ == EraseRefusal::kNone && native) {
        const ErrorCode e = NativeLockEraseVolumes(path_, volumeLock_, where_);
        if (e != err::kSuccess && e != err::kNotSupported) {
            refusal_ = EraseRefusal::kVolumeInUse;
            where_ += where_.empty() ? "" : ", ";
            where_ += "error " + std::to_string(e);
        }
    }
    if (refusal_ != EraseRefusal::kNone) {
        SetFailureCode(EraseRefusalCode(refusal_));
    } else {
        ok = Execute();
        volumeLock_.Release();
        // Whatever the outcome the system reads the (now missing) table again and drops what it
        // cached of the old contents.
        if (disk_ && !disk_->Detached()) {
            RefreshProperties(disk_.Get());
            CloseHandles(disk_.Get());
        } else if (!disk_) {
            UpdateDiskProperties(path_);
        }
        if (std::string(Storage().Name()) == NativeStorage().Name()) NativeFlushDiskBuffers(path_);
    }
    if (keepAwake_ == err::kSuccess) KeepAwake(false);
    return ok;
}

bool clJobDiskErase::Execute() {
    switch (method) {
    case erasemethod::kTrim:
        return TrimWholeDisk();
    case erasemethod::kAtaSecurity:
        return AtaSecurityErase();
    case erasemethod::kNvmeSanitize:
        return NvmeSanitize(false);
    case erasemethod::kScsiSanitize:
        // The NVMe drive's own sanitize, as Windows translates the SCSI command for it.
        return NvmeSanitize(true);
    case erasemethod::kNone:
        return Fail(err::kNotSupported);
    default:
        // Sanitize and ATA security erase are not carried out by this build.
        return Fail(err::kNotSupported);
    }
}

bool clJobDiskErase::TrimWholeDisk() {
    SetProgress(5.0f);
    DeviceHandle h;
    // Exclusive: Linux refuses it while a partition is mounted or held, Windows locks the volumes.
    // (With the volumes already locked by this job, the plain open is the one that succeeds.)
    const ErrorCode opened = volumeLock_.Holds()
                                 ? Storage().Open(path_, h)
                                 : Storage().OpenForClone(path_, CloneOpenMode::kTarget, h);
    if (opened != err::kSuccess) return Fail(opened);
    std::uint64_t length = 0;
    if (Storage().GetLength(h, length) == err::kSuccess && length != 0) sizeBytes_ = length;
    // A disk of no known length would be "erased" by trimming nothing.
    if (sizeBytes_ == 0) return Fail(err::kInvalidData);
    TakeSamples(h);

    SetProgress(8.0f);
    writeStarted_.store(true, std::memory_order_release);
    // The table's result does not stop the erase: TRIM covers its sectors as well.
    tableDeleted_.store(Storage().DeleteLayout(h) == err::kSuccess, std::memory_order_release);

    SetProgress(10.0f);
    for (const TrimStep& s : TrimSteps(sizeBytes_)) {
        if (AbortRequested()) return Fail(err::kCancelled);
        SetProgress(static_cast<float>(10.0 + 80.0 * static_cast<double>(s.offset) /
                                                  static_cast<double>(sizeBytes_)));
        if (const ErrorCode e = Storage().TrimRange(h, s.offset, s.length)) return Fail(e);
        trimmed_.fetch_add(s.length, std::memory_order_acq_rel);
        stepsDone_.fetch_add(1, std::memory_order_acq_rel);
    }
    if (!SamplesErased(h)) return false;
    h.Close();
    SetProgress(100.0f);
    return true;
}

bool clJobDiskErase::AtaSecurityErase() {
    SetProgress(10.0f);
    clAta* ata = disk_ && !disk_->Detached() ? disk_->ata.get() : nullptr;
    if (!ata) return Fail(err::kNotSupported);
    std::array<std::uint8_t, 512> identify{};
    const bool identified = ata->Identify(identify);
    ata->Close();
    if (!identified) return Fail(err::kIoDevice);
    ataState_ = DecodeAtaSecurity(identify);
    if (!ataState_.supported) return Fail(err::kNotSupported);
    // Word 128 decides before any command: each wrong password spends one of the drive's tries,
    // and a frozen drive rejects them all.
    refusal_ = AtaSecurityRefusal(ataState_);
    if (refusal_ != EraseRefusal::kNone) return Fail(EraseRefusalCode(refusal_));
    {
        DeviceHandle h;
        if (Storage().OpenForClone(path_, CloneOpenMode::kSource, h) == err::kSuccess) {
            std::uint64_t length = 0;
            if (Storage().GetLength(h, length) == err::kSuccess && length != 0) sizeBytes_ = length;
            TakeSamples(h);
        }
    }
    SetProgress(30.0f);
    std::uint8_t password[32];
    std::memcpy(password, kErasePassword, sizeof password);
    writeStarted_.store(true, std::memory_order_release);
    if (!ataState_.enabled) {
        SetProgress(70.0f);
        // The master password only: security stays disabled, so no failure can leave the drive
        // locked.
        const bool set = ata->SecuritySetPassword(password);
        ata->Close();
        if (!set) return Fail(err::kIoDevice);
        masterSet_ = true;
    }
    SetProgress(80.0f);
    // One attempt only, never retried.
    const bool erased = ata->SecurityEraseUnit(password);
    ata->Close();
    if (!erased) {
        userElsewhere_ = ataState_.enabled;
        return Fail(ataState_.enabled ? err::kAccessDenied : err::kIoDevice);
    }
    if (!VerifyThroughReadHandle()) return false;
    SetProgress(100.0f);
    return true;
}

bool clJobDiskErase::NvmeSanitize(bool scsiRow) {
    SetProgress(10.0f);
    clNvme* nvme = disk_ && !disk_->Detached() ? disk_->nvme.get() : nullptr;
    if (!nvme) return Fail(err::kNotSupported);
    const std::uint32_t sanicap = nvmeid::Sanicap(nvme->GetController());
    if (sanicap == 0) return Fail(err::kNotSupported);
    // SBC's SANITIZE has no parameter list here, so its row offers block and crypto only.
    const std::uint8_t action = ChooseSanitizeAction(sanicap, sanitizeAction, !scsiRow);
    if (action == 0) return Fail(err::kNotSupported);
    {
        DeviceHandle h;
        if (Storage().OpenForClone(path_, CloneOpenMode::kSource, h) == err::kSuccess) {
            std::uint64_t length = 0;
            if (Storage().GetLength(h, length) == err::kSuccess && length != 0) sizeBytes_ = length;
            TakeSamples(h);
        }
    }
    SetProgress(20.0f);
    AlignedBuffer log;
    if (!log.Allocate(512)) return Fail(err::kNotEnoughMemory);
    SetProgress(50.0f);
    writeStarted_.store(true, std::memory_order_release);
    actionSent_ = action;
    // Row 6 sends SCSI SANITIZE, which Windows translates for the NVMe drive; Linux has no such
    // translation, so there the NVMe command itself goes.
    bool accepted = false;
    if (scsiRow && kScsiSanitizeTranslated) {
        clScsi* scsi = disk_->scsi.scsi.get();
        accepted = ScsiSanitizeStart(scsi, action);
        if (scsi) scsi->Close();
    } else {
        accepted = nvme->Sanitize(SanitizeCdw10(action));
    }
    if (!accepted) {
        nvme->Close();
        return Fail(err::kIoDevice);
    }
    sanitizeStarted_.store(true, std::memory_order_release);
    // The command only starts the sanitize; its end is read from the status log. A read that
    // fails is tried again; without an answer the outcome stays unknown, and nothing more is
    // sent into a sanitize that may still be running.
    constexpr int kLogTries = 50;
    int failedReads = 0;
    for (;;) {
        // A stop cannot reach into the drive: the run stops waiting and the sanitize goes on,
        // not done.
        if (AbortRequested()) {
            nvme->Close();
            sanitizeUnknown_ = true;
            return Fail(err::kCancelled);
        }
        std::memset(log.Data(), 0, log.Size());
        SanitizeStatus st;
        if (!nvme->GetLogPage(0x81, 512 / 4 - 1, log.View()) ||
            !DecodeSanitizeStatus(log.View(), st)) {
            if (++failedReads >= kLogTries) {
                nvme->Close();
                sanitizeUnknown_ = true;
                return Fail(err::kTimeout);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        failedReads = 0;
        if (st.state == sstat::kSucceeded || st.state == sstat::kSucceededNoDeallocate) break;
        if (st.state == sstat::kInProgress) {
            SetProgress(50.0f + static_cast<float>(SanitizePercent(st)) / 2.0f);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        if (st.state == sstat::kFailed) {
            // The drive reported the failure: it leaves the failure state so it can be used.
            nvme->Sanitize(SanitizeCdw10(sanact::kExitFailureMode));
            nvme->Close();
            return Fail(err::kIoDevice);
        }
        nvme->Close();
        sanitizeUnknown_ = true;
        return Fail(err::kInvalidData);
    }
    nvme->Close();
    if (!VerifyThroughReadHandle()) return false;
    SetProgress(100.0f);
    return true;
}

bool clJobDiskErase::VerifyThroughReadHandle() {
    DeviceHandle h;
    if (samples_.empty()) return true;
    if (const ErrorCode e = Storage().OpenForClone(path_, CloneOpenMode::kSource, h))
        return Fail(e);
    return SamplesErased(h);
}

// Sample points spread over the disk, the first and last block included, in whole blocks that
// also suit a handle bypassing the cache.
void clJobDiskErase::TakeSamples(DeviceHandle& h) {
    samples_.clear();
    samplesWithData_ = 0;
    samplesUnchanged_ = 0;
    const std::uint64_t unit = std::max<std::uint64_t>(sectorSize_ ? sectorSize_ : 512, 4096);
    if (sizeBytes_ < unit) return;
    AlignedBuffer buffer;
    if (!buffer.Allocate(static_cast<std::size_t>(unit))) return;
    const std::uint64_t blocks = sizeBytes_ / unit;
    const std::uint64_t count = std::min<std::uint64_t>(kSamples, blocks);
    for (std::uint64_t i = 0; i < count; ++i) {
        Sample s;
        s.offset = count > 1 ? (blocks - 1) * i / (count - 1) * unit : 0;
        if (Storage().ReadAt(h, s.offset, buffer.View()) == err::kSuccess) {
            s.read = true;
            s.data = !AllZero(buffer.View());
            s.hash = Fnv1a(buffer.View());
            if (s.data) ++samplesWithData_;
        }
        samples_.push_back(s);
    }
}

bool clJobDiskErase::SamplesErased(DeviceHandle& h) {
    const std::uint64_t unit = std::max<std::uint64_t>(sectorSize_ ? sectorSize_ : 512, 4096);
    AlignedBuffer buffer;
    if (!samples_.empty() && !buffer.Allocate(static_cast<std::size_t>(unit)))
        return Fail(err::kNotEnoughMemory);
    bool unreadable = false;
    for (const Sample& s : samples_) {
        if (!s.read || !s.data) continue;
        if (Storage().ReadAt(h, s.offset, buffer.View()) != err::kSuccess) {
            unreadable = true;
            continue;
        }
        if (Fnv1a(buffer.View()) == s.hash) ++samplesUnchanged_;
    }
    // The drive took the TRIM as advice and kept the data.
    if (samplesUnchanged_ != 0) return Fail(err::kWriteFault);
    // An erase that cannot be confirmed is not done.
    if (unreadable) return Fail(err::kReadFault);
    return true;
}

} // namespace tvd
