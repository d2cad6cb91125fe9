// The show end to end, as a user meets it: the real kestapp on an X server of its own, its real window
// read back through Xlib and driven with xdotool. Saver mode shows the scene as the headless backend draws
// it, pops the bubble clicked on and ends on a key; preview mode draws the still inside a window of ours
// and ends when that window goes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/HostInput.h"
// After GoogleTest, for Xlib's macros.
#include "tests/support/XShow.h"

namespace fs = std::filesystem;

namespace {

using namespace testsupport;

int ChannelDistance(uint32_t a, uint32_t b) {
    int d = 0;
    for (int c = 0; c < 3; ++c) {
        d += std::abs(Channel(a, c) - Channel(b, c));
    }
    return d / 3;
}

// The mean distance per channel between a region of the scene in the reference and where the window shows
// it scaled. Only window pixels whose centres lie a pixel inside the region count, so that filtering at the
// region's edges does not.
double RegionDistance(const Image& window, const Image& reference, const ScenePart& r) {
    platform::ScreenRect view =
        platform::LetterboxView(window.width, window.height, reference.width, reference.height);
    double sum = 0;
    int count = 0;
    for (int32_t wy = view.top; wy < view.bottom; ++wy) {
        double sy = (wy - view.top + 0.5) * reference.height / view.Height();
        if (sy < r.top + 1 || sy >= r.top + r.height - 1) {
            continue;
        }
        for (int32_t wx = view.left; wx < view.right; ++wx) {
            double sx = (wx - view.left + 0.5) * reference.width / view.Width();
            if (sx < r.left + 1 || sx >= r.left + r.width - 1) {
                continue;
            }
            sum += ChannelDistance(window.At(wx, wy), reference.At(int32_t(sx), int32_t(sy)));
            ++count;
        }
    }
    return count > 0 ? sum / count : 255;
}

// Where a point of the scene lies in the window.
void SceneToWindow(const Image& window, int32_t sx, int32_t sy, int32_t& wx, int32_t& wy) {
    platform::ScreenRect view =
        platform::LetterboxView(window.width, window.height, kSceneWidth, kSceneHeight);
    wx = view.left + int32_t((sx + 0.5) * view.Width() / kSceneWidth);
    wy = view.top + int32_t((sy + 0.5) * view.Height() / kSceneHeight);
}

// The mean distance per channel between two pictures of the window where it shows a region of the scene; 0
// when they do not both show the window at one size, since then no change was seen.
double WindowDistance(const Image& a, const Image& b, const ScenePart& r) {
    if (a.pixels.empty() || a.width != b.width || a.height != b.height) {
        return 0;
    }
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    SceneToWindow(a, r.left, r.top, left, top);
    SceneToWindow(a, r.left + r.width - 1, r.top + r.height - 1, right, bottom);
    double sum = 0;
    for (int32_t y = top; y <= bottom; ++y) {
        for (int32_t x = left; x <= right; ++x) {
            sum += ChannelDistance(a.At(x, y), b.At(x, y));
        }
    }
    return sum / (double(right - left + 1) * double(bottom - top + 1));
}

// The top-level window named "KestApp", shown; 0 while there is none.
Window FindShowWindow(::Display* x) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(x, DefaultRootWindow(x), &root, &parent, &children, &count) == 0) {
        return 0;
    }
    for (unsigned i = 0; i < count && found == 0; ++i) {
        char* name = nullptr;
        XWindowAttributes a{};
        if (XFetchName(x, children[i], &name) != 0 && name != nullptr) {
            if (std::string(name) == "KestApp" && XGetWindowAttributes(x, children[i], &a) != 0 &&
                a.map_state == IsViewable) {
                found = children[i];
            }
            XFree(name);
        }
    }
    XFree(children);
    return found;
}

// Runs xdotool on the display; true when it succeeded.
bool Xdotool(const std::string& display, const std::string& args) {
    return std::system(("DISPLAY=" + display + " xdotool " + args).c_str()) == 0;
}

