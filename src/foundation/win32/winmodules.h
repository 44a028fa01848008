// The optional system modules, bound on first use from the system folder, and typed bindings of
// the functions the Windows layer takes from them. A binding is nullptr on a system that lacks the
// function; each caller falls back as its own contract says.
#pragma once
#include <windows.h>

#include "foundation/dllbindutil.h"

namespace tvd::win {

BoundModule& Advapi32Module();
BoundModule& BcryptModule();
BoundModule& CfgMgr32Module();
BoundModule& IphlpapiModule();
BoundModule& Kernel32Module();
BoundModule& NtDllModule();
BoundModule& Shell32Module();
BoundModule& ShFolderModule();
BoundModule& WinHttpModule();

using RtlGetNtVersionNumbersFn = void(WINAPI*)(DWORD* major, DWORD* minor, DWORD* build);
using RtlNtStatusToDosErrorFn = ULONG(WINAPI*)(LONG status);
using GetNativeSystemInfoFn = void(WINAPI*)(SYSTEM_INFO* info);
using GetProductInfoFn = BOOL(WINAPI*)(DWORD major, DWORD minor, DWORD spMajor, DWORD spMinor,
                                       DWORD* productType);
using GetSystemFirmwareTableFn = UINT(WINAPI*)(DWORD provider, DWORD tableId, void* buffer,
                                               DWORD size);
using GetSystemWow64DirectoryWFn = UINT(WINAPI*)(wchar_t* buffer, UINT size);
using RegDeleteKeyExWFn = LONG(WINAPI*)(HKEY key, const wchar_t* subKey, REGSAM view,
                                        DWORD reserved);
using SHCreateDirectoryExWFn = int(WINAPI*)(HWND owner, const wchar_t* path,
                                            const SECURITY_ATTRIBUTES* attributes);

RtlGetNtVersionNumbersFn BoundRtlGetNtVersionNumbers();
RtlNtStatusToDosErrorFn BoundRtlNtStatusToDosError();
GetNativeSystemInfoFn BoundGetNativeSystemInfo();
GetProductInfoFn BoundGetProductInfo();
GetSystemFirmwareTableFn BoundGetSystemFirmwareTable();
GetSystemWow64DirectoryWFn BoundGetSystemWow64DirectoryW();
RegDeleteKeyExWFn BoundRegDeleteKeyExW();
// Shell32 first, then SHFolder: the first module that has the function wins.
SHCreateDirectoryExWFn BoundSHCreateDirectoryExW();

} // namespace tvd::win
