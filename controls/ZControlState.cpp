#include "controls/ZControlState.h"

#include "controls/ZPanelHost.h"
#include "platform/Host.h"

int32_t ZIdPool::Take() {
    for (int32_t step = 0; step < kSlots; ++step) {
        int32_t slot = (last_ + step) % kSlots;
        if (!taken_[slot]) {
            taken_[slot] = true;
            last_ = slot;
            return slot;
        }
    }
    return kNone;
}

void ZIdPool::Free(int32_t slot) {
    if (InPool(slot)) {
        taken_[slot] = false;
    }
}

ZControlState& ControlState() {
    static ZControlState state;
    return state;
}

void ResetControlState() {
    ControlState() = ZControlState();
}

void SetCursorById(ZPanelHost* host, int32_t id) {
    ZControlState& state = ControlState();
    if (id == 0) {
        id = state.defaultCursorId;
    }
    if (id == state.cursorId || host == nullptr) {
        return;
    }
    host->SetCursor(id == 0 ? int32_t(platform::kCursorArrow) : id);
    state.cursorId = id;
}

void ForgetCursor() {
    ControlState().cursorId = ControlState().defaultCursorId;
}
