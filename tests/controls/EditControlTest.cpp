// The edit control with the test font (6 pixels a character, lines 10 high, 4 more after a break):
// keys, typing over markup, notifications, the edit focus, the blink task and the maximum length.
#include "controls/ZEditControl.h"
#include "platform/Clock.h"
#include "tests/controls/TextTestSupport.h"

namespace controlstest {
namespace {

// A panel that records the edit notifications as "kind" and checks that they carry the key record.
class EditPanel : public ZPanel {
  public:
    bool HandleEvent(int kind, intptr_t data, intptr_t) override {
        if (kind == kLinkEditChanged || kind == kLinkEditKey) {
            heard.push_back(std::to_string(kind));
            EXPECT_EQ(data, expected);
        }
        return false;
    }
    std::vector<std::string> heard;
    intptr_t expected = 0;
};

class EditTest : public TextTest {
  protected:
    static ZEditControl* Edit(const char* text, ZPanel* panel = nullptr,
                              int32_t maxLength = ZEditControl::kDefaultMaxLength, int32_t width = 200) {
        return new ZEditControl(7, 0, 0, 1, width, 60, new ZString(text, int32_t(std::strlen(text))), nullptr,
                                1, 0, 0, maxLength, panel);
    }
    static ZKeyEvent Key(uint32_t key, uint8_t modifiers = 0) {
        ZKeyEvent event;
        event.virtualKey = key;
        event.modifiers = modifiers;
        return event;
    }
    static ZKeyEvent Char(char c, uint8_t modifiers = 0) {
        ZKeyEvent event;
        event.character = uint8_t(c);
        event.modifiers = modifiers;
        return event;
    }
    static std::string Source(ZEditControl& control) { return control.GetText().GetText(); }
};

constexpr uint8_t kShift = kModifierShift;
constexpr uint8_t kCtrl = kModifierControl;

TEST_F(EditTest, KeysMoveTheCaretOverWholeUnits) {
    // a0 b1 &lt;2-6 c6 d7 <BR>8-12 e12 f13 g14, end 15. Line 1: x 0..30; line 2 (y 14): x 0..18.
    struct Case {
        int32_t start, end;  // the selection before, the end moving
        uint32_t key;
        uint8_t modifiers;
        int32_t wantStart, wantEnd;
    };
    const Case cases[] = {
        {6, 6, ZEditControl::kKeyLeft, 0, 2, 2},     // over the entity
        {2, 2, ZEditControl::kKeyRight, 0, 6, 6},    //
        {12, 12, ZEditControl::kKeyLeft, 0, 8, 8},   // over the break
        {8, 8, ZEditControl::kKeyRight, 0, 12, 12},  //
        {6, 6, ZEditControl::kKeyLeft, kShift, 2, 6},
        {6, 6, ZEditControl::kKeyRight, kShift, 6, 7},
        {2, 8, ZEditControl::kKeyLeft, 0, 2, 2},  // a selection collapses to its edge
        {2, 8, ZEditControl::kKeyRight, 0, 8, 8},
        {0, 0, ZEditControl::kKeyRight, kCtrl, 12, 12},  // the word, then the break after it
        {15, 15, ZEditControl::kKeyLeft, kCtrl, 12, 12},
        {15, 15, ZEditControl::kKeyLeft, kCtrl | kShift, 12, 15},
        {13, 13, ZEditControl::kKeyHome, kShift, 12, 13},
        {13, 13, ZEditControl::kKeyHome, 0, 12, 12},
        {13, 13, ZEditControl::kKeyEnd, 0, 15, 15},
        {2, 2, ZEditControl::kKeyEnd, 0, 8, 8},
        {2, 2, ZEditControl::kKeyEnd, kShift, 2, 8},
        {6, 6, ZEditControl::kKeyHome, kCtrl, 0, 0},
        {6, 6, ZEditControl::kKeyEnd, kCtrl | kShift, 6, 15},
        {14, 14, ZEditControl::kKeyUp, 0, 2, 2},  // x 12 on the line above
        {7, 7, ZEditControl::kKeyDown, 0, 15, 15},
        {7, 7, ZEditControl::kKeyDown, kShift, 7, 15},
        {13, 13, ZEditControl::kKeyDown, 0, 13, 13},  // no line below
        {1, 1, ZEditControl::kKeyUp, 0, 1, 1},
        {0, 0, ZEditControl::kKeyLeft, 0, 0, 0},
        {15, 15, ZEditControl::kKeyRight, 0, 15, 15},
    };
    auto* control = Edit("ab&lt;cd<BR>efg");
    ASSERT_EQ(Source(*control), "ab&lt;cd<BR>efg");
    ZEditControl::SetEditFocus(control, false);
    for (const Case& test : cases) {
        control->SetSelection(test.start, test.end);
        ZKeyEvent key = Key(test.key, test.modifiers);
        EXPECT_TRUE(control->KeyDown(key)) << test.key;
        EXPECT_EQ(control->GetSelectionStart(), test.wantStart) << test.start << " key " << test.key;
        EXPECT_EQ(control->GetSelectionEnd(), test.wantEnd) << test.start << " key " << test.key;
    }
    // Up and Down keep the x the caret had before them, across a shorter line.
    control->SetSelection(5, 5);  // inside the entity: back to its start, x 12
    EXPECT_EQ(control->GetCaret(), 2);
    control->SetSelection(7, 7);  // x 24
    control->KeyDown(Key(ZEditControl::kKeyDown));
    control->KeyDown(Key(ZEditControl::kKeyUp));
    EXPECT_EQ(control->GetCaret(), 7);
    delete control;
}

TEST_F(EditTest, TheEndOfAWrappedLineAndTheStartOfTheNextStayApart) {
    // "hello " on the first line, "world" on the second (y 10): offset 6 is both.
    auto* control = Edit("hello world", nullptr, ZEditControl::kDefaultMaxLength, 40);
    ZEditControl::SetEditFocus(control, false);
    control->SetSelection(2, 2);
    control->KeyDown(Key(ZEditControl::kKeyEnd));
    EXPECT_EQ(control->GetCaret(), 6);
    EXPECT_EQ(control->GetCaretRect().left, 36);
    EXPECT_EQ(control->GetCaretRect().top, 0);
    control->SetSelection(8, 8);
    control->KeyDown(Key(ZEditControl::kKeyHome));
    EXPECT_EQ(control->GetCaret(), 6);
    EXPECT_EQ(control->GetCaretRect().left, 0);
    EXPECT_EQ(control->GetCaretRect().top, 10);
    delete control;
}

TEST_F(EditTest, ShiftSelectsBothWaysAcrossTheAnchor) {
    auto* control = Edit("abcdef");
    ZEditControl::SetEditFocus(control, false);
    control->SetSelection(3, 3);
    control->KeyDown(Key(ZEditControl::kKeyLeft, kShift));
    control->KeyDown(Key(ZEditControl::kKeyLeft, kShift));
    EXPECT_EQ(control->GetSelectionStart(), 1);
    EXPECT_EQ(control->GetSelectionEnd(), 3);
    EXPECT_EQ(control->GetMovingEnd(), ZEditControl::MovingEnd::kStart);
    for (int i = 0; i < 3; ++i) {
        control->KeyDown(Key(ZEditControl::kKeyRight, kShift));
    }
    EXPECT_EQ(control->GetSelectionStart(), 3);
    EXPECT_EQ(control->GetSelectionEnd(), 4);
    EXPECT_EQ(control->GetMovingEnd(), ZEditControl::MovingEnd::kEnd);
    delete control;
}

TEST_F(EditTest, TypingAndDeletingKeepTheMarkupWhole) {
    struct Case {
        const char* before;
        int32_t start, end;
        ZKeyEvent key;
        const char* after;
        int32_t caret;
    };
    const Case cases[] = {
        {"ab", 2, 2, Char('<'), "ab&lt;", 6},
        {"ab&lt;", 6, 6, Key(ZEditControl::kKeyBackspace), "ab", 2},  // not "ab&lt"
        {"ab&lt;cd", 2, 2, Key(ZEditControl::kKeyDelete), "abcd", 2},
        {"ab", 1, 1, Char('\r'), "a<BR>b", 5},
        {"ab", 1, 1, Char('\n'), "a<BR>b", 5},
        {"a<BR>b", 5, 5, Key(ZEditControl::kKeyBackspace), "ab", 1},
        {"a<BR>b", 1, 1, Key(ZEditControl::kKeyDelete), "ab", 1},
        {"a", 1, 1, Char('&'), "a&amp;", 6},
        {"a", 0, 0, Char('>'), "&gt;a", 4},
        {"a", 1, 1, Char('\t'), "a\t", 2},
        {"a", 1, 1, Char(char(200)), "a\xC8", 2},
        {"a&amp;b", 0, 7, Char('x'), "x", 1},                                  // the selection goes first
        {"a<b>b</b>", 4, 4, Key(ZEditControl::kKeyBackspace), "<b>b</b>", 0},  // the tag stays
        {"a<b>b</b>", 1, 1, Key(ZEditControl::kKeyDelete), "a<b></b>", 1},
        {"ab", 0, 0, Key(ZEditControl::kKeyBackspace), "ab", 0},  // nothing before: handled, no change
        {"ab", 2, 2, Key(ZEditControl::kKeyDelete), "ab", 2},
        {"ab<i", 5, 5, Char('x'), "ab<i>x", 6},          // a tag left open at the end is closed first
        {"ab<i x=&q", 8, 8, Char('x'), "ab<i x=>x", 9},  // after the entity that would eat the '>' is gone
    };
    for (const Case& test : cases) {
        auto* control = Edit(test.before);
        ZEditControl::SetEditFocus(control, false);
        control->SetSelection(test.start, test.end);
        EXPECT_TRUE(control->KeyDown(test.key)) << test.before;
        EXPECT_EQ(Source(*control), test.after) << test.before;
        EXPECT_EQ(control->GetCaret(), test.caret) << test.before;
        delete control;
    }
}

TEST_F(EditTest, TypedMarkupCharactersAreShownAndEnterBreaksTheLine) {
    auto* control = Edit("");
    ZEditControl::SetEditFocus(control, false);
    for (char c : std::string("a<b&")) {
        control->KeyDown(Char(c));
    }
    EXPECT_EQ(Source(*control), "a&lt;b&amp;");
    EXPECT_EQ(Segments(*control), "a@0,0 <@6,0 b@12,0 &@18,0");
    ZRect caret = control->GetCaretRect();
    EXPECT_EQ(caret.left, 24);
    control->KeyDown(Char('\r'));
    EXPECT_EQ(Source(*control), "a&lt;b&amp;<BR>");
    caret = control->GetCaretRect();  // at the start of the new, empty line
    EXPECT_EQ(caret.left, 0);
    EXPECT_EQ(caret.top, 14);
    control->KeyDown(Char(' '));  // shown, though the layout skips spaces after a break
    control->KeyDown(Char('c'));
    EXPECT_EQ(Segments(*control), "a@0,0 <@6,0 b@12,0 &@18,0 @24,0  @0,14 c@6,14");
    EXPECT_EQ(control->GetCaretRect().left, 12);
    delete control;
}

TEST_F(EditTest, HandledKeysNotifyThePanel) {
    TestWindow window;
    auto* panel = new EditPanel;
    panel->Open(&window, false);
    panel->Show(true, ZRedraw::kNo);
    auto* control = Edit("ab", panel);
    struct Case {
        ZKeyEvent key;
        bool handled;
        const char* heard;
    };
    const Case cases[] = {
        {Char('x'), true, "54 55"},
        {Key(ZEditControl::kKeyLeft), true, "55"},
        {Key(ZEditControl::kKeyHome), true, "55"},
        {Key(ZEditControl::kKeyBackspace), true, "55"},  // at 0: nothing changes
        {Key(ZEditControl::kKeyDelete), true, "54 55"},
        {Char('\x01'), false, ""},       // a control byte types nothing
        {Char('\t', kCtrl), false, ""},  // nor does one with Ctrl held
        {Key(112), false, ""},           // a key the control does not know
    };
    ZEditControl::SetEditFocus(control, false);
    for (const Case& test : cases) {
        panel->heard.clear();
        panel->expected = reinterpret_cast<intptr_t>(&test.key);
        EXPECT_EQ(control->KeyDown(test.key), test.handled) << test.heard;
        EXPECT_EQ(Join(panel->heard), test.heard);
    }
    // Without the edit focus no key is used.
    ZEditControl::SetEditFocus(nullptr, false);
    panel->heard.clear();
    EXPECT_FALSE(control->KeyDown(Char('y')));
    EXPECT_EQ(Join(panel->heard), "");
    delete panel;
}

TEST_F(EditTest, TheEditFocusMovesBetweenControls) {
    auto* first = Edit("one");
    auto* second = Edit("two");
    ZEditControl::SetEditFocus(first, false);
    EXPECT_EQ(ZEditControl::GetEditFocus(), first);
    EXPECT_EQ(ControlState().focused, first);
    ZEditControl::SetEditFocus(second, true);
    EXPECT_EQ(ZEditControl::GetEditFocus(), second);
    EXPECT_EQ(ControlState().focused, second);
    EXPECT_EQ(second->GetSelectionStart(), 0);  // all selected
    EXPECT_EQ(second->GetSelectionEnd(), 3);
    EXPECT_FALSE(first->KeyDown(Char('x')));
    EXPECT_TRUE(second->KeyDown(Char('x')));
    EXPECT_EQ(Source(*second), "x");
    EXPECT_TRUE(second->KeyDown(Key(ZEditControl::kKeyEscape)));
    EXPECT_EQ(ZEditControl::GetEditFocus(), nullptr);
    ZEditControl::SetEditFocus(first, false);
    delete first;  // the holder lets go when it goes
    EXPECT_EQ(ZEditControl::GetEditFocus(), nullptr);
    EXPECT_EQ(ControlState().focused, nullptr);
    delete second;
}

TEST_F(EditTest, TheMouseTakesTheFocusAndSelects) {
    TestWindow window;
    auto* panel = new EditPanel;
    panel->Open(&window, false);
    panel->Show(true, ZRedraw::kNo);
    auto* control = Edit("abcdef<BR>ghi", panel);
    EXPECT_TRUE(control->MouseDown(Mouse(19, 3)));  // nearest to the boundary at 18
    EXPECT_EQ(ZEditControl::GetEditFocus(), control);
    EXPECT_EQ(ControlState().capture, control);
    EXPECT_EQ(control->GetCaret(), 3);
    EXPECT_TRUE(control->MouseMoved(Mouse(5, 3)));  // back past the press: the start moves
    EXPECT_EQ(control->GetSelectionStart(), 1);
    EXPECT_EQ(control->GetSelectionEnd(), 3);
    EXPECT_TRUE(control->MouseMoved(Mouse(7, 16)));  // down to the next line
    EXPECT_EQ(control->GetSelectionStart(), 3);
    EXPECT_EQ(control->GetSelectionEnd(), 11);
    EXPECT_TRUE(control->MouseUp(Mouse(7, 16)));
    EXPECT_EQ(ControlState().capture, nullptr);
    // Drawn with the selection inverted: the background under "def" is no longer white.
    control->Draw(nullptr, nullptr, ZDrawFlags::kNone);
    EXPECT_EQ(window.Buffer().ColorAt(35, 1), 0x000000u);
    EXPECT_EQ(window.Buffer().ColorAt(17, 1), 0xFFFFFFu);
    delete panel;
}

TEST_F(EditTest, TheCaretBlinksByTheTickCount) {
    platform::VirtualClock clock(0xFFFFFF00u);  // ticks wrap during the test
    platform::Clock* previous = platform::SetClock(&clock);
    ZTaskManager manager(0, ZTaskFlags::kNone, nullptr);
    SetRootTaskManager(&manager);
    auto* control = Edit("ab");
    ASSERT_NE(control->GetBlinkTask(), nullptr);
    EXPECT_EQ(manager.GetTaskCount(), 1);
    EXPECT_TRUE(control->IsCaretShown());  // from the start
    clock.Advance(100000);
    manager.Run(1);
    EXPECT_TRUE(control->IsCaretShown());  // interval 0: never
    control->SetBlinkInterval(500);
    control->Blink(0xFFFFFF00u + 500);  // past the wrap, but not more than the interval
    EXPECT_TRUE(control->IsCaretShown());
    control->Blink(0xFFFFFF00u + 501);
    EXPECT_FALSE(control->IsCaretShown());
    manager.Run(2);  // the pass count is no time: the task reads the clock
    EXPECT_TRUE(control->IsCaretShown());
    manager.Run(3);
    EXPECT_TRUE(control->IsCaretShown());
    clock.Advance(501);
    manager.Run(4);
    EXPECT_FALSE(control->IsCaretShown());
    // Destroying the control ends the task, which its manager then deletes.
    delete control;
    manager.Run(5);
    EXPECT_EQ(manager.GetTaskCount(), 0);
    // A manager that goes first takes its task along; the control lives on without it.
    {
        ZTaskManager shortLived(0, ZTaskFlags::kNone, nullptr);
        SetRootTaskManager(&shortLived);
        control = Edit("ab");
    }
    EXPECT_EQ(control->GetBlinkTask(), nullptr);
    delete control;
    SetRootTaskManager(nullptr);
    platform::SetClock(previous);
}

TEST_F(EditTest, TypingStopsAtTheMaximumLength) {
    TestWindow window;
    auto* panel = new EditPanel;
    panel->Open(&window, false);
    panel->Show(true, ZRedraw::kNo);
    auto* control = Edit("abcdef", panel, 8);
    ZEditControl::SetEditFocus(control, false);
    control->SetSelection(6, 6);
    ZKeyEvent amp = Char('&');  // five bytes of source would make 11
    panel->expected = reinterpret_cast<intptr_t>(&amp);
    EXPECT_TRUE(control->KeyDown(amp));
    EXPECT_EQ(Join(panel->heard), "55");
    for (char c : std::string("ghi")) {
        ZKeyEvent key = Char(c);
        panel->expected = reinterpret_cast<intptr_t>(&key);
        control->KeyDown(key);
    }
    EXPECT_EQ(Source(*control), "abcdefgh");
    // Replacing a selection may use the room it frees.
    control->SetSelection(0, 8);
    ZKeyEvent lt = Char('<');
    panel->expected = reinterpret_cast<intptr_t>(&lt);
    control->KeyDown(lt);
    EXPECT_EQ(Source(*control), "&lt;");
    delete panel;
}

}  // namespace
}  // namespace controlstest
