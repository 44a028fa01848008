// The disk registry: every functional disk of the process, in arrival order. It is filled and
// emptied from the device layer's arrival and removal states and never enumerates hardware
// itself. Window thread only.
#pragma once
#include <cstdint>
#include <functional>

#include "drive/clfundisk.h"

namespace tvd {

class clZoltItemList;

// What the window (or the command-line front end) does with arrivals and removals.
struct FunDiskHandlers {
    std::function<void(clFunDisk*)> added;   // the entry was appended
    std::function<void(clFunDisk*)> removed; // the entry was unlinked; it is detached afterwards
};

bool FunDisksCreateRegistry();
// Releases every entry (each is detached once its last holder lets go).
void FunDisksDestroyRegistry();
bool FunDisksExists();
void FunDisksSetHandlers(FunDiskHandlers handlers);
// The disk that holds the running system, or none.
void FunDisksSetSystemDisk(const clDisk* disk);
const clDisk* FunDisksSystemDisk();

clFunDisk* FunDisksFirst();
clFunDisk* FunDisksNext(const clFunDisk* fd);
std::size_t FunDisksCount();
clFunDisk* FunDisksFind(const clDisk* disk);
// Smallest disk number; among equal numbers the earlier arrival.
clFunDisk* FunDisksLowest();
// Smallest disk number above `number`; entries equal to it are skipped.
clFunDisk* FunDisksNextAbove(std::uint32_t number);
clFunDisk* FunDisksSystem();
// Wraps a disk not yet wrapped (refused disks are silently left out); the added handler runs and
// the handles are closed afterwards. True when an entry was appended.
bool FunDisksAdd(clDisk* disk);
// Unlinks the entry of `device`, runs the removed handler and detaches the entry from the
// device, which is about to be deleted. True when an entry was found.
bool FunDisksRemove(const clDevice* device);

// Discards every entry's partition snapshot (the layout changed); each is read again on request.
void FunDisksDropPartitions();

} // namespace tvd
