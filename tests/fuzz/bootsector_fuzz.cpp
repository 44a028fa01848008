#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/bytesutil.h"
#include "storage/fsrecognizeutil.h"

// Boot sectors come from partitions. Any bytes of any length: the kind is one of the known
// values, the cluster counts never exceed the sectors they are carved from, and nothing traps
// (a zero divisor, an overhead above the total, a short sector).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tvd::ByteView in(data, size);
    const std::uint8_t kind = tvd::RecognizeFileSystem(in);
    switch (kind) {
    case 0:
    case 1:
    case 6:
    case 7:
    case 12:
    case 13:
    case 255:
        break;
    default:
        __builtin_trap();
    }
    if (size < 512 && kind != 0) __builtin_trap();
    const std::uint64_t total = tvd::FatTotalSectors(in);
    if (tvd::FatClusterCount(in) > total) __builtin_trap();
    if (tvd::Fat32ClusterCount(in) > tvd::Le<std::uint32_t>(in, 32)) __builtin_trap();
    std::vector<std::uint8_t> copy(data, data + size);
    if (tvd::SetFatTotalSectors(copy, std::uint32_t(total)) && tvd::FatTotalSectors(copy) != total)
        __builtin_trap();
    return 0;
}
