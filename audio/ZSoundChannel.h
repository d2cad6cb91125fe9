// A channel that plays a sound through its decoder, converting the decoder's frames to the mixer's
// format: sample size, signedness, byte order, channel count and rate. It plays once, from the start.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "audio/ZAudioChannel.h"
#include "audio/ZAudioDecoder.h"
#include "audio/ZSoundReader.h"
#include "audio/ZSoundRegistry.h"

class ZSoundChannel : public ZAudioChannel {
  public:
    // Plays source through decoder (which gets source as its source).
    ZSoundChannel(std::shared_ptr<ZSoundReader> source, std::unique_ptr<ZAudioDecoder> decoder);
    // A channel for source through the registry's decoder for its format; null with why set to one line
    // when no registered decoder can play it ("ADPCM sound is not supported").
    static std::shared_ptr<ZSoundChannel> Create(std::shared_ptr<ZSoundReader> source,
                                                 const ZSoundRegistry& registry, const char** why);

    const uint8_t* Render(uint8_t* dest, const ZAudioEncodingFormat& format, int32_t& frames) override;
    bool IsFinished() const override { return finished_.load(); }
    bool IsPlaying() const override { return !paused_.load() && !finished_.load(); }

    void Pause(bool paused) { paused_.store(paused); }
    // Frames of the sound (in its own format) rendered so far.
    int64_t GetRenderedFrames() const { return renderedFrames_.load(); }
    // The sound's length in frames of its own format.
    int64_t GetTotalFrames() const;
    const ZAudioEncodingFormat& GetSourceFormat() const { return sourceFormat_; }
    // True when rendering stopped on a read failure rather than at the end of the sound.
    bool HasFailed() const { return failed_.load(); }

  private:
    // Renders frames converted from the decoder's format, stepping through the sound at its own rate.
    const uint8_t* RenderConverted(uint8_t* dest, const ZAudioEncodingFormat& format, int32_t& frames);
    // The channel's own storage, grown to at least bytes; null when it cannot grow.
    uint8_t* GrowStorage(int64_t bytes);
    // Stops rendering for good: at the end of the sound, or on a failed read.
    void Finish(bool failed);

    std::shared_ptr<ZSoundReader> source_;
    std::unique_ptr<ZAudioDecoder> decoder_;
    ZAudioEncodingFormat sourceFormat_;
    std::atomic<bool> finished_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> failed_{false};
    std::atomic<int64_t> renderedFrames_{0};
    // Touched only by Render: the next frame of the sound, and how far the output has stepped past it
    // in units of 1/output rate of a sound frame.
    int64_t sourceFrame_ = 0;
    int64_t phase_ = 0;
    std::unique_ptr<uint8_t[]> storage_;
    int64_t storageSize_ = 0;
};
