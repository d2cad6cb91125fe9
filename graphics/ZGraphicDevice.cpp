#include "graphics/ZGraphicDevice.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>

#include "graphics/ZAlphaChannel.h"
#include "graphics/ZOffscreen.h"
#include "platform/CFont.h"
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

ZRect ZGraphicDevice::GetTargetBounds() const {
    if (offscreen_ != nullptr) {
        return ZRect::FromSize(offscreen_->GetWidth(), offscreen_->GetHeight());
    }
    if (window_ == nullptr) {
        return ZRect{};
    }
    // The client area, less what lies off the screen.
    platform::ScreenRect frame = window_->GetWindowRect();
    platform::ScreenRect screen = platform::Display::Get().GetRect();
    ZRect onScreen =
        ZRect{screen.top, screen.left, screen.bottom, screen.right}.Offset(-frame.left, -frame.top);
    return ZRect::FromSize(frame.Width(), frame.Height()).Intersect(onScreen);
}

void ZGraphicDevice::SetBackgroundColor(const uint8_t rgb[3]) {
    std::copy(rgb, rgb + 3, background_);
}

int32_t ZGraphicDevice::MeasureText(const char* text, int32_t length, CFont& font) {
    platform::FontFace* face = font.GetFace();
    if (face == nullptr || text == nullptr || length <= 0) {
        return 0;
    }
    return face->MeasureText(reinterpret_cast<const uint8_t*>(text), length);
}

int32_t ZGraphicDevice::GetAscent(CFont& font) {
    return font.GetFace() != nullptr ? font.GetFace()->GetMetrics().ascent : 0;
}

int32_t ZGraphicDevice::GetDescent(CFont& font) {
    return font.GetFace() != nullptr ? font.GetFace()->GetMetrics().descent : 0;
}

namespace {

// 0..255 coverage to the 6-bit alpha the compositors take, rounded so that full coverage stays opaque.
void CoverageToAlpha(ZOffscreen& plane) {
    for (int32_t y = 0; y < plane.GetHeight(); ++y) {
        uint8_t* row = plane.RowAddress(y);
        for (int32_t x = 0; x < plane.GetWidth(); ++x) {
            row[x] = uint8_t((row[x] * 63 + 127) / 255);
        }
    }
}

ZAlphaChannel* NewPlane(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0 || width > ZOffscreen::kMaxEdge || height > ZOffscreen::kMaxEdge) {
        return nullptr;
    }
    ZAlphaChannel* channel = new (std::nothrow) ZAlphaChannel(ZRect::FromSize(width, height));
    if (channel != nullptr &&
        (channel->GetPlane() == nullptr || channel->GetPlane()->GetPixels() == nullptr)) {
        channel->Release();
        return nullptr;
    }
    return channel;
}

}  // namespace

void ZGraphicDevice::BlendCoverage(ZAlphaChannel& coverage, const ZRect& rect, const uint8_t* rgb) {
    ZRect size = ZRect::FromSize(rect.Width(), rect.Height());
    ZOffscreen ink(size, rgb);
    ink.SetAlphaChannel(&coverage);
    if (offscreen_ != nullptr) {
        ink.DrawInto(*offscreen_, nullptr, &rect);
        return;
    }
    platform::Display& display = platform::Display::Get();
    int32_t depth = display.GetMode().depth;
    if (window_ == nullptr || !window_->IsWindowVisible() || depth < 8) {
        return;
    }
    // The screen under the text is blended in memory and put back; rect lies on the screen.
    ZOffscreen under(size, depth, nullptr, kKindMemory);
    if (under.GetPixels() == nullptr) {
        return;
    }
    platform::ScreenRect frame = window_->GetWindowRect();
    int32_t bpp = display.GetBytesPerPixel();
    for (int32_t y = 0; y < size.bottom; ++y) {
        const uint8_t* from = display.GetPixels() + int64_t(frame.top + rect.top + y) * display.GetStride() +
                              int64_t(frame.left + rect.left) * bpp;
        std::copy(from, from + int64_t(size.right) * bpp, under.RowAddress(y));
    }
    ink.DrawInto(under, nullptr, nullptr);
    under.DrawToWindow(*window_, nullptr, &rect);
}

void ZGraphicDevice::DrawText(const char* text, int32_t length, int32_t x, int32_t baselineY, CFont& font,
                              const uint8_t* rgb, bool transparent, const ZRect* clip) {
    platform::FontFace* face = font.GetFace();
    if (face == nullptr || text == nullptr || length <= 0) {
        return;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(text);
    const platform::FontMetrics& m = face->GetMetrics();
    int32_t width = face->MeasureText(bytes, length);
    ZRect area = GetTargetBounds();
    if (clip != nullptr) {
        area = area.Intersect(*clip);
    }
    if (!transparent) {
        FillBand(ZRect{baselineY - m.ascent, x, baselineY + m.descent, x + width}.Intersect(area),
                 background_, false);
    }
    ZRect ink =
        ZRect{baselineY - m.inkAscent, x - m.overhang, baselineY + m.inkDescent, x + width + m.overhang}
            .Intersect(area);
    ZAlphaChannel* coverage = NewPlane(ink.Width(), ink.Height());
    if (coverage == nullptr) {
        return;
    }
    ZOffscreen& plane = *coverage->GetPlane();
    face->RenderText(bytes, length, x - ink.left, baselineY - ink.top, plane.GetPixels(), plane.GetWidth(),
                     plane.GetHeight(), plane.GetStride());
    CoverageToAlpha(plane);
    const uint8_t black[3] = {0, 0, 0};
    BlendCoverage(*coverage, ink, rgb != nullptr ? rgb : black);
    coverage->Release();
}

ZAlphaChannel* ZGraphicDevice::RenderTextAlpha(const char* text, int32_t length, CFont& font, int32_t shift) {
    platform::FontFace* face = font.GetFace();
    if (face == nullptr || text == nullptr || length <= 0 || shift < 0 || shift > 3) {
        return nullptr;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(text);
    const platform::FontMetrics& m = face->GetMetrics();
    int32_t n = 1 << shift;
    int32_t width = face->MeasureText(bytes, length);
    int32_t height = m.ascent + m.descent;
    std::unique_ptr<platform::FontFace> big =
        shift == 0 ? nullptr
                   : platform::OpenFontFace(font.GetFaceName().c_str(), font.GetPixelSize() * n,
                                            font.GetStyleBits());
    platform::FontFace* drawing = shift == 0 ? face : big.get();
    ZAlphaChannel* result = drawing != nullptr ? NewPlane(width, height) : nullptr;
    ZAlphaChannel* sample = result != nullptr ? NewPlane(width * n, height * n) : nullptr;
    if (sample == nullptr) {
        if (result != nullptr) {
            result->Release();
        }
        return nullptr;
    }
    ZOffscreen& fine = *sample->GetPlane();
    drawing->RenderText(bytes, length, 0, m.ascent * n, fine.GetPixels(), fine.GetWidth(), fine.GetHeight(),
                        fine.GetStride());
    ZOffscreen& out = *result->GetPlane();
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            int32_t sum = 0;
            for (int32_t dy = 0; dy < n; ++dy) {
                const uint8_t* row = fine.RowAddress(y * n + dy) + x * n;
                for (int32_t dx = 0; dx < n; ++dx) {
                    sum += row[dx];
                }
            }
            int32_t alpha = sum * 63 / (255 * n * n);
            out.RowAddress(y)[x] = uint8_t(alpha >= 1 && alpha <= 58 ? alpha + 5 : alpha);
        }
    }
    sample->Release();
    return result;
}
