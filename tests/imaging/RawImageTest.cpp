// "RIX " frame images and "RCX " colour tables through the readers, and pictures, masks and alpha planes
// loaded through the installed reader table.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "graphics/ZAlphaChannel.h"
#include "graphics/ZMask.h"
#include "graphics/ZPicture.h"
#include "imaging/ZColorTableReader.h"
#include "imaging/ZRawImageReader.h"
#include "platform/Display.h"
#include "tests/support/MediaPtr.h"
#include "tests/support/ProcessState.h"
#include "tools/itemwriter/ItemWriter.h"

namespace {

using itemwriter::RawImage;
using testsupport::Item;

// A 24-bit image whose pixel (x, y) is B = x, G = y, R = seed, in rows of stride bytes.
RawImage Image24(int16_t width, int16_t height, uint8_t seed, int32_t stride = 0) {
    RawImage image;
    image.width = width;
    image.height = height;
    image.stride = stride != 0 ? stride : itemwriter::DefaultStride(width, 24);
    image.pixels.assign(size_t(image.stride) * size_t(height), 0xEE);  // padding that must not show
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* p = &image.pixels[size_t(y) * size_t(image.stride) + size_t(x) * 3];
            p[0] = uint8_t(x);
            p[1] = uint8_t(y);
            p[2] = seed;
        }
    }
    return image;
}

// The pixel at (x, y) of a 24- or 32-bit offscreen as B, G, R.
struct Bgr {
    int32_t b, g, r;
    bool operator==(const Bgr&) const = default;
};
Bgr PixelAt(const ZOffscreen& off, int32_t x, int32_t y) {
    const uint8_t* p = off.RowAddress(y) + x * (off.GetDepth() / 8);
    return Bgr{p[0], p[1], p[2]};
}

class ImagingRaw : public testsupport::ProcessStateTest {
  protected:
    void SetUp() override {
        ProcessStateTest::SetUp();
        InstallImageReaders();
    }

    // Decodes the item with id 100 of the container through a raw reader at its own depth.
    int32_t Decode(const std::string& rix, std::unique_ptr<ZOffscreen>& out, int32_t index = 0,
                   int32_t flags = 7, std::vector<Item> more = {}) {
        more.insert(more.begin(), Item{100, "RIX ", "image", rix});
        if (!OpenContainer(more)) {
            return -99;
        }
        ZTypeCode type = kTypeRix;
        if (!gMediaServer->OpenItem(100, file_, type)) {
            return -98;
        }
        reader_ = std::make_unique<ZRawImageReader>(&file_);
        out.reset(reader_->CreateOffscreen(flags, index, -1));
        return out != nullptr ? 0 : -1;
    }

    ZFile file_;
    std::unique_ptr<ZRawImageReader> reader_;
};

TEST_F(ImagingRaw, HeadersThatCannotBeReadFail) {
    std::string good = itemwriter::WriteRix({Image24(2, 2, 0)});
    std::string zeroCount = good;
    zeroCount[0] = zeroCount[1] = 0;
    std::string threeNamed = good;
    threeNamed[0] = 3;  // only one header follows, then pixels
    std::string cut = good.substr(0, 57);
    for (const std::string& bytes : {zeroCount, cut}) {
        std::unique_ptr<ZOffscreen> out;
        EXPECT_NE(Decode(bytes, out), 0);
        EXPECT_NE(reader_->GetError(), nullptr);
    }
    std::unique_ptr<ZOffscreen> out;
    EXPECT_EQ(Decode(good, out), 0);
    // Three headers' worth of bytes exist (the pixels), but the images they describe are garbage.
    EXPECT_EQ(Decode(threeNamed.substr(0, 100), out), -1);
}

TEST_F(ImagingRaw, RowsUseTheStrideOfTheStoredSizeAndEitherOrder) {
    struct Case {
        int32_t stride;
        bool bottomUp;
    };
    for (Case c : {Case{28, false}, Case{27, false}, Case{28, true}, Case{40, true}}) {
        RawImage image = Image24(9, 9, 7, c.stride);
        image.bottomUp = c.bottomUp;
        std::unique_ptr<ZOffscreen> out;
        ASSERT_EQ(Decode(itemwriter::WriteRix({image}), out), 0) << c.stride;
        ASSERT_EQ(out->GetRect(), (ZRect{0, 0, 9, 9}));
        for (int32_t y : {0, 4, 8}) {
            for (int32_t x : {0, 8}) {
                EXPECT_EQ(PixelAt(*out, x, y), (Bgr{x, y, 7})) << c.stride << " " << x << "," << y;
            }
        }
    }
}

