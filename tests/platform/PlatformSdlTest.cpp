// The SDL backend on SDL's dummy driver, which needs no display and still renders into memory: what the real
// window shows, which parts a present sends, and SDL's events as the framework's input. Where Xvfb is
// installed, preview mode: our window inside a foreign X window, and a clean end when that window's owner
// destroys it.
#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/CWinApp.h"
#include "platform/CWnd.h"
#include "platform/Display.h"
#include "platform/HostInput.h"
#include "platform/MessageQueue.h"
#include "platform/VideoBackend.h"

#ifdef KEST_WITH_X11
#include "tests/support/Xvfb.h"
#endif

using namespace platform;

namespace {

bool BuiltWithSdl() {
    for (const VideoBootstrap* const* b = GetVideoBootstraps(); *b != nullptr; ++b) {
        if (std::string((*b)->name) == "sdl") {
            return true;
        }
    }
    return false;
}

// The backend draws the picture itself; a renderer asked for by name must not change that.
std::unique_ptr<VideoBackend> OpenSdl(const char* driver, std::string& error) {
    if (driver != nullptr) {
        setenv("SDL_VIDEODRIVER", driver, 1);
    } else {
        unsetenv("SDL_VIDEODRIVER");
    }
    setenv("SDL_RENDER_DRIVER", "software", 1);
    return CreateVideoBackend("sdl", VideoOptions{}, error);
}

uint32_t At(const std::vector<uint32_t>& pixels, int32_t width, int32_t x, int32_t y) {
    return pixels[size_t(y) * size_t(width) + size_t(x)] & 0xFFFFFF;
}

TEST(PlatformSdl, ShowsTheScreenLetterboxedAndPresentsOnlyWhatChanged) {
    std::string error;
    std::unique_ptr<VideoBackend> sdl = OpenSdl("dummy", error);
    if (sdl == nullptr) {
        unsetenv("SDL_VIDEODRIVER");
        GTEST_SKIP() << "SDL's dummy driver is not available: " << error;
    }
    SetVideoBackend(sdl.get());
    platform::Display& display = platform::Display::Get();
    display.Reset(ScreenMode{320, 200, 32});
    display.FillRect(display.GetRect(), 0x336699);
    display.Present();
    std::vector<uint32_t> pixels;
    int32_t w = 0, h = 0;
    ASSERT_TRUE(sdl->ReadWindow(pixels, w, h));
    ASSERT_EQ(w, 320);
    ASSERT_EQ(h, 200);
    EXPECT_EQ(At(pixels, w, 0, 0), 0x336699u);
    EXPECT_EQ(At(pixels, w, 319, 199), 0x336699u);

    // A write the screen was not told of stays unseen; the fill beside it shows.
    display.GetPixels()[0] = 0xFF;
    display.FillRect(ScreenRect{300, 180, 310, 190}, 0x00FF00);
    display.Present();
    ASSERT_TRUE(sdl->ReadWindow(pixels, w, h));
    EXPECT_EQ(At(pixels, w, 0, 0), 0x336699u);
    EXPECT_EQ(At(pixels, w, 305, 185), 0x00FF00u);
    EXPECT_EQ(At(pixels, w, 299, 185), 0x336699u);

    // A 640x480 screen in the 320x200 window: 266x200 at x 27, black bars either side.
    display.SetMode(ScreenMode{640, 480, 16});
    display.FillRect(display.GetRect(), 0xFFFFFF);
    display.Present();
    ASSERT_TRUE(sdl->ReadWindow(pixels, w, h));
    ScreenRect view = LetterboxView(w, h, 640, 480);
    ASSERT_EQ(view.left, 27);
    EXPECT_EQ(At(pixels, w, 0, 100), 0u);
    EXPECT_EQ(At(pixels, w, 26, 100), 0u);
    EXPECT_EQ(At(pixels, w, 27, 100), 0xFFFFFFu);
    EXPECT_EQ(At(pixels, w, 292, 100), 0xFFFFFFu);
    EXPECT_EQ(At(pixels, w, 293, 100), 0u);

    // SDL's events, as the user would make them, in screen pixels and the framework's keys.
    std::vector<InputEvent> drain;
    sdl->WaitInput(drain, 0);
    SDL_Event e{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = SDL_BUTTON_RIGHT;
    e.button.x = 160;  // the window's centre: the screen's
    e.button.y = 100;
    SDL_PushEvent(&e);
    e = SDL_Event{};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = 5;  // on the left bar
    e.motion.y = 0;
    SDL_PushEvent(&e);
    e = SDL_Event{};
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = SDLK_ESCAPE;
    SDL_PushEvent(&e);
    e = SDL_Event{};
    e.type = SDL_TEXTINPUT;
    SDL_strlcpy(e.text.text, "\xC3\xA9", sizeof e.text.text);
    SDL_PushEvent(&e);
    std::vector<InputEvent> events;
    sdl->WaitInput(events, 0);
    std::vector<InputEvent> input;
    for (const InputEvent& in : events) {
        if (in.kind != InputKind::AppActive && in.kind != InputKind::AppInactive) {
            input.push_back(in);
        }
    }
    ASSERT_EQ(input.size(), 5u);
    EXPECT_EQ(input[0].kind, InputKind::MouseDown);
    EXPECT_EQ(input[0].button, MouseButton::Right);
    EXPECT_EQ(input[0].x, 320);
    EXPECT_EQ(input[0].y, 240);
    EXPECT_EQ(input[1].kind, InputKind::MouseMove);
    EXPECT_EQ(input[1].x, 0);
    EXPECT_EQ(input[1].y, 0);
    EXPECT_EQ(input[2].kind, InputKind::KeyDown);
    EXPECT_EQ(input[2].key, kKeyEscape);
    EXPECT_EQ(input[3].kind, InputKind::Text);
    EXPECT_EQ(input[3].character, 0x1B);
    EXPECT_EQ(input[4].kind, InputKind::Text);
    EXPECT_EQ(input[4].character, 0xE9);

    sdl->SetWindowHints(WindowHints::kTopmost | WindowHints::kCoversScreen);
    sdl->SetWindowHints(WindowHints::kNone);
    SetVideoBackend(nullptr);
    sdl.reset();
    display.Reset(ScreenMode{});
    unsetenv("SDL_VIDEODRIVER");
    unsetenv("SDL_RENDER_DRIVER");
}

// A partial present must leave exactly the pixels a full one draws, at scales that are no whole number,
// down and up: changes at the edges and at odd places, each presented alone, then an expose that draws
// the whole picture again.
// Without a reachable display SDL would fall back to a driver that shows nothing; the backend refuses
// that unless the driver was asked for by name.
TEST(PlatformSdl, RefusesToShowNothingWhenNoDisplayIsReachable) {
    if (!BuiltWithSdl()) {
        GTEST_SKIP() << "built without SDL";
    }
    const char* display = std::getenv("DISPLAY");
    const std::string saved = display != nullptr ? display : "";
    setenv("DISPLAY", ":4097", 1);  // no server answers there
    unsetenv("WAYLAND_DISPLAY");
    std::string error;
    std::unique_ptr<VideoBackend> none = OpenSdl(nullptr, error);
    EXPECT_EQ(none, nullptr);
    EXPECT_NE(error.find("no display is reachable"), std::string::npos) << error;
    none.reset();
    std::unique_ptr<VideoBackend> asked = OpenSdl("offscreen", error);
    EXPECT_NE(asked, nullptr) << error;
    asked.reset();
    if (display != nullptr) {
        setenv("DISPLAY", saved.c_str(), 1);
    } else {
        unsetenv("DISPLAY");
    }
    unsetenv("SDL_VIDEODRIVER");
    unsetenv("SDL_RENDER_DRIVER");
}

TEST(PlatformSdl, PartialPresentsDrawWhatAFullOneDraws) {
    std::string error;
    std::unique_ptr<VideoBackend> sdl = OpenSdl("dummy", error);
    if (sdl == nullptr) {
        unsetenv("SDL_VIDEODRIVER");
        GTEST_SKIP() << "SDL's dummy driver is not available: " << error;
    }
    SetVideoBackend(sdl.get());
    platform::Display& display = platform::Display::Get();
    display.Reset(ScreenMode{300, 200, 32});  // the real window's size
    display.Present();
    const ScreenMode modes[] = {{640, 480, 32}, {211, 131, 32}, {97, 203, 32}, {300, 200, 32}};
    for (const ScreenMode& mode : modes) {
        SCOPED_TRACE(std::to_string(mode.width) + "x" + std::to_string(mode.height));
        const int32_t w = mode.width, h = mode.height;
        display.SetMode(mode);
        // Neighbouring pixels differ, so a pixel taken from the wrong place shows.
        for (int32_t y = 0; y < h; ++y) {
            auto* row =
                reinterpret_cast<uint32_t*>(display.GetPixels() + size_t(y) * size_t(display.GetStride()));
            for (int32_t x = 0; x < w; ++x) {
                row[x] = (uint32_t(x) * 0x010307u + uint32_t(y) * 0x070301u) & 0xFFFFFF;
            }
        }
        display.MarkChanged(nullptr);
        display.Present();
        const ScreenRect parts[] = {{0, 0, 1, 1},
                                    {w - 1, h - 1, w, h},
                                    {w / 3, h / 3, w / 3 + 1, h / 3 + 2},
                                    {w / 2 - 3, 0, w / 2 + 4, h},
                                    {0, h / 2, w, h / 2 + 1},
                                    {w - 5, 7, w, 9}};
        uint32_t colour = 0xFF00FF;
        for (const ScreenRect& part : parts) {
            display.FillRect(part, colour);
            display.Present();
            colour ^= 0x335577;
        }
        std::vector<uint32_t> partial, full;
        int32_t pw = 0, ph = 0, fw = 0, fh = 0;
        ASSERT_TRUE(sdl->ReadWindow(partial, pw, ph));
        std::vector<InputEvent> drain;
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.event = SDL_WINDOWEVENT_EXPOSED;
        SDL_PushEvent(&e);
        sdl->WaitInput(drain, 0);
        ASSERT_TRUE(sdl->ReadWindow(full, fw, fh));
        ASSERT_EQ(pw, fw);
        ASSERT_EQ(ph, fh);
        size_t differing = 0;
        for (size_t i = 0; i < full.size(); ++i) {
            differing += partial[i] != full[i] ? 1 : 0;
        }
        EXPECT_EQ(differing, 0u);
        ScreenRect view = LetterboxView(fw, fh, w, h);
        EXPECT_EQ(At(full, fw, view.left, view.top), 0xFF00FFu);
        if (view.left > 0) {
            EXPECT_EQ(At(full, fw, view.left - 1, view.top), 0u);  // the bar beside the picture
        }
        if (view.top > 0) {
            EXPECT_EQ(At(full, fw, view.left, view.top - 1), 0u);  // the bar above it
        }
    }
    SetVideoBackend(nullptr);
    sdl.reset();
    display.Reset(ScreenMode{});
    unsetenv("SDL_VIDEODRIVER");
    unsetenv("SDL_RENDER_DRIVER");
}

#ifdef KEST_WITH_X11

// What the preview run reports through its exit status.
enum PreviewResult : int {
    kPreviewEnded = 0,
    kNoBackend = 10,
    kBogusAdopted,
    kParentNotAdopted,
    kWrongSize,
    kChildNotCreated,
    kNoRealChild,
    kStillRunning,
};

// Runs in a child process, so that X's and SDL's process-wide state stays out of the test program.
int RunPreview(const char* displayName) {
    ::Display* x = XOpenDisplay(displayName);
    if (x == nullptr) {
        std::fprintf(stderr, "no connection to %s\n", displayName);
        return kNoBackend;
    }
    Window parent = XCreateSimpleWindow(x, DefaultRootWindow(x), 10, 10, 152, 112, 0, 0, 0);
    XMapWindow(x, parent);
    XSync(x, False);

    std::string error;
    std::unique_ptr<VideoBackend> sdl = OpenSdl(nullptr, error);
    if (sdl == nullptr) {
        std::fprintf(stderr, "SDL did not open on %s: %s\n", displayName, error.c_str());
        return kNoBackend;
    }
    SetVideoBackend(sdl.get());
    platform::Display::Get().Reset(ScreenMode{1024, 768, 32});
    if (CWnd::FromHandle(WindowHandle(parent + 7)) != nullptr) {
        return kBogusAdopted;
    }
    CWnd* foreign = CWnd::FromHandle(WindowHandle(parent));
    if (foreign == nullptr || !foreign->IsForeign()) {
        return kParentNotAdopted;
    }
    if (foreign->GetClientRect().Width() != 152 || foreign->GetClientRect().Height() != 112) {
        return kWrongSize;
    }
    CWinApp app("PreviewTest");
    CWnd preview;
    // Where the application puts the 800x600 scene for a 152x112 area of a 1024x768 screen.
    if (!preview.CreateEx(0, "", kStyleChild | kStyleVisible, ScreenRect{17, 12, 135, 99},
                          WindowHandle(parent), 0)) {
        return kChildNotCreated;
    }
    app.m_pMainWnd = &preview;
    platform::Display::Get().FillRect(platform::Display::Get().GetRect(), 0x808080);
    platform::Display::Get().Present();

    Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    XQueryTree(x, parent, &root, &up, &children, &count);
    XWindowAttributes child{};
    bool placed = count == 1 && XGetWindowAttributes(x, children[0], &child) != 0 && child.x == 17 &&
                  child.y == 12 && child.width == 118 && child.height == 87;
    XFree(children);
    if (!placed) {
        return kNoRealChild;
    }

    // The owner of the preview area destroys it: the run ends, the program lives on.
    XDestroyWindow(x, parent);
    XSync(x, False);
    app.SetRunLimit(20000);
    app.Run();
    if (preview.GetSafeHwnd() != 0) {
        return kStillRunning;
    }
    SetVideoBackend(nullptr);
    sdl.reset();
    XCloseDisplay(x);
    return kPreviewEnded;
}

TEST(PlatformSdlPreview, OpensInsideAForeignWindowAndEndsCleanlyWhenItGoes) {
    if (!BuiltWithSdl()) {
        GTEST_SKIP() << "built without SDL";
    }
    testsupport::Xvfb server;
    if (server.Name().empty()) {
        GTEST_SKIP() << server.Problem();
    }
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        setenv("DISPLAY", server.Name().c_str(), 1);
        // _exit: the child must not run the test program's exit handlers, nor kill the server twice.
        _exit(RunPreview(server.Name().c_str()));
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "the preview died of signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), kPreviewEnded);
}

#endif

}  // namespace
