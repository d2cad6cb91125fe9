#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "graphics/ZAlphaChannel.h"
#include "graphics/ZBlendAlpha32.h"
#include "graphics/ZColorTable.h"
#include "graphics/ZCompositor.h"
#include "graphics/ZDitherer.h"
#include "graphics/ZMask.h"
#include "graphics/ZOffscreen.h"
#include "graphics/ZPicture.h"
#include "graphics/ZPixelFormat.h"

namespace {

constexpr uint32_t T = ZTransferMode::kTransparentIndex;
constexpr uint32_t K = ZTransferMode::kTransparentColor;
constexpr uint32_t O = ZTransferMode::kUseOpacity;
constexpr uint32_t A = ZTransferMode::kUseAlphaChannel;
constexpr uint32_t M = ZTransferMode::kUseMask;

// ---------------------------------------------------------------------------------------------------
// The reference model: the documented formulas, written plainly and per component.

const std::vector<int32_t> kAllDepths = {8, 15, 16, 24, 32};
const std::vector<int32_t> kAboveEight = {15, 16, 24, 32};

// Which depths have a routine, per flag value, for copies and for fills.
struct MatrixRow {
    uint32_t flags;
    std::vector<int32_t> copy;
    std::vector<int32_t> fill;
};

const std::vector<MatrixRow> kMatrix = {
    {0, kAllDepths, kAllDepths},
    {T, {8}, {}},
    {K, kAboveEight, {}},
    {O, kAllDepths, kAllDepths},
    {O | T, {8}, {}},
    {O | K, kAboveEight, {}},
    {A, kAllDepths, kAllDepths},
    {A | T, {8}, {}},
    {A | K, kAboveEight, {}},
    {A | O, kAllDepths, kAllDepths},
    {A | O | T, {8}, {}},
    {A | O | K, kAboveEight, {}},
    {M, kAllDepths, kAllDepths},
    {M | O, kAllDepths, kAllDepths},
};

bool InMatrix(uint32_t flags, int32_t depth, bool fill) {
    for (const MatrixRow& row : kMatrix) {
        const std::vector<int32_t>& depths = fill ? row.fill : row.copy;
        if (row.flags == flags && std::find(depths.begin(), depths.end(), depth) != depths.end()) {
            return true;
        }
    }
    return false;
}

std::vector<int16_t> FormatsOf(int32_t depth, uint32_t flags, bool fill) {
    switch (depth) {
        case 8:
            return flags == 0 && fill ? std::vector<int16_t>{kFormatIndexed8, kFormatAlpha8}
                                      : std::vector<int16_t>{kFormatIndexed8};
        case 15:
            return {int16_t(kFormatRGB555 | kNativeByteOrder)};
        case 16:
            return {int16_t(kFormatRGB565 | kNativeByteOrder)};
        case 24:
            return {kFormatRGB24, kFormatBGR24};
        default:
            return {kFormatRGBX32, kFormatBGRX32, kFormatXRGB32, kFormatXBGR32};
    }
}

struct Places {
    int r, g, b, x;
};

Places PlacesOf(int16_t format) {
    switch (format) {
        case kFormatRGB24:
            return {0, 1, 2, -1};
        case kFormatBGR24:
            return {2, 1, 0, -1};
        case kFormatRGBX32:
            return {0, 1, 2, 3};
        case kFormatBGRX32:
            return {2, 1, 0, 3};
        case kFormatXRGB32:
            return {1, 2, 3, 0};
        default:
            return {3, 2, 1, 0};
    }
}

int32_t FloorDiv(int32_t n, int32_t d) {
    return n >= 0 ? n / d : -((-n + d - 1) / d);
}

int32_t RoundHalfAway(int32_t n, int32_t d) {
    return n >= 0 ? (2 * n + d) / (2 * d) : -((-2 * n + d) / (2 * d));
}

int32_t Ratio(int32_t s, int32_t d) {
    return d <= s ? 16128 : int32_t(std::lround(s * 16128.0 / d));
}

uint16_t WordOf(const uint8_t rgb[3], bool six) {
    return six ? uint16_t((rgb[0] >> 3) << 11 | (rgb[1] >> 2) << 5 | (rgb[2] >> 3))
               : uint16_t((rgb[0] >> 3) << 10 | (rgb[1] >> 3) << 5 | (rgb[2] >> 3));
}

struct Scenario {
    uint32_t flags = 0;
    int32_t depth = 0;
    int16_t format = 0;
    bool fill = false;
    bool targetAlpha = false;
    int32_t opacity = 63;
    uint8_t index = 0;
    uint8_t key[3] = {0, 0, 0};
    uint8_t color[3] = {0, 0, 0};
    ZColorTable* table = nullptr;
    const uint8_t* blocked = nullptr;

