// An owned-or-borrowed byte block: the run lists of the FAT routines and the clone engines'
// buffers. A block either owns its memory (freed with it) or points at memory someone else keeps.
#pragma once
#include <cstdint>
#include <span>

namespace tvd {

struct ByteBlock {
    bool owned = false;
    std::uint8_t* data = nullptr;
    std::uint32_t size = 0;

    ByteBlock() = default;
    ByteBlock(const ByteBlock&) = delete;
    ByteBlock& operator=(const ByteBlock&) = delete;
    ByteBlock(ByteBlock&& o) noexcept;
    ByteBlock& operator=(ByteBlock&& o) noexcept;
    ~ByteBlock();

    std::span<const std::uint8_t> View() const { return {data, data ? size : 0}; }
    std::span<std::uint8_t> Span() { return {data, data ? size : 0}; }
};

// No data, size 0, not owned (an owned block is not freed: use ByteBlockFree for that).
void ByteBlockInit(ByteBlock& block);
// Frees what the block held, then allocates `size` zero-filled bytes it owns; false (and an empty
// block) when memory runs out.
bool ByteBlockAlloc(ByteBlock& block, std::uint32_t size);
// Frees the data when owned, then as after ByteBlockInit.
void ByteBlockFree(ByteBlock& block);
// Points the block at memory it does not own.
void ByteBlockBorrow(ByteBlock& block, std::uint8_t* data, std::uint32_t size);

} // namespace tvd
