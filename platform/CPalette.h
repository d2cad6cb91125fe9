// A platform palette object: up to 256 RGB entries that can be selected into a device and realised.
// On this host a palette is plain data; the virtual display realises the one it is given.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/CObject.h"

class CPalette : public CObject {
  public:
    // Makes the palette from count entries of 3 bytes R, G, B (count 1..256). False for a bad count.
    bool CreatePalette(const uint8_t* rgb, int32_t count) {
        if (rgb == nullptr || count < 1 || count > 256) {
            return false;
        }
        std::memset(entries_, 0, sizeof entries_);
        std::memcpy(entries_, rgb, size_t(count) * 3);
        count_ = count;
        return true;
    }
    void DeleteObject() { count_ = 0; }
    bool IsCreated() const { return count_ > 0; }
    int32_t GetEntryCount() const { return count_; }
    // Copies entries first .. first + n - 1 (clamped to the palette) as R, G, B; returns how many.
    int32_t GetPaletteEntries(int32_t first, int32_t n, uint8_t* out) const {
        if (out == nullptr || first < 0 || first >= count_ || n <= 0) {
            return 0;
        }
        n = n < count_ - first ? n : count_ - first;
        std::memcpy(out, entries_ + first * 3, size_t(n) * 3);
        return n;
    }

  private:
    uint8_t entries_[256 * 3] = {};
    int32_t count_ = 0;
};
