// Windows as a user meets them: made on the screen, drawn through the back buffer, fed with the mouse
// and the keyboard, and the screensaver's window opening its scene through the class registry.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/CMainWindow.h"
#include "app/CProjectApplication.h"
#include "app/ZBackWindow.h"
#include "controls/ZControlState.h"
#include "controls/ZPanel.h"
#include "core/LinkEvents.h"
#include "core/ZFactory.h"
#include "graphics/ZGraphicDevice.h"
#include "platform/Clock.h"
#include "platform/Display.h"
#include "platform/Input.h"
#include "platform/MessageQueue.h"
#include "platform/headless/HeadlessVideo.h"

namespace {

std::vector<std::string> gLog;

std::string Describe(const ZMouseEvent& e) {
    return std::to_string(e.x) + "," + std::to_string(e.y) + " b" + std::to_string(e.buttons) + " m" +
           std::to_string(e.modifiers);
}

// A control filling its frame with one colour and logging what reaches it.
class Patch : public ZControl {
  public:
    Patch(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb)
        : ZControl(1, 0, x, y, 0, width, height, BuildingPanel()),
          colour_{uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb)} {}

    void DrawContent(ZGraphicDevice& device, const ZRect& rect) override {
        device.FillRect(rect, colour_, nullptr, 1, 0, ZGraphicDevice::kModeNone);
    }
    bool MouseDown(const ZMouseEvent& e) override {
        gLog.push_back("down " + Describe(e));
        ControlState().capture = this;
        return true;
    }
    bool MouseMoved(const ZMouseEvent& e) override {
        gLog.push_back("move " + Describe(e));
        return true;
    }
    bool MouseUp(const ZMouseEvent& e) override {
        gLog.push_back("up " + Describe(e));
        return true;
    }
    bool KeyDown(const ZKeyEvent& e) override {
        gLog.push_back("key " + std::to_string(e.character) + " " + std::to_string(e.virtualKey) + " m" +
                       std::to_string(e.modifiers));
        return !(e.modifiers & kModifierAlt);
    }
    bool KeyUp(const ZKeyEvent& e) override {
        gLog.push_back("keyup " + std::to_string(e.virtualKey));
        return true;
    }
    bool HandleEvent(int kind, intptr_t, intptr_t) override {
        if (kind == kLinkTick) {
            ++ticks;
        }
        return false;
    }
    int ticks = 0;

  private:
    uint8_t colour_[3];
};

// The stand-in scene: one green patch at (100, 50), 200 x 100.
class Scene : public ZPanel {
  public:
    void BuildContents() override { patch = new Patch(100, 50, 200, 100, 0x00FF00); }
    void Close() override { gLog.push_back(GetWindow() != nullptr ? "closed in window" : "closed alone"); }
    Patch* patch = nullptr;
};

ZPropertyHolder* MakeScene(void*, ZTLink*) {
    return new Scene;
}

// Tests run side by side: each may be the one instance.
class TestApplication : public CProjectApplication {
  public:
    TestApplication() { SetAllowSeveralInstances(true); }

  protected:
    bool OpenMediaContainer() override { return true; }
};

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gLog.clear();
        ResetControlState();
        platform::ClearMessages();
        platform::ResetInputState();
        video_ = std::make_unique<platform::HeadlessVideo>(true);
        platform::SetVideoBackend(video_.get());
        platform::Display::Get().SetMode(platform::ScreenMode{1024, 768, 32});
        previous_ = ZFactory::SetFactory(&factory_);
        scene_ = std::make_unique<ZClassDescriptor>(CMainWindow::kScenePanelClass, 1, nullptr, MakeScene);
    }
    void TearDown() override {
        ZFactory::SetFactory(previous_);
        platform::SetVideoBackend(nullptr);
        video_.reset();
        platform::ClearMessages();
        platform::ResetInputState();
        ResetControlState();
    }

    // The screensaver started in saver mode, its start message handled.
    void StartShow(TestApplication& app) {
        app.m_lpCmdLine = "/s";
        ASSERT_TRUE(app.InitInstance());
        platform::Message m;
        while (platform::TakeMessage(m)) {
            if (CWnd* window = CWnd::FromHandle(m.window)) {
                window->WindowProc(m.message, m.wParam, m.lParam);
            }
        }
    }

    static uint32_t ScreenAt(int32_t x, int32_t y) {
        const platform::Display& d = platform::Display::Get();
        const uint8_t* p = d.GetPixels() + size_t(y) * size_t(d.GetStride()) + size_t(x) * 4;
        return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }

    ZFactory factory_;
    ZFactory* previous_ = nullptr;
    std::unique_ptr<ZClassDescriptor> scene_;
    std::unique_ptr<platform::HeadlessVideo> video_;
};

}  // namespace

