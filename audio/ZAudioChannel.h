// What the mixer mixes: one playing sound. The mixer keeps a shared reference to each channel in its
// list, so that whoever added a channel may keep asking it how far it has played after the mixer dropped
// it. Render runs on the mixer's thread; the other queries may come from any thread.
#pragma once

#include <cstdint>

#include "audio/ZAudioFormat.h"

class ZAudioChannel {
  public:
    virtual ~ZAudioChannel() = default;
    // Renders the next frames of the sound in format: into dest when given, else into the channel's own
    // storage. frames may come back lower when the sound ends within them. Returns the samples, or null
    // when the channel has nothing to give now.
    virtual const uint8_t* Render(uint8_t* dest, const ZAudioEncodingFormat& format, int32_t& frames) = 0;
    // True once the sound has been rendered to its end (or has failed): the mixer then drops the channel.
    virtual bool IsFinished() const = 0;
    // False while paused: the mixer skips the channel without dropping it.
    virtual bool IsPlaying() const = 0;
};
