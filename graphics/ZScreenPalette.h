// The sharing of the system palette and its 25 system colours with the screen. Process-wide; the
// application sets it up and puts it back.
#pragma once

#include <cstdint>

#include "core/ZFlags.h"

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
