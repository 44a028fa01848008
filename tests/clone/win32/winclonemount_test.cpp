// Which Windows volumes a clone treats as live, against the prefix's own drive C:.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "clone/clonemountutil.h"
#include "foundation/textconvutil.h"

namespace tvd {
namespace {

TEST(WinCloneMount, MountedVolumesAreLiveAndUnknownPathsAreNot) {
    wchar_t volume[MAX_PATH] = {};
    if (!GetVolumeNameForVolumeMountPointW(L"C:\\", volume, MAX_PATH))
        GTEST_SKIP() << "C: has no volume name here (error " << GetLastError() << ")";
    const std::string path = Utf16ToUtf8(reinterpret_cast<const char16_t*>(volume));
    EXPECT_TRUE(IsMountedWritable(path)) << path;
    EXPECT_FALSE(IsMountedWritable("\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\"));
    EXPECT_FALSE(IsMountedWritable(""));
    EXPECT_FALSE(IsMountedWritable("C:"));
}

} // namespace
} // namespace tvd
