// The mixer against a scripted device: silence, saturated sums in every sample type, short channels,
// big-endian output, the channel list, and the thread's start and stop. Opening and closing audio.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "audio/ZAudio.h"
#include "audio/ZAudioMixer.h"
#include "audio/ZSoundRegistry.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A device that plays nothing: Service counts its calls and, once pulling is set, asks for a block.
class ScriptedDevice : public ZAudioDevice {
  public:
    explicit ScriptedDevice(const ZAudioEncodingFormat& format) : ZAudioDevice(format, 0) {}

    void Service() override {
        services.fetch_add(1);
        if (pulling.load() && PullBlock(nullptr) != nullptr) {
            blocks.fetch_add(1);
        }
    }
    double GetBufferedMilliseconds() override { return 0.0; }
    void Close() override { open = false; }
    bool Open() override { return open = true; }
    bool IsOpen() const override { return open; }
    uint8_t* Pull() { return PullBlock(nullptr); }

    std::atomic<int32_t> services{0};
    std::atomic<int32_t> blocks{0};
    std::atomic<bool> pulling{false};
    bool open = false;
};

// Plays one frame over and over, at most perCall frames a call.
class FixedChannel : public ZAudioChannel {
  public:
    FixedChannel(Bytes frame, int32_t perCall) : frame_(std::move(frame)), perCall_(perCall) {}

    const uint8_t* Render(uint8_t* dest, const ZAudioEncodingFormat&, int32_t& frames) override {
        frames = std::min(frames, perCall_);
        if (frames <= 0) {
            return nullptr;
        }
        storage_.resize(frame_.size() * size_t(frames));
        uint8_t* out = dest != nullptr ? dest : storage_.data();
        for (int32_t i = 0; i < frames; ++i) {
            std::copy(frame_.begin(), frame_.end(), out + i * frame_.size());
        }
        return out;
    }
    bool IsFinished() const override { return finished.load(); }
    bool IsPlaying() const override { return !paused.load() && !finished.load(); }

    std::atomic<bool> finished{false};
    std::atomic<bool> paused{false};

  private:
    Bytes frame_;
    int32_t perCall_;
    Bytes storage_;
};

ZAudioEncodingFormat Format(int32_t bits, int32_t encoding, int32_t byteOrder = kByteOrderLittleEndian) {
    ZAudioEncodingFormat format;
    format.stereo = 0;
    format.bits = bits;
    format.encoding = encoding;
    format.byteOrder = byteOrder;
    return format;
}

Bytes Le16(int32_t value) {
    return {uint8_t(value), uint8_t(value >> 8)};
}

Bytes Repeat(const Bytes& frame, int32_t count) {
    Bytes out;
    for (int32_t i = 0; i < count; ++i) {
        out.insert(out.end(), frame.begin(), frame.end());
    }
    return out;
}

Bytes FillBlock(ZAudioMixer& mixer, uint8_t* buffer, int32_t frames, bool add) {
    const ZAudioEncodingFormat format = mixer.GetDevice()->GetFormat();
    const uint8_t* out = mixer.Fill(buffer, frames, add);
    return out != nullptr ? Bytes(out, out + format.FramesToBytes(frames)) : Bytes();
}

const ZAudioEncodingFormat k8u = Format(8, kEncodingUnsigned);
const ZAudioEncodingFormat k8s = Format(8, kEncodingSigned);
const ZAudioEncodingFormat k16s = Format(16, kEncodingSigned);
const ZAudioEncodingFormat k16u = Format(16, kEncodingUnsigned);
const ZAudioEncodingFormat k16sBig = Format(16, kEncodingSigned, kByteOrderBigEndian);
const ZAudioEncodingFormat k16uBig = Format(16, kEncodingUnsigned, kByteOrderBigEndian);
const ZAudioEncodingFormat k16None = Format(16, kEncodingNone);

