// kestapp as a display hack of the screensaver daemon, end to end: the real program on an Xvfb server of
// its own, told its window as the daemon tells it (XSCREENSAVER_WINDOW, or -window-id among the daemon's
// other flags). The window fills with the scene as the headless backend draws it, centred when the window
// is larger and scaled down when it is smaller, and the program ends with status 0 when the window goes or
// on SIGTERM. A show inside a window takes that window's lock: the saver's does not refuse it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/InstanceLock.h"
// After GoogleTest, for Xlib's macros.
#include "tests/support/XShow.h"

namespace {

using namespace testsupport;

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

std::string Hex(Window window) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(window));
    return text;
}

class HackXvfb : public testsupport::XvfbTest {
  protected:
    void SetUp() override { Start("1280x1024x24", "kest-hack"); }
};

TEST_F(HackXvfb, FillsTheHostWindowWithTheSceneAndEndsWithItOrOnSigterm) {
    Image scene = HeadlessScene();
    ASSERT_EQ(scene.width, kSceneWidth);
    ASSERT_EQ(scene.height, kSceneHeight);

    // The daemon's saver holds the application's lock all along: a hack in a window is not refused by it.
    setenv("XDG_RUNTIME_DIR", home_.c_str(), 1);
    platform::InstanceLock saver;
    ASSERT_TRUE(saver.Acquire("KestApp"));

    // -window-id comes among the daemon's other flags; the daemon itself starts "kestapp -root" with its
    // window in the environment (a virtual root).
    enum class Told { ByEnvironment, ByWindowId, ByRoot, ByDaemon };
    struct Case {
        int width, height;  // of the window the test creates; none for the root window (1280x1024)
        Told told;
        bool endBySignal;  // else by destroying the window
    };
    for (const Case& c : {Case{1024, 768, Told::ByEnvironment, false}, Case{200, 150, Told::ByWindowId, true},
                          Case{0, 0, Told::ByRoot, true}, Case{640, 480, Told::ByDaemon, false}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        Window host = DefaultRootWindow(x_);
        if (c.told != Told::ByRoot) {
            host = XCreateSimpleWindow(x_, host, 0, 0, unsigned(c.width), unsigned(c.height), 0, 0, 0x2050A0);
            XMapWindow(x_, host);
            XSync(x_, False);
        }
        std::vector<std::string> hackArgs{"-root"};
        if (c.told == Told::ByWindowId || c.told == Told::ByEnvironment) {
            hackArgs = {"-install", "-visual", "default", "-window-id", Hex(host), "-fps"};
        }
        std::vector<std::string> args{"--seed=1"};
        if (c.told != Told::ByEnvironment) {
            args.insert(args.end(), hackArgs.begin(), hackArgs.end());
        }
        const bool byEnvironment = c.told == Told::ByEnvironment || c.told == Told::ByDaemon;
        const std::string hostEnv = byEnvironment ? std::to_string(host) : "";
        Program hack(home_, server_->Name(), args, hostEnv);

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
        Program second(home_, server_->Name(), hackArgs, hostEnv);
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
        Program hack(home_, server_->Name(), {"-window-id", id});
        EXPECT_EQ(hack.WaitExit(std::chrono::seconds(20)), 1) << id;
    }
    // A number that names no window: nothing to show in, said so, and no show running unseen.
    Program hack(home_, server_->Name(), {"-window-id", "12345"});
    EXPECT_EQ(hack.WaitExit(std::chrono::seconds(20)), 1);
    EXPECT_NE(hack.Errors().find("no window 0x3039"), std::string::npos) << hack.Errors();
}

}  // namespace
