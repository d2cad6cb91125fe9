// Fonts: picture fonts loaded from a container and drawn glyph by glyph, the registry, and platform
// fonts through the test font and through FreeType.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "controls/ZFont.h"
#include "controls/ZPictureFont.h"
#include "graphics/ZGraphicDevice.h"
#include "graphics/ZOffscreen.h"
#include "imaging/ZImageReader.h"
#include "platform/Font.h"
#include "tests/support/ProcessState.h"
#include "tools/itemwriter/ItemWriter.h"

namespace {

constexpr uint16_t kStripId = 2500;
constexpr int32_t kRows = 7;
constexpr int16_t kAscent = 5;
constexpr int16_t kDescent = 2;

int32_t WidthOf(int32_t c) {
    return c == 'A' ? 13 : c == 'B' ? 12 : 2 + c % 3;
}

// The strip's pattern: white where this holds, black elsewhere.
bool Lit(int32_t x, int32_t y) {
    return (x * 7 + y * 3) % 5 == 0;
}

struct Strip {
    uint8_t widths[256];
    int32_t width = 0;
};

Strip MakeWidths() {
    Strip s;
    for (int32_t c = 0; c < 256; ++c) {
        s.widths[c] = uint8_t(WidthOf(c));
        s.width += WidthOf(c);
    }
    return s;
}

std::string RixStrip(int32_t width) {
    itemwriter::RawImage image;
    image.width = int16_t(width);
    image.height = kRows;
    image.depth = 24;
    int32_t stride = itemwriter::DefaultStride(width, 24);
    image.pixels.assign(size_t(stride) * kRows, 0);
    for (int32_t y = 0; y < kRows; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            std::fill_n(&image.pixels[size_t(y * stride + x * 3)], 3, Lit(x, y) ? 255 : 0);
        }
    }
    return itemwriter::WriteRix({image});
}

std::string RaxStrip(int32_t width) {
    std::vector<uint8_t> values(size_t(width) * kRows);
    for (int32_t y = 0; y < kRows; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            values[size_t(y * width + x)] = Lit(x, y) ? 63 : 0;
        }
    }
    return itemwriter::WriteRax(int16_t(width), kRows, values);
}

uint32_t Pixel(const ZOffscreen& o, int32_t x, int32_t y) {
    return o.ColorAt(x, y) & 0xFFFFFF;
}

// A device that records where glyphs land.
class RecordingDevice : public ZGraphicDevice {
  public:
    using ZGraphicDevice::ZGraphicDevice;
    void DrawOffscreen(ZOffscreen& offscreen, const ZRect* source, const ZRect* target) override {
        drawn.push_back(*target);
        ZGraphicDevice::DrawOffscreen(offscreen, source, target);
    }
    std::vector<ZRect> drawn;
};

bool HaveDejaVu() {
    return std::filesystem::exists("/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf");
}

class FontTest : public testsupport::ProcessStateTest {
  protected:
    void SetUp() override {
        ProcessStateTest::SetUp();
        InstallImageReaders();
        ZFont::DestroyAllFonts();
        platform::UseTestFont(true);
    }
    void TearDown() override {
        ZFont::DestroyAllFonts();
        EXPECT_EQ(ZFont::GetFirstFont(), nullptr);
        platform::UseTestFont(false);
        platform::SetFontDirectory(nullptr);
        ProcessStateTest::TearDown();
    }

    // A strip of the kind given and its metrics under one id; the strip's width may differ from the
    // widths' sum.
    ZPictureFont* Load(const std::string& stripType, int32_t stripWidth, const std::string& metrics) {
        std::string strip = stripType == "RIX " ? RixStrip(stripWidth) : RaxStrip(stripWidth);
        EXPECT_TRUE(
            OpenContainer({{kStripId, stripType, "strip", strip}, {kStripId, "FONT", "font", metrics}}));
        return static_cast<ZPictureFont*>(ZFont::FindPictureFont(kStripId, 0));
    }
    ZPictureFont* Load(const std::string& stripType) {
        Strip s = MakeWidths();
        return Load(stripType, s.width, itemwriter::WriteFont(kAscent, kDescent, s.widths, "Caption", 0));
    }
};

