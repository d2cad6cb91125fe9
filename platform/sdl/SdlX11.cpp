#include "platform/sdl/SdlX11.h"

#ifdef KEST_WITH_X11

#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include <atomic>

namespace platform {

namespace {

// X reports errors after the request that caused them, on whichever connection made it (SDL's or ours),
// and Xlib's own handler ends the process. Ours only counts them: whoever cares asks the server again.
std::atomic<uint32_t> gErrors{0};

int RecordError(::Display*, XErrorEvent*) {
    gErrors.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

}  // namespace

struct ForeignWindows::State {
    ::Display* display = nullptr;
    Window parent = 0;
    Window child = 0;
    bool gone = false;
    bool resized = false;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t errorsSeen = 0;
};

std::unique_ptr<ForeignWindows> ForeignWindows::Open() {
    ::Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return nullptr;
    }
    // Installed after SDL's video start-up, which installs its own that passes errors on to Xlib's.
    XSetErrorHandler(RecordError);
    std::unique_ptr<ForeignWindows> windows(new ForeignWindows);
    windows->state_ = std::make_unique<State>();
    windows->state_->display = display;
    return windows;
}

ForeignWindows::~ForeignWindows() {
    if (state_ == nullptr) {
        return;
    }
    if (state_->child != 0 && !state_->gone) {
        XDestroyWindow(state_->display, state_->child);
    }
    // Closing the connection would destroy the child anyway: windows die with the client that made them.
    XCloseDisplay(state_->display);
}

WindowHandle ForeignWindows::Root() {
    return WindowHandle(DefaultRootWindow(state_->display));
}

bool ForeignWindows::Query(WindowHandle handle, int32_t& width, int32_t& height) {
    XWindowAttributes attributes;
    if (handle == 0 || XGetWindowAttributes(state_->display, Window(handle), &attributes) == 0) {
        return false;
    }
    width = attributes.width;
    height = attributes.height;
    return true;
}

uintptr_t ForeignWindows::CreateChild(WindowHandle parent, const ScreenRect& rect) {
    ::Display* d = state_->display;
    unsigned long black = BlackPixel(d, DefaultScreen(d));
    Window child = XCreateSimpleWindow(d, Window(parent), rect.left, rect.top, unsigned(rect.Width()),
                                       unsigned(rect.Height()), 0, black, black);
    // Watching the parent's structure tells us when its owner destroys it.
    XSelectInput(d, Window(parent), StructureNotifyMask);
    XMapWindow(d, child);
    uint32_t before = gErrors.load(std::memory_order_relaxed);
    XSync(d, False);
    if (gErrors.load(std::memory_order_relaxed) != before) {
        return 0;  // the parent vanished meanwhile
    }
    state_->parent = Window(parent);
    state_->child = child;
    state_->errorsSeen = before;
    return uintptr_t(child);
}

bool ForeignWindows::ParentGone() {
    State& s = *state_;
    if (s.parent == 0 || s.gone) {
        return s.gone;
    }
    ::Display* d = s.display;
    while (XPending(d) > 0) {
        XEvent event;
        XNextEvent(d, &event);
        if (event.type == DestroyNotify && event.xdestroywindow.window == s.parent) {
            s.gone = true;
        } else if (event.type == ConfigureNotify && event.xconfigure.window == s.parent) {
            s.resized = true;
            s.width = event.xconfigure.width;
            s.height = event.xconfigure.height;
        }
    }
    // An error anywhere may mean SDL drew into the child after it went: ask for the parent itself.
    uint32_t errors = gErrors.load(std::memory_order_relaxed);
    if (!s.gone && errors != s.errorsSeen) {
        s.errorsSeen = errors;
        XWindowAttributes attributes;
        s.gone = XGetWindowAttributes(d, s.parent, &attributes) == 0;
    }
    return s.gone;
}

bool ForeignWindows::ParentResized(int32_t& width, int32_t& height) {
    State& s = *state_;
    bool resized = s.resized;
    s.resized = false;
    width = s.width;
    height = s.height;
    return resized;
}

bool WindowManagerRunning(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (window == nullptr || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) {
        return true;
    }
    ::Display* d = info.info.x11.display;
    // A compliant window manager names its check window on the root window.
    Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", True);
    if (check == None) {
        return false;
    }
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool found = XGetWindowProperty(d, DefaultRootWindow(d), check, 0, 1, False, AnyPropertyType, &type,
                                    &format, &count, &after, &data) == Success &&
                 type != None && count > 0;
    if (data != nullptr) {
        XFree(data);
    }
    return found;
}

}  // namespace platform

#else

namespace platform {

struct ForeignWindows::State {};

std::unique_ptr<ForeignWindows> ForeignWindows::Open() {
    return nullptr;  // no X11 in this build: no foreign windows to open in
}

ForeignWindows::~ForeignWindows() = default;

WindowHandle ForeignWindows::Root() {
    return 0;
}

bool ForeignWindows::Query(WindowHandle, int32_t& width, int32_t& height) {
    width = height = 0;
    return false;
}

uintptr_t ForeignWindows::CreateChild(WindowHandle, const ScreenRect&) {
    return 0;
}

bool ForeignWindows::ParentGone() {
    return false;
}

bool ForeignWindows::ParentResized(int32_t& width, int32_t& height) {
    width = height = 0;
    return false;
}

bool WindowManagerRunning(SDL_Window*) {
    return true;
}

}  // namespace platform

#endif
