// The clone's buffers: page-aligned blocks for direct device I/O, the program-wide shared
// buffer the partition copies use, and the path buffers the copy engines and the progress page
// share. All of them are used by one copy at a time on the job thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/bytesutil.h"

namespace tvd {

inline constexpr std::size_t kClonePageSize = 4096;
// The largest transfer of a partition copy and of a disk object's system call.
inline constexpr std::uint32_t kCloneChunkBytes = 1u << 20;
// UTF-16 code units of currentPath and displayPath.
inline constexpr std::size_t kClonePathUnits = 32771;

// An owned page-aligned block.
class AlignedBuffer {
public:
    AlignedBuffer() = default;
    ~AlignedBuffer() { Free(); }
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;
    // Frees the old block first; false (and no block) when memory runs out.
    bool Allocate(std::size_t size);
    void Free();
    std::uint8_t* Data() const { return data_; }
    std::size_t Size() const { return size_; }
    MutableByteView View() const { return {data_, size_}; }

private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

bool IsPageAligned(const void* p);

// The shared buffer, grown to the largest size asked for (the old block freed first); false
// with "Allocate buffer [%i] bytes fail" logged when memory runs out.
bool SharedBufferEnsure(std::size_t size);
MutableByteView SharedBuffer();
// Frees it (tests; the program keeps it until it ends).
void SharedBufferRelease();

// The path of the file being copied and its shortened form for the progress page.
std::u16string* CurrentPath();
std::u16string* DisplayPath();
// Writes the prefix of a partition's paths into currentPath: "X:\" for a drive letter, else
// the mount point or device node given (Linux), else "\"; its length, −1 without buffers.
int SetPathPrefix(char letter, std::u16string_view root = {});

} // namespace tvd
