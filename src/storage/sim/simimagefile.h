// The image file behind a simulated drive: reads and writes at explicit 64-bit offsets, sparse
// growth and cheap zeroing, through the platform's own file calls (pread/pwrite on Linux, the
// wide Win32 API with offsets on Windows) so that large images and Wine behave alike. Positioned
// calls never share a file pointer, so one open image may serve several threads.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"

namespace tvd {

// ERROR_CANT_RESOLVE_FILENAME: an image path through a symbolic link or reparse point.
inline constexpr ErrorCode kSimImageLink = 1921;

class SimImageFile {
public:
    SimImageFile() = default;
    ~SimImageFile() { Close(); }
    SimImageFile(const SimImageFile&) = delete;
    SimImageFile& operator=(const SimImageFile&) = delete;
    SimImageFile(SimImageFile&& o) noexcept;
    SimImageFile& operator=(SimImageFile&& o) noexcept;

    // Images live at `relative` ('/' between parts) inside `folder` (both UTF-8). No part of
    // `relative` is followed when it is a symbolic link or another reparse point: such a path
    // answers kSimImageLink, so an image can never reach a file outside the folder.

    // Makes sure the image holds at least `size` bytes: a missing file is created sparse, a
    // shorter one is extended sparsely, a longer one is left alone. `created` tells whether the
    // file is new.
    static ErrorCode Prepare(const std::string& folder, const std::string& relative,
                             std::uint64_t size, bool& created);

    // Opens an existing image, read-write when `write` is asked and allowed, else read-only.
    // kFileNotFound when it is missing or not a regular file.
    ErrorCode Open(const std::string& folder, const std::string& relative, bool write);
    void Close();
    bool IsOpen() const;
    bool Writable() const { return writable_; }

    ErrorCode Size(std::uint64_t& bytes) const;
    // Bytes past the file's end read as zeros, like the unwritten parts of a sparse file.
    ErrorCode ReadAt(std::uint64_t offset, MutableByteView data) const;
    ErrorCode WriteAt(std::uint64_t offset, ByteView data);
    // Zeros a range, releasing its space where the file system can.
    ErrorCode Zero(std::uint64_t offset, std::uint64_t length);

private:
    // The platform's file: a HANDLE on Windows, a descriptor elsewhere.
#ifdef _WIN32
    using Native = void*;
    static constexpr Native kNoFile = nullptr;
#else
    using Native = int;
    static constexpr Native kNoFile = -1;
#endif
    // A new, empty file; fails when anything (a link too) has the name.
    ErrorCode Create(const std::string& folder, const std::string& relative);
    ErrorCode SetSize(std::uint64_t size);
    // Releases a range's space so that it reads zeros; kNotSupported where the file system
    // cannot, and the caller writes zeros instead.
    ErrorCode PunchHole(std::uint64_t offset, std::uint64_t length);
    Native file_ = kNoFile;
    bool writable_ = false;
};

// Shared by the platform halves of the image file.
namespace simimage {
// Transfers in pieces that every platform call accepts in one go.
inline constexpr std::size_t kPiece = std::size_t(1) << 30;
// True when [offset, offset + length) fits a signed 64-bit file offset.
bool OffsetFits(std::uint64_t offset, std::uint64_t length);
// The parts of an image path ('/' or '\\' between them, empty and "." parts dropped); the drive
// file's parser has already refused "..", roots and drive letters.
std::vector<std::string> PathParts(const std::string& relative);
} // namespace simimage

// The sectors of a plugged drive as its command-set personalities reach them: byte offsets on
// the drive, with its write protection and injected faults applied by whoever implements it.
class SimMedium {
public:
    virtual ~SimMedium() = default;
    virtual ErrorCode Read(std::uint64_t offset, MutableByteView data) = 0;
    virtual ErrorCode Write(std::uint64_t offset, ByteView data) = 0;
    // Every sector reads zeros afterwards (erase and sanitize).
    virtual ErrorCode ZeroAll() = 0;
};

} // namespace tvd
