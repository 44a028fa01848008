#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/clmsgobject.h"
#include "shell/languagetables.h"

// Message tables come from resources; a damaged one must never read out of range.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tvd::clMsgObject table;
    if (table.Load(data, size)) {
        for (std::size_t i = 0; i < table.EntryCount() && i < 64; ++i) {
            const char16_t* text = table.GetText(table.EntryAt(i).id);
            if (text) {
                std::size_t n = 0;
                while (text[n])
                    ++n; // must be terminated inside the object's buffers
            }
        }
        table.FindText(0);
    }

    // The same bytes as resources of the language registry: the whole input as the English
    // table, its second half as the Korean one (a different cut of the byte-order mark), and
    // looked up and formatted with the arguments the shell passes.
    const tvd::ByteView all(data, size);
    const tvd::ByteView half = all.subspan(size / 2);
    tvd::clLanguageRegistry reg;
    const tvd::TableFinder find = [&](const char* name, tvd::ByteView& bytes) {
        if (std::string(name) == "MSG_ENG")
            bytes = all;
        else if (std::string(name) == "MSG_KOR")
            bytes = half;
        else
            return false;
        return true;
    };
    if (!reg.Load(find, u"KOR", 1042)) __builtin_trap();
    for (std::size_t i = 0; i < table.EntryCount() && i < 16; ++i) {
        const std::int32_t id = table.EntryAt(i).id;
        reg.Text(id);
        const std::u16string a = reg.Format(id, {3});
        const std::u16string b = reg.Format(id, {"Tarvik", u"Windows"});
        const std::u16string c = reg.Format(id, {2.5, 7u, "x"});
        if (a.size() > tvd::kFormatTextMax || b.size() > tvd::kFormatTextMax ||
            c.size() > tvd::kFormatTextMax)
            __builtin_trap();
    }
    return 0;
}
