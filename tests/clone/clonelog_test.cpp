// The clone context, its log file and the progress nodes: each line function's marker, count
// and formatting as read back from the file, the file's encoding, the folder naming that never
// replaces a kept log, logging from two threads, and the progress arithmetic.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <regex>
#include <thread>

#include "clone/kernelclonefun.h"
#include "foundation/textconvutil.h"

namespace tvd {
namespace {

namespace fs = std::filesystem;

class TempFolder {
public:
    TempFolder() {
        std::random_device r;
        for (int i = 0; i < 100 && path_.empty(); ++i) {
            const fs::path p = fs::temp_directory_path() / ("tvdclone-" + std::to_string(r()));
            std::error_code ec;
            if (fs::create_directory(p, ec)) path_ = p;
        }
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& Path() const { return path_; }
    std::u16string U16() const {
        const auto u8 = path_.u8string();
        return Utf8ToUtf16(std::string(u8.begin(), u8.end()));
    }

private:
    fs::path path_;
};

fs::path PathOf(const std::u16string& p) {
    const std::string u8 = Utf16ToUtf8(p);
    return fs::path(std::u8string(u8.begin(), u8.end()));
}

// The lines of a log file, without their time stamps; the file's form is checked on the way.
std::vector<std::u16string> ReadLog(const std::u16string& path) {
    std::ifstream f(PathOf(path), std::ios::binary);
    const std::vector<std::uint8_t> b(std::istreambuf_iterator<char>(f), {});
    EXPECT_GE(b.size(), 2u);
    EXPECT_EQ(b.size() % 2, 0u);
    if (b.size() < 2 || b[0] != 0xFF || b[1] != 0xFE) {
        ADD_FAILURE() << "no UTF-16LE byte order mark";
        return {};
    }
    std::u16string text;
    for (std::size_t i = 2; i + 1 < b.size(); i += 2)
        text.push_back(char16_t(b[i] | (b[i + 1] << 8)));
    std::vector<std::u16string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find(u"\r\n", start);
        if (end == std::u16string::npos) {
            ADD_FAILURE() << "a line without CR LF at the end of the file";
            break;
        }
        const std::u16string line = text.substr(start, end - start);
        EXPECT_EQ(line.find(u'\n'), std::u16string::npos);
        const std::string stamp = Utf16ToUtf8(line.substr(0, 13));
        EXPECT_TRUE(std::regex_match(stamp, std::regex(R"(\d\d:\d\d:\d\d\.\d\d\d )"))) << stamp;
        lines.push_back(line.size() >= 13 ? line.substr(13) : u"");
        start = end + 2;
    }
    return lines;
}

class CloneLogFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(tmp_.Path().empty());
        previous_ = CloneInterfaceReplace(nullptr);
        ASSERT_TRUE(CloneInterfaceStart());
        CloneSetLogBase(tmp_.U16());
    }
    void TearDown() override { CloneInterfaceReplace(std::move(previous_)); }
    clCloneInterface* Ci() { return ZoltCast<clCloneInterface>(CloneInterface()); }

    TempFolder tmp_;
    std::unique_ptr<clCustomCloneInterface> previous_;
};

