// Photoshop documents written by hand for the reader's tests and the fuzz seeds: the merged image and
// layers, raw or PackBits, 8 or 16 bits a sample, with a few knobs to make them wrong on purpose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace psdtest {

using Bytes = std::vector<uint8_t>;

// One channel: its id and width x height samples (8-bit documents use the low byte, 16-bit ones the
// whole value, stored big-endian).
struct Plane {
    int16_t id = 0;
    std::vector<uint16_t> samples;
};

struct Layer {
    int32_t top = 0, left = 0, bottom = 0, right = 0;  // an empty rectangle makes a group-like layer
    uint8_t opacity = 255;
    bool hidden = false;
    std::vector<Plane> planes;
};

struct Document {
    int16_t version = 1;
    int16_t mode = 3;  // RGB
    int16_t bits = 8;
    int32_t width = 0, height = 0;
    int16_t channels = 0;  // 0: as many as merged planes
    bool packBits = false;
    Bytes colorModeData;
    std::vector<Plane> merged;  // ids are ignored: file order
    std::vector<Layer> layers;
};

// PackBits of one row: runs of three or more equal bytes as repeats, the rest as literals.
Bytes PackBits(const uint8_t* row, size_t size);
Bytes Write(const Document& document);

// Samples of a plane of width x height, seeded so that channels differ.
std::vector<uint16_t> Pattern(int32_t width, int32_t height, uint32_t seed, int32_t bits);
// A document of the given mode with one pattern plane per channel (no layers).
Document Flat(int16_t mode, int32_t channels, int32_t width, int32_t height, int16_t bits, bool packBits);

}  // namespace psdtest
