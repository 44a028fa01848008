#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/bytesutil.h"
#include "storage/fatutil.h"

// Directory data comes from volumes. The routines walk arbitrary bytes: every length they give
// stays within the data, names fit the buffers they are given, and the walk ends.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // Byte 0 picks the capacity of the name buffers, so that short ones are tried too.
    const std::size_t capacity = data[0] % 300;
    std::vector<std::uint8_t> dir(data + 1, data + size);
    const tvd::ByteView view(dir);
    std::vector<char16_t> name16(capacity);
    std::vector<char> name8(capacity);
    std::size_t items = 0;
    for (std::size_t off = 0; off < view.size();) {
        const tvd::ByteView rest = view.subspan(off);
        const std::uint32_t len = tvd::DirEntryLength(rest);
        if (len == 0) break;
        if (len > rest.size()) __builtin_trap();
        const std::size_t n = tvd::DirEntryName(rest, name16);
        if (n != 0 && n >= capacity) __builtin_trap();
        const std::size_t m = tvd::ShortName(rest, name8);
        if (m != 0 && m >= capacity) __builtin_trap();
        if (!tvd::ShortEntryOf(rest).empty() && tvd::ShortEntryOf(rest).size() != 32)
            __builtin_trap();
        (void)tvd::EntryFirstCluster(rest);
        (void)tvd::EntryFileSize(rest);
        items += tvd::IsItemEntry(rest);
        off += len;
    }
    const std::int64_t label = tvd::FindLabelEntry(view);
    if (label >= 0 && std::uint64_t(label) + 32 > view.size()) __builtin_trap();
    tvd::SetDotEntries(dir, 0x12345, 0x6789A);
    if (dir.size() != size - 1) __builtin_trap();
    if (!dir.empty())
        tvd::MakeLabelEntry(tvd::MutableByteView(dir).first(std::min<std::size_t>(32, dir.size())),
                            "LABEL      ");
    (void)items;
    return 0;
}
