#include "graphics/ZAlphaChannel.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "graphics/ZCopyArea.h"
#include "graphics/ZImageReaderTable.h"
#include "graphics/ZPicture.h"
#include "media/ZMediaServer.h"

ZAlphaChannel::ZAlphaChannel(uint16_t mediaId) : mediaId_(mediaId) {
    reloadable_ = true;
    Load();
}

ZAlphaChannel::ZAlphaChannel(const ZRect& rect)
    : bounds_{0, 0, rect.Height(), rect.Width()},
      plane_(std::make_unique<ZOffscreen>(bounds_, 8, nullptr, kKindMemory, kFormatAlpha8)) {
    loaded_ = plane_->GetPixels() != nullptr;
}

ZAlphaChannel::ZAlphaChannel(ZAlphaChannel& source, const ZRect* clipRect) {
    ZRect part = source.bounds_;
    if (clipRect != nullptr) {
        part = part.Intersect(*clipRect);
    }
    if (part.IsEmpty()) {
        return;
    }
    bounds_ = ZRect::FromSize(part.Width(), part.Height());
    plane_ = std::make_unique<ZOffscreen>(bounds_, 8, nullptr, kKindMemory, kFormatAlpha8);
    plane_->Clear();
    source.CombineInto(*this, &part, nullptr, 63);
    loaded_ = plane_->GetPixels() != nullptr;
}

int32_t ZAlphaChannel::Load() {
    if (plane_ != nullptr) {
        return 0;
    }
    if (failed_ || mediaId_ == 0 || gMediaServer == nullptr) {
        return -1;
    }
    ZFile file;
    ZTypeCode type = kTypeRax;
    int32_t result = -1;
    if (gMediaServer->OpenItem(mediaId_, file, type)) {
        if (type == kTypeRax) {
            result = ReadRax(file);
        } else if (type != kTypePhotoshop) {
            result = ReadPicture();
        }
    }
    failed_ = result != 0;
    loaded_ = result == 0;
    return result;
}

int32_t ZAlphaChannel::Unload() {
    if (IsPurgeable() && IsReloadable()) {
        plane_.reset();
        loaded_ = false;
        failed_ = false;
    }
    return 0;
}

int32_t ZAlphaChannel::ReadRax(ZFile& file) {
    int16_t width = 0;
    int16_t height = 0;
    int32_t storedStride = 0;
    if (file.ReadShort(width) != 2 || file.ReadShort(height) != 2 || file.ReadLong(storedStride) != 4) {
        return -1;
    }
    // A negative height marks data this plane cannot use; so do empty and oversized planes.
    if (width <= 0 || height <= 0 || width > kMaxEdge || height > kMaxEdge) {
        return -1;
    }
    int32_t stride = (width + 3) & ~3;
    int64_t bytes = int64_t(stride) * height;
    if (bytes > int64_t(file.GetSize()) - file.Tell()) {
        return -1;  // the item is shorter than its rows
    }
    auto plane =
        std::make_unique<ZOffscreen>(ZRect{0, 0, height, width}, 8, nullptr, kKindMemory, kFormatAlpha8);
    if (plane->GetPixels() == nullptr || plane->GetStride() != stride) {
        return -1;
    }
    if (file.Read(plane->GetPixels(), int32_t(bytes)) != bytes) {
        return -1;
    }
    // Values index 64-entry rows of the blend tables: anything above 63 is cut to 6 bits.
    uint8_t* p = plane->GetPixels();
    for (int64_t i = 0; i < bytes; ++i) {
        p[i] &= 63;
    }
    bounds_ = ZRect{0, 0, height, width};
    plane_ = std::move(plane);
    return 0;
}

// Any other picture item gives its 8-bit pixel values, cut to 6 bits, as the plane. Only its pixels are
// read: a plane or mask it names could name this item again.
int32_t ZAlphaChannel::ReadPicture() {
    ZPicture* picture = nullptr;
    {
        ZForcedDepth depth(8);
        picture = new (std::nothrow) ZPicture(mediaId_, kLoadPixels);
    }
    if (picture == nullptr) {
        return -1;
    }
    ZOffscreen* plane = picture->MakeAlphaPlane(picture->GetFullBounds(), false);
    picture->Release();
    if (plane == nullptr) {
        return -1;
    }
    bounds_ = plane->GetRect();
    plane_.reset(plane);
    return 0;
}

int32_t ZAlphaChannel::GetAlphaAt(int32_t x, int32_t y) const {
    if (plane_ == nullptr || plane_->GetPixels() == nullptr) {
        return 0;
    }
    // Bounded by the plane itself, not by the stride: the bytes after each row's last value are padding.
    int64_t px = int64_t(x) + originX_;
    int64_t py = int64_t(y) + originY_;
    if (px < 0 || py < 0 || px >= plane_->GetWidth() || py >= plane_->GetHeight()) {
        return 0;
    }
    return plane_->RowAddress(int32_t(py))[px] & 63;
}

// U[d * 64 + s]: the alpha of coverage d united with coverage s at the opacity.
const uint8_t* ZAlphaChannel::UnionTable(int32_t opacity) {
    if (unionTable_ != nullptr && unionOpacity_ == opacity) {
        return unionTable_.get();
    }
    unionTable_.reset(new (std::nothrow) uint8_t[64 * 64]);
    if (unionTable_ == nullptr) {
        return nullptr;
    }
    const float step = 0.015873017f;  // 1/63 as the tables have always used it
    for (int32_t d = 0; d < 64; ++d) {
        for (int32_t s = 0; s < 64; ++s) {
            float value = 63.0f - float(63 - d) * step * (63.0f - float(s) * float(opacity) * step);
            unionTable_[size_t(d * 64 + s)] = uint8_t(std::clamp(std::lround(value), 0L, 63L));
        }
    }
    unionOpacity_ = opacity;
    return unionTable_.get();
}

void ZAlphaChannel::CombineInto(ZAlphaChannel& target, const ZRect* sourceRect, const ZRect* targetRect,
                                int32_t opacity) {
    if (plane_ == nullptr || target.plane_ == nullptr || plane_->GetPixels() == nullptr ||
        target.plane_->GetPixels() == nullptr) {
        return;
    }
    // Clipped to the planes' own sizes, so that no rectangle reaches into row padding or past the rows.
    ZRect sourceSize = ZRect::FromSize(plane_->GetWidth(), plane_->GetHeight());
    ZRect targetSize = ZRect::FromSize(target.plane_->GetWidth(), target.plane_->GetHeight());
    ZCopyArea area;
    if (!area.Clip(sourceRect != nullptr ? *sourceRect : sourceSize,
                   targetRect != nullptr ? *targetRect : targetSize, sourceSize, targetSize)) {
        return;
    }
    const uint8_t* table = UnionTable(std::clamp(opacity, 0, 63));
    if (table == nullptr) {
        return;
    }
    for (int32_t row = 0; row < area.height; ++row) {
        const uint8_t* from = plane_->RowAddress(area.sourceY + row) + area.sourceX;
        uint8_t* to = target.plane_->RowAddress(area.targetY + row) + area.targetX;
        for (int32_t x = 0; x < area.width; ++x) {
            to[x] = table[(to[x] & 63) * 64 + (from[x] & 63)];
        }
    }
}
