// tarvikdorn erase DRIVE: the secure erase of a whole drive as a job, after the refusals and two
// questions (or --yes). --check writes nothing and tells what an erase would do.
#include <array>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/clicommands.h"
#include "cli/console.h"
#include "cli/jobrunner.h"
#include "cli/jsonwriter.h"
#include "cli/storagesession.h"
#include "cli/textformat.h"
#include "cli/tracestorage.h"
#include "drive/kernelfun.h"
#include "foundation/errtextutil.h"
#include "jobs/cljobdiskerase.h"
#include "jobs/nvmesanitizeutil.h"
#include "storage/clata.h"
#include "storage/clnvme.h"
#include "storage/nvmeidentifyutil.h"

namespace tvd::cli {

namespace {

constexpr const char* kUsage = "usage: tarvikdorn erase DRIVE [--method "
                               "trim|nvme-sanitize|scsi-sanitize|ata-security] "
                               "[--action block|crypto|overwrite] [--check] [--trace] [--yes]\n";
// The program's own questions and results.
constexpr const char* kAskErase = "The operation will erase all data. Are you sure to do it?";
constexpr const char* kAskLast = "The last warning. Are you sure to do security erase?";
constexpr const char* kEraseDone = "Security Erase done.";
constexpr const char* kEraseFailed = "Security Erase failed.";

struct EraseArgs {
    std::string drive;
    std::string method;
    std::string action;
    bool check = false;
    bool trace = false;
    bool yes = false;
};

int ParseArgs(const Options& o, EraseArgs& a, std::FILE* err) {
    for (std::size_t i = 0; i < o.args.size(); ++i) {
        const std::string& s = o.args[i];
        if (s == "--check") {
            a.check = true;
        } else if (s == "--trace") {
            a.trace = true;
        } else if (s == "--yes") {
            a.yes = true;
        } else if ((s == "--method" || s == "--action") && i + 1 < o.args.size()) {
            (s == "--method" ? a.method : a.action) = o.args[++i];
        } else if (!s.empty() && s[0] != '-' && a.drive.empty()) {
            a.drive = s;
        } else {
            std::fputs(kUsage, err);
            return 2;
        }
    }
    if (a.drive.empty() || (!a.method.empty() && EraseMethodByName(a.method) == 0) ||
        (!a.action.empty() && a.action != "block" && a.action != "crypto" &&
         a.action != "overwrite")) {
        std::fputs(kUsage, err);
        return 2;
    }
    return 0;
}

// Yes only for an answer that says so; anything else, end of input included, is the default No.
bool Ask(const char* question, std::FILE* out) {
    std::fprintf(out, "%s [y/N] ", question);
    std::fflush(out);
    char line[64] = {};
    if (!std::fgets(line, sizeof line, stdin)) return false;
    const std::string answer(line);
    return answer == "y\n" || answer == "Y\n" || answer == "yes\n" || answer == "YES\n" ||
           answer == "Yes\n";
}

// What the run reached, for a failed or stopped erase.
std::string Reached(const clJobDiskErase& job) {
    if (!job.WriteStarted()) return "nothing was written";
    std::string text = job.TableDeleted() ? "table deleted" : "table not deleted";
    if (job.method == erasemethod::kAtaSecurity) {
        text = job.MasterPasswordSet() ? "master password set" : "no password set";
        text += ", SECURITY ERASE UNIT sent";
    }
    if (job.method == erasemethod::kNvmeSanitize || job.method == erasemethod::kScsiSanitize) {
        text = std::string("sanitize (") + SanitizeActionName(job.SanitizeActionSent()) + ") " +
               (job.SanitizeStarted() ? "started" : "not started");
        if (job.SanitizeOutcomeUnknown()) text += ", outcome unknown: still running, not done";
    }
    if (job.method == erasemethod::kTrim) {
        const std::uint64_t size = job.SizeBytes();
        const unsigned percent = size ? static_cast<unsigned>(job.TrimmedBytes() * 100 / size) : 0;
        if (job.TrimmedBytes() == size && size != 0)
            text += ", TRIM of every byte sent";
        else
            text += ", TRIM stopped at " + std::to_string(percent) + " %";
    }
    if (job.SamplesUnchanged() != 0)
        text += ", " + std::to_string(job.SamplesUnchanged()) + " of " +
                std::to_string(job.SamplesWithData()) +
                " sampled sectors still hold their old data (the drive ignored the TRIM)";
    return text;
}

void WriteRefusalJson(JsonWriter& j, EraseRefusal r, const std::string& where) {
    if (r == EraseRefusal::kNone) {
        j.Null("refusal");
        return;
    }
    j.BeginObject("refusal").String("text", EraseRefusalText(r));
    if (!where.empty()) j.String("where", where);
    j.EndObject();
}

void PrintRefusal(std::FILE* err, EraseRefusal r, const std::string& where) {
    std::fprintf(err, "tarvikdorn: refused: %s", EraseRefusalText(r));
    if (!where.empty()) std::fprintf(err, " (%s)", where.c_str());
    std::fputs("\n", err);
}

} // namespace

int CmdErase(const Options& o, std::FILE* out, std::FILE* err) {
    EraseArgs a;
    if (int status = ParseArgs(o, a, err)) return status;

    StorageSession session;
    std::string problem;
    // The erase writes: simulated drives get their images.
    if (ErrorCode e = session.Open(o.simulate, problem, err, false)) {
        std::fprintf(err, "tarvikdorn: %s: %s\n", problem.c_str(), ErrorText(e).c_str());
        return 1;
    }
    std::optional<ScopedTrace> trace;
    if (a.trace) trace.emplace(err);
    clDisk* disk = session.FindDisk(a.drive);
    if (!disk) {
        std::fprintf(err, "tarvikdorn: no drive %s (see tarvikdorn list)\n", a.drive.c_str());
        return 1;
    }
    SystemVolume volume;
    ZoltRef<clFunDisk> fd =
        FunDiskCreate(disk, FindSystemDisk(session.Registry().FindList(devtype::kDisk), volume));
    if (!fd) {
        std::fprintf(err,
                     "tarvikdorn: %s is not a drive this program serves (no media, a removable "
                     "USB medium, or an unsupported bus)\n",
                     a.drive.c_str());
        return 1;
    }
    const std::string path = disk->GetPath() ? disk->GetPath() : a.drive;

    // The refusals come before any question.
    std::string where;
    EraseRefusal refusal = CheckEraseAllowed(fd.Get(), &where);
    std::uint8_t method = EraseMethodFor(fd.Get());
    bool namedMissing = false;
    if (!a.method.empty()) {
        const std::uint8_t named = EraseMethodByName(a.method);
        namedMissing = !EraseMethodApplies(fd.Get(), named);
        method = named;
    }
    // A sanitize erases every namespace of the controller, not only this disk.
    if (refusal == EraseRefusal::kNone && EraseMethodIsSanitize(method))
        refusal = CheckSanitizeAllowed(fd.Get(), &where);
    if (refusal == EraseRefusal::kNone && (method == erasemethod::kNone || namedMissing))
        refusal = EraseRefusal::kNoMethod;
    // The ATA security state decides before any question, as the job decides again.
    AtaSecurityState ata;
    if (fd->ata) {
        std::array<std::uint8_t, 512> identify{};
        if (fd->ata->Identify(identify)) ata = DecodeAtaSecurity(identify);
        fd->ata->Close();
    }
    if (refusal == EraseRefusal::kNone && method == erasemethod::kAtaSecurity)
        refusal = AtaSecurityRefusal(ata);
    // Sanitize: the action the drive offers (block, else crypto, else overwrite), or the one
    // asked for; one it lacks is refused unsent.
    const bool sanitize =
        method == erasemethod::kNvmeSanitize || method == erasemethod::kScsiSanitize;
    const std::uint32_t sanicap = fd->nvme ? nvmeid::Sanicap(fd->nvme->GetController()) : 0;
    std::uint8_t action = 0;
    std::string sanitizeLog;
    if (sanitize && fd->nvme) {
        action = ChooseSanitizeAction(sanicap, SanitizeActionByName(a.action.c_str()),
                                      method != erasemethod::kScsiSanitize);
        std::array<std::uint8_t, 512> log{};
        SanitizeStatus st;
        if (fd->nvme->GetLogPage(0x81, 512 / 4 - 1, log) && DecodeSanitizeStatus(log, st)) {
            static constexpr const char* kStates[] = {"never sanitized", "last sanitize done",
                                                      "sanitize running", "last sanitize failed",
                                                      "last sanitize done (no deallocation)"};
            sanitizeLog = st.state < 5 ? kStates[st.state] : "unknown state";
        }
        fd->nvme->Close();
    }
    const bool carriedOut = method == erasemethod::kTrim || method == erasemethod::kAtaSecurity ||
                            (sanitize && fd->nvme && sanicap != 0);
    if (refusal == EraseRefusal::kNone && sanitize && carriedOut && action == 0)
        refusal = EraseRefusal::kNoMethod;

    if (a.check) {
        if (o.json) {
            JsonWriter j;
            j.BeginObject().String("drive", path).String("method", EraseMethodName(method));
            j.Bool("methodAvailable", method != erasemethod::kNone && !namedMissing);
            WriteRefusalJson(j, refusal, where);
            j.Bool("wouldErase", refusal == EraseRefusal::kNone && carriedOut);
            if (fd->ata)
                j.String("ataSecurity", AtaSecurityStateName(ata));
            else
                j.Null("ataSecurity");
            if (sanitize) {
                j.String("sanitizeAction", SanitizeActionName(action));
                j.String("sanitizeLog", sanitizeLog);
            }
            j.EndObject();
            std::fputs(j.Text().c_str(), out);
        } else {
            std::fprintf(out, "drive: %s\nmethod: %s%s\n", path.c_str(), EraseMethodName(method),
                         namedMissing ? " (not offered by the drive)" : "");
            if (fd->ata) std::fprintf(out, "ATA security: %s\n", AtaSecurityStateName(ata));
            if (sanitize)
                std::fprintf(out, "sanitize action: %s\nsanitize log: %s\n",
                             SanitizeActionName(action),
                             sanitizeLog.empty() ? "unreadable" : sanitizeLog.c_str());
            if (refusal != EraseRefusal::kNone) {
                std::fprintf(out, "refused: %s", EraseRefusalText(refusal));
                if (!where.empty()) std::fprintf(out, " (%s)", where.c_str());
                std::fputs("\n", out);
            } else if (!carriedOut) {
                std::fprintf(out, "this build does not carry out that method\n");
            } else {
                std::fprintf(out, "the drive can be erased\n");
            }
        }
        return 0;
    }

    if (refusal != EraseRefusal::kNone) {
        PrintRefusal(err, refusal, where);
        // Scripts read the refusal from the output as they read a result.
        if (o.json) {
            JsonWriter j;
            j.BeginObject()
                .String("drive", path)
                .String("method", EraseMethodName(method))
                .String("result", "refused");
            WriteRefusalJson(j, refusal, where);
            j.EndObject();
            std::fputs(j.Text().c_str(), out);
        }
        return refusal == EraseRefusal::kNoMethod ? 4 : 3;
    }
    if (!carriedOut) {
        std::fprintf(err, "tarvikdorn: %s is not carried out by this build\n",
                     EraseMethodName(method));
        return 4;
    }
    if (!a.yes) {
        if (!IsTerminal(stdin)) {
            std::fprintf(err, "tarvikdorn: refused: no terminal to ask on; give --yes to erase "
                              "without the questions\n");
            return 3;
        }
        if (!Ask(kAskErase, out) || !Ask(kAskLast, out)) {
            std::fprintf(err, "tarvikdorn: nothing was erased\n");
            return 3;
        }
    }

    // The erase opens the disk itself; the interfaces' handles are closed.
    CloseHandles(fd.Get());
    auto job = MakeZoltRef<clJobDiskErase>();
    if (!job) {
        std::fprintf(err, "tarvikdorn: Memory allocation failed.\n");
        return 1;
    }
    job->minPolls = clJobDiskErase::kMinPolls;
    job->method = method;
    job->sanitizeAction = action;
    job->SetDisk(fd.Get());
    // Once the drive has taken a sanitize or ERASE UNIT it works to the end on its own.
    if (sanitize || method == erasemethod::kAtaSecurity)
        std::fprintf(err,
                     "tarvikdorn: note: once the drive has started the %s, it cannot be "
                     "stopped; %s\n",
                     sanitize ? "sanitize" : "security erase",
                     sanitize ? "Ctrl-C stops only the waiting for its end"
                              : "Ctrl-C waits for its end");
    const std::string label = std::string("Erasing ") + path + " (" + EraseMethodName(method) + ")";
    const JobRunResult r = RunJobWithProgress(job.Get(), label.c_str(), err);
    if (!r.queued) {
        std::fprintf(err, "tarvikdorn: the job thread could not be started\n");
        return 1;
    }
    if (job->KeepAwakeResult() == err::kNotSupported)
        std::fprintf(err, "tarvikdorn: note: the system may sleep during the erase (no sleep "
                          "inhibitor available)\n");
    const ErrorCode code = job->FailureCode();
    const EraseRefusal late = job->Refusal();
    int status = JobExitStatus(r);
    if (late != EraseRefusal::kNone) status = 3;

    if (o.json) {
        JsonWriter j;
        j.BeginObject()
            .String("drive", path)
            .String("method", EraseMethodName(method))
            .String("result", r.outcome == JobOutcome::kDone      ? "done"
                              : r.outcome == JobOutcome::kAborted ? "aborted"
                              : late != EraseRefusal::kNone       ? "refused"
                                                                  : "failed");
        WriteRefusalJson(j, late, job->RefusalWhere());
        j.Bool("tableDeleted", job->TableDeleted())
            .Unsigned("sizeBytes", job->SizeBytes())
            .Unsigned("trimmedBytes", job->TrimmedBytes())
            .Unsigned("trimRequests", job->TrimStepsDone())
            .Unsigned("samplesWithData", job->SamplesWithData())
            .Unsigned("samplesUnchanged", job->SamplesUnchanged())
            .Real("seconds", r.seconds, 3);
        if (r.outcome == JobOutcome::kDone) {
            j.Null("error");
        } else {
            j.BeginObject("error")
                .Unsigned("code", code)
                .String("text", ErrorText(code))
                .String("reached", Reached(*job))
                .EndObject();
        }
        j.EndObject();
        std::fputs(j.Text().c_str(), out);
    } else if (r.outcome == JobOutcome::kDone) {
        std::fprintf(out, "%s\n", kEraseDone);
    } else {
        std::fprintf(out, "%s\n", kEraseFailed);
        if (late != EraseRefusal::kNone) {
            PrintRefusal(out, late, job->RefusalWhere());
        } else {
            if (r.outcome == JobOutcome::kAborted) std::fprintf(out, "  stopped by the user\n");
            if (r.interrupted && job->SanitizeStarted() && r.outcome != JobOutcome::kDone)
                std::fprintf(out, "  the sanitize is still running, not done: it cannot be "
                                  "stopped\n");
            if (job->UserPasswordElsewhere())
                std::fprintf(out, "  the drive rejected the erase: a user password was set "
                                  "elsewhere\n");
            std::fprintf(out, "  %s\n  reached: %s\n", ErrorText(code).c_str(),
                         Reached(*job).c_str());
        }
    }
    return status;
}

} // namespace tvd::cli
