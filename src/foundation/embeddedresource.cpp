#include "foundation/embeddedresource.h"

#include <string_view>

namespace tvd {

namespace {

// Constant-initialized, so registrations from any translation unit find it ready.
constinit const EmbeddedResourceTable* g_tables = nullptr;

bool FindIn(std::span<const EmbeddedResource> entries, std::string_view wanted, ByteView& bytes) {
    for (const EmbeddedResource& r : entries) {
        if (r.name && r.data && wanted == r.name) {
            bytes = ByteView(r.data, r.size);
            return true;
        }
    }
    return false;
}

} // namespace

EmbeddedResourceTable::EmbeddedResourceTable(std::span<const EmbeddedResource> entries) noexcept
    : entries_(entries), next_(g_tables) {
    g_tables = this;
}

bool FindEmbeddedResource(const char* name, ByteView& bytes) {
    bytes = {};
    if (!name) return false;
    const std::string_view wanted(name);
    if (FindIn(EmbeddedResources(), wanted, bytes)) return true;
    for (const EmbeddedResourceTable* t = g_tables; t; t = t->next_)
        if (FindIn(t->entries_, wanted, bytes)) return true;
    return false;
}

} // namespace tvd
