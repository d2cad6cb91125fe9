// Pixel formats: a 16-bit code kept with the depth. 16-bit words carry the NativeByteOrder flag when they
// are stored little-endian; without it they are big-endian, as read from big-endian files.
#pragma once

#include <cstdint>

enum : int16_t {
    kFormatIndexed8 = 2,
    kFormatAlpha8 = 11,
    kFormatRGB555 = 3,   // bits 14..10 red, 9..5 green, 4..0 blue
    kFormatRGB565 = 4,   // bits 15..11 red, 10..5 green, 4..0 blue
    kFormatRGB24 = 5,    // bytes R, G, B
    kFormatBGR24 = 6,    // bytes B, G, R
    kFormatRGBX32 = 7,   // bytes R, G, B, unused
    kFormatBGRX32 = 8,   // bytes B, G, R, unused
    kFormatXRGB32 = 9,   // bytes unused, R, G, B
    kFormatXBGR32 = 10,  // bytes unused, B, G, R
};
constexpr int16_t kNativeByteOrder = int16_t(0x8000);

// Storage kinds: 0 asks for the process-wide default.
enum : int16_t { kKindDefault = 0, kKindDIBSection = 1, kKindMemory = 3 };

// The platform's own layout for a depth: 8 indexed, 15 and 16 as little-endian words, 24 B-G-R, 32 B-G-R-X.
constexpr int16_t DefaultFormat(int32_t depth) {
    switch (depth) {
        case 8:
            return kFormatIndexed8;
        case 15:
            return int16_t(kFormatRGB555 | kNativeByteOrder);
        case 16:
            return int16_t(kFormatRGB565 | kNativeByteOrder);
        case 24:
            return kFormatBGR24;
        default:
            return kFormatBGRX32;
    }
}

// True when 16-bit words hold 5-6-5 pixels: every 16-bit depth, and the 5-6-5 code in either byte order.
constexpr bool Is565(int32_t depth, int16_t format) {
    return depth == 16 || (format & 0x7FFF) == kFormatRGB565;
}

constexpr int32_t BytesPerPixel(int32_t depth) {
    return (depth + 7) / 8;
}

// The format a memory offscreen of depth gets when format is asked for: the asked one when it belongs to
// the depth, else the default. At 15 bits only the two 5-5-5 codes belong; at 16 bits the default is kept.
constexpr int16_t FitFormat(int32_t depth, int16_t format) {
    int16_t plain = int16_t(format & 0x7FFF);
    switch (depth) {
        case 8:
            return plain == kFormatIndexed8 || plain == kFormatAlpha8 ? plain : DefaultFormat(8);
        case 15:
            return plain == kFormatRGB555 ? format : DefaultFormat(15);
        case 24:
            return plain == kFormatRGB24 || plain == kFormatBGR24 ? plain : DefaultFormat(24);
        case 32:
            return plain >= kFormatRGBX32 && plain <= kFormatXBGR32 ? plain : DefaultFormat(32);
        default:
            return DefaultFormat(depth);
    }
}

// Where R, G, B and the ignored byte (-1: none) sit in a 24- or 32-bit pixel of a format.
struct ZByteOrder {
    int32_t r, g, b, x;
};

constexpr ZByteOrder ByteOrderOf(int16_t format) {
    switch (format & 0x7FFF) {
        case kFormatRGB24:
            return {0, 1, 2, -1};
        case kFormatRGBX32:
            return {0, 1, 2, 3};
        case kFormatBGRX32:
            return {2, 1, 0, 3};
        case kFormatXRGB32:
            return {1, 2, 3, 0};
        case kFormatXBGR32:
            return {3, 2, 1, 0};
        default:  // kFormatBGR24, the platform's own 24-bit layout
            return {2, 1, 0, -1};
    }
}
