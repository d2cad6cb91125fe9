// Pictures, alpha channels and the device's drawing primitives.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "graphics/ZAlphaChannel.h"
#include "graphics/ZGraphicDevice.h"
#include "graphics/ZPicture.h"
#include "media/ZMediaServer.h"
#include "platform/File.h"
#include "tests/support/ContainerBuilder.h"

namespace {

uint32_t PixelAt(const ZOffscreen& off, int32_t x, int32_t y) {
    uint32_t v = 0;
    std::memcpy(&v, off.RowAddress(y) + x * 4, 4);
    return v & 0xFFFFFF;
}

// A "RAX " item: width, height, stride header, then rows padded to 4 bytes.
std::string RaxItem(int16_t width, int16_t height, const std::vector<uint8_t>& values) {
    std::string bytes(8, '\0');
    int32_t stride = (width + 3) & ~3;
    bytes[0] = char(width & 0xFF);
    bytes[1] = char(width >> 8);
    bytes[2] = char(height & 0xFF);
    bytes[3] = char((height >> 8) & 0xFF);
    bytes[4] = char(stride);
    bytes.append(values.begin(), values.end());
    return bytes;
}

}  // namespace

TEST(GraphicsPicture, FramesDivideTheImageAndDrawShowsTheCurrentOne) {
    ZPicture* picture = new ZPicture(ZRect{0, 0, 90, 4}, 32, nullptr);
    ZOffscreen* pixels = picture->GetFirstOffscreen();
    ASSERT_NE(pixels, nullptr);
    for (int32_t y = 0; y < 90; ++y) {
        uint8_t c[3] = {0, 0, uint8_t(y)};
        ZRect row{y, 0, y + 1, 4};
        pixels->Fill(&row, c);
    }
    picture->SetFrameCount(3);
    EXPECT_EQ(picture->GetBounds().Height(), 30);
    EXPECT_EQ(picture->GetFullBounds().Height(), 90);
    picture->SetCurrentFrame(2);
    ZOffscreen target(ZRect{0, 0, 30, 4}, 32, nullptr, kKindMemory);
    {
        ZGraphicDevice device(target);
        EXPECT_EQ(picture->Draw(device, ZRect{0, 0, 30, 4}, nullptr), 0);
    }
    EXPECT_EQ(PixelAt(target, 0, 0), 60u);
    EXPECT_EQ(PixelAt(target, 3, 29), 89u);
    // A clip moves the source along with the placement.
    ZOffscreen small(ZRect{0, 0, 30, 4}, 32, nullptr, kKindMemory);
    {
        ZGraphicDevice device(small);
        ZRect clip{10, 0, 30, 4};
        picture->Draw(device, ZRect{0, 0, 30, 4}, &clip);
    }
    EXPECT_EQ(PixelAt(small, 0, 9), 0u);
    EXPECT_EQ(PixelAt(small, 0, 10), 70u);
    picture->SetFrameCount(0);  // ignored
    EXPECT_EQ(picture->GetFrameCount(), 3);
    picture->Release();
}

TEST(GraphicsPicture, SolidPicturesAndHitTests) {
    uint8_t blue[3] = {0, 0, 255};
    ZPicture* solid = new ZPicture(ZRect{5, 5, 15, 25}, blue);
    EXPECT_EQ(solid->GetBounds(), (ZRect{0, 0, 10, 20}));
    EXPECT_TRUE(solid->GetFirstOffscreen()->IsColorOnly());
    EXPECT_EQ(solid->Load(), 0);
    solid->Release();

    ZPicture* picture = new ZPicture(ZRect{0, 0, 4, 4}, 24, nullptr);
    EXPECT_FALSE(picture->HasTransferMode());
    EXPECT_FALSE(picture->IsTransparentAt(1, 1));
    ZTransferMode mode;
    mode.flags = ZTransferMode::kTransparentColor;  // key black: the cleared pixels
    picture->SetTransferMode(mode);
    EXPECT_TRUE(picture->HasTransferMode());
    EXPECT_TRUE(picture->IsTransparentAt(1, 1));
    EXPECT_TRUE(picture->IsTransparentAt(10, 10));  // outside every offscreen
    picture->Release();

    // Without an image reader for it, a picture item cannot load: the picture stays empty.
    ZPicture* missing = new ZPicture(uint16_t(1000));
    EXPECT_EQ(missing->Load(), -1);
    EXPECT_EQ(missing->GetFirstOffscreen(), nullptr);
    missing->Release();
}

