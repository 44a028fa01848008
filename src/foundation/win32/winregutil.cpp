// The real registry. Names arrive as UTF-8 and go to the wide API; value data passes through as
// the registry stores it (REG_SZ as UTF-16LE with its NUL), the portable layer converts.
#include "foundation/regutil.h"

#include <windows.h>

#include <climits>

#include "foundation/textconvutil.h"
#include "foundation/win32/winhandle.h"
#include "foundation/win32/winmodules.h"

namespace tvd {

namespace {

HKEY RootKey(RegRoot root) {
    switch (root) {
    case RegRoot::kClassesRoot:
        return HKEY_CLASSES_ROOT;
    case RegRoot::kCurrentUser:
        return HKEY_CURRENT_USER;
    case RegRoot::kLocalMachine:
        return HKEY_LOCAL_MACHINE;
    case RegRoot::kUsers:
        return HKEY_USERS;
    }
    return nullptr;
}

REGSAM ViewFlag(RegView view) {
    switch (view) {
    case RegView::k64:
        return KEY_WOW64_64KEY;
    case RegView::k32:
        return KEY_WOW64_32KEY;
    default:
        return 0;
    }
}

ErrorCode Open(RegRoot root, const std::string& subKey, RegView view, REGSAM access,
               win::UniqueHKey& key) {
    HKEY base = RootKey(root);
    if (!base) return err::kInvalidParameter;
    const std::u16string name = Utf8ToUtf16(subKey);
    return static_cast<ErrorCode>(
        RegOpenKeyExW(base, win::W(name), 0, access | ViewFlag(view), key.out()));
}

class WinRegistry final : public RegistryBackend {
public:
    ErrorCode OpenKey(RegRoot root, const std::string& subKey, RegView view) override {
        win::UniqueHKey key;
        return Open(root, subKey, view, KEY_READ, key);
    }

    ErrorCode CreateKey(RegRoot root, const std::string& subKey, RegView view) override {
        HKEY base = RootKey(root);
        if (!base) return err::kInvalidParameter;
        const std::u16string name = Utf8ToUtf16(subKey);
        win::UniqueHKey key;
        return static_cast<ErrorCode>(RegCreateKeyExW(base, win::W(name), 0, nullptr, 0,
                                                      KEY_ALL_ACCESS | ViewFlag(view), nullptr,
                                                      key.out(), nullptr));
    }

    ErrorCode DeleteKey(RegRoot root, const std::string& subKey, RegView view) override {
        HKEY base = RootKey(root);
        if (!base || subKey.empty()) return err::kInvalidParameter;
        const std::u16string name = Utf8ToUtf16(subKey);
        // Without RegDeleteKeyExW (32-bit systems before Vista) there is only one view.
        if (auto deleteEx = win::BoundRegDeleteKeyExW())
            return static_cast<ErrorCode>(deleteEx(base, win::W(name), ViewFlag(view), 0));
        return static_cast<ErrorCode>(RegDeleteKeyW(base, win::W(name)));
    }

    ErrorCode QueryValue(RegRoot root, const std::string& subKey, const std::string& name,
                         RegView view, std::uint32_t& type,
                         std::vector<std::uint8_t>& data) override {
        data.clear();
        type = REG_NONE;
        win::UniqueHKey key;
        if (ErrorCode e = Open(root, subKey, view, KEY_QUERY_VALUE, key)) return e;
        const std::u16string value = Utf8ToUtf16(name);
        DWORD t = 0, size = 0;
        LONG rc = RegQueryValueExW(key.get(), win::W(value), nullptr, &t, nullptr, &size);
        // The value may grow between the two calls; a few rounds settle it.
        for (int round = 0; rc == ERROR_SUCCESS && size > 0 && round < 8; ++round) {
            data.resize(size);
            rc = RegQueryValueExW(key.get(), win::W(value), nullptr, &t, data.data(), &size);
            if (rc == ERROR_SUCCESS) {
                data.resize(size);
                break;
            }
            if (rc == ERROR_MORE_DATA) rc = ERROR_SUCCESS;
        }
        if (rc != ERROR_SUCCESS) {
            data.clear();
            return static_cast<ErrorCode>(rc);
        }
        if (data.size() != size) data.resize(size);
        type = t;
        return err::kSuccess;
    }

    ErrorCode SetValue(RegRoot root, const std::string& subKey, const std::string& name,
                       RegView view, std::uint32_t type, ByteView data) override {
        if (data.size() > UINT_MAX) return err::kInvalidParameter;
        win::UniqueHKey key;
        if (ErrorCode e = Open(root, subKey, view, KEY_SET_VALUE, key)) return e;
        const std::u16string value = Utf8ToUtf16(name);
        return static_cast<ErrorCode>(RegSetValueExW(key.get(), win::W(value), 0, type, data.data(),
                                                     static_cast<DWORD>(data.size())));
    }

    ErrorCode DeleteValue(RegRoot root, const std::string& subKey, const std::string& name,
                          RegView view) override {
        win::UniqueHKey key;
        if (ErrorCode e = Open(root, subKey, view, KEY_SET_VALUE, key)) return e;
        const std::u16string value = Utf8ToUtf16(name);
        return static_cast<ErrorCode>(RegDeleteValueW(key.get(), win::W(value)));
    }

    ErrorCode EnumSubKeys(RegRoot root, const std::string& subKey, RegView view,
                          std::vector<std::string>& names) override {
        names.clear();
        win::UniqueHKey key;
        if (ErrorCode e = Open(root, subKey, view, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, key))
            return e;
        return Enumerate(names, [&](DWORD i, wchar_t* buf, DWORD* len) {
            return RegEnumKeyExW(key.get(), i, buf, len, nullptr, nullptr, nullptr, nullptr);
        });
    }

    ErrorCode EnumValues(RegRoot root, const std::string& subKey, RegView view,
                         std::vector<std::string>& names) override {
        names.clear();
        win::UniqueHKey key;
        if (ErrorCode e = Open(root, subKey, view, KEY_QUERY_VALUE, key)) return e;
        return Enumerate(names, [&](DWORD i, wchar_t* buf, DWORD* len) {
            return RegEnumValueW(key.get(), i, buf, len, nullptr, nullptr, nullptr, nullptr);
        });
    }

private:
    // Key names are at most 255 characters and value names 16383; the buffer starts at the
    // larger and grows should a name still not fit.
    template <class EnumFn>
    static ErrorCode Enumerate(std::vector<std::string>& names, EnumFn enumAt) {
        std::u16string buf(16384, u'\0');
        for (DWORD i = 0;; ++i) {
            DWORD len = static_cast<DWORD>(buf.size());
            LONG rc = enumAt(i, reinterpret_cast<wchar_t*>(buf.data()), &len);
            if (rc == ERROR_MORE_DATA && buf.size() < 65536) {
                buf.resize(65536);
                len = static_cast<DWORD>(buf.size());
                rc = enumAt(i, reinterpret_cast<wchar_t*>(buf.data()), &len);
            }
            if (rc == ERROR_NO_MORE_ITEMS) return err::kSuccess;
            if (rc != ERROR_SUCCESS) {
                names.clear();
                return static_cast<ErrorCode>(rc);
            }
            names.push_back(Utf16ToUtf8(std::u16string_view(buf.data(), len)));
        }
    }
};

} // namespace

RegistryBackend& PlatformRegistry() {
    static WinRegistry registry;
    return registry;
}

} // namespace tvd
