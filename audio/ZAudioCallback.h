// The interface through which an audio device pulls its output: the mixer implements it.
#pragma once

#include <cstdint>

class ZAudioCallback {
  public:
    virtual ~ZAudioCallback() = default;
    // Called by the device, under the device lock, for the next frames of output in the device's current
    // format: written into buffer when one is given (added to the samples already there when
    // addToExisting is set), else into the callback's own storage. Returns the whole block of samples, or
    // null when nothing is left to play (the device then plays silence).
    virtual uint8_t* Fill(uint8_t* buffer, int32_t frames, bool addToExisting) = 0;
};
