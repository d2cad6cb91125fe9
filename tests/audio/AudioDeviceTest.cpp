// Audio devices over scripted outputs and a virtual clock: the formats tried when output refuses, the
// block sizes, the pace kept without sound output, and the bytes that reach the output.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "audio/ZAudioDevice.h"
#include "audio/ZDirectSoundDevice.h"
#include "audio/ZWaveOutDevice.h"
#include "platform/AudioOutput.h"
#include "platform/Clock.h"

namespace {

using platform::AudioOpenResult;

// What a scripted output or buffer was asked, and how it answers.
struct Script {
    std::vector<AudioOpenResult> answers;  // one per open, then kOpened
    std::vector<platform::AudioSpec> opened;
    std::vector<uint8_t> written;
    int64_t played = 0;
    int32_t closes = 0;
    AudioOpenResult Answer(const platform::AudioSpec& spec) {
        opened.push_back(spec);
        return opened.size() <= answers.size() ? answers[opened.size() - 1] : AudioOpenResult::kOpened;
    }
};

class FakeOutput final : public platform::AudioOutput {
  public:
    explicit FakeOutput(std::shared_ptr<Script> script) : script_(std::move(script)) {}
    AudioOpenResult Open(const platform::AudioSpec& spec, int32_t) override { return script_->Answer(spec); }
    void Close() override { ++script_->closes; }
    void Pause(bool) override {}
    bool Write(const uint8_t* data, int32_t bytes) override {
        script_->written.insert(script_->written.end(), data, data + bytes);
        return true;
    }
    int64_t PlayedBytes() override { return script_->played; }
    int64_t QueuedBytes() override { return int64_t(script_->written.size()) - script_->played; }
    std::string GetError() const override { return "scripted"; }

  private:
    std::shared_ptr<Script> script_;
};

class FakeBuffer final : public ZLoopingBuffer {
  public:
    explicit FakeBuffer(std::shared_ptr<Script> script) : script_(std::move(script)) {}
    AudioOpenResult SetPrimaryFormat(const platform::AudioSpec& spec) override {
        return script_->Answer(spec);
    }
    bool Create(const platform::AudioSpec&, int32_t bytes) override {
        script_->written.assign(size_t(bytes), 0xEE);
        return true;
    }
    bool Write(int32_t offset, const uint8_t* data, int32_t bytes) override {
        for (int32_t i = 0; i < bytes; ++i) {
            script_->written[size_t(offset + i) % script_->written.size()] = data[i];
        }
        return true;
    }
    bool Play() override { return true; }
    void Stop() override {}
    int32_t PlayPosition() override { return int32_t(script_->played); }
    void Release() override { ++script_->closes; }

  private:
    std::shared_ptr<Script> script_;
};

// Gives bytes counting up from 0 across blocks, and notes when it was asked.
class CountingCallback final : public ZAudioCallback {
  public:
    uint8_t* Fill(uint8_t* buffer, int32_t frames, bool) override {
        asked.push_back(platform::TickCount());
        frameCount += frames;
        own.resize(size_t(frames) * 4);
        uint8_t* out = buffer != nullptr ? buffer : own.data();
        for (int32_t i = 0; i < frames * frameBytes; ++i) {
            out[i] = next++;
        }
        return out;
    }
    int32_t frameBytes = 1;
    uint8_t next = 0;
    int64_t frameCount = 0;
    std::vector<uint32_t> asked;
    std::vector<uint8_t> own;
};

ZAudioEncodingFormat Format(int32_t stereo, int32_t rate, int32_t bits) {
    return ZAudioEncodingFormat(ZAudioFormat(stereo, rate, bits));
}

// Service returns at once on the creating thread, so devices are made on another one.
template <class Device, class Sink>
std::unique_ptr<Device> MakeElsewhere(const ZAudioEncodingFormat& format, Sink sink, int32_t blockBytes) {
    std::unique_ptr<Device> device;
    std::thread([&] { device = std::make_unique<Device>(format, std::move(sink), blockBytes); }).join();
    return device;
}

class AudioDevice : public testing::Test {
  protected:
    void SetUp() override { previous_ = platform::SetClock(&clock); }
    void TearDown() override {
        StopAudioOutput();
        AudioOptions() = ZAudioOptions();
        platform::SetClock(previous_);
    }
    // Services every 10 ms for ms milliseconds, starting now.
    void RunFor(ZAudioDevice& device, uint32_t ms) {
        for (uint32_t t = 0; t < ms; t += 10) {
            device.Service();
            clock.Advance(10);
        }
    }
    platform::VirtualClock clock;