TEST_F(ImagingRaw, TransferModeComesFromTheHeader) {
    struct Case {
        uint8_t flags;
        uint8_t opacity;
        uint32_t wantFlags;
        int32_t wantOpacity;
    };
    const Case cases[] = {
        {0x04, 63, 0, 63},
        {0x04, 40, ZTransferMode::kUseOpacity, 40},
        {0x02, 63, ZTransferMode::kTransparentColor, 63},
        {0x06, 10, ZTransferMode::kTransparentColor | ZTransferMode::kUseOpacity, 10},
    };
    for (const Case& c : cases) {
        RawImage image = Image24(3, 3, 0);
        image.transferFlags = c.flags;
        image.opacity = c.opacity;
        image.keyColor[0] = 9;
        std::unique_ptr<ZOffscreen> out;
        ASSERT_EQ(Decode(itemwriter::WriteRix({image}), out), 0);
        EXPECT_EQ(out->GetTransferMode().flags, c.wantFlags) << int(c.flags);
        EXPECT_EQ(out->GetOpacity(), c.wantOpacity);
        if ((c.wantFlags & ZTransferMode::kTransparentColor) != 0) {
            EXPECT_EQ(out->GetTransferMode().keyColor[0], 9);
        }
    }
}

// bytes with the little-endian value of width bytes put at at.
std::string Patch(std::string bytes, size_t at, int32_t value, size_t width) {
    for (size_t i = 0; i < width; ++i) {
        bytes.replace(at + i, 1, 1, char((value >> (8 * i)) & 0xFF));
    }
    return bytes;
}

TEST_F(ImagingRaw, ImagesThatDoNotFitTheItemAreRefused) {
    std::string good = itemwriter::WriteRix({Image24(4, 4, 0)});  // 58 header bytes, 48 pixel bytes
    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {
        {"pixels past the end", Patch(good, 18, int32_t(good.size()) - 10, 4)},
        {"pixel offset negative", Patch(good, 18, -4, 4)},
        {"stride shorter than a row", Patch(good, 14, 4 * 11, 4)},
        {"pixel size past the end", Patch(good, 14, 4 * 4000, 4)},
        {"depth 12", Patch(good, 12, 12, 2)},
        {"format of another depth", Patch(good, 54, kFormatBGRX32, 2)},
        {"width 0", Patch(good, 2, 0, 2)},
        {"height 0", Patch(good, 4, 0, 2)},
        {"colour table outside", Patch(Patch(good, 38, 100, 4), 42, 60, 4)},
        {"cut short", good.substr(0, good.size() - 1)},
    };
    for (const Case& c : cases) {
        std::unique_ptr<ZOffscreen> out;
        EXPECT_EQ(Decode(c.bytes, out), -1) << c.what;
    }
}

TEST_F(ImagingRaw, ImagesNamingOnePlaneShareIt) {
    RawImage a = Image24(4, 2, 1);
    RawImage b = Image24(4, 2, 2);
    b.y = 2;
    a.alphaId = b.alphaId = 300;
    std::vector<Item> planes{
        Item{300, "RAX ", "plane", itemwriter::WriteRax(4, 2, std::vector<uint8_t>(8, 33))}};
    for (int32_t index : {kImageAllChained, kImageComposed}) {
        std::unique_ptr<ZOffscreen> out;
        ASSERT_EQ(Decode(itemwriter::WriteRix({a, b}), out, index, 7, planes), 0);
        ZAlphaChannel* first = out->GetAlphaChannel();
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->GetAlphaAt(3, 1), 33);
        if (index == kImageAllChained) {
            auto* second = static_cast<ZOffscreen*>(out->next);
            ASSERT_NE(second, nullptr);
            ZAlphaChannel* other = second->GetAlphaChannel();
            EXPECT_EQ(other, first);
            other->Release();
            EXPECT_EQ(second->GetPosition().y, 2);
            EXPECT_EQ(PixelAt(*second, 1, 1), (Bgr{1, 1, 2}));
            DeleteOffscreenChain(static_cast<ZOffscreen*>(out->next));
            out->next = nullptr;
        } else {
            EXPECT_EQ(out->GetRect(), (ZRect{0, 0, 4, 4}));
            EXPECT_EQ(PixelAt(*out, 1, 3), (Bgr{1, 1, 2}));
        }
        first->Release();
    }
}

