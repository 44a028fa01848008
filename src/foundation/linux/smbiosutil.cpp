// The machine's SMBIOS table from sysfs. The kernel exposes the entry point and the structure
// table separately (both readable by root only); the entry point gives the version.
#include "foundation/smbiosutil.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tvd {

namespace {

constexpr const char* kEntryPointPath = "/sys/firmware/dmi/tables/smbios_entry_point";
constexpr const char* kTablePath = "/sys/firmware/dmi/tables/DMI";

// Whole sysfs attribute; sysfs sizes are not reliable, so read to the end.
ErrorCode ReadAttribute(const char* path, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ErrorFromErrno(errno);
    std::uint8_t chunk[4096];
    ErrorCode result = err::kSuccess;
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            result = ErrorFromErrno(errno);
            break;
        }
        if (n == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
        if (bytes.size() > 0xFFFFFFFFu) {
            result = err::kInvalidData;
            break;
        }
    }
    close(fd);
    if (result != err::kSuccess) bytes.clear();
    return result;
}

// SMBIOS version from a "_SM3_" (3.x), "_SM_" (2.x) or legacy "_DMI_" entry point.
void VersionFromEntryPoint(ByteView ep, std::uint8_t& major, std::uint8_t& minor) {
    major = minor = 0;
    auto starts = [&](const char* magic) {
        const std::size_t n = std::strlen(magic);
        return ep.size() >= n && std::memcmp(ep.data(), magic, n) == 0;
    };
    if (starts("_SM3_")) {
        major = Le<std::uint8_t>(ep, 7);
        minor = Le<std::uint8_t>(ep, 8);
    } else if (starts("_SM_")) {
        major = Le<std::uint8_t>(ep, 6);
        minor = Le<std::uint8_t>(ep, 7);
    } else if (starts("_DMI_")) {
        const std::uint8_t bcd = Le<std::uint8_t>(ep, 14);
        major = bcd >> 4;
        minor = bcd & 0x0F;
    }
}

} // namespace

ErrorCode ReadSmbios(std::vector<std::uint8_t>& blob) {
    blob.clear();
    std::vector<std::uint8_t> table;
    if (ErrorCode e = ReadAttribute(kTablePath, table)) return e;
    if (table.empty()) return err::kInvalidData;
    std::vector<std::uint8_t> entryPoint;
    std::uint8_t major = 0, minor = 0;
    if (ReadAttribute(kEntryPointPath, entryPoint) == err::kSuccess)
        VersionFromEntryPoint(entryPoint, major, minor);
    blob = MakeSmbiosBlob(major, minor, table);
    return err::kSuccess;
}

} // namespace tvd
