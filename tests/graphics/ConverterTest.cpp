// Converters and ditherers: the converter table cell by cell, round trips that must be exact, keys carried
// through every pair of depths, the ditherers' edge cases, and error diffusion against a small reference
// written from the weights alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "graphics/ZColorTable.h"
#include "graphics/ZConverter.h"
#include "graphics/ZDitherer.h"
#include "graphics/ZOffscreen.h"
#include "graphics/ZPixelFormat.h"
#include "graphics/ZYCbCrColorTable.h"
#include "platform/Random.h"
#include "tests/support/MediaPtr.h"

namespace {

using Rgb = std::array<uint8_t, 3>;

using testsupport::TablePtr;

ZRect Rect(int32_t w, int32_t h) {
    return ZRect{0, 0, h, w};
}

// 256 entries, each at the centre of its own 5-6-5 bucket and far from the others, black first and white
// last: the inverse table gives every entry back for its own colour.
TablePtr BucketPalette() {
    std::vector<uint8_t> bytes(256 * 3);
    for (int i = 0; i < 256; ++i) {
        int r5 = 1 + (i % 8) * 4, g6 = 1 + ((i / 8) % 8) * 8, b5 = 1 + (i / 64) * 8;
        bytes[i * 3] = uint8_t(r5 * 8 + 4);
        bytes[i * 3 + 1] = uint8_t(g6 * 4 + 2);
        bytes[i * 3 + 2] = uint8_t(b5 * 8 + 4);
    }
    for (int c = 0; c < 3; ++c) {
        bytes[c] = 0;
        bytes[255 * 3 + c] = 255;
    }
    return TablePtr(ZColorTable::CreateFromMemory(bytes.data(), 256, 0));
}

// Sets the dithering methods for one test and puts the old ones back.
class MethodScope {
  public:
    MethodScope(int32_t palette, int32_t highColor)
        : palette_(GetPaletteDitherMethod()), highColor_(GetHighColorDitherMethod()) {
        SetPaletteDitherMethod(palette);
        SetHighColorDitherMethod(highColor);
    }
    ~MethodScope() {
        SetPaletteDitherMethod(palette_);
        SetHighColorDitherMethod(highColor_);
    }

  private:
    int32_t palette_;
    int32_t highColor_;
};

uint32_t Raw(const ZOffscreen& o, int32_t x, int32_t y) {
    int32_t bpp = BytesPerPixel(o.GetDepth());
    const uint8_t* p = o.RowAddress(y) + x * bpp;
    uint32_t v = 0;
    for (int32_t i = bpp - 1; i >= 0; --i) {
        v = v << 8 | p[i];
    }
    return v;
}

void SetRgb(ZOffscreen& o, int32_t x, int32_t y, const Rgb& c) {
    ZRect r{y, x, y + 1, x + 1};
    o.Fill(&r, c.data());
}

// R, G, B of a 24- or 32-bit pixel, read by the byte positions of its format.
Rgb BytesOf(const ZOffscreen& o, int32_t x, int32_t y) {
    const uint8_t* p = o.RowAddress(y) + x * BytesPerPixel(o.GetDepth());
    switch (o.GetFormat()) {
        case kFormatRGB24:
        case kFormatRGBX32:
            return {p[0], p[1], p[2]};
        case kFormatXRGB32:
            return {p[1], p[2], p[3]};
        case kFormatXBGR32:
            return {p[3], p[2], p[1]};
        default:
            return {p[2], p[1], p[0]};
    }
}

uint32_t Code555(const Rgb& c) {
    return uint32_t(c[0] >> 3) << 10 | uint32_t(c[1] >> 3) << 5 | uint32_t(c[2] >> 3);
}
uint32_t Code565(const Rgb& c) {
    return uint32_t(c[0] >> 3) << 11 | uint32_t(c[1] >> 2) << 5 | uint32_t(c[2] >> 3);
}

constexpr int16_t kFormats24[] = {kFormatRGB24, kFormatBGR24};
constexpr int16_t kFormats32[] = {kFormatRGBX32, kFormatBGRX32, kFormatXRGB32, kFormatXBGR32};

}  // namespace

// ---- the table

TEST(GraphicsConverterTable, EveryPairOfDepthsSelectsItsCell) {
    const int32_t depths[] = {8, 15, 16, 24, 32};
    const ZConverterRoutine p2p = ConvertPaletteToPalette, lookup = ConvertPaletteLookup,
                            widen = ConvertWidenGreen, narrow = ConvertNarrowGreen, expand = ConvertExpand,
                            move = ConvertMoveBytes, reduce = ConvertReduce, pal = ConvertToPalette;
    const ZConverterRoutine expected[5][5] = {
        {p2p, lookup, lookup, lookup, lookup},   // from 8
        {pal, nullptr, widen, expand, expand},   // from 15
        {pal, narrow, nullptr, expand, expand},  // from 16
        {pal, reduce, reduce, nullptr, move},    // from 24
        {pal, reduce, reduce, move, nullptr},    // from 32
    };
    for (int s = 0; s < 5; ++s) {
        for (int t = 0; t < 5; ++t) {
            EXPECT_EQ(SelectConverter(depths[s], depths[t]), expected[s][t])
                << depths[s] << " -> " << depths[t];
        }
    }
    EXPECT_EQ(SelectConverter(12, 24), nullptr);
    EXPECT_EQ(SelectConverter(24, 0), nullptr);
}

