#include "shell/mainpagesutil.h"

#include <cstring>

namespace tvd {

namespace {

MainShell* g_shell = nullptr;

std::u16string Widen(const std::string& text) {
    // Model texts from drives are 8-bit; bytes above 0x7F are taken as Latin-1.
    std::u16string out;
    out.reserve(text.size());
    for (unsigned char c : text)
        out.push_back(static_cast<char16_t>(c));
    return out;
}

} // namespace

const std::vector<MenuEntry>& MainMenuEntries() {
    static const std::vector<MenuEntry> entries = {
        {"clPageSsd", "PageSsd", 21001, "IMG_MENU_SSD_N", "IMG_MENU_SSD_S", 76},
        {"clPageDiag", "PageDiag", 21002, "IMG_MENU_DIAG_N", "IMG_MENU_DIAG_S", 133},
        {"clPageUtil", "PageUtil", 21003, "IMG_MENU_UTIL_N", "IMG_MENU_UTIL_S", 190},
        {"clPageOpti", "PageOpti", 21004, "IMG_MENU_OPTI_N", "IMG_MENU_OPTI_S", 247},
        {"clPageSysinfo", "PageSysinfo", 21005, "IMG_MENU_SYS_N", "IMG_MENU_SYS_S", 304},
        {"clPageBenchMark", "PageBenchMark", 21007, "IMG_MENU_BENCH_N", "IMG_MENU_BENCH_S", 361},
        {"clPageClone", "PageClone", 21006, "IMG_MENU_CLONE_N", "IMG_MENU_CLONE_S", 418},
    };
    return entries;
}

void MainShell::AddPage(clMenuPage* page) {
    if (page) pages_.push_back(page);
}

bool MainShell::CreatePages() {
    for (clMenuPage* page : pages_)
        if (!page->Create()) return false;
    return true;
}

clMenuPage* MainShell::FindPage(const char* name) const {
    if (!name) return nullptr;
    for (clMenuPage* page : pages_)
        if (std::strcmp(page->Entry().name, name) == 0) return page;
    return nullptr;
}

void MainShell::SwitchPage(clMenuPage* page) {
    if (current_) current_->Leave();
    current_ = page;
    if (page) {
        page->RefreshTexts();
        page->Enter();
    }
    if (host_) host_->PageChanged(page);
}

void MainShell::EnterBusy() {
    busy_ = true;
    SelectorChanged();
}

void MainShell::LeaveBusy() {
    busy_ = false;
    SelectorChanged();
}

bool MainShell::Tick() {
    if (!started_ || ticking_) return false;
    ticking_ = true;
    const bool pageBusy = current_ && current_->Tick();
    const bool runKernel = !pageBusy && !busy_;
    if (runKernel && host_) host_->KernelTick();
    ticking_ = false;
    return runKernel;
}

CloseOutcome MainShell::RequestClose() {
    if (busy_) return CloseOutcome::kRefused;
    if (nested_ > 0) {
        closePending_ = true;
        return CloseOutcome::kDeferred;
    }
    closePending_ = false;
    if (host_) host_->CloseMainWindow();
    return CloseOutcome::kClosed;
}

void MainShell::LeaveNestedLoop() {
    if (nested_ > 0) --nested_;
    // Closing from here would pull the window from under the code the loop returns to.
    if (nested_ == 0 && closePending_ && host_) host_->PostPendingClose();
}

CloseOutcome MainShell::CarryOutPendingClose() {
    if (!closePending_) return CloseOutcome::kRefused;
    if (nested_ > 0) return CloseOutcome::kDeferred;
    closePending_ = false;
    return RequestClose();
}

int MainShell::IndexOf(const clFunDisk* disk) const {
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].disk.Get() == disk) return static_cast<int>(i);
    return -1;
}

void MainShell::NotifyDiskAdded(clFunDisk* disk) {
    if (!disk) return;
    if (hooks_.added) hooks_.added(disk);
    if (IndexOf(disk) < 0) {
        const std::string* model = GetDisplayModel(disk);
        entries_.push_back({ZoltRef<clFunDisk>(disk), model ? Widen(*model) : std::u16string()});
        UpdateCountText();
        if (selected_ < 0)
            SelectDriveIndex(0);
        else
            SelectorChanged();
    }
    if (current_) current_->DiskAdded(disk);
    CloseHandles(disk);
}

