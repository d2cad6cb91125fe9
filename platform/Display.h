// The virtual screen. Its size and depth belong to the backend's screen, not to the monitor: a display
// mode switch changes this screen, and the SDL backend shows it scaled into a real window.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Messages.h"

namespace platform {

struct ScreenMode {
    int32_t width = 1024;
    int32_t height = 768;
    int32_t depth = 32;  // 8, 15, 16, 24 or 32
};

bool IsValidScreenMode(const ScreenMode& mode);

class Display {
  public:
    // The one virtual screen of the process.
    static Display& Get();

    const ScreenMode& GetMode() const { return mode_; }
    // Changes the virtual screen; the frame is cleared to black. False (and no change) for a bad mode.
    bool SetMode(const ScreenMode& mode);
    ScreenRect GetRect() const { return ScreenRect{0, 0, mode_.width, mode_.height}; }

    // The frame as presented: one 0x00RRGGBB word per pixel, rows top to bottom.
    const uint32_t* GetFrame() const { return frame_.data(); }
    uint32_t* GetFrame() { return frame_.data(); }
    // Fills the part of rect that lies on the screen.
    void FillRect(const ScreenRect& rect, uint32_t rgb);
    // Hands the frame to the video backend to be shown.
    void Present();
    uint32_t GetPresentCount() const { return presentCount_; }

  private:
    Display();
    ScreenMode mode_;
    std::vector<uint32_t> frame_;
    uint32_t presentCount_ = 0;
};

}  // namespace platform
