// Input from the host turned into the framework's: the key table, typed text, the letterbox mapping of
// pointer positions, focus across real windows, and the headless backend routing scripted input into
// window messages through the same translation. Also what the screen presents and the depths it takes.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/CWinApp.h"
#include "platform/CWnd.h"
#include "platform/Clock.h"
#include "platform/Display.h"
#include "platform/HostInput.h"
#include "platform/Input.h"
#include "platform/Main.h"
#include "platform/MessageQueue.h"
#include "platform/headless/HeadlessVideo.h"

using namespace platform;

namespace {

TEST(PlatformKeys, HostKeysBecomeVirtualKeysAndCharacters) {
    struct Case {
        HostKey host;
        uint32_t virtualKey;
        uint8_t control;  // what TranslateKey adds as a character
        uint8_t typed;    // on a US keyboard, without and with shift
        uint8_t typedShift;
    };
    const Case cases[] = {
        {'a', 'A', 0, 'a', 'A'},
        {'z', 'Z', 0, 'z', 'Z'},
        {'0', '0', 0, '0', '0'},
        {'9', '9', 0, '9', '9'},
        {'-', 0xFF, 0, '-', '-'},  // no framework name: still a key
        {kHostSpace, kKeySpace, 0, ' ', ' '},
        {kHostBackspace, kKeyBack, 0x08, 0, 0},
        {kHostTab, kKeyTab, 0x09, 0, 0},
        {kHostReturn, kKeyReturn, 0x0D, 0, 0},
        {kHostKeypadEnter, kKeyReturn, 0x0D, 0, 0},
        {kHostEscape, kKeyEscape, 0x1B, 0, 0},
        {kHostDelete, kKeyDelete, 0, 0, 0},
        {kHostF1, kKeyF1, 0, 0, 0},
        {kHostF12, kKeyF1 + 11, 0, 0, 0},
        {kHostInsert, kKeyInsert, 0, 0, 0},
        {kHostHome, kKeyHome, 0, 0, 0},
        {kHostEnd, kKeyEnd, 0, 0, 0},
        {kHostPageUp, kKeyPageUp, 0, 0, 0},
        {kHostPageDown, kKeyPageDown, 0, 0, 0},
        {kHostLeft, kKeyLeft, 0, 0, 0},
        {kHostUp, kKeyUp, 0, 0, 0},
        {kHostRight, kKeyRight, 0, 0, 0},
        {kHostDown, kKeyDown, 0, 0, 0},
        {kHostLeftShift, kKeyShift, 0, 0, 0},
        {kHostRightShift, kKeyShift, 0, 0, 0},
        {kHostLeftControl, kKeyControl, 0, 0, 0},
        {kHostRightControl, kKeyControl, 0, 0, 0},
        {kHostLeftAlt, kKeyAlt, 0, 0, 0},
        {kHostRightAlt, kKeyAlt, 0, 0, 0},
        {HostKeyFromScancode(100), 0xFF, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "host key 0x" << std::hex << c.host);
        EXPECT_EQ(VirtualKeyOf(c.host), c.virtualKey);
        EXPECT_EQ(ControlCharacterOf(c.host), c.control);
        EXPECT_EQ(TypedCharacterOf(c.host, false), c.typed);
        EXPECT_EQ(TypedCharacterOf(c.host, true), c.typedShift);

        // Pressed, held and released: the character comes with the press only, marked when repeated.
        for (bool repeat : {false, true}) {
            std::vector<InputEvent> down;
            TranslateKey(c.host, true, repeat, down);
            ASSERT_EQ(down.size(), c.control != 0 ? 2u : 1u);
            EXPECT_EQ(down[0].kind, InputKind::KeyDown);
            EXPECT_EQ(down[0].key, c.virtualKey);
            EXPECT_EQ(down[0].repeat, repeat);
            if (c.control != 0) {
                EXPECT_EQ(down[1].kind, InputKind::Text);
                EXPECT_EQ(down[1].character, c.control);
                EXPECT_EQ(down[1].repeat, repeat);
            }
        }
        std::vector<InputEvent> up;
        TranslateKey(c.host, false, false, up);
        ASSERT_EQ(up.size(), 1u);
        EXPECT_EQ(up[0].kind, InputKind::KeyUp);
        EXPECT_EQ(up[0].key, c.virtualKey);
    }
}

TEST(PlatformKeys, APairedKeyStaysHeldWhileEitherSideIs) {
    struct Step {
        HostKey key;
        bool down;
        bool shiftHeld, controlHeld;
    };
    const Step steps[] = {
        {kHostLeftShift, true, true, false},      {kHostRightShift, true, true, false},
        {kHostRightShift, false, true, false},  // the left one is still down
        {kHostRightControl, true, true, true},    {kHostLeftShift, false, false, true},
        {kHostLeftControl, false, false, true},  // released a key that was never pressed
        {kHostRightControl, false, false, false},
    };
    ResetInputState();
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << "host key 0x" << std::hex << s.key << (s.down ? " down" : " up"));
        std::vector<InputEvent> events;
        TranslateKey(s.key, s.down, false, events);
        for (const InputEvent& e : events) {
            DeliverInput(e);  // no window: only the keyboard state changes
        }
        EXPECT_EQ(IsKeyDown(kKeyShift), s.shiftHeld);
        EXPECT_EQ(IsKeyDown(kKeyControl), s.controlHeld);
        EXPECT_EQ((CurrentMouseFlags() & kMouseShift) != 0, s.shiftHeld);
        EXPECT_EQ((CurrentMouseFlags() & kMouseControl) != 0, s.controlHeld);
    }
    ResetInputState();
}

