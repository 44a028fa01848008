// The shell's controls on Win32. Window controls (TclCustomFrame and what derives from it, the
// popup) are double-buffered windows; graphic controls are windowless items their frame paints in
// z-order and routes the mouse to by hit-testing. Positions and sizes are layout pixels (96 DPI)
// relative to the frame's client area; the frame scales them to its DPI when it paints.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/controls/buttonlook.h"
#include "shell/controls/controlinfo.h"
#include "shell/controls/controltypes.h"
#include "shell/controls/dragtracker.h"

namespace tvd {

class TclCustomFrame;

// Called with the control that was clicked.
using ClickHandler = std::function<void(class TclCustomControl&)>;

class TclCustomControl {
public:
    TclCustomControl(const char* className, std::string name)
        : className_(className), name_(std::move(name)) {}
    virtual ~TclCustomControl() = default;
    TclCustomControl(const TclCustomControl&) = delete;
    TclCustomControl& operator=(const TclCustomControl&) = delete;

    const std::string& Name() const { return name_; }
    const char* ClassName() const { return className_; }
    TclCustomFrame* Parent() const { return parent_; }

    void SetBounds(const Rect& r);
    const Rect& Bounds() const { return bounds_; }
    void SetLeft(int v) { SetBounds({v, bounds_.top, bounds_.width, bounds_.height}); }
    void SetTop(int v) { SetBounds({bounds_.left, v, bounds_.width, bounds_.height}); }
    void SetWidth(int v) { SetBounds({bounds_.left, bounds_.top, v, bounds_.height}); }
    void SetHeight(int v) { SetBounds({bounds_.left, bounds_.top, bounds_.width, v}); }
    void SetVisible(bool v);
    bool Visible() const { return visible_; }
    virtual void SetEnabled(bool v);
    bool Enabled() const { return enabled_; }
    void SetHint(std::u16string hint) { hint_ = std::move(hint); }
    const std::u16string& Hint() const { return hint_; }
    void SetShowHint(bool v) { showHint_ = v; }
    bool ShowHint() const { return showHint_ && !hint_.empty(); }
    void SetCursor(CursorKind c) { cursor_ = c; }
    void SetOnClick(ClickHandler h) { onClick_ = std::move(h); }
    bool HasClickHandler() const { return static_cast<bool>(onClick_); }
    // Moves it to the end of its frame's drawing order.
    void BringToFront();

    // Painting into the frame's buffer; `dpi` scales the layout rectangle.
    virtual void Paint(HDC dc, int dpi) = 0;
    // Whether the mouse at `p` (frame layout pixels) is this control's. Only controls that react
    // to the mouse answer true; the rest are transparent to it.
    virtual bool HitTest(Point p) const;
    virtual void MouseEnter() {}
    virtual void MouseLeave() {}
    virtual void LeftDown(Point) {}
    virtual void LeftUp(Point) {}
    virtual void MouseMove(Point) {}
    virtual void CaptureLost() {}
    virtual CursorKind Cursor() const { return cursor_; }
    virtual void Describe(ControlInfo& info) const;

    void Invalidate() const;

protected:
    void Click();

private:
    friend class TclCustomFrame;
    const char* className_;
    std::string name_;
    TclCustomFrame* parent_ = nullptr;
    Rect bounds_;
    bool visible_ = true;
    bool enabled_ = true;
    bool showHint_ = false;
    std::u16string hint_;
    CursorKind cursor_ = CursorKind::kArrow;
    ClickHandler onClick_;
};

enum class TextAlign { kLeft, kCentre, kRight };

// A plain label: transparent unless given a back colour.
class TclLabel : public TclCustomControl {
public:
    explicit TclLabel(std::string name) : TclCustomControl("TclLabel", std::move(name)) {}
    void SetText(std::u16string text);
    const std::u16string& Text() const { return text_; }
    void SetFont(const FontSpec& f);
    const FontSpec& Font() const { return font_; }
    void SetColour(Rgb c);
    void SetBackColour(std::optional<Rgb> c);
    void SetAlign(TextAlign a, bool vCentre);
    // Wrapped text sits on the label's bottom edge (the ring gauges' captions).
    void SetBottomAligned(bool v);
    void SetWordWrap(bool v) { wrap_ = v; }
    // Automatic size: the label takes its text's size (at most maxWidth wide, wrapping there).
    void SetAutoSize(bool v, int maxWidth = 0);
    // The text's size in layout pixels, as DrawTextW measures it.
    Point MeasureText(int maxWidth) const;

