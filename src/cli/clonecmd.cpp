// tarvikdorn clone SOURCE TARGET: a whole disk copied partition by partition onto another,
// its table rebuilt for the target's size. Every refusal comes before anything is written; the
// plan is shown (--plan stops there) and the target named in a question that wants "yes".
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/clicommands.h"
#include "cli/console.h"
#include "cli/jobrunner.h"
#include "cli/jsonwriter.h"
#include "cli/storagesession.h"
#include "cli/textformat.h"
#include "clone/cljobclonedrive.h"
#include "clone/clonecheckutil.h"
#include "clone/clonelayout.h"
#include "clone/kernelclonefun.h"
#include "drive/clfundisk.h"
#include "drive/kernelfun.h"
#include "foundation/errtextutil.h"
#include "foundation/textconvutil.h"
#include "storage/fsrecognizeutil.h"

namespace tvd::cli {

namespace {

constexpr const char* kUsage =
    "usage: tarvikdorn clone SOURCE TARGET [--plan] [--live] [--log-dir DIR] [--yes]\n";
// The program's own result texts.
constexpr const char* kCloneCompleted = "Clone completed.";
constexpr const char* kCloneFailed = "Clone failed.";
constexpr const char* kCloneCanceled = "Clone canceled.";

struct CloneArgs {
    std::string source, target, logDir;
    bool yes = false, plan = false, live = false;
};

int ParseArgs(const Options& o, CloneArgs& a, std::FILE* err) {
    for (std::size_t i = 0; i < o.args.size(); ++i) {
        const std::string& s = o.args[i];
        if (s == "--yes") {
            a.yes = true;
        } else if (s == "--plan") {
            a.plan = true;
        } else if (s == "--live") {
            a.live = true;
        } else if (s == "--log-dir" && i + 1 < o.args.size()) {
            a.logDir = o.args[++i];
        } else if (!s.empty() && s[0] != '-' && a.source.empty()) {
            a.source = s;
        } else if (!s.empty() && s[0] != '-' && a.target.empty()) {
            a.target = s;
        } else {
            std::fputs(kUsage, err);
            return 2;
        }
    }
    std::error_code ec;
    if (!a.logDir.empty() && !std::filesystem::is_directory(a.logDir, ec)) {
        std::fprintf(err, "tarvikdorn: --log-dir %s is not a folder\n", a.logDir.c_str());
        return 2;
    }
    if (a.source.empty() || a.target.empty()) {
        std::fputs(kUsage, err);
        return 2;
    }
    return 0;
}

const char* StyleName(std::uint8_t style) {
    switch (style) {
    case diskstyle::kMbr:
        return "mbr";
    case diskstyle::kGpt:
        return "gpt";
    default:
        return "none";
    }
}

int Refuse(const Options& o, std::FILE* out, std::FILE* err, CloneRefusal r,
           const std::string& detail) {
    std::fprintf(err, "tarvikdorn: refused: %s", CloneRefusalText(r));
    if (!detail.empty()) std::fprintf(err, " (%s)", detail.c_str());
    std::fputs("\n", err);
    if (o.json) {
        JsonWriter j;
        j.BeginObject()
            .String("result", "refused")
            .BeginObject("refusal")
            .String("code", CloneRefusalCode(r))
            .String("text", CloneRefusalText(r))
            .String("detail", detail)
            .EndObject()
            .EndObject();
        std::fputs(j.Text().c_str(), out);
    }
    return 3;
}

void WritePlanJson(JsonWriter& j, const LayoutPlan& plan) {
    const std::uint32_t bps = plan.bytesPerSector;
    j.BeginObject("plan")
        .String("sourceStyle", StyleName(plan.sourceStyle))
        .String("targetStyle", StyleName(plan.targetStyle))
        .Unsigned("sectorSize", bps)
        .Bool("identitiesKept", plan.holdsWindows && plan.sourceStyle == diskstyle::kGpt)
        .BeginArray("partitions");
    for (const LayoutPart& p : plan.parts)
        j.BeginObject()
            .Unsigned("sourceStart", p.sourceStart)
            .Unsigned("sourceSectors", p.sourceSize)
            .String("kind", FileSystemKindName(p.fsKind))
            .Unsigned("targetStart", p.start)
            .Unsigned("targetSectors", p.size)
            .String("engine", "sectors")
            .EndObject();
    j.EndArray().EndObject();
}

void PrintPlan(std::FILE* out, const LayoutPlan& plan, const std::string& source,
               const std::string& target) {
    std::fprintf(out, "clone %s (%s) -> %s (%s), %u-byte sectors, identities %s\n", source.c_str(),
                 StyleName(plan.sourceStyle), target.c_str(), StyleName(plan.targetStyle),
                 plan.bytesPerSector,
                 plan.holdsWindows && plan.sourceStyle == diskstyle::kGpt ? "kept" : "new");
    std::size_t i = 0;
    for (const LayoutPart& p : plan.parts)
        std::fprintf(out,
                     "  %zu: %-6s start %llu, %llu sectors -> start %llu, %llu sectors (%s, "
                     "sector by sector)\n",
                     ++i, FileSystemKindName(p.fsKind), (unsigned long long)p.sourceStart,
                     (unsigned long long)p.sourceSize, (unsigned long long)p.start,
                     (unsigned long long)p.size, SizeText(p.size * plan.bytesPerSector).c_str());
}

bool AskYes(const std::string& question, std::FILE* out) {
    std::fprintf(out, "%s Type yes to go on: ", question.c_str());
    std::fflush(out);
    char line[64] = {};
    if (!std::fgets(line, sizeof line, stdin)) return false;
    return std::string(line) == "yes\n";
}

std::string TargetName(clDisk* disk, const clCustomDiskObject& target) {
    std::string model = "unknown model", serial = "unknown serial";
    if (ZoltRef<clFunDisk> fd = FunDiskCreate(disk)) {
        if (const std::string* m = GetModel(fd.Get()); m && !m->empty()) model = *m;
        if (const std::string* s = GetSerial(fd.Get()); s && !s->empty()) serial = *s;
        CloseHandles(fd.Get());
    }
    return model + ", serial " + serial + ", " +
           SizeText(target.sectorCount * target.bytesPerSector);
}

} // namespace

int CmdClone(const Options& o, std::FILE* out, std::FILE* err) {
    CloneArgs a;
    if (int status = ParseArgs(o, a, err)) return status;
    StorageSession session;
    std::string problem;
    if (ErrorCode e = session.Open(o.simulate, problem, err, false)) {
        std::fprintf(err, "tarvikdorn: %s: %s\n", problem.c_str(), ErrorText(e).c_str());
        return 1;
    }
    clDisk* sourceDisk = session.FindDisk(a.source);
    clDisk* targetDisk = session.FindDisk(a.target);
    if (!sourceDisk || !sourceDisk->GetPath())
        return Refuse(o, out, err, CloneRefusal::kNotWholeDisk, a.source);
    if (!targetDisk || !targetDisk->GetPath())
        return Refuse(o, out, err, CloneRefusal::kNotWholeDisk, a.target);
    const std::string sourcePath = sourceDisk->GetPath(), targetPath = targetDisk->GetPath();

    std::string detail;
    CloneRefusal r = CheckClonePaths(sourcePath, targetPath, &detail);
    if (r != CloneRefusal::kNone) return Refuse(o, out, err, r, detail);
    CloneDiskFacts facts;
    Storage().QueryCloneFacts(sourcePath, facts);
    clCloneSourceDisk source;
    if (const ErrorCode e = source.SetDevicePath(sourcePath, facts.systemDisk)) {
        std::fprintf(err, "tarvikdorn: %s cannot be read: %s\n", sourcePath.c_str(),
                     ErrorText(e).c_str());
        return 1;
    }
    clCloneTargetDisk target;
    if (const ErrorCode e = target.SetMemberPath(0, targetPath)) {
        if (e == err::kSharingViolation || e == err::kAccessDenied)
            return Refuse(o, out, err, CloneRefusal::kTargetInUse, ErrorText(e));
        std::fprintf(err, "tarvikdorn: %s cannot be opened for writing: %s\n", targetPath.c_str(),
                     ErrorText(e).c_str());
        return 1;
    }
    r = CheckCloneDisks(source, target, a.live, &detail);
    if (r != CloneRefusal::kNone) return Refuse(o, out, err, r, detail);
    LayoutPlan plan;
    if (!PlanForDisks(source, target, plan)) {
        detail = plan.failure;
        if (plan.shortfallBytes)
            detail += ", " + std::to_string(plan.shortfallBytes) + " bytes short";
        return Refuse(o, out, err, CloneRefusal::kDoesNotFit, detail);
    }
    const bool live = LiveSourceVolume(source);

    if (!o.json || a.plan) {
        if (o.json && a.plan) {
            JsonWriter j;
            j.BeginObject().String("source", sourcePath).String("target", targetPath);
            WritePlanJson(j, plan);
            j.String("result", "planned").EndObject();
            std::fputs(j.Text().c_str(), out);
        } else {
            PrintPlan(out, plan, sourcePath, targetPath);
        }
    }
    if (a.plan) return 0;
    if (live)
        std::fprintf(err, "tarvikdorn: warning: a source volume is mounted writable and is copied "
                          "while it may change (--live)\n");
    if (!a.yes) {
        if (!IsTerminal(stdin)) {
            std::fprintf(err, "tarvikdorn: refused: no terminal to ask on; give --yes to clone "
                              "without the question\n");
            return 3;
        }
        const std::string q = "Everything on " + targetPath + " (" +
                              TargetName(targetDisk, target) + ") will be overwritten.";
        if (!AskYes(q, err)) {
            std::fprintf(err, "tarvikdorn: nothing was written\n");
            return 3;
        }
    }

    const bool ownContext = CloneInterface() == nullptr;
    if (ownContext && !CloneInterfaceStart()) {
        std::fprintf(err, "tarvikdorn: Memory allocation failed.\n");
        return 1;
    }
    if (!a.logDir.empty()) CloneSetLogBase(Utf8ToUtf16(a.logDir));
    auto job = MakeZoltRef<clJobCloneDrive>(&source, &target);
    if (!job) return 1;
    job->liveCopy = live;
    const std::string label = "Cloning " + sourcePath + " to " + targetPath;
    const JobRunResult run = RunJobWithProgress(job.Get(), label.c_str(), err);
    if (!run.queued) {
        std::fprintf(err, "tarvikdorn: the job thread could not be started\n");
        return 1;
    }
    const std::uint32_t message = job->ResultMessage();
    const std::string log = Utf16ToUtf8(job->KeptLog());
    if (ownContext) CloneInterfaceStop();
    const char* text = message == kMsgCloneCompleted  ? kCloneCompleted
                       : message == kMsgCloneCanceled ? kCloneCanceled
                                                      : kCloneFailed;
    if (o.json) {
        JsonWriter j;
        j.BeginObject().String("source", sourcePath).String("target", targetPath);
        WritePlanJson(j, plan);
        j.String("result", message == kMsgCloneCompleted  ? "completed"
                           : message == kMsgCloneCanceled ? "canceled"
                                                          : "failed")
            .String("text", text)
            .Unsigned("errors", job->ErrorLines())
            .Unsigned("bytesCopied", job->BytesCopied())
            .Real("seconds", run.seconds, 3)
            .Real("copySeconds", job->CopySeconds(), 3);
        if (log.empty())
            j.Null("log");
        else
            j.String("log", log);
        j.EndObject();
        std::fputs(j.Text().c_str(), out);
    } else {
        std::fprintf(out, "%s\n", text);
        std::fprintf(out, "  %s copied in %.1f s\n", SizeText(job->BytesCopied()).c_str(),
                     run.seconds);
        if (!log.empty()) std::fprintf(out, "  log: %s\n", log.c_str());
    }
    if (message == kMsgCloneCanceled) return 130;
    return message == kMsgCloneCompleted ? 0 : 1;
}

} // namespace tvd::cli
