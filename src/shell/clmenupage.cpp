#include "shell/clmenupage.h"

#include "shell/mainpagesutil.h"

namespace tvd {

void clMenuPage::Enter() {
    if (button_) {
        button_->SetEnabled(false);
        button_->SetSelectedLook(true);
    }
    clBasicPage::Enter();
}

void clMenuPage::Leave() {
    clBasicPage::Leave();
    if (button_) {
        button_->SetEnabled(true);
        button_->SetSelectedLook(false);
    }
}

void clMenuPage::MenuClicked() {
    if (IsBusy()) return;
    SwitchPage(this);
}

} // namespace tvd