TEST(GraphicsDither, MethodSettingsDefaultAndIgnoreUnknownValues) {
    EXPECT_EQ(GetPaletteDitherMethod(), kDitherErrorDiffusion);
    EXPECT_EQ(GetHighColorDitherMethod(), kDitherOrdered);
    {
        MethodScope scope(kDitherRandom, kDitherNone);
        EXPECT_EQ(GetPaletteDitherMethod(), kDitherRandom);
        SetPaletteDitherMethod(4);
        SetHighColorDitherMethod(-1);
        EXPECT_EQ(GetPaletteDitherMethod(), kDitherRandom);
        EXPECT_EQ(GetHighColorDitherMethod(), kDitherNone);
    }
    EXPECT_EQ(GetPaletteDitherMethod(), kDitherErrorDiffusion);
}

// ---- round trips

TEST(GraphicsConverter, PaletteThroughTrueColourAndBackIsIdentity) {
    MethodScope scope(kDitherNone, kDitherNone);
    TablePtr palette = BucketPalette();
    ASSERT_NE(palette, nullptr);
    ZOffscreen source(Rect(16, 16), 8, palette.get());
    for (int i = 0; i < 256; ++i) {
        source.RowAddress(i / 16)[i % 16] = uint8_t(i);
    }
    std::vector<std::pair<int32_t, int16_t>> sides;
    for (int16_t f : kFormats24) sides.push_back({24, f});
    for (int16_t f : kFormats32) sides.push_back({32, f});
    for (auto [depth, format] : sides) {
        ZOffscreen wide(Rect(16, 16), depth, palette.get(), kKindMemory, format);
        ZOffscreen back(Rect(16, 16), 8, palette.get());
        ASSERT_TRUE(source.CopyTo(wide, nullptr, nullptr));
        ASSERT_TRUE(wide.CopyTo(back, nullptr, nullptr));
        for (int i = 0; i < 256; ++i) {
            const uint8_t* e = palette->GetEntryData() + i * 3;
            ASSERT_EQ(BytesOf(wide, i % 16, i / 16), (Rgb{e[0], e[1], e[2]})) << format << " entry " << i;
            ASSERT_EQ(back.RowAddress(i / 16)[i % 16], i) << "format " << format;
        }
    }
}

TEST(GraphicsConverter, FifteenToSixteenAndBackIsIdentityWithTheGreenFormulas) {
    ZOffscreen w15(Rect(256, 128), 15, nullptr, kKindMemory);
    ZOffscreen w16(Rect(256, 128), 16, nullptr, kKindMemory);
    ZOffscreen back(Rect(256, 128), 15, nullptr, kKindMemory);
    for (uint32_t p = 0; p < 32768; ++p) {
        uint8_t* q = w15.RowAddress(int32_t(p / 256)) + (p % 256) * 2;
        q[0] = uint8_t(p);
        q[1] = uint8_t(p >> 8);
    }
    ASSERT_TRUE(w15.CopyTo(w16, nullptr, nullptr));
    ASSERT_TRUE(w16.CopyTo(back, nullptr, nullptr));
    for (uint32_t p = 0; p < 32768; ++p) {
        int32_t x = int32_t(p % 256), y = int32_t(p / 256);
        ASSERT_EQ(Raw(w16, x, y), (p / 32 * 64) | (p & 0x1F)) << p;
        ASSERT_EQ(Raw(back, x, y), p);
    }
    // Narrowing drops green's low bit.
    ZOffscreen odd(Rect(1, 1), 16, nullptr, kKindMemory);
    uint8_t* q = odd.RowAddress(0);
    q[0] = 0x3F;  // 5-6-5: green 1, blue 31
    q[1] = 0x00;
    ASSERT_TRUE(odd.CopyTo(back, nullptr, nullptr));
    EXPECT_EQ(Raw(back, 0, 0), 0x1Fu);
}

