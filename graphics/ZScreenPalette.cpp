#include "graphics/ZScreenPalette.h"

#include "graphics/ZColorTable.h"
#include "platform/Display.h"

namespace {

constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;

}  // namespace

const uint32_t ZScreenPalette::kMonoSystemColors[25] = {
    kBlack, kWhite, kWhite, kWhite, kWhite, kBlack, kBlack, kBlack, kBlack, kBlack, kWhite, kWhite, kWhite,
    kWhite, kBlack, kWhite, kWhite, kBlack, kBlack, kBlack, kBlack, kBlack, kWhite, kBlack, kWhite,
};

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
