// tarvikdorn benchmark VOLUME [--size N] [--passes P]: the four transfer rates of a volume through
// a test file on it, as a job.
#include <charconv>
#include <string>

#include "cli/clicommands.h"
#include "cli/clierror.h"
#include "cli/jobrunner.h"
#include "cli/jsonwriter.h"
#include "cli/textformat.h"
#include "foundation/errtextutil.h"
#include "jobs/cljobbenchmark.h"

namespace tvd::cli {

namespace {

constexpr BenchMeasure kOrder[] = {BenchMeasure::kSequentialRead, BenchMeasure::kRandomRead,
                                   BenchMeasure::kSequentialWrite, BenchMeasure::kRandomWrite};
constexpr const char* kJsonNames[] = {"sequentialRead", "randomRead", "sequentialWrite",
                                      "randomWrite"};

// "16M", "512MB", "1G", "64GiB", or a plain number of MB (1 MB = 1 MiB, as the page counts).
bool ParseSize(const std::string& text, std::uint64_t& bytes) {
    std::uint64_t n = 0;
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, n);
    if (ec != std::errc() || p == text.data()) return false;
    std::string unit(p, end);
    for (char& c : unit)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    std::uint64_t scale = 0;
    if (unit.empty() || unit == "M" || unit == "MB" || unit == "MIB")
        scale = 1ull << 20;
    else if (unit == "G" || unit == "GB" || unit == "GIB")
        scale = 1ull << 30;
    else
        return false;
    if (n > UINT64_MAX / scale) return false;
    bytes = n * scale;
    return true;
}

const char* RefusalText(clJobBenchMark::Refusal r) {
    switch (r) {
    case clJobBenchMark::Refusal::kBadSize:
        return "the test size must be a whole number of MB from 16 MB to 64 GB";
    case clJobBenchMark::Refusal::kBadPasses:
        return "the passes must be 1 to 9";
    case clJobBenchMark::Refusal::kNoVolume:
        return "no such volume (give a mounted folder, or a drive letter on Windows)";
    case clJobBenchMark::Refusal::kNoRoom:
        return "not enough free space for the test file";
    case clJobBenchMark::Refusal::kNoMemory:
        return "Memory allocation failed.";
    default:
        return "";
    }
}

int Usage(const Options& o, std::FILE* out, std::FILE* err) {
    return Fail(o, out, err, 2, "benchmark takes VOLUME [--size N] [--passes P]");
}

} // namespace

int CmdBenchmark(const Options& o, std::FILE* out, std::FILE* err) {
    std::string volume;
    std::uint64_t size = 1ull << 30;
    std::uint32_t passes = 5;
    for (std::size_t i = 0; i < o.args.size(); ++i) {
        const std::string& a = o.args[i];
        if (a == "--size" && i + 1 < o.args.size()) {
            if (!ParseSize(o.args[++i], size))
                return Fail(o, out, err, 2, "--size takes a size such as 16M, 512M or 1G");
        } else if (a == "--passes" && i + 1 < o.args.size()) {
            const std::string& v = o.args[++i];
            auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), passes);
            if (ec != std::errc() || p != v.data() + v.size())
                return Fail(o, out, err, 2, "--passes takes a number from 1 to 9");
        } else if (!a.empty() && a[0] != '-' && volume.empty()) {
            volume = a;
        } else {
            return Usage(o, out, err);
        }
    }
    if (volume.empty()) return Usage(o, out, err);

    auto job = MakeZoltRef<clJobBenchMark>();
    if (!job) return Fail(o, out, err, 1, "Memory allocation failed.");
    const clJobBenchMark::Refusal refusal = job->Configure(volume, passes, size);
    if (refusal == clJobBenchMark::Refusal::kBadSize ||
        refusal == clJobBenchMark::Refusal::kBadPasses)
        return Fail(o, out, err, 2, RefusalText(refusal));
    if (refusal == clJobBenchMark::Refusal::kNoRoom)
        return Fail(o, out, err, 3,
                    std::string("Benchmark fails! ") + RefusalText(refusal) + " on " + volume +
                        ": " + SizeText(job->FreeBytes()) + " free, the test file takes " +
                        SizeText(size) + " and the volume must keep " +
                        SizeText(clJobBenchMark::ReserveFor(job->VolumeBytes())));
    if (refusal != clJobBenchMark::Refusal::kNone)
        return Fail(o, out, err, refusal == clJobBenchMark::Refusal::kNoVolume ? 3 : 1,
                    std::string("Benchmark fails! ") + volume + ": " + RefusalText(refusal));
    const std::string label = "Benchmark of " + volume;
    const JobRunResult r = RunJobWithProgress(job.Get(), label.c_str(), err);
    if (!r.queued) return Fail(o, out, err, 1, "the job thread could not be started");
    const clBenchMarkItem* first = job->Measure(BenchMeasure::kSequentialRead);
    const char* method = first && first->Method()[0] ? first->Method() : "";
    const ErrorCode code = job->FailureCode();

    if (o.json) {
        JsonWriter j;
        j.BeginObject()
            .String("volume", volume)
            .String("folder", job->FolderPath())
            .Unsigned("testSize", size)
            .Unsigned("passes", passes)
            .String("method", method)
            .String("result", r.outcome == JobOutcome::kDone      ? "done"
                              : r.outcome == JobOutcome::kAborted ? "aborted"
                                                                  : "failed")
            .Real("seconds", r.seconds, 3);
        j.BeginObject("megabytesPerSecond");
        for (std::size_t i = 0; i < 4; ++i) {
            const clBenchMarkItem* m = job->Measure(kOrder[i]);
            if (m && m->PassIndex() > 0)
                j.Real(kJsonNames[i], m->BestSpeed(), 2);
            else
                j.Null(kJsonNames[i]);
        }
        j.EndObject();
        if (r.outcome == JobOutcome::kFailed)
            j.BeginObject("error")
                .String("stage", job->FailedStage())
                .Unsigned("code", code)
                .String("text", ErrorText(code))
                .EndObject();
        else
            j.Null("error");
        j.EndObject();
        std::fputs(j.Text().c_str(), out);
    } else {
        if (r.outcome == JobOutcome::kAborted) std::fprintf(out, "Benchmark is aborted!\n");
        if (r.outcome == JobOutcome::kFailed)
            std::fprintf(out, "Benchmark fails! %s: %s\n", job->FailedStage(),
                         ErrorText(code).c_str());
        for (BenchMeasure m : kOrder) {
            const clBenchMarkItem* item = job->Measure(m);
            if (item && item->PassIndex() > 0)
                std::fprintf(out, "%-17s %10.2f MB/s\n", clJobBenchMark::MeasureName(m),
                             item->BestSpeed());
            else
                std::fprintf(out, "%-17s %10s\n", clJobBenchMark::MeasureName(m), "-");
        }
        std::fprintf(out, "(%s test file, %u pass%s, %s requests, %.1f s)\n",
                     SizeText(size).c_str(), passes, passes == 1 ? "" : "es", method, r.seconds);
    }
    return JobExitStatus(r);
}

} // namespace tvd::cli
