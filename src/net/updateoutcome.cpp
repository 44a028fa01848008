#include "net/updateoutcome.h"

namespace tvd {

ErrorCode ReadUpdateService(const IniBuffer* config, const char* key, const char* fallback,
                            HttpsUrl& out, std::string& why) {
    std::string value = fallback ? fallback : "";
    if (config) {
        if (auto v = IniGetValue(config, kUpdateSection, key)) value = std::string(*v);
    }
    if (value.empty()) {
        why = "update service not configured";
        return err::kFileNotFound;
    }
    if (!ParseServiceUrl(value, out)) {
        why = "update service is not an https://host[:port] address";
        return err::kInvalidData;
    }
    why.clear();
    return 0;
}

std::string PrintableText(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) c = '?';
    }
    return out;
}

} // namespace tvd
