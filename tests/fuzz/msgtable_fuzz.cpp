#include <cstddef>
#include <cstdint>

#include "foundation/clmsgobject.h"

// Message tables come from resources; a damaged one must never read out of range.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tvd::clMsgObject table;
    if (!table.Load(data, size)) return 0;
    for (std::size_t i = 0; i < table.EntryCount() && i < 64; ++i) {
        const char16_t* text = table.GetText(table.EntryAt(i).id);
        if (text) {
            std::size_t n = 0;
            while (text[n])
                ++n; // must be terminated inside the object's buffers
        }
    }
    table.FindText(0);
    return 0;
}
