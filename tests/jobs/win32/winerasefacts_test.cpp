// The Windows erase's view of a disk's use and its volume lock, as far as Wine's devices allow.
// No volume of a disk found here is locked or dismounted: only names that are no whole disk
// reach the lock.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "jobs/fundiskeraseutil.h"

namespace tvd {
namespace {

// Names that are no whole disk are refused before any volume is touched, and nothing stays
// locked.
TEST(WinEraseFacts, OnlyWholeDisksAreLookedAtOrLocked) {
    const char* const notDisks[] = {"PhysicalDrive4000", "C:", "NoSuchDevice", ""};
    for (const char* name : notDisks) {
        SCOPED_TRACE(name);
        EraseDiskFacts facts;
        facts.mountedVolume = true;
        EXPECT_NE(NativeEraseFacts(name, facts), 0u);
        EXPECT_FALSE(facts.systemDisk);
        EXPECT_FALSE(facts.mountedVolume); // cleared, not left from before
        EraseVolumeLock lock;
        std::string where = "stale";
        EXPECT_NE(NativeLockEraseVolumes(name, lock, where), 0u);
        EXPECT_FALSE(lock.Holds());
    }
}

// The disk that holds the Windows folder is the system disk, named by its letter. Wine offers
// \\.\PhysicalDrive0 but its C: names no disk extent: no disk can then be vouched for, and each
// answers 13 (the erase refuses "cannot tell whether the drive is in use").
TEST(WinEraseFacts, TheWindowsFoldersDiskIsTheSystemDisk) {
    int found = 0;
    for (int i = 0; i < 8; ++i) {
        const std::string disk = "PhysicalDrive" + std::to_string(i);
        EraseDiskFacts facts;
        const ErrorCode e = NativeEraseFacts(disk, facts);
        if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) continue;
        ++found;
        if (e != 0) {
            // A disk whose volumes cannot be placed is not vouched for.
            EXPECT_FALSE(facts.systemDisk) << disk;
            EXPECT_FALSE(facts.mountedVolume) << disk;
            continue;
        }
        EXPECT_FALSE(facts.mountedVolume) << disk; // volumes are locked, not refused
        if (facts.systemDisk) {
            wchar_t windows[MAX_PATH + 1] = {};
            ASSERT_GT(GetSystemWindowsDirectoryW(windows, MAX_PATH), 2u);
            EXPECT_EQ(facts.where, std::string(1, char(windows[0])) + ":") << disk;
        }
    }
    if (found == 0) GTEST_SKIP() << "Wine offers no \\\\.\\PhysicalDriveN here";
}

} // namespace
} // namespace tvd
