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

// An info box with a header: the drive's icon and name, and a line under them.
struct TitledBoxControls {
    InfoBoxControls box;
    TclPicture* icon = nullptr;
    TclLabel* name = nullptr;
    TclHorzLine* line = nullptr;
};
TitledBoxControls CreateTitledBox(TclCustomFrame& frame, const std::string& name);
void PlaceTitledBox(TitledBoxControls& box, const Rect& r, bool visible = true);

// An info box with a title, a text and a button (the Utility page's three boxes).
struct LinkBoxControls {
    InfoBoxControls box;
    TclLabel* title = nullptr;
    TclLabel* text = nullptr;
    TclStdButton* button = nullptr;
};
LinkBoxControls CreateLinkBox(TclCustomFrame& frame, const std::string& name);
void PlaceLinkBox(LinkBoxControls& box, const Rect& r, bool visible = true);

// The clone's warning picture and a red line of text beside it.
struct WarningLineControls {
    TclPicture* picture = nullptr;
    TclLabel* label = nullptr;
};
WarningLineControls CreateWarningLine(TclCustomFrame& frame, const std::string& name);
void PlaceWarningLine(WarningLineControls& line, Point at, int totalWidth, bool visible = true);

// An option button with its title and description; the page places the three.
struct OptionItemControls {
    TclOptionButton* button = nullptr;
    TclLabel* title = nullptr;
    TclLabel* description = nullptr;
};
OptionItemControls CreateOptionItem(TclCustomFrame& frame, const std::string& name);
void ShowOptionItem(OptionItemControls& item, bool visible);

// A page's section title (11 pt bold black, automatic size) and description label (13 px
// black, word wrap, fixed size); both transparent and hidden until the page shows them.
TclLabel* CreateSectionTitle(TclCustomFrame& frame, const std::string& name);
TclLabel* CreateDescriptionLabel(TclCustomFrame& frame, const std::string& name);

} // namespace tvd
