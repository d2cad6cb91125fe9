// Lays arbitrary HTML out in a small HTML text control with the test font, draws it into an offscreen,
// and maps a few points and offsets through the layout, as the edit control will.
#include <cstddef>
#include <cstdint>

#include "controls/ZFont.h"
#include "controls/ZHTMLTextControl.h"
#include "graphics/ZGraphicDevice.h"
#include "graphics/ZOffscreen.h"
#include "platform/Font.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) {
        return 0;  // longer inputs only take longer
    }
    platform::UseTestFont(true);
    {
        ZHTMLTextControl control(1, 0, 0, 1, 120, 60, nullptr, nullptr, 1, 0, 0, nullptr);
        control.SetText(new ZString(reinterpret_cast<const char*>(data), int32_t(size)), ZRedraw::kNo);
        ZOffscreen target(ZRect::FromSize(120, 60), 32, nullptr, kKindMemory);
        {
            ZGraphicDevice device(target);
            control.DrawContent(device, ZRect::FromSize(120, 60));
        }
        control.ScrollTo(1 << 20, ZScroller::kVertical);
        for (int32_t y = 0; y < 60; y += 20) {
            int32_t offset = control.OffsetAt(ZPoint{30, y});
            ZPoint caret;
            int32_t height = 0;
            control.CaretAt(offset, caret, height);
            control.HitTest(ZPoint{30, y});
        }
    }
    ZFont::DestroyAllFonts();
    return 0;
}
