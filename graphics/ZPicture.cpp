#include "graphics/ZPicture.h"

#include <algorithm>

#include "graphics/ZGraphicDevice.h"

ZPicture::ZPicture(uint16_t mediaId, int32_t loadFlags, int32_t index, int32_t option)
    : mediaId_(mediaId),
      loadFlags_(loadFlags == 0 ? kDefaultLoadFlags : loadFlags),
      imageIndex_(index == -4 ? kAllImages : index),
      option_(option == -4 ? -1 : option) {
    reloadable_ = true;
    Load();
}

ZPicture::ZPicture(const ZFileSpec& file, ZTypeCode type, int32_t loadFlags, int32_t index, int32_t option)
    : file_(file),
      itemType_(type),
      loadFlags_(loadFlags == 0 ? kDefaultLoadFlags : loadFlags),
      imageIndex_(index == -4 ? kAllImages : index),
      option_(option == -4 ? -1 : option) {
    if (itemType_ == kTypeUnknown) {
        itemType_ = file_.TypeFromExtension(ZFileSpec::kCategoryPicture);
    }
    reloadable_ = true;
    Load();
}

ZPicture::ZPicture(const ZRect& rect, int32_t depth, ZColorTable* colorTable) {
    InitEmpty(rect, new ZOffscreen(ZRect{0, 0, rect.Height(), rect.Width()}, depth, colorTable));
}

ZPicture::ZPicture(const ZRect& rect, const uint8_t rgb[3]) {
    InitEmpty(rect, new ZOffscreen(ZRect{0, 0, rect.Height(), rect.Width()}, rgb));
}

void ZPicture::InitEmpty(const ZRect& rect, ZOffscreen* offscreen) {
    bounds_ = ZRect{0, 0, rect.Height(), rect.Width()};
    fullBounds_ = bounds_;
    offscreens_.Append(offscreen);
    loaded_ = true;
}

int32_t ZPicture::Load() {
    if (offscreens_.GetHead() != nullptr) {
        return 0;
    }
    // Decoding belongs to the image readers; a picture that has none fails to load and stays empty.
    failed_ = true;
    return -1;
}

int32_t ZPicture::Unload() {
    if (IsPurgeable() && IsReloadable()) {
        offscreens_.DeleteAll();
        loaded_ = false;
        failed_ = false;
    }
    return 0;
}

void ZPicture::SetFrameCount(int32_t n) {
    if (n <= 0 || offscreens_.GetHead() == nullptr) {
        return;
    }
    frameCount_ = n;
    bounds_ = fullBounds_;
    bounds_.bottom = bounds_.top + fullBounds_.Height() / n;
}

void ZPicture::ReplaceOffscreens(ZOffscreen* offscreen, bool recompute) {
    offscreens_.DeleteAll();
    offscreens_.Append(offscreen);
    if (recompute) {
        fullBounds_ = GetUnionBounds();
    }
}

ZRect ZPicture::GetUnionBounds() const {
    ZRect result;
    for (ZListElement* e = offscreens_.GetHead(); e != nullptr; e = e->next) {
        auto* off = static_cast<ZOffscreen*>(e);
        if (off->GetRect().IsEmpty()) {
            continue;
        }
        ZPoint p = off->GetPosition();
        result = result.Union(ZRect::FromSize(off->GetWidth(), off->GetHeight()).Offset(p.x, p.y));
    }
    return result;
}

bool ZPicture::HasTransferMode() const {
    ZOffscreen* first = GetFirstOffscreen();
    return first != nullptr && first->GetTransferMode().flags != 0;
}

bool ZPicture::IsTransparentAt(int32_t x, int32_t y) const {
    for (ZListElement* e = offscreens_.GetHead(); e != nullptr; e = e->next) {
        auto* off = static_cast<ZOffscreen*>(e);
        if (!off->IsVisible()) {
            continue;
        }
        ZPoint p = off->GetPosition();
        if (off->GetAlphaAt(x - p.x, y + currentFrame_ * frameHeight() - p.y) != 0) {
            return false;
        }
    }
    return true;
}

bool ZPicture::GetTransferMode(ZTransferMode& mode) const {
    ZOffscreen* first = GetFirstOffscreen();
    if (first == nullptr) {
        return false;
    }
    mode = first->GetTransferMode();
    return true;
}

void ZPicture::SetTransferMode(const ZTransferMode& mode) {
    for (ZListElement* e = offscreens_.GetHead(); e != nullptr; e = e->next) {
        static_cast<ZOffscreen*>(e)->SetTransferMode(mode);
    }
}

int32_t ZPicture::Draw(ZGraphicDevice& device, const ZRect& placeRect, const ZRect* clipRect) {
    if (placeRect.IsEmpty()) {
        return 0;
    }
    int32_t error = Load();
    if (error != 0) {
        return error;
    }
    ZRect place = placeRect;
    int32_t shiftX = 0;
    int32_t shiftY = 0;
    if (clipRect != nullptr) {
        ZRect clipped = place.Intersect(*clipRect);
        if (clipped.IsEmpty()) {
            return 0;
        }
        shiftX = clipped.left - place.left;
        shiftY = clipped.top - place.top;
        place = clipped;
    }
    for (ZListElement* e = offscreens_.GetHead(); e != nullptr; e = e->next) {
        auto* off = static_cast<ZOffscreen*>(e);
        if (!off->IsVisible()) {
            continue;
        }
        ZPoint p = off->GetPosition();
        int32_t left = fullBounds_.left - p.x + shiftX;
        int32_t top = fullBounds_.top + currentFrame_ * frameHeight() - p.y + shiftY;
        ZRect source = ZRect::FromSize(place.Width(), place.Height()).Offset(left, top);
        device.DrawOffscreen(*off, &source, &place);
    }
    return 0;
}
