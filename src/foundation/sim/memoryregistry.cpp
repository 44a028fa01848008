// In-memory registry with the two views of a 64-bit Windows. Keys live in one store keyed by
// their full lower-cased path; the 32-bit view differs only in how a path is resolved: under
// HKLM\SOFTWARE and HKCR it goes through WOW6432Node, everything else is shared.
#include "foundation/regutil.h"

#include <map>
#include <mutex>

namespace tvd {

namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerAscii(const std::string& s) {
    std::string out(s);
    for (char& c : out)
        c = Lower(c);
    return out;
}

bool EqualsNoCase(const std::string& a, const char* b) {
    return LowerAscii(a) == LowerAscii(b);
}

std::vector<std::string> SplitPath(const std::string& subKey) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= subKey.size()) {
        std::size_t end = subKey.find('\\', start);
        if (end == std::string::npos) end = subKey.size();
        if (end > start) parts.push_back(subKey.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

struct Value {
    std::string name;
    std::uint32_t type = regtype::kNone;
    std::vector<std::uint8_t> data;
};

struct Key {
    std::string name;                    // as first created
    std::map<std::string, Value> values; // by lower-cased name
};

constexpr const char* kWow = "WOW6432Node";

} // namespace

struct MemoryRegistry::Impl {
    bool process32 = false;
    std::mutex lock;
    std::map<std::string, Key> keys; // by lower-cased "root\\a\\b"
    std::uint64_t writes = 0;
    struct Fault {
        ErrorCode error = err::kSuccess;
        int count = 0;
    } faults[2]; // [0] 64-bit view, [1] 32-bit view

    bool Is32(RegView view) const {
        return view == RegView::k32 || (view == RegView::kDefault && process32);
    }

    // Path components in the view, with the redirection of the 32-bit view applied.
    std::vector<std::string> Resolve(RegRoot root, const std::string& subKey, RegView view) const {
        std::vector<std::string> parts = SplitPath(subKey);
        if (!Is32(view)) return parts;
        if (root == RegRoot::kLocalMachine && !parts.empty() &&
            EqualsNoCase(parts[0], "SOFTWARE") &&
            !(parts.size() > 1 && EqualsNoCase(parts[1], kWow)))
            parts.insert(parts.begin() + 1, kWow);
        if (root == RegRoot::kClassesRoot && !(!parts.empty() && EqualsNoCase(parts[0], kWow)))
            parts.insert(parts.begin(), kWow);
        return parts;
    }

    static std::string RootPath(RegRoot root) {
        return std::to_string(static_cast<std::uint32_t>(root));
    }

    static std::string PathOf(RegRoot root, const std::vector<std::string>& parts,
                              std::size_t count) {
        std::string path = RootPath(root);
        for (std::size_t i = 0; i < count; ++i)
            path += '\\' + LowerAscii(parts[i]);
        return path;
    }

    // The key, or nullptr; the roots always exist.
    Key* Find(RegRoot root, const std::string& subKey, RegView view) {
        const auto parts = Resolve(root, subKey, view);
        auto it = keys.find(PathOf(root, parts, parts.size()));
        if (it != keys.end()) return &it->second;
        if (parts.empty()) return &keys[RootPath(root)];
        return nullptr;
    }

    // A pending injected fault of this view, consumed by the call.
    ErrorCode TakeFault(RegView view) {
        Fault& f = faults[Is32(view) ? 1 : 0];
        if (f.count <= 0) return err::kSuccess;
        --f.count;
        return f.error;
    }
};

MemoryRegistry::MemoryRegistry(bool process32) : impl_(std::make_unique<Impl>()) {
    impl_->process32 = process32;
}

MemoryRegistry::~MemoryRegistry() = default;

ErrorCode MemoryRegistry::OpenKey(RegRoot root, const std::string& subKey, RegView view) {
    std::lock_guard guard(impl_->lock);
    return impl_->Find(root, subKey, view) ? err::kSuccess : err::kFileNotFound;
}

ErrorCode MemoryRegistry::CreateKey(RegRoot root, const std::string& subKey, RegView view) {
    std::lock_guard guard(impl_->lock);
    if (impl_->Find(root, subKey, view)) return err::kSuccess;
    if (ErrorCode e = impl_->TakeFault(view)) return e;
    // Like RegCreateKeyEx, every missing key on the way is created.
    const auto parts = impl_->Resolve(root, subKey, view);
    for (std::size_t n = 1; n <= parts.size(); ++n) {
        auto [it, created] = impl_->keys.try_emplace(Impl::PathOf(root, parts, n));
        if (created) it->second.name = parts[n - 1];
    }
    ++impl_->writes;
    return err::kSuccess;
}

ErrorCode MemoryRegistry::DeleteKey(RegRoot root, const std::string& subKey, RegView view) {
    std::lock_guard guard(impl_->lock);
    if (ErrorCode e = impl_->TakeFault(view)) return e;
    const auto parts = impl_->Resolve(root, subKey, view);
    if (parts.empty()) return err::kAccessDenied; // a root cannot be deleted
    const std::string path = Impl::PathOf(root, parts, parts.size());
    auto it = impl_->keys.find(path);
    if (it == impl_->keys.end()) return err::kFileNotFound;
    // RegDeleteKey refuses a key that still has sub-keys.
    const std::string childPrefix = path + '\\';
    auto child = impl_->keys.lower_bound(childPrefix);
    if (child != impl_->keys.end() && child->first.compare(0, childPrefix.size(), childPrefix) == 0)
        return err::kAccessDenied;
    impl_->keys.erase(it);
    ++impl_->writes;
    return err::kSuccess;
}

ErrorCode MemoryRegistry::QueryValue(RegRoot root, const std::string& subKey,
                                     const std::string& name, RegView view, std::uint32_t& type,
                                     std::vector<std::uint8_t>& data) {
    std::lock_guard guard(impl_->lock);
    type = regtype::kNone;
    data.clear();
    Key* key = impl_->Find(root, subKey, view);
    if (!key) return err::kFileNotFound;
    auto it = key->values.find(LowerAscii(name));
    if (it == key->values.end()) return err::kFileNotFound;
    type = it->second.type;
    data = it->second.data;
    return err::kSuccess;
}

ErrorCode MemoryRegistry::SetValue(RegRoot root, const std::string& subKey, const std::string& name,
                                   RegView view, std::uint32_t type, ByteView data) {
    std::lock_guard guard(impl_->lock);
    Key* key = impl_->Find(root, subKey, view);
    if (!key) return err::kFileNotFound;
    if (ErrorCode e = impl_->TakeFault(view)) return e;
    Value& v = key->values[LowerAscii(name)];
    if (v.name.empty()) v.name = name;
    v.type = type;
    v.data.assign(data.begin(), data.end());
    ++impl_->writes;
    return err::kSuccess;
}

ErrorCode MemoryRegistry::DeleteValue(RegRoot root, const std::string& subKey,
                                      const std::string& name, RegView view) {
    std::lock_guard guard(impl_->lock);
    if (ErrorCode e = impl_->TakeFault(view)) return e;
    Key* key = impl_->Find(root, subKey, view);
    if (!key) return err::kFileNotFound;
    if (key->values.erase(LowerAscii(name)) == 0) return err::kFileNotFound;
    ++impl_->writes;
    return err::kSuccess;
}

ErrorCode MemoryRegistry::EnumSubKeys(RegRoot root, const std::string& subKey, RegView view,
                                      std::vector<std::string>& names) {
    std::lock_guard guard(impl_->lock);
    names.clear();
    if (!impl_->Find(root, subKey, view)) return err::kFileNotFound;
    const auto parts = impl_->Resolve(root, subKey, view);
    const std::string prefix = Impl::PathOf(root, parts, parts.size()) + '\\';
    for (auto it = impl_->keys.lower_bound(prefix);
         it != impl_->keys.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
        if (it->first.find('\\', prefix.size()) == std::string::npos)
            names.push_back(it->second.name);
    }
    return err::kSuccess;
}

ErrorCode MemoryRegistry::EnumValues(RegRoot root, const std::string& subKey, RegView view,
                                     std::vector<std::string>& names) {
    std::lock_guard guard(impl_->lock);
    names.clear();
    Key* key = impl_->Find(root, subKey, view);
    if (!key) return err::kFileNotFound;
    for (const auto& [lower, value] : key->values)
        names.push_back(value.name);
    return err::kSuccess;
}

std::uint64_t MemoryRegistry::WriteCount() const {
    std::lock_guard guard(impl_->lock);
    return impl_->writes;
}

void MemoryRegistry::FailWrites(RegView view, ErrorCode error, int count) {
    std::lock_guard guard(impl_->lock);
    impl_->faults[impl_->Is32(view) ? 1 : 0] = {error, count};
}

} // namespace tvd
