// Shared by the GIF tests: GIF files written with our LZW encoder or with giflib's, giflib as the reference
// decoder, and our reader run over bytes in memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace giftest {

using Bytes = std::vector<uint8_t>;

struct Frame {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool interlaced = false;
    int32_t minCodeSize = 8;
    Bytes localTable;  // R, G, B entries; empty: none
    int32_t transparent = -1;
    Bytes pixels;  // width x height indices, top row first
    Bytes stream;  // when not empty, the sub-block chain written instead of the coded pixels
};

struct Gif {
    int32_t width = 0;
    int32_t height = 0;
    Bytes globalTable;  // R, G, B entries; empty: none
    uint8_t background = 0;
    std::vector<Frame> frames;
};

// The sub-block chain our encoder makes of pixels, fed in pieces of chunk bytes.
Bytes EncodeStream(const Bytes& pixels, int32_t minCodeSize, size_t chunk);
// Our decoder over a sub-block chain: up to count bytes, in rows of rowBytes.
Bytes DecodeStream(const Bytes& stream, int32_t minCodeSize, size_t count, size_t rowBytes);
// The rows of a frame in the order the file stores them (the interlace passes when interlaced).
Bytes StoredOrder(const Frame& frame);

// A file made with our encoder (or the frames' own streams).
Bytes Write(const Gif& gif);
// The same through giflib's EGifPutLine; empty when giflib refuses.
Bytes WriteWithGiflib(const Gif& gif);

// giflib's decode: one raster per image, top row first. False when giflib reports an error.
bool DecodeWithGiflib(const Bytes& file, std::vector<Bytes>& rasters);

struct Decoded {
    int32_t status = -1;
    std::string error;
    int32_t width = 0;
    int32_t height = 0;
    int32_t frameCount = 0;
    int32_t paletteCount = 0;
    Bytes indices;              // the target's 8-bit values, top row first
    std::vector<uint32_t> rgb;  // 0xRRGGBB of each pixel through the target's colour table
    bool transparent = false;
    uint8_t transparentIndex = 0;
};
// Our reader into an 8-bit memory offscreen of its size (bottom-up DIB storage with dib).
Decoded ReadWithOurs(const Bytes& file, int32_t flags, bool dib = false);

// A small palette of count distinct colours, different for each seed.
Bytes Palette(int32_t count, uint32_t seed);
// Random indices below limit.
Bytes Noise(size_t count, int32_t limit, uint32_t seed);

}  // namespace giftest
