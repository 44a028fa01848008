#include "shell/win32/pagessdwin.h"

#include <array>
#include <string>

#include "shell/controls/win32/wincombobox.h"
#include "shell/controls/win32/wincomponents.h"
#include "shell/controls/win32/wincontrols.h"
#include "shell/languagetables.h"
#include "shell/mainpagesutil.h"
#include "shell/win32/clformchild.h"
#include "shell/win32/formsmartwin.h"
#include "shell/win32/frmdrivedetail.h"
#include "shell/win32/frmmain.h"

namespace tvd::win {

namespace {

FontSpec UiFontSpec(int heightPx, bool bold = false) {
    const UiFontChoice ui = UiFont();
    return FontSpec{ui.faceName.empty() ? u"Segoe UI" : ui.faceName, heightPx, bold, ui.charset};
}

// One ring gauge: caption, back picture, ring, cover, front picture and value, in drawing order.
struct Gauge {
    TclLabel* caption = nullptr;
    TclPicture* back = nullptr;
    TclPicture* ring = nullptr;
    TclPie* cover = nullptr;     // value kinds only
    TclPicture* front = nullptr; // value kinds only
    TclLabel* value = nullptr;
};

enum class GaugeKind { kHealth, kValue };

Gauge CreateGauge(TclCustomFrame& f, const std::string& name, int left, GaugeKind kind,
                  const char* ring) {
    Gauge g;
    g.caption = f.Add<TclLabel>(name + ".caption");
    g.caption->SetBounds({left, 60, 136, 32});
    g.caption->SetWordWrap(true);
    g.caption->SetAlign(TextAlign::kCentre, false);
    g.caption->SetBottomAligned(true);
    g.back = f.Add<TclPicture>(name + ".back");
    g.back->SetBounds({left, 96, 136, 136});
    g.ring = f.Add<TclPicture>(name + ".ring");
    g.ring->SetPicture(ring);
    if (kind == GaugeKind::kHealth) {
        g.back->SetPicture("IMG_CIRCLE_BACK_BLUE");
        g.ring->SetBounds({left + 10, 106, 116, 116});
    } else {
        g.back->SetPicture("IMG_CIRCLE_BACK_WHITE");
        g.ring->SetBounds({left + 5, 101, 126, 126});
        g.cover = f.Add<TclPie>(name + ".cover");
        g.cover->SetBounds({left + 4, 100, 128, 128});
        g.cover->SetColours(kGaugeCoverColour, kGaugeCoverColour);
        g.front = f.Add<TclPicture>(name + ".front");
        g.front->SetBounds({left + 13, 109, 110, 110});
        g.front->SetPicture("IMG_RING_FRONT");
    }
    g.value = f.Add<TclLabel>(name + ".value");
    g.value->SetBounds({left, 96, 136, 136});
    g.value->SetFont(FontSpec{u"Arial", 30, false, kCharsetDefault});
    g.value->SetAlign(TextAlign::kCentre, true);
    g.value->SetColour(kind == GaugeKind::kHealth ? kWhite : kBlack);
    return g;
}

void ShowValueGauge(Gauge& g, const ValueGauge& v) {
    g.value->SetText(v.text);
    g.cover->SetVisible(v.cover.visible);
    g.cover->SetAngles(v.cover.startAngle, v.cover.endAngle);
}

constexpr std::array<int, 6> kLineTops = {96, 119, 142, 165, 188, 211};

class TclDiskFrame final : public TclCustomFrame, public DiskFrameView {
public:
    explicit TclDiskFrame(std::string name) : TclCustomFrame(name, "TclDiskFrame") {}

