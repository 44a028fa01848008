// Hashing by algorithm name ("SHA256", ...). Windows: the platform's CNG, bound at run time.
// Linux: the engine's own SHA-256; other names are kNotSupported.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/bytesutil.h"
#include "foundation/errorcodes.h"

namespace tvd {

class HashContext {
public:
    HashContext();
    ~HashContext();
    HashContext(const HashContext&) = delete;
    HashContext& operator=(const HashContext&) = delete;

    // Opens the algorithm (UTF-16 CNG name, e.g. u"SHA256") and creates the hash object.
    ErrorCode Open(const char16_t* algorithm);
    ErrorCode Update(ByteView data);
    // Finishes into `digest` (DigestLength() bytes); the context must be opened again to reuse.
    ErrorCode Finish(std::vector<std::uint8_t>& digest);
    std::size_t DigestLength() const;
    void Close();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// One-shot SHA-256 through HashContext.
ErrorCode Sha256(ByteView data, std::vector<std::uint8_t>& digest);

} // namespace tvd
