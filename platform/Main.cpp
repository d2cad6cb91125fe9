#include "platform/Main.h"

#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include "platform/CWinApp.h"
#include "platform/Random.h"
#include "platform/Signals.h"
#include "platform/VideoBackend.h"

#ifndef KEST_VERSION
#define KEST_VERSION "0.0"
#endif

namespace platform {

namespace {

HostWindow gHostWindow;

bool ParseNumber(const char* text, uint32_t max, uint32_t& value) {
    if (text == nullptr || *text < '0' || *text > '9') {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != 0 || v > max) {
        return false;
    }
    value = static_cast<uint32_t>(v);
    return true;
}

bool ParseScreen(const char* text, ScreenMode& mode) {
    int w = 0;
    int h = 0;
    int d = 0;
    char tail = 0;
    if (std::sscanf(text, "%dx%dx%d%c", &w, &h, &d, &tail) != 3) {
        return false;
    }
    ScreenMode m{w, h, d};
    if (!IsValidScreenMode(m)) {
        return false;
    }
    mode = m;
    return true;
}

const char* ValueOf(const char* arg, const char* name) {
    size_t n = std::strlen(name);
    return std::strncmp(arg, name, n) == 0 && arg[n] == '=' ? arg + n + 1 : nullptr;
}

void PrintUsage(const char* program, const CWinApp* app) {
    std::printf(
        "Usage: %s [PLATFORM OPTIONS] [COMMAND LINE]\n"
        "\n"
        "Platform options (before the command line, each starting with --):\n"
        "  --video=NAME      video backend:",
        program);
    for (const VideoBootstrap* const* b = GetVideoBootstraps(); *b != nullptr; ++b) {
        std::printf(" %s", (*b)->name);
    }
    std::printf(
        " (default: the first that runs here)\n"
        "  --screen=WxHxD    size and depth of the virtual screen (default 1024x768x32;\n"
        "                    depth 8, 15, 16, 24 or 32; 1 and 4 to try the start-up checks);\n"
        "                    like a monitor, it takes display modes of its size or smaller\n"
        "  --seconds=N       end the run after N seconds (headless: in virtual time, as fast as it can)\n"
        "  --seed=N          seed the random generator with N instead of the time\n"
        "  --snapshot=FILE   write the screen to FILE (PNG) when the run ends\n"
        "  --media=FILE      show the media container FILE instead of the one the program carries\n"
        "  --timing          print \"first frame presented after N ms\" to stderr, N counted from the\n"
        "                    process's start (as the kernel records it, to 10 ms), and at the end how\n"
        "                    many frames the run presented\n"
        "  --help            show this help\n"
        "  --version         show the version\n"
        "  --                end of the platform options\n"
        "\n"
        "Video backends:\n");
    for (const VideoBootstrap* const* b = GetVideoBootstraps(); *b != nullptr; ++b) {
        std::printf("  %-10s %s\n", (*b)->name, (*b)->description);
    }
    if (app != nullptr && app->GetUsage()[0] != 0) {
        std::printf("\n%s", app->GetUsage());
    }
}

bool DisplayAvailable() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && x11[0] != 0) || (wayland != nullptr && wayland[0] != 0);
}

int64_t Nanoseconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// When the kernel started this process, on CLOCK_MONOTONIC, so that start-up is measured from the exec
// and not from the first line of ours that runs. The kernel keeps the start in clock ticks of
// CLOCK_BOOTTIME, which runs with the monotonic clock but also counts suspend. Falls back to now.
int64_t ProcessStartNs() {
    int64_t monotonic = Nanoseconds(CLOCK_MONOTONIC);
    int64_t boot = Nanoseconds(CLOCK_BOOTTIME);
    std::ifstream file("/proc/self/stat");
    std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The command name, field 2, may hold spaces and parentheses: count the fields after its last ')'.
    size_t close = stat.rfind(')');
    long ticksPerSecond = sysconf(_SC_CLK_TCK);
    if (close == std::string::npos || ticksPerSecond <= 0) {
        return monotonic;
    }
    std::istringstream fields(stat.substr(close + 1));
    std::string skipped;
    for (int field = 3; field < 22; ++field) {
        fields >> skipped;
    }
    unsigned long long startTicks = 0;
    if (!(fields >> startTicks)) {
        return monotonic;
    }
    int64_t startBoot = int64_t(startTicks) * (1000000000 / ticksPerSecond);
    return monotonic - (boot - startBoot);
}

}  // namespace

void SetHostWindow(const HostWindow& host) {
    gHostWindow = host;
}

const HostWindow& GetHostWindow() {
    return gHostWindow;
}

