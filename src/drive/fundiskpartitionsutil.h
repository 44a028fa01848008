// The partition snapshot of a disk: its partitions in disk order with the free areas between
// them, each joined with the volume mounted on it and classified for the pages and the clone
// wizard. Built from a drive layout and a per-platform volume lookup, so that the walk, the
// classification and the bar weights are the same code on every platform and in the tests.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/errorcodes.h"
#include "storage/storagetypes.h"

namespace tvd {

namespace partkind {
inline constexpr std::uint8_t kGap = 0;
inline constexpr std::uint8_t kOrdinary = 2;
inline constexpr std::uint8_t kBoot = 3; // MBR partition marked active
inline constexpr std::uint8_t kEfi = 4;
inline constexpr std::uint8_t kWindows = 5;
inline constexpr std::uint8_t kRecovery = 6;
} // namespace partkind

inline constexpr std::size_t kMaxSnapshotEntries = 32;
// Free areas below this are alignment slack, not worth a place on the bar.
inline constexpr std::uint64_t kMinShownGapBytes = 8ull << 20;
// A GPT whose only partition is a Microsoft reserved one of at most this size is a blank disk.
inline constexpr std::uint64_t kMaxBlankMsrBytes = 20ull << 20;
// The floor of an entry's bar weight: a partition under a few megabytes still gets a sliver,
// and no weight is ever zero, negative or not a number.
inline constexpr float kMinPartitionWeight = 0.25f;
// File-system names are cut to this many characters, as Windows gives them.
inline constexpr std::size_t kMaxFileSystemChars = 10;

// What a platform knows about the volume at one place of the disk.
struct VolumeMatch {
    char letter = 0;           // drive letter 'A'-'Z', 0 when the volume has none
    std::u16string volumePath; // Windows volume path, Linux device node
    std::u16string root;       // "X:\", the volume path, or the first mount point ending in '/'
    std::u16string label, fileSystem;
};

// The volumes of one disk (the implementation is bound to the disk when created).
class VolumeLookup {
public:
    virtual ~VolumeLookup() = default;
    // The volume whose data starts at byte `offset` of the disk; false when there is none.
    virtual bool Find(std::uint64_t offset, VolumeMatch& out) const = 0;
    // Whether the file `relative` ('\' separated, matched without regard to case) exists under
    // `root`.
    virtual bool FileExists(const std::u16string& root, std::u16string_view relative) const = 0;
    // The letter of the volume holding the running Windows; 0 where there is none.
    virtual char WindowsLetter() const { return 0; }
};

// A lookup that finds nothing: a disk without volumes, or a platform that cannot tell.
class NoVolumeLookup : public VolumeLookup {
public:
    bool Find(std::uint64_t, VolumeMatch&) const override { return false; }
    bool FileExists(const std::u16string&, std::u16string_view) const override { return false; }
};

struct PartitionSnapshotEntry {
    std::uint32_t index = 0;
    std::int32_t partitionNumber = -1; // -1 for a gap
    std::uint64_t start = 0, length = 0;
    float weight = 0, share = 0;
    std::uint8_t kind = partkind::kGap;
    char letter = 0; // of the lettered volume, 0 when none
    bool hasVolume = false;
    std::u16string volumePath, root, label, fileSystem;
};

struct PartitionSnapshot {
    bool hasLayout = false; // the layout below was read (it may still be unusable)
    DriveLayout layout;
    std::uint64_t diskBytes = 0;
    std::vector<PartitionSnapshotEntry> entries; // ascending start, at most kMaxSnapshotEntries
};

// Whether the layout describes partitions worth walking; an unusable one shows the disk as free.
bool IsUsableLayout(const DriveLayout& layout);

// Builds the snapshot from a layout (null: none could be read). Entries past the disk's end are
// cut at it; layout entries are taken in disk order whatever order the table lists them in.
// `diskBytes` 0 means unknown: the disk then ends where its last partition does.
void BuildPartitionSnapshot(const DriveLayout* layout, std::uint64_t diskBytes,
                            const VolumeLookup& volumes, PartitionSnapshot& out);

// Reads the layout of the disk at registry path `diskPath` through the storage back end in use
// (Windows, Linux, or simulated drives) and builds its snapshot; a layout that cannot be read
// gives the whole disk as free space. Returns the layout read's error (the snapshot is built in
// any case).
ErrorCode BuildDiskPartitionSnapshot(const std::string& diskPath, std::uint64_t diskBytes,
                                     const VolumeLookup& volumes, PartitionSnapshot& out);

// The volume lookup of the platform for the disk at registry path `diskPath`; never null (a
// lookup that finds nothing when the disk cannot be resolved).
std::unique_ptr<VolumeLookup> NewPlatformVolumeLookup(const std::string& diskPath);

} // namespace tvd
