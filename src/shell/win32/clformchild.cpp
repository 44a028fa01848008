#include "shell/win32/clformchild.h"

#include <commctrl.h>

#include <algorithm>
#include <map>

#include "foundation/textconvutil.h"
#include "shell/controls/dpiscale.h"
#include "shell/mainpagesutil.h"
#include "shell/singleinstanceutil.h"
#include "shell/win32/frmmain.h"
#include "shell/win32/tapplicationutil.h"

namespace tvd::win {

namespace {

constexpr tvd::Rgb kChildBack = 0xF0F0F0;
constexpr int kOutlineRadius = 10;
constexpr int kRegionCorner = 20;
constexpr int kCloseSize = 16;
constexpr int kCloseTop = 8;
constexpr int kCloseFromRight = 32;
constexpr int kListFontPoints = 11;
// Longest cell the dump reads back: a 256-byte NVMe text field with room to spare.
constexpr int kListCellMax = 1100;

// Open windows, innermost last; and every built window by its handle (the dump's lister has no
// context of its own). Never freed: windows held in statics go at exit, in any order.
std::vector<clFormChild*>& OpenStack() {
    static auto* stack = new std::vector<clFormChild*>;
    return *stack;
}
std::map<HWND, clFormChild*>& Built() {
    static auto* built = new std::map<HWND, clFormChild*>;
    return *built;
}

// Draws the visible child windows of `parent` (and theirs) into `dc`, each clipped to its own
// place; Wine's WM_PRINT does not walk the children itself.
void PrintChildren(HDC dc, HWND parent, HWND top) {
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (!IsWindowVisible(c)) continue;
        RECT r{};
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&r), 2);
        const int saved = SaveDC(dc);
        IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
        SetViewportOrgEx(dc, r.left, r.top, nullptr);
        SendMessageW(c, WM_PRINT, reinterpret_cast<WPARAM>(dc),
                     PRF_CLIENT | PRF_NONCLIENT | PRF_ERASEBKGND);
        RestoreDC(dc, saved);
        PrintChildren(dc, c, top);
    }
}

// The frame that also answers a print request (the test mode's captures), with its child windows
// (list views) drawn over it where they sit.
class ChildFrame final : public TclCustomFrame {
public:
    explicit ChildFrame(std::string name) : TclCustomFrame(std::move(name)) {}

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg != WM_PRINTCLIENT) return TclCustomFrame::HandleMessage(msg, wp, lp);
        HDC dc = reinterpret_cast<HDC>(wp);
        PaintTo(dc);
        PrintChildren(dc, Window(), Window());
        return 0;
    }
};

std::int64_t Colour(const std::optional<tvd::Rgb>& c) {
    return c ? static_cast<std::int64_t>(*c) : -1;
}

} // namespace

clFormChild::clFormChild(std::string name) : name_(std::move(name)) {}

clFormChild::~clFormChild() {
    for (HWND v : listViews_)
        if (IsWindow(v)) RemovePropW(v, L"TvdName");
    if (HWND w = Window()) {
        UnregisterControlLister(w);
        Built().erase(w);
    }
    auto& stack = OpenStack();
    stack.erase(std::remove(stack.begin(), stack.end(), this), stack.end());
    // The views go with the window; their font only after them.
    frame_.reset();
    if (listFont_) DeleteObject(listFont_);
}

