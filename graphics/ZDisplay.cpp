#include "graphics/ZDisplay.h"

#include "graphics/ZColorTable.h"
#include "platform/Display.h"
#include "platform/Host.h"

namespace {

constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;

}  // namespace

const uint32_t ZScreenPalette::kMonoSystemColors[25] = {
    kBlack, kWhite, kWhite, kWhite, kWhite, kBlack, kBlack, kBlack, kBlack, kBlack, kWhite, kWhite, kWhite,
    kWhite, kBlack, kWhite, kWhite, kBlack, kBlack, kBlack, kBlack, kBlack, kWhite, kBlack, kWhite,
};

ZDisplayMode& ZDisplayMode::Get() {
    static ZDisplayMode mode;
    return mode;
}

void ZDisplayMode::Begin() {
    begun_ = true;
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

ZScreenPalette& ZScreenPalette::Get() {
    static ZScreenPalette palette;
    return palette;
}

void ZScreenPalette::SaveColors() {
    platform::Display& display = platform::Display::Get();
    if (display.GetPaletteUse() == platform::kPaletteUseStatic) {
        const uint32_t* colors = display.GetSystemColors();
        for (int i = 0; i < 25; ++i) {
            savedColors_[i] = colors[i];
        }
        saved_ = true;
    }
}

// System colours are set only once they were saved, so that they can always be put back.
void ZScreenPalette::SetColors(const uint32_t* colors) {
    if (saved_) {
        platform::Display::Get().SetSystemColors(colors);
    }
}

void ZScreenPalette::ApplyUse(int32_t use) {
    platform::Display& display = platform::Display::Get();
    if (display.GetPaletteUse() != use) {
        display.SetPaletteUse(use);
        RealizeCurrent();
    }
}

void ZScreenPalette::RealizeCurrent() {
    ZColorTable* table = GetCurrentColorTable();
    if (table != nullptr) {
        if (table->GetCount() > 0) {
            platform::Display::Get().SetPalette(table->GetEntryData(), table->GetCount());
        }
        table->Release();
    }
}

void ZScreenPalette::SetSystemPaletteMode(ZSystemPaletteFlags flags) {
    SaveColors();
    keepStatic_ = HasFlags(flags, ZSystemPaletteFlags::kKeepStatic);
    monoSysColors_ = HasFlags(flags, ZSystemPaletteFlags::kMonoSystemColors);
    ApplyUse(keepStatic_ ? platform::kPaletteUseStatic : platform::kPaletteUseNoStatic);
    if (!keepStatic_ && monoSysColors_) {
        SetColors(kMonoSystemColors);
    }
}

void ZScreenPalette::RestoreSystemPalette() {
    ApplyUse(platform::kPaletteUseStatic);
    SetColors(savedColors_);
}

void ZScreenPalette::OnActivate(bool active) {
    if (!active) {
        RestoreSystemPalette();
        return;
    }
    SaveColors();
    ApplyUse(keepStatic_ ? platform::kPaletteUseStatic : platform::kPaletteUseNoStatic);
    SetColors(!keepStatic_ && monoSysColors_ ? kMonoSystemColors : savedColors_);
}

void ZScreenPalette::Reset() {
    *this = ZScreenPalette();
}
