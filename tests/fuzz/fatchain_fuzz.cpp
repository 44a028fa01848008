#include <cstddef>
#include <cstdint>

#include "foundation/bytesutil.h"
#include "storage/fatutil.h"

// FAT tables come from volumes. Bytes 0-8 pick the variant, the highest cluster number and the
// first cluster; the rest is the table. The chain loader must end (loops included), report
// runs that lie within 2..highest, and never read outside the table.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 9) return 0;
    const tvd::ByteView in(data, size);
    const tvd::FatVariant variant = data[0] % 3 == 0   ? tvd::FatVariant::k12
                                    : data[0] % 3 == 1 ? tvd::FatVariant::k16
                                                       : tvd::FatVariant::k32;
    const std::uint32_t highest = tvd::Le<std::uint32_t>(in, 1);
    const std::uint32_t first = tvd::Le<std::uint32_t>(in, 5);
    const tvd::ByteView table = in.subspan(9);
    tvd::ByteBlock list;
    const tvd::ErrorCode e = tvd::LoadFatChain(variant, table, highest, first, 4096u, list);
    if (e != 0 && list.data) __builtin_trap();
    if (e == 0 && list.data) {
        const tvd::ByteView v = list.View();
        std::uint64_t total = 0;
        tvd::FatRun run;
        const std::uint32_t n = tvd::RunListCount(v);
        for (std::uint32_t i = 0; i < n; ++i) {
            if (!tvd::RunListRun(v, i, run)) __builtin_trap();
            if (run.clusters == 0 || run.first < 2 || run.first + run.clusters - 1 > highest)
                __builtin_trap();
            total += run.clusters;
        }
        if (total != tvd::RunListClusters(v) || tvd::RunListBytes(v) != total * 4096)
            __builtin_trap();
    }
    return 0;
}
