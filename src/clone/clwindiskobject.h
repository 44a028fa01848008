// The disk object over an open whole disk: the back end's clone handle (Windows unbuffered with
// the target's volumes locked, Linux O_DIRECT with an exclusive target, or a simulated drive),
// at most 1 MiB per transfer. Direct I/O takes page-aligned buffers of whole sectors: a caller's
// buffer that is not is bounced through one of the object's own.
#pragma once
#include <cstdint>
#include <string>

#include "clone/clcustomdiskobject.h"
#include "clone/clonebufferutil.h"
#include "storage/storageplatform.h"

namespace tvd {

// True where the platform's own back end writes partition tables through system requests
// (Windows); the clone then never falls back to writing the sectors itself.
bool SystemWritesPartitionTables();

class clWinDiskObject : public clCustomDiskObject {
public:
    TVD_ISA(clWinDiskObject, clCustomDiskObject)
    clWinDiskObject() = default;
    ~clWinDiskObject() override = default;

    // Opens the disk at a device path of the back end in use and takes its sector size, sector
    // count and tracks per cylinder (255 when the geometry cannot be read).
    ErrorCode Open(const std::string& path, CloneOpenMode mode);
    bool IsOpen() const { return handle_.IsOpen(); }
    const std::string& Path() const { return path_; }
    void Close() { handle_.Close(); }

    std::uint32_t ReadBytes(void* buffer, std::uint64_t offset, std::uint32_t length,
                            ErrorCode& error) override;
    std::uint32_t WriteBytes(const void* buffer, std::uint64_t offset, std::uint32_t length,
                             ErrorCode& error) override;
    // Both tables' areas zeroed (the system's own request where it has one).
    ErrorCode DeleteLayout() override;
    // Windows writes the tables itself (a new disk, then its layout, through the system's
    // requests); elsewhere the MBR list goes as sectors (extended boot records, then sector 0)
    // and a GPT as both headers and arrays, then the protective MBR.
    ErrorCode WriteLayout(const std::uint8_t* entries, std::uint32_t count) override;
    ErrorCode WriteGptLayout(const std::vector<std::uint8_t>& layout) override;
    // Flushes what was written, closes the handle (which unlocks the volumes); after a
    // committed table the system is asked to read it again (and remounts the volumes). A
    // failed flush is the result: the copy may not be on the medium.
    ErrorCode EndWrite(bool success) override;

private:
    // True when the platform's own back end is in use (not simulated drives).
    static bool NativeBackEnd();
    // The system writes the tables: the platform's back end on a platform that has the requests.
    static bool SystemTables() { return NativeBackEnd() && SystemWritesPartitionTables(); }
    // The sector-aligned span covering [offset, offset + length), bounded to the bounce buffer.
    bool Bounce();
    DeviceHandle handle_;
    std::string path_;
    AlignedBuffer bounce_;
};

} // namespace tvd
