// Random GUIDs from the kernel's random source, and a monotonic millisecond tick.
#include "foundation/guidutil.h"

#include <fcntl.h>
#include <sys/random.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tvd {

namespace {

ErrorCode RandomBytes(std::uint8_t* out, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = getrandom(out + done, length - done, 0);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break; // no getrandom (old kernel): fall back to the device
    }
    if (done == length) return err::kSuccess;
    const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ErrorFromErrno(errno);
    while (done < length) {
        const ssize_t n = read(fd, out + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    close(fd);
    return done == length ? err::kSuccess : err::kReadFault;
}

} // namespace

ErrorCode NewGuid(Guid& guid) {
    guid = Guid{};
    std::uint8_t raw[16];
    if (ErrorCode e = RandomBytes(raw, sizeof raw)) return e;
    std::memcpy(&guid.data1, raw, 4);
    std::memcpy(&guid.data2, raw + 4, 2);
    std::memcpy(&guid.data3, raw + 6, 2);
    std::memcpy(guid.data4, raw + 8, 8);
    // Version 4 (random) and the RFC 4122 variant.
    guid.data3 = static_cast<std::uint16_t>((guid.data3 & 0x0FFF) | 0x4000);
    guid.data4[0] = static_cast<std::uint8_t>((guid.data4[0] & 0x3F) | 0x80);
    return err::kSuccess;
}

std::uint32_t TickCount() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const std::uint64_t ms =
        std::uint64_t(ts.tv_sec) * 1000u + std::uint64_t(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

} // namespace tvd
