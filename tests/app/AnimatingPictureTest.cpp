// Animating pictures: frame and alpha items of the container stacked into one strip.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CAnimatingPicture.h"
#include "imaging/ZImageReader.h"
#include "tests/support/MediaPtr.h"
#include "tests/support/ProcessState.h"
#include "tools/itemwriter/ItemWriter.h"

namespace {

using testsupport::Item;

// A "RIX " item of width x height pixels of red `red`.
Item Frame(uint16_t id, int16_t width, int16_t height, uint8_t red) {
    itemwriter::RawImage image;
    image.width = width;
    image.height = height;
    image.stride = itemwriter::DefaultStride(width, 24);
    image.pixels.assign(size_t(image.stride) * size_t(height), 0);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            image.pixels[size_t(y) * size_t(image.stride) + size_t(x) * 3 + 2] = red;
        }
    }
    return Item{id, "RIX ", "frame", itemwriter::WriteRix({image})};
}

Item Alpha(uint16_t id, int16_t width, int16_t height, uint8_t value) {
    std::vector<uint8_t> values(size_t(width) * size_t(height), value);
    return Item{id, "RAX ", "alpha", itemwriter::WriteRax(width, height, values)};
}

class AnimatingPictureTest : public testsupport::ProcessStateTest {
  protected:
    void SetUp() override {
        ProcessStateTest::SetUp();
        InstallImageReaders();
    }
};

TEST_F(AnimatingPictureTest, FramesStackIntoOneStripWithTheirAlphas) {
    // Frames 4 x 3: 102 has another size and 103 is missing; alpha 202 has another size.
    ASSERT_TRUE(
        OpenContainer({Frame(100, 4, 3, 10), Frame(101, 4, 3, 11), Frame(102, 5, 3, 12), Frame(104, 4, 3, 14),
                       Alpha(200, 4, 3, 20), Alpha(201, 4, 3, 21), Alpha(202, 5, 3, 22), Alpha(203, 4, 3, 23),
                       Alpha(204, 4, 3, 24), Frame(65534, 4, 3, 34), Frame(65535, 4, 3, 35)}));
    struct Case {
        uint16_t firstFrame, lastFrame, firstAlpha, lastAlpha;
        const char* frames;  // red of each frame, then its alpha
    };
    const Case cases[] = {
        // Later frames move up, their alphas with them (102's alpha 202 goes with it).
        {100, 104, 200, 204, "10/20 11/21 14/24"},
        // A short list of alphas repeats its last one; a wrong-sized alpha is left out.
        {100, 101, 201, 202, "10/21 11/21"},
        {100, 104, 200, 0, "10/20 11/20 14/20"},
        {100, 101, 0, 0, "10/63 11/63"},  // no alpha: opaque
        {101, 100, 200, 0, "11/20"},      // first above last: one frame
        {65534, 65535, 0, 0, "34/63 35/63"},
        {102, 104, 0, 0, "12/63"},  // the first frame sets the size
        {103, 104, 0, 0, ""},       // no first item: empty
    };
    for (const Case& test : cases) {
        testsupport::Releaser release;
        auto* picture =
            new CAnimatingPicture(test.firstFrame, test.lastFrame, test.firstAlpha, test.lastAlpha);
        std::string frames;
        ZOffscreen* strip = picture->GetFirstOffscreen();
        if (strip != nullptr) {
            int32_t height = picture->GetBounds().Height();
            EXPECT_EQ(picture->GetFullBounds().Height(), height * picture->GetFrameCount());
            for (int32_t j = 0; j < picture->GetFrameCount(); ++j) {
                int32_t y = j * height + height - 1;  // the frame's last row
                frames += (j > 0 ? " " : "") + std::to_string(strip->ColorAt(3, y) >> 16) + "/" +
                          std::to_string(strip->GetAlphaAt(3, y));
            }
        } else {
            EXPECT_TRUE(picture->GetFullBounds().IsEmpty());
            EXPECT_EQ(picture->GetFrameCount(), 0);
        }
        // Nothing to purge and load again: the strip is not an item.
        EXPECT_FALSE(picture->IsReloadable());
        EXPECT_EQ(frames, test.frames) << test.firstFrame << ".." << test.lastFrame;
        release(picture);
    }
}

}  // namespace
