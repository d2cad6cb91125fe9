// Sound outputs: where an audio device's blocks are played. One class per output, each listed once in
// AudioOutput.cpp with its name; "sdl" plays through SDL2's audio queue, "null" plays nothing and refuses
// every format, so that a device without output keeps real-time pace on its own. An output holds no
// framework state: it takes bytes and reports how many have been played.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// A sample format as an output is asked to take it, unchanged: the output never converts.
struct AudioSpec {
    int32_t rate = 22050;
    int32_t channels = 1;  // 1 or 2
    int32_t bits = 16;     // 8 or 16
    bool isSigned = true;
    bool bigEndian = false;
};

enum class AudioOpenResult {
    kOpened,
    kUnsupportedFormat,  // this format cannot be played as it is; another one may be
    kFailed,             // no sound here at all (no device, no driver, device busy)
};

class AudioOutput {
  public:
    // Closes the output if it is open.
    virtual ~AudioOutput() = default;
    // Called by the device's open, from any thread but never at the same time as another call: opens the
    // output paused for exactly this format. blockBytes is the size the device will write in.
    virtual AudioOpenResult Open(const AudioSpec& spec, int32_t blockBytes) = 0;
    // Called by the device's close: drops what is queued and closes. Harmless when not open.
    virtual void Close() = 0;
    // Starts (false) or pauses (true) the playing of what is queued.
    virtual void Pause(bool paused) = 0;
    // Queues bytes behind what is queued; false when the output took none of them.
    virtual bool Write(const uint8_t* data, int32_t bytes) = 0;
    // Bytes played (consumed by the hardware) since Open; 64 bits, so it never wraps.
    virtual int64_t PlayedBytes() = 0;
    // Bytes written and not yet played.
    virtual int64_t QueuedBytes() = 0;
    // One line on why the last Open failed, for the user.
    virtual std::string GetError() const = 0;
};

struct AudioOutputEntry {
    const char* name;
    const char* description;
    // A new, closed output; null when this output cannot exist in this build.
    std::unique_ptr<AudioOutput> (*create)();
};

// Every output of this build, the preferred first.
const std::vector<AudioOutputEntry>& AudioOutputs();
// The output of that name, or null when there is none.
std::unique_ptr<AudioOutput> CreateAudioOutput(const std::string& name);

}  // namespace platform
