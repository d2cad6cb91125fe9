// Offscreens: allocation rules per kind, depth and format; row order; byte orders; fills; clipped copies;
// the hit test.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "graphics/ZColorTable.h"
#include "graphics/ZOffscreen.h"
#include "media/ZFile.h"
#include "platform/File.h"
#include "platform/Memory.h"

namespace {

ZRect Rect(int32_t w, int32_t h) {
    return ZRect{0, 0, h, w};
}

// The bytes of one pixel of colour r, g, b in a format, written out by hand.
std::vector<uint8_t> Expected(int32_t depth, int16_t format, uint8_t r, uint8_t g, uint8_t b) {
    uint16_t w555 = uint16_t((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
    uint16_t w565 = uint16_t((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
    bool native = (format & kNativeByteOrder) != 0;
    switch (depth) {
        case 15:
        case 16: {
            uint16_t w = (format & 0x7FFF) == kFormatRGB555 ? w555 : w565;
            return native ? std::vector<uint8_t>{uint8_t(w), uint8_t(w >> 8)}
                          : std::vector<uint8_t>{uint8_t(w >> 8), uint8_t(w)};
        }
        case 24:
            return format == kFormatRGB24 ? std::vector<uint8_t>{r, g, b} : std::vector<uint8_t>{b, g, r};
        default:
            switch (format) {
                case kFormatRGBX32:
                    return {r, g, b, 0};
                case kFormatBGRX32:
                    return {b, g, r, 0};
                case kFormatXRGB32:
                    return {0, r, g, b};
                default:
                    return {0, b, g, r};
            }
    }
}

}  // namespace

TEST(GraphicsOffscreen, AllocationFollowsKindDepthAndFormatRules) {
    ZOffscreen memory24(Rect(37, 5), 24, nullptr, kKindMemory);
    ASSERT_NE(memory24.GetPixels(), nullptr);
    EXPECT_EQ(memory24.GetStride(), 112);  // 37 * 3 = 111, padded to 4
    EXPECT_FALSE(memory24.IsBottomUp());
    EXPECT_EQ(memory24.GetFormat(), kFormatBGR24);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(memory24.GetPixels()) % 32, 0u);

    ZOffscreen dib16(Rect(3, 4), 16, nullptr, kKindDIBSection);
    EXPECT_EQ(dib16.GetDepth(), 15);
    EXPECT_EQ(uint16_t(dib16.GetFormat()), 0x8003);
    EXPECT_EQ(dib16.GetStride(), 8);  // 3 * 16 bits rounded up to 32-bit words
    EXPECT_TRUE(dib16.IsBottomUp());
    EXPECT_EQ(dib16.RowAddress(0), dib16.GetPixels() + 3 * 8);  // image row 0 is the last stored row
    EXPECT_EQ(dib16.RowStep(), -8);

    // A format is accepted only when it belongs to the depth.
    EXPECT_EQ(ZOffscreen(Rect(2, 2), 15, nullptr, kKindMemory, kFormatBGR24).GetFormat(), DefaultFormat(15));
    EXPECT_EQ(ZOffscreen(Rect(2, 2), 15, nullptr, kKindMemory, kFormatRGB555).GetFormat(), kFormatRGB555);
    EXPECT_EQ(ZOffscreen(Rect(2, 2), 15, nullptr, kKindMemory, kFormatBGRX32).GetFormat(), DefaultFormat(15));
    EXPECT_EQ(ZOffscreen(Rect(2, 2), 16, nullptr, kKindMemory, kFormatRGB565).GetFormat(), DefaultFormat(16));
    EXPECT_EQ(ZOffscreen(Rect(2, 2), 24, nullptr, kKindMemory, kFormatRGB24).GetFormat(), kFormatRGB24);
    EXPECT_EQ(ZOffscreen(Rect(2, 2), 32, nullptr, kKindMemory, kFormatXBGR32).GetFormat(), kFormatXBGR32);
    EXPECT_EQ(ZOffscreen(Rect(2, 2), 8, nullptr, kKindMemory, kFormatAlpha8).GetFormat(), kFormatAlpha8);
    EXPECT_EQ(ZOffscreen(Rect(2, 2), 32, nullptr, kKindMemory, 0, 100).GetStride(), 100);  // a given stride
    EXPECT_EQ(ZOffscreen(Rect(2, 2), 32, nullptr, kKindMemory, 0, 5).GetStride(), 8);  // too short: computed

    // No pixels for sizes that are empty, absurd, or of an unknown depth; no block is leaked.
    long blocks = platform::LargeBlockCount();
    EXPECT_EQ(ZOffscreen(Rect(0, 10), 32).GetPixels(), nullptr);
    EXPECT_EQ(ZOffscreen(Rect(100000, 100000), 32).GetPixels(), nullptr);
    EXPECT_EQ(ZOffscreen(Rect(4, 4), 12).GetPixels(), nullptr);
    EXPECT_EQ(platform::LargeBlockCount(), blocks);

    uint8_t red[3] = {255, 0, 0};
    ZOffscreen colorOnly(Rect(10, 10), red);
    EXPECT_TRUE(colorOnly.IsColorOnly());
    EXPECT_FALSE(colorOnly.Lock());
    colorOnly.Unlock();
    colorOnly.Unlock();
    EXPECT_EQ(colorOnly.GetLockCount(), 0);
}

TEST(GraphicsOffscreen, FillWritesEachFormatsOwnBytes) {
    const struct {
        int32_t depth;
        int16_t format;
    } formats[] = {{15, kFormatRGB555},     {15, int16_t(kFormatRGB555 | kNativeByteOrder)},
                   {16, DefaultFormat(16)}, {24, kFormatRGB24},
                   {24, kFormatBGR24},      {32, kFormatRGBX32},
                   {32, kFormatBGRX32},     {32, kFormatXRGB32},
                   {32, kFormatXBGR32}};
    const uint8_t color[3] = {0xC8, 0x64, 0x1E};
    for (const auto& f : formats) {
        ZOffscreen off(Rect(5, 3), f.depth, nullptr, kKindMemory, f.format);
        ASSERT_EQ(off.GetFormat(), f.format);
        ZRect part{1, 1, 2, 3};
        off.Fill(&part, color);
        std::vector<uint8_t> want = Expected(f.depth, f.format, color[0], color[1], color[2]);
        size_t bpp = want.size();
        EXPECT_EQ(std::memcmp(off.RowAddress(1) + bpp, want.data(), bpp), 0) << f.format;
        EXPECT_EQ(std::memcmp(off.RowAddress(1) + 2 * bpp, want.data(), bpp), 0) << f.format;
        std::vector<uint8_t> zero(bpp, 0);
        EXPECT_EQ(std::memcmp(off.RowAddress(1), zero.data(), bpp), 0) << "left of the rectangle";
        EXPECT_EQ(std::memcmp(off.RowAddress(1) + 3 * bpp, zero.data(), bpp), 0) << "right of the rectangle";
        EXPECT_EQ(std::memcmp(off.RowAddress(0) + bpp, zero.data(), bpp), 0) << "above";
        ZRect outside{-10, -10, 100, 100};
        off.Fill(&outside, color);  // clipped, no write outside the pixels
        EXPECT_EQ(std::memcmp(off.RowAddress(2) + 4 * bpp, want.data(), bpp), 0);
    }
}

TEST(GraphicsOffscreen, ByteOrderConversionsAgreeWithFill) {
    const int16_t formats32[] = {kFormatRGBX32, kFormatBGRX32, kFormatXRGB32, kFormatXBGR32};
    const uint8_t color[3] = {10, 20, 30};
    for (int16_t from : formats32) {
        for (int16_t to : formats32) {
            ZOffscreen off(Rect(3, 2), 32, nullptr, kKindMemory, from);
            off.Fill(nullptr, color);
            off.ConvertByteOrder(to);
            EXPECT_EQ(off.GetFormat(), to);
            std::vector<uint8_t> want = Expected(32, to, 10, 20, 30);
            EXPECT_EQ(std::memcmp(off.RowAddress(1) + 8, want.data(), 4), 0) << from << " -> " << to;
        }
    }
    ZOffscreen off24(Rect(3, 2), 24, nullptr, kKindMemory, kFormatRGB24);
    off24.Fill(nullptr, color);
    off24.ConvertByteOrder(kFormatBGR24);
    EXPECT_EQ(off24.RowAddress(0)[0], 30);
    ZOffscreen off15(Rect(3, 2), 15, nullptr, kKindMemory, kFormatRGB555);  // big-endian words
    off15.Fill(nullptr, color);
    off15.ConvertByteOrder(int16_t(kFormatRGB555 | kNativeByteOrder));
    std::vector<uint8_t> want = Expected(15, int16_t(kFormatRGB555 | kNativeByteOrder), 10, 20, 30);
    EXPECT_EQ(std::memcmp(off15.RowAddress(1) + 4, want.data(), 2), 0);
}

TEST(GraphicsOffscreen, FlipRowsHandlesOddStrides) {
    ZOffscreen off(Rect(3, 3), 8, nullptr, kKindMemory, kFormatAlpha8, 5);  // stride 5: not a word multiple
    ASSERT_EQ(off.GetStride(), 5);
    for (int32_t i = 0; i < 15; ++i) {
        off.GetPixels()[i] = uint8_t(i);
    }
    off.FlipRows();
    const uint8_t want[15] = {10, 11, 12, 13, 14, 5, 6, 7, 8, 9, 0, 1, 2, 3, 4};
    EXPECT_EQ(std::memcmp(off.GetPixels(), want, 15), 0);
}

TEST(GraphicsOffscreen, CopyToClipsAgainstBothSides) {
    ZOffscreen source(Rect(10, 10), 32, nullptr, kKindMemory);
    for (int32_t y = 0; y < 10; ++y) {
        for (int32_t x = 0; x < 10; ++x) {
            uint32_t v = uint32_t(y * 16 + x);
            std::memcpy(source.RowAddress(y) + x * 4, &v, 4);
        }
    }
    ZOffscreen target(Rect(8, 8), 32, nullptr, kKindDIBSection);  // bottom-up rows on this side
    ZRect at{-3, -5, 5, 3};                                       // top -3, left -5
    ASSERT_TRUE(source.CopyTo(target, nullptr, &at));
    uint32_t v = 0;
    std::memcpy(&v, target.RowAddress(0), 4);
    EXPECT_EQ(v, uint32_t(3 * 16 + 5));  // from source offset (5, 3)
    std::memcpy(&v, target.RowAddress(4) + 2 * 4, 4);
    EXPECT_EQ(v, uint32_t(7 * 16 + 7));
    std::memcpy(&v, target.RowAddress(5), 4);
    EXPECT_EQ(v, 0u);  // below the copied rows (the target rectangle ends at 5)

    ZRect beyond{20, 20, 30, 30};
    EXPECT_FALSE(source.CopyTo(target, nullptr, &beyond));
    // Another depth goes through the converters: 32-bit B, G, R, X becomes 24-bit B, G, R.
    ZOffscreen other(Rect(4, 4), 24, nullptr, kKindMemory);
    ASSERT_TRUE(source.CopyTo(other, nullptr, nullptr));
    EXPECT_EQ(other.RowAddress(1)[2 * 3], uint8_t(1 * 16 + 2));
    // Two formats of one depth are not converted by a copy.
    ZOffscreen rgb(Rect(4, 4), 32, nullptr, kKindMemory, kFormatRGBX32);
    EXPECT_FALSE(source.CopyTo(rgb, nullptr, nullptr));
}

TEST(GraphicsOffscreen, HitTestHonoursIndexKeyAndOpacity) {
    ZColorTable* grey = ZColorTable::CreateBuiltIn(5);
    ZOffscreen indexed(Rect(4, 4), 8, grey, kKindMemory);
    indexed.RowAddress(1)[1] = 7;
    ZTransferMode mode;
    mode.flags = ZTransferMode::kTransparentIndex | ZTransferMode::kUseOpacity;
    mode.transparentIndex = 7;
    mode.opacity = 32;
    indexed.SetTransferMode(mode);
    EXPECT_EQ(indexed.GetAlphaAt(1, 1), 0);
    EXPECT_EQ(indexed.GetAlphaAt(0, 0), 32);
    EXPECT_EQ(indexed.GetAlphaAt(-1, 0), 0);
    EXPECT_EQ(indexed.GetAlphaAt(4, 0), 0);
    mode.opacity = 0;
    indexed.SetTransferMode(mode);
    EXPECT_EQ(indexed.GetAlphaAt(0, 0), 1);

    // A transparent index on 24-bit pixels becomes that entry's colour as the key.
    ZOffscreen rgb(Rect(4, 4), 24, grey, kKindMemory);
    const uint8_t seven[3] = {7, 7, 7};
    ZRect one{2, 2, 3, 3};
    rgb.Fill(&one, seven);
    mode.flags = ZTransferMode::kTransparentIndex;
    rgb.SetTransferMode(mode);
    EXPECT_TRUE(rgb.GetTransferMode().Has(ZTransferMode::kTransparentColor));
    EXPECT_EQ(rgb.GetAlphaAt(2, 2), 0);
    EXPECT_EQ(rgb.GetAlphaAt(1, 2), 63);

    // On 15-bit pixels the key is compared at 5 bits per component.
    ZOffscreen low(Rect(2, 1), 15, nullptr, kKindMemory);
    const uint8_t near[3] = {201, 99, 33};
    low.Fill(nullptr, near);
    ZTransferMode key;
    key.flags = ZTransferMode::kTransparentColor;
    key.keyColor[0] = 206;  // same top 5 bits as 201
    key.keyColor[1] = 97;
    key.keyColor[2] = 38;
    low.SetTransferMode(key);
    EXPECT_EQ(low.GetAlphaAt(0, 0), 0);
    grey->Release();
}

namespace {

// A ZFile over bytes held in memory.
struct MemoryRows {
    explicit MemoryRows(const std::vector<uint8_t>& bytes) : memory(bytes.data(), bytes.size()) {
        ZFileSpec spec(memory.GetPath().c_str());
        file.SetFileSpec(spec);
        file.Open(ZFileObject::kModeRead);
    }
    platform::MemoryFile memory;
    ZFile file;
};

}  // namespace

TEST(GraphicsOffscreen, ReadRowsConvertsRowOrderAndByteOrderAndStaysInBounds) {
    // Three pixels of R, G, B bytes per row, stride 12, stored bottom row first.
    std::vector<uint8_t> bytes;
    for (int32_t stored = 0; stored < 2; ++stored) {
        int32_t y = 1 - stored;
        for (int32_t x = 0; x < 3; ++x) {
            bytes.insert(bytes.end(), {uint8_t(10 * y + x), 100, 200});
        }
        bytes.insert(bytes.end(), 3, 0xEE);  // padding
    }
    {
        MemoryRows rows(bytes);
        ZOffscreen off(ZRect{0, 0, 2, 3}, 24, nullptr, kKindMemory);  // B, G, R
        EXPECT_EQ(off.ReadRows(rows.file, 3, 2, 12, 24, kFormatRGB24, true), 24);
        EXPECT_EQ(off.RowAddress(0)[0], 200);  // blue first now
        EXPECT_EQ(off.RowAddress(0)[2], 0);    // row 0, pixel 0: red 0
        EXPECT_EQ(off.RowAddress(1)[2 + 3 * 2], 12);
    }
    {
        // More rows and columns than the offscreen has: only what fits is kept, all bytes are consumed.
        MemoryRows rows(bytes);
        ZOffscreen small(ZRect{0, 0, 1, 2}, 24, nullptr, kKindMemory, kFormatRGB24);
        EXPECT_EQ(small.ReadRows(rows.file, 3, 2, 12, 24, kFormatRGB24, false), 24);
        EXPECT_EQ(small.RowAddress(0)[0], 10);  // top row as stored: the first row of the file
        EXPECT_EQ(rows.file.Tell(), 24);
    }
    {
        MemoryRows rows(bytes);
        ZOffscreen off(ZRect{0, 0, 2, 3}, 24, nullptr, kKindMemory);
        EXPECT_EQ(off.ReadRows(rows.file, 3, 2, 8, 24, kFormatRGB24, false), 0);  // stride shorter than a row
        EXPECT_EQ(off.ReadRows(rows.file, 3, 3, 12, 24, kFormatRGB24, false), 0);  // a row is missing
        EXPECT_EQ(off.ReadRows(rows.file, 3, 2, 12, 32, kFormatRGB24, false), 0);  // another depth
    }
    // Big-endian words become native ones.
    std::vector<uint8_t> words = {0x12, 0x34, 0xAB, 0xCD};
    MemoryRows rows(words);
    ZOffscreen off16(ZRect{0, 0, 1, 2}, 15, nullptr, kKindMemory);
    EXPECT_EQ(off16.ReadRows(rows.file, 2, 1, 4, 15, kFormatRGB555, false), 4);
    EXPECT_EQ(off16.RowAddress(0)[0], 0x34);
    EXPECT_EQ(off16.RowAddress(0)[1], 0x12);
}

TEST(GraphicsOffscreen, PlacingBlackAndWhiteKeepsEveryPixelsColour) {
    bool placement = ZColorTable::GetBlackWhitePlacement();
    ZColorTable::SetBlackWhitePlacement(false);
    const uint8_t colors[] = {200, 0, 0, 250, 250, 250, 0, 200, 0, 5, 5, 5, 255, 255, 255, 0, 0, 0};
    ZColorTable* table = ZColorTable::CreateFromMemory(colors, 6, 0);
    ZOffscreen off(ZRect{0, 0, 1, 8}, 8, table, kKindMemory);
    const uint8_t values[8] = {0, 1, 2, 3, 4, 5, 255, 7};
    std::memcpy(off.RowAddress(0), values, 8);
    std::vector<uint32_t> before;
    for (uint8_t v : values) {
        const uint8_t* c = table->GetEntryData() + v * 3;
        before.push_back(uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | c[2]);
    }
    ZColorTable::SetBlackWhitePlacement(true);
    table->Realize();
    ASSERT_TRUE(table->IsBlackWhitePlaced());
    off.RemapPlacedPalette();
    for (int32_t x = 0; x < 8; ++x) {
        const uint8_t* c = table->GetEntryData() + off.RowAddress(0)[x] * 3;
        EXPECT_EQ(uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | c[2], before[size_t(x)]) << x;
    }
    ZColorTable::SetBlackWhitePlacement(placement);
    table->Release();
}

TEST(GraphicsOffscreen, ChangingThePaletteWithConversionKeepsTheColours) {
    ZColorTable* grey = ZColorTable::CreateBuiltIn(5);
    ZColorTable* system = ZColorTable::CreateBuiltIn(0);
    ZOffscreen off(ZRect{0, 0, 1, 3}, 8, grey, kKindMemory);
    const uint8_t values[3] = {0, 128, 255};  // black, the system palette's middle grey, white
    std::memcpy(off.RowAddress(0), values, 3);
    off.SetColorTable(system, true);
    ZColorTable* now = off.GetColorTable();
    EXPECT_EQ(now, system);
    for (int32_t x = 0; x < 3; ++x) {
        const uint8_t* c = system->GetEntryData() + off.RowAddress(0)[x] * 3;
        EXPECT_EQ(c[0], values[x]);
        EXPECT_EQ(c[1], values[x]);
        EXPECT_EQ(c[2], values[x]);
    }
    now->Release();
    off.SetColorTable(system, true);  // the same table again: nothing changes
    EXPECT_EQ(system->GetRefCount(), 2);
    grey->Release();
    system->Release();
}
