// The page, selector, busy and close rules over fake pages, a fake window and functional disks
// that no device backs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/mainpagesutil.h"

namespace tvd {
namespace {

using Log = std::vector<std::string>;

class FakeButton final : public MenuButtonView {
public:
    void SetEnabled(bool e) override { enabled = e; }
    void SetSelectedLook(bool s) override { selected = s; }
    bool enabled = true, selected = false;
};

class FakePage final : public clMenuPage {
public:
    FakePage(const MenuEntry& e, Log& log) : clMenuPage(e), log_(log) { SetMenuButton(&button); }
    void Enter() override {
        clMenuPage::Enter();
        log_.push_back(std::string("enter ") + Entry().name);
    }
    void Leave() override {
        clMenuPage::Leave();
        log_.push_back(std::string("leave ") + Entry().name);
    }
    void RefreshTexts() override { log_.push_back(std::string("texts ") + Entry().name); }
    bool Tick() override {
        log_.push_back(std::string("tick ") + Entry().name);
        return busyTick;
    }
    void DriveChanged() override {
        const clFunDisk* d = SelectedDisk();
        log_.push_back(std::string("drive ") + (d && d->displayModel ? *d->displayModel : "none"));
    }
    void DiskAdded(clFunDisk* d) override { log_.push_back("added " + *d->displayModel); }
    void DiskRemoved(clFunDisk* d) override { log_.push_back("removed " + *d->displayModel); }

    FakeButton button;
    bool busyTick = false;

private:
    Log& log_;
};

class FakeHost final : public ShellHost {
public:
    void CloseMainWindow() override { ++closes; }
    void PostPendingClose() override { ++posted; }
    void KernelTick() override { ++kernelTicks; }
    void SelectorChanged() override { ++selectorChanges; }
    void PageChanged(clMenuPage*) override {}
    std::u16string MessageText(int id) override {
        if (id == 21011) return u"1 Device";
        if (id == 21012) return u"%i Devices";
        return {};
    }
    int closes = 0, posted = 0, kernelTicks = 0, selectorChanges = 0;
};

ZoltRef<clFunDisk> FakeDisk(const char* model) {
    ZoltRef<clFunDisk> d = MakeZoltRef<clFunDisk>(nullptr);
    d->displayModel = model;
    return d;
}

class MainShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const MenuEntry& e : MainMenuEntries())
            pages.push_back(std::make_unique<FakePage>(e, log));
        for (auto& p : pages)
            shell.AddPage(p.get());
        SetActiveShell(&shell);
    }
    void TearDown() override { SetActiveShell(nullptr); }

    Log log;
    FakeHost host;
    MainShell shell{&host};
    std::vector<std::unique_ptr<FakePage>> pages;
};

TEST_F(MainShellTest, SwitchPageLeavesRefreshesAndEntersInOrderWithTheButtonLooks) {
    shell.SwitchPage(pages[0].get());
    log.clear();
    pages[2]->MenuClicked();
    EXPECT_EQ(log, (Log{"leave PageSsd", "texts PageUtil", "enter PageUtil"}));
    EXPECT_EQ(shell.CurrentPage(), pages[2].get());
    EXPECT_TRUE(pages[2]->Active());
    EXPECT_FALSE(pages[0]->Active());
    EXPECT_FALSE(pages[2]->button.enabled);
    EXPECT_TRUE(pages[2]->button.selected);
    EXPECT_TRUE(pages[0]->button.enabled);
    EXPECT_FALSE(pages[0]->button.selected);

    log.clear();
    shell.SwitchPage(nullptr); // only leaves
    EXPECT_EQ(log, (Log{"leave PageUtil"}));
    EXPECT_EQ(shell.CurrentPage(), nullptr);
}

