#include "shell/win32/mainuiseams.h"

namespace tvd::win {

std::u16string UiText(int id) {
    switch (id) {
    case 20002:
        return u"Yes";
    case 20003:
        return u"No";
    case 20004:
        return u"OK";
    case 20006:
        return u"Close";
    case 20017:
        return u"Minimize";
    case 20021:
        return u"Memory allocation failed.";
    case 20022:
        return u"%s does not support %s.";
    case 21001:
        return u"Drive Information";
    case 21002:
        return u"Diagnostic Scan";
    case 21003:
        return u"Utility";
    case 21004:
        return u"System Optimization";
    case 21005:
        return u"System Information";
    case 21006:
        return u"CloneDrive";
    case 21007:
        return u"Benchmark";
    case 21010:
        return u"Active Drive:";
    case 21011:
        return u"1 Device";
    case 21012:
        return u"%i Devices";
    default:
        return {};
    }
}

const wchar_t* UiFontName() {
    return L"Segoe UI";
}

std::u16string UiFormat(const std::u16string& format, const std::u16string& a,
                        const std::u16string& b) {
    const std::u16string* args[] = {&a, &b};
    std::size_t next = 0;
    std::u16string out;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != u'%') {
            out.push_back(format[i]);
            continue;
        }
        if (i + 1 >= format.size()) return {};
        const char16_t k = format[++i];
        if (k == u'%') {
            out.push_back(u'%');
        } else if ((k == u's' || k == u'i' || k == u'd') && next < 2) {
            out += *args[next++];
        } else {
            return {};
        }
    }
    return out;
}

bool LoadLanguageTablesSeam() {
    return true;
}

} // namespace tvd::win
