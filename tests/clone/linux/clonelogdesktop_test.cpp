// Where the clone log goes on Linux: the running user's desktop as user-dirs.dirs names it,
// else ~/Desktop, else the home folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "foundation/linux/scopedenv.h"
#include "clone/clonelogfileutil.h"
#include "foundation/textconvutil.h"
#include "storage/linux/linuxtesttools.h"

namespace tvd {
namespace {

TEST(CloneLogDesktop, UserDirsThenDesktopThenHome) {
    test::TempDir home;
    ASSERT_FALSE(home.Path().empty());
    test::ScopedEnv h("HOME", home.Path().c_str());
    test::ScopedEnv x("XDG_CONFIG_HOME", nullptr);
    test::ScopedEnv s("SUDO_USER", nullptr);
    namespace fs = std::filesystem;
    auto base = [] {
        std::u16string f;
        EXPECT_EQ(CloneLogBaseFolder(f), 0u);
        return Utf16ToUtf8(f);
    };
    EXPECT_EQ(base(), home.Path());
    fs::create_directory(home / "Desktop");
    EXPECT_EQ(base(), home / "Desktop");
    fs::create_directories(home / ".config");
    fs::create_directory(home / "Schreibtisch");
    std::ofstream(home / ".config/user-dirs.dirs")
        << "# written by xdg-user-dirs-update\nXDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
           "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n";
    EXPECT_EQ(base(), home / "Schreibtisch");
    // A desktop entry that leaves the home by ".." or names a missing folder is not used.
    std::ofstream(home / ".config/user-dirs.dirs") << "XDG_DESKTOP_DIR=\"$HOME/../../etc\"\n";
    EXPECT_EQ(base(), home / "Desktop");
    std::ofstream(home / ".config/user-dirs.dirs") << "XDG_DESKTOP_DIR=\"$HOME/Missing\"\n";
    EXPECT_EQ(base(), home / "Desktop");
}

} // namespace
} // namespace tvd
