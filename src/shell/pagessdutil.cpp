#include "shell/pagessdutil.h"

#include <algorithm>
#include <cassert>
#include <new>

#include "drive/fundisksutil.h"
#include "shell/mainpagesutil.h"

namespace tvd {

// Marks the frame table as being changed. It never waits: everything runs on the window thread,
// so a second holder can only be a re-entry, which nothing under it may cause.
class clPageSsd::FrameLock {
public:
    explicit FrameLock(clPageSsd& page) noexcept : page_(page) {
        assert(!page_.locked_ && "the frame lock re-entered");
        page_.locked_ = true;
    }
    ~FrameLock() { page_.locked_ = false; }
    FrameLock(const FrameLock&) = delete;
    FrameLock& operator=(const FrameLock&) = delete;

private:
    clPageSsd& page_;
};

std::vector<clFunDisk*> RegistryDiskOrder() {
    std::vector<clFunDisk*> out;
    std::size_t guard = FunDisksCount() + 1;
    for (clFunDisk* fd = FunDisksLowest(); fd && guard > 0; --guard) {
        out.push_back(fd);
        // Disks without a number share the largest one; NextAbove ends the walk there.
        if (fd->diskNumber == kNoDiskNumber) break;
        fd = FunDisksNextAbove(fd->diskNumber);
    }
    return out;
}

clPageSsd::clPageSsd(const MenuEntry& entry, PageSsdHost* host, MessageLookup text, DiskOrder order,
                     SelectionSource selection) noexcept
    : clMenuPage(entry), host_(host), text_(std::move(text)), order_(std::move(order)),
      selection_(std::move(selection)), owner_(std::this_thread::get_id()) {
    if (!text_) text_ = [](int) { return std::u16string(); };
    allocate_ = [](std::vector<Slot>& fresh, std::size_t size) {
        try {
            fresh.reserve(size);
            return true;
        } catch (const std::bad_alloc&) {
            return false;
        }
    };
}

clPageSsd::~clPageSsd() = default;

bool clPageSsd::OnOwnerThread() const {
    const bool own = std::this_thread::get_id() == owner_;
    assert(own && "drive frames change on the window thread only");
    return own;
}

int clPageSsd::IndexOf(const clFunDisk* disk) const {
    if (!disk) return -1;
    for (std::size_t i = 0; i < table_.size(); ++i)
        if (table_[i].disk.Get() == disk) return static_cast<int>(i);
    return -1;
}

int clPageSsd::SelectedIndex() const {
    return IndexOf(selected_.Get());
}

bool clPageSsd::Grow() {
    // The new table is built beside the old one and swapped in only when complete.
    std::vector<Slot> fresh;
    if (!allocate_ || !allocate_(fresh, table_.size() + 4)) return false;
    if (fresh.capacity() < table_.size() + 4) return false;
    for (Slot& s : table_)
        fresh.push_back(std::move(s));
    fresh.resize(table_.size() + 4);
    table_.swap(fresh);
    return true;
}

bool clPageSsd::AddDiskFrame(clFunDisk* disk) {
    if (!disk || !OnOwnerThread()) return false;
    if (IndexOf(disk) >= 0) return true;
    Slot* slot = nullptr;
    {
        FrameLock lock(*this);
        if (static_cast<std::size_t>(inUse_) >= table_.size() && !Grow()) return false;
        for (Slot& s : table_)
            if (!s.view || !s.disk) {
                slot = &s;
                break;
            }
        if (!slot) return false;
        if (!slot->view) {
            if (!host_) return false;
            slot->view = host_->CreateFrame();
            if (!slot->view) return false;
        }
        slot->disk.Reset(disk);
        slot->view->SetDisk(disk);
        slot->marker = disk == selected_.Get();
        slot->view->SetMarker(slot->marker);
        RefreshDiskFrame(*slot);
        ++inUse_;
        LayOut();
        slot->visible = true;
        slot->view->SetVisible(true);
    }
    return true;
}

void clPageSsd::RemoveDiskFrame(clFunDisk* disk) {
    if (!disk || !OnOwnerThread()) return;
    if (IndexOf(disk) < 0) return;
    // Its windows close first: they hold the disk, not the frame.
    if (host_) host_->DiskLeaving(disk);
    const int now = IndexOf(disk);
    if (now < 0) return;
    FrameLock lock(*this);
    const auto at = table_.begin() + now;
    Slot& slot = *at;
    slot.visible = false;
    slot.view->SetVisible(false);
    slot.marker = false;
    slot.view->SetMarker(false);
    slot.view->SetDisk(nullptr);
    slot.disk.Reset();
    if (selected_.Get() == disk) selected_.Reset();
    --inUse_;
    // The following frames move up; the spare goes behind the last frame in use.
    auto end = std::find_if(at, table_.end(), [](const Slot& s) { return !s.view; });
    std::rotate(at, at + 1, end);
    LayOut();
}

void clPageSsd::LayOut() {
    std::vector<clFunDisk*> order = order_ ? order_() : std::vector<clFunDisk*>();
    std::vector<bool> placed(table_.size(), false);
    int k = 0;
    auto place = [&](std::size_t i) {
        Slot& s = table_[i];
        s.top = kDiskFrameStep * k++;
        s.view->SetTop(s.top);
        placed[i] = true;
    };
    for (clFunDisk* fd : order) {
        const int i = IndexOf(fd);
        if (i >= 0 && !placed[static_cast<std::size_t>(i)]) place(static_cast<std::size_t>(i));
    }
    // A frame whose disk the registry no longer lists still gets a place of its own.
    for (std::size_t i = 0; i < table_.size(); ++i)
        if (table_[i].disk && !placed[i]) place(i);
    const int total = kDiskFrameStep * k;
    barShown_ = total > kDiskViewportHeight;
    range_ = barShown_ ? total - kDiskViewportHeight : 0;
    if (host_) host_->SetScroll(range_, barShown_);
    if (position_ > range_) {
        position_ = range_;
        if (host_) host_->ScrollTo(position_);
    }
}

void clPageSsd::ApplySelection(bool scroll) {
    clFunDisk* disk = selection_ ? selection_() : SelectedDisk();
    if (!disk || !OnOwnerThread()) return;
    int index = -1;
    {
        FrameLock lock(*this);
        selected_.Reset(disk);
        index = IndexOf(disk);
        for (Slot& s : table_) {
            if (!s.view) continue;
            s.marker = s.disk.Get() == disk;
            s.view->SetMarker(s.marker);
        }
        CloseHandles(disk);
    }
    if (scroll && index >= 0) {
        position_ = std::clamp(table_[static_cast<std::size_t>(index)].top, 0, range_);
        if (host_) host_->ScrollTo(position_);
    }
}

void clPageSsd::Enter() {
    clMenuPage::Enter();
    ShowDriveSelector(true);
    ApplySelection(false);
    if (host_) host_->ShowContent(true);
}

void clPageSsd::Leave() {
    if (host_) host_->ShowContent(false);
    clMenuPage::Leave();
}

void clPageSsd::DriveChanged() {
    ApplySelection(true);
}

void clPageSsd::RefreshTexts() {
    if (!OnOwnerThread()) return;
    FrameLock lock(*this);
    for (Slot& s : table_)
        if (s.disk) RefreshDiskFrame(s);
}

bool clPageSsd::Tick() {
    if (counter_ > 9) {
        counter_ = 0;
        if (!OnOwnerThread()) return false;
        FrameLock lock(*this);
        for (Slot& s : table_)
            if (s.disk) UpdateDiskFrame(s);
    } else {
        ++counter_;
    }
    return false;
}

void clPageSsd::ShowSmartValues(Slot& slot) {
    slot.view->ShowSmart(BuildDiskSmartView(TakeDiskFigures(slot.disk.Get()), text_));
}

void clPageSsd::RefreshDiskFrame(Slot& slot) {
    clFunDisk* disk = slot.disk.Get();
    slot.view->ShowTexts(BuildDiskFrameTexts(ReadDiskIdentity(disk), text_));
    slot.view->ShowBar(ReadCapacityBar(disk));
    ShowSmartValues(slot);
    CloseHandles(disk);
    disk->smart.updated = true;
}

void clPageSsd::UpdateDiskFrame(Slot& slot) {
    clFunDisk* disk = slot.disk.Get();
    if (disk->smart.updated) {
        disk->smart.updated = false;
        ShowSmartValues(slot);
        CloseHandles(disk);
    }
    slot.view->ShowBar(ReadCapacityBar(disk));
}

} // namespace tvd
