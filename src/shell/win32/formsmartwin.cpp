#include "shell/win32/formsmartwin.h"

#include <commctrl.h>

#include <memory>
#include <string>

#include "shell/controls/dpiscale.h"
#include "shell/controls/win32/wincontrols.h"
#include "shell/controls/win32/winpicture.h"
#include "shell/formsmartutil.h"
#include "shell/languagetables.h"
#include "shell/mainpagesutil.h"
#include "shell/win32/frmmain.h"
#include "shell/win32/mainuitestutil.h"

namespace tvd::win {

namespace {

constexpr int kClientWidth = 646;
constexpr int kClientHeight = 444;
constexpr Rect kViewRect{15, 98, 616, 336};

std::vector<ControlInfo> NoOwnControls(HWND) {
    return {}; // the dump walks the window's frame and list views itself
}

// A borderless, stay-on-top, rounded window with an outline, a drag area and a close button.
class SmartForm final : public TclCustomFrame {
public:
    SmartForm() : TclCustomFrame("FormSmart", "clFormSmart") {}
    ~SmartForm() override {
        if (font_) DeleteObject(font_);
    }

    bool Build(clFunDisk* disk) {
        disk_.Reset(disk);
        HWND main = MainWindow();
        RECT mr{};
        if (main) GetWindowRect(main, &mr);
        const int w = Px(kClientWidth), h = Px(kClientHeight);
        const int dpi = Dpi();
        // Centred over the main window (integer halves), in layout pixels for the frame.
        const int left = mr.left + ((mr.right - mr.left) - w) / 2;
        const int top = mr.top + ((mr.bottom - mr.top) - h) / 2;
        SetDpi(dpi);
        if (!CreateTopLevel(
                {UnscaleForDpi(left, dpi), UnscaleForDpi(top, dpi), kClientWidth, kClientHeight},
                L"Tarvik", 0, WS_EX_TOPMOST | WS_EX_TOOLWINDOW, main))
            return false;
        SetWindowPos(Window(), nullptr, left, top, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
        SetBackColour(0xF0F0F0);
        Add<TclFormMove>("FormSmart.Move")->SetBounds({0, 0, kClientWidth, kClientHeight});
        auto* outline = Add<TclRectangle>("FormSmart.Outline");
        outline->SetBounds({0, 0, kClientWidth, kClientHeight});
        outline->SetPen(1, kBlack);
        outline->SetFill(std::nullopt);
        outline->SetCornerRadius(10);
        header_ = Add<TclLabel>("FormSmart.Header");
        header_->SetBounds({15, 40, 616, 58});
        header_->SetBackColour(0x0175E9);
        header_->SetColour(kWhite);
        header_->SetWordWrap(true);
        const UiFontChoice ui = UiFont();
        header_->SetFont(FontSpec{ui.faceName.empty() ? u"Segoe UI" : ui.faceName,
                                  FontHeightFromPoints(14), false, ui.charset});
        auto* close = Add<TclImageButton>("FormSmart.CloseButton");
        close->SetBounds({kClientWidth - 32, 8, 16, 16});
        close->SetPictures({"IMG_BTN_CLOSE", "", "", ""});
        close->SetOnClick([this](TclCustomControl&) { Close(); });
        // The region reaches one pixel past the outline on the right and bottom.
        HRGN rgn = CreateRoundRectRgn(0, 0, w + 2, h + 2, Px(20), Px(20));
        if (rgn && !SetWindowRgn(Window(), rgn, FALSE)) DeleteObject(rgn);
        font_ = CreateFontW(-Px(FontHeightFromPoints(11)), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                            DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                            CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
        ata_ = MakeView("FormSmart.AtaView", SmartAtaColumns());
        nvme_ = MakeView("FormSmart.NvmeView", SmartNvmeColumns());
        return ata_ && nvme_;
    }

    // The contents, once per opening.
    void Fill() {
        const SmartWindowContents c = BuildSmartWindowContents(disk_.Get(), UiMessageLookup());
        header_->SetText(c.header);
        ShowWindow(ata_, SW_HIDE);
        ShowWindow(nvme_, SW_HIDE);
        if (c.kind == SmartViewKind::kNone) return;
        HWND view = c.kind == SmartViewKind::kNvme ? nvme_ : ata_;
        ListView_DeleteAllItems(ata_);
        ListView_DeleteAllItems(nvme_);
        int row = 0;
        for (const SmartRow& r : c.rows) {
            for (std::size_t col = 0; col < r.size(); ++col) {
                std::wstring text(r[col].begin(), r[col].end());
                LVITEMW item{};
                item.mask = LVIF_TEXT;
                item.iItem = row;
                item.iSubItem = static_cast<int>(col);
                item.pszText = text.data();
                if (col == 0)
                    SendMessageW(view, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
                else
                    SendMessageW(view, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
            }
            ++row;
        }
        ShowWindow(view, SW_SHOWNA);
    }

    void RunModal() {
        NestedLoopScope loop(Shell());
        HWND main = MainWindow();
        if (main) EnableWindow(main, FALSE);
        RegisterControlLister(Window(), NoOwnControls);
        SetVisible(true);
        SetForegroundWindow(Window());
        Fill();
        MSG msg;
        while (!done_) {
            const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
            if (got == 0) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            if (got < 0) break;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        UnregisterControlLister(Window());
        if (main) {
            EnableWindow(main, TRUE);
            SetForegroundWindow(main);
        }
        SetVisible(false);
        disk_.Reset();
    }

    void Close() {
        done_ = true;
        PostMessageW(Window(), WM_NULL, 0, 0); // wakes the loop
    }
    clFunDisk* Disk() const { return disk_.Get(); }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg == WM_CLOSE) {
            Close();
            return 0;
        }
        return TclCustomFrame::HandleMessage(msg, wp, lp);
    }

private:
    HWND MakeView(const char* name, const std::vector<SmartColumn>& columns) {
        const Rect d = ScaleRect(kViewRect, Dpi());
        HWND v = CreateWindowExW(
            0, WC_LISTVIEWW, L"",
            WS_CHILD | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, d.left, d.top,
            d.width, d.height, Window(), nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!v) return nullptr;
        SetPropW(v, L"TvdName", reinterpret_cast<HANDLE>(const_cast<char*>(name)));
        SendMessageW(v, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
        if (font_) SendMessageW(v, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        int i = 0;
        for (const SmartColumn& c : columns) {
            std::wstring header(c.header, c.header + std::char_traits<char16_t>::length(c.header));
            LVCOLUMNW col{};
            col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
            col.cx = Px(c.width);
            col.pszText = header.data();
            col.iSubItem = i;
            SendMessageW(v, LVM_INSERTCOLUMNW, i++, reinterpret_cast<LPARAM>(&col));
        }
        return v;
    }

    TclLabel* header_ = nullptr;
    HWND ata_ = nullptr, nvme_ = nullptr;
    HFONT font_ = nullptr;
    ZoltRef<clFunDisk> disk_;
    bool done_ = false;
};

SmartForm* g_open = nullptr;

} // namespace

void ShowSmartWindow(clFunDisk* disk) {
    if (!disk || g_open) return;
    auto form = std::make_unique<SmartForm>();
    if (!form->Build(disk)) return;
    g_open = form.get();
    form->RunModal();
    g_open = nullptr;
}

void CloseSmartWindowOf(clFunDisk* disk) {
    if (g_open && disk && g_open->Disk() == disk) g_open->Close();
}

HWND SmartWindow() {
    return g_open ? g_open->Window() : nullptr;
}

} // namespace tvd::win
