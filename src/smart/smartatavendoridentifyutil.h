// Which vendor profile applies to an ATA drive, from its model and firmware text and the order
// of the SMART attribute ids it reports. Pure functions over drive-supplied text: each text ends
// at its first NUL and is read no further than IDENTIFY can hold, so empty or odd input simply
// matches nothing.
#pragma once
#include <cstdint>
#include <span>
#include <string_view>

#include "smart/smartvendorprofile.h"

namespace tvd {

inline constexpr std::size_t kSmartModelChars = 40;
inline constexpr std::size_t kSmartFirmwareChars = 8;

// ASCII letters compare without case; other bytes compare as they are.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool ContainsNoCase(std::string_view text, std::string_view part);

// True when `ids` begins with `signature` and reports at least one id beyond it; an empty
// signature matches nothing.
bool MatchesSignature(std::span<const std::uint8_t> ids, std::span<const std::uint8_t> signature);

// A solid-state drive's profile; always one (the generic SSD profile when no rule applies).
// `model` is the untrimmed 40-character IDENTIFY model, `firmware` the 8-character revision,
// `ids` the attribute ids in the order the drive reported them.
SmartVendorProfileId RecognizeVendor(std::string_view model, std::string_view firmware,
                                     std::span<const std::uint8_t> ids);

// The generic hard-disk profile for a rotating drive, otherwise the recognized one.
SmartVendorProfileId SelectVendorProfile(bool solidState, std::string_view model,
                                         std::string_view firmware,
                                         std::span<const std::uint8_t> ids);

} // namespace tvd
