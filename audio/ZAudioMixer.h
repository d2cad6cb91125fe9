// The mixer produces what an audio device plays: on the device's request it renders every playing
// channel into one block in the device's sample format, summing with saturation, and gives silence when
// nothing plays. Its own thread services the device every 10 ms. Lock order: the device lock (held while
// the device asks for a block) before the channel lock, never the reverse.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "audio/ZAudioCallback.h"
#include "audio/ZAudioChannel.h"
#include "audio/ZAudioDevice.h"
#include "core/ZLinkedList.h"
#include "core/ZMutex.h"
#include "core/ZThread.h"

class ZAudioMixer : public ZThread, public ZAudioCallback {
  public:
    // The thread's priority hint: the platform's time-critical level.
    static constexpr int kPriority = 15;
    static constexpr uint32_t kServiceIntervalMs = 10;

    // Registers with device (not owned; may be null) and starts the thread. levels is accepted for
    // callers that pass a mixing depth; it has no effect.
    ZAudioMixer(ZAudioDevice* device, int32_t levels);
    // Stops the thread and waits for it, then unregisters and drops every channel.
    ~ZAudioMixer() override;

    // The thread body: Service every 10 ms until stopped.
    uint32_t Run() override;
    // Lets the device do its periodic work; false once the mixer is stopping.
    virtual bool Service();
    // Mixes frames into buffer (null: the mixer's own buffer); with addToExisting the channels are added
    // to the samples already in the caller's buffer. Returns the buffer, always a whole block. 16-bit
    // samples are mixed little-endian whatever the device's byte order; Fill swaps them for the device.
    virtual uint8_t* Mix(uint8_t* buffer, int32_t frames, bool addToExisting);
    // Called by the device for the next block; 16-bit big-endian output is mixed little-endian and
    // swapped on the way out. Null for 0 frames.
    uint8_t* Fill(uint8_t* buffer, int32_t frames, bool addToExisting) override;

    // Starts mixing channel from the next block on, and wakes a device that had been told to stop asking.
    void AddChannel(std::shared_ptr<ZAudioChannel> channel);
    // Stops mixing channel; false when it is not in the list (it may have finished and been dropped).
    bool RemoveChannel(const ZAudioChannel* channel);
    int32_t GetChannelCount() const;

    ZAudioDevice* GetDevice() const { return device_; }
    int32_t GetCallbackId() const { return callbackId_.load(); }
    // The format of the last block mixed (the device's, once it has asked).
    ZAudioEncodingFormat GetOutputFormat() const;

    // Serialises the making and unmaking of mixers against device activity.
    static ZMutex& AudioMutex();

  private:
    void DropFinishedChannels();
    // The mix buffer, grown to at least bytes; null when it cannot grow.
    uint8_t* GrowMixBuffer(int64_t bytes);

    std::atomic<bool> stopping_{false};
    std::mutex wakeMutex_;  // with wake_, lets the destructor end the 10 ms wait at once
    std::condition_variable wake_;
    ZAudioDevice* device_;
    std::atomic<int32_t> callbackId_{-1};  // a device may ask for blocks from a thread of its own
    ZAudioEncodingFormat outputFormat_;    // touched only under the channel lock
    std::unique_ptr<uint8_t[]> mixBuffer_;
    int64_t mixBufferSize_ = 0;
    ZLinkedList channels_;
    mutable ZMutex channelLock_;
};
