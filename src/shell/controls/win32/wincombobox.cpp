#include "shell/controls/win32/wincombobox.h"

#include <windowsx.h>

#include <algorithm>

#include "foundation/textconvutil.h"
#include "shell/controls/barlayout.h"
#include "shell/controls/dpiscale.h"
#include "shell/controls/win32/winpicture.h"

namespace tvd {

namespace {

std::wstring ToWide(const std::u16string& s) {
    return std::wstring(s.begin(), s.end());
}

void FillSolid(HDC dc, const RECT& r, Rgb c) {
    HBRUSH b = CreateSolidBrush(ToColorRef(c));
    FillRect(dc, &r, b);
    DeleteObject(b);
}

void Outline(HDC dc, const RECT& r, Rgb c, int width) {
    HPEN pen = CreatePen(PS_INSIDEFRAME, std::max(width, 1), ToColorRef(c));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, r.left, r.top, r.right, r.bottom);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
}

void TextLine(HDC dc, const std::u16string& text, RECT r, const FontSpec& font, int dpi, Rgb c,
              UINT align) {
    std::wstring w = ToWide(text);
    HGDIOBJ old = SelectObject(dc, FontForDpi(font, dpi));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ToColorRef(c));
    DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &r,
              DT_NOPREFIX | DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | align);
    SelectObject(dc, old);
}

constexpr Rgb kRowHighlight = 0x0079D8;

} // namespace

// ---- TclPopupFormHandler ----

TclPopupFormHandler::TclPopupFormHandler(TclStdComboBox& owner, std::string name)
    : TclCustomFrame(std::move(name), "TclPopupFormHandler"), owner_(owner) {}

int TclPopupFormHandler::VisibleRows() const {
    return std::min(owner_.ItemCount(), owner_.MaxVisibleItems());
}

bool TclPopupFormHandler::ShowAt(const Rect& screenBounds, HWND ownerWindow) {
    if (!Window()) {
        wchar_t title[256] = {};
        if (ownerWindow) GetWindowTextW(GetAncestor(ownerWindow, GA_ROOT), title, 256);
        if (!CreateTopLevel(screenBounds, title, 0, WS_EX_TOPMOST | WS_EX_TOOLWINDOW,
                            ownerWindow ? GetAncestor(ownerWindow, GA_ROOT) : nullptr))
            return false;
    }
    SetBounds(screenBounds);
    top_ = ClampComboTopIndex(owner_.SelectedIndex() - VisibleRows() + 1, owner_.ItemCount(),
                              VisibleRows());
    hotRow_ = owner_.SelectedIndex();
    open_ = true;
    ShowWindow(Window(), SW_SHOWNA);
    SetCapture(Window());
    InvalidateRect(Window(), nullptr, FALSE);
    return true;
}

void TclPopupFormHandler::Close() {
    if (!open_) return;
    open_ = false;
    if (Window() && GetCapture() == Window()) ReleaseCapture();
    if (Window()) ShowWindow(Window(), SW_HIDE);
}

void TclPopupFormHandler::Choose(int index) {
    Close();
    owner_.Chosen(index); // last: the change handler may do anything
}

void TclPopupFormHandler::Paint(HDC dc) {
    RECT rc;
    GetClientRect(Window(), &rc);
    FillSolid(dc, rc, kWhite);
    int dpi = Dpi();
    int rowH = owner_.ItemHeight();
    const auto& items = owner_.Model().Items();
    for (int row = 0; row < VisibleRows(); ++row) {
        int index = top_ + row;
        if (index < 0 || index >= static_cast<int>(items.size())) break;
        RECT r = ToRect(ScaleRect({2, 2 + row * rowH, Bounds().width - 4, rowH}, dpi));
        bool hot = index == hotRow_;
        if (hot) FillSolid(dc, r, kRowHighlight);
        r.left += ScaleForDpi(4, dpi);
        TextLine(dc, items[static_cast<std::size_t>(index)].text, r, owner_.Font(), dpi,
                 hot ? kWhite : owner_.TextColour(), DT_LEFT);
    }
    Outline(dc, rc, owner_.BorderColour(), ScaleForDpi(1, dpi));
}

