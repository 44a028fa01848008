#include "report/linux/blkidprobe.h"

#include <blkid/blkid.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace tvd::linuxreport {

namespace {

struct ProbeFree {
    void operator()(blkid_struct_probe* p) const { blkid_free_probe(p); }
};

std::string Lookup(blkid_probe probe, const char* name) {
    const char* value = nullptr;
    std::size_t length = 0;
    if (blkid_probe_lookup_value(probe, name, &value, &length) != 0 || !value) return {};
    // The length counts the terminating NUL; a value is never longer than a label field.
    std::string text(value, length > 0 && length <= 1024 ? length - 1 : 0);
    return text.substr(0, text.find('\0'));
}

bool HexDigits(const std::string& s) {
    return !s.empty() && s.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos;
}

} // namespace

ErrorCode ProbeFileSystem(const std::string& path, FsProbe& out) {
    out = {};
    errno = 0;
    std::unique_ptr<blkid_struct_probe, ProbeFree> probe(
        blkid_new_probe_from_filename(path.c_str()));
    if (!probe) return errno ? ErrorFromErrno(errno) : err::kFileNotFound;
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(probe.get(),
                                      BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID | BLKID_SUBLKS_TYPE);
    if (blkid_do_safeprobe(probe.get()) != 0) return err::kFileNotFound;
    out.type = Lookup(probe.get(), "TYPE");
    out.label = Lookup(probe.get(), "LABEL");
    out.uuid = Lookup(probe.get(), "UUID");
    return err::kSuccess;
}

std::optional<std::uint32_t> VolumeSerialFromUuid(const std::string& type,
                                                  const std::string& uuid) {
    std::string digits;
    if (type == "vfat" || type == "exfat") {
        if (uuid.size() != 9 || uuid[4] != '-') return std::nullopt;
        digits = uuid.substr(0, 4) + uuid.substr(5);
    } else if (type == "ntfs") {
        if (uuid.size() != 16) return std::nullopt;
        digits = uuid.substr(8);
    } else {
        return std::nullopt;
    }
    if (!HexDigits(digits)) return std::nullopt;
    return static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
}

} // namespace tvd::linuxreport