TEST(PlatformKeys, TextBecomesLatin1CharactersOrNothing) {
    struct Case {
        const char* utf8;
        std::vector<uint8_t> characters;
    };
    const Case cases[] = {
        {"a", {'a'}},
        {"Ab1", {'A', 'b', '1'}},
        {"\xC3\xA9", {0xE9}},          // e acute: Latin-1 has it
        {"\xC2\xA0", {0xA0}},          // no-break space
        {"\xE2\x82\xAC", {}},          // the euro sign: no Latin-1 byte
        {"\xF0\x9F\x98\x80x", {'x'}},  // an emoji is dropped, what follows stays
        {"\x7F\x1B", {}},              // control characters come from the keys, not from text
        {"", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        std::vector<InputEvent> out;
        TranslateText(c.utf8, true, out);
        ASSERT_EQ(out.size(), c.characters.size());
        for (size_t i = 0; i < out.size(); ++i) {
            EXPECT_EQ(out[i].kind, InputKind::Text);
            EXPECT_EQ(out[i].character, c.characters[i]);
            EXPECT_TRUE(out[i].repeat);
        }
    }
}

TEST(PlatformLetterbox, TheScreenKeepsItsShapeAndPointsMapBackOntoIt) {
    struct ViewCase {
        int32_t windowW, windowH, screenW, screenH;
        ScreenRect view;
    };
    const ViewCase views[] = {
        {800, 600, 800, 600, {0, 0, 800, 600}},
        {1600, 1200, 800, 600, {0, 0, 1600, 1200}},
        {1920, 1080, 800, 600, {240, 0, 1680, 1080}},  // bars left and right
        {1000, 1000, 800, 600, {0, 125, 1000, 875}},   // bars above and below
        {400, 300, 1024, 768, {0, 0, 400, 300}},
        {0, 600, 800, 600, {}},
        {800, 600, 0, 600, {}},
    };
    for (const ViewCase& c : views) {
        SCOPED_TRACE(testing::Message()
                     << c.windowW << "x" << c.windowH << " showing " << c.screenW << "x" << c.screenH);
        ScreenRect v = LetterboxView(c.windowW, c.windowH, c.screenW, c.screenH);
        EXPECT_EQ(v.left, c.view.left);
        EXPECT_EQ(v.top, c.view.top);
        EXPECT_EQ(v.right, c.view.right);
        EXPECT_EQ(v.bottom, c.view.bottom);
    }

    // 800x600 shown in a 1920x1080 window: the picture is 1440x1080 at x 240.
    const ScreenRect view = LetterboxView(1920, 1080, 800, 600);
    struct PointCase {
        int32_t x, y, sceneX, sceneY;
    };
    const PointCase points[] = {
        {240, 0, 0, 0},          // the picture's first pixel
        {1679, 1079, 799, 599},  // its last
        {960, 540, 400, 300},    // the centre
        {241, 1, 0, 0},          // still within the first scene pixel (1.8 window pixels wide)
        {242, 2, 1, 1},
        {100, 500, 0, 277},   // on the left bar: the nearest edge
        {1900, -40, 799, 0},  // right bar, above the window
        {-100000, 100000, 0, 599},
    };
    for (const PointCase& p : points) {
        SCOPED_TRACE(testing::Message() << "window point " << p.x << "," << p.y);
        int32_t sx = -1, sy = -1;
        WindowToScreen(view, 800, 600, p.x, p.y, sx, sy);
        EXPECT_EQ(sx, p.sceneX);
        EXPECT_EQ(sy, p.sceneY);
    }
}

TEST(PlatformFocus, FocusMovingBetweenOurWindowsIsNoDeactivation) {
    // Each step: a window gains (+) or loses (-) the focus at a time, then the report at `at`.
    struct Step {
        int window;  // positive: gained; negative: lost; 0: only report
        uint32_t at;
        std::vector<InputKind> reported;
    };
    const Step steps[] = {
        {+1, 10, {InputKind::AppActive}},
        {+1, 20, {}},  // told twice: still one activation
        {-1, 30, {}},  // the backdrop lets go ...
        {+2, 35, {}},  // ... and the main window takes over: no deactivation in between
        {-2, 40, {}},
        {0, 40 + FocusTracker::kGraceMs - 1, {}},
        {0, 40 + FocusTracker::kGraceMs, {InputKind::AppInactive}},
        {0, 400, {}},
        {+2, 500, {InputKind::AppActive}},
    };
    FocusTracker focus;
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << "window " << s.window << " at " << s.at);
        if (s.window > 0) {
            focus.Gained(uint32_t(s.window));
        } else if (s.window < 0) {
            focus.Lost(uint32_t(-s.window), s.at);
        }
        std::vector<InputEvent> out;
        focus.Report(s.at, out);
        ASSERT_EQ(out.size(), s.reported.size());
        for (size_t i = 0; i < out.size(); ++i) {
            EXPECT_EQ(out[i].kind, s.reported[i]);
        }
    }
}

