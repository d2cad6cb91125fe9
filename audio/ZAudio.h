// Opening and closing a program's audio: one device on the machine's sound output, its mixer, and the
// standard sound readers and decoder. The application object keeps the pair; tools may keep their own.
#pragma once

#include <cstdint>
#include <memory>

#include "audio/ZAudioDevice.h"
#include "audio/ZAudioMixer.h"

struct ZAudio {
    std::unique_ptr<ZAudioDevice> device;
    std::unique_ptr<ZAudioMixer> mixer;
};

// Creates the device for format (blockBytes 0: the block rule), starts output, creates the mixer with
// levels, and registers the pass-through decoder and the raw and WAVE readers. False, with nothing made,
// when audio is disabled or no device could be created. Audio that is already open is closed first.
bool OpenAudio(ZAudio& audio, const ZAudioEncodingFormat& format, int32_t blockBytes, int32_t levels);
// Stops output, deletes the mixer, then the device. Harmless when nothing is open.
void CloseAudio(ZAudio& audio);
