#include "controls/ZGraphicObject.h"

#include <algorithm>

#include "controls/ZControlState.h"
#include "controls/ZPanelHost.h"
#include "graphics/ZColorTable.h"
#include "graphics/ZGraphicDevice.h"

namespace {

const ZMouseEvent& MouseOf(intptr_t data) {
    return *reinterpret_cast<const ZMouseEvent*>(data);
}

const ZKeyEvent& KeyOf(intptr_t data) {
    return *reinterpret_cast<const ZKeyEvent*>(data);
}

}  // namespace

ZGraphicObject::ZGraphicObject(int32_t classId, int32_t id, int32_t x, int32_t y, int32_t layer,
                               int32_t width, int32_t height)
    : frame_{y, x, y + height, x + width}, layer_(layer), classId_(classId), id_(id) {
    SetNodeKind(kNodeKind);
}

ZGraphicObject::~ZGraphicObject() {
    ZControlState& state = ControlState();
    if (state.capture == this) {
        state.capture = nullptr;
    }
    if (state.dragged == this) {
        state.dragged = nullptr;
    }
    if (state.focused == this) {
        state.focused = nullptr;
    }
    SetNodeKind(0);  // what remains while the bases go is no graphic object
}

ZGraphicObject* ZGraphicObject::AsObject(ZTLink* node) {
    // Only a graphic object's own node carries its kind, so the cast lands on that object.
    return node != nullptr && node->GetNodeKind() == kNodeKind ? static_cast<ZGraphicObject*>(node) : nullptr;
}

// ---- Tree order by layer

void ZGraphicObject::InsertAfter(ZTLink* node) {
    if (node == nullptr || node == this) {
        ZTLink::InsertAfter(node);
        return;
    }
    ZTLink* at = node;
    for (ZTLink* next = node->GetNext(); next != nullptr; next = next->GetNext()) {
        if (next == this) {
            continue;
        }
        ZGraphicObject* sibling = AsObject(next);
        if (sibling == nullptr || sibling->layer_ >= layer_) {
            break;
        }
        at = next;
    }
    ZTLink::InsertAfter(at);
}

void ZGraphicObject::AttachAsFirstChild(ZTLink* parent) {
    if (parent == nullptr || parent == this) {
        ZTLink::AttachAsFirstChild(parent);
        return;
    }
    ZTLink* first = parent->GetChild();
    if (first == this) {
        first = GetNext();
    }
    ZGraphicObject* sibling = AsObject(first);
    if (sibling != nullptr && sibling->layer_ < layer_) {
        InsertAfter(first);
    } else {
        ZTLink::AttachAsFirstChild(parent);
    }
}

ZGraphicObject* ZGraphicObject::GetParentObject() const {
    return AsObject(GetParent());
}

ZGraphicObject* ZGraphicObject::GetFirstChild() const {
    return AsObject(GetChild());
}

ZGraphicObject* ZGraphicObject::GetNextSibling() const {
    return AsObject(GetNext());
}

ZGraphicObject* ZGraphicObject::GetRoot() {
    ZGraphicObject* at = this;
    while (ZGraphicObject* parent = at->GetParentObject()) {
        at = parent;
    }
    return at;
}

ZPanelHost* ZGraphicObject::GetWindow() {
    ZGraphicObject* parent = GetParentObject();
    return parent != nullptr ? parent->GetWindow() : nullptr;
}

ZPanel* ZGraphicObject::GetPanel() {
    ZGraphicObject* parent = GetParentObject();
    return parent != nullptr ? parent->GetPanel() : nullptr;
}

// ---- Geometry

ZPoint ZGraphicObject::GetPosition(bool absolute) const {
    ZPoint p{frame_.left, frame_.top};
    for (ZGraphicObject* at = absolute ? GetParentObject() : nullptr; at != nullptr;
         at = at->GetParentObject()) {
        p.x += at->frame_.left;
        p.y += at->frame_.top;
    }
    return p;
}

ZRect ZGraphicObject::GetAbsoluteFrame() const {
    ZPoint p = GetPosition(true);
    return frame_.Offset(p.x - frame_.left, p.y - frame_.top);
}