void TclPopupFormHandler::ForEachControl(const ControlVisitor& visit) const {
    const auto& items = owner_.Model().Items();
    for (int row = 0; row < VisibleRows(); ++row) {
        int index = top_ + row;
        if (index >= static_cast<int>(items.size())) break;
        ControlInfo info;
        info.className = "TclListRow";
        info.name = name_ + ".row" + std::to_string(row);
        info.rect = {2, 2 + row * owner_.ItemHeight(), Bounds().width - 4, owner_.ItemHeight()};
        info.text = Utf16ToUtf8(items[static_cast<std::size_t>(index)].text);
        info.font = owner_.Font();
        info.textColour = index == hotRow_ ? kWhite : owner_.TextColour();
        if (index == hotRow_) info.backColour = kRowHighlight;
        info.visible = open_;
        visit(info);
    }
}

LRESULT TclPopupFormHandler::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(Window(), &ps);
        RECT rc;
        GetClientRect(Window(), &rc);
        HDC mem = CreateCompatibleDC(dc);
        HBITMAP bmp = mem ? CreateCompatibleBitmap(dc, rc.right, rc.bottom) : nullptr;
        if (bmp) {
            HGDIOBJ old = SelectObject(mem, bmp);
            Paint(mem);
            BitBlt(dc, 0, 0, rc.right, rc.bottom, mem, 0, 0, SRCCOPY);
            SelectObject(mem, old);
            DeleteObject(bmp);
        }
        if (mem) DeleteDC(mem);
        EndPaint(Window(), &ps);
        return 0;
    }
    case WM_PRINTCLIENT:
        Paint(reinterpret_cast<HDC>(wp));
        return 0;
    case WM_LBUTTONDOWN: {
        POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        RECT rc;
        GetClientRect(Window(), &rc);
        if (!PtInRect(&rc, pt)) {
            if (PopupClosesOn(PopupEvent::kPressOutside)) Close();
            return 0;
        }
        int index = ComboPopupRowAt(UnscaleForDpi(pt.y, Dpi()), owner_.ItemHeight(), top_,
                                    owner_.ItemCount(), VisibleRows());
        if (index != ComboBoxModel::kNone && PopupClosesOn(PopupEvent::kItemChosen)) Choose(index);
        return 0;
    }
    case WM_MOUSEMOVE: {
        int index = ComboPopupRowAt(UnscaleForDpi(GET_Y_LPARAM(lp), Dpi()), owner_.ItemHeight(),
                                    top_, owner_.ItemCount(), VisibleRows());
        if (index != ComboBoxModel::kNone && index != hotRow_) {
            hotRow_ = index;
            InvalidateRect(Window(), nullptr, FALSE);
        }
        return 0;
    }
    case WM_MOUSEWHEEL: {
        int steps = GET_WHEEL_DELTA_WPARAM(wp) / WHEEL_DELTA;
        top_ = ClampComboTopIndex(top_ - 3 * steps, owner_.ItemCount(), VisibleRows());
        InvalidateRect(Window(), nullptr, FALSE);
        return 0;
    }
    case WM_KEYDOWN:
        if (wp == VK_ESCAPE && PopupClosesOn(PopupEvent::kEscape)) Close();
        return 0;
    case WM_CAPTURECHANGED:
        // Another window took the mouse: nothing would route a press to us any more.
        if (open_ && reinterpret_cast<HWND>(lp) != Window() &&
            PopupClosesOn(PopupEvent::kCaptureLost))
            Close();
        return 0;
    case WM_ACTIVATEAPP:
        if (!wp) Close();
        break;
    default:
        break;
    }
    return TclCustomFrame::HandleMessage(msg, wp, lp);
}

// ---- TclStdComboBox ----

TclStdComboBox::TclStdComboBox(std::string name, const char* className)
    : TclCustomControl(className, std::move(name)) {
    SetCursor(CursorKind::kArrow);
}

TclStdComboBox::~TclStdComboBox() {
    if (popup_) popup_->Close();
}

void TclStdComboBox::AddItem(std::u16string text, std::uint64_t data) {
    model_.Add(std::move(text), data);
    Invalidate();
}

bool TclStdComboBox::RemoveItemByData(std::uint64_t data) {
    bool changed = model_.RemoveByData(data);
    if (popup_ && popup_->IsOpen()) popup_->Close(); // its rows no longer match
    Invalidate();
    return changed;
}