// Windows that keep what reaches them.
struct Seen {
    WindowHandle window;
    uint32_t message;
    WParam wParam;
    LParam lParam;
};

class Recorder : public CWnd {
  public:
    explicit Recorder(std::vector<Seen>& seen) : seen_(seen) {}
    bool OnWndMsg(uint32_t message, WParam wParam, LParam lParam, LResult* result) override {
        if (message == kMsgPaint) {
            BeginPaint();
        } else {
            seen_.push_back(Seen{GetSafeHwnd(), message, wParam, lParam});
        }
        *result = 0;
        return true;
    }

  private:
    std::vector<Seen>& seen_;
};

std::vector<uint8_t> Grey() {
    std::vector<uint8_t> palette(256 * 3);
    for (size_t i = 0; i < palette.size(); ++i) {
        palette[i] = uint8_t(i / 3);
    }
    return palette;
}

class PlatformHeadlessInput : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearMessages();
        ResetInputState();
        video_ = std::make_unique<HeadlessVideo>(true);
        SetVideoBackend(video_.get());
        Display::Get().Reset(ScreenMode{800, 600, 32});
    }
    void TearDown() override {
        SetVideoBackend(nullptr);
        video_.reset();
        ClearMessages();
        ResetInputState();
    }
    // Runs the loop until the script is spent and a little after.
    void Run(CWinApp& app) {
        for (int i = 0; i < 200 && (video_->PendingScript() > 0 || i < 60); ++i) {
            app.PumpOnce();
        }
    }
    std::unique_ptr<HeadlessVideo> video_;
};

