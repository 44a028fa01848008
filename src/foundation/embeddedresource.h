// Raw data built into the program itself, for platforms whose executables carry no resource
// section (Linux). The table comes from a source generated at build time; a build that embeds
// nothing generates an empty one.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "foundation/bytesutil.h"

namespace tvd {

struct EmbeddedResource {
    const char* name;
    const std::uint8_t* data;
    std::size_t size;
};

// Defined by the generated source.
std::span<const EmbeddedResource> EmbeddedResources();

// Further tables, from generated sources linked into one program (its message tables), join
// the lookup by defining one static object each; they register before main runs.
class EmbeddedResourceTable {
public:
    explicit EmbeddedResourceTable(std::span<const EmbeddedResource> entries) noexcept;
    EmbeddedResourceTable(const EmbeddedResourceTable&) = delete;
    EmbeddedResourceTable& operator=(const EmbeddedResourceTable&) = delete;

private:
    friend bool FindEmbeddedResource(const char* name, ByteView& bytes);
    std::span<const EmbeddedResource> entries_;
    const EmbeddedResourceTable* next_;
};

// The bytes of the embedded resource `name` (exact, case-sensitive); false when absent. The
// view stays valid for the life of the process.
bool FindEmbeddedResource(const char* name, ByteView& bytes);

} // namespace tvd
