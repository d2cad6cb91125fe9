#include "platform/Memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {
std::atomic<long> gLargeBlocks{0};
constexpr size_t kAlignment = 32;
}  // namespace

void* AllocLarge(size_t bytes) {
    if (bytes == 0 || bytes > (size_t(1) << 40)) {
        return nullptr;
    }
    size_t rounded = (bytes + kAlignment - 1) & ~(kAlignment - 1);
    void* block = std::aligned_alloc(kAlignment, rounded);
    if (block == nullptr) {
        return nullptr;
    }
    std::memset(block, 0, rounded);
    ++gLargeBlocks;
    return block;
}

void FreeLarge(void* block) {
    if (block != nullptr) {
        --gLargeBlocks;
        std::free(block);
    }
}

long LargeBlockCount() {
    return gLargeBlocks.load();
}

}  // namespace platform
