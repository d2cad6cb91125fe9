// A drawing target: an offscreen or a window. Controls and pictures draw through it: pixels go to the
// offscreen routines, and rectangles, ellipses and lines are drawn by our own routines on offscreens.
// Text in platform fonts is measured and rasterised by the platform's font service and blended here;
// picture fonts draw themselves through DrawOffscreen.
#pragma once

#include <cstdint>

#include "core/ZRect.h"

class CFont;
class CWnd;
class ZAlphaChannel;
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
    // Blends length bytes of text in font, in rgb (null: black), with its origin at (x, baselineY); clipped
    // to clip and always to the target. Opaque (not transparent) text first fills its line box, as wide as
    // the text and from the ascent to the descent, with the background colour.
    virtual void DrawText(const char* text, int32_t length, int32_t x, int32_t baselineY, CFont& font,
                          const uint8_t* rgb, bool transparent, const ZRect* clip);
    // The advance of the text in pixels; 0 for a font without a face.
    virtual int32_t MeasureText(const char* text, int32_t length, CFont& font);
    // Remembers the font that text is measured and drawn with (null: none).
    virtual void SelectFont(CFont* font) { selectedFont_ = font; }
    CFont* GetSelectedFont() const { return selectedFont_; }
    int32_t GetAscent(CFont& font);
    int32_t GetDescent(CFont& font);
    // The colour opaque text fills its box with; white until set.
    void SetBackgroundColor(const uint8_t rgb[3]);
    // The text's shape as a new alpha channel of its advance by ascent + descent, the baseline at the
    // ascent: drawn through the same face at 2^shift times the size, each 2^shift square averaged, and
    // partial values 1..58 raised by 5 so thin strokes stay visible. shift 0..3; null otherwise, for empty
    // text or a font without a face.
    ZAlphaChannel* RenderTextAlpha(const char* text, int32_t length, CFont& font, int32_t shift);
    // Draws sourceRect of offscreen into targetRect of this device.
    virtual void DrawOffscreen(ZOffscreen& offscreen, const ZRect* sourceRect, const ZRect* targetRect);

    ZOffscreen* GetTargetOffscreen() const { return offscreen_; }
    CWnd* GetWindow() const { return window_; }
    // What can be drawn on: the offscreen's rectangle or the window's client area; empty otherwise.
    ZRect GetTargetBounds() const;

  private:
    // Fills one rectangle of the target (clipped), or inverts it.
    void FillBand(const ZRect& rect, const uint8_t* rgb, bool invert);

    // Blends the coverage plane (0..63, the size of rect) in rgb onto rect of the target.
    void BlendCoverage(ZAlphaChannel& coverage, const ZRect& rect, const uint8_t* rgb);

    ZOffscreen* offscreen_ = nullptr;
    CWnd* window_ = nullptr;
    CFont* selectedFont_ = nullptr;
    uint8_t background_[3] = {255, 255, 255};
};
