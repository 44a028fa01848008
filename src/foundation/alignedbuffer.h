// Page-aligned memory for unbuffered device and file I/O (O_DIRECT, FILE_FLAG_NO_BUFFERING).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "foundation/bytesutil.h"

namespace tvd {

class AlignedBuffer {
public:
    static constexpr std::size_t kAlignment = 4096;

    AlignedBuffer() = default;
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;
    AlignedBuffer(AlignedBuffer&& o) noexcept : data_(o.data_), size_(o.size_) {
        o.data_ = nullptr;
        o.size_ = 0;
    }
    AlignedBuffer& operator=(AlignedBuffer&& o) noexcept {
        if (this != &o) {
            Free();
            data_ = o.data_;
            size_ = o.size_;
            o.data_ = nullptr;
            o.size_ = 0;
        }
        return *this;
    }
    ~AlignedBuffer() { Free(); }

    // Exactly `size` bytes (zeroed), or false with nothing held.
    bool Allocate(std::size_t size) noexcept {
        Free();
        if (size == 0) return false;
        data_ = static_cast<std::uint8_t*>(
            ::operator new (size, std::align_val_t{kAlignment}, std::nothrow));
        if (!data_) return false;
        std::memset(data_, 0, size);
        size_ = size;
        return true;
    }
    // The largest of `wanted`, wanted/2, ... down to `least` that can be had; 0 when none.
    std::size_t AllocateHalving(std::size_t wanted, std::size_t least) noexcept {
        for (std::size_t size = wanted; size >= least && size > 0; size /= 2)
            if (Allocate(size)) return size;
        return 0;
    }
    void Free() noexcept {
        if (data_) ::operator delete (data_, std::align_val_t{kAlignment}, std::nothrow);
        data_ = nullptr;
        size_ = 0;
    }

    // The block belongs to whoever holds the buffer; a const holder may still fill it.
    std::uint8_t* Data() const noexcept { return data_; }
    std::size_t Size() const noexcept { return size_; }
    MutableByteView View() const noexcept { return MutableByteView(data_, size_); }
    MutableByteView View(std::size_t size) const noexcept {
        return MutableByteView(data_, size < size_ ? size : size_);
    }

private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

} // namespace tvd
