// Registry access in both registry views. Every operation returns 0 or a Windows error number.
// The operations run over a backend: the real registry on Windows; on Linux a backend that
// answers "not supported" (50); and an in-memory two-view registry that tests install.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"

namespace tvd {

// Predefined roots, with the numeric values of the Windows handles.
enum class RegRoot : std::uint32_t {
    kClassesRoot = 0x80000000u,
    kCurrentUser = 0x80000001u,
    kLocalMachine = 0x80000002u,
    kUsers = 0x80000003u,
};

// kDefault is the process's own view (32-bit in a 32-bit process on 64-bit Windows).
enum class RegView { kDefault, k64, k32 };

// Value types, with the Windows numbers.
namespace regtype {
inline constexpr std::uint32_t kNone = 0;
inline constexpr std::uint32_t kSz = 1;
inline constexpr std::uint32_t kExpandSz = 2;
inline constexpr std::uint32_t kBinary = 3;
inline constexpr std::uint32_t kDword = 4;
inline constexpr std::uint32_t kMultiSz = 7;
inline constexpr std::uint32_t kQword = 11;
} // namespace regtype

// Sub-key and value names are UTF-8 (the Windows backend converts them to UTF-16). Value data
// passes through unchanged, as the registry stores it: REG_SZ is UTF-16LE with its terminating
// NUL. The Reg* functions below convert.
class RegistryBackend {
public:
    virtual ~RegistryBackend() = default;
    virtual ErrorCode OpenKey(RegRoot root, const std::string& subKey, RegView view) = 0;
    virtual ErrorCode CreateKey(RegRoot root, const std::string& subKey, RegView view) = 0;
    virtual ErrorCode DeleteKey(RegRoot root, const std::string& subKey, RegView view) = 0;
    virtual ErrorCode QueryValue(RegRoot root, const std::string& subKey, const std::string& name,
                                 RegView view, std::uint32_t& type,
                                 std::vector<std::uint8_t>& data) = 0;
    // Creates nothing: the key must exist (kFileNotFound otherwise).
    virtual ErrorCode SetValue(RegRoot root, const std::string& subKey, const std::string& name,
                               RegView view, std::uint32_t type, ByteView data) = 0;
    virtual ErrorCode DeleteValue(RegRoot root, const std::string& subKey, const std::string& name,
                                  RegView view) = 0;
    virtual ErrorCode EnumSubKeys(RegRoot root, const std::string& subKey, RegView view,
                                  std::vector<std::string>& names) = 0;
    virtual ErrorCode EnumValues(RegRoot root, const std::string& subKey, RegView view,
                                 std::vector<std::string>& names) = 0;
};

// The backend in use; the platform's own unless a test installed another.
RegistryBackend& Registry();
// Installs a backend (not owned) for the whole process; nullptr restores the platform's own.
void SetRegistryBackend(RegistryBackend* backend);
// The platform's own backend.
RegistryBackend& PlatformRegistry();

// In-memory registry with the 64-bit and 32-bit views of a 64-bit Windows: in the 32-bit view,
// HKLM\Software and HKCR are redirected under WOW6432Node. `process32` makes kDefault the
// 32-bit view. Counts writes, so tests can tell that nothing was written.
class MemoryRegistry : public RegistryBackend {
public:
    explicit MemoryRegistry(bool process32 = false);
    ~MemoryRegistry() override;
    ErrorCode OpenKey(RegRoot root, const std::string& subKey, RegView view) override;
    ErrorCode CreateKey(RegRoot root, const std::string& subKey, RegView view) override;
    ErrorCode DeleteKey(RegRoot root, const std::string& subKey, RegView view) override;
    ErrorCode QueryValue(RegRoot root, const std::string& subKey, const std::string& name,
                         RegView view, std::uint32_t& type,
                         std::vector<std::uint8_t>& data) override;
    ErrorCode SetValue(RegRoot root, const std::string& subKey, const std::string& name,
                       RegView view, std::uint32_t type, ByteView data) override;
    ErrorCode DeleteValue(RegRoot root, const std::string& subKey, const std::string& name,
                          RegView view) override;
    ErrorCode EnumSubKeys(RegRoot root, const std::string& subKey, RegView view,
                          std::vector<std::string>& names) override;
    ErrorCode EnumValues(RegRoot root, const std::string& subKey, RegView view,
                         std::vector<std::string>& names) override;
    std::uint64_t WriteCount() const;
    // Makes the next `count` writes or deletes in `view` fail with `error` (fault injection).
    void FailWrites(RegView view, ErrorCode error, int count = 1);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Installs a backend for the life of the object (tests).
class ScopedRegistryBackend {
public:
    explicit ScopedRegistryBackend(RegistryBackend* b) { SetRegistryBackend(b); }
    ~ScopedRegistryBackend() { SetRegistryBackend(nullptr); }
    ScopedRegistryBackend(const ScopedRegistryBackend&) = delete;
    ScopedRegistryBackend& operator=(const ScopedRegistryBackend&) = delete;
};

// An opened key: where it is and in which view. Empty until opened.
struct RegKey {
    RegRoot root = RegRoot::kLocalMachine;
    std::string subKey;
    RegView view = RegView::kDefault;
    bool open = false;
};

ErrorCode RegOpenKey(RegRoot root, const std::string& subKey, RegView view, RegKey& key);
ErrorCode RegOpenOrCreate(RegRoot root, const std::string& subKey, RegKey& key);
ErrorCode RegOpenOrCreate64(RegRoot root, const std::string& subKey, RegKey& key);
// kBadFormat (11) when the value exists but is not a REG_DWORD.
ErrorCode RegReadDword(const RegKey& key, const std::string& value, std::uint32_t& number);
// Reads first; writes nothing when the stored number is already equal.
ErrorCode RegWriteDword(const RegKey& key, const std::string& value, std::uint32_t number);
// REG_SZ with its terminating NUL; a null text writes length 0.
ErrorCode RegWriteString(RegRoot root, const std::string& subKey, const std::string& value,
                         const char* text);
ErrorCode RegWriteString64(RegRoot root, const std::string& subKey, const std::string& value,
                           const char* text);
ErrorCode RegWriteDwordAt(RegRoot root, const std::string& subKey, const std::string& value,
                          std::uint32_t number);
ErrorCode RegWriteDwordAt64(RegRoot root, const std::string& subKey, const std::string& value,
                            std::uint32_t number);
ErrorCode RegWriteBinary(RegRoot root, const std::string& subKey, const std::string& value,
                         ByteView bytes);
// REG_SZ from the 64-bit view; kBadFormat for another type.
ErrorCode RegReadString64(RegRoot root, const std::string& subKey, const std::string& value,
                          std::string& text);
// REG_BINARY from the default view; kBadFormat for another type.
ErrorCode RegReadBinary(RegRoot root, const std::string& subKey, const std::string& value,
                        std::vector<std::uint8_t>& bytes);
// An 8-byte REG_BINARY value; 0 when missing or of another size.
std::uint64_t RegReadQword(RegRoot root, const std::string& subKey, const std::string& value);
ErrorCode RegWriteQword(RegRoot root, const std::string& subKey, const std::string& value,
                        std::uint64_t number);
// Deletes in the 64-bit view, then the default view. Success only when each view deleted the
// value or did not have it.
ErrorCode RegDeleteValueBoth(RegRoot root, const std::string& subKey, const std::string& value);
// REG_SZ from the default view as UTF-16.
ErrorCode RegReadWideString(RegRoot root, const std::string& subKey, const std::string& value,
                            std::u16string& text);
bool RegKeyExists(RegRoot root, const std::string& subKey, RegView view = RegView::kDefault);

// REG_SZ or REG_EXPAND_SZ from `view` as UTF-16, unexpanded; kBadFormat for another type.
ErrorCode RegReadWideStringIn(RegRoot root, const std::string& subKey, const std::string& value,
                              RegView view, std::u16string& text);

// Deletes the key with all its sub-keys in `view`, deepest first. A missing key is
// kFileNotFound; a tree deeper than 512 levels is refused with kInvalidData and left in place.
ErrorCode RegDeleteKeyTree(RegRoot root, const std::string& subKey, RegView view);

} // namespace tvd
