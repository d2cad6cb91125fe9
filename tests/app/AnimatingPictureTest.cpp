// The animating picture: frame items of one container become one strip of frames, with their alphas.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/CAnimatingPicture.h"
#include "graphics/ZAlphaChannel.h"
#include "imaging/ZImageReader.h"
#include "tests/support/MediaPtr.h"
#include "tests/support/ProcessState.h"
#include "tools/itemwriter/ItemWriter.h"

namespace {

using testsupport::Item;
using PicturePtr = std::unique_ptr<CAnimatingPicture, testsupport::Releaser>;

// A frame item of one colour: red = tag, so each frame can be told in the strip.
Item Frame(uint16_t id, uint8_t tag, int16_t width = 4, int16_t height = 3) {
    itemwriter::RawImage image;
    image.width = width;
    image.height = height;
    image.depth = 32;
    image.format = 0;
    image.stride = itemwriter::DefaultStride(width, 32);
    image.pixels.assign(size_t(image.stride) * size_t(height), 0);
    for (size_t i = 0; i + 3 < image.pixels.size(); i += 4) {
        image.pixels[i + 2] = tag;
    }
    return Item{id, "RIX ", "f", itemwriter::WriteRix({image})};
}

// An alpha item of one value.
Item Alpha(uint16_t id, uint8_t value, int16_t width = 4, int16_t height = 3) {
    return Item{
        id, "RAX ", "a",
        itemwriter::WriteRax(width, height, std::vector<uint8_t>(size_t(width) * size_t(height), value))};
}

class AnimatingPictureTest : public testsupport::ProcessStateTest {
  protected:
    void SetUp() override {
        ProcessStateTest::SetUp();
        InstallImageReaders();
    }

    // The red byte of every frame's top-left pixel and the alpha there, as "tag/alpha" words; "-" for a
    // strip without alpha.
    static std::string Strip(CAnimatingPicture& picture) {
        std::string out;
        ZOffscreen* strip = picture.GetFirstOffscreen();
        const int32_t height = picture.GetBounds().Height();
        for (int32_t j = 0; strip != nullptr && j < picture.GetFrameCount(); ++j) {
            uint32_t rgb = strip->ColorAt(0, j * height);
            ZAlphaChannel* alpha = strip->GetAlphaChannel();
            out += (out.empty() ? "" : " ") + std::to_string(rgb >> 16) + "/" +
                   (alpha != nullptr ? std::to_string(alpha->GetAlphaAt(0, j * height)) : "-");
            if (alpha != nullptr) {
                alpha->Release();
            }
        }
        return out;
    }
};

}  // namespace

TEST_F(AnimatingPictureTest, FramesAndAlphasBecomeOneStrip) {
    ASSERT_TRUE(
        OpenContainer({Frame(10, 1), Frame(11, 2), Frame(12, 3, 5, 3), Frame(13, 4), Frame(14, 5),
                       Alpha(20, 10), Alpha(21, 20), Alpha(22, 30, 4, 4), Frame(65534, 7), Frame(65535, 8)}));
    const struct {
        uint16_t first, last, firstAlpha, lastAlpha;
        const char* strip;
    } kCases[] = {
        {10, 14, 0, 0, "1/- 2/- 4/- 5/-"},        // the wider frame 12 is left out, the rest move up
        {10, 11, 20, 0, "1/10 2/10"},             // one alpha for every frame
        {10, 14, 20, 21, "1/10 2/20 4/20 5/20"},  // a short alpha list repeats its last
        {10, 14, 20, 22, "1/10 2/20 4/20 5/20"},  // alpha 22 has the wrong size and is skipped
        {13, 10, 0, 0, "4/-"},                    // first after last: one frame
        {14, 16, 0, 0, "5/-"},                    // missing frames are skipped
        {65534, 65535, 0, 0, "7/- 8/-"},          // the id counter must not wrap
    };
    for (const auto& c : kCases) {
        PicturePtr picture(new CAnimatingPicture(c.first, c.last, c.firstAlpha, c.lastAlpha));
        EXPECT_EQ(Strip(*picture), c.strip) << c.first << "-" << c.last;
        const int32_t frames = int32_t(std::count(c.strip, c.strip + std::strlen(c.strip), '/'));
        EXPECT_EQ(picture->GetFrameCount(), frames);
        EXPECT_EQ(picture->GetBounds(), ZRect::FromSize(4, 3));
        EXPECT_EQ(picture->GetFullBounds(), ZRect::FromSize(4, 3 * frames));
        EXPECT_EQ(picture->IsTransparentAt(0, 0), false);
    }
}

TEST_F(AnimatingPictureTest, WithoutAFirstFrameThePictureIsEmptyAndHasNoFrames) {
    ASSERT_TRUE(OpenContainer({Frame(11, 2), Alpha(20, 10)}));
    PicturePtr picture(new CAnimatingPicture(10, 11, 20, 0));
    EXPECT_EQ(picture->GetFrameCount(), 0);
    EXPECT_EQ(picture->GetFirstOffscreen(), nullptr);
    EXPECT_TRUE(picture->GetBounds().IsEmpty());
    // Nothing to purge and load again: the strip is not an item.
    EXPECT_FALSE(picture->IsReloadable());
}
