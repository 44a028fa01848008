// Registry helpers over the current backend. String values travel as the registry stores them
// natively: REG_SZ data is UTF-16LE with its terminating NUL; the helpers convert at this edge.
#include "foundation/regutil.h"

#include <atomic>

#include "foundation/textconvutil.h"

namespace tvd {

namespace {

std::atomic<RegistryBackend*> gBackend{nullptr};

bool DeletedOrAbsent(ErrorCode e) {
    return e == err::kSuccess || e == err::kFileNotFound;
}

std::vector<std::uint8_t> Utf16LeBytes(const char* text) {
    std::vector<std::uint8_t> bytes;
    if (text == nullptr) return bytes;
    const std::u16string wide = Utf8ToUtf16(text);
    bytes.reserve((wide.size() + 1) * 2);
    for (char16_t c : wide) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

// REG_SZ data up to its first NUL; the stored terminator is optional, an odd last byte ignored.
std::u16string TextFromUtf16Le(const std::vector<std::uint8_t>& data) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        const auto c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (c == 0) break;
        text += c;
    }
    return text;
}

ErrorCode QueryTyped(RegRoot root, const std::string& subKey, const std::string& value,
                     RegView view, std::uint32_t wantType, std::vector<std::uint8_t>& data) {
    std::uint32_t type = regtype::kNone;
    if (ErrorCode e = Registry().QueryValue(root, subKey, value, view, type, data)) {
        data.clear();
        return e;
    }
    if (type != wantType) {
        data.clear();
        return err::kBadFormat;
    }
    return err::kSuccess;
}

ErrorCode OpenOrCreate(RegRoot root, const std::string& subKey, RegView view, RegKey& key) {
    key = RegKey{};
    RegistryBackend& reg = Registry();
    if (reg.OpenKey(root, subKey, view) != err::kSuccess) {
        if (ErrorCode e = reg.CreateKey(root, subKey, view)) return e;
    }
    key = RegKey{root, subKey, view, true};
    return err::kSuccess;
}

ErrorCode WriteAt(RegRoot root, const std::string& subKey, RegView view, const std::string& value,
                  std::uint32_t type, ByteView data) {
    RegKey key;
    if (ErrorCode e = OpenOrCreate(root, subKey, view, key)) return e;
    return Registry().SetValue(key.root, key.subKey, value, key.view, type, data);
}

ErrorCode WriteStringAt(RegRoot root, const std::string& subKey, RegView view,
                        const std::string& value, const char* text) {
    const std::vector<std::uint8_t> bytes = Utf16LeBytes(text);
    return WriteAt(root, subKey, view, value, regtype::kSz, bytes);
}

ErrorCode WriteDwordAt(RegRoot root, const std::string& subKey, RegView view,
                       const std::string& value, std::uint32_t number) {
    RegKey key;
    if (ErrorCode e = OpenOrCreate(root, subKey, view, key)) return e;
    return RegWriteDword(key, value, number);
}

} // namespace

RegistryBackend& Registry() {
    RegistryBackend* backend = gBackend.load(std::memory_order_acquire);
    return backend ? *backend : PlatformRegistry();
}

void SetRegistryBackend(RegistryBackend* backend) {
    gBackend.store(backend, std::memory_order_release);
}

ErrorCode RegOpenKey(RegRoot root, const std::string& subKey, RegView view, RegKey& key) {
    key = RegKey{};
    if (ErrorCode e = Registry().OpenKey(root, subKey, view)) return e;
    key = RegKey{root, subKey, view, true};
    return err::kSuccess;
}

ErrorCode RegOpenOrCreate(RegRoot root, const std::string& subKey, RegKey& key) {
    return OpenOrCreate(root, subKey, RegView::kDefault, key);
}

ErrorCode RegOpenOrCreate64(RegRoot root, const std::string& subKey, RegKey& key) {
    return OpenOrCreate(root, subKey, RegView::k64, key);
}

ErrorCode RegReadDword(const RegKey& key, const std::string& value, std::uint32_t& number) {
    number = 0;
    if (!key.open) return err::kInvalidHandle;
    std::vector<std::uint8_t> data;
    if (ErrorCode e = QueryTyped(key.root, key.subKey, value, key.view, regtype::kDword, data))
        return e;
    if (data.size() != 4) return err::kInvalidData;
    number = Le<std::uint32_t>(data, 0);
    return err::kSuccess;
}

ErrorCode RegWriteDword(const RegKey& key, const std::string& value, std::uint32_t number) {
    if (!key.open) return err::kInvalidHandle;
    std::uint32_t stored = 0;
    if (RegReadDword(key, value, stored) == err::kSuccess && stored == number) return err::kSuccess;
    std::uint8_t bytes[4];
    StoreLe<std::uint32_t>(bytes, 0, number);
    return Registry().SetValue(key.root, key.subKey, value, key.view, regtype::kDword, bytes);
}

