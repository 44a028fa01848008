#include "foundation/clzoltitem.h"

namespace tvd {

clZoltItem::~clZoltItem() = default;

void clZoltItem::AddRef() noexcept {
    refCount_.fetch_add(1, std::memory_order_relaxed);
}

void clZoltItem::Release() noexcept {
    // acq_rel: every write made through any reference happens before the destruction.
    if (refCount_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

clZoltObject::~clZoltObject() = default;

} // namespace tvd
