// Copy engines: one per partition, chosen by its file-system kind in one table. The sector
// engine copies a partition sector by sector at its full length; the file-system-aware engines
// take over their kinds' rows as they come.
#pragma once
#include <cstdint>
#include <memory>

#include "foundation/clzoltitem.h"
#include "foundation/errorcodes.h"

namespace tvd {

class clCustomDriveCloneProcess;

class clCustomDriveClone {
public:
    TVD_ISA_ROOT(clCustomDriveClone)
    explicit clCustomDriveClone(clCustomDriveCloneProcess* p) : process(p) {}
    clCustomDriveClone(const clCustomDriveClone&) = delete;
    clCustomDriveClone& operator=(const clCustomDriveClone&) = delete;
    virtual ~clCustomDriveClone() = default;
    virtual ErrorCode Clone() = 0;
    // Reads the source's structures without writing anything.
    virtual ErrorCode Inspect() = 0;

    clCustomDriveCloneProcess* process;
};

// Sector by sector. The first 1 MiB (the boot sector, and FAT32's backup boot sector and
// FSInfo) is copied last, so that a copy that stops early leaves the target partition without a
// valid boot sector.
class clUnknownDriveClone : public clCustomDriveClone {
public:
    TVD_ISA(clUnknownDriveClone, clCustomDriveClone)
    // Null when the process, its source or its target is missing or the source is empty.
    static std::unique_ptr<clCustomDriveClone> Create(clCustomDriveCloneProcess* process);
    ErrorCode Clone() override;
    ErrorCode Inspect() override;

private:
    using clCustomDriveClone::clCustomDriveClone;
};

using CopyEngineFactory = std::unique_ptr<clCustomDriveClone> (*)(clCustomDriveCloneProcess*);
// The engine of a file-system kind; never null (every kind is at least copied by sector).
CopyEngineFactory CopyEngineForKind(std::uint8_t kind);

} // namespace tvd
