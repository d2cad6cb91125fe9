// The virtual screen: blits clipped to the screen, wherever the source lies.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "platform/Display.h"

namespace {

TEST(PlatformDisplay, BlitCopiesOnlyWhatLiesOnTheScreen) {
    constexpr int32_t kScreenW = 16, kScreenH = 12, kBpp = 4;
    struct Case {
        int32_t x, y, width, height;
    };
    const Case cases[] = {
        {3, 2, 5, 4},              // wholly inside
        {-2, -3, 5, 6},            // over the top-left corner
        {13, 9, 6, 5},             // over the bottom-right corner
        {16, 0, 4, 4},             // just right of the screen
        {40, 3, 4, 4},             // far right of the screen
        {0, 12, 4, 4},             // just below
        {-4, 0, 4, 4},             // just left
        {2, -9, 4, 4},             // above
        {-3, -3, 30, 20},          // larger than the screen
        {INT32_MAX - 2, 1, 8, 8},  // far right: x + width wraps in 32 bits
        {INT32_MIN, 1, 8, 8},      // far left
        {1, INT32_MAX - 1, 8, 8},  // far below
        {2, 2, 0, 5},              // empty
        {2, 2, 5, -1},             // negative height
    };
    platform::Display& display = platform::Display::Get();
    ASSERT_TRUE(display.SetMode(platform::ScreenMode{kScreenW, kScreenH, 32}));
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "at " << c.x << "," << c.y << " size " << c.width << "x" << c.height);
        std::memset(display.GetPixels(), 0, size_t(display.GetStride()) * kScreenH);
        // Every source pixel names its own position; the row padding holds a byte no pixel has.
        int32_t w = std::max(c.width, 0), h = std::max(c.height, 0);
        int32_t stride = w * kBpp + 8;
        std::vector<uint8_t> source(size_t(stride) * size_t(h) + 1, 0xEE);
        for (int32_t sy = 0; sy < h; ++sy) {
            for (int32_t sx = 0; sx < w; ++sx) {
                uint8_t* p = source.data() + sy * stride + sx * kBpp;
                p[0] = uint8_t(sx + 1);
                p[1] = uint8_t(sy + 1);
                p[2] = 0x55;
                p[3] = 0;
            }
        }
        display.Blit(c.x, c.y, source.data(), stride, c.width, c.height);
        for (int32_t y = 0; y < kScreenH; ++y) {
            for (int32_t x = 0; x < kScreenW; ++x) {
                const uint8_t* got = display.GetPixels() + y * display.GetStride() + x * kBpp;
                int64_t sx = int64_t(x) - c.x, sy = int64_t(y) - c.y;
                bool covered = sx >= 0 && sx < c.width && sy >= 0 && sy < c.height;
                uint8_t want[4] = {0, 0, 0, 0};
                if (covered) {
                    want[0] = uint8_t(sx + 1);
                    want[1] = uint8_t(sy + 1);
                    want[2] = 0x55;
                }
                ASSERT_EQ(std::memcmp(got, want, kBpp), 0) << "screen pixel " << x << "," << y;
            }
        }
    }
}

}  // namespace
