#include "shell/inireadutil.h"

#include <filesystem>
#include <fstream>

#include "foundation/inibufutila.h"
#include "foundation/inibufutilw.h"

namespace tvd {

std::optional<std::vector<std::uint8_t>> ReadIniFileBytes(const std::string& path,
                                                          std::size_t cap) {
    if (path.empty()) return std::nullopt;
    try {
        const std::filesystem::path p(
            std::u8string(reinterpret_cast<const char8_t*>(path.data()), path.size()));
        std::ifstream in(p, std::ios::binary);
        if (!in) return std::nullopt;
        // One byte more than the cap tells an oversized file without reading it all.
        std::vector<std::uint8_t> data(cap + 1);
        in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
        if (in.bad()) return std::nullopt;
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got > cap) return std::nullopt;
        data.resize(got);
        return data;
    } catch (...) {
        return std::nullopt;
    }
}

std::int32_t IniReadInt(const std::string& path, const char* section, const char* key,
                        std::int32_t fallback) {
    if (!section || !key) return fallback;
    const auto bytes = ReadIniFileBytes(path);
    if (!bytes) return fallback;
    IniBuffer ini;
    if (!IniParse(&ini, bytes->data(), bytes->size())) return fallback;
    return IniGetInt(&ini, section, key, fallback);
}

std::optional<std::u16string> IniReadWideString(const std::string& path, const char16_t* section,
                                                const char16_t* key) {
    if (!section || !key) return std::nullopt;
    const auto bytes = ReadIniFileBytes(path);
    if (!bytes) return std::nullopt;
    IniBufferW ini;
    if (!IniParseW(&ini, bytes->data(), bytes->size())) return std::nullopt;
    const auto value = IniGetValueW(&ini, section, key);
    if (!value) return std::nullopt;
    return std::u16string(*value);
}

} // namespace tvd
