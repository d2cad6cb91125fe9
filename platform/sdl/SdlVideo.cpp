// The SDL2 backend: the virtual screen shown in a real window, scaled to fit and letterboxed, with mouse
// and keyboard input and message boxes.
#include <SDL.h>

#include <cstring>
#include <memory>

#include "platform/Clock.h"
#include "platform/Display.h"
#include "platform/Messages.h"
#include "platform/VideoBackend.h"

namespace platform {

namespace {

uint32_t VirtualKeyFromSdl(SDL_Keycode key) {
    if (key >= 'a' && key <= 'z') {
        return uint32_t(key - 'a' + 'A');
    }
    if (key >= '0' && key <= '9') {
        return uint32_t(key);
    }
    if (key >= SDLK_F1 && key <= SDLK_F12) {
        return kKeyF1 + uint32_t(key - SDLK_F1);
    }
    switch (key) {
        case SDLK_BACKSPACE:
            return kKeyBack;
        case SDLK_TAB:
            return kKeyTab;
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            return kKeyReturn;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT:
            return kKeyShift;
        case SDLK_LCTRL:
        case SDLK_RCTRL:
            return kKeyControl;
        case SDLK_LALT:
        case SDLK_RALT:
            return kKeyAlt;
        case SDLK_ESCAPE:
            return kKeyEscape;
        case SDLK_SPACE:
            return kKeySpace;
        case SDLK_PAGEUP:
            return kKeyPageUp;
        case SDLK_PAGEDOWN:
            return kKeyPageDown;
        case SDLK_END:
            return kKeyEnd;
        case SDLK_HOME:
            return kKeyHome;
        case SDLK_LEFT:
            return kKeyLeft;
        case SDLK_UP:
            return kKeyUp;
        case SDLK_RIGHT:
            return kKeyRight;
        case SDLK_DOWN:
            return kKeyDown;
        case SDLK_INSERT:
            return kKeyInsert;
        case SDLK_DELETE:
            return kKeyDelete;
        default:
            return 0xFF;  // a key the framework has no name for still counts as a key press
    }
}

// Keys that type a control character, which text input does not report.
uint8_t ControlCharacter(SDL_Keycode key) {
    switch (key) {
        case SDLK_BACKSPACE:
            return 0x08;
        case SDLK_TAB:
            return 0x09;
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            return 0x0D;
        case SDLK_ESCAPE:
            return 0x1B;
        default:
            return 0;
    }
}

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

class SdlVideo final : public VideoBackend {
  public:
    ~SdlVideo() override {
        if (texture_ != nullptr) {
            SDL_DestroyTexture(texture_);
        }
        if (renderer_ != nullptr) {
            SDL_DestroyRenderer(renderer_);
        }
        if (window_ != nullptr) {
            SDL_DestroyWindow(window_);
        }
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        SDL_Quit();
    }

    void Present(const Display& display, const ScreenRect&) override {
        const ScreenMode& mode = display.GetMode();
        if (!EnsureWindow(mode)) {
            return;
        }
        SDL_UpdateTexture(texture_, nullptr, display.GetFrame(), mode.width * 4);
        SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
        SDL_RenderClear(renderer_);
        SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
        SDL_RenderPresent(renderer_);
    }

    void WaitInput(std::vector<InputEvent>& out, uint32_t timeoutMs) override {
        SDL_Event event;
        bool got =
            timeoutMs > 0 ? SDL_WaitEventTimeout(&event, int(timeoutMs)) != 0 : SDL_PollEvent(&event) != 0;
        while (got) {
            Translate(event, out);
            got = SDL_PollEvent(&event) != 0;
        }
    }

    bool ShowMessageBox(const char* caption, const char* text, int kind) override {
        uint32_t flags = kind == 1   ? SDL_MESSAGEBOX_ERROR
                         : kind == 2 ? SDL_MESSAGEBOX_WARNING
                                     : SDL_MESSAGEBOX_INFORMATION;
        return SDL_ShowSimpleMessageBox(flags, caption, text, window_) == 0;
    }

