// The JPEG decoder against libjpeg-turbo: quantised coefficients bit for bit, pixels within a small
// tolerance, and every target depth against its formula.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "JpegTestSupport.h"
#include "graphics/ZColorTable.h"
#include "imaging/ZJPEGFrame.h"
#include "imaging/ZJPEGScan.h"
#include "tests/support/MediaPtr.h"

using namespace jpegtest;

namespace {

// Our scan decoder's coefficients against libjpeg-turbo's, MCU by MCU.
void ExpectSameCoefficients(const Bytes& jpeg) {
    ZJPEGFrame frame;
    ASSERT_EQ(frame.Read(jpeg.data(), jpeg.size()), nullptr);
    Coefficients reference;
    ASSERT_TRUE(ReadCoefficients(jpeg, reference));
    ZJPEGScanDecoder scan(frame, jpeg.data(), jpeg.size());
    int16_t blocks[ZJPEGFrame::kMaxMcuBlocks][64];
    int32_t mismatches = 0;
    for (int32_t my = 0; my < frame.mcuRows; ++my) {
        for (int32_t mx = 0; mx < frame.mcuColumns; ++mx) {
            scan.DecodeMcu(blocks);
            for (int32_t b = 0; b < frame.blocksPerMcu; ++b) {
                const ZJPEGMcuBlock& where = frame.mcuBlocks[b];
                const ZJPEGComponent& c = frame.components[where.component];
                const int16_t* expected =
                    reference.Block(where.component, mx * c.horizontal + where.x, my * c.vertical + where.y);
                mismatches += std::memcmp(expected, blocks[b], sizeof blocks[b]) != 0;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_FALSE(scan.IsStalled());
}

struct Difference {
    int32_t max = 0;
    double mean = 0;
};

// Ours (a 32-bit target) against reference samples (R, G, B or grey).
Difference Compare(const ZOffscreen& ours, const Picture& reference) {
    Difference d;
    int64_t sum = 0;
    for (int32_t y = 0; y < reference.height; ++y) {
        for (int32_t x = 0; x < reference.width; ++x) {
            uint8_t rgb[3];
            RgbAt(ours, x, y, rgb);
            const uint8_t* ref =
                reference.samples.data() +
                (size_t(y) * size_t(reference.width) + size_t(x)) * size_t(reference.channels);
            for (int32_t c = 0; c < 3; ++c) {
                int32_t e = std::abs(rgb[c] - ref[reference.channels == 3 ? c : 0]);
                d.max = std::max(d.max, e);
                sum += e;
            }
        }
    }
    d.mean = double(sum) / (3.0 * reference.width * reference.height);
    return d;
}

uint8_t Truncated(double v) {
    return uint8_t(std::clamp(std::trunc(v), 0.0, 255.0));
}

// The 4:2:0 reference: libjpeg-turbo's stored planes, chroma widened by the decoder's filter (nearest
// sample averaged with the up-left pixel's nearest sample, but on the top row and left column), converted
// with the decoder's formula.
Picture WidenAndConvert(const Planes& planes, int32_t width, int32_t height) {
    Picture out{width, height, 3, Bytes(size_t(width) * size_t(height) * 3)};
    auto chroma = [&](int32_t c, int32_t x, int32_t y) {
        return float(planes.plane[c][size_t(y / 2) * size_t(planes.width[c]) + size_t(x / 2)]) - 128.0f;
    };
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            double luma = planes.plane[0][size_t(y) * size_t(planes.width[0]) + size_t(x)];
            float cb = chroma(1, x, y);
            float cr = chroma(2, x, y);
            if (x > 0 && y > 0) {
                cb = (cb + chroma(1, x - 1, y - 1)) * 0.5f;
                cr = (cr + chroma(2, x - 1, y - 1)) * 0.5f;
            }
            uint8_t* p = out.samples.data() + (size_t(y) * size_t(width) + size_t(x)) * 3;
            p[0] = Truncated(luma + 1.403 * cr);
            p[1] = Truncated(luma - 0.344 * cb - 0.714 * cr);
            p[2] = Truncated(luma + 1.773 * cb);
        }
    }
    return out;
}

struct Case {
    const char* name;
    int32_t width;
    int32_t height;
    int32_t channels;
    EncodeOptions options;
};

const Case kCases[] = {
    {"420 one pixel", 1, 1, 3, {85, Sampling::k420}},
    {"420 803x601", 803, 601, 3, {85, Sampling::k420}},
    {"420 205x205 restart 1", 205, 205, 3, {75, Sampling::k420, 1}},
    {"420 205x205 restart 5 optimised", 205, 205, 3, {90, Sampling::k420, 5, true}},
    {"444 205x205 restart 7", 205, 205, 3, {85, Sampling::k444, 7}},
    {"444 37x19 quality 100", 37, 19, 3, {100, Sampling::k444}},
    {"444 64x64 quality 10", 64, 64, 3, {10, Sampling::k444}},
    {"grey 803x601", 803, 601, 1, {85, Sampling::k444}},
    {"grey 61x45 restart 3", 61, 45, 1, {50, Sampling::k444, 3}},
    {"grey 2x2 factors", 45, 37, 1, {85, Sampling::kGreyTwoByTwo}},
    {"ids R G B", 40, 24, 3, {85, Sampling::k444, 0, false, false, false, false, "RGB"}},
    {"ids from 0", 40, 24, 3, {85, Sampling::k420, 0, false, false, false, false, "\0\1\2"}},
    {"quantisation table 3", 40, 24, 3, {85, Sampling::k420, 0, false, false, false, false, nullptr, 3}},
};

Bytes EncodeCase(const Case& c, uint32_t seed = 7) {
    return Encode(PhotoLike(c.width, c.height, c.channels, seed), c.options);
}

}  // namespace

TEST(Jpeg, CoefficientsMatchLibjpegTurbo) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Bytes jpeg = EncodeCase(c);
        ASSERT_FALSE(jpeg.empty());
        ExpectSameCoefficients(jpeg);
    }
}

