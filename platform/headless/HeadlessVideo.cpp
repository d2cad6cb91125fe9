#include "platform/headless/HeadlessVideo.h"

#include <cstdio>

#include "platform/Clock.h"

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

void HeadlessVideo::Present(const Display&) {
    ++presents_;
}

void HeadlessVideo::Script(uint32_t at, const InputEvent& event) {
    script_.push_back(Timed{at, event});
}

bool HeadlessVideo::TakeDue(std::vector<InputEvent>& out) {
    bool any = false;
    uint32_t now = TickCount();
    // Tick counts wrap: an event is due when it lies at most half the range in the past.
    while (!script_.empty() && int32_t(now - script_.front().at) >= 0) {
        out.push_back(script_.front().event);
        script_.pop_front();
        any = true;
    }
    return any;
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
