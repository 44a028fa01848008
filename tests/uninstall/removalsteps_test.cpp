#include "uninstall/appuninstallutil.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "foundation/regutil.h"
#include "foundation/textconvutil.h"
#include "uninstall/uninstallnames.h"

namespace tvd::uninstall {
namespace {

constexpr const char* kOtherUninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\SomeoneElse";

// Records every operation as a line of text. `cancelAt` sets the cancel flag when the operation
// with that text is recorded (as a click on Cancel during it would).
class RecordingPlatform : public RemovalPlatform {
public:
    std::vector<std::string> ops;
    std::string cancelAt;
    std::map<std::string, ErrorCode> deleteErrors; // path -> error of RemoveFile
    int mainWindowAttempts = 0;                    // close requests answered "still running"
    int closeRequests = 0;
    int waits = 0;
    bool cancelled = false;

    bool RequestMainProgramClose() override {
        ++closeRequests;
        const bool running = mainWindowAttempts > 0;
        if (running) --mainWindowAttempts;
        Record(running ? "close main" : "main gone");
        return running;
    }
    bool WaitMainProgramEnd(std::uint32_t ms) override {
        ++waits;
        Record("wait " + std::to_string(ms));
        return mainWindowAttempts == 0;
    }
    ErrorCode RemoveFile(const std::u16string& path) override {
        const std::string p = Utf16ToUtf8(path);
        Record("del " + p);
        auto it = deleteErrors.find(p);
        return it == deleteErrors.end() ? err::kSuccess : it->second;
    }
    ErrorCode RemoveEmptyFolder(const std::u16string& path) override {
        Record("rd " + Utf16ToUtf8(path));
        return err::kSuccess;
    }
    ErrorCode DeleteFolderContents(const std::u16string& path) override {
        Record("empty " + Utf16ToUtf8(path));
        return err::kSuccess;
    }
    ErrorCode RunAndWait(const std::u16string& program, const std::u16string& args) override {
        Record("run " + Utf16ToUtf8(program) + " " + Utf16ToUtf8(args));
        return err::kSuccess;
    }
    void NotifyFolderChanged(const std::u16string& path) override {
        Record("notify " + Utf16ToUtf8(path));
    }
    void Progress(int percent) override { Record("progress " + std::to_string(percent)); }
    bool Cancelled() override { return cancelled; }
    void ClearCancelled() override {
        cancelled = false;
        Record("clear");
    }

private:
    void Record(std::string op) {
        if (op == cancelAt) cancelled = true;
        ops.push_back(std::move(op));
    }
};

RemovalPlaces Places() {
    RemovalPlaces p;
    p.installFolder = u"C:\\Program Files\\VORNA\\Tarvik";
    p.desktopFolder = u"C:\\Users\\Public\\Desktop";
    p.startupFolder = u"C:\\ProgramData\\Start Menu\\Programs\\Startup";
    p.programsFolder = u"C:\\ProgramData\\Start Menu\\Programs";
    p.commonAppData = u"C:\\ProgramData";
    p.toolFolder = u"C:\\Windows\\System32";
    return p;
}

const std::vector<std::string> kFullRun = {
    "clear",
    "progress 10",
    "main gone",
    "progress 30",
    "del C:\\Program Files\\VORNA\\Tarvik\\VornaTarvikdorn.xml",
    "run C:\\Windows\\System32\\schtasks.exe /delete /tn \"Tarvik\" /F",
    "del C:\\ProgramData\\Start Menu\\Programs\\Startup\\VORNA Tarvik.LNK",
    "progress 35",
    "del C:\\Users\\Public\\Desktop\\VORNA Tarvik.LNK",
    "progress 36",
    "progress 37",
    "del C:\\ProgramData\\Start Menu\\Programs\\VORNA\\VORNA Tarvik.LNK",
    "progress 38",
    "del C:\\ProgramData\\Start Menu\\Programs\\VORNA\\Uninstall.LNK",
    "progress 39",
    "rd C:\\ProgramData\\Start Menu\\Programs\\VORNA",
    "progress 40",
    "del C:\\Program Files\\VORNA\\Tarvik\\Tarvikdorn.exe",
    "progress 50",
    "progress 60",
    "progress 70",
    "empty C:\\ProgramData\\Zolt\\VornaTarvikdorn",
    "rd C:\\ProgramData\\Zolt\\VornaTarvikdorn",
    "rd C:\\ProgramData\\Zolt",
    "progress 80",
    "progress 90",
    "notify C:\\Users\\Public\\Desktop",
};

std::vector<std::string> Prefix(std::size_t n) {
    return {kFullRun.begin(), kFullRun.begin() + static_cast<std::ptrdiff_t>(n)};
}
std::size_t IndexOf(const std::string& op) {
    for (std::size_t i = 0; i < kFullRun.size(); ++i)
        if (kFullRun[i] == op) return i;
    ADD_FAILURE() << op;
    return 0;
}

class RemovalStepsTest : public ::testing::Test {
protected:
    MemoryRegistry reg;
    ScopedRegistryBackend use{&reg};
    RecordingPlatform platform;