TEST_F(CloneLogFixture, LineFunctionsAsWrittenToTheFile) {
    ASSERT_EQ(CloneLogOpen(), 0u);
    const std::u16string sys5 = CloneSystemText(5);
    ASSERT_FALSE(sys5.empty());
    EXPECT_TRUE(CloneSystemText(0xDEAD).empty());
    const std::u16string path = u"C:\\Users\\\u00c5sa\\%s%n%I64u.txt";
    struct Case {
        std::function<void()> log;
        std::u16string line;
        bool counted;
    };
    const std::vector<Case> cases = {
        {[] { CloneLog("Clone Prepare"); }, u"Clone Prepare", false},
        {[] { CloneNote("note %i", -7); }, u"! note -7", false},
        {[] { CloneError("Create Drive Process fail"); }, u"** Create Drive Process fail", true},
        {[] {
             CloneLog("[%i] Clone Prepare, Read=[%I64d], Write=[%I64d]", 2,
                      std::int64_t(-5000000000LL), std::uint64_t(18446744073709551615ULL));
         },
         u"[2] Clone Prepare, Read=[-5000000000], Write=[18446744073709551615]", false},
        {[] { CloneLog("Replika2_result %02i-%02i-%02i %x %X %%", 7, 14, 123, 255, 255u); },
         u"Replika2_result 07-14-123 ff FF %", false},
        {[&] { CloneLogW(u"path %s", path); }, u"path " + path, false},
        {[&] { CloneNoteW(u"[%s] %s", u"C:", path); }, u"! [C:] " + path, false},
        {[&] { CloneErrorW(u"%s", path); }, u"** " + path, true},
        {[] { CloneLog("narrow %s arg", "UTF-8 \xc3\x85"); }, u"narrow UTF-8 \u00c5 arg", false},
        {[] { CloneLog("missing %i and %s"); }, u"missing  and ", false},
        {[] { CloneNoteCode("Open volume", 5); }, u"! Open volume, Error(5) " + sys5, false},
        {[] { CloneErrorCode("DriveCopySectors write fail", 0xDEAD); },
         u"** DriveCopySectors write fail, Error(57005)", true},
        {[] { CloneErrorCode("x", 5); }, u"** x, Error(5) " + sys5, true},
        {[] { CloneErrorCodeW(u"C:\\", u"Copy file", 0xDEAD); },
         u"** [C:\\] - Copy file, Error(57005)", true},
        {[&] { CloneErrorCodeW(u"T", u"Copy", 5); }, u"** [T] - Copy, Error(5) " + sys5, true},
        {[] { CloneErrorTagW(u"tag", u"text"); }, u"** [tag] - text", true},
        {[] { CloneLog("%s", std::string(2000, 'x')); }, std::u16string(1023, u'x'), false},
        {[] { CloneLogW(u"%s", std::u16string(1500, u'\u00e9')); }, std::u16string(1023, u'\u00e9'),
         false},
    };
    std::uint32_t counted = 0;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        cases[i].log();
        counted += cases[i].counted;
        EXPECT_EQ(CloneErrorCount(), counted) << "case " << i;
    }
    CloneLogClose();
    CloneLog("after close"); // no file: nothing written, nothing counted
    EXPECT_EQ(CloneErrorCount(), counted);
    CloneError("counted without a file");
    EXPECT_EQ(CloneErrorCount(), counted + 1);

    const std::vector<std::u16string> lines = ReadLog(Ci()->LogPath());
    ASSERT_EQ(lines.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(lines[i], cases[i].line) << "case " << i << ": " << Utf16ToUtf8(lines[i]);

    // The file lies in the log folder of the minute it was opened.
    const std::string folder = PathOf(Ci()->LogFolder()).filename().string();
    EXPECT_TRUE(std::regex_match(folder, std::regex(R"(Replika2_result \d\d-\d\d-\d\d-\d\d)")))
        << folder;
    EXPECT_EQ(PathOf(Ci()->LogPath()).filename().string(), "Log.TXT");
    EXPECT_EQ(PathOf(Ci()->LogPath()).parent_path(), tmp_.Path() / folder);

    ASSERT_EQ(CloneLogDiscard(), 0u);
    EXPECT_FALSE(fs::exists(tmp_.Path() / folder));
}