TEST(GraphicsConverter, TwentyFourAndThirtyTwoBitsRoundTripForEveryFormatPair) {
    std::mt19937 rng(7);
    for (int16_t f24 : kFormats24) {
        for (int16_t f32 : kFormats32) {
            ZOffscreen a(Rect(9, 5), 24, nullptr, kKindMemory, f24);
            ZOffscreen b(Rect(9, 5), 32, nullptr, kKindMemory, f32);
            ZOffscreen c(Rect(9, 5), 24, nullptr, kKindMemory, f24);
            std::vector<Rgb> colours;
            for (int i = 0; i < 45; ++i) {
                Rgb rgb{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
                colours.push_back(rgb);
                SetRgb(a, i % 9, i / 9, rgb);
            }
            // The unused byte must come out 0 whatever was there.
            for (int y = 0; y < 5; ++y) std::memset(b.RowAddress(y), 0xAB, 36);
            ASSERT_TRUE(a.CopyTo(b, nullptr, nullptr));
            ASSERT_TRUE(b.CopyTo(c, nullptr, nullptr));
            int unused = f32 == kFormatXRGB32 || f32 == kFormatXBGR32 ? 0 : 3;
            for (int i = 0; i < 45; ++i) {
                EXPECT_EQ(BytesOf(b, i % 9, i / 9), colours[i]) << f24 << " " << f32;
                EXPECT_EQ(b.RowAddress(i / 9)[(i % 9) * 4 + unused], 0);
                EXPECT_EQ(BytesOf(c, i % 9, i / 9), colours[i]);
            }
        }
    }
}

TEST(GraphicsConverter, ExpandingPutsLevelsAtTheMiddleOfTheirSpan) {
    ZOffscreen w15(Rect(1, 1), 15, nullptr, kKindMemory);
    ZOffscreen w16(Rect(1, 1), 16, nullptr, kKindMemory);
    ZOffscreen out(Rect(1, 1), 24, nullptr, kKindMemory);
    uint32_t p15 = 3u << 10 | 17u << 5 | 31u;
    uint32_t p16 = 3u << 11 | 45u << 5 | 0u;
    w15.RowAddress(0)[0] = uint8_t(p15);
    w15.RowAddress(0)[1] = uint8_t(p15 >> 8);
    w16.RowAddress(0)[0] = uint8_t(p16);
    w16.RowAddress(0)[1] = uint8_t(p16 >> 8);
    ASSERT_TRUE(w15.CopyTo(out, nullptr, nullptr));
    EXPECT_EQ(BytesOf(out, 0, 0), (Rgb{3 * 8 + 4, 17 * 8 + 4, 31 * 8 + 4}));
    ASSERT_TRUE(w16.CopyTo(out, nullptr, nullptr));
    EXPECT_EQ(BytesOf(out, 0, 0), (Rgb{3 * 8 + 4, 45 * 4 + 2, 4}));
}

TEST(GraphicsConverter, BottomUpSidesSubRectanglesAndBigEndianTargets) {
    MethodScope scope(kDitherNone, kDitherNone);
    ZOffscreen source(Rect(6, 4), 24, nullptr, kKindMemory);
    std::vector<Rgb> colours;
    for (int i = 0; i < 24; ++i) {
        colours.push_back(Rgb{uint8_t(i * 10), uint8_t(255 - i * 7), uint8_t(i * 3 + 100)});
        SetRgb(source, i % 6, i / 6, colours.back());
    }
    ZOffscreen dib(Rect(6, 4), 16, nullptr, kKindDIBSection);  // bottom-up 5-5-5
    ASSERT_TRUE(dib.IsBottomUp());
    ASSERT_TRUE(source.CopyTo(dib, nullptr, nullptr));
    ZOffscreen bigEndian(Rect(6, 4), 15, nullptr, kKindMemory, kFormatRGB555);
    ASSERT_EQ(bigEndian.GetFormat(), kFormatRGB555);
    ZRect part{1, 2, 3, 5};  // rows 1..2, columns 2..4
    ZRect at{0, 0, 2, 3};
    ASSERT_TRUE(source.CopyTo(bigEndian, &part, &at));
    for (int i = 0; i < 24; ++i) {
        int x = i % 6, y = i / 6;
        EXPECT_EQ(Raw(dib, x, y), Code555(colours[i])) << i;
    }
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) {
            const uint8_t* p = bigEndian.RowAddress(y) + x * 2;
            uint32_t word = uint32_t(p[0]) << 8 | p[1];
            bool inside = x < 3 && y < 2;
            EXPECT_EQ(word, inside ? Code555(colours[(y + 1) * 6 + x + 2]) : 0u) << x << "," << y;
        }
    }
}

// ---- keys

