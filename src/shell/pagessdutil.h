// The Drive Information page (`clPageSsd`): one drive frame per functional disk, stacked in a
// scroll box in the disk registry's order, the selected drive's frame marked and scrolled into
// view, values refreshed on every eleventh tick. The window layer supplies the frames' controls
// (DiskFrameView) and the page's box (PageSsdHost); the rules live here.
//
// Frames change on the window thread only. The frame lock is no critical section (it would
// re-enter on that thread and guard nothing): nothing under it pumps messages or shows a box, and
// a call from another thread trips an assertion and is refused.
#pragma once
#include <cstddef>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "shell/clmenupage.h"
#include "shell/diskinfoframeutil.h"

namespace tvd {

// The controls of one drive frame.
class DiskFrameView {
public:
    virtual ~DiskFrameView() = default;
    virtual void SetTop(int top) = 0;
    virtual void SetVisible(bool visible) = 0;
    virtual void SetMarker(bool visible) = 0;
    virtual void ShowTexts(const DiskFrameTexts& texts) = 0;
    virtual void ShowSmart(const DiskSmartView& view) = 0;
    virtual void ShowBar(const CapacityBarView& bar) = 0;
    // The frame's disk for its buttons; null for a spare frame.
    virtual void SetDisk(clFunDisk* disk) = 0;
};

class PageSsdHost {
public:
    virtual ~PageSsdHost() = default;
    // A new hidden frame in the scroll box; null when it cannot be made.
    virtual std::unique_ptr<DiskFrameView> CreateFrame() = 0;
    virtual void ShowContent(bool visible) = 0;
    // The scroll bar's range and whether it is shown.
    virtual void SetScroll(int range, bool barShown) = 0;
    virtual void ScrollTo(int position) = 0;
    // The disk is about to leave: windows that show it close.
    virtual void DiskLeaving(clFunDisk* disk) { (void)disk; }
};

// The disks in the disk registry's order (lowest disk number first, then each next number).
std::vector<clFunDisk*> RegistryDiskOrder();

class clPageSsd : public clMenuPage {
public:
    struct Slot {
        std::unique_ptr<DiskFrameView> view; // null: an entry never used
        ZoltRef<clFunDisk> disk;             // null: a spare frame
        int top = 0;
        bool visible = false;
        bool marker = false;
    };
    using DiskOrder = std::function<std::vector<clFunDisk*>()>;
    using SelectionSource = std::function<clFunDisk*()>;

    clPageSsd(const MenuEntry& entry, PageSsdHost* host, MessageLookup text,
              DiskOrder order = RegistryDiskOrder, SelectionSource selection = nullptr) noexcept;
    ~clPageSsd() override;

    TVD_ISA(clPageSsd, clMenuPage)

    void Enter() override;
    void Leave() override;
    void RefreshTexts() override;
    bool Tick() override;
    void DriveChanged() override;

    // False when the disk got no frame (no memory, no window, wrong thread).
    bool AddDiskFrame(clFunDisk* disk);
    void RemoveDiskFrame(clFunDisk* disk);

    std::size_t Capacity() const noexcept { return table_.size(); }
    int FramesInUse() const noexcept { return inUse_; }
    const Slot& SlotAt(std::size_t i) const { return table_[i]; }
    // The frame entry of the selected disk, -1 when it has none.
    int SelectedIndex() const;
    clFunDisk* Selected() const noexcept { return selected_.Get(); }
    int ScrollRange() const noexcept { return range_; }
    bool ScrollBarShown() const noexcept { return barShown_; }
    int ScrollPosition() const noexcept { return position_; }
    int UpdateCounter() const noexcept { return counter_; }

    // Table growth; tests replace it to fail an allocation.
    using TableAllocator = std::function<bool(std::vector<Slot>& fresh, std::size_t size)>;
    void SetTableAllocator(TableAllocator a) { allocate_ = std::move(a); }

private:
    class FrameLock;
    bool OnOwnerThread() const;
    int IndexOf(const clFunDisk* disk) const;
    bool Grow();
    void LayOut();
    void ApplySelection(bool scroll);
    void RefreshDiskFrame(Slot& slot);
    void UpdateDiskFrame(Slot& slot);
    void ShowSmartValues(Slot& slot);

    PageSsdHost* host_;
    MessageLookup text_;
    DiskOrder order_;
    SelectionSource selection_;
    TableAllocator allocate_;
    std::thread::id owner_;
    std::vector<Slot> table_;
    int inUse_ = 0;
    ZoltRef<clFunDisk> selected_;
    int counter_ = 0;
    int range_ = 0;
    bool barShown_ = false;
    int position_ = 0;
    bool locked_ = false;
};

} // namespace tvd