TEST(Jpeg, PixelsMatchLibjpegTurboFloatDecode) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Bytes jpeg = EncodeCase(c);
        Decoded ours = DecodeOurs(jpeg, 32);
        ASSERT_EQ(ours.header, 0) << ours.error;
        ASSERT_EQ(ours.image, 0) << ours.error;
        EXPECT_EQ(ours.width, c.width);
        EXPECT_EQ(ours.height, c.height);
        Picture reference;
        if (c.channels == 3 && c.options.sampling == Sampling::k420) {
            Planes planes;
            ASSERT_TRUE(DecodeRawPlanes(jpeg, planes));
            reference = WidenAndConvert(planes, c.width, c.height);
        } else {
            ASSERT_TRUE(DecodeFloat(jpeg, reference));
        }
        Difference d = Compare(*ours.target, reference);
        // libjpeg-turbo rounds its samples (and colours, with slightly other factors); we truncate.
        EXPECT_LE(d.max, 2);
        EXPECT_LT(d.mean, 0.7);
    }
}

namespace {

// The dither of 15- and 16-bit targets, from the decoded colour.
uint16_t DitheredWord(const uint8_t rgb[3], int32_t x, int32_t y, int32_t width, bool sixBitGreen) {
    static const int32_t kMatrix[4][4] = {{-8, 0, -6, 2}, {4, -4, 6, -2}, {-5, 3, -7, 1}, {7, -1, 5, -3}};
    int32_t left = std::min((x & ~7) + 8, width) - x;
    int32_t m = kMatrix[y & 3][left & 3];
    auto five = [m](int32_t c) { return std::clamp((c + m) >> 3, 0, 31); };
    if (sixBitGreen) {
        int32_t g = std::clamp((rgb[1] + (m >> 1)) >> 2, 0, 63);
        return uint16_t(five(rgb[2]) | g << 5 | five(rgb[0]) << 11);
    }
    return uint16_t(five(rgb[2]) | five(rgb[1]) << 5 | five(rgb[0]) << 10);
}

struct DepthCase {
    const char* name;
    int32_t depth;
    int16_t format;
    int16_t kind;
};

}  // namespace

