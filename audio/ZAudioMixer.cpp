#include "audio/ZAudioMixer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>
#include <new>
#include <utility>

namespace {

// One entry of the channel list: the mixer's shared reference to a playing channel.
struct ChannelElement : ZListElement {
    explicit ChannelElement(std::shared_ptr<ZAudioChannel> channel) : channel(std::move(channel)) {}
    std::shared_ptr<ZAudioChannel> channel;
};

ZAudioChannel& ChannelOf(ZListElement* e) {
    return *static_cast<ChannelElement*>(e)->channel;
}

// Mixing works on little-endian samples; only the byte order of 16-bit samples matters.
bool NeedsSwap(const ZAudioEncodingFormat& format) {
    return format.bits == 16 && format.byteOrder != kByteOrderLittleEndian;
}

void SwapSamples16(uint8_t* data, int64_t samples) {
    for (int64_t i = 0; i < samples; ++i) {
        std::swap(data[2 * i], data[2 * i + 1]);
    }
}

// A sample of Bytes little-endian bytes as an integer in its own range.
template <int Bytes, bool Unsigned>
int32_t LoadSample(const uint8_t* p) {
    uint32_t raw = Bytes == 1 ? p[0] : uint32_t(p[0]) | uint32_t(p[1]) << 8;
    if constexpr (Unsigned) {
        return int32_t(raw);
    } else {
        return Bytes == 1 ? int32_t(int8_t(raw)) : int32_t(int16_t(raw));
    }
}

// Adds source into dest sample by sample; the sum is clamped to the sample's range, and an unsigned
// sample carries its zero at mid-range, so the offset counts once, not twice.
template <int Bytes, bool Unsigned>
void AddSaturated(uint8_t* dest, const uint8_t* source, int64_t samples) {
    constexpr int32_t kSpan = 1 << (8 * Bytes);
    constexpr int32_t kZero = Unsigned ? kSpan / 2 : 0;
    constexpr int32_t kMin = Unsigned ? 0 : -kSpan / 2;
    constexpr int32_t kMax = kMin + kSpan - 1;
    for (int64_t i = 0; i < samples; ++i) {
        uint8_t* out = dest + i * Bytes;
        int32_t sum =
            LoadSample<Bytes, Unsigned>(out) + LoadSample<Bytes, Unsigned>(source + i * Bytes) - kZero;
        uint32_t value = uint32_t(std::clamp(sum, kMin, kMax));
        out[0] = uint8_t(value);
        if constexpr (Bytes == 2) {
            out[1] = uint8_t(value >> 8);
        }
    }
}

using AddRoutine = void (*)(uint8_t* dest, const uint8_t* source, int64_t samples);

struct AddCell {
    int32_t bits;
    int32_t encoding;
    AddRoutine add;
};

constexpr AddCell kAdders[] = {
    {8, kEncodingUnsigned, AddSaturated<1, true>},
    {8, kEncodingSigned, AddSaturated<1, false>},
    {16, kEncodingUnsigned, AddSaturated<2, true>},
    {16, kEncodingSigned, AddSaturated<2, false>},
};
static_assert(std::size(kAdders) == 4, "one routine per sample size and signedness");

// Null for a sample format that cannot be summed: such channels are not added.
AddRoutine FindAdder(const ZAudioEncodingFormat& format) {
    for (const AddCell& cell : kAdders) {
        if (cell.bits == format.bits && cell.encoding == format.encoding) {
            return cell.add;
        }
    }
    return nullptr;
}

// The first channel that gives samples lays the block down; whatever it did not cover is silence, so
// that no bytes of an earlier block are played again.
bool RenderFirst(ZAudioChannel& channel, uint8_t* block, int32_t frames, const ZAudioEncodingFormat& format) {
    int32_t rendered = frames;
    const uint8_t* samples = channel.Render(block, format, rendered);
    if (samples == nullptr || rendered <= 0) {
        return false;
    }
    int64_t bytes = format.FramesToBytes(std::min(rendered, frames));
    if (samples != block) {
        std::memmove(block, samples, size_t(bytes));
    }
    FillSilence(block + bytes, format.FramesToBytes(frames) - bytes, format);
    return true;
}

// Every channel is asked for the whole block: a short one adds only what it has, and adding nothing is
// the same as adding silence.
void RenderAdded(ZAudioChannel& channel, uint8_t* block, int32_t frames, const ZAudioEncodingFormat& format,
                 AddRoutine add) {
    int32_t rendered = frames;
    const uint8_t* samples = channel.Render(nullptr, format, rendered);
    if (samples != nullptr && rendered > 0 && add != nullptr) {
        add(block, samples, format.FramesToSamples(std::min(rendered, frames)));
    }
}

}  // namespace

ZAudioMixer::ZAudioMixer(ZAudioDevice* device, int32_t /*levels*/) : device_(device) {
    if (device_ == nullptr) {
        return;
    }
    ZMutexLock audio(AudioMutex());
    outputFormat_ = device_->GetFormat();
    if (device_->GetKind() == ZAudioDevice::kKindPull) {
        callbackId_.store(device_->RegisterCallback(this));
    }
    Start(kPriority);
}

