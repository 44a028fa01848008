#include "shell/processutil.h"

#include <gtest/gtest.h>

namespace tvd {
namespace {

TEST(ProcessUtil, RunnableProgramPaths) {
    const std::vector<std::string> folders = {"C:\\Windows\\System32",
                                              "C:\\ProgramData\\Zolt\\VornaTarvikdorn\\bin\\"};
    struct Row {
        const char* path;
        bool ok;
    } rows[] = {
        {"C:\\Windows\\System32\\schtasks.exe", true},
        {"c:\\windows\\system32\\SCHTASKS.EXE", true},
        {"C:/Windows/System32/bcdedit.exe", true},
        {"C:\\ProgramData\\Zolt\\VornaTarvikdorn\\bin\\Service64.exe", true},
        {"C:\\ProgramData\\Zolt\\VornaTarvikdorn\\Service64.exe", false}, // above bin
        {"C:\\Windows\\System32", false},                                 // the folder itself
        {"C:\\Windows\\System32\\..\\notepad.exe", false},
        {"C:\\Windows\\System32\\.\\cmd.exe", false},
        {"C:\\Windows\\System32x\\cmd.exe", false},
        {"schtasks.exe", false},
        {"System32\\schtasks.exe", false},
        {"\\Windows\\System32\\cmd.exe", false},
        {"\\\\?\\C:\\Windows\\System32\\cmd.exe", false},
        {"\\\\server\\share\\x.exe", false},
        {"C:\\Windows\\System32\\cmd.exe:stream", false},
        {"C:\\Windows\\System32\\\"cmd.exe", false},
        {"C:\\Windows\\System32\\cmd.exe ", false},
        {"C:\\Windows\\System32\\cmd.exe.", false},
        {"C:\\Windows\\System32\\sub\\\\cmd.exe", false},
        {"", false},
    };
    for (const auto& r : rows)
        EXPECT_EQ(IsRunnableProgramPath(r.path, folders), r.ok) << r.path;
    EXPECT_FALSE(IsRunnableProgramPath("C:\\Windows\\System32\\cmd.exe", {}));
    EXPECT_FALSE(IsRunnableProgramPath("C:\\x\\a.exe", {"relative", ""}));
}

TEST(ProcessUtil, WellFormedHttpsUrls) {
    struct Row {
        const char* url;
        bool ok;
    } rows[] = {
        {"https://www.example.com/en/creator/", true},
        {"HTTPS://example.com", true},
        {"https://example.com:8443/a?b=c&d=%2F#frag", true},
        {"https://xn--bcher-kva.example/", true},
        {"http://example.com/", false},
        {"https://", false},
        {"https:///path", false},
        {"https://user:pw@example.com/", false},
        {"https://example.com@evil.com/", false},
        {"https://exa mple.com/", false},
        {"https://example.com/a b", false},
        {"https://example.com/\"", false},
        {"https://example.com\\evil", false},
        {"https://example.com/%zz", false},
        {"https://example.com/%4", false},
        {"https://-example.com/", false},
        {"https://example..com/", false},
        {"https://example.com:0/", false},
        {"https://example.com:65536/", false},
        {"https://example.com:/", false},
        {"https://example.com/\x01", false},
        {"javascript:alert(1)", false},
        {"file:///C:/Windows/System32/calc.exe", false},
        {"https://example.com/\xC3\xA9", false}, // not percent-encoded
        {"https://example.invalid", true},
        {"https://.example/", false},
        {"https://example.invalid/\x7f", false},
        {"", false},
    };
    for (const auto& r : rows)
        EXPECT_EQ(IsWellFormedHttpsUrl(r.url), r.ok) << r.url;
    EXPECT_FALSE(IsWellFormedHttpsUrl("https://example.com/" + std::string(2100, 'a')));
}

} // namespace
} // namespace tvd
