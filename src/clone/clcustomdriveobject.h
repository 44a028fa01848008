// Partition objects of the clone: a source partition reads through its volume or, as here, its
// disk at its start; a target partition writes through the target disk at its start. Offsets
// and sector numbers are relative to the partition.
#pragma once
#include <cstdint>
#include <string>

#include "foundation/clzoltitem.h"
#include "foundation/errorcodes.h"

namespace tvd {

class clCloneSourceDisk;
class clCustomDiskObject;
class clFunDrive;

// The geometry a copy engine works with; the FAT and NTFS engines add their values.
struct CloneFsInfo {
    std::uint32_t bytesPerSector = 512;
    std::uint64_t sectorCount = 0;
    std::uint32_t bytesPerCluster = 0;
    // The largest unit the engine moves at once (a FAT, the root directory, a cluster ...).
    std::uint64_t largestUnit = 0;
};

class clCustomDriveObject : public clZoltObject {
public:
    TVD_ISA_ROOT(clCustomDriveObject)
    clCustomDriveObject() = default;

    std::uint8_t partitionGuid[16] = {};
    bool readable = false;
    bool writable = false;
    CloneFsInfo fsInfo;
    std::uint64_t startSector = 0;
    std::uint64_t highWater = 0;
    char driveLetter = 0;
    std::uint8_t fsKind = 0;
    std::uint32_t maxCluster = 0;
    std::int32_t biosDriveNumber = 0x80;

    virtual std::uint32_t ReadBytes(void* buffer, std::uint64_t offset, std::uint32_t length,
                                    ErrorCode& error);
    virtual ErrorCode ReadBytesAll(void* buffer, std::uint64_t offset, std::uint64_t length);
    virtual std::uint32_t WriteBytes(const void* buffer, std::uint64_t offset, std::uint32_t length,
                                     ErrorCode& error);
    virtual ErrorCode WriteBytesAll(const void* buffer, std::uint64_t offset, std::uint64_t length);
    virtual ErrorCode ReadSectors(void* buffer, std::uint64_t first, std::uint64_t count);
    virtual ErrorCode WriteSectors(void* buffer, std::uint64_t first, std::uint64_t count);
    virtual ErrorCode ClearSectors(std::uint64_t first, std::uint64_t count);
    virtual bool GetLabel(std::u16string& label);
    // Every partition is copied at its full length, whatever it holds.
    virtual std::uint64_t GetCopyBytes();
    virtual std::uint64_t GetNeededBytes();
    virtual void NotifyWritten(std::uint64_t bytes);
    std::uint64_t GetStartOffset() const { return startSector * fsInfo.bytesPerSector; }
    virtual std::uint32_t GetDiskTracks();
    virtual void GetDiskGuid(std::uint8_t (&out)[16]);
    virtual std::uint32_t GetSignature();
    virtual std::uint8_t GetDiskStyle();
    void GetPartitionGuid(std::uint8_t (&out)[16]) const;
    void SetPartitionGuid(const std::uint8_t (&guid)[16]);
    // 16 zero bytes with the 64-bit start offset in the first eight (little-endian).
    void GuidFromOffset();
    void NewGuid();
    virtual ErrorCode CreateSnapshot() { return err::kSuccess; }
    virtual void ReleaseSnapshot() {}

protected:
    // The byte range of `count` sectors from `first`, checked against the partition's size.
    bool SectorRange(std::uint64_t first, std::uint64_t count, std::uint64_t& offset,
                     std::uint64_t& bytes) const;
};

// A partition of the source disk: read-only, read through the disk at its start (the stand-in
// partition has no volume handle).
class clCloneSourceDrive : public clCustomDriveObject {
public:
    TVD_ISA(clCloneSourceDrive, clCustomDriveObject)
    clCloneSourceDrive(clCloneSourceDisk* disk, clFunDrive* drive);

    std::uint32_t ReadBytes(void* buffer, std::uint64_t offset, std::uint32_t length,
                            ErrorCode& error) override;
    ErrorCode ReadSectors(void* buffer, std::uint64_t first, std::uint64_t count) override;
    bool GetLabel(std::u16string& label) override;
    std::uint64_t GetCopyBytes() override;
    std::uint64_t GetNeededBytes() override;
    std::uint32_t GetDiskTracks() override;
    void GetDiskGuid(std::uint8_t (&out)[16]) override;
    std::uint32_t GetSignature() override;
    std::uint8_t GetDiskStyle() override;

    clCloneSourceDisk* Disk() const { return disk_; }
    clFunDrive* Drive() const { return drive_; }

private:
    clCloneSourceDisk* disk_;
    clFunDrive* drive_;
};

// A partition of the target disk.
class clDiskDriveObject : public clCustomDriveObject {
public:
    TVD_ISA(clDiskDriveObject, clCustomDriveObject)
    explicit clDiskDriveObject(clCustomDiskObject* disk);

    ErrorCode ReadSectors(void* buffer, std::uint64_t first, std::uint64_t count) override;
    ErrorCode WriteSectors(void* buffer, std::uint64_t first, std::uint64_t count) override;
    ErrorCode ClearSectors(std::uint64_t first, std::uint64_t count) override;
    void NotifyWritten(std::uint64_t bytes) override;
    bool GetLabel(std::u16string& label) override;
    std::uint64_t GetCopyBytes() override;
    std::uint64_t GetNeededBytes() override;
    std::uint32_t GetDiskTracks() override;
    void GetDiskGuid(std::uint8_t (&out)[16]) override;
    std::uint32_t GetSignature() override;
    std::uint8_t GetDiskStyle() override;

private:
    clCustomDiskObject* disk_;
};

} // namespace tvd
