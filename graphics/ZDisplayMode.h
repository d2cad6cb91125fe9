// The screen's mode as the graphic device sees it, and the display-mode switcher. Process-wide; the
// application switches the mode and puts it back (a switch changes the virtual screen, never the monitor).
#pragma once

#include <cstdint>

#include "core/ZRect.h"

struct ZScreenMode {
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 0;  // 8, 15, 24 or 32: a 16-bit screen is reported as 15, like the 16-bit offscreens
    bool operator==(const ZScreenMode&) const = default;
};

class ZDisplayMode {
  public:
    static ZDisplayMode& Get();

    ZScreenMode GetScreenMode() const;
    ZRect GetScreenRect() const;
    int32_t GetVerticalDpi() const { return 96; }

    // Switches the screen; zero arguments keep that part. False for all-zero arguments or a mode the
    // screen cannot take: a bad one, or one larger than the display settings' (nothing changes then).
    // With remember, activation re-applies it.
    bool SetDisplayMode(int32_t width, int32_t height, int32_t depth, bool remember);
    // Back to the mode of the display settings, if this object changed it.
    void RestoreSettings();
    bool HasChanged() const { return changed_; }
    // Activation: re-applies the remembered mode; deactivation returns to the settings.
    void OnActivate(bool active);
    // Forgets everything (tests, and a new run of the application).
    void Reset();

  private:
    bool changed_ = false;
    bool rememberSize_ = false;
    bool rememberDepth_ = false;
    ZScreenMode remembered_;
};