TEST(GraphicsAlphaChannel, LoadsRaxItemsAndRefusesBadOnes) {
    // Width 9: rows of 12 bytes; values above 63 are cut to 6 bits.
    std::vector<uint8_t> values(12 * 2, 0);
    values[0] = 63;
    values[8] = 40;
    values[12 + 1] = 255;
    std::vector<uint8_t> container = testsupport::BuildContainer({
        {2500, "RAX ", "alpha", RaxItem(9, 2, values)},
        {2501, "RAX ", "short", RaxItem(9, 3, values)},  // rows missing
        {2502, "RAX ", "neg", RaxItem(9, -2, values)},   // negative height
        {2503, "RAX ", "zero", RaxItem(0, 2, values)},   // no width
        {2504, "TEXT", "text", "not an alpha plane"},
    });
    platform::MemoryFile file(container.data(), container.size());
    ZFileSpec spec(file.GetPath().c_str());
    ASSERT_TRUE(gMediaServer->OpenContainer(spec, false));

    ZAlphaChannel* alpha = new ZAlphaChannel(uint16_t(2500));
    ASSERT_NE(alpha->GetPlane(), nullptr);
    EXPECT_EQ(alpha->GetPlane()->GetStride(), 12);
    EXPECT_EQ(alpha->GetAlphaAt(0, 0), 63);
    EXPECT_EQ(alpha->GetAlphaAt(8, 0), 40);
    EXPECT_EQ(alpha->GetAlphaAt(1, 1), 63);  // 255 & 63
    EXPECT_EQ(alpha->GetAlphaAt(9, 0), 0);   // outside the plane (in the row padding)
    EXPECT_EQ(alpha->GetAlphaAt(-1, 0), 0);
    alpha->SetOrigin(8, 0);
    EXPECT_EQ(alpha->GetAlphaAt(0, 0), 40);
    alpha->Release();
    for (uint16_t id : {2501, 2502, 2503, 2504, 2999}) {
        ZAlphaChannel* bad = new ZAlphaChannel(id);
        EXPECT_EQ(bad->GetPlane(), nullptr) << id;
        EXPECT_EQ(bad->Load(), -1) << id;  // the failure mark stays
        bad->Release();
    }
    gMediaServer->CloseContainer();
}

TEST(GraphicsAlphaChannel, CombineIntoUnitesCoverages) {
    ZAlphaChannel* source = new ZAlphaChannel(ZRect{0, 0, 1, 64});
    for (int32_t s = 0; s < 64; ++s) {
        source->GetPlane()->RowAddress(0)[s] = uint8_t(s);
    }
    ZAlphaChannel* copy = new ZAlphaChannel(*source, nullptr);  // a cleared target at opacity 63 copies
    for (int32_t s = 0; s < 64; ++s) {
        EXPECT_EQ(copy->GetAlphaAt(s, 0), s);
    }
    ZAlphaChannel* full = new ZAlphaChannel(ZRect{0, 0, 1, 64});
    std::memset(full->GetPlane()->RowAddress(0), 63, 64);
    source->CombineInto(*full, nullptr, nullptr, 20);
    for (int32_t s = 0; s < 64; ++s) {
        EXPECT_EQ(full->GetAlphaAt(s, 0), 63);  // an opaque target stays opaque
    }
    // Half coverage united with half coverage at full opacity: 63 - 31.5 * 31.5 / 63.
    ZAlphaChannel* half = new ZAlphaChannel(ZRect{0, 0, 1, 1});
    half->GetPlane()->RowAddress(0)[0] = 32;
    ZAlphaChannel* other = new ZAlphaChannel(ZRect{0, 0, 1, 1});
    other->GetPlane()->RowAddress(0)[0] = 32;
    half->CombineInto(*other, nullptr, nullptr, 63);
    EXPECT_EQ(other->GetAlphaAt(0, 0), 63 - (31 * 31 + 31) / 63);  // 47.5 rounded to 48
    // A negative target origin moves the source along.
    ZAlphaChannel* shifted = new ZAlphaChannel(ZRect{0, 0, 1, 4});
    std::memset(shifted->GetPlane()->RowAddress(0), 0, 4);
    ZRect at{0, -10, 1, 54};
    source->CombineInto(*shifted, nullptr, &at, 63);
    EXPECT_EQ(shifted->GetAlphaAt(0, 0), 10);
    for (ZAlphaChannel* a : {source, copy, full, half, other, shifted}) {
        a->Release();
    }
}