TEST_F(ImagingRaw, EmbeddedPlanesAreReadOnlyWhenTheyFillThePlaneExactly) {
    for (size_t bytes : {size_t(8) * 3, size_t(8) * 3 - 1, size_t(5) * 3}) {
        RawImage image = Image24(5, 3, 0);
        image.alpha.assign(bytes, 21);
        std::unique_ptr<ZOffscreen> out;
        ASSERT_EQ(Decode(itemwriter::WriteRix({image}), out), 0);
        ZAlphaChannel* alpha = out->GetAlphaChannel();
        EXPECT_EQ(alpha != nullptr, bytes == 24) << bytes;
        if (alpha != nullptr) {
            EXPECT_EQ(alpha->GetAlphaAt(4, 2), 21);
            alpha->Release();
        }
    }
}

// A composed decode places each visible image relative to the corner of the images' union, bottom-up
// ones included.
TEST_F(ImagingRaw, ComposedImagesLandAtTheirPlacesInTheUnion) {
    RawImage a = Image24(2, 2, 1);
    a.x = 10;
    a.y = 20;
    RawImage b = Image24(3, 2, 2);
    b.x = 13;
    b.y = 21;
    b.bottomUp = true;
    RawImage hidden = Image24(2, 2, 3);
    hidden.x = 0;
    hidden.visible = false;
    std::unique_ptr<ZOffscreen> out;
    ASSERT_EQ(Decode(itemwriter::WriteRix({a, b, hidden}), out, kImageComposed), 0);
    EXPECT_EQ(out->GetRect(), (ZRect{0, 0, 3, 6}));
    EXPECT_EQ(out->GetPosition().x, 10);
    EXPECT_EQ(out->GetPosition().y, 20);
    EXPECT_EQ(PixelAt(*out, 1, 1), (Bgr{1, 1, 1}));
    EXPECT_EQ(PixelAt(*out, 3, 1), (Bgr{0, 0, 2}));
    EXPECT_EQ(PixelAt(*out, 5, 2), (Bgr{2, 1, 2}));
}

TEST_F(ImagingRaw, OtherDepthsConvertThroughATemporary) {
    RawImage image = Image24(6, 4, 200);
    for (int32_t depth : {32, 16, 15, 8}) {
        ZForcedDepth forced(depth);
        std::unique_ptr<ZOffscreen> out;
        ASSERT_EQ(Decode(itemwriter::WriteRix({image}), out), 0) << depth;
        EXPECT_EQ(out->GetDepth(), depth);
        EXPECT_EQ(out->GetRect(), (ZRect{0, 0, 4, 6}));
        if (depth == 32) {
            EXPECT_EQ(PixelAt(*out, 5, 3), (Bgr{5, 3, 200}));
        }
        if (depth == 16) {
            // Ordered dither moves single pixels; the mean stays.
            double red = 0;
            for (int32_t y = 0; y < 4; ++y) {
                for (int32_t x = 0; x < 4; ++x) {
                    uint16_t w = 0;
                    std::memcpy(&w, out->RowAddress(y) + 2 * x, 2);
                    red += w >> 11;
                }
            }
            EXPECT_NEAR(red / 16, 200 / 8.0, 0.5);
        }
    }
}

