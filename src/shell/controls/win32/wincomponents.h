// Composite components: plain records of controls on one frame, placed as a whole.
#pragma once
#include <array>

#include "shell/controls/win32/wincontrols.h"

namespace tvd {

// The nine-piece info box: eight pictures and the inner rectangle.
struct InfoBoxControls {
    std::array<TclPicture*, 8> pieces{};
    TclRectangle* inner = nullptr;
};
InfoBoxControls CreateInfoBox(TclCustomFrame& frame, const std::string& name);
// Below the corners' size nothing is shown.
void PlaceInfoBox(InfoBoxControls& box, const Rect& r, bool visible = true);

struct CapacityBarControls {
    TclRectangle* background = nullptr;
    TclGradient* gradient = nullptr;
    TclLabel* left = nullptr;
    TclLabel* right = nullptr;
};
CapacityBarControls CreateCapacityBar(TclCustomFrame& frame, const std::string& name);
void PlaceCapacityBar(CapacityBarControls& bar, const Rect& r, double percent);

} // namespace tvd
