#include "jobs/cljobbenchmark.h"

#include <algorithm>
#include <random>

#include "foundation/alignedbuffer.h"
#include "jobs/clbenchmarkreaditem.h"
#include "jobs/clbenchmarkwriteitem.h"

namespace tvd {

namespace {

struct MeasureSetup {
    BenchMeasure measure;
    const char* name;
    bool write;
    bool sequential;
    std::uint32_t queueDepth;
    std::uint32_t transferSize;
    std::uint64_t minDurationMs;
};

// In the order they run: the random ones read or write 4096 bytes at the start of each MiB, in
// shuffled order, going round the file until the pass has lasted a second.
constexpr MeasureSetup kMeasures[] = {
    {BenchMeasure::kSequentialRead, "Sequential read", false, true, 8, 1u << 20, 0},
    {BenchMeasure::kRandomRead, "Random read", false, false, 32, 4096, 1000},
    {BenchMeasure::kSequentialWrite, "Sequential write", true, true, 8, 1u << 20, 0},
    {BenchMeasure::kRandomWrite, "Random write", true, false, 32, 4096, 1000},
};

} // namespace

const char* clJobBenchMark::MeasureName(BenchMeasure m) {
    for (const MeasureSetup& s : kMeasures)
        if (s.measure == m) return s.name;
    return "";
}

std::uint64_t clJobBenchMark::ReserveFor(std::uint64_t volumeBytes) {
    return std::clamp<std::uint64_t>(volumeBytes / 100, 16 * kMiB, 1024 * kMiB);
}

bool clJobBenchMark::RoomFor(std::uint64_t freeBytes, std::uint64_t volumeBytes,
                             std::uint64_t testSize) {
    return freeBytes > testSize && freeBytes - testSize >= ReserveFor(volumeBytes);
}

clJobBenchMark::Refusal clJobBenchMark::Configure(const std::string& volume, std::uint32_t passes,
                                                  std::uint64_t testSize) {
    items_.clear();
    if (testSize < kMinTestSize || testSize > kMaxTestSize || testSize % kMiB != 0)
        return Refusal::kBadSize;
    if (passes == 0 || passes > kMaxPasses) return Refusal::kBadPasses;
    std::uint64_t total = 0;
    if (volume.empty() || BenchVolumeSpace(volume, freeBytes_, total) != err::kSuccess)
        return Refusal::kNoVolume;
    if (freeBytes_ <= testSize || freeBytes_ - testSize < ReserveFor(total))
        return Refusal::kNoRoom;
    volume_ = volume;
    folderPath_ = BenchFolderPath(volume);
    testSize_ = testSize;
    for (const MeasureSetup& s : kMeasures) {
        ZoltRef<clBenchMarkItem> item;
        if (s.write)
            item = MakeZoltRef<clBenchMarkWriteItem>();
        else
            item = MakeZoltRef<clBenchMarkReadItem>();
        if (!item) {
            items_.clear();
            return Refusal::kNoMemory;
        }
        item->sequential = s.sequential;
        item->queueDepth = s.queueDepth;
        item->transferSize = s.transferSize;
        item->stride = static_cast<std::uint32_t>(kMiB);
        item->blockCount = static_cast<std::uint32_t>(testSize / kMiB);
        item->minDurationMs = s.minDurationMs;
        item->passes = passes;
        items_.push_back(std::move(item));
    }
    return Refusal::kNone;
}

clBenchMarkItem* clJobBenchMark::Measure(BenchMeasure m) const {
    const auto i = static_cast<std::size_t>(m);
    return i < items_.size() ? items_[i].Get() : nullptr;
}

float clJobBenchMark::GetProgress() {
    const std::uint32_t w = weight_;
    if (w == 0 || testSize_ == 0) return 0.0f;
    const std::uint64_t written = Written();
    if (written < testSize_)
        return static_cast<float>(static_cast<double>(written) * 100.0 / testSize_ / w);
    double p = 100.0 / w;
    for (const auto& item : items_) {
        const float ip = item->Progress();
        if (ip > 0.0f) p += static_cast<double>(ip) * item->passes / w;
    }
    return static_cast<float>(std::min(p, 100.0));
}

bool clJobBenchMark::PrepareFile(BenchFolder& folder) {
    if (const ErrorCode e = folder.Create(folderPath_)) {
        SetFailureCode(e);
        return false;
    }
    AlignedBuffer block;
    if (!block.Allocate(kMiB)) {
        SetFailureCode(err::kNoSystemResources);
        return false;
    }
    std::mt19937_64 gen(std::random_device{}());
    for (std::size_t i = 0; i + 8 <= block.Size(); i += 8) {
        const std::uint64_t v = gen();
        for (int k = 0; k < 8; ++k)
            block.Data()[i + k] = static_cast<std::uint8_t>(v >> (8 * k));
    }
    BenchFileWriter writer;
    if (const ErrorCode e = writer.Create(folder)) {
        SetFailureCode(e);
        return false;
    }
    // Every write is checked: a short test file would measure something else.
    while (!AbortRequested() && Written() < testSize_) {
        if (const ErrorCode e = writer.Write(ByteView(block.Data(), block.Size()))) {
            SetFailureCode(e);
            return false;
        }
        written_.fetch_add(kMiB, std::memory_order_acq_rel);
    }
    if (const ErrorCode e = writer.Close()) {
        SetFailureCode(e);
        return false;
    }
    return Written() >= testSize_;
}

bool clJobBenchMark::Work() {
    written_.store(0, std::memory_order_release);
    failedStage_ = "";
    std::uint32_t weight = 1;
    for (const auto& item : items_)
        weight += item->passes;
    weight_ = weight;
    if (items_.empty()) {
        SetFailureCode(err::kInvalidParameter);
        return false;
    }
    BenchFolder folder;
    bool ok = PrepareFile(folder);
    if (!ok) failedStage_ = "prepare";
    for (std::size_t i = 0; ok && i < items_.size(); ++i) {
        if (AbortRequested()) {
            ok = false;
            break;
        }
        if (!items_[i]->Run(folder, AbortFlag())) {
            SetFailureCode(items_[i]->FailureCode());
            failedStage_ = kMeasures[i].name;
            ok = false;
        }
    }
    // Whatever the outcome: the test file and (when empty) its folder go.
    folder.RemoveAll();
    return ok;
}

} // namespace tvd