class ShowXvfb : public testsupport::XvfbTest {
  protected:
    void SetUp() override {
        if (std::system("command -v xdotool >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "xdotool is not installed";
        }
        Start("1024x768x24", "kest-show");
    }
};

TEST_F(ShowXvfb, ShowsTheScenePopsTheBubbleClickedOnAndEndsOnAKey) {
    Image reference = HeadlessScene();
    ASSERT_EQ(reference.width, kSceneWidth);
    ASSERT_EQ(reference.height, kSceneHeight);

    Program show(home_, server_->Name(), {"--timing", "--seed=1", "/s"});
    Window window = 0;
    WaitFor(std::chrono::seconds(20), [&] { return (window = FindShowWindow(x_)) != 0 || !show.Running(); });
    ASSERT_TRUE(show.Running()) << "the show ended: " << show.Errors();
    ASSERT_NE(window, 0u) << "the show opened no window";

    // The scene shows once the backdrop's fade is over.
    for (const ScenePart& r : {kBubble, kLogo}) {
        double distance = 255;
        EXPECT_TRUE(WaitFor(std::chrono::seconds(10),
                            [&] {
                                distance = RegionDistance(Grab(x_, window), reference, r);
                                return distance <= 6;
                            }))
            << r.name << " differs from the headless scene by " << distance << " per channel";
    }
    if (HasFailure()) {
        // What the window showed, to look at beside the reference.
        fs::path kept = fs::temp_directory_path() / "kest-show-window.png";
        WritePng(kept, Grab(x_, window));
        WritePng(fs::temp_directory_path() / "kest-show-reference.png", reference);
        XWindowAttributes a{};
        XGetWindowAttributes(x_, window, &a);
        ADD_FAILURE() << "the window, " << a.width << "x" << a.height << " at (" << a.x << "," << a.y
                      << ") on the 1024x768 screen, is in " << kept << ", the reference beside it";
    }

    // A click pops the bubble: the burst plays and the photograph under it shows.
    Image before = Grab(x_, window);
    int32_t wx = 0, wy = 0;
    SceneToWindow(before, kBubble.left + kBubble.width / 2, kBubble.top + kBubble.height / 2, wx, wy);
    ASSERT_TRUE(
        Xdotool(server_->Name(), "mousemove " + std::to_string(wx) + " " + std::to_string(wy) + " click 1"));
    double change = 0;
    EXPECT_TRUE(WaitFor(std::chrono::seconds(5),
                        [&] {
                            change = WindowDistance(before, Grab(x_, window), kBubble);
                            return change > 20;
                        }))
        << "the bubble changed by only " << change << " per channel";
    EXPECT_TRUE(show.Running());

    // A key ends the show at once, and cleanly.
    ASSERT_TRUE(Xdotool(server_->Name(), "key Escape"));
    EXPECT_EQ(show.WaitExit(std::chrono::seconds(1)), 0) << show.Errors();
    // The start-up report comes once.
    std::string errors = show.Errors();
    size_t first = errors.find("first frame presented after ");
    EXPECT_NE(first, std::string::npos) << errors;
    EXPECT_EQ(errors.find("first frame presented after ", first + 1), std::string::npos) << errors;
}

TEST_F(ShowXvfb, PreviewDrawsTheStillInsideTheHostWindowAndEndsWithIt) {
    constexpr uint32_t kFill = 0x2050A0;
    Window host = XCreateSimpleWindow(x_, DefaultRootWindow(x_), 40, 40, 200, 150, 0, 0, kFill);
    XMapWindow(x_, host);
    XSync(x_, False);
    Program preview(home_, server_->Name(), {"--seed=1", "/p", std::to_string(host)});

    // The still covers the part of the host window that the program takes, scaled: not black, not the fill.
    int32_t covered = 0;
    bool shown = WaitFor(std::chrono::seconds(20), [&] {
        if (!preview.Running()) {
            return true;
        }
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        XQueryTree(x_, host, &root, &parent, &children, &count);
        Image inside = count == 1 ? Grab(x_, children[0]) : Image{};
        XFree(children);
        covered = 0;
        for (uint32_t p : inside.pixels) {
            covered += p != 0 && ChannelDistance(p, kFill) > 8 ? 1 : 0;
        }
        return !inside.pixels.empty() && covered * 10 >= int32_t(inside.pixels.size()) * 9;
    });
    ASSERT_TRUE(preview.Running()) << "the preview ended: " << preview.Errors();
    EXPECT_TRUE(shown) << "the preview covers " << covered << " pixels; " << preview.Errors();

    XDestroyWindow(x_, host);
    XSync(x_, False);
    EXPECT_EQ(preview.WaitExit(std::chrono::seconds(5)), 0) << preview.Errors();
}

}  // namespace
