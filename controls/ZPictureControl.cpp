#include "controls/ZPictureControl.h"

#include <algorithm>
#include <new>

#include "controls/ZPanelHost.h"
#include "graphics/ZColorTable.h"
#include "graphics/ZOffscreen.h"
#include "graphics/ZPicture.h"
#include "graphics/ZScaler.h"

namespace {

bool HasMaskOrAlpha(const ZPicture* picture) {
    ZOffscreen* first = picture != nullptr ? picture->GetFirstOffscreen() : nullptr;
    return first != nullptr &&
           first->GetTransferMode().Has(ZTransferMode::kUseAlphaChannel | ZTransferMode::kUseMask);
}

// A memory offscreen like source (depth, format, colour table) of width x height; null without memory.
ZOffscreen* MakeLike(ZOffscreen& source, int32_t width, int32_t height) {
    ZColorTable* table = source.GetColorTable();
    auto* made = new (std::nothrow)
        ZOffscreen(ZRect::FromSize(width, height), source.GetDepth(), table, kKindMemory, source.GetFormat());
    if (table != nullptr) {
        table->Release();
    }
    if (made != nullptr && made->GetPixels() == nullptr) {
        delete made;
        return nullptr;
    }
    return made;
}

}  // namespace

ZPictureControl::ZPictureControl(int32_t id, int32_t x, int32_t y, int32_t layer, int32_t width,
                                 int32_t height, ZPanel* panel)
    : ZControl(kClassId, id, x, y, layer, width, height, panel), fixedSize_(width > 0 && height > 0) {}

ZPictureControl::ZPictureControl(int32_t id, int32_t mediaId, int32_t x, int32_t y, int32_t layer,
                                 int32_t width, int32_t height, ZPanel* panel)
    : ZPictureControl(id, x, y, layer, width, height, panel) {
    if ((mediaId & 0xFFFF) != 0) {
        auto* picture = new ZPicture(uint16_t(mediaId));
        SetPicture(picture, ZRedraw::kNo);
        picture->Release();
    }
}

ZPictureControl::ZPictureControl(int32_t id, ZPicture* picture, int32_t x, int32_t y, int32_t layer,
                                 int32_t width, int32_t height, ZPanel* panel)
    : ZPictureControl(id, x, y, layer, width, height, panel) {
    SetPicture(picture, ZRedraw::kNo);
}

ZPictureControl::~ZPictureControl() {
    DropScaledCopy();
    if (picture_ != nullptr) {
        picture_->Release();
    }
}

// ---- The picture and its frames

bool ZPictureControl::SetPicture(ZPicture* picture, ZRedraw redraw) {
    if (picture == picture_) {
        return false;
    }
    cacheDirty_ = true;
    if (picture_ != nullptr) {
        InvalidateInWindow();
        picture_->Release();
    }
    picture_ = picture;
    if (picture == nullptr) {
        SetTransparent(false);
        DropScaledCopy();
        return true;
    }
    picture->AddReference();
    SetTransparent(HasMaskOrAlpha(picture));
    if (!fixedSize_) {
        const ZRect& frame = GetFrame();
        const ZRect& size = picture->GetBounds();
        SetFrame(ZRect{frame.top, frame.left, frame.top + size.Height(), frame.left + size.Width()});
    }
    if (scaled_ && HasMaskOrAlpha(picture)) {
        scaled_ = false;
    }
    if (scaled_) {
        RebuildScaledCopy(GetFrame().Width(), GetFrame().Height());
    }
    ValidateInWindow();
    if (redraw == ZRedraw::kYes && IsEffectivelyVisible()) {
        ZRect frame = GetAbsoluteFrame();
        Draw(nullptr, &frame, ZDrawFlags::kWithFollowing | ZDrawFlags::kClipToAncestors);
    }
    return true;
}

bool ZPictureControl::SetScaled(bool on, const ZRect* rect) {
    bool previous = scaled_;
    scaled_ = on && !HasMaskOrAlpha(picture_);
    if (scaled_ != previous) {
        cacheDirty_ = true;
    }
    if (scaled_ && rect != nullptr) {
        RebuildScaledCopy(rect->Width(), rect->Height());
    }
    return previous;
}

void ZPictureControl::SetPictureOffset(const ZPoint& offset) {
    pictureOffset_ = offset;
}

void ZPictureControl::SetFrameIndex(int32_t frame) {
    if (frame != frameIndex_) {
        frameIndex_ = frame;
        cacheDirty_ = true;
    }
}

int32_t ZPictureControl::GetFrameCount() const {
    return picture_ != nullptr ? picture_->GetFrameCount() : 0;
}

bool ZPictureControl::HasFrames() const {
    return GetFrameCount() > 0 && !picture_->GetFullBounds().IsEmpty();
}

int32_t ZPictureControl::ClampedFrame() const {
    int32_t count = GetFrameCount();
    return count > 0 ? std::clamp(frameIndex_, 0, count - 1) : 0;
}

void ZPictureControl::ShowFrame(int32_t frame) {
    if (frame == frameIndex_) {
        return;
    }
    SetFrameIndex(frame);
    Draw(nullptr, nullptr, ZDrawFlags::kWithFollowing | ZDrawFlags::kClipToAncestors);
}

// ---- The scaled copy

bool ZPictureControl::UsesScaledCopy(int32_t width, int32_t height) const {
    const ZRect& own = picture_->GetBounds();
    return scaled_ && scaledCopy_ != nullptr && (width != own.Width() || height != own.Height());
}

