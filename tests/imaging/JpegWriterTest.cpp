// The item writer's JPEG encoder, read back by libjpeg-turbo: every option lands in the file's headers
// and the pictures come back close to what went in; refused options give an empty result, not an exit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

#include "tests/imaging/JpegTestSupport.h"
#include "tools/itemwriter/ItemWriter.h"

using namespace jpegtest;
using itemwriter::JpegOptions;
using itemwriter::JpegSampling;

namespace {

JpegOptions With(const std::function<void(JpegOptions&)>& change) {
    JpegOptions options;
    change(options);
    return options;
}

struct WriteCase {
    const char* name;
    int32_t channels;
    JpegOptions options;
    int32_t components;
    int32_t lumaH;
    int32_t lumaV;
};

}  // namespace

TEST(JpegWriter, OptionsReachTheFileAndThePictureSurvives) {
    const WriteCase cases[] = {
        {"defaults", 3, {}, 3, 2, 2},
        {"4:4:4 quality 100", 3, With([](auto& o) { o.sampling = JpegSampling::k444, o.quality = 100; }), 3,
         1, 1},
        {"4:2:2 restart 2", 3, With([](auto& o) { o.sampling = JpegSampling::k422, o.restartInterval = 2; }),
         3, 2, 1},
        {"grey", 1, {}, 1, 1, 1},
        {"grey 2x2", 1, With([](auto& o) { o.sampling = JpegSampling::kGreyTwoByTwo; }), 1, 2, 2},
        {"optimised progressive", 3, With([](auto& o) { o.optimize = o.progressive = true; }), 3, 2, 2},
        {"arithmetic", 3, With([](auto& o) { o.arithmetic = true; }), 3, 2, 2},
        {"cmyk", 3, With([](auto& o) { o.cmyk = true; }), 4, 1, 1},
        {"ids from 0", 3, With([](auto& o) { o.componentIds = std::string("\0\1\2", 3); }), 3, 2, 2},
        {"chroma table 2", 3, With([](auto& o) { o.chromaQuantTable = 2; }), 3, 2, 2},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        Picture picture = PhotoLike(37, 21, c.channels, 3);
        std::string written = itemwriter::WriteJpeg(picture.width, picture.height, picture.channels,
                                                    picture.samples.data(), c.options);
        Bytes jpeg(written.begin(), written.end());
        HeaderInfo header;
        ASSERT_TRUE(ReadHeaderInfo(jpeg, header));
        EXPECT_EQ(header.width, 37);
        EXPECT_EQ(header.height, 21);
        EXPECT_EQ(header.components, c.components);
        EXPECT_EQ(header.lumaH, c.lumaH);
        EXPECT_EQ(header.lumaV, c.lumaV);
        EXPECT_EQ(header.restartInterval, c.options.restartInterval);
        EXPECT_EQ(header.progressive, c.options.progressive);
        EXPECT_EQ(header.arithmetic, c.options.arithmetic);
        if (!c.options.componentIds.empty()) {
            EXPECT_EQ(header.ids, c.options.componentIds);
        }
        if (c.components == 3) {
            EXPECT_EQ(header.chromaQuantTable, c.options.chromaQuantTable);
        }
        // Components follow the channels in order, the last one repeated (C, M, Y, K from R, G, B, B).
        Picture decoded;
        ASSERT_TRUE(DecodeFloat(jpeg, decoded));
        ASSERT_EQ(decoded.channels, c.components);
        int64_t error = 0;
        for (int32_t i = 0; i < 37 * 21; ++i) {
            for (int32_t k = 0; k < c.components; ++k) {
                error += std::abs(decoded.samples[size_t(i * c.components + k)] -
                                  picture.samples[size_t(i * c.channels + std::min(k, c.channels - 1))]);
            }
        }
        EXPECT_LT(double(error) / (37 * 21 * c.components), 8.0);
    }
}

TEST(JpegWriter, RefusedOptionsGiveNothing) {
    Bytes samples(65535 * 3, 128);
    struct Refusal {
        const char* name;
        int32_t width;
        int32_t height;
        int32_t channels;
        const uint8_t* samples;
        JpegOptions options;
    };
    const Refusal refusals[] = {
        {"zero width", 0, 8, 3, samples.data(), {}},
        {"negative height", 8, -1, 3, samples.data(), {}},
        {"two channels", 8, 8, 2, samples.data(), {}},
        {"no samples", 8, 8, 3, nullptr, {}},
        {"two ids for three components", 8, 8, 3, samples.data(),
         With([](auto& o) { o.componentIds = "AB"; })},
        {"restart beyond 16 bits", 8, 8, 3, samples.data(), With([](auto& o) { o.restartInterval = 70000; })},
        // These reach libjpeg-turbo, whose error must come back instead of ending the process.
        {"wider than JPEG allows", 65535, 1, 3, samples.data(), {}},
        {"quantisation table 7", 8, 8, 3, samples.data(), With([](auto& o) { o.chromaQuantTable = 7; })},
        {"no quantisation table", 8, 8, 3, samples.data(), With([](auto& o) { o.chromaQuantTable = -1; })},
    };
    for (const Refusal& r : refusals) {
        EXPECT_TRUE(itemwriter::WriteJpeg(r.width, r.height, r.channels, r.samples, r.options).empty())
            << r.name;
    }
    // A refusal leaves nothing behind that spoils the next file.
    EXPECT_FALSE(itemwriter::WriteJpeg(8, 8, 3, samples.data(), {}).empty());
}
