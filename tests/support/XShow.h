// What the end-to-end tests of the real program on an Xvfb server share: runs of kestapp with a home of
// their own, a window's pixels read back through Xlib, and a fixture holding the server and a connection.
// Include it after GoogleTest, whose names Xlib's macros (None, Bool, Status) would break.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/Png.h"
#include "tests/support/Xvfb.h"

// Xlib after GoogleTest.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace testsupport {

// The scene the show draws, and parts of it that nothing moves over in the first seconds: the first bubble
// and the logo.
constexpr int32_t kSceneWidth = 800;
constexpr int32_t kSceneHeight = 600;
struct ScenePart {
    const char* name;
    int32_t left, top, width, height;
};
constexpr ScenePart kBubble{"the bubble at (38,210)", 38, 210, 60, 60};
constexpr ScenePart kLogo{"the logo", 640, 578, 160, 22};

// Polls until done says so or the time is up.
inline bool WaitFor(std::chrono::milliseconds timeout, const std::function<bool()>& done) {
    std::chrono::steady_clock::time_point end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// A window's pixels as the X server shows them (its children included), or an empty image.
inline Image Grab(::Display* x, Window window) {
    Image image;
    XWindowAttributes a{};
    if (XGetWindowAttributes(x, window, &a) == 0 || a.map_state != IsViewable) {
        return image;
    }
    XImage* grabbed = XGetImage(x, window, 0, 0, unsigned(a.width), unsigned(a.height), AllPlanes, ZPixmap);
    if (grabbed == nullptr) {
        return image;
    }
    image.width = a.width;
    image.height = a.height;
    image.pixels.resize(size_t(a.width) * size_t(a.height));
    for (int32_t y = 0; y < a.height; ++y) {
        for (int32_t x = 0; x < a.width; ++x) {
            image.pixels[size_t(y) * size_t(a.width) + size_t(x)] =
                uint32_t(XGetPixel(grabbed, x, y)) & 0xFFFFFF;
        }
    }
    XDestroyImage(grabbed);
    return image;
}

// Per channel, the sum of a region's pixels and their count.
struct Sum {
    double channels[3] = {0, 0, 0};
    int count = 0;
    void Add(uint32_t p) {
        for (int c = 0; c < 3; ++c) {
            channels[c] += Channel(p, c);
        }
        ++count;
    }
};

// How far the window's picture of the reference scene's regions is from the scene, as the largest
// difference of their mean colours per channel. The window shows the scene centred, scaled down (keeping
// its shape) to fit and never enlarged. Means, because a scaled-down picture samples textures differently
// from any reference; pixels within a pixel of a region's edge do not count.
inline double SceneDistance(const Image& window, const Image& scene) {
    if (window.pixels.empty()) {
        return 255;
    }
    double scale = std::min({1.0, double(window.width) / scene.width, double(window.height) / scene.height});
    int32_t width = int32_t(scene.width * scale);
    int32_t height = int32_t(scene.height * scale);
    int32_t left = (window.width - width) / 2;
    int32_t top = (window.height - height) / 2;
    double worst = 0;
    for (const ScenePart& r : {kBubble, kLogo}) {
        Sum shown, expected;
        for (int32_t sy = r.top + 1; sy < r.top + r.height - 1; ++sy) {
            for (int32_t sx = r.left + 1; sx < r.left + r.width - 1; ++sx) {
                expected.Add(scene.At(sx, sy));
            }
        }
        for (int32_t wy = top; wy < top + height; ++wy) {
            double sy = (wy - top + 0.5) * scene.height / height;
            for (int32_t wx = left; wx < left + width; ++wx) {
                double sx = (wx - left + 0.5) * scene.width / width;
                if (sy >= r.top + 1 && sy < r.top + r.height - 1 && sx >= r.left + 1 &&
                    sx < r.left + r.width - 1) {
                    shown.Add(window.At(wx, wy));
                }
            }
        }
        if (shown.count == 0) {
            return 255;
        }
        for (int c = 0; c < 3; ++c) {
            worst = std::max(
                worst, std::abs(shown.channels[c] / shown.count - expected.channels[c] / expected.count));
        }
    }
    return worst;
}

// One run of kestapp (KESTAPP_PATH) with the lock and configuration directory home, XSCREENSAVER_WINDOW set
// to hostEnv or unset when it is empty, and its stderr kept in a file. A run the test did not see end is
// killed.
class Program {
  public:
    Program(const std::filesystem::path& home, const std::string& display,
            const std::vector<std::string>& args, const std::string& hostEnv = "")
        : errors_(home / ("stderr-" + std::to_string(++runs_))) {
        // In the sanitizer build, leaks are the headless tests' business: the real window brings SDL,
        // D-Bus and Mesa, whose allocations left at exit are not the program's and would turn every clean
        // exit into status 1. Memory errors are still reported.
        const char* asan = std::getenv("ASAN_OPTIONS");
        std::string asanOptions =
            (asan != nullptr && asan[0] != 0 ? std::string(asan) + ":" : std::string()) + "detect_leaks=0";
        pid_ = fork();
        if (pid_ == 0) {
            setenv("XDG_RUNTIME_DIR", home.c_str(), 1);
            setenv("XDG_CONFIG_HOME", home.c_str(), 1);
            setenv("DISPLAY", display.c_str(), 1);
            setenv("ASAN_OPTIONS", asanOptions.c_str(), 1);
            unsetenv("WAYLAND_DISPLAY");
            if (hostEnv.empty()) {
                unsetenv("XSCREENSAVER_WINDOW");
            } else {
                setenv("XSCREENSAVER_WINDOW", hostEnv.c_str(), 1);
            }
            if (freopen(errors_.c_str(), "w", stderr) == nullptr) {
                _exit(126);
            }
            std::vector<char*> argv{const_cast<char*>(KESTAPP_PATH)};
            for (const std::string& a : args) {
                argv.push_back(const_cast<char*>(a.c_str()));
            }
            argv.push_back(nullptr);
            execv(KESTAPP_PATH, argv.data());
            _exit(127);
        }
    }
    ~Program() {
        if (Running()) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Running() {
        if (pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_) {
            pid_ = -1;
        }
        return pid_ > 0;
    }
    void Terminate() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
        }
    }
    // The exit status once ended within timeout, else -1; 128 + the signal for a run that died of one.
    int WaitExit(std::chrono::milliseconds timeout) {
        if (!WaitFor(timeout, [this] { return !Running(); })) {
            return -1;
        }
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
    }
    std::string Errors() const {
        std::ifstream in(errors_);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

  private:
    static inline int runs_ = 0;
    std::filesystem::path errors_;
    pid_t pid_ = -1;
    int status_ = 0;
};

// An Xvfb server of the test's own with a connection to it, and a home directory for the runs; the test
// skips where Xvfb is missing.
class XvfbTest : public ::testing::Test {
  protected:
    // screen: Xvfb's WxHxD; name: the home directory's prefix in the temporary directory.
    void Start(const std::string& screen, const std::string& name) {
        server_ = std::make_unique<Xvfb>(screen);
        if (server_->Name().empty()) {
            GTEST_SKIP() << server_->Problem();
        }
        home_ = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(getpid()));
        std::filesystem::create_directories(home_);
        XSetErrorHandler(IgnoreXErrors);
        x_ = XOpenDisplay(server_->Name().c_str());
        ASSERT_NE(x_, nullptr);
    }
    // The reference the window is compared with: the same show drawn headless, one second in. Empty, with
    // the failure reported, when that run fails.
    Image HeadlessScene() {
        std::filesystem::path snapshot = home_ / "scene.png";
        Program headless(home_, "",
                         {"--video=headless", "--screen=1024x768x32", "--seed=1", "--seconds=1",
                          "--snapshot=" + snapshot.string(), "/s"});
        EXPECT_EQ(headless.WaitExit(std::chrono::seconds(60)), 0) << headless.Errors();
        Image scene;
        EXPECT_TRUE(ReadPng(snapshot, scene)) << headless.Errors();
        return scene;
    }
    void TearDown() override {
        if (x_ != nullptr) {
            XCloseDisplay(x_);
        }
        if (!home_.empty()) {
            std::filesystem::remove_all(home_);
        }
    }

    std::unique_ptr<Xvfb> server_;
    std::filesystem::path home_;
    ::Display* x_ = nullptr;

  private:
    // A window may go between two requests of ours; Xlib's default handler would end the test program then.
    static int IgnoreXErrors(::Display*, XErrorEvent*) { return 0; }
};

}  // namespace testsupport
