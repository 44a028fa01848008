// Helpers of the Linux storage tests: a temporary folder, running a tool and reading its output,
// and the partitions as sfdisk sees them.
#pragma once
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "foundation/textconvutil.h"
#include "storage/partitiontableutil.h"
#include "storage/storagetypes.h"

namespace tvd::test {

class TempDir {
public:
    TempDir() {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/tvdstor.XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempDir() {
        if (path_.empty()) return;
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

private:
    std::string path_;
};

struct RunResult {
    int status = -1; // exit status; -1 when the command did not run or was killed
    std::string output;
};

// Runs a shell command line, capturing standard output (standard error stays the test's).
inline RunResult RunTool(const std::string& command) {
    RunResult r;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return r;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
        r.output.append(buf, n);
    const int st = pclose(pipe);
    r.status = (st != -1 && WIFEXITED(st)) ? WEXITSTATUS(st) : -1;
    return r;
}

// The stored (mixed-endian) GUID bytes as sfdisk and sgdisk print them.
inline std::string GuidBytesText(const std::uint8_t* g) {
    static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    std::string s;
    char buf[3];
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) s.push_back('-');
        std::snprintf(buf, sizeof buf, "%02X", g[kOrder[i]]);
        s += buf;
    }
    return s;
}

inline bool HaveTool(const std::string& name) {
    return RunTool("command -v " + name + " >/dev/null 2>&1").status == 0;
}

// One partition line of `sfdisk -d`.
struct SfdiskPart {
    std::uint32_t number = 0;
    std::uint64_t start = 0, size = 0; // sectors
    std::string type;                  // "83", "5", or a GUID in upper case
    std::string uuid, name;
    bool bootable = false;
};
struct SfdiskTable {
    std::string label; // "dos", "gpt"
    std::map<std::string, std::string> header;
    std::vector<SfdiskPart> parts;
};

// Parses the dump format: "key: value" header lines, then "<device><n> : start=..., size=...".
inline SfdiskTable ParseSfdiskDump(const std::string& text, const std::string& device) {
    SfdiskTable t;
    std::size_t pos = 0;
    auto trim = [](std::string s) {
        while (!s.empty() && (s.front() == ' ' || s.front() == '"'))
            s.erase(0, 1);
        while (!s.empty() && (s.back() == ' ' || s.back() == '"'))
            s.pop_back();
        return s;
    };
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (line.rfind(device, 0) == 0 && line.find(" : ") != std::string::npos) {
            SfdiskPart p;
            // The partition's number ends its node name: "disk.img5", "/dev/loop0p5".
            const std::string node = line.substr(0, line.find(" : "));
            const std::size_t digits = node.find_last_not_of("0123456789") + 1;
            p.number = static_cast<std::uint32_t>(std::stoul(node.substr(digits)));
            std::string rest = line.substr(line.find(" : ") + 3);
            std::size_t q = 0;
            while (q < rest.size()) {
                // Values may be quoted and contain commas (names).
                std::size_t comma = rest.find(',', q);
                const std::size_t quote = rest.find('"', q);
                if (quote != std::string::npos && quote < comma)
                    comma = rest.find(',', rest.find('"', quote + 1));
                if (comma == std::string::npos) comma = rest.size();
                const std::string item = trim(rest.substr(q, comma - q));
                q = comma + 1;
                const std::size_t eq = item.find('=');
                const std::string key = trim(item.substr(0, eq));
                const std::string value = eq == std::string::npos ? "" : trim(item.substr(eq + 1));
                if (key == "start")
                    p.start = std::stoull(value);
                else if (key == "size")
                    p.size = std::stoull(value);
                else if (key == "type")
                    p.type = value;
                else if (key == "uuid")
                    p.uuid = value;
                else if (key == "name")
                    p.name = value;
                else if (key == "bootable")
                    p.bootable = true;
            }
            t.parts.push_back(p);
        } else if (const std::size_t colon = line.find(": "); colon != std::string::npos) {
            t.header[line.substr(0, colon)] = trim(line.substr(colon + 2));
        }
    }
    t.label = t.header["label"];
    return t;
}

// The partitions of a layout against sfdisk's dump of the same disk: numbers, places, sizes,
// types, boot flags; for GPT also identifiers, names and the usable area.
inline void ExpectLayoutMatches(const DriveLayout& layout, const SfdiskTable& table,
                                std::uint32_t ss) {
    std::vector<const SfdiskPart*> expected;
    for (const SfdiskPart& p : table.parts)
        if (p.type != "5" && p.type != "f" && p.type != "85") expected.push_back(&p);
    std::vector<const PartitionEntry*> got;
    for (const PartitionEntry& p : layout.partitions)
        if (p.number != 0 && p.length != 0) got.push_back(&p);
    ASSERT_EQ(got.size(), expected.size());
    if (table.label == "dos") {
        ASSERT_EQ(layout.style, layoutstyle::kMbr);
        EXPECT_EQ(layout.mbrSignature, std::stoul(table.header.at("label-id"), nullptr, 16));
    } else {
        ASSERT_EQ(table.label, "gpt");
        ASSERT_EQ(layout.style, layoutstyle::kGpt);
        EXPECT_EQ(GuidBytesText(layout.gptDiskId), table.header.at("label-id"));
        const std::uint64_t first = std::stoull(table.header.at("first-lba"));
        const std::uint64_t last = std::stoull(table.header.at("last-lba"));
        EXPECT_EQ(layout.gptStartingUsableOffset, first * ss);
        EXPECT_EQ(layout.gptUsableLength, (last - first + 1) * ss);
    }
    for (std::size_t i = 0; i < got.size(); ++i) {
        const PartitionEntry& g = *got[i];
        const SfdiskPart& e = *expected[i];
        SCOPED_TRACE("partition " + std::to_string(e.number));
        EXPECT_EQ(g.number, e.number);
        EXPECT_EQ(g.startingOffset, e.start * ss);
        EXPECT_EQ(g.length, e.size * ss);
        if (layout.style == layoutstyle::kMbr) {
            EXPECT_EQ(g.mbrType, std::stoul(e.type, nullptr, 16));
            EXPECT_EQ(g.bootIndicator, e.bootable);
        } else {
            EXPECT_EQ(GuidBytesText(g.gptType), e.type);
            EXPECT_EQ(GuidBytesText(g.gptId), e.uuid);
            EXPECT_EQ(Utf16ToUtf8(g.gptName), e.name);
        }
    }
}

} // namespace tvd::test
