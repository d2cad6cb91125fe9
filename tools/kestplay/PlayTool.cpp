#include "tools/kestplay/PlayTool.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>

#include "audio/ZAudio.h"
#include "audio/ZSoundChannel.h"
#include "audio/ZSoundRegistry.h"
#include "platform/AudioOutput.h"
#include "tools/common/ItemSource.h"

namespace playtool {

namespace {

std::atomic<bool> gStopRequested{false};
bool gInteractive = false;

constexpr const char* kUsage =
    "Usage: kestplay SOUND [--device=NAME] [--seconds=N]\n"
    "\n"
    "Plays a sound through the framework's audio device and mixer, showing the position as it plays,\n"
    "until its end, N seconds, or Ctrl-C.\n"
    "\n"
    "  SOUND            a WAVE (.wav) or raw (RSX) sound file, or an item of a media container as FILE:ID\n"
    "                   (the container plain or appended to a program); the kind is read from the contents\n"
    "  --device=NAME    the sound output: sdl (the machine's sound, the default) or null (no sound: the\n"
    "                   sound still advances in real time); SDL's own variables choose its driver\n"
    "  --seconds=N      stop after N seconds (a positive number, fractions allowed)\n"
    "  --help           this text\n"
    "\n"
    "Exit status: 0 when played, 1 when the sound cannot be played, 130 when interrupted.\n";

struct Options {
    std::string source;
    std::string device;
    double seconds = 0;  // 0: to the end
    bool help = false;
};

// "--name=value" or "--name value"; true when arg is the option, with value set (i may advance).
bool TakeValue(const std::vector<std::string>& args, size_t& i, const char* name, std::string& value) {
    const std::string& arg = args[i];
    size_t length = std::strlen(name);
    if (arg.compare(0, length, name) != 0) {
        return false;
    }
    if (arg.size() > length && arg[length] == '=') {
        value = arg.substr(length + 1);
        return true;
    }
    if (arg.size() == length && i + 1 < args.size()) {
        value = args[++i];
        return true;
    }
    return arg.size() == length;  // the option without its value: value stays empty
}

bool IsKnownOutput(const std::string& name) {
    for (const platform::AudioOutputEntry& entry : platform::AudioOutputs()) {
        if (name == entry.name) {
            return true;
        }
    }
    return false;
}

std::string OutputNames() {
    std::string names;
    for (const platform::AudioOutputEntry& entry : platform::AudioOutputs()) {
        names += (names.empty() ? "" : ", ") + std::string(entry.name);
    }
    return names;
}

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string value;
        if (args[i] == "--help" || args[i] == "-h") {
            options.help = true;
        } else if (TakeValue(args, i, "--device", value)) {
            if (!IsKnownOutput(value)) {
                error = "unknown device \"" + value + "\" (this build has: " + OutputNames() + ")";
                return false;
            }
            options.device = value;
        } else if (TakeValue(args, i, "--seconds", value)) {
            char* end = nullptr;
            options.seconds = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !std::isfinite(options.seconds) || options.seconds <= 0) {
                error = "--seconds needs a positive number of seconds";
                return false;
            }
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            error = "unknown option " + args[i] + " (see kestplay --help)";
            return false;
        } else if (options.source.empty()) {
            options.source = args[i];
        } else {
            error = "one sound at a time (see kestplay --help)";
            return false;
        }
    }
    if (options.source.empty() && !options.help) {
        error = "no sound given (see kestplay --help)";
        return false;
    }
    return true;
}

// The kind of sound in file, from its first bytes: WAVE, raw, or unknown.
ZTypeCode SniffType(ZFile& file) {
    uint8_t head[12] = {};
    file.Seek(0);
    int32_t got = file.Read(head, sizeof(head));
    file.Seek(0);
    if (got >= 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0) {
        return kTypeWave;
    }
    if (got >= 4 && std::memcmp(head, "RSX ", 4) == 0) {
        return kTypeRawSound;
    }
    return kTypeUnknown;
}

// Opens the sound named by text and parses its header; false with one line in error.
bool OpenSound(const std::string& text, ZFile& file, std::shared_ptr<ZSoundReader>& reader,
               std::string& error) {
    std::string path;
    uint16_t id = 0;
    ZTypeCode itemType = kTypeWave;
    bool opened = toolsupport::SplitItem(text, path, id)
                      ? toolsupport::OpenContainerItem(path, id, file, itemType, error)
                      : toolsupport::OpenPlainFile(text, file, error);
    if (!opened) {
        return false;
    }
    ZTypeCode type = SniffType(file);
    if (type == kTypeUnknown) {
        error = text + ": not a WAVE or raw sound file";
        return false;
    }
    std::unique_ptr<ZSoundReader> parsed = SoundRegistry().OpenReader(type, &file);
    if (parsed == nullptr) {
        error = text + ": damaged or unsupported " + (type == kTypeWave ? "WAVE" : "raw sound") + " header";
        return false;
    }
    reader = std::move(parsed);
    return true;
}

// m:ss.t
std::string TimeText(double ms) {
    int64_t tenths = int64_t(std::max(ms, 0.0) / 100.0);
    char text[32];
    std::snprintf(text, sizeof(text), "%lld:%02lld.%lld", static_cast<long long>(tenths / 600),
                  static_cast<long long>(tenths / 10 % 60), static_cast<long long>(tenths % 10));
    return text;
}