TEST_F(CloneLogFixture, TwoThreadsLeaveWholeLines) {
    ASSERT_EQ(CloneLogOpen(), 0u);
    ASSERT_TRUE(CloneCreateStep());
    constexpr int kLines = 3000;
    std::thread job([] {
        for (int i = 0; i < kLines; ++i) {
            if (i % 3 == 0)
                CloneError("job error line %i of %s", i, std::string(100 + i % 50, 'e'));
            else
                CloneLog("job line %i of %s", i, std::string(200 + i % 70, 'j'));
        }
    });
    std::thread gui([] {
        for (int i = 0; i < 20; ++i)
            std::this_thread::yield();
        CloneAbort();
    });
    job.join();
    gui.join();
    EXPECT_TRUE(CloneIsCancelled());
    EXPECT_EQ(CloneErrorCount(), std::uint32_t(kLines / 3 + 1));
    CloneLogClose();

    const std::vector<std::u16string> lines = ReadLog(Ci()->LogPath());
    ASSERT_EQ(lines.size(), std::size_t(kLines + 1));
    int job_lines = 0, aborts = 0;
    const std::regex jobLine(R"((\*\* )?job (error )?line (\d+) of ([ej]+))");
    for (const auto& l : lines) {
        const std::string s = Utf16ToUtf8(l);
        std::smatch m;
        if (std::regex_match(s, m, jobLine)) {
            const int i = std::stoi(m[3]);
            EXPECT_EQ(m[4].length(), (i % 3 == 0) ? 100 + i % 50 : 200 + i % 70) << s;
            EXPECT_EQ(m[1].matched, i % 3 == 0) << s;
            ++job_lines;
        } else {
            EXPECT_EQ(l.rfind(u"** Clone Aborted, Error(1223)", 0), 0u) << s;
            ++aborts;
        }
    }
    EXPECT_EQ(job_lines, kLines);
    EXPECT_EQ(aborts, 1);
}

TEST_F(CloneLogFixture, KeptLogIsNeverReplacedInTheSameMinute) {
    const CloneLocalTime t{7, 14, 9, 5, 0, 0};
    CloneLogFile first, second, third;
    ASSERT_EQ(first.Create(tmp_.U16(), t), 0u);
    ASSERT_EQ(first.Write(CloneLogLineBytes(t, CloneLineKind::kError, u"kept")), 0u);
    first.Close();
    ASSERT_EQ(second.Create(tmp_.U16(), t), 0u);
    ASSERT_EQ(third.Create(tmp_.U16(), t), 0u);
    EXPECT_EQ(PathOf(first.Folder()).filename().string(), "Replika2_result 07-14-09-05");
    EXPECT_EQ(PathOf(second.Folder()).filename().string(), "Replika2_result 07-14-09-05 (2)");
    EXPECT_EQ(PathOf(third.Folder()).filename().string(), "Replika2_result 07-14-09-05 (3)");
    EXPECT_EQ(ReadLog(first.Path()), std::vector<std::u16string>{u"** kept"});
    // A discarded log takes its folder with it; the kept one stays.
    ASSERT_EQ(second.Discard(), 0u);
    EXPECT_FALSE(fs::exists(PathOf(second.Folder())));
    EXPECT_TRUE(fs::exists(PathOf(first.Path())));
    EXPECT_EQ(CloneLogFolderName(t, 1), u"Replika2_result 07-14-09-05");
}

#ifndef _WIN32
TEST_F(CloneLogFixture, LinksPlantedInTheFolderAreNotFollowed) {
    const CloneLocalTime t{1, 2, 3, 4, 0, 0};
    TempFolder elsewhere;
    // A link in place of the folder, and a folder holding a link in place of the file.
    fs::create_directory_symlink(elsewhere.Path(), tmp_.Path() / "Replika2_result 01-02-03-04");
    fs::create_directory(tmp_.Path() / "Replika2_result 01-02-03-04 (2)");
    fs::create_symlink(elsewhere.Path() / "victim",
                       tmp_.Path() / "Replika2_result 01-02-03-04 (2)" / "Log.TXT");
    CloneLogFile log;
    ASSERT_EQ(log.Create(tmp_.U16(), t), 0u);
    EXPECT_EQ(PathOf(log.Folder()).filename().string(), "Replika2_result 01-02-03-04 (3)");
    EXPECT_TRUE(fs::is_empty(elsewhere.Path()));
    EXPECT_FALSE(fs::is_symlink(PathOf(log.Path())));
}
#endif