  private:
    platform::Clock* previous_ = nullptr;
};

struct Spec {
    int32_t rate, channels, bits;
};

void ExpectTried(const std::vector<platform::AudioSpec>& opened, const std::vector<Spec>& expected) {
    ASSERT_EQ(opened.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(opened[i].rate, expected[i].rate);
        EXPECT_EQ(opened[i].channels, expected[i].channels);
        EXPECT_EQ(opened[i].bits, expected[i].bits);
        EXPECT_EQ(opened[i].isSigned, expected[i].bits == 16);
    }
}

TEST_F(AudioDevice, FormatsTriedWhenRefused) {
    auto script = std::make_shared<Script>();
    script->answers.assign(20, AudioOpenResult::kUnsupportedFormat);
    ZWaveOutDevice waveOut(Format(1, 44100, 16), std::make_unique<FakeOutput>(script), 0);
    EXPECT_FALSE(waveOut.Open());
    // 32000 and 16000 are taken at the nearest rate output has always known.
    ExpectTried(script->opened,
                {{44100, 2, 16}, {44100, 1, 16}, {44100, 1, 8}, {22050, 1, 8}, {11025, 1, 8}, {8000, 1, 8}});

    script = std::make_shared<Script>();
    script->answers.assign(20, AudioOpenResult::kUnsupportedFormat);
    ZDirectSoundDevice direct(Format(1, 48000, 16), std::make_unique<FakeBuffer>(script), 0);
    EXPECT_FALSE(direct.Open());
    ExpectTried(script->opened, {{48000, 2, 16},
                                 {48000, 1, 16},
                                 {48000, 1, 8},
                                 {44100, 1, 8},
                                 {32000, 1, 8},
                                 {24000, 1, 8},
                                 {22050, 1, 8},
                                 {16000, 1, 8},
                                 {11025, 1, 8},
                                 {8000, 1, 8}});

    // Accepted on the third try, the device keeps that format and its block.
    script = std::make_shared<Script>();
    script->answers.assign(3, AudioOpenResult::kUnsupportedFormat);
    ZWaveOutDevice stepped(Format(1, 44100, 16), std::make_unique<FakeOutput>(script), 0);
    EXPECT_TRUE(stepped.Open());
    EXPECT_EQ(stepped.GetFormat(), Format(0, 22050, 8));
    EXPECT_EQ(stepped.GetBlockBytes(), 1024);

    // Any other refusal ends the attempt at once.
    script = std::make_shared<Script>();
    script->answers = {AudioOpenResult::kFailed};
    ZWaveOutDevice failed(Format(1, 44100, 16), std::make_unique<FakeOutput>(script), 0);
    EXPECT_FALSE(failed.Open());
    EXPECT_EQ(script->opened.size(), 1u);
}

TEST_F(AudioDevice, BlockSizes) {
    struct Case {
        ZAudioEncodingFormat format;
        int32_t requested, bytes;
        double ms;
    };
    const Case cases[] = {
        {Format(1, 44100, 16), 0, 8192, 2048 * 1000.0 / 44100},
        {Format(0, 8000, 8), 0, 512, 64.0},
        {Format(1, 44100, 16), 1001, 1000, 250 * 1000.0 / 44100},  // whole frames
        {Format(1, 44100, 16), 1, 4, 1000.0 / 44100},              // at least one frame
    };
    for (const Case& c : cases) {
        ZWaveOutDevice device(c.format, nullptr, c.requested);
        EXPECT_EQ(device.GetBlockBytes(), c.bytes);
        EXPECT_DOUBLE_EQ(device.GetBlockMilliseconds(), c.ms);
    }
}

TEST_F(AudioDevice, OneCallbackAtATime) {
    ZWaveOutDevice device(Format(0, 22050, 16), nullptr, 0);
    CountingCallback first, second;
    int32_t id = device.RegisterCallback(&first);
    EXPECT_NE(id, -1);
    EXPECT_EQ(device.RegisterCallback(&second), -1);
    device.UnregisterCallback(id);
    EXPECT_NE(device.RegisterCallback(&second), -1);
}

TEST_F(AudioDevice, OutputsRegistry) {
    const auto& outputs = platform::AudioOutputs();
    ASSERT_FALSE(outputs.empty());
    EXPECT_STREQ(outputs.back().name, "null");
    EXPECT_EQ(platform::CreateAudioOutput("no such output"), nullptr);
    auto none = platform::CreateAudioOutput("null");
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->Open(platform::AudioSpec(), 4096), AudioOpenResult::kFailed);
}

