#include "storage/linux/linuxdevinst.h"

#include <mutex>
#include <unordered_map>
#include <vector>

namespace tvd::linuxsys {

namespace {

// Far more device paths than a machine ever shows in one run; the bound keeps a flood of
// hot-plug events from growing the table without end.
constexpr std::size_t kMaxKeys = 1u << 20;

struct Table {
    std::mutex mutex;
    std::unordered_map<std::string, std::uint32_t> keys;
    std::vector<std::string> paths; // paths[key - 1]
};

Table& TheTable() {
    static Table table;
    return table;
}

} // namespace

std::uint32_t DevInstOf(const std::string& syspath) {
    if (syspath.empty()) return 0;
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    if (auto it = t.keys.find(syspath); it != t.keys.end()) return it->second;
    if (t.paths.size() >= kMaxKeys) return 0;
    t.paths.push_back(syspath);
    const auto key = static_cast<std::uint32_t>(t.paths.size());
    t.keys.emplace(syspath, key);
    return key;
}

std::uint32_t FindDevInst(const std::string& syspath) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    const auto it = t.keys.find(syspath);
    return it == t.keys.end() ? 0 : it->second;
}

bool SyspathOf(std::uint32_t devInst, std::string& syspath) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    if (devInst == 0 || devInst > t.paths.size()) return false;
    syspath = t.paths[devInst - 1];
    return true;
}

} // namespace tvd::linuxsys