ErrorCode RegWriteString(RegRoot root, const std::string& subKey, const std::string& value,
                         const char* text) {
    return WriteStringAt(root, subKey, RegView::kDefault, value, text);
}

ErrorCode RegWriteString64(RegRoot root, const std::string& subKey, const std::string& value,
                           const char* text) {
    return WriteStringAt(root, subKey, RegView::k64, value, text);
}

ErrorCode RegWriteDwordAt(RegRoot root, const std::string& subKey, const std::string& value,
                          std::uint32_t number) {
    return WriteDwordAt(root, subKey, RegView::kDefault, value, number);
}

ErrorCode RegWriteDwordAt64(RegRoot root, const std::string& subKey, const std::string& value,
                            std::uint32_t number) {
    return WriteDwordAt(root, subKey, RegView::k64, value, number);
}

ErrorCode RegWriteBinary(RegRoot root, const std::string& subKey, const std::string& value,
                         ByteView bytes) {
    return WriteAt(root, subKey, RegView::kDefault, value, regtype::kBinary, bytes);
}

ErrorCode RegReadString64(RegRoot root, const std::string& subKey, const std::string& value,
                          std::string& text) {
    text.clear();
    std::vector<std::uint8_t> data;
    if (ErrorCode e = QueryTyped(root, subKey, value, RegView::k64, regtype::kSz, data)) return e;
    text = Utf16ToUtf8(TextFromUtf16Le(data));
    return err::kSuccess;
}

ErrorCode RegReadBinary(RegRoot root, const std::string& subKey, const std::string& value,
                        std::vector<std::uint8_t>& bytes) {
    return QueryTyped(root, subKey, value, RegView::kDefault, regtype::kBinary, bytes);
}

std::uint64_t RegReadQword(RegRoot root, const std::string& subKey, const std::string& value) {
    std::vector<std::uint8_t> bytes;
    if (RegReadBinary(root, subKey, value, bytes) != err::kSuccess || bytes.size() != 8) return 0;
    return Le<std::uint64_t>(bytes, 0);
}

ErrorCode RegWriteQword(RegRoot root, const std::string& subKey, const std::string& value,
                        std::uint64_t number) {
    std::uint8_t bytes[8];
    StoreLe<std::uint64_t>(bytes, 0, number);
    return RegWriteBinary(root, subKey, value, bytes);
}

ErrorCode RegDeleteValueBoth(RegRoot root, const std::string& subKey, const std::string& value) {
    // The value is gone only when neither view still holds it: a failure in either view must
    // surface, not just the second one's result.
    RegistryBackend& reg = Registry();
    const ErrorCode in64 = reg.DeleteValue(root, subKey, value, RegView::k64);
    const ErrorCode inDefault = reg.DeleteValue(root, subKey, value, RegView::kDefault);
    if (!DeletedOrAbsent(in64)) return in64;
    if (!DeletedOrAbsent(inDefault)) return inDefault;
    return err::kSuccess;
}

ErrorCode RegReadWideString(RegRoot root, const std::string& subKey, const std::string& value,
                            std::u16string& text) {
    text.clear();
    std::vector<std::uint8_t> data;
    if (ErrorCode e = QueryTyped(root, subKey, value, RegView::kDefault, regtype::kSz, data))
        return e;
    text = TextFromUtf16Le(data);
    return err::kSuccess;
}

bool RegKeyExists(RegRoot root, const std::string& subKey, RegView view) {
    return Registry().OpenKey(root, subKey, view) == err::kSuccess;
}

ErrorCode RegReadWideStringIn(RegRoot root, const std::string& subKey, const std::string& value,
                              RegView view, std::u16string& text) {
    text.clear();
    std::uint32_t type = regtype::kNone;
    std::vector<std::uint8_t> data;
    if (ErrorCode e = Registry().QueryValue(root, subKey, value, view, type, data)) return e;
    if (type != regtype::kSz && type != regtype::kExpandSz) return err::kBadFormat;
    text = TextFromUtf16Le(data);
    return err::kSuccess;
}

namespace {

constexpr int kMaxKeyDepth = 512;

ErrorCode DeleteTree(RegistryBackend& reg, RegRoot root, const std::string& subKey, RegView view,
                     int depth) {
    if (depth > kMaxKeyDepth) return err::kInvalidData;
    std::vector<std::string> children;
    if (ErrorCode e = reg.EnumSubKeys(root, subKey, view, children)) return e;
    for (const std::string& child : children) {
        const ErrorCode e = DeleteTree(reg, root, subKey + '\\' + child, view, depth + 1);
        // A sub-key another writer removed meanwhile is as good as deleted.
        if (e != err::kSuccess && e != err::kFileNotFound) return e;
    }
    return reg.DeleteKey(root, subKey, view);
}

} // namespace

ErrorCode RegDeleteKeyTree(RegRoot root, const std::string& subKey, RegView view) {
    if (subKey.empty()) return err::kInvalidParameter;
    return DeleteTree(Registry(), root, subKey, view, 0);
}

} // namespace tvd
