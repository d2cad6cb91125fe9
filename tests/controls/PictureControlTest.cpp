// Picture controls: drawing (plain, scaled, without frames), hit testing through transparency, press and
// click notifications, the animation's steps and end modes on the tick grid, and the button frames.
#include "controls/ZAnimatingPictureControl.h"
#include "controls/ZPictureControl.h"
#include "graphics/ZAlphaChannel.h"
#include "graphics/ZPicture.h"
#include "tests/controls/ControlsTestSupport.h"
#include "tests/support/MediaPtr.h"

namespace controlstest {
namespace {

using PicturePtr = std::unique_ptr<ZPicture, testsupport::Releaser>;

constexpr int32_t kId = 7;

// Frame f of the strip is red 40 + f. With halves, frame f is transparent on its left half when f is
// even and on its right half when f is odd.
PicturePtr Strip(int32_t frames, int32_t width, int32_t height, bool halves = false) {
    PicturePtr picture(new ZPicture(ZRect::FromSize(width, height * frames), 32, nullptr));
    ZOffscreen* pixels = picture->GetFirstOffscreen();
    for (int32_t f = 0; f < frames; ++f) {
        uint8_t red[3] = {uint8_t(40 + f), 0, 0};
        ZRect rect = ZRect::FromSize(width, height).Offset(0, f * height);
        pixels->Fill(&rect, red);
    }
    if (halves) {
        auto* alpha = new ZAlphaChannel(ZRect::FromSize(width, height * frames));
        for (int32_t y = 0; y < height * frames; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                bool left = x < width / 2;
                alpha->GetPlane()->RowAddress(y)[x] = left == ((y / height) % 2 == 0) ? 0 : 63;
            }
        }
        pixels->SetAlphaChannel(alpha);
        alpha->Release();
    }
    picture->SetFrameCount(frames);
    return picture;
}

// Notifications that reach it are logged as "heard <name> <kind> <data>"; it answers `answers` as
// handled. Ticks pass unheard.
template <typename Base>
class Listening : public Base {
  public:
    template <typename... Args>
    explicit Listening(std::string name, Args... args) : Base(args...), name_(std::move(name)) {}
    bool HandleEvent(int kind, intptr_t data, intptr_t extra) override {
        if (kind == kLinkTick) {
            return false;
        }
        Log().push_back("heard " + name_ + " " + std::to_string(kind) + " " + std::to_string(data));
        lastExtra = extra;
        return kind == answers;
    }
    int answers = 0;
    intptr_t lastExtra = 0;

  private:
    std::string name_;
};

class PictureControlTest : public ControlsTest {
  protected:
    void SetUp() override {
        ControlsTest::SetUp();
        panel = new Listening<ZPanel>("panel");
        panel->Open(&window, false);
        panel->Show(true, ZRedraw::kNo);
    }
    // The tick as the window hands it to its panels.
    bool Tick(uint32_t now) {
        ZEventHandler* events = panel;
        return events->BroadcastForward(kLinkTick, intptr_t(now), 0);
    }
    ZAnimatingPictureControl* Animation(ZPicture* picture, int32_t mode, int32_t x = 0) {
        auto* control = new ZAnimatingPictureControl(kId, picture, x, 0, 1, 0, 0, panel);
        control->SetEndMode(mode);
        return control;
    }
    uint32_t ColorAt(int32_t x, int32_t y) const { return window.Buffer().ColorAt(x, y); }

