// One-shot hashing over HashContext, shared by both platforms.
#include "foundation/bcryptutil.h"

namespace tvd {

ErrorCode Sha256(ByteView data, std::vector<std::uint8_t>& digest) {
    digest.clear();
    HashContext hash;
    if (ErrorCode e = hash.Open(u"SHA256")) return e;
    if (ErrorCode e = hash.Update(data)) return e;
    return hash.Finish(digest);
}

} // namespace tvd
