// The wave-out device: plays blocks through one sound output, keeping a few blocks queued ahead of what
// has been played. The output copies each block as it is written, so the bytes written and the bytes
// played are all there is to track of the blocks in flight. When no output opens, it pulls blocks at the
// real-time rate instead, so that sounds still advance.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audio/ZAudioDevice.h"
#include "platform/AudioOutput.h"

// The format as an output is asked to take it.
platform::AudioSpec ToOutputSpec(const ZAudioEncodingFormat& format);

class ZWaveOutDevice : public ZAudioDevice {
  public:
    // Blocks written at once when playing starts, before the output runs.
    static constexpr int32_t kStartBlocks = 2;
    // Blocks kept written ahead of the played position.
    static constexpr int32_t kAheadBlocks = 3;

    // The device plays through output (null: never opens). blockBytes 0 takes the block size rule.
    ZWaveOutDevice(const ZAudioEncodingFormat& format, std::unique_ptr<platform::AudioOutput> output,
                   int32_t blockBytes);
    ~ZWaveOutDevice() override;

    double GetBufferedMilliseconds() override;
    double GetPlayedMilliseconds() override;
    void Close() override;
    bool Open() override;
    std::string GetOpenError() const override;

  private:
    // One attempt per format, stepping down while the output refuses the format. Caller holds the lock.
    bool OpenStepping();
    void FeedOutput() override;
    // Writes the staging buffer and pulls the next block into it; false when the output took nothing or
    // the callback gave nothing (the staging buffer then holds silence).
    bool WriteBlock();
    // Whether the played position stood still since the last call although a block's time went by.
    bool PositionStalled();

    std::unique_ptr<platform::AudioOutput> output_;
    int64_t bytesWritten_ = 0;
    int64_t lastPosition_ = 0;
    uint32_t lastPositionTime_ = 0;
};
