#include "shell/messageboxlayout.h"

#include <algorithm>

namespace tvd {

MessageBoxLook MessageBoxLookOf(MessageKind kind) {
    switch (kind) {
    case MessageKind::kWarning:
        return {"MSG_WARNING", 20004, 0, false};
    case MessageKind::kInformation:
        return {"MSG_INFO", 20004, 0, false};
    case MessageKind::kQuestion:
        return {"MSG_QUESTION", 20002, 20003, true};
    case MessageKind::kWarningQuestion:
        return {"MSG_WARNING_QUESTION", 20002, 20003, true};
    case MessageKind::kError:
    default:
        return {"MSG_ERROR", 20004, 0, false};
    }
}

int MessageBoxLabelWidth(int naturalWidth) {
    return std::clamp(naturalWidth, 0, kMessageBoxLabelMaxWidth);
}

MessageBoxLayout LayoutMessageBox(MessageKind kind, int labelWidth, int labelHeight) {
    labelWidth = std::clamp(labelWidth, 0, kMessageBoxLabelMaxWidth);
    labelHeight = std::max(labelHeight, 0);
    const bool two = MessageBoxLookOf(kind).secondaryTextId != 0;
    const int buttons = two ? 2 * kMessageBoxButtonWidth + 48 : kMessageBoxButtonWidth + 40;

    MessageBoxLayout l;
    l.clientWidth = std::max({kMessageBoxMinWidth, labelWidth + 82, buttons});
    // The label height is capped only by the screen the window code measures on; keep the sum
    // in range for any input.
    labelHeight = std::min(labelHeight, 1 << 20);
    l.clientHeight = 24 + std::max(labelHeight, kMessageBoxIconSize) + 68;

    l.icon = {20, 24, kMessageBoxIconSize, kMessageBoxIconSize};
    const int labelTop =
        labelHeight > kMessageBoxIconSize ? 24 : 24 + (kMessageBoxIconSize - labelHeight) / 2;
    l.label = {62, labelTop, labelWidth, labelHeight};

    const int buttonTop = l.clientHeight - 20 - kMessageBoxButtonHeight;
    l.primary = {l.clientWidth - 20 - kMessageBoxButtonWidth, buttonTop, kMessageBoxButtonWidth,
                 kMessageBoxButtonHeight};
    if (two)
        l.secondary = {l.primary.left - 8 - kMessageBoxButtonWidth, buttonTop,
                       kMessageBoxButtonWidth, kMessageBoxButtonHeight};
    return l;
}

} // namespace tvd