TEST(Jpeg, EveryTargetDepthAndOrderHoldsTheSameColours) {
    for (const Case& c : {kCases[1], kCases[4], kCases[7]}) {
        SCOPED_TRACE(c.name);
        Bytes jpeg = EncodeCase(c, 3);
        Decoded base = DecodeOurs(jpeg, 32);
        ASSERT_EQ(base.image, 0);
        const DepthCase depths[] = {
            {"32 RGBX", 32, kFormatRGBX32, kKindMemory},
            {"32 XRGB", 32, kFormatXRGB32, kKindMemory},
            {"32 XBGR bottom-up", 32, 0, kKindDIBSection},
            {"24 BGR", 24, kFormatBGR24, kKindMemory},
            {"24 RGB", 24, kFormatRGB24, kKindMemory},
            {"24 bottom-up", 24, 0, kKindDIBSection},
            {"16 5-6-5", 16, 0, kKindMemory},
            {"15 5-5-5", 15, 0, kKindMemory},
            {"15 big-endian words", 15, kFormatRGB555, kKindMemory},
            {"16 as 5-5-5 bottom-up", 16, 0, kKindDIBSection},
        };
        for (const DepthCase& d : depths) {
            SCOPED_TRACE(d.name);
            Decoded ours = DecodeOurs(jpeg, d.depth, d.format, d.kind);
            ASSERT_EQ(ours.image, 0) << ours.error;
            const ZOffscreen& t = *ours.target;
            EXPECT_EQ(t.IsBottomUp(), d.kind == kKindDIBSection);
            int32_t bad = 0;
            for (int32_t y = 0; y < c.height; ++y) {
                for (int32_t x = 0; x < c.width; ++x) {
                    uint8_t expected[3], got[3];
                    RgbAt(*base.target, x, y, expected);
                    const uint8_t* p = t.RowAddress(y) + x * BytesPerPixel(t.GetDepth());
                    if (t.GetDepth() >= 24) {
                        RgbAt(t, x, y, got);
                        bool xZero = t.GetDepth() == 24 || p[ByteOrderOf(t.GetFormat()).x] == 0;
                        bad += std::memcmp(expected, got, 3) != 0 || !xZero;
                    } else {
                        bool little = (t.GetFormat() & kNativeByteOrder) != 0;
                        uint16_t word = little ? uint16_t(p[0] | p[1] << 8) : uint16_t(p[0] << 8 | p[1]);
                        bad += word != DitheredWord(expected, x, y, c.width, t.GetDepth() == 16);
                    }
                }
            }
            EXPECT_EQ(bad, 0);
        }
    }
}

namespace {

// Error diffusion of full-range Y, Cb, Cr to a palette, written out plainly from the decoder's formulas:
// the palette in YCbCr, the index table over 5-5-6 bit codes, errors clamped to -32..31 and spread
// 7, 3, 5, 1 sixteenths.
class DiffusionModel {
  public:
    DiffusionModel(ZColorTable& table, int32_t width) : width_(width) {
        const uint8_t* rgb = table.GetEntryData();
        for (int32_t i = 0; i < 256; ++i) {
            int32_t r = rgb[3 * i], g = rgb[3 * i + 1], b = rgb[3 * i + 2];
            palette_[i][0] = std::clamp((1225 * r + 2404 * g + 467 * b) >> 12, 0, 255);
            palette_[i][1] = std::clamp(((2048 * b - 1356 * g - 692 * r) >> 12) + 128, 0, 255);
            palette_[i][2] = std::clamp(((2048 * r - 1716 * g - 332 * b) >> 12) + 128, 0, 255);
        }
        const uint8_t* inverse = table.GetInverseTable();
        index_.resize(65536);
        for (int32_t i = 0; i < 32; ++i) {
            for (int32_t j = 0; j < 32; ++j) {
                for (int32_t k = 0; k < 64; ++k) {
                    int32_t r = std::clamp((45976 * j + 16384 * k - 704436) >> 12, 0, 255);
                    int32_t g = std::clamp((16384 * k - 11272 * i - 23400 * j + 545608) >> 12, 0, 255);
                    int32_t b = std::clamp((58096 * i + 16384 * k - 892296) >> 12, 0, 255);
                    index_[size_t(i << 11 | j << 6 | k)] = inverse[(r >> 3) << 11 | (g >> 2) << 5 | (b >> 3)];
                }
            }
        }
        for (auto& rows : errors_) {
            for (auto& row : rows) {
                row.assign(size_t(width) + 2, 0);
            }
        }
    }

