// The S.M.A.R.T. window's contents: its header text and the rows of its ATA or NVMe list view,
// one per attribute with a non-zero id, in the order the SMART object keeps them.
#pragma once
#include <string>
#include <vector>

#include "drive/clfundisk.h"
#include "shell/diskinfoframeutil.h"

namespace tvd {

struct SmartColumn {
    const char16_t* header;
    int width; // layout pixels
};

enum class SmartViewKind { kNone, kAta, kNvme };

const std::vector<SmartColumn>& SmartAtaColumns();
const std::vector<SmartColumn>& SmartNvmeColumns();

using SmartRow = std::vector<std::u16string>;

// Rows of an attribute list; names come from `name` (the SMART object's attribute names).
std::vector<SmartRow> BuildSmartAtaRows(const SmartAttributeList& list,
                                        const std::function<std::u16string(std::uint8_t)>& name);
std::vector<SmartRow> BuildSmartNvmeRows(const SmartAttributeList& list,
                                         const std::function<std::u16string(std::uint8_t)>& name);

struct SmartWindowContents {
    std::u16string header; // "S.M.A.R.T. Details:\nMODEL"
    SmartViewKind kind = SmartViewKind::kNone;
    std::vector<SmartRow> rows;
};
// From the disk's SMART monitor: the NVMe view for an NVMe interface, else the ATA view for an
// ATA interface; no view without a SMART object.
SmartWindowContents BuildSmartWindowContents(clFunDisk* fd, const MessageLookup& text);

} // namespace tvd
