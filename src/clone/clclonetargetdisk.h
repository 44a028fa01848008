// The clone target: one member disk (the object is built for several) opened read-write and
// exclusive; operations forward to every member present and log each failing one.
#pragma once
#include <memory>
#include <string>

#include "clone/clwindiskobject.h"
#include "drive/clfundisk.h"

namespace tvd {

inline constexpr int kCloneTargetMembers = 1;

class clCloneTargetDisk : public clCustomDiskObject {
public:
    TVD_ISA(clCloneTargetDisk, clCustomDiskObject)
    clCloneTargetDisk();
    ~clCloneTargetDisk() override;

    // Replaces member `index` by this disk, opened as the clone's target; the object takes the
    // member's tracks per cylinder, sector size and count.
    ErrorCode SetMember(int index, clFunDisk* disk);
    ErrorCode SetMemberPath(int index, const std::string& path);
    clWinDiskObject* Member(int index) const;

    ErrorCode ReadSectors(void* buffer, std::uint64_t first, std::uint64_t count) override;
    ErrorCode WriteSectors(void* buffer, std::uint64_t first, std::uint64_t count) override;
    ErrorCode ClearSectors(std::uint64_t first, std::uint64_t count) override;
    ErrorCode DeleteLayout() override;
    ErrorCode WriteLayout(const std::uint8_t* entries, std::uint32_t count) override;
    ErrorCode WriteGptLayout(const std::vector<std::uint8_t>& layout) override;
    ErrorCode EndWrite(bool success) override;
    void NotifyWrittenAt(std::uint64_t offset, std::uint64_t bytes) override;
    void SetSignature(std::uint32_t value) override;
    void SetDiskGuid(const std::uint8_t (&guid)[16]) override;
    void GuidFromSignature() override;
    void NewSignature() override;
    void NewGuid() override;
    // Fills avoidSignatures with the source's signature and those of every disk present, so
    // that NewSignature never draws one that is in use.
    void AvoidPresentSignatures(const clCustomDiskObject* source);

private:
    struct MemberSlot {
        ZoltRef<clFunDisk> disk;
        std::unique_ptr<clWinDiskObject> device;
    };
    void TakeGeometry(const clWinDiskObject& d);
    MemberSlot members_[kCloneTargetMembers];
};

} // namespace tvd
