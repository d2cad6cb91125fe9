// The DirectSound device: plays through a looping buffer of two blocks, writing each block while the
// other one plays. When the buffer cannot be made, it pulls blocks at the real-time rate instead.
#pragma once

#include <cstdint>
#include <memory>

#include "audio/ZAudioDevice.h"
#include "audio/ZLoopingBuffer.h"
#include "audio/ZWaveOutDevice.h"

class ZDirectSoundDevice : public ZAudioDevice {
  public:
    static constexpr int32_t kBlocks = 2;

    // The device plays through buffer (null: never opens). blockBytes 0 takes the block size rule.
    ZDirectSoundDevice(const ZAudioEncodingFormat& format, std::unique_ptr<ZLoopingBuffer> buffer,
                       int32_t blockBytes);
    ~ZDirectSoundDevice() override;

    double GetBufferedMilliseconds() override;
    void Close() override;
    bool Open() override;
    // Resuming plays again from a fresh start, as after opening.
    int32_t ResumeCallback(int32_t id) override;

  private:
    // Sets the primary format, stepping down while it is refused. Caller holds the lock.
    bool SetPrimaryStepping();
    void FeedOutput() override;
    // Writes the staging buffer at the next block and pulls the following block into it; false when the
    // callback gave nothing (the staging buffer then holds silence).
    bool WriteBlock();

    std::unique_ptr<ZLoopingBuffer> buffer_;
    int32_t nextBlock_ = 0;
};
