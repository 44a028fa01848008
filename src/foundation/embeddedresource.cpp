#include "foundation/embeddedresource.h"

#include <string_view>

namespace tvd {

bool FindEmbeddedResource(const char* name, ByteView& bytes) {
    bytes = {};
    if (!name) return false;
    const std::string_view wanted(name);
    for (const EmbeddedResource& r : EmbeddedResources()) {
        if (r.name && r.data && wanted == r.name) {
            bytes = ByteView(r.data, r.size);
            return true;
        }
    }
    return false;
}

} // namespace tvd
