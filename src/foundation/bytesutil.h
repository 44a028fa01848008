// Bounded little- and big-endian loads and stores: every read of drive, file or network data
// names the buffer it reads from, and an access past its end fails instead of reading beyond.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

namespace tvd {

using ByteView = std::span<const std::uint8_t>;
using MutableByteView = std::span<std::uint8_t>;

inline bool InBounds(std::size_t size, std::size_t off, std::size_t len) {
    return off <= size && len <= size - off;
}

template <class T> bool LoadLe(ByteView b, std::size_t off, T& out) {
    static_assert(std::is_unsigned_v<T>);
    if (!InBounds(b.size(), off, sizeof(T))) return false;
    T v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        v |= static_cast<T>(T(b[off + i]) << (8 * i));
    out = v;
    return true;
}

template <class T> bool LoadBe(ByteView b, std::size_t off, T& out) {
    static_assert(std::is_unsigned_v<T>);
    if (!InBounds(b.size(), off, sizeof(T))) return false;
    T v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        v = static_cast<T>((v << 8) | b[off + i]);
    out = v;
    return true;
}

template <class T> bool StoreLe(MutableByteView b, std::size_t off, T v) {
    static_assert(std::is_unsigned_v<T>);
    if (!InBounds(b.size(), off, sizeof(T))) return false;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        b[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
    return true;
}

template <class T> bool StoreBe(MutableByteView b, std::size_t off, T v) {
    static_assert(std::is_unsigned_v<T>);
    if (!InBounds(b.size(), off, sizeof(T))) return false;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        b[off + i] = static_cast<std::uint8_t>(v >> (8 * (sizeof(T) - 1 - i)));
    return true;
}

// Value-returning forms for fields whose absence reads as the given fallback.
template <class T> T Le(ByteView b, std::size_t off, T fallback = 0) {
    T v;
    return LoadLe(b, off, v) ? v : fallback;
}
template <class T> T Be(ByteView b, std::size_t off, T fallback = 0) {
    T v;
    return LoadBe(b, off, v) ? v : fallback;
}

} // namespace tvd
