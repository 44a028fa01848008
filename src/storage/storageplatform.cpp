#include "storage/storageplatform.h"

#include <atomic>

namespace tvd {

DeviceHandle::DeviceHandle(DeviceHandle&& o) noexcept
    : impl_(std::move(o.impl_)), writable_(o.writable_) {
    o.writable_ = false;
}

DeviceHandle& DeviceHandle::operator=(DeviceHandle&& o) noexcept {
    if (this != &o) {
        impl_ = std::move(o.impl_);
        writable_ = o.writable_;
        o.writable_ = false;
    }
    return *this;
}

void DeviceHandle::Close() {
    impl_.reset();
    writable_ = false;
}

namespace {
std::atomic<StoragePlatform*> g_selected{nullptr};
} // namespace

StoragePlatform& Storage() {
    StoragePlatform* p = g_selected.load(std::memory_order_acquire);
    return p ? *p : NativeStorage();
}

void SelectStorage(StoragePlatform* platform) {
    g_selected.store(platform, std::memory_order_release);
}

} // namespace tvd
