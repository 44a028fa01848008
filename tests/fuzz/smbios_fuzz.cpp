#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/smbiosutil.h"

// The firmware table is outside data: every walk must end and stay inside the blob, whether the
// bytes come as a whole blob or as bare structures behind a made-up header.
static void Walk(tvd::ByteView blob) {
    int steps = 0;
    for (std::int64_t o = tvd::FindSmbiosStructure(blob, tvd::kSmbiosHeaderSize, 17); o >= 0;
         o = tvd::FindSmbiosStructure(blob, tvd::NextSmbiosStructure(blob, o), 17)) {
        tvd::SmbiosMemorySize(blob, o);
        tvd::SmbiosFieldString(blob, o, 0x10);
        if (++steps > 100000) __builtin_trap(); // a walk that does not move forward
    }
    for (std::int64_t o = tvd::kSmbiosHeaderSize; o >= 0; o = tvd::NextSmbiosStructure(blob, o)) {
        for (std::uint8_t i = 0; i < 4; ++i)
            tvd::SmbiosString(blob, o, i);
        tvd::SmbiosByte(blob, o, 5);
        tvd::SmbiosDword(blob, o, 0x1C);
        if (++steps > 200000) __builtin_trap();
    }
    tvd::FindSmbiosStructure(blob, tvd::kSmbiosHeaderSize, 2, 0x0002);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tvd::ByteView raw(data, size);
    Walk(raw);
    std::vector<std::uint8_t> blob = tvd::MakeSmbiosBlob(3, 4, raw);
    if (!tvd::SmbiosBlobValid(blob)) __builtin_trap();
    Walk(blob);
    return 0;
}
