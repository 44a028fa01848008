// The secure erase of a whole drive by the method fixed when the job is made (EraseMethodFor).
// The refusals are checked again when the work starts; nothing is written to a refused disk.
// TRIM is only advice to a drive, so sectors sampled before the first write are read again at
// the end: one that still holds its old non-zero contents fails the erase.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "drive/clfundisk.h"
#include "jobs/clkernelbasicjob.h"
#include "jobs/fundiskeraseutil.h"
#include "storage/storageplatform.h"

namespace tvd {

// One TRIM request of the whole-disk pass: [offset, offset + length).
struct TrimStep {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};
inline constexpr std::uint64_t kEraseTrimStep = 256ull << 20;
// The requests that cover [0, sizeBytes) in steps of at most `step` bytes.
std::vector<TrimStep> TrimSteps(std::uint64_t sizeBytes, std::uint64_t step = kEraseTrimStep);

class clJobDiskErase : public clKernelStdJob {
public:
    TVD_ISA(clJobDiskErase, clKernelStdJob)

    static constexpr std::uint32_t kMinPolls = 30;
    static constexpr std::uint32_t kSamples = 32;

    clJobDiskErase() = default;
    // The drive, its path and size are taken now; the job keeps a reference.
    void SetDisk(clFunDisk* fd);
    // A whole disk by its device path and geometry alone (no functional disk: no properties
    // refreshed, no interfaces closed afterwards).
    void SetPath(const std::string& path, std::uint32_t sectorSize, std::uint64_t sizeBytes);

    float GetProgress() override { return progress_.load(std::memory_order_acquire); }

    std::uint8_t method = erasemethod::kNone;
    // NVMe SANACT numbering: 2 block erase, 3 overwrite, 4 cryptographic erase.
    std::uint8_t sanitizeAction = 0;

    // What the run reached, readable while it runs.
    EraseRefusal Refusal() const { return refusal_; }
    const std::string& RefusalWhere() const { return where_; }
    bool TableDeleted() const { return tableDeleted_.load(std::memory_order_acquire); }
    bool WriteStarted() const { return writeStarted_.load(std::memory_order_acquire); }
    std::uint64_t TrimmedBytes() const { return trimmed_.load(std::memory_order_acquire); }
    std::uint32_t TrimStepsDone() const { return stepsDone_.load(std::memory_order_acquire); }
    std::uint64_t SizeBytes() const { return sizeBytes_; }
    // Sectors sampled before the erase that held data, and of those, ones still unchanged.
    std::uint32_t SamplesWithData() const { return samplesWithData_; }
    std::uint32_t SamplesUnchanged() const { return samplesUnchanged_; }
    // ATA: the security state IDENTIFY showed when the run began, whether this run set the
    // master password, and whether ERASE UNIT was rejected on a drive whose security another
    // program had enabled (a user password set elsewhere).
    const AtaSecurityState& AtaState() const { return ataState_; }
    bool MasterPasswordSet() const { return masterSet_; }
    bool UserPasswordElsewhere() const { return userElsewhere_; }
    // Sanitize: the action sent (0 before), whether the drive took the command, and whether
    // its end could not be confirmed from the status log.
    std::uint8_t SanitizeActionSent() const { return actionSent_; }
    bool SanitizeStarted() const { return sanitizeStarted_.load(std::memory_order_acquire); }
    bool SanitizeOutcomeUnknown() const { return sanitizeUnknown_; }
    // KeepAwake's answer when switched on (kNotSupported: the system may sleep).
    ErrorCode KeepAwakeResult() const { return keepAwake_; }

protected:
    bool Work() override;

private:
    struct Sample {
        std::uint64_t offset = 0;
        std::uint64_t hash = 0;
        bool read = false;
        bool data = false; // not all zeros
    };
    bool Execute();
    bool Fail(ErrorCode e);
    bool TrimWholeDisk();
    bool AtaSecurityErase();
    bool NvmeSanitize(bool scsiRow);
    bool VerifyThroughReadHandle();
    void TakeSamples(DeviceHandle& h);
    bool SamplesErased(DeviceHandle& h);
    void SetProgress(float p) { progress_.store(p, std::memory_order_release); }

    ZoltRef<clFunDisk> disk_;
    std::string path_;
    std::uint32_t sectorSize_ = 0;
    std::uint64_t sizeBytes_ = 0;
    std::atomic<float> progress_{0.0f};
    EraseRefusal refusal_ = EraseRefusal::kNone;
    // The disk's volumes, locked and dismounted while the erase runs (Windows).
    EraseVolumeLock volumeLock_;
    std::string where_;
    std::atomic<bool> tableDeleted_{false};
    std::atomic<bool> writeStarted_{false};
    std::atomic<std::uint64_t> trimmed_{0};
    std::atomic<std::uint32_t> stepsDone_{0};
    std::vector<Sample> samples_;
    std::uint32_t samplesWithData_ = 0;
    std::uint32_t samplesUnchanged_ = 0;
    ErrorCode keepAwake_ = err::kSuccess;
    AtaSecurityState ataState_;
    bool masterSet_ = false;
    std::uint8_t actionSent_ = 0;
    std::atomic<bool> sanitizeStarted_{false};
    bool sanitizeUnknown_ = false;
    bool userElsewhere_ = false;
};

} // namespace tvd
