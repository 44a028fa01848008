// An HTTP job that collects the body in memory it owns, up to a cap.
#pragma once
#include <cstdint>
#include <memory>

#include "net/cljobhttpclient.h"

namespace tvd {

class clJobHttpBuffer : public clJobHttpClient {
public:
    TVD_ISA(clJobHttpBuffer, clJobHttpClient)

    static constexpr std::int32_t kDefaultMaxCapacity = 64 * 1024;

    void Run() override;

    std::int32_t initialCapacity = 2048;
    // The buffer never grows past this; a body that would needs fails with kBufferTooSmall.
    std::int32_t maxCapacity = kDefaultMaxCapacity;
    // After the job: the body's first `used` bytes. used < capacity, so data[used] may be set to 0.
    std::int32_t used = 0;
    std::int32_t capacity = 0;
    std::unique_ptr<std::uint8_t[]> data;

protected:
    ErrorCode BeginBody() override;
    ErrorCode OnData(std::uint32_t count) override;
    ErrorCode ExpectLength(std::int64_t length) override;
};

} // namespace tvd
