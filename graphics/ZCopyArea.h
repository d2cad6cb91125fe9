// The part of a copy from one pixel area to another that lands: both rectangles are moved so that neither
// starts above or left of its area (the other side moves by the same amount), and the extent is what fits
// in both.
#pragma once

#include <algorithm>
#include <cstdint>

#include "core/ZRect.h"

struct ZCopyArea {
    int32_t sourceX = 0;
    int32_t sourceY = 0;
    int32_t targetX = 0;
    int32_t targetY = 0;
    int32_t width = 0;
    int32_t height = 0;

    // False when nothing lands. sourceSize and targetSize are the two areas (top-left at 0, 0).
    bool Clip(const ZRect& source, const ZRect& target, const ZRect& sourceSize, const ZRect& targetSize) {
        int64_t sx = source.left, sy = source.top, tx = target.left, ty = target.top;
        int64_t w =
            std::min<int64_t>(int64_t(source.right) - source.left, int64_t(target.right) - target.left);
        int64_t h =
            std::min<int64_t>(int64_t(source.bottom) - source.top, int64_t(target.bottom) - target.top);
        if (sx < 0) {
            tx -= sx;
            w += sx;
            sx = 0;
        }
        if (sy < 0) {
            ty -= sy;
            h += sy;
            sy = 0;
        }
        if (tx < 0) {
            sx -= tx;
            w += tx;
            tx = 0;
        }
        if (ty < 0) {
            sy -= ty;
            h += ty;
            ty = 0;
        }
        w = std::min<int64_t>({w, sourceSize.right - sx, targetSize.right - tx});
        h = std::min<int64_t>({h, sourceSize.bottom - sy, targetSize.bottom - ty});
        if (w <= 0 || h <= 0) {
            return false;
        }
        sourceX = int32_t(sx);
        sourceY = int32_t(sy);
        targetX = int32_t(tx);
        targetY = int32_t(ty);
        width = int32_t(w);
        height = int32_t(h);
        return true;
    }
};
