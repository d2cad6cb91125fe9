// The sound output through SDL2's audio queue.
#pragma once

#include <memory>

#include "platform/AudioOutput.h"

namespace platform {

std::unique_ptr<AudioOutput> CreateSdlAudioOutput();

}  // namespace platform
