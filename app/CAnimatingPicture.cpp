#include "app/CAnimatingPicture.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "graphics/ZAlphaChannel.h"
#include "graphics/ZColorTable.h"
#include "graphics/ZOffscreen.h"

namespace {

// Media held by one reference each for as long as the strip is being built.
template <typename Media>
struct Held {
    std::vector<Media*> items;
    ~Held() {
        for (Media* media : items) {
            media->Release();
        }
    }
    // Keeps media when it has the frame's size; lets go of it otherwise.
    bool KeepIfSized(Media* media, const ZRect& frame) {
        if (media == nullptr) {
            return false;
        }
        if (!media->GetBounds().IsEmpty() && media->GetBounds() == frame) {
            items.push_back(media);
            return true;
        }
        media->Release();
        return false;
    }
};

// A strip offscreen like pixels (kind, depth, format, colour table) of width x height; null without
// memory.
std::unique_ptr<ZOffscreen> MakeStrip(ZOffscreen& pixels, int32_t width, int32_t height) {
    ZColorTable* table = pixels.GetColorTable();
    std::unique_ptr<ZOffscreen> strip(new (std::nothrow) ZOffscreen(
        ZRect::FromSize(width, height), pixels.GetDepth(), table, pixels.GetKind(), pixels.GetFormat()));
    if (table != nullptr) {
        table->Release();
    }
    if (strip != nullptr && strip->GetPixels() == nullptr) {
        strip.reset();
    }
    return strip;
}

// Copies plane into rows top .. top + height - 1 of strip, one value per pixel.
void CopyPlane(const ZOffscreen& plane, ZOffscreen& strip, int32_t top) {
    int32_t width = std::min(plane.GetWidth(), strip.GetWidth());
    int32_t height = std::min(plane.GetHeight(), strip.GetHeight() - top);
    for (int32_t y = 0; y < height; ++y) {
        std::memcpy(strip.RowAddress(top + y), plane.RowAddress(y), size_t(width));
    }
}

}  // namespace

CAnimatingPicture::CAnimatingPicture(uint16_t firstFrame, uint16_t lastFrame, uint16_t firstAlpha,
                                     uint16_t lastAlpha)
    : ZPicture(firstFrame, 0, -4, -4) {
    // The strip is made here, not read from one item: reloading would bring back the first frame alone.
    reloadable_ = false;
    const ZRect frame = GetBounds();
    ZOffscreen* base = GetFirstOffscreen();
    if (base == nullptr || frame.IsEmpty()) {
        SetFrameCount(0);  // no first item: an empty picture without frames
        return;
    }
    lastFrame = std::max(lastFrame, firstFrame);
    lastAlpha = std::max(lastAlpha, firstAlpha);

    Held<ZPicture> frames;
    Held<ZAlphaChannel> alphas;
    uint16_t alphaId = firstAlpha;
    // A counter wider than the ids, so that a run ending at id 65535 ends.
    for (uint32_t id = firstFrame; id <= lastFrame; ++id) {
        // A frame left out takes its alpha with it, so that the later frames keep their own.
        if (frames.KeepIfSized(new (std::nothrow) ZPicture(uint16_t(id)), frame)) {
            alphas.KeepIfSized(new (std::nothrow) ZAlphaChannel(alphaId), frame);
        }
        if (alphaId < lastAlpha) {
            ++alphaId;
        }
    }

    const int32_t count = int32_t(frames.items.size());
    const int32_t height = frame.Height();
    if (count == 0 || int64_t(height) * count > ZOffscreen::kMaxEdge) {
        return;  // nothing to stack, or a strip too tall to allocate: the first frame stays
    }
    std::unique_ptr<ZOffscreen> strip = MakeStrip(*base, frame.Width(), height * count);
    if (strip == nullptr) {
        return;
    }
    for (int32_t j = 0; j < count; ++j) {
        ZRect slot = ZRect::FromSize(frame.Width(), height).Offset(0, j * height);
        if (ZOffscreen* pixels = frames.items[size_t(j)]->GetFirstOffscreen()) {
            pixels->CopyTo(*strip, nullptr, &slot);
        }
    }
    if (!alphas.items.empty()) {
        auto* stripAlpha = new (std::nothrow) ZAlphaChannel(ZRect::FromSize(frame.Width(), height * count));
        if (stripAlpha != nullptr && stripAlpha->GetPlane() != nullptr &&
            stripAlpha->GetPlane()->GetPixels() != nullptr) {
            for (int32_t j = 0; j < count; ++j) {
                // A shorter list of alphas repeats its last one.
                ZAlphaChannel* alpha = alphas.items[std::min(size_t(j), alphas.items.size() - 1)];
                if (alpha->GetPlane() != nullptr && alpha->GetPlane()->GetPixels() != nullptr) {
                    CopyPlane(*alpha->GetPlane(), *stripAlpha->GetPlane(), j * height);
                }
            }
            strip->SetAlphaChannel(stripAlpha);
        }
        if (stripAlpha != nullptr) {
            stripAlpha->Release();
        }
    }
    ReplaceOffscreens(strip.release(), true);
    SetFrameCount(count);
}