TEST_F(PlatformHeadlessInput, ScriptedInputReachesWindowsAsAUsersWould) {
    CWinApp app("InputTest");
    std::vector<Seen> seen;
    Recorder back(seen), main(seen);
    ASSERT_TRUE(back.CreateEx(0, "", kStylePopup | kStyleVisible, ScreenRect{0, 0, 800, 600}, 0, 1));
    ASSERT_TRUE(main.CreateEx(0, "", kStylePopup | kStyleVisible, ScreenRect{100, 50, 500, 350}, 0, 2));
    app.m_pMainWnd = &main;
    main.SetFocus();

    // The screen shown in a window twice its size with bars: 2000x1200 puts it at x 200, scale 2.
    video_->SetWindowSize(2000, 1200);
    uint32_t t = TickCount() + 10;
    video_->ScriptMouse(t, InputKind::MouseDown, 200 + 2 * 150, 2 * 100);  // scene 150,100 in main
    video_->ScriptMouse(t + 5, InputKind::MouseUp, 150, 20);               // on the bar: scene 0,10 (back)
    video_->ScriptKey(t + 10, kHostEscape, true);
    video_->ScriptKey(t + 11, kHostEscape, true, true);
    video_->ScriptKey(t + 12, kHostEscape, false);
    video_->ScriptKey(t + 13, 'q', true);
    video_->ScriptText(t + 13, "q");
    video_->ScriptFocus(t + 20, 1, true);
    video_->ScriptFocus(t + 30, 1, false);
    video_->ScriptFocus(t + 31, 2, true);
    video_->ScriptFocus(t + 40, 2, false);
    Run(app);

    struct Want {
        const CWnd* window;
        uint32_t message;
        WParam wParam;
        LParam lParam;
    };
    const Want wants[] = {
        {&main, kMsgLeftButtonDown, kMouseLeft, MakePointParam(50, 50)},
        {&back, kMsgLeftButtonUp, 0, MakePointParam(0, 10)},
        {&main, kMsgKeyDown, kKeyEscape, 1},
        {&main, kMsgChar, 0x1B, 1},
        {&main, kMsgKeyDown, kKeyEscape, 1 | kKeyRepeatBit},
        {&main, kMsgChar, 0x1B, 1 | kKeyRepeatBit},
        {&main, kMsgKeyUp, kKeyEscape, 1},
        {&main, kMsgKeyDown, 'Q', 1},
        {&main, kMsgChar, 'q', 1},
        {&main, kMsgActivateApp, 1, 0},  // once, though the focus moved from window 1 to window 2
        {&main, kMsgActivateApp, 0, 0},
    };
    ASSERT_EQ(seen.size(), std::size(wants));
    for (size_t i = 0; i < seen.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "message " << i);
        EXPECT_EQ(seen[i].window, wants[i].window->GetSafeHwnd());
        EXPECT_EQ(seen[i].message, wants[i].message);
        EXPECT_EQ(seen[i].wParam, wants[i].wParam);
        EXPECT_EQ(seen[i].lParam, wants[i].lParam);
    }
    app.m_pMainWnd = nullptr;
}

TEST_F(PlatformHeadlessInput, TheRealWindowCoversTheMonitorAndStaysOnTopWhileWindowsAskForIt) {
    CWnd back, main, small;
    ASSERT_TRUE(back.CreateEx(0, "", kStylePopup, ScreenRect{0, 0, 800, 600}, 0, 1));
    EXPECT_EQ(video_->GetWindowHints(), WindowHints::kNone);  // hidden windows ask nothing
    back.ShowWindow(kShowShow);
    EXPECT_EQ(video_->GetWindowHints(), WindowHints::kCoversScreen);
    ASSERT_TRUE(main.CreateEx(0, "", kStylePopup | kStyleVisible, ScreenRect{100, 50, 500, 350}, 0, 2));
    main.SetTopmost(true);
    EXPECT_EQ(video_->GetWindowHints(), WindowHints::kCoversScreen | WindowHints::kTopmost);
    back.MoveWindow(ScreenRect{0, 0, 800, 599});  // one row short of the screen: no longer a backdrop
    EXPECT_EQ(video_->GetWindowHints(), WindowHints::kTopmost);
    ASSERT_TRUE(small.CreateEx(0, "", kStyleChild | kStyleVisible, ScreenRect{-10, -10, 900, 900},
                               main.GetSafeHwnd(), 0));
    EXPECT_EQ(video_->GetWindowHints(), WindowHints::kTopmost);  // a child covers nothing of the screen
    main.DestroyWindow();
    back.ShowWindow(kShowHide);
    EXPECT_EQ(video_->GetWindowHints(), WindowHints::kNone);
}

