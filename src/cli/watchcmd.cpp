#include <chrono>
#include <csignal>
#include <charconv>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "cli/clicommands.h"
#include "cli/fundiskview.h"
#include "cli/jsonwriter.h"
#include "drive/fundiskdescutil.h"
#include "drive/fundisksutil.h"
#include "drive/kernelfun.h"
#include "foundation/errtextutil.h"
#include "storage/storageplatform.h"

namespace tvd::cli {

namespace {

volatile std::sig_atomic_t g_stop = 0;
extern "C" void OnInterrupt(int) {
    g_stop = 1;
}

struct Watcher {
    std::FILE* out;
    bool json;
    std::map<const clFunDisk*, std::int32_t> states;

    void Event(const char* event, clFunDisk* fd, const std::string& detail = {}) {
        const char* path = fd->disk && fd->disk->GetPath() ? fd->disk->GetPath() : "";
        const std::string* model = GetModel(fd);
        const char* health = HealthStateWord(fd->smart.HealthState);
        if (json) {
            JsonWriter j(true);
            j.BeginObject().String("event", event).String("path", path);
            if (model)
                j.String("model", *model);
            else
                j.Null("model");
            j.String("health", health);
            if (!detail.empty()) j.String("detail", detail);
            j.EndObject();
            std::fputs(j.Text().c_str(), out);
        } else {
            std::fprintf(out, "%-8s %s  %s  health %s%s%s\n", event, path,
                         model ? model->c_str() : "-", health, detail.empty() ? "" : ": ",
                         detail.c_str());
        }
        std::fflush(out);
    }
};

bool ParseSeconds(const Options& o, std::uint64_t& seconds, std::FILE* err) {
    seconds = 0;
    for (std::size_t i = 0; i < o.args.size(); ++i) {
        if (o.args[i] == "--seconds" && i + 1 < o.args.size()) {
            const std::string& v = o.args[++i];
            auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), seconds);
            if (ec == std::errc() && end == v.data() + v.size()) continue;
        }
        std::fprintf(err, "tarvikdorn: watch takes only --seconds N\n");
        return false;
    }
    return true;
}

} // namespace

int CmdWatch(const Options& o, std::FILE* out, std::FILE* err) {
    std::uint64_t seconds = 0;
    if (!ParseSeconds(o, seconds, err)) return 2;
    std::unique_ptr<StoragePlatform> sim;
    if (!o.simulate.empty()) {
        ErrorCode e = err::kSuccess;
        sim = NewSimStorage(o.simulate, e);
        if (!sim) {
            std::fprintf(err, "tarvikdorn: cannot use the simulated drives in %s: %s\n",
                         o.simulate.c_str(), ErrorText(e ? e : err::kFileNotFound).c_str());
            return 1;
        }
        SelectStorage(sim.get());
    }
    UseDefaultSettingsFolder();
    Watcher w{out, o.json, {}};
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
        std::fprintf(err, "tarvikdorn: cannot start the drive registry\n");
        status = 1;
    } else {
        g_stop = 0;
        auto previous = std::signal(SIGINT, OnInterrupt);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!g_stop && (seconds == 0 || std::chrono::steady_clock::now() < deadline)) {
            KernelTick(false);
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
    return status;
}

} // namespace tvd::cli
