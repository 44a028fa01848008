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

namespace {

TclLabel* AddLabel(TclCustomFrame& frame, const std::string& name, const FontSpec& font, Rgb colour,
                   bool wrap) {
    auto* l = frame.Add<TclLabel>(name);
    l->SetFont(font);
    l->SetColour(colour);
    l->SetWordWrap(wrap);
    return l;
}

FontSpec SegoeUi(int px, bool bold) {
    return FontSpec{u"Segoe UI", px, bold, kCharsetDefault};
}

} // namespace

TitledBoxControls CreateTitledBox(TclCustomFrame& frame, const std::string& name) {
    TitledBoxControls t;
    t.box = CreateInfoBox(frame, name);
    t.icon = frame.Add<TclPicture>(name + ".icon");
    t.icon->SetCentred(true);
    t.name =
        AddLabel(frame, name + ".name", SegoeUi(FontHeightFromPoints(kTitledBoxNamePoints), false),
                 kTitleBlue, false);
    t.name->SetAutoSize(true);
    t.line = frame.Add<TclHorzLine>(name + ".line");
    t.line->SetColour(kTitledBoxLine);
    return t;
}

void PlaceTitledBox(TitledBoxControls& t, const Rect& r, bool visible) {
    PlaceInfoBox(t.box, r, visible);
    TitledBoxLayout l = LayOutTitledBox(r);
    if (t.icon) {
        t.icon->SetBounds(l.icon);
        t.icon->SetVisible(visible);
    }
    if (t.name) {
        Rect b = t.name->Bounds();
        t.name->SetBounds({l.name.x, l.name.y, b.width, b.height});
        t.name->SetVisible(visible);
    }
    if (t.line) {
        t.line->SetBounds(l.line);
        t.line->SetVisible(visible && !l.line.Empty());
    }
}

LinkBoxControls CreateLinkBox(TclCustomFrame& frame, const std::string& name) {
    LinkBoxControls b;
    b.box = CreateInfoBox(frame, name);
    b.title = AddLabel(frame, name + ".title", SegoeUi(kLinkBoxTextPx, true), kTitleBlue, true);
    b.text = AddLabel(frame, name + ".text", SegoeUi(kLinkBoxTextPx, false), kBlack, true);
    b.button = frame.Add<TclStdButton>(name + ".button");
    return b;
}

void PlaceLinkBox(LinkBoxControls& b, const Rect& r, bool visible) {
    PlaceInfoBox(b.box, r, visible);
    LinkBoxLayout l = LayOutLinkBox(r);
    const std::pair<TclCustomControl*, Rect> parts[] = {
        {b.title, l.title}, {b.text, l.text}, {b.button, l.button}};
    for (const auto& [control, rect] : parts) {
        if (!control) continue;
        control->SetBounds(rect);
        control->SetVisible(visible);
    }
}

WarningLineControls CreateWarningLine(TclCustomFrame& frame, const std::string& name) {
    WarningLineControls w;
    w.picture = frame.Add<TclPicture>(name + ".picture");
    w.picture->SetPicture("IMG_CLONE_WARNING");
    w.label = AddLabel(frame, name + ".label", SegoeUi(kWarningTextPx, false), kWarningText, false);
    w.label->SetAlign(TextAlign::kLeft, true);
    return w;
}

void PlaceWarningLine(WarningLineControls& w, Point at, int totalWidth, bool visible) {
    WarningLineLayout l = LayOutWarningLine(at, totalWidth);
    if (w.picture) {
        w.picture->SetBounds(l.picture);
        w.picture->SetVisible(visible);
    }
    if (w.label) {
        w.label->SetBounds(l.label);
        w.label->SetVisible(visible && !l.label.Empty());
    }
}

OptionItemControls CreateOptionItem(TclCustomFrame& frame, const std::string& name) {
    OptionItemControls o;
    o.button = frame.Add<TclOptionButton>(name + ".button");
    o.title = AddLabel(frame, name + ".title",
                       SegoeUi(FontHeightFromPoints(kOptionTitlePoints), false), kBlack, false);
    o.title->SetAutoSize(true);
    o.description =
        AddLabel(frame, name + ".description", SegoeUi(kDescriptionPx, false), kBlack, true);
    return o;
}

void ShowOptionItem(OptionItemControls& o, bool visible) {
    for (TclCustomControl* c :
         {static_cast<TclCustomControl*>(o.button), static_cast<TclCustomControl*>(o.title),
          static_cast<TclCustomControl*>(o.description)})
        if (c) c->SetVisible(visible);
}

TclLabel* CreateSectionTitle(TclCustomFrame& frame, const std::string& name) {
    TclLabel* l = AddLabel(frame, name, SegoeUi(FontHeightFromPoints(kSectionTitlePoints), true),
                           kBlack, false);
    l->SetAutoSize(true);
    l->SetVisible(false);
    return l;
}

TclLabel* CreateDescriptionLabel(TclCustomFrame& frame, const std::string& name) {
    TclLabel* l = AddLabel(frame, name, SegoeUi(kDescriptionPx, false), kBlack, true);
    l->SetVisible(false);
    return l;
}

} // namespace tvd