namespace {

// A source of depth/format with a key: key pixels where (x + y) % 5 == 0, the others near the key (same
// 5-5-5 and 5-6-5 codes, or the same colour through another index) or random.
struct KeySource {
    std::unique_ptr<ZOffscreen> offscreen;
    std::vector<bool> isKey;
    Rgb key;
};

constexpr int32_t kKeyWidth = 16, kKeyHeight = 8;
constexpr uint8_t kKeyIndex = 40, kTwinIndex = 41;
const Rgb kKey = {200, 12, 200};  // 5-5-5 green 1, 5-6-5 green 3: widening alone would lose it
const Rgb kNearKey[] = {{201, 13, 203}, {200, 12, 201}, {204, 14, 207}, {206, 15, 200}};

TablePtr KeyPalette() {
    TablePtr palette = BucketPalette();
    uint8_t* e = palette->SetCount(256);
    for (int c = 0; c < 3; ++c) {
        e[kKeyIndex * 3 + c] = kKey[c];
        e[kTwinIndex * 3 + c] = kKey[c];
        e[(kTwinIndex + 1) * 3 + c] = kNearKey[0][c];
    }
    return palette;
}

KeySource MakeKeySource(int32_t depth, int16_t format, ZColorTable* palette) {
    KeySource s;
    s.offscreen =
        std::make_unique<ZOffscreen>(Rect(kKeyWidth, kKeyHeight), depth, palette, kKindMemory, format);
    std::mt19937 rng(depth * 31 + format);
    ZTransferMode mode;
    for (int32_t y = 0; y < kKeyHeight; ++y) {
        for (int32_t x = 0; x < kKeyWidth; ++x) {
            bool key = (x + y) % 5 == 0;
            if (depth == 8) {
                uint8_t index = key ? kKeyIndex : (x % 3 == 0 ? kTwinIndex : uint8_t(rng()));
                s.offscreen->RowAddress(y)[x] = index == kKeyIndex && !key ? kTwinIndex : index;
                continue;
            }
            Rgb c =
                key ? kKey : (x % 2 == 0 ? kNearKey[(x + y) % 4] : Rgb{uint8_t(rng()), uint8_t(rng()), 200});
            SetRgb(*s.offscreen, x, y, c);
        }
    }
    if (depth == 8) {
        mode.flags = ZTransferMode::kTransparentIndex;
        mode.transparentIndex = kKeyIndex;
    } else {
        mode.flags = ZTransferMode::kTransparentColor;
        std::copy(kKey.begin(), kKey.end(), mode.keyColor);
    }
    s.offscreen->SetTransferMode(mode);
    s.key = kKey;
    // At 15 and 16 bits the near colours share the key's code: the source's own hit test says which
    // pixels are transparent.
    for (int32_t y = 0; y < kKeyHeight; ++y) {
        for (int32_t x = 0; x < kKeyWidth; ++x) s.isKey.push_back(s.offscreen->GetAlphaAt(x, y) == 0);
    }
    return s;
}

// What the target must hold at a key pixel, as its raw value.
uint32_t KeyRaw(const ZOffscreen& target) {
    switch (target.GetDepth()) {
        case 8:
            return target.GetTransferMode().transparentIndex;
        case 15:
            return Code555(kKey);
        case 16:
            return Code565(kKey);
        default:
            return uint32_t(-1);  // compared by bytes instead
    }
}

void ExpectKeyKept(const KeySource& s, const ZOffscreen& target, const char* what) {
    const ZTransferMode& mode = target.GetTransferMode();
    if (target.GetDepth() == 8) {
        ASSERT_TRUE(mode.Has(ZTransferMode::kTransparentIndex)) << what;
    } else {
        ASSERT_TRUE(mode.Has(ZTransferMode::kTransparentColor)) << what;
        EXPECT_EQ((Rgb{mode.keyColor[0], mode.keyColor[1], mode.keyColor[2]}), kKey) << what;
    }
    for (int32_t y = 0; y < kKeyHeight; ++y) {
        for (int32_t x = 0; x < kKeyWidth; ++x) {
            bool key = s.isKey[size_t(y * kKeyWidth + x)];
            // The offscreen's own hit test compares the key at the pixels' precision.
            EXPECT_EQ(target.GetAlphaAt(x, y) == 0, key) << what << " at " << x << "," << y;
            if (target.GetDepth() >= 24) {
                EXPECT_EQ(BytesOf(target, x, y) == kKey, key) << what << " at " << x << "," << y;
            } else {
                EXPECT_EQ(Raw(target, x, y) == KeyRaw(target), key) << what << " at " << x << "," << y;
            }
        }
    }
}

struct Side {
    int32_t depth;
    int16_t format;
};

std::vector<Side> AllSides() {
    std::vector<Side> sides{{8, kFormatIndexed8}, {15, 0}, {16, 0}};
    for (int16_t f : kFormats24) sides.push_back({24, f});
    for (int16_t f : kFormats32) sides.push_back({32, f});
    return sides;
}

}  // namespace