// origin: the parent's absolute top-left corner.
ZRect ZGraphicObject::BoundsFrom(ZPoint origin, bool visibleOnly) const {
    ZRect bounds = frame_.Offset(origin.x, origin.y);
    if (clipsChildren_) {
        return bounds;
    }
    ZPoint own{bounds.left, bounds.top};
    for (ZGraphicObject* child = GetFirstChild(); child != nullptr; child = child->GetNextSibling()) {
        if (!visibleOnly || child->visible_) {
            bounds = bounds.Union(child->BoundsFrom(own, visibleOnly));
        }
    }
    return bounds;
}

ZRect ZGraphicObject::GetBounds() const {
    ZPoint p = GetPosition(true);
    return BoundsFrom(ZPoint{p.x - frame_.left, p.y - frame_.top}, false);
}

ZRect ZGraphicObject::GetVisibleBounds() const {
    if (!IsEffectivelyVisible()) {
        return ZRect{};
    }
    ZPoint p = GetPosition(true);
    ZRect bounds = BoundsFrom(ZPoint{p.x - frame_.left, p.y - frame_.top}, true);
    std::optional<ZRect> clip = GetAncestorClip();
    return clip ? bounds.Intersect(*clip) : bounds;
}

std::optional<ZRect> ZGraphicObject::GetAncestorClip() const {
    std::optional<ZRect> clip;
    for (ZGraphicObject* at = GetParentObject(); at != nullptr; at = at->GetParentObject()) {
        if (at->clipsChildren_) {
            ZRect frame = at->GetAbsoluteFrame();
            clip = clip ? clip->Intersect(frame) : frame;
        }
    }
    return clip;
}

bool ZGraphicObject::IntersectsRect(const ZRect& rect) const {
    ZRect frame = GetAbsoluteFrame();
    std::optional<ZRect> clip = GetAncestorClip();
    if (clip) {
        frame = frame.Intersect(*clip);
    }
    return !frame.Intersect(rect).IsEmpty();
}

// An empty clipped frame holds no point, even on its edges.
bool ZGraphicObject::ContainsPoint(const ZPoint& point) const {
    ZRect frame = GetAbsoluteFrame();
    std::optional<ZRect> clip = GetAncestorClip();
    if (clip) {
        frame = frame.Intersect(*clip);
    }
    return !frame.IsEmpty() && point.x >= frame.left && point.x <= frame.right && point.y >= frame.top &&
           point.y <= frame.bottom;
}

ZGraphicObject* ZGraphicObject::FindById(int32_t id) {
    if (id_ == id) {
        return this;
    }
    for (ZGraphicObject* child = GetFirstChild(); child != nullptr; child = child->GetNextSibling()) {
        if (ZGraphicObject* found = child->FindById(id)) {
            return found;
        }
    }
    return nullptr;
}

bool ZGraphicObject::IsParentEffectivelyVisible() const {
    for (ZGraphicObject* at = GetParentObject(); at != nullptr; at = at->GetParentObject()) {
        if (!at->visible_) {
            return false;
        }
    }
    return true;
}

bool ZGraphicObject::IsEffectivelyVisible() const {
    return visible_ && IsParentEffectivelyVisible();
}

bool ZGraphicObject::AcceptsInput() const {
    for (const ZGraphicObject* at = this; at != nullptr; at = at->GetParentObject()) {
        if (!at->visible_ || !at->enabled_) {
            return false;
        }
    }
    return true;
}

// ---- Input

bool ZGraphicObject::Handle(int kind, intptr_t data, intptr_t) {
    if (kind == kLinkVisibilityChanged) {
        // Never handled, so that a modal object does not keep the news from the rest of the subtree.
        VisibilityChanged();
        return false;
    }
    if (kind < kLinkMouseDown || kind > kLinkCursorQuery || data == 0) {
        return false;
    }
    // A hidden modal object (a suspended dialog) must not lock the window.
    bool swallow = modal_ && IsEffectivelyVisible();
    return Dispatch(kind, data) || swallow;
}

bool ZGraphicObject::Dispatch(int kind, intptr_t data) {
    if (!AcceptsInput()) {
        return false;
    }
    if ((kind == kLinkMouseDown || kind == kLinkCursorQuery) &&
        !ContainsPoint(ZPoint{MouseOf(data).x, MouseOf(data).y})) {
        return false;
    }
    switch (kind) {
        case kLinkMouseDown:
            return MouseDown(MouseOf(data));
        case kLinkMouseUp:
            return MouseUp(MouseOf(data));
        case kLinkMouseMove:
            return MouseMoved(MouseOf(data));
        case kLinkKeyDown:
            return KeyDown(KeyOf(data));
        case kLinkKeyUp:
            return KeyUp(KeyOf(data));
        case kLinkCursorQuery:
            return CursorQuery(MouseOf(data));
        default:
            return false;
    }
}

