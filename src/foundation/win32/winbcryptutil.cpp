#include "foundation/bcryptutil.h"

#include <windows.h>

#include <algorithm>
#include <new>

#include "foundation/win32/bcryptdllfun.h"
#include "foundation/win32/winmodules.h"

namespace tvd {

namespace {

ErrorCode FromStatus(NTSTATUS status) {
    if (BCRYPT_SUCCESS(status)) return err::kSuccess;
    if (auto toDos = win::BoundRtlNtStatusToDosError()) {
        const ULONG e = toDos(status);
        if (e != 0 && e != ERROR_MR_MID_NOT_FOUND) return e;
    }
    return err::kGenFailure;
}

ErrorCode ReadUlongProperty(BCRYPT_HANDLE object, const wchar_t* name, ULONG& value) {
    ULONG got = 0;
    const NTSTATUS s = bcryptdll::GetProperty(object, name, reinterpret_cast<UCHAR*>(&value),
                                              sizeof value, &got, 0);
    if (!BCRYPT_SUCCESS(s)) return FromStatus(s);
    return got == sizeof value ? err::kSuccess : err::kInvalidData;
}

} // namespace

struct HashContext::Impl {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    std::unique_ptr<UCHAR[]> hashObject; // CNG keeps its state in this caller-owned block
    ULONG digestLength = 0;

    void Release() {
        if (hash) bcryptdll::DestroyHash(hash);
        hash = nullptr;
        hashObject.reset();
        if (algorithm) bcryptdll::CloseAlgorithmProvider(algorithm, 0);
        algorithm = nullptr;
        digestLength = 0;
    }
};

HashContext::HashContext() : impl_(std::make_unique<Impl>()) {}

HashContext::~HashContext() {
    Close();
}

void HashContext::Close() {
    if (impl_) impl_->Release();
}

ErrorCode HashContext::Open(const char16_t* algorithm) {
    Close();
    if (!algorithm || !*algorithm) return err::kInvalidParameter;
    Impl& d = *impl_;
    NTSTATUS s = bcryptdll::OpenAlgorithmProvider(
        &d.algorithm, reinterpret_cast<const wchar_t*>(algorithm), nullptr, 0);
    if (!BCRYPT_SUCCESS(s)) {
        d.algorithm = nullptr;
        return FromStatus(s);
    }
    ULONG objectLength = 0;
    ErrorCode e = ReadUlongProperty(d.algorithm, BCRYPT_OBJECT_LENGTH, objectLength);
    if (!e) e = ReadUlongProperty(d.algorithm, BCRYPT_HASH_LENGTH, d.digestLength);
    if (!e && d.digestLength == 0) e = err::kInvalidData;
    if (!e) {
        d.hashObject.reset(new (std::nothrow) UCHAR[objectLength ? objectLength : 1]);
        if (!d.hashObject) e = err::kNoSystemResources;
    }
    if (!e) {
        s = bcryptdll::CreateHash(d.algorithm, &d.hash, d.hashObject.get(), objectLength, nullptr,
                                  0, 0);
        if (!BCRYPT_SUCCESS(s)) {
            d.hash = nullptr;
            e = FromStatus(s);
        }
    }
    if (e) d.Release();
    return e;
}

ErrorCode HashContext::Update(ByteView data) {
    if (!impl_->hash) return err::kInvalidHandle;
    // CNG takes 32-bit lengths.
    while (!data.empty()) {
        const std::size_t n = std::min<std::size_t>(data.size(), 0x40000000u);
        const NTSTATUS s = bcryptdll::HashData(impl_->hash, const_cast<UCHAR*>(data.data()),
                                               static_cast<ULONG>(n), 0);
        if (!BCRYPT_SUCCESS(s)) return FromStatus(s);
        data = data.subspan(n);
    }
    return err::kSuccess;
}

ErrorCode HashContext::Finish(std::vector<std::uint8_t>& digest) {
    digest.clear();
    if (!impl_->hash) return err::kInvalidHandle;
    std::vector<std::uint8_t> out(impl_->digestLength);
    const NTSTATUS s = bcryptdll::FinishHash(impl_->hash, out.data(), impl_->digestLength, 0);
    Close();
    if (!BCRYPT_SUCCESS(s)) return FromStatus(s);
    digest = std::move(out);
    return err::kSuccess;
}

std::size_t HashContext::DigestLength() const {
    return impl_->digestLength;
}

} // namespace tvd
