#include "graphics/ZPicture.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "graphics/ZGraphicDevice.h"
#include "graphics/ZImageReaderTable.h"
#include "media/ZMediaServer.h"

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
    if (failed_) {
        return -1;
    }
    ZFile file;
    ZTypeCode type = itemType_;
    bool found = false;
    if (mediaId_ != 0) {
        type = kTypeRix;
        found = gMediaServer != nullptr && gMediaServer->OpenItem(mediaId_, file, type);
    } else if (file_.IsValid()) {
        file.SetFileSpec(file_);
        found = file.Open(ZFileObject::kModeRead);
    }
    ZImageLoadResult result;
    ZImageLoad load{loadFlags_, imageIndex_, option_};
    if (!found || ReadImageFile(file, type, load, result) != 0) {
        failed_ = true;
        return -1;
    }
    // The reader may have chained further images behind the first; the list takes them all.
    offscreens_.InsertAt(result.offscreen, INT32_MAX);
    fullBounds_ = result.bounds;
    bounds_ = result.bounds;
    frameCount_ = 1;
    SetFrameCount(option_ < 0 ? result.frameCount : 1);
    loaded_ = true;
    return 0;
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
    if (n == 0 && offscreens_.GetHead() == nullptr) {
        frameCount_ = 0;  // nothing to show, not even one frame
        return;
    }
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
    return IsTransparentAt(x, y, currentFrame_);
}

bool ZPicture::IsTransparentAt(int32_t x, int32_t y, int32_t frame) const {
    if (x < bounds_.left || x >= bounds_.right || y < bounds_.top || y >= bounds_.bottom) {
        return true;
    }
    for (ZListElement* e = offscreens_.GetHead(); e != nullptr; e = e->next) {
        auto* off = static_cast<ZOffscreen*>(e);
        if (!off->IsVisible()) {
            continue;
        }
        ZPoint p = off->GetPosition();
        if (off->GetAlphaAt(x - p.x, y + frame * frameHeight() - p.y) != 0) {
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

ZOffscreen* ZPicture::MakeAlphaPlane(const ZRect& size, bool invert) const {
    ZOffscreen* source = GetFirstOffscreen();
    if (source == nullptr || source->GetDepth() != 8 || source->GetPixels() == nullptr) {
        return nullptr;
    }
    auto* plane = new (std::nothrow)
        ZOffscreen(ZRect{0, 0, size.Height(), size.Width()}, 8, nullptr, kKindMemory, kFormatAlpha8);
    if (plane == nullptr || plane->GetPixels() == nullptr) {
        delete plane;
        return nullptr;
    }
    plane->Clear();
    int32_t rows = std::min(plane->GetHeight(), source->GetHeight());
    int32_t columns = std::min(plane->GetWidth(), source->GetWidth());
    uint8_t flip = invert ? 63 : 0;
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* from = source->RowAddress(y);
        uint8_t* to = plane->RowAddress(y);
        for (int32_t x = 0; x < columns; ++x) {
            to[x] = uint8_t(((from[x] >> 2) & 63) ^ flip);
        }
    }
    return plane;
}
