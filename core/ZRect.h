// The framework's rectangle: top, left, bottom, right; bottom and right exclusive; empty when
// top >= bottom or left >= right. Files written by the framework store rectangles as left, top, right,
// bottom, so readers and writers convert explicitly.
#pragma once

#include <cstdint>

struct ZRect {
    int32_t top = 0;
    int32_t left = 0;
    int32_t bottom = 0;
    int32_t right = 0;

    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool IsEmpty() const { return top >= bottom || left >= right; }
    bool operator==(const ZRect&) const = default;
};

struct ZPoint {
    int32_t x = 0;
    int32_t y = 0;
};
