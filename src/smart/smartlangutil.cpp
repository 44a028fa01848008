#include "smart/smartlangutil.h"

#include "foundation/fileutil.h"
#include "foundation/inibufutilw.h"

#include <array>
#include <mutex>
#include <new>

namespace tvd {

namespace {

constexpr std::size_t kDirEntrySize = 16;
constexpr std::size_t kCountSize = 4;
// Far above any real table; a leaf-root tree emits without consuming bits, so only this bound
// stops a forged size from exhausting memory.
constexpr std::size_t kMaxDecodedSize = 16u << 20;

struct DirEntryLayout {
    static constexpr std::size_t kLanguage = 0;
    static constexpr std::size_t kOffset = 4;
    static constexpr std::size_t kDecodedSize = 8;
    static constexpr std::size_t kCodedSize = 12;
};
static_assert(DirEntryLayout::kCodedSize + 4 == kDirEntrySize);

class BitReader {
public:
    explicit BitReader(ByteView bytes) : bytes_(bytes) {}

    bool Bit(unsigned& bit) {
        if (pos_ >= bytes_.size() * 8) return false;
        bit = (bytes_[pos_ / 8] >> (7 - pos_ % 8)) & 1u;
        ++pos_;
        return true;
    }
    bool Byte(std::uint8_t& value) {
        unsigned v = 0;
        for (int i = 0; i < 8; ++i) {
            unsigned b = 0;
            if (!Bit(b)) return false;
            v = (v << 1) | b;
        }
        value = static_cast<std::uint8_t>(v);
        return true;
    }
    std::uint64_t Remaining() const { return std::uint64_t(bytes_.size()) * 8 - pos_; }

private:
    ByteView bytes_;
    std::uint64_t pos_ = 0;
};

struct TreeNode {
    std::array<std::int16_t, 2> child{-1, -1};
    std::uint8_t value = 0;
    bool leaf = false;
};

// Pre-order tree parse with an explicit stack, so hostile nesting cannot exhaust the call stack.
bool ReadTree(BitReader& in, std::vector<TreeNode>& nodes) {
    struct Frame {
        std::int16_t node;
        int side; // next child slot to read; 2 = done
    };
    std::vector<Frame> stack;
    auto addNode = [&](std::int16_t& index) {
        if (nodes.size() >= kSmartLangMaxTreeNodes) return false;
        unsigned isLeaf = 0;
        if (!in.Bit(isLeaf)) return false;
        TreeNode node;
        node.leaf = isLeaf != 0;
        if (node.leaf && !in.Byte(node.value)) return false;
        index = static_cast<std::int16_t>(nodes.size());
        nodes.push_back(node);
        if (!node.leaf) stack.push_back({index, 0});
        return true;
    };
    nodes.clear();
    nodes.reserve(kSmartLangMaxTreeNodes);
    stack.reserve(kSmartLangMaxTreeNodes);
    std::int16_t root = -1;
    if (!addNode(root)) return false;
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.side == 2) {
            stack.pop_back();
            continue;
        }
        const std::int16_t parent = top.node;
        const int side = top.side++;
        unsigned present = 0;
        if (!in.Bit(present)) return false;
        if (!present) continue;
        std::int16_t child = -1;
        if (!addNode(child)) return false;
        nodes[parent].child[side] = child;
    }
    return true;
}

struct SmartNameTables {
    std::mutex lock;
    IniBufferW fallback;
    IniBufferW current;
    bool fallbackLoaded = false;
};

SmartNameTables& Tables() {
    static SmartNameTables tables;
    return tables;
}

// Empty table when the language is missing, corrupt or not a UTF-16 text with byte-order mark.
bool LoadTable(ByteView resource, std::uint32_t language, IniBufferW& table) {
    IniReleaseW(&table);
    std::vector<std::uint8_t> text;
    if (!DecodeSmartLang(resource, language, text)) return false;
    if (IniParseW(&table, text.data(), text.size())) return true;
    IniReleaseW(&table);
    return false;
}

std::optional<std::u16string> Lookup(std::u16string_view section, std::u16string_view key) {
    SmartNameTables& t = Tables();
    std::lock_guard<std::mutex> guard(t.lock);
    for (const IniBufferW* table : {&t.current, &t.fallback}) {
        if (auto value = IniGetValueW(table, section, key)) return std::u16string(*value);
    }
    return std::nullopt;
}

} // namespace

