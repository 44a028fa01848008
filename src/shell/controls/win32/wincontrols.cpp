#include "shell/controls/win32/wincontrols.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <vssym32.h>
#include <windowsx.h>

#include <algorithm>

#include "foundation/textconvutil.h"
#include "shell/controls/dpiscale.h"
#include "shell/controls/picturetable.h"
#include "shell/controls/pieshape.h"
#include "shell/controls/win32/winpicture.h"

namespace tvd {

namespace {

constexpr wchar_t kFrameClass[] = L"TclCustomFrame";

std::function<void()>& FaultHandler() {
    static std::function<void()> handler;
    return handler;
}

std::wstring ToWide(const std::u16string& s) {
    return std::wstring(s.begin(), s.end());
}

// Brush and pen selected for the life of one drawing call.
class GdiSelection {
public:
    GdiSelection(HDC dc, HGDIOBJ obj, bool owned) : dc_(dc), obj_(obj), owned_(owned) {
        old_ = SelectObject(dc, obj);
    }
    ~GdiSelection() {
        SelectObject(dc_, old_);
        if (owned_ && obj_) DeleteObject(obj_);
    }
    GdiSelection(const GdiSelection&) = delete;
    GdiSelection& operator=(const GdiSelection&) = delete;

private:
    HDC dc_;
    HGDIOBJ obj_;
    HGDIOBJ old_;
    bool owned_;
};

HGDIOBJ MakePen(int width, Rgb colour, int dpi) {
    if (width <= 0) return GetStockObject(NULL_PEN);
    return CreatePen(PS_INSIDEFRAME, std::max(ScaleForDpi(width, dpi), 1), ToColorRef(colour));
}

HGDIOBJ MakeBrush(std::optional<Rgb> fill) {
    return fill ? static_cast<HGDIOBJ>(CreateSolidBrush(ToColorRef(*fill)))
                : GetStockObject(NULL_BRUSH);
}

UINT AlignFlags(TextAlign a) {
    return a == TextAlign::kCentre ? DT_CENTER : a == TextAlign::kRight ? DT_RIGHT : DT_LEFT;
}

// Text in a rectangle; vertical centring of wrapped text measures it first, since DT_VCENTER
// works on single lines only.
void DrawTextBlock(HDC dc, const std::u16string& text, RECT r, const FontSpec& font, int dpi,
                   Rgb colour, TextAlign align, bool vCentre, bool wrap) {
    if (text.empty() || r.right <= r.left) return;
    std::wstring w = ToWide(text);
    GdiSelection f(dc, FontForDpi(font, dpi), false);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ToColorRef(colour));
    UINT flags = DT_NOPREFIX | AlignFlags(align);
    if (wrap) {
        flags |= DT_WORDBREAK;
        if (vCentre) {
            RECT m = r;
            DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &m, flags | DT_CALCRECT);
            int h = m.bottom - m.top;
            r.top += std::max(static_cast<int>(r.bottom - r.top - h) / 2, 0);
        }
    } else {
        flags |= DT_SINGLELINE | (vCentre ? DT_VCENTER : 0);
    }
    DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &r, flags);
}

HWND& TooltipHandle() {
    static HWND tip = nullptr;
    return tip;
}

HWND TooltipWindow() {
    HWND& tip = TooltipHandle();
    if (tip && IsWindow(tip)) return tip;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                          WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, GetModuleHandleW(nullptr),
                          nullptr);
    return tip;
}

TTTOOLINFOW ToolFor(HWND frame, wchar_t* text) {
    TTTOOLINFOW ti{};
    // The v5 size: common controls without the v6 manifest reject the larger structure.
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = frame;
    ti.uId = reinterpret_cast<UINT_PTR>(frame);
    ti.lpszText = text;
    return ti;
}

void FillInfoFont(ControlInfo& info, const FontSpec& f, Rgb colour) {
    info.font = f;
    info.textColour = colour;
}

} // namespace

HWND HintWindow() {
    HWND tip = TooltipHandle();
    return tip && IsWindow(tip) ? tip : nullptr;
}

void SetWindowFaultHandler(std::function<void()> handler) {
    FaultHandler() = std::move(handler);
}

void RunWindowFaultHandler() {
    if (FaultHandler()) {
        FaultHandler()();
        return;
    }
    ExitProcess(1);
}

// ---- TclCustomControl ----

void TclCustomControl::SetBounds(const Rect& r) {
    Invalidate();
    bounds_ = r;
    Invalidate();
}

void TclCustomControl::SetVisible(bool v) {
    if (visible_ == v) return;
    visible_ = v;
    if (!parent_) return;
    if (!v) parent_->OnMouseLeaveOf(this);
    parent_->InvalidateLayout(bounds_);
}

void TclCustomControl::SetEnabled(bool v) {
    enabled_ = v;
    Invalidate();
}

void TclCustomControl::BringToFront() {
    if (parent_) parent_->BringControlToFront(this);
}

bool TclCustomControl::HitTest(Point p) const {
    return visible_ && HasClickHandler() && bounds_.Contains(p);
}

void TclCustomControl::Describe(ControlInfo& info) const {
    info.className = className_;
    info.name = name_;
    info.rect = bounds_;
}

void TclCustomControl::Invalidate() const {
    if (parent_) parent_->InvalidateLayout(bounds_);
}

void TclCustomControl::Click() {
    if (onClick_ && enabled_) {
        ClickHandler h = onClick_; // the handler may replace itself
        h(*this);
    }
}

// ---- TclLabel ----

void TclLabel::SetText(std::u16string text) {
    text_ = std::move(text);
    Fit();
    Invalidate();
}
void TclLabel::SetFont(const FontSpec& f) {
    font_ = f;
    Fit();
    Invalidate();
}
void TclLabel::SetColour(Rgb c) {
    colour_ = c;
    Invalidate();
}
void TclLabel::SetBackColour(std::optional<Rgb> c) {
    back_ = c;
    Invalidate();
}
void TclLabel::SetAlign(TextAlign a, bool vCentre) {
    align_ = a;
    vCentre_ = vCentre;
    Invalidate();
}
void TclLabel::SetBottomAligned(bool v) {
    bottom_ = v;
    Invalidate();
}
void TclLabel::SetAutoSize(bool v, int maxWidth) {
    autoSize_ = v;
    autoMax_ = maxWidth;
    Fit();
}

