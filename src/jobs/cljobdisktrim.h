// The SSD optimization of one volume: up to ten files of 1 MiB written into a new temporary
// folder on the volume, one second apart, then deleted with the folder, so that the file system
// hands the freed blocks to the drive. Linux file systems do that only when mounted with
// "discard", so there the job ends with the file system's trim of all its free space (FITRIM,
// as fstrim does). Every write is checked; the files and the folder go whatever the outcome.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "drive/clfundisk.h"
#include "jobs/clkernelbasicjob.h"

namespace tvd {

// A volume the optimization may work on.
struct TrimVolumeCandidate {
    char letter = 0;  // 'A'-'Z' on Windows, 0 elsewhere
    std::string root; // "X:\" or a mount point
    std::uint64_t freeBytes = 0;
};

// The volume with the most free bytes, in the given order (letter order on Windows): only a
// volume with more free bytes than the best so far, starting from 0, is taken, so among equals
// the first wins and a volume without free space never does. -1 when none qualifies.
int ChooseTrimVolume(const std::vector<TrimVolumeCandidate>& volumes);
// The disk's volumes with a root (Windows: its lettered volumes, in letter order), with their
// free bytes; a volume whose free space cannot be measured is left out.
std::vector<TrimVolumeCandidate> TrimVolumesOf(clFunDisk* fd);

class clJobDiskTrim : public clKernelStdJob {
public:
    TVD_ISA(clJobDiskTrim, clKernelStdJob)

    static constexpr std::uint32_t kMinPolls = 100;
    static constexpr std::uint32_t kMaxFiles = 10;
    static constexpr std::uint32_t kFileSize = 1u << 20;
    static constexpr std::uint32_t kMinBufferSize = 8u << 10;
#ifdef _WIN32
    static constexpr bool kFileSystemTrim = false;
#else
    static constexpr bool kFileSystemTrim = true;
#endif

    // The volume: a drive letter or root on Windows, a mount point (or any folder) on Linux.
    std::string volume;
    // Pause between two files, sampled for the abort request every 100 ms.
    std::uint32_t pauseMs = 1000;
    // Whether the file system trims its free space after the files are gone.
    bool fileSystemTrim = kFileSystemTrim;

    float GetProgress() override;

    std::uint32_t FileCount() const {
        return fileCount_.load(std::memory_order_acquire);
    }
    std::uint32_t FilesWritten() const {
        return filesWritten_.load(std::memory_order_acquire);
    }
    std::uint64_t Written() const {
        return written_.load(std::memory_order_acquire);
    }
    std::uint64_t Total() const {
        return total_.load(std::memory_order_acquire);
    }
    std::uint32_t BufferSize() const {
        return bufferSize_;
    }
    // The folder the run made (kept after its removal, for the report); empty before.
    const std::string& FolderPath() const {
        return folderPath_;
    }
    // False when the folder stayed (someone else put an entry into it).
    bool FolderRemoved() const {
        return folderRemoved_;
    }
    // The file system's trim: its result (kNotSupported: the volume has none) and the bytes it
    // reported. Not asked (kNotSupported too) where fileSystemTrim is false.
    bool FileSystemTrimAsked() const {
        return trimAsked_;
    }
    ErrorCode FileSystemTrimResult() const {
        return trimResult_;
    }
    std::uint64_t TrimmedBytes() const {
        return trimmed_;
    }
    // "buffer", "space", "folder", "file N", "trim"; empty when nothing failed.
    const std::string& FailedStage() const {
        return failedStage_;
    }

protected:
    bool Work() override;
    // The wait after `filesDone` files, ending early on an abort request.
    virtual void Pause(std::uint32_t filesDone);

private:
    bool Fail(ErrorCode e, std::string stage);

    std::uint32_t bufferSize_ = 0;
    std::atomic<std::uint32_t> fileCount_{0};
    std::atomic<std::uint32_t> filesWritten_{0};
    std::atomic<std::uint64_t> total_{0};
    std::atomic<std::uint64_t> written_{0};
    std::string folderPath_;
    bool folderRemoved_ = false;
    bool trimAsked_ = false;
    ErrorCode trimResult_ = err::kNotSupported;
    std::uint64_t trimmed_ = 0;
    std::string failedStage_;
};

} // namespace tvd