TEST_F(WindowTest, RectanglesSlideOntoTheScreenAndFullHeightWindowsAreMaximised) {
    const struct {
        ZRect asked;  // top, left, bottom, right
        ZRect made;
        bool maximised;
    } kCases[] = {
        {{10, 20, 610, 820}, {10, 20, 610, 820}, false},
        {{500, 900, 800, 1100}, {468, 824, 768, 1024}, false},  // off the bottom right
        {{-30, -40, 70, 60}, {0, 0, 100, 100}, false},          // off the top left
        {{0, 0, 768, 2000}, {0, 0, 768, 2000}, true},           // wider than the screen: the left edge wins
        {{0, 0, 800, 100}, {0, 0, 800, 100}, true},             // taller: the top edge wins
    };
    for (const auto& c : kCases) {
        ZWindow window(1, 1, c.asked, ZWindowFlags::kCreate, "test");
        platform::ScreenRect r = window.GetWindowRect();
        EXPECT_EQ((ZRect{r.top, r.left, r.bottom, r.right}), c.made);
        EXPECT_EQ(window.IsZoomed(), c.maximised) << c.asked.top << "," << c.asked.left;
        EXPECT_EQ(window.GetFrame(), ZRect::FromSize(c.asked.Width(), c.asked.Height()));
        EXPECT_EQ(window.GetType(), ZWindow::kTypeWindow);
    }
}

TEST_F(WindowTest, TheStartMessageOpensTheSceneWhichDrawsThroughTheBackBuffer) {
    TestApplication app;
    StartShow(app);
    ZMainWindow* window = app.GetMainWindow();
    ASSERT_NE(window, nullptr);
    auto* scene = dynamic_cast<Scene*>(window->FindPanel(CMainWindow::kScenePanelId));
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(window->GetActivePanel(), scene);
    EXPECT_EQ(scene->GetClassId(), CMainWindow::kScenePanelClass);
    EXPECT_TRUE(window->IsWindowVisible());
    EXPECT_TRUE(video_->GetAlerts().empty());
    // The screen switched to 800 x 600 and the 800 x 600 window covers it: the patch is on screen, the
    // rest is the background.
    EXPECT_EQ(ScreenAt(150, 100), 0x00FF00u);
    EXPECT_EQ(ScreenAt(99, 100), 0u);
    EXPECT_EQ(ScreenAt(300, 100), 0u);

    // A paint request repaints from the tree; an idle pass ticks the scene and presents once.
    platform::Display::Get().FillRect(platform::ScreenRect{0, 0, 800, 600}, 0xFF0000);
    window->Redraw(nullptr);
    while (CWnd* w = CWnd::FindWindowToPaint()) {
        w->SendMessage(platform::kMsgPaint);
    }
    EXPECT_EQ(ScreenAt(150, 100), 0x00FF00u);
    EXPECT_EQ(ScreenAt(10, 10), 0u);
    uint32_t presents = video_->GetPresentCount();
    app.OnIdle(0);
    EXPECT_EQ(scene->patch->ticks, 1);
    EXPECT_EQ(video_->GetPresentCount(), presents + 1);

    // Hidden, the window draws nothing.
    window->Show(false, ZRedraw::kNo);
    EXPECT_FALSE(window->IsWindowVisible());
    platform::Display::Get().FillRect(platform::ScreenRect{0, 0, 800, 600}, 0xFF0000);
    scene->patch->Draw(nullptr, nullptr, ZDrawFlags::kNone);
    EXPECT_EQ(ScreenAt(150, 100), 0xFF0000u);

    // Panels close while the window still answers them.
    app.Terminate();
    EXPECT_EQ(gLog, (std::vector<std::string>{"closed in window"}));
}