    int32_t Bytes() const { return BytesPerPixel(depth); }
    bool Has(uint32_t f) const { return (flags & f) != 0; }
};

// The fill colour as the target pixel's bytes.
std::vector<uint8_t> FillBytes(const Scenario& sc) {
    std::vector<uint8_t> out(size_t(sc.Bytes()), 0);
    if (sc.depth == 8) {
        out[0] = sc.format == kFormatIndexed8 ? uint8_t(std::max(sc.table->FindColor(sc.color, true), 0))
                                              : sc.color[0];
    } else if (sc.Bytes() == 2) {
        uint16_t w = WordOf(sc.color, sc.depth == 16);
        out[0] = uint8_t(w);
        out[1] = uint8_t(w >> 8);
    } else {
        Places p = PlacesOf(sc.format);
        out[size_t(p.r)] = sc.color[0];
        out[size_t(p.g)] = sc.color[1];
        out[size_t(p.b)] = sc.color[2];
    }
    return out;
}

// Writes the key as the source pixels would carry it (the ignored byte keeps what it had).
void PlantKey(const Scenario& sc, uint8_t* p) {
    if (sc.Bytes() == 2) {
        uint16_t w = WordOf(sc.key, sc.depth == 16);
        p[0] = uint8_t(w);
        p[1] = uint8_t(w >> 8);
        return;
    }
    // The plain 24-bit key copy compares bytes as B, G, R in every 24-bit format.
    Places pl = sc.depth == 24 && !sc.Has(A | O) ? Places{2, 1, 0, -1} : PlacesOf(sc.format);
    p[pl.r] = sc.key[0];
    p[pl.g] = sc.key[1];
    p[pl.b] = sc.key[2];
}

bool KeyHit(const Scenario& sc, const uint8_t* p) {
    if (sc.Bytes() == 2) {
        return (p[0] | p[1] << 8) == WordOf(sc.key, sc.depth == 16);
    }
    Places pl = sc.depth == 24 && !sc.Has(A | O) ? Places{2, 1, 0, -1} : PlacesOf(sc.format);
    return p[pl.r] == sc.key[0] && p[pl.g] == sc.key[1] && p[pl.b] == sc.key[2];
}

uint8_t BlendByte(const Scenario& sc, int32_t s, int32_t d, int32_t w, int32_t targetAlpha) {
    if (!sc.Has(A)) {
        return uint8_t(d + RoundHalfAway((s - d) * sc.opacity, 63));
    }
    if (sc.targetAlpha) {
        return uint8_t(d + FloorDiv(Ratio(w, targetAlpha) * (s - d), 16384));
    }
    return uint8_t(d + FloorDiv((s - d) * (w + 1), 64));
}

void BlendWide(const Scenario& sc, const uint8_t* s, uint8_t* d, int32_t w, int32_t targetAlpha) {
    Places p = PlacesOf(sc.format);
    for (int lane : {p.r, p.g, p.b}) {
        d[lane] = BlendByte(sc, s[lane], d[lane], w, targetAlpha);
    }
    if (p.x >= 0) {
        d[p.x] = 0;  // the ignored byte of a blended pixel
    }
}

void BlendWord(const Scenario& sc, const uint8_t* s, uint8_t* d, int32_t w) {
    bool six = sc.depth == 16;
    int32_t sw = s[0] | s[1] << 8, dw = d[0] | d[1] << 8;
    int32_t shifts[3] = {six ? 11 : 10, 5, 0};
    int32_t maxima[3] = {31, six ? 63 : 31, 31};
    int32_t out = 0;
    for (int i = 0; i < 3; ++i) {
        int32_t sc5 = (sw >> shifts[i]) & maxima[i], dc5 = (dw >> shifts[i]) & maxima[i];
        int32_t half = w >> 1;
        int32_t c = sc.Has(A) ? (dc5 * (32 - half) + sc5 * half) / 32
                              : dc5 + RoundHalfAway((sc5 - dc5) * sc.opacity, 63);
        out |= c << shifts[i];
    }
    d[0] = uint8_t(out);
    d[1] = uint8_t(out >> 8);
}

void BlendPalette(const Scenario& sc, const uint8_t* s, uint8_t* d, int32_t w) {
    const uint16_t* b = sc.table->GetBlendTable();
    const uint8_t* inverse = sc.table->GetInverseTable();
    d[0] = inverse[b[w * 256 + s[0]] + b[(63 - w) * 256 + d[0]]];
}

// One target pixel after the draw.
void ReferencePixel(const Scenario& sc, const uint8_t* source, uint8_t* target, int32_t alpha,
                    int32_t targetAlpha, uint8_t maskValue) {
    std::vector<uint8_t> fill = sc.fill ? FillBytes(sc) : std::vector<uint8_t>();
    const uint8_t* s = sc.fill ? fill.data() : source;
    size_t n = size_t(sc.Bytes());
    if ((sc.Has(T) && s[0] == sc.index) || (sc.Has(K) && KeyHit(sc, s)) ||
        (sc.Has(M) && sc.blocked[maskValue] != 0)) {
        return;
    }
    if (!sc.Has(A | O)) {
        std::memcpy(target, s, n);
        return;
    }
    int32_t w = sc.opacity;
    if (sc.Has(A)) {
        w = alpha & 63;
        if (sc.Has(O)) {
            w = RoundHalfAway(w * sc.opacity, 63);
        }
        bool everyWeight = sc.depth == 8 && sc.Has(T);
        if (!everyWeight && w == 0) {
            return;
        }
        if (!everyWeight && w == 63) {
            std::memcpy(target, s, n);
            return;
        }
    }
    if (sc.depth == 8) {
        BlendPalette(sc, s, target, w);
    } else if (n == 2) {
        BlendWord(sc, s, target, w);
    } else {
        BlendWide(sc, s, target, w, targetAlpha);
    }
}

// ---------------------------------------------------------------------------------------------------
// Running one scenario on random pixels through the selected routine and through the model.

struct Plane {
    int32_t width, height, stride;
    bool bottomUp;
    std::vector<uint8_t> bytes;
    uint8_t* Row(int32_t y) { return bytes.data() + size_t(bottomUp ? height - 1 - y : y) * size_t(stride); }
    int32_t Step() const { return bottomUp ? -stride : stride; }
};

Plane MakePlane(std::mt19937& rng, int32_t width, int32_t height, int32_t bytes) {
    Plane p{width, height, width * bytes + int32_t(rng() % 5), (rng() & 1) != 0, {}};
    p.bytes.resize(size_t(p.stride) * size_t(height));
    for (uint8_t& b : p.bytes) {
        b = uint8_t(rng());
    }
    return p;
}

int32_t RandomAlpha(std::mt19937& rng) {
    switch (rng() % 4) {
        case 0:
            return 64 * int32_t(rng() % 4);  // weight 0, with the unused bits set
        case 1:
            return 63 + 64 * int32_t(rng() % 4);
        default:
            return int32_t(rng() % 256);
    }
}

void PlantTransparency(const Scenario& sc, std::mt19937& rng, Plane& source) {
    for (int32_t y = 0; y < source.height; ++y) {
        for (int32_t x = 0; x < source.width; ++x) {
            uint8_t* p = source.Row(y) + x * sc.Bytes();
            bool run = sc.Has(T) && (x / 4) % 2 == 0 && y % 2 == 0;  // whole words of transparent pixels
            if (sc.Has(T) && (run || rng() % 3 == 0)) {
                p[0] = sc.index;
            } else if (sc.Has(K) && rng() % 3 == 0) {
                PlantKey(sc, p);
            }
        }
    }
}

// Runs the routine selected for sc once on random pixels and compares every byte with the model.
void CheckScenario(const Scenario& sc, std::mt19937& rng) {
    ZMask* mask = sc.Has(M) ? new ZMask(uint16_t(1)) : nullptr;
    Scenario run = sc;
    if (mask != nullptr) {
        for (int i = 0; i < 256; ++i) {
            mask->GetBlocked()[i] = uint8_t(rng() % 2);
        }
        run.blocked = mask->GetBlocked();
    }
    ZTransferMode mode;
    mode.SetMask(mask);
    mode.flags = sc.flags;
    mode.opacity = uint8_t(sc.opacity);
    mode.transparentIndex = sc.index;
    std::memcpy(mode.keyColor, sc.key, 3);
    ZCompositor routine = SelectCompositor(mode, sc.depth, sc.format, sc.fill);
    ASSERT_NE(routine, nullptr);

    int32_t width = 1 + int32_t(rng() % 23), height = 1 + int32_t(rng() % 5);
    Plane source = MakePlane(rng, width, height, sc.Bytes());
    Plane target = MakePlane(rng, width, height, sc.Bytes());
    Plane alpha = MakePlane(rng, width, height, 1);
    Plane targetAlpha = MakePlane(rng, width, height, 1);
    Plane maskPixels = MakePlane(rng, width, height, 1);
    PlantTransparency(run, rng, source);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            alpha.Row(y)[x] = uint8_t(RandomAlpha(rng));
            targetAlpha.Row(y)[x] = uint8_t(rng() % 64);
        }
    }
    Plane expected = target;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            ReferencePixel(run, source.Row(y) + x * sc.Bytes(), expected.Row(y) + x * sc.Bytes(),
                           alpha.Row(y)[x], targetAlpha.Row(y)[x], maskPixels.Row(y)[x]);
        }
    }
    ZCompositeCall call;
    call.source = sc.fill ? nullptr : source.Row(0);
    call.sourceStride = source.Step();
    call.target = target.Row(0);
    call.targetStride = target.Step();
    call.sourceAlpha = alpha.Row(0);
    call.sourceAlphaStride = alpha.Step();
    call.targetAlpha = sc.targetAlpha ? targetAlpha.Row(0) : nullptr;
    call.targetAlphaStride = targetAlpha.Step();
    call.width = width;
    call.height = height;
    call.bytesPerPixel = sc.Bytes();
    call.depth = sc.depth;
    call.format = sc.format;
    call.mode = &mode;
    call.color = sc.color;
    call.colorTable = sc.table;
    call.mask = maskPixels.Row(0);
    call.maskStride = maskPixels.Step();
    routine(call);
    EXPECT_EQ(target.bytes, expected.bytes)
        << "flags " << sc.flags << " depth " << sc.depth << " format " << sc.format << " fill " << sc.fill
        << " target alpha " << sc.targetAlpha << " opacity " << sc.opacity;
    if (mask != nullptr) {
        mask->Release();
    }
}