void MainShell::NotifyDiskRemoved(clFunDisk* disk) {
    if (!disk) return;
    const int index = IndexOf(disk);
    if (index >= 0) {
        ZoltRef<clFunDisk> hold(disk);
        const clFunDisk* before = SelectedDisk();
        entries_.erase(entries_.begin() + index);
        if (index < selected_) --selected_;
        UpdateCountText();
        // The selected entry went: the first one left (or none) becomes the selection, and the
        // page hears of it once, after the entry is gone.
        if (before == disk)
            SelectDriveIndex(entries_.empty() ? -1 : 0);
        else
            SelectorChanged();
    }
    if (hooks_.removed) hooks_.removed(disk);
    if (current_) current_->DiskRemoved(disk);
}

void MainShell::ReleaseDisks() {
    entries_.clear();
    selected_ = -1;
    countText_.clear();
}

clFunDisk* MainShell::SelectedDisk() const {
    if (selected_ < 0 || static_cast<std::size_t>(selected_) >= entries_.size()) return nullptr;
    return entries_[static_cast<std::size_t>(selected_)].disk.Get();
}

void MainShell::SelectDriveIndex(int index) {
    selected_ = (index >= 0 && static_cast<std::size_t>(index) < entries_.size()) ? index : -1;
    SelectorChanged();
    if (current_) current_->DriveChanged();
}

const MainShell::SelectorEntry* MainShell::EntryAt(std::size_t index) const {
    return index < entries_.size() ? &entries_[index] : nullptr;
}

void MainShell::ShowDriveSelector(bool show) {
    selectorShown_ = show;
    SelectorChanged();
}

void MainShell::EnableDriveSelector(bool enable) {
    selectorEnabled_ = enable;
    SelectorChanged();
}

void MainShell::UpdateCountText() {
    if (!host_) return;
    const std::size_t n = entries_.size();
    countText_ = n == 0   ? std::u16string()
                 : n == 1 ? host_->MessageText(21011)
                          : host_->MessageFormat(21012, {static_cast<unsigned long long>(n)});
}

void MainShell::RefreshTexts() {
    UpdateCountText();
    SelectorChanged();
}

void MainShell::SelectorChanged() {
    if (host_) host_->SelectorChanged();
}

std::u16string DeviceCountText(std::size_t count, const std::u16string& oneText,
                               const std::u16string& manyText) {
    if (count == 0) return {};
    if (count == 1) return oneText;
    const FormatArgs args = {static_cast<unsigned long long>(count)};
    return FormatMatches(manyText, args) ? FormatText(manyText, args) : std::u16string();
}

std::u16string ShellHost::MessageFormat(int id, FormatArgs args) {
    const std::u16string text = MessageText(id);
    return FormatMatches(text, args) ? FormatText(text, args) : std::u16string();
}

MainShell* ActiveShell() noexcept {
    return g_shell;
}
void SetActiveShell(MainShell* shell) noexcept {
    g_shell = shell;
}

void SwitchPage(clMenuPage* page) {
    if (g_shell) g_shell->SwitchPage(page);
}
void EnterBusy() {
    if (g_shell) g_shell->EnterBusy();
}
void LeaveBusy() {
    if (g_shell) g_shell->LeaveBusy();
}
bool IsBusy() {
    return g_shell && g_shell->IsBusy();
}
CloseOutcome RequestClose() {
    return g_shell ? g_shell->RequestClose() : CloseOutcome::kRefused;
}
clFunDisk* SelectedDisk() {
    return g_shell ? g_shell->SelectedDisk() : nullptr;
}
void SelectDriveIndex(int index) {
    if (g_shell) g_shell->SelectDriveIndex(index);
}
void ShowDriveSelector(bool show) {
    if (g_shell) g_shell->ShowDriveSelector(show);
}
void EnableDriveSelector(bool enable) {
    if (g_shell) g_shell->EnableDriveSelector(enable);
}
void NotifyDiskAdded(clFunDisk* disk) {
    if (g_shell) g_shell->NotifyDiskAdded(disk);
}
void NotifyDiskRemoved(clFunDisk* disk) {
    if (g_shell) g_shell->NotifyDiskRemoved(disk);
}

} // namespace tvd
