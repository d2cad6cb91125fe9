// The WAVE and raw readers on files written by SoundWriter.h: accepted and refused headers (damaged chunk
// sizes included), reads in whole frames to the end of the data, the registries and the pass-through
// decoder.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "audio/ZRawSoundReader.h"
#include "audio/ZSoundRegistry.h"
#include "audio/ZWAVESoundReader.h"
#include "platform/File.h"
#include "tests/audio/OpenedSound.h"
#include "tests/audio/SoundWriter.h"

namespace {

using namespace soundtest;

// The data a reader hands out, read in pieces of count bytes until it gives nothing.
std::string ReadAll(ZSoundReader& reader, int32_t piece) {
    std::string out;
    for (;;) {
        int32_t count = piece;
        bool error = true;
        const uint8_t* bytes = reader.Read(nullptr, count, error);
        EXPECT_FALSE(error);
        if (bytes == nullptr) {
            EXPECT_EQ(count, 0);
            return out;
        }
        EXPECT_EQ(count % reader.GetFormat().FrameBytes(), 0);
        out.append(reinterpret_cast<const char*>(bytes), size_t(count));
    }
}

const std::string kFmt16Stereo = FormatBody(1, 2, 44100, 16);

TEST(WaveReader, Headers) {
    struct Case {
        const char* name;
        std::string bytes;
        bool accepted;
        int64_t dataStart = 0;
        int64_t dataBytes = 0;
    };
    const std::string data = Ramp(40);
    const Case cases[] = {
        {"plain", PcmWave(2, 44100, 16, data), true, 44, 40},
        {"data before fmt", Wave({{"data", data}, {"fmt ", kFmt16Stereo}}), true, 20, 40},
        {"odd chunk padded", Wave({{"LIST", "abc"}, {"fmt ", kFmt16Stereo}, {"data", data}}), true, 56, 40},
        {"long fmt", Wave({{"fmt ", kFmt16Stereo + std::string(2, '\0')}, {"data", data}}), true, 46, 40},
        {"8-bit mono", PcmWave(1, 8000, 8, data), true, 44, 40},
        {"highest rate", PcmWave(1, 192000, 16, data), true, 44, 40},
        // The data end is kept inside the file and cut to whole frames.
        {"data past file end", Wave({{"fmt ", kFmt16Stereo}, {"data", data, 1000}}), true, 44, 40},
        {"data of odd size", PcmWave(2, 44100, 16, data.substr(0, 39)), true, 44, 36},
        {"24-bit", PcmWave(2, 44100, 24, data), false},
        {"three channels", PcmWave(3, 44100, 16, data), false},
        {"no channels", PcmWave(0, 44100, 16, data), false},
        {"rate 0", PcmWave(1, 0, 16, data), false},
        {"rate too high", PcmWave(1, 192001, 16, data), false},
        {"unknown format tag", Wave({{"fmt ", FormatBody(3, 1, 8000, 32)}, {"data", data}}), false},
        {"short fmt", Wave({{"fmt ", kFmt16Stereo.substr(0, 15)}, {"data", data}}), false},
        {"no data", Wave({{"fmt ", kFmt16Stereo}}), false},
        {"no fmt", Wave({{"data", data}}), false},
        {"not RIFF", "RIFX" + PcmWave(1, 8000, 8, data).substr(4), false},
        {"not WAVE", PcmWave(1, 8000, 8, data).substr(0, 8) + "AVI " + PcmWave(1, 8000, 8, data).substr(12),
         false},
        {"truncated header", "RIFF\x04\0\0\0WAV", false},
        // A size that brings a 32-bit walk back to the same chunk, for ever.
        {"size wraps to itself", Wave({{"junk", "", 0xFFFFFFF8}, {"fmt ", kFmt16Stereo}, {"data", data}}),
         false},
        {"huge size", Wave({{"junk", "", 0xFFFFFFFF}, {"fmt ", kFmt16Stereo}, {"data", data}}), false},
        // The RIFF size promises more than the file holds: the walk stops at the file's end.
        {"RIFF size past file end", Wave({{"fmt ", kFmt16Stereo}, {"LIST", "abcd"}}, 0xFFFFFFFF), false},
        {"chunk header cut short", Wave({{"fmt ", kFmt16Stereo}}, 0x1000) + "dat", false},
        // Chunks past the RIFF size are not part of the file.
        {"data past RIFF size", Wave({{"fmt ", kFmt16Stereo}, {"data", data}}, 28), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OpenedSound sound(c.bytes, kTypeWave);
        EXPECT_EQ(sound.parsed, c.accepted ? 0 : -1);
        if (c.accepted) {
            EXPECT_EQ(sound.reader->GetDataStart(), c.dataStart);
            EXPECT_EQ(sound.reader->GetDataEnd() - sound.reader->GetDataStart(), c.dataBytes);
            EXPECT_EQ(sound.reader->GetDecoderConfig(), nullptr);
        }
    }
}

TEST(WaveReader, ADPCM) {
    const std::string data = Ramp(512);
    OpenedSound sound(Wave({{"fmt ", ADPCMFormatBody(2, 22050)}, {"data", data}}), kTypeWave);
    ASSERT_EQ(sound.parsed, 0);
    const ZAudioEncodingFormat& format = sound.reader->GetFormat();
    EXPECT_EQ(format.encoding, kEncodingADPCM);
    EXPECT_EQ(format.decoderKind, kDecoderMicrosoftADPCM);
    EXPECT_EQ(format.rate, 22050);
    EXPECT_EQ(format.stereo, 1);
    auto* config = static_cast<ZMicrosoftADPCMConfig*>(sound.reader->GetDecoderConfig());
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(config->samplesPerBlock, 500);
    EXPECT_EQ(config->coefficients[6][1], -232);  // the last field of the chunk

    // Without a decoder for it the stream is refused with a reason the user can read.
    ZSoundRegistry registry;
    RegisterStandardSound(registry);
    EXPECT_STREQ(registry.UnplayableReason(format), "ADPCM sound is not supported");
    EXPECT_EQ(registry.UnplayableReason(ZAudioEncodingFormat()), nullptr);

    // A parse after a PCM format replaces the configuration; the last format chunk counts.
    OpenedSound replaced(
        Wave({{"fmt ", ADPCMFormatBody(1, 8000)}, {"fmt ", FormatBody(1, 1, 8000, 8)}, {"data", data}}),
        kTypeWave);
    EXPECT_EQ(replaced.parsed, 0);
    EXPECT_EQ(replaced.reader->GetDecoderConfig(), nullptr);
    EXPECT_EQ(replaced.reader->GetFormat().decoderKind, kDecoderNone);

    struct Case {
        const char* name;
        std::string fmt;
    };
    const std::string full = ADPCMFormatBody(1, 8000);
    const Case refused[] = {
        {"six coefficients", ADPCMFormatBody(1, 8000, 6)},
        {"three channels", ADPCMFormatBody(3, 8000)},
        {"8-bit samples", full.substr(0, 14) + Le16(8) + full.substr(16)},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(OpenedSound(Wave({{"fmt ", c.fmt}, {"data", data}}), kTypeWave).parsed, -1);
    }
    // The extension must lie inside the chunk, even where the bytes after it would complete it.
    std::string cut = Wave({{"data", data}, {"fmt ", full, 20}});
    EXPECT_EQ(OpenedSound(cut, kTypeWave).parsed, -1);
}

TEST(RawReader, Headers) {
    struct Case {
        const char* name;
        std::string bytes;
        bool accepted;
        ZAudioFormat format = {};
    };
    const std::string data = Ramp(20);
    const Case cases[] = {
        {"8-bit mono", RawSound(11025, 8, 1, 0, data), true, {0, 11025, 8}},
        {"16-bit stereo", RawSound(44100, 16, 2, 0, data), true, {1, 44100, 16}},
        {"compressed", RawSound(11025, 8, 1, 1, data), false},
        {"24-bit", RawSound(11025, 24, 1, 0, data), false},
        {"three channels", RawSound(11025, 8, 3, 0, data), false},
        {"no channels", RawSound(11025, 8, 0, 0, data), false},
        {"rate 0", RawSound(0, 8, 1, 0, data), false},
        {"wrong tag", "RSX!" + RawSound(11025, 8, 1, 0, data).substr(4), false},
        {"short header", RawSound(11025, 8, 1, 0, "").substr(0, 13), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OpenedSound sound(c.bytes, kTypeRawSound);
        EXPECT_EQ(sound.parsed, c.accepted ? 0 : -1);
        if (c.accepted) {
            EXPECT_EQ(sound.reader->GetFormat(), ZAudioEncodingFormat(c.format));
            EXPECT_EQ(sound.reader->GetDataStart(), 14);
            EXPECT_EQ(sound.reader->GetDataEnd(), 34);
        }
    }
}

TEST(SoundReader, ReadsWholeFramesToTheEnd) {
    const std::string data = Ramp(42);
    for (int32_t piece : {1, 3, 4, 5, 7, 100}) {
        SCOPED_TRACE(piece);
        OpenedSound sound(PcmWave(2, 44100, 16, data), kTypeWave);
        EXPECT_EQ(sound.reader->GetFormat(), ZAudioEncodingFormat(ZAudioFormat(1, 44100, 16)));
        std::string out = ReadAll(*sound.reader, piece);
        // Pieces below a frame give nothing; any other piece gives every whole frame, in order.
        EXPECT_EQ(out, piece < 4 ? "" : data.substr(0, 40));
        EXPECT_EQ(sound.reader->AtEnd(), piece >= 4);
    }

    OpenedSound sound(RawSound(8000, 16, 1, 0, data), kTypeRawSound);
    uint8_t buffer[64];
    int32_t count = 7;
    bool error = true;
    EXPECT_EQ(sound.reader->Read(buffer, count, error), buffer);  // the caller's buffer is used
    EXPECT_EQ(count, 6);
    EXPECT_FALSE(error);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 6), data.substr(0, 6));
    count = -5;
    EXPECT_EQ(sound.reader->Read(buffer, count, error), nullptr);
    EXPECT_EQ(count, 0);
    sound.reader->SetPosition(41);  // kept on a frame boundary
    EXPECT_EQ(sound.reader->GetPosition(), 40);
    EXPECT_FALSE(sound.reader->AtEnd());
    sound.reader->SetPosition(1000);
    EXPECT_TRUE(sound.reader->AtEnd());
}

TEST(SoundRegistry, RegistersOnce) {
    ZSoundRegistry registry;
    EXPECT_EQ(registry.UnplayableReason(ZAudioEncodingFormat()),
              std::string("this sound encoding is not supported"));
    RegisterStandardSound(registry);
    EXPECT_EQ(registry.GetReaderCount(), 2);
    EXPECT_EQ(registry.GetDecoderCount(), 1);
    ASSERT_NE(registry.FindReader(kTypeWave), nullptr);
    EXPECT_EQ(registry.FindReader(kTypeWave)->GetType(), kTypeWave);
    EXPECT_EQ(registry.FindReader(kTypeRawSound)->GetType(), kTypeRawSound);
    EXPECT_EQ(registry.FindDecoder(kDecoderNone)->GetKind(), kDecoderNone);
    EXPECT_EQ(registry.FindReader(MakeTypeCode("AIFF")), nullptr);
    EXPECT_EQ(registry.FindDecoder(kDecoderMicrosoftADPCM), nullptr);

    // A second registration keeps the first prototypes and adds nothing.
    const ZSoundReader* wave = registry.FindReader(kTypeWave);
    RegisterStandardSound(registry);
    EXPECT_FALSE(registry.RegisterReader(std::make_unique<ZWAVESoundReader>(nullptr)));
    EXPECT_FALSE(registry.RegisterReader(nullptr));
    EXPECT_EQ(registry.GetReaderCount(), 2);
    EXPECT_EQ(registry.GetDecoderCount(), 1);
    EXPECT_EQ(registry.FindReader(kTypeWave), wave);

    // Readers made from the prototypes parse their own files.
    std::string bytes = PcmWave(1, 8000, 8, Ramp(10));
    platform::MemoryFile memory(bytes.data(), bytes.size());
    ZFile file{ZFileSpec(memory.GetPath().c_str())};
    ASSERT_TRUE(file.Open(ZFileObject::kModeRead));
    std::unique_ptr<ZSoundReader> reader = registry.OpenReader(kTypeWave, &file);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->GetDataEnd() - reader->GetDataStart(), 10);
    EXPECT_EQ(registry.OpenReader(kTypeRawSound, &file), nullptr);
    EXPECT_EQ(registry.OpenReader(MakeTypeCode("AIFF"), &file), nullptr);
}

