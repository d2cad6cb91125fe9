// The platform's allocator for large blocks (pixel stores, file buffers, lookup tables, long strings).
// Blocks are 32-byte aligned and zero-filled; a failed allocation returns null, never throws.
#pragma once

#include <cstddef>

namespace platform {

void* AllocLarge(size_t bytes);
void FreeLarge(void* block);
// Number of large blocks currently allocated; tests use it to check that blocks are given back.
long LargeBlockCount();

}  // namespace platform