Point TclLabel::MeasureText(int maxWidth) const {
    int dpi = Parent() ? Parent()->Dpi() : SystemDpi();
    HDC screen = GetDC(nullptr);
    if (!screen) return {};
    HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    if (!dc) return {};
    std::wstring w = ToWide(text_.empty() ? u" " : text_);
    RECT r{0, 0, maxWidth > 0 ? ScaleForDpi(maxWidth, dpi) : 0, 0};
    {
        GdiSelection f(dc, FontForDpi(font_, dpi), false);
        UINT flags = DT_CALCRECT | DT_NOPREFIX | (maxWidth > 0 ? DT_WORDBREAK : DT_SINGLELINE);
        DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &r, flags);
    }
    DeleteDC(dc);
    // Round up, so the measured text never gets clipped by the scaling back.
    auto up = [dpi](int device) {
        return (device * kLayoutDpi + EffectiveDpi(dpi) - 1) / EffectiveDpi(dpi);
    };
    return {up(r.right - r.left), up(r.bottom - r.top)};
}

void TclLabel::Fit() {
    if (!autoSize_) return;
    Point size = MeasureText(autoMax_);
    Rect b = Bounds();
    if (b.width != size.x || b.height != size.y) SetBounds({b.left, b.top, size.x, size.y});
}

void TclLabel::Paint(HDC dc, int dpi) {
    RECT r = ToRect(ScaleRect(Bounds(), dpi));
    if (back_) {
        HBRUSH b = CreateSolidBrush(ToColorRef(*back_));
        FillRect(dc, &r, b);
        DeleteObject(b);
    }
    if (bottom_ && !text_.empty()) {
        const int h = ScaleForDpi(MeasureText(wrap_ ? Bounds().width : 0).y, dpi);
        r.top = std::max(r.top, static_cast<LONG>(r.bottom - h));
    }
    DrawTextBlock(dc, text_, r, font_, dpi, colour_, align_, vCentre_, wrap_);
}

bool TclLabel::HitTest(Point p) const {
    return TclCustomControl::HitTest(p);
}

void TclLabel::Describe(ControlInfo& info) const {
    TclCustomControl::Describe(info);
    info.text = Utf16ToUtf8(text_);
    FillInfoFont(info, font_, colour_);
    info.backColour = back_;
}

// ---- TclPicture ----

void TclPicture::SetPicture(std::string name) {
    if (name == picture_) return;
    picture_ = std::move(name);
    Invalidate();
}

void TclPicture::Paint(HDC dc, int dpi) {
    auto pic = PictureForDpi(picture_, dpi);
    if (!pic) return;
    Rect b = Bounds();
    if (centred_) {
        const PictureSpec* spec = FindShellPicture(picture_);
        int w = spec ? spec->width : pic->Width();
        int h = spec ? spec->height : pic->Height();
        b = {b.left + (b.width - w) / 2, b.top + (b.height - h) / 2, w, h};
    }
    DrawPicture(dc, *pic, ToRect(ScaleRect(b, dpi)));
}

bool TclPicture::HitTest(Point p) const {
    return TclCustomControl::HitTest(p);
}

void TclPicture::Describe(ControlInfo& info) const {
    TclCustomControl::Describe(info);
    info.picture = picture_;
}

// ---- shapes ----

void TclRectangle::SetPen(int width, Rgb colour) {
    penWidth_ = width;
    pen_ = colour;
    Invalidate();
}
void TclRectangle::SetFill(std::optional<Rgb> colour) {
    fill_ = colour;
    Invalidate();
}
void TclRectangle::SetCornerRadius(int r) {
    radius_ = std::max(r, 0);
    Invalidate();
}

void TclRectangle::Paint(HDC dc, int dpi) {
    Rect d = ScaleRect(Bounds(), dpi);
    if (d.Empty()) return;
    GdiSelection pen(dc, MakePen(penWidth_, pen_, dpi), penWidth_ > 0);
    GdiSelection brush(dc, MakeBrush(fill_), fill_.has_value());
    if (penWidth_ <= 0) {
        // Without a pen GDI leaves the last row and column unfilled; widen by one.
        d.width += 1;
        d.height += 1;
    }
    if (radius_ > 0) {
        int e = ScaleForDpi(2 * radius_, dpi);
        RoundRect(dc, d.left, d.top, d.Right(), d.Bottom(), e, e);
    } else {
        Rectangle(dc, d.left, d.top, d.Right(), d.Bottom());
    }
}

void TclRectangle::Describe(ControlInfo& info) const {
    TclCustomControl::Describe(info);
    if (penWidth_ > 0) info.borderColour = pen_;
    info.backColour = fill_;
}

void TclHorzLine::SetColour(Rgb c) {
    colour_ = c;
    Invalidate();
}

void TclHorzLine::Paint(HDC dc, int dpi) {
    RECT r = ToRect(ScaleRect(Bounds(), dpi));
    HBRUSH b = CreateSolidBrush(ToColorRef(colour_));
    FillRect(dc, &r, b);
    DeleteObject(b);
}

void TclHorzLine::Describe(ControlInfo& info) const {
    TclCustomControl::Describe(info);
    info.backColour = colour_;
}

void TclGradient::SetColours(Rgb from, Rgb to) {
    from_ = from;
    to_ = to;
    Invalidate();
}
void TclGradient::SetVertical(bool v) {
    vertical_ = v;
    Invalidate();
}

