// Shared pieces of the text control tests: the test font in place of every face, and the layout written
// out as "text@x,y" per segment.
#pragma once

#include <cstring>
#include <string>

#include "controls/ZFont.h"
#include "controls/ZTextControl.h"
#include "platform/Font.h"
#include "tests/controls/ControlsTestSupport.h"

namespace controlstest {

class TextTest : public ControlsTest {
  protected:
    void SetUp() override {
        ControlsTest::SetUp();
        ZFont::DestroyAllFonts();
        platform::UseTestFont(true);
    }
    void TearDown() override {
        ZFont::DestroyAllFonts();
        platform::UseTestFont(false);
        ControlsTest::TearDown();
    }

    // An unattached plain control of width x height over text.
    static ZTextControl* Text(const char* text, int32_t width, int32_t height = 40, int32_t alignment = 1,
                              uint32_t options = 0) {
        return new ZTextControl(1, 0, 0, 1, width, height, new ZString(text, int32_t(std::strlen(text))),
                                nullptr, alignment, options, 0, nullptr);
    }

    // Every segment of a block and its nested blocks: its text (the replacement of an entity, "[pic]",
    // "[block]") at its position relative to the outermost block.
    static std::string Segments(ZTextControl& control) {
        std::string out;
        AppendSegments(control, *control.GetLayoutRoot(), 0, 0, out);
        return out;
    }
    static void AppendSegments(ZTextControl& control, ZTextBlock& block, int32_t ox, int32_t oy,
                               std::string& out) {
        block.ForEach([&](ZTextSegment& seg) {
            std::string text;
            if ((seg.flags & kSegBlock) != 0) {
                AppendSegments(control, *seg.block, ox + seg.x, oy + seg.y, out);
                return;
            }
            if ((seg.flags & kSegPicture) != 0) {
                text = "[pic]";
            } else if (!seg.replacement.empty()) {
                text = std::string(seg.replacement);
            } else {
                text = std::string(control.GetText().GetText() + seg.offset, size_t(seg.length));
            }
            out += (out.empty() ? "" : " ") + text + "@" + std::to_string(ox + seg.x) + "," +
                   std::to_string(oy + seg.y);
        });
    }
};

}  // namespace controlstest
