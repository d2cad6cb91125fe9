// The screen as the graphic device sees it: its mode, the display-mode switcher, and the sharing of the
// system palette with its 25 system colours. Both are process-wide; the application sets them up and
// puts them back (a switch changes the virtual screen, never the monitor).
#pragma once

#include <cstdint>

#include "core/ZFlags.h"
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

    // Records the screen's mode as the current and the initial one (once; later calls do nothing).
    void Begin();
    ZScreenMode GetScreenMode() const;
    ZRect GetScreenRect() const;
    int32_t GetVerticalDpi() const { return 96; }

    // Switches the screen; zero arguments keep that part. False for all-zero arguments or a mode the
    // screen cannot take (nothing changes then). With remember, activation re-applies it.
    bool SetDisplayMode(int32_t width, int32_t height, int32_t depth, bool remember);
    // Back to the mode of the display settings, if this object changed it.
    void RestoreSettings();
    bool HasChanged() const { return changed_; }
    // Activation: re-applies the remembered mode; deactivation returns to the settings.
    void OnActivate(bool active);
    // Forgets everything (tests, and a new run of the application).
    void Reset();

  private:
    bool begun_ = false;
    bool changed_ = false;
    bool rememberSize_ = false;
    bool rememberDepth_ = false;
    ZScreenMode remembered_;
};

// How the application shares the system palette; combine with |.
enum class ZSystemPaletteFlags : uint32_t {
    kNone = 0,
    kKeepStatic = 1u << 0,        // leave the static system colours in the palette
    kMonoSystemColors = 1u << 1,  // without static colours, paint the system colours black and white
};
template <>
inline constexpr bool kIsFlagSet<ZSystemPaletteFlags> = true;

class ZScreenPalette {
  public:
    static ZScreenPalette& Get();

    // Saves the system colours when the palette is in static use, then applies static or no-static use;
    // without static colours, kMonoSystemColors sets the black-and-white system colours.
    void SetSystemPaletteMode(ZSystemPaletteFlags flags);
    // Static use again and the saved system colours.
    void RestoreSystemPalette();
    void OnActivate(bool active);
    // Realises the current colour table on the screen.
    void RealizeCurrent();
    void Reset();

    // The black-and-white system colours, 0xRRGGBB.
    static const uint32_t kMonoSystemColors[25];

  private:
    void ApplyUse(int32_t use);
    void SaveColors();
    void SetColors(const uint32_t* colors);

    bool keepStatic_ = true;
    bool monoSysColors_ = false;
    bool saved_ = false;
    uint32_t savedColors_[25] = {};
};
