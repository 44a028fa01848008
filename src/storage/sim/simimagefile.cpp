#include "storage/sim/simimagefile.h"

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

namespace tvd {

namespace simimage {

bool OffsetFits(std::uint64_t offset, std::uint64_t length) {
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    return offset <= kMax && length <= kMax - offset;
}

std::vector<std::string> PathParts(const std::string& relative) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= relative.size()) {
        std::size_t end = relative.find_first_of("/\\", start);
        if (end == std::string::npos) end = relative.size();
        std::string part = relative.substr(start, end - start);
        if (!part.empty() && part != ".") parts.push_back(std::move(part));
        start = end + 1;
    }
    return parts;
}

} // namespace simimage

namespace {
constexpr std::size_t kZeroChunk = std::size_t(1) << 20;
} // namespace

using simimage::OffsetFits;

SimImageFile::SimImageFile(SimImageFile&& o) noexcept
    : file_(std::exchange(o.file_, kNoFile)), writable_(std::exchange(o.writable_, false)) {}

SimImageFile& SimImageFile::operator=(SimImageFile&& o) noexcept {
    if (this != &o) {
        Close();
        file_ = std::exchange(o.file_, kNoFile);
        writable_ = std::exchange(o.writable_, false);
    }
    return *this;
}

bool SimImageFile::IsOpen() const {
    return file_ != kNoFile;
}

ErrorCode SimImageFile::Prepare(const std::string& folder, const std::string& relative,
                                std::uint64_t size, bool& created) {
    created = false;
    if (relative.empty() || !OffsetFits(0, size)) return err::kInvalidParameter;
    SimImageFile f;
    ErrorCode e = f.Open(folder, relative, true);
    if (e == err::kFileNotFound) {
        if ((e = f.Create(folder, relative)) != err::kSuccess) return e;
        created = true;
    } else if (e) {
        return e;
    }
    if (!f.Writable()) return err::kAccessDenied;
    std::uint64_t current = 0;
    if ((e = f.Size(current)) != err::kSuccess) return e;
    if (current >= size) return err::kSuccess;
    return f.SetSize(size);
}

ErrorCode SimImageFile::Zero(std::uint64_t offset, std::uint64_t length) {
    if (!IsOpen()) return err::kInvalidHandle;
    if (!writable_) return err::kAccessDenied;
    if (!OffsetFits(offset, length)) return err::kInvalidParameter;
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
