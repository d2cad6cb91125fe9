#include <cstring>

#include "graphics/ZAlphaChannel.h"
#include "graphics/ZColorTable.h"
#include "graphics/ZCompositor.h"
#include "graphics/ZCopyArea.h"
#include "graphics/ZMask.h"
#include "graphics/ZOffscreen.h"
#include "graphics/ZPicture.h"

namespace {

// A plane of bytes (alpha or mask) at (x, y) of an area, with its row step.
struct PlaneRows {
    const uint8_t* first = nullptr;
    int32_t step = 0;
};

// The plane's bytes for the rectangle at (x, y) of the area's size, or nothing when the plane is missing,
// not 8-bit, or does not cover the rectangle. The routines read exactly the area's width of each row, so
// a rectangle inside the plane keeps them out of the row padding.
PlaneRows PlaneAt(const ZOffscreen* plane, int32_t x, int32_t y, const ZCopyArea& area) {
    if (plane == nullptr || plane->GetPixels() == nullptr || plane->GetDepth() != 8 || x < 0 || y < 0 ||
        int64_t(x) + area.width > plane->GetWidth() || int64_t(y) + area.height > plane->GetHeight()) {
        return {};
    }
    return {plane->RowAddress(y) + x, plane->RowStep()};
}

PlaneRows AlphaAt(const ZAlphaChannel* channel, int32_t x, int32_t y, const ZCopyArea& area) {
    return channel != nullptr ? PlaneAt(channel->GetPlane(), x, y, area) : PlaneRows{};
}

PlaneRows MaskAt(ZMask* mask, const ZCopyArea& area) {
    ZPicture* picture = mask != nullptr ? mask->GetPicture() : nullptr;
    ZOffscreen* first = picture != nullptr ? picture->GetFirstOffscreen() : nullptr;
    return PlaneAt(first, area.targetX, area.targetY, area);
}

bool SameTable(ZColorTable* a, ZColorTable* b) {
    return a == b || (a != nullptr && a->Equals(b));
}

// Big-endian words are turned native once, as copies do; the compositors read native words.
void MakeWordsNative(ZOffscreen& offscreen) {
    if (BytesPerPixel(offscreen.GetDepth()) == 2 && (offscreen.GetFormat() & kNativeByteOrder) == 0) {
        offscreen.ConvertByteOrder(int16_t(offscreen.GetFormat() | kNativeByteOrder));
    }
}

}  // namespace

// A colour-only offscreen is drawn as a fill in the target's own format, whatever its nominal depth.
// Transparency under its own mode means the colour itself is transparent: then nothing is drawn.
void ZOffscreen::DrawInto(ZOffscreen& target, const ZRect* sourceRect, const ZRect* targetRect) {
    ZRect from = sourceRect != nullptr ? *sourceRect : rect_;
    ZRect to = targetRect != nullptr ? *targetRect : target.rect_;
    if (from.IsEmpty() || to.IsEmpty() || target.colorOnly_) {
        return;
    }
    if (depth_ == 8 && target.depth_ == 8 && target.colorTable_ != nullptr &&
        !SameTable(target.colorTable_, colorTable_)) {
        SetColorTable(target.colorTable_, true);
    }
    ZTransferMode mode = mode_;
    if (colorOnly_) {
        bool transparentIndex = mode.Has(ZTransferMode::kTransparentIndex) && colorTable_ != nullptr &&
                                colorTable_->FindColor(color_, true) == mode.transparentIndex;
        bool keyColour =
            mode.Has(ZTransferMode::kTransparentColor) && std::memcmp(color_, mode.keyColor, 3) == 0;
        if (transparentIndex || keyColour) {
            return;
        }
        mode.flags &= ~(ZTransferMode::kTransparentIndex | ZTransferMode::kTransparentColor);
    } else {
        MakeWordsNative(*this);
        MakeWordsNative(target);
        if (depth_ != target.depth_ || format_ != target.format_) {
            return;
        }
    }
    ZCopyArea area;
    if (!area.Clip(from, to, rect_, target.rect_)) {
        return;
    }
    PlaneRows sourceAlpha;
    if (mode.Has(ZTransferMode::kUseAlphaChannel)) {
        sourceAlpha = AlphaAt(mode.GetAlphaChannel(), area.sourceX, area.sourceY, area);
        if (sourceAlpha.first == nullptr) {
            return;
        }
    }
    PlaneRows mask;
    if (mode.Has(ZTransferMode::kUseMask)) {
        mask = MaskAt(mode.GetMask(), area);
        if (mask.first == nullptr) {
            mode.SetMask(nullptr);
        }
    }
    ZCompositor routine = SelectCompositor(mode, target.depth_, target.format_, colorOnly_);
    if (routine == nullptr) {
        return;
    }
    bool sourceLocked = colorOnly_ || Lock();
    bool targetLocked = target.Lock();
    if (sourceLocked && targetLocked) {
        ZAlphaChannel* targetChannel =
            target.mode_.Has(ZTransferMode::kUseAlphaChannel) ? target.mode_.GetAlphaChannel() : nullptr;
        PlaneRows targetAlpha = AlphaAt(targetChannel, area.targetX, area.targetY, area);
        if (targetAlpha.first != nullptr && mode.Has(ZTransferMode::kUseAlphaChannel)) {
            // Each target alpha becomes the alpha after drawing, which the blends divide by.
            ZRect sourcePart{area.sourceY, area.sourceX, area.sourceY + area.height,
                             area.sourceX + area.width};
            ZRect targetPart{area.targetY, area.targetX, area.targetY + area.height,
                             area.targetX + area.width};
            mode.GetAlphaChannel()->CombineInto(*targetChannel, &sourcePart, &targetPart,
                                                mode.Has(ZTransferMode::kUseOpacity) ? mode.opacity : 63);
        }
        int32_t bpp = BytesPerPixel(target.depth_);
        ZCompositeCall call;
        call.source = colorOnly_ ? nullptr : RowAddress(area.sourceY) + int64_t(area.sourceX) * bpp;
        call.sourceStride = RowStep();
        call.target = target.RowAddress(area.targetY) + int64_t(area.targetX) * bpp;
        call.targetStride = target.RowStep();
        call.sourceAlpha = sourceAlpha.first;
        call.sourceAlphaStride = sourceAlpha.step;
        call.targetAlpha = targetAlpha.first;
        call.targetAlphaStride = targetAlpha.step;
        call.width = area.width;
        call.height = area.height;
        call.bytesPerPixel = bpp;
        call.depth = target.depth_;
        call.format = target.format_;
        call.mode = &mode;
        call.color = color_;
        call.colorTable = colorTable_;
        call.mask = mask.first;
        call.maskStride = mask.step;
        routine(call);
    }
    if (!colorOnly_) {
        Unlock();
    }
    target.Unlock();
}