    uint8_t Next(int32_t x, int32_t y, const int32_t ycc[3]) {
        int32_t carried[3];
        int32_t level[3];
        for (int32_t c = 0; c < 3; ++c) {
            carried[c] = ycc[c] + (errors_[c][y & 1][size_t(x) + 1] >> 4);
            level[c] = c == 0 ? std::clamp(carried[c] >> 2, 0, 63) : std::clamp(carried[c] >> 3, 0, 31);
        }
        uint8_t index = index_[size_t(level[1] << 11 | level[2] << 6 | level[0])];
        for (int32_t c = 0; c < 3; ++c) {
            int32_t e = std::clamp(carried[c] - palette_[index][c], -32, 31);
            std::vector<int32_t>& here = errors_[c][y & 1];
            std::vector<int32_t>& below = errors_[c][(y + 1) & 1];
            if (x == 0) {
                std::fill(below.begin(), below.end(), 0);
            }
            here[size_t(x) + 1] = 0;
            here[size_t(x) + 2] += 7 * e;
            below[size_t(x)] += 3 * e;
            below[size_t(x) + 1] += 5 * e;
            below[size_t(x) + 2] += e;
        }
        return index;
    }

  private:
    int32_t width_;
    int32_t palette_[256][3];
    Bytes index_;
    std::vector<int32_t> errors_[3][2];
};

}  // namespace

TEST(Jpeg, EightBitTargetsDiffuseInYCbCrOverAnyPalette) {
    // A grey image's luma is its 32-bit value and its chroma 128, so the model sees what the decoder sees.
    Case c = kCases[8];
    Bytes jpeg = EncodeCase(c);
    Decoded base = DecodeOurs(jpeg, 32);
    ASSERT_EQ(base.image, 0);
    for (int32_t kind : {4, 3, 99}) {  // colour cube, ramps, grey ramp
        SCOPED_TRACE(kind);
        testsupport::TablePtr palette(ZColorTable::CreateBuiltIn(kind));
        ASSERT_NE(palette, nullptr);
        Decoded ours = DecodeOurs(jpeg, 8, 0, kKindMemory, palette.get());
        ASSERT_EQ(ours.image, 0) << ours.error;
        DiffusionModel model(*palette, c.width);
        int32_t bad = 0;
        for (int32_t y = 0; y < c.height; ++y) {
            for (int32_t x = 0; x < c.width; ++x) {
                uint8_t rgb[3];
                RgbAt(*base.target, x, y, rgb);
                int32_t ycc[3] = {rgb[0], 128, 128};
                bad += ours.target->RowAddress(y)[x] != model.Next(x, y, ycc);
            }
        }
        EXPECT_EQ(bad, 0);
    }
    // A colour image on the colour cube stays near its 32-bit colours on average.
    Bytes colour = EncodeCase(kCases[4]);
    Decoded colourBase = DecodeOurs(colour, 32);
    testsupport::TablePtr cube(ZColorTable::CreateBuiltIn(4));
    Decoded eight = DecodeOurs(colour, 8, 0, kKindMemory, cube.get());
    ASSERT_EQ(eight.image, 0) << eight.error;
    double sum[3] = {};
    for (int32_t y = 0; y < 205; ++y) {
        for (int32_t x = 0; x < 205; ++x) {
            uint8_t rgb[3];
            RgbAt(*colourBase.target, x, y, rgb);
            const uint8_t* entry = cube->GetEntryData() + 3 * eight.target->RowAddress(y)[x];
            for (int32_t i = 0; i < 3; ++i) {
                sum[i] += entry[i] - rgb[i];
            }
        }
    }
    for (double s : sum) {
        EXPECT_LT(std::abs(s) / (205.0 * 205.0), 6.0);
    }
}
