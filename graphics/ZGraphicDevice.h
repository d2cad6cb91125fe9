// A drawing target: an offscreen or a window. Controls and pictures draw through it: pixels go to the
// offscreen routines, and rectangles, ellipses and lines are drawn by our own routines on offscreens.
// The base device has no fonts: its text draws nothing and measures 0.
#pragma once

#include <cstdint>

#include "core/ZRect.h"

class CWnd;
class ZOffscreen;

class ZGraphicDevice {
  public:
    // How FillRect and FillEllipse treat their fill and frame.
    enum : int32_t { kModeNone = 3, kModeInvert = 5 };

    // Draws into offscreen, which stays locked for the device's life.
    explicit ZGraphicDevice(ZOffscreen& offscreen);
    // Draws onto a window's part of the screen.
    explicit ZGraphicDevice(CWnd& window);
    virtual ~ZGraphicDevice();
    ZGraphicDevice(const ZGraphicDevice&) = delete;
    ZGraphicDevice& operator=(const ZGraphicDevice&) = delete;

    // Nothing for an empty rect. fillMode 5 inverts, 3 leaves the inside alone, anything else fills with
    // fillRGB (when given); a frame of penWidth (at least 1) in frameRGB is drawn inside the rectangle
    // unless frameMode is 5 or 3.
    virtual void FillRect(const ZRect& rect, const uint8_t* fillRGB, const uint8_t* frameRGB,
                          int32_t penWidth, int32_t fillMode, int32_t frameMode);
    // The same for the ellipse inscribed in rect.
    virtual void FillEllipse(const ZRect& rect, const uint8_t* fillRGB, const uint8_t* frameRGB,
                             int32_t penWidth, int32_t fillMode, int32_t frameMode);
    // A line of width pixels from one point to the other, both ends included.
    virtual void DrawLine(const ZPoint& from, const ZPoint& to, const uint8_t* rgb, int32_t width);
    virtual void DrawText(const char*, int32_t, int32_t, int32_t, const uint8_t*, bool, const ZRect*) {}
    virtual int32_t MeasureText(const char*, int32_t) { return 0; }
    // Draws sourceRect of offscreen into targetRect of this device.
    virtual void DrawOffscreen(ZOffscreen& offscreen, const ZRect* sourceRect, const ZRect* targetRect);

    ZOffscreen* GetTargetOffscreen() const { return offscreen_; }
    CWnd* GetWindow() const { return window_; }

  private:
    // Fills one rectangle of the target (clipped), or inverts it.
    void FillBand(const ZRect& rect, const uint8_t* rgb, bool invert);

    ZOffscreen* offscreen_ = nullptr;
    CWnd* window_ = nullptr;
};
