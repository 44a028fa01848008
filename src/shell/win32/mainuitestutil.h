// Test mode of the window program (--ui-test DIR, docs/ui-test-mode.md): requests read from a
// file in DIR on a timer of their own, dumps of every top-level window as JSON and PNG.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tvd {
class ControlTree;
struct ControlInfo;
} // namespace tvd

namespace tvd::win {

// One control of a window as the dump shows it.
struct ControlInfo {
    std::string name; // stable name
    std::string cls;  // control class
    RECT rect{};      // client coordinates of its window
    std::u16string text;
    std::string picture;
    std::u16string fontFace;
    int fontHeight = 0; // pixels
    int fontWeight = 0;
    std::int64_t textColor = -1; // 0xRRGGBB, -1 for none
    std::int64_t backColor = -1;
    std::int64_t borderColor = -1; // pens, and a gradient's end colour
    std::string extra;             // a JSON object of class-specific facts, or empty
    bool visible = true;           // effective: it and its window
    bool enabled = true;
};

// Controls of a window the program drew itself (main window, splash, message box); the window
// layer's child windows are added by the dump.
using ControlLister = std::vector<ControlInfo> (*)(HWND window);
// One control of a frame as the dump shows it: device pixels at `dpi`, moved by `origin`.
ControlInfo DumpEntry(const tvd::ControlInfo& control, int dpi, POINT origin = {0, 0});
// A frame's controls (tvd::ControlTree) as the dump shows them: device pixels of its window.
std::vector<ControlInfo> ControlsOfTree(const ControlTree& tree);
void RegisterControlLister(HWND window, ControlLister lister);
void UnregisterControlLister(HWND window);

bool UiTestEnabled();
// Starts the test mode on `window` (its own timer) for the folder; false when the folder is not
// usable.
bool UiTestStart(HWND window, const std::wstring& folder);
void UiTestStop(HWND window);
// The test mode's timer fired.
void UiTestOnTimer();
// Opens the box a request asked for (posted to the main window as kMsgOpenTestBox).
void UiTestOpenPendingBox();
inline constexpr UINT_PTR kUiTestTimerId = 2;

// Writes NAME.json and NAME-N.png for every visible top-level window of the thread; false when
// a file could not be written.
bool UiTestDump(const std::wstring& folder, const std::wstring& name);

// COLORREF as 0xRRGGBB.
inline std::int64_t Rgb(COLORREF c) {
    return (static_cast<std::int64_t>(GetRValue(c)) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

} // namespace tvd::win
