// The SDL2 backend: the virtual screen shown in a borderless real window, scaled to fit and letterboxed,
// with mouse and keyboard input and message boxes. In preview mode the real window opens inside the
// foreign window another program gave us (X11 only) and shows our window's part of the screen unscaled. As a
// display hack it fills the host window it was given and shows the show's part of the screen in it.
// The picture is drawn by us into the window's surface and only the part that changed is sent: a renderer
// would redraw and send the whole window for every frame.
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/Clock.h"
#include "platform/Display.h"
#include "platform/HostInput.h"
#include "platform/Main.h"
#include "platform/VideoBackend.h"
#include "platform/sdl/SdlX11.h"

namespace platform {

namespace {

// Host keys are SDL's keycodes, passed through unchanged; the shared table names them without SDL.
struct SameKey {
    HostKey host;
    SDL_Keycode sdl;
};
constexpr SameKey kSameKeys[] = {
    {kHostBackspace, SDLK_BACKSPACE},
    {kHostTab, SDLK_TAB},
    {kHostReturn, SDLK_RETURN},
    {kHostEscape, SDLK_ESCAPE},
    {kHostSpace, SDLK_SPACE},
    {kHostDelete, SDLK_DELETE},
    {kHostF1, SDLK_F1},
    {kHostF12, SDLK_F12},
    {kHostInsert, SDLK_INSERT},
    {kHostHome, SDLK_HOME},
    {kHostEnd, SDLK_END},
    {kHostPageUp, SDLK_PAGEUP},
    {kHostPageDown, SDLK_PAGEDOWN},
    {kHostKeypadEnter, SDLK_KP_ENTER},
    {kHostLeft, SDLK_LEFT},
    {kHostRight, SDLK_RIGHT},
    {kHostUp, SDLK_UP},
    {kHostDown, SDLK_DOWN},
    {kHostLeftShift, SDLK_LSHIFT},
    {kHostRightShift, SDLK_RSHIFT},
    {kHostLeftControl, SDLK_LCTRL},
    {kHostRightControl, SDLK_RCTRL},
    {kHostLeftAlt, SDLK_LALT},
    {kHostRightAlt, SDLK_RALT},
};
constexpr bool AllKeysAgree() {
    for (const SameKey& key : kSameKeys) {
        if (key.host != HostKey(key.sdl)) {
            return false;
        }
    }
    return true;
}
static_assert(AllKeysAgree(), "host keys must keep SDL's keycode numbers");
static_assert(kHostF12 - kHostF1 == HostKey(SDLK_F12) - HostKey(SDLK_F1), "the function keys are one range");

MouseButton ButtonFromSdl(uint8_t button) {
    switch (button) {
        case SDL_BUTTON_RIGHT:
            return MouseButton::Right;
        case SDL_BUTTON_MIDDLE:
            return MouseButton::Middle;
        default:
            return MouseButton::Left;
    }
}

// The alpha byte of a window surface with one: opaque, so that no compositor shows through the picture.
constexpr uint32_t kOpaque = 0xFF000000;

// Which source pixel each of viewSize pixels shows, nearest neighbour: the rounding WindowToScreen uses,
// so that a click lands on the pixel under the pointer. One table serves full and partial draws alike.
void MapAxis(int32_t viewSize, int32_t sourceStart, int32_t sourceSize, std::vector<int32_t>& map) {
    map.resize(size_t(viewSize));
    for (int32_t i = 0; i < viewSize; ++i) {
        map[size_t(i)] = sourceStart + int32_t(int64_t(i) * sourceSize / viewSize);
    }
}

// The first view pixel that shows source offset `offset` or later: pixel i shows floor(i * source / view).
int32_t FirstShowing(int32_t offset, int32_t sourceSize, int32_t viewSize) {
    return int32_t((int64_t(offset) * viewSize + sourceSize - 1) / sourceSize);
}

// The view pixels [first, last) that show source [from, to) of an axis, grown by a pixel each side to
// forgive rounding (redrawing an unchanged pixel writes what it held) and kept inside the view.
void ViewSpan(int32_t from, int32_t to, int32_t sourceSize, int32_t viewSize, int32_t& first, int32_t& last) {
    first = std::max(0, FirstShowing(from, sourceSize, viewSize) - 1);
    last = std::min(viewSize, FirstShowing(to, sourceSize, viewSize) + 1);
}

// Where a hack shows its part of the screen: centred, scaled down to fit the window, never enlarged.
ScreenRect HostedView(int32_t windowWidth, int32_t windowHeight, int32_t width, int32_t height) {
    if (width > windowWidth || height > windowHeight) {
        return LetterboxView(windowWidth, windowHeight, width, height);
    }
    int32_t left = (windowWidth - width) / 2;
    int32_t top = (windowHeight - height) / 2;
    return ScreenRect{left, top, left + width, top + height};
}

class SdlVideo final : public VideoBackend {
  public:
    ~SdlVideo() override {
        CloseWindow();
        foreign_.reset();  // after SDL let go of the window it wrapped
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        // Sound may still be playing through SDL's audio; only the last user ends SDL as a whole.
        if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) {
            SDL_Quit();
        }
    }

