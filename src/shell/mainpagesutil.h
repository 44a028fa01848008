// The main window's rules, apart from the window itself: the seven menu pages and the current
// one, the busy lock, the tick, the active-drive selector and the close request. The window
// layer (or a test) supplies a ShellHost and mirrors what the shell decides.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "drive/clfundisk.h"
#include "shell/clmenupage.h"
#include "shell/formattext.h"

namespace tvd {

// The seven menu rows in menu order (caption ids, pictures and tops of the menu buttons).
const std::vector<MenuEntry>& MainMenuEntries();

// What the shell asks of its window.
class ShellHost {
public:
    virtual ~ShellHost() = default;
    // Closes the main window now; the shutdown follows.
    virtual void CloseMainWindow() = 0;
    // A close request waited for a nested message loop; ask again from the main loop
    // (CarryOutPendingClose).
    virtual void PostPendingClose() = 0;
    // KernelTick with device processing.
    virtual void KernelTick() = 0;
    // Entries, selection, count text, visibility or enabled state of the selector changed.
    virtual void SelectorChanged() = 0;
    // The current page changed (frames and menu looks follow).
    virtual void PageChanged(clMenuPage* page) = 0;
    // The text of a message id in the UI language; empty when it has none.
    virtual std::u16string MessageText(int id) = 0;
    // The text formatted with `args`; a text whose specifiers do not take exactly these
    // arguments gives none. The program's host falls back to the default table's text.
    virtual std::u16string MessageFormat(int id, FormatArgs args);
};

// The outcome of a close request.
enum class CloseOutcome {
    kClosed,  // the window closes
    kRefused, // busy: nothing happens
    kDeferred // inside a nested message loop: carried out once it returns
};

// Extra steps the pages add to the disk notifications (the Drive Information page's frames).
struct DiskFrameHooks {
    std::function<void(clFunDisk*)> added;
    std::function<void(clFunDisk*)> removed;
};

class MainShell {
public:
    struct SelectorEntry {
        ZoltRef<clFunDisk> disk; // the entry keeps its disk alive
        std::u16string text;
    };

    explicit MainShell(ShellHost* host) noexcept : host_(host) {}
    MainShell(const MainShell&) = delete;
    MainShell& operator=(const MainShell&) = delete;

    // Pages, in menu order; not owned.
    void AddPage(clMenuPage* page);
    const std::vector<clMenuPage*>& Pages() const noexcept { return pages_; }
    // Calls each page's Create in menu order; false at the first that fails.
    bool CreatePages();
    clMenuPage* FindPage(const char* name) const;

    // Leaves the current page, makes `page` current, refreshes its texts and enters it. A null
    // page only leaves the current one.
    void SwitchPage(clMenuPage* page);
    clMenuPage* CurrentPage() const noexcept { return current_; }

    void EnterBusy();
    void LeaveBusy();
    bool IsBusy() const noexcept { return busy_; }

    void SetStarted(bool started) noexcept { started_ = started; }
    bool Started() const noexcept { return started_; }
    // One 100 ms tick: the current page's Tick, then the kernel's unless the page or the busy
    // lock holds it. Nothing before the start has finished, and a tick never nests. True when
    // the kernel's tick ran.
    bool Tick();

    // The close button, Alt+F4 and the uninstaller's request.
    CloseOutcome RequestClose();
    // Message boxes, process waits and pages waiting on a job run nested message loops; a close
    // request inside one waits until the outermost returns.
    void EnterNestedLoop() noexcept { ++nested_; }
    void LeaveNestedLoop();
    int NestedDepth() const noexcept { return nested_; }
    bool ClosePending() const noexcept { return closePending_; }
    // From the main loop: carries out a deferred request unless busy (then it is dropped).
    CloseOutcome CarryOutPendingClose();

    // Disk notifications from the kernel.
    void NotifyDiskAdded(clFunDisk* disk);
    void NotifyDiskRemoved(clFunDisk* disk);
    void SetDiskFrameHooks(DiskFrameHooks hooks) { hooks_ = std::move(hooks); }

    // The shutdown lets go of every entry's disk (before the kernel frees the registry).
    void ReleaseDisks();

    // The active-drive selector.
    clFunDisk* SelectedDisk() const;
    int SelectedIndex() const noexcept { return selected_; }
    // Selects entry i (-1 or out of range: none) and tells the current page.
    void SelectDriveIndex(int index);
    std::size_t EntryCount() const noexcept { return entries_.size(); }
    const SelectorEntry* EntryAt(std::size_t index) const;
    // Empty for no entry, 21011 for one, 21012 with the count for more.
    const std::u16string& CountText() const noexcept { return countText_; }
    // The language changed: the count text is looked up again.
    void RefreshTexts();
    void ShowDriveSelector(bool show);
    bool DriveSelectorShown() const noexcept { return selectorShown_; }
    void EnableDriveSelector(bool enable);
    bool DriveSelectorEnabled() const noexcept { return selectorEnabled_ && !busy_; }

private:
    void UpdateCountText();
    void SelectorChanged();
    int IndexOf(const clFunDisk* disk) const;

    ShellHost* host_;
    std::vector<clMenuPage*> pages_;
    clMenuPage* current_ = nullptr;
    bool busy_ = false;
    bool started_ = false;
    bool ticking_ = false;
    int nested_ = 0;
    bool closePending_ = false;
    std::vector<SelectorEntry> entries_;
    int selected_ = -1;
    std::u16string countText_;
    bool selectorShown_ = false;
    bool selectorEnabled_ = true;
    DiskFrameHooks hooks_;
};

// Holds a nested message loop's mark for its scope.
class NestedLoopScope {
public:
    explicit NestedLoopScope(MainShell* shell) noexcept : shell_(shell) {
        if (shell_) shell_->EnterNestedLoop();
    }
    ~NestedLoopScope() {
        if (shell_) shell_->LeaveNestedLoop();
    }
    NestedLoopScope(const NestedLoopScope&) = delete;
    NestedLoopScope& operator=(const NestedLoopScope&) = delete;

private:
    MainShell* shell_;
};

// The process's shell (the main window's); null before it exists and after it is gone. The
// operations below act on it and do nothing (or answer none) without one.
MainShell* ActiveShell() noexcept;
void SetActiveShell(MainShell* shell) noexcept;

void SwitchPage(clMenuPage* page);
void EnterBusy();
void LeaveBusy();
bool IsBusy();
CloseOutcome RequestClose();
clFunDisk* SelectedDisk();
void SelectDriveIndex(int index);
void ShowDriveSelector(bool show);
void EnableDriveSelector(bool enable);
void NotifyDiskAdded(clFunDisk* disk);
void NotifyDiskRemoved(clFunDisk* disk);

// "1 Device", or "%i Devices" with the count put in when its specifiers take exactly one
// integer; empty otherwise.
std::u16string DeviceCountText(std::size_t count, const std::u16string& oneText,
                               const std::u16string& manyText);

} // namespace tvd
