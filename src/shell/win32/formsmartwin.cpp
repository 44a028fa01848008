#include "shell/win32/formsmartwin.h"

#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

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

std::vector<ListColumn> Columns(const std::vector<SmartColumn>& columns) {
    std::vector<ListColumn> out;
    for (const SmartColumn& c : columns)
        out.push_back({c.header, c.width});
    return out;
}

class clFormSmart final : public clFormChild {
public:
    clFormSmart() : clFormChild("FormSmart") {}

protected:
    bool BuildContents() override {
        header_ = Frame()->Add<TclLabel>("Header");
        header_->SetBounds(kHeaderRect);
        header_->SetBackColour(kHeaderBack);
        header_->SetColour(kWhite);
        header_->SetWordWrap(true);
        ata_ = AddListView("SmartAtaView", kViewRect, Columns(SmartAtaColumns()));
        nvme_ = AddListView("SmartNvmeView", kViewRect, Columns(SmartNvmeColumns()));
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
            FillListView(view, contents_.rows);
            ShowWindow(view, SW_SHOWNA);
        }
        CloseHandles(Disk());
        PumpMessages();
    }

private:
    TclLabel* header_ = nullptr;
    HWND ata_ = nullptr, nvme_ = nullptr;
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
