#include "graphics/ZDisplayMode.h"

#include "graphics/ZScreenPalette.h"
#include "platform/Display.h"
#include "platform/Host.h"

ZDisplayMode& ZDisplayMode::Get() {
    static ZDisplayMode mode;
    return mode;
}

ZScreenMode ZDisplayMode::GetScreenMode() const {
    const platform::ScreenMode& m = platform::Display::Get().GetMode();
    return ZScreenMode{m.width, m.height, m.depth == 16 ? 15 : m.depth};
}

ZRect ZDisplayMode::GetScreenRect() const {
    ZScreenMode m = GetScreenMode();
    return ZRect{0, 0, m.height, m.width};
}

bool ZDisplayMode::SetDisplayMode(int32_t width, int32_t height, int32_t depth, bool remember) {
    if (remember) {
        rememberSize_ = width != 0 || height != 0;
        rememberDepth_ = depth != 0;
        remembered_ = ZScreenMode{width, height, depth};
    }
    if (width == 0 && height == 0 && depth == 0) {
        return false;
    }
    platform::Display& display = platform::Display::Get();
    platform::ScreenMode wanted = display.GetMode();
    wanted.width = width != 0 ? width : wanted.width;
    wanted.height = height != 0 ? height : wanted.height;
    wanted.depth = depth != 0 ? depth : wanted.depth;
    if (wanted == display.GetMode()) {
        return true;
    }
    // The screen the program started with stands for the monitor, which shows its own size and smaller
    // ones, never more.
    const platform::ScreenMode& monitor = display.GetSettingsMode();
    if (wanted.width > monitor.width || wanted.height > monitor.height) {
        return false;
    }
    uint32_t cursor = platform::GetCursor();
    platform::SetCursor(platform::kCursorWait);
    bool ok = display.SetMode(wanted);
    platform::SetCursor(cursor);
    if (ok) {
        changed_ = !(wanted == display.GetSettingsMode());
        ZScreenPalette::Get().RealizeCurrent();
    }
    return ok;
}

void ZDisplayMode::RestoreSettings() {
    platform::Display& display = platform::Display::Get();
    if (changed_ && display.SetMode(display.GetSettingsMode())) {
        ZScreenPalette::Get().RealizeCurrent();
    }
    changed_ = false;
}

void ZDisplayMode::OnActivate(bool active) {
    if (!active) {
        platform::Display& display = platform::Display::Get();
        if (!(display.GetMode() == display.GetSettingsMode())) {
            display.SetMode(display.GetSettingsMode());
        }
        return;
    }
    if (rememberSize_ || rememberDepth_) {
        SetDisplayMode(rememberSize_ ? remembered_.width : 0, rememberSize_ ? remembered_.height : 0,
                       rememberDepth_ ? remembered_.depth : 0, false);
    }
}

void ZDisplayMode::Reset() {
    *this = ZDisplayMode();
}
