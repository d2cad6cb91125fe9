// The text control with the test font (every byte from 32 on 6 pixels wide, ascent 8, descent 2):
// measuring runs, line placement, the font and colour stacks, scrolling, page mode and drawing.
#include "controls/ZFont.h"
#include "controls/ZTextControl.h"
#include "platform/Font.h"
#include "tests/controls/ControlsTestSupport.h"
#include "tests/controls/TextTestSupport.h"

namespace controlstest {
namespace {

TEST_F(TextTest, MeasureRunEndsAtLineEndsBreaksAndTheLineWidth) {
    struct Case {
        const char* text;
        int32_t available;
        bool split;
        int32_t consumed;
        int32_t visible;
        int32_t width;
        bool ended;
        int32_t posAfter;
    };
    const Case cases[] = {
        {"ab\r\ncd", 100, false, 2, 2, 12, false, 2},   // a line end stops a run
        {"\r\ncd", 100, false, 2, 0, 0, true, 2},       // CRLF at the start is one break
        {"\n\rcd", 100, false, 2, 0, 0, true, 2},       // so is LFCR
        {"\n\ncd", 100, false, 1, 0, 0, true, 1},       // but LF LF is two
        {"\rcd", 100, false, 1, 0, 0, true, 1},         // a lone CR
        {"ab\tc", 100, false, 2, 2, 12, false, 2},      // a tab stops it
        {"hello world", 50, false, 6, 5, 36, true, 6},  // breaks after the space, which it keeps
        {"well-known", 40, false, 5, 5, 30, true, 5},   // and after a hyphen
        {"abcdefghij", 40, false, 0, 0, 0, true, 0},    // a word that does not fit waits for a new line
        {"abcdefghij", 40, true, 6, 6, 36, true, 6},    // unless it may be split
        {"abc", 3, true, 0, 0, 0, false, 1},            // a byte wider than the line is passed over
        {"short", 100, false, 5, 5, 30, false, 5},      // the whole text fits
    };
    for (const Case& test : cases) {
        auto* control = Text(test.text, 200);
        int32_t pos = 0;
        ZTextControl::RunResult run;
        int32_t visible = control->MeasureRun(*control->GetFont(), pos, test.available, test.split, run);
        EXPECT_EQ(run.consumed, test.consumed) << test.text << " " << test.available;
        EXPECT_EQ(visible, test.visible) << test.text;
        EXPECT_EQ(run.width, test.width) << test.text;
        EXPECT_EQ(run.lineEnded, test.ended) << test.text;
        EXPECT_EQ(pos, test.posAfter) << test.text;
        delete control;
    }
}

TEST_F(TextTest, LinesAreAlignedAndTabsGoToTheNextStop) {
    struct Case {
        int32_t alignment;
        int32_t x;
    };
    // "abc" is 18 pixels wide in a 100 pixel line.
    for (const Case& test : {Case{1, 0}, Case{4, 82}, Case{18, 41}}) {
        auto* control = Text("abc", 100, 40, test.alignment);
        EXPECT_EQ(Segments(*control), "abc@" + std::to_string(test.x) + ",0") << test.alignment;
        delete control;
    }
    auto* control = Text("abc\td", 100);
    EXPECT_EQ(control->TabDistance(20), 12);
    EXPECT_EQ(control->TabDistance(32), 16);
    EXPECT_EQ(Segments(*control), "abc@0,0 \t@18,0 d@32,0");
    delete control;
    // Words wrap at spaces; a line that an explicit break ends is followed by the line gap.
    control = Text("aaa bbb ccc\nd", 50);
    EXPECT_EQ(Segments(*control), "aaa bbb @0,0 ccc@0,10 \n@18,10 d@0,24");
    delete control;
}

TEST_F(TextTest, StacksKeepTenEntriesAndIgnorePopsWhenEmpty) {
    auto* control = Text("", 100);
    ZFont* fonts[12];
    for (int32_t i = 0; i < 12; ++i) {
        fonts[i] = i == 0 ? control->GetFont() : ZFont::FindFont("Times", 12 + i, 0, nullptr, true);
    }
    for (int32_t i = 1; i <= 11; ++i) {
        control->PushFontAs(fonts[i]);
        control->SetColor(uint8_t(i), 0, 0);
    }
    EXPECT_EQ(control->GetFontDepth(), 10);  // the eleventh push was not saved
    EXPECT_EQ(control->GetFont(), fonts[11]);
    control->PopFont();
    control->PopColor();
    EXPECT_EQ(control->GetFont(), fonts[9]);  // the tenth saved entry
    EXPECT_EQ(control->GetColor()[0], 9);
    for (int32_t i = 0; i < 12; ++i) {  // more pops than pushes
        control->PopFont();
        control->PopColor();
    }
    EXPECT_EQ(control->GetFont(), fonts[0]);
    EXPECT_EQ(control->GetColor()[0], 0);
    EXPECT_EQ(control->GetFontDepth(), 0);
    delete control;
}

TEST_F(TextTest, ScrollingClampsToTheContent) {
    // Ten lines of 10 pixels, each ended by a break and followed by the 4 pixel gap: 136 high.
    auto* control = Text("0\n1\n2\n3\n4\n5\n6\n7\n8\n9", 100, 40);
    ZScrollBar bar;
    bar.Attach(control, ZScroller::kVertical);
    EXPECT_EQ(control->GetScrollMax(ZScroller::kVertical), 136 - 40);
    EXPECT_EQ(control->GetScrollMax(ZScroller::kHorizontal), 0);
    control->ScrollTo(1000, ZScroller::kVertical);
    EXPECT_EQ(control->GetScrollPos(ZScroller::kVertical), 96);
    EXPECT_EQ(control->GetFirstVisibleLine(), 7);  // line 7 starts at 98
    control->ScrollTo(-5, ZScroller::kVertical);
    EXPECT_EQ(control->GetScrollPos(ZScroller::kVertical), 0);
    EXPECT_EQ(bar.GetUpdateCount(), 2);
    bar.Command(ZScrollBar::kPageDown, 0);
    EXPECT_EQ(control->GetScrollPos(ZScroller::kVertical), 39);
    bar.Command(ZScrollBar::kBottom, 0);
    EXPECT_EQ(control->GetScrollPos(ZScroller::kVertical), 96);
    bar.SetSmooth(true, 1000);
    bar.Command(ZScrollBar::kLineUp, 0);
    EXPECT_EQ(control->GetScrollPos(ZScroller::kVertical), 80);
    delete control;
    auto* shortText = Text("short", 100, 40);
    shortText->ScrollTo(10, ZScroller::kVertical);
    EXPECT_EQ(shortText->GetScrollPos(ZScroller::kVertical), 0);
    EXPECT_EQ(bar.GetScroller(), nullptr);  // the deleted control let its bar go
    delete shortText;
}

TEST_F(TextTest, PageModeMovesLinesToTheNextPageAndEndsOnTallLines) {
    // Pages of 25 pixels: the fourth line would end at 52, past the second page, and moves to the third.
    auto* control = Text("a\nb\nc\nd", 100, 25, 1, ZTextControl::kOptionPageMode);
    EXPECT_EQ(Segments(*control), "a@0,0 \n@6,0 b@0,14 \n@6,14 c@0,28 \n@6,28 d@0,50");
    EXPECT_EQ(control->GetPageCount(), 3);
    delete control;
    // Pages lower than a line: each line stays at the top of its page (no gap there) and the layout ends.
    control = Text("a\nb\nc", 100, 5, 1, ZTextControl::kOptionPageMode);
    EXPECT_EQ(Segments(*control), "a@0,0 \n@6,0 b@0,10 \n@6,10 c@0,20");
    EXPECT_EQ(control->GetPageCount(), 6);
    EXPECT_EQ(control->GetScrollMax(ZScroller::kVertical), 25);
    delete control;
}

TEST_F(TextTest, TheLayoutMapsPointsAndOffsets) {
    auto* control = Text("abc def\nxy", 100);
    ZPoint caret;
    int32_t height = 0;
    ASSERT_TRUE(control->CaretAt(5, caret, height));
    EXPECT_EQ(caret.x, 30);
    EXPECT_EQ(caret.y, 0);
    EXPECT_EQ(height, 10);
    ASSERT_TRUE(control->CaretAt(9, caret, height));
    EXPECT_EQ(caret.x, 6);
    EXPECT_EQ(caret.y, 14);
    EXPECT_EQ(control->OffsetAt(ZPoint{31, 2}), 5);
    EXPECT_EQ(control->OffsetAt(ZPoint{8, 20}), 9);
    EXPECT_EQ(control->OffsetAt(ZPoint{500, 500}), 10);
    delete control;
}

TEST_F(TextTest, DrawsTheTextOnTheBackgroundInsideTheBorder) {
    TestWindow window;
    auto* panel = new ZPanel;
    panel->Open(&window, false);
    panel->Show(true, ZRedraw::kNo);
    auto* control = new ZTextControl(3, 10, 20, 1, 60, 30, new ZString("ab", 2), nullptr, 1,
                                     ZTextControl::kOptionBorder, 0, panel);
    control->SetTextColor(200, 0, 0);
    control->SetBackground(0, 0, 255);
    control->Draw(nullptr, nullptr, ZDrawFlags::kClipToAncestors);
    const ZOffscreen& buffer = window.Buffer();
    EXPECT_EQ(buffer.ColorAt(10, 20), 0xC80000u);  // the border
    EXPECT_EQ(buffer.ColorAt(13, 22), 0xC80000u);  // 'a': a box over columns 0..4 of its cell
    EXPECT_EQ(buffer.ColorAt(17, 22), 0x0000FFu);  // the gap after its box
    EXPECT_EQ(buffer.ColorAt(19, 27), 0xC80000u);  // 'b'
    EXPECT_EQ(buffer.ColorAt(40, 40), 0x0000FFu);  // the background
    EXPECT_EQ(buffer.ColorAt(5, 5), 0u);           // nothing outside the frame
    delete panel;
}

}  // namespace
}  // namespace controlstest
