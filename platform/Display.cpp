#include "platform/Display.h"

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/VideoBackend.h"

namespace platform {

namespace {

// A plain set of system colours for a fresh screen: light greys, navy captions, black text.
constexpr uint32_t kDefaultSystemColors[kSystemColorCount] = {
    0xD4D0C8, 0x0A246A, 0x808080, 0x3A6EA5, 0xD4D0C8, 0x808080, 0x000000, 0xFFFFFF, 0x808080,
    0x0A246A, 0xFFFFFF, 0xD4D0C8, 0x808080, 0xD4D0C8, 0x000000, 0xD4D0C8, 0xFFFFFF, 0x000000,
    0x000000, 0xD4D0C8, 0xFFFFFF, 0x404040, 0xD4D0C8, 0x000000, 0xFFFFE1,
};

// Pixels of the indexed depths hold an index below 2^depth.
bool IsIndexed(int32_t depth) {
    return depth <= 8;
}

// A grey ramp until someone realises a palette.
void GreyPalette(uint8_t* palette) {
    for (int i = 0; i < 256; ++i) {
        palette[i * 3] = palette[i * 3 + 1] = palette[i * 3 + 2] = uint8_t(i);
    }
}

}  // namespace

bool IsValidScreenMode(const ScreenMode& mode) {
    // 1 and 4 bits: displays the program cannot draw on, kept so that its refusal of them can be run.
    bool depthOk = mode.depth == 1 || mode.depth == 4 || mode.depth == 8 || mode.depth == 15 ||
                   mode.depth == 16 || mode.depth == 24 || mode.depth == 32;
    // 16384 x 16384 keeps every pixel count and byte size well inside 32 bits.
    return depthOk && mode.width > 0 && mode.height > 0 && mode.width <= 16384 && mode.height <= 16384;
}

Display& Display::Get() {
    static Display display;
    return display;
}

Display::Display() {
    Reset(mode_);
}

void Display::Reset(const ScreenMode& mode) {
    SetMode(mode);
    settingsMode_ = mode_;
    GreyPalette(palette_);
    paletteUse_ = kPaletteUseStatic;
    std::memcpy(systemColors_, kDefaultSystemColors, sizeof systemColors_);
}

bool Display::SetMode(const ScreenMode& mode) {
    if (!IsValidScreenMode(mode)) {
        return false;
    }
    mode_ = mode;
    stride_ = (mode.width * GetBytesPerPixel() + 3) & ~3;
    pixels_.assign(size_t(stride_) * size_t(mode.height), 0);
    frame_.assign(size_t(mode.width) * size_t(mode.height), 0);
    changed_ = GetRect();  // a new mode is a whole new picture
    return true;
}

void Display::SetSettingsMode(const ScreenMode& mode) {
    if (IsValidScreenMode(mode)) {
        settingsMode_ = mode;
    }
}

void Display::SetPalette(const uint8_t* rgb, int32_t count) {
    if (rgb == nullptr || count <= 0) {
        return;
    }
    std::memset(palette_, 0, sizeof palette_);
    std::memcpy(palette_, rgb, size_t(std::min(count, 256)) * 3);
    if (IsIndexed(mode_.depth)) {
        changed_ = GetRect();  // every pixel may have changed colour
    }
}

void Display::MarkChanged(const ScreenRect* rect) {
    changed_ = changed_.Union(rect != nullptr ? rect->Intersect(GetRect()) : GetRect());
}

void Display::SetSystemColors(const uint32_t* colors) {
    if (colors != nullptr) {
        std::memcpy(systemColors_, colors, sizeof systemColors_);
    }
}

uint32_t Display::ColorOf(const uint8_t* p) const {
    auto expand5 = [](uint32_t v) { return (v << 3) | (v >> 2); };
    auto expand6 = [](uint32_t v) { return (v << 2) | (v >> 4); };
    switch (mode_.depth) {
        case 1:
        case 4:
        case 8: {
            const uint8_t* c = palette_ + (p[0] & ((1u << mode_.depth) - 1)) * 3;
            return uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | c[2];
        }
        case 15: {
            uint32_t w = uint32_t(p[0] | p[1] << 8);
            return expand5((w >> 10) & 31) << 16 | expand5((w >> 5) & 31) << 8 | expand5(w & 31);
        }
        case 16: {
            uint32_t w = uint32_t(p[0] | p[1] << 8);
            return expand5((w >> 11) & 31) << 16 | expand6((w >> 5) & 63) << 8 | expand5(w & 31);
        }
        default:  // bytes B, G, R
            return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
}

void Display::PixelOf(uint32_t rgb, uint8_t* out) const {
    uint32_t r = (rgb >> 16) & 255, g = (rgb >> 8) & 255, b = rgb & 255;
    switch (mode_.depth) {
        case 1:
        case 4:
        case 8: {
            int best = 0;
            int32_t bestDistance = INT32_MAX;
            for (int i = 0; i < (1 << mode_.depth); ++i) {
                int32_t dr = int32_t(palette_[i * 3]) - int32_t(r),
                        dg = int32_t(palette_[i * 3 + 1]) - int32_t(g),
                        db = int32_t(palette_[i * 3 + 2]) - int32_t(b);
                int32_t d = dr * dr + dg * dg + db * db;
                if (d < bestDistance) {
                    bestDistance = d;
                    best = i;
                }
            }
            out[0] = uint8_t(best);
            break;
        }
        case 15: {
            uint32_t w = (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
            out[0] = uint8_t(w);
            out[1] = uint8_t(w >> 8);
            break;
        }
        case 16: {
            uint32_t w = (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3);
            out[0] = uint8_t(w);
            out[1] = uint8_t(w >> 8);
            break;
        }
        default:
            out[0] = uint8_t(b);
            out[1] = uint8_t(g);
            out[2] = uint8_t(r);
            if (mode_.depth == 32) {
                out[3] = 0;
            }
            break;
    }
}

void Display::FillRect(const ScreenRect& rect, uint32_t rgb) {
    int32_t left = std::max(rect.left, 0);
    int32_t top = std::max(rect.top, 0);
    int32_t right = std::min(rect.right, mode_.width);
    int32_t bottom = std::min(rect.bottom, mode_.height);
    int32_t bpp = GetBytesPerPixel();
    uint8_t pixel[4];
    PixelOf(rgb, pixel);
    for (int32_t y = top; y < bottom; ++y) {
        uint8_t* row = pixels_.data() + size_t(y) * size_t(stride_);
        for (int32_t x = left; x < right; ++x) {
            std::memcpy(row + size_t(x) * size_t(bpp), pixel, size_t(bpp));
        }
    }
    MarkChanged(&rect);
}

void Display::Blit(int32_t x, int32_t y, const uint8_t* pixels, int32_t stride, int32_t width,
                   int32_t height) {
    if (pixels == nullptr) {
        return;
    }
    // 64 bits, so that a window far off the screen cannot wrap its edges back onto it.
    int64_t left = std::max<int64_t>(x, 0), top = std::max<int64_t>(y, 0);
    int64_t right = std::min<int64_t>(int64_t(x) + width, mode_.width);
    int64_t bottom = std::min<int64_t>(int64_t(y) + height, mode_.height);
    if (right <= left || bottom <= top) {
        return;  // nothing of it lies on the screen
    }
    int64_t bpp = GetBytesPerPixel();
    int64_t skipX = left - x, skipY = top - y;
    for (int64_t row = top; row < bottom; ++row) {
        const uint8_t* from = pixels + (row - top + skipY) * stride + skipX * bpp;
        uint8_t* to = pixels_.data() + row * stride_ + left * bpp;
        std::memcpy(to, from, size_t((right - left) * bpp));
    }
    ScreenRect done{int32_t(left), int32_t(top), int32_t(right), int32_t(bottom)};
    MarkChanged(&done);
}

void Display::ConvertRows(const ScreenRect& rect) {
    // One loop per pixel layout, chosen once per call: a choice per pixel cost more than the conversion.
    auto each = [&](auto convert) {
        int32_t bpp = GetBytesPerPixel();
        for (int32_t y = rect.top; y < rect.bottom; ++y) {
            const uint8_t* p = pixels_.data() + size_t(y) * size_t(stride_) + size_t(rect.left) * size_t(bpp);
            uint32_t* out = frame_.data() + size_t(y) * size_t(mode_.width);
            for (int32_t x = rect.left; x < rect.right; ++x, p += bpp) {
                out[x] = convert(p);
            }
        }
    };
    switch (mode_.depth) {
        case 24:
        case 32:
            each([](const uint8_t* p) { return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]; });
            break;
        default:
            each([this](const uint8_t* p) { return ColorOf(p); });
            break;
    }
}

void Display::UpdateFrame() {
    ConvertRows(GetRect());
}

void Display::Present() {
    ++presentCount_;
    if (changed_.IsEmpty()) {
        return;  // the backend already shows this picture
    }
    ScreenRect changed = changed_;
    ConvertRows(changed);
    changed_ = ScreenRect{};
    if (VideoBackend* backend = GetVideoBackend()) {
        backend->Present(*this, changed);
        ++framesSent_;
        if (reportFromNs_ >= 0) {
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            int64_t ns = int64_t(now.tv_sec) * 1000000000 + now.tv_nsec - reportFromNs_;
            std::fprintf(stderr, "first frame presented after %lld ms\n",
                         static_cast<long long>(ns / 1000000));
            reportFromNs_ = -1;
        }
    }
}

}  // namespace platform