    void SetUp() override {
        for (RegView view : {RegView::k64, RegView::k32}) {
            SetString(RegRoot::kLocalMachine, kRunKey, kRunValue, view, u"\"x\"");
            SetString(RegRoot::kLocalMachine, kRunKey, "Keep", view, u"other product");
            SetString(RegRoot::kLocalMachine, kUninstallKey, kUninstallStringValue, view,
                      u"\"C:\\Program Files\\VORNA\\Tarvik\\VORNA_TarvikdornUninstall.exe\"");
            SetString(RegRoot::kLocalMachine, std::string(kUninstallKey) + "\\Deeper\\Leaf", "X",
                      view, u"y");
            SetString(RegRoot::kLocalMachine, kOtherUninstallKey, "DisplayName", view, u"z");
        }
        SetString(RegRoot::kCurrentUser, kRunKey, kRunValue, RegView::kDefault, u"\"x\"");
    }
    void SetString(RegRoot root, const std::string& key, const std::string& name, RegView view,
                   const std::u16string& text) {
        ASSERT_EQ(reg.CreateKey(root, key, view), err::kSuccess);
        std::vector<std::uint8_t> bytes;
        for (char16_t c : text + u'\0') {
            bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        ASSERT_EQ(reg.SetValue(root, key, name, view, regtype::kSz, ByteView(bytes)),
                  err::kSuccess);
    }
    bool HasValue(RegRoot root, const std::string& key, const std::string& name, RegView view) {
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
        return reg.QueryValue(root, key, name, view, type, data) == err::kSuccess;
    }
    // Whether the registry items the steps remove are still there, per view.
    bool RunValuesPresent() {
        return HasValue(RegRoot::kLocalMachine, kRunKey, kRunValue, RegView::k64) ||
               HasValue(RegRoot::kLocalMachine, kRunKey, kRunValue, RegView::k32) ||
               HasValue(RegRoot::kCurrentUser, kRunKey, kRunValue, RegView::kDefault);
    }
    bool UninstallKeyPresent() {
        return RegKeyExists(RegRoot::kLocalMachine, kUninstallKey, RegView::k64) ||
               RegKeyExists(RegRoot::kLocalMachine, kUninstallKey, RegView::k32);
    }
    void ExpectOthersKept() {
        for (RegView view : {RegView::k64, RegView::k32}) {
            EXPECT_TRUE(HasValue(RegRoot::kLocalMachine, kRunKey, "Keep", view));
            EXPECT_TRUE(RegKeyExists(RegRoot::kLocalMachine, kOtherUninstallKey, view));
        }
    }
};

TEST_F(RemovalStepsTest, RemovesEverythingInOrder) {
    EXPECT_EQ(RunRemovalSteps(platform, Places()), err::kSuccess);
    EXPECT_EQ(platform.ops, kFullRun);
    EXPECT_FALSE(RunValuesPresent());
    EXPECT_FALSE(UninstallKeyPresent());
    ExpectOthersKept();
}

TEST_F(RemovalStepsTest, CancelStopsAtTheNextCheckpointAndKeepsWhatWasRemoved) {
    struct Row {
        const char* cancelDuring;
        ErrorCode result;
        const char* lastOp; // the steps end after this one
        bool runValuesGone;
        bool uninstallKeyGone;
    } rows[] = {
        {"progress 10", err::kCancelled, "progress 30", false, false},
        {"progress 30", err::kCancelled, "progress 30", false, false},
        {"run C:\\Windows\\System32\\schtasks.exe /delete /tn \"Tarvik\" /F", err::kCancelled,
         "del C:\\ProgramData\\Start Menu\\Programs\\Startup\\VORNA Tarvik.LNK", true, false},
        {"del C:\\Users\\Public\\Desktop\\VORNA Tarvik.LNK", err::kCancelled,
         "del C:\\Users\\Public\\Desktop\\VORNA Tarvik.LNK", true, false},
        {"progress 37", err::kCancelled,
         "del C:\\ProgramData\\Start Menu\\Programs\\VORNA\\VORNA Tarvik.LNK", true, false},
        {"del C:\\ProgramData\\Start Menu\\Programs\\VORNA\\Uninstall.LNK", err::kCancelled,
         "del C:\\ProgramData\\Start Menu\\Programs\\VORNA\\Uninstall.LNK", true, false},
        {"progress 40", err::kCancelled, "progress 50", true, false},
        {"progress 50", err::kCancelled, "progress 50", true, false},
        // After 50 the steps run to the end; the wizard then goes back to the Start page.
        {"progress 60", err::kSuccess, nullptr, true, true},
        {"progress 90", err::kSuccess, nullptr, true, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.cancelDuring);
        SetUp();
        RecordingPlatform p;
        p.cancelAt = r.cancelDuring;
        const ErrorCode result = RunRemovalSteps(p, Places());
        EXPECT_EQ(result, r.result);
        if (r.lastOp)
            EXPECT_EQ(p.ops, Prefix(IndexOf(r.lastOp) + 1));
        else
            EXPECT_EQ(p.ops, kFullRun);
        EXPECT_EQ(RunValuesPresent(), !r.runValuesGone);
        EXPECT_EQ(UninstallKeyPresent(), !r.uninstallKeyGone);
        EXPECT_EQ(DecideOutcome(result, p.cancelled), RemovalOutcome::kStartPage);
        ExpectOthersKept();
    }
}

TEST_F(RemovalStepsTest, ShortcutAndMainFileErrorsOtherThanNotFoundStopTheSteps) {
    const std::string desktop = "del C:\\Users\\Public\\Desktop\\VORNA Tarvik.LNK";
    const std::string menu = "del C:\\ProgramData\\Start Menu\\Programs\\VORNA\\Uninstall.LNK";
    const std::string startup =
        "del C:\\ProgramData\\Start Menu\\Programs\\Startup\\VORNA Tarvik.LNK";
    const std::string mainFile = "del C:\\Program Files\\VORNA\\Tarvik\\Tarvikdorn.exe";
    const std::string task = "del C:\\Program Files\\VORNA\\Tarvik\\VornaTarvikdorn.xml";
    struct Row {
        std::string op;
        ErrorCode error;
        ErrorCode result;
        bool stops;
    } rows[] = {
        {desktop, err::kFileNotFound, err::kSuccess, false},
        {desktop, err::kPathNotFound, err::kSuccess, false},
        {desktop, err::kAccessDenied, err::kAccessDenied, true},
        {menu, err::kSharingViolation, err::kSharingViolation, true},
        {mainFile, err::kSharingViolation, err::kSharingViolation, true},
        {mainFile, err::kFileNotFound, err::kSuccess, false},
        // Results of the start-up items are not checked.
        {startup, err::kAccessDenied, err::kSuccess, false},
        {task, err::kAccessDenied, err::kSuccess, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.op + " " + std::to_string(r.error));
        SetUp();
        RecordingPlatform p;
        p.deleteErrors[r.op.substr(4)] = r.error;
        const ErrorCode result = RunRemovalSteps(p, Places());
        EXPECT_EQ(result, r.result);
        if (r.stops) {
            EXPECT_EQ(p.ops, Prefix(IndexOf(r.op) + 1));
            EXPECT_TRUE(UninstallKeyPresent());
            EXPECT_EQ(DecideOutcome(result, false), RemovalOutcome::kErrorThenStart);
        } else {
            EXPECT_EQ(p.ops, kFullRun);
            EXPECT_EQ(DecideOutcome(result, false), RemovalOutcome::kFinalPage);
        }
    }
}

TEST_F(RemovalStepsTest, NothingIsRemovedWhileTheMainProgramRuns) {
    struct Row {
        int runningFor;
        bool cancelDuringWait;
        ErrorCode result;
        int waits;
    } rows[] = {
        {0, false, err::kSuccess, 0},
        {3, false, err::kSuccess, 3},
        {kMainCloseAttempts, false, err::kSuccess, kMainCloseAttempts},
        {kMainCloseAttempts + 1, false, static_cast<ErrorCode>(msg::kMainProgramBusy),
         kMainCloseAttempts},
        {1000, false, static_cast<ErrorCode>(msg::kMainProgramBusy), kMainCloseAttempts},
        {1000, true, err::kCancelled, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.runningFor);
        SetUp();
        RecordingPlatform p;
        p.mainWindowAttempts = r.runningFor;
        if (r.cancelDuringWait) p.cancelAt = "wait 1000";
        const ErrorCode result = RunRemovalSteps(p, Places());
        EXPECT_EQ(result, r.result);
        EXPECT_EQ(p.waits, r.waits);
        if (r.result != err::kSuccess) {
            for (const std::string& op : p.ops) {
                EXPECT_NE(op.rfind("del ", 0), 0u) << op;
                EXPECT_NE(op.rfind("run ", 0), 0u) << op;
            }
            EXPECT_TRUE(RunValuesPresent());
            EXPECT_TRUE(UninstallKeyPresent());
            EXPECT_EQ(DecideOutcome(result, p.cancelled), r.cancelDuringWait
                                                              ? RemovalOutcome::kStartPage
                                                              : RemovalOutcome::kErrorThenStart);
        }
    }
}

TEST(RemovalOutcomeTest, WizardAndSilentOutcomes) {
    struct Row {
        ErrorCode result;
        bool cancelled;
        RemovalOutcome outcome;
        int exitCode;
    } rows[] = {
        {err::kSuccess, false, RemovalOutcome::kFinalPage, 0},
        {err::kSuccess, true, RemovalOutcome::kStartPage, 1223},
        {err::kCancelled, true, RemovalOutcome::kStartPage, 1223},
        {err::kCancelled, false, RemovalOutcome::kStartPage, 1223},
        {err::kSharingViolation, false, RemovalOutcome::kErrorThenStart, 32},
        {static_cast<ErrorCode>(msg::kMainProgramBusy), false, RemovalOutcome::kErrorThenStart,
         msg::kMainProgramBusy},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(DecideOutcome(r.result, r.cancelled), r.outcome) << r.result;
        EXPECT_EQ(SilentExitCode(r.result, r.cancelled), r.exitCode) << r.result;
    }
}

TEST(RegDeleteKeyTreeTest, DeletesOneViewsTreeOnly) {
    MemoryRegistry reg;
    ScopedRegistryBackend use(&reg);
    const std::string key = "Software\\Vorna\\Tree";
    for (RegView view : {RegView::k64, RegView::k32}) {
        ASSERT_EQ(reg.CreateKey(RegRoot::kLocalMachine, key + "\\A\\B\\C", view), err::kSuccess);
        ASSERT_EQ(reg.CreateKey(RegRoot::kLocalMachine, key + "\\D", view), err::kSuccess);
        ASSERT_EQ(reg.CreateKey(RegRoot::kLocalMachine, "Software\\Vorna\\TreeSibling", view),
                  err::kSuccess);
    }
    EXPECT_EQ(RegDeleteKeyTree(RegRoot::kLocalMachine, key, RegView::k32), err::kSuccess);
    EXPECT_FALSE(RegKeyExists(RegRoot::kLocalMachine, key, RegView::k32));
    EXPECT_TRUE(RegKeyExists(RegRoot::kLocalMachine, key + "\\A\\B\\C", RegView::k64));
    EXPECT_TRUE(RegKeyExists(RegRoot::kLocalMachine, "Software\\Vorna\\TreeSibling", RegView::k32));
    EXPECT_EQ(RegDeleteKeyTree(RegRoot::kLocalMachine, key, RegView::k32), err::kFileNotFound);
    EXPECT_EQ(RegDeleteKeyTree(RegRoot::kLocalMachine, "", RegView::k64), err::kInvalidParameter);
}

} // namespace
} // namespace tvd::uninstall
