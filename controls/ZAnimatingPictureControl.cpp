#include "controls/ZAnimatingPictureControl.h"

#include <cstdlib>

namespace {

// The frame at most distance frames from `from` towards `to`, going the shorter way round the range and
// wrapping at its ends. A frame outside the range has no way round: it goes to `to` at once.
int32_t Approach(int32_t from, int32_t to, int32_t first, int32_t last, int64_t distance) {
    if (from < first || from > last || to < first || to > last) {
        return to;
    }
    int64_t count = int64_t(last) - first + 1;
    int64_t ahead = ((int64_t(to) - from) % count + count) % count;
    int64_t behind = (count - ahead) % count;
    if (ahead <= distance || behind <= distance) {
        return to;
    }
    int64_t moved = ahead <= behind ? from - first + distance : from - first - distance + count;
    return int32_t(first + moved % count);
}

}  // namespace

ZAnimatingPictureControl::ZAnimatingPictureControl(int32_t id, ZPicture* picture, int32_t x, int32_t y,
                                                   int32_t layer, int32_t width, int32_t height,
                                                   ZPanel* panel)
    : ZPictureControl(id, picture, x, y, layer, width, height, panel),
      lastFrame_(std::max(GetFrameCount() - 1, 0)) {}

void ZAnimatingPictureControl::Play() {
    if (!playing_) {
        playing_ = true;
        Notify(kLinkAnimationStarted);
    }
}

void ZAnimatingPictureControl::StopPlaying() {
    if (playing_) {
        playing_ = false;
        Notify(kLinkAnimationStopped);
    }
}

void ZAnimatingPictureControl::Rewind() {
    SetFrameIndex(step_ <= 0 ? lastFrame_ : firstFrame_);
}

bool ZAnimatingPictureControl::HandleEvent(int kind, intptr_t data, intptr_t extra) {
    if (kind != kLinkTick) {
        return ZPictureControl::HandleEvent(kind, data, extra);
    }
    // The walk up the tree that tells whether the parents show comes last: it is the costly check, and
    // most ticks fall between two steps.
    if (!IsVisible()) {
        return false;
    }
    // Unsigned, so that the difference stays right when the tick count wraps.
    uint32_t now = uint32_t(data);
    uint32_t elapsed = now - lastStepTime_;
    if (!returning_ && elapsed < interval_) {
        return false;
    }
    if (!IsParentEffectivelyVisible()) {
        return false;
    }
    // Back onto the grid whatever the step's notifications answer, so that a handled one does not
    // bring the next step forward.
    if (interval_ != 0) {
        lastStepTime_ = now - elapsed % interval_;
    }
    return Step();
}

bool ZAnimatingPictureControl::Step() {
    if (returning_) {
        StepReturning();
        return false;
    }
    return playing_ && StepPlaying();
}

bool ZAnimatingPictureControl::StepPlaying() {
    int32_t old = GetFrameIndex();
    int64_t wanted = int64_t(old) + step_;
    if (wanted == old) {
        return false;
    }
    int notification = 0;
    int32_t next = int32_t(wanted);
    if (wanted < firstFrame_ || wanted > lastFrame_) {
        next = int32_t(std::clamp<int64_t>(wanted, firstFrame_, std::max(firstFrame_, lastFrame_)));
        switch (endMode_) {
            case kEndLoop:
                next = step_ < 1 ? lastFrame_ : firstFrame_;
                notification = kLinkAnimationLooped;
                break;
            case kEndBounce:
                step_ = -step_;
                notification = kLinkAnimationLooped;
                break;
            case kEndStop:
                playing_ = false;
                notification = kLinkAnimationStopped;
                break;
            default:
                break;
        }
    }
    ShowFrame(next);
    return notification != 0 && Notify(notification);
}

// After a click the frame goes back to rest on the up frame, two steps a tick; a held press keeps the
// frame the button handlers show.
void ZAnimatingPictureControl::StepReturning() {
    if (upFrame_ == kNoFrame || HoldsCapture()) {
        return;
    }
    int64_t distance = std::max<int64_t>(2 * std::abs(int64_t(step_)), 1);
    ShowFrame(Approach(GetFrameIndex(), upFrame_, firstFrame_, lastFrame_, distance));
}

bool ZAnimatingPictureControl::HoldsCapture() const {
    return ControlState().capture == this;
}

// ---- The button

bool ZAnimatingPictureControl::MouseDown(const ZMouseEvent& event) {
    if ((event.modifiers & kModifierShift) != 0) {
        return ZControl::MouseDown(event);
    }
    returning_ = upFrame_ != kNoFrame;
    ControlState().capture = this;
    if (GetFrameIndex() == upFrame_ && downFrame_ != kNoFrame) {
        ShowFrame(downFrame_);
    }
    return true;
}

bool ZAnimatingPictureControl::MouseMoved(const ZMouseEvent& event) {
    if (ZControl::MouseMoved(event)) {
        return true;
    }
    bool inside = ContainsPoint(ZPoint{event.x, event.y});
    bool capturing = HoldsCapture();
    returning_ = (inside || capturing) && upFrame_ != kNoFrame;
    if (!capturing) {
        return false;
    }
    if (inside && GetFrameIndex() == upFrame_ && downFrame_ != kNoFrame) {
        ShowFrame(downFrame_);
    } else if (!inside && GetFrameIndex() == downFrame_ && upFrame_ != kNoFrame) {
        ShowFrame(upFrame_);
    }
    return false;
}

bool ZAnimatingPictureControl::MouseUp(const ZMouseEvent& event) {
    if (ZControl::MouseUp(event)) {
        return true;
    }
    returning_ = false;
    if (!ContainsPoint(ZPoint{event.x, event.y})) {
        return false;
    }
    returning_ = upFrame_ != kNoFrame;
    if (returning_) {
        ShowFrame(upFrame_);
    }
    Notify(kLinkAnimationClicked);
    return true;
}

bool ZAnimatingPictureControl::CursorQuery(const ZMouseEvent& event) {
    bool grab = (event.modifiers & kModifierShift) != 0 && IsDraggable();
    SetCursorById(GetWindow(), grab ? kCursorGrab : kCursorButton);
    return true;
}
