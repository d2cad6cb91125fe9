#include "platform/Main.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/CWinApp.h"
#include "platform/Random.h"
#include "platform/Signals.h"
#include "platform/VideoBackend.h"

#ifndef KEST_VERSION
#define KEST_VERSION "0.0"
#endif

namespace platform {

namespace {

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

}  // namespace

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
    SetFixedSeed(options.hasSeed, options.seed);
    InstallTerminationHandlers();
    SetVideoBackend(backend.get());

    app->m_lpCmdLine = options.commandLine;
    app->SetRunLimit(options.seconds * 1000u);
    app->SetSnapshotPath(options.snapshot);
    int status = 1;
    if (app->InitInstance()) {
        status = app->Run();
    } else {
        app->ExitInstance();
    }
    SetVideoBackend(nullptr);
    return status;
}

}  // namespace platform
