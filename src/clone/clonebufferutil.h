// The clone's buffers: page-aligned blocks for direct device I/O, the program-wide shared
// buffer the partition copies use, and the path buffers the copy engines and the progress page
// share. All of them are used by one copy at a time on the job thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/alignedbuffer.h"
#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"

namespace tvd {

inline constexpr std::size_t kClonePageSize = 4096;
// The largest transfer of a partition copy and of a disk object's system call.
inline constexpr std::uint32_t kCloneChunkBytes = 1u << 20;
// UTF-16 code units of currentPath and displayPath.
inline constexpr std::size_t kClonePathUnits = 32771;

static_assert(AlignedBuffer::kAlignment == kClonePageSize);

bool IsPageAligned(const void* p);

// Moves `length` bytes in calls of at most one chunk: `step(done, want, error)` moves up to
// `want` bytes at `done` and returns how many. A call that moves nothing without an error is
// the device's end (38), never a reason to try again forever.
template <class Step> ErrorCode TransferAll(std::uint64_t length, Step step) {
    for (std::uint64_t done = 0; done < length;) {
        ErrorCode e = err::kSuccess;
        const auto want =
            std::uint32_t(length - done < kCloneChunkBytes ? length - done : kCloneChunkBytes);
        const std::uint32_t n = step(done, want, e);
        if (e != err::kSuccess) return e;
        if (n == 0) return err::kHandleEof;
        done += n;
    }
    return err::kSuccess;
}

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