void TclGradient::Paint(HDC dc, int dpi) {
    Rect d = ScaleRect(Bounds(), dpi);
    if (d.Empty()) return;
    TRIVERTEX v[2] = {
        {d.left, d.top, static_cast<COLOR16>(RgbRed(from_) << 8),
         static_cast<COLOR16>(RgbGreen(from_) << 8), static_cast<COLOR16>(RgbBlue(from_) << 8), 0},
        {d.Right(), d.Bottom(), static_cast<COLOR16>(RgbRed(to_) << 8),
         static_cast<COLOR16>(RgbGreen(to_) << 8), static_cast<COLOR16>(RgbBlue(to_) << 8), 0},
    };
    GRADIENT_RECT gr{0, 1};
    GradientFill(dc, v, 2, &gr, 1, vertical_ ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H);
}

void TclGradient::Describe(ControlInfo& info) const {
    TclCustomControl::Describe(info);
    info.backColour = from_;
    info.borderColour = to_;
}

void TclPie::SetColours(Rgb pen, Rgb brush) {
    pen_ = pen;
    brush_ = brush;
    Invalidate();
}
void TclPie::SetAngles(int startDegrees, int endDegrees) {
    start_ = startDegrees;
    end_ = endDegrees;
    Invalidate();
}

void TclPie::Paint(HDC dc, int dpi) {
    Rect d = ScaleRect(Bounds(), dpi);
    if (d.Empty()) return;
    GdiSelection pen(dc, MakePen(1, pen_, dpi), true);
    GdiSelection brush(dc, MakeBrush(brush_), true);
    PieRadials r = PieRadialsFor(d, start_, end_);
    if (r.wholeEllipse) {
        Ellipse(dc, d.left, d.top, d.Right(), d.Bottom());
        return;
    }
    int oldDir = SetArcDirection(dc, AD_COUNTERCLOCKWISE);
    Pie(dc, d.left, d.top, d.Right(), d.Bottom(), r.start.x, r.start.y, r.end.x, r.end.y);
    SetArcDirection(dc, oldDir);
}

void TclPie::Describe(ControlInfo& info) const {
    TclCustomControl::Describe(info);
    info.borderColour = pen_;
    info.backColour = brush_;
    info.text = std::to_string(start_) + ".." + std::to_string(end_);
}

// ---- buttons ----

void TclCustomButton::SetEnabled(bool v) {
    state_.SetEnabled(v);
    TclCustomControl::SetEnabled(v);
    Redraw();
}

void TclCustomButton::SetCaption(std::u16string caption) {
    caption_ = std::move(caption);
    CaptionChanged();
    Invalidate();
}

void TclCustomButton::SetFont(const FontSpec& f) {
    font_ = f;
    Invalidate();
}

bool TclCustomButton::HitTest(Point p) const {
    return Visible() && Bounds().Contains(p);
}

void TclCustomButton::Redraw() {
    Invalidate();
    if (onState_) onState_(state_.Look());
}

void TclCustomButton::MouseEnter() {
    state_.MouseEnter();
    Redraw();
}
void TclCustomButton::MouseLeave() {
    state_.MouseLeave();
    Redraw();
}
void TclCustomButton::LeftDown(Point) {
    state_.LeftDown();
    Redraw();
}
void TclCustomButton::LeftUp(Point) {
    bool click = state_.LeftUp();
    Redraw();
    if (click) Click(); // last: the handler may delete the button
}
void TclCustomButton::CaptureLost() {
    state_.Cancel();
    Redraw();
}

CursorKind TclCustomButton::Cursor() const {
    return ButtonCursor(Enabled(), HasClickHandler(), TclCustomControl::Cursor());
}

void TclCustomButton::Describe(ControlInfo& info) const {
    TclCustomControl::Describe(info);
    info.text = Utf16ToUtf8(caption_);
    info.font = font_;
}

TclStdButton::TclStdButton(std::string name)
    : TclCustomButton("TclStdButton", std::move(name), true) {
    font_ = FontSpec{u"Arial", 11, false, kCharsetDefault};
    SetBounds({0, 0, 100, kStdButtonHeight});
}

void TclStdButton::Paint(HDC dc, int dpi) {
    Rect b = Bounds();
    auto layout = LayOutStdButton(b.width);
    if (!layout) return;
    StdButtonSlices look = StdButtonLookSlices(state_.Look());
    const std::pair<const char*, Rect> parts[] = {
        {look.left, layout->left}, {look.middle, layout->middle}, {look.right, layout->right}};
    for (const auto& [picture, r] : parts) {
        auto pic = PictureForDpi(picture, dpi);
        if (pic && !r.Empty())
            DrawPicture(dc, *pic, ToRect(ScaleRect(r.Offset(b.left, b.top), dpi)));
    }
    Rect text{b.left, b.top, b.width, kStdButtonHeight};
    DrawTextBlock(dc, caption_, ToRect(ScaleRect(text, dpi)), font_, dpi, look.caption,
                  TextAlign::kCentre, true, false);
}

bool TclStdButton::HitTest(Point p) const {
    const Rect& b = Bounds();
    return Visible() && Rect{b.left, b.top, b.width, kStdButtonHeight}.Contains(p);
}

void TclStdButton::Describe(ControlInfo& info) const {
    TclCustomButton::Describe(info);
    auto look = StdButtonLookSlices(state_.Look());
    info.picture = look.middle;
    info.textColour = look.caption;
    info.rect.height = kStdButtonHeight;
}

TclImageButton::TclImageButton(std::string name, const char* className)
    : TclCustomButton(className, std::move(name), true) {}

void TclImageButton::CaptionChanged() {
    SetHint(caption_);
    SetShowHint(true);
}

void TclImageButton::Paint(HDC dc, int dpi) {
    auto pic = PictureForDpi(ImageButtonPicture(pictures_, state_.Look()), dpi);
    if (pic) DrawPicture(dc, *pic, ToRect(ScaleRect(Bounds(), dpi)));
}

void TclImageButton::Describe(ControlInfo& info) const {
    TclCustomButton::Describe(info);
    info.text.clear(); // the caption is the tooltip
    info.picture = ImageButtonPicture(pictures_, state_.Look());
}

TclOptionButton::TclOptionButton(std::string name)
    : TclImageButton(std::move(name), "TclOptionButton") {
    SetPictures(OptionButtonPictures());
    SetBounds({0, 0, 18, 18});
}

