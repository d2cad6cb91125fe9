// The state that graphic objects share across the process: focus, capture and dragging, the background
// colour, the panel building its contents, the automatic id pool and the cursor. It lives in one place
// so that tests can put it back with one call.
#pragma once

#include <bitset>
#include <cstdint>

#include "core/ZRect.h"

class ZEditControl;
class ZGraphicObject;
class ZPanel;
class ZPanelHost;

// Hands out the automatic ids of controls. A search starts at the slot handed out last and moves
// forward, wrapping once; when every slot is taken it fails rather than search forever.
class ZIdPool {
  public:
    static constexpr int32_t kSlots = 2048;
    static constexpr int32_t kFirstId = 12311;
    static constexpr int32_t kNone = -1;

    // The slot taken, or kNone when every slot is in use.
    int32_t Take();
    // Gives slot back; a slot that is not taken or not in the pool is ignored.
    void Free(int32_t slot);
    bool IsTaken(int32_t slot) const { return InPool(slot) && taken_[slot]; }
    int32_t CountTaken() const { return int32_t(taken_.count()); }

    static int32_t IdOf(int32_t slot) { return kFirstId + slot; }
    static bool InPool(int32_t slot) { return slot >= 0 && slot < kSlots; }

  private:
    std::bitset<kSlots> taken_;
    int32_t last_ = 0;
};

struct ZControlState {
    ZGraphicObject* focused = nullptr;
    ZEditControl* editFocus = nullptr;  // the edit control that typing goes to
    ZGraphicObject* capture = nullptr;  // receives the mouse first while a drag lasts
    ZGraphicObject* dragged = nullptr;
    ZPoint dragOffset;                  // the dragged object's position minus the pointer's
    uint8_t background[3] = {0, 0, 0};  // what EraseBackground fills with
    ZPanel* building = nullptr;         // the panel whose BuildContents is running
    ZIdPool idPool;
    int32_t cursorId = 0;         // the cursor shown last
    int32_t defaultCursorId = 0;  // what cursor 0 stands for; 0 itself means the arrow
};

ZControlState& ControlState();
// Everything back to its initial value; for tests.
void ResetControlState();

// The panel whose BuildContents is running, or null: where controls made during building go.
inline ZPanel* BuildingPanel() {
    return ControlState().building;
}

// Shows cursor id through host (0: the default cursor). Nothing when it is shown already or there is
// no host to show it.
void SetCursorById(ZPanelHost* host, int32_t id);
// The pointer left the window, where the platform shows the default cursor by itself: records that
// without asking anyone.
void ForgetCursor();