void ZPictureControl::DropScaledCopy() {
    if (scaledCopy_ != nullptr) {
        scaledCopy_->Release();
        scaledCopy_ = nullptr;
    }
    scalingBuffer_.reset();
    cachedWidth_ = 0;
    cachedHeight_ = 0;
}

// Two passes, across into the buffer and then down into the copy, of the frame shown now. When the
// picture cannot be scaled (no pixels, no memory, no routine) there is no copy and it draws unscaled.
void ZPictureControl::RebuildScaledCopy(int32_t width, int32_t height) {
    DropScaledCopy();
    cacheDirty_ = false;
    if (!HasFrames() || width <= 0 || height <= 0 || picture_->Load() != 0) {
        return;
    }
    ZOffscreen* source = picture_->GetFirstOffscreen();
    if (source == nullptr || source->GetPixels() == nullptr) {
        return;
    }
    const ZRect& own = picture_->GetBounds();
    ZPoint at = source->GetPosition();
    ZRect from = own.Offset(-at.x, ClampedFrame() * own.Height() - at.y);
    scalingBuffer_.reset(MakeLike(*source, width, own.Height()));
    std::unique_ptr<ZOffscreen> pixels(MakeLike(*source, width, height));
    if (scalingBuffer_ == nullptr || pixels == nullptr ||
        !ScaleHorizontal(*source, *scalingBuffer_, from, ZRect::FromSize(width, own.Height())) ||
        !ScaleVertical(*scalingBuffer_, *pixels, ZRect::FromSize(width, own.Height()),
                       ZRect::FromSize(width, height))) {
        scalingBuffer_.reset();
        return;
    }
    pixels->SetTransferMode(source->GetTransferMode());
    ZColorTable* table = source->GetColorTable();
    scaledCopy_ = new ZPicture(ZRect::FromSize(width, height), source->GetDepth(), table);
    if (table != nullptr) {
        table->Release();
    }
    scaledCopy_->ReplaceOffscreens(pixels.release(), true);
    cachedWidth_ = width;
    cachedHeight_ = height;
}

// ---- Drawing and hit testing

void ZPictureControl::DrawContent(ZGraphicDevice& device, const ZRect& rect) {
    if (!HasFrames()) {
        return;
    }
    ZRect frame = GetAbsoluteFrame();
    const ZRect& own = picture_->GetBounds();
    bool ownSize = frame.Width() == own.Width() && frame.Height() == own.Height();
    if (scaled_ && !ownSize &&
        (cacheDirty_ || frame.Width() != cachedWidth_ || frame.Height() != cachedHeight_)) {
        RebuildScaledCopy(frame.Width(), frame.Height());
    }
    ZRect area = frame.Intersect(rect);
    if (area.IsEmpty()) {
        return;
    }
    if (UsesScaledCopy(frame.Width(), frame.Height())) {
        scaledCopy_->Draw(device, frame, &area);
        return;
    }
    picture_->SetCurrentFrame(ClampedFrame());
    ZRect place = own.Offset(frame.left - pictureOffset_.x, frame.top - pictureOffset_.y);
    picture_->Draw(device, place, &area);
}

bool ZPictureControl::ContainsPoint(const ZPoint& point) const {
    ZRect frame = GetAbsoluteFrame();
    ZRect inside = frame;
    if (std::optional<ZRect> clip = GetAncestorClip()) {
        inside = inside.Intersect(*clip);
    }
    if (point.x < inside.left || point.x >= inside.right || point.y < inside.top ||
        point.y >= inside.bottom || !HasFrames()) {
        return false;
    }
    if (!pixelHitTest_) {
        return true;
    }
    int32_t x = point.x - frame.left;
    int32_t y = point.y - frame.top;
    if (UsesScaledCopy(frame.Width(), frame.Height()) && !cacheDirty_ && cachedWidth_ == frame.Width() &&
        cachedHeight_ == frame.Height()) {
        return !scaledCopy_->IsTransparentAt(x, y, 0);
    }
    return !picture_->IsTransparentAt(x + pictureOffset_.x, y + pictureOffset_.y, ClampedFrame());
}

bool ZPictureControl::IsTransparent() const {
    return HasMaskOrAlpha(picture_);
}

// ---- Input

bool ZPictureControl::Notify(int kind) {
    ZEventHandler* own = this;
    return own->SendBack(kind, GetId(), reinterpret_cast<intptr_t>(own));
}

void ZPictureControl::RecordGrab(const ZMouseEvent& event) {
    ZPoint at = GetPosition(true);
    grabPoint_ = ZPoint{event.x - at.x, event.y - at.y};
}

bool ZPictureControl::MouseDown(const ZMouseEvent& event) {
    if (ZControl::MouseDown(event)) {
        return true;
    }
    ControlState().capture = this;
    RecordGrab(event);
    Notify(kLinkPicturePressed);
    return true;
}

bool ZPictureControl::MouseUp(const ZMouseEvent& event) {
    if (ZControl::MouseUp(event)) {
        return true;
    }
    if (!ContainsPoint(ZPoint{event.x, event.y})) {
        return false;
    }
    RecordGrab(event);
    Notify(kLinkPictureClicked);
    return true;
}

bool ZPictureControl::CursorQuery(const ZMouseEvent& event) {
    if (!IsDraggable()) {
        return ZControl::CursorQuery(event);
    }
    SetCursorById(GetWindow(), ControlState().dragged == this ? kCursorDragging : kCursorGrab);
    return true;
}