    void Paint(HDC dc, int dpi) override;
    bool HitTest(Point p) const override;
    void Describe(ControlInfo& info) const override;

private:
    void Fit();
    std::u16string text_;
    FontSpec font_;
    Rgb colour_ = kBlack;
    std::optional<Rgb> back_;
    TextAlign align_ = TextAlign::kLeft;
    bool vCentre_ = false;
    bool bottom_ = false;
    bool wrap_ = false;
    bool autoSize_ = false;
    int autoMax_ = 0;
};

// A picture by resource name, stretched to the control (or centred at its own size).
class TclPicture : public TclCustomControl {
public:
    explicit TclPicture(std::string name) : TclCustomControl("TclPicture", std::move(name)) {}
    // A name with no resource leaves the picture empty.
    void SetPicture(std::string name);
    const std::string& PictureName() const { return picture_; }
    void SetCentred(bool v) { centred_ = v; }
    void Paint(HDC dc, int dpi) override;
    bool HitTest(Point p) const override;
    void Describe(ControlInfo& info) const override;

private:
    std::string picture_;
    bool centred_ = false;
};

class TclRectangle : public TclCustomControl {
public:
    explicit TclRectangle(std::string name) : TclCustomControl("TclRectangle", std::move(name)) {}
    void SetPen(int width, Rgb colour);
    void SetFill(std::optional<Rgb> colour);
    void SetCornerRadius(int r);
    void Paint(HDC dc, int dpi) override;
    void Describe(ControlInfo& info) const override;

private:
    int penWidth_ = 1;
    Rgb pen_ = kBlack;
    std::optional<Rgb> fill_ = kWhite;
    int radius_ = 0;
};

class TclHorzLine : public TclCustomControl {
public:
    explicit TclHorzLine(std::string name) : TclCustomControl("TclHorzLine", std::move(name)) {}
    void SetColour(Rgb c);
    void Paint(HDC dc, int dpi) override;
    void Describe(ControlInfo& info) const override;

private:
    Rgb colour_ = kBlack;
};

class TclGradient : public TclCustomControl {
public:
    explicit TclGradient(std::string name) : TclCustomControl("TclGradient", std::move(name)) {}
    void SetColours(Rgb from, Rgb to);
    void SetVertical(bool v);
    void Paint(HDC dc, int dpi) override;
    void Describe(ControlInfo& info) const override;

private:
    Rgb from_ = kBlack, to_ = kWhite;
    bool vertical_ = false;
};

// The pie segment of the ring gauges.
class TclPie : public TclCustomControl {
public:
    explicit TclPie(std::string name) : TclCustomControl("TclPie", std::move(name)) {}
    void SetColours(Rgb pen, Rgb brush);
    void SetAngles(int startDegrees, int endDegrees);
    void Paint(HDC dc, int dpi) override;
    void Describe(ControlInfo& info) const override;

private:
    Rgb pen_ = kBlack, brush_ = kWhite;
    int start_ = 0, end_ = 0;
};

// Buttons: a state machine (hot, pressed, enabled) and a look drawn from it.
class TclCustomButton : public TclCustomControl {
public:
    TclCustomButton(const char* className, std::string name, bool hasPressedLook)
        : TclCustomControl(className, std::move(name)), state_(hasPressedLook) {}
    void SetEnabled(bool v) override;
    void SetCaption(std::u16string caption);
    const std::u16string& Caption() const { return caption_; }
    void SetFont(const FontSpec& f);
    // Called after every redraw with the look drawn.
    void SetOnStateChange(std::function<void(ButtonLook)> h) { onState_ = std::move(h); }
    ButtonLook Look() const { return state_.Look(); }