    void Present(const Display& display, const ScreenRect& changed) override {
        if (window_ == nullptr) {
            bool hack = GetHostWindow().window != 0;
            if (hack ? hostFailed_ || !OpenHosted() : !OpenWindow(display.GetMode())) {
                return;
            }
        }
        shown_ = &display;
        Show(changed);
    }

    void WaitInput(std::vector<InputEvent>& out, uint32_t timeoutMs) override {
        SDL_Event event;
        bool got =
            timeoutMs > 0 ? SDL_WaitEventTimeout(&event, int(timeoutMs)) != 0 : SDL_PollEvent(&event) != 0;
        while (got) {
            Translate(event, out);
            got = SDL_PollEvent(&event) != 0;
        }
        focus_.Report(TickCount(), out);
        if (!parentGoneReported_ && (hostFailed_ || (foreign_ != nullptr && foreign_->ParentGone()))) {
            parentGoneReported_ = true;
            InputEvent gone;
            // A hack's host is none of the program's windows: its going ends the show as a close does.
            gone.kind = hosting_ ? InputKind::Close : InputKind::ParentGone;
            gone.key = foreignParent_;
            out.push_back(gone);
        }
        // A hack's window keeps filling its host, whose owner may resize it (the daemon's settings dialog
        // does); the new surface size brings a new layout.
        int32_t width = 0, height = 0;
        if (hosting_ && window_ != nullptr && foreign_->ParentResized(width, height) && width > 0 &&
            height > 0) {
            SDL_SetWindowSize(window_, width, height);
        }
    }

    bool ShowMessageBox(const char* caption, const char* text, int kind) override {
        uint32_t flags = kind == 1   ? SDL_MESSAGEBOX_ERROR
                         : kind == 2 ? SDL_MESSAGEBOX_WARNING
                                     : SDL_MESSAGEBOX_INFORMATION;
        return SDL_ShowSimpleMessageBox(flags, caption, text, window_) == 0;
    }

    void SetWindowHints(WindowHints hints) override {
        hints_ = hints;
        ApplyHints();
    }

    bool QueryForeignWindow(WindowHandle handle, int32_t& width, int32_t& height) override {
        width = height = 0;
        if (!OpenForeign()) {
            return false;
        }
        return foreign_->Query(handle, width, height);
    }

    bool OpenInside(WindowHandle parent, const ScreenRect& rect) override {
        if (window_ != nullptr || rect.IsEmpty() || !OpenForeign() || !OpenChild(parent, rect)) {
            return false;
        }
        preview_ = rect;
        return true;
    }

    bool ReadWindow(std::vector<uint32_t>& pixels, int32_t& width, int32_t& height) override {
        width = height = 0;
        if (window_ == nullptr || shown_ == nullptr) {
            return false;
        }
        Show(ScreenRect{});  // a window resized since the last present gets its picture first
        const SDL_Surface* picture = canvas_ != nullptr ? canvas_ : SDL_GetWindowSurface(window_);
        if (picture == nullptr || picture->w != windowWidth_ || picture->h != windowHeight_) {
            return false;
        }
        pixels.resize(size_t(picture->w) * size_t(picture->h));
        for (int32_t y = 0; y < picture->h; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(picture->pixels) +
                                                                size_t(y) * size_t(picture->pitch));
            uint32_t* out = pixels.data() + size_t(y) * size_t(picture->w);
            for (int32_t x = 0; x < picture->w; ++x) {
                out[x] = row[x] & 0xFFFFFF;
            }
        }
        width = picture->w;
        height = picture->h;
        return true;
    }

  private:
    bool OpenForeign() {
        if (foreign_ == nullptr) {
            foreign_ = ForeignWindows::Open();
        }
        return foreign_ != nullptr;
    }

