#include <cstddef>
#include <cstdint>

#include "shell/drivedetailutil.h"

// Identify data comes from drives, in any length: the details rows must stay inside the bytes
// they were given and never claim more than the field holds.
namespace {

void Check(const std::vector<tvd::DetailRow>& rows, std::size_t size, std::size_t unit,
           std::size_t perRow) {
    std::size_t next = 0;
    for (const tvd::DetailRow& r : rows) {
        if (!r.field || r.first != next || r.last < r.first) __builtin_trap();
        if ((r.last + 1u) * unit > size) __builtin_trap();
        const std::size_t units = r.last - r.first + 1u;
        if (tvd::IsRawDetailFormat(r.field->format)) {
            if (units > perRow || r.value.size() != units * (unit == 2 ? 5 : 3)) __builtin_trap();
        } else if (r.first != r.field->first || r.last != r.field->last ||
                   r.value.size() > 2 * units * unit + 32) {
            __builtin_trap();
        }
        next = r.last + 1u;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tvd::ByteView raw(data, size);
    Check(tvd::BuildAtaDetailRows(raw), size, 2, tvd::kAtaRawWordsPerRow);
    Check(tvd::BuildNvmeDetailRows(raw), size, 1, tvd::kNvmeRawBytesPerRow);
    // Each formatter alone over whatever prefix of the input.
    for (int f = 0; f <= static_cast<int>(tvd::DetailFormat::kNvmeText); ++f)
        if (tvd::FormatDetailValue(static_cast<tvd::DetailFormat>(f), raw.first(size % 41)).size() >
            3 * 40 + 32)
            __builtin_trap();
    return 0;
}