HWND clFormChild::AddListView(const char* name, const tvd::Rect& rect,
                              std::span<const ListColumn> columns) {
    if (!frame_ || !Window()) return nullptr;
    if (!listFont_)
        listFont_ =
            CreateFontW(-Scaled(FontHeightFromPoints(kListFontPoints)), 0, 0, 0, FW_NORMAL, FALSE,
                        FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                        CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
    const tvd::Rect d = ScaleRect(rect, frame_->Dpi());
    HWND v = CreateWindowExW(
        0, WC_LISTVIEWW, L"",
        WS_CHILD | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, d.left,
        d.top, d.width, d.height, Window(), nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!v) return nullptr;
    listViews_.push_back(v);
    SetPropW(v, L"TvdName", const_cast<char*>(name));
    SendMessageW(v, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT,
                 LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    if (listFont_) SendMessageW(v, WM_SETFONT, reinterpret_cast<WPARAM>(listFont_), FALSE);
    int i = 0;
    for (const ListColumn& c : columns) {
        std::wstring title(c.title.begin(), c.title.end());
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.pszText = title.data();
        col.cx = Scaled(c.width);
        SendMessageW(v, LVM_INSERTCOLUMNW, i++, reinterpret_cast<LPARAM>(&col));
    }
    return v;
}

void clFormChild::FillListView(HWND view, const std::vector<ListRow>& rows) {
    if (!view) return;
    SendMessageW(view, WM_SETREDRAW, FALSE, 0);
    SendMessageW(view, LVM_DELETEALLITEMS, 0, 0);
    int index = 0;
    for (const ListRow& r : rows) {
        if (r.empty()) continue;
        std::wstring text(r[0].begin(), r[0].end());
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = index;
        item.pszText = text.data();
        const int at = static_cast<int>(
            SendMessageW(view, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        if (at < 0) break;
        for (std::size_t c = 1; c < r.size(); ++c) {
            std::wstring cell(r[c].begin(), r[c].end());
            LVITEMW sub{};
            sub.iSubItem = static_cast<int>(c);
            sub.pszText = cell.data();
            SendMessageW(view, LVM_SETITEMTEXTW, at, reinterpret_cast<LPARAM>(&sub));
        }
        ++index;
    }
    SendMessageW(view, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(view, nullptr, TRUE);
}

void clFormChild::DescribeListView(std::vector<ControlInfo>& out, HWND view,
                                   const std::string& name) {
    if (!view) return;
    const bool visible = IsWindowVisible(view) != FALSE;
    HWND header = reinterpret_cast<HWND>(SendMessageW(view, LVM_GETHEADER, 0, 0));
    const int columns = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    for (int c = 0; c < columns; ++c) {
        wchar_t text[64] = {};
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.pszText = text;
        col.cchTextMax = 64;
        SendMessageW(view, LVM_GETCOLUMNW, c, reinterpret_cast<LPARAM>(&col));
        ControlInfo i;
        i.name = name + ".column." + std::to_string(c);
        i.cls = "ListViewColumn";
        i.rect = {0, 0, col.cx, 0};
        i.text = reinterpret_cast<const char16_t*>(text);
        i.visible = visible;
        out.push_back(std::move(i));
    }
    const int count = static_cast<int>(SendMessageW(view, LVM_GETITEMCOUNT, 0, 0));
    std::vector<wchar_t> text(kListCellMax);
    for (int r = 0; r < count; ++r) {
        ControlInfo i;
        i.name = name + ".row." + std::to_string(r);
        i.cls = "ListViewRow";
        for (int c = 0; c < columns; ++c) {
            std::fill(text.begin(), text.end(), L'\0');
            LVITEMW item{};
            item.iSubItem = c;
            item.pszText = text.data();
            item.cchTextMax = kListCellMax;
            SendMessageW(view, LVM_GETITEMTEXTW, r, reinterpret_cast<LPARAM>(&item));
            if (c) i.text += u'\t';
            i.text += reinterpret_cast<const char16_t*>(text.data());
        }
        i.visible = visible;
        out.push_back(std::move(i));
    }
}

int clFormChild::Scaled(int layoutPx) const {
    return ScaleForDpi(layoutPx, frame_ ? frame_->Dpi() : 96);
}

bool clFormChild::Create(int clientWidth, int clientHeight) {
    if (frame_ || clientWidth <= 0 || clientHeight <= 0) return false;
    width_ = clientWidth;
    height_ = clientHeight;
    auto frame = std::make_unique<ChildFrame>(name_);
    frame->SetDpi(Dpi());
    frame->SetBackColour(kChildBack);
    const std::u16string caption = kMainWindowCaption;
    if (!frame->CreateTopLevel({0, 0, clientWidth, clientHeight},
                               std::wstring(caption.begin(), caption.end()), 0, WS_EX_TOPMOST,
                               MainWindow()))
        return false;
    frame_ = std::move(frame);

    TclRectangle* outline = frame_->Add<TclRectangle>("Outline");
    outline->SetBounds({0, 0, clientWidth, clientHeight});
    outline->SetPen(1, kBlack);
    outline->SetFill(std::nullopt);
    outline->SetCornerRadius(kOutlineRadius);
    // The drag area lies behind everything that takes the mouse.
    frame_->Add<TclFormMove>("FormMove")->SetBounds({0, 0, clientWidth, clientHeight});
    if (!BuildContents()) {
        DestroyWindow(frame_->Window());
        frame_.reset();
        return false;
    }
    TclImageButton* close = frame_->Add<TclImageButton>("CloseButton");
    close->SetBounds({clientWidth - kCloseFromRight, kCloseTop, kCloseSize, kCloseSize});
    close->SetPictures({"IMG_BTN_CLOSE", "IMG_BTN_CLOSE", "IMG_BTN_CLOSE", "IMG_BTN_CLOSE"});
    close->SetOnClick([this](TclCustomControl&) { Close(); });

    const int right = Scaled(clientWidth + 2), bottom = Scaled(clientHeight + 2);
    const int corner = Scaled(kRegionCorner);
    HRGN rgn = CreateRoundRectRgn(0, 0, right, bottom, corner, corner);
    if (rgn && !SetWindowRgn(frame_->Window(), rgn, FALSE)) DeleteObject(rgn);

    Built()[frame_->Window()] = this;
    RegisterControlLister(frame_->Window(), &clFormChild::ListControls);
    return true;
}

void clFormChild::ShowFor(clFunDisk* disk) {
    if (!Created() || open_ || !disk || disk->Detached()) return;
    disk_.Reset(disk);
    done_ = false;
    open_ = true;
    OpenStack().push_back(this);
    HWND w = Window();
    HWND owner = MainWindow();
    CentreWindow(w, owner && IsWindowVisible(owner) ? owner : nullptr);
    {
        NestedLoopScope loop(Shell());
        if (owner) EnableWindow(owner, FALSE);
        ShowWindow(w, SW_SHOW);
        SetForegroundWindow(w);
        HeaderHook();
        ContentsHook();
        RunModal();
        ShowWindow(w, SW_HIDE);
        if (owner) {
            EnableWindow(owner, TRUE);
            SetForegroundWindow(owner);
        }
    }
    auto& stack = OpenStack();
    stack.erase(std::remove(stack.begin(), stack.end(), this), stack.end());
    open_ = false;
    disk_.Reset();
}

void clFormChild::RunModal() {
    MSG msg;
    // The main window's tick runs on: it may remove the disk, and then the window closes.
    while (!done_ && disk_ && !disk_->Detached()) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got < 0) break;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void clFormChild::Close() {
    done_ = true;
    disk_.Reset();
    // Wakes the modal loop when the close came from outside a message.
    if (HWND w = Window()) PostMessageW(w, WM_NULL, 0, 0);
}

void clFormChild::DiskRemoved(clFunDisk* disk) {
    if (!disk) return;
    const std::vector<clFormChild*> open = OpenStack();
    for (clFormChild* f : open)
        if (f->disk_.Get() == disk) f->Close();
}

clFormChild* clFormChild::OpenWindow() {
    return OpenStack().empty() ? nullptr : OpenStack().back();
}

std::vector<ControlInfo> clFormChild::ListControls(HWND window) {
    std::vector<ControlInfo> out;
    auto it = Built().find(window);
    if (it == Built().end() || !it->second->frame_) return out;
    const clFormChild& f = *it->second;
    const int dpi = f.frame_->Dpi();
    const bool shown = IsWindowVisible(window) != FALSE;
    f.frame_->ForEachControl([&](const tvd::ControlInfo& c) {
        ControlInfo i;
        i.name = c.name;
        i.cls = c.className;
        const Rect d = ScaleRect(c.rect, dpi);
        i.rect = {d.left, d.top, d.left + d.width, d.top + d.height};
        i.text = Utf8ToUtf16(c.text);
        i.picture = c.picture;
        if (c.font) {
            i.fontFace = c.font->face;
            i.fontHeight = ScaleForDpi(c.font->heightPx, dpi);
            i.fontWeight = c.font->bold ? FW_BOLD : FW_NORMAL;
        }
        i.textColor = Colour(c.textColour);
        i.backColor = Colour(c.backColour);
        i.visible = shown && c.visible;
        i.enabled = c.enabled;
        out.push_back(std::move(i));
    });
    f.DescribeExtra(out);
    return out;
}

} // namespace tvd::win
