// A logind "sleep" inhibitor through the system bus, bound at run time from libsystemd: the lock
// is the file descriptor logind hands back, held while on. Without libsystemd or a system bus
// (containers, systems without logind) there is nothing to hold, and the caller is told so.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "foundation/dllbindutil.h"
#include "jobs/clkernelbasicjob.h"

namespace tvd {

namespace {

struct sd_bus;
struct sd_bus_message;
struct sd_bus_error {
    const char* name;
    const char* message;
    int need_free;
};

using BusOpenSystem = int (*)(sd_bus**);
using BusCallMethod = int (*)(sd_bus*, const char*, const char*, const char*, const char*,
                              sd_bus_error*, sd_bus_message**, const char*, ...);
using BusMessageRead = int (*)(sd_bus_message*, const char*, ...);
using BusMessageUnref = sd_bus_message* (*)(sd_bus_message*);
using BusUnref = sd_bus* (*)(sd_bus*);
using BusErrorFree = void (*)(sd_bus_error*);

std::mutex g_lock;
int g_fd = -1;
unsigned g_holders = 0;

BoundModule& Systemd() {
    static BoundModule module("libsystemd.so.0");
    return module;
}

ErrorCode TakeInhibitor(int& fd) {
    BoundModule& m = Systemd();
    auto open = m.Fn<BusOpenSystem>("sd_bus_open_system");
    auto call = m.Fn<BusCallMethod>("sd_bus_call_method");
    auto read = m.Fn<BusMessageRead>("sd_bus_message_read");
    auto unrefMsg = m.Fn<BusMessageUnref>("sd_bus_message_unref");
    auto unref = m.Fn<BusUnref>("sd_bus_unref");
    auto freeError = m.Fn<BusErrorFree>("sd_bus_error_free");
    if (!open || !call || !read || !unrefMsg || !unref || !freeError) return err::kNotSupported;
    sd_bus* bus = nullptr;
    if (open(&bus) < 0 || !bus) return err::kNotSupported; // no system bus here
    sd_bus_error error{nullptr, nullptr, 0};
    sd_bus_message* reply = nullptr;
    int r = call(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                 "org.freedesktop.login1.Manager", "Inhibit", &error, &reply, "ssss", "sleep",
                 "Tarvikdorn", "A drive operation is running", "block");
    ErrorCode result = err::kNotSupported;
    if (r >= 0 && reply) {
        int busFd = -1;
        if (read(reply, "h", &busFd) >= 0 && busFd >= 0) {
            // The message owns its descriptor; ours must outlive it.
            fd = ::fcntl(busFd, F_DUPFD_CLOEXEC, 3);
            result = fd >= 0 ? err::kSuccess : ErrorFromErrno(errno);
        } else {
            result = err::kInvalidData;
        }
    } else if (r == -EACCES || r == -EPERM) {
        result = err::kAccessDenied;
    }
    if (reply) unrefMsg(reply);
    freeError(&error);
    unref(bus);
    return result;
}

} // namespace

ErrorCode KeepAwake(bool on) {
    std::lock_guard<std::mutex> guard(g_lock);
    if (on) {
        if (g_holders > 0) {
            ++g_holders;
            return err::kSuccess;
        }
        int fd = -1;
        if (const ErrorCode e = TakeInhibitor(fd)) return e;
        g_fd = fd;
        g_holders = 1;
        return err::kSuccess;
    }
    if (g_holders == 0) return err::kSuccess;
    if (--g_holders == 0) {
        ::close(g_fd);
        g_fd = -1;
    }
    return err::kSuccess;
}

} // namespace tvd
