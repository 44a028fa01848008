// Run-time binding of optional shared objects through the dynamic loader.
#include "foundation/dllbindutil.h"

#include <dlfcn.h>

namespace tvd {

BoundModule::BoundModule(const char* name) : name_(name ? name : "") {}

BoundModule::~BoundModule() {
    if (handle_ != nullptr) dlclose(handle_);
}

void BoundModule::Load() {
    std::call_once(once_, [this] {
        if (!name_.empty()) handle_ = dlopen(name_.c_str(), RTLD_NOW | RTLD_LOCAL);
    });
}

bool BoundModule::Loaded() {
    Load();
    return handle_ != nullptr;
}

void* BoundModule::Proc(const char* function) {
    if (function == nullptr || !Loaded()) return nullptr;
    return dlsym(handle_, function);
}

} // namespace tvd
