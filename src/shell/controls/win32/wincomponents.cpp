#include "shell/controls/win32/wincomponents.h"

#include "shell/controls/barlayout.h"
#include "shell/controls/boxlayout.h"

namespace tvd {

InfoBoxControls CreateInfoBox(TclCustomFrame& frame, const std::string& name) {
    InfoBoxControls box;
    auto layout = LayOutInfoBox({0, 0, kInfoBoxMinSize, kInfoBoxMinSize});
    for (std::size_t i = 0; i < box.pieces.size(); ++i) {
        box.pieces[i] = frame.Add<TclPicture>(name + "." + layout->pieces[i].picture);
        box.pieces[i]->SetPicture(layout->pieces[i].picture);
    }
    box.inner = frame.Add<TclRectangle>(name + ".inner");
    box.inner->SetPen(0, kInfoBoxInner);
    box.inner->SetFill(kInfoBoxInner);
    return box;
}

void PlaceInfoBox(InfoBoxControls& box, const Rect& r, bool visible) {
    auto layout = LayOutInfoBox(r);
    for (std::size_t i = 0; i < box.pieces.size(); ++i) {
        if (!box.pieces[i]) continue;
        if (layout) box.pieces[i]->SetBounds(layout->pieces[i].rect);
        box.pieces[i]->SetVisible(visible && layout.has_value());
    }
    if (!box.inner) return;
    if (layout) box.inner->SetBounds(layout->inner);
    box.inner->SetVisible(visible && layout.has_value());
}

CapacityBarControls CreateCapacityBar(TclCustomFrame& frame, const std::string& name) {
    CapacityBarControls bar;
    bar.background = frame.Add<TclRectangle>(name + ".background");
    bar.background->SetPen(0, kCapacityBarBack);
    bar.background->SetFill(kCapacityBarBack);
    bar.gradient = frame.Add<TclGradient>(name + ".gradient");
    FontSpec font{u"Segoe UI", FontHeightFromPoints(12), false, kCharsetDefault};
    bar.left = frame.Add<TclLabel>(name + ".left");
    bar.left->SetFont(font);
    bar.left->SetColour(kCapacityBarLeftText);
    bar.left->SetAlign(TextAlign::kLeft, true);
    bar.right = frame.Add<TclLabel>(name + ".right");
    bar.right->SetFont(font);
    bar.right->SetColour(kCapacityBarRightText);
    bar.right->SetAlign(TextAlign::kRight, true);
    PlaceCapacityBar(bar, {}, 100.0);
    return bar;
}

void PlaceCapacityBar(CapacityBarControls& bar, const Rect& r, double percent) {
    CapacityBarLayout l = LayOutCapacityBar(r, percent);
    if (bar.background) bar.background->SetBounds(l.background);
    if (bar.gradient) {
        bar.gradient->SetBounds(l.gradient);
        bar.gradient->SetVisible(!l.gradient.Empty());
    }
    if (bar.left) bar.left->SetBounds(l.leftLabel);
    if (bar.right) bar.right->SetBounds(l.rightLabel);
}

} // namespace tvd
