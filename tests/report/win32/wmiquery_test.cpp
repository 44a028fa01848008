// The WMI thread's COM query against wmic, a reader of the same provider we did not write.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "foundation/textconvutil.h"
#include "report/wmithreadutil.h"

namespace tvd {
namespace {

// The value lines of `wmic ... get Caption` (its heading and blank lines dropped).
std::string Wmic(const char* arguments) {
    std::string out;
    std::FILE* p = _popen((std::string("wmic ") + arguments + " 2>NUL").c_str(), "rb");
    if (!p) return out;
    for (int c; (c = std::fgetc(p)) != EOF;)
        out += static_cast<char>(c);
    _pclose(p);
    // wmic writes UTF-16LE with a byte-order mark into a pipe.
    if (out.size() >= 2 && out[0] == '\xFF' && out[1] == '\xFE') {
        std::u16string units;
        for (std::size_t i = 2; i + 1 < out.size(); i += 2)
            units += static_cast<char16_t>(static_cast<std::uint8_t>(out[i]) |
                                           (static_cast<std::uint8_t>(out[i + 1]) << 8));
        out = Utf16ToUtf8(units);
    }
    std::string value;
    std::size_t line = 0;
    for (std::size_t at = 0; at <= out.size();) {
        std::size_t end = out.find('\n', at);
        if (end == std::string::npos) end = out.size();
        std::string text = out.substr(at, end - at);
        while (!text.empty() && (text.back() == '\r' || text.back() == ' '))
            text.pop_back();
        if (!text.empty() && line++ > 0 && value.empty()) value = text;
        at = end + 1;
    }
    return value;
}

TEST(WmiQuery, CaptionsAsWmicSeesThem) {
    ASSERT_TRUE(WmiThreadStart());
    const auto caption = WmiQueryString(u"ROOT\\CIMV2", u"Win32_OperatingSystem", u"Caption");
    const auto zone = WmiQueryString(u"ROOT\\CIMV2", u"Win32_TimeZone", u"Caption");
    const auto none = WmiQueryString(u"ROOT\\CIMV2", u"Win32_OperatingSystem", u"BuildNumber",
                                     u"Caption = 'no such system'");
    WmiThreadStop();
    const std::string os = Wmic("os get Caption");
    if (os.empty()) GTEST_SKIP() << "wmic gave no operating system caption";
    ASSERT_TRUE(caption.has_value());
    EXPECT_EQ(Utf16ToUtf8(*caption), os);
    // The time-zone line exists exactly when wmic answers the class.
    const std::string tz = Wmic("path Win32_TimeZone get Caption");
    EXPECT_EQ(zone.has_value(), !tz.empty());
    if (zone && !tz.empty()) {
        EXPECT_EQ(Utf16ToUtf8(*zone), tz);
    }
    EXPECT_FALSE(none.has_value()); // an empty result set gives no text
    // After the stop nobody waits for an answer.
    EXPECT_FALSE(WmiQueryString(u"ROOT\\CIMV2", u"Win32_OperatingSystem", u"Caption"));
}

} // namespace
} // namespace tvd