    bool HitTest(Point p) const override;
    void MouseEnter() override;
    void MouseLeave() override;
    void LeftDown(Point p) override;
    void LeftUp(Point p) override;
    void CaptureLost() override;
    CursorKind Cursor() const override;
    void Describe(ControlInfo& info) const override;

protected:
    virtual void CaptionChanged() {}
    void Redraw();
    ButtonState state_;
    std::u16string caption_;
    FontSpec font_;

private:
    std::function<void(ButtonLook)> onState_;
};

// Three slices and a caption; 27 pixels high whatever height it is given.
class TclStdButton : public TclCustomButton {
public:
    explicit TclStdButton(std::string name);
    void Paint(HDC dc, int dpi) override;
    bool HitTest(Point p) const override;
    void Describe(ControlInfo& info) const override;
};

// One picture per look; the caption is a tooltip.
class TclImageButton : public TclCustomButton {
public:
    explicit TclImageButton(std::string name, const char* className = "TclImageButton");
    void SetPictures(ImageButtonPictures p) { pictures_ = std::move(p), Invalidate(); }
    const ImageButtonPictures& Pictures() const { return pictures_; }
    void Paint(HDC dc, int dpi) override;
    void Describe(ControlInfo& info) const override;

protected:
    void CaptionChanged() override;

private:
    ImageButtonPictures pictures_;
};

class TclOptionButton : public TclImageButton {
public:
    explicit TclOptionButton(std::string name);
};

// A caption over a box whose pen and fill follow the look; the hand cursor.
class TclBoxCaptionButton : public TclCustomButton {
public:
    explicit TclBoxCaptionButton(std::string name);
    struct BoxColours {
        Rgb pen = kWhite, fill = kWhite;
    };
    void SetBoxColours(ButtonLook look, BoxColours c);
    void SetCaptionColours(CaptionLookColours c) { captionColours_ = c, Invalidate(); }
    void SetPenWidth(int w) { penWidth_ = w, Invalidate(); }
    void SetRoundedCorners(bool v) { rounded_ = v, Invalidate(); }
    void Paint(HDC dc, int dpi) override;
    void Describe(ControlInfo& info) const override;

private:
    BoxColours ForLook(ButtonLook look) const;
    BoxColours normal_, disabled_, hot_;
    CaptionLookColours captionColours_;
    int penWidth_ = 1;
    bool rounded_ = false;
};

// Dragging any free area of a window moves the window. It sits behind the other controls.
class TclFormMove : public TclCustomControl {
public:
    explicit TclFormMove(std::string name) : TclCustomControl("TclFormMove", std::move(name)) {}
    void Paint(HDC, int) override {}
    bool HitTest(Point p) const override;
    void LeftDown(Point p) override;
    void MouseMove(Point p) override;
    void LeftUp(Point p) override;
    void CaptureLost() override { drag_.Cancel(); }

private:
    void MoveBy(std::optional<Point> offset);
    DragTracker drag_;
};

// Receives WM_VSCROLL of a system scroll bar whose user data points at it.
class ScrollBarOwner {
public:
    virtual ~ScrollBarOwner() = default;
    virtual void OnScroll(int code) = 0;
};

// A double-buffered window holding graphic controls (drawn in order) and child frames.
class TclCustomFrame : public ControlTree {
public:
    explicit TclCustomFrame(std::string name, const char* className = "TclCustomFrame");
    ~TclCustomFrame() override;
    TclCustomFrame(const TclCustomFrame&) = delete;
    TclCustomFrame& operator=(const TclCustomFrame&) = delete;

    // A child window of `parent` at `bounds`, hidden until shown.
    bool CreateChild(TclCustomFrame& parent, const Rect& bounds);
    // A child window of a window that is not a frame (a program's own top-level window), at
    // `bounds` in its client area, hidden until shown.
    bool CreateInWindow(HWND parent, const Rect& bounds);
    // A top-level window: borderless popup, client `bounds` (its left and top are screen
    // layout pixels). `extraStyle` adds window styles such as WS_MINIMIZEBOX | WS_SYSMENU.
    bool CreateTopLevel(const Rect& bounds, const std::wstring& caption, DWORD extraStyle = 0,
                        DWORD exStyle = 0, HWND owner = nullptr);

    template <class T, class... Args> T* Add(Args&&... args) {
        auto c = std::make_unique<T>(std::forward<Args>(args)...);
        T* raw = c.get();
        Adopt(std::move(c));
        return raw;
    }
    void Adopt(std::unique_ptr<TclCustomControl> control);
    void BringControlToFront(TclCustomControl* control);
    const std::vector<std::unique_ptr<TclCustomControl>>& Controls() const { return controls_; }

    HWND Window() const { return hwnd_; }
    const std::string& Name() const { return name_; }
    TclCustomFrame* ParentFrame() const { return parentFrame_; }
    int Dpi() const { return dpi_; }
    void SetDpi(int dpi) { dpi_ = dpi; }
    void SetBackColour(Rgb c);
    Rgb BackColour() const { return back_; }

