// The image file behind a simulated drive: reads and writes at explicit 64-bit offsets, sparse
// growth and cheap zeroing, through the platform's own file calls (pread/pwrite on Linux, the
// wide Win32 API with offsets on Windows) so that large images and Wine behave alike. Positioned
// calls never share a file pointer, so one open image may serve several threads. The file calls
// live in the platform folders (linux/linuxsimimagefile.cpp, win32/winsimimagefile.cpp).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"

namespace tvd {

class SimImageFile {
public:
    SimImageFile() = default;
    ~SimImageFile() { Close(); }
    SimImageFile(const SimImageFile&) = delete;
    SimImageFile& operator=(const SimImageFile&) = delete;
    SimImageFile(SimImageFile&& o) noexcept;
    SimImageFile& operator=(SimImageFile&& o) noexcept;

    // Makes sure the image at `path` (UTF-8) holds at least `size` bytes: a missing file is
    // created sparse, a shorter one is extended sparsely, a longer one is left alone. `created`
    // tells whether the file is new.
    static ErrorCode Prepare(const std::string& path, std::uint64_t size, bool& created);

    // Opens an existing image, read-write when `write` is asked and allowed, else read-only.
    ErrorCode Open(const std::string& path, bool write);
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
    ErrorCode Create(const std::string& path); // a new, empty file; fails when one exists
    ErrorCode SetSize(std::uint64_t size);
    // Releases a range's space so that it reads zeros; kNotSupported where the file system
    // cannot.
    ErrorCode PunchHole(std::uint64_t offset, std::uint64_t length);

    static constexpr std::intptr_t kNoFile = -1;
    std::intptr_t native_ = kNoFile; // the descriptor or handle
    bool writable_ = false;
};

namespace simimage {
// Transfers in pieces that every platform call accepts in one go.
inline constexpr std::size_t kPiece = std::size_t(1) << 30;
// A range whose end is a valid signed 64-bit file offset.
bool OffsetFits(std::uint64_t offset, std::uint64_t length);
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
