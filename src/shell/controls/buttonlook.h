// Looks of the shell's buttons and the state rules that choose between them. The window layer
// feeds mouse events into ButtonState and draws whatever look it answers.
#pragma once
#include <optional>
#include <string>

#include "shell/controls/controltypes.h"

namespace tvd {

enum class ButtonLook { kNormal, kDisabled, kHot, kPressed };

// Hot follows the mouse over the button; pressed lasts from a left press on an enabled button
// until the release. A disabled button ignores the press, so it keeps its disabled look.
class ButtonState {
public:
    explicit ButtonState(bool hasPressedLook = true) : hasPressedLook_(hasPressedLook) {}

    void SetEnabled(bool enabled);
    void MouseEnter() { hot_ = true; }
    void MouseLeave() { hot_ = false; }
    void LeftDown();
    // True when the release is a click: enabled, pressed and still over the button.
    bool LeftUp();
    // The mouse capture went elsewhere: no release will come.
    void Cancel() { pressed_ = false; }

    bool Enabled() const { return enabled_; }
    bool Hot() const { return hot_; }
    // Held down on the button (armed for a click), whether or not it has a pressed look.
    bool Pressed() const { return pressed_; }
    ButtonLook Look() const;

private:
    bool hasPressedLook_;
    bool enabled_ = true;
    bool hot_ = false;
    bool pressed_ = false;
};

enum class CursorKind { kArrow, kHand };

// The button's own cursor only when it can be clicked.
CursorKind ButtonCursor(bool enabled, bool hasClickHandler, CursorKind own);

// TclStdButton: three slices and a caption over the whole button.
inline constexpr int kStdButtonHeight = 27;
inline constexpr int kStdButtonSlice = 6;

struct StdButtonSlices {
    const char* left;
    const char* middle;
    const char* right;
    Rgb caption;
};
StdButtonSlices StdButtonLookSlices(ButtonLook look);

struct StdButtonLayout {
    Rect left, middle, right; // relative to the button
};
// Nothing to draw below two slices' width (the middle would be negative).
std::optional<StdButtonLayout> LayOutStdButton(int width);

// TclImageButton: one picture per look; an empty name falls back to the normal picture.
struct ImageButtonPictures {
    std::string normal, disabled, hot, pressed;
};
const std::string& ImageButtonPicture(const ImageButtonPictures& pictures, ButtonLook look);

// TclOptionButton: white when it can be chosen, blue when it is the chosen one (disabled).
ImageButtonPictures OptionButtonPictures();

// TclCustomCaptionButton / TclBoxCaptionButton colours per look.
struct CaptionLookColours {
    Rgb normal = kBlack;
    Rgb disabled = 0x808080;
    Rgb hot = kBlack;
};
Rgb CaptionColour(const CaptionLookColours& colours, ButtonLook look);

// TclMenuButton: fixed size, rounded frame, gradient behind icon and caption when selected.
inline constexpr int kMenuButtonWidth = 218;
inline constexpr int kMenuButtonHeight = 54;
inline constexpr int kMenuButtonCorner = 7;
inline constexpr Rgb kMenuGradientFrom = 0x008BFD;
inline constexpr Rgb kMenuGradientTo = 0x39A5FD;
inline constexpr Rect kMenuButtonIcon = {15, 12, 30, 30};
inline constexpr Rect kMenuButtonCaption = {60, 0, 150, 54};
inline constexpr int kMenuButtonCaptionPx = 15;

struct MenuButtonLook {
    bool gradientVisible;
    Rgb caption;
    bool selectedPicture;
};
MenuButtonLook MenuButtonLookFor(bool selected);

// A picture drawn centred in its box at its own size (icons in 30 x 30 boxes).
Rect CentredIn(const Rect& box, int width, int height);

} // namespace tvd