TEST_F(MainShellTest, BusyFreezesMenuSelectorKernelTickAndClose) {
    shell.SetStarted(true);
    shell.SwitchPage(pages[0].get());
    shell.EnterBusy();
    EXPECT_TRUE(IsBusy());
    EXPECT_FALSE(shell.DriveSelectorEnabled());

    log.clear();
    pages[3]->MenuClicked();
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(shell.CurrentPage(), pages[0].get());

    EXPECT_FALSE(shell.Tick()); // the page still ticks, the kernel does not
    EXPECT_EQ(log, (Log{"tick PageSsd"}));
    EXPECT_EQ(host.kernelTicks, 0);

    EXPECT_EQ(RequestClose(), CloseOutcome::kRefused);
    EXPECT_EQ(host.closes, 0);

    shell.LeaveBusy();
    EXPECT_TRUE(shell.DriveSelectorEnabled());
    EXPECT_TRUE(shell.Tick());
    EXPECT_EQ(host.kernelTicks, 1);
    EXPECT_EQ(RequestClose(), CloseOutcome::kClosed);
    EXPECT_EQ(host.closes, 1);
}

TEST_F(MainShellTest, TickWaitsForTheStartAndABusyPage) {
    shell.SwitchPage(pages[1].get());
    EXPECT_FALSE(shell.Tick());
    EXPECT_EQ(host.kernelTicks, 0);
    shell.SetStarted(true);
    pages[1]->busyTick = true;
    EXPECT_FALSE(shell.Tick());
    EXPECT_EQ(host.kernelTicks, 0);
    pages[1]->busyTick = false;
    EXPECT_TRUE(shell.Tick());
    EXPECT_EQ(host.kernelTicks, 1);
}

TEST_F(MainShellTest, CloseInsideANestedLoopIsCarriedOutAfterItReturns) {
    {
        NestedLoopScope outer(&shell);
        {
            NestedLoopScope inner(&shell);
            EXPECT_EQ(shell.RequestClose(), CloseOutcome::kDeferred);
        }
        EXPECT_EQ(host.posted, 0); // still inside the outer loop
        EXPECT_EQ(host.closes, 0);
    }
    EXPECT_EQ(host.posted, 1);
    EXPECT_EQ(host.closes, 0);
    EXPECT_EQ(shell.CarryOutPendingClose(), CloseOutcome::kClosed);
    EXPECT_EQ(host.closes, 1);
    EXPECT_EQ(shell.CarryOutPendingClose(), CloseOutcome::kRefused); // nothing pending any more
    EXPECT_EQ(host.closes, 1);
}

TEST_F(MainShellTest, DeferredCloseIsDroppedWhenBusyOnceTheLoopReturns) {
    {
        NestedLoopScope loop(&shell);
        EXPECT_EQ(shell.RequestClose(), CloseOutcome::kDeferred);
        shell.EnterBusy(); // the page started a job while the box was up
    }
    EXPECT_EQ(shell.CarryOutPendingClose(), CloseOutcome::kRefused);
    EXPECT_EQ(host.closes, 0);
    EXPECT_FALSE(shell.ClosePending());
    // While busy a request inside a loop is refused outright, not kept for later.
    {
        NestedLoopScope loop(&shell);
        EXPECT_EQ(shell.RequestClose(), CloseOutcome::kRefused);
    }
    EXPECT_FALSE(shell.ClosePending());
}

TEST_F(MainShellTest, SelectorFirstDiskSelectedThenSecondCountedWithoutChange) {
    shell.SwitchPage(pages[0].get());
    ZoltRef<clFunDisk> a = FakeDisk("Disk A"), b = FakeDisk("Disk B");
    log.clear();
    NotifyDiskAdded(a.Get());
    EXPECT_EQ(log, (Log{"drive Disk A", "added Disk A"}));
    EXPECT_EQ(SelectedDisk(), a.Get());
    EXPECT_EQ(shell.CountText(), u"1 Device");

    log.clear();
    NotifyDiskAdded(b.Get());
    EXPECT_EQ(log, (Log{"added Disk B"}));
    EXPECT_EQ(SelectedDisk(), a.Get());
    EXPECT_EQ(shell.CountText(), u"2 Devices");
    EXPECT_EQ(shell.EntryAt(1)->text, u"Disk B");

    log.clear();
    NotifyDiskAdded(a.Get()); // listed already: only the page hears of it
    EXPECT_EQ(shell.EntryCount(), 2u);
}

