// The headless backend: the virtual screen lives in memory, input comes from a script, and with virtual
// time the clock jumps ahead instead of sleeping, so minutes of show time pass in milliseconds.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/VideoBackend.h"

namespace platform {

class HeadlessVideo final : public VideoBackend {
  public:
    explicit HeadlessVideo(bool virtualTime);
    ~HeadlessVideo() override;

    void Present(const Display& display) override;
    void WaitInput(std::vector<InputEvent>& out, uint32_t timeoutMs) override;
    bool ShowMessageBox(const char* caption, const char* text, int kind) override;

    // Queues an input event for the tick count at (events keep the order they were queued in).
    void Script(uint32_t at, const InputEvent& event);
    size_t PendingScript() const { return script_.size(); }
    // Alerts shown so far, as "caption: text" lines; an alert is also printed to stderr.
    const std::vector<std::string>& GetAlerts() const { return alerts_; }
    uint32_t GetPresentCount() const { return presents_; }

    // The currently installed backend if it is headless, else null.
    static HeadlessVideo* Current();

  private:
    struct Timed {
        uint32_t at;
        InputEvent event;
    };
    bool TakeDue(std::vector<InputEvent>& out);

    std::unique_ptr<class VirtualClock> clock_;
    class Clock* previousClock_ = nullptr;
    std::deque<Timed> script_;
    std::vector<std::string> alerts_;
    uint32_t presents_ = 0;
};

extern const VideoBootstrap kHeadlessBootstrap;

}  // namespace platform
