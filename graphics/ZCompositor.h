// Compositors: the plain row routines that draw a source onto a target of the same pixel format,
// honouring a transparent index or key colour, a global opacity, a 6-bit alpha plane and a mask, and the
// fills that do the same with one colour in place of source pixels. The routine for a draw is picked once
// from a table by (transfer-mode flags, depth, copy or fill) and called through a function pointer.
#pragma once

#include <cstdint>

#include "graphics/ZTransferMode.h"

class ZColorTable;

// Everything one draw needs, in the order every compositor takes it. Strides are in bytes and negative
// for bottom-up storage; each pointer addresses the first pixel (or alpha byte) of the rectangle.
struct ZCompositeCall {
    const uint8_t* source = nullptr;  // not read by fills
    int32_t sourceStride = 0;
    uint8_t* target = nullptr;
    int32_t targetStride = 0;
    const uint8_t* sourceAlpha = nullptr;  // 0..63 per pixel, or null
    int32_t sourceAlphaStride = 0;
    // The target's own alpha plane, already united with the source's, so each value is the alpha after
    // drawing; or null.
    const uint8_t* targetAlpha = nullptr;
    int32_t targetAlphaStride = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t bytesPerPixel = 0;
    int32_t depth = 0;  // of both sides
    int16_t format = 0;
    const ZTransferMode* mode = nullptr;  // the source's
    const uint8_t* color = nullptr;       // R, G, B of a fill
    ZColorTable* colorTable = nullptr;    // for 8-bit pixels; null means the current colour table
    const uint8_t* mask = nullptr;        // the mask picture's 8-bit pixels at the target rectangle
    int32_t maskStride = 0;
};

// A compositor draws nothing when a table it needs cannot be had; 16-bit routines take native
// (little-endian) words, as drawing offscreens turns big-endian ones native first.
using ZCompositor = void (*)(const ZCompositeCall& call);

// The routine for mode's flags at depth (8, 15, 16, 24, 32), or null when nothing is to be drawn: opacity
// 0, or a combination no routine serves (a transparent index above 8 bits, a mask with an alpha plane).
// Opacity 63 draws as no opacity. fill selects the routines that draw call.color instead of pixels.
ZCompositor SelectCompositor(const ZTransferMode& mode, int32_t depth, int16_t format, bool fill);

// The share of a source of alpha s in a result of alpha d, scaled so that 16128 / 16384 = 63 / 64 of the
// difference is applied at most: ratio[s * 64 + d] = 16128 when d <= s, else s * 16128 / d rounded.
constexpr int32_t kRatioTableSize = 64 * 64;
const uint16_t* GetRatioTable();

// The fill colour rgb as one pixel of (depth, format), as the fill routines write it: the nearest index of
// table (or the current table) for indexed 8-bit pixels, R for other 8-bit formats, the top bits as a
// 5-5-5 or 5-6-5 word (in the format's byte order) for 15 and 16 bits, the bytes in the format's order for
// 24 and 32 bits (the ignored byte 0). Little-endian in the returned word.
uint32_t MakeFillPixel(const uint8_t rgb[3], int32_t depth, int16_t format, ZColorTable* table);
