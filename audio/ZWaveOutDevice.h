// The wave-out device: plays blocks through one sound output, keeping a few blocks queued ahead of what
// has been played. The output copies each block as it is written, so the bytes written and the bytes
// played are all there is to track of the blocks in flight. When no output opens, it pulls blocks at the
// real-time rate instead, so that sounds still advance.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/ZAudioDevice.h"
#include "platform/AudioOutput.h"

// The format as an output is asked to take it.
platform::AudioSpec ToOutputSpec(const ZAudioEncodingFormat& format);

// Keeps a device without sound output asking for blocks at the real-time rate. Time is kept in frames
// from an anchor tick, so that blocks of a fractional number of milliseconds never drift.
class ZAudioPacer {
  public:
    // Further behind than this, the pacer starts again from now: after a pause the sounds go on where
    // they were instead of racing through the time missed.
    static constexpr int32_t kMaxCatchUpMs = 200;

    // Starts again at the next call.
    void Reset() { started_ = false; }
    // The number of blocks of blockFrames due at now, counted as taken. The first call after a reset
    // answers one.
    int64_t TakeDueBlocks(uint32_t now, int32_t rate, int64_t blockFrames);

  private:
    bool started_ = false;
    uint32_t anchor_ = 0;  // the tick at which frames_ counts from
    int64_t frames_ = 0;   // frames taken since anchor_
};

class ZWaveOutDevice : public ZAudioDevice {
  public:
    // Blocks written at once when playing starts, before the output runs.
    static constexpr int32_t kStartBlocks = 2;
    // Blocks kept written ahead of the played position.
    static constexpr int32_t kAheadBlocks = 3;
    // Time between attempts to open an output that refused.
    static constexpr uint32_t kRetryMs = 2000;

    // The device plays through output (null: never opens). blockBytes 0 takes the block size rule.
    ZWaveOutDevice(const ZAudioEncodingFormat& format, std::unique_ptr<platform::AudioOutput> output,
                   int32_t blockBytes);
    ~ZWaveOutDevice() override;

    void Service() override;
    double GetBufferedMilliseconds() override;
    void Close() override;
    bool Open() override;
    bool IsOpen() const override;
    std::string GetOpenError() const override;

  private:
    // One attempt per format, stepping down while the output refuses the format. Caller holds the lock.
    bool OpenStepping();
    void FeedOutput();
    void KeepPace();
    // Writes the staging buffer and pulls the next block into it; false when the output took nothing or
    // the callback gave nothing (the staging buffer then holds silence).
    bool WriteBlock();
    // Whether the played position stood still since the last call although a block's time went by.
    bool PositionStalled();

    std::unique_ptr<platform::AudioOutput> output_;
    std::thread::id creator_;
    bool open_ = false;
    bool justOpened_ = false;
    std::vector<uint8_t> staging_;
    int64_t bytesWritten_ = 0;
    uint32_t lastOpenTry_ = 0;
    int64_t lastPosition_ = 0;
    uint32_t lastPositionTime_ = 0;
    ZAudioPacer pacer_;
};