    bool Create(TclCustomFrame& panel) {
        if (!CreateChild(panel, {0, 0, kDiskFrameWidth, kDiskFrameHeight})) return false;
        SetBackColour(kWhite);
        const std::string& n = Name();
        box_ = CreateInfoBox(*this, n + ".InfoBox");
        PlaceInfoBox(box_, {0, 0, kDiskFrameWidth, kDiskFrameHeight});
        marker_ = Add<TclRectangle>(n + ".Marker");
        marker_->SetBounds({16, 20, 4, kDiskFrameHeight - 40});
        marker_->SetPen(1, kSelectionMarkerColour);
        marker_->SetFill(kSelectionMarkerColour);
        marker_->SetVisible(false);
        icon_ = Add<TclPicture>(n + ".Icon");
        icon_->SetBounds({25, 16, 30, 30});
        icon_->SetCentred(true);
        name_ = Add<TclLabel>(n + ".Name");
        name_->SetBounds({71, 20, 0, 0});
        name_->SetColour(0x0071B5);
        name_->SetAutoSize(true);
        smart_ = Add<TclStdButton>(n + ".SmartButton");
        smart_->SetBounds({628, 20, 100, 27});
        details_ = Add<TclStdButton>(n + ".DetailsButton");
        details_->SetBounds({628, 52, 100, 27});
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            lines_[i] = Add<TclLabel>(n + ".Line" + std::to_string(i + 1));
            lines_[i]->SetBounds({502, kLineTops[i], 0, 0});
            lines_[i]->SetAutoSize(true);
        }
        health_ = CreateGauge(*this, n + ".Health", 25, GaugeKind::kHealth, "IMG_RING_HEALTH");
        temperature_ =
            CreateGauge(*this, n + ".Temperature", 180, GaugeKind::kValue, "IMG_RING_RED");
        life_ = CreateGauge(*this, n + ".Life", 340, GaugeKind::kValue, "IMG_RING_GREEN");
        bar_ = CreateCapacityBar(*this, n + ".Bar");
        PlaceCapacityBar(bar_, {32, 250, kCapacityBarWidth, 33}, 100.0);
        smart_->SetOnClick([this](TclCustomControl&) { OpenSmart(); });
        details_->SetOnClick([this](TclCustomControl&) { OpenDetails(); });
        return true;
    }

    void SetTop(int top) override { SetBounds({0, top, kDiskFrameWidth, kDiskFrameHeight}); }
    void SetVisible(bool v) override { TclCustomFrame::SetVisible(v); }
    void SetMarker(bool v) override { marker_->SetVisible(v); }
    void SetDisk(clFunDisk* disk) override { disk_.Reset(disk); }

    void ShowTexts(const DiskFrameTexts& t) override {
        const FontSpec ui13 = UiFontSpec(13);
        const FontSpec button = UiFontSpec(11);
        smart_->SetFont(button);
        smart_->SetCaption(t.smartButton);
        details_->SetFont(button);
        details_->SetCaption(t.detailsButton);
        Gauge* gauges[] = {&health_, &temperature_, &life_};
        for (std::size_t i = 0; i < 3; ++i) {
            gauges[i]->caption->SetFont(ui13);
            gauges[i]->caption->SetText(t.gaugeCaptions[i]);
        }
        name_->SetFont(FontSpec{u"Segoe UI", FontHeightFromPoints(12), false, UiFont().charset});
        name_->SetText(t.name);
        icon_->SetPicture(t.icon ? t.icon : "");
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            lines_[i]->SetFont(ui13);
            if (i < t.lines.size()) lines_[i]->SetText(t.lines[i]);
        }
    }

    void ShowSmart(const DiskSmartView& v) override {
        lines_[5]->SetText(v.bytesWritten);
        health_.value->SetText(v.health.text);
        if (v.health.backPicture) health_.back->SetPicture(v.health.backPicture);
        ShowValueGauge(temperature_, v.temperature);
        ShowValueGauge(life_, v.life);
        smart_->SetEnabled(v.smartButtonEnabled);
    }

