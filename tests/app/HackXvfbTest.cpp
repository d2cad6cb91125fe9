// kestapp as a display hack of the screensaver daemon, end to end: the real program on an Xvfb server of
// its own, told its window as the daemon tells it (XSCREENSAVER_WINDOW, or -window-id among the daemon's
// other flags). The window fills with the scene as the headless backend draws it, centred when the window
// is larger and scaled down when it is smaller, and the program ends with status 0 when the window goes or
// on SIGTERM. A show inside a window takes that window's lock: the saver's does not refuse it.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/InstanceLock.h"
#include "tests/support/Xvfb.h"

// Xlib after GoogleTest, whose names its macros (None, Bool, Status) would break.
#include <X11/Xutil.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int32_t kSceneWidth = 800;
constexpr int32_t kSceneHeight = 600;

// Parts of the scene that nothing moves over in the first seconds: the first bubble and the logo.
struct Region {
    int32_t left, top, width, height;
};
constexpr Region kRegions[] = {{38, 210, 60, 60}, {640, 578, 160, 22}};

// 0x00RRGGBB pixels, top row first.
struct Image {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int32_t x, int32_t y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

bool ReadPng(const fs::path& path, Image& image) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&png, path.c_str()) == 0) {
        return false;
    }
    png.format = PNG_FORMAT_BGRA;
    image.width = int32_t(png.width);
    image.height = int32_t(png.height);
    image.pixels.assign(size_t(png.width) * png.height, 0);
    if (png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr) == 0) {
        return false;
    }
    for (uint32_t& p : image.pixels) {
        p &= 0xFFFFFF;
    }
    return true;
}

// A window's pixels as the X server shows them (its children included), or an empty image.
Image Grab(::Display* x, Window window) {
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
            channels[c] += (p >> (8 * c)) & 0xFF;
        }
        ++count;
    }
};

