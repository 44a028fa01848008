#include "jobs/cljobdisktrim.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <new>
#include <thread>

#include "drive/fundiskpartitionsutil.h"
#include "foundation/textconvutil.h"
#include "jobs/storagetrimutil.h"

namespace tvd {

int ChooseTrimVolume(const std::vector<TrimVolumeCandidate>& volumes) {
    int best = -1;
    std::uint64_t most = 0;
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        if (volumes[i].freeBytes > most) {
            most = volumes[i].freeBytes;
            best = static_cast<int>(i);
        }
    }
    return best;
}

std::vector<TrimVolumeCandidate> TrimVolumesOf(clFunDisk* fd) {
    std::vector<TrimVolumeCandidate> out;
    const PartitionSnapshot* s = GetPartitions(fd);
    if (!s) return out;
    for (const PartitionSnapshotEntry& e : s->entries) {
        if (!e.hasVolume || e.root.empty()) continue;
#ifdef _WIN32
        if (e.letter < 'A' || e.letter > 'Z') continue;
#endif
        TrimVolumeCandidate c;
        c.letter = e.letter;
        c.root = Utf16ToUtf8(e.root);
        if (TrimVolumeSpace(c.root, c.freeBytes) != err::kSuccess) continue;
        out.push_back(std::move(c));
    }
#ifdef _WIN32
    std::stable_sort(out.begin(), out.end(),
                     [](const TrimVolumeCandidate& a, const TrimVolumeCandidate& b) {
                         return a.letter < b.letter;
                     });
#endif
    return out;
}

float clJobDiskTrim::GetProgress() {
    if (Done() && !AbortRequested() && !IsFailed()) return 100.0f;
    const std::uint64_t total = Total();
    if (total == 0) return 0.0f;
    const double p = static_cast<double>(Written()) * 100.0 / static_cast<double>(total);
    // The file system's trim is the last step: the files alone are not all of the work.
    const double cap = fileSystemTrim ? 99.0 : 100.0;
    return static_cast<float>(std::min(p, cap));
}

bool clJobDiskTrim::Fail(ErrorCode e, std::string stage) {
    SetFailureCode(e ? e : err::kGenFailure);
    if (failedStage_.empty()) failedStage_ = std::move(stage);
    return false;
}

void clJobDiskTrim::Pause(std::uint32_t) {
    for (std::uint32_t slept = 0; slept < pauseMs && !AbortRequested(); slept += 100)
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::min<std::uint32_t>(100, pauseMs - slept)));
}

bool clJobDiskTrim::Work() {
    fileCount_.store(0, std::memory_order_release);
    filesWritten_.store(0, std::memory_order_release);
    total_.store(0, std::memory_order_release);
    written_.store(0, std::memory_order_release);
    folderPath_.clear();
    folderRemoved_ = false;
    trimAsked_ = false;
    trimResult_ = err::kNotSupported;
    trimmed_ = 0;
    failedStage_.clear();
    if (volume.empty()) return Fail(err::kInvalidParameter, "volume");

    // The largest buffer to be had, from 1 MiB down to 8 KiB, zero-filled.
    std::unique_ptr<std::uint8_t[]> buffer;
    for (std::uint32_t size = kFileSize; size >= kMinBufferSize && !buffer; size /= 2) {
        buffer.reset(new (std::nothrow) std::uint8_t[size]());
        if (buffer) bufferSize_ = size;
    }
    if (!buffer) return Fail(err::kNotEnoughMemory, "buffer");

    std::uint64_t freeBytes = 0;
    if (const ErrorCode e = TrimVolumeSpace(volume, freeBytes)) return Fail(e, "space");
    TrimFolder folder;
    if (const ErrorCode e = folder.Create(volume)) return Fail(e, "folder");
    folderPath_ = folder.Path();
    const std::uint32_t count =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(freeBytes / kFileSize, kMaxFiles));
    fileCount_.store(count, std::memory_order_release);
    total_.store(std::uint64_t(count) * kFileSize, std::memory_order_release);

    bool ok = true;
    for (std::uint32_t i = 0; ok && i < count && !AbortRequested(); ++i) {
        const std::string stage = "file " + std::to_string(i);
        if (const ErrorCode e = folder.OpenFile(i)) {
            ok = Fail(e, stage);
            break;
        }
        std::uint64_t inFile = 0;
        while (inFile < kFileSize && !AbortRequested()) {
            const std::uint32_t n = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(bufferSize_, kFileSize - inFile));
            if (const ErrorCode e = folder.Write(ByteView(buffer.get(), n))) {
                ok = Fail(e, stage);
                break;
            }
            inFile += n;
            written_.fetch_add(n, std::memory_order_acq_rel);
        }
        if (const ErrorCode e = folder.CloseFile(); e && ok) ok = Fail(e, stage);
        if (ok && inFile == kFileSize) filesWritten_.fetch_add(1, std::memory_order_acq_rel);
        if (ok && i + 1 < count) Pause(i + 1);
    }
    // Whatever happened: the files this run made go, then the folder.
    folder.RemoveAll();
    folderRemoved_ = folder.Path().empty();
    if (!ok || AbortRequested()) return false;

    if (fileSystemTrim) {
        trimAsked_ = true;
        trimResult_ = TrimFreeSpace(volume, trimmed_);
        if (trimResult_ != err::kSuccess) return Fail(trimResult_, "trim");
    }
    return true;
}

} // namespace tvd
