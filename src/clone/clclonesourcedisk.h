// The clone source: a functional disk opened read-only for the clone, with its partitions.
#pragma once
#include <memory>
#include <string>

#include "clone/clwindiskobject.h"
#include "clone/fundriveutil.h"
#include "drive/clfundisk.h"
#include "foundation/clzoltitemlist.h"
#include "storage/storagetypes.h"

namespace tvd {

class clCloneSourceDisk : public clCustomDiskObject {
public:
    TVD_ISA(clCloneSourceDisk, clCustomDiskObject)
    clCloneSourceDisk();
    ~clCloneSourceDisk() override;

    // Drops the previous disk, then opens this one (its device path) and reads its layout and
    // partitions. `systemDisk` sets holdsWindows.
    ErrorCode SetFunDisk(clFunDisk* disk, bool systemDisk);
    // The same for a device path of the back end in use (the command line, the tests).
    ErrorCode SetDevicePath(const std::string& path, bool systemDisk);

    ErrorCode ReadSectors(void* buffer, std::uint64_t first, std::uint64_t count) override;

    clFunDisk* FunDisk() const { return funDisk_.Get(); }
    clWinDiskObject* Device() const { return device_.get(); }
    const DriveLayout& Layout() const { return layout_; }
    // The partitions, in table order (containers and empty slots left out).
    clZoltObjectList drives;

private:
    void Drop();
    ErrorCode LoadPartitions();
    // Sector 0's signature, and the reader's layout as this object's (rebuilt from its fields).
    ErrorCode ReadLayout();
    ZoltRef<clFunDisk> funDisk_;
    std::unique_ptr<clWinDiskObject> device_;
    DriveLayout layout_;
};

} // namespace tvd