class GraphicsCompositeTest : public ::testing::Test {
  protected:
    // Random entries near 27 base colours: many share a 5-6-5 bucket, so re-quantising moves pixels.
    void SetUp() override {
        std::mt19937 rng(99);
        uint8_t entries[256 * 3];
        for (uint8_t& e : entries) {
            e = uint8_t((rng() % 3) * 120 + rng() % 4);
        }
        table_ = ZColorTable::CreateFromMemory(entries, 256, 0);
        ASSERT_NE(table_, nullptr);
    }
    void TearDown() override { table_->Release(); }
    ZColorTable* table_ = nullptr;
};

// ---------------------------------------------------------------------------------------------------

using GraphicsCompositeModel = GraphicsCompositeTest;

TEST_F(GraphicsCompositeModel, EveryCellMatchesTheModelOnRandomPixels) {
    std::mt19937 rng(20240611);
    int32_t cells = 0;
    for (const MatrixRow& row : kMatrix) {
        for (bool fill : {false, true}) {
            for (int32_t depth : fill ? row.fill : row.copy) {
                ++cells;
                for (int16_t format : FormatsOf(depth, row.flags, fill)) {
                    bool wideAlpha = (row.flags & A) != 0 && depth >= 24;
                    for (bool targetAlpha : {false, true}) {
                        if (targetAlpha && !wideAlpha) {
                            continue;
                        }
                        for (int i = 0; i < 24; ++i) {
                            Scenario sc;
                            sc.flags = row.flags;
                            sc.depth = depth;
                            sc.format = format;
                            sc.fill = fill;
                            sc.targetAlpha = targetAlpha;
                            sc.opacity = i == 0 ? 1 : i == 1 ? 62 : 1 + int32_t(rng() % 62);
                            sc.index = uint8_t(rng());
                            for (int c = 0; c < 3; ++c) {
                                sc.key[c] = uint8_t(rng());
                                sc.color[c] = uint8_t(rng());
                            }
                            sc.table = table_;
                            CheckScenario(sc, rng);
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(cells, 80);
}

TEST(GraphicsCompositeSelector, NormalisesTheModeAndSelectsExactlyTheMatrix) {
    for (uint32_t flags = 0; flags < 32; ++flags) {
        for (int32_t depth : kAllDepths) {
            for (bool fill : {false, true}) {
                ZTransferMode mode;
                mode.flags = flags;
                mode.opacity = 30;
                EXPECT_EQ(SelectCompositor(mode, depth, DefaultFormat(depth), fill) != nullptr,
                          InMatrix(flags, depth, fill))
                    << flags << " " << depth << " " << fill;
                if ((flags & O) == 0) {
                    continue;
                }
                // Opacity 0 draws nothing; 63 draws with the routine of the flags without opacity.
                mode.opacity = 0;
                EXPECT_EQ(SelectCompositor(mode, depth, DefaultFormat(depth), fill), nullptr);
                mode.opacity = 63;
                ZTransferMode plain;
                plain.flags = flags & ~O;
                EXPECT_EQ(SelectCompositor(mode, depth, DefaultFormat(depth), fill),
                          SelectCompositor(plain, depth, DefaultFormat(depth), fill));
            }
        }
    }
    ZTransferMode mode;
    mode.flags = T;
    EXPECT_EQ(SelectCompositor(mode, 24, kFormatBGR24, false), nullptr);  // an index above 8 bits
    mode.flags = M | A;
    for (int32_t depth : kAllDepths) {
        EXPECT_EQ(SelectCompositor(mode, depth, DefaultFormat(depth), false), nullptr);
    }
}

TEST(GraphicsCompositeSelector, RatioTableFollowsItsFormula) {
    const uint16_t* ratio = GetRatioTable();
    for (int32_t s = 0; s < 64; ++s) {
        for (int32_t d = 0; d < 64; ++d) {
            ASSERT_EQ(ratio[s * 64 + d], Ratio(s, d)) << s << " " << d;
        }
    }
}

// ---------------------------------------------------------------------------------------------------
// One-pixel draws for the documented edge cases.

uint32_t DrawOne(uint32_t flags, int32_t depth, int16_t format, uint32_t source, uint32_t target,
                 uint8_t alpha, int32_t opacity = 63) {
    ZTransferMode mode;
    mode.flags = flags;
    mode.opacity = uint8_t(opacity);
    uint8_t s[4], t[4];
    std::memcpy(s, &source, 4);
    std::memcpy(t, &target, 4);
    ZCompositeCall call;
    call.source = s;
    call.target = t;
    call.sourceAlpha = &alpha;
    call.width = 1;
    call.height = 1;
    call.bytesPerPixel = BytesPerPixel(depth);
    call.depth = depth;
    call.format = format;
    call.mode = &mode;
    if (ZCompositor routine = SelectCompositor(mode, depth, format, false)) {
        routine(call);
    }
    uint32_t out = 0;
    std::memcpy(&out, t, 4);
    return out;
}

TEST(GraphicsCompositeEdges, DocumentedWeightsAndTheIgnoredByte) {
    // Weight 62 of black over white: 255 + floor(-255 * 63 / 64) = 3 in every byte.
    EXPECT_EQ(DrawOne(A, 24, kFormatBGR24, 0x000000, 0xFFFFFF, 62), 0x030303u);
    // At 15 bits weight 1 has no fifth bit: the target stays.
    EXPECT_EQ(DrawOne(A, 15, int16_t(0x8003), 0x7FFF, 0x1234, 1), 0x1234u);
    EXPECT_EQ(DrawOne(A, 16, int16_t(0x8004), 0xFFFF, 0x1234, 1), 0x1234u);
    // Weight 0 leaves the target, 63 copies the source with its ignored byte.
    EXPECT_EQ(DrawOne(A, 32, kFormatBGRX32, 0xAA112233, 0xBB445566, 0), 0xBB445566u);
    EXPECT_EQ(DrawOne(A, 32, kFormatBGRX32, 0xAA112233, 0xBB445566, 63), 0xAA112233u);
    // Blends leave 0 in the ignored byte, wherever the format keeps it.
    EXPECT_EQ(DrawOne(A, 32, kFormatBGRX32, 0xAA808080, 0xBB808080, 30) >> 24, 0u);
    EXPECT_EQ(DrawOne(A, 32, kFormatXRGB32, 0x808080AA, 0x808080BB, 30) & 0xFF, 0u);
    EXPECT_EQ(DrawOne(O, 32, kFormatRGBX32, 0xAA808080, 0xBB808080, 0, 20) >> 24, 0u);
    // Opacity 63 draws exactly like no opacity; 0 draws nothing.
    EXPECT_EQ(DrawOne(O, 32, kFormatBGRX32, 0xAA112233, 0xBB445566, 0, 63), 0xAA112233u);
    EXPECT_EQ(DrawOne(O, 32, kFormatBGRX32, 0xAA112233, 0xBB445566, 0, 0), 0xBB445566u);
    // A transparent index on a 24-bit source draws nothing.
    EXPECT_EQ(DrawOne(T, 24, kFormatBGR24, 0x000000, 0x123456, 0), 0x123456u);
}

// The packed forms (two lanes per multiplication) against the per-component formulas, over every pair
// of component values and every weight that blends.
TEST(GraphicsCompositeEdges, PackedBlendsEqualTheComponentFormulasExhaustively) {
    for (int32_t depth : {15, 16, 32}) {
        const int32_t levels = depth == 32 ? 256 : 64;
        const int32_t count = levels * levels;
        for (int16_t format : depth == 32 ? std::vector<int16_t>{kFormatBGRX32, kFormatXRGB32}
                                          : std::vector<int16_t>{DefaultFormat(depth)}) {
            std::vector<uint8_t> source(size_t(count) * 4), target(size_t(count) * 4);
            int32_t bytes = BytesPerPixel(depth);
            auto pack = [&](int32_t v, uint8_t* p) {
                if (bytes == 4) {
                    std::memset(p, v, 4);  // every lane, the ignored one too, carries v
                    return;
                }
                // 5-bit fields take the value's low bits, green all of it (up to 6 bits).
                int32_t word = depth == 16 ? (v & 31) << 11 | v << 5 | ((v * 7) & 31)
                                           : (v & 31) << 10 | (v & 31) << 5 | ((v * 7) & 31);
                p[0] = uint8_t(word);
                p[1] = uint8_t(word >> 8);
            };
            for (int32_t i = 0; i < count; ++i) {
                pack(i / levels, &source[size_t(i) * size_t(bytes)]);
                pack(i % levels, &target[size_t(i) * size_t(bytes)]);
            }
            for (int32_t w = 1; w <= 62; ++w) {
                std::vector<uint8_t> alpha(static_cast<size_t>(count), static_cast<uint8_t>(w));
                std::vector<uint8_t> out = target;
                ZTransferMode mode;
                mode.flags = A;
                ZCompositeCall call;
                call.source = source.data();
                call.target = out.data();
                call.sourceAlpha = alpha.data();
                call.width = count;
                call.height = 1;
                call.bytesPerPixel = bytes;
                call.depth = depth;
                call.format = format;
                call.mode = &mode;
                SelectCompositor(mode, depth, format, false)(call);
                Scenario sc;
                sc.flags = A;
                sc.depth = depth;
                sc.format = format;
                std::vector<uint8_t> expected = target;
                for (int32_t i = 0; i < count; ++i) {
                    size_t at = size_t(i) * size_t(bytes);
                    ReferencePixel(sc, &source[at], &expected[at], w, 0, 0);
                }
                ASSERT_EQ(out, expected) << "depth " << depth << " format " << format << " weight " << w;
            }
        }
    }
}

// Rows shorter than the distance to the next word boundary, at every alignment: nothing outside the
// rows changes.
TEST(GraphicsCompositeEdges, RowCopyStaysInsideShortRowsAtEveryAlignment) {
    ZTransferMode none;
    for (int32_t depth : kAllDepths) {
        int32_t bytes = BytesPerPixel(depth);
        for (int32_t width = 1; width <= 9; ++width) {
            for (int32_t offset = 0; offset < 4; ++offset) {
                std::vector<uint8_t> source(64), target(64, 0xEE);
                for (size_t i = 0; i < source.size(); ++i) {
                    source[i] = uint8_t(i + 1);
                }
                const int32_t stride = 24;
                ZCompositeCall call;
                call.source = source.data() + 3 - offset % 3;
                call.sourceStride = stride;
                call.target = target.data() + offset;
                call.targetStride = stride;
                call.width = width * bytes <= 16 ? width : 16 / bytes;
                call.height = 2;
                call.bytesPerPixel = bytes;
                call.depth = depth;
                call.format = DefaultFormat(depth);
                call.mode = &none;
                SelectCompositor(none, depth, call.format, false)(call);
                size_t rowBytes = size_t(call.width) * size_t(bytes);
                for (size_t i = 0; i < target.size(); ++i) {
                    size_t inRow = (i - size_t(offset)) % size_t(stride);
                    bool inside = i >= size_t(offset) && i < size_t(offset + 2 * stride) && inRow < rowBytes;
                    uint8_t want = inside ? call.source[(i - size_t(offset))] : uint8_t(0xEE);
                    ASSERT_EQ(target[i], want) << depth << " " << width << " " << offset << " " << i;
                }
            }
        }
    }
}

// At weight 0 the transparent-index palette blends still re-quantise: the target becomes the inverse
// table's index for its own colour, as the same draw at weight 1 would make it.
TEST_F(GraphicsCompositeTest, PaletteBlendsWithAnIndexRequantiseAtWeightZero) {
    const uint16_t* blend = table_->GetBlendTable();
    const uint8_t* inverse = table_->GetInverseTable();
    ASSERT_NE(blend, nullptr);
    ASSERT_NE(inverse, nullptr);
    int32_t moved = 0;
    for (uint32_t flags : {A | T, A | O | T, A}) {
        for (int32_t d = 0; d < 256; ++d) {
            ZTransferMode mode;
            mode.flags = flags;
            mode.opacity = 40;
            mode.transparentIndex = 7;
            uint8_t s = 3, t = uint8_t(d), alpha = 0;
            ZCompositeCall call;
            call.source = &s;
            call.target = &t;
            call.sourceAlpha = &alpha;
            call.width = call.height = call.bytesPerPixel = 1;
            call.depth = 8;
            call.format = kFormatIndexed8;
            call.mode = &mode;
            call.colorTable = table_;
            SelectCompositor(mode, 8, kFormatIndexed8, false)(call);
            uint8_t want = (flags & T) != 0 ? inverse[blend[63 * 256 + d]] : uint8_t(d);
            ASSERT_EQ(t, want) << flags << " " << d;
            moved += t != d ? 1 : 0;
        }
    }
    EXPECT_GT(moved, 0);  // the palette makes the rule visible
}

// ---------------------------------------------------------------------------------------------------
// Drawing offscreens end to end.

std::vector<uint8_t> PixelBytes(ZOffscreen& off, int32_t x, int32_t y) {
    int32_t n = BytesPerPixel(off.GetDepth());
    const uint8_t* p = off.RowAddress(y) + x * n;
    return std::vector<uint8_t>(p, p + n);
}

TEST_F(GraphicsCompositeTest, ColourOnlySourcesFillEveryDepth) {
    const uint8_t orange[3] = {250, 130, 20};
    for (int32_t depth : kAllDepths) {
        for (int16_t format : FormatsOf(depth, 0, true)) {
            ZOffscreen target(ZRect{0, 0, 6, 7}, depth, table_, kKindMemory, format);
            ASSERT_TRUE(target.Lock());
            target.Clear();
            ZOffscreen solid(ZRect{0, 0, 3, 4}, orange);
            ZRect to{2, 1, 5, 5};
            solid.DrawInto(target, nullptr, &to);
            Scenario sc;
            sc.depth = depth;
            sc.format = target.GetFormat();
            std::memcpy(sc.color, orange, 3);
            sc.table = table_;
            std::vector<uint8_t> want = FillBytes(sc);
            std::vector<uint8_t> zero(want.size(), 0);
            for (int32_t y = 0; y < 6; ++y) {
                for (int32_t x = 0; x < 7; ++x) {
                    bool inside = y >= 2 && y < 5 && x >= 1 && x < 5;
                    EXPECT_EQ(PixelBytes(target, x, y), inside ? want : zero)
                        << depth << " " << x << "," << y;
                }
            }
            // Fill goes through the same routines.
            target.Clear();
            ZRect part{0, 0, 1, 2};
            target.Fill(&part, orange);
            EXPECT_EQ(PixelBytes(target, 1, 0), want);
            EXPECT_EQ(PixelBytes(target, 2, 0), zero);
            target.Unlock();
        }
    }
    // Big-endian 5-5-5 words are filled in their own byte order.
    ZOffscreen bigEndian(ZRect{0, 0, 1, 2}, 15, nullptr, kKindMemory, kFormatRGB555);
    ASSERT_EQ(bigEndian.GetFormat(), kFormatRGB555);
    bigEndian.Fill(nullptr, orange);
    uint16_t code = WordOf(orange, false);
    EXPECT_EQ(PixelBytes(bigEndian, 1, 0), (std::vector<uint8_t>{uint8_t(code >> 8), uint8_t(code)}));
}

TEST_F(GraphicsCompositeTest, TransparentColourOnlySourcesDrawNothing) {
    const uint8_t green[3] = {0, 255, 0};
    ZOffscreen target(ZRect{0, 0, 2, 2}, 32);
    target.Clear();
    ZOffscreen solid(ZRect{0, 0, 2, 2}, green);
    ZTransferMode keyed;
    keyed.flags = K;
    std::memcpy(keyed.keyColor, green, 3);
    solid.SetTransferMode(keyed);  // on an 8-bit source the key becomes an index
    solid.DrawInto(target, nullptr, nullptr);
    EXPECT_EQ(PixelBytes(target, 1, 1), (std::vector<uint8_t>{0, 0, 0, 0}));

    ZTransferMode other;
    other.flags = T;
    other.transparentIndex = uint8_t(table_->FindColor(green, true) + 1);
    solid.SetTransferMode(other);
    solid.DrawInto(target, nullptr, nullptr);  // another index is transparent: the colour is drawn
    EXPECT_EQ(PixelBytes(target, 1, 1), (std::vector<uint8_t>{0, 255, 0, 0}));

    // A colour-only source with opacity 0 draws nothing either.
    target.Clear();
    ZTransferMode faded;
    faded.flags = O;
    faded.opacity = 0;
    solid.SetTransferMode(faded);
    solid.DrawInto(target, nullptr, nullptr);
    EXPECT_EQ(PixelBytes(target, 0, 0), (std::vector<uint8_t>{0, 0, 0, 0}));
}

TEST_F(GraphicsCompositeTest, FormatsMustMatchAndRectanglesClip) {
    ZOffscreen source(ZRect{0, 0, 4, 4}, 32, nullptr, kKindMemory, kFormatBGRX32);
    ZOffscreen other(ZRect{0, 0, 4, 4}, 32, nullptr, kKindMemory, kFormatRGBX32);
    ZOffscreen target(ZRect{0, 0, 4, 4}, 32, nullptr, kKindMemory, kFormatBGRX32);
    for (int32_t y = 0; y < 4; ++y) {
        for (int32_t x = 0; x < 4; ++x) {
            uint8_t* p = source.RowAddress(y) + x * 4;
            p[0] = uint8_t(y * 4 + x + 1);
        }
    }
    target.Clear();
    other.Clear();
    source.DrawInto(other, nullptr, nullptr);
    EXPECT_EQ(PixelBytes(other, 0, 0)[0], 0);
    ZRect to{-1, -2, 3, 2};
    source.DrawInto(target, nullptr, &to);  // lands at 0,0 from source offset (2, 1)
    EXPECT_EQ(PixelBytes(target, 0, 0)[0], 1 * 4 + 2 + 1);
    EXPECT_EQ(PixelBytes(target, 1, 2)[0], 3 * 4 + 3 + 1);
    EXPECT_EQ(PixelBytes(target, 2, 0)[0], 0);
    // An alpha flag without a plane draws nothing.
    ZTransferMode orphan;
    orphan.flags = A;
    source.SetTransferMode(orphan);
    target.Clear();
    source.DrawInto(target, nullptr, nullptr);
    EXPECT_EQ(PixelBytes(target, 3, 3)[0], 0);
}

TEST_F(GraphicsCompositeTest, MaskIsUsedOnlyWhenItCoversTheTargetRectangle) {
    ZOffscreen source(ZRect{0, 0, 2, 4}, 24);
    std::memset(source.RowAddress(0), 0x77, 12);
    std::memset(source.RowAddress(1), 0x77, 12);
    ZOffscreen target(ZRect{0, 0, 4, 8}, 24);
    ZMask* mask = new ZMask(uint16_t(1));
    auto* maskPixels = new ZOffscreen(ZRect{0, 0, 3, 6}, 8, table_, kKindMemory);
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 6; ++x) {
            maskPixels->RowAddress(y)[x] = uint8_t(x % 2);
        }
    }
    mask->GetPicture()->ReplaceOffscreens(maskPixels, true);
    mask->GetBlocked()[0] = 0;  // even columns let drawing through
    ZTransferMode masked;
    masked.SetMask(mask);
    source.SetTransferMode(masked);

    target.Clear();
    ZRect inside{1, 1, 3, 5};
    source.DrawInto(target, nullptr, &inside);
    for (int32_t x = 1; x < 5; ++x) {
        EXPECT_EQ(PixelBytes(target, x, 1)[0], x % 2 == 0 ? 0x77 : 0) << x;
    }
    // Lower down the mask picture ends: the mask is left out and every pixel is drawn.
    target.Clear();
    ZRect below{2, 1, 4, 5};
    source.DrawInto(target, nullptr, &below);
    for (int32_t x = 1; x < 5; ++x) {
        EXPECT_EQ(PixelBytes(target, x, 3)[0], 0x77) << x;
    }
    EXPECT_TRUE(source.GetTransferMode().Has(M));  // only that draw went without it
    mask->Release();
}

TEST_F(GraphicsCompositeTest, SourceAlphaIsUnitedIntoTheTargetAlphaFirst) {
    const int32_t n = 16;
    ZOffscreen source(ZRect{0, 0, 1, n}, 32);
    ZOffscreen target(ZRect{0, 0, 1, n}, 32);
    ZAlphaChannel* sourceAlpha = new ZAlphaChannel(ZRect{0, 0, 1, n});
    ZAlphaChannel* targetAlpha = new ZAlphaChannel(ZRect{0, 0, 1, n});
    ZAlphaChannel* expectedAlpha = new ZAlphaChannel(ZRect{0, 0, 1, n});
    std::mt19937 rng(7);
    for (int32_t x = 0; x < n; ++x) {
        sourceAlpha->GetPlane()->RowAddress(0)[x] = uint8_t(x * 4 + 1);
        targetAlpha->GetPlane()->RowAddress(0)[x] = uint8_t(rng() % 64);
        expectedAlpha->GetPlane()->RowAddress(0)[x] = targetAlpha->GetPlane()->RowAddress(0)[x];
        for (int c = 0; c < 4; ++c) {
            source.RowAddress(0)[x * 4 + c] = uint8_t(rng());
            target.RowAddress(0)[x * 4 + c] = uint8_t(rng());
        }
    }
    const int32_t opacity = 50;
    sourceAlpha->CombineInto(*expectedAlpha, nullptr, nullptr, opacity);
    std::vector<uint8_t> before(target.RowAddress(0), target.RowAddress(0) + n * 4);
    ZTransferMode mode;
    mode.SetAlphaChannel(sourceAlpha);
    mode.flags |= O;
    mode.opacity = uint8_t(opacity);
    source.SetTransferMode(mode);
    target.SetAlphaChannel(targetAlpha);
    source.DrawInto(target, nullptr, nullptr);

    Scenario sc;
    sc.flags = A | O;
    sc.depth = 32;
    sc.format = target.GetFormat();
    sc.opacity = opacity;
    sc.targetAlpha = true;
    for (int32_t x = 0; x < n; ++x) {
        uint8_t united = expectedAlpha->GetPlane()->RowAddress(0)[x];
        EXPECT_EQ(targetAlpha->GetPlane()->RowAddress(0)[x], united) << x;
        std::vector<uint8_t> want(before.begin() + x * 4, before.begin() + x * 4 + 4);
        ReferencePixel(sc, source.RowAddress(0) + x * 4, want.data(),
                       sourceAlpha->GetPlane()->RowAddress(0)[x], united, 0);
        EXPECT_EQ(PixelBytes(target, x, 0), want) << x;
    }
    sourceAlpha->Release();
    targetAlpha->Release();
    expectedAlpha->Release();
}

TEST_F(GraphicsCompositeTest, EightBitSourcesTakeTheTargetPaletteFirst) {
    // Without dithering every pixel takes its colour's nearest entry.
    int32_t method = GetPaletteDitherMethod();
    SetPaletteDitherMethod(kDitherNone);
    ZColorTable* grey = ZColorTable::CreateBuiltIn(3);
    ZOffscreen source(ZRect{0, 0, 1, 4}, 8, grey);
    ZOffscreen target(ZRect{0, 0, 1, 4}, 8, table_);
    for (int32_t x = 0; x < 4; ++x) {
        source.RowAddress(0)[x] = uint8_t(x * 60);
    }
    std::vector<int32_t> want;
    for (int32_t x = 0; x < 4; ++x) {
        want.push_back(table_->FindColor(grey->GetEntryData() + x * 60 * 3, true));
    }
    source.DrawInto(target, nullptr, nullptr);
    ZColorTable* now = source.GetColorTable();
    EXPECT_TRUE(now->Equals(table_));
    now->Release();
    for (int32_t x = 0; x < 4; ++x) {
        EXPECT_EQ(target.RowAddress(0)[x], want[size_t(x)]) << x;
        EXPECT_EQ(source.RowAddress(0)[x], want[size_t(x)]) << x;  // remapped for good
    }
    grey->Release();
    SetPaletteDitherMethod(method);
}

// With error diffusion a palette change dithers: a flat colour between entries becomes a mix of entries
// whose mean stays close to it, where the nearest entry alone would be off by far more.
TEST_F(GraphicsCompositeTest, PaletteChangesDitherWithErrorDiffusion) {
    ASSERT_EQ(GetPaletteDitherMethod(), kDitherErrorDiffusion);
    // Black, white, and light grey in every other entry.
    uint8_t entries[256 * 3];
    std::memset(entries, 200, sizeof entries);
    std::memset(entries, 0, 3);
    std::memset(entries + 255 * 3, 255, 3);
    ZColorTable* blackWhite = ZColorTable::CreateFromMemory(entries, 256, 0);
    ZColorTable* grey = ZColorTable::CreateBuiltIn(3);
    ZOffscreen pixels(ZRect{0, 0, 16, 16}, 8, grey);
    uint8_t mid[3] = {100, 100, 100};
    int32_t index = grey->FindColor(mid, true);
    const uint8_t* wanted = grey->GetEntryData() + index * 3;
    std::memset(pixels.GetPixels(), index, size_t(pixels.GetStride()) * 16);
    pixels.SetColorTable(blackWhite, true);
    double sum = 0;
    for (int32_t y = 0; y < 16; ++y) {
        for (int32_t x = 0; x < 16; ++x) {
            sum += blackWhite->GetEntryData()[pixels.RowAddress(y)[x] * 3];
        }
    }
    EXPECT_NEAR(sum / 256.0, wanted[0], 12.0);
    blackWhite->Release();
    grey->Release();
}

}  // namespace

// Every source byte, target byte and weight, in all four lanes, with the ignored byte in either place: the
// vector blend gives exactly the bytes of the plain one.
TEST(GraphicsCompositeVector, AlphaBlend32MatchesThePlainRoutineExhaustively) {
    // 260 pixels: every target byte value lies in a group of four that the vector path takes.
    constexpr int32_t kPixels = 260;
    std::vector<uint8_t> source(kPixels * 4), plain(kPixels * 4), vector(kPixels * 4), alpha(kPixels);
    for (uint32_t colourMask : {0x00FFFFFFu, 0xFFFFFF00u}) {
        for (int32_t pattern = 0; pattern < 2; ++pattern) {
            for (int32_t w = 0; w < 64; ++w) {
                for (int32_t s = 0; s < 256; ++s) {
                    for (int32_t i = 0; i < kPixels; ++i) {
                        // Each lane carries its own value so that lanes that leak into each other show.
                        const uint8_t sb[4] = {uint8_t(s), uint8_t(s ^ 0xA5), uint8_t(255 - s),
                                               uint8_t(s * 7)};
                        const uint8_t db[4] = {uint8_t(i), uint8_t(255 - i), uint8_t(i ^ 0x5A),
                                               uint8_t(i * 13)};
                        std::memcpy(&source[size_t(i) * 4], sb, 4);
                        std::memcpy(&plain[size_t(i) * 4], db, 4);
                        // The upper bits of an alpha byte are not part of the weight.
                        alpha[size_t(i)] = uint8_t(pattern == 0 ? w | (i & 0xC0) : (w + i) & 63);
                    }
                    vector = plain;
                    BlendAlphaRow32Plain(source.data(), plain.data(), alpha.data(), kPixels, colourMask);
                    BlendAlphaRow32(source.data(), vector.data(), alpha.data(), kPixels, colourMask);
                    // A row that ends inside a group of four leaves the rest to the plain code.
                    BlendAlphaRow32Plain(source.data(), plain.data(), alpha.data(), 7, colourMask);
                    BlendAlphaRow32(source.data(), vector.data(), alpha.data(), 7, colourMask);
                    ASSERT_EQ(plain, vector) << "w " << w << " s " << s << " mask " << colourMask;
                }
            }
        }
    }
}
