// tarvikdorn tweaks in Wine's registry: Apply and Restore of the Advanced set, each value read
// back with the system's reg.exe in the 64-bit view (and in the 32-bit one where HKLM\SYSTEM is
// the same key). The values found before are put back afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/toolrun.h"
#include "foundation/regutil.h"
#include "foundation/textconvutil.h"
#include "foundation/win32/wintesthelp.h"
#include "jobs/ssdregoptimizeutil.h"

namespace tvd::cli {
namespace {

struct Saved {
    RegView view;
    const TweakItem* item;
    ErrorCode found;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
};

// reg.exe's data text of a value ("0x3", "N"), "absent" when the view does not have it.
std::string RegExe(const TweakItem& item, const wchar_t* view) {
    const std::u16string key = Utf8ToUtf16(std::string("HKLM\\") + item.key);
    const std::u16string value = Utf8ToUtf16(item.value);
    const auto run =
        wintest::RunProcess(L"reg.exe query \"" + std::wstring(key.begin(), key.end()) + L"\" /v " +
                            std::wstring(value.begin(), value.end()) + L" " + view);
    EXPECT_TRUE(run.started);
    if (run.exitCode != 0) return "absent";
    for (const char* marker : {"REG_DWORD", "REG_SZ"}) {
        const auto at = run.output.find(marker);
        if (at == std::string::npos) continue;
        std::string data = run.output.substr(at + std::string(marker).size());
        data.erase(0, data.find_first_not_of(" \t"));
        return data.substr(0, data.find_first_of("\r\n"));
    }
    return "?";
}

bool Flag(const std::string& json, const std::string& name) {
    return test::Flat(json).find("\"" + name + "\": true") != std::string::npos;
}

TEST(WineTweaks, ApplyAndRestoreAsRegExeSeesThem) {
    // What the prefix holds now, put back at the end whatever happens.
    std::vector<Saved> saved;
    for (const TweakItem& item : TweakItems())
        for (RegView view : {RegView::k64, RegView::k32}) {
            Saved s{view, &item, 0, 0, {}};
            s.found = PlatformRegistry().QueryValue(RegRoot::kLocalMachine, item.key, item.value,
                                                    view, s.type, s.data);
            saved.push_back(std::move(s));
        }
    struct Restore {
        std::vector<Saved>& saved;
        ~Restore() {
            for (const Saved& s : saved) {
                if (s.found == 0)
                    PlatformRegistry().SetValue(RegRoot::kLocalMachine, s.item->key, s.item->value,
                                                s.view, s.type, s.data);
                else
                    PlatformRegistry().DeleteValue(RegRoot::kLocalMachine, s.item->key,
                                                   s.item->value, s.view);
            }
        }
    } restore{saved};

    const test::ToolRun show = test::RunTool({"--json", "tweaks", "show", "--advanced"});
    ASSERT_EQ(show.status, 0) << show.err;
    const bool ssd = Flag(show.out, "ssd"), win10 = Flag(show.out, "windows10");

    // Written by hand from the settings' table: Apply on an SSD or not, Windows 10 or older.
    struct Want {
        const char* value;
        const char* applySsd;
        const char* applyOther;
        const char* applySsdOld; // before Windows 10
        const char* applyOtherOld;
        const char* restore;
    };
    const Want wants[] = {
        {"EnablePrefetcher", "0x0", "0x3", "0x0", "0x3", "0x3"},
        {"Start", "0x3", "0x2", "0x3", "0x2", "0x2"},
        {"Enable", "absent", "absent", "N", "N", "absent"},
        {"EnableAutoLayout", "absent", "absent", "0x0", "0x0", "absent"},
        {"HibernateEnabled", "0x0", "0x1", "0x0", "0x1", "0x1"},
        {"NtfsDisable8dot3NameCreation", "0x1", "0x1", "0x1", "0x1", "0x2"},
        {"NtfsMemoryUsage", "0x2", "0x2", "0x2", "0x2", "0x0"},
        {"ClearPageFileAtShutdown", "0x1", "0x1", "0x1", "0x1", "0x0"},
        {"LargeSystemCache", "0x1", "0x1", "0x1", "0x1", "0x0"},
    };
    for (bool apply : {true, false}) {
        const test::ToolRun r =
            test::RunTool({"--json", "tweaks", apply ? "apply" : "restore", "--advanced", "--yes"});
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_NE(test::Flat(r.out).find("\"result\": \"done\""), std::string::npos) << r.out;
        for (std::size_t i = 0; i < std::size(wants); ++i) {
            const TweakItem& item = TweakItems()[i];
            ASSERT_STREQ(item.value, wants[i].value);
            const Want& w = wants[i];
            const std::string want = !apply  ? w.restore
                                     : win10 ? (ssd ? w.applySsd : w.applyOther)
                                             : (ssd ? w.applySsdOld : w.applyOtherOld);
            EXPECT_EQ(RegExe(item, L"/reg:64"), want) << item.value << " apply=" << apply;
            // HKLM\SYSTEM is one key in both views.
            if (std::string(item.key).rfind("SYSTEM", 0) == 0) {
                EXPECT_EQ(RegExe(item, L"/reg:32"), want) << item.value << " apply=" << apply;
            }
        }
    }
}

} // namespace
} // namespace tvd::cli