TEST_F(AudioDevice, FactoryFollowsTheOptions) {
    const ZAudioEncodingFormat format = Format(0, 22050, 16);
    AudioOptions().outputName = "null";
    EXPECT_NE(CreateAudioDevice(format, 0), nullptr);
    AudioOptions().tryWaveOut = false;
    EXPECT_EQ(CreateAudioDevice(format, 0), nullptr);
    // The hook comes first, and its null lets the factory choose.
    bool hooked = false;
    SetAudioDeviceHook([&](const ZAudioEncodingFormat&, int32_t) {
        hooked = true;
        return std::unique_ptr<ZAudioDevice>();
    });
    AudioOptions().tryWaveOut = true;
    EXPECT_NE(CreateAudioDevice(format, 0), nullptr);
    EXPECT_TRUE(hooked);
    SetAudioDeviceHook(nullptr);
    AudioOptions().audioEnabled = false;
    EXPECT_EQ(CreateAudioDevice(format, 0), nullptr);
}

// Without sound output, block k is asked at the first service at or after k block durations.
TEST_F(AudioDevice, NoOutputAsksOncePerBlock) {
    auto device = MakeElsewhere<ZWaveOutDevice>(Format(0, 8000, 8), platform::CreateAudioOutput("null"), 0);
    CountingCallback callback;
    device->RegisterCallback(&callback);
    StartAudioOutput();
    RunFor(*device, 650);
    // 64 ms blocks, services every 10 ms.
    EXPECT_EQ(callback.asked, (std::vector<uint32_t>{0, 70, 130, 200, 260, 320, 390, 450, 520, 580, 640}));
    EXPECT_FALSE(device->IsOpen());
}

TEST_F(AudioDevice, NoOutputKeepsRealTimePace) {
    struct Case {
        ZAudioEncodingFormat format;
        int32_t blockBytes;
        uint32_t start, ms;
    };
    const Case cases[] = {
        {Format(1, 44100, 16), 0, 0, 60000},
        {Format(0, 22050, 8), 0, 0, 60000},
        {Format(0, 11025, 16), 0, 0, 60000},
        {Format(0, 8000, 8), 0, 0xFFFFFF00u, 3000},  // across the tick wrap
        {Format(0, 8000, 8), 1, 0, 1000},            // one-frame blocks
        {Format(1, 44100, 16), 4, 0xFFFFFFF0u, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.format.rate << " Hz from " << c.start);
        clock.Set(c.start);
        auto device =
            MakeElsewhere<ZWaveOutDevice>(c.format, platform::CreateAudioOutput("null"), c.blockBytes);
        CountingCallback callback;
        device->RegisterCallback(&callback);
        RunFor(*device, c.ms);
        // Services come every 10 ms, so the last one may stop short of a block and of 10 ms.
        int64_t expected = int64_t(c.format.rate) * c.ms / 1000;
        int64_t slack = device->GetBlockBytes() / c.format.FrameBytes() + c.format.rate / 100;
        EXPECT_LE(std::llabs(callback.frameCount - expected), slack);
    }
}

TEST_F(AudioDevice, NoBurstAfterPause) {
    auto device = MakeElsewhere<ZWaveOutDevice>(Format(0, 22050, 16), platform::CreateAudioOutput("null"), 0);
    CountingCallback callback;
    device->RegisterCallback(&callback);
    RunFor(*device, 1000);
    clock.Advance(5000);
    size_t before = callback.asked.size();
    device->Service();
    EXPECT_EQ(callback.asked.size(), before + 1);
    // And the pace goes on from there: one more second is one more second of frames.
    int64_t frames = callback.frameCount;
    clock.Advance(10);
    RunFor(*device, 1000);
    EXPECT_LE(std::llabs(callback.frameCount - frames - 22050), 1024);
}

