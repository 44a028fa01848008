#include "net/cljobhttpbuffer.h"

#include <cstring>
#include <new>

namespace tvd {

void clJobHttpBuffer::Run() {
    chunkSize = 2048;
    used = 0;
    if (initialCapacity != 0) {
        if (initialCapacity < 0 || initialCapacity > maxCapacity) {
            result.store(err::kInvalidParameter, std::memory_order_release);
            failed.store(true, std::memory_order_release);
            Finish();
            return;
        }
        data.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(initialCapacity)]);
        if (!data) {
            result.store(err::kInsufficientBuffer, std::memory_order_release);
            failed.store(true, std::memory_order_release);
            Finish();
            return;
        }
        capacity = initialCapacity;
    }
    clJobHttpClient::Run();
}

ErrorCode clJobHttpBuffer::BeginBody() {
    used = 0;
    return 0;
}

ErrorCode clJobHttpBuffer::ExpectLength(std::int64_t length) {
    // The body must leave one byte free below the cap.
    if (length >= 0 && length >= static_cast<std::int64_t>(maxCapacity))
        return neterr::kBufferTooSmall;
    return 0;
}

ErrorCode clJobHttpBuffer::OnData(std::uint32_t count) {
    const std::int64_t need = static_cast<std::int64_t>(used) + count;
    if (need >= capacity) {
        const std::int64_t grown = static_cast<std::int64_t>(capacity) + chunkSize;
        if (grown > maxCapacity || need >= grown) return neterr::kBufferTooSmall;
        std::unique_ptr<std::uint8_t[]> bigger(new (std::nothrow)
                                                   std::uint8_t[static_cast<std::size_t>(grown)]);
        if (!bigger) return err::kInsufficientBuffer;
        if (used > 0) std::memcpy(bigger.get(), data.get(), static_cast<std::size_t>(used));
        data = std::move(bigger);
        capacity = static_cast<std::int32_t>(grown);
    }
    std::memcpy(data.get() + used, chunk.data(), count);
    used = static_cast<std::int32_t>(need);
    return 0;
}

} // namespace tvd
