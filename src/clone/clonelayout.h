// The target layout over the disk objects: the plan made from the source's partitions and the
// target's size, the identities of the new disk and partitions, and the writes at the end of a
// clone (boot code, then the table, sector 0 last), read back and compared with the plan.
#pragma once
#include <cstdint>
#include <vector>

#include "clone/clonelayoututil.h"
#include "foundation/errorcodes.h"

namespace tvd {

class clCloneSourceDisk;
class clCloneTargetDisk;
class clCustomDiskObject;
class clDiskCloneProcess;
class clFunDrive;

// The copied partitions of a source, in source order, with the bytes each needs on the target.
std::vector<LayoutPart> LayoutPartsOf(const clCloneSourceDisk& source,
                                      std::vector<clFunDrive*>* drives = nullptr);
// The plan for this source on this target, without touching either. False with plan.failure set
// when the clone cannot be laid out (sector sizes differ, a bad source table, too small).
bool PlanForDisks(const clCloneSourceDisk& source, const clCustomDiskObject& target,
                  LayoutPlan& plan);

// The preparation's layout step: the plan, the target's layout and identities, one partition
// process per copied partition. Nothing is written. Logs why it fails.
bool PlanLayout(clDiskCloneProcess* process);
void AssignIdentities(clDiskCloneProcess* process, bool keepIdentity);

// After the copy: the source's boot code into the target's sector 0 with no table yet (and for
// an MBR the sectors before its first partition).
ErrorCode UpdateLoader(clDiskCloneProcess* process);
// The new table: GPT headers and arrays, MBR extended boot records, sector 0 last; then read
// back and compared with the plan.
ErrorCode CommitLayout(clDiskCloneProcess* process);
ErrorCode WriteGpt(clCustomDiskObject* target, const std::vector<std::uint8_t>& buffer);

// The portable table writers of a disk object (Linux, simulated drives): zero both tables'
// areas; write the MBR list's extended records, then sector 0 with the table and boot mark.
ErrorCode ZeroLayoutAreas(clCustomDiskObject* disk);
ErrorCode WriteMbrList(clCustomDiskObject* disk, const std::uint8_t* entries, std::uint32_t count);

} // namespace tvd