bool ZGraphicObject::OnMouseDown(const ZMouseEvent& event) {
    ZControlState& state = ControlState();
    if (state.capture != nullptr && state.capture->MouseDown(event)) {
        return true;
    }
    bool handled = BroadcastReverse(kLinkMouseDown, reinterpret_cast<intptr_t>(&event), 0);
    if (state.capture != nullptr) {
        if (ZPanelHost* host = state.capture->GetWindow()) {
            host->CaptureMouse();
        }
    }
    return handled;
}

bool ZGraphicObject::OnMouseMove(const ZMouseEvent& event) {
    ZControlState& state = ControlState();
    if (state.capture != nullptr && state.capture->MouseMoved(event) && state.capture != nullptr) {
        return true;
    }
    if (ContainsPoint(ZPoint{event.x, event.y})) {
        return BroadcastReverse(kLinkMouseMove, reinterpret_cast<intptr_t>(&event), 0);
    }
    ForgetCursor();
    return true;
}

bool ZGraphicObject::OnMouseUp(const ZMouseEvent& event) {
    if (ZPanelHost* host = GetWindow()) {
        host->ReleaseMouse();
    }
    ZControlState& state = ControlState();
    if (state.capture == nullptr) {
        return false;
    }
    bool handled = state.capture->MouseUp(event);
    state.capture = nullptr;
    return handled;
}

bool ZGraphicObject::OnKeyDown(const ZKeyEvent& event) {
    return BroadcastReverse(kLinkKeyDown, reinterpret_cast<intptr_t>(&event), 0);
}

bool ZGraphicObject::OnKeyUp(const ZKeyEvent& event) {
    return BroadcastReverse(kLinkKeyUp, reinterpret_cast<intptr_t>(&event), 0);
}

bool ZGraphicObject::OnCursorQuery(const ZMouseEvent& event) {
    ZControlState& state = ControlState();
    if (state.capture != nullptr && state.capture->CursorQuery(event)) {
        return true;
    }
    if (BroadcastReverse(kLinkCursorQuery, reinterpret_cast<intptr_t>(&event), 0)) {
        return true;
    }
    SetCursorById(GetWindow(), cursorId_);
    return true;
}

bool ZGraphicObject::CursorQuery(const ZMouseEvent&) {
    SetCursorById(GetWindow(), cursorId_);
    return true;
}

void ZGraphicObject::SetFocus(bool focus) {
    ZControlState& state = ControlState();
    if (!focus) {
        if (state.focused == this) {
            state.focused = nullptr;
        }
        return;
    }
    if (state.focused != nullptr && state.focused != this) {
        state.focused->SetFocus(false);
    }
    state.focused = this;
}

bool ZGraphicObject::SetEnabled(bool enabled) {
    bool previous = enabled_;
    enabled_ = enabled;
    return previous;
}

// ---- Dragging

bool ZGraphicObject::MouseDown(const ZMouseEvent& event) {
    ZControlState& state = ControlState();
    ZPoint at = GetPosition(true);
    state.dragOffset = ZPoint{at.x - event.x, at.y - event.y};
    if (!draggable_ || !BeginDrag()) {
        return false;
    }
    state.capture = this;
    state.dragged = this;
    return true;
}

bool ZGraphicObject::MouseMoved(const ZMouseEvent& event) {
    ZControlState& state = ControlState();
    if (state.dragged != this) {
        return false;
    }
    ZPoint target{event.x + state.dragOffset.x, event.y + state.dragOffset.y};
    if (!dragLimit_.IsEmpty()) {
        target.x = std::min(std::max(target.x, dragLimit_.left), dragLimit_.right - frame_.Width());
        target.y = std::min(std::max(target.y, dragLimit_.top), dragLimit_.bottom - frame_.Height());
    }
    MoveTo(target, ZMoveFlags::kAbsolute | ZMoveFlags::kRedraw);
    DragMoved();
    return true;
}

bool ZGraphicObject::MouseUp(const ZMouseEvent&) {
    ZControlState& state = ControlState();
    if (state.dragged != this) {
        return false;
    }
    EndDrag();
    state.dragged = nullptr;
    return true;
}

