// Scrolling shared by the controls whose content is larger than their frame. A scroller answers where it
// is and how far it can go on each axis (0 horizontal, 1 vertical); a scroll bar turns the platform's
// scroll commands into ScrollBy calls, one unit at a time when it scrolls smoothly. Nothing here draws:
// a bar only hears that its scroller moved.
#pragma once

#include <cstdint>

class ZScrollBar;

class ZScroller {
  public:
    enum : int32_t { kHorizontal = 0, kVertical = 1 };

    ZScroller() = default;
    ZScroller(const ZScroller&) = delete;
    ZScroller& operator=(const ZScroller&) = delete;
    // Lets go of the attached bars.
    virtual ~ZScroller();

    virtual void ScrollBy(int32_t delta, int32_t axis) = 0;
    virtual int32_t GetScrollMin(int32_t) { return 0; }
    virtual int32_t GetScrollMax(int32_t axis) = 0;
    virtual int32_t GetScrollPos(int32_t axis) = 0;
    // The page size of the horizontal axis.
    virtual int32_t GetHorizontalPage() { return GetPageSize(kHorizontal); }
    virtual int32_t GetPageSize(int32_t axis) = 0;

    // The bar of an axis, or null (an axis outside 0..1 has none).
    ZScrollBar* GetScrollBar(int32_t axis) const;
    // Tells the bar of an axis that the position or the range changed.
    void UpdateScrollBar(int32_t axis);
    void UpdateScrollBars();

  private:
    friend class ZScrollBar;
    ZScrollBar* bars_[2] = {nullptr, nullptr};
};

class ZScrollBar {
  public:
    // The platform's scroll command codes.
    enum : int32_t {
        kLineUp = 0,
        kLineDown = 1,
        kPageUp = 2,
        kPageDown = 3,
        kThumbPosition = 4,
        kThumbTrack = 5,
        kTop = 6,
        kBottom = 7,
    };

    ZScrollBar() = default;
    ZScrollBar(const ZScrollBar&) = delete;
    ZScrollBar& operator=(const ZScrollBar&) = delete;
    virtual ~ZScrollBar();

    // Leaves the previous scroller and replaces the scroller's bar of that axis (which is let go).
    // Null scroller: detaches only. False for an axis outside 0..1.
    bool Attach(ZScroller* scroller, int32_t axis);
    void Detach();
    ZScroller* GetScroller() const { return scroller_; }

    // Heard when the scroller's position or range changed; counts the calls.
    virtual void Update() { ++updates_; }
    int32_t GetUpdateCount() const { return updates_; }

    // How far a command moves the scroller from where it is.
    int32_t CommandDelta(int32_t code, int32_t thumbPosition) const;
    // Carries out a command: at once, or unit by unit when smooth and fast enough.
    void Command(int32_t code, int32_t thumbPosition);

    void SetLineAmount(int32_t amount) { lineAmount_ = amount; }
    void SetSmooth(bool smooth, uint32_t timeLimitMs) {
        smooth_ = smooth;
        timeLimit_ = timeLimitMs;
    }
    uint32_t GetStepTime() const { return stepTime_; }

  private:
    // Moves delta units one at a time; the first unit's duration decides whether the rest jump at once.
    void ScrollSmoothly(int32_t delta);

    ZScroller* scroller_ = nullptr;
    int32_t axis_ = ZScroller::kVertical;
    uint32_t stepTime_ = 0;  // ms of one unit, 0 until measured
    bool smooth_ = false;
    uint32_t timeLimit_ = 0;
    int32_t lineAmount_ = 16;
    int32_t updates_ = 0;
};
