#include <charconv>
#include <chrono>
#include <csignal>
#include <ctime>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "cli/clicommands.h"
#include "cli/clierror.h"
#include "cli/fundiskview.h"
#include "cli/jsonwriter.h"
#include "cli/storagesession.h"
#include "drive/fundiskdescutil.h"
#include "drive/fundisksutil.h"
#include "drive/kernelfun.h"
#include "storage/cldevicelist.h"
#include "storage/deviceregistry.h"
#include "storage/sim/simstorage.h"
#include "storage/storageplatform.h"

namespace tvd::cli {

namespace {

volatile std::sig_atomic_t g_stop = 0;
extern "C" void OnInterrupt(int) {
    g_stop = 1;
}

// The moment of an event, UTC, as ISO 8601.
std::string TimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    gmtime_s(&tm, &now);
#else
    gmtime_r(&now, &tm);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

struct Watcher {
    std::FILE* out;
    bool json;
    std::map<const clFunDisk*, std::int32_t> states;
    std::set<std::string> unserved; // paths of present disks the program does not serve
    bool failed = false;            // the output could not be written

    void Event(const char* event, clFunDisk* fd, const std::string& detail = {}) {
        const char* path = fd->disk && fd->disk->GetPath() ? fd->disk->GetPath() : "";
        Write(event, path, GetModel(fd), HealthStateWord(fd->smart.HealthState), detail);
    }

    // Disks without a functional disk (USB sticks, card readers) come and go too.
    void DiskEvents() {
        std::set<std::string> now;
        std::set<const clDisk*> served; // once per tick: a lookup per disk would be quadratic
        for (clFunDisk* fd = FunDisksFirst(); fd; fd = FunDisksNext(fd))
            served.insert(fd->disk);
        const clDeviceList* list = ProcessDeviceRegistry().FindList(devtype::kDisk);
        for (clDevice* d = list ? list->FirstDevice() : nullptr; d; d = list->NextDevice(d)) {
            auto* disk = static_cast<clDisk*>(d);
            // A disk the poll has not taken yet (new, or waiting for a rescan) is neither served
            // nor refused; one marked removed is gone.
            if (d->State() == devstate::kRemoved) continue;
            if (d->State() == devstate::kNew) {
                if (disk->GetPath() && unserved.count(disk->GetPath())) now.insert(disk->GetPath());
                continue;
            }
            if (!disk->GetPath() || served.count(disk)) continue;
            now.insert(disk->GetPath());
            if (unserved.count(disk->GetPath())) continue;
            const std::string name = disk->GetDescription() ? disk->GetDescription() : "";
            Write("arrival", disk->GetPath(), name.empty() ? nullptr : &name, "unknown",
                  "not served (no SMART or health)");
        }
        for (const std::string& path : unserved)
            if (!now.count(path)) Write("removal", path.c_str(), nullptr, "unknown", "not served");
        unserved = std::move(now);
    }

    void Write(const char* event, const char* path, const std::string* model, const char* health,
               const std::string& detail) {
        const std::string time = TimeNow();
        if (json) {
            JsonWriter j(true);
            j.BeginObject().String("time", time).String("event", event).String("path", path);
            if (model)
                j.String("model", *model);
            else
                j.Null("model");
            j.String("health", health);
            if (!detail.empty()) j.String("detail", detail);
            j.EndObject();
            std::fputs(j.Text().c_str(), out);
        } else {
            std::fprintf(out, "%s %-8s %s  %s  health %s%s%s\n", time.c_str(), event, path,
                         model ? model->c_str() : "-", health, detail.empty() ? "" : ": ",
                         detail.c_str());
        }
        if (!OutputWritten(out)) failed = true;
    }
};

bool ParseSeconds(const Options& o, std::uint64_t& seconds, std::FILE* out, std::FILE* err) {
    seconds = 0;
    for (std::size_t i = 0; i < o.args.size(); ++i) {
        if (o.args[i] == "--seconds" && i + 1 < o.args.size()) {
            const std::string& v = o.args[++i];
            auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), seconds);
            if (ec == std::errc() && end == v.data() + v.size()) continue;
        }
        Fail(o, out, err, 2, "watch takes only --seconds N (0: until Ctrl+C)");
        return false;
    }
    return true;
}

} // namespace

int CmdWatch(const Options& o, std::FILE* out, std::FILE* err) {
    std::uint64_t seconds = 0;
    if (!ParseSeconds(o, seconds, out, err)) return 2;
    std::unique_ptr<SimStorage> sim;
    if (!o.simulate.empty()) {
        ErrorCode e = err::kSuccess;
        sim = SimStorage::Create(o.simulate, e, SimImages::kReadOnly);
        if (!sim)
            return Fail(o, out, err, 1, "cannot use the simulated drives in " + o.simulate,
                        e ? e : err::kFileNotFound);
        SelectStorage(sim.get());
        for (const SimProblem& p : sim->Problems())
            std::fprintf(err, "tarvikdorn: %s: refused: %s\n", o.simulate.c_str(),
                         ProblemText(p).c_str());
    }
    UseDefaultSettingsFolder();
    Watcher w{out, o.json, {}, {}, false};
    FunDisksSetHandlers({[&w](clFunDisk* fd) {
                             w.states[fd] = fd->smart.HealthState;
                             w.Event("arrival", fd);
                         },
                         [&w](clFunDisk* fd) {
                             w.states.erase(fd);
                             w.Event("removal", fd);
                         }});
    KernelInitialize();
    int status = 0;
    if (!KernelStart(nullptr)) {
        status = Fail(o, out, err, 1, "cannot start the drive registry");
    } else {
        g_stop = 0;
        auto previous = std::signal(SIGINT, OnInterrupt);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!g_stop && !w.failed &&
               (seconds == 0 || std::chrono::steady_clock::now() < deadline)) {
            KernelTick(false);
            w.DiskEvents();
            for (clFunDisk* fd = FunDisksFirst(); fd; fd = FunDisksNext(fd)) {
                auto it = w.states.find(fd);
                if (it == w.states.end() || it->second == fd->smart.HealthState) continue;
                const std::string change =
                    std::string(HealthStateWord(it->second)) + " -> " +
                    HealthStateWord(fd->smart.HealthState) +
                    (fd->smart.healthReason.empty() ? std::string()
                                                    : " (" + fd->smart.healthReason + ")");
                it->second = fd->smart.HealthState;
                w.Event("health", fd, change);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        std::signal(SIGINT, previous);
    }
    KernelFinalize();
    FunDisksSetHandlers({});
    if (sim) SelectStorage(nullptr);
    return w.failed && status == 0 ? 1 : status;
}

} // namespace tvd::cli
