// The show end to end, as a user meets it: the real kestapp on an X server of its own, its real window
// read back through Xlib and driven with xdotool. Saver mode shows the scene as the headless backend draws
// it, pops the bubble clicked on and ends on a key; preview mode draws the still inside a window of ours
// and ends when that window goes.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/HostInput.h"
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
    const char* name;
    int32_t left, top, width, height;
};
constexpr Region kBubble{"the bubble at (38,210)", 38, 210, 60, 60};
constexpr Region kLogo{"the logo", 640, 578, 160, 22};

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
    png.format = PNG_FORMAT_BGRA;  // little-endian words of 0xAARRGGBB
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

bool WritePng(const fs::path& path, const Image& image) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = uint32_t(image.width);
    png.height = uint32_t(image.height);
    png.format = PNG_FORMAT_BGRA;
    std::vector<uint32_t> opaque(image.pixels);
    for (uint32_t& p : opaque) {
        p |= 0xFF000000;
    }
    return png_image_write_to_file(&png, path.c_str(), 0, opaque.data(), 0, nullptr) != 0;
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

int ChannelDistance(uint32_t a, uint32_t b) {
    int d = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        d += std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF));
    }
    return d / 3;
}

// The mean distance per channel between a region of the scene in the reference and where the window shows
// it scaled. Only window pixels whose centres lie a pixel inside the region count, so that filtering at the
// region's edges does not.
double RegionDistance(const Image& window, const Image& reference, const Region& r) {
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
double WindowDistance(const Image& a, const Image& b, const Region& r) {
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

// Polls until done says so or the time is up.
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

// One run of kestapp, with its own lock and configuration directory and its stderr kept in a file. A run
// the test did not see end is killed.
class Program {
  public:
    Program(const fs::path& home, const std::string& display, const std::vector<std::string>& args)
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

// A window may go between two requests of ours; Xlib's default handler would end the test program then.
int IgnoreXErrors(::Display*, XErrorEvent*) {
    return 0;
}

// Runs xdotool on the display; true when it succeeded.
bool Xdotool(const std::string& display, const std::string& args) {
    return std::system(("DISPLAY=" + display + " xdotool " + args).c_str()) == 0;
}

class ShowXvfb : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::system("command -v xdotool >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "xdotool is not installed";
        }
        server_ = std::make_unique<testsupport::Xvfb>("1024x768x24");
        if (server_->Name().empty()) {
            GTEST_SKIP() << server_->Problem();
        }
        home_ = fs::temp_directory_path() / ("kest-show-" + std::to_string(getpid()));
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

TEST_F(ShowXvfb, ShowsTheScenePopsTheBubbleClickedOnAndEndsOnAKey) {
    // The reference: the same show drawn headless, one second in.
    fs::path snapshot = home_ / "scene.png";
    Program headless(home_, "",
                     {"--video=headless", "--screen=1024x768x32", "--seed=1", "--seconds=1",
                      "--snapshot=" + snapshot.string(), "/s"});
    ASSERT_EQ(headless.WaitExit(std::chrono::seconds(60)), 0) << headless.Errors();
    Image reference;
    ASSERT_TRUE(ReadPng(snapshot, reference)) << headless.Errors();
    ASSERT_EQ(reference.width, kSceneWidth);
    ASSERT_EQ(reference.height, kSceneHeight);

    Program show(home_, server_->Name(), {"--timing", "--seed=1", "/s"});
    Window window = 0;
    WaitFor(std::chrono::seconds(20), [&] { return (window = FindShowWindow(x_)) != 0 || !show.Running(); });
    ASSERT_TRUE(show.Running()) << "the show ended: " << show.Errors();
    ASSERT_NE(window, 0u) << "the show opened no window";

    // The scene shows once the backdrop's fade is over.
    for (const Region& r : {kBubble, kLogo}) {
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
        fs::copy_file(snapshot, fs::temp_directory_path() / "kest-show-reference.png",
                      fs::copy_options::overwrite_existing);
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
