#include "shell/diskinfoframeutil.h"

#include <algorithm>
#include <cmath>

#include "drive/fundiskdescutil.h"
#include "foundation/textconvutil.h"
#include "shell/controls/barlayout.h"
#include "shell/formathelpers.h"
#include "shell/formattext.h"
#include "shell/languagetables.h"

namespace tvd {

namespace {

constexpr const char16_t* kNotAvailable = u"N/A";
// The NVMe health log's "no sensor" and the evaluators' "no value" alike.
constexpr std::int32_t kNoTemperatureSensor = -32768;

bool NoValue(std::int32_t v) {
    return v == kSmartNoValue || v == kNoTemperatureSensor;
}

std::u16string Wide(const std::string& s) {
    return Utf8ToUtf16(s);
}

} // namespace

MessageLookup UiMessageLookup() {
    return [](int id) { return MessageText(id).value_or(std::u16string()); };
}

DiskIdentity ReadDiskIdentity(clFunDisk* fd) {
    DiskIdentity id;
    if (!fd) return id;
    id.displayName = DisplayNameShort(fd);
    id.solidState = fd->solidState;
    if (const std::string* s = GetModel(fd)) id.model = *s;
    if (const std::string* s = GetFirmware(fd)) id.firmware = *s;
    if (const std::string* s = GetSerial(fd)) id.serial = *s;
    id.wwnLine = GetWwnText(fd);
    id.sizeBytes = fd->sizeBytes;
    return id;
}

DiskFigures TakeDiskFigures(const clFunDisk* fd) {
    DiskFigures f;
    if (!fd) return f;
    const SmartMonitor& m = fd->smart;
    f.hasSmart = m.smart != nullptr;
    f.healthState = m.HealthState;
    f.temperature = m.temperature;
    f.life = m.health;
    f.written = m.written;
    return f;
}

std::u16string IdentityLine(const std::u16string& caption,
                            const std::optional<std::string>& value) {
    if (!value) return FormatText(u"%s:", {caption});
    return FormatText(u"%s: %s", {caption, Wide(*value)});
}

DiskFrameTexts BuildDiskFrameTexts(const DiskIdentity& identity, const MessageLookup& text) {
    DiskFrameTexts t;
    t.name = Wide(identity.displayName);
    t.icon = identity.solidState ? "IMG_ICON_SSD" : "IMG_ICON_HDD";
    t.smartButton = text(pagessdmsg::kSmartButton);
    t.detailsButton = text(pagessdmsg::kDetailsButton);
    t.gaugeCaptions = {text(pagessdmsg::kDriveHealth), text(pagessdmsg::kTemperature),
                       text(pagessdmsg::kRemainingLifetime)};
    t.lines[0] = IdentityLine(text(pagessdmsg::kModel), identity.model);
    t.lines[1] = IdentityLine(text(pagessdmsg::kFirmware), identity.firmware);
    t.lines[2] = IdentityLine(text(pagessdmsg::kSerial), identity.serial);
    t.lines[3] = Wide(identity.wwnLine);
    t.lines[4] = FormatText(
        u"%s: %s", {text(pagessdmsg::kCapacity), Wide(FormatSizeRounded(identity.sizeBytes))});
    return t;
}

std::u16string BytesWrittenLine(const DiskFigures& figures, const MessageLookup& text) {
    const std::u16string caption = text(pagessdmsg::kBytesWritten);
    // Any negative figure is no figure, not a negative amount.
    if (!figures.hasSmart || figures.written < 0) return FormatText(u"%s: N/A", {caption});
    if (figures.written < 1000)
        return FormatText(u"%s: %I64dGB", {caption, static_cast<long long>(figures.written)});
    return FormatText(u"%s: %.2fTB", {caption, static_cast<double>(figures.written) / 1000.0});
}

GaugeCover GaugeCoverFor(int value) {
    const int v = std::clamp(value, 0, 100);
    GaugeCover c;
    if (v >= 100) {
        c.visible = false;
        return c;
    }
    if (v <= 0) return c; // equal angles: the whole disc hides the ring
    double e = 360.0 - v * 360.0 / 100.0 + 90.0;
    if (e > 360.0) e -= 360.0;
    c.endAngle = static_cast<int>(e);
    return c;
}

ValueGauge TemperatureGauge(const DiskFigures& figures) {
    ValueGauge g;
    if (!figures.hasSmart || NoValue(figures.temperature)) {
        g.text = kNotAvailable;
        g.value = 0;
    } else {
        // The ring saturates; the text keeps the drive's own figure.
        g.text = FormatTemperature(figures.temperature);
        g.value = std::clamp(figures.temperature, 0, 100);
    }
    g.cover = GaugeCoverFor(g.value);
    return g;
}

ValueGauge LifeGauge(const DiskFigures& figures) {
    ValueGauge g;
    if (!figures.hasSmart) {
        g.text = kNotAvailable;
        g.value = 100;
    } else if (NoValue(figures.life)) {
        g.text = kNotAvailable;
        g.value = 0;
    } else {
        g.value = std::clamp(figures.life, 0, 100);
        g.text = FormatText(u"%i %%", {g.value});
    }
    g.cover = GaugeCoverFor(g.value);
    return g;
}

HealthGauge HealthGaugeFor(const DiskFigures& figures, const MessageLookup& text) {
    HealthGauge g;
    switch (figures.healthState) {
    case 1:
        g.text = text(pagessdmsg::kGood);
        g.backPicture = "IMG_CIRCLE_BACK_BLUE";
        break;
    case 2:
    case 3:
        g.text = text(pagessdmsg::kBad);
        g.backPicture = "IMG_CIRCLE_BACK_RED";
        break;
    default:
        g.text = kNotAvailable;
        break;
    }
    return g;
}

DiskSmartView BuildDiskSmartView(const DiskFigures& figures, const MessageLookup& text) {
    DiskSmartView v;
    v.bytesWritten = BytesWrittenLine(figures, text);
    v.health = HealthGaugeFor(figures, text);
    v.temperature = TemperatureGauge(figures);
    v.life = LifeGauge(figures);
    v.smartButtonEnabled = figures.hasSmart;
    return v;
}

CapacityBarView CapacityBarFor(bool measured, std::uint64_t total, std::uint64_t free) {
    CapacityBarView b;
    if (!measured) return b;
    b.visible = true;
    const std::uint64_t used = free > total ? 0 : total - free;
    b.left = FormatText(u"Used: %s", {Wide(FormatSizeCompact(used))});
    b.right = FormatText(u"Free: %s", {Wide(FormatSizeCompact(free))});
    b.percent = total == 0
                    ? 0.0
                    : ClampPercent(static_cast<double>(used) * 100.0 / static_cast<double>(total));
    b.fillWidth = PercentFill(b.percent, kCapacityBarWidth);
    if (b.percent > 80.0) {
        b.from = 0xFF015C;
        b.to = 0xFFAFD2;
    } else {
        b.from = 0x004BFD;
        b.to = 0x7FF2FF;
    }
    return b;
}

CapacityBarView ReadCapacityBar(clFunDisk* fd) {
    std::uint64_t total = 0, free = 0;
    const bool measured = fd && GetVolumeSpace(fd, total, free);
    return CapacityBarFor(measured, total, free);
}

} // namespace tvd