TEST_F(AudioDevice, RetriesOpeningEveryTwoSeconds) {
    auto script = std::make_shared<Script>();
    script->answers.assign(10, AudioOpenResult::kFailed);
    auto device =
        MakeElsewhere<ZWaveOutDevice>(Format(0, 22050, 16), std::make_unique<FakeOutput>(script), 0);
    StartAudioOutput();  // the first try
    RunFor(*device, 2000);
    EXPECT_EQ(script->opened.size(), 1u);
    device->Service();
    EXPECT_EQ(script->opened.size(), 2u);
}

TEST_F(AudioDevice, SetFormatWhileOpenReopens) {
    auto script = std::make_shared<Script>();
    ZWaveOutDevice device(Format(1, 44100, 16), std::make_unique<FakeOutput>(script), 0);
    ASSERT_TRUE(device.Open());
    EXPECT_TRUE(device.SetFormat(Format(0, 22050, 8)));
    EXPECT_TRUE(device.IsOpen());
    EXPECT_EQ(script->closes, 1);
    ExpectTried(script->opened, {{44100, 2, 16}, {22050, 1, 8}});
    EXPECT_EQ(device.GetBlockBytes(), 1024);
    EXPECT_FALSE(device.SetFormat(Format(0, 22050, 12)));
}

TEST_F(AudioDevice, SamplesReachOutputInOrder) {
    auto script = std::make_shared<Script>();
    auto device =
        MakeElsewhere<ZWaveOutDevice>(Format(0, 8000, 16), std::make_unique<FakeOutput>(script), 64);
    CountingCallback callback;
    callback.frameBytes = 2;
    device->RegisterCallback(&callback);
    StartAudioOutput();
    device->Service();
    // Silence opens the stream, then three blocks are kept ahead of what has played.
    ASSERT_EQ(script->written.size(), 3u * 64);
    EXPECT_DOUBLE_EQ(device->GetBufferedMilliseconds(), 96 * 1000.0 / 8000);
    script->played = 100;
    clock.Advance(10);
    device->Service();
    ASSERT_EQ(script->written.size(), 5u * 64);  // less than three blocks left after 100 bytes
    EXPECT_DOUBLE_EQ(device->GetBufferedMilliseconds(), 110 * 1000.0 / 8000);
    for (size_t i = 0; i < script->written.size(); ++i) {
        EXPECT_EQ(script->written[i], i < 64 ? 0 : uint8_t(i - 64)) << i;
    }
    device->Close();
    EXPECT_EQ(device->GetBufferedMilliseconds(), 0.0);
}

TEST_F(AudioDevice, DirectSoundWritesTheBlockNotPlaying) {
    auto script = std::make_shared<Script>();
    auto device =
        MakeElsewhere<ZDirectSoundDevice>(Format(0, 8000, 8), std::make_unique<FakeBuffer>(script), 16);
    CountingCallback callback;
    int32_t id = device->RegisterCallback(&callback);
    StartAudioOutput();
    device->Service();
    // Silence in block 0, then the first block from the callback in block 1.
    std::vector<uint8_t> expected(32, 0x80);
    for (uint8_t i = 0; i < 16; ++i) {
        expected[16 + i] = i;
    }
    EXPECT_EQ(script->written, expected);
    script->played = 20;  // block 1 plays: block 0 is written
    device->Service();
    EXPECT_EQ(script->written[0], 16);
    device->Service();  // still block 1: nothing more
    EXPECT_EQ(callback.asked.size(), 3u);
    // Suspended, the block already pulled still plays, then silence follows.
    device->SuspendCallback(id);
    script->played = 3;
    device->Service();
    EXPECT_EQ(script->written[16], 32);
    script->played = 20;
    device->Service();
    EXPECT_EQ(script->written[0], 0x80);
    EXPECT_EQ(callback.asked.size(), 3u);
    EXPECT_EQ(device->ResumeCallback(id), ZAudioDevice::kCallbackSuspended);
    device->Service();  // starts again as after opening: two blocks
    EXPECT_EQ(callback.asked.size(), 5u);
}

}  // namespace
