// Shared by the JPEG tests: photo-like pictures made on the fly, libjpeg-turbo as encoder (through the
// item writer) and as the reference decoder, small JPEG files written by hand, and our reader run over bytes
// in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "graphics/ZOffscreen.h"
#include "tools/itemwriter/ItemWriter.h"

namespace jpegtest {

using Bytes = std::vector<uint8_t>;

// Interleaved samples: 3 channels R, G, B, or 1 grey.
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 3;
    Bytes samples;
};

// Smooth gradients, a few hard edges and some grain, the same for the same seed.
Picture PhotoLike(int32_t width, int32_t height, int32_t channels, uint32_t seed);

using Sampling = itemwriter::JpegSampling;

// itemwriter::JpegOptions in the short form the test tables use.
struct EncodeOptions {
    int32_t quality = 85;
    Sampling sampling = Sampling::k420;
    int32_t restartInterval = 0;  // MCUs
    bool optimize = false;
    bool progressive = false;
    bool arithmetic = false;
    bool cmyk = false;                   // four components
    const char* componentIds = nullptr;  // three (or one) ids instead of 1, 2, 3
    int32_t chromaQuantTable = 1;        // the table number the chroma components use
};

// itemwriter::WriteJpeg over a picture; empty when it refuses the options.
Bytes Encode(const Picture& picture, const EncodeOptions& options);

// libjpeg-turbo's quantised coefficients: per component, rows of blocks of 64 in natural order.
struct Coefficients {
    std::vector<int32_t> widthInBlocks;
    std::vector<int32_t> heightInBlocks;
    std::vector<std::vector<int16_t>> blocks;
    const int16_t* Block(int32_t component, int32_t bx, int32_t by) const {
        return blocks[size_t(component)].data() +
               (size_t(by) * size_t(widthInBlocks[size_t(component)]) + size_t(bx)) * 64;
    }
};
// False when libjpeg-turbo rejects the data.
bool ReadCoefficients(const Bytes& jpeg, Coefficients& out);

// The frame and coding choices libjpeg-turbo reads from a file's headers.
struct HeaderInfo {
    int32_t width = 0;
    int32_t height = 0;
    int32_t components = 0;
    int32_t lumaH = 0;  // the first component's sampling factors
    int32_t lumaV = 0;
    std::string ids;                // one byte per component
    int32_t chromaQuantTable = -1;  // the second component's table, -1 without one
    int32_t restartInterval = 0;
    bool progressive = false;
    bool arithmetic = false;
};
bool ReadHeaderInfo(const Bytes& jpeg, HeaderInfo& out);

// libjpeg-turbo's float-DCT decode to R, G, B (or grey) samples.
bool DecodeFloat(const Bytes& jpeg, Picture& out);
// Its float-DCT decode to the stored planes (chroma not widened).
struct Planes {
    int32_t width[3] = {};
    int32_t height[3] = {};
    Bytes plane[3];
};
bool DecodeRawPlanes(const Bytes& jpeg, Planes& out);

// Our reader over bytes in memory.
struct Decoded {
    int32_t header = -1;
    int32_t image = -1;
    std::string error;
    int32_t width = 0;
    int32_t height = 0;
    std::unique_ptr<ZOffscreen> target;
};
// Reads the header, then decodes into a new memory offscreen of the image's size, depth and format (kind
// decides top-down or bottom-up rows; an 8-bit target gets palette).
Decoded DecodeOurs(const Bytes& jpeg, int32_t depth, int16_t format = 0, int16_t kind = kKindMemory,
                   ZColorTable* palette = nullptr);
// Pixel (x, y) of a 24- or 32-bit target as R, G, B.
void RgbAt(const ZOffscreen& target, int32_t x, int32_t y, uint8_t rgb[3]);

// Hand-made files: a grey or three-component 1 x 1 image of 8 x 8-pixel blocks, with tables that make
// every code easy to write: DC sizes 0..11 as 4-bit codes, AC symbols as 8-bit codes (their index in
// a fixed list).
class HandMade {
  public:
    HandMade(int32_t width, int32_t height, int32_t components, uint16_t quant);
    // Appends a block: DC difference, then (zero run, value) pairs, then the end of block unless the
    // last coefficient was reached.
    void Block(int32_t dcDifference, const std::vector<std::pair<int32_t, int32_t>>& ac = {});
    void RestartMarker(int32_t number);
    void RestartInterval(int32_t mcus) { restartInterval_ = mcus; }
    // The whole file (pending bits padded with ones).
    Bytes Finish();
    // The segments before the scan data, for other tests to reuse.
    Bytes Headers() const;

  private:
    void Put(uint32_t bits, int32_t count);
    void Flush();

    int32_t width_, height_, components_;
    uint16_t quant_;
    int32_t restartInterval_ = 0;
    Bytes data_;
    uint32_t pending_ = 0;
    int32_t pendingCount_ = 0;
};

// Segment helpers.
void AppendSegment(Bytes& out, uint8_t code, const Bytes& payload);
// Offset of the first marker with code at or after from; -1 when there is none.
int64_t FindMarker(const Bytes& jpeg, uint8_t code, size_t from = 2);

}  // namespace jpegtest
