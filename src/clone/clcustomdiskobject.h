// Disk objects of the clone: the source disk (read-only) and the target disk (read-write), each
// over an open whole-disk handle, read and written by sector. The base class holds the disk's
// identity (MBR signature, disk GUID), its geometry and its layout, and the sector operations
// built on the byte transfers its descendants supply.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/clzoltitemlist.h"
#include "foundation/errorcodes.h"

namespace tvd {

namespace diskstyle {
inline constexpr std::uint8_t kRaw = 0; // no partition table: the whole disk is one volume
inline constexpr std::uint8_t kMbr = 1;
inline constexpr std::uint8_t kGpt = 2;
} // namespace diskstyle

// Offset of the MBR disk signature in sector 0.
inline constexpr std::size_t kMbrSignatureOffset = 440;

struct LayoutInfo {
    std::uint32_t count = 0;
    std::uint8_t style = diskstyle::kRaw;
    std::vector<std::uint8_t> buffer;
};

class clCustomDiskObject : public clZoltObjectList {
public:
    TVD_ISA_ROOT(clCustomDiskObject)
    clCustomDiskObject() = default;

    std::uint32_t signature = 0;
    std::uint8_t diskGuid[16] = {};
    bool readable = false;
    bool writable = false;
    bool holdsWindows = false;
    std::uint32_t bytesPerSector = 512;
    std::uint64_t sectorCount = 0;
    std::uint32_t tracksPerCylinder = 255;
    std::uint32_t layoutCount = 0;
    std::uint8_t layoutStyle = diskstyle::kRaw;
    std::vector<std::uint8_t> layoutBuffer;
    // Signatures NewSignature must not draw (the source's, the present disks').
    std::vector<std::uint32_t> avoidSignatures;

    // Bytes moved by one call (at most 1 MiB); the base answers 5 (not available).
    virtual std::uint32_t ReadBytes(void* buffer, std::uint64_t offset, std::uint32_t length,
                                    ErrorCode& error);
    // Repeats ReadBytes until `length` is read; a transfer of 0 bytes without an error is the
    // device's end (38), never a reason to try again.
    virtual ErrorCode ReadBytesAll(void* buffer, std::uint64_t offset, std::uint64_t length);
    virtual std::uint32_t WriteBytes(const void* buffer, std::uint64_t offset, std::uint32_t length,
                                     ErrorCode& error);
    virtual ErrorCode WriteBytesAll(const void* buffer, std::uint64_t offset, std::uint64_t length);
    // Hooks through which a disk could answer for its partitions; these disks never do.
    virtual bool QueryLabelAt(std::uint64_t offset, std::u16string& label);
    virtual bool QueryCopyBytesAt(std::uint64_t offset, std::uint64_t& count);
    virtual bool QueryNeededBytesAt(std::uint64_t offset, std::uint64_t& count);
    virtual void NotifyWrittenAt(std::uint64_t offset, std::uint64_t bytes);
    // 5 unless readable.
    virtual ErrorCode ReadSectors(void* buffer, std::uint64_t first, std::uint64_t count);
    // 19 unless writable. A write of sector 0 carries the object's signature at 440 (when set).
    virtual ErrorCode WriteSectors(void* buffer, std::uint64_t first, std::uint64_t count);
    // Zeroes `count` sectors from `first` with one zeroed chunk of at most 1 MiB.
    virtual ErrorCode ClearSectors(std::uint64_t first, std::uint64_t count);
    virtual ErrorCode DeleteLayout();
    virtual ErrorCode WriteLayout(const std::uint8_t* entries, std::uint32_t count);
    // A finalized GPT layout (FinalizeGpt): by default both headers and arrays as sectors, then
    // the protective MBR through WriteLayout.
    virtual ErrorCode WriteGptLayout(const std::vector<std::uint8_t>& layout);
    virtual ErrorCode EndWrite(bool success);
    virtual void SetLayoutInfo(LayoutInfo info);
    virtual std::uint32_t GetSignature() const;
    virtual void SetSignature(std::uint32_t value);
    virtual void GetDiskGuid(std::uint8_t (&out)[16]) const;
    virtual void SetDiskGuid(const std::uint8_t (&guid)[16]);
    // diskGuid = the signature in the first four bytes (little-endian), zeros after.
    virtual void GuidFromSignature();
    // A random signature that is not 0 and none of avoidSignatures.
    virtual void NewSignature();
    virtual void NewGuid();

protected:
    // Bytes of `count` sectors, false when it does not fit 64 bits.
    bool SectorBytes(std::uint64_t count, std::uint64_t& bytes) const;
};

// Draws a random 32-bit value that is neither 0 nor any of `avoid`.
std::uint32_t DrawDiskSignature(const std::vector<std::uint32_t>& avoid);

} // namespace tvd
