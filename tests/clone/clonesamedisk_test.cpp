// Whether a clone's source and target are one disk: the device number decides, a missing one
// decides nothing, and one unit reached by two paths is told by its serial, size and table.
#include <gtest/gtest.h>

#include "clone/clonecheckutil.h"

namespace tvd {
namespace {

CloneDiskIdentity Disk(const char* path, std::int64_t number, const char* serial = "S1",
                       std::uint32_t signature = 0x11223344) {
    CloneDiskIdentity d;
    d.path = path;
    d.numbered = number >= 0;
    d.deviceType = 7;
    d.deviceNumber = number;
    d.serial = serial;
    d.length = 500107862016ull;
    d.style = 0;
    d.mbrSignature = signature;
    return d;
}

TEST(CloneSameDisk, DecisionTable) {
    struct Case {
        const char* what;
        CloneDiskIdentity a, b;
        SameDiskAnswer expected;
    };
    CloneDiskIdentity gptA = Disk("PHYSICALDRIVE1", 1), gptB = Disk("PHYSICALDRIVE2", 2);
    gptA.style = gptB.style = 1;
    gptA.gptDiskId[3] = gptB.gptDiskId[3] = 0x5A;
    CloneDiskIdentity gptOther = gptB;
    gptOther.gptDiskId[15] = 1;
    CloneDiskIdentity otherType = Disk("CDROM1", 1);
    otherType.deviceType = 2;
    CloneDiskIdentity longer = Disk("PHYSICALDRIVE2", 2);
    longer.length += 4096;
    CloneDiskIdentity gone = Disk("PHYSICALDRIVE2", 2);
    gone.deviceNumber = -1; // read, but "none"
    const Case cases[] = {
        {"one device number", Disk("PHYSICALDRIVE1", 1), Disk("GLOBALROOT\\DEVICE\\HARDDISK1", 1),
         SameDiskAnswer::kSame},
        {"one path in two spellings", Disk("\\\\.\\PhysicalDrive1", -1), Disk("PHYSICALDRIVE1", -1),
         SameDiskAnswer::kSame},
        {"different numbers, serials and tables", Disk("PHYSICALDRIVE1", 1),
         Disk("PHYSICALDRIVE2", 2, "S2", 0x55667788), SameDiskAnswer::kDifferent},
        {"an earlier clone: same table, another serial", Disk("PHYSICALDRIVE1", 1),
         Disk("PHYSICALDRIVE2", 2, "S2"), SameDiskAnswer::kDifferent},
        {"one unit on two paths (MBR)", Disk("PHYSICALDRIVE1", 1), Disk("PHYSICALDRIVE2", 2),
         SameDiskAnswer::kSame},
        {"one unit on two paths (GPT)", gptA, gptB, SameDiskAnswer::kSame},
        {"same serial, another GPT disk", gptA, gptOther, SameDiskAnswer::kDifferent},
        {"same serial, another size", Disk("PHYSICALDRIVE1", 1), longer,
         SameDiskAnswer::kDifferent},
        {"same serial, no table identity", Disk("PHYSICALDRIVE1", 1, "S1", 0),
         Disk("PHYSICALDRIVE2", 2, "S1", 0), SameDiskAnswer::kDifferent},
        {"no serials, same table", Disk("PHYSICALDRIVE1", 1, ""), Disk("PHYSICALDRIVE2", 2, ""),
         SameDiskAnswer::kDifferent},
        {"another device type, same number", Disk("PHYSICALDRIVE1", 1, "A"), otherType,
         SameDiskAnswer::kDifferent},
        {"source number unreadable", Disk("PHYSICALDRIVE1", -1), Disk("PHYSICALDRIVE2", 2, "S2"),
         SameDiskAnswer::kUnknown},
        {"target number none", Disk("PHYSICALDRIVE1", 1), gone, SameDiskAnswer::kUnknown},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CompareCloneDisks(c.a, c.b), c.expected) << c.what;
    // Symmetric.
    for (const Case& c : cases)
        EXPECT_EQ(CompareCloneDisks(c.b, c.a), c.expected) << c.what << " (swapped)";
}

} // namespace
} // namespace tvd
