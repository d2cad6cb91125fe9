// The virtual screen. Its size and depth belong to the backend's screen, not to the monitor: a display
// mode switch changes this screen, and the SDL backend shows it scaled into a real window. The screen keeps
// its pixels in its own depth (1, 4 and 8 bits: palette indices, one byte each; 15 and 16: little-endian
// 5-5-5 / 5-6-5 words; 24: bytes B, G, R; 32: bytes B, G, R, unused), and turns them into colours only when
// presenting. Depths 1 and 4 exist so that a program's refusal of such displays can be exercised; the
// framework draws at 8 bits and more.
//
// The screen keeps the bounding rectangle of what changed since the last Present, so that presenting
// converts and sends only that part.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Messages.h"

namespace platform {

struct ScreenMode {
    int32_t width = 1024;
    int32_t height = 768;
    int32_t depth = 32;  // 1, 4, 8, 15, 16, 24 or 32
    bool operator==(const ScreenMode&) const = default;
};

bool IsValidScreenMode(const ScreenMode& mode);

// How the system palette is shared: static entries kept (1) or given to the application (2).
enum : int32_t { kPaletteUseStatic = 1, kPaletteUseNoStatic = 2 };
constexpr int32_t kSystemColorCount = 25;

class Display {
  public:
    // The one virtual screen of the process.
    static Display& Get();

    const ScreenMode& GetMode() const { return mode_; }
    // Changes the virtual screen; its pixels are cleared to black. False (and no change) for a bad mode.
    bool SetMode(const ScreenMode& mode);
    // The mode the screen had when the program started, which "the display settings" return to.
    const ScreenMode& GetSettingsMode() const { return settingsMode_; }
    void SetSettingsMode(const ScreenMode& mode);
    ScreenRect GetRect() const { return ScreenRect{0, 0, mode_.width, mode_.height}; }

    // The screen's own pixels, top row first.
    uint8_t* GetPixels() { return pixels_.data(); }
    const uint8_t* GetPixels() const { return pixels_.data(); }
    int32_t GetStride() const { return stride_; }
    int32_t GetBytesPerPixel() const { return (mode_.depth + 7) / 8; }

    // Fills the part of rect that lies on the screen with colour rgb (0xRRGGBB; at 8 bits the nearest
    // palette entry).
    void FillRect(const ScreenRect& rect, uint32_t rgb);
    // Copies rows of pixels in the screen's own format to (x, y), clipped to the screen.
    void Blit(int32_t x, int32_t y, const uint8_t* pixels, int32_t stride, int32_t width, int32_t height);
    // FillRect and Blit record what they change; whoever writes through GetPixels() says so here (null: the
    // whole screen), or the next Present leaves that part as it was.
    void MarkChanged(const ScreenRect* rect);
    // What changed since the last Present, clipped to the screen; empty when nothing did.
    const ScreenRect& GetChanged() const { return changed_; }

    // The palette of an 8-bit screen: 256 entries of R, G, B.
    const uint8_t* GetPalette() const { return palette_; }
    void SetPalette(const uint8_t* rgb, int32_t count);
    int32_t GetPaletteUse() const { return paletteUse_; }
    void SetPaletteUse(int32_t use) { paletteUse_ = use == kPaletteUseNoStatic ? use : kPaletteUseStatic; }
    // The 25 system colours, 0xRRGGBB each.
    const uint32_t* GetSystemColors() const { return systemColors_; }
    void SetSystemColors(const uint32_t* colors);

    // The presented frame: one 0x00RRGGBB word per pixel, as of the last UpdateFrame or Present.
    const uint32_t* GetFrame() const { return frame_.data(); }
    // Converts all of the screen's pixels to the frame.
    void UpdateFrame();
    // Converts what changed and hands the frame with that rectangle to the video backend; nothing is sent
    // when nothing changed.
    void Present();
    uint32_t GetPresentCount() const { return presentCount_; }
    // How many of those found a change and sent a frame to the backend.
    uint32_t GetFramesSent() const { return framesSent_; }
    // Makes the next Present that reaches the backend print "first frame presented after N ms" to stderr,
    // once, N counted on CLOCK_MONOTONIC from startNs (the process's start, for the start-up measurement).
    void ReportFirstPresent(int64_t startNs) { reportFromNs_ = startNs; }

    // Puts everything back as it was at start: mode, palette, palette use, system colours (tests).
    void Reset(const ScreenMode& mode);

  private:
    Display();
    uint32_t ColorOf(const uint8_t* pixel) const;
    void PixelOf(uint32_t rgb, uint8_t* out) const;
    void ConvertRows(const ScreenRect& rect);

    ScreenMode mode_;
    ScreenMode settingsMode_;
    std::vector<uint8_t> pixels_;
    int32_t stride_ = 0;
    std::vector<uint32_t> frame_;
    uint8_t palette_[256 * 3] = {};
    int32_t paletteUse_ = kPaletteUseStatic;
    uint32_t systemColors_[kSystemColorCount] = {};
    uint32_t presentCount_ = 0;
    uint32_t framesSent_ = 0;
    ScreenRect changed_;
    int64_t reportFromNs_ = -1;  // below 0: nothing to report
};

}  // namespace platform