bool ZGraphicObject::BeginDrag() {
    return true;
}

void ZGraphicObject::DragMoved() {}

void ZGraphicObject::EndDrag() {}

// ---- Moving and showing

void ZGraphicObject::MoveTo(const ZPoint& point, ZMoveFlags flags) {
    ZPoint now = GetPosition(HasFlags(flags, ZMoveFlags::kAbsolute));
    MoveBy(point.x - now.x, point.y - now.y, flags);
}

void ZGraphicObject::MoveBy(int32_t dx, int32_t dy, ZMoveFlags flags) {
    bool force = HasFlags(flags, ZMoveFlags::kForce);
    if (dx == 0 && dy == 0 && !force) {
        return;
    }
    ZRect before = GetVisibleBounds();
    frame_ = frame_.Offset(dx, dy);
    if (!(force || HasFlags(flags, ZMoveFlags::kRedraw)) || !IsEffectivelyVisible()) {
        return;
    }
    ZRect after = GetVisibleBounds();
    ZGraphicObject* root = GetRoot();
    if (!before.Intersect(after).IsEmpty()) {
        ZRect both = before.Union(after);
        root->Draw(nullptr, &both, ZDrawFlags::kClipToAncestors);
        return;
    }
    root->Draw(nullptr, &before, ZDrawFlags::kClipToAncestors);
    Draw(nullptr, &after, ZDrawFlags::kWithFollowing | ZDrawFlags::kClipToAncestors);
}

// Self and the subtree hear it; the following siblings' visibility did not change.
void ZGraphicObject::AnnounceVisibility() {
    Handle(kLinkVisibilityChanged, 0, 0);
    if (ZTLink* child = GetChild()) {
        child->BroadcastForward(kLinkVisibilityChanged, 0, 0);
    }
}

void ZGraphicObject::Show(bool visible, ZRedraw redraw) {
    bool before = IsEffectivelyVisible();
    visible_ = visible;
    bool after = IsEffectivelyVisible();
    if (before == after) {
        return;
    }
    AnnounceVisibility();
    if (redraw == ZRedraw::kNo) {
        return;
    }
    ZRect bounds = GetBounds();
    if (after) {
        Draw(nullptr, &bounds, ZDrawFlags::kWithFollowing | ZDrawFlags::kClipToAncestors);
    } else {
        GetRoot()->Draw(nullptr, &bounds, ZDrawFlags::kClipToAncestors);
    }
}

// ---- Window services

void ZGraphicObject::InvalidateInWindow() {
    ZPanelHost* host = IsEffectivelyVisible() ? GetWindow() : nullptr;
    if (host != nullptr) {
        host->InvalidateRect(GetVisibleBounds());
    }
}

void ZGraphicObject::ValidateInWindow() {
    ZPanelHost* host = IsEffectivelyVisible() ? GetWindow() : nullptr;
    if (host != nullptr) {
        host->ValidateRect(GetVisibleBounds());
    }
}

void ZGraphicObject::EraseBackground(ZGraphicDevice* device) {
    if (!IsEffectivelyVisible()) {
        return;
    }
    ZRect bounds = GetVisibleBounds();
    const uint8_t* colour = ControlState().background;
    if (device != nullptr) {
        device->FillRect(bounds, colour, nullptr, 1, 0, ZGraphicDevice::kModeNone);
        return;
    }
    ZPanelHost* host = GetWindow();
    ZHostDevice made = host != nullptr ? host->MakeDevice() : ZHostDevice{};
    if (made.device != nullptr) {
        made.device->FillRect(bounds, colour, nullptr, 1, 0, ZGraphicDevice::kModeNone);
    }
}

// ---- Drawing

void ZGraphicObject::DrawContent(ZGraphicDevice&, const ZRect&) {}

