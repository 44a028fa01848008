// Hashing by algorithm name on Linux: the engine's own SHA-256. Other algorithms have no
// implementation here and are refused as not supported.
#include "foundation/bcryptutil.h"

#include <optional>

#include "net/sha256util.h"

namespace tvd {

namespace {

// CNG algorithm names compare ignoring ASCII case.
bool NameIs(const char16_t* name, const char* want) {
    for (; *want != '\0'; ++name, ++want) {
        char16_t c = *name;
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
        if (c != static_cast<unsigned char>(*want)) return false;
    }
    return *name == u'\0';
}

} // namespace

struct HashContext::Impl {
    std::optional<Sha256State> sha256;
    std::size_t digestLength = 0;
};

HashContext::HashContext() : impl_(std::make_unique<Impl>()) {}

HashContext::~HashContext() = default;

ErrorCode HashContext::Open(const char16_t* algorithm) {
    Close();
    if (algorithm == nullptr) return err::kInvalidParameter;
    if (!NameIs(algorithm, "SHA256")) return err::kNotSupported;
    impl_->sha256.emplace();
    impl_->digestLength = Sha256State::kDigestSize;
    return err::kSuccess;
}

ErrorCode HashContext::Update(ByteView data) {
    if (!impl_->sha256) return err::kInvalidHandle;
    impl_->sha256->Update(data.data(), data.size());
    return err::kSuccess;
}

ErrorCode HashContext::Finish(std::vector<std::uint8_t>& digest) {
    digest.clear();
    if (!impl_->sha256) return err::kInvalidHandle;
    const auto sum = impl_->sha256->Finish();
    digest.assign(sum.begin(), sum.end());
    impl_->sha256.reset();
    return err::kSuccess;
}

std::size_t HashContext::DigestLength() const {
    return impl_->digestLength;
}

void HashContext::Close() {
    impl_->sha256.reset();
    impl_->digestLength = 0;
}

} // namespace tvd