TEST(AudioNonDecoder, PassesFramesThrough) {
    const std::string data = Ramp(40);
    OpenedSound sound(PcmWave(2, 44100, 16, data), kTypeWave);
    ZAudioNonDecoder decoder;
    uint8_t buffer[64];
    int32_t frames = 3;
    bool error = false;
    EXPECT_EQ(decoder.Decode(buffer, frames, ZAudioEncodingFormat(), error), nullptr);
    EXPECT_TRUE(error);
    EXPECT_TRUE(decoder.AtEnd());

    decoder.SetSource(sound.reader);
    EXPECT_EQ(decoder.GetOutputFormat(), sound.reader->GetFormat());
    const ZAudioEncodingFormat& same = decoder.GetOutputFormat();
    frames = 3;
    EXPECT_EQ(decoder.Decode(buffer, frames, same, error), buffer);
    EXPECT_FALSE(error);
    EXPECT_EQ(frames, 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 12), data.substr(0, 12));
    EXPECT_EQ(decoder.GetPosition(), 12);

    // Another wanted format leaves the caller's buffer alone: nothing is converted.
    frames = 100;
    const uint8_t* rest = decoder.Decode(buffer, frames, ZAudioEncodingFormat(), error);
    ASSERT_NE(rest, nullptr);
    EXPECT_NE(rest, buffer);
    EXPECT_EQ(frames, 7);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(rest), 28), data.substr(12));
    EXPECT_TRUE(decoder.AtEnd());
    frames = 1;
    EXPECT_EQ(decoder.Decode(buffer, frames, same, error), nullptr);
    EXPECT_EQ(frames, 0);
    EXPECT_FALSE(error);

    EXPECT_TRUE(decoder.Rewind());
    EXPECT_FALSE(decoder.AtEnd());
    EXPECT_EQ(decoder.SetPosition(9), 36);
    frames = 5;
    decoder.Decode(buffer, frames, same, error);
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), data.substr(36));
}

}  // namespace