TclBoxCaptionButton::TclBoxCaptionButton(std::string name)
    : TclCustomButton("TclBoxCaptionButton", std::move(name), false) {
    SetCursor(CursorKind::kHand);
}

void TclBoxCaptionButton::SetBoxColours(ButtonLook look, BoxColours c) {
    (look == ButtonLook::kDisabled ? disabled_ : look == ButtonLook::kHot ? hot_ : normal_) = c;
    Invalidate();
}

TclBoxCaptionButton::BoxColours TclBoxCaptionButton::ForLook(ButtonLook look) const {
    return look == ButtonLook::kDisabled ? disabled_ : look == ButtonLook::kHot ? hot_ : normal_;
}

void TclBoxCaptionButton::Paint(HDC dc, int dpi) {
    Rect d = ScaleRect(Bounds(), dpi);
    if (d.Empty()) return;
    ButtonLook look = state_.Look();
    BoxColours c = ForLook(look);
    {
        GdiSelection pen(dc, MakePen(penWidth_, c.pen, dpi), penWidth_ > 0);
        GdiSelection brush(dc, MakeBrush(c.fill), true);
        if (rounded_) {
            int e = ScaleForDpi(6, dpi);
            RoundRect(dc, d.left, d.top, d.Right(), d.Bottom(), e, e);
        } else {
            Rectangle(dc, d.left, d.top, d.Right(), d.Bottom());
        }
    }
    DrawTextBlock(dc, caption_, ToRect(d), font_, dpi, CaptionColour(captionColours_, look),
                  TextAlign::kCentre, true, true);
}

void TclBoxCaptionButton::Describe(ControlInfo& info) const {
    TclCustomButton::Describe(info);
    BoxColours c = ForLook(state_.Look());
    info.textColour = CaptionColour(captionColours_, state_.Look());
    info.backColour = c.fill;
    info.borderColour = c.pen;
}

// The menu button's mouse part: it paints nothing.
class TclMenuOverlay : public TclCustomButton {
public:
    explicit TclMenuOverlay(std::string name)
        : TclCustomButton("TclMenuOverlay", std::move(name), false) {}
    void Paint(HDC, int) override {}
};

// ---- TclFormMove ----

bool TclFormMove::HitTest(Point p) const {
    return Visible() && Bounds().Contains(p);
}

void TclFormMove::LeftDown(Point p) {
    drag_.Press(p);
}
void TclFormMove::MouseMove(Point p) {
    MoveBy(drag_.Move(p));
}
void TclFormMove::LeftUp(Point p) {
    MoveBy(drag_.Release(p));
}

void TclFormMove::MoveBy(std::optional<Point> offset) {
    if (!offset || (offset->x == 0 && offset->y == 0) || !Parent() || !Parent()->Window()) return;
    HWND top = GetAncestor(Parent()->Window(), GA_ROOT);
    RECT wr;
    if (!top || !GetWindowRect(top, &wr)) return;
    int dpi = Parent()->Dpi();
    SetWindowPos(top, nullptr, wr.left + ScaleForDpi(offset->x, dpi),
                 wr.top + ScaleForDpi(offset->y, dpi), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    UpdateWindow(top);
}

// ---- TclCustomFrame ----

TclCustomFrame::TclCustomFrame(std::string name, const char* className)
    : name_(std::move(name)), className_(className), dpi_(SystemDpi()) {}

TclCustomFrame::~TclCustomFrame() {
    for (TclCustomFrame* child : childFrames_)
        child->parentFrame_ = nullptr;
    if (parentFrame_) {
        auto& siblings = parentFrame_->childFrames_;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        HWND h = hwnd_;
        hwnd_ = nullptr;
        DestroyWindow(h);
    }
}

bool TclCustomFrame::Register() {
    static bool done = false;
    if (done) return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &TclCustomFrame::WndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /* IDC_ARROW */);
    wc.lpszClassName = kFrameClass;
    wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(1));
    done = RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    return done;
}

bool TclCustomFrame::CreateChild(TclCustomFrame& parent, const Rect& bounds) {
    if (hwnd_ || !parent.hwnd_ || !Register()) return false;
    dpi_ = parent.dpi_;
    bounds_ = bounds;
    Rect d = ScaleRect(bounds, dpi_);
    hwnd_ = CreateWindowExW(0, kFrameClass, L"", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                            d.left, d.top, d.width, d.height, parent.hwnd_, nullptr,
                            GetModuleHandleW(nullptr), this);
    if (!hwnd_) return false;
    parentFrame_ = &parent;
    parent.childFrames_.push_back(this);
    return true;
}

bool TclCustomFrame::CreateInWindow(HWND parent, const Rect& bounds) {
    if (hwnd_ || !parent || !Register()) return false;
    bounds_ = bounds;
    Rect d = ScaleRect(bounds, dpi_);
    hwnd_ =
        CreateWindowExW(0, kFrameClass, L"", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, d.left,
                        d.top, d.width, d.height, parent, nullptr, GetModuleHandleW(nullptr), this);
    return hwnd_ != nullptr;
}

bool TclCustomFrame::CreateTopLevel(const Rect& bounds, const std::wstring& caption,
                                    DWORD extraStyle, DWORD exStyle, HWND owner) {
    if (hwnd_ || !Register()) return false;
    topLevel_ = true;
    bounds_ = bounds;
    Rect d = ScaleRect(bounds, dpi_);
    hwnd_ = CreateWindowExW(exStyle, kFrameClass, caption.c_str(),
                            WS_POPUP | WS_CLIPCHILDREN | extraStyle, d.left, d.top, d.width,
                            d.height, owner, nullptr, GetModuleHandleW(nullptr), this);
    return hwnd_ != nullptr;
}

