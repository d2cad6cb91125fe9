// The output of a machine without sound: it refuses to open, so that a device keeps real-time pace on
// its own and sounds still advance.
#pragma once

#include <memory>

#include "platform/AudioOutput.h"

namespace platform {

class NullAudioOutput final : public AudioOutput {
  public:
    AudioOpenResult Open(const AudioSpec&, int32_t) override { return AudioOpenResult::kFailed; }
    void Close() override {}
    void Pause(bool) override {}
    bool Write(const uint8_t*, int32_t) override { return false; }
    int64_t PlayedBytes() override { return 0; }
    int64_t QueuedBytes() override { return 0; }
    std::string GetError() const override { return "no sound output"; }
};

}  // namespace platform