TEST_F(FontTest, PictureFontDrawsItsGlyphsFromTheStrip) {
    const std::string caption = "Hi AB\x80\xFF";
    const ZRect clips[] = {ZRect::FromSize(64, 12), ZRect{4, 9, 9, 30}};
    for (const char* type : {"RIX ", "RAX "}) {
        for (const ZRect& clip : clips) {
            SCOPED_TRACE(std::string(type) + " clip right " + std::to_string(clip.right));
            ZFont::DestroyAllFonts();
            ZPictureFont* font = Load(type);
            ASSERT_NE(font, nullptr);
            ASSERT_TRUE(font->HasStrip());
            // The screen's format, as the back buffer has it: pictures load in that format.
            ZOffscreen canvas(ZRect::FromSize(64, 12), 0, nullptr, kKindMemory);
            {
                ZGraphicDevice device(canvas);
                const uint8_t white[3] = {255, 255, 255};
                font->DrawText(device, 3, 8, caption.c_str(), -1, &clip, white);
            }
            // The expected rendering, from the strip's pattern and the widths alone.
            std::vector<uint32_t> expected(64 * 12, 0);
            int32_t x = 3;
            for (char ch : caption) {
                int32_t c = uint8_t(ch), offset = 0;
                for (int32_t i = 0; i < c; ++i) {
                    offset += WidthOf(i);
                }
                for (int32_t col = 0; col < WidthOf(c); ++col) {
                    for (int32_t row = 0; row < kRows; ++row) {
                        int32_t px = x + col, py = 8 - kAscent + row;
                        bool inside =
                            px >= clip.left && px < clip.right && py >= clip.top && py < clip.bottom;
                        if (inside && Lit(offset + col, row)) {
                            expected[size_t(py * 64 + px)] = 0xFFFFFF;
                        }
                    }
                }
                x += WidthOf(c);
            }
            int32_t wrong = 0;
            for (int32_t y = 0; y < 12; ++y) {
                for (int32_t px = 0; px < 64; ++px) {
                    wrong += Pixel(canvas, px, y) != expected[size_t(y * 64 + px)];
                }
            }
            EXPECT_EQ(wrong, 0);
        }
    }
}

TEST_F(FontTest, LoadingGivesMetricsSizeAndOffsets) {
    ZPictureFont* font = Load("RIX ");
    ASSERT_NE(font, nullptr);
    int32_t before = 0;
    for (int32_t c = 0; c < 'A'; ++c) {
        before += WidthOf(c);
    }
    EXPECT_EQ(font->GetAscent(nullptr), kAscent);
    EXPECT_EQ(font->GetDescent(nullptr), kDescent);
    EXPECT_EQ(font->GetSize(), kRows);
    EXPECT_EQ(font->GetOffset('A'), before);
    EXPECT_TRUE(font->GetFaceName().Equals("Caption"));
    EXPECT_EQ(font->TextWidth("AB", -1), 25);
    EXPECT_EQ(font->TextWidth("AB", 1), 13);
    EXPECT_EQ(font->TextWidth("A\0B", 3), 13);
    EXPECT_EQ(ZFont::FindPictureFont(kStripId, kStripId), font);
    EXPECT_EQ(ZFont::FindPictureFont(0x10000, 0), nullptr);

    // Offsets beyond 32767 stay exact; an "RDX " item carries metrics without a name.
    uint8_t wide[256];
    std::fill_n(wide, 256, 255);
    ZFont::DestroyAllFonts();
    ASSERT_TRUE(OpenContainer({{7, "RDX ", "m", itemwriter::WriteRdx(9, 3, wide)}}));
    auto* rdx = static_cast<ZPictureFont*>(ZFont::FindPictureFont(7, 0));
    ASSERT_NE(rdx, nullptr);
    EXPECT_FALSE(rdx->HasStrip());
    EXPECT_EQ(rdx->GetOffset(255), 255 * 255);
    EXPECT_EQ(rdx->GetAscent(nullptr), 9);
}

