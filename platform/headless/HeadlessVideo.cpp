#include "platform/headless/HeadlessVideo.h"

#include <cstdio>

#include "platform/Clock.h"
#include "platform/Display.h"

namespace platform {

HeadlessVideo::HeadlessVideo(bool virtualTime) {
    if (virtualTime) {
        clock_ = std::make_unique<VirtualClock>(0);
        previousClock_ = SetClock(clock_.get());
    }
}

HeadlessVideo::~HeadlessVideo() {
    if (clock_ != nullptr) {
        SetClock(previousClock_);
    }
}

HeadlessVideo* HeadlessVideo::Current() {
    return dynamic_cast<HeadlessVideo*>(GetVideoBackend());
}

void HeadlessVideo::Present(const Display&, const ScreenRect& changed) {
    ++presents_;
    presented_.push_back(changed);
    if (presented_.size() > kPresentHistory) {
        presented_.pop_front();  // a long show must not grow this without bound
    }
}

void HeadlessVideo::Script(uint32_t at, const InputEvent& event) {
    Timed timed;
    timed.at = at;
    timed.event = event;
    script_.push_back(timed);
}

void HeadlessVideo::SetWindowSize(int32_t width, int32_t height) {
    windowWidth_ = width;
    windowHeight_ = height;
}

void HeadlessVideo::ScriptMouse(uint32_t at, InputKind kind, int32_t x, int32_t y, MouseButton button) {
    Timed timed;
    timed.at = at;
    timed.step = Step::Mouse;
    timed.event.kind = kind;
    timed.event.x = x;
    timed.event.y = y;
    timed.event.button = button;
    script_.push_back(timed);
}

void HeadlessVideo::ScriptKey(uint32_t at, HostKey key, bool down, bool repeat) {
    Timed timed;
    timed.at = at;
    timed.step = Step::Key;
    timed.key = key;
    timed.down = down;
    timed.event.repeat = repeat;
    script_.push_back(timed);
}

void HeadlessVideo::ScriptText(uint32_t at, const char* utf8, bool repeat) {
    Timed timed;
    timed.at = at;
    timed.step = Step::Text;
    timed.text = utf8 != nullptr ? utf8 : "";
    timed.event.repeat = repeat;
    script_.push_back(timed);
}

void HeadlessVideo::ScriptFocus(uint32_t at, uint32_t window, bool focused) {
    Timed timed;
    timed.at = at;
    timed.step = Step::Focus;
    timed.key = window;
    timed.down = focused;
    script_.push_back(timed);
}

void HeadlessVideo::Translate(const Timed& timed, std::vector<InputEvent>& out) {
    switch (timed.step) {
        case Step::Ready:
            out.push_back(timed.event);
            break;
        case Step::Mouse: {
            // The screen as it is when the event arrives, as the real window shows whatever is current.
            const ScreenMode& mode = Display::Get().GetMode();
            int32_t w = windowWidth_ > 0 ? windowWidth_ : mode.width;
            int32_t h = windowHeight_ > 0 ? windowHeight_ : mode.height;
            InputEvent event = timed.event;
            WindowToScreen(LetterboxView(w, h, mode.width, mode.height), mode.width, mode.height,
                           timed.event.x, timed.event.y, event.x, event.y);
            out.push_back(event);
            break;
        }
        case Step::Key:
            TranslateKey(timed.key, timed.down, timed.event.repeat, out);
            break;
        case Step::Text:
            TranslateText(timed.text.c_str(), timed.event.repeat, out);
            break;
        case Step::Focus:
            if (timed.down) {
                focus_.Gained(timed.key);
            } else {
                focus_.Lost(timed.key, TickCount());
            }
            break;
    }
}

bool HeadlessVideo::TakeDue(std::vector<InputEvent>& out) {
    size_t before = out.size();
    uint32_t now = TickCount();
    // Tick counts wrap: an event is due when it lies at most half the range in the past.
    while (!script_.empty() && int32_t(now - script_.front().at) >= 0) {
        Translate(script_.front(), out);
        script_.pop_front();
    }
    focus_.Report(now, out);
    return out.size() > before;
}

void HeadlessVideo::WaitInput(std::vector<InputEvent>& out, uint32_t timeoutMs) {
    if (TakeDue(out) || timeoutMs == 0) {
        return;
    }
    uint32_t wait = timeoutMs;
    if (!script_.empty()) {
        uint32_t untilNext = script_.front().at - TickCount();
        if (untilNext < wait) {
            wait = untilNext;
        }
    }
    Sleep(wait);
    TakeDue(out);
}

bool HeadlessVideo::ShowMessageBox(const char* caption, const char* text, int) {
    alerts_.push_back(std::string(caption) + ": " + text);
    return false;  // the alert still goes to stderr
}

namespace {
std::unique_ptr<VideoBackend> CreateHeadless(const VideoOptions& options, std::string&) {
    return std::make_unique<HeadlessVideo>(options.virtualTime);
}
}  // namespace

const VideoBootstrap kHeadlessBootstrap = {"headless", "virtual screen in memory, scripted input",
                                           CreateHeadless};

}  // namespace platform
