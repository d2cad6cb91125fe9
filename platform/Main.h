// The program's entry: reads the platform options that come first on the command line, sets up the
// clock, the random source and the video backend, and runs the application object.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Display.h"

namespace platform {

struct RunOptions {
    std::string video;     // backend name; empty picks the first that runs here
    ScreenMode screen;     // the virtual screen
    uint32_t seconds = 0;  // end the run after this long (0: no limit)
    bool hasSeed = false;
    uint32_t seed = 0;
    std::string snapshot;  // PNG written when the loop ends
    std::string media;     // the media container to show instead of the program's own (absolute)
    bool timing = false;   // report when the first frame was presented
    bool help = false;
    bool version = false;
    std::string commandLine;  // everything after the platform options, for the application
};

// Parses argv[1..]: options starting with "--" come first; "--" alone ends them; the rest forms the
// application's command-line text. False with a message in error for a bad option.
bool ParseRunOptions(int argc, const char* const* argv, RunOptions& options, std::string& error);

// Joins arguments into one command-line text, quoting those that hold white space.
std::string JoinCommandLine(int count, const char* const* args);

// The window of another program that the show is to fill, as a display hack does: the real window covers
// it and shows `part` of the virtual screen centred, scaled down to fit and never enlarged. Set by the
// application before its first frame; backends that cannot show inside a foreign window ignore it.
struct HostWindow {
    WindowHandle window = 0;  // 0: an ordinary window of our own
    ScreenRect part;
};
// The display's root window, for a hack told to draw on the desktop (X window ids never use the top bits).
constexpr WindowHandle kRootWindow = 0xFFFFFFFFu;
void SetHostWindow(const HostWindow& host);
const HostWindow& GetHostWindow();

// Runs the application object (CWinApp::GetCurrent()). Returns the process exit status: 0 when the program
// ended normally, 1 when start-up failed.
int RunApplication(int argc, char** argv);

}  // namespace platform