TclCustomFrame* TclCustomFrame::FromWindow(HWND hwnd) {
    if (!hwnd) return nullptr;
    wchar_t cls[32] = {};
    if (!GetClassNameW(hwnd, cls, 32) || wcscmp(cls, kFrameClass) != 0) return nullptr;
    return reinterpret_cast<TclCustomFrame*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

void TclCustomFrame::Adopt(std::unique_ptr<TclCustomControl> control) {
    if (!control) return;
    control->parent_ = this;
    InvalidateLayout(control->Bounds());
    controls_.push_back(std::move(control));
}

void TclCustomFrame::BringControlToFront(TclCustomControl* control) {
    auto it = std::find_if(controls_.begin(), controls_.end(),
                           [control](const auto& c) { return c.get() == control; });
    if (it == controls_.end()) return;
    std::rotate(it, it + 1, controls_.end());
    InvalidateLayout(control->Bounds());
}

void TclCustomFrame::SetBackColour(Rgb c) {
    back_ = c;
    if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

void TclCustomFrame::SetBounds(const Rect& r) {
    bounds_ = r;
    if (!hwnd_) return;
    Rect d = ScaleRect(r, dpi_);
    SetWindowPos(hwnd_, nullptr, d.left, d.top, d.width, d.height, SWP_NOZORDER | SWP_NOACTIVATE);
    if (corners_ > 0) SetRoundedCorners(corners_);
}

void TclCustomFrame::SetVisible(bool v) {
    visible_ = v;
    if (hwnd_) ShowWindow(hwnd_, v ? (topLevel_ ? SW_SHOW : SW_SHOWNA) : SW_HIDE);
}

void TclCustomFrame::SetEnabled(bool v) {
    enabled_ = v;
    if (hwnd_) EnableWindow(hwnd_, v);
}

void TclCustomFrame::SetRoundedCorners(int w) {
    corners_ = w;
    if (!hwnd_) return;
    if (w <= 0) {
        SetWindowRgn(hwnd_, nullptr, TRUE);
        return;
    }
    Rect d = ScaleRect({0, 0, bounds_.width, bounds_.height}, dpi_);
    int e = ScaleForDpi(w, dpi_);
    // The region's right and bottom edges are exclusive, one more than the rectangle's.
    HRGN rgn = CreateRoundRectRgn(0, 0, d.width + 1, d.height + 1, e, e);
    if (rgn && !SetWindowRgn(hwnd_, rgn, TRUE)) DeleteObject(rgn); // the window owns it on success
}

void TclCustomFrame::BringToFront() {
    if (hwnd_) SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TclCustomFrame::InvalidateLayout(const Rect& r) {
    if (!hwnd_) return;
    RECT d = ToRect(ScaleRect(r, dpi_));
    InflateRect(&d, 1, 1);
    InvalidateRect(hwnd_, &d, FALSE);
}

void TclCustomFrame::PaintTo(HDC dc) {
    Rect d = ScaleRect({0, 0, bounds_.width, bounds_.height}, dpi_);
    RECT all = ToRect(d);
    HBRUSH b = CreateSolidBrush(ToColorRef(back_));
    FillRect(dc, &all, b);
    DeleteObject(b);
    for (const auto& c : controls_)
        if (c->Visible()) c->Paint(dc, dpi_);
}

Point TclCustomFrame::ToLayout(int x, int y) const {
    return {UnscaleForDpi(x, dpi_), UnscaleForDpi(y, dpi_)};
}

TclCustomControl* TclCustomFrame::ControlAt(Point p) const {
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it)
        if ((*it)->HitTest(p)) return it->get();
    return nullptr;
}

void TclCustomFrame::SetHot(TclCustomControl* c) {
    if (c == hot_) return;
    TclCustomControl* old = hot_;
    hot_ = c;
    if (old) old->MouseLeave();
    if (c) c->MouseEnter();
    UpdateTooltip();
}

void TclCustomFrame::OnMouseLeaveOf(TclCustomControl* c) {
    if (hot_ == c) SetHot(nullptr);
    if (pressed_ == c) pressed_ = nullptr;
}

void TclCustomFrame::UpdateTooltip() {
    if (!hwnd_) return;
    std::wstring text = hot_ && hot_->ShowHint() ? ToWide(hot_->Hint()) : std::wstring();
    HWND tip = text.empty() ? nullptr : TooltipWindow();
    if (!tip) {
        if (HWND existing = HintWindow()) {
            // An empty text hides the tip for this frame until a control with a hint is hot.
            wchar_t none[] = L"";
            TTTOOLINFOW ti = ToolFor(hwnd_, none);
            SendMessageW(existing, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
            SendMessageW(existing, TTM_POP, 0, 0);
        }
        return;
    }
    // TTM_GETTOOLINFOW copies the tool's text into lpszText: give it a scratch buffer.
    std::wstring scratch(1024, L'\0');
    TTTOOLINFOW ti = ToolFor(hwnd_, scratch.data());
    if (!SendMessageW(tip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&ti))) {
        ti = ToolFor(hwnd_, text.data());
        GetClientRect(hwnd_, &ti.rect);
        SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    }
    ti = ToolFor(hwnd_, text.data());
    SendMessageW(tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
}

void TclCustomFrame::OnMouseMove(int x, int y) {
    if (hwnd_ && !tracking_) {
        TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, hwnd_, 0};
        tracking_ = TrackMouseEvent(&tme) != 0;
    }
    Point p = ToLayout(x, y);
    TclCustomControl* under = ControlAt(p);
    // While a control holds the mouse, only it can be hot.
    SetHot(pressed_ && under != pressed_ ? nullptr : under);
    if (pressed_) pressed_->MouseMove(p);
}

void TclCustomFrame::OnLeftDown(int x, int y) {
    Point p = ToLayout(x, y);
    TclCustomControl* c = ControlAt(p);
    SetHot(c);
    if (!c) return;
    pressed_ = c;
    if (hwnd_) SetCapture(hwnd_);
    c->LeftDown(p);
}

void TclCustomFrame::OnLeftUp(int x, int y) {
    TclCustomControl* c = pressed_;
    pressed_ = nullptr;
    if (hwnd_ && GetCapture() == hwnd_) ReleaseCapture();
    if (c) c->LeftUp(ToLayout(x, y)); // last: a click may destroy this frame
}

void TclCustomFrame::OnMouseLeave() {
    tracking_ = false;
    if (!pressed_) SetHot(nullptr);
}

void TclCustomFrame::OnCaptureLost() {
    TclCustomControl* c = pressed_;
    pressed_ = nullptr;
    if (c) c->CaptureLost();
}

bool TclCustomFrame::OnSetCursor() {
    POINT pt;
    if (!hwnd_ || !GetCursorPos(&pt) || !ScreenToClient(hwnd_, &pt)) return false;
    TclCustomControl* c = pressed_ ? pressed_ : ControlAt(ToLayout(pt.x, pt.y));
    bool hand = c && c->Cursor() == CursorKind::kHand;
    ::SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(hand ? 32649 /* IDC_HAND */
                                                           : 32512 /* IDC_ARROW */)));
    return true;
}