    TestWindow window;
    Listening<ZPanel>* panel = nullptr;
};

TEST_F(PictureControlTest, EndModesLoopBounceStopOrHold) {
    struct Case {
        int32_t mode;
        const char* frames;  // after each of 11 ticks
        bool playing;
        const char* heard;
    };
    const Case cases[] = {
        {ZAnimatingPictureControl::kEndLoop, "1 2 3 4 5 6 7 8 9 0 1", true, "panel 49 7 panel 50 7"},
        {ZAnimatingPictureControl::kEndBounce, "1 2 3 4 5 6 7 8 9 9 8", true, "panel 49 7 panel 50 7"},
        {ZAnimatingPictureControl::kEndStop, "1 2 3 4 5 6 7 8 9 9 9", false, "panel 49 7 panel 51 7"},
        {5, "1 2 3 4 5 6 7 8 9 9 9", true, "panel 49 7"},
    };
    PicturePtr picture = Strip(10, 4, 4);
    for (const Case& test : cases) {
        Log().clear();
        auto* control = Animation(picture.get(), test.mode);
        control->Play();
        std::vector<std::string> frames;
        for (uint32_t now = 1; now <= 11; ++now) {
            EXPECT_FALSE(Tick(now));
            frames.push_back(std::to_string(control->GetFrameIndex()));
        }
        EXPECT_EQ(Join(frames), test.frames) << test.mode;
        EXPECT_EQ(control->IsPlaying(), test.playing) << test.mode;
        EXPECT_EQ(Logged("heard "), test.heard) << test.mode;
        delete control;
    }
}

TEST_F(PictureControlTest, StepsStayOnTheIntervalGridAcrossTheTickWrap) {
    PicturePtr picture = Strip(10, 4, 4);
    // Bases in the middle of the range, just before the sign bit and just before the wrap.
    for (uint32_t base : {1000u, 0x7FFFFFC0u, 0xFFFFFFF0u}) {
        auto* control = Animation(picture.get(), ZAnimatingPictureControl::kEndLoop);
        control->SetInterval(100);
        control->SetLastStepTime(base);
        control->Play();
        struct Step {
            uint32_t after;
            int32_t frame;
            uint32_t last;
        };
        for (Step step : {Step{0, 0, 0}, Step{150, 1, 100}, Step{260, 2, 200}, Step{299, 2, 200}}) {
            Tick(base + step.after);
            EXPECT_EQ(control->GetFrameIndex(), step.frame) << base << " + " << step.after;
            EXPECT_EQ(control->GetLastStepTime(), base + step.last) << base << " + " << step.after;
        }
        delete control;
    }
    // Controls made at different times share one grid.
    auto* early = Animation(picture.get(), ZAnimatingPictureControl::kEndLoop);
    auto* late = Animation(picture.get(), ZAnimatingPictureControl::kEndLoop, 20);
    for (ZAnimatingPictureControl* control : {early, late}) {
        control->SetInterval(66);
        control->Play();
    }
    Tick(1000);
    EXPECT_EQ(early->GetLastStepTime(), 990u);
    EXPECT_EQ(late->GetLastStepTime(), 990u);
}

TEST_F(PictureControlTest, NotificationsReachSiblingsAndAHandledStopEndsTheTick) {
    PicturePtr picture = Strip(3, 4, 4);
    auto* older = Animation(picture.get(), ZAnimatingPictureControl::kEndStop);
    auto* newer = Animation(picture.get(), ZAnimatingPictureControl::kEndStop, 10);
    auto* sibling = new Listening<ZControl>("sibling", 1, 0, 0, 0, 0, 0, 0, panel);
    for (ZAnimatingPictureControl* control : {older, newer}) {
        control->SetFrameIndex(2);
        control->Play();
    }
    EXPECT_EQ(Logged("heard "), "sibling 49 7 panel 49 7 sibling 49 7 panel 49 7");
    EXPECT_EQ(sibling->lastExtra, intptr_t(static_cast<ZEventHandler*>(newer)));
    // The tick reaches the newer control first; the panel takes its stop and the older one waits.
    Log().clear();
    panel->answers = kLinkAnimationStopped;
    EXPECT_TRUE(Tick(1));
    EXPECT_FALSE(newer->IsPlaying());
    EXPECT_TRUE(older->IsPlaying());
    panel->answers = 0;
    EXPECT_FALSE(Tick(2));
    EXPECT_FALSE(older->IsPlaying());
    EXPECT_EQ(Logged("heard "), "sibling 51 7 panel 51 7 sibling 51 7 panel 51 7");
    // Stopping a stopped control and playing a playing one tell nobody.
    Log().clear();
    older->StopPlaying();
    newer->Play();
    newer->Play();
    EXPECT_EQ(Logged("heard "), "sibling 49 7 panel 49 7");
}

TEST_F(PictureControlTest, HitsLandOnlyOnOpaquePixelsOfTheControlsOwnFrame) {
    // Two controls share a picture whose frame 0 is transparent on the left and frame 1 on the right.
    PicturePtr picture = Strip(2, 10, 10, true);
    new Probe("below", 0, 0, 0, 640, 480, panel);  // the panel owns it
    auto* left = new ZPictureControl(kId, picture.get(), 100, 100, 1, 0, 0, panel);
    auto* right = new ZPictureControl(kId + 1, picture.get(), 200, 100, 1, 0, 0, panel);
    right->SetFrameIndex(1);
    EXPECT_EQ(left->GetFrame(), (ZRect{100, 100, 110, 110}));  // one frame's size
    EXPECT_TRUE(left->IsTransparent());
    window.Draw(nullptr, nullptr, ZDrawFlags::kNone);
    struct Case {
        ZPictureControl* control;
        int32_t x, y;
        bool hit;
    };
    const Case cases[] = {
        {left, 2, 2, false},  {left, 7, 2, true},   {left, 9, 9, true},
        {left, 10, 5, false}, {left, 7, 10, false}, {right, 2, 2, true},
        {right, 7, 2, false}, {right, 0, 9, true},  {right, -1, 5, false},
    };
    for (const Case& test : cases) {
        ZPoint at = test.control->GetPosition(true);
        ZPoint point{at.x + test.x, at.y + test.y};
        // Whatever frame the shared picture was last set to, each control tests its own.
        for (int32_t current : {0, 1}) {
            picture->SetCurrentFrame(current);
            EXPECT_EQ(test.control->ContainsPoint(point), test.hit)
                << test.control->GetId() << " at " << test.x << "," << test.y;
        }
        // A press on a transparent pixel goes through to what lies below.
        Log().clear();
        window.OnMouseDown(Mouse(point.x, point.y));
        window.OnMouseUp(Mouse(point.x, point.y));
        std::string expected = test.hit ? "panel 17 " + std::to_string(test.control->GetId()) + " panel 18 " +
                                              std::to_string(test.control->GetId())
                                        : "";
        EXPECT_EQ(Logged("heard "), expected) << test.control->GetId() << " at " << test.x << "," << test.y;
        EXPECT_EQ(Logged("down "), test.hit ? "" : "below");
    }
    // Without the pixel test the whole frame counts, still without its right and bottom edges.
    left->SetPixelHitTest(false);
    EXPECT_TRUE(left->ContainsPoint(ZPoint{100, 100}));
    EXPECT_FALSE(left->ContainsPoint(ZPoint{110, 100}));
}

TEST_F(PictureControlTest, PressAndClickNotifyAndAReleaseOutsideDoesNot) {
    PicturePtr picture = Strip(1, 20, 20);
    auto* control = new ZPictureControl(kId, picture.get(), 50, 60, 1, 0, 0, panel);
    EXPECT_TRUE(window.OnMouseDown(Mouse(55, 62)));
    EXPECT_EQ(ControlState().capture, control);
    EXPECT_TRUE(window.OnMouseUp(Mouse(58, 79)));
    EXPECT_EQ(control->GetGrabPoint().x, 8);
    EXPECT_EQ(control->GetGrabPoint().y, 19);
    EXPECT_TRUE(window.OnMouseDown(Mouse(55, 62)));
    EXPECT_FALSE(window.OnMouseUp(Mouse(70, 62)));  // the right edge is outside
    EXPECT_EQ(Logged("heard "), "panel 17 7 panel 18 7 panel 17 7");
    EXPECT_EQ(ControlState().capture, nullptr);
}

TEST_F(PictureControlTest, ButtonFramesFollowThePress) {
    PicturePtr picture = Strip(3, 10, 10);
    auto* button = Animation(picture.get(), ZAnimatingPictureControl::kEndLoop, 100);
    button->SetButtonFrames(0, 2);
    struct Step {
        enum { kDown, kMove, kUp } what;
        int32_t x;
        int32_t frame;
        const char* heard;
    };
    const Step steps[] = {
        {Step::kDown, 105, 2, ""},         {Step::kMove, 130, 0, ""}, {Step::kMove, 104, 2, ""},
        {Step::kUp, 104, 0, "panel 21 7"}, {Step::kDown, 105, 2, ""}, {Step::kUp, 150, 2, ""},
    };
    for (const Step& step : steps) {
        Log().clear();
        ZMouseEvent mouse = Mouse(step.x, 5);
        if (step.what == Step::kDown) {
            window.OnMouseDown(mouse);
        } else if (step.what == Step::kMove) {
            window.OnMouseMove(mouse);
        } else {
            window.OnMouseUp(mouse);
        }
        EXPECT_EQ(button->GetFrameIndex(), step.frame) << int(step.what) << " at " << step.x;
        EXPECT_EQ(Logged("heard "), step.heard) << int(step.what) << " at " << step.x;
    }
    // After the release outside the pointer still rests on it: the frame goes back to the up frame
    // on the next tick instead of playing on.
    window.OnMouseMove(Mouse(105, 5));
    button->Play();
    Tick(1);
    EXPECT_EQ(button->GetFrameIndex(), 0);
    Tick(2);
    EXPECT_EQ(button->GetFrameIndex(), 0);
    // Once the pointer leaves, it plays again.
    window.OnMouseMove(Mouse(300, 300));
    Tick(3);
    EXPECT_EQ(button->GetFrameIndex(), 1);
}

TEST_F(PictureControlTest, APictureWithoutFramesDrawsAndHitsNothing) {
    PicturePtr missing(new ZPicture(uint16_t(1000)));  // no container: the load fails
    auto* none = new ZPictureControl(kId, static_cast<ZPicture*>(nullptr), 0, 0, 1, 10, 10, panel);
    auto* failed = new ZPictureControl(kId, missing.get(), 20, 0, 1, 10, 10, panel);
    auto* animation = new ZAnimatingPictureControl(kId, nullptr, 40, 0, 1, 10, 10, panel);
    uint8_t white[3] = {255, 255, 255};
    auto* backdrop = new ZPicture(ZRect::FromSize(640, 480), white);
    auto* back = new ZPictureControl(1, backdrop, 0, 0, 0, 0, 0, panel);
    backdrop->Release();
    for (ZPictureControl* control : {none, failed, static_cast<ZPictureControl*>(animation)}) {
        control->SetPixelHitTest(false);
        control->SetFrameIndex(-3);
        ZPoint at = control->GetPosition(true);
        EXPECT_FALSE(control->ContainsPoint(ZPoint{at.x + 5, at.y + 5}));
    }
    animation->Play();
    Tick(1);
    Tick(2);
    window.Draw(nullptr, nullptr, ZDrawFlags::kNone);
    for (int32_t x : {5, 25, 45, 65}) {
        EXPECT_EQ(ColorAt(x, 5), 0xFFFFFFu) << x;  // the backdrop shows through
    }
    back->SetPixelHitTest(false);  // a colour-only picture has no pixels to test
    EXPECT_TRUE(back->ContainsPoint(ZPoint{65, 5}));
}

TEST_F(PictureControlTest, ScalingIsRefusedWithAlphaAndDrawsTheFrameAtTheControlsSize) {
    PicturePtr masked = Strip(2, 4, 4, true);
    auto* refused = new ZPictureControl(kId, masked.get(), 0, 0, 1, 8, 8, panel);
    EXPECT_FALSE(refused->SetScaled(true, nullptr));
    EXPECT_FALSE(refused->IsScaled());
    delete refused;

    PicturePtr picture = Strip(2, 4, 2);
    auto* scaled = new ZPictureControl(kId, picture.get(), 20, 30, 1, 12, 6, panel);
    scaled->SetFrameIndex(1);
    EXPECT_FALSE(scaled->SetScaled(true, nullptr));
    EXPECT_TRUE(scaled->IsScaled());
    window.Draw(nullptr, nullptr, ZDrawFlags::kNone);
    const uint32_t shown = 41u << 16;
    for (int32_t y = 28; y < 38; ++y) {
        for (int32_t x = 18; x < 34; ++x) {
            bool inside = x >= 20 && x < 32 && y >= 30 && y < 36;
            ASSERT_EQ(ColorAt(x, y), inside ? shown : 0u) << x << "," << y;
        }
    }
    // Another frame is scaled anew; a hit anywhere in the frame lands.
    scaled->SetFrameIndex(0);
    window.Draw(nullptr, nullptr, ZDrawFlags::kNone);
    EXPECT_EQ(ColorAt(31, 35), 40u << 16);
    EXPECT_TRUE(scaled->ContainsPoint(ZPoint{31, 35}));
}

}  // namespace
}  // namespace controlstest