namespace {

// The logical value of an alpha plane at (x, y): never 0 and never 63, so that neither a padding byte of
// 63 nor a missing read can pass for it.
uint8_t PlaneValue(int32_t x, int32_t y) {
    return uint8_t((x * 7 + y * 3) % 61 + 1);
}

// A plane of width x height with PlaneValue inside and 63 in every padding byte of every row.
ZAlphaChannel* PaddedPlane(int32_t width, int32_t height) {
    auto* alpha = new ZAlphaChannel(ZRect::FromSize(width, height));
    ZOffscreen* plane = alpha->GetPlane();
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = plane->RowAddress(y);
        for (int32_t x = 0; x < plane->GetStride(); ++x) {
            row[x] = x < width ? PlaneValue(x, y) : 63;
        }
    }
    return alpha;
}

struct PlaneCase {
    int32_t width, height, originX, originY;
};
// Widths with padding (9, 5) and without (8, 4: the last row ends the allocation exactly), with origins
// that move reads towards either edge.
constexpr PlaneCase kPlaneCases[] = {
    {9, 3, 0, 0}, {9, 3, 3, 1}, {9, 3, -2, -1}, {5, 2, 4, 0}, {8, 4, 0, 0}, {8, 4, 1, 1}, {4, 8, 2, 7},
};

}  // namespace

TEST(GraphicsAlphaChannel, ReadsStayInsideThePlaneWhateverItsPaddingOrOrigin) {
    for (const PlaneCase& c : kPlaneCases) {
        SCOPED_TRACE(testing::Message()
                     << c.width << "x" << c.height << " origin " << c.originX << "," << c.originY);
        ZAlphaChannel* alpha = PaddedPlane(c.width, c.height);
        ASSERT_NE(alpha->GetPlane()->GetPixels(), nullptr);
        alpha->SetOrigin(c.originX, c.originY);
        for (int32_t y = -2; y < c.height + 2; ++y) {
            for (int32_t x = -3; x < c.width + 4; ++x) {
                int32_t px = x + c.originX, py = y + c.originY;
                bool inside = px >= 0 && px < c.width && py >= 0 && py < c.height;
                ASSERT_EQ(alpha->GetAlphaAt(x, y), inside ? PlaneValue(px, py) : 0) << x << "," << y;
            }
        }

        // Through pixels of the plane's size, whose mode carries it.
        alpha->SetOrigin(0, 0);
        ZOffscreen pixels(ZRect::FromSize(c.width, c.height), 32, nullptr, kKindMemory);
        pixels.SetAlphaChannel(alpha);
        ZAlphaChannel* carried = pixels.GetAlphaChannel();  // a reference of its own
        EXPECT_EQ(carried, alpha);
        if (carried != nullptr) {
            carried->Release();
        }
        alpha->Release();  // the offscreen's reference is the one left
        for (int32_t y = -1; y < c.height + 1; ++y) {
            for (int32_t x = -1; x < c.width + 4; ++x) {
                bool inside = x >= 0 && x < c.width && y >= 0 && y < c.height;
                ASSERT_EQ(pixels.GetAlphaAt(x, y), inside ? PlaneValue(x, y) : 0) << x << "," << y;
            }
        }

        // Combining a rectangle wider and taller than the plane takes only the plane's own values.
        ZAlphaChannel* target = new ZAlphaChannel(ZRect::FromSize(c.width + 3, c.height + 2));
        ZRect beyond = ZRect::FromSize(c.width + 3, c.height + 2);
        alpha->CombineInto(*target, &beyond, &beyond, 63);
        for (int32_t y = 0; y < c.height + 2; ++y) {
            for (int32_t x = 0; x < c.width + 3; ++x) {
                bool inside = x < c.width && y < c.height;
                ASSERT_EQ(target->GetAlphaAt(x, y), inside ? PlaneValue(x, y) : 0) << x << "," << y;
            }
        }
        target->Release();
    }
}

