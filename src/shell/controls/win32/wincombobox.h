// The flat combo box with its popup list, the scroll box and the progress bar.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>

#include "shell/controls/comboboxmodel.h"
#include "shell/controls/scrollboxmodel.h"
#include "shell/controls/win32/wincontrols.h"

namespace tvd {

class TclStdComboBox;

// The combo boxes' popup: a borderless stay-on-top window drawing the list itself.
class TclPopupFormHandler : public TclCustomFrame {
public:
    explicit TclPopupFormHandler(TclStdComboBox& owner, std::string name);
    // Sets the bounds (screen layout pixels), shows the list and captures the mouse.
    bool ShowAt(const Rect& screenBounds, HWND ownerWindow);
    // Detaches, releases the capture and hides.
    void Close();
    bool IsOpen() const { return open_; }
    int TopIndex() const { return top_; }
    int VisibleRows() const;
    void ForEachControl(const ControlVisitor& visit) const override;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void Paint(HDC dc);
    void Choose(int index);
    TclStdComboBox& owner_;
    bool open_ = false;
    int top_ = 0;
    int hotRow_ = ComboBoxModel::kNone;
};

class TclStdComboBox : public TclCustomControl {
public:
    explicit TclStdComboBox(std::string name, const char* className = "TclStdComboBox");
    ~TclStdComboBox() override;

    void AddItem(std::u16string text, std::uint64_t data);
    // True when the selection moved to another item (or to none).
    bool RemoveItemByData(std::uint64_t data);
    void Clear();
    bool SelectIndex(int index);
    int SelectedIndex() const { return model_.Selected(); }
    std::uint64_t SelectedData() const { return model_.SelectedData(); }
    int ItemCount() const { return model_.Count(); }
    const ComboBoxModel& Model() const { return model_; }

    void SetColours(Rgb background, Rgb border, Rgb text);
    void SetFont(const FontSpec& f);
    void SetMaxVisibleItems(int n) { maxVisible_ = n; }
    int MaxVisibleItems() const { return maxVisible_; }
    // Called after the user chose an item in the popup.
    void SetOnChange(std::function<void(TclStdComboBox&)> h) { onChange_ = std::move(h); }
    // Row height of the list, layout pixels.
    int ItemHeight() const { return font_.heightPx + 8; }
    void SetDropDownPicture(std::string name) { dropDown_ = std::move(name); }

    // Opens the popup below the control; false when disabled, empty or without a window.
    bool OpenPopup();
    TclPopupFormHandler* Popup() const { return popup_.get(); }

    void Paint(HDC dc, int dpi) override;
    bool HitTest(Point p) const override;
    void LeftUp(Point p) override;
    void Describe(ControlInfo& info) const override;

    // The popup's choice.
    void Chosen(int index);
    const FontSpec& Font() const { return font_; }
    Rgb TextColour() const { return text_; }
    Rgb BorderColour() const { return border_; }

private:
    ComboBoxModel model_;
    FontSpec font_{u"Arial", 13, false, kCharsetDefault};
    Rgb back_ = kWhite, border_ = 0x9FA0A0, text_ = kBlack;
    int maxVisible_ = kComboMaxVisibleBasic;
    std::string dropDown_;
    std::function<void(TclStdComboBox&)> onChange_;
    std::unique_ptr<TclPopupFormHandler> popup_;
};

// The active-drive selector's look: 34 high, Arial 17 px blue text, a drop-down arrow.
class TclMainComboBox : public TclStdComboBox {
public:
    explicit TclMainComboBox(std::string name);
};

// A content panel moved under a viewport by a system scroll bar at its right edge.
class TclVertScrollBox : public ScrollBarOwner {
public:
    explicit TclVertScrollBox(std::string name);
    ~TclVertScrollBox() override;
    // `viewport` in the parent frame: the panel's left and width include the bar.
    bool Create(TclCustomFrame& parent, const Rect& viewport);
    TclCustomFrame& Panel() { return panel_; }
    void SetRange(int range);
    void ShowBar(bool shown);
    void ScrollTo(int position);
    void ScrollIntoView(int itemTop, int itemHeight);
    void SetVisible(bool visible);
    const ScrollBoxModel& Model() const { return model_; }
    HWND Bar() const { return bar_; }
    void OnScroll(int code) override;

private:
    void Apply();
    ScrollBoxModel model_;
    TclCustomFrame panel_;
    HWND bar_ = nullptr;
    Rect viewport_;
    int barWidth_ = 17;
};

// The uninstaller's progress bar: outline, fill and "%.2f %%" centred over it.
class TclStdProgressBar : public TclCustomControl {
public:
    explicit TclStdProgressBar(std::string name)
        : TclCustomControl("TclStdProgressBar", std::move(name)) {}
    void SetPercent(double p);
    double Percent() const { return percent_; }
    void SetColours(Rgb outline, Rgb fill, Rgb label);
    void Paint(HDC dc, int dpi) override;
    void Describe(ControlInfo& info) const override;

private:
    double percent_ = 0;
    Rgb outline_ = 0xBFBFBF, fill_ = 0x0079D8, label_ = kBlack;
};

} // namespace tvd