TEST(GraphicsConverter, KeysSurviveEveryPairOfDepthsAndEveryMethod) {
    TablePtr palette = KeyPalette();
    TablePtr other = BucketPalette();  // the 8-bit targets: no index of its own for the key colour
    ASSERT_NE(palette, nullptr);
    ASSERT_NE(other, nullptr);
    for (int32_t method = kDitherNone; method <= kDitherRandom; ++method) {
        MethodScope scope(method, method);
        for (Side from : AllSides()) {
            for (Side to : AllSides()) {
                if (from.depth == to.depth) {
                    continue;
                }
                KeySource s = MakeKeySource(from.depth, from.format, palette.get());
                ZOffscreen target(Rect(kKeyWidth, kKeyHeight), to.depth, other.get(), kKindMemory, to.format);
                ASSERT_TRUE(s.offscreen->CopyTo(target, nullptr, nullptr));
                std::string what = std::to_string(from.depth) + "/" + std::to_string(from.format) + " -> " +
                                   std::to_string(to.depth) + "/" + std::to_string(to.format) + " method " +
                                   std::to_string(method);
                ExpectKeyKept(s, target, what.c_str());
            }
        }
        // Palette to palette, where the source has its own index for the key's colour.
        KeySource s = MakeKeySource(8, kFormatIndexed8, palette.get());
        ZOffscreen target(Rect(kKeyWidth, kKeyHeight), 8, other.get());
        ASSERT_TRUE(s.offscreen->CopyTo(target, nullptr, nullptr));
        ExpectKeyKept(s, target, "8 -> 8");
        EXPECT_EQ(target.GetTransferMode().transparentIndex, other->FindColor(kKey.data(), true));
    }
}

TEST(GraphicsConverter, ATwinIndexOfTheKeyColourDiffersInTheLowestBlueBit) {
    TablePtr palette = KeyPalette();
    KeySource s = MakeKeySource(8, kFormatIndexed8, palette.get());
    ZOffscreen target(Rect(kKeyWidth, kKeyHeight), 24, nullptr, kKindMemory, kFormatBGR24);
    ASSERT_TRUE(s.offscreen->CopyTo(target, nullptr, nullptr));
    int twins = 0;
    for (int32_t y = 0; y < kKeyHeight; ++y) {
        for (int32_t x = 0; x < kKeyWidth; ++x) {
            if (s.offscreen->RowAddress(y)[x] == kTwinIndex) {
                EXPECT_EQ(BytesOf(target, x, y), (Rgb{kKey[0], kKey[1], uint8_t(kKey[2] ^ 1)}));
                ++twins;
            }
        }
    }
    EXPECT_GT(twins, 0);
}

TEST(GraphicsConverter, RunnerUpNeverFallsOnTheKeyIndex) {
    // Two entries in the key's bucket: the inverse table may pick the far one of the two while the exact
    // runner-up search skips the near one, so a naive runner-up would be the key index itself.
    std::vector<uint8_t> bytes(256 * 3, 0);
    // The key's bucket centre is (196, 14, 196): the inverse table picks a, the exact search b first.
    const Rgb a = {197, 14, 197}, b = {190, 12, 190}, keyColour = {192, 12, 192};
    for (int c = 0; c < 3; ++c) {
        bytes[3 + c] = a[c];
        bytes[6 + c] = b[c];
        bytes[255 * 3 + c] = 255;
    }
    TablePtr table(ZColorTable::CreateFromMemory(bytes.data(), 256, 0));
    ZOffscreen source(Rect(2, 1), 24, nullptr, kKindMemory);
    SetRgb(source, 0, 0, keyColour);
    SetRgb(source, 1, 0, a);  // lands on the key index and must step off it
    ZTransferMode mode;
    mode.flags = ZTransferMode::kTransparentColor;
    std::copy(keyColour.begin(), keyColour.end(), mode.keyColor);
    source.SetTransferMode(mode);
    MethodScope scope(kDitherNone, kDitherNone);
    ZOffscreen target(Rect(2, 1), 8, table.get());
    ASSERT_TRUE(source.CopyTo(target, nullptr, nullptr));
    uint8_t k = target.GetTransferMode().transparentIndex;
    EXPECT_EQ(target.RowAddress(0)[0], k);
    EXPECT_NE(target.RowAddress(0)[1], k);
}

// ---- refusals

TEST(GraphicsConverter, AlphaPlanesAndMissingTablesConvertNothing) {
    TablePtr palette = BucketPalette();
    ZOffscreen alpha(Rect(4, 2), 8, palette.get(), kKindMemory, kFormatAlpha8);
    ASSERT_EQ(alpha.GetFormat(), kFormatAlpha8);
    std::memset(alpha.RowAddress(0), 63, 4);
    ZOffscreen wide(Rect(4, 2), 24, nullptr, kKindMemory);
    ZOffscreen indexed(Rect(4, 2), 8, palette.get());
    EXPECT_FALSE(alpha.CopyTo(wide, nullptr, nullptr));
    EXPECT_FALSE(alpha.CopyTo(indexed, nullptr, nullptr));
    EXPECT_FALSE(indexed.CopyTo(alpha, nullptr, nullptr));
    EXPECT_EQ(Raw(wide, 0, 0), 0u);
    EXPECT_EQ(Raw(indexed, 0, 0), 0u);

    uint8_t source[4] = {1, 2, 3, 4};
    uint8_t target[16] = {};
    ZConversion job;
    job.source = source;
    job.sourceStep = 4;
    job.sourceDepth = 8;
    job.sourceFormat = kFormatIndexed8;
    job.target = target;
    job.targetStep = 16;
    job.targetDepth = 32;
    job.targetFormat = kFormatBGRX32;
    job.width = 4;
    job.height = 1;
    ZTransferMode mode;
    EXPECT_FALSE(ConvertPaletteLookup(job, mode));  // no source palette
    job.sourceDepth = 24;
    job.sourceFormat = kFormatRGBX32;  // not a 24-bit format
    job.targetDepth = 32;
    EXPECT_FALSE(ConvertMoveBytes(job, mode));
    job.sourceFormat = kFormatBGR24;
    job.targetDepth = 8;
    job.targetFormat = kFormatIndexed8;
    EXPECT_FALSE(ConvertToPalette(job, mode));  // no target palette
    for (uint8_t b : target) EXPECT_EQ(b, 0);
}

