// A graphic object that also sits in the notification tree and the data tree, and has an id to be
// found by. A control owns what is attached below it: destroying it destroys its subtree.
#pragma once

#include <cstdint>

#include "controls/ZControlState.h"
#include "controls/ZGraphicObject.h"
#include "core/ZTLink.h"

class ZControl : public ZGraphicObject, public ZEventHandler, public ZDataLink {
  public:
    // Asks for an id from the automatic pool. When the pool is exhausted the control gets kNoId.
    static constexpr int32_t kAutomaticId = 0x3000;
    static constexpr int32_t kNoId = 0;

    // The frame is x, y, x + width, y + height in the parent's coordinates. The control joins panel
    // (by default the one building its contents, if any); null leaves it unattached.
    ZControl(int32_t classId, int32_t id, int32_t x, int32_t y, int32_t layer, int32_t width, int32_t height,
             ZPanel* panel = BuildingPanel());
    // Destroys the subtree (each object after its children and its following siblings), gives back
    // the automatic id, and detaches the three nodes.
    ~ZControl() override;

    // Each tells the topmost object under the control's bounds (kinds 12, 13, 14).
    bool BeginDrag() override;
    void DragMoved() override;
    void EndDrag() override;
    ZEventHandler* GetEventHandler() override { return this; }

    // Joins all three trees at once: the graphic node by layer, the others as first children.
    void AttachNodes(ZGraphicObject& parent, ZEventHandler& events, ZDataLink& data);
    // Leaves all three trees, keeping what is attached below.
    void DetachNodes();
    // The pool slot this control holds, or ZIdPool::kNone.
    int32_t GetPoolSlot() const { return poolSlot_; }

    // Deletes every object attached below parent; they were made with new and belong to it.
    static void DeleteChildren(ZGraphicObject& parent);

  private:
    void TellDropTarget(int kind);

    int32_t poolSlot_ = ZIdPool::kNone;
};
