#include "shell/win32/frmdrivedetail.h"

#include <commctrl.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "foundation/textconvutil.h"
#include "shell/controls/dpiscale.h"
#include "shell/drivedetailutil.h"
#include "shell/formattext.h"
#include "shell/languagetables.h"
#include "shell/win32/frmmain.h"
#include "shell/win32/tapplicationutil.h"
#include "storage/clata.h"
#include "storage/clnvme.h"
#include "storage/commandtypes.h"

namespace tvd::win {

namespace {

constexpr int kClientWidth = 646;
constexpr int kClientHeight = 444;
constexpr tvd::Rect kHeaderRect{15, 40, 616, 58};
constexpr tvd::Rect kViewRect{15, 98, 616, 336};
constexpr tvd::Rgb kHeaderBack = 0x0175E9;
constexpr int kMsgDriveDetails = 21108;

struct Column {
    const wchar_t* title;
    int width;
};
constexpr std::array<Column, 3> kAtaColumns{
    {{L"Word", 80}, {L"Value", 260}, {L"Description", 250}}};
constexpr std::array<Column, 4> kNvmeColumns{
    {{L"Byte", 80}, {L"Name", 100}, {L"Value", 290}, {L"Description", 120}}};

const wchar_t* W(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

// Drive texts are narrow, in the system's code page.
std::u16string FromDrive(std::string_view s) {
    return CodePageToUtf16(s, kCodePageAnsi);
}

class clFormDriveDetail final : public clFormChild {
public:
    clFormDriveDetail() : clFormChild("FormDriveDetail") {}
    ~clFormDriveDetail() override {
        for (HWND v : {ata_, nvme_})
            if (v && IsWindow(v)) RemovePropW(v, L"TvdName");
        if (font_) DeleteObject(font_);
    }

protected:
    bool BuildContents() override {
        header_ = Frame()->Add<TclLabel>("Header");
        header_->SetBounds(kHeaderRect);
        header_->SetBackColour(kHeaderBack);
        header_->SetColour(kWhite);
        header_->SetWordWrap(true);
        const UiFontChoice ui = UiFont();
        header_->SetFont(FontSpec{ui.faceName, FontHeightFromPoints(14), false, ui.charset});
        font_ = CreateFontW(-Scaled(FontHeightFromPoints(11)), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                            FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                            CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
        ata_ = MakeView("AtaView", kAtaColumns.data(), kAtaColumns.size());
        nvme_ = MakeView("NvmeView", kNvmeColumns.data(), kNvmeColumns.size());
        return ata_ && nvme_;
    }

    void HeaderHook() override {
        const UiFontChoice ui = UiFont();
        header_->SetFont(FontSpec{ui.faceName, FontHeightFromPoints(14), false, ui.charset});
        const std::string* model = GetModel(Disk());
        header_->SetText(FormatText(u"%s:\n%s", {MessageText(kMsgDriveDetails).value_or(u""),
                                                 FromDrive(model ? *model : std::string())}));
    }

    void ContentsHook() override {
        ShowWindow(ata_, SW_HIDE);
        ShowWindow(nvme_, SW_HIDE);
        clFunDisk* disk = Disk();
        if (disk && disk->nvme) {
            SendMessageW(nvme_, LVM_DELETEALLITEMS, 0, 0);
            const ByteView ctrl = disk->nvme->GetController();
            if (!ctrl.empty()) {
                Fill(nvme_, BuildNvmeDetailRows(ctrl), true);
                ShowWindow(nvme_, SW_SHOWNA);
            }
        } else if (disk && disk->ata) {
            SendMessageW(ata_, LVM_DELETEALLITEMS, 0, 0);
            // A fresh command on every opening: the drive may have changed its settings.
            std::array<std::uint8_t, kAtaIdentifySize> id{};
            if (disk->ata->Identify(id)) {
                Fill(ata_, BuildAtaDetailRows(id), false);
                ShowWindow(ata_, SW_SHOWNA);
            }
        }
        CloseHandles(disk);
        PumpMessages();
    }

    void DescribeExtra(std::vector<ControlInfo>& out) const override {
        Rows(out, ata_, "AtaView");
        Rows(out, nvme_, "NvmeView");
    }

private:
    HWND MakeView(const char* name, const Column* columns, std::size_t count) {
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
        for (std::size_t i = 0; i < count; ++i) {
            LVCOLUMNW c{};
            c.mask = LVCF_TEXT | LVCF_WIDTH;
            c.pszText = const_cast<wchar_t*>(columns[i].title);
            c.cx = Scaled(columns[i].width);
            SendMessageW(v, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&c));
        }
        return v;
    }

    static void Fill(HWND view, const std::vector<DetailRow>& rows, bool nvme) {
        SendMessageW(view, WM_SETREDRAW, FALSE, 0);
        int index = 0;
        for (const DetailRow& r : rows) {
            std::vector<std::u16string> cells{FromDrive(r.position)};
            if (nvme) cells.push_back(FromDrive(r.name));
            cells.push_back(FromDrive(r.value));
            cells.emplace_back(r.description);
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = index;
            item.pszText = const_cast<wchar_t*>(W(cells[0]));
            const int at = static_cast<int>(
                SendMessageW(view, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
            if (at < 0) break;
            for (std::size_t c = 1; c < cells.size(); ++c) {
                LVITEMW sub{};
                sub.iSubItem = static_cast<int>(c);
                sub.pszText = const_cast<wchar_t*>(W(cells[c]));
                SendMessageW(view, LVM_SETITEMTEXTW, at, reinterpret_cast<LPARAM>(&sub));
            }
            ++index;
        }
        SendMessageW(view, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(view, nullptr, TRUE);
    }

    // The columns and rows as the control holds them, for the test dump.
    static void Rows(std::vector<ControlInfo>& out, HWND view, const std::string& name) {
        if (!view) return;
        const bool visible = IsWindowVisible(view) != FALSE;
        HWND header = reinterpret_cast<HWND>(SendMessageW(view, LVM_GETHEADER, 0, 0));
        const int columns =
            header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
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
        for (int r = 0; r < count; ++r) {
            ControlInfo i;
            i.name = name + ".row." + std::to_string(r);
            i.cls = "ListViewRow";
            for (int c = 0; c < columns; ++c) {
                wchar_t text[1100] = {};
                LVITEMW item{};
                item.iSubItem = c;
                item.pszText = text;
                item.cchTextMax = 1100;
                SendMessageW(view, LVM_GETITEMTEXTW, r, reinterpret_cast<LPARAM>(&item));
                if (c) i.text += u'\t';
                i.text += reinterpret_cast<const char16_t*>(text);
            }
            i.visible = visible;
            out.push_back(std::move(i));
        }
    }

    TclLabel* header_ = nullptr;
    HWND ata_ = nullptr;
    HWND nvme_ = nullptr;
    HFONT font_ = nullptr;
};

std::unique_ptr<clFormDriveDetail>& Instance() {
    static std::unique_ptr<clFormDriveDetail> form;
    return form;
}

} // namespace

bool BuildDriveDetailWindow() {
    if (Instance()) return true;
    auto form = std::make_unique<clFormDriveDetail>();
    if (!form->Create(kClientWidth, kClientHeight)) return false;
    Instance() = std::move(form);
    return true;
}

void ShowDriveDetailsWindow(clFunDisk* disk) {
    if (clFormDriveDetail* f = Instance().get()) f->ShowFor(disk);
}

clFormChild* DriveDetailWindow() {
    return Instance().get();
}

} // namespace tvd::win
