// Where the clone log goes on Windows: the all-users desktop.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>

#include "clone/kernelclonefun.h"

namespace tvd {
namespace {

TEST(CloneLogDesktop, LogOnThePublicDesktop) {
    std::u16string base;
    ASSERT_EQ(CloneLogBaseFolder(base), 0u);
    const std::filesystem::path desktop(std::wstring(base.begin(), base.end()));
    EXPECT_TRUE(std::filesystem::is_directory(desktop));
    auto previous = CloneInterfaceReplace(nullptr);
    ASSERT_TRUE(CloneInterfaceStart());
    ASSERT_EQ(CloneLogOpen(), 0u);
    CloneError("kept for the test");
    auto* ci = ZoltCast<clCloneInterface>(CloneInterface());
    ASSERT_NE(ci, nullptr);
    const std::filesystem::path log(std::wstring(ci->LogPath().begin(), ci->LogPath().end()));
    EXPECT_EQ(log.parent_path().parent_path(), desktop);
    const DWORD attributes = GetFileAttributesW(log.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_ARCHIVE);
    CloneLogClose();
    EXPECT_EQ(CloneLogDiscard(), 0u);
    EXPECT_FALSE(std::filesystem::exists(log.parent_path()));
    CloneInterfaceReplace(std::move(previous));
}

} // namespace
} // namespace tvd
