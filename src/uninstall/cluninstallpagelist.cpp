#include "uninstall/cluninstallpagelist.h"

#include "uninstall/appuninstallutil.h"

namespace tvd::uninstall {

bool clCustomPageList::AddPage(clCustomPage* page) {
    if (page == nullptr || !Append(page)) return false;
    if (!page->Create()) {
        Remove(page);
        return false;
    }
    page->Leave();
    return true;
}

bool clCustomPageList::ShowPage(clCustomPage* page) {
    if (page == nullptr || !Contains(page)) return false;
    if (page == current_) return true;
    if (switching_) return false;
    switching_ = true;
    if (current_) current_->Leave();
    current_ = page;
    page->RefreshTexts();
    page->Enter();
    switching_ = false;
    return true;
}

clCustomPage* clCustomPageList::PageByNumber(std::int32_t number) const noexcept {
    for (clZoltItem* item = First(); item; item = item->Next()) {
        auto* page = ZoltCast<clCustomPage>(item);
        if (page && page->Number() == number) return page;
    }
    return nullptr;
}

bool clUninstallPageList::ShowPage(clCustomPage* page) {
    if (page == nullptr || !Contains(page)) return false;
    if (Switching() && page != Current()) return false;
    if (markStep_) markStep_(page->Number());
    return clCustomPageList::ShowPage(page);
}

bool UninstallFlow::Show(std::int32_t page) {
    if (!hooks_.showPage || !hooks_.showPage(page)) return false;
    page_ = page;
    return true;
}

void UninstallFlow::OnYes() {
    if (page_ != kStartPage || running_ || startPosted_ || finished_) return;
    if (!Show(kProgressPage)) return;
    startPosted_ = true;
    if (hooks_.postStartRemoval) hooks_.postStartRemoval();
}

void UninstallFlow::OnNo() {
    if (page_ != kStartPage || running_ || startPosted_) return;
    finished_ = true;
    if (hooks_.destroyWindow) hooks_.destroyWindow();
}

void UninstallFlow::OnDone() {
    if (page_ != kFinalPage || finished_) return;
    finished_ = true;
    if (hooks_.startCleanup) hooks_.startCleanup();
    if (hooks_.destroyWindow) hooks_.destroyWindow();
}

void UninstallFlow::OnStartRemoval() {
    if (!startPosted_ || running_ || page_ != kProgressPage) return;
    startPosted_ = false;
    if (closeRequested_) {
        // Closed between the click and the posted start: nothing is removed.
        finished_ = true;
        if (hooks_.destroyWindow) hooks_.destroyWindow();
        return;
    }
    running_ = true;
    const ErrorCode r = hooks_.runRemoval ? hooks_.runRemoval() : err::kNotSupported;
    running_ = false;
    const bool wasCancelled = cancelled_;
    cancelled_ = false;
    if (closeRequested_) {
        finished_ = true;
        if (hooks_.destroyWindow) hooks_.destroyWindow();
        return;
    }
    switch (DecideOutcome(r, wasCancelled)) {
    case RemovalOutcome::kFinalPage:
        Show(kFinalPage);
        break;
    case RemovalOutcome::kErrorThenStart:
        if (hooks_.showError) hooks_.showError(r);
        Show(kStartPage);
        break;
    case RemovalOutcome::kStartPage:
        Show(kStartPage);
        break;
    }
}

bool UninstallFlow::OnCloseRequest() {
    if (running_ || startPosted_) {
        closeRequested_ = true;
        cancelled_ = true;
        return false;
    }
    return true;
}

} // namespace tvd::uninstall
