// Owning wrappers for the Win32 handles of the Windows layer, and the bridge between the engine's
// char16_t strings and the wide API (wchar_t is 16 bits on Windows).
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "foundation/errorcodes.h"

namespace tvd::win {

inline const wchar_t* W(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}
inline std::u16string U16(const wchar_t* s, std::size_t n) {
    return std::u16string(reinterpret_cast<const char16_t*>(s), n);
}
inline std::u16string U16(const wchar_t* s) {
    return s ? U16(s, std::char_traits<wchar_t>::length(s)) : std::u16string();
}

// A kernel handle; both null and INVALID_HANDLE_VALUE mean "none".
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE h) : h_(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) reset(std::exchange(o.h_, nullptr));
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }
    HANDLE* out() {
        reset();
        return &h_;
    }
    void reset(HANDLE h = nullptr) {
        if (valid()) CloseHandle(h_);
        h_ = h;
    }

private:
    HANDLE h_ = nullptr;
};

// A registry key. SetupDi's key openers answer INVALID_HANDLE_VALUE for none, so that is none
// here too, as is null.
class UniqueHKey {
public:
    UniqueHKey() = default;
    explicit UniqueHKey(HKEY k) : k_(k) {}
    ~UniqueHKey() { reset(); }
    UniqueHKey(const UniqueHKey&) = delete;
    UniqueHKey& operator=(const UniqueHKey&) = delete;
    bool valid() const { return k_ != nullptr && k_ != static_cast<HKEY>(INVALID_HANDLE_VALUE); }
    HKEY get() const { return k_; }
    HKEY* out() {
        reset();
        return &k_;
    }
    void reset() {
        if (valid()) RegCloseKey(k_);
        k_ = nullptr;
    }

private:
    HKEY k_ = nullptr;
};

struct LocalFreeDeleter {
    void operator()(void* p) const { LocalFree(p); }
};
template <class T> using LocalPtr = std::unique_ptr<T, LocalFreeDeleter>;

struct ModuleDeleter {
    void operator()(HMODULE m) const { FreeLibrary(m); }
};
using UniqueModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleDeleter>;

inline ErrorCode LastError() {
    const DWORD e = GetLastError();
    return e ? e : err::kGenFailure; // a failed call never reads as success
}

// HRESULT to a Windows error number: Win32-facility codes carry one; others are a general failure.
inline ErrorCode FromHresult(HRESULT hr) {
    if (SUCCEEDED(hr)) return err::kSuccess;
    if (HRESULT_FACILITY(hr) == FACILITY_WIN32) return HRESULT_CODE(hr);
    if (hr == E_OUTOFMEMORY) return err::kNotEnoughMemory;
    return err::kGenFailure;
}

} // namespace tvd::win
