// Writes the framework's own item formats: "RIX " frame images, "RAX " alpha planes, "RCX " colour
// tables and "FONT" / "RDX " font metrics, as the readers expect them (little-endian), and "JPEG" items
// through libjpeg-turbo. The tests build their containers with it, and so does the demo media tool.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace itemwriter {

// One image of a "RIX " item. Pixels are given as rows of stride bytes (0: width * bytes per pixel
// rounded up to 4), top row first; the writer stores them bottom-up when bottomUp is set.
struct RawImage {
    int16_t width = 0;
    int16_t height = 0;
    int16_t x = 0;
    int16_t y = 0;
    bool visible = true;
    bool bottomUp = false;
    int16_t depth = 24;
    int16_t format = 6;  // bytes B, G, R
    int32_t stride = 0;
    std::vector<uint8_t> pixels;
    uint8_t transferFlags = 0;  // 0x01 transparent index, 0x02 key colour, 0x04 opacity
    uint8_t opacity = 63;
    uint8_t transparentIndex = 0;
    uint8_t keyColor[3] = {0, 0, 0};
    // An embedded alpha plane (rows of (width + 3) & ~3 values), or the media id of an "RAX " item.
    std::vector<uint8_t> alpha;
    uint16_t alphaId = 0;
    uint16_t maskId = 0;
    std::string colorTable;  // an embedded "RCX " item, or empty
    int16_t frameCount = 1;
};

// The row length a stride of 0 stands for.
int32_t DefaultStride(int32_t width, int32_t depth);
// A "RIX " item: the headers, then each image's pixels, alpha plane and colour table.
std::string WriteRix(const std::vector<RawImage>& images);
// A "RAX " item of width x height values (0..63), given row by row without padding.
std::string WriteRax(int16_t width, int16_t height, const std::vector<uint8_t>& values);
// A "RCX " item of count entries (R, G, B), followed by the inverse table (65 536 bytes) and the blend
// table (16 384 values) when they are given.
std::string WriteRcx(const uint8_t* rgb, int32_t count, const uint8_t* inverse = nullptr,
                     const uint16_t* blend = nullptr);

// A "FONT" item: ascent, descent, the 256 advance widths as 16-bit values, the face name's length and
// bytes, and the style.
std::string WriteFont(int16_t ascent, int16_t descent, const uint8_t widths[256], const std::string& face,
                      int16_t style);
// An "RDX " item: the same without the name and style.
std::string WriteRdx(int16_t ascent, int16_t descent, const uint8_t widths[256]);

// How the luma factors relate to the chroma components of a colour JPEG (kGreyTwoByTwo: as k420). A grey
// image ignores it, except kGreyTwoByTwo: its one component is declared 2 x 2 (the same samples, another
// MCU layout).
enum class JpegSampling { k444, k420, k422, kGreyTwoByTwo };

struct JpegOptions {
    int32_t quality = 85;
    JpegSampling sampling = JpegSampling::k420;
    int32_t restartInterval = 0;  // MCUs between restart markers; 0: none
    bool optimize = false;        // Huffman tables fitted to the image instead of the standard ones
    bool progressive = false;
    bool arithmetic = false;
    // Four components C, M, Y, K, filled from the samples' channels in order, the last one repeated.
    bool cmyk = false;
    // One id byte per component instead of 1, 2, 3 (4); empty keeps those.
    std::string componentIds;
    // The table number the chroma components use; above 1 a flat table of its own is added.
    int32_t chromaQuantTable = 1;
};

// A JPEG file of width x height interleaved samples, channels 3 (R, G, B) or 1 (grey), top row first.
// Empty when the options or the size are refused.
std::string WriteJpeg(int32_t width, int32_t height, int32_t channels, const uint8_t* samples,
                      const JpegOptions& options);

}  // namespace itemwriter
