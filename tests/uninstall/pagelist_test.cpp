#include "uninstall/cluninstallpagelist.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "foundation/clzoltitem.h"
#include "uninstall/uninstallnames.h"

namespace tvd::uninstall {
namespace {

class RecordingPage : public clAppPage {
public:
    RecordingPage(std::int32_t n, std::vector<std::string>& log, bool createOk = true)
        : clAppPage(n), log_(log), createOk_(createOk) {}
    bool Create() override {
        log_.push_back("create " + std::to_string(Number()));
        return createOk_;
    }
    void Enter() override {
        log_.push_back("enter " + std::to_string(Number()));
        if (onEnter) onEnter();
    }
    void Leave() override { log_.push_back("leave " + std::to_string(Number())); }
    void RefreshTexts() override { log_.push_back("texts " + std::to_string(Number())); }
    std::function<void()> onEnter;

private:
    std::vector<std::string>& log_;
    bool createOk_;
};

struct Wizard {
    std::vector<std::string> log;
    clUninstallPageList* list;
    RecordingPage* pages[3];
    Wizard() {
        list = new clUninstallPageList(
            [this](std::int32_t n) { log.push_back("step " + std::to_string(n)); });
        list->AddRef();
        for (int i = 0; i < 3; ++i) {
            pages[i] = new RecordingPage(i + 1, log);
            EXPECT_TRUE(list->AddPage(pages[i]));
        }
    }
    ~Wizard() { list->Release(); }
};

TEST(PageListTest, AddShowAndTheStepIndicator) {
    Wizard w;
    EXPECT_EQ(w.log, (std::vector<std::string>{"create 1", "leave 1", "create 2", "leave 2",
                                               "create 3", "leave 3"}));
    w.log.clear();
    EXPECT_TRUE(w.list->ShowPage(w.pages[0]));
    EXPECT_TRUE(w.list->ShowPage(w.pages[0]));
    EXPECT_TRUE(w.list->ShowPage(w.pages[1]));
    EXPECT_EQ(w.log, (std::vector<std::string>{"step 1", "texts 1", "enter 1", "step 1", "step 2",
                                               "leave 1", "texts 2", "enter 2"}));
    EXPECT_EQ(w.list->Current(), w.pages[1]);
    EXPECT_EQ(w.list->PageByNumber(3), w.pages[2]);
    EXPECT_FALSE(w.list->ShowPage(nullptr));

    std::vector<std::string> other;
    RecordingPage* failing = new RecordingPage(4, other, false);
    ZoltRef<RecordingPage> keep(failing);
    EXPECT_FALSE(w.list->AddPage(failing));
    EXPECT_EQ(failing->Owner(), nullptr);
    EXPECT_FALSE(w.list->ShowPage(failing));
}

// What the removal inside Enter would meet: the outcome's switch is refused and the step
// indicator is left alone, so the wizard has to start the removal after the switch.
TEST(PageListTest, NoSwitchFromInsideASwitch) {
    Wizard w;
    ASSERT_TRUE(w.list->ShowPage(w.pages[0]));
    bool nested = true;
    w.pages[1]->onEnter = [&] { nested = w.list->ShowPage(w.pages[2]); };
    EXPECT_TRUE(w.list->ShowPage(w.pages[1]));
    EXPECT_FALSE(nested);
    EXPECT_EQ(w.list->Current(), w.pages[1]);
    EXPECT_EQ(w.log.back(), "enter 2");
}

struct FlowHarness {
    std::vector<std::string> log;
    std::int32_t page = 0;
    int posted = 0;
    std::function<ErrorCode()> removal = [] { return err::kSuccess; };
    UninstallFlow flow{UninstallFlow::Hooks{
        [this](std::int32_t p) {
            log.push_back("show " + std::to_string(p));
            page = p;
            return true;
        },
        [this] {
            ++posted;
            log.push_back("post");
        },
        [this] {
            log.push_back("run");
            return removal();
        },
        [this](ErrorCode e) { log.push_back("error " + std::to_string(e)); },
        [this] { log.push_back("destroy"); },
        [this] { log.push_back("cleanup"); },
    }};
};

TEST(UninstallFlowTest, PathsThroughTheWizard) {
    struct Row {
        const char* what;
        ErrorCode result;
        bool cancelDuringRun;
        bool closeDuringRun;
        bool yesDuringRun;
        std::vector<std::string> log;
    } rows[] = {
        {"done",
         err::kSuccess,
         false,
         false,
         false,
         {"show 1", "show 2", "post", "run", "show 3", "cleanup", "destroy"}},
        {"error",
         err::kSharingViolation,
         false,
         false,
         false,
         {"show 1", "show 2", "post", "run", "error 32", "show 1"}},
        {"busy",
         static_cast<ErrorCode>(msg::kMainProgramBusy),
         false,
         false,
         false,
         {"show 1", "show 2", "post", "run", "error 20054", "show 1"}},
        {"cancelled",
         err::kCancelled,
         true,
         false,
         false,
         {"show 1", "show 2", "post", "run", "show 1"}},
        {"cancel after 50",
         err::kSuccess,
         true,
         false,
         false,
         {"show 1", "show 2", "post", "run", "show 1"}},
        {"close during run",
         err::kSuccess,
         false,
         true,
         false,
         {"show 1", "show 2", "post", "run", "destroy"}},
        {"second yes during run",
         err::kSuccess,
         false,
         false,
         true,
         {"show 1", "show 2", "post", "run", "show 3", "cleanup", "destroy"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        FlowHarness h;
        h.removal = [&h, &r] {
            EXPECT_TRUE(h.flow.Running());
            if (r.cancelDuringRun) h.flow.OnCancel();
            if (r.closeDuringRun) {
                EXPECT_FALSE(h.flow.OnCloseRequest());
                EXPECT_TRUE(h.flow.Cancelled());
            }
            if (r.yesDuringRun) {
                h.flow.OnYes();
                h.flow.OnStartRemoval();
                EXPECT_EQ(h.posted, 1);
            }
            return r.result;
        };
        ASSERT_TRUE(h.flow.Begin());
        h.flow.OnYes();
        h.flow.OnYes(); // a double click posts once
        h.flow.OnStartRemoval();
        h.flow.OnStartRemoval(); // a stray second message runs nothing
        if (h.page == kFinalPage) {
            h.flow.OnDone();
            h.flow.OnDone();
        }
        EXPECT_EQ(h.log, r.log);
        EXPECT_FALSE(h.flow.Running());
    }
}

TEST(UninstallFlowTest, NoAndCloseBeforeTheStart) {
    {
        FlowHarness h;
        h.flow.Begin();
        EXPECT_TRUE(h.flow.OnCloseRequest());
        h.flow.OnNo();
        EXPECT_EQ(h.log, (std::vector<std::string>{"show 1", "destroy"}));
    }
    {
        // Closed between "Yes" and the posted start: nothing runs.
        FlowHarness h;
        h.flow.Begin();
        h.flow.OnYes();
        EXPECT_FALSE(h.flow.OnCloseRequest());
        h.flow.OnStartRemoval();
        EXPECT_EQ(h.log, (std::vector<std::string>{"show 1", "show 2", "post", "destroy"}));
    }
    {
        // "No" and "Done" do nothing on the wrong page.
        FlowHarness h;
        h.flow.Begin();
        h.flow.OnDone();
        h.flow.OnYes();
        h.flow.OnNo();
        EXPECT_EQ(h.log, (std::vector<std::string>{"show 1", "show 2", "post"}));
    }
}

} // namespace
} // namespace tvd::uninstall
