#include "foundation/win32/bcryptdllfun.h"

#include "foundation/win32/winmodules.h"

namespace tvd::bcryptdll {

namespace {

template <class F> F Bind(const char* name) {
    return win::BcryptModule().Fn<F>(name);
}

using OpenFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE*, LPCWSTR, LPCWSTR, ULONG);
using CloseFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, ULONG);
using GetPropertyFn = NTSTATUS(WINAPI*)(BCRYPT_HANDLE, LPCWSTR, PUCHAR, ULONG, ULONG*, ULONG);
using CreateHashFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_HASH_HANDLE*, PUCHAR, ULONG,
                                       PUCHAR, ULONG, ULONG);
using HashDataFn = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using FinishHashFn = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using DestroyHashFn = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE);

} // namespace

NTSTATUS OpenAlgorithmProvider(BCRYPT_ALG_HANDLE* algorithm, const wchar_t* algId,
                               const wchar_t* implementation, ULONG flags) {
    static const auto f = Bind<OpenFn>("BCryptOpenAlgorithmProvider");
    return f ? f(algorithm, algId, implementation, flags) : kBcryptUnbound;
}

NTSTATUS CloseAlgorithmProvider(BCRYPT_ALG_HANDLE algorithm, ULONG flags) {
    static const auto f = Bind<CloseFn>("BCryptCloseAlgorithmProvider");
    return f ? f(algorithm, flags) : kBcryptUnbound;
}

NTSTATUS GetProperty(BCRYPT_HANDLE object, const wchar_t* property, UCHAR* output, ULONG outputSize,
                     ULONG* resultSize, ULONG flags) {
    static const auto f = Bind<GetPropertyFn>("BCryptGetProperty");
    return f ? f(object, property, output, outputSize, resultSize, flags) : kBcryptUnbound;
}

NTSTATUS CreateHash(BCRYPT_ALG_HANDLE algorithm, BCRYPT_HASH_HANDLE* hash, UCHAR* hashObject,
                    ULONG hashObjectSize, UCHAR* secret, ULONG secretSize, ULONG flags) {
    static const auto f = Bind<CreateHashFn>("BCryptCreateHash");
    return f ? f(algorithm, hash, hashObject, hashObjectSize, secret, secretSize, flags)
             : kBcryptUnbound;
}

NTSTATUS HashData(BCRYPT_HASH_HANDLE hash, UCHAR* input, ULONG inputSize, ULONG flags) {
    static const auto f = Bind<HashDataFn>("BCryptHashData");
    return f ? f(hash, input, inputSize, flags) : kBcryptUnbound;
}

NTSTATUS FinishHash(BCRYPT_HASH_HANDLE hash, UCHAR* output, ULONG outputSize, ULONG flags) {
    static const auto f = Bind<FinishHashFn>("BCryptFinishHash");
    return f ? f(hash, output, outputSize, flags) : kBcryptUnbound;
}

NTSTATUS DestroyHash(BCRYPT_HASH_HANDLE hash) {
    static const auto f = Bind<DestroyHashFn>("BCryptDestroyHash");
    return f ? f(hash) : kBcryptUnbound;
}

} // namespace tvd::bcryptdll