LRESULT TclCustomFrame::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd_, &ps);
        RECT rc;
        GetClientRect(hwnd_, &rc);
        HDC mem = CreateCompatibleDC(dc);
        HBITMAP bmp = mem ? CreateCompatibleBitmap(dc, rc.right, rc.bottom) : nullptr;
        if (bmp) {
            HGDIOBJ old = SelectObject(mem, bmp);
            PaintTo(mem);
            BitBlt(dc, 0, 0, rc.right, rc.bottom, mem, 0, 0, SRCCOPY);
            SelectObject(mem, old);
            DeleteObject(bmp);
        } else {
            PaintTo(dc); // out of memory for the buffer: draw directly
        }
        if (mem) DeleteDC(mem);
        EndPaint(hwnd_, &ps);
        return 0;
    }
    case WM_PRINTCLIENT:
        PaintTo(reinterpret_cast<HDC>(wp));
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
        return 0;
    case WM_LBUTTONDOWN:
        OnLeftDown(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
        return 0;
    case WM_LBUTTONUP:
        OnLeftUp(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
        return 0;
    case WM_MOUSELEAVE:
        OnMouseLeave();
        return 0;
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lp) != hwnd_) OnCaptureLost();
        return 0;
    case WM_MOUSEWHEEL:
        if (onWheel_ && onWheel_(GET_WHEEL_DELTA_WPARAM(wp))) return 0;
        break;
    case WM_VSCROLL:
        if (lp) {
            // A scroll bar control of ours keeps its owner in its user data.
            auto* owner = reinterpret_cast<ScrollBarOwner*>(
                GetWindowLongPtrW(reinterpret_cast<HWND>(lp), GWLP_USERDATA));
            if (owner) owner->OnScroll(LOWORD(wp));
            return 0;
        }
        break;
    case WM_SETCURSOR:
        if (LOWORD(lp) == HTCLIENT && OnSetCursor()) return TRUE;
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

LRESULT CALLBACK TclCustomFrame::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    try {
        if (msg == WM_NCCREATE) {
            auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
            auto* self = static_cast<TclCustomFrame*>(cs->lpCreateParams);
            self->hwnd_ = hwnd;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
        auto* self = reinterpret_cast<TclCustomFrame*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
        if (msg == WM_NCDESTROY) {
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            self->hwnd_ = nullptr;
            return DefWindowProcW(hwnd, msg, wp, lp);
        }
        return self->HandleMessage(msg, wp, lp);
    } catch (...) {
        RunWindowFaultHandler();
        return 0;
    }
}

void TclCustomFrame::Describe(ControlInfo& info) const {
    info.className = className_;
    info.name = name_;
    info.rect = bounds_;
    info.backColour = back_;
}

void TclCustomFrame::Walk(const ControlVisitor& visit, Point origin, int depth, bool visible,
                          bool enabled) const {
    for (const auto& c : controls_) {
        ControlInfo info;
        c->Describe(info);
        info.rect = info.rect.Offset(origin.x, origin.y);
        info.depth = depth;
        info.visible = visible && c->Visible();
        info.enabled = enabled && c->Enabled();
        visit(info);
    }
    for (const TclCustomFrame* f : childFrames_) {
        ControlInfo info;
        f->Describe(info);
        info.rect = info.rect.Offset(origin.x, origin.y);
        info.depth = depth;
        bool shown =
            f->hwnd_ ? IsWindowVisible(f->hwnd_) != 0 || (visible && f->visible_) : f->visible_;
        info.visible = visible && f->visible_ && shown;
        // A frame that stands for one control may say it is disabled itself.
        info.enabled = enabled && f->enabled_ && info.enabled;
        visit(info);
        f->Walk(visit, {origin.x + f->bounds_.left, origin.y + f->bounds_.top}, depth + 1,
                info.visible, info.enabled);
    }
}

void TclCustomFrame::ForEachControl(const ControlVisitor& visit) const {
    Walk(visit, {0, 0}, 0, true, enabled_);
}

