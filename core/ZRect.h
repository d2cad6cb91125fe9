// The framework's rectangle: top, left, bottom, right; bottom and right exclusive; empty when
// top >= bottom or left >= right. Files written by the framework store rectangles as left, top, right,
// bottom, so readers and writers convert explicitly.
#pragma once

#include <algorithm>
#include <cstdint>

// An aggregate, so that ZRect{top, left, bottom, right} keeps working; the helpers are members.
struct ZRect {
    int32_t top = 0;
    int32_t left = 0;
    int32_t bottom = 0;
    int32_t right = 0;

    // width x height with its top-left corner at the origin.
    static constexpr ZRect FromSize(int32_t width, int32_t height) { return ZRect{0, 0, height, width}; }

    constexpr int32_t Width() const { return right - left; }
    constexpr int32_t Height() const { return bottom - top; }
    constexpr bool IsEmpty() const { return top >= bottom || left >= right; }
    bool operator==(const ZRect&) const = default;

    // The part that lies in both; ZRect{} when they do not overlap, so that an empty result never has a
    // negative width or height.
    constexpr ZRect Intersect(const ZRect& other) const {
        ZRect r{std::max(top, other.top), std::max(left, other.left), std::min(bottom, other.bottom),
                std::min(right, other.right)};
        return r.IsEmpty() ? ZRect{} : r;
    }
    // The smallest rectangle holding both; an empty operand adds nothing, so the other comes back.
    constexpr ZRect Union(const ZRect& other) const {
        if (other.IsEmpty()) {
            return *this;
        }
        if (IsEmpty()) {
            return other;
        }
        return ZRect{std::min(top, other.top), std::min(left, other.left), std::max(bottom, other.bottom),
                     std::max(right, other.right)};
    }
    // Moved right by dx and down by dy.
    constexpr ZRect Offset(int32_t dx, int32_t dy) const {
        return ZRect{top + dy, left + dx, bottom + dy, right + dx};
    }
};

struct ZPoint {
    int32_t x = 0;
    int32_t y = 0;
};