TEST_F(MainShellTest, RemovingTheSelectedFirstEntryMovesThePageToTheNewSelectionOnce) {
    shell.SwitchPage(pages[0].get());
    ZoltRef<clFunDisk> a = FakeDisk("Disk A"), b = FakeDisk("Disk B"), c = FakeDisk("Disk C");
    NotifyDiskAdded(a.Get());
    NotifyDiskAdded(b.Get());
    NotifyDiskAdded(c.Get());
    log.clear();
    NotifyDiskRemoved(a.Get());
    EXPECT_EQ(log, (Log{"drive Disk B", "removed Disk A"}));
    EXPECT_EQ(SelectedDisk(), b.Get());
    EXPECT_EQ(shell.SelectedIndex(), 0);
    EXPECT_EQ(shell.CountText(), u"2 Devices");

    // Removing an entry before a selected later one keeps the selection on the same disk.
    SelectDriveIndex(1);
    log.clear();
    NotifyDiskRemoved(b.Get());
    EXPECT_EQ(log, (Log{"removed Disk B"}));
    EXPECT_EQ(SelectedDisk(), c.Get());
    EXPECT_EQ(shell.CountText(), u"1 Device");

    log.clear();
    NotifyDiskRemoved(c.Get());
    EXPECT_EQ(log, (Log{"drive none", "removed Disk C"}));
    EXPECT_EQ(SelectedDisk(), nullptr);
    EXPECT_EQ(shell.CountText(), u"");
    NotifyDiskRemoved(c.Get()); // no longer listed
    EXPECT_EQ(shell.EntryCount(), 0u);
}

TEST_F(MainShellTest, EntriesKeepTheirDiskAliveUntilRemoved) {
    clFunDisk* raw = nullptr;
    {
        ZoltRef<clFunDisk> a = FakeDisk("Disk A");
        raw = a.Get();
        NotifyDiskAdded(raw);
        EXPECT_EQ(raw->RefCount(), 2);
    }
    EXPECT_EQ(raw->RefCount(), 1);
    EXPECT_EQ(SelectedDisk(), raw);
    ZoltRef<clFunDisk> hold(raw);
    NotifyDiskRemoved(raw);
    EXPECT_EQ(raw->RefCount(), 1);

    NotifyDiskAdded(raw);
    shell.ReleaseDisks();
    EXPECT_EQ(raw->RefCount(), 1);
    EXPECT_EQ(SelectedDisk(), nullptr);
    EXPECT_EQ(shell.EntryCount(), 0u);
}

TEST(MainShellFree, OperationsWithoutAShellDoNothing) {
    SetActiveShell(nullptr);
    EXPECT_FALSE(IsBusy());
    EnterBusy();
    EXPECT_FALSE(IsBusy());
    EXPECT_EQ(RequestClose(), CloseOutcome::kRefused);
    EXPECT_EQ(SelectedDisk(), nullptr);
    NotifyDiskAdded(nullptr);
    SwitchPage(nullptr);
}

TEST(DeviceCountText, TableTextsWithTheirSpecifier) {
    struct Case {
        std::size_t count;
        std::u16string many, want;
    } cases[] = {
        {0, u"%i Devices", u""},
        {1, u"%i Devices", u"1 Device"},
        {2, u"%i Devices", u"2 Devices"},
        {12, u"Устройств: %d", u"Устройств: 12"},
        {3, u"%i 100%% Devices", u"3 100% Devices"},
        {3, u"%s Devices", u""},       // a string specifier never takes a count
        {3, u"%i of %i Devices", u""}, // more specifiers than values
        {3, u"Devices", u""},
        {3, u"%n Devices", u""},
        {3, u"Devices %", u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DeviceCountText(c.count, u"1 Device", c.many), c.want) << c.count;
}

} // namespace
} // namespace tvd
