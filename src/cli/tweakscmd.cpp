// tarvikdorn tweaks [show|apply|restore] [--advanced] [--yes]: the nine Windows settings suited to
// a system on an SSD. They live in the Windows registry; elsewhere the command says so.
#include <string>

#include "cli/clicommands.h"
#include "cli/clierror.h"
#include "cli/console.h"
#include "cli/jsonwriter.h"
#include "cli/storagesession.h"
#include "drive/clfundisk.h"
#include "drive/kernelfun.h"
#include "foundation/envutil.h"
#include "foundation/errtextutil.h"
#include "jobs/ssdregoptimizeutil.h"

namespace tvd::cli {

namespace {

constexpr const char* kUsage = "tweaks takes [show|apply|restore] [--advanced] [--yes]";
// The program's own results.
constexpr const char* kApplyDone = "Apply OS Optimization is done.";
constexpr const char* kRestoreDone = "Restore OS Optimization items is done.";

#ifdef _WIN32
// Whether the running system's disk is a solid-state drive this program serves; a disk it does
// not serve (or none found) counts as not being an SSD.
bool SystemOnSsd(const std::string& simulate) {
    StorageSession session;
    std::string problem;
    if (session.Open(simulate, problem) != err::kSuccess) return false;
    SystemVolume volume;
    clDisk* system = FindSystemDisk(session.Registry().FindList(devtype::kDisk), volume);
    if (!system) return false;
    ZoltRef<clFunDisk> fd = FunDiskCreate(system, system);
    const bool ssd = fd && fd->solidState;
    if (fd) CloseHandles(fd.Get());
    return ssd;
}

bool Ask(const std::string& question, std::FILE* out) {
    std::fprintf(out, "%s [y/N] ", question.c_str());
    std::fflush(out);
    char line[64] = {};
    if (!std::fgets(line, sizeof line, stdin)) return false;
    const std::string a(line);
    return a == "y\n" || a == "Y\n" || a == "yes\n" || a == "Yes\n" || a == "YES\n";
}

std::string KeyText(const TweakItem& item) {
    return std::string("HKLM\\") + item.key + "\\" + item.value;
}
#endif

} // namespace

int CmdTweaks(const Options& o, std::FILE* out, std::FILE* err) {
    std::string action;
    bool advanced = false, yes = false;
    for (const std::string& a : o.args) {
        if (a == "--advanced") {
            advanced = true;
        } else if (a == "--yes") {
            yes = true;
        } else if ((a == "show" || a == "apply" || a == "restore") && action.empty()) {
            action = a;
        } else {
            return Fail(o, out, err, 2, kUsage);
        }
    }
    if (action.empty()) action = "show";
#ifndef _WIN32
    (void)advanced;
    (void)yes;
    return Fail(o, out, err, 4, "Windows registry settings: not supported on this platform");
#else
    const TweakSet set = advanced ? TweakSet::kAdvanced : TweakSet::kStandard;
    const char* setName = advanced ? "advanced" : "standard";
    // Evaluated anew for each run, as for each press of Apply.
    const bool ssd = SystemOnSsd(o.simulate);
    const bool win10 = IsWin10OrLater();

    if (action == "show") {
        if (o.json) {
            JsonWriter j;
            j.BeginObject().Bool("ssd", ssd).Bool("windows10", win10).String("set", setName);
            j.String("include", TweakIncludeText(set, win10));
            j.BeginArray("items");
            for (const TweakItem& item : TweakItems()) {
                j.BeginObject()
                    .String("name", item.name)
                    .String("key", std::string("HKLM\\") + item.key)
                    .String("value", item.value)
                    .String("set", item.advanced ? "advanced" : "standard")
                    .Bool("inSet", TweakInSet(item, set))
                    .String("view64", TweakValueText(ReadTweakValue(item, RegView::k64)))
                    .String("view32", TweakValueText(ReadTweakValue(item, RegView::k32)))
                    .String("apply", TweakWriteText(TweakApplyWrite(item, ssd, win10)))
                    .String("restore", TweakWriteText(TweakRestoreWrite(item)))
                    .EndObject();
            }
            j.EndArray().EndObject();
            std::fputs(j.Text().c_str(), out);
        } else {
            std::fprintf(out, "system disk: %s; Windows 10 or later: %s\n%s\n\n",
                         ssd ? "SSD" : "not an SSD", win10 ? "yes" : "no",
                         TweakIncludeText(set, win10).c_str());
            std::fprintf(out, "%-21s %-9s %-10s %-10s %-8s %s\n", "item", "set", "64-bit", "32-bit",
                         "apply", "restore");
            for (const TweakItem& item : TweakItems()) {
                std::fprintf(out, "%-21s %-9s %-10s %-10s %-8s %s\n  %s\n", item.name,
                             item.advanced ? "advanced" : "standard",
                             TweakValueText(ReadTweakValue(item, RegView::k64)).c_str(),
                             TweakValueText(ReadTweakValue(item, RegView::k32)).c_str(),
                             TweakWriteText(TweakApplyWrite(item, ssd, win10)).c_str(),
                             TweakWriteText(TweakRestoreWrite(item)).c_str(),
                             KeyText(item).c_str());
            }
        }
        return 0;
    }

    const bool apply = action == "apply";
    if (!yes) {
        if (!IsTerminal(stdin))
            return Fail(o, out, err, 3,
                        "refused: no terminal to ask on; give --yes to write the settings");
        const std::string q =
            std::string(apply ? "Apply" : "Restore") + " the " + setName + " Windows settings?";
        if (!Ask(q, out)) return Fail(o, out, err, 3, "nothing was written");
    }
    const TweakReport report = apply ? ApplyTweaks(set, ssd, win10) : RestoreTweaks(set);
    if (o.json) {
        JsonWriter j;
        j.BeginObject()
            .String("action", action)
            .String("set", setName)
            .Bool("ssd", ssd)
            .Bool("windows10", win10)
            .String("result", report.done ? "done" : "not done");
        j.BeginArray("items");
        for (const TweakItemResult& r : report.items) {
            j.BeginObject().String("name", r.item->name).String("wrote", TweakWriteText(r.write));
            if (r.error == err::kSuccess)
                j.Null("error");
            else
                j.BeginObject("error")
                    .Unsigned("code", r.error)
                    .String("text", ErrorText(r.error))
                    .EndObject();
            j.EndObject();
        }
        j.EndArray().EndObject();
        std::fputs(j.Text().c_str(), out);
    } else {
        if (report.done)
            std::fprintf(out, "%s\n", apply ? kApplyDone : kRestoreDone);
        else
            std::fprintf(out, "%s OS Optimization is not done: these items failed:\n",
                         apply ? "Apply" : "Restore");
        for (const TweakItemResult& r : report.items)
            if (r.error != err::kSuccess)
                std::fprintf(out, "  %s (%s): %s\n", r.item->name, KeyText(*r.item).c_str(),
                             ErrorText(r.error).c_str());
        if (report.done)
            std::fprintf(out, "Some settings take effect at the next start of Windows.\n");
    }
    return report.done ? 0 : 1;
#endif
}

} // namespace tvd::cli