TEST_F(WindowTest, MouseMessagesBecomeEventsInClientCoordinatesWithButtonsAndModifiers) {
    TestApplication app;
    StartShow(app);
    ZMainWindow* window = app.GetMainWindow();
    ASSERT_NE(window, nullptr);
    using platform::MakePointParam;
    const struct {
        uint32_t message;
        platform::WParam flags;
        int32_t x, y;
        const char* logged;  // null: nothing reaches the patch
    } kCases[] = {
        {platform::kMsgMouseMove, 0, 150, 60, "move 150,60 b0 m0"},
        {platform::kMsgMouseMove, 0, 50, 60, "move 50,60 b0 m0"},  // every object hears moves
        {platform::kMsgLeftButtonDown, platform::kMouseLeft | platform::kMouseShift, 101, 51,
         "down 101,51 b1 m24"},
        // Captured: moves and the release reach the patch wherever the pointer is.
        {platform::kMsgMouseMove, platform::kMouseLeft | platform::kMouseControl, 5, 6, "move 5,6 b1 m1"},
        {platform::kMsgLeftButtonUp, 0, 5, 6, "up 5,6 b0 m0"},
        {platform::kMsgRightButtonDown, platform::kMouseRight | platform::kMouseMiddle, 299, 149,
         "down 299,149 b6 m0"},
        {platform::kMsgRightButtonUp, 0, 299, 149, "up 299,149 b0 m0"},
        {platform::kMsgLeftButtonDown, platform::kMouseLeft, 301, 100, nullptr},
    };
    for (const auto& c : kCases) {
        gLog.clear();
        window->SendMessage(c.message, c.flags, MakePointParam(c.x, c.y));
        if (c.logged == nullptr) {
            EXPECT_TRUE(gLog.empty()) << c.message << " " << c.x;
        } else {
            EXPECT_EQ(gLog, (std::vector<std::string>{c.logged})) << c.message << " " << c.x;
        }
    }
    app.Terminate();
}

TEST_F(WindowTest, ClicksCountWithinTheDoubleClickTimeAcrossTheTickWrap) {
    ZWindow window(1, 1, ZRect::FromSize(100, 100), ZWindowFlags::kCreate, "test");
    const struct {
        uint32_t downAt;
        int32_t count;
    } kClicks[] = {
        {1000, 1},
        {1100, 2},                              // 50 ms after the release
        {1800, 1},                              // 650 ms after
        {0xFFFFFF00u, 1},                       //
        {0x00000050u, 2},                       // 0x100 ms after, past the wrap
        {0x00000050u + 50 + 501, 1},            // one past the double-click time
        {0x00000050u + 50 + 501 + 50 + 500, 2}  // exactly at it
    };
    uint32_t upAt = 0;
    for (const auto& c : kClicks) {
        platform::SetMessageTime(c.downAt);
        window.SendMessage(platform::kMsgLeftButtonDown, platform::kMouseLeft, 0);
        // Moving with the button held does not count again.
        window.SendMessage(platform::kMsgMouseMove, platform::kMouseLeft, 0);
        EXPECT_EQ(window.GetClickCount(), c.count) << std::hex << c.downAt;
        upAt = c.downAt + 50;
        platform::SetMessageTime(upAt);
        window.SendMessage(platform::kMsgLeftButtonUp, 0, 0);
    }
}

