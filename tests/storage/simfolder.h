// A folder of simulated drives for a test: made in the system's temporary folder (portable, so
// the Windows test program under Wine uses it too) and removed with the object.
#pragma once
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace tvd::test {

namespace fs = std::filesystem;

class SimFolder {
public:
    SimFolder() {
        std::random_device random;
        std::error_code ec;
        const fs::path base = fs::temp_directory_path(ec);
        for (int i = 0; i < 100 && path_.empty(); ++i) {
            const fs::path p = base / ("tvdsim-" + std::to_string(random()));
            if (fs::create_directory(p, ec)) path_ = p;
        }
    }
    ~SimFolder() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    const fs::path& Dir() const { return path_; }
    std::string Path() const {
        const auto u = path_.u8string();
        return std::string(u.begin(), u.end());
    }
    fs::path operator/(const std::string& rel) const { return path_ / rel; }

    // A scan tells a file from its old self by time and length, and time stamps are coarse: a
    // test that edits a drive file in place changes its length.
    void Write(const std::string& rel, const std::string& text) const {
        std::ofstream(path_ / rel, std::ios::binary | std::ios::trunc) << text;
    }
    void Drive(const std::string& name, const std::string& text) const {
        Write(name + ".drive", "[Drive]\n" + text);
    }
    void Remove(const std::string& rel) const {
        std::error_code ec;
        fs::remove(path_ / rel, ec);
    }
    void Patch(const std::string& rel, std::uint64_t offset,
               const std::vector<std::uint8_t>& bytes) const {
        std::fstream f(path_ / rel, std::ios::binary | std::ios::in | std::ios::out);
        f.seekp(static_cast<std::streamoff>(offset));
        f.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<std::uint8_t> Bytes(const std::string& rel, std::uint64_t offset,
                                    std::size_t n) const {
        std::vector<std::uint8_t> out(n, 0xEE);
        std::ifstream f(path_ / rel, std::ios::binary);
        f.seekg(static_cast<std::streamoff>(offset));
        f.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(n));
        return out;
    }
    std::uint64_t Size(const std::string& rel) const {
        std::error_code ec;
        return fs::file_size(path_ / rel, ec);
    }

private:
    fs::path path_;
};

} // namespace tvd::test
