#include "foundation/win32/winmodules.h"

namespace tvd::win {

namespace {

// Never destroyed: bindings handed out stay valid while other statics are torn down at exit.
BoundModule& Immortal(const char* name) {
    return *new BoundModule(name);
}

template <class F> F FirstOf(BoundModule& a, BoundModule& b, const char* function) {
    if (F f = a.Fn<F>(function)) return f;
    return b.Fn<F>(function);
}

} // namespace

BoundModule& Advapi32Module() {
    static BoundModule& m = Immortal("advapi32.DLL");
    return m;
}
BoundModule& BcryptModule() {
    static BoundModule& m = Immortal("Bcrypt.DLL");
    return m;
}
BoundModule& CfgMgr32Module() {
    static BoundModule& m = Immortal("CFGMGR32.DLL");
    return m;
}
BoundModule& IphlpapiModule() {
    static BoundModule& m = Immortal("iphlpapi.DLL");
    return m;
}
BoundModule& Kernel32Module() {
    static BoundModule& m = Immortal("Kernel32.DLL");
    return m;
}
BoundModule& NtDllModule() {
    static BoundModule& m = Immortal("NtDll.DLL");
    return m;
}
BoundModule& Shell32Module() {
    static BoundModule& m = Immortal("Shell32.DLL");
    return m;
}
BoundModule& ShFolderModule() {
    static BoundModule& m = Immortal("SHFolder.DLL");
    return m;
}
BoundModule& WinHttpModule() {
    static BoundModule& m = Immortal("WinHttp.DLL");
    return m;
}

RtlGetNtVersionNumbersFn BoundRtlGetNtVersionNumbers() {
    static const auto f = NtDllModule().Fn<RtlGetNtVersionNumbersFn>("RtlGetNtVersionNumbers");
    return f;
}
RtlNtStatusToDosErrorFn BoundRtlNtStatusToDosError() {
    static const auto f = NtDllModule().Fn<RtlNtStatusToDosErrorFn>("RtlNtStatusToDosError");
    return f;
}
GetNativeSystemInfoFn BoundGetNativeSystemInfo() {
    static const auto f = Kernel32Module().Fn<GetNativeSystemInfoFn>("GetNativeSystemInfo");
    return f;
}
GetProductInfoFn BoundGetProductInfo() {
    static const auto f = Kernel32Module().Fn<GetProductInfoFn>("GetProductInfo");
    return f;
}
GetSystemFirmwareTableFn BoundGetSystemFirmwareTable() {
    static const auto f = Kernel32Module().Fn<GetSystemFirmwareTableFn>("GetSystemFirmwareTable");
    return f;
}
GetSystemWow64DirectoryWFn BoundGetSystemWow64DirectoryW() {
    static const auto f =
        Kernel32Module().Fn<GetSystemWow64DirectoryWFn>("GetSystemWow64DirectoryW");
    return f;
}
RegDeleteKeyExWFn BoundRegDeleteKeyExW() {
    static const auto f = Advapi32Module().Fn<RegDeleteKeyExWFn>("RegDeleteKeyExW");
    return f;
}
SHCreateDirectoryExWFn BoundSHCreateDirectoryExW() {
    static const auto f =
        FirstOf<SHCreateDirectoryExWFn>(Shell32Module(), ShFolderModule(), "SHCreateDirectoryExW");
    return f;
}

} // namespace tvd::win
