#include "foundation/fileutil.h"
#include "foundation/linux/rootfolder.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "foundation/textconvutil.h"

namespace tvd {
namespace {

namespace fs = std::filesystem;

// A folder of the test's own, removed with everything in it afterwards.
class TempDir {
public:
    explicit TempDir(const char* base = nullptr) {
        std::string pattern =
            std::string(base ? base : fs::temp_directory_path().c_str()) + "/tvdfile.XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempDir() {
        if (path_.empty()) return;
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

private:
    std::string path_;
};

std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::uint8_t>(seed + i * 31);
    return v;
}

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0xFFFF;
}

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    return names;
}

TEST(LinuxFiles, RoundTripCreatesFoldersAndSetsModes) {
    TempDir tmp;
    ASSERT_FALSE(tmp.Path().empty());
    struct Row {
        const char* rel;
        std::size_t size;
        FileUse use;
        unsigned mode;
    } rows[] = {
        {"a/b/c/data.bin", 5000, FileUse::kData, 0644},
        {"a/b/tool", 70000, FileUse::kExecutable, 0755},
        {"a//b/./empty-folders-ok.bin", 1, FileUse::kData, 0644},
        {"top.bin", 0, FileUse::kData, 0644}, // empty content is written; reading it is an error
    };
    const mode_t oldMask = umask(077); // the modes must not depend on the umask
    for (const auto& r : rows) {
        SCOPED_TRACE(r.rel);
        const auto data = Pattern(r.size, static_cast<std::uint8_t>(r.size));
        ASSERT_EQ(WriteWholeFile(tmp / r.rel, data, r.use), err::kSuccess);
        EXPECT_EQ(ModeOf(tmp / r.rel), r.mode);
        std::vector<std::uint8_t> back{1, 2, 3};
        if (r.size == 0) {
            EXPECT_NE(ReadWholeFile(tmp / r.rel, back), err::kSuccess);
            EXPECT_TRUE(back.empty());
        } else {
            ASSERT_EQ(ReadWholeFile(tmp / r.rel, back), err::kSuccess);
            EXPECT_EQ(back, data);
        }
    }
    umask(oldMask);
    EXPECT_TRUE(fs::is_directory(tmp / "a/b/c"));

    // Replacing with shorter content leaves exactly the new bytes and no temporary files.
    const auto shorter = Pattern(10, 9);
    ASSERT_EQ(WriteWholeFile(tmp / "a/b/c/data.bin", shorter), err::kSuccess);
    std::vector<std::uint8_t> back;
    ASSERT_EQ(ReadWholeFile(tmp / "a/b/c/data.bin", back), err::kSuccess);
    EXPECT_EQ(back, shorter);
    EXPECT_EQ(Entries(tmp / "a/b/c"), std::vector<std::string>{"data.bin"});

    // UTF-16 paths reach the same files.
    const std::u16string wide = Utf8ToUtf16(tmp / "a/b/c/") + u"gr\u00FC\u00DFe.bin";
    ASSERT_EQ(WriteWholeFile(wide, shorter), err::kSuccess);
    EXPECT_TRUE(fs::exists(tmp / "a/b/c/gr\xC3\xBC\xC3\x9F"
                                 "e.bin"));
    ASSERT_EQ(ReadWholeFile(wide, back), err::kSuccess);
    EXPECT_EQ(back, shorter);
    EXPECT_EQ(DeleteFileForce(wide), err::kSuccess);
}

TEST(LinuxFiles, ErrorsAreReported) {
    TempDir tmp;
    ASSERT_FALSE(tmp.Path().empty());
    const auto data = Pattern(100, 1);
    ASSERT_EQ(WriteWholeFile(tmp / "file", data), err::kSuccess);
    ASSERT_TRUE(fs::create_directory(tmp / "folder"));
    std::vector<std::uint8_t> back;
    struct Row {
        const char* name;
        ErrorCode got, want;
    } rows[] = {
        {"folder is a file", WriteWholeFile(tmp / "file/x.bin", data), err::kFileExists},
        {"deeper folder is a file", WriteWholeFile(tmp / "file/y/z.bin", data), err::kFileExists},
        {"target is a folder", WriteWholeFile(tmp / "folder", data), err::kAccessDenied},
        {"no file name", WriteWholeFile(tmp / "sub/", data), err::kInvalidParameter},
        {"read missing", ReadWholeFile(tmp / "missing", back), err::kFileNotFound},
        {"read a folder", ReadWholeFile(tmp / "folder", back), err::kAccessDenied},
        {"read empty path", ReadWholeFile(std::string(), back), err::kInvalidParameter},
        {"delete missing", DeleteFileForce(tmp / "missing"), err::kSuccess},
        {"delete a folder", DeleteFileForce(tmp / "folder"), err::kAccessDenied},
    };
    for (const auto& r : rows)
        EXPECT_EQ(r.got, r.want) << r.name;
    EXPECT_TRUE(fs::is_regular_file(tmp / "file")); // nothing replaced them
    EXPECT_TRUE(fs::is_directory(tmp / "folder"));
    EXPECT_EQ(Entries(tmp.Path()).size(), 2u); // and no temporary file was left behind

    ASSERT_EQ(WriteWholeFile(tmp / "gone.bin", data), err::kSuccess);
    EXPECT_EQ(DeleteFileForce(tmp / "gone.bin"), err::kSuccess);
    EXPECT_FALSE(fs::exists(tmp / "gone.bin"));
}

