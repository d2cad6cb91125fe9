// The message loop, windows and input routing, driven through the headless backend in virtual time.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/CWinApp.h"
#include "platform/CWnd.h"
#include "platform/Clock.h"
#include "platform/Display.h"
#include "platform/Input.h"
#include "platform/MessageQueue.h"
#include "platform/headless/HeadlessVideo.h"

using namespace platform;

namespace {

struct Seen {
    WindowHandle window;
    uint32_t message;
    WParam wParam;
    LParam lParam;
};

std::vector<Seen> gSeen;

class RecordingWindow : public CWnd {
  public:
    bool OnWndMsg(uint32_t message, WParam wParam, LParam lParam, LResult* result) override {
        gSeen.push_back(Seen{GetSafeHwnd(), message, wParam, lParam});
        if (message == kMsgPaint) {
            BeginPaint();
        }
        *result = 0;
        return message != kMsgClose;
    }
};

class TestApp : public CWinApp {
  public:
    TestApp() : CWinApp("LoopTest") {}
    bool OnIdle(uint32_t count) override {
        idleCounts.push_back(count);
        gSeen.push_back(Seen{0, 0xFFFF, 0, 0});  // marks an idle pass among the messages
        return idleMore;
    }
    std::vector<uint32_t> idleCounts;
    bool idleMore = true;
};

class PlatformLoop : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearMessages();
        ResetInputState();
        gSeen.clear();
        video_ = std::make_unique<HeadlessVideo>(true);
        SetVideoBackend(video_.get());
        Display::Get().SetMode(ScreenMode{800, 600, 32});
    }
    void TearDown() override {
        SetVideoBackend(nullptr);
        video_.reset();
        ClearMessages();
    }
    std::unique_ptr<HeadlessVideo> video_;
};

ScreenRect Rect(int32_t l, int32_t t, int32_t r, int32_t b) {
    return ScreenRect{l, t, r, b};
}

}  // namespace

TEST_F(PlatformLoop, PostedMessagesComeBeforePaintAndIdleRunsOnlyWhenNothingWaits) {
    TestApp app;
    RecordingWindow window;
    ASSERT_TRUE(window.CreateEx(0, "w", kStylePopup | kStyleVisible, Rect(0, 0, 100, 100), 0, 1));
    app.m_pMainWnd = &window;
    window.PostMessage(kMsgUser + 7, 1, 2);

    ASSERT_TRUE(app.PumpOnce());
    ASSERT_TRUE(app.PumpOnce());
    ASSERT_TRUE(app.PumpOnce());
    ASSERT_TRUE(app.PumpOnce());
    ASSERT_EQ(gSeen.size(), 4u);
    EXPECT_EQ(gSeen[0].message, kMsgUser + 7u);
    EXPECT_EQ(gSeen[1].message, kMsgPaint);  // the new visible window asked to be painted
    EXPECT_EQ(gSeen[2].message, 0xFFFFu);    // idle passes only once the queue and paints are done
    EXPECT_EQ(gSeen[3].message, 0xFFFFu);
    EXPECT_EQ(app.idleCounts, (std::vector<uint32_t>{0, 1}));

    // Each idle pass waits a few milliseconds for input: in virtual time the clock moves by that much.
    uint32_t before = TickCount();
    ASSERT_TRUE(app.PumpOnce());
    EXPECT_EQ(TickCount() - before, CWinApp::kIdlePaceMs);

    // A message resets the idle count.
    window.PostMessage(kMsgUser);
    ASSERT_TRUE(app.PumpOnce());
    ASSERT_TRUE(app.PumpOnce());
    EXPECT_EQ(app.idleCounts.back(), 0u);

    PostQuitMessage(3);
    EXPECT_FALSE(app.PumpOnce());
    EXPECT_EQ(app.ExitInstance(), 3);
    app.m_pMainWnd = nullptr;
}

TEST_F(PlatformLoop, RunEndsAtOnceWithoutMainWindowAndAtTheRunLimitOtherwise) {
    TestApp app;
    EXPECT_EQ(app.Run(), 0);
    EXPECT_TRUE(app.idleCounts.empty());

    RecordingWindow window;
    ASSERT_TRUE(window.CreateEx(0, "w", kStylePopup | kStyleVisible, Rect(0, 0, 10, 10), 0, 1));
    app.m_pMainWnd = &window;
    app.SetRunLimit(60 * 1000);
    uint32_t start = TickCount();
    EXPECT_EQ(app.Run(), 0);
    uint32_t elapsed = TickCount() - start;
    EXPECT_GE(elapsed, 60u * 1000u);
    EXPECT_LT(elapsed, 60u * 1000u + 100u);
    // After idle work is done the loop waits longer per turn, so a minute takes few passes.
    app.idleMore = false;
    app.idleCounts.clear();
    app.SetRunLimit(60 * 1000);
    EXPECT_EQ(app.Run(), 0);
    EXPECT_LE(app.idleCounts.size(), 2u);
    app.m_pMainWnd = nullptr;
}

