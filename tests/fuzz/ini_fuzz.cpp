#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/inibufutila.h"
#include "foundation/inibufutilw.h"
#include "shell/languagetables.h"

// Settings files and name tables are read from disk and resources: parsing, looking up, changing
// and writing back any bytes must stay in bounds, and a change must read back.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tvd::IniBuffer ini;
    if (tvd::IniParse(&ini, data, size)) {
        std::string_view lines = tvd::IniLineData(&ini);
        std::string section = "Smart", key = "HealthWarning";
        if (lines.size() > 2 && lines[0] == '[') {
            auto close = lines.find(']');
            if (close != std::string_view::npos && close > 1)
                section = std::string(lines.substr(1, close - 1));
        }
        for (auto& k : tvd::IniKeyList(&ini, section))
            tvd::IniGetValue(&ini, section, k);
        tvd::IniGetInt(&ini, section, key, -1);
        if (tvd::IniSetValue(&ini, section, key, "42")) {
            auto v = tvd::IniGetValue(&ini, section, key);
            if (!v || *v != "42") __builtin_trap();
            auto bytes = tvd::IniSerialize(&ini);
            tvd::IniBuffer again;
            if (!tvd::IniParse(&again, bytes.data(), bytes.size())) __builtin_trap();
            auto w = tvd::IniGetValue(&again, section, key);
            if (!w || *w != "42") __builtin_trap();
        }
        tvd::IniDeleteKey(&ini, section, key);
    }
    tvd::IniBufferW wide;
    if (tvd::IniParseW(&wide, data, size)) {
        tvd::IniGetValueW(&wide, u"Smart", u"1");
        // As Config.ini: whatever Lang holds chooses a loaded table or leaves the default.
        static const std::uint8_t kEng[] = {0xFF, 0xFE, '1', 0, '\t', 0, 'E', 0};
        static const std::uint8_t kKor[] = {0xFF, 0xFE, '1', 0, '\t', 0, 'K', 0};
        const tvd::TableFinder find = [](const char* name, tvd::ByteView& bytes) {
            const std::string n(name);
            if (n == "MSG_ENG")
                bytes = tvd::ByteView(kEng, sizeof kEng);
            else if (n == "MSG_KOR")
                bytes = tvd::ByteView(kKor, sizeof kKor);
            else
                return false;
            return true;
        };
        tvd::clLanguageRegistry reg;
        if (!reg.Load(find, tvd::IniGetValueW(&wide, u"UI", u"Lang"), 1031)) __builtin_trap();
        const std::string code = reg.CurrentCode();
        if (code != "ENG" && code != "KOR") __builtin_trap();
        if (!reg.Text(1)) __builtin_trap();
    }
    return 0;
}
