// tarvikdorn scan DRIVE [--quick|--full]: the surface scan as a job, read-only.
#include <string>

#include "cli/clicommands.h"
#include "cli/clierror.h"
#include "cli/fundiskview.h"
#include "cli/jobrunner.h"
#include "cli/jsonwriter.h"
#include "cli/storagesession.h"
#include "cli/textformat.h"
#include "drive/kernelfun.h"
#include "foundation/errtextutil.h"
#include "jobs/cljobdisksurfacescan.h"

namespace tvd::cli {

namespace {

struct ScanTexts {
    const char* mode;
    const char* done;
    const char* aborted;
    const char* failed;
};
// The program's own result messages.
constexpr ScanTexts kQuickTexts{"quick", "Diagnotics quick scan is done successsfully!",
                                "Diagnotics quick scan is aborted!",
                                "Diagnotics quick scan fails!"};
constexpr ScanTexts kFullTexts{"full", "Diagnotics full scan is done successsfully!",
                               "Diagnotics full scan is aborted!", "Diagnotics full scan fails!"};

const char* OutcomeWord(JobOutcome o) {
    switch (o) {
    case JobOutcome::kDone:
        return "done";
    case JobOutcome::kAborted:
        return "aborted";
    default:
        return "failed";
    }
}

double Rate(std::uint64_t bytes, double seconds) {
    return seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0.0;
}

} // namespace

int CmdScan(const Options& o, std::FILE* out, std::FILE* err) {
    std::string drive;
    ScanMode mode = ScanMode::kQuick;
    bool modeGiven = false;
    for (const std::string& a : o.args) {
        if (a == "--quick" || a == "--full") {
            const ScanMode m = a == "--quick" ? ScanMode::kQuick : ScanMode::kFull;
            if (modeGiven && m != mode) {
                return Fail(o, out, err, 2, "scan takes --quick or --full, not both");
            }
            mode = m;
            modeGiven = true;
        } else if (!a.empty() && a[0] != '-' && drive.empty()) {
            drive = a;
        } else {
            return Fail(o, out, err, 2, "scan takes one DRIVE and --quick or --full");
        }
    }
    if (drive.empty()) return Fail(o, out, err, 2, "scan takes one DRIVE and --quick or --full");
    const ScanTexts& texts = mode == ScanMode::kQuick ? kQuickTexts : kFullTexts;

    StorageSession session;
    std::string problem;
    if (ErrorCode e = session.Open(o.simulate, problem)) return Fail(o, out, err, 1, problem, e);
    clDisk* disk = nullptr;
    ErrorCode why = err::kSuccess;
    ZoltRef<clFunDisk> fd = session.ServedDisk(drive, problem, why, &disk);
    if (!fd) return Fail(o, out, err, 1, problem, why);
    // The scan reads through a handle of its own; the interfaces' handles are not needed.
    CloseHandles(fd.Get());
    auto job = MakeZoltRef<clJobDiskSurfaceScan>();
    if (!job) return Fail(o, out, err, 1, "Memory allocation failed.");
    job->SetMode(mode);
    job->SetDisk(fd.Get());
    const std::string path = disk->GetPath() ? disk->GetPath() : drive;
    const std::string label = std::string("Scanning ") + path + " (" + texts.mode + ")";
    const JobRunResult r = RunJobWithProgress(job.Get(), label.c_str(), err);
    if (!r.queued) return Fail(o, out, err, 1, "the job thread could not be started");
    const ErrorCode code = job->FailureCode();
    const std::uint32_t sectorSize = fd->bytesPerSector ? fd->bytesPerSector : 512;

    if (o.json) {
        JsonWriter j;
        j.BeginObject()
            .String("drive", path)
            .String("mode", texts.mode)
            .String("result", OutcomeWord(r.outcome))
            .Unsigned("points", job->points)
            .Unsigned("pointsRead", job->DonePoints())
            .Unsigned("stride", job->Stride())
            .Unsigned("bytesRead", job->BytesRead())
            .Real("seconds", r.seconds, 3)
            .Real("megabytesPerSecond", Rate(job->BytesRead(), r.seconds), 1);
        if (r.outcome == JobOutcome::kDone || r.outcome == JobOutcome::kAborted) {
            j.Null("error");
        } else {
            j.BeginObject("error").Unsigned("code", code).String("text", ErrorText(code));
            if (job->HasReadError())
                j.Unsigned("offset", job->ErrorOffset())
                    .Unsigned("length", job->ErrorLength())
                    .Unsigned("firstSector", job->ErrorOffset() / sectorSize)
                    .Unsigned("lastSector",
                              (job->ErrorOffset() + job->ErrorLength()) / sectorSize - 1)
                    .Unsigned("point", job->ErrorPoint() + 1);
            j.EndObject();
        }
        j.EndObject();
        std::fputs(j.Text().c_str(), out);
    } else {
        switch (r.outcome) {
        case JobOutcome::kDone:
            std::fprintf(out, "%s\n", texts.done);
            break;
        case JobOutcome::kAborted:
            std::fprintf(out, "%s\n", texts.aborted);
            break;
        default:
            std::fprintf(out, "%s\n", texts.failed);
            if (job->HasReadError())
                std::fprintf(out,
                             "  read error in sectors %llu to %llu (bytes from %llu, sample point "
                             "%u of %u): %s\n",
                             static_cast<unsigned long long>(job->ErrorOffset() / sectorSize),
                             static_cast<unsigned long long>(
                                 (job->ErrorOffset() + job->ErrorLength()) / sectorSize - 1),
                             static_cast<unsigned long long>(job->ErrorOffset()),
                             job->ErrorPoint() + 1, job->points, ErrorText(code).c_str());
            else
                std::fprintf(out, "  %s\n", ErrorText(code).c_str());
            break;
        }
        std::fprintf(out, "  %u of %u sample points read, %s in %.1f s (%.1f MB/s)\n",
                     job->DonePoints(), job->points, SizeText(job->BytesRead()).c_str(), r.seconds,
                     Rate(job->BytesRead(), r.seconds));
    }
    return JobExitStatus(r);
}

} // namespace tvd::cli
