// Sound channels over WAVE files written by SoundWriter.h: conversions between sample formats checked
// against hand-computed samples, rate changes across block boundaries, untouched pass-through to the
// end of the sound, refused encodings, and a sound played through the mixer.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "audio/ZAudioMixer.h"
#include "audio/ZSoundChannel.h"
#include "audio/ZSoundRegistry.h"
#include "audio/ZWAVESoundReader.h"
#include "platform/File.h"
#include "tests/audio/OpenedSound.h"
#include "tests/audio/SoundWriter.h"

namespace {

using namespace soundtest;
using namespace std::string_literals;

std::shared_ptr<ZSoundChannel> ChannelFor(const OpenedSound& wave) {
    return std::make_shared<ZSoundChannel>(wave.reader, std::make_unique<ZAudioNonDecoder>());
}

ZAudioEncodingFormat Format(int32_t channels, int32_t rate, int32_t bits, int32_t encoding,
                            int32_t byteOrder = kByteOrderLittleEndian) {
    ZAudioEncodingFormat format;
    format.stereo = channels == 2 ? 1 : 0;
    format.rate = rate;
    format.bits = bits;
    format.encoding = encoding;
    format.byteOrder = byteOrder;
    return format;
}

// Everything the channel renders in format, piece frames a call, until it gives nothing.
std::string RenderAll(ZSoundChannel& channel, const ZAudioEncodingFormat& format, int32_t piece) {
    std::string out;
    for (int32_t calls = 0; calls < 10000; ++calls) {
        int32_t frames = piece;
        const uint8_t* samples = channel.Render(nullptr, format, frames);
        if (samples == nullptr) {
            EXPECT_EQ(frames, 0);
            break;
        }
        EXPECT_LE(frames, piece);
        out.append(reinterpret_cast<const char*>(samples), size_t(format.FramesToBytes(frames)));
    }
    EXPECT_TRUE(channel.IsFinished());
    EXPECT_FALSE(channel.HasFailed());
    return out;
}

TEST(SoundChannel, ConvertsSampleFormats) {
    struct Case {
        const char* name;
        uint16_t channels, bits;
        std::string samples;
        ZAudioEncodingFormat wanted;
        std::string expected;
    } cases[] = {
        {"8u mono to 16s stereo", 1, 8, "\x00\x80\xFF"s, Format(2, 22050, 16, kEncodingSigned),
         "\x00\x80\x00\x80"
         "\x00\x00\x00\x00"
         "\x00\x7F\x00\x7F"s},
        {"16s stereo to 16s mono", 2, 16, Le16(1000) + Le16(uint16_t(-3000)),
         Format(1, 22050, 16, kEncodingSigned), Le16(uint16_t(-1000))},
        {"16s to big-endian", 1, 16, Le16(0x1234), Format(1, 22050, 16, kEncodingSigned, kByteOrderBigEndian),
         "\x12\x34"},
        {"16s to 8u", 1, 16, Le16(0xFFFF) + Le16(256), Format(1, 22050, 8, kEncodingUnsigned), "\x7F\x81"},
        {"16s to 16u", 1, 16, Le16(0x1234), Format(1, 22050, 16, kEncodingUnsigned), Le16(0x9234)},
        {"8u stereo to 8s mono", 2, 8, "\x10\x30", Format(1, 22050, 8, kEncodingSigned), "\xA0"},
    };
    for (const Case& c : cases) {
        OpenedSound wave(PcmWave(c.channels, 22050, c.bits, c.samples));
        ASSERT_EQ(wave.parsed, 0) << c.name;
        auto channel = ChannelFor(wave);
        EXPECT_EQ(RenderAll(*channel, c.wanted, 64), c.expected) << c.name;
    }
}

TEST(SoundChannel, ChangesRateAcrossBlocks) {
    struct Case {
        uint32_t from;
        int32_t to;
        std::string expected;
    } cases[] = {
        {11025, 22050, "aabbccddee"},
        {22050, 11025, "ace"},
        {22050, 22050, "abcde"},
        {44100, 11025, "ae"},
    };
    for (const Case& c : cases) {
        for (int32_t piece : {1, 3, 64}) {
            OpenedSound wave(PcmWave(1, c.from, 8, "abcde"));
            auto channel = ChannelFor(wave);
            EXPECT_EQ(RenderAll(*channel, Format(1, c.to, 8, kEncodingUnsigned), piece), c.expected)
                << c.from << " to " << c.to << " in pieces of " << piece;
            EXPECT_EQ(channel->GetRenderedFrames(), 5);
        }
    }
}

TEST(SoundChannel, PassesSamplesThroughUntouched) {
    const std::string samples = Ramp(400);
    OpenedSound wave(PcmWave(2, 44100, 16, samples));
    auto channel = ChannelFor(wave);
    const ZAudioEncodingFormat format = wave.reader->GetFormat();
    EXPECT_EQ(channel->GetTotalFrames(), 100);

    uint8_t block[37 * 4];
    int32_t frames = 37;
    EXPECT_EQ(channel->Render(block, format, frames), block);  // straight into the caller's block
    EXPECT_EQ(frames, 37);
    std::string out(reinterpret_cast<const char*>(block), sizeof block);
    out += RenderAll(*channel, format, 37);
    EXPECT_EQ(out, samples);
    EXPECT_EQ(channel->GetRenderedFrames(), 100);
}

TEST(SoundChannel, CreateRefusesWhatNoDecoderPlays) {
    ZSoundRegistry registry;
    RegisterStandardSound(registry);
    const char* why = "unset";

    OpenedSound adpcm(Wave({{"fmt ", ADPCMFormatBody(1, 22050)}, {"data", Ramp(256)}}));
    ASSERT_EQ(adpcm.parsed, 0);
    EXPECT_EQ(ZSoundChannel::Create(adpcm.reader, registry, &why), nullptr);
    EXPECT_STREQ(why, "ADPCM sound is not supported");

    OpenedSound pcm(PcmWave(1, 22050, 8, "abc"));
    auto channel = ZSoundChannel::Create(pcm.reader, registry, &why);
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(why, nullptr);
    EXPECT_TRUE(channel->IsPlaying());
    channel->Pause(true);
    EXPECT_FALSE(channel->IsPlaying());

    ZSoundRegistry empty;
    EXPECT_EQ(ZSoundChannel::Create(pcm.reader, empty, &why), nullptr);
    EXPECT_STREQ(why, "this sound encoding is not supported");
}

TEST(SoundChannel, PlaysThroughTheMixer) {
    // A mixer without a device mixes in the default format: 22050 Hz mono, 16-bit signed little-endian.
    const std::string samples = Ramp(300);
    OpenedSound wave(PcmWave(1, 22050, 16, samples));
    ZAudioMixer mixer(nullptr, 0);
    mixer.AddChannel(ChannelFor(wave));
    std::string played;
    for (int32_t block = 0; block < 4; ++block) {
        const uint8_t* out = mixer.Fill(nullptr, 64, false);
        ASSERT_NE(out, nullptr);
        played.append(reinterpret_cast<const char*>(out), 128);
    }
    EXPECT_EQ(played, samples + std::string(212, '\0'));  // the sound, then silence
    EXPECT_EQ(mixer.GetChannelCount(), 0);
}

}  // namespace