TEST_F(PlatformHeadlessInput, OnlyWhatChangedIsPresented) {
    Display& display = Display::Get();
    const ScreenRect all{0, 0, 800, 600};
    struct Step {
        const char* what;
        void (*change)(Display&);
        ScreenRect presented;  // empty: nothing sent
    };
    const Step steps[] = {
        {"a new mode",
         [](Display& d) {
             d.SetMode(ScreenMode{800, 600, 32});
         },
         all},
        {"nothing", [](Display&) {}, {}},
        {"a fill",
         [](Display& d) {
             d.FillRect(ScreenRect{10, 20, 30, 40}, 0xFF0000);
         },
         {10, 20, 30, 40}},
        {"a fill and a blit",
         [](Display& d) {
             static const uint8_t pixels[4 * 2 * 3] = {};
             d.FillRect(ScreenRect{10, 20, 30, 40}, 0x00FF00);
             d.Blit(100, 200, pixels, 8, 2, 3);
         },
         {10, 20, 102, 203}},
        {"a fill partly off the screen",
         [](Display& d) {
             d.FillRect(ScreenRect{790, -5, 900, 5}, 1);
         },
         {790, 0, 800, 5}},
        {"a fill wholly off the screen",
         [](Display& d) {
             d.FillRect(ScreenRect{900, 0, 950, 5}, 1);
         },
         {}},
        {"a palette at 32 bits", [](Display& d) { d.SetPalette(Grey().data(), 256); }, {}},
        {"a write said so",
         [](Display& d) {
             ScreenRect r{5, 5, 6, 6};
             d.MarkChanged(&r);
         },
         {5, 5, 6, 6}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        size_t before = video_->GetPresented().size();
        s.change(display);
        display.Present();
        if (s.presented.IsEmpty()) {
            EXPECT_EQ(video_->GetPresented().size(), before);
            continue;
        }
        ASSERT_EQ(video_->GetPresented().size(), before + 1);
        const ScreenRect& got = video_->GetPresented().back();
        EXPECT_EQ(got.left, s.presented.left);
        EXPECT_EQ(got.top, s.presented.top);
        EXPECT_EQ(got.right, s.presented.right);
        EXPECT_EQ(got.bottom, s.presented.bottom);
    }

    // A write nobody announced is left out of the frame until something covers it.
    display.GetPixels()[0] = 0xFF;
    display.FillRect(ScreenRect{1, 0, 2, 1}, 0xFFFFFF);
    display.Present();
    EXPECT_EQ(display.GetFrame()[0], 0u);
    EXPECT_EQ(display.GetFrame()[1], 0xFFFFFFu);

    // At 8 bits a new palette recolours every pixel.
    display.SetMode(ScreenMode{64, 32, 8});
    display.Present();
    display.SetPalette(Grey().data(), 256);
    display.Present();
    EXPECT_EQ(video_->GetPresented().back().right, 64);
    EXPECT_EQ(video_->GetPresented().back().bottom, 32);
}

TEST(PlatformDepths, DisplaysOfOneAndFourBitsAreAcceptedAsIndexedScreens) {
    struct Case {
        const char* option;
        int32_t depth;
        uint32_t white;  // the colour a white fill shows as with a grey ramp
    };
    const Case cases[] = {
        {"--screen=640x480x1", 1, 0x010101},  // two entries: black and the darkest grey
        {"--screen=640x480x4", 4, 0x0F0F0F},  // sixteen
        {"--screen=640x480x8", 8, 0xFFFFFF},
    };
    Display& display = Display::Get();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        const char* argv[] = {"kestapp", c.option, "/s"};
        RunOptions options;
        std::string error;
        ASSERT_TRUE(ParseRunOptions(3, argv, options, error)) << error;
        EXPECT_EQ(options.screen.depth, c.depth);
        display.Reset(options.screen);
        EXPECT_EQ(display.GetMode().depth, c.depth);
        EXPECT_EQ(display.GetBytesPerPixel(), 1);
        display.FillRect(ScreenRect{0, 0, 2, 1}, 0xFFFFFF);
        display.GetPixels()[1] = 0xFF;  // an index out of range shows the depth's last entry
        display.UpdateFrame();
        EXPECT_EQ(display.GetFrame()[0], c.white);
        EXPECT_EQ(display.GetFrame()[1], c.white);
    }
    for (const char* bad : {"--screen=640x480x2", "--screen=640x480x0", "--screen=640x480x12"}) {
        const char* argv[] = {"kestapp", bad};
        RunOptions options;
        std::string error;
        EXPECT_FALSE(ParseRunOptions(2, argv, options, error)) << bad;
    }
    display.Reset(ScreenMode{});
}

}  // namespace
