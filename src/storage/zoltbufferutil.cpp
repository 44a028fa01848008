#include "storage/zoltbufferutil.h"

#include <new>
#include <utility>

namespace tvd {

ByteBlock::ByteBlock(ByteBlock&& o) noexcept
    : owned(std::exchange(o.owned, false)), data(std::exchange(o.data, nullptr)),
      size(std::exchange(o.size, 0)) {}

ByteBlock& ByteBlock::operator=(ByteBlock&& o) noexcept {
    if (this != &o) {
        ByteBlockFree(*this);
        owned = std::exchange(o.owned, false);
        data = std::exchange(o.data, nullptr);
        size = std::exchange(o.size, 0);
    }
    return *this;
}

ByteBlock::~ByteBlock() {
    ByteBlockFree(*this);
}

void ByteBlockInit(ByteBlock& block) {
    block.owned = false;
    block.data = nullptr;
    block.size = 0;
}

bool ByteBlockAlloc(ByteBlock& block, std::uint32_t size) {
    ByteBlockFree(block);
    auto* p = new (std::nothrow) std::uint8_t[size == 0 ? 1 : size]();
    if (!p) return false;
    block.owned = true;
    block.data = p;
    block.size = size;
    return true;
}

void ByteBlockFree(ByteBlock& block) {
    if (block.owned) delete[] block.data;
    ByteBlockInit(block);
}

void ByteBlockBorrow(ByteBlock& block, std::uint8_t* data, std::uint32_t size) {
    ByteBlockFree(block);
    block.data = data;
    block.size = data ? size : 0;
}

} // namespace tvd