// ---- ditherers

namespace {

// Converts a 24-bit image to the target's depth with a method and returns the target's raw pixels.
std::vector<uint32_t> Convert24(const std::vector<Rgb>& pixels, int32_t w, int32_t h, int32_t depth,
                                ZColorTable* table, int32_t method) {
    MethodScope scope(method, method);
    ZOffscreen source(Rect(w, h), 24, nullptr, kKindMemory);
    for (int32_t i = 0; i < w * h; ++i) SetRgb(source, i % w, i / w, pixels[size_t(i)]);
    ZOffscreen target(Rect(w, h), depth, table, kKindMemory);
    EXPECT_TRUE(source.CopyTo(target, nullptr, nullptr));
    std::vector<uint32_t> out;
    for (int32_t i = 0; i < w * h; ++i) out.push_back(Raw(target, i % w, i / w));
    return out;
}

// Error diffusion written from its weights: each component carries v + (cell >> 4), takes its level,
// measures the error against the chosen value, clamps it to -32..31 and hands 7, 3, 5, 1 sixteenths to
// the next pixel in scan order and to the three below. chosen(levels, component) gives the chosen value.
template <class Choose>
std::vector<uint32_t> ReferenceDiffusion(const std::vector<Rgb>& pixels, int32_t w, int32_t h, bool reverse,
                                         int32_t greenBits, Choose choose) {
    std::vector<uint32_t> out(pixels.size());
    std::array<std::vector<int32_t>, 3> cur, nxt;
    for (int c = 0; c < 3; ++c) cur[c].assign(size_t(w) + 2, 0), nxt[c].assign(size_t(w) + 2, 0);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t s = 0; s < w; ++s) {
            int32_t x = reverse ? w - 1 - s : s;
            const Rgb& p = pixels[size_t(y * w + x)];
            int32_t carried[3], level[3];
            for (int c = 0; c < 3; ++c) {
                carried[c] = p[c] + (cur[c][size_t(s) + 1] >> 4);
                int32_t bits = c == 1 ? greenBits : 5;
                level[c] = std::clamp(carried[c] >> (8 - bits), 0, (1 << bits) - 1);
            }
            uint32_t value = 0;
            for (int c = 0; c < 3; ++c) {
                int32_t chosen = choose(level, c, value);
                int32_t e = std::clamp(carried[c] - chosen, -32, 31);
                cur[c][size_t(s) + 1] = 0;
                cur[c][size_t(s) + 2] += 7 * e;
                nxt[c][size_t(s)] += 3 * e;
                nxt[c][size_t(s) + 1] += 5 * e;
                nxt[c][size_t(s) + 2] += e;
            }
            out[size_t(y * w + x)] = value;
        }
        std::swap(cur, nxt);
        for (auto& row : nxt) std::fill(row.begin(), row.end(), 0);
    }
    return out;
}