namespace {

// The pieces of one of a window's own scroll bars, in the window's coordinates.
struct ScrollBarParts {
    bool vertical = true;
    bool inactive = false;
    RECT bar{}, first{}, second{}, before{}, thumb{}, after{};
};

bool OwnScrollBarParts(HWND w, LONG which, ScrollBarParts& p) {
    SCROLLBARINFO sbi{};
    sbi.cbSize = sizeof sbi;
    if (!GetScrollBarInfo(w, which, &sbi) || (sbi.rgstate[0] & STATE_SYSTEM_INVISIBLE))
        return false;
    RECT wr{};
    GetWindowRect(w, &wr);
    p.bar = sbi.rcScrollBar;
    OffsetRect(&p.bar, -wr.left, -wr.top);
    if (IsRectEmpty(&p.bar)) return false;
    p.vertical = which == OBJID_VSCROLL;
    p.inactive = (sbi.rgstate[0] & STATE_SYSTEM_UNAVAILABLE) != 0;
    // Along the bar: start and end of the bar, of the arrows and of the thumb (counted from
    // the bar's start); a bar too short for both arrows shares it between them.
    const LONG start = p.vertical ? p.bar.top : p.bar.left;
    const LONG end = p.vertical ? p.bar.bottom : p.bar.right;
    const LONG across = p.vertical ? p.bar.right - p.bar.left : p.bar.bottom - p.bar.top;
    const LONG arrow = std::min<LONG>(across, (end - start) / 2);
    LONG thumbFrom = start + arrow, thumbTo = start + arrow;
    if (!p.inactive && sbi.xyThumbBottom > sbi.xyThumbTop) {
        thumbFrom = std::clamp<LONG>(start + sbi.xyThumbTop, start + arrow, end - arrow);
        thumbTo = std::clamp<LONG>(start + sbi.xyThumbBottom, thumbFrom, end - arrow);
    }
    auto piece = [&](LONG from, LONG to) {
        RECT r = p.bar;
        (p.vertical ? r.top : r.left) = from;
        (p.vertical ? r.bottom : r.right) = to;
        return r;
    };
    p.first = piece(start, start + arrow);
    p.second = piece(end - arrow, end);
    p.before = piece(start + arrow, thumbFrom);
    p.thumb = piece(thumbFrom, thumbTo);
    p.after = piece(thumbTo, end - arrow);
    return true;
}

// One of a window's own scroll bars (`which`: OBJID_VSCROLL or OBJID_HSCROLL) at its place in
// the window: in the window's theme when it has one, as the screen shows it, else with the
// system's colours and frame controls.
void DrawOwnScrollBar(HWND w, HDC dc, LONG which) {
    ScrollBarParts p;
    if (!OwnScrollBarParts(w, which, p)) return;
    const bool v = p.vertical, off = p.inactive;
    if (HTHEME theme = OpenThemeData(w, L"ScrollBar")) {
        DrawThemeBackground(theme, dc, SBP_ARROWBTN,
                            v ? (off ? ABS_UPDISABLED : ABS_UPNORMAL)
                              : (off ? ABS_LEFTDISABLED : ABS_LEFTNORMAL),
                            &p.first, nullptr);
        DrawThemeBackground(theme, dc, SBP_ARROWBTN,
                            v ? (off ? ABS_DOWNDISABLED : ABS_DOWNNORMAL)
                              : (off ? ABS_RIGHTDISABLED : ABS_RIGHTNORMAL),
                            &p.second, nullptr);
        const int state = off ? SCRBS_DISABLED : SCRBS_NORMAL;
        if (!IsRectEmpty(&p.before))
            DrawThemeBackground(theme, dc, v ? SBP_UPPERTRACKVERT : SBP_UPPERTRACKHORZ, state,
                                &p.before, nullptr);
        if (!IsRectEmpty(&p.after))
            DrawThemeBackground(theme, dc, v ? SBP_LOWERTRACKVERT : SBP_LOWERTRACKHORZ, state,
                                &p.after, nullptr);
        if (!IsRectEmpty(&p.thumb)) {
            DrawThemeBackground(theme, dc, v ? SBP_THUMBBTNVERT : SBP_THUMBBTNHORZ, state, &p.thumb,
                                nullptr);
            // The gripper, centred, where the thumb is long enough for it.
            SIZE g{};
            const int gripper = v ? SBP_GRIPPERVERT : SBP_GRIPPERHORZ;
            if (SUCCEEDED(GetThemePartSize(theme, dc, gripper, state, nullptr, TS_DRAW, &g)) &&
                g.cx > 0 && g.cy > 0 && g.cx <= p.thumb.right - p.thumb.left &&
                g.cy <= p.thumb.bottom - p.thumb.top) {
                RECT r{};
                r.left = p.thumb.left + (p.thumb.right - p.thumb.left - g.cx) / 2;
                r.top = p.thumb.top + (p.thumb.bottom - p.thumb.top - g.cy) / 2;
                r.right = r.left + g.cx;
                r.bottom = r.top + g.cy;
                DrawThemeBackground(theme, dc, gripper, state, &r, nullptr);
            }
        }
        CloseThemeData(theme);
        return;
    }
    FillRect(dc, &p.bar, GetSysColorBrush(COLOR_SCROLLBAR));
    const UINT state = off ? DFCS_INACTIVE : 0;
    DrawFrameControl(dc, &p.first, DFC_SCROLL, (v ? DFCS_SCROLLUP : DFCS_SCROLLLEFT) | state);
    DrawFrameControl(dc, &p.second, DFC_SCROLL, (v ? DFCS_SCROLLDOWN : DFCS_SCROLLRIGHT) | state);
    if (IsRectEmpty(&p.thumb)) return;
    FillRect(dc, &p.thumb, GetSysColorBrush(COLOR_BTNFACE));
    DrawEdge(dc, &p.thumb, EDGE_RAISED, BF_RECT);
}

// A system control (a list view, say) as the screen shows it, into `dc` whose origin is the
// control's window corner: its border and its own scroll bars, which WM_PRINT leaves out under
// Wine, then its client area through WM_PRINT at its place inside them.
void PrintSystemControl(HWND w, HDC dc) {
    RECT wr{}, cr{};
    GetWindowRect(w, &wr);
    GetClientRect(w, &cr);
    POINT client{0, 0};
    ClientToScreen(w, &client);
    const int cx = client.x - wr.left, cy = client.y - wr.top;
    const LONG style = GetWindowLongW(w, GWL_STYLE);
    const LONG exStyle = GetWindowLongW(w, GWL_EXSTYLE);
    RECT outer{0, 0, wr.right - wr.left, wr.bottom - wr.top};
    if (exStyle & WS_EX_CLIENTEDGE) {
        DrawEdge(dc, &outer, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    } else if (style & WS_BORDER) {
        FrameRect(dc, &outer, GetSysColorBrush(COLOR_WINDOWFRAME));
    }
    if (style & WS_VSCROLL) DrawOwnScrollBar(w, dc, OBJID_VSCROLL);
    if (style & WS_HSCROLL) DrawOwnScrollBar(w, dc, OBJID_HSCROLL);
    if ((style & WS_VSCROLL) && (style & WS_HSCROLL)) {
        // The corner between two bars.
        SCROLLBARINFO v{}, h{};
        v.cbSize = h.cbSize = sizeof v;
        if (GetScrollBarInfo(w, OBJID_VSCROLL, &v) && GetScrollBarInfo(w, OBJID_HSCROLL, &h) &&
            !(v.rgstate[0] & STATE_SYSTEM_INVISIBLE) && !(h.rgstate[0] & STATE_SYSTEM_INVISIBLE)) {
            RECT corner{v.rcScrollBar.left, h.rcScrollBar.top, v.rcScrollBar.right,
                        h.rcScrollBar.bottom};
            OffsetRect(&corner, -wr.left, -wr.top);
            FillRect(dc, &corner, GetSysColorBrush(COLOR_BTNFACE));
        }
    }
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, cx, cy, cx + cr.right, cy + cr.bottom);
    POINT org{};
    GetViewportOrgEx(dc, &org);
    SetViewportOrgEx(dc, org.x + cx, org.y + cy, nullptr);
    SendMessageW(w, WM_PRINT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
    RestoreDC(dc, saved);
}

// `clip` is the part of `top`'s client area that `parent` shows; a child shows no more of
// itself than that.
void PaintChildrenBelow(HDC dc, HWND top, HWND parent, HRGN clip) {
    std::vector<HWND> children;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        children.push_back(c);
    // GW_CHILD starts at the top of the z-order: paint from the bottom.
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        HWND child = *it;
        if (!IsWindowVisible(child)) continue;
        RECT r{};
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&r), 2);
        HRGN own = CreateRectRgn(r.left, r.top, r.right, r.bottom);
        if (!own) continue;
        CombineRgn(own, own, clip, RGN_AND);
        HRGN shape = CreateRectRgn(0, 0, 0, 0);
        if (shape && GetWindowRgn(child, shape) != ERROR) {
            OffsetRgn(shape, r.left, r.top);
            CombineRgn(own, own, shape, RGN_AND);
        }
        if (shape) DeleteObject(shape);
        const int saved = SaveDC(dc);
        SelectClipRgn(dc, own);
        SetViewportOrgEx(dc, r.left, r.top, nullptr);
        wchar_t cls[16] = {};
        GetClassNameW(child, cls, 16);
        if (TclCustomFrame* frame = TclCustomFrame::FromWindow(child))
            frame->PaintTo(dc);
        else if (_wcsicmp(cls, L"ScrollBar") == 0)
            // Wine's scroll bar ignores WM_PRINT; its WM_PAINT draws into a DC it is given.
            SendMessageW(child, WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
        else
            PrintSystemControl(child, dc);
        RestoreDC(dc, saved);
        PaintChildrenBelow(dc, top, child, own);
        DeleteObject(own);
    }
}

} // namespace