void ZGraphicObject::Draw(ZGraphicDevice* device, const ZRect* clip, ZDrawFlags flags) {
    std::optional<ZRect> area;
    if (clip != nullptr) {
        if (clip->IsEmpty()) {
            return;
        }
        area = *clip;
    }
    if (IsPaletteChanged() && !HasFlags(flags, ZDrawFlags::kNested)) {
        // The host clears the flag once its buffers hold the new palette.
        if (ZPanelHost* host = GetWindow()) {
            host->AdoptChangedPalette();
        }
    }
    if (HasFlags(flags, ZDrawFlags::kClipToAncestors)) {
        if (std::optional<ZRect> ancestors = GetAncestorClip()) {
            area = area ? area->Intersect(*ancestors) : *ancestors;
            if (area->IsEmpty()) {
                return;
            }
        }
    }
    if (device == nullptr) {
        DrawFromWindow(area, flags);
        return;
    }
    DrawInto(*device, area, flags);
    if (!HasFlags(flags, ZDrawFlags::kNested)) {
        DrawOverlays(*device, area);
    }
}

// A pass of its own: finds what must be drawn, asks the window for a device, and shows the result.
// Only this invocation, which made the device, finishes the pass; the nested steps draw.
void ZGraphicObject::DrawFromWindow(const std::optional<ZRect>& clip, ZDrawFlags flags) {
    const ZDrawFlags following = flags & ZDrawFlags::kWithFollowing;
    if (!IsEffectivelyVisible()) {
        if (ZGraphicObject* next = HasFlags(flags, ZDrawFlags::kWithFollowing) ? GetNextSibling() : nullptr) {
            next->Draw(nullptr, clip ? &*clip : nullptr, following);
        }
        return;
    }
    ZPanelHost* host = GetWindow();
    if (host == nullptr) {
        return;
    }
    ZRect wanted = clip ? GetVisibleBounds().Intersect(*clip) : GetVisibleBounds();
    if (wanted.IsEmpty()) {
        return;
    }
    ZGraphicObject* root = GetRoot();
    // What shows through a transparent object lies below it: repaint from the root. The root itself
    // has nothing below it.
    if (IsTransparent() && root != this) {
        root->Draw(nullptr, &wanted, following);
        return;
    }
    // Objects above an ancestor that overlap the area would be painted over: draw from that ancestor.
    if (ZGraphicObject* covered = OutermostCoveredAncestor(wanted)) {
        covered->Draw(nullptr, &wanted, ZDrawFlags::kWithFollowing);
        return;
    }
    ZHostDevice made = host->MakeDevice();
    if (made.device == nullptr) {
        return;
    }
    ZRect area = clip.value_or(made.area);
    DrawInto(*made.device, area, flags | ZDrawFlags::kNested);
    DrawOverlays(*made.device, area);
    made.device.reset();
    if (made.backBuffer) {
        ZRect shown = GetVisibleBounds().Intersect(area);
        if (!shown.IsEmpty()) {
            host->PresentBackBuffer(shown);
        }
    }
}

void ZGraphicObject::DrawInto(ZGraphicDevice& device, const std::optional<ZRect>& clip, ZDrawFlags flags) {
    const ZDrawFlags nested = ZDrawFlags::kWithFollowing | ZDrawFlags::kNested;
    if (IsEffectivelyVisible()) {
        ZRect frame = clip ? GetAbsoluteFrame().Intersect(*clip) : GetAbsoluteFrame();
        if (!frame.IsEmpty()) {
            DrawContent(device, frame);
        }
        if (ZGraphicObject* child = GetFirstChild()) {
            if (!clipsChildren_) {
                child->Draw(&device, clip ? &*clip : nullptr, nested);
            } else if (!frame.IsEmpty()) {
                child->Draw(&device, &frame, nested);
            }
        }
    }
    if (HasFlags(flags, ZDrawFlags::kWithFollowing)) {
        if (ZGraphicObject* next = GetNextSibling()) {
            next->Draw(&device, clip ? &*clip : nullptr, nested);
        }
    }
}

void ZGraphicObject::DrawOverlays(ZGraphicDevice& device, const std::optional<ZRect>& clip) {
    if (ZPanelHost* host = GetWindow()) {
        host->DrawOverlays(device, clip.value_or(GetRoot()->GetFrame()));
    }
}

ZGraphicObject* ZGraphicObject::OutermostCoveredAncestor(const ZRect& rect) const {
    ZGraphicObject* outermost = nullptr;
    for (ZGraphicObject* at = GetParentObject(); at != nullptr; at = at->GetParentObject()) {
        for (ZGraphicObject* above = at->GetNextSibling(); above != nullptr;
             above = above->GetNextSibling()) {
            if (!above->GetVisibleBounds().Intersect(rect).IsEmpty()) {
                outermost = at;
                break;
            }
        }
    }
    return outermost;
}
