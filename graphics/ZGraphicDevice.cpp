#include "graphics/ZGraphicDevice.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "graphics/ZOffscreen.h"
#include "platform/CWnd.h"
#include "platform/Display.h"

ZGraphicDevice::ZGraphicDevice(ZOffscreen& offscreen) : offscreen_(&offscreen) {
    offscreen.Lock();
}

ZGraphicDevice::ZGraphicDevice(CWnd& window) : window_(&window) {}

ZGraphicDevice::~ZGraphicDevice() {
    if (offscreen_ != nullptr) {
        offscreen_->Unlock();
    }
}

void ZGraphicDevice::FillBand(const ZRect& rect, const uint8_t* rgb, bool invert) {
    if (rect.IsEmpty()) {
        return;
    }
    if (offscreen_ != nullptr) {
        if (!invert) {
            offscreen_->Fill(&rect, rgb);
            return;
        }
        ZRect r = rect.Intersect(ZRect::FromSize(offscreen_->GetWidth(), offscreen_->GetHeight()));
        int32_t bpp = BytesPerPixel(offscreen_->GetDepth());
        for (int32_t y = r.top; y < r.bottom && offscreen_->GetPixels() != nullptr; ++y) {
            uint8_t* row = offscreen_->RowAddress(y);
            for (int32_t i = r.left * bpp; i < r.right * bpp; ++i) {
                row[i] = uint8_t(~row[i]);
            }
        }
        return;
    }
    if (window_ != nullptr && window_->IsWindowVisible() && rgb != nullptr && !invert) {
        platform::ScreenRect origin = window_->GetWindowRect();
        ZRect r =
            rect.Intersect(ZRect::FromSize(origin.Width(), origin.Height())).Offset(origin.left, origin.top);
        platform::Display::Get().FillRect(platform::ScreenRect{r.left, r.top, r.right, r.bottom},
                                          uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2]);
    }
}

void ZGraphicDevice::FillRect(const ZRect& rect, const uint8_t* fillRGB, const uint8_t* frameRGB,
                              int32_t penWidth, int32_t fillMode, int32_t frameMode) {
    if (rect.IsEmpty()) {
        return;
    }
    if (fillMode == kModeInvert) {
        FillBand(rect, nullptr, true);
    } else if (fillMode != kModeNone && fillRGB != nullptr) {
        FillBand(rect, fillRGB, false);
    }
    if (frameMode == kModeInvert || frameMode == kModeNone || frameRGB == nullptr) {
        return;
    }
    int32_t w = std::max(penWidth, 1);
    int32_t top = std::min(rect.top + w, rect.bottom);
    int32_t bottom = std::max(rect.bottom - w, top);
    FillBand(ZRect{rect.top, rect.left, top, rect.right}, frameRGB, false);
    FillBand(ZRect{bottom, rect.left, rect.bottom, rect.right}, frameRGB, false);
    FillBand(ZRect{top, rect.left, bottom, std::min(rect.left + w, rect.right)}, frameRGB, false);
    FillBand(ZRect{top, std::max(rect.right - w, rect.left), bottom, rect.right}, frameRGB, false);
}

namespace {

// The span [x0, x1) of row y inside the ellipse inscribed in rect grown by -inset on every side; false
// when the row misses it. Pixel centres decide.
bool EllipseSpan(const ZRect& rect, int32_t inset, int32_t y, int32_t& x0, int32_t& x1) {
    double rx = rect.Width() / 2.0 - inset;
    double ry = rect.Height() / 2.0 - inset;
    if (rx <= 0 || ry <= 0) {
        return false;
    }
    double cx = rect.left + rect.Width() / 2.0;
    double cy = rect.top + rect.Height() / 2.0;
    double dy = (y + 0.5 - cy) / ry;
    if (dy * dy > 1.0) {
        return false;
    }
    double half = rx * std::sqrt(1.0 - dy * dy);
    x0 = int32_t(std::ceil(cx - half - 0.5));
    x1 = int32_t(std::floor(cx + half - 0.5)) + 1;
    return x1 > x0;
}

}  // namespace

void ZGraphicDevice::FillEllipse(const ZRect& rect, const uint8_t* fillRGB, const uint8_t* frameRGB,
                                 int32_t penWidth, int32_t fillMode, int32_t frameMode) {
    if (rect.IsEmpty()) {
        return;
    }
    bool fill = fillMode == kModeInvert || (fillMode != kModeNone && fillRGB != nullptr);
    bool frame = frameMode != kModeInvert && frameMode != kModeNone && frameRGB != nullptr;
    int32_t w = std::max(penWidth, 1);
    for (int32_t y = rect.top; y < rect.bottom; ++y) {
        int32_t x0, x1;
        if (!EllipseSpan(rect, 0, y, x0, x1)) {
            continue;
        }
        if (fill) {
            FillBand(ZRect{y, x0, y + 1, x1}, fillRGB, fillMode == kModeInvert);
        }
        if (!frame) {
            continue;
        }
        int32_t i0, i1;
        if (EllipseSpan(rect, w, y, i0, i1)) {
            FillBand(ZRect{y, x0, y + 1, i0}, frameRGB, false);
            FillBand(ZRect{y, i1, y + 1, x1}, frameRGB, false);
        } else {
            FillBand(ZRect{y, x0, y + 1, x1}, frameRGB, false);
        }
    }
}

void ZGraphicDevice::DrawLine(const ZPoint& from, const ZPoint& to, const uint8_t* rgb, int32_t width) {
    if (rgb == nullptr) {
        return;
    }
    int32_t w = std::max(width, 1);
    int32_t before = (w - 1) / 2;
    // Bresenham's walk; each point is stamped as a w x w square.
    int64_t x = from.x, y = from.y;
    int64_t dx = std::llabs(int64_t(to.x) - from.x), dy = -std::llabs(int64_t(to.y) - from.y);
    int64_t sx = from.x < to.x ? 1 : -1, sy = from.y < to.y ? 1 : -1;
    int64_t error = dx + dy;
    for (;;) {
        int32_t px = int32_t(x) - before, py = int32_t(y) - before;
        FillBand(ZRect{py, px, py + w, px + w}, rgb, false);
        if (x == to.x && y == to.y) {
            break;
        }
        int64_t e2 = 2 * error;
        if (e2 >= dy) {
            error += dy;
            x += sx;
        }
        if (e2 <= dx) {
            error += dx;
            y += sy;
        }
    }
}

void ZGraphicDevice::DrawOffscreen(ZOffscreen& offscreen, const ZRect* sourceRect, const ZRect* targetRect) {
    if (offscreen_ != nullptr) {
        offscreen.DrawInto(*offscreen_, sourceRect, targetRect);
    } else if (window_ != nullptr) {
        offscreen.DrawToWindow(*window_, sourceRect, targetRect);
    }
}
