// Input from the host turned into the framework's: the key table, typed text, the letterbox mapping of
// pointer positions, focus across real windows.
#include <gtest/gtest.h>

#include <vector>

#include "platform/HostInput.h"
#include "platform/Input.h"

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

}  // namespace
