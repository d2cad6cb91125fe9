#include "controls/ZControl.h"

#include "controls/ZPanel.h"

namespace {

int32_t TakeId(int32_t wanted, int32_t& slot) {
    if (wanted != ZControl::kAutomaticId) {
        return wanted;
    }
    slot = ControlState().idPool.Take();
    return slot == ZIdPool::kNone ? ZControl::kNoId : ZIdPool::IdOf(slot);
}

// The topmost effectively visible object over bounds: later siblings first, then children, then the
// object itself. Hidden objects hide their subtree.
ZGraphicObject* FindDropTarget(ZGraphicObject* node, const ZRect& bounds) {
    if (node == nullptr) {
        return nullptr;
    }
    if (ZGraphicObject* hit = FindDropTarget(node->GetNextSibling(), bounds)) {
        return hit;
    }
    if (!node->IsEffectivelyVisible()) {
        return nullptr;
    }
    if (ZGraphicObject* hit = FindDropTarget(node->GetFirstChild(), bounds)) {
        return hit;
    }
    return node->IntersectsRect(bounds) ? node : nullptr;
}

}  // namespace

ZControl::ZControl(int32_t classId, int32_t id, int32_t x, int32_t y, int32_t layer, int32_t width,
                   int32_t height, ZPanel* panel)
    : ZGraphicObject(classId, id, x, y, layer, width, height) {
    SetId(TakeId(id, poolSlot_));
    if (panel != nullptr) {
        ZControl& parent = *panel;
        AttachNodes(parent, parent, parent);
    }
}

ZControl::~ZControl() {
    DeleteChildren(*this);
    // Only a slot this control took goes back: an explicit id in the pool's range is not the pool's.
    ControlState().idPool.Free(poolSlot_);
    DetachNodes();
}

void ZControl::DeleteChildren(ZGraphicObject& parent) {
    while (ZGraphicObject* last = parent.GetFirstChild()) {
        while (ZGraphicObject* next = last->GetNextSibling()) {
            last = next;
        }
        DeleteChildren(*last);
        delete last;
    }
}

void ZControl::AttachNodes(ZGraphicObject& parent, ZEventHandler& events, ZDataLink& data) {
    ZGraphicObject::AttachAsFirstChild(&parent);
    ZEventHandler::AttachAsFirstChild(&events);
    ZDataLink::AttachAsFirstChild(&data);
}

// Unlinks without Detach, which would let go of the children: a panel taken out of its owner keeps
// its contents.
void ZControl::DetachNodes() {
    ZGraphicObject::InsertAfter(nullptr);
    ZEventHandler::InsertAfter(nullptr);
    ZDataLink::InsertAfter(nullptr);
}

// The search must not find the control itself, so it is hidden (the flag alone) meanwhile.
void ZControl::TellDropTarget(int kind) {
    ZRect bounds = GetBounds();
    bool visible = IsVisible();
    SetVisibleFlag(false);
    ZGraphicObject* hit = FindDropTarget(GetRoot(), bounds);
    SetVisibleFlag(visible);
    ZEventHandler* handler = hit != nullptr ? hit->GetEventHandler() : nullptr;
    if (handler != nullptr) {
        ZEventHandler* own = this;
        handler->SendBack(kind, GetId(), reinterpret_cast<intptr_t>(own));
    }
}

bool ZControl::BeginDrag() {
    TellDropTarget(kLinkDragEnter);
    return true;
}

void ZControl::DragMoved() {
    TellDropTarget(kLinkDragOver);
}

void ZControl::EndDrag() {
    TellDropTarget(kLinkDragDrop);
}