TEST_F(WindowTest, KeyMessagesBecomeKeyEventsOnceAndAltCombinationsNobodyUsesGoToThePlatform) {
    TestApplication app;
    StartShow(app);
    ZMainWindow* window = app.GetMainWindow();
    ASSERT_NE(window, nullptr);
    const struct {
        uint32_t message;
        platform::WParam key;
        platform::LParam data;
        uint32_t held;       // a modifier key held meanwhile, or 0
        const char* logged;  // null: nothing
        bool ours;           // the window answered it (no platform default)
    } kCases[] = {
        {platform::kMsgKeyDown, 'A', 0, 0, "key 0 65 m0", true},
        {platform::kMsgChar, 'a', 0, 0, "key 97 0 m0", true},
        {platform::kMsgChar, 'a', platform::kKeyRepeatBit, 0, nullptr, true},  // held down: typed once
        {platform::kMsgKeyUp, 'A', 0, 0, "keyup 65", true},
        {platform::kMsgKeyDown, platform::kKeyEscape, 0, platform::kKeyShift, "key 0 27 m24", true},
        {platform::kMsgKeyDown, 'C', 0, platform::kKeyControl, "key 0 67 m1", true},
        {platform::kMsgSysKeyDown, platform::kKeyF1 + 3, 0, platform::kKeyAlt, "key 0 115 m6", false},
        {platform::kMsgSysKeyUp, platform::kKeyF1 + 3, 0, platform::kKeyAlt, "keyup 115", true},
    };
    for (const auto& c : kCases) {
        platform::ResetInputState();
        if (c.held != 0) {
            platform::InputEvent press;
            press.kind = platform::InputKind::KeyDown;
            press.key = c.held;
            platform::DeliverInput(press);
            platform::ClearMessages();
        }
        gLog.clear();
        platform::LResult result = 0;
        bool ours = window->OnWndMsg(c.message, c.key, c.data, &result);
        EXPECT_EQ(ours, c.ours) << c.message << " " << c.key;
        if (c.logged == nullptr) {
            EXPECT_TRUE(gLog.empty()) << c.message << " " << c.key;
        } else {
            EXPECT_EQ(gLog, (std::vector<std::string>{c.logged})) << c.message << " " << c.key;
        }
    }
    app.Terminate();
}

TEST_F(WindowTest, TheBackdropCoversTheScreenInBlackAndTakesNoInput) {
    TestApplication app;
    StartShow(app);
    ZWindow* back = app.GetBackWindow();
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetType(), ZWindow::kTypeBackWindow);
    EXPECT_TRUE(back->IsZoomed());
    EXPECT_FALSE(back->IsWindowEnabled());
    EXPECT_TRUE(back->IsWindowVisible());
    platform::ScreenRect r = back->GetWindowRect();
    // Made over the 1024 x 768 screen before the show switched it to 800 x 600.
    EXPECT_EQ(r.Width(), 1024);
    EXPECT_EQ(r.Height(), 768);
    app.Terminate();
    EXPECT_EQ(app.GetBackWindow(), nullptr);

    // Outside saver mode there is none.
    TestApplication preview;
    preview.m_lpCmdLine = "/c";
    preview.InitInstance();
    EXPECT_EQ(preview.GetBackWindow(), nullptr);
    preview.Terminate();
}

TEST_F(WindowTest, ScriptedInputReachesTheSceneThroughTheMessageLoop) {
    TestApplication app;
    StartShow(app);
    uint32_t now = platform::TickCount();
    video_->ScriptMouse(now + 100, platform::InputKind::MouseMove, 150, 100);
    video_->ScriptMouse(now + 110, platform::InputKind::MouseDown, 150, 100);
    video_->ScriptMouse(now + 160, platform::InputKind::MouseUp, 160, 105);
    app.SetRunLimit(1000);
    app.Run();
    EXPECT_EQ(gLog, (std::vector<std::string>{"move 150,100 b0 m0", "down 150,100 b1 m0", "up 160,105 b0 m0",
                                              "closed in window"}));
    EXPECT_EQ(video_->PendingScript(), 0u);
}
