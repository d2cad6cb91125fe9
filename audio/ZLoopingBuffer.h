// The looping two-block sound buffer a DirectSound device plays through: the hardware plays it round and
// round while the device writes the block that is not playing.
#pragma once

#include <cstdint>

#include "platform/AudioOutput.h"

class ZLoopingBuffer {
  public:
    // Releases what is held.
    virtual ~ZLoopingBuffer() = default;
    // Called first on opening: sets the format the hardware mixes in. kUnsupportedFormat lets the device
    // try the next format down.
    virtual platform::AudioOpenResult SetPrimaryFormat(const platform::AudioSpec& spec) = 0;
    // Called after the primary format took: makes the silent looping buffer of that many bytes in that
    // format.
    virtual bool Create(const platform::AudioSpec& spec, int32_t bytes) = 0;
    // Copies bytes at offset, continuing at the start when the end is reached.
    virtual bool Write(int32_t offset, const uint8_t* data, int32_t bytes) = 0;
    // Starts playing round and round from where it stands.
    virtual bool Play() = 0;
    virtual void Stop() = 0;
    // The byte offset being played, or -1 when it cannot be read.
    virtual int32_t PlayPosition() = 0;
    // Called by the device's close: stops and drops the buffer and the primary format. Harmless twice.
    virtual void Release() = 0;
};
