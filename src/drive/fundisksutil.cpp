#include "drive/fundisksutil.h"

#include <memory>
#include <utility>

#include "foundation/clzoltitemlist.h"

namespace tvd {

namespace {

struct Registry {
    std::unique_ptr<clZoltItemList> list;
    FunDiskHandlers handlers;
    const clDisk* systemDisk = nullptr;
};

Registry& State() {
    static Registry registry;
    return registry;
}

clFunDisk* AsFunDisk(clZoltItem* item) {
    return static_cast<clFunDisk*>(item);
}

} // namespace

bool FunDisksCreateRegistry() {
    Registry& r = State();
    if (!r.list) r.list.reset(new (std::nothrow) clZoltItemList);
    return r.list != nullptr;
}

void FunDisksDestroyRegistry() {
    Registry& r = State();
    if (!r.list) return;
    // Entries may outlive the registry in other holders; none of them may reach the device
    // lists, which go away with it.
    for (clZoltItem* item : *r.list)
        AsFunDisk(item)->Detach();
    r.list.reset();
    r.systemDisk = nullptr;
}

bool FunDisksExists() {
    return State().list != nullptr;
}

void FunDisksSetHandlers(FunDiskHandlers handlers) {
    State().handlers = std::move(handlers);
}

void FunDisksSetSystemDisk(const clDisk* disk) {
    State().systemDisk = disk;
}

const clDisk* FunDisksSystemDisk() {
    return State().systemDisk;
}

clFunDisk* FunDisksFirst() {
    const Registry& r = State();
    return r.list ? AsFunDisk(r.list->First()) : nullptr;
}

clFunDisk* FunDisksNext(const clFunDisk* fd) {
    return fd ? AsFunDisk(fd->Next()) : nullptr;
}

std::size_t FunDisksCount() {
    const Registry& r = State();
    return r.list ? r.list->Count() : 0;
}

clFunDisk* FunDisksFind(const clDisk* disk) {
    if (!disk) return nullptr;
    for (clFunDisk* fd = FunDisksFirst(); fd; fd = FunDisksNext(fd))
        if (fd->disk == disk) return fd;
    return nullptr;
}

clFunDisk* FunDisksLowest() {
    clFunDisk* best = nullptr;
    for (clFunDisk* fd = FunDisksFirst(); fd; fd = FunDisksNext(fd))
        if (!best || fd->diskNumber < best->diskNumber) best = fd;
    return best;
}

clFunDisk* FunDisksNextAbove(std::uint32_t number) {
    clFunDisk* best = nullptr;
    for (clFunDisk* fd = FunDisksFirst(); fd; fd = FunDisksNext(fd))
        if (fd->diskNumber > number && (!best || fd->diskNumber < best->diskNumber)) best = fd;
    return best;
}

clFunDisk* FunDisksSystem() {
    return FunDisksFind(State().systemDisk);
}

bool FunDisksAdd(clDisk* disk) {
    Registry& r = State();
    if (!r.list || !disk || FunDisksFind(disk)) return false;
    ZoltRef<clFunDisk> fd = FunDiskCreate(disk, r.systemDisk);
    if (!fd || !r.list->Append(fd.Get())) return false;
    if (r.handlers.added) r.handlers.added(fd.Get());
    CloseHandles(fd.Get());
    return true;
}

bool FunDisksRemove(const clDevice* device) {
    Registry& r = State();
    if (!r.list || !device) return false;
    clFunDisk* found = nullptr;
    for (clFunDisk* fd = FunDisksFirst(); fd && !found; fd = FunDisksNext(fd))
        if (fd->disk == device) found = fd;
    if (!found) return false;
    ZoltRef<clFunDisk> hold(found); // keeps it alive through the handler
    r.list->Remove(found);
    if (r.handlers.removed) r.handlers.removed(found);
    found->Detach();
    return true;
}

void FunDisksDropPartitions() {
    for (clFunDisk* fd = FunDisksFirst(); fd; fd = FunDisksNext(fd))
        fd->partitions.reset();
}

} // namespace tvd
