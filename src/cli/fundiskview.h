// The functional-disk view the front end shows for `list`, `info` and `watch`.
#pragma once
#include <cstdint>
#include <string>

#include "cli/jsonwriter.h"
#include "drive/clfundisk.h"
#include "foundation/errorcodes.h"

namespace tvd::cli {

// Health state as a word: "good", "caution", "bad" or "unknown".
const char* HealthStateWord(std::int32_t state);

// The settings folder of the per-drive files: the user's application data folder.
void UseDefaultSettingsFolder();

// The interface text (GetBusText), or the platform's bus name where the text has none ("---"):
// virtio and loop disks on Linux.
std::string InterfaceText(clFunDisk* fd);

// Writes the summary fields (model, serial, firmware, bus text, solid state, health, temperature,
// life) into the object being written; absent values are null.
void WriteFunDiskSummary(JsonWriter& j, clFunDisk* fd);

// Why FunDiskCreate refused a disk, in the order it checks; `code` gets a system error when
// the device could not even be opened.
std::string WhyNotServed(clDisk* disk, ErrorCode& code);

} // namespace tvd::cli