std::vector<Rgb> RandomPixels(int32_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<Rgb> pixels;
    for (int32_t i = 0; i < n; ++i) pixels.push_back(Rgb{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
    return pixels;
}

}  // namespace

TEST(GraphicsDither, ErrorDiffusionMatchesAReferenceForPalettesAndWords) {
    const int32_t w = 13, h = 5;
    std::vector<Rgb> pixels = RandomPixels(w * h, 11);
    TablePtr palette = BucketPalette();
    const uint8_t* inverse = palette->GetInverseTable();
    const uint8_t* entries = palette->GetEntryData();
    auto toIndex = [&](const int32_t* level, int c, uint32_t& value) {
        if (c == 0)
            value = inverse[level[0] << 11 | level[1] << 5 | level[2]];
        return int32_t(entries[value * 3 + uint32_t(c)]);
    };
    EXPECT_EQ(Convert24(pixels, w, h, 8, palette.get(), kDitherErrorDiffusion),
              ReferenceDiffusion(pixels, w, h, false, 6, toIndex));

    auto to565 = [](const int32_t* level, int c, uint32_t& value) {
        if (c == 0)
            value = uint32_t(level[0] << 11 | level[1] << 5 | level[2]);
        return c == 1 ? level[c] * 4 : level[c] * 8;
    };
    auto to555 = [](const int32_t* level, int c, uint32_t& value) {
        if (c == 0)
            value = uint32_t(level[0] << 10 | level[1] << 5 | level[2]);
        return level[c] * 8;
    };
    EXPECT_EQ(Convert24(pixels, w, h, 16, nullptr, kDitherErrorDiffusion),
              ReferenceDiffusion(pixels, w, h, false, 6, to565));
    EXPECT_EQ(Convert24(pixels, w, h, 15, nullptr, kDitherErrorDiffusion),
              ReferenceDiffusion(pixels, w, h, false, 5, to555));
}

TEST(GraphicsDither, PaletteToPaletteDiffusesRightToLeft) {
    const int32_t w = 11, h = 4;
    TablePtr from = BucketPalette();
    // A target palette of greys: every colour of the source lands between entries.
    std::vector<uint8_t> greys(256 * 3);
    for (int i = 0; i < 256; ++i) greys[i * 3] = greys[i * 3 + 1] = greys[i * 3 + 2] = uint8_t(i / 16 * 17);
    TablePtr to(ZColorTable::CreateFromMemory(greys.data(), 256, 0));
    std::mt19937 rng(5);
    ZOffscreen source(Rect(w, h), 8, from.get());
    std::vector<Rgb> colours;
    for (int32_t i = 0; i < w * h; ++i) {
        uint8_t index = uint8_t(rng());
        source.RowAddress(i / w)[i % w] = index;
        const uint8_t* e = from->GetEntryData() + index * 3;
        colours.push_back(Rgb{e[0], e[1], e[2]});
    }
    MethodScope scope(kDitherErrorDiffusion, kDitherOrdered);
    ZOffscreen target(Rect(w, h), 8, to.get());
    ASSERT_TRUE(source.CopyTo(target, nullptr, nullptr));
    const uint8_t* inverse = to->GetInverseTable();
    const uint8_t* entries = to->GetEntryData();
    auto toIndex = [&](const int32_t* level, int c, uint32_t& value) {
        if (c == 0)
            value = inverse[level[0] << 11 | level[1] << 5 | level[2]];
        return int32_t(entries[value * 3 + uint32_t(c)]);
    };
    std::vector<uint32_t> expected = ReferenceDiffusion(colours, w, h, true, 6, toIndex);
    for (int32_t i = 0; i < w * h; ++i) EXPECT_EQ(Raw(target, i % w, i / w), expected[size_t(i)]) << i;
}

TEST(GraphicsDither, FlatColourOnAPaletteEntryCarriesNoError) {
    TablePtr palette = BucketPalette();
    const uint8_t* e = palette->GetEntryData() + 77 * 3;
    std::vector<Rgb> flat(32 * 6, Rgb{e[0], e[1], e[2]});
    for (uint32_t v : Convert24(flat, 32, 6, 8, palette.get(), kDitherErrorDiffusion)) ASSERT_EQ(v, 77u);
    // A level's own value carries no error into 16 bits either.
    std::vector<Rgb> level(32 * 6, Rgb{96, 124, 40});
    for (uint32_t v : Convert24(level, 32, 6, 16, nullptr, kDitherErrorDiffusion)) {
        ASSERT_EQ(v, Code565(Rgb{96, 124, 40}));
    }
}

TEST(GraphicsDither, OrderedRepeatsOneFourByFourPattern) {
    const int8_t matrix[4][4] = {{-8, 0, -6, 2}, {4, -4, 6, -2}, {-5, 3, -7, 1}, {7, -1, 5, -3}};
    const int32_t w = 16, h = 12;
    const Rgb colour = {101, 150, 77};
    std::vector<uint32_t> out =
        Convert24(std::vector<Rgb>(size_t(w * h), colour), w, h, 16, nullptr, kDitherOrdered);
    bool varies = false;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            uint32_t v = out[size_t(y * w + x)];
            EXPECT_EQ(v, out[size_t((y % 4) * w + x % 4)]) << x << "," << y;
            // The converter counts rows down from the height.
            int32_t t = matrix[x & 3][(h - y) & 3];
            uint32_t r = uint32_t(std::clamp((colour[0] + 4 * t) >> 3, 0, 31));
            uint32_t g = uint32_t(std::clamp((colour[1] >> 2) + t, 0, 63));
            uint32_t b = uint32_t(std::clamp((colour[2] + 4 * t) >> 3, 0, 31));
            EXPECT_EQ(v, r << 11 | g << 5 | b) << x << "," << y;
            varies = varies || v != out[0];
        }
    }
    EXPECT_TRUE(varies);
    TablePtr palette = BucketPalette();
    std::vector<uint32_t> indices =
        Convert24(std::vector<Rgb>(size_t(w * h), colour), w, h, 8, palette.get(), kDitherOrdered);
    for (int32_t i = 0; i < w * h; ++i) {
        EXPECT_EQ(indices[size_t(i)], indices[size_t((i / w % 4) * w + i % w % 4)]) << i;
    }
}

