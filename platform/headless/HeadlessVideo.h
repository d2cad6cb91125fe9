// The headless backend: the virtual screen lives in memory, input comes from a script, and with virtual
// time the clock jumps ahead instead of sleeping, so minutes of show time pass in milliseconds. Scripted
// input is what a user does at the real window (positions in a window of a chosen size, host keys, typed
// text, focus moving between windows) and goes through the same translation as the SDL backend's.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/HostInput.h"
#include "platform/VideoBackend.h"

namespace platform {

class HeadlessVideo final : public VideoBackend {
  public:
    explicit HeadlessVideo(bool virtualTime);
    ~HeadlessVideo() override;

    void Present(const Display& display, const ScreenRect& changed) override;
    void WaitInput(std::vector<InputEvent>& out, uint32_t timeoutMs) override;
    bool ShowMessageBox(const char* caption, const char* text, int kind) override;
    void SetWindowHints(WindowHints hints) override { hints_ = hints; }

    // Queues an input event for the tick count at (events keep the order they were queued in).
    void Script(uint32_t at, const InputEvent& event);
    // The size of the pretend real window that shows the screen letterboxed; 0 by 0 (the default) is the
    // screen's own size.
    void SetWindowSize(int32_t width, int32_t height);
    // A pointer move, press or release at (x, y) in the pretend window.
    void ScriptMouse(uint32_t at, InputKind kind, int32_t x, int32_t y,
                     MouseButton button = MouseButton::Left);
    // A host key pressed (or held, with repeat) or released.
    void ScriptKey(uint32_t at, HostKey key, bool down, bool repeat = false);
    // Text typed, as the host's text input reports it.
    void ScriptText(uint32_t at, const char* utf8, bool repeat = false);
    // Real window number `window` gained or lost the keyboard focus.
    void ScriptFocus(uint32_t at, uint32_t window, bool focused);

    size_t PendingScript() const { return script_.size(); }
    // Alerts shown so far, as "caption: text" lines; an alert is also printed to stderr.
    const std::vector<std::string>& GetAlerts() const { return alerts_; }
    uint32_t GetPresentCount() const { return presents_; }
    // The rectangles presented so far, oldest first (the last kPresentHistory of them).
    static constexpr size_t kPresentHistory = 64;
    const std::deque<ScreenRect>& GetPresented() const { return presented_; }
    // What the windows last asked of the real window.
    WindowHints GetWindowHints() const { return hints_; }

    // The currently installed backend if it is headless, else null.
    static HeadlessVideo* Current();

  private:
    enum class Step : uint8_t { Ready, Mouse, Key, Text, Focus };
    struct Timed {
        uint32_t at = 0;
        Step step = Step::Ready;
        InputEvent event;  // Ready: as is; Mouse: kind, button and window position
        HostKey key = 0;   // Key: the host key; Focus: the window
        bool down = false;
        std::string text;
    };
    void Translate(const Timed& timed, std::vector<InputEvent>& out);
    bool TakeDue(std::vector<InputEvent>& out);

    std::unique_ptr<class VirtualClock> clock_;
    class Clock* previousClock_ = nullptr;
    std::deque<Timed> script_;
    std::vector<std::string> alerts_;
    uint32_t presents_ = 0;
    std::deque<ScreenRect> presented_;
    int32_t windowWidth_ = 0;
    int32_t windowHeight_ = 0;
    FocusTracker focus_;
    WindowHints hints_ = WindowHints::kNone;
};

extern const VideoBootstrap kHeadlessBootstrap;

}  // namespace platform