void TclStdComboBox::Clear() {
    model_.Clear();
    if (popup_) popup_->Close();
    Invalidate();
}

bool TclStdComboBox::SelectIndex(int index) {
    bool ok = model_.Select(index);
    Invalidate();
    return ok;
}

void TclStdComboBox::SetColours(Rgb background, Rgb border, Rgb text) {
    back_ = background;
    border_ = border;
    text_ = text;
    Invalidate();
}

void TclStdComboBox::SetFont(const FontSpec& f) {
    font_ = f;
    Invalidate();
}

bool TclStdComboBox::HitTest(Point p) const {
    return Visible() && Bounds().Contains(p);
}

void TclStdComboBox::LeftUp(Point p) {
    if (Bounds().Contains(p)) OpenPopup();
}

bool TclStdComboBox::OpenPopup() {
    if (!Enabled() || model_.Count() == 0 || !Parent() || !Parent()->Window()) return false;
    int dpi = Parent()->Dpi();
    Rect d = ScaleRect(Bounds(), dpi);
    POINT origin{d.left, d.top};
    ClientToScreen(Parent()->Window(), &origin);
    Rect onScreen{UnscaleForDpi(origin.x, dpi), UnscaleForDpi(origin.y, dpi), Bounds().width,
                  Bounds().height};
    auto r = ComboPopupRect(onScreen, model_.Count(), maxVisible_, ItemHeight());
    if (!r) return false;
    if (!popup_) popup_ = std::make_unique<TclPopupFormHandler>(*this, Name() + ".popup");
    popup_->SetDpi(dpi);
    return popup_->ShowAt(*r, Parent()->Window());
}

void TclStdComboBox::Chosen(int index) {
    model_.Select(index);
    Invalidate();
    if (onChange_) onChange_(*this);
}

void TclStdComboBox::Paint(HDC dc, int dpi) {
    Rect b = Bounds();
    RECT r = ToRect(ScaleRect(b, dpi));
    FillSolid(dc, r, back_);
    Outline(dc, r, border_, ScaleForDpi(1, dpi));
    RECT text = ToRect(ScaleRect(ComboCaptionRect(b), dpi));
    if (!dropDown_.empty()) text.right = ScaleRect(ComboDropDownRect(b), dpi).left;
    TextLine(dc, model_.SelectedText(), text, font_, dpi, Enabled() ? text_ : 0x9F9F9F, DT_LEFT);
    if (!dropDown_.empty()) {
        if (auto pic = PictureForDpi(dropDown_, dpi))
            DrawPicture(dc, *pic, ToRect(ScaleRect(ComboDropDownRect(b), dpi)));
    }
}

void TclStdComboBox::Describe(ControlInfo& info) const {
    TclCustomControl::Describe(info);
    info.text = Utf16ToUtf8(model_.SelectedText());
    info.picture = dropDown_;
    info.font = font_;
    info.textColour = text_;
    info.backColour = back_;
    info.borderColour = border_;
}

TclMainComboBox::TclMainComboBox(std::string name)
    : TclStdComboBox(std::move(name), "TclMainComboBox") {
    SetBounds({0, 0, 440, kMainComboHeight});
    SetColours(kWhite, kMainComboBorder, kMainComboText);
    SetFont(FontSpec{u"Arial", kMainComboTextPx, false, kCharsetDefault});
    SetDropDownPicture("IMG_COMBO_DOWN");
    SetMaxVisibleItems(kComboMaxVisibleMain);
}

// ---- TclVertScrollBox ----

TclVertScrollBox::TclVertScrollBox(std::string name) : panel_(std::move(name)) {}

TclVertScrollBox::~TclVertScrollBox() {
    if (bar_) {
        SetWindowLongPtrW(bar_, GWLP_USERDATA, 0);
        DestroyWindow(bar_);
    }
}