// How far the window's picture of the reference scene's regions is from the scene, as the largest
// difference of their mean colours per channel. The window shows the scene centred, scaled down (keeping
// its shape) to fit and never enlarged. Means, because a scaled-down picture samples textures differently
// from any reference; pixels within a pixel of a region's edge do not count.
double SceneDistance(const Image& window, const Image& scene) {
    if (window.pixels.empty()) {
        return 255;
    }
    double scale = std::min({1.0, double(window.width) / scene.width, double(window.height) / scene.height});
    int32_t width = int32_t(scene.width * scale);
    int32_t height = int32_t(scene.height * scale);
    int32_t left = (window.width - width) / 2;
    int32_t top = (window.height - height) / 2;
    double worst = 0;
    for (const Region& r : kRegions) {
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

bool WaitFor(std::chrono::milliseconds timeout, const std::function<bool()>& done) {
    Clock::time_point end = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// One run of kestapp with the lock and configuration directory home, an optional XSCREENSAVER_WINDOW and
// its stderr kept in a file. A run the test did not see end is killed.
class Program {
  public:
    Program(const fs::path& home, const std::string& display, const std::string& hostEnv,
            const std::vector<std::string>& args)
        : errors_(home / ("stderr-" + std::to_string(++runs_))) {
        // As in the show's test: leaks of SDL and Mesa at exit are not the program's.
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
    fs::path errors_;
    pid_t pid_ = -1;
    int status_ = 0;
};

int IgnoreXErrors(::Display*, XErrorEvent*) {
    return 0;
}

std::string Hex(Window window) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(window));
    return text;
}

class HackXvfb : public ::testing::Test {
  protected:
    void SetUp() override {
        server_ = std::make_unique<testsupport::Xvfb>("1280x1024x24");
        if (server_->Name().empty()) {
            GTEST_SKIP() << server_->Problem();
        }
        home_ = fs::temp_directory_path() / ("kest-hack-" + std::to_string(getpid()));
        fs::create_directories(home_);
        XSetErrorHandler(IgnoreXErrors);
        x_ = XOpenDisplay(server_->Name().c_str());
        ASSERT_NE(x_, nullptr);
    }
    void TearDown() override {
        if (x_ != nullptr) {
            XCloseDisplay(x_);
        }
        if (!home_.empty()) {
            fs::remove_all(home_);
        }
    }

    std::unique_ptr<testsupport::Xvfb> server_;
    fs::path home_;
    ::Display* x_ = nullptr;
};

TEST_F(HackXvfb, FillsTheHostWindowWithTheSceneAndEndsWithItOrOnSigterm) {
    // The reference: the same show drawn headless.
    fs::path snapshot = home_ / "scene.png";
    Program headless(home_, "", "",
                     {"--video=headless", "--screen=1024x768x32", "--seed=1", "--seconds=1",
                      "--snapshot=" + snapshot.string(), "/s"});
    ASSERT_EQ(headless.WaitExit(std::chrono::seconds(60)), 0) << headless.Errors();
    Image scene;
    ASSERT_TRUE(ReadPng(snapshot, scene)) << headless.Errors();
    ASSERT_EQ(scene.width, kSceneWidth);
    ASSERT_EQ(scene.height, kSceneHeight);

    // The daemon's saver holds the application's lock all along: a hack in a window is not refused by it.
    setenv("XDG_RUNTIME_DIR", home_.c_str(), 1);
    platform::InstanceLock saver;
    ASSERT_TRUE(saver.Acquire("KestApp"));

    enum class Told { ByEnvironment, ByWindowId, ByRoot };  // -window-id among the daemon's other flags
    struct Case {
        int width, height;  // of the window the test creates; none for the root window (1280x1024)
        Told told;
        bool endBySignal;  // else by destroying the window
    };
    for (const Case& c : {Case{1024, 768, Told::ByEnvironment, false}, Case{200, 150, Told::ByWindowId, true},
                          Case{0, 0, Told::ByRoot, true}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        Window host = DefaultRootWindow(x_);
        if (c.told != Told::ByRoot) {
            host = XCreateSimpleWindow(x_, host, 0, 0, unsigned(c.width), unsigned(c.height), 0, 0, 0x2050A0);
            XMapWindow(x_, host);
            XSync(x_, False);
        }
        std::vector<std::string> hackArgs{"-root"};
        if (c.told != Told::ByRoot) {
            hackArgs = {"-install", "-visual", "default", "-window-id", Hex(host), "-fps"};
        }
        std::vector<std::string> args{"--seed=1"};
        if (c.told != Told::ByEnvironment) {
            args.insert(args.end(), hackArgs.begin(), hackArgs.end());
        }
        Program hack(home_, server_->Name(), c.told == Told::ByEnvironment ? std::to_string(host) : "", args);

        double distance = 255;
        bool shown = WaitFor(std::chrono::seconds(20), [&] {
            distance = SceneDistance(Grab(x_, host), scene);
            return distance <= 6 || !hack.Running();
        });
        ASSERT_TRUE(hack.Running()) << "the hack ended: " << hack.Errors();
        EXPECT_TRUE(shown && distance <= 6) << "the window differs from the scene by " << distance;
        // Where the window is larger than the scene, our black surrounds it, not the host's own colour.
        if (c.width == 0 || c.width > kSceneWidth) {
            EXPECT_EQ(Grab(x_, host).At(2, 2), 0u);
        }

        // The daemon's settings dialog resizes its preview window: the show follows.
        if (c.told == Told::ByEnvironment) {
            XResizeWindow(x_, host, 400, 300);
            XSync(x_, False);
            EXPECT_TRUE(WaitFor(std::chrono::seconds(5),
                                [&] {
                                    distance = SceneDistance(Grab(x_, host), scene);
                                    return distance <= 6;
                                }))
                << "resized, the window differs from the scene by " << distance;
        }

        // A second show in the same window is refused at once; the first plays on.
        Program second(home_, server_->Name(), "", hackArgs);
        EXPECT_EQ(second.WaitExit(std::chrono::seconds(20)), 1) << second.Errors();
        EXPECT_TRUE(hack.Running());

        if (c.endBySignal) {
            hack.Terminate();
        } else {
            XDestroyWindow(x_, host);
            XSync(x_, False);
        }
        EXPECT_EQ(hack.WaitExit(std::chrono::seconds(3)), 0) << hack.Errors();
        EXPECT_EQ(hack.Errors().find("X Error"), std::string::npos) << hack.Errors();
        if (c.endBySignal && c.told != Told::ByRoot) {
            XDestroyWindow(x_, host);
        }
    }
}

TEST_F(HackXvfb, AWindowIdThatNamesNoWindowEndsTheProgram) {
    // Not a window id at all: a bad command line.
    for (const char* id : {"0xZZ", "0", "-5"}) {
        Program hack(home_, server_->Name(), "", {"-window-id", id});
        EXPECT_EQ(hack.WaitExit(std::chrono::seconds(20)), 1) << id;
    }
    // A number that names no window: nothing to show in, said so, and no show running unseen.
    Program hack(home_, server_->Name(), "", {"-window-id", "12345"});
    EXPECT_NE(hack.WaitExit(std::chrono::seconds(20)), -1);
    EXPECT_NE(hack.Errors().find("no window 0x3039"), std::string::npos) << hack.Errors();
}

}  // namespace
