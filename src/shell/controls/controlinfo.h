// What a control tells about itself, for the test mode's window dump. The window layer fills
// these from its live controls; nothing here depends on the platform.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "shell/controls/controltypes.h"

namespace tvd {

struct ControlInfo {
    std::string className; // "TclStdButton", "TclLabel", ...
    std::string name;      // stable within its window: "menu.ssd", "menu.ssd.caption"
    int depth = 0;         // 0 for the controls directly on the top-level window
    Rect rect;             // layout pixels, in the top-level window's client coordinates
    std::string text;      // UTF-8
    std::string picture;   // resource name of the picture shown now, empty for none
    std::optional<FontSpec> font;
    std::optional<Rgb> textColour;
    std::optional<Rgb> backColour;
    std::optional<Rgb> borderColour;
    bool visible = true; // effective: false when any container above it is hidden
    bool enabled = true; // effective, likewise
};

using ControlVisitor = std::function<void(const ControlInfo&)>;

// Something that owns controls: a top-level window's root frame. Children come in drawing order
// (back to front), each before its own parts.
class ControlTree {
public:
    virtual ~ControlTree() = default;
    virtual void ForEachControl(const ControlVisitor& visit) const = 0;
};

// The tree of a top-level window (an HWND on Windows, as an integer), or null when the window
// holds no controls of ours. Only the window layer defines it; other platforms have no windows.
const ControlTree* ControlTreeOfWindow(std::uintptr_t window);

} // namespace tvd
