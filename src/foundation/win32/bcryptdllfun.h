// The platform's CNG hashing functions, bound at run time from "Bcrypt.DLL" (absent before Vista).
// A call whose function the system lacks answers kBcryptUnbound without doing anything.
#pragma once
#include <windows.h>

#include <bcrypt.h>

namespace tvd::bcryptdll {

inline constexpr NTSTATUS kBcryptUnbound = static_cast<NTSTATUS>(0xC0000001); // STATUS_UNSUCCESSFUL

NTSTATUS OpenAlgorithmProvider(BCRYPT_ALG_HANDLE* algorithm, const wchar_t* algId,
                               const wchar_t* implementation, ULONG flags);
NTSTATUS CloseAlgorithmProvider(BCRYPT_ALG_HANDLE algorithm, ULONG flags);
NTSTATUS GetProperty(BCRYPT_HANDLE object, const wchar_t* property, UCHAR* output, ULONG outputSize,
                     ULONG* resultSize, ULONG flags);
NTSTATUS CreateHash(BCRYPT_ALG_HANDLE algorithm, BCRYPT_HASH_HANDLE* hash, UCHAR* hashObject,
                    ULONG hashObjectSize, UCHAR* secret, ULONG secretSize, ULONG flags);
NTSTATUS HashData(BCRYPT_HASH_HANDLE hash, UCHAR* input, ULONG inputSize, ULONG flags);
NTSTATUS FinishHash(BCRYPT_HASH_HANDLE hash, UCHAR* output, ULONG outputSize, ULONG flags);
NTSTATUS DestroyHash(BCRYPT_HASH_HANDLE hash);

} // namespace tvd::bcryptdll