    void ShowBar(const CapacityBarView& b) override {
        PlaceCapacityBar(bar_, {32, 250, kCapacityBarWidth, 33}, b.percent);
        bar_.gradient->SetColours(b.from, b.to);
        bar_.left->SetText(b.left);
        bar_.right->SetText(b.right);
        bar_.background->SetVisible(b.visible);
        bar_.gradient->SetVisible(b.visible && b.fillWidth > 0);
        bar_.left->SetVisible(b.visible);
        bar_.right->SetVisible(b.visible);
    }

private:
    // The handlers take their own reference and use nothing of the frame once the window is
    // shown: the disk may leave (and the frame be reused) while it is up.
    void OpenSmart() {
        ZoltRef<clFunDisk> disk = disk_;
        if (disk) ShowSmartWindow(disk.Get());
    }
    void OpenDetails() {
        ZoltRef<clFunDisk> disk = disk_;
        if (disk) ShowDriveDetailsWindow(disk.Get());
    }

    InfoBoxControls box_;
    TclRectangle* marker_ = nullptr;
    TclPicture* icon_ = nullptr;
    TclLabel* name_ = nullptr;
    TclStdButton* smart_ = nullptr;
    TclStdButton* details_ = nullptr;
    std::array<TclLabel*, 6> lines_{};
    Gauge health_, temperature_, life_;
    CapacityBarControls bar_;
    ZoltRef<clFunDisk> disk_;
};

// Adapts the unique_ptr the page keeps to the frame the box owns as a window.
class PageSsdWinHost final : public PageSsdHost {
public:
    bool Build(TclCustomFrame& pageFrame) {
        if (!content_.CreateChild(pageFrame, {0, 0, 769, kDiskViewportHeight})) return false;
        content_.SetBackColour(kWhite);
        if (!box_.Create(content_, {0, 0, 769, kDiskViewportHeight})) return false;
        box_.Panel().SetBackColour(kWhite);
        SetPropW(box_.Bar(), L"TvdName",
                 reinterpret_cast<HANDLE>(const_cast<char*>("PageSsd.ScrollBar")));
        box_.SetRange(0);
        box_.ShowBar(false);
        box_.SetVisible(true);
        content_.SetVisible(false);
        return true;
    }

    std::unique_ptr<DiskFrameView> CreateFrame() override {
        auto frame = std::make_unique<TclDiskFrame>("DiskFrame" + std::to_string(made_));
        if (!frame->Create(box_.Panel())) return nullptr;
        ++made_;
        return frame;
    }
    void ShowContent(bool visible) override { content_.SetVisible(visible); }
    void SetScroll(int range, bool barShown) override {
        box_.SetRange(range);
        box_.ShowBar(barShown);
    }
    void ScrollTo(int position) override { box_.ScrollTo(position); }
    void DiskLeaving(clFunDisk* disk) override { clFormChild::DiskRemoved(disk); }

private:
    TclCustomFrame content_{"PageSsd.Content"};
    TclVertScrollBox box_{"PageSsd.Box"};
    int made_ = 0;
};

class PageSsdWin final : public clPageSsd {
public:
    PageSsdWin(const MenuEntry& entry, std::unique_ptr<PageSsdWinHost> host)
        : clPageSsd(entry, host.get(), UiMessageLookup()), host_(std::move(host)) {}
    ~PageSsdWin() override {
        if (MainShell* s = Shell()) s->SetDiskFrameHooks({});
    }

private:
    std::unique_ptr<PageSsdWinHost> host_;
};

} // namespace

std::unique_ptr<clMenuPage> CreatePageSsd(const MenuEntry& entry, TclCustomFrame& pageFrame) {
    auto host = std::make_unique<PageSsdWinHost>();
    if (!host->Build(pageFrame)) return nullptr;
    auto page = std::make_unique<PageSsdWin>(entry, std::move(host));
    if (MainShell* s = Shell()) {
        clPageSsd* p = page.get();
        s->SetDiskFrameHooks({[p](clFunDisk* d) { p->AddDiskFrame(d); },
                              [p](clFunDisk* d) { p->RemoveDiskFrame(d); }});
    }
    return page;
}

} // namespace tvd::win
