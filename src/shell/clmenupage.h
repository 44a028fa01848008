// A page reachable from the menu: its menu button shows the selected look while the page is
// current, and the page hears of drive selection changes and of disks coming and going.
#pragma once
#include "shell/clbasicpage.h"

namespace tvd {

class clFunDisk;

// The part of a menu button a page drives; the window layer's button implements it.
class MenuButtonView {
public:
    virtual ~MenuButtonView() = default;
    virtual void SetEnabled(bool enabled) = 0;
    virtual void SetSelectedLook(bool selected) = 0;
};

// One row of the menu: the button's caption, its two pictures and its top.
struct MenuEntry {
    const char* className;       // the page's class
    const char* name;            // stable name of the button and the page's frame
    int captionId;               // message id of the caption
    const char* normalPicture;   // normal look
    const char* selectedPicture; // selected look
    int menuTop;                 // y of the button
};

class clMenuPage : public clBasicPage {
public:
    explicit clMenuPage(const MenuEntry& entry) noexcept : entry_(entry) {}

    TVD_ISA(clMenuPage, clBasicPage)

    void Enter() override;
    void Leave() override;

    // The active drive changed.
    virtual void DriveChanged() {}
    virtual void DiskAdded(clFunDisk* disk) { (void)disk; }
    // The disk is about to be released.
    virtual void DiskRemoved(clFunDisk* disk) { (void)disk; }
    // Ignored while busy; otherwise the page becomes current.
    virtual void MenuClicked();

    const MenuEntry& Entry() const noexcept { return entry_; }
    int MenuTop() const noexcept { return entry_.menuTop; }
    void SetMenuButton(MenuButtonView* button) noexcept { button_ = button; }
    MenuButtonView* MenuButton() const noexcept { return button_; }

private:
    MenuEntry entry_;
    MenuButtonView* button_ = nullptr;
};

} // namespace tvd
