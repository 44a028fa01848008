#include "clone/clclonetargetdisk.h"

#include "clone/kernelclonefun.h"
#include "drive/fundisksutil.h"
#include "foundation/bytesutil.h"
#include "storage/cldevice.h"
#include "storage/storageplatform.h"

namespace tvd {

clCloneTargetDisk::clCloneTargetDisk() {
    readable = true;
    writable = true;
}

clCloneTargetDisk::~clCloneTargetDisk() = default;

clWinDiskObject* clCloneTargetDisk::Member(int index) const {
    if (index < 0 || index >= kCloneTargetMembers) return nullptr;
    return members_[index].device.get();
}

void clCloneTargetDisk::TakeGeometry(const clWinDiskObject& d) {
    tracksPerCylinder = d.tracksPerCylinder;
    bytesPerSector = d.bytesPerSector;
    sectorCount = d.sectorCount;
}

ErrorCode clCloneTargetDisk::SetMemberPath(int index, const std::string& path) {
    if (index < 0 || index >= kCloneTargetMembers) return err::kInvalidParameter;
    members_[index] = MemberSlot{};
    auto device = std::make_unique<clWinDiskObject>();
    if (const ErrorCode e = device->Open(path, CloneOpenMode::kTarget)) return e;
    if (!device->writable) return err::kWriteProtect;
    device->SetSignature(signature);
    TakeGeometry(*device);
    members_[index].device = std::move(device);
    return err::kSuccess;
}

ErrorCode clCloneTargetDisk::SetMember(int index, clFunDisk* disk) {
    if (index < 0 || index >= kCloneTargetMembers) return err::kInvalidParameter;
    if (!disk || !disk->disk || !disk->disk->GetPath()) {
        members_[index] = MemberSlot{};
        return err::kFileNotFound;
    }
    const ErrorCode e = SetMemberPath(index, disk->disk->GetPath());
    if (e == err::kSuccess) members_[index].disk.Reset(disk);
    return e;
}

ErrorCode clCloneTargetDisk::ReadSectors(void* buffer, std::uint64_t first, std::uint64_t count) {
    ErrorCode last = err::kFileNotFound;
    for (const MemberSlot& m : members_) {
        if (!m.device) continue;
        last = m.device->ReadSectors(buffer, first, count);
        if (last == err::kSuccess) return last;
    }
    return last;
}

ErrorCode clCloneTargetDisk::WriteSectors(void* buffer, std::uint64_t first, std::uint64_t count) {
    if (!writable) return err::kWriteProtect;
    ErrorCode result = err::kFileNotFound;
    for (int i = 0; i < kCloneTargetMembers; ++i) {
        clWinDiskObject* d = members_[i].device.get();
        if (!d) continue;
        result = d->WriteSectors(buffer, first, count);
        if (result != err::kSuccess) {
            CloneErrorCode(CloneFormatNarrow("Target Disk [%i] Write fail, LBA=[%I64u], Count=[%i]",
                                             {i, first, count}),
                           result);
            return result;
        }
    }
    return result;
}

ErrorCode clCloneTargetDisk::ClearSectors(std::uint64_t first, std::uint64_t count) {
    if (!writable) return err::kWriteProtect;
    ErrorCode result = err::kFileNotFound;
    for (int i = 0; i < kCloneTargetMembers; ++i) {
        clWinDiskObject* d = members_[i].device.get();
        if (!d) continue;
        result = d->ClearSectors(first, count);
        if (result != err::kSuccess) {
            CloneErrorCode(
                CloneFormatNarrow("Target Disk [%i] Clear fail, LBA=[%I64u], Count=[%i].",
                                  {i, first, count}),
                result);
            return result;
        }
    }
    return result;
}

ErrorCode clCloneTargetDisk::DeleteLayout() {
    ErrorCode last = err::kSuccess;
    for (const MemberSlot& m : members_)
        if (m.device)
            if (const ErrorCode e = m.device->DeleteLayout()) last = e;
    return last;
}

ErrorCode clCloneTargetDisk::WriteLayout(const std::uint8_t* entries, std::uint32_t count) {
    ErrorCode last = err::kSuccess;
    for (const MemberSlot& m : members_)
        if (m.device)
            if (const ErrorCode e = m.device->WriteLayout(entries, count)) last = e;
    return last;
}

ErrorCode clCloneTargetDisk::WriteGptLayout(const std::vector<std::uint8_t>& layout) {
    if (!writable) return err::kWriteProtect;
    ErrorCode last = err::kSuccess;
    for (const MemberSlot& m : members_)
        if (m.device)
            if (const ErrorCode e = m.device->WriteGptLayout(layout)) last = e;
    return last;
}

ErrorCode clCloneTargetDisk::EndWrite(bool success) {
    ErrorCode last = err::kSuccess;
    for (const MemberSlot& m : members_)
        if (m.device)
            if (const ErrorCode e = m.device->EndWrite(success)) last = e;
    writable = false;
    return last;
}

void clCloneTargetDisk::NotifyWrittenAt(std::uint64_t offset, std::uint64_t bytes) {
    for (const MemberSlot& m : members_)
        if (m.device) m.device->NotifyWrittenAt(offset, bytes);
}

void clCloneTargetDisk::SetSignature(std::uint32_t value) {
    clCustomDiskObject::SetSignature(value);
    for (const MemberSlot& m : members_)
        if (m.device) m.device->SetSignature(value);
}

void clCloneTargetDisk::SetDiskGuid(const std::uint8_t (&guid)[16]) {
    clCustomDiskObject::SetDiskGuid(guid);
    for (const MemberSlot& m : members_)
        if (m.device) m.device->SetDiskGuid(guid);
}

void clCloneTargetDisk::GuidFromSignature() {
    clCustomDiskObject::GuidFromSignature();
    SetDiskGuid(diskGuid);
}

void clCloneTargetDisk::NewSignature() {
    clCustomDiskObject::NewSignature();
    SetSignature(signature);
}

void clCloneTargetDisk::NewGuid() {
    clCustomDiskObject::NewGuid();
    SetDiskGuid(diskGuid);
}

void clCloneTargetDisk::AvoidPresentSignatures(const clCustomDiskObject* source) {
    avoidSignatures.clear();
    if (source && source->signature != 0) avoidSignatures.push_back(source->signature);
    for (clFunDisk* fd = FunDisksFirst(); fd; fd = FunDisksNext(fd)) {
        if (!fd->disk || !fd->disk->GetPath()) continue;
        DeviceHandle h;
        if (Storage().Open(fd->disk->GetPath(), h) != err::kSuccess) continue;
        std::uint8_t sector[4096];
        const std::uint32_t size =
            fd->bytesPerSector >= 512 && fd->bytesPerSector <= 4096 ? fd->bytesPerSector : 512;
        if (Storage().ReadAt(h, 0, MutableByteView(sector, size)) != err::kSuccess) continue;
        const std::uint32_t sig = Le<std::uint32_t>(ByteView(sector, size), kMbrSignatureOffset);
        if (sig != 0) avoidSignatures.push_back(sig);
    }
}

} // namespace tvd