TEST(GraphicsDither, RandomMovesComponentsByAtMostThirtyTwo) {
    const int scripted[] = {0, 15, 7, 8, 3, 12, 1, 14, 16 + 5, 0x7FF0};
    platform::ScriptedRandom random(scripted, 10);
    platform::Random* previous = platform::SetRandom(&random);
    const int32_t w = 10, h = 3;
    std::vector<Rgb> pixels = RandomPixels(w * h, 3);
    std::vector<uint32_t> out = Convert24(pixels, w, h, 16, nullptr, kDitherRandom);
    platform::SetRandom(previous);
    for (int32_t i = 0; i < w * h; ++i) {
        int32_t n = (scripted[i % 10] & 15) * 4 - 32;
        ASSERT_GE(n, -32);
        ASSERT_LE(n, 28);
        const Rgb& p = pixels[size_t(i)];
        uint32_t r = uint32_t(std::clamp((p[0] + n) >> 3, 0, 31));
        uint32_t g = uint32_t(std::clamp((p[1] + n) >> 2, 0, 63));
        uint32_t b = uint32_t(std::clamp((p[2] + n) >> 3, 0, 31));
        EXPECT_EQ(out[size_t(i)], r << 11 | g << 5 | b) << i;
        // Every level lies within the levels of v - 32 and v + 32.
        uint32_t v = out[size_t(i)];
        EXPECT_GE(int32_t(v >> 11), std::max(0, (p[0] - 32) >> 3));
        EXPECT_LE(int32_t(v >> 11), std::min(31, (p[0] + 32) >> 3));
    }
}

TEST(GraphicsDither, MethodNoneIsTheInverseTableOrTruncation) {
    const int32_t w = 20, h = 4;
    std::vector<Rgb> pixels = RandomPixels(w * h, 9);
    TablePtr palette = BucketPalette();
    const uint8_t* inverse = palette->GetInverseTable();
    std::vector<uint32_t> indices = Convert24(pixels, w, h, 8, palette.get(), kDitherNone);
    std::vector<uint32_t> words = Convert24(pixels, w, h, 16, nullptr, kDitherNone);
    for (int32_t i = 0; i < w * h; ++i) {
        EXPECT_EQ(indices[size_t(i)], inverse[Code565(pixels[size_t(i)])]);
        EXPECT_EQ(words[size_t(i)], Code565(pixels[size_t(i)]));
    }
}

TEST(GraphicsDither, ErrorDiffusionDittererSpreadsByItsWeights) {
    ZErrorDiffusionDitherer d(4);
    ASSERT_TRUE(d.IsReady());
    EXPECT_EQ(d.GetRow(), -1);
    d.SelectRow(6);
    EXPECT_EQ(d.Carry(0, 100), 100);
    d.Diffuse(0, 116, 100);  // error 16
    EXPECT_EQ(d.Carry(1, 0), 7);
    EXPECT_EQ(d.Carry(0, 0), 0);  // its own cell is spent
    d.Diffuse(1, 500, 0);         // clamped to 31
    EXPECT_EQ(d.Carry(2, 0), 7 * 31 >> 4);
    d.SelectRow(7);
    EXPECT_EQ(d.Carry(0, 0), (5 * 16 + 3 * 31) >> 4);  // below pixel 0, and behind pixel 1
    EXPECT_EQ(d.Carry(1, 0), (16 + 5 * 31) >> 4);      // after pixel 0, below pixel 1
    EXPECT_EQ(d.Level5(-20), 0);
    EXPECT_EQ(d.Level6(300), 63);
}

TEST(GraphicsDither, YCbCrDittererStartsAtTheIndexTableAndCarriesItsError) {
    TablePtr palette = BucketPalette();
    ZYCbCrColorTable* table = new ZYCbCrColorTable(ZYCbCrColorTable::kJpegStandard, palette.get());
    {
        ZYCbCrErrorDiffusionDitherer d(3, table);
        ASSERT_TRUE(d.IsReady());
        const uint8_t* index = table->GetIndexTable();
        ASSERT_NE(index, nullptr);
        d.SelectRow(0);
        uint8_t first = d.Index(0, 130, 90, 170);
        EXPECT_EQ(first, index[(90 >> 3) << 11 | (170 >> 3) << 6 | (130 >> 2)]);
        // The second pixel sees 7/16 of the first one's error in each component.
        const uint8_t* chosen = table->GetPaletteYCbCr() + first * 3;
        auto carried = [](int32_t v, int32_t c) { return v + ((7 * std::clamp(v - c, -32, 31)) >> 4); };
        int32_t y = std::clamp(carried(130, chosen[0]) >> 2, 0, 63);
        int32_t cb = std::clamp(carried(90, chosen[1]) >> 3, 0, 31);
        int32_t cr = std::clamp(carried(170, chosen[2]) >> 3, 0, 31);
        EXPECT_EQ(d.Index(1, 130, 90, 170), index[cb << 11 | cr << 6 | y]);
    }
    table->Release();
}
