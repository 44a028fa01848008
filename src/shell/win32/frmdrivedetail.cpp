#include "shell/win32/frmdrivedetail.h"

#include <commctrl.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "foundation/textconvutil.h"
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

constexpr std::array<ListColumn, 3> kAtaColumns{
    {{u"Word", 80}, {u"Value", 260}, {u"Description", 250}}};
constexpr std::array<ListColumn, 4> kNvmeColumns{
    {{u"Byte", 80}, {u"Name", 100}, {u"Value", 290}, {u"Description", 120}}};

// Drive texts are narrow, in the system's code page.
std::u16string FromDrive(std::string_view s) {
    return CodePageToUtf16(s, kCodePageAnsi);
}

class clFormDriveDetail final : public clFormChild {
public:
    clFormDriveDetail() : clFormChild("FormDriveDetail") {}

protected:
    bool BuildContents() override {
        header_ = Frame()->Add<TclLabel>("Header");
        header_->SetBounds(kHeaderRect);
        header_->SetBackColour(kHeaderBack);
        header_->SetColour(kWhite);
        header_->SetWordWrap(true);
        const UiFontChoice ui = UiFont();
        header_->SetFont(FontSpec{ui.faceName, FontHeightFromPoints(14), false, ui.charset});
        ata_ = AddListView("AtaView", kViewRect, kAtaColumns);
        nvme_ = AddListView("NvmeView", kViewRect, kNvmeColumns);
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
                FillListView(nvme_, Cells(BuildNvmeDetailRows(ctrl), true));
                ShowWindow(nvme_, SW_SHOWNA);
            }
        } else if (disk && disk->ata) {
            SendMessageW(ata_, LVM_DELETEALLITEMS, 0, 0);
            // A fresh command on every opening: the drive may have changed its settings.
            std::array<std::uint8_t, kAtaIdentifySize> id{};
            if (disk->ata->Identify(id)) {
                FillListView(ata_, Cells(BuildAtaDetailRows(id), false));
                ShowWindow(ata_, SW_SHOWNA);
            }
        }
        CloseHandles(disk);
        PumpMessages();
    }

    void DescribeExtra(std::vector<ControlInfo>& out) const override {
        DescribeListView(out, ata_, "AtaView");
        DescribeListView(out, nvme_, "NvmeView");
    }

private:
    // Position, name (NVMe only), value and description of each row.
    static std::vector<ListRow> Cells(const std::vector<DetailRow>& rows, bool nvme) {
        std::vector<ListRow> out;
        out.reserve(rows.size());
        for (const DetailRow& r : rows) {
            ListRow cells{FromDrive(r.position)};
            if (nvme) cells.push_back(FromDrive(r.name));
            cells.push_back(FromDrive(r.value));
            cells.emplace_back(r.description);
            out.push_back(std::move(cells));
        }
        return out;
    }

    TclLabel* header_ = nullptr;
    HWND ata_ = nullptr;
    HWND nvme_ = nullptr;
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
