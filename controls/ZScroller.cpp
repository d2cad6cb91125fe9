#include "controls/ZScroller.h"

#include <cstdlib>

#include "platform/Clock.h"

ZScroller::~ZScroller() {
    for (ZScrollBar* bar : bars_) {
        if (bar != nullptr) {
            bar->Detach();
        }
    }
}

ZScrollBar* ZScroller::GetScrollBar(int32_t axis) const {
    return axis == kHorizontal || axis == kVertical ? bars_[axis] : nullptr;
}

void ZScroller::UpdateScrollBar(int32_t axis) {
    if (ZScrollBar* bar = GetScrollBar(axis)) {
        bar->Update();
    }
}

void ZScroller::UpdateScrollBars() {
    UpdateScrollBar(kHorizontal);
    UpdateScrollBar(kVertical);
}

ZScrollBar::~ZScrollBar() {
    Detach();
}

bool ZScrollBar::Attach(ZScroller* scroller, int32_t axis) {
    if (axis != ZScroller::kHorizontal && axis != ZScroller::kVertical) {
        return false;
    }
    Detach();
    if (scroller != nullptr) {
        if (ZScrollBar* old = scroller->bars_[axis]) {
            old->Detach();
        }
        scroller->bars_[axis] = this;
    }
    scroller_ = scroller;
    axis_ = axis;
    return true;
}

void ZScrollBar::Detach() {
    if (scroller_ != nullptr && scroller_->bars_[axis_] == this) {
        scroller_->bars_[axis_] = nullptr;
    }
    scroller_ = nullptr;
}

int32_t ZScrollBar::CommandDelta(int32_t code, int32_t thumbPosition) const {
    if (scroller_ == nullptr) {
        return 0;
    }
    int32_t page = scroller_->GetPageSize(axis_) - 1;
    switch (code) {
        case kLineUp:
            return -lineAmount_;
        case kLineDown:
            return lineAmount_;
        case kPageUp:
            return -page;
        case kPageDown:
            return page;
        case kThumbTrack:
            return thumbPosition - scroller_->GetScrollPos(axis_);
        case kTop:
            return -0x7FFF;  // the scroller clamps
        case kBottom:
            return 0x7FFF;
        default:
            return 0;
    }
}

void ZScrollBar::Command(int32_t code, int32_t thumbPosition) {
    int32_t delta = CommandDelta(code, thumbPosition);
    if (scroller_ == nullptr || delta == 0) {
        return;
    }
    if (smooth_) {
        ScrollSmoothly(delta);
    } else {
        scroller_->ScrollBy(delta, axis_);
    }
}

void ZScrollBar::ScrollSmoothly(int32_t delta) {
    // Clamp the target first, so a jump to the top does not step 0x7FFF times.
    int32_t pos = scroller_->GetScrollPos(axis_);
    int64_t target = int64_t(pos) + delta;
    int32_t low = scroller_->GetScrollMin(axis_);
    int32_t high = scroller_->GetScrollMax(axis_);
    target = target < low ? low : (target > high ? high : target);
    int32_t step = target > pos ? 1 : -1;
    while (scroller_ != nullptr && scroller_->GetScrollPos(axis_) != target) {
        int32_t now = scroller_->GetScrollPos(axis_);
        uint64_t remaining = uint64_t(std::llabs(target - now));
        if (stepTime_ != 0 && remaining * stepTime_ > timeLimit_) {
            scroller_->ScrollBy(int32_t(target - now), axis_);
            break;
        }
        uint32_t start = platform::TickCount();
        scroller_->ScrollBy(step, axis_);
        if (stepTime_ == 0) {
            stepTime_ = platform::TickCount() - start;  // wraps safely
            stepTime_ = stepTime_ == 0 ? 1 : stepTime_;
        }
        if (scroller_->GetScrollPos(axis_) == now) {
            break;  // the scroller refused to move
        }
        Update();
    }
}