bool TclVertScrollBox::Create(TclCustomFrame& parent, const Rect& viewport) {
    if (!parent.Window()) return false;
    viewport_ = viewport;
    int dpi = parent.Dpi();
    // The system's bar at the system's width, in layout pixels.
    barWidth_ = UnscaleForDpi(GetSystemMetrics(SM_CXVSCROLL), dpi);
    Rect barRect{viewport.Right() - barWidth_, viewport.top, barWidth_, viewport.height};
    Rect d = ScaleRect(barRect, dpi);
    bar_ = CreateWindowExW(0, L"SCROLLBAR", L"", WS_CHILD | SBS_VERT, d.left, d.top, d.width,
                           d.height, parent.Window(), nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!bar_) return false;
    SetWindowLongPtrW(bar_, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(static_cast<ScrollBarOwner*>(this)));
    model_.SetViewport(viewport.top, viewport.height);
    if (!panel_.CreateChild(
            parent, {viewport.left, viewport.top, viewport.width - barWidth_, viewport.height}))
        return false;
    panel_.SetOnWheel([this](int delta) {
        ScrollTo(model_.Position() - delta * 48 / WHEEL_DELTA);
        return true;
    });
    Apply();
    return true;
}

void TclVertScrollBox::Apply() {
    panel_.SetBounds(
        {viewport_.left, model_.PanelTop(), viewport_.width - barWidth_, model_.PanelHeight()});
    if (!bar_) return;
    SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 0, 0, 0, 0};
    si.nMax = model_.Range() + viewport_.height - 1;
    si.nPage = static_cast<UINT>(std::max(viewport_.height, 0));
    si.nPos = model_.Position();
    SetScrollInfo(bar_, SB_CTL, &si, TRUE);
    ShowWindow(bar_, model_.BarVisible() ? SW_SHOWNA : SW_HIDE);
}

void TclVertScrollBox::SetRange(int range) {
    model_.SetRange(range);
    Apply();
}

void TclVertScrollBox::ShowBar(bool shown) {
    model_.SetBarRequested(shown);
    Apply();
}

void TclVertScrollBox::ScrollTo(int position) {
    model_.ScrollTo(position);
    Apply();
}

void TclVertScrollBox::ScrollIntoView(int itemTop, int itemHeight) {
    model_.ScrollIntoView(itemTop, itemHeight);
    Apply();
}

void TclVertScrollBox::SetVisible(bool visible) {
    model_.SetBoxVisible(visible);
    panel_.SetVisible(visible);
    Apply();
}

void TclVertScrollBox::OnScroll(int code) {
    int pos = model_.Position();
    switch (code) {
    case SB_LINEUP:
        pos -= 20;
        break;
    case SB_LINEDOWN:
        pos += 20;
        break;
    case SB_PAGEUP:
        pos -= viewport_.height;
        break;
    case SB_PAGEDOWN:
        pos += viewport_.height;
        break;
    case SB_TOP:
        pos = 0;
        break;
    case SB_BOTTOM:
        pos = model_.Range();
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        SCROLLINFO si{sizeof si, SIF_TRACKPOS, 0, 0, 0, 0, 0};
        if (GetScrollInfo(bar_, SB_CTL, &si)) pos = si.nTrackPos;
        break;
    }
    default:
        return;
    }
    ScrollTo(pos);
}

// ---- TclStdProgressBar ----

void TclStdProgressBar::SetPercent(double p) {
    percent_ = ClampPercent(p);
    Invalidate();
}

void TclStdProgressBar::SetColours(Rgb outline, Rgb fill, Rgb label) {
    outline_ = outline;
    fill_ = fill;
    label_ = label;
    Invalidate();
}

void TclStdProgressBar::Paint(HDC dc, int dpi) {
    ProgressBarLayout l = LayOutProgressBar(Bounds(), percent_);
    if (l.outline.Empty()) return;
    Outline(dc, ToRect(ScaleRect(l.outline, dpi)), outline_, ScaleForDpi(1, dpi));
    if (!l.fill.Empty()) FillSolid(dc, ToRect(ScaleRect(l.fill, dpi)), fill_);
    TextLine(dc, ProgressBarText(percent_), ToRect(ScaleRect(l.outline, dpi)),
             FontSpec{u"Arial", 12, false, kCharsetDefault}, dpi, label_, DT_CENTER);
}

void TclStdProgressBar::Describe(ControlInfo& info) const {
    TclCustomControl::Describe(info);
    info.text = Utf16ToUtf8(ProgressBarText(percent_));
    info.borderColour = outline_;
    info.backColour = fill_;
    info.textColour = label_;
}

} // namespace tvd
