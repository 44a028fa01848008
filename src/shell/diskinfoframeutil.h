// What one drive frame of the Drive Information page shows, computed from plain figures so that
// the window layer only applies it: header, identity lines, the three ring gauges, the capacity
// bar and the S.M.A.R.T. button's state.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "drive/clfundisk.h"
#include "shell/controls/controltypes.h"

namespace tvd {

// Message text by id in the UI language (empty when there is none).
using MessageLookup = std::function<std::u16string(int id)>;
// The program's tables.
MessageLookup UiMessageLookup();

namespace pagessdmsg {
inline constexpr int kDriveHealth = 21100;
inline constexpr int kTemperature = 21101;
inline constexpr int kRemainingLifetime = 21102;
inline constexpr int kModel = 21103;
inline constexpr int kFirmware = 21104;
inline constexpr int kSerial = 21105;
inline constexpr int kBytesWritten = 21107;
inline constexpr int kSmartDetails = 21109;
inline constexpr int kSmartButton = 21113;
inline constexpr int kDetailsButton = 21114;
inline constexpr int kGood = 21115;
inline constexpr int kBad = 21117;
inline constexpr int kCapacity = 22019;
} // namespace pagessdmsg

// Frame geometry, layout pixels.
inline constexpr int kDiskFrameWidth = 752;
inline constexpr int kDiskFrameHeight = 303;
inline constexpr int kDiskFrameStep = 310; // frame height and the gap below it
inline constexpr int kDiskViewportHeight = 631;
inline constexpr int kCapacityBarWidth = 680;
inline constexpr Rgb kGaugeCoverColour = 0xE5E5E5;
inline constexpr Rgb kSelectionMarkerColour = 0x0071B5;

// The identity of a drive as its frame shows it.
struct DiskIdentity {
    std::string displayName; // DisplayNameShort
    bool solidState = false;
    std::optional<std::string> model, firmware, serial;
    // "WWN: %s" with an ATA interface, else "EUI64: %s" with an NVMe one ("N/A" when the drive
    // reports none); empty without either.
    std::string wwnLine;
    std::uint64_t sizeBytes = 0;
};
DiskIdentity ReadDiskIdentity(clFunDisk* fd);

// The monitor's figures, taken as one copy so that a frame never mixes two refreshes.
struct DiskFigures {
    bool hasSmart = false;
    std::int32_t healthState = 0;
    std::int32_t temperature = -1000;
    std::int32_t life = -1000;
    std::int64_t written = -1; // GiB
};
DiskFigures TakeDiskFigures(const clFunDisk* fd);

struct DiskFrameTexts {
    std::u16string name;
    const char* icon = nullptr; // IMG_ICON_SSD or IMG_ICON_HDD
    std::u16string smartButton, detailsButton;
    std::array<std::u16string, 3> gaugeCaptions;
    std::array<std::u16string, 5> lines; // identity lines 1 to 5
};
DiskFrameTexts BuildDiskFrameTexts(const DiskIdentity& identity, const MessageLookup& text);

// "%s: %s", or "%s:" when the value is missing.
std::u16string IdentityLine(const std::u16string& caption, const std::optional<std::string>& value);
// Identity line 6.
std::u16string BytesWrittenLine(const DiskFigures& figures, const MessageLookup& text);

// The cover of a value gauge: a pie from 90° to `endAngle` over the ring, hidden at 100.
struct GaugeCover {
    bool visible = true;
    int startAngle = 90;
    int endAngle = 90;
};
// The value is clamped to 0..100 first.
GaugeCover GaugeCoverFor(int value);

struct ValueGauge {
    std::u16string text;
    int value = 0; // 0..100
    GaugeCover cover;
};
ValueGauge TemperatureGauge(const DiskFigures& figures);
ValueGauge LifeGauge(const DiskFigures& figures);

struct HealthGauge {
    std::u16string text;
    const char* backPicture = nullptr; // null: leave the back picture as it is
};
HealthGauge HealthGaugeFor(const DiskFigures& figures, const MessageLookup& text);

// Everything step "SMART values" changes.
struct DiskSmartView {
    std::u16string bytesWritten;
    HealthGauge health;
    ValueGauge temperature, life;
    bool smartButtonEnabled = false;
};
DiskSmartView BuildDiskSmartView(const DiskFigures& figures, const MessageLookup& text);

struct CapacityBarView {
    bool visible = false;
    std::u16string left, right;
    double percent = 0; // 0..100
    int fillWidth = 0;  // of the 680-pixel bar
    Rgb from = 0, to = 0;
};
// `measured` false: no measurable volume, the bar is hidden.
CapacityBarView CapacityBarFor(bool measured, std::uint64_t total, std::uint64_t free);
CapacityBarView ReadCapacityBar(clFunDisk* fd);

} // namespace tvd
