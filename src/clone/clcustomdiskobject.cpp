#include "clone/clcustomdiskobject.h"

#include <algorithm>
#include <cstring>

#include "clone/clonebufferutil.h"
#include "clone/clonelayout.h"
#include "clone/kernelclonefun.h"
#include "foundation/bytesutil.h"
#include "foundation/guidutil.h"

namespace tvd {

namespace {

void GuidBytes(const Guid& g, std::uint8_t (&out)[16]) {
    StoreLe<std::uint32_t>(out, 0, g.data1);
    StoreLe<std::uint16_t>(out, 4, g.data2);
    StoreLe<std::uint16_t>(out, 6, g.data3);
    std::memcpy(out + 8, g.data4, 8);
}

} // namespace

std::uint32_t DrawDiskSignature(const std::vector<std::uint32_t>& avoid) {
    for (;;) {
        Guid g;
        if (tvd::NewGuid(g) != err::kSuccess) g.data1 = TickCount() * 2654435761u;
        const std::uint32_t v = g.data1 ^ (std::uint32_t(g.data2) << 16 | g.data3);
        if (v != 0 && std::find(avoid.begin(), avoid.end(), v) == avoid.end()) return v;
    }
}

std::uint32_t clCustomDiskObject::ReadBytes(void*, std::uint64_t, std::uint32_t, ErrorCode& error) {
    error = err::kAccessDenied;
    return 0;
}

std::uint32_t clCustomDiskObject::WriteBytes(const void*, std::uint64_t, std::uint32_t,
                                             ErrorCode& error) {
    error = err::kAccessDenied;
    return 0;
}

ErrorCode clCustomDiskObject::ReadBytesAll(void* buffer, std::uint64_t offset,
                                           std::uint64_t length) {
    auto* p = static_cast<std::uint8_t*>(buffer);
    return TransferAll(length, [&](std::uint64_t done, std::uint32_t want, ErrorCode& e) {
        return ReadBytes(p + done, offset + done, want, e);
    });
}

ErrorCode clCustomDiskObject::WriteBytesAll(const void* buffer, std::uint64_t offset,
                                            std::uint64_t length) {
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    return TransferAll(length, [&](std::uint64_t done, std::uint32_t want, ErrorCode& e) {
        return WriteBytes(p + done, offset + done, want, e);
    });
}

bool clCustomDiskObject::QueryLabelAt(std::uint64_t, std::u16string&) {
    return false;
}
bool clCustomDiskObject::QueryCopyBytesAt(std::uint64_t, std::uint64_t&) {
    return false;
}
bool clCustomDiskObject::QueryNeededBytesAt(std::uint64_t, std::uint64_t&) {
    return false;
}
void clCustomDiskObject::NotifyWrittenAt(std::uint64_t, std::uint64_t) {}

bool clCustomDiskObject::SectorBytes(std::uint64_t count, std::uint64_t& bytes) const {
    if (bytesPerSector == 0 || count > ~std::uint64_t(0) / bytesPerSector) return false;
    bytes = count * bytesPerSector;
    return true;
}

ErrorCode clCustomDiskObject::ReadSectors(void* buffer, std::uint64_t first, std::uint64_t count) {
    if (!readable) return err::kAccessDenied;
    std::uint64_t offset = 0, bytes = 0;
    if (!SectorBytes(first, offset) || !SectorBytes(count, bytes)) return err::kInvalidParameter;
    return ReadBytesAll(buffer, offset, bytes);
}

ErrorCode clCustomDiskObject::WriteSectors(void* buffer, std::uint64_t first, std::uint64_t count) {
    if (!writable) return err::kWriteProtect;
    std::uint64_t offset = 0, bytes = 0;
    if (!SectorBytes(first, offset) || !SectorBytes(count, bytes)) return err::kInvalidParameter;
    if (first == 0 && count != 0 && signature != 0 && bytesPerSector >= 512)
        StoreLe<std::uint32_t>(MutableByteView(static_cast<std::uint8_t*>(buffer), bytes),
                               kMbrSignatureOffset, signature);
    return WriteBytesAll(buffer, offset, bytes);
}

ErrorCode clCustomDiskObject::ClearSectors(std::uint64_t first, std::uint64_t count) {
    if (!writable) return err::kWriteProtect;
    if (count == 0) return err::kSuccess;
    std::uint64_t total = 0;
    if (!SectorBytes(count, total)) return err::kInvalidParameter;
    const std::uint64_t chunkBytes =
        std::min<std::uint64_t>(total, kCloneChunkBytes) / bytesPerSector * bytesPerSector;
    if (chunkBytes == 0) return err::kInvalidParameter;
    if (!SharedBufferEnsure(chunkBytes)) {
        CloneErrorCode("ClearSectors alloc fail", err::kNoSystemResources);
        return err::kNoSystemResources;
    }
    const MutableByteView zero = SharedBuffer().first(chunkBytes);
    std::fill(zero.begin(), zero.end(), 0);
    const std::uint64_t chunk = chunkBytes / bytesPerSector;
    for (std::uint64_t done = 0; done < count;) {
        const std::uint64_t n = std::min(chunk, count - done);
        const ErrorCode e = WriteSectors(zero.data(), first + done, n);
        // Writing sector 0 stamps the signature into the chunk: later chunks must stay zero.
        if (first + done == 0) std::fill_n(zero.begin() + kMbrSignatureOffset, 4, 0);
        if (e != err::kSuccess) return e;
        done += n;
    }
    return err::kSuccess;
}

ErrorCode clCustomDiskObject::DeleteLayout() {
    return err::kAccessDenied;
}
ErrorCode clCustomDiskObject::WriteLayout(const std::uint8_t*, std::uint32_t) {
    return err::kAccessDenied;
}
ErrorCode clCustomDiskObject::WriteGptLayout(const std::vector<std::uint8_t>& layout) {
    if (const ErrorCode e = WriteGpt(this, layout)) return e;
    std::uint8_t protective[64] = {};
    std::uint8_t entry[16];
    ProtectiveMbrEntry(sectorCount, entry);
    std::memcpy(protective, entry, 16);
    return WriteLayout(protective, 4);
}
ErrorCode clCustomDiskObject::EndWrite(bool) {
    return err::kAccessDenied;
}

void clCustomDiskObject::SetLayoutInfo(LayoutInfo info) {
    layoutCount = info.count;
    layoutStyle = info.style;
    layoutBuffer = std::move(info.buffer);
}

std::uint32_t clCustomDiskObject::GetSignature() const {
    return signature;
}
void clCustomDiskObject::SetSignature(std::uint32_t value) {
    signature = value;
}
void clCustomDiskObject::GetDiskGuid(std::uint8_t (&out)[16]) const {
    std::memcpy(out, diskGuid, 16);
}
void clCustomDiskObject::SetDiskGuid(const std::uint8_t (&guid)[16]) {
    std::memcpy(diskGuid, guid, 16);
}
void clCustomDiskObject::GuidFromSignature() {
    std::memset(diskGuid, 0, 16);
    StoreLe<std::uint32_t>(diskGuid, 0, signature);
}
void clCustomDiskObject::NewSignature() {
    SetSignature(DrawDiskSignature(avoidSignatures));
}
void clCustomDiskObject::NewGuid() {
    Guid g;
    if (tvd::NewGuid(g) != err::kSuccess) return;
    std::uint8_t bytes[16];
    GuidBytes(g, bytes);
    SetDiskGuid(bytes);
}

} // namespace tvd
