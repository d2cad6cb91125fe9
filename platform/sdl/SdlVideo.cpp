// The SDL2 backend: the virtual screen shown in a borderless real window, scaled to fit and letterboxed,
// with mouse and keyboard input and message boxes. In preview mode the real window opens inside the
// foreign window another program gave us (X11 only) and shows our window's part of the screen unscaled.
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/Clock.h"
#include "platform/Display.h"
#include "platform/HostInput.h"
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

SDL_Rect ToSdl(const ScreenRect& r) {
    return SDL_Rect{r.left, r.top, r.Width(), r.Height()};
}

class SdlVideo final : public VideoBackend {
  public:
    ~SdlVideo() override {
        CloseWindow();
        foreign_.reset();  // after SDL let go of the window it wrapped
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        SDL_Quit();
    }

    void Present(const Display& display, const ScreenRect& changed) override {
        const ScreenMode& mode = display.GetMode();
        bool fresh = false;
        if (!EnsureWindow(mode, fresh)) {
            return;
        }
        // A new texture holds nothing yet: it takes the whole frame once, then only what changed.
        ScreenRect upload = fresh ? display.GetRect() : changed;
        SDL_Rect rect = ToSdl(upload);
        const uint32_t* frame =
            display.GetFrame() + size_t(upload.top) * size_t(mode.width) + size_t(upload.left);
        SDL_UpdateTexture(texture_, &rect, frame, mode.width * 4);
        Draw();
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
        if (foreign_ != nullptr && !parentGoneReported_ && foreign_->ParentGone()) {
            parentGoneReported_ = true;
            InputEvent gone;
            gone.kind = InputKind::ParentGone;
            gone.key = foreignParent_;
            out.push_back(gone);
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
        if (!foreign_->Query(handle, width, height)) {
            std::fprintf(stderr, "kestapp: there is no window 0x%x to show the preview in\n", handle);
            return false;
        }
        return true;
    }

    bool OpenInside(WindowHandle parent, const ScreenRect& rect) override {
        if (window_ != nullptr || rect.IsEmpty() || !OpenForeign()) {
            return false;
        }
        uintptr_t child = foreign_->CreateChild(parent, rect);
        if (child == 0) {
            return false;
        }
        window_ = SDL_CreateWindowFrom(reinterpret_cast<const void*>(child));
        if (window_ == nullptr) {
            std::fprintf(stderr, "kestapp: cannot show the preview: %s\n", SDL_GetError());
            return false;
        }
        // Software rendering needs nothing of the foreign window's visual.
        renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
        foreignParent_ = parent;
        preview_ = rect;
        return renderer_ != nullptr;
    }

    bool ReadWindow(std::vector<uint32_t>& pixels, int32_t& width, int32_t& height) override {
        width = height = 0;
        int w = 0;
        int h = 0;
        if (renderer_ == nullptr || texture_ == nullptr ||
            SDL_GetRendererOutputSize(renderer_, &w, &h) != 0) {
            return false;
        }
        // The back buffer holds nothing certain after a present: draw the picture again, then read it.
        Compose();
        pixels.assign(size_t(w) * size_t(h), 0);
        if (SDL_RenderReadPixels(renderer_, nullptr, SDL_PIXELFORMAT_RGB888, pixels.data(), w * 4) != 0) {
            return false;
        }
        width = w;
        height = h;
        return true;
    }

  private:
    bool OpenForeign() {
        if (foreign_ == nullptr) {
            foreign_ = ForeignWindows::Open();
        }
        return foreign_ != nullptr;
    }

    bool EnsureWindow(const ScreenMode& mode, bool& fresh) {
        if (window_ == nullptr && !OpenWindow(mode)) {
            return false;
        }
        if (texture_ == nullptr || textureWidth_ != mode.width || textureHeight_ != mode.height) {
            if (texture_ != nullptr) {
                SDL_DestroyTexture(texture_);
            }
            texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                         mode.width, mode.height);
            textureWidth_ = mode.width;
            textureHeight_ = mode.height;
            fresh = true;
        }
        return texture_ != nullptr;
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
        renderer_ = SDL_CreateRenderer(window_, -1, 0);
        if (renderer_ == nullptr) {
            renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
        }
        if (renderer_ == nullptr) {
            return false;
        }
        ApplyHints();
        SDL_StartTextInput();
        return true;
    }

    void CloseWindow() {
        if (texture_ != nullptr) {
            SDL_DestroyTexture(texture_);
            texture_ = nullptr;
        }
        if (renderer_ != nullptr) {
            SDL_DestroyRenderer(renderer_);
            renderer_ = nullptr;
        }
        if (window_ != nullptr) {
            SDL_DestroyWindow(window_);
            window_ = nullptr;
        }
    }

    void ApplyHints() {
        if (window_ == nullptr || !preview_.IsEmpty()) {
            return;  // a preview window belongs to its parent: it neither floats nor covers the monitor
        }
        SDL_SetWindowAlwaysOnTop(window_, HasHint(hints_, WindowHints::kTopmost) ? SDL_TRUE : SDL_FALSE);
        // Without a window manager nobody resizes the window, yet SDL then believes it covers the monitor
        // and draws the picture for that size into the smaller window: place and size it ourselves first.
        SDL_DisplayMode desktop;
        if (HasHint(hints_, WindowHints::kCoversScreen) && SDL_GetDesktopDisplayMode(0, &desktop) == 0) {
            SDL_SetWindowPosition(window_, 0, 0);
            SDL_SetWindowSize(window_, desktop.w, desktop.h);
        }
        SDL_SetWindowFullscreen(
            window_, HasHint(hints_, WindowHints::kCoversScreen) ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    }

    // Where the picture lies in the window, and which part of the screen it shows.
    void Layout(ScreenRect& view, ScreenRect& source) const {
        int w = 0;
        int h = 0;
        SDL_GetRendererOutputSize(renderer_, &w, &h);
        if (!preview_.IsEmpty()) {
            view = ScreenRect{0, 0, preview_.Width(), preview_.Height()};
            source = preview_;
            return;
        }
        view = LetterboxView(w, h, textureWidth_, textureHeight_);
        source = ScreenRect{0, 0, textureWidth_, textureHeight_};
    }

    // The whole picture each time: after a present the renderer's back buffer holds nothing certain.
    void Compose() {
        ScreenRect view, source;
        Layout(view, source);
        SDL_Rect from = ToSdl(source);
        SDL_Rect to = ToSdl(view);
        SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
        SDL_RenderClear(renderer_);
        SDL_RenderCopy(renderer_, texture_, &from, &to);
    }

    void Draw() {
        if (texture_ != nullptr) {
            Compose();
            SDL_RenderPresent(renderer_);
        }
    }

    void MousePosition(int32_t x, int32_t y, InputEvent& in) const {
        ScreenRect view, source;
        Layout(view, source);
        WindowToScreen(view, source.Width(), source.Height(), x, y, in.x, in.y);
        in.x += source.left;
        in.y += source.top;
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
                Draw();  // the texture still holds the picture: no need to ask the windows to paint
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
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    int textureWidth_ = 0;
    int textureHeight_ = 0;
    bool lastKeyRepeated_ = false;
    WindowHints hints_ = WindowHints::kNone;
    FocusTracker focus_;
    std::unique_ptr<ForeignWindows> foreign_;
    WindowHandle foreignParent_ = 0;
    ScreenRect preview_;  // empty unless the window lives inside a foreign one
    bool parentGoneReported_ = false;
};

std::unique_ptr<VideoBackend> CreateSdl(const VideoOptions&, std::string& error) {
    // The framework handles SIGINT and SIGTERM itself.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
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
