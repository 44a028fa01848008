#include "shell/win32/formsmartwin.h"

#include <commctrl.h>

#include <memory>
#include <string>

#include "shell/controls/dpiscale.h"
#include "shell/formsmartutil.h"
#include "shell/languagetables.h"
#include "shell/win32/tapplicationutil.h"

namespace tvd::win {

namespace {

constexpr int kClientWidth = 646;
constexpr int kClientHeight = 444;
constexpr tvd::Rect kHeaderRect{15, 40, 616, 58};
constexpr tvd::Rect kViewRect{15, 98, 616, 336};
constexpr tvd::Rgb kHeaderBack = 0x0175E9;

class clFormSmart final : public clFormChild {
public:
    clFormSmart() : clFormChild("FormSmart") {}
    ~clFormSmart() override {
        if (font_) DeleteObject(font_);
    }

protected:
    bool BuildContents() override {
        header_ = Frame()->Add<TclLabel>("Header");
        header_->SetBounds(kHeaderRect);
        header_->SetBackColour(kHeaderBack);
        header_->SetColour(kWhite);
        header_->SetWordWrap(true);
        font_ = CreateFontW(-Scaled(FontHeightFromPoints(11)), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                            FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                            CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
        ata_ = MakeView("SmartAtaView", SmartAtaColumns());
        nvme_ = MakeView("SmartNvmeView", SmartNvmeColumns());
        return ata_ && nvme_;
    }

    void HeaderHook() override {
        const UiFontChoice ui = UiFont();
        header_->SetFont(FontSpec{ui.faceName.empty() ? u"Segoe UI" : ui.faceName,
                                  FontHeightFromPoints(14), false, ui.charset});
        contents_ = BuildSmartWindowContents(Disk(), UiMessageLookup());
        header_->SetText(contents_.header);
    }

    // Once per opening: the rows are what the monitor held when the window opened.
    void ContentsHook() override {
        ShowWindow(ata_, SW_HIDE);
        ShowWindow(nvme_, SW_HIDE);
        if (contents_.kind != SmartViewKind::kNone) {
            SendMessageW(ata_, LVM_DELETEALLITEMS, 0, 0);
            SendMessageW(nvme_, LVM_DELETEALLITEMS, 0, 0);
            HWND view = contents_.kind == SmartViewKind::kNvme ? nvme_ : ata_;
            Fill(view, contents_.rows);
            ShowWindow(view, SW_SHOWNA);
        }
        CloseHandles(Disk());
        PumpMessages();
    }

private:
    HWND MakeView(const char* name, const std::vector<SmartColumn>& columns) {
        const tvd::Rect d = ScaleRect(kViewRect, Frame()->Dpi());
        HWND v = CreateWindowExW(0, WC_LISTVIEWW, L"",
                                 WS_CHILD | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL |
                                     LVS_SHOWSELALWAYS,
                                 d.left, d.top, d.width, d.height, Window(), nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        if (!v) return nullptr;
        SetPropW(v, L"TvdName", const_cast<char*>(name));
        SendMessageW(v, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT,
                     LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
        if (font_) SendMessageW(v, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        int i = 0;
        for (const SmartColumn& c : columns) {
            std::wstring title(c.header, c.header + std::char_traits<char16_t>::length(c.header));
            LVCOLUMNW col{};
            col.mask = LVCF_TEXT | LVCF_WIDTH;
            col.pszText = title.data();
            col.cx = Scaled(c.width);
            SendMessageW(v, LVM_INSERTCOLUMNW, i++, reinterpret_cast<LPARAM>(&col));
        }
        return v;
    }

    static void Fill(HWND view, const std::vector<SmartRow>& rows) {
        SendMessageW(view, WM_SETREDRAW, FALSE, 0);
        int index = 0;
        for (const SmartRow& r : rows) {
            for (std::size_t col = 0; col < r.size(); ++col) {
                std::wstring text(r[col].begin(), r[col].end());
                LVITEMW item{};
                item.mask = LVIF_TEXT;
                item.iItem = index;
                item.iSubItem = static_cast<int>(col);
                item.pszText = text.data();
                SendMessageW(view, col == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW,
                             col == 0 ? 0 : index, reinterpret_cast<LPARAM>(&item));
            }
            ++index;
        }
        SendMessageW(view, WM_SETREDRAW, TRUE, 0);
    }

    TclLabel* header_ = nullptr;
    HWND ata_ = nullptr, nvme_ = nullptr;
    HFONT font_ = nullptr;
    SmartWindowContents contents_;
};

std::unique_ptr<clFormSmart>& Instance() {
    static auto* form = new std::unique_ptr<clFormSmart>;
    return *form;
}

} // namespace

bool BuildSmartWindow() {
    if (Instance()) return true;
    auto form = std::make_unique<clFormSmart>();
    if (!form->Create(kClientWidth, kClientHeight)) return false;
    Instance() = std::move(form);
    return true;
}

void ShowSmartWindow(clFunDisk* disk) {
    if (Instance()) Instance()->ShowFor(disk);
}

clFormChild* SmartWindow() {
    return Instance().get();
}

} // namespace tvd::win
