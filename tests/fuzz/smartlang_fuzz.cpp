#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "smart/smartlangutil.h"

// The name resource is program data, but a damaged file must still cost no more than an empty
// table: every directory, tree and stream shape is decoded within bounds and in bounded time.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tvd::ByteView bytes(data, size);
    std::vector<tvd::SmartLangEntry> entries;
    std::vector<std::uint8_t> text;
    if (tvd::ReadSmartLangDirectory(bytes, entries)) {
        // A language decodes from its first entry; later duplicates are never used.
        std::vector<std::uint32_t> seen;
        for (const tvd::SmartLangEntry& e : entries) {
            if (std::find(seen.begin(), seen.end(), e.language) != seen.end()) continue;
            seen.push_back(e.language);
            if (tvd::DecodeSmartLang(bytes, e.language, text) && text.size() != e.decodedSize)
                __builtin_trap();
        }
    }
    // The input as one bare coded stream, for trees the directory checks would rarely reach.
    if (size > 2) tvd::TreeDecode(bytes.subspan(2), std::size_t(data[0]) << 8 | data[1], text);
    const std::uint32_t language = entries.size() > 1 ? entries[1].language : 0x0411;
    tvd::LoadSmartNamesFrom(bytes, language);
    tvd::SmartAttributeName(u"Smart", 0xC2);
    tvd::SmartUnnamedAttributeText();
    tvd::UnloadSmartNames();
    return 0;
}