void PaintChildWindows(HDC dc, HWND top) {
    if (!dc || !top) return;
    RECT r{};
    GetClientRect(top, &r);
    HRGN all = CreateRectRgn(0, 0, r.right, r.bottom);
    if (!all) return;
    PaintChildrenBelow(dc, top, top, all);
    DeleteObject(all);
}

const ControlTree* ControlTreeOfWindow(std::uintptr_t window) {
    return TclCustomFrame::FromWindow(reinterpret_cast<HWND>(window));
}

// ---- TclMenuButton ----

TclMenuButton::TclMenuButton(std::string name) : TclCustomFrame(std::move(name), "TclMenuButton") {}

bool TclMenuButton::Create(TclCustomFrame& parent, Point at) {
    if (!CreateChild(parent, {at.x, at.y, kMenuButtonWidth, kMenuButtonHeight})) return false;
    SetRoundedCorners(kMenuButtonCorner);
    gradient_ = Add<TclGradient>(name_ + ".gradient");
    gradient_->SetBounds({0, 0, kMenuButtonWidth, kMenuButtonHeight});
    gradient_->SetColours(kMenuGradientFrom, kMenuGradientTo);
    gradient_->SetVisible(false);
    icon_ = Add<TclPicture>(name_ + ".icon");
    icon_->SetBounds(kMenuButtonIcon);
    icon_->SetCentred(true);
    caption_ = Add<TclLabel>(name_ + ".caption");
    caption_->SetBounds(kMenuButtonCaption);
    caption_->SetFont(FontSpec{u"Segoe UI", kMenuButtonCaptionPx, true, kCharsetDefault});
    caption_->SetWordWrap(true);
    caption_->SetAlign(TextAlign::kLeft, true);
    overlay_ = Add<TclMenuOverlay>(name_ + ".overlay");
    overlay_->SetBounds({0, 0, kMenuButtonWidth, kMenuButtonHeight});
    SetSelected(false);
    SetVisible(true);
    return true;
}

void TclMenuButton::SetPictures(std::string normal, std::string selected) {
    normal_ = std::move(normal);
    selectedPicture_ = std::move(selected);
    SetSelected(selected_);
}

void TclMenuButton::SetCaption(std::u16string caption) {
    if (caption_) caption_->SetText(std::move(caption));
}

void TclMenuButton::SetCaptionFont(const std::u16string& face, std::uint8_t charset) {
    if (!caption_) return;
    FontSpec f = caption_->Font();
    f.face = face;
    f.charset = charset;
    caption_->SetFont(f);
}

void TclMenuButton::Describe(ControlInfo& info) const {
    TclCustomFrame::Describe(info);
    if (!caption_) return;
    info.text = Utf16ToUtf8(caption_->Text());
    info.font = caption_->Font();
    info.textColour = MenuButtonLookFor(selected_).caption;
    info.picture = selected_ ? selectedPicture_ : normal_;
    if (selected_) info.backColour = kMenuGradientFrom;
    info.enabled = overlay_ && overlay_->Enabled();
}

void TclMenuButton::SetSelected(bool selected) {
    selected_ = selected;
    if (!gradient_) return;
    MenuButtonLook look = MenuButtonLookFor(selected);
    gradient_->SetVisible(look.gradientVisible);
    icon_->SetPicture(look.selectedPicture ? selectedPicture_ : normal_);
    caption_->SetColour(look.caption);
}

void TclMenuButton::SetEnabledButton(bool v) {
    if (overlay_) overlay_->SetEnabled(v);
}

void TclMenuButton::SetOnClick(ClickHandler h) {
    if (overlay_) overlay_->SetOnClick(std::move(h));
}

} // namespace tvd