  private:
    bool EnsureWindow(const ScreenMode& mode) {
        if (window_ == nullptr) {
            SDL_DisplayMode desktop;
            int w = mode.width;
            int h = mode.height;
            // Scale down to fit the monitor; the renderer letterboxes whatever size the user gives it.
            if (SDL_GetDesktopDisplayMode(0, &desktop) == 0 && (w > desktop.w || h > desktop.h)) {
                double scale = std::min(desktop.w * 0.9 / w, desktop.h * 0.9 / h);
                w = int(w * scale);
                h = int(h * scale);
            }
            window_ = SDL_CreateWindow("KestApp", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w, h,
                                       SDL_WINDOW_RESIZABLE);
            if (window_ == nullptr) {
                return false;
            }
            renderer_ = SDL_CreateRenderer(window_, -1, 0);
            if (renderer_ == nullptr) {
                return false;
            }
            SDL_StartTextInput();
        }
        if (texture_ == nullptr || textureWidth_ != mode.width || textureHeight_ != mode.height) {
            if (texture_ != nullptr) {
                SDL_DestroyTexture(texture_);
            }
            texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                         mode.width, mode.height);
            textureWidth_ = mode.width;
            textureHeight_ = mode.height;
            // Mouse positions then arrive in virtual-screen pixels.
            SDL_RenderSetLogicalSize(renderer_, mode.width, mode.height);
        }
        return texture_ != nullptr;
    }

    void Translate(const SDL_Event& e, std::vector<InputEvent>& out) {
        InputEvent in;
        switch (e.type) {
            case SDL_QUIT:
                in.kind = InputKind::Close;
                break;
            case SDL_MOUSEMOTION:
                in.kind = InputKind::MouseMove;
                in.x = e.motion.x;
                in.y = e.motion.y;
                break;
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP:
                in.kind = e.type == SDL_MOUSEBUTTONDOWN ? InputKind::MouseDown : InputKind::MouseUp;
                in.x = e.button.x;
                in.y = e.button.y;
                in.button = ButtonFromSdl(e.button.button);
                break;
            case SDL_KEYDOWN:
            case SDL_KEYUP:
                in.kind = e.type == SDL_KEYDOWN ? InputKind::KeyDown : InputKind::KeyUp;
                in.key = VirtualKeyFromSdl(e.key.keysym.sym);
                in.repeat = e.key.repeat != 0;
                lastKeyRepeated_ = in.repeat;
                out.push_back(in);
                if (e.type == SDL_KEYDOWN && ControlCharacter(e.key.keysym.sym) != 0) {
                    InputEvent text;
                    text.kind = InputKind::Text;
                    text.character = ControlCharacter(e.key.keysym.sym);
                    text.repeat = in.repeat;
                    out.push_back(text);
                }
                return;
            case SDL_TEXTINPUT:
                TranslateText(e.text.text, out);
                return;
            case SDL_WINDOWEVENT:
                if (e.window.event == SDL_WINDOWEVENT_EXPOSED) {
                    in.kind = InputKind::Expose;
                } else if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
                    in.kind = InputKind::AppActive;
                } else if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
                    in.kind = InputKind::AppInactive;
                } else {
                    return;
                }
                break;
            default:
                return;
        }
        out.push_back(in);
    }

    // Characters are bytes in the framework: UTF-8 text becomes Latin-1 where it can, else is dropped.
    void TranslateText(const char* utf8, std::vector<InputEvent>& out) {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8);
        while (*p != 0) {
            uint32_t code = *p;
            int extra = code >= 0xF0 ? 3 : code >= 0xE0 ? 2 : code >= 0xC0 ? 1 : 0;
            code &= extra == 0 ? 0x7F : (0x3F >> extra);
            ++p;
            for (int i = 0; i < extra && (*p & 0xC0) == 0x80; ++i, ++p) {
                code = (code << 6) | (*p & 0x3F);
            }
            if (code >= 0x20 && code <= 0xFF && code != 0x7F) {
                InputEvent in;
                in.kind = InputKind::Text;
                in.character = static_cast<uint8_t>(code);
                in.repeat = lastKeyRepeated_;
                out.push_back(in);
            }
        }
    }

    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    int textureWidth_ = 0;
    int textureHeight_ = 0;
    bool lastKeyRepeated_ = false;
};

std::unique_ptr<VideoBackend> CreateSdl(const VideoOptions&, std::string& error) {
    // The framework handles SIGINT and SIGTERM itself.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        error = SDL_GetError();
        SDL_Quit();
        return nullptr;
    }
    return std::make_unique<SdlVideo>();
}

}  // namespace

extern const VideoBootstrap kSdlBootstrap;
const VideoBootstrap kSdlBootstrap = {"sdl", "a real window through SDL2", CreateSdl};

}  // namespace platform