ZAudioMixer::~ZAudioMixer() {
    {
        // Set under the wake mutex, so that the thread cannot miss it between its test and its wait.
        std::lock_guard<std::mutex> lock(wakeMutex_);
        stopping_.store(true);
    }
    wake_.notify_all();
    Join();
    ZMutexLock audio(AudioMutex());
    if (device_ != nullptr && callbackId_.load() != -1) {
        device_->UnregisterCallback(callbackId_.load());
    }
    ZMutexLock lock(channelLock_);
    channels_.DeleteAll();
}

ZMutex& ZAudioMixer::AudioMutex() {
    static ZMutex mutex;
    return mutex;
}

uint32_t ZAudioMixer::Run() {
    while (Service()) {
        // Real time, not the platform clock: a virtual clock only advances on the thread that drives it.
        std::unique_lock<std::mutex> lock(wakeMutex_);
        wake_.wait_for(lock, std::chrono::milliseconds(kServiceIntervalMs),
                       [this] { return stopping_.load(); });
    }
    return 0;
}

bool ZAudioMixer::Service() {
    if (stopping_.load()) {
        return false;
    }
    if (device_ != nullptr) {
        device_->Service();
    }
    return true;
}

uint8_t* ZAudioMixer::Fill(uint8_t* buffer, int32_t frames, bool addToExisting) {
    if (frames <= 0) {
        return nullptr;
    }
    ZAudioEncodingFormat format = device_ != nullptr ? device_->GetFormat() : GetOutputFormat();
    {
        ZMutexLock lock(channelLock_);
        outputFormat_ = format;
    }
    bool swap = NeedsSwap(format);
    int64_t samples = format.FramesToSamples(frames);
    if (swap && addToExisting && buffer != nullptr) {
        SwapSamples16(buffer, samples);
    }
    uint8_t* result = Mix(buffer, frames, addToExisting);
    if (result == nullptr) {
        // Outside the channel lock: suspending takes the device lock, which comes first.
        if (device_ != nullptr) {
            device_->SuspendCallback(callbackId_.load());
        }
        return nullptr;
    }
    if (swap) {
        SwapSamples16(result, samples);
    }
    return result;
}

uint8_t* ZAudioMixer::Mix(uint8_t* buffer, int32_t frames, bool addToExisting) {
    if (frames <= 0) {
        return nullptr;
    }
    ZMutexLock lock(channelLock_);
    ZAudioEncodingFormat format = outputFormat_;
    if (NeedsSwap(format)) {
        format.byteOrder = kByteOrderLittleEndian;
    }
    // Only the caller's buffer holds samples to add to; the mix buffer holds an old block.
    bool filled = addToExisting && buffer != nullptr;
    if (buffer == nullptr && (buffer = GrowMixBuffer(format.FramesToBytes(frames))) == nullptr) {
        return nullptr;
    }
    DropFinishedChannels();
    AddRoutine add = FindAdder(format);
    for (ZListElement* e = channels_.GetHead(); e != nullptr; e = e->next) {
        ZAudioChannel& channel = ChannelOf(e);
        if (!channel.IsPlaying()) {
            continue;
        }
        if (filled) {
            RenderAdded(channel, buffer, frames, format, add);
        } else {
            filled = RenderFirst(channel, buffer, frames, format);
        }
    }
    if (!filled) {
        FillSilence(buffer, format.FramesToBytes(frames), format);
    }
    return buffer;
}

uint8_t* ZAudioMixer::GrowMixBuffer(int64_t bytes) {
    if (bytes <= 0) {
        return nullptr;
    }
    if (bytes > mixBufferSize_) {
        mixBuffer_.reset(new (std::nothrow) uint8_t[size_t(bytes)]);
        mixBufferSize_ = mixBuffer_ != nullptr ? bytes : 0;
    }
    return mixBuffer_.get();
}

void ZAudioMixer::DropFinishedChannels() {
    ZMutexLock lock(channelLock_);
    ZListElement* e = channels_.GetHead();
    while (e != nullptr) {
        ZListElement* next = e->next;
        if (ChannelOf(e).IsFinished()) {
            channels_.Remove(e, true);
        }
        e = next;
    }
}

void ZAudioMixer::AddChannel(std::shared_ptr<ZAudioChannel> channel) {
    if (channel == nullptr) {
        return;
    }
    {
        ZMutexLock lock(channelLock_);
        channels_.Append(new ChannelElement(std::move(channel)));
    }
    // After the channel lock is released: resuming takes the device lock, which comes first.
    if (device_ != nullptr) {
        device_->ResumeCallback(callbackId_.load());
    }
}

bool ZAudioMixer::RemoveChannel(const ZAudioChannel* channel) {
    ZMutexLock lock(channelLock_);
    for (ZListElement* e = channels_.GetHead(); e != nullptr; e = e->next) {
        if (&ChannelOf(e) == channel) {
            channels_.Remove(e, true);
            return true;
        }
    }
    return false;
}

int32_t ZAudioMixer::GetChannelCount() const {
    ZMutexLock lock(channelLock_);
    return channels_.GetCount();
}

ZAudioEncodingFormat ZAudioMixer::GetOutputFormat() const {
    ZMutexLock lock(channelLock_);
    return outputFormat_;
}
