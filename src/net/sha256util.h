// SHA-256 (FIPS 180-4), portable. Used where the platform offers no hashing service.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace tvd {

class Sha256State {
public:
    static constexpr std::size_t kDigestSize = 32;
    Sha256State();
    void Update(const void* data, std::size_t length);
    std::array<std::uint8_t, kDigestSize> Finish();

private:
    void Block(const std::uint8_t* p);
    std::uint32_t h_[8];
    std::uint8_t buf_[64];
    std::size_t bufLen_ = 0;
    std::uint64_t total_ = 0;
};

} // namespace tvd
