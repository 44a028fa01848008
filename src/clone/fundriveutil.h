// A partition of the clone source as the clone sees it: where it lies, what it holds and where
// it is mounted. This stand-in reads through the source disk (it opens no volume), treats every
// partition as selected and plans its whole length; the source-volume selection replaces it.
#pragma once
#include <cstdint>
#include <string>

#include "foundation/clzoltitem.h"
#include "storage/storagetypes.h"

namespace tvd {

class clFunDrive : public clZoltObject {
public:
    clFunDrive() = default;
    PartitionEntry entry;      // as the partition table gives it
    std::uint8_t fsKind = 0;   // by the recognizer, from the partition's first sector
    char letter = 0;           // Windows drive letter, 0 when none
    std::u16string root;       // "X:\", a Linux mount point, or empty
    std::u16string volumePath; // the volume's device path (Linux: its node)
    std::u16string label;
    bool mountedWritable = false; // mounted read-write, and no snapshot protects it
    bool selected = true;

    std::uint64_t Offset() const { return entry.startingOffset; }
    std::uint64_t Length() const { return entry.length; }
    bool HasVolumeHandle() const { return false; }
    std::uint64_t CopyBytes() const { return entry.length; }
    std::uint64_t NeededBytes() const { return entry.length; }
};

} // namespace tvd