TEST(AudioMixer, SilenceWithoutChannels) {
    struct Case {
        ZAudioEncodingFormat format;
        Bytes frame;
    } cases[] = {
        {k8u, {0x80}}, {k8s, {0x00}}, {k16s, {0x00, 0x00}}, {k16u, {0x00, 0x80}}, {k16uBig, {0x80, 0x00}},
    };
    for (const Case& c : cases) {
        ScriptedDevice device(c.format);
        ZAudioMixer mixer(&device, 0);
        EXPECT_EQ(FillBlock(mixer, nullptr, 5, false), Repeat(c.frame, 5)) << c.format.bits;
        EXPECT_EQ(mixer.GetOutputFormat(), c.format);
    }
}

TEST(AudioMixer, TwoChannelsSumWithSaturation) {
    // Channels render little-endian; the device's frame is in its own byte order.
    struct Case {
        ZAudioEncodingFormat format;
        Bytes a, b, mixed;
    } cases[] = {
        {k8u, {200}, {250}, {255}},
        {k8u, {10}, {20}, {0}},
        {k8u, {100}, {60}, {32}},
        {k8s, {100}, {100}, {127}},
        {k8s, {0x9C}, {0x9C}, {0x80}},  // -100 + -100
        {k16s, Le16(30000), Le16(30000), Le16(32767)},
        {k16s, Le16(-30000), Le16(-30000), Le16(-32768)},
        {k16s, Le16(1000), Le16(-3000), Le16(-2000)},
        {k16u, Le16(60000), Le16(60000), Le16(65535)},
        {k16u, Le16(1000), Le16(1000), Le16(0)},
        {k16u, Le16(40000), Le16(30000), Le16(37232)},
        {k16sBig, Le16(30000), Le16(30000), {0x7F, 0xFF}},
        {k16None, {1, 2}, {3, 4}, {1, 2}},  // not summable: the first channel alone
    };
    for (const Case& c : cases) {
        ScriptedDevice device(c.format);
        ZAudioMixer mixer(&device, 0);
        mixer.AddChannel(std::make_shared<FixedChannel>(c.a, 100));
        mixer.AddChannel(std::make_shared<FixedChannel>(c.b, 100));
        EXPECT_EQ(FillBlock(mixer, nullptr, 3, false), Repeat(c.mixed, 3))
            << c.format.bits << " bits, encoding " << c.format.encoding << ", first byte " << int(c.a[0]);
    }
}

TEST(AudioMixer, ShortChannelsLeaveSilence) {
    // Four frames of 8-bit unsigned mono into a buffer of leftovers (0x55).
    struct Case {
        const char* name;
        int32_t firstFrames;
        int32_t secondFrames;  // 0: no second channel
        Bytes expected;
    } cases[] = {
        {"short alone", 2, 0, {0x10, 0x10, 0x80, 0x80}},
        {"short, then whole", 2, 4, {0x20, 0x20, 0x90, 0x90}},
        {"whole, then short", 4, 2, {0x20, 0x20, 0x10, 0x10}},
    };
    for (const Case& c : cases) {
        ScriptedDevice device(k8u);
        ZAudioMixer mixer(&device, 0);
        mixer.AddChannel(std::make_shared<FixedChannel>(Bytes{0x10}, c.firstFrames));
        if (c.secondFrames > 0) {
            mixer.AddChannel(std::make_shared<FixedChannel>(Bytes{0x90}, c.secondFrames));
        }
        Bytes buffer(4, 0x55);
        EXPECT_EQ(FillBlock(mixer, buffer.data(), 4, false), c.expected) << c.name;
    }
}

TEST(AudioMixer, BigEndianOutputAddedToExisting) {
    ScriptedDevice device(k16sBig);
    ZAudioMixer mixer(&device, 0);
    mixer.AddChannel(std::make_shared<FixedChannel>(Le16(500), 100));
    EXPECT_EQ(FillBlock(mixer, nullptr, 2, false), (Bytes{0x01, 0xF4, 0x01, 0xF4}));
    // The caller's big-endian 1000 plus 500 is 1500 (0x05DC), still big-endian.
    Bytes buffer = {0x03, 0xE8, 0x03, 0xE8};
    EXPECT_EQ(FillBlock(mixer, buffer.data(), 2, true), (Bytes{0x05, 0xDC, 0x05, 0xDC}));
    // Nothing playing leaves the caller's samples as they were.
    ScriptedDevice quietDevice(k16sBig);
    ZAudioMixer quiet(&quietDevice, 0);
    Bytes kept = {0x03, 0xE8};
    EXPECT_EQ(FillBlock(quiet, kept.data(), 1, true), (Bytes{0x03, 0xE8}));
}

