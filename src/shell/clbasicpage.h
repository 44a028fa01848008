// Base of the window's pages. A page builds its controls once (`Create`), is shown and hidden
// through `Enter` and `Leave`, and is asked on every tick while it is current.
#pragma once
#include "foundation/clzoltitem.h"

namespace tvd {

class clBasicPage {
public:
    clBasicPage() noexcept = default;
    clBasicPage(const clBasicPage&) = delete;
    clBasicPage& operator=(const clBasicPage&) = delete;
    virtual ~clBasicPage();

    TVD_ISA_ROOT(clBasicPage)

    // Builds the page's controls; false when they cannot be built.
    virtual bool Create() { return true; }
    virtual void Enter() { active_ = true; }
    virtual void Leave() { active_ = false; }
    // Reloads the page's texts in the UI language.
    virtual void RefreshTexts() {}
    virtual void Spare() {}
    // True while the page is busy: the kernel's tick is skipped then.
    virtual bool Tick() { return false; }

    bool Active() const noexcept { return active_; }

private:
    bool active_ = false;
};

} // namespace tvd