// A write that fails half-way (here: the file-size limit) must leave the old file as it was.
TEST(LinuxFiles, FailedWriteKeepsTheOldFile) {
    TempDir tmp;
    ASSERT_FALSE(tmp.Path().empty());
    const auto good = Pattern(1000, 7);
    ASSERT_EQ(WriteWholeFile(tmp / "settings.ini", good), err::kSuccess);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        const ErrorCode e = WriteWholeFile(tmp / "settings.ini", Pattern(1 << 20, 3));
        _exit(e == err::kSuccess ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1) << "the oversized write reported success";

    std::vector<std::uint8_t> back;
    ASSERT_EQ(ReadWholeFile(tmp / "settings.ini", back), err::kSuccess);
    EXPECT_EQ(back, good);
    EXPECT_EQ(Entries(tmp.Path()), std::vector<std::string>{"settings.ini"});
}

TEST(LinuxFiles, UnknownResourceIsMissing) {
    std::string written = "stale";
    EXPECT_EQ(ExtractBinaryResource(nullptr, 22005, "service", written), err::kNotSupported);
    EXPECT_TRUE(written.empty());
    ByteView bytes;
    EXPECT_FALSE(FindRcData("IMG_LOGO", bytes));
    EXPECT_TRUE(bytes.empty());
}

TEST(LinuxFiles, RootOnlyFolder) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to own the folders it checks";
    TempDir tmp("/tmp"); // root-owned, under the sticky /tmp
    ASSERT_FALSE(tmp.Path().empty());
    std::string resolved;
    ASSERT_EQ(PrepareRootOnlyFolder(tmp / "x/bin", resolved), err::kSuccess);
    EXPECT_EQ(resolved, tmp / "x/bin");
    EXPECT_EQ(ModeOf(resolved), 0755u);
    EXPECT_EQ(PrepareRootOnlyFolder(tmp / "x/bin", resolved), err::kSuccess); // again: accepted

    struct Row {
        const char* name;
        const char* path;
        unsigned mode;
        uid_t owner;
    } rows[] = {
        {"group-writable", "x/bin", 0775, 0},
        {"others-writable", "x/bin", 0757, 0},
        {"sticky but others-writable", "x/bin", 01777, 0},
        {"not root's", "x/bin", 0755, 65534},
        {"parent group-writable", "x", 0775, 0},
        {"parent not root's", "x", 0755, 65534},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        ASSERT_EQ(chmod((tmp / r.path).c_str(), r.mode), 0);
        ASSERT_EQ(chown((tmp / r.path).c_str(), r.owner, 0), 0);
        EXPECT_EQ(PrepareRootOnlyFolder(tmp / "x/bin", resolved), err::kAccessDenied);
        EXPECT_TRUE(resolved.empty());
        ASSERT_EQ(chmod((tmp / r.path).c_str(), 0755), 0);
        ASSERT_EQ(chown((tmp / r.path).c_str(), 0, 0), 0);
    }
    ASSERT_EQ(WriteWholeFile(tmp / "file", Pattern(4, 0)), err::kSuccess);
    EXPECT_EQ(PrepareRootOnlyFolder(tmp / "file", resolved), err::kAccessDenied);
    EXPECT_EQ(PrepareRootOnlyFolder("relative/bin", resolved), err::kInvalidParameter);

    // A symbolic link is followed, and the real folder is what gets checked and returned.
    fs::create_symlink(tmp / "x", tmp / "link");
    ASSERT_EQ(PrepareRootOnlyFolder(tmp / "link/bin", resolved), err::kSuccess);
    EXPECT_EQ(resolved, tmp / "x/bin");
}

TEST(LinuxFiles, AdminOnlyFolderRefusesOrdinaryUsers) {
    if (geteuid() != 0) {
        std::string path;
        EXPECT_EQ(AdminOnlyFolder(path), err::kAccessDenied);
        return;
    }
    // As root, drop to "nobody" in a child so the real folder is never touched.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
        std::string path = "x";
        const ErrorCode e = AdminOnlyFolder(path);
        _exit(e == err::kAccessDenied && path.empty() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
} // namespace tvd
