#include "storage/sim/simimagefile.h"

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

namespace tvd {

namespace {
constexpr std::size_t kZeroChunk = std::size_t(1) << 20;
} // namespace

bool simimage::OffsetFits(std::uint64_t offset, std::uint64_t length) {
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    return offset <= kMax && length <= kMax - offset;
}

bool SimImageFile::IsOpen() const {
    return native_ != kNoFile;
}

SimImageFile::SimImageFile(SimImageFile&& o) noexcept
    : native_(std::exchange(o.native_, kNoFile)), writable_(std::exchange(o.writable_, false)) {}

SimImageFile& SimImageFile::operator=(SimImageFile&& o) noexcept {
    if (this != &o) {
        Close();
        native_ = std::exchange(o.native_, kNoFile);
        writable_ = std::exchange(o.writable_, false);
    }
    return *this;
}

ErrorCode SimImageFile::Prepare(const std::string& path, std::uint64_t size, bool& created) {
    created = false;
    if (path.empty() || !simimage::OffsetFits(0, size)) return err::kInvalidParameter;
    SimImageFile f;
    ErrorCode e = f.Open(path, true);
    if (e == err::kFileNotFound) {
        if ((e = f.Create(path)) != err::kSuccess) return e;
        created = true;
    } else if (e) {
        return e;
    }
    std::uint64_t current = 0;
    if ((e = f.Size(current)) != err::kSuccess) return e;
    if (current >= size) return err::kSuccess;
    return f.SetSize(size);
}

ErrorCode SimImageFile::Zero(std::uint64_t offset, std::uint64_t length) {
    if (!IsOpen()) return err::kInvalidHandle;
    if (!writable_) return err::kAccessDenied;
    if (!simimage::OffsetFits(offset, length)) return err::kInvalidParameter;
    if (length == 0) return err::kSuccess;
    std::uint64_t size = 0;
    if (const ErrorCode e = Size(size)) return e;
    if (offset >= size) return err::kSuccess; // already reads as zeros
    length = std::min(length, size - offset);
    // A range reaching the end: cut the file there and grow it back, which leaves a hole.
    if (offset + length == size) {
        if (SetSize(offset) == err::kSuccess) return SetSize(size);
    }
    if (PunchHole(offset, length) == err::kSuccess) return err::kSuccess;
    const std::vector<std::uint8_t> zeros(
        static_cast<std::size_t>(std::min<std::uint64_t>(length, kZeroChunk)));
    for (std::uint64_t done = 0; done < length;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(length - done, kZeroChunk));
        if (const ErrorCode e = WriteAt(offset + done, ByteView(zeros.data(), n))) return e;
        done += n;
    }
    return err::kSuccess;
}

} // namespace tvd