    void SetBounds(const Rect& r);
    const Rect& Bounds() const { return bounds_; }
    void SetVisible(bool v);
    bool Visible() const { return visible_; }
    void SetEnabled(bool v);
    bool Enabled() const { return enabled_; }
    // The window region becomes a rounded rectangle with w x w corner ellipses (0: square).
    void SetRoundedCorners(int w);
    void BringToFront();

    // Draws the background and every visible control into `dc` (the client's size at Dpi()).
    void PaintTo(HDC dc);
    void InvalidateLayout(const Rect& r);

    // Mouse input in device pixels of the client area (the window procedure's entry points).
    void OnMouseMove(int x, int y);
    void OnLeftDown(int x, int y);
    void OnLeftUp(int x, int y);
    void OnMouseLeave();
    void OnCaptureLost();
    bool OnSetCursor();
    // A control went away or was hidden: it is no longer hot or holding the mouse.
    void OnMouseLeaveOf(TclCustomControl* c);
    // Mouse wheel over this frame (device units of WHEEL_DELTA); true when handled. Unhandled
    // wheel messages go on to the parent window.
    void SetOnWheel(std::function<bool(int)> h) { onWheel_ = std::move(h); }

    TclCustomControl* HotControl() const { return hot_; }
    void ForEachControl(const ControlVisitor& visit) const override;

    static TclCustomFrame* FromWindow(HWND hwnd);

protected:
    virtual LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
    virtual void Describe(ControlInfo& info) const;
    std::string name_;
    const char* className_;

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    bool Register();
    void Walk(const ControlVisitor& visit, Point origin, int depth, bool visible,
              bool enabled) const;
    TclCustomControl* ControlAt(Point layout) const;
    void SetHot(TclCustomControl* c);
    void UpdateTooltip();
    Point ToLayout(int x, int y) const;

    HWND hwnd_ = nullptr;
    TclCustomFrame* parentFrame_ = nullptr;
    std::vector<TclCustomFrame*> childFrames_;
    std::vector<std::unique_ptr<TclCustomControl>> controls_;
    TclCustomControl* hot_ = nullptr;
    TclCustomControl* pressed_ = nullptr;
    bool tracking_ = false;
    Rect bounds_;
    bool visible_ = false;
    bool enabled_ = true;
    bool topLevel_ = false;
    int dpi_ = 96;
    int corners_ = 0;
    Rgb back_ = kWhite;
    std::function<bool(int)> onWheel_;
};

// A menu button: its parts inside a frame of its own with a rounded region.
class TclMenuButton : public TclCustomFrame {
public:
    explicit TclMenuButton(std::string name);
    bool Create(TclCustomFrame& parent, Point at);
    void SetPictures(std::string normal, std::string selected);
    void SetCaption(std::u16string caption);
    // The caption's face and character set follow the UI language; size and weight stay.
    void SetCaptionFont(const std::u16string& face, std::uint8_t charset);
    void SetSelected(bool selected);
    bool Selected() const { return selected_; }
    void SetEnabledButton(bool v);
    void SetOnClick(ClickHandler h);
    TclCustomButton* Overlay() const { return overlay_; }

protected:
    // The button as one control: caption, picture, colours and whether it takes clicks.
    void Describe(ControlInfo& info) const override;

private:
    TclGradient* gradient_ = nullptr;
    TclPicture* icon_ = nullptr;
    TclLabel* caption_ = nullptr;
    TclCustomButton* overlay_ = nullptr;
    std::string normal_, selectedPicture_;
    bool selected_ = false;
};

// Paints `top`'s descendant windows into `dc` (top's client coordinates, device pixels), back to
// front, each clipped to its parent and its window region, as the screen shows them: our frames
// paint themselves, the system's controls answer WM_PRINT. For a capture of a window with child
// windows (PrintWindow leaves them out under Wine).
void PaintChildWindows(HDC dc, HWND top);

// The one tooltip window that shows every control's hint; null until a hint was first shown.
HWND HintWindow();

// What a window procedure does with a C++ exception that reached it: set by the program (it
// shows its fatal-error text and ends); the default ends the process.
void SetWindowFaultHandler(std::function<void()> handler);
void RunWindowFaultHandler();

} // namespace tvd
