// Text on the graphic device in platform fonts: the test font's boxes, blending, opaque boxes, clipping,
// the supersampled text shapes, and FreeType's faces.
#include <gtest/gtest.h>

#include <filesystem>

#include "graphics/ZAlphaChannel.h"
#include "graphics/ZGraphicDevice.h"
#include "graphics/ZOffscreen.h"
#include "platform/CFont.h"
#include "platform/CWnd.h"
#include "platform/Display.h"
#include "platform/Font.h"

namespace {

class DeviceTextTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::UseTestFont(true); }
    void TearDown() override {
        platform::UseTestFont(false);
        platform::SetFontDirectory(nullptr);
    }

    static bool Open(CFont& font, const char* face, int32_t size) {
        return font.CreateFont(-size, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0x20, face);
    }
};

uint32_t Pixel(const ZOffscreen& o, int32_t x, int32_t y) {
    return o.ColorAt(x, y) & 0xFFFFFF;
}

bool HaveDejaVu() {
    return std::filesystem::exists("/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf");
}

TEST_F(DeviceTextTest, TestFontDrawsBoxesInTheTextColour) {
    CFont font;
    ASSERT_TRUE(Open(font, "Times", 12));
    ZOffscreen canvas(ZRect::FromSize(30, 14), 32, nullptr, kKindMemory);
    ZGraphicDevice device(canvas);
    EXPECT_EQ(device.GetAscent(font), 8);
    EXPECT_EQ(device.GetDescent(font), 2);
    EXPECT_EQ(device.MeasureText("A\tB\xE9", 4, font), 18);

    const uint8_t red[3] = {255, 0, 0};
    const uint8_t grey[3] = {64, 64, 64};
    device.SetBackgroundColor(grey);
    struct Case {
        bool transparent;
        const ZRect* clip;
    };
    const ZRect rows{4, 0, 9, 30};
    for (Case c : {Case{true, nullptr}, Case{false, nullptr}, Case{true, &rows}}) {
        canvas.Clear();
        device.DrawText("A B", 3, 1, 10, font, red, c.transparent, c.clip);
        for (int32_t y = 0; y < 14; ++y) {
            for (int32_t x = 0; x < 30; ++x) {
                bool inClip = c.clip == nullptr || (y >= 4 && y < 9);
                bool box = inClip && y >= 2 && y < 10 && ((x >= 1 && x < 6) || (x >= 13 && x < 18));
                bool line = !c.transparent && y >= 2 && y < 12 && x >= 1 && x < 19;
                ASSERT_EQ(Pixel(canvas, x, y), box    ? 0xFF0000u
                                               : line ? 0x404040u
                                                      : 0u)
                    << "transparent " << c.transparent << " at " << x << "," << y;
            }
        }
    }
    // Underline runs one row below the baseline under the whole advance, spaces included.
    CFont underlined;
    ASSERT_TRUE(underlined.CreateFont(-12, 0, 0, 0, 700, 0, 1, 0, 0, 0, 0, 0, 0, "Times"));
    canvas.Clear();
    device.DrawText("A ", 2, 1, 10, underlined, red, true, nullptr);
    for (int32_t x = 0; x < 16; ++x) {
        EXPECT_EQ(Pixel(canvas, x, 11), x >= 1 && x < 13 ? 0xFF0000u : 0u) << x;
        EXPECT_EQ(Pixel(canvas, x, 10), 0u) << x;
    }
    // Text that starts off the target is drawn where it lands on it.
    canvas.Clear();
    device.DrawText("AB", 2, -3, 20, font, red, true, nullptr);
    EXPECT_EQ(Pixel(canvas, 0, 12), 0xFF0000u);
    EXPECT_EQ(Pixel(canvas, 3, 12), 0xFF0000u);
    EXPECT_EQ(Pixel(canvas, 2, 12), 0u);
}

TEST_F(DeviceTextTest, WindowTextLandsOnItsPartOfTheScreen) {
    platform::Display& display = platform::Display::Get();
    display.Reset(platform::ScreenMode{64, 48, 32});
    CFont font;
    ASSERT_TRUE(Open(font, "Times", 12));
    // One window inside the screen, one hanging over its right edge.
    CWnd inside, over;
    ASSERT_TRUE(
        inside.CreateEx(0, "in", kStylePopup | kStyleVisible, platform::ScreenRect{10, 10, 50, 30}, 0, 1));
    ASSERT_TRUE(
        over.CreateEx(0, "over", kStylePopup | kStyleVisible, platform::ScreenRect{50, 30, 90, 48}, 0, 2));
    const uint8_t red[3] = {255, 0, 0};
    ZGraphicDevice(inside).DrawText("A", 1, 1, 10, font, red, true, nullptr);
    ZGraphicDevice(over).DrawText("AAA", 3, 1, 10, font, red, true, nullptr);
    auto screen = [&](int32_t x, int32_t y) {
        const uint8_t* p = display.GetPixels() + y * display.GetStride() + x * 4;
        return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    };
    EXPECT_EQ(screen(11, 12), 0xFF0000u);
    EXPECT_EQ(screen(15, 19), 0xFF0000u);
    EXPECT_EQ(screen(16, 19), 0u);
    EXPECT_EQ(screen(10, 12), 0u);
    EXPECT_EQ(screen(63, 39), 0xFF0000u);  // the second glyph of the window over the edge
    inside.DestroyWindow();
    over.DestroyWindow();
    display.Reset(platform::ScreenMode{});
}

