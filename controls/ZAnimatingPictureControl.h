// A picture control that plays the frames of its picture on the idle tick: a step of frames per tick
// within a range, at most once per interval, and at the end of the range it stops, loops or bounces.
// It can also act as a button with an "up" frame at rest and a "down" frame while pressed.
#pragma once

#include <algorithm>
#include <cstdint>

#include "controls/ZPictureControl.h"

class ZAnimatingPictureControl : public ZPictureControl {
  public:
    enum EndMode : int32_t {
        kEndStop = 0,    // playing ends on the last frame of the range
        kEndLoop = 1,    // goes on from the other end of the range
        kEndBounce = 2,  // the step reverses
        // any other value holds the end frame while playing goes on
    };
    static constexpr int32_t kNoFrame = -1;
    // Resource cursors: shift held over a draggable control, and the button's own.
    static constexpr int32_t kCursorGrab = 105;
    static constexpr int32_t kCursorButton = 107;

    ZAnimatingPictureControl(int32_t id, ZPicture* picture, int32_t x, int32_t y, int32_t layer,
                             int32_t width, int32_t height, ZPanel* panel = BuildingPanel());

    // Each tells the panel (started, stopped) only when the state changes.
    virtual void Play();
    virtual void StopPlaying();
    // To the end of the range the step starts from.
    virtual void Rewind();
    // One step of the animation; true when a notification it sent was answered as handled.
    virtual bool Step();
    virtual void SetStep(int32_t step) { step_ = step; }
    virtual void SetEndMode(int32_t mode) { endMode_ = mode; }

    // The idle tick (data: the tick count in milliseconds) steps the animation; the answer of a step's
    // notification ends the tick's broadcast when it was handled.
    bool HandleEvent(int kind, intptr_t data, intptr_t extra) override;
    bool MouseDown(const ZMouseEvent& event) override;
    bool MouseMoved(const ZMouseEvent& event) override;
    bool MouseUp(const ZMouseEvent& event) override;
    bool CursorQuery(const ZMouseEvent& event) override;

    void SetRange(int32_t first, int32_t last) {
        firstFrame_ = first;
        lastFrame_ = last;
    }
    // kNoFrame for none.
    void SetButtonFrames(int32_t up, int32_t down) {
        upFrame_ = up;
        downFrame_ = down;
    }
    // Milliseconds between steps; 0 steps on every tick.
    void SetInterval(int32_t interval) { interval_ = uint32_t(std::max(interval, 0)); }
    void SetLastStepTime(uint32_t time) { lastStepTime_ = time; }
    uint32_t GetLastStepTime() const { return lastStepTime_; }
    bool IsPlaying() const { return playing_; }
    bool IsReturning() const { return returning_; }
    int32_t GetStep() const { return step_; }
    int32_t GetEndMode() const { return endMode_; }

  private:
    bool StepPlaying();
    void StepReturning();
    bool HoldsCapture() const;

    bool playing_ = false;
    bool returning_ = false;
    int32_t endMode_ = kEndStop;
    int32_t firstFrame_ = 0;
    int32_t lastFrame_ = 0;
    int32_t step_ = 1;
    int32_t upFrame_ = kNoFrame;
    int32_t downFrame_ = kNoFrame;
    uint32_t interval_ = 0;
    // Every control starts on the grid from 0, so controls of one interval step on the same ticks.
    uint32_t lastStepTime_ = 0;
};