std::string JoinCommandLine(int count, const char* const* args) {
    std::string line;
    for (int i = 0; i < count; ++i) {
        std::string arg = args[i] != nullptr ? args[i] : "";
        bool quote = arg.empty() || arg.find_first_of(" \t\r\n") != std::string::npos;
        if (i > 0) {
            line += ' ';
        }
        line += quote ? "\"" + arg + "\"" : arg;
    }
    return line;
}

bool ParseRunOptions(int argc, const char* const* argv, RunOptions& options, std::string& error) {
    int i = 1;
    for (; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strncmp(arg, "--", 2) != 0) {
            break;
        }
        const char* value = nullptr;
        if (std::strcmp(arg, "--") == 0) {
            ++i;
            break;
        } else if (std::strcmp(arg, "--help") == 0) {
            options.help = true;
        } else if (std::strcmp(arg, "--version") == 0) {
            options.version = true;
        } else if (std::strcmp(arg, "--timing") == 0) {
            options.timing = true;
        } else if ((value = ValueOf(arg, "--video")) != nullptr) {
            options.video = value;
        } else if ((value = ValueOf(arg, "--screen")) != nullptr) {
            if (!ParseScreen(value, options.screen)) {
                error = std::string("bad screen '") + value +
                        "': expected WxHxD with depth 1, 4, 8, 15, 16, 24 or 32";
                return false;
            }
        } else if ((value = ValueOf(arg, "--seconds")) != nullptr) {
            if (!ParseNumber(value, 4000000, options.seconds)) {
                error = std::string("bad number of seconds '") + value + "'";
                return false;
            }
        } else if ((value = ValueOf(arg, "--seed")) != nullptr) {
            if (!ParseNumber(value, 0xFFFFFFFFu, options.seed)) {
                error = std::string("bad seed '") + value + "'";
                return false;
            }
            options.hasSeed = true;
        } else if ((value = ValueOf(arg, "--snapshot")) != nullptr) {
            if (*value == 0) {
                error = "--snapshot needs a file name";
                return false;
            }
            options.snapshot = value;
        } else if ((value = ValueOf(arg, "--media")) != nullptr) {
            if (*value == 0) {
                error = "--media needs a file name";
                return false;
            }
            // Absolute, so that the name keeps its meaning whatever the program's directory becomes.
            std::error_code ec;
            std::filesystem::path absolute = std::filesystem::absolute(value, ec);
            options.media = ec ? std::string(value) : absolute.string();
        } else {
            error = std::string("unknown option '") + arg + "'";
            return false;
        }
    }
    options.commandLine = JoinCommandLine(argc - i, argv + i);
    return true;
}

int RunApplication(int argc, char** argv) {
    const char* program = argc > 0 ? argv[0] : "kestapp";
    const char* slash = std::strrchr(program, '/');
    program = slash != nullptr ? slash + 1 : program;
    CWinApp* app = CWinApp::GetCurrent();

    RunOptions options;
    std::string error;
    if (!ParseRunOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "%s: %s (see --help)\n", program, error.c_str());
        return 1;
    }
    if (options.help) {
        PrintUsage(program, app);
        return 0;
    }
    if (options.version) {
        std::printf("%s %s\n", program, KEST_VERSION);
        return 0;
    }
    if (app == nullptr) {
        std::fprintf(stderr, "%s: no application object\n", program);
        return 1;
    }

    VideoOptions videoOptions;
    const char* name = options.video.empty() ? nullptr : options.video.c_str();
    if (name == nullptr && !DisplayAvailable()) {
        name = "headless";
    }
    bool headless = name != nullptr && std::strcmp(name, "headless") == 0;
    videoOptions.virtualTime = headless && options.seconds > 0;
    std::unique_ptr<VideoBackend> backend = CreateVideoBackend(name, videoOptions, error);
    if (backend == nullptr) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return 1;
    }
    Display::Get().Reset(options.screen);
    int64_t start = ProcessStartNs();
    if (options.timing) {
        Display::Get().ReportFirstPresent(start);
    }
    SetFixedSeed(options.hasSeed, options.seed);
    InstallTerminationHandlers();
    SetVideoBackend(backend.get());

    app->m_lpCmdLine = options.commandLine;
    app->SetRunLimit(options.seconds * 1000u);
    app->SetSnapshotPath(options.snapshot);
    app->SetMediaFile(options.media);
    int status = 1;
    if (app->InitInstance()) {
        status = app->Run();
    } else {
        app->ExitInstance();
    }
    SetVideoBackend(nullptr);
    if (options.timing) {
        // What the presenting costs depends on how often it happens: frames that changed, and passes that
        // found nothing to send.
        Display& display = Display::Get();
        std::fprintf(stderr, "presented %u frames (%u presents asked for) in %lld ms\n",
                     display.GetFramesSent(), display.GetPresentCount(),
                     static_cast<long long>((Nanoseconds(CLOCK_MONOTONIC) - start) / 1000000));
    }
    return status;
}

}  // namespace platform
