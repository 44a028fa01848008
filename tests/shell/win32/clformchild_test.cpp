// The child-window base under Wine: its window, its controls as the dump lists them, and the
// modal run that ends on the close button's action or when the disk goes.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/controls/dpiscale.h"
#include "shell/win32/clformchild.h"
#include "shell/win32/frmmain.h"

namespace tvd::win {
namespace {

class ProbeForm final : public clFormChild {
public:
    ProbeForm() : clFormChild("FormProbe") {}
    std::vector<std::string> calls;
    bool failBuild = false;
    std::vector<ControlInfo> Listed() const {
        // The dump reads the same lister.
        std::vector<ControlInfo> out;
        TclCustomFrame* f = Frame();
        if (!f) return out;
        f->ForEachControl([&](const tvd::ControlInfo& c) {
            ControlInfo i;
            i.name = c.name;
            i.picture = c.picture;
            i.rect = {c.rect.left, c.rect.top, c.rect.Right(), c.rect.Bottom()};
            out.push_back(i);
        });
        return out;
    }

protected:
    bool BuildContents() override {
        calls.push_back("build");
        if (failBuild) return false;
        Frame()->Add<TclLabel>("Header")->SetBounds({15, 40, 100, 20});
        return true;
    }
    void HeaderHook() override { calls.push_back("header"); }
    void ContentsHook() override { calls.push_back("contents"); }
};

const ControlInfo* Find(const std::vector<ControlInfo>& v, const std::string& name) {
    for (const ControlInfo& c : v)
        if (c.name == name) return &c;
    return nullptr;
}

TEST(WinFormChild, BuildsABorderlessRoundedTopmostWindowWithOutlineDragAreaAndCloseButton) {
    ProbeForm form;
    ASSERT_TRUE(form.Create(300, 200));
    HWND w = form.Window();
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(IsWindowVisible(w));
    const LONG style = GetWindowLongW(w, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME));
    EXPECT_TRUE(GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_TOPMOST);
    wchar_t caption[32] = {};
    GetWindowTextW(w, caption, 32);
    EXPECT_STREQ(caption, L"Tarvik");
    RECT client{};
    GetClientRect(w, &client);
    EXPECT_EQ(client.right, Px(300));
    EXPECT_EQ(client.bottom, Px(200));
    RECT box{};
    ASSERT_NE(GetWindowRgnBox(w, &box), ERROR);
    // A rounded region leaves out its last row and column: (0, 0) to (w + 2, h + 2) spans w + 1.
    EXPECT_EQ(box.right, Px(302) - 1);
    EXPECT_EQ(box.bottom, Px(202) - 1);

    const auto listed = form.Listed();
    ASSERT_GE(listed.size(), 4u);
    // Drawing order: the outline at the back, the drag area behind the window's own controls,
    // the close button in front.
    EXPECT_EQ(listed[0].name, "Outline");
    EXPECT_EQ(listed[1].name, "FormMove");
    EXPECT_EQ(listed.back().name, "CloseButton");
    const ControlInfo* close = Find(listed, "CloseButton");
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->rect.left, 300 - 32);
    EXPECT_EQ(close->rect.top, 8);
    EXPECT_EQ(close->rect.right - close->rect.left, 16);
    EXPECT_EQ(close->picture, "IMG_BTN_CLOSE");
    EXPECT_EQ(form.calls, std::vector<std::string>{"build"});
    // Built once only.
    EXPECT_FALSE(form.Create(300, 200));

    ProbeForm failing;
    failing.failBuild = true;
    EXPECT_FALSE(failing.Create(300, 200));
    EXPECT_EQ(failing.Window(), nullptr);
}

// What a timer does while the form runs modally.
struct TimerAction {
    ProbeForm* form = nullptr;
    clFunDisk* detach = nullptr; // the kernel removes this disk
    bool closeButton = false;
    int fired = 0;
    bool sawOpen = false;
};
TimerAction* g_action = nullptr;

void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    TimerAction& a = *g_action;
    ++a.fired;
    a.sawOpen = a.form->IsOpen() && clFormChild::OpenWindow() == a.form &&
                IsWindowVisible(a.form->Window());
    if (a.closeButton) a.form->Close();
    if (a.detach) {
        clFormChild::DiskRemoved(a.detach);
        a.detach->Detach();
    }
}

TEST(WinFormChild, ModalRunEndsOnCloseOrWhenItsDiskIsRemovedAndLetsGoOfTheDisk) {
    ProbeForm form;
    ASSERT_TRUE(form.Create(300, 200));
    clDisk device;
    struct Case {
        const char* what;
        bool closeButton;
        bool remove;
    };
    for (const Case& c : {Case{"close button", true, false}, Case{"disk removed", false, true}}) {
        SCOPED_TRACE(c.what);
        ZoltRef<clFunDisk> disk = MakeZoltRef<clFunDisk>(&device);
        const auto refs = disk->RefCount();
        TimerAction action{&form, c.remove ? disk.Get() : nullptr, c.closeButton};
        g_action = &action;
        form.calls.clear();
        ASSERT_NE(SetTimer(nullptr, 0, 50, OnTimer), 0u);
        form.ShowFor(disk.Get());
        g_action = nullptr;
        EXPECT_EQ(action.fired, 1);
        EXPECT_TRUE(action.sawOpen);
        EXPECT_EQ(form.calls, (std::vector<std::string>{"header", "contents"}));
        EXPECT_FALSE(form.IsOpen());
        EXPECT_EQ(form.Disk(), nullptr);
        EXPECT_EQ(clFormChild::OpenWindow(), nullptr);
        EXPECT_FALSE(IsWindowVisible(form.Window()));
        EXPECT_EQ(disk->RefCount(), refs);
    }
    // A disk already gone, or none: the window does not open.
    ZoltRef<clFunDisk> gone = MakeZoltRef<clFunDisk>(nullptr);
    form.calls.clear();
    form.ShowFor(gone.Get());
    form.ShowFor(nullptr);
    EXPECT_TRUE(form.calls.empty());
}

} // namespace
} // namespace tvd::win