std::string Describe(const ZAudioEncodingFormat& format) {
    return std::to_string(format.rate) + " Hz, " + std::to_string(format.bits) + "-bit, " +
           (format.stereo != 0 ? "stereo" : "mono");
}

// Plays until the channel's sound has been heard to its end, the time limit, or a stop request; returns
// the position reached in milliseconds of the sound.
//
// The device keeps a few blocks queued ahead of what the output has played, and one more pulled and
// waiting to be queued; after the sound's last frames it goes on queueing silence. So the position is
// what the channel rendered less all that, and once the channel has finished, the sound ends when the
// output has played what was ahead then, and one block more for the block the output holds itself.
// Without an open output the sound is "heard" in real time as the device pulls it.
double PlayUntilDone(ZAudio& audio, ZSoundChannel& channel, const Options& options, std::ostream& out) {
    using Ms = std::chrono::duration<double, std::milli>;
    using SteadyClock = std::chrono::steady_clock;
    const ZAudioEncodingFormat& format = channel.GetSourceFormat();
    double totalMs = format.FramesToMilliseconds(channel.GetTotalFrames());
    double blockMs = audio.device->GetBlockMilliseconds();
    SteadyClock::time_point start = SteadyClock::now();
    double position = 0;
    int64_t lastSecondShown = -1;
    std::optional<double> endsAt;  // on the hearing clock
    SteadyClock::time_point giveUpAt = SteadyClock::time_point::max();
    while (!gStopRequested.load()) {
        SteadyClock::time_point now = SteadyClock::now();
        bool open = audio.device->IsOpen();
        double heard = open ? audio.device->GetPlayedMilliseconds() : Ms(now - start).count();
        double ahead = open ? audio.device->GetBufferedMilliseconds() + blockMs : 0.0;
        if (channel.IsFinished() && !endsAt) {
            endsAt = heard + ahead + blockMs;
            // An output that stops playing (or a device that changes between open and closed) must not
            // keep the player waiting for ever.
            giveUpAt =
                now + std::chrono::duration_cast<SteadyClock::duration>(Ms(3 * (ahead + blockMs) + 2000));
        }
        double rendered = format.FramesToMilliseconds(channel.GetRenderedFrames());
        double left = endsAt ? std::max(*endsAt - blockMs - heard, 0.0) : ahead;
        position = std::max(position, std::clamp(rendered - left, 0.0, totalMs));
        if (gInteractive) {
            out << "\r" << TimeText(position) << " / " << TimeText(totalMs) << std::flush;
        } else if (int64_t(position / 1000) != lastSecondShown) {
            lastSecondShown = int64_t(position / 1000);
            out << TimeText(position) << " / " << TimeText(totalMs) << "\n";
        }
        if (options.seconds > 0 && position >= options.seconds * 1000.0) {
            // The limit is where playing stops; a late look at the clock does not move it.
            position = options.seconds * 1000.0;
            break;
        }
        if (endsAt && (heard >= *endsAt || now >= giveUpAt)) {
            position = totalMs;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(gInteractive ? 100 : 20));
    }
    if (gInteractive) {
        out << "\r" << TimeText(position) << " / " << TimeText(totalMs) << "\n";
    }
    return position;
}

}  // namespace

void RequestStop() {
    gStopRequested.store(true);
}

void SetInteractive(bool interactive) {
    gInteractive = interactive;
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    gStopRequested.store(false);
    Options options;
    std::string error;
    if (!ParseOptions(args, options, error)) {
        err << "kestplay: " << error << "\n";
        return 1;
    }
    if (options.help) {
        out << kUsage;
        return 0;
    }

    RegisterStandardSound();
    ZFile file;
    std::shared_ptr<ZSoundReader> reader;
    if (!OpenSound(options.source, file, reader, error)) {
        err << "kestplay: " << error << "\n";
        return 1;
    }
    const char* why = nullptr;
    std::shared_ptr<ZSoundChannel> channel = ZSoundChannel::Create(reader, SoundRegistry(), &why);
    if (channel == nullptr) {
        err << "kestplay: " << options.source << ": " << (why != nullptr ? why : "cannot be played") << "\n";
        return 1;
    }

    AudioOptions().outputName = options.device;
    ZAudio audio;
    if (!OpenAudio(audio, reader->GetFormat(), 0, 0)) {
        err << "kestplay: no audio device could be created\n";
        return 1;
    }
    if (!audio.device->IsOpen() && options.device != "null") {
        std::string why = audio.device->GetOpenError();
        err << "kestplay: warning: the sound output did not open" << (why.empty() ? "" : " (" + why + ")")
            << "; the sound advances in silence\n";
    }
    out << options.source << ": " << Describe(reader->GetFormat()) << ", "
        << TimeText(reader->GetFormat().FramesToMilliseconds(channel->GetTotalFrames())) << "\n";
    audio.mixer->AddChannel(channel);
    double position = PlayUntilDone(audio, *channel, options, out);
    CloseAudio(audio);

    if (channel->HasFailed()) {
        err << "kestplay: " << options.source << ": a read failed at " << TimeText(position) << "\n";
        return 1;
    }
    if (gStopRequested.load()) {
        out << "stopped at " << TimeText(position) << "\n";
        return 130;
    }
    out << "played " << TimeText(position) << "\n";
    return 0;
}

}  // namespace playtool