TEST_F(DeviceTextTest, RenderTextAlphaAveragesTheLargerFont) {
    CFont font;
    ASSERT_TRUE(Open(font, "Arial", 12));
    ZOffscreen work(ZRect::FromSize(1, 1), 8, nullptr, kKindMemory);
    ZGraphicDevice device(work);
    for (int32_t shift : {0, 1}) {
        ZAlphaChannel* alpha = device.RenderTextAlpha("A B", 3, font, shift);
        ASSERT_NE(alpha, nullptr);
        ASSERT_EQ(alpha->GetBounds(), ZRect::FromSize(18, 10));
        for (int32_t y = 0; y < 10; ++y) {
            for (int32_t x = 0; x < 18; ++x) {
                bool box = y < 8 && (x < 5 || (x >= 12 && x < 17));
                ASSERT_EQ(alpha->GetAlphaAt(x, y), box ? 63 : 0)
                    << "shift " << shift << " at " << x << "," << y;
            }
        }
        alpha->Release();
    }
    EXPECT_EQ(device.RenderTextAlpha("A", 1, font, 4), nullptr);
    EXPECT_EQ(device.RenderTextAlpha("A", 0, font, 0), nullptr);
}

TEST_F(DeviceTextTest, FreeTypeFaces) {
    platform::UseTestFont(false);
    if (!HaveDejaVu()) {
        GTEST_SKIP() << "the DejaVu fonts are not installed";
    }
    ZOffscreen canvas(ZRect::FromSize(40, 20), 32, nullptr, kKindMemory);
    ZGraphicDevice device(canvas);
    for (const char* face : {"Times", "Courier", "Arial"}) {
        for (int32_t weight : {400, 700}) {
            CFont font;
            ASSERT_TRUE(font.CreateFont(-12, 0, 0, 0, weight, 1, 1, 0, 0, 0, 0, 0, 0, face)) << face;
            EXPECT_GT(device.GetAscent(font), 0) << face;
            EXPECT_GT(device.GetDescent(font), 0) << face;
            EXPECT_EQ(device.GetAscent(font) + device.GetDescent(font), 12) << face;
        }
    }
    CFont times;
    ASSERT_TRUE(Open(times, "Times", 12));
    EXPECT_GT(device.MeasureText("W", 1, times), device.MeasureText("i", 1, times));
    EXPECT_EQ(device.MeasureText("\r\n", 2, times), 0);

    const uint8_t white[3] = {255, 255, 255};
    device.DrawText("W\xE9", 2, 2, 14, times, white, true, nullptr);
    int32_t lit = 0, partial = 0;
    for (int32_t y = 0; y < 20; ++y) {
        for (int32_t x = 0; x < 40; ++x) {
            uint32_t p = Pixel(canvas, x, y);
            lit += p != 0;
            partial += p != 0 && p != 0xFFFFFF;
        }
    }
    EXPECT_GT(lit, 10);
    EXPECT_GT(partial, 0);  // anti-aliased edges

    // Supersampled shapes have partial values, raised above the faintest.
    ZAlphaChannel* alpha = device.RenderTextAlpha("W", 1, times, 2);
    ASSERT_NE(alpha, nullptr);
    int32_t faint = 0, middle = 0;
    for (int32_t y = 0; y < alpha->GetBounds().bottom; ++y) {
        for (int32_t x = 0; x < alpha->GetBounds().right; ++x) {
            int32_t a = alpha->GetAlphaAt(x, y);
            faint += a >= 1 && a <= 5;
            middle += a > 5 && a < 63;
        }
    }
    EXPECT_EQ(faint, 0);
    EXPECT_GT(middle, 0);
    alpha->Release();

    // Without the font files no face opens; such a font measures 0 and draws nothing.
    platform::SetFontDirectory("/nonexistent-fonts");
    CFont missing;
    EXPECT_FALSE(Open(missing, "Times", 12));
    EXPECT_EQ(device.MeasureText("W", 1, missing), 0);
    EXPECT_EQ(device.RenderTextAlpha("W", 1, missing, 1), nullptr);
}

}  // namespace