    // Our real window as an X child of parent at rect: X takes it along when the parent's owner destroys it.
    bool OpenChild(WindowHandle parent, const ScreenRect& rect) {
        uintptr_t child = foreign_->CreateChild(parent, rect);
        if (child == 0) {
            return false;
        }
        window_ = SDL_CreateWindowFrom(reinterpret_cast<const void*>(child));
        if (window_ == nullptr) {
            std::fprintf(stderr, "kestapp: cannot show inside window 0x%x: %s\n", parent, SDL_GetError());
            return false;
        }
        foreignParent_ = parent;
        return true;
    }

    // A display hack's window: one covering the whole host window. Without a host there is nothing to show
    // in, and the show ends (see WaitInput) instead of running unseen.
    bool OpenHosted() {
        const HostWindow& host = GetHostWindow();
        hosting_ = true;
        WindowHandle parent = 0;
        int32_t width = 0, height = 0;
        if (OpenForeign()) {
            parent = host.window == kRootWindow ? foreign_->Root() : host.window;
        }
        if (parent == 0 || !foreign_->Query(parent, width, height) ||
            !OpenChild(parent, ScreenRect{0, 0, width, height})) {
            std::fprintf(stderr, "kestapp: there is no window 0x%x to show in\n", host.window);
            hostFailed_ = true;
            return false;
        }
        hostedPart_ = host.part;
        return true;
    }

    bool OpenWindow(const ScreenMode& mode) {
        SDL_DisplayMode desktop;
        int w = mode.width;
        int h = mode.height;
        // Scale down to fit the monitor; the picture is letterboxed into whatever size the window gets.
        if (SDL_GetDesktopDisplayMode(0, &desktop) == 0 && (w > desktop.w || h > desktop.h)) {
            double scale = std::min(desktop.w * 0.9 / w, desktop.h * 0.9 / h);
            w = std::max(1, int(w * scale));
            h = std::max(1, int(h * scale));
        }
        window_ = SDL_CreateWindow("KestApp", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w, h,
                                   SDL_WINDOW_BORDERLESS);
        if (window_ == nullptr) {
            return false;
        }
        ApplyHints();
        SDL_StartTextInput();
        return true;
    }

    void CloseWindow() {
        if (canvas_ != nullptr) {
            SDL_FreeSurface(canvas_);
            canvas_ = nullptr;
        }
        if (window_ != nullptr) {
            SDL_DestroyWindow(window_);
            window_ = nullptr;
        }
    }