TEST_F(ImagingRaw, PicturesMasksAndPlanesLoadThroughTheReaderTable) {
    RawImage strip = Image24(4, 9, 50);
    strip.frameCount = 3;
    RawImage grey;
    grey.width = 4;
    grey.height = 2;
    grey.depth = 8;
    grey.format = kFormatIndexed8;
    grey.pixels = {0, 4, 8, 252, 0, 0, 0, 0};
    grey.stride = 4;
    ASSERT_TRUE(OpenContainer({Item{10, "RIX ", "strip", itemwriter::WriteRix({strip})},
                               Item{11, "RIX ", "grey", itemwriter::WriteRix({grey})}}));
    ZPicture* picture = new ZPicture(uint16_t(10));
    ASSERT_NE(picture->GetFirstOffscreen(), nullptr);
    EXPECT_EQ(picture->GetFullBounds(), (ZRect{0, 0, 9, 4}));
    EXPECT_EQ(picture->GetFrameCount(), 3);
    EXPECT_EQ(picture->GetBounds().Height(), 3);
    picture->Release();
    // A missing item fails, and stays failed until unloaded.
    picture = new ZPicture(uint16_t(99));
    EXPECT_EQ(picture->GetFirstOffscreen(), nullptr);
    EXPECT_EQ(picture->Load(), -1);
    picture->Release();

    ZMask* mask = new ZMask(11);
    ASSERT_NE(mask->GetPicture()->GetFirstOffscreen(), nullptr);
    EXPECT_EQ(mask->GetPicture()->GetFirstOffscreen()->RowAddress(0)[3], 252);
    mask->Release();
    EXPECT_EQ(gForcedDepth, -1);

    ZAlphaChannel* alpha = new ZAlphaChannel(uint16_t(11));
    EXPECT_EQ(alpha->GetAlphaAt(1, 0), 1);
    EXPECT_EQ(alpha->GetAlphaAt(3, 0), 63);
    alpha->Release();
}

TEST_F(ImagingRaw, ColourTablesReadThroughTheirReader) {
    uint8_t rgb[16 * 3];
    for (int32_t i = 0; i < 48; ++i) {
        rgb[i] = uint8_t(i * 5);
    }
    struct Case {
        std::string bytes;
        int32_t result;
        int32_t count;
    };
    std::string tooMany = itemwriter::WriteRcx(rgb, 16);
    tooMany[0] = char(1);
    tooMany[1] = char(1);  // 257
    const Case cases[] = {
        {itemwriter::WriteRcx(rgb, 16), 0, 16},
        {tooMany, -1, 0},
        {itemwriter::WriteRcx(rgb, 16).substr(0, 20), -1, 0},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(OpenContainer({Item{5, "RCX ", "table", c.bytes}}));
        ZFile file;
        ZTypeCode type = kTypeRcx;
        ASSERT_TRUE(gMediaServer->OpenItem(5, file, type));
        std::unique_ptr<ZColorTableReader> reader(CreateColorTableReader(&file, type));
        ASSERT_NE(reader, nullptr);
        testsupport::TablePtr table(new ZColorTable());
        EXPECT_EQ(reader->Read(*table, kReadEntries | kReadInverseTable | kReadBlendTable), c.result);
        EXPECT_EQ(table->GetCount(), c.count);
        EXPECT_FALSE(table->HasInverseTable());
    }
    ZFile file;
    EXPECT_EQ(CreateColorTableReader(&file, kTypeRix), nullptr);
}

}  // namespace

// Pictures take the screen's format, so they can be blended into a back buffer of that format whatever
// depth the item was stored at; the item's alpha plane comes along.
TEST_F(ImagingRaw, PicturesLoadInTheScreensFormatWithTheirAlpha) {
    RawImage image = Image24(4, 2, 200);
    image.alphaId = 300;
    ASSERT_TRUE(
        OpenContainer({Item{10, "RIX ", "image", itemwriter::WriteRix({image})},
                       Item{300, "RAX ", "plane", itemwriter::WriteRax(4, 2, std::vector<uint8_t>(8, 63))}}));
    for (int32_t depth : {32, 24, 16}) {
        SCOPED_TRACE(depth);
        platform::Display::Get().Reset(platform::ScreenMode{800, 600, depth});
        ZPicture* picture = new ZPicture(uint16_t(10));
        ZOffscreen* pixels = picture->GetFirstOffscreen();
        ASSERT_NE(pixels, nullptr);
        EXPECT_EQ(pixels->GetDepth(), depth == 16 ? 15 : depth);
        ZAlphaChannel* alpha = pixels->GetAlphaChannel();
        ASSERT_NE(alpha, nullptr);
        alpha->Release();
        // Drawn through its alpha into an offscreen of the screen's format, the picture shows.
        ZOffscreen screen(ZRect::FromSize(4, 2), 0, nullptr, kKindMemory);
        screen.Fill(nullptr, nullptr);
        pixels->DrawInto(screen, nullptr, nullptr);
        uint32_t red = (screen.ColorAt(3, 1) >> 16) & 0xFF;
        EXPECT_GE(red, 192u);
        picture->Release();
    }
}
