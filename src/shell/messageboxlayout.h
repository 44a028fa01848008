// The application's message box without its window: which picture and buttons each kind shows,
// and where everything goes once the text has been measured.
#pragma once
#include <cstdint>

namespace tvd {

enum class MessageKind : std::uint8_t {
    kError,
    kWarning,
    kInformation,
    kQuestion,
    kWarningQuestion
};

struct MessageBoxLook {
    const char* icon;             // picture resource, 32 x 32
    std::int32_t primaryTextId;   // "OK" or "Yes"
    std::int32_t secondaryTextId; // "No", or 0 when the kind has one button
    bool hasResult;               // only the questions answer true or false
};
MessageBoxLook MessageBoxLookOf(MessageKind kind);

struct BoxRect {
    int left = 0, top = 0, width = 0, height = 0;
    bool operator==(const BoxRect&) const = default;
};

struct MessageBoxLayout {
    int clientWidth = 0, clientHeight = 0;
    BoxRect icon, label, primary, secondary; // secondary is empty with one button
};

inline constexpr int kMessageBoxMinWidth = 300;
inline constexpr int kMessageBoxLabelMaxWidth = 558;
inline constexpr int kMessageBoxButtonWidth = 100;
inline constexpr int kMessageBoxButtonHeight = 28;
inline constexpr int kMessageBoxIconSize = 32;

// The width to measure the text at: its one-line width, or the wrapping limit when wider.
int MessageBoxLabelWidth(int naturalWidth);

// The box for a label measured at MessageBoxLabelWidth (labelHeight is the wrapped height).
// Negative measurements count as 0.
MessageBoxLayout LayoutMessageBox(MessageKind kind, int labelWidth, int labelHeight);

} // namespace tvd
