// Partition tables written on simulated drive images: the MBR of a layout request and the
// Layout= shorthand of the drive file. Reading goes through the shared partition-table reader.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"
#include "storage/storagetypes.h"

namespace tvd {

// Writes signature, partition table and boot mark into `sector` (the drive's first sector, boot
// code kept). Up to four entries, each one slot in order; an entry with length 0 or type 0 leaves
// its slot empty. kInvalidParameter for entries that are not whole sectors, overlap, cover the
// first sector, pass the drive's end or do not fit 32-bit sector numbers.
ErrorCode BuildMbrSector(std::uint32_t signature, const std::vector<PartitionEntry>& partitions,
                         std::uint64_t capacity, std::uint32_t sectorSize, MutableByteView sector);

// "mbr:SIZE[/TYPE],...,rest[/TYPE]" (sizes as Capacity=, types hexadecimal, default 07): the
// partitions one after another from 1 MiB, "rest" only last. False with `message` when it does
// not fit the drive or cannot be read.
bool ParseSimLayoutKey(std::string_view text, std::uint64_t capacity, std::uint32_t sectorSize,
                       std::vector<PartitionEntry>& entries, std::string& message);

} // namespace tvd