TEST_F(FontTest, MalformedMetricsFailCleanly) {
    Strip s = MakeWidths();
    std::string good = itemwriter::WriteFont(kAscent, kDescent, s.widths, "Caption", 0);
    std::string nameTooLong = good;
    nameTooLong[516] = char(0xE8);  // 1000 bytes of name in an item of a few
    std::string nameHuge = good;
    std::fill_n(nameHuge.begin() + 516, 4, char(0xFF));
    const std::string cases[] = {good.substr(0, 100), nameTooLong, nameHuge, good.substr(0, good.size() - 1),
                                 itemwriter::WriteFont(-1, kDescent, s.widths, "Caption", 0)};
    for (const std::string& metrics : cases) {
        ZFont::DestroyAllFonts();
        ZPictureFont* font = Load("RIX ", s.width, metrics);
        ASSERT_NE(font, nullptr);
        EXPECT_FALSE(font->HasStrip());
        EXPECT_EQ(font->TextWidth("AB", -1), 0);
        ZOffscreen canvas(ZRect::FromSize(16, 16), 24, nullptr, kKindMemory);
        RecordingDevice device(canvas);
        font->DrawText(device, 0, 8, "AB", -1, nullptr, nullptr);
        EXPECT_TRUE(device.drawn.empty());
    }

    // A strip narrower than the widths: glyphs past its edge draw only what it holds.
    ZFont::DestroyAllFonts();
    int32_t offsetB = 0;
    for (int32_t c = 0; c < 'B'; ++c) {
        offsetB += WidthOf(c);
    }
    ZPictureFont* narrow = Load("RIX ", offsetB + 5, good);
    ASSERT_NE(narrow, nullptr);
    ZOffscreen canvas(ZRect::FromSize(64, 16), 24, nullptr, kKindMemory);
    RecordingDevice device(canvas);
    narrow->DrawText(device, 0, 8, "BC", -1, nullptr, nullptr);
    ASSERT_EQ(device.drawn.size(), 1u);
    EXPECT_EQ(device.drawn[0], (ZRect{3, 0, 3 + kRows, 5}));
}

TEST_F(FontTest, GlyphsAreClippedToTheClipAndTheTarget) {
    ZPictureFont* font = Load("RIX ");
    ASSERT_NE(font, nullptr);
    // "AAAA" at top 3: glyphs 13 wide and 7 rows high, on a canvas of 64 x 12.
    struct Case {
        int32_t x;
        ZRect clip;
        bool useClip;
        std::vector<ZRect> drawn;
    };
    const Case cases[] = {
        {2, ZRect{0, 0, 20, 60}, true, {{3, 2, 10, 15}, {3, 15, 10, 28}, {3, 28, 10, 41}, {3, 41, 10, 54}}},
        {2, ZRect{0, 20, 20, 30}, true, {{3, 20, 10, 28}, {3, 28, 10, 30}}},
        {2, ZRect{5, 0, 8, 60}, true, {{5, 2, 8, 15}, {5, 15, 8, 28}, {5, 28, 8, 41}, {5, 41, 8, 54}}},
        {-20, ZRect{}, false, {{3, 0, 10, 6}, {3, 6, 10, 19}, {3, 19, 10, 32}}},
        {40, ZRect{}, false, {{3, 40, 10, 53}, {3, 53, 10, 64}}},
    };
    for (const Case& c : cases) {
        ZOffscreen canvas(ZRect::FromSize(64, 12), 24, nullptr, kKindMemory);
        RecordingDevice device(canvas);
        font->DrawText(device, c.x, 3 + kAscent, "AAAA", -1, c.useClip ? &c.clip : nullptr, nullptr);
        EXPECT_EQ(device.drawn, c.drawn) << "x " << c.x << " clip " << c.clip.left << ".." << c.clip.right;
    }
}

TEST_F(FontTest, RegistrySharesEqualRequests) {
    ZFont* times = ZFont::FindFont("Times", 12, 0, nullptr, true);
    ASSERT_NE(times, nullptr);
    EXPECT_TRUE(times->IsPlatformFont());
    EXPECT_EQ(ZFont::FindFont("Times", 12, 0, nullptr, true), times);
    ZFont* bold = ZFont::FindFont("Times", 12, 1, nullptr, true);
    EXPECT_NE(bold, times);
    EXPECT_EQ(ZFont::FindFont(nullptr, 12, 0, nullptr, true), nullptr);

    ZFont* picture = ZFont::FindFont("Times", 12, 0, nullptr, false);
    ASSERT_NE(picture, nullptr);
    EXPECT_FALSE(picture->IsPlatformFont());
    EXPECT_EQ(static_cast<ZPictureFont*>(picture)->GetSourceFont(), times);
    EXPECT_EQ(ZFont::FindFont("Times", 12, 0, nullptr, false), picture);
    int32_t count = 0;
    for (ZFont* f = ZFont::GetFirstFont(); f != nullptr; f = f->GetNextFont()) {
        ++count;
    }
    EXPECT_EQ(count, 3);
    ZFont::DestroyAllFonts();
    EXPECT_EQ(ZFont::GetFirstFont(), nullptr);

    // A picture font asked for first brings its platform font along.
    ZFont* alone = ZFont::FindFont("Courier", 10, 0, nullptr, false);
    ASSERT_NE(alone, nullptr);
    EXPECT_EQ(static_cast<ZPictureFont*>(alone)->GetSourceFont(),
              ZFont::FindFont("Courier", 10, 0, nullptr, true));
}