TEST_F(PlatformLoop, TheRunEndsWhenTheMainWindowIsDestroyedOrQuitIsRequested) {
    TestApp app;
    auto window = std::make_unique<RecordingWindow>();
    ASSERT_TRUE(window->CreateEx(0, "w", kStylePopup | kStyleVisible, Rect(0, 0, 10, 10), 0, 1));
    app.m_pMainWnd = window.get();
    window->DestroyWindow();
    EXPECT_EQ(app.Run(), 0);  // the destroyed main window posted the quit message

    ASSERT_TRUE(window->CreateEx(0, "w", kStylePopup | kStyleVisible, Rect(0, 0, 10, 10), 0, 1));
    RequestQuit();  // what SIGTERM does
    EXPECT_EQ(app.Run(), 0);
    app.m_pMainWnd = nullptr;
}

TEST_F(PlatformLoop, MouseGoesToTheWindowUnderThePointerOrTheCaptureInClientCoordinates) {
    TestApp app;
    RecordingWindow back, top, child;
    ASSERT_TRUE(back.CreateEx(0, "b", kStylePopup | kStyleVisible, Rect(0, 0, 800, 600), 0, 1));
    ASSERT_TRUE(top.CreateEx(0, "t", kStylePopup | kStyleVisible, Rect(100, 100, 300, 300), 0, 2));
    ASSERT_TRUE(
        child.CreateEx(0, "c", kStyleChild | kStyleVisible, Rect(10, 20, 60, 70), top.GetSafeHwnd(), 0));
    back.SetTopmost(true);  // now above the others: it takes every click
    app.m_pMainWnd = &top;

    EXPECT_EQ(CWnd::WindowFromPoint(150, 150), &back);
    back.SetTopmost(false);
    top.BringWindowToTop();
    EXPECT_EQ(CWnd::WindowFromPoint(250, 250), &top);
    EXPECT_EQ(CWnd::WindowFromPoint(115, 125), &child);
    EXPECT_EQ(CWnd::WindowFromPoint(50, 50), &back);
    EXPECT_EQ(CWnd::WindowFromPoint(900, 50), nullptr);
    EXPECT_EQ(child.GetWindowRect().left, 110);
    EXPECT_EQ(child.GetWindowRect().top, 120);

    InputEvent down;
    down.kind = InputKind::MouseDown;
    down.x = 115;
    down.y = 125;
    video_->Script(TickCount() + 30, down);
    for (int i = 0; i < 20 && gSeen.size() < 100; ++i) {
        app.PumpOnce();
    }
    std::vector<Seen> clicks;
    for (const Seen& s : gSeen) {
        if (s.message == kMsgLeftButtonDown) {
            clicks.push_back(s);
        }
    }
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0].window, child.GetSafeHwnd());
    EXPECT_EQ(PointParamX(clicks[0].lParam), 5);
    EXPECT_EQ(PointParamY(clicks[0].lParam), 5);
    EXPECT_EQ(clicks[0].wParam & kMouseLeft, kMouseLeft);
    EXPECT_TRUE(IsKeyDown(kKeyLeftButton));

    // With the capture set, a release far away still reaches the captured window, in its coordinates.
    gSeen.clear();
    top.SetCapture();
    InputEvent up;
    up.kind = InputKind::MouseUp;
    up.x = 50;
    up.y = 40;
    DeliverInput(up);
    app.PumpOnce();
    ASSERT_FALSE(gSeen.empty());
    EXPECT_EQ(gSeen[0].window, top.GetSafeHwnd());
    EXPECT_EQ(gSeen[0].message, kMsgLeftButtonUp);
    EXPECT_EQ(PointParamX(gSeen[0].lParam), -50);
    EXPECT_EQ(PointParamY(gSeen[0].lParam), -60);
    EXPECT_FALSE(IsKeyDown(kKeyLeftButton));
    CWnd::ReleaseCapture();
    app.m_pMainWnd = nullptr;
}

