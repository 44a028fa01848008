// Optional modules load from the system folder only: a module of the same name planted in the
// program's folder or the current directory must never be picked up by the elevated program.
#include "foundation/dllbindutil.h"

#include <windows.h>

#include "foundation/textconvutil.h"
#include "foundation/win32/winhandle.h"

namespace tvd {

namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32 came with the update that added AddDllDirectory; without it the
// flag is rejected, so the absolute system-folder path is loaded instead.
bool SearchFlagsSupported() {
    HMODULE k = GetModuleHandleW(L"kernel32.dll");
    return k && GetProcAddress(k, "AddDllDirectory") != nullptr;
}

HMODULE LoadFromSystemFolder(const std::u16string& name) {
    if (SearchFlagsSupported())
        return LoadLibraryExW(win::W(name), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    wchar_t dir[MAX_PATH];
    const UINT n = GetSystemDirectoryW(dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    std::u16string full = win::U16(dir, n);
    if (full.back() != u'\\') full += u'\\';
    full += name;
    return LoadLibraryExW(win::W(full), nullptr, 0);
}

} // namespace

BoundModule::BoundModule(const char* name) : name_(name ? name : "") {}

BoundModule::~BoundModule() {
    if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
}

void BoundModule::Load() {
    // A bare file name only: a path would bypass the system-folder rule.
    if (name_.empty() || name_.find_first_of("\\/:") != std::string::npos) return;
    handle_ = LoadFromSystemFolder(Utf8ToUtf16(name_));
}

bool BoundModule::Loaded() {
    std::call_once(once_, [this] { Load(); });
    return handle_ != nullptr;
}

void* BoundModule::Proc(const char* function) {
    if (!function || !Loaded()) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), function));
}

} // namespace tvd
