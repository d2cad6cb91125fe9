// The HTML text control with the test font: tags and entities, unbalanced and deep markup, links and
// their notifications, table columns, and a picture-font caption.
#include "controls/ZHTMLTextControl.h"
#include "controls/ZPictureFont.h"
#include "graphics/ZPicture.h"
#include "media/ZMediaServer.h"
#include "platform/File.h"
#include "tests/controls/TextTestSupport.h"
#include "tests/support/ContainerBuilder.h"

namespace controlstest {
namespace {

class HTMLTextTest : public TextTest {
  protected:
    static ZHTMLTextControl* Html(const char* text, int32_t width = 200, ZPanel* panel = nullptr,
                                  ZFont* font = nullptr, int32_t alignment = 1, int32_t height = 40) {
        auto* control =
            new ZHTMLTextControl(4, 0, 0, 1, width, height, nullptr, font, alignment, 0, 0, panel);
        control->SetText(new ZString(text, int32_t(std::strlen(text))), ZRedraw::kNo);
        return control;
    }
    // The style bits of the font of each segment.
    static std::string Styles(ZTextControl& control) {
        std::string out;
        control.GetLayoutRoot()->ForEach([&](ZTextSegment& seg) {
            out += (out.empty() ? "" : " ") + std::to_string(seg.font != nullptr ? seg.font->GetStyle() : -1);
        });
        return out;
    }
};

TEST_F(HTMLTextTest, TagsAndEntitiesShapeTheText) {
    struct Case {
        const char* source;
        const char* segments;
        const char* styles;
    };
    const Case cases[] = {
        {"<B>bold</b> x", "bold@0,0  x@24,0", "1 0"},               // names are matched in any case
        {"<bogus x=1>text", "text@0,0", "0"},                       // unknown tags vanish
        {"&lt;b&gt;", "<@0,0 b@6,0 >@12,0", "0 0 0"},               // escaped markup is shown, not read
        {"a&#65;&foo;b", "aAb@0,0", "0"},                           // entities are replaced beforehand
        {"a<br>b", "a@0,0 @6,0 b@0,14", "0 0 0"},                   // a break and the line gap
        {"</td></table></li>x</b></font>y", "x@0,0 y@6,0", "0 0"},  // closers with nothing open
        {"<h1>T</h1>x", "T@0,0 x@0,10", "1 0"},                     // a heading is balanced
        {"<head>hidden</head>shown", "shown@0,0", "0"},
    };
    for (const Case& test : cases) {
        auto* control = Html(test.source);
        EXPECT_EQ(Segments(*control), test.segments) << test.source;
        EXPECT_EQ(Styles(*control), test.styles) << test.source;
        EXPECT_EQ(control->GetFontDepth(), 0) << test.source;
        delete control;
    }
}

TEST_F(HTMLTextTest, FontSizesStayInRangeAndNestedBlocksAreBounded) {
    auto* control = Html("<font size=+100000>a</font><sub><sub><sub>b</sub></sub></sub>");
    ZTextSegment* first = control->GetLayoutRoot()->At(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->font->GetSize(), html::kMaxFontSize);
    delete control;
    std::string deep;
    for (int i = 0; i < 200; ++i) {
        deep += "<table><tr><td><ul><li><sup>";
    }
    deep += "x";
    control = Html(deep.c_str());
    EXPECT_NE(control->GetLayoutRoot(), nullptr);  // the layout ends
    delete control;
}

TEST_F(HTMLTextTest, TableCellsSitInTheirColumns) {
    auto* control =
        Html("<table cellpadding=0><tr><td width=40>a<td width=60>b</tr><tr><td>c<td>d</table>z", 100);
    EXPECT_EQ(Segments(*control), "a@0,0 b@40,0 c@0,10 d@40,10 z@0,20");
    delete control;
    // A cell asking for more than the table gets the table's width; the next column keeps 1 pixel,
    // too narrow for its glyph.
    control = Html("<table cellpadding=0><tr><td width=99999999999>a<td>b</table>", 100);
    EXPECT_EQ(Segments(*control), "a@0,0");
    ZTextBlock* row = control->GetLayoutRoot()->At(0)->block->At(0)->block;
    EXPECT_EQ(row->At(0)->width, 100);
    delete control;
    // With gaps: half a column gap before each cell, half a row gap above each row.
    control = Html("<table columnpadding=10 rowpadding=4><tr><td width=30>a<td width=30>b</table>", 100);
    EXPECT_EQ(Segments(*control), "a@5,2 b@45,2");
    delete control;
    // Twelve cells in a row: those past the tenth still get a width.
    std::string wide = "<table><tr>";
    for (int i = 0; i < 12; ++i) {
        wide += "<td>x";
    }
    control = Html((wide + "</table>").c_str(), 240);
    control->GetLayoutRoot()->ForEach([](ZTextSegment& seg) { EXPECT_GT(seg.width, 0); });
    delete control;
}

// A panel that records the link notifications, with the target of an activated link.
class LinkPanel : public ZPanel {
  public:
    bool HandleEvent(int kind, intptr_t data, intptr_t) override {
        if (kind == kLinkHotLinkChanged) {
            heard.push_back("33:" + std::to_string(data));
        } else if (kind == kLinkHyperlinkActivated) {
            auto* record = reinterpret_cast<ZTextControl::LinkRecord*>(data);
            heard.push_back(std::string("35:") + record->target.GetText());
        }
        return false;
    }
    std::vector<std::string> heard;
};

TEST_F(HTMLTextTest, LinksTellWhereThePointerIsAndWhatWasClicked) {
    TestWindow window;
    auto* panel = new LinkPanel;
    panel->Open(&window, false);
    panel->Show(true, ZRedraw::kNo);
    // "one" is on 0..18, a space, then "two" from 24.
    auto* control = Html("<a href=\"first.htm\">one</a> <a href=target2>two</a>", 200, panel);
    ZMouseEvent move = Mouse(3, 3);
    move.buttons = 0;
    for (int32_t x : {3, 9, 27, 30, 100}) {
        move.x = x;
        control->MouseMoved(move);
    }
    EXPECT_EQ(Join(panel->heard), "33:0 33:2 33:-1");
    panel->heard.clear();
    EXPECT_TRUE(control->MouseDown(Mouse(27, 3)));
    EXPECT_NE(control->GetLayoutRoot()->At(2)->flags & kSegPressed, 0u);
    control->MouseUp(Mouse(28, 3));
    EXPECT_EQ(Join(panel->heard), "35:target2");
    EXPECT_EQ(control->GetLinkCursor(control->GetLayoutRoot()->At(0)), ZHyperTextControl::kLinkCursor);
    panel->heard.clear();
    control->MouseDown(Mouse(27, 3));
    control->MouseUp(Mouse(3, 3));  // released over another link: nothing is activated
    EXPECT_EQ(Join(panel->heard), "");
    delete panel;
}

// A panel that answers the first link notification with a new text for the control.
class ReplacingPanel : public ZPanel {
  public:
    bool HandleEvent(int kind, intptr_t, intptr_t) override {
        if (kind == kLinkHotLinkChanged && control != nullptr) {
            ZTextControl* target = control;
            control = nullptr;
            target->SetText(new ZString("plain", 5), ZRedraw::kNo);
        }
        return false;
    }
    ZTextControl* control = nullptr;
};

TEST_F(HTMLTextTest, ANotificationMayReplaceTheText) {
    TestWindow window;
    auto* panel = new ReplacingPanel;
    panel->Open(&window, false);
    panel->Show(true, ZRedraw::kNo);
    auto* html = Html("<a href=x>link</a>", 200, panel);
    panel->control = html;
    ZMouseEvent move = Mouse(3, 3);
    move.buttons = 0;
    html->MouseMoved(move);
    EXPECT_EQ(Segments(*html), "plain@0,0");
    EXPECT_EQ(html->GetLinkUnderPointer(), -1);
    delete panel;
}

TEST_F(HTMLTextTest, APictureFontCaptionIsCentredAndDrawn) {
    TestWindow window;
    auto* panel = new ZPanel;
    panel->Open(&window, false);
    panel->Show(true, ZRedraw::kNo);
    ZFont* font = ZFont::FindFont("Arial", 12, 0, nullptr, false);
    ASSERT_NE(font, nullptr);
    ASSERT_FALSE(font->IsPlatformFont());
    auto* control = Html("Caption", 254, panel, font, html::kAlignCenter, 37);
    control->SetTextColor(0, 255, 0);
    // 7 glyphs of 6 pixels in 254: (254 - 42) / 2 = 106.
    EXPECT_EQ(Segments(*control), "Caption@106,0");
    control->Draw(nullptr, nullptr, ZDrawFlags::kClipToAncestors);
    EXPECT_EQ(window.Buffer().ColorAt(107, 4), 0x00FF00u);
    EXPECT_EQ(window.Buffer().ColorAt(105, 4), 0xFFFFFFu);
    delete panel;
}

TEST_F(HTMLTextTest, BorderedTablesFrameTheTableAndItsCells) {
    TestWindow window;
    auto* panel = new ZPanel;
    panel->Open(&window, false);
    panel->Show(true, ZRedraw::kNo);
    // Two cells of 40 with gaps of 8: the table spans 0..100, the cells 4..44 and 52..92.
    auto* control =
        Html("<table border cellpadding=8 width=100><tr><td width=40>a<td width=40>b</table>", 200, panel);
    control->SetTextColor(255, 0, 0);
    control->Draw(nullptr, nullptr, ZDrawFlags::kClipToAncestors);
    const ZOffscreen& buffer = window.Buffer();
    struct Probe {
        int32_t x;
        int32_t y;
        uint32_t color;
    };
    for (Probe p : {Probe{0, 0, 0xFF0000u}, Probe{99, 10, 0xFF0000u}, Probe{4, 10, 0xFF0000u},
                    Probe{43, 10, 0xFF0000u}, Probe{52, 10, 0xFF0000u}, Probe{2, 10, 0xFFFFFFu},
                    Probe{48, 10, 0xFFFFFFu}, Probe{150, 10, 0xFFFFFFu}}) {
        EXPECT_EQ(buffer.ColorAt(p.x, p.y), p.color) << p.x << "," << p.y;
    }
    delete panel;
}

// Pictures come from a fake loader: every name gives a 10 x 10 picture, and the names are recorded.
class PictureHtml : public ZHTMLTextControl {
  public:
    PictureHtml() : ZHTMLTextControl(4, 0, 0, 1, 100, 40, nullptr, nullptr, 1, 0, 0, nullptr) {}
    ZPicture* LoadPicture(const char* path) override {
        loaded.push_back(path);
        const uint8_t grey[3] = {128, 128, 128};
        return new ZPicture(ZRect::FromSize(10, 10), grey);
    }
    std::vector<std::string> loaded;
};

TEST_F(HTMLTextTest, PicturesFloatOrStandInLineAndStayInTheMediaDirectory) {
    struct Case {
        const char* source;
        const char* segments;
        const char* loaded;
    };
    const Case cases[] = {
        {"a<img src=p.bmp>b", "a@0,2 [pic]@6,0 b@16,2", "media/p.bmp"},  // inline, on the baseline
        {"<img src=p.bmp align=left>ab", "[pic]@0,0 ab@10,0", "media/p.bmp"},
        {"<img src=p.bmp align=right>ab", "[pic]@90,0 ab@0,0", "media/p.bmp"},
        {"<img src=a align=left><img src=b align=left>ab", "[pic]@0,0 [pic]@10,0 ab@20,0", "media/a media/b"},
        {"<img src=../secret.bmp>x<img src=/etc/p.bmp>", "x@0,0", ""},  // never outside the directory
    };
    for (const Case& test : cases) {
        PictureHtml control;
        control.SetMediaDirectory("media");
        control.SetText(new ZString(test.source, int32_t(std::strlen(test.source))), ZRedraw::kNo);
        EXPECT_EQ(Segments(control), test.segments) << test.source;
        EXPECT_EQ(Join(control.loaded), test.loaded) << test.source;
    }
    // A caret maps past the floating picture and the bullet onto the text.
    for (const char* source : {"<img src=p.bmp align=left>ab", "<ul><li>ab</ul>"}) {
        PictureHtml control;
        control.SetMediaDirectory("media");
        control.SetText(new ZString(source, int32_t(std::strlen(source))), ZRedraw::kNo);
        int32_t offset = int32_t(std::string_view(control.GetText().GetText()).rfind('a'));
        ZPoint caret;
        int32_t height = 0;
        ASSERT_TRUE(control.CaretAt(offset, caret, height)) << source;
        EXPECT_EQ(caret.x, source[1] == 'i' ? 10 : 16) << source;
        EXPECT_EQ(height, 10) << source;
    }
    PictureHtml linked;
    linked.SetMediaDirectory("media");
    linked.SetText(new ZString("<a href=x><img src=p.bmp align=left></a>", 40), ZRedraw::kNo);
    EXPECT_NE(linked.GetLayoutRoot()->At(0)->flags & kSegLink, 0u);  // a picture in a link is a link
    PictureHtml noDirectory;
    noDirectory.SetText(new ZString("<img src=p.bmp>", 15), ZRedraw::kNo);
    EXPECT_TRUE(noDirectory.loaded.empty());
}

TEST_F(HTMLTextTest, TextComesFromTheMediaContainer) {
    std::vector<uint8_t> bytes =
        testsupport::BuildContainer({{7, "TEXT", "caption", std::string("Hi <b>there</b>\0", 16)}});
    platform::MemoryFile file(bytes.data(), bytes.size());
    ZFileSpec spec(file.GetPath().c_str());
    ASSERT_TRUE(gMediaServer->OpenContainer(spec, false));
    auto* control = Html("");
    EXPECT_EQ(control->GetFont(), ZFont::FindFont("Times", 12, 0, nullptr, true));  // the default font
    control->SetTextFromMedia(7, ZRedraw::kNo);
    EXPECT_EQ(Segments(*control), "Hi @0,0 there@18,0");
    control->SetTextFromMedia(8, ZRedraw::kNo);  // a missing item leaves the text empty
    EXPECT_EQ(control->GetText().GetLength(), 0);
    delete control;
    gMediaServer->CloseContainer();
}

}  // namespace
}  // namespace controlstest
