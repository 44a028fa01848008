// A disk whose device node the user may not open still answers the property queries from
// sysfs (OpenForQuery), while its commands and sectors stay closed to that user.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "storage/linux/linuxstorage.h"
#include "storage/linux/linuxsysfs.h"

namespace tvd {
namespace {

namespace fs = std::filesystem;

// Becomes another user for the life of the object (effective ids only).
class AsNobody {
public:
    AsNobody() { ok_ = ::setegid(65534) == 0 && ::seteuid(65534) == 0; }
    ~AsNobody() {
        if (::seteuid(0) != 0 || ::setegid(0) != 0) std::abort();
    }
    bool Ok() const { return ok_; }

private:
    bool ok_ = false;
};

TEST(LinuxQueryOnly, AClosedNodeStillAnswersItsQueries) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    std::string name;
    for (const auto& e : fs::directory_iterator("/sys/block")) {
        const std::string n = e.path().filename().string();
        struct stat st {};
        if (n.rfind("loop", 0) == 0 || n.rfind("ram", 0) == 0 || n.rfind("zram", 0) == 0) continue;
        if (::stat(("/dev/" + n).c_str(), &st) == 0 && S_ISBLK(st.st_mode) &&
            (st.st_mode & S_IROTH) == 0 && fs::exists(e.path() / "device")) {
            name = n;
            break;
        }
    }
    if (name.empty()) GTEST_SKIP() << "no disk here whose node others may not read";
    const std::string dir = "/sys/block/" + name, node = "/dev/" + name;
    LinuxStorage storage;
    DeviceHandle closed, query;
    ErrorCode openError = err::kSuccess, queryError = err::kGenFailure;
    {
        AsNobody nobody;
        if (!nobody.Ok()) GTEST_SKIP() << "cannot act as another user here";
        openError = storage.Open(node, closed);
        queryError = storage.OpenForQuery(node, query);
    }
    EXPECT_EQ(openError, err::kAccessDenied);
    ASSERT_EQ(queryError, err::kSuccess);
    EXPECT_FALSE(query.Writable());

    std::uint64_t bytes = 0;
    ASSERT_EQ(storage.GetLength(query, bytes), err::kSuccess);
    EXPECT_EQ(bytes, std::stoull(linuxsys::ReadAttr(dir, "size")) * 512);
    DiskGeometry g;
    ASSERT_EQ(storage.GetGeometry(query, g), err::kSuccess);
    EXPECT_EQ(std::to_string(g.bytesPerSector),
              linuxsys::ReadAttr(dir, "queue/logical_block_size"));
    StorageDeviceDescriptor d;
    EXPECT_EQ(storage.QueryDeviceDescriptor(query, d), err::kSuccess);
    EXPECT_NE(d.busType, bustype::kUnknown);
    DriveLayout layout;
    EXPECT_EQ(storage.GetDriveLayout(query, layout), err::kSuccess);
    std::size_t kernelParts = 0;
    for (const auto& e : fs::directory_iterator(dir))
        if (fs::exists(e.path() / "partition")) ++kernelParts;
    std::size_t parts = 0;
    for (const PartitionEntry& p : layout.partitions)
        parts += p.length != 0;
    EXPECT_LE(parts, kernelParts);
    // Nothing but queries: the sectors stay closed.
    std::vector<std::uint8_t> sector(512);
    EXPECT_NE(storage.ReadAt(query, 0, sector), err::kSuccess);
}

} // namespace
} // namespace tvd
