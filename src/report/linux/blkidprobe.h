// What a file system says of itself (type, label, UUID), as libblkid reads it from the device,
// and the volume serial Windows would show for it.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "foundation/errorcodes.h"

namespace tvd::linuxreport {

struct FsProbe {
    std::string type, label, uuid;
};

// Probes a block device or image file, opened for reading only. kFileNotFound when no file
// system is recognised; the open's error when it cannot be read (a user without root).
ErrorCode ProbeFileSystem(const std::string& path, FsProbe& out);
// The 32-bit serial of FAT and exFAT ("ABCD-1234") and NTFS (the low half of its 64-bit
// serial); none for other file systems and malformed texts.
std::optional<std::uint32_t> VolumeSerialFromUuid(const std::string& type, const std::string& uuid);

} // namespace tvd::linuxreport
