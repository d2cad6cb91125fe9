#include "controls/ZFont.h"

#include <algorithm>
#include <memory>
#include <new>

#include "controls/ZPictureFont.h"
#include "graphics/ZGraphicDevice.h"
#include "graphics/ZOffscreen.h"

namespace {

ZFont* gFirstFont = nullptr;

struct WorkTarget {
    ZOffscreen offscreen{ZRect::FromSize(1, 1), 8, nullptr, kKindMemory};
    ZGraphicDevice device{offscreen};
};
std::unique_ptr<WorkTarget> gWork;

}  // namespace

ZFont::ZFont() {
    Register();
}

ZFont::ZFont(const char* face, int32_t size, int32_t style) : size_(size), style_(style) {
    faceName_.Assign(face);
    Register();
    // Swiss family, character precisions, default quality and character set, as the framework asks.
    CreateFont(-size, 0, 0, 0, (style & platform::kFontBold) != 0 ? 700 : 400,
               (style & platform::kFontItalic) != 0, (style & platform::kFontUnderline) != 0, 0, 1, 2, 2, 0,
               0x20, face);
}

void ZFont::Register() {
    next_ = gFirstFont;
    gFirstFont = this;
}

ZFont::~ZFont() {
    for (ZFont** link = &gFirstFont; *link != nullptr; link = &(*link)->next_) {
        if (*link == this) {
            *link = next_;
            break;
        }
    }
    if (gFirstFont == nullptr) {
        gWork.reset();
    }
}

ZGraphicDevice& ZFont::WorkDevice() {
    if (gWork == nullptr) {
        gWork = std::make_unique<WorkTarget>();
    }
    return gWork->device;
}

int32_t ZFont::RunLength(const char* text, int32_t maxCount) {
    if (text == nullptr) {
        return 0;
    }
    int32_t n = 0;
    while ((maxCount < 0 || n < maxCount) && text[n] != 0) {
        ++n;
    }
    return n;
}

int32_t ZFont::TextWidth(const char* text, int32_t maxCount) {
    return WorkDevice().MeasureText(text, RunLength(text, maxCount), *this);
}

void ZFont::DrawText(ZGraphicDevice& device, int32_t x, int32_t baselineY, const char* text, int32_t maxCount,
                     const ZRect* clip, const uint8_t* rgb) {
    device.SelectFont(this);
    device.DrawText(text, RunLength(text, maxCount), x, baselineY, *this, rgb, true, clip);
}

void ZFont::Measure(ZGraphicDevice* device) {
    if (measured_) {
        return;
    }
    ZGraphicDevice& d = device != nullptr ? *device : WorkDevice();
    d.SelectFont(this);
    for (int32_t c = 0; c < 256; ++c) {
        char byte = char(c);
        widths_[c] = uint8_t(std::clamp(d.MeasureText(&byte, 1, *this), 0, 255));
    }
    ascent_ = int16_t(std::clamp(d.GetAscent(*this), 0, 0x7FFF));
    descent_ = int16_t(std::clamp(d.GetDescent(*this), 0, 0x7FFF));
    measured_ = true;
}

int32_t ZFont::GetAscent(ZGraphicDevice* device) {
    Measure(device);
    return ascent_;
}

int32_t ZFont::GetDescent(ZGraphicDevice* device) {
    Measure(device);
    return descent_;
}

const uint8_t* ZFont::GetWidths(ZGraphicDevice* device) {
    Measure(device);
    return widths_;
}

ZFont* ZFont::FindFont(const char* face, int32_t size, int32_t style, ZGraphicDevice* device, bool platform) {
    if (face == nullptr) {
        return nullptr;
    }
    ZFont* found = nullptr;
    ZFont* source = nullptr;
    for (ZFont* f = gFirstFont; f != nullptr && found == nullptr; f = f->next_) {
        if (f->style_ != style || f->size_ != size || !f->faceName_.Equals(face)) {
            continue;
        }
        if (f->IsPlatformFont() == platform) {
            found = f;
        } else if (f->IsPlatformFont()) {
            source = f;
        }
    }
    if (found == nullptr && platform) {
        found = new (std::nothrow) ZFont(face, size, style);
    } else if (found == nullptr) {
        if (source == nullptr) {
            source = FindFont(face, size, style, nullptr, true);
        }
        found = source != nullptr ? new (std::nothrow) ZPictureFont(*source) : nullptr;
    }
    if (found != nullptr && device != nullptr) {
        found->Measure(device);
    }
    return found;
}

ZFont* ZFont::FindPictureFont(int32_t mediaId, int32_t metricsId) {
    int32_t id = mediaId & 0xFFFF;
    if (id == 0) {
        return nullptr;
    }
    for (ZFont* f = gFirstFont; f != nullptr; f = f->next_) {
        if (f->mediaId_ == id && !f->IsPlatformFont()) {
            return f;
        }
    }
    return new (std::nothrow) ZPictureFont(id, metricsId != 0 ? metricsId & 0xFFFF : id);
}

void ZFont::DestroyAllFonts() {
    while (gFirstFont != nullptr) {
        delete gFirstFont;
    }
    gWork.reset();
}

ZFont* ZFont::GetFirstFont() {
    return gFirstFont;
}