bool ReadSmartLangDirectory(ByteView resource, std::vector<SmartLangEntry>& entries) {
    entries.clear();
    std::uint32_t count = 0;
    if (resource.size() < kCountSize || !LoadLe(resource, resource.size() - kCountSize, count))
        return false;
    const std::uint64_t dirBytes = std::uint64_t(count) * kDirEntrySize + kCountSize;
    if (dirBytes > resource.size()) return false;
    const std::uint64_t dataEnd = resource.size() - dirBytes;
    std::vector<SmartLangEntry> found;
    found.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t at = static_cast<std::size_t>(dataEnd) + std::size_t(i) * kDirEntrySize;
        SmartLangEntry e;
        e.language = Le<std::uint32_t>(resource, at + DirEntryLayout::kLanguage);
        e.offset = Le<std::uint32_t>(resource, at + DirEntryLayout::kOffset);
        e.decodedSize = Le<std::uint32_t>(resource, at + DirEntryLayout::kDecodedSize);
        e.codedSize = Le<std::uint32_t>(resource, at + DirEntryLayout::kCodedSize);
        if (e.codedSize == 0 || std::uint64_t(e.offset) + e.codedSize > dataEnd) return false;
        found.push_back(e);
    }
    entries.swap(found);
    return true;
}

bool TreeDecode(ByteView coded, std::size_t decodedSize, std::vector<std::uint8_t>& out) {
    out.clear();
    if (decodedSize > kMaxDecodedSize) return false;
    BitReader in(coded);
    std::vector<TreeNode> nodes;
    if (!ReadTree(in, nodes)) return false;
    // Every symbol under an inner root costs at least one bit.
    if (!nodes[0].leaf && decodedSize > in.Remaining()) return false;
    try {
        std::vector<std::uint8_t> text(decodedSize);
        for (std::uint8_t& byte : text) {
            std::int16_t n = 0;
            while (!nodes[n].leaf) {
                unsigned bit = 0;
                if (!in.Bit(bit)) return false;
                n = nodes[n].child[bit];
                if (n < 0) return false;
            }
            byte = nodes[n].value;
        }
        out.swap(text);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool DecodeSmartLang(ByteView resource, std::uint32_t language, std::vector<std::uint8_t>& text) {
    text.clear();
    std::vector<SmartLangEntry> entries;
    if (!ReadSmartLangDirectory(resource, entries)) return false;
    for (const SmartLangEntry& e : entries) {
        if (e.language != language) continue;
        return TreeDecode(resource.subspan(e.offset, e.codedSize), e.decodedSize, text);
    }
    return false;
}

bool LoadSmartNamesFrom(ByteView resource, std::uint32_t language) {
    SmartNameTables& t = Tables();
    std::lock_guard<std::mutex> guard(t.lock);
    if (!t.fallbackLoaded) t.fallbackLoaded = LoadTable(resource, kSmartLangFallback, t.fallback);
    // Back to English means no override at all, not the previous language's leftovers.
    if (language == kSmartLangFallback) {
        IniReleaseW(&t.current);
        return t.fallbackLoaded;
    }
    return LoadTable(resource, language, t.current) && t.fallbackLoaded;
}

bool LoadSmartNames(const char* resourceName, std::uint32_t language) {
    // A missing resource still empties the tables it would have filled.
    ByteView resource;
    if (resourceName) FindRcData(resourceName, resource);
    return LoadSmartNamesFrom(resource, language);
}

void UnloadSmartNames() {
    SmartNameTables& t = Tables();
    std::lock_guard<std::mutex> guard(t.lock);
    IniReleaseW(&t.fallback);
    IniReleaseW(&t.current);
    t.fallbackLoaded = false;
}

std::optional<std::u16string> SmartAttributeName(std::u16string_view section, std::uint8_t id) {
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    const char16_t key[2] = {kHex[id >> 4], kHex[id & 0xF]};
    return Lookup(section, std::u16string_view(key, 2));
}

std::optional<std::u16string> SmartUnnamedAttributeText() {
    return Lookup(u"Smart", u"VENDOR_SPECIFIC");
}

} // namespace tvd
