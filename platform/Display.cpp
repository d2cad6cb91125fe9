#include "platform/Display.h"

#include <algorithm>

#include "platform/VideoBackend.h"

namespace platform {

bool IsValidScreenMode(const ScreenMode& mode) {
    bool depthOk =
        mode.depth == 8 || mode.depth == 15 || mode.depth == 16 || mode.depth == 24 || mode.depth == 32;
    // 16384 x 16384 keeps every pixel count and byte size well inside 32 bits.
    return depthOk && mode.width > 0 && mode.height > 0 && mode.width <= 16384 && mode.height <= 16384;
}

Display& Display::Get() {
    static Display display;
    return display;
}

Display::Display() {
    frame_.assign(size_t(mode_.width) * size_t(mode_.height), 0);
}

bool Display::SetMode(const ScreenMode& mode) {
    if (!IsValidScreenMode(mode)) {
        return false;
    }
    mode_ = mode;
    frame_.assign(size_t(mode.width) * size_t(mode.height), 0);
    return true;
}

void Display::FillRect(const ScreenRect& rect, uint32_t rgb) {
    int32_t left = std::max(rect.left, 0);
    int32_t top = std::max(rect.top, 0);
    int32_t right = std::min(rect.right, mode_.width);
    int32_t bottom = std::min(rect.bottom, mode_.height);
    for (int32_t y = top; y < bottom; ++y) {
        uint32_t* row = frame_.data() + size_t(y) * size_t(mode_.width);
        std::fill(row + left, row + std::max(left, right), rgb);
    }
}

void Display::Present() {
    ++presentCount_;
    if (VideoBackend* backend = GetVideoBackend()) {
        backend->Present(*this);
    }
}

}  // namespace platform