TEST_F(PlatformLoop, KeysGoToTheFocusWithTheRepeatBitAndAltMakesSystemKeys) {
    TestApp app;
    RecordingWindow a, b;
    ASSERT_TRUE(a.CreateEx(0, "a", kStylePopup | kStyleVisible, Rect(0, 0, 10, 10), 0, 1));
    ASSERT_TRUE(b.CreateEx(0, "b", kStylePopup | kStyleVisible, Rect(0, 0, 10, 10), 0, 2));
    app.m_pMainWnd = &a;
    b.SetFocus();
    a.BeginPaint();
    b.BeginPaint();

    InputEvent e;
    e.kind = InputKind::KeyDown;
    e.key = 'A';
    DeliverInput(e);
    e.repeat = true;
    DeliverInput(e);
    e.kind = InputKind::Text;
    e.character = 'a';
    DeliverInput(e);
    e = InputEvent{};
    e.kind = InputKind::KeyDown;
    e.key = kKeyAlt;
    DeliverInput(e);
    e.key = kKeyF1;
    DeliverInput(e);
    Message m;
    std::vector<Message> got;
    while (TakeMessage(m)) {
        got.push_back(m);
    }
    ASSERT_EQ(got.size(), 5u);
    for (const Message& msg : got) {
        EXPECT_EQ(msg.window, b.GetSafeHwnd());
    }
    EXPECT_EQ(got[0].message, kMsgKeyDown);
    EXPECT_EQ(got[0].lParam & kKeyRepeatBit, 0);
    EXPECT_EQ(got[1].lParam & kKeyRepeatBit, kKeyRepeatBit);
    EXPECT_EQ(got[2].message, kMsgChar);
    EXPECT_EQ(got[2].wParam, WParam('a'));
    EXPECT_EQ(got[3].message, kMsgSysKeyDown);
    EXPECT_EQ(got[4].message, kMsgSysKeyDown);
    EXPECT_EQ(got[4].wParam, WParam(kKeyF1));
    EXPECT_TRUE(IsKeyDown(kKeyAlt));

    // Closing the real window asks the main window to close.
    e.kind = InputKind::Close;
    DeliverInput(e);
    ASSERT_TRUE(TakeMessage(m));
    EXPECT_EQ(m.window, a.GetSafeHwnd());
    EXPECT_EQ(m.message, kMsgClose);
    app.m_pMainWnd = nullptr;
}

TEST_F(PlatformLoop, DestroyingAParentTakesItsChildrenAlongAndHandlesAreNotReused) {
    RecordingWindow parent, child;
    ASSERT_TRUE(parent.CreateEx(0, "p", kStylePopup | kStyleVisible, Rect(0, 0, 10, 10), 0, 1));
    WindowHandle old = parent.GetSafeHwnd();
    EXPECT_FALSE(child.CreateEx(0, "c", kStyleChild, Rect(0, 0, 5, 5), 0x7FFFFFF0, 0));  // no such parent
    ASSERT_TRUE(child.CreateEx(0, "c", kStyleChild | kStyleVisible, Rect(0, 0, 5, 5), old, 0));
    WindowHandle childHandle = child.GetSafeHwnd();
    EXPECT_TRUE(child.IsWindowVisible());
    parent.ShowWindow(kShowHide);
    EXPECT_FALSE(child.IsWindowVisible());  // visibility needs every parent shown
    parent.DestroyWindow();
    EXPECT_EQ(child.GetSafeHwnd(), 0u);
    EXPECT_EQ(CWnd::FromHandle(childHandle), nullptr);
    EXPECT_FALSE(CWnd::IsWindow(old));
    ASSERT_TRUE(parent.CreateEx(0, "p", kStylePopup, Rect(0, 0, 10, 10), 0, 1));
    EXPECT_NE(parent.GetSafeHwnd(), old);
}

TEST_F(PlatformLoop, UpdateRegionIsClippedToTheClientAreaAndValidatedByPainting) {
    RecordingWindow w;
    ASSERT_TRUE(w.CreateEx(0, "w", kStylePopup, Rect(0, 0, 100, 50), 0, 1));
    ScreenRect r;
    EXPECT_FALSE(w.GetUpdateRect(r));  // hidden windows are created valid
    ScreenRect part = Rect(90, 40, 200, 200);
    w.InvalidateRect(&part);
    ASSERT_TRUE(w.GetUpdateRect(r));
    EXPECT_EQ(r.right, 100);
    EXPECT_EQ(r.bottom, 50);
    EXPECT_EQ(CWnd::FindWindowToPaint(), nullptr);  // hidden: nothing to paint
    w.ShowWindow(kShowShow);
    EXPECT_EQ(CWnd::FindWindowToPaint(), &w);
    ScreenRect painted = w.BeginPaint();
    EXPECT_FALSE(painted.IsEmpty());
    EXPECT_FALSE(w.GetUpdateRect(r));
}

TEST(PlatformVideo, RegistryEndsWithHeadlessAndRefusesUnknownNames) {
    const VideoBootstrap* const* list = GetVideoBootstraps();
    const VideoBootstrap* last = nullptr;
    for (; *list != nullptr; ++list) {
        last = *list;
    }
    ASSERT_NE(last, nullptr);
    EXPECT_STREQ(last->name, "headless");
    std::string error;
    EXPECT_EQ(CreateVideoBackend("nothing", VideoOptions{}, error), nullptr);
    EXPECT_NE(error.find("unknown"), std::string::npos);
}