    void ApplyHints() {
        if (window_ == nullptr || !preview_.IsEmpty() || hosting_) {
            return;  // a window inside another belongs to its parent: it neither floats nor covers the
                     // monitor
        }
        SDL_SetWindowAlwaysOnTop(window_, HasHint(hints_, WindowHints::kTopmost) ? SDL_TRUE : SDL_FALSE);
        // Without a window manager nobody resizes the window, yet SDL then believes it covers the monitor
        // and draws the picture for that size into the smaller window: place and size it ourselves first.
        SDL_DisplayMode desktop;
        if (HasHint(hints_, WindowHints::kCoversScreen) && SDL_GetDesktopDisplayMode(0, &desktop) == 0) {
            SDL_SetWindowPosition(window_, 0, 0);
            SDL_SetWindowSize(window_, desktop.w, desktop.h);
        }
        // Full screen is the window manager's business; without one the request only costs SDL's wait
        // for an answer that never comes, and the window already covers the monitor.
        if (WindowManagerRunning(window_)) {
            SDL_SetWindowFullscreen(
                window_, HasHint(hints_, WindowHints::kCoversScreen) ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
        }
    }

    // Where the picture lies in a window of the surface's size, which part of the screen it shows, and the
    // tables that map one onto the other. False when the surface cannot be drawn into.
    bool Relayout(const SDL_Surface& window, const ScreenMode& mode) {
        if (canvas_ != nullptr) {
            SDL_FreeSurface(canvas_);
            canvas_ = nullptr;
        }
        // Ours is drawn straight into a surface of 32-bit words like the frame's; any other is drawn into
        // a canvas of that kind first and converted by SDL as the changed part is copied.
        uint32_t format = window.format->format;
        if (format != SDL_PIXELFORMAT_RGB888 && format != SDL_PIXELFORMAT_ARGB8888) {
            canvas_ = SDL_CreateRGBSurfaceWithFormat(0, window.w, window.h, 32, SDL_PIXELFORMAT_RGB888);
            if (canvas_ == nullptr) {
                windowWidth_ = windowHeight_ = 0;
                return false;
            }
        }
        windowWidth_ = window.w;
        windowHeight_ = window.h;
        screen_ = mode;
        ScreenRect screen{0, 0, mode.width, mode.height};
        if (hosting_) {
            source_ = hostedPart_.Intersect(screen);
            view_ = HostedView(window.w, window.h, source_.Width(), source_.Height());
        } else if (preview_.IsEmpty()) {
            view_ = LetterboxView(window.w, window.h, mode.width, mode.height);
            source_ = screen;
        } else {
            // Unscaled: window pixel (x, y) shows screen pixel (preview.left + x, preview.top + y), as far as
            // both the screen and the window reach.
            ScreenRect reach{preview_.left, preview_.top, preview_.left + window.w, preview_.top + window.h};
            source_ = preview_.Intersect(screen).Intersect(reach);
            view_ = ScreenRect{source_.left - preview_.left, source_.top - preview_.top,
                               source_.right - preview_.left, source_.bottom - preview_.top};
        }
        if (view_.IsEmpty() || source_.IsEmpty()) {
            view_ = source_ = ScreenRect{};  // nothing to show: every change then misses the picture
        }
        MapAxis(view_.Width(), source_.left, source_.Width(), columns_);
        MapAxis(view_.Height(), source_.top, source_.Height(), rows_);
        return true;
    }

    // Draws the part of the shown frame that changed into the window and sends just that part; all of it
    // (bars included) after the window, its surface or the screen's size changed, or when asked to.
    void Show(ScreenRect changed) {
        SDL_Surface* window = SDL_GetWindowSurface(window_);
        if (window == nullptr) {
            return;
        }
        const ScreenMode& mode = shown_->GetMode();
        if (window->w != windowWidth_ || window->h != windowHeight_ || mode.width != screen_.width ||
            mode.height != screen_.height) {
            if (!Relayout(*window, mode)) {
                return;
            }
            repaintAll_ = true;
        }
        SDL_Surface* target = canvas_ != nullptr ? canvas_ : window;
        SDL_Rect sent{0, 0, window->w, window->h};
        if (repaintAll_) {
            SDL_FillRect(target, nullptr, SDL_MapRGB(target->format, 0, 0, 0));  // the bars, once
            changed = source_;
        }
        changed = changed.Intersect(source_);
        if (!changed.IsEmpty()) {
            int32_t x0 = 0, x1 = 0, y0 = 0, y1 = 0;
            ViewSpan(changed.left - source_.left, changed.right - source_.left, source_.Width(),
                     view_.Width(), x0, x1);
            ViewSpan(changed.top - source_.top, changed.bottom - source_.top, source_.Height(),
                     view_.Height(), y0, y1);
            Draw(*target, x0, x1, y0, y1);
            if (!repaintAll_) {
                sent = SDL_Rect{view_.left + x0, view_.top + y0, x1 - x0, y1 - y0};
            }
        } else if (!repaintAll_) {
            return;
        }
        repaintAll_ = false;
        if (canvas_ != nullptr) {
            SDL_Rect to = sent;
            SDL_BlitSurface(canvas_, &sent, window, &to);
        }
        SDL_UpdateWindowSurfaceRects(window_, &sent, 1);
    }

    // Scales view pixels [x0, x1) x [y0, y1) from the frame into target. Rows that show the same frame row
    // as the one above are copies of it.
    void Draw(SDL_Surface& target, int32_t x0, int32_t x1, int32_t y0, int32_t y1) const {
        const uint32_t* frame = shown_->GetFrame();
        const int32_t* columns = columns_.data() + x0;
        size_t width = size_t(x1 - x0);
        const uint32_t* previousSource = nullptr;
        const uint32_t* previousRow = nullptr;
        for (int32_t y = y0; y < y1; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(target.pixels) +
                                                    size_t(view_.top + y) * size_t(target.pitch)) +
                        view_.left + x0;
            const uint32_t* source = frame + size_t(rows_[size_t(y)]) * size_t(screen_.width);
            if (source == previousSource) {
                std::memcpy(row, previousRow, width * 4);
                continue;
            }
            for (size_t x = 0; x < width; ++x) {
                row[x] = source[columns[x]] | kOpaque;
            }
            previousSource = source;
            previousRow = row;
        }
    }

