// Sample formats: the conversions checked against the arithmetic written out by hand, the encodings
// chosen from the sample size, and equality over every field.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "audio/ZAudioFormat.h"

namespace {

TEST(AudioFormat, Conversions) {
    struct Case {
        ZAudioFormat format;
        int32_t frameBytes;
        int64_t bytesPerSecond;
    };
    const Case cases[] = {
        {{1, 44100, 16}, 4, 176400}, {{0, 8000, 8}, 1, 8000}, {{0, 22050, 16}, 2, 44100},
        {{7, 11025, 8}, 2, 22050},  // any non-zero stereo value means two channels
        {{0, 8000, 4}, 1, 8000},    // sub-byte samples take a whole byte
    };
    for (const Case& c : cases) {
        const ZAudioFormat& f = c.format;
        SCOPED_TRACE(testing::Message() << f.stereo << " " << f.rate << " " << f.bits);
        EXPECT_EQ(f.FrameBytes(), c.frameBytes);
        EXPECT_EQ(f.BytesPerSecond(), c.bytesPerSecond);
        EXPECT_EQ(f.FramesToBytes(1000), 1000 * c.frameBytes);
        EXPECT_EQ(f.BytesToFrames(1001 * c.frameBytes - 1), 1000);
        EXPECT_EQ(f.SamplesToFrames(f.FramesToSamples(333)), 333);
        EXPECT_EQ(f.BytesToSamples(f.SamplesToBytes(333)), 333);
        EXPECT_EQ(f.MillisecondsToFrames(1000), f.rate);
        EXPECT_EQ(f.MillisecondsToBytes(1000), c.bytesPerSecond);
        EXPECT_DOUBLE_EQ(f.FramesToMilliseconds(f.rate), 1000.0);
        EXPECT_DOUBLE_EQ(f.BytesToMilliseconds(c.bytesPerSecond / 2), 500.0);
    }
    // Two hours at the highest rate do not overflow on the way.
    EXPECT_EQ(ZAudioFormat(1, 192000, 16).MillisecondsToBytes(7200000), int64_t(768000) * 7200);
    // A format with no rate or no sample size answers 0 instead of dividing by zero.
    ZAudioFormat empty(0, 0, 0);
    EXPECT_EQ(empty.BytesToFrames(100), 0);
    EXPECT_EQ(empty.BytesToSamples(100), 0);
    EXPECT_EQ(empty.FramesToMilliseconds(100), 0.0);
    EXPECT_EQ(empty.BytesToMilliseconds(100), 0.0);
}

TEST(AudioFormat, EncodingAndEquality) {
    ZAudioEncodingFormat defaults;
    EXPECT_EQ(defaults, ZAudioEncodingFormat(ZAudioFormat(0, 22050, 16)));
    EXPECT_EQ(defaults.encoding, kEncodingSigned);
    EXPECT_EQ(defaults.byteOrder, kByteOrderLittleEndian);
    EXPECT_EQ(ZAudioEncodingFormat(ZAudioFormat(0, 8000, 8)).encoding, kEncodingUnsigned);
    EXPECT_EQ(ZAudioEncodingFormat(ZAudioFormat(0, 8000, 24)).encoding, kEncodingNone);

    // Each of the six fields alone makes two formats differ.
    void (*changes[])(ZAudioEncodingFormat&) = {
        [](ZAudioEncodingFormat& f) { f.stereo = 1; },    [](ZAudioEncodingFormat& f) { f.rate = 44100; },
        [](ZAudioEncodingFormat& f) { f.bits = 8; },      [](ZAudioEncodingFormat& f) { f.encoding = 3; },
        [](ZAudioEncodingFormat& f) { f.byteOrder = 0; }, [](ZAudioEncodingFormat& f) { f.decoderKind = 8; },
    };
    for (auto change : changes) {
        ZAudioEncodingFormat other;
        change(other);
        EXPECT_FALSE(other == defaults);
    }
}

// Both refusal sequences of real output: each call takes one step, and the ladder ends at 8000 Hz mono
// 8-bit. A rate off the ladder has no step of its own.
TEST(AudioFormat, StepDownSequences) {
    struct Case {
        ZAudioFormat start;
        std::vector<std::array<int32_t, 3>> steps;  // stereo, rate, bits after each step
    };
    const Case cases[] = {
        {{1, 48000, 16},
         {{0, 48000, 16},
          {0, 48000, 8},
          {0, 44100, 8},
          {0, 32000, 8},
          {0, 24000, 8},
          {0, 22050, 8},
          {0, 16000, 8},
          {0, 11025, 8},
          {0, 8000, 8}}},
        {{1, 44100, 16},
         {{0, 44100, 16},
          {0, 44100, 8},
          {0, 32000, 8},
          {0, 24000, 8},
          {0, 22050, 8},
          {0, 16000, 8},
          {0, 11025, 8},
          {0, 8000, 8}}},
        {{0, 12345, 8}, {}},
        {{0, 8000, 8}, {}},
    };
    for (const Case& c : cases) {
        ZAudioFormat f = c.start;
        for (const auto& step : c.steps) {
            ASSERT_TRUE(f.StepDown());
            EXPECT_EQ((std::array<int32_t, 3>{f.stereo, f.rate, f.bits}), step);
        }
        EXPECT_FALSE(f.StepDown());
    }
}

TEST(AudioFormat, BlockBytes) {
    struct Case {
        ZAudioFormat format;
        int32_t bytes;
    };
    const Case cases[] = {
        {{1, 44100, 16}, 8192},  // 2048 frames, about 46 ms
        {{0, 8000, 8}, 512},     // 64 ms
        {{0, 11025, 8}, 512},       {{0, 11026, 8}, 1024},
        {{1, 48000, 16}, 10240},    {{0, 0, 16}, 0},  // no rate
        {{0, 8000, 0}, 0},                            // no sample size
        {{0, 8000, 0x7FFFFFF0}, 0},                   // a size no sample has
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.format.BlockBytes(), c.bytes) << c.format.rate << " " << c.format.bits;
    }
}

TEST(AudioFormat, Silence) {
    struct Case {
        int32_t bits, encoding, byteOrder;
        std::vector<uint8_t> expected;  // 4 bytes of silence
    };
    const Case cases[] = {
        {8, kEncodingUnsigned, kByteOrderLittleEndian, {0x80, 0x80, 0x80, 0x80}},
        {8, kEncodingSigned, kByteOrderLittleEndian, {0, 0, 0, 0}},
        {16, kEncodingUnsigned, kByteOrderLittleEndian, {0x00, 0x80, 0x00, 0x80}},
        {16, kEncodingUnsigned, kByteOrderBigEndian, {0x80, 0x00, 0x80, 0x00}},
        {16, kEncodingSigned, kByteOrderBigEndian, {0, 0, 0, 0}},
        {24, kEncodingSigned, kByteOrderLittleEndian, {0x55, 0x55, 0x55, 0x55}},  // left alone
    };
    for (const Case& c : cases) {
        ZAudioEncodingFormat f;
        f.bits = c.bits;
        f.encoding = c.encoding;
        f.byteOrder = c.byteOrder;
        std::vector<uint8_t> data(4, 0x55);
        FillSilence(data.data(), int64_t(data.size()), f);
        EXPECT_EQ(data, c.expected) << c.bits << " " << c.encoding << " " << c.byteOrder;
    }
}

}  // namespace
