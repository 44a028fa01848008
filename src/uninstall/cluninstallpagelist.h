// Wizard pages of the uninstaller and the rules that move between them.
#pragma once
#include <cstdint>
#include <functional>

#include "foundation/clzoltitemlist.h"
#include "foundation/errorcodes.h"

namespace tvd::uninstall {

enum PageNumber : std::int32_t { kStartPage = 1, kProgressPage = 2, kFinalPage = 3 };

class clCustomPage : public clZoltItem {
public:
    explicit clCustomPage(std::int32_t number) noexcept : number_(number) {}
    TVD_ISA(clCustomPage, clZoltItem)
    std::int32_t Number() const noexcept { return number_; }
    virtual bool Create() { return true; }
    virtual void Enter() {}
    virtual void Leave() {}
    virtual void RefreshTexts() {}

private:
    std::int32_t number_;
};

class clAppPage : public clCustomPage {
public:
    using clCustomPage::clCustomPage;
    TVD_ISA(clAppPage, clCustomPage)
};

class clCustomPageList : public clZoltItemList {
public:
    TVD_ISA(clCustomPageList, clZoltItemList)
    // Appends (taking a reference), creates and hides the page; false when the page is null,
    // cannot be added or its Create fails.
    bool AddPage(clCustomPage* page);
    // Switches to `page`; true when it is current afterwards. Refused (false) while a switch is
    // in progress: a page's Enter or Leave cannot start another switch.
    virtual bool ShowPage(clCustomPage* page);
    clCustomPage* Current() const noexcept { return current_; }
    bool Switching() const noexcept { return switching_; }
    clCustomPage* PageByNumber(std::int32_t number) const noexcept;

private:
    bool switching_ = false;
    clCustomPage* current_ = nullptr;
};

class clUninstallPageList : public clCustomPageList {
public:
    // `markStep` shows the page number in the step indicator.
    explicit clUninstallPageList(std::function<void(std::int32_t)> markStep)
        : markStep_(std::move(markStep)) {}
    TVD_ISA(clUninstallPageList, clCustomPageList)
    bool ShowPage(clCustomPage* page) override;

private:
    std::function<void(std::int32_t)> markStep_;
};

// The wizard's reactions to buttons, to the posted start of the removal and to close requests.
// The removal runs from a posted message after the switch to the Progress page has finished,
// so the outcome's switch works; while it runs (it pumps messages) a second start is ignored
// and a close request counts as Cancel and is carried out once the steps have returned.
class UninstallFlow {
public:
    struct Hooks {
        std::function<bool(std::int32_t page)> showPage;
        std::function<void()> postStartRemoval;
        std::function<ErrorCode()> runRemoval;
        std::function<void(ErrorCode)> showError;
        std::function<void()> destroyWindow;
        std::function<void()> startCleanup;
    };
    explicit UninstallFlow(Hooks hooks) : hooks_(std::move(hooks)) {}

    void OnYes();
    void OnNo();
    void OnCancel() { cancelled_ = true; }
    void OnDone();
    // The posted message.
    void OnStartRemoval();
    // A close request (the window's close, end of session); true when the window may go now.
    bool OnCloseRequest();

    bool Running() const noexcept { return running_; }
    bool Cancelled() const noexcept { return cancelled_; }
    bool* CancelFlag() noexcept { return &cancelled_; }
    std::int32_t Page() const noexcept { return page_; }

private:
    bool Show(std::int32_t page);
    Hooks hooks_;
    std::int32_t page_ = 0;
    bool running_ = false;
    bool startPosted_ = false;
    bool cancelled_ = false;
    bool closeRequested_ = false;
    bool finished_ = false;

public:
    // The first page.
    bool Begin() { return Show(kStartPage); }
};

} // namespace tvd::uninstall