TEST_F(FontTest, TestFontMeasuresAndDrawsBoxes) {
    ZFont* font = ZFont::FindFont("Times", 12, 0, nullptr, true);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->GetAscent(nullptr), 8);
    EXPECT_EQ(font->GetDescent(nullptr), 2);
    EXPECT_EQ(font->GetWidths(nullptr)['W'], 6);
    EXPECT_EQ(font->GetWidths(nullptr)['\n'], 0);
    EXPECT_EQ(font->TextWidth("ab\xE9", -1), 18);

    // The platform font and the picture font rasterised from it draw the same pixels.
    ZFont* picture = ZFont::FindFont("Times", 12, 0, nullptr, false);
    const uint8_t red[3] = {255, 0, 0};
    ZOffscreen a(ZRect::FromSize(30, 14), 32, nullptr, kKindMemory);
    ZOffscreen b(ZRect::FromSize(30, 14), 32, nullptr, kKindMemory);
    {
        ZGraphicDevice da(a), db(b);
        font->DrawText(da, 1, 10, "A B\xC4", -1, nullptr, red);
        picture->DrawText(db, 1, 10, "A B\xC4", -1, nullptr, red);
    }
    for (int32_t y = 0; y < 14; ++y) {
        for (int32_t x = 0; x < 30; ++x) {
            bool box = y >= 2 && y < 10 && ((x >= 1 && x < 6) || (x >= 13 && x < 18) || (x >= 19 && x < 24));
            ASSERT_EQ(Pixel(a, x, y), box ? 0xFF0000u : 0u) << x << "," << y;
            ASSERT_EQ(Pixel(b, x, y), Pixel(a, x, y)) << x << "," << y;
        }
    }
}

TEST_F(FontTest, FreeTypeFaces) {
    platform::UseTestFont(false);
    if (!HaveDejaVu()) {
        GTEST_SKIP() << "the DejaVu fonts are not installed";
    }
    ZFont* times = ZFont::FindFont("Times", 12, 0, nullptr, true);
    ASSERT_NE(times, nullptr);
    ASSERT_NE(times->GetFace(), nullptr);
    EXPECT_GT(times->GetAscent(nullptr), 0);
    EXPECT_GT(times->GetDescent(nullptr), 0);
    EXPECT_GT(times->GetWidths(nullptr)['W'], times->GetWidths(nullptr)['i']);
    EXPECT_EQ(times->GetWidths(nullptr)['\t'], 0);
    // Without the font files a font opens no face, measures 0 and draws nothing.
    ZFont::DestroyAllFonts();
    platform::SetFontDirectory("/nonexistent-fonts");
    ZFont* missing = ZFont::FindFont("Times", 12, 0, nullptr, true);
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(missing->GetFace(), nullptr);
    EXPECT_EQ(missing->TextWidth("W", -1), 0);
    ZOffscreen blank(ZRect::FromSize(8, 8), 32, nullptr, kKindMemory);
    ZGraphicDevice blankDevice(blank);
    const uint8_t white[3] = {255, 255, 255};
    missing->DrawText(blankDevice, 0, 6, "W", -1, nullptr, white);
    for (int32_t y = 0; y < 8; ++y) {
        for (int32_t x = 0; x < 8; ++x) {
            ASSERT_EQ(Pixel(blank, x, y), 0u);
        }
    }
    EXPECT_EQ(ZFont::FindFont("Times", 12, 0, nullptr, false)->TextWidth("W", -1), 0);
}

}  // namespace
