#include "clone/clwindiskobject.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "clone/clonelayout.h"
#include "clone/kernelclonefun.h"
#include "drive/kernelfun.h"

namespace tvd {

ErrorCode clWinDiskObject::Open(const std::string& path, CloneOpenMode mode) {
    handle_.Close();
    path_ = path;
    readable = writable = false;
    const ErrorCode e = Storage().OpenForClone(path, mode, handle_);
    if (e != err::kSuccess) return e;
    DiskGeometry geometry;
    std::uint64_t length = 0;
    if (Storage().GetLength(handle_, length) != err::kSuccess) length = 0;
    if (Storage().GetGeometry(handle_, geometry) == err::kSuccess) {
        if (geometry.bytesPerSector >= 512 && geometry.bytesPerSector <= 65536 &&
            (geometry.bytesPerSector & (geometry.bytesPerSector - 1)) == 0)
            bytesPerSector = geometry.bytesPerSector;
        tracksPerCylinder = geometry.tracksPerCylinder ? geometry.tracksPerCylinder : 255;
    } else {
        tracksPerCylinder = 255;
    }
    sectorCount = length / bytesPerSector;
    readable = true;
    writable = mode == CloneOpenMode::kTarget && handle_.Writable();
    return err::kSuccess;
}

bool clWinDiskObject::Bounce() {
    return bounce_.Data() || bounce_.Allocate(kCloneChunkBytes + 2 * std::size_t(bytesPerSector));
}

std::uint32_t clWinDiskObject::ReadBytes(void* buffer, std::uint64_t offset, std::uint32_t length,
                                         ErrorCode& error) {
    error = err::kSuccess;
    if (!handle_.IsOpen()) {
        error = err::kFileNotFound;
        return 0;
    }
    std::uint32_t n = std::min(length, kCloneChunkBytes);
    if (n == 0) return 0;
    const std::uint32_t bps = bytesPerSector;
    if (IsPageAligned(buffer) && offset % bps == 0 && n % bps == 0) {
        error = Storage().ReadAt(handle_, offset,
                                 MutableByteView(static_cast<std::uint8_t*>(buffer), n));
        return error == err::kSuccess ? n : 0;
    }
    if (!Bounce()) {
        error = err::kNoSystemResources;
        return 0;
    }
    const std::uint64_t start = offset / bps * bps;
    const std::uint32_t lead = std::uint32_t(offset - start);
    const std::uint64_t span = (std::uint64_t(lead) + n + bps - 1) / bps * bps;
    error = Storage().ReadAt(handle_, start, bounce_.View().first(span));
    if (error != err::kSuccess) return 0;
    std::memcpy(buffer, bounce_.Data() + lead, n);
    return n;
}

std::uint32_t clWinDiskObject::WriteBytes(const void* buffer, std::uint64_t offset,
                                          std::uint32_t length, ErrorCode& error) {
    error = err::kSuccess;
    if (!handle_.IsOpen()) {
        error = err::kFileNotFound;
        return 0;
    }
    std::uint32_t n = std::min(length, kCloneChunkBytes);
    if (n == 0) return 0;
    const std::uint32_t bps = bytesPerSector;
    if (IsPageAligned(buffer) && offset % bps == 0 && n % bps == 0) {
        error = Storage().WriteAt(handle_, offset,
                                  ByteView(static_cast<const std::uint8_t*>(buffer), n));
        return error == err::kSuccess ? n : 0;
    }
    if (!Bounce()) {
        error = err::kNoSystemResources;
        return 0;
    }
    const std::uint64_t start = offset / bps * bps;
    const std::uint32_t lead = std::uint32_t(offset - start);
    const std::uint64_t span = (std::uint64_t(lead) + n + bps - 1) / bps * bps;
    // Part of a sector: the rest of it is kept.
    if (lead != 0 || n % bps != 0) {
        error = Storage().ReadAt(handle_, start, bounce_.View().first(span));
        if (error != err::kSuccess) return 0;
    }
    std::memcpy(bounce_.Data() + lead, buffer, n);
    error = Storage().WriteAt(handle_, start, bounce_.View().first(span));
    return error == err::kSuccess ? n : 0;
}

ErrorCode clWinDiskObject::DeleteLayout() {
    if (!handle_.IsOpen()) return err::kFileNotFound;
    if (!writable) return err::kWriteProtect;
    const ErrorCode e = Storage().DeleteLayout(handle_);
    // A back end without the request (an image file) gets the same zeros written here.
    if (e == err::kNotSupported || e == err::kInvalidFunction) return ZeroLayoutAreas(this);
    return e;
}

bool clWinDiskObject::NativeBackEnd() {
    return std::string(Storage().Name()) == NativeStorage().Name();
}

// Where the system writes tables its refusal is the result (Wine, for one, answers
// ERROR_NOT_SUPPORTED), never covered by writing the sectors here; elsewhere they are written
// here.
ErrorCode clWinDiskObject::WriteLayout(const std::uint8_t* entries, std::uint32_t count) {
    if (!handle_.IsOpen()) return err::kFileNotFound;
    if (!writable) return err::kWriteProtect;
    if (!SystemTables()) return WriteMbrList(this, entries, count);
    std::vector<PartitionEntry> parts;
    if (const ErrorCode e = SystemMbrPartitions(entries, count, bytesPerSector, parts)) return e;
    const ErrorCode e = Storage().CreateMbrLayout(handle_, signature, parts);
    if (e != err::kSuccess) CloneErrorCode("The system refused the new MBR layout", e);
    return e;
}

ErrorCode clWinDiskObject::WriteGptLayout(const std::vector<std::uint8_t>& layout) {
    if (!handle_.IsOpen()) return err::kFileNotFound;
    if (!writable) return err::kWriteProtect;
    if (!SystemTables()) return clCustomDiskObject::WriteGptLayout(layout);
    DriveLayout drive;
    if (const ErrorCode e = SystemGptLayout(layout, bytesPerSector, drive)) return e;
    const ErrorCode e = Storage().CreateGptLayout(handle_, drive);
    if (e != err::kSuccess) CloneErrorCode("The system refused the new GPT layout", e);
    return e;
}

ErrorCode clWinDiskObject::EndWrite(bool success) {
    if (!handle_.IsOpen()) return err::kFileNotFound;
    const bool wrote = writable;
    ErrorCode result = err::kSuccess;
    if (wrote) {
        const ErrorCode e = Storage().FlushBuffers(handle_);
        if (e != err::kSuccess && e != err::kNotSupported) result = e;
    }
    handle_.Close();
    writable = false;
    // The simulated drives notice a changed table themselves; a real disk is told. A busy disk
    // (something opened a partition at once) refuses, and its table is read on the next open.
    if (success && wrote && NativeBackEnd()) UpdateDiskProperties(path_);
    return result;
}

} // namespace tvd
