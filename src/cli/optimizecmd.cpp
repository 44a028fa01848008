// tarvikdorn optimize DRIVE [--volume ROOT]: the SSD optimization of one of the drive's volumes
// as a job (by default the one with the most free space).
#include <cctype>
#include <string>
#include <vector>

#include "cli/clicommands.h"
#include "cli/clierror.h"
#include "cli/fundiskview.h"
#include "cli/jobrunner.h"
#include "cli/jsonwriter.h"
#include "cli/storagesession.h"
#include "cli/textformat.h"
#include "drive/kernelfun.h"
#include "foundation/errtextutil.h"
#include "jobs/cljobdisktrim.h"

namespace tvd::cli {

namespace {

// The program's own messages.
constexpr const char* kNoPartition = "There is no recognized partition.";
constexpr const char* kDone = "SSD Optimization is done!";
constexpr const char* kAborted = "SSD Optimization is aborted!";
constexpr const char* kFailed = "SSD Optimization fails!";
constexpr const char* kTrimUnsupported = "not supported on this volume";

// A root as the volumes list it: "X:\" on Windows (a bare "x:" too), a path without its
// trailing separators elsewhere.
std::string SameRoot(std::string root) {
#ifdef _WIN32
    for (char& c : root)
        c = c == '/' ? '\\' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (root.size() == 2 && root[1] == ':') root += '\\';
    while (root.size() > 3 && root.back() == '\\')
        root.pop_back();
#else
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
#endif
    return root;
}

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

} // namespace

int CmdOptimize(const Options& o, std::FILE* out, std::FILE* err) {
    std::string drive, root;
    for (std::size_t i = 0; i < o.args.size(); ++i) {
        const std::string& a = o.args[i];
        if (a == "--volume" && i + 1 < o.args.size() && root.empty()) {
            root = o.args[++i];
            if (root.empty()) return Fail(o, out, err, 2, "--volume takes a volume's root");
        } else if (!a.empty() && a[0] != '-' && drive.empty()) {
            drive = a;
        } else {
            return Fail(o, out, err, 2, "optimize takes one DRIVE and [--volume ROOT]");
        }
    }
    if (drive.empty()) return Fail(o, out, err, 2, "optimize takes one DRIVE and [--volume ROOT]");

    StorageSession session;
    std::string problem;
    if (ErrorCode e = session.Open(o.simulate, problem)) return Fail(o, out, err, 1, problem, e);
    clDisk* disk = nullptr;
    ErrorCode why = err::kSuccess;
    ZoltRef<clFunDisk> fd = session.ServedDisk(drive, problem, why, &disk);
    if (!fd) return Fail(o, out, err, 1, problem, why);
    const std::string path = disk->GetPath() ? disk->GetPath() : drive;

    // The volume: the one asked for, when it is the drive's, else the one with most free space.
    const std::vector<TrimVolumeCandidate> volumes = TrimVolumesOf(fd.Get());
    CloseHandles(fd.Get());
    int chosen = -1;
    if (!root.empty()) {
        for (std::size_t i = 0; i < volumes.size() && chosen < 0; ++i)
            if (SameRoot(volumes[i].root) == SameRoot(root)) chosen = static_cast<int>(i);
        if (chosen < 0) return Fail(o, out, err, 3, root + " is not a mounted volume of " + path);
    } else {
        chosen = ChooseTrimVolume(volumes);
        if (chosen < 0) return Fail(o, out, err, 3, std::string(kNoPartition) + " (" + path + ")");
    }
    const TrimVolumeCandidate& volume = volumes[static_cast<std::size_t>(chosen)];

    auto job = MakeZoltRef<clJobDiskTrim>();
    if (!job) return Fail(o, out, err, 1, "Memory allocation failed.");
    job->volume = volume.root;
    const std::string label = "Optimizing " + volume.root;
    const JobRunResult r = RunJobWithProgress(job.Get(), label.c_str(), err);
    if (!r.queued) return Fail(o, out, err, 1, "the job thread could not be started");
    const ErrorCode code = job->FailureCode();
    const bool trimUnsupported = r.outcome == JobOutcome::kFailed && job->FailedStage() == "trim" &&
                                 code == err::kNotSupported;
    int status = JobExitStatus(r);
    if (trimUnsupported) status = 4;

    if (o.json) {
        JsonWriter j;
        j.BeginObject()
            .String("drive", path)
            .String("volume", volume.root)
            .String("folder", job->FolderPath())
            .Bool("folderRemoved", job->FolderRemoved())
            .Unsigned("files", job->FileCount())
            .Unsigned("filesWritten", job->FilesWritten())
            .Unsigned("bytesWritten", job->Written());
        if (job->FileSystemTrimAsked()) {
            j.BeginObject("fileSystemTrim")
                .String("result", job->FileSystemTrimResult() == err::kSuccess ? "done"
                                  : trimUnsupported                            ? kTrimUnsupported
                                                    : ErrorText(job->FileSystemTrimResult()))
                .Unsigned("trimmedBytes", job->TrimmedBytes())
                .EndObject();
        } else {
            j.Null("fileSystemTrim");
        }
        j.String("result", OutcomeWord(r.outcome)).Real("seconds", r.seconds, 3);
        if (r.outcome == JobOutcome::kFailed)
            j.BeginObject("error")
                .String("stage", job->FailedStage())
                .Unsigned("code", code)
                .String("text", trimUnsupported ? kTrimUnsupported : ErrorText(code))
                .EndObject();
        else
            j.Null("error");
        j.EndObject();
        std::fputs(j.Text().c_str(), out);
    } else {
        switch (r.outcome) {
        case JobOutcome::kDone:
            std::fprintf(out, "%s\n", kDone);
            break;
        case JobOutcome::kAborted:
            std::fprintf(out, "%s\n", kAborted);
            break;
        default:
            std::fprintf(out, "%s\n  %s: %s\n", kFailed, job->FailedStage().c_str(),
                         trimUnsupported ? kTrimUnsupported : ErrorText(code).c_str());
            break;
        }
        std::fprintf(out, "  volume %s: %u of %u files of 1 MiB written and removed\n",
                     volume.root.c_str(), job->FilesWritten(), job->FileCount());
        if (job->FileSystemTrimAsked() && job->FileSystemTrimResult() == err::kSuccess)
            std::fprintf(out, "  the file system trimmed %s of free space\n",
                         SizeText(job->TrimmedBytes()).c_str());
        if (!job->FolderRemoved() && !job->FolderPath().empty())
            std::fprintf(out, "  %s stays: something else was put into it\n",
                         job->FolderPath().c_str());
    }
    return status;
}

} // namespace tvd::cli