// The compositor reads the plane a row at a time, four weights at once where it can: a draw that ends at
// the plane's right edge must blend with the edge's own weights, not with the padding after them.
TEST(GraphicsAlphaChannel, DrawsBlendWithThePlaneOnlyUpToItsEdge) {
    for (const PlaneCase& c : kPlaneCases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        ZAlphaChannel* alpha = PaddedPlane(c.width, c.height);
        ZOffscreen source(ZRect::FromSize(c.width, c.height), 32, nullptr, kKindMemory);
        source.Fill(nullptr, std::array<uint8_t, 3>{255, 255, 255}.data());
        source.SetAlphaChannel(alpha);
        alpha->Release();
        ZOffscreen target(ZRect::FromSize(c.width + 6, c.height + 2), 32, nullptr, kKindMemory);
        ASSERT_EQ(target.GetFormat(), source.GetFormat());
        // Over the target's right part, so that the row ends at the source's last column; the rest of the
        // target rectangle hangs past the source.
        ZRect from = ZRect::FromSize(c.width + 4, c.height + 2).Offset(1, 1);
        ZRect to = ZRect::FromSize(c.width + 4, c.height + 2).Offset(3, 1);
        source.DrawInto(target, &from, &to);
        for (int32_t y = 0; y < target.GetHeight(); ++y) {
            for (int32_t x = 0; x < target.GetWidth(); ++x) {
                int32_t sx = x - 3 + 1, sy = y - 1 + 1;
                uint32_t want = 0;
                if (x >= 3 && y >= 1 && sx < c.width && sy < c.height) {
                    uint32_t k = PlaneValue(sx, sy) + 1u;  // white over black at weight w: 255 (w + 1) / 64
                    uint32_t level = (255u * k) >> 6;
                    want = level << 16 | level << 8 | level;
                }
                ASSERT_EQ(PixelAt(target, x, y), want) << x << "," << y;
            }
        }
    }
}