    void MousePosition(int32_t x, int32_t y, InputEvent& in) const {
        WindowToScreen(view_, source_.Width(), source_.Height(), x, y, in.x, in.y);
        in.x += source_.left;
        in.y += source_.top;
    }

    void Translate(const SDL_Event& e, std::vector<InputEvent>& out) {
        InputEvent in;
        switch (e.type) {
            case SDL_QUIT:
                in.kind = InputKind::Close;
                break;
            case SDL_MOUSEMOTION:
                in.kind = InputKind::MouseMove;
                MousePosition(e.motion.x, e.motion.y, in);
                break;
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP:
                in.kind = e.type == SDL_MOUSEBUTTONDOWN ? InputKind::MouseDown : InputKind::MouseUp;
                in.button = ButtonFromSdl(e.button.button);
                MousePosition(e.button.x, e.button.y, in);
                break;
            case SDL_KEYDOWN:
            case SDL_KEYUP:
                lastKeyRepeated_ = e.key.repeat != 0;
                TranslateKey(HostKey(e.key.keysym.sym), e.type == SDL_KEYDOWN, lastKeyRepeated_, out);
                return;
            case SDL_TEXTINPUT:
                // Text events carry no repeat flag: they share the key's that typed them.
                TranslateText(e.text.text, lastKeyRepeated_, out);
                return;
            case SDL_WINDOWEVENT:
                TranslateWindowEvent(e.window);
                return;
            default:
                return;
        }
        out.push_back(in);
    }

    void TranslateWindowEvent(const SDL_WindowEvent& e) {
        switch (e.event) {
            case SDL_WINDOWEVENT_EXPOSED:
            case SDL_WINDOWEVENT_SIZE_CHANGED:
                // The frame still holds the picture: no need to ask the windows to paint.
                if (shown_ != nullptr) {
                    repaintAll_ = true;
                    Show(ScreenRect{});
                }
                break;
            case SDL_WINDOWEVENT_FOCUS_GAINED:
                focus_.Gained(e.windowID);
                break;
            case SDL_WINDOWEVENT_FOCUS_LOST:
                focus_.Lost(e.windowID, TickCount());
                break;
            default:
                break;
        }
    }

    SDL_Window* window_ = nullptr;
    const Display* shown_ = nullptr;  // whose frame the window shows
    SDL_Surface* canvas_ = nullptr;   // only for a window surface of another pixel format
    // The layout, made for a window surface and a screen of these sizes.
    int32_t windowWidth_ = 0;
    int32_t windowHeight_ = 0;
    ScreenMode screen_{0, 0, 0};
    ScreenRect view_;               // where the picture lies in the window
    ScreenRect source_;             // the part of the screen it shows
    std::vector<int32_t> columns_;  // the frame column each view column shows
    std::vector<int32_t> rows_;     // the frame row each view row shows
    bool repaintAll_ = false;
    bool lastKeyRepeated_ = false;
    WindowHints hints_ = WindowHints::kNone;
    FocusTracker focus_;
    std::unique_ptr<ForeignWindows> foreign_;
    WindowHandle foreignParent_ = 0;
    ScreenRect preview_;  // empty unless the window lives inside a foreign one
    bool parentGoneReported_ = false;
    bool hosting_ = false;     // the window fills a display hack's host window
    bool hostFailed_ = false;  // there was no host window to fill
    ScreenRect hostedPart_;    // the part of the screen the host window shows
};

std::unique_ptr<VideoBackend> CreateSdl(const VideoOptions&, std::string& error) {
    // The framework handles SIGINT and SIGTERM itself.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // The window surface goes to the window system as it is; SDL would otherwise route it through an
    // OpenGL texture and redraw the whole window for every update.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        error = SDL_GetError();
        SDL_Quit();
        return nullptr;
    }
    // Without a reachable display SDL quietly falls back to a driver that shows nothing; a show nobody
    // can see (and no key can end) is worse than a clear error. Asking for such a driver by name is fine.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    if (driver != nullptr && (asked == nullptr || asked[0] == 0) &&
        (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) {
        error = "no display is reachable (check DISPLAY or WAYLAND_DISPLAY, or use --video=headless)";
        SDL_Quit();
        return nullptr;
    }
    return std::make_unique<SdlVideo>();
}

}  // namespace

extern const VideoBootstrap kSdlBootstrap;
const VideoBootstrap kSdlBootstrap = {"sdl", "a real window through SDL2", CreateSdl};

}  // namespace platform