TEST(AudioMixer, ChannelList) {
    ScriptedDevice device(k8u);
    ZAudioMixer mixer(&device, 0);
    EXPECT_EQ(mixer.Fill(nullptr, 0, false), nullptr);
    EXPECT_EQ(mixer.Mix(nullptr, 0, false), nullptr);

    auto paused = std::make_shared<FixedChannel>(Bytes{0xF0}, 100);
    auto finished = std::make_shared<FixedChannel>(Bytes{0xF0}, 100);
    paused->paused = true;
    finished->finished = true;
    mixer.AddChannel(paused);
    mixer.AddChannel(finished);
    EXPECT_EQ(FillBlock(mixer, nullptr, 2, false), (Bytes{0x80, 0x80}));
    EXPECT_EQ(mixer.GetChannelCount(), 1);  // the finished one is dropped, the paused one kept
    EXPECT_FALSE(mixer.RemoveChannel(finished.get()));
    EXPECT_TRUE(mixer.RemoveChannel(paused.get()));
    EXPECT_EQ(mixer.GetChannelCount(), 0);

    // A callback the device was told to stop asking runs again when a channel arrives.
    device.SuspendCallback(mixer.GetCallbackId());
    EXPECT_EQ(device.Pull(), nullptr);
    mixer.AddChannel(std::make_shared<FixedChannel>(Bytes{0x90}, 100));
    EXPECT_NE(device.Pull(), nullptr);
}

TEST(AudioMixer, ThreadServicesTheDeviceUntilDestroyed) {
    ScriptedDevice device(k16s);
    device.pulling = true;
    auto mixer = std::make_unique<ZAudioMixer>(&device, 0);
    EXPECT_NE(mixer->GetCallbackId(), -1);
    EXPECT_EQ(device.RegisterCallback(mixer.get()), -1);  // one callback at a time
    // Channels come and go on this thread while the mixer's thread pulls blocks.
    for (int32_t round = 0; device.blocks.load() < 5 && round < 2000; ++round) {
        auto channel = std::make_shared<FixedChannel>(Le16(round), 100);
        mixer->AddChannel(channel);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        mixer->RemoveChannel(channel.get());
    }
    EXPECT_GE(device.services.load(), 5);
    mixer.reset();
    // Joined and unregistered: nothing services the device or answers it any more.
    int32_t services = device.services.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(device.services.load(), services);
    EXPECT_EQ(device.Pull(), nullptr);
}

TEST(Audio, OpenAndClose) {
    ZAudio audio;
    SetAudioDeviceHook([](const ZAudioEncodingFormat& format, int32_t) {
        return std::unique_ptr<ZAudioDevice>(new ScriptedDevice(format));
    });
    ASSERT_TRUE(OpenAudio(audio, k16s, 0, 8));
    ASSERT_NE(audio.mixer, nullptr);
    EXPECT_EQ(audio.mixer->GetDevice(), audio.device.get());
    EXPECT_TRUE(audio.device->IsOpen());
    EXPECT_TRUE(IsAudioOutputRunning());
    EXPECT_NE(SoundRegistry().FindDecoder(kDecoderNone), nullptr);
    EXPECT_TRUE(OpenAudio(audio, k8u, 0, 8));  // open again: the first is closed
    EXPECT_EQ(audio.device->GetFormat(), k8u);
    CloseAudio(audio);
    EXPECT_EQ(audio.mixer, nullptr);
    EXPECT_EQ(audio.device, nullptr);
    EXPECT_FALSE(IsAudioOutputRunning());

    AudioOptions().audioEnabled = false;
    EXPECT_FALSE(OpenAudio(audio, k16s, 0, 8));
    EXPECT_EQ(audio.device, nullptr);
    AudioOptions().audioEnabled = true;
    SetAudioDeviceHook(nullptr);
}

}  // namespace