TEST(GraphicsDevice, RectanglesFramesEllipsesLinesAndInversion) {
    ZOffscreen off(ZRect{0, 0, 20, 20}, 32, nullptr, kKindMemory);
    const uint8_t red[3] = {255, 0, 0};
    const uint8_t green[3] = {0, 255, 0};
    {
        ZGraphicDevice device(off);
        EXPECT_EQ(off.GetLockCount(), 1);
        device.FillRect(ZRect{2, 2, 10, 10}, red, green, 2, 0, 0);
        device.FillRect(ZRect{5, 5, 5, 9}, green, nullptr, 1, 0, 0);  // empty: nothing
        device.FillRect(ZRect{12, 12, 14, 14}, red, nullptr, 1, ZGraphicDevice::kModeInvert, 0);
    }
    EXPECT_EQ(off.GetLockCount(), 0);
    EXPECT_EQ(PixelAt(off, 2, 2), 0x00FF00u);  // frame
    EXPECT_EQ(PixelAt(off, 3, 5), 0x00FF00u);  // frame, 2 wide
    EXPECT_EQ(PixelAt(off, 4, 5), 0xFF0000u);  // inside
    EXPECT_EQ(PixelAt(off, 9, 9), 0x00FF00u);
    EXPECT_EQ(PixelAt(off, 10, 10), 0u);         // right and bottom are exclusive
    EXPECT_EQ(PixelAt(off, 12, 12), 0xFFFFFFu);  // black inverted

    ZOffscreen round(ZRect{0, 0, 11, 11}, 32, nullptr, kKindMemory);
    {
        ZGraphicDevice device(round);
        device.FillEllipse(ZRect{0, 0, 11, 11}, red, nullptr, 1, 0, ZGraphicDevice::kModeNone);
        device.DrawLine(ZPoint{0, 10}, ZPoint{10, 10}, green, 1);
    }
    EXPECT_EQ(PixelAt(round, 5, 5), 0xFF0000u);
    EXPECT_EQ(PixelAt(round, 5, 0), 0xFF0000u);  // top of the circle
    EXPECT_EQ(PixelAt(round, 0, 0), 0u);         // the corners stay outside
    EXPECT_EQ(PixelAt(round, 10, 0), 0u);
    EXPECT_EQ(PixelAt(round, 0, 10), 0x00FF00u);  // both ends of the line
    EXPECT_EQ(PixelAt(round, 10, 10), 0x00FF00u);
    // A diagonal line off the edge is clipped, not written outside the pixels.
    {
        ZGraphicDevice device(round);
        device.DrawLine(ZPoint{-50, -50}, ZPoint{50, 50}, green, 3);
    }
    EXPECT_EQ(PixelAt(round, 4, 4), 0x00FF00u);
}

TEST(GraphicsTransferMode, AlphaChannelsTravelWithTheModeAndAreCroppedWithCopies) {
    ZAlphaChannel* alpha = new ZAlphaChannel(ZRect{0, 0, 4, 4});
    for (int32_t y = 0; y < 4; ++y) {
        for (int32_t x = 0; x < 4; ++x) {
            alpha->GetPlane()->RowAddress(y)[x] = uint8_t(y * 4 + x);
        }
    }
    ZOffscreen pixels(ZRect{0, 0, 4, 4}, 32, nullptr, kKindDIBSection);
    ZTransferMode mode;
    mode.SetAlphaChannel(alpha);
    EXPECT_TRUE(mode.Has(ZTransferMode::kUseAlphaChannel));
    EXPECT_EQ(alpha->GetRefCount(), 2);
    mode.flags |= ZTransferMode::kUseOpacity;
    mode.opacity = 32;
    pixels.SetTransferMode(mode);
    EXPECT_EQ(alpha->GetRefCount(), 3);
    EXPECT_EQ(pixels.GetAlphaAt(3, 3), int32_t(32.0f * 15.0f * 0.015873017f));  // 7
    EXPECT_EQ(pixels.GetAlphaAt(0, 0), 0);

    // A copy of a part carries a cropped alpha channel of its own.
    ZRect part{2, 2, 4, 4};
    ZOffscreen copy(pixels, &part);
    EXPECT_EQ(copy.GetWidth(), 2);
    ZAlphaChannel* cropped = copy.GetAlphaChannel();
    ASSERT_NE(cropped, nullptr);
    EXPECT_NE(cropped, alpha);
    EXPECT_EQ(cropped->GetAlphaAt(0, 0), 10);
    EXPECT_EQ(cropped->GetAlphaAt(1, 1), 15);
    cropped->Release();

    // A channel of another size does not go with these pixels.
    ZOffscreen larger(ZRect{0, 0, 8, 8}, 32, nullptr, kKindMemory);
    larger.SetTransferMode(mode);
    EXPECT_FALSE(larger.GetTransferMode().Has(ZTransferMode::kUseAlphaChannel));
    EXPECT_EQ(larger.GetAlphaChannel(), nullptr);

    pixels.ClearTransferMode();
    EXPECT_EQ(pixels.GetTransferMode().flags, 0u);
    mode.SetAlphaChannel(nullptr);
    EXPECT_FALSE(mode.Has(ZTransferMode::kUseAlphaChannel));
    EXPECT_EQ(alpha->GetRefCount(), 1);
    alpha->Release();
}
