// TclVertScrollBox arithmetic: a content panel moved under a viewport by the scroll bar.
#pragma once

namespace tvd {

class ScrollBoxModel {
public:
    // The viewport is the bar's top and height, in the box's parent.
    void SetViewport(int top, int height);
    // The bar's maximum; negative counts as 0. The position is kept inside.
    void SetRange(int range);
    // Clamped to 0..range; answers the position taken.
    int ScrollTo(int position);
    // Position that shows [itemTop, itemTop + itemHeight) of the panel, moving as little as
    // possible; the item's top wins when it is taller than the viewport.
    int ScrollIntoView(int itemTop, int itemHeight);

    void SetBoxVisible(bool visible);
    void SetBarRequested(bool shown) { barRequested_ = shown; }
    bool BarVisible() const { return boxVisible_ && barRequested_; }

    int Range() const { return range_; }
    int Position() const { return position_; }
    int PanelHeight() const { return range_ + viewportHeight_; }
    int PanelTop() const { return viewportTop_ - position_; }

private:
    int viewportTop_ = 0;
    int viewportHeight_ = 0;
    int range_ = 0;
    int position_ = 0;
    bool boxVisible_ = true;
    bool barRequested_ = true;
};

} // namespace tvd
