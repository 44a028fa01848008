#include <cstddef>
#include <cstdint>
#include <cstring>

#include "foundation/bytesutil.h"
#include "storage/partitiontableutil.h"

// Partition tables come from drives and images. The input is a disk: byte 0 picks the sector
// size and whether the reader is told the size, bytes 1-4 give the disk's length in sectors, the
// rest are its first bytes (the remainder reads as zeros). Reads must stay on a disk of known
// size, end in bounded time, and every partition reported must be representable.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) return 0;
    const tvd::ByteView in(data, size);
    const std::uint32_t ss = (data[0] & 1) ? 4096 : 512;
    const bool sizeKnown = (data[0] & 2) != 0;
    const std::uint64_t sectors = tvd::Le<std::uint32_t>(in, 1) | 1u;
    const std::uint64_t diskBytes = sectors * ss;
    const tvd::ByteView image = in.subspan(5);
    int reads = 0;
    const tvd::SectorReadFn read = [&](std::uint64_t offset, tvd::MutableByteView out) {
        ++reads;
        if (offset > diskBytes || out.size() > diskBytes - offset) {
            if (sizeKnown) __builtin_trap(); // the reader left a disk whose size it knew
            return tvd::err::kHandleEof;
        }
        std::memset(out.data(), 0, out.size());
        if (offset < image.size()) {
            const std::size_t n = std::min<std::uint64_t>(out.size(), image.size() - offset);
            std::memcpy(out.data(), image.data() + offset, n);
        }
        return tvd::err::kSuccess;
    };
    tvd::DriveLayout layout;
    const tvd::ErrorCode e = tvd::ReadDriveLayout(read, ss, sizeKnown ? diskBytes : 0, layout);
    if (reads > int(tvd::kMaxLogicalPartitions) + 16) __builtin_trap();
    if (e != tvd::err::kSuccess) {
        if (layout.style != tvd::layoutstyle::kRaw || !layout.partitions.empty()) __builtin_trap();
        return 0;
    }
    if (layout.style == tvd::layoutstyle::kMbr &&
        layout.partitions.size() > 4 + 4 * std::size_t(tvd::kMaxLogicalPartitions))
        __builtin_trap();
    for (const tvd::PartitionEntry& p : layout.partitions) {
        if (p.startingOffset + p.length < p.startingOffset) __builtin_trap();
        if (layout.style == tvd::layoutstyle::kGpt && sizeKnown &&
            p.startingOffset + p.length > diskBytes)
            __builtin_trap();
        if (p.gptName.size() > 36) __builtin_trap();
        tvd::FindLayoutPartition(layout, p.startingOffset);
    }
    return 0;
}