TEST(CloneContext, NoContextDoesNothing) {
    auto previous = CloneInterfaceReplace(nullptr);
    CloneLog("nothing");
    CloneError("nothing");
    CloneAbort();
    EXPECT_EQ(CloneErrorCount(), 0u);
    EXPECT_FALSE(CloneIsCancelled());
    EXPECT_EQ(CloneGetStage(), 0u);
    EXPECT_FALSE(CloneCreateStep());
    EXPECT_NE(CloneLogOpen(), 0u);
    CloneInterfaceReplace(std::move(previous));
}

// A context whose clock the test sets.
class ClockContext : public clCustomCloneInterface {
public:
    std::uint64_t Ticks() const override { return now; }
    std::uint64_t now = 1000;
};

TEST(CloneSteps, PercentTimesSettleAndCancel) {
    auto owned = std::make_unique<ClockContext>();
    ClockContext* clock = owned.get();
    auto previous = CloneInterfaceReplace(std::move(owned));
    EXPECT_FALSE(CloneIsCancelled());
    ASSERT_TRUE(CloneCreateStep());
    const std::shared_ptr<clStep> root = CloneGetStep();
    clStep a(root.get()), b(root.get());

    EXPECT_EQ(Percent(root.get()), 0);
    Start(root.get());
    // Done bytes count only where something is planned.
    AddDoneRead(&a, 100);
    EXPECT_EQ(a.doneRead, 0u);
    AddPlannedRead(&a, 1000);
    AddPlannedWrite(&a, 1000);
    AddPlannedRead(&b, 3000);
    AddPlannedWrite(&b, 3000);
    EXPECT_EQ(root->plannedRead, 4000u);
    AddDoneRead(&a, 1000);
    AddDoneWrite(&a, 1000);
    EXPECT_DOUBLE_EQ(Percent(&a), 100);
    EXPECT_DOUBLE_EQ(Percent(root.get()), 25);
    AddDoneRead(&a, 500); // more than planned: still 100
    EXPECT_DOUBLE_EQ(Percent(&a), 100);

    struct TimeCase {
        std::uint64_t now;
        double percent;
        std::uint64_t elapsed, total;
    };
    for (const TimeCase& c :
         {TimeCase{1000, 0, 0, 0}, TimeCase{11000, 25, 10, 40}, TimeCase{11999, 100, 10, 10},
          TimeCase{61000, 50, 60, 120}, TimeCase{61000, 0, 60, 0}}) {
        clock->now = c.now;
        std::uint64_t elapsed = 0, total = 0;
        EstimateTimes(root.get(), c.percent, elapsed, total);
        EXPECT_EQ(elapsed, c.elapsed) << c.now;
        EXPECT_EQ(total, c.total) << c.now;
    }

    // Partition a read 1500 of its planned 1000: the plans follow, the root by the same amount.
    Settle(&a);
    EXPECT_EQ(a.plannedRead, 1500u);
    EXPECT_EQ(root->plannedRead, 4500u);
    // Partition b stopped early: its plans shrink to what was done.
    AddDoneRead(&b, 700);
    AddDoneWrite(&b, 600);
    Settle(&b);
    EXPECT_EQ(b.plannedRead, 700u);
    EXPECT_EQ(b.plannedWrite, 600u);
    EXPECT_EQ(root->plannedRead, 2200u);
    EXPECT_EQ(root->plannedWrite, 1600u);
    Settle(root.get());
    EXPECT_DOUBLE_EQ(Percent(root.get()), 100);

    EXPECT_FALSE(CloneIsCancelled());
    Cancel(&b);
    EXPECT_TRUE(IsCancelled(&a));
    EXPECT_TRUE(CloneIsCancelled());
    Start(root.get());
    EXPECT_FALSE(CloneIsCancelled());
    EXPECT_EQ(Percent(nullptr), 0);
    AddDoneRead(nullptr, 5);
    CloneInterfaceReplace(std::move(previous));
}

} // namespace
} // namespace tvd
