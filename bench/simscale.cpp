// How the command-line tool's run time grows with the number of simulated drives and with the
// number of GPT entries on one drive. Run by hand:
//
//   cmake --build --preset linux --target tvdbench_simscale && build/linux/tvdbench_simscale
//
// Each figure is the wall time of one command, run in this process with its output discarded.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "foundation/bytesutil.h"
#include "foundation/crc32util.h"

namespace fs = std::filesystem;

namespace {

fs::path MakeFolder() {
    std::random_device random;
    for (int i = 0; i < 100; ++i) {
        const fs::path p = fs::temp_directory_path() / ("tvdbench-" + std::to_string(random()));
        if (fs::create_directory(p)) return p;
    }
    return {};
}

double Seconds(std::vector<std::string> args) {
    args.insert(args.begin(), "tarvikdorn");
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    std::FILE* sink = std::tmpfile();
    const auto start = std::chrono::steady_clock::now();
    const int status =
        tvd::cli::RunCommandLine(static_cast<int>(argv.size()), argv.data(), sink, stderr);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::fclose(sink);
    if (status != 0) std::fprintf(stderr, "  (exit status %d)\n", status);
    return took.count();
}

void Drives(const fs::path& dir, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "d%06zu.drive", i);
        std::ofstream(dir / name) << "[Drive]\nModel=Bench " << i << "\nCapacity=1M\n";
    }
}

// A GPT image with `count` one-MiB partitions, both headers and both entry arrays valid.
void GptImage(const fs::path& file, std::uint32_t count, std::uint64_t& capacity) {
    constexpr std::uint64_t kSector = 512, kEntry = 128, kPart = 2048;
    const std::uint64_t arraySectors = count * kEntry / kSector;
    const std::uint64_t first = 2048 * ((2 + arraySectors) / 2048 + 1);
    const std::uint64_t lastUsable = first + std::uint64_t(count) * kPart + 2047;
    const std::uint64_t last = lastUsable + arraySectors + 1;
    capacity = (last + 1) * kSector;

    std::vector<std::uint8_t> array(count * kEntry);
    static const std::uint8_t kBasicData[16] = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                                0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t at = i * kEntry;
        std::memcpy(&array[at], kBasicData, 16);
        tvd::StoreLe<std::uint32_t>(array, at + 16, i + 1); // unique GUID
        tvd::StoreLe<std::uint64_t>(array, at + 32, first + i * kPart);
        tvd::StoreLe<std::uint64_t>(array, at + 40, first + (i + 1) * kPart - 1);
    }
    const std::uint32_t arrayCrc = tvd::Crc32(array.data(), array.size());
    auto header = [&](std::uint64_t self, std::uint64_t other, std::uint64_t arrayLba) {
        std::vector<std::uint8_t> h(kSector);
        std::memcpy(h.data(), "EFI PART", 8);
        std::vector<std::uint8_t>& p = h;
        tvd::StoreLe<std::uint32_t>(p, 8, 0x00010000);
        tvd::StoreLe<std::uint32_t>(p, 12, 92);
        tvd::StoreLe<std::uint64_t>(p, 24, self);
        tvd::StoreLe<std::uint64_t>(p, 32, other);
        tvd::StoreLe<std::uint64_t>(p, 40, first);
        tvd::StoreLe<std::uint64_t>(p, 48, lastUsable);
        tvd::StoreLe<std::uint32_t>(p, 56, 0x12345678); // disk GUID
        tvd::StoreLe<std::uint64_t>(p, 72, arrayLba);
        tvd::StoreLe<std::uint32_t>(p, 80, count);
        tvd::StoreLe<std::uint32_t>(p, 84, kEntry);
        tvd::StoreLe<std::uint32_t>(p, 88, arrayCrc);
        tvd::StoreLe<std::uint32_t>(p, 16, tvd::Crc32(h.data(), 92));
        return h;
    };
    std::vector<std::uint8_t> mbr(kSector);
    mbr[446 + 4] = 0xEE;
    tvd::StoreLe<std::uint32_t>(mbr, 446 + 8, 1);
    tvd::StoreLe<std::uint32_t>(mbr, 446 + 12, 0xFFFFFFFF);
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    std::fstream f(file, std::ios::binary | std::ios::out | std::ios::trunc);
    auto put = [&](std::uint64_t lba, const std::vector<std::uint8_t>& bytes) {
        f.seekp(static_cast<std::streamoff>(lba * kSector));
        f.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
    };
    put(0, mbr);
    put(1, header(1, last, 2));
    put(2, array);
    put(last - arraySectors, array);
    put(last, header(last, 1, last - arraySectors));
    f.close();
    fs::resize_file(file, capacity);
}

} // namespace

int main() {
    const fs::path dir = MakeFolder();
    if (dir.empty()) return 1;
    std::printf("simulated drives, read-only commands (seconds)\n");
    std::printf("%8s %8s %8s\n", "drives", "list", "info");
    std::size_t made = 0;
    for (std::size_t n : {1000, 2000, 5000, 10000}) {
        Drives(dir, made, n);
        made = n;
        const double list = Seconds({"--simulate", dir.string(), "list"});
        const double info = Seconds({"--simulate", dir.string(), "info", "d000000"});
        std::printf("%8zu %8.2f %8.2f\n", n, list, info);
    }
    fs::remove_all(dir);

    std::printf("\none drive with a GPT (seconds)\n");
    std::printf("%8s %8s %8s\n", "entries", "list", "info");
    for (std::uint32_t count : {128u, 1024u, 4096u, 8192u, 16384u}) {
        const fs::path gdir = MakeFolder();
        std::uint64_t capacity = 0;
        GptImage(gdir / "gpt.img", count, capacity);
        std::ofstream(gdir / "gpt.drive") << "[Drive]\nCapacity=" << capacity << "\n";
        const double list = Seconds({"--simulate", gdir.string(), "list"});
        const double info = Seconds({"--simulate", gdir.string(), "info", "gpt"});
        std::printf("%8u %8.2f %8.2f\n", count, list, info);
        fs::remove_all(gdir);
    }
    return 0;
}
