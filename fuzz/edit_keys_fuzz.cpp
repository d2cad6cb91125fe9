// Feeds arbitrary keys, typed bytes and mouse presses to an edit control over an arbitrary text and
// checks after each that the source is still well-formed: every tag closed, every '&' a whole entity,
// the selection inside the source and on unit boundaries, and no growth past the maximum length.
//
// Input: one byte n, then n bytes of text, then pairs (how, what). how bit 0 Shift, bit 1 Ctrl; bits 2-3
// pick what: 0 a key (what indexes the control's keys), 1 a typed byte, 2 a press at (what mod 120,
// what / 8), 3 a move there with the button down.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "controls/ZEditControl.h"
#include "controls/ZFont.h"
#include "platform/Font.h"

namespace {

constexpr uint32_t kKeys[] = {
    ZEditControl::kKeyBackspace, ZEditControl::kKeyEscape, ZEditControl::kKeyEnd,
    ZEditControl::kKeyHome,      ZEditControl::kKeyLeft,   ZEditControl::kKeyUp,
    ZEditControl::kKeyRight,     ZEditControl::kKeyDown,   ZEditControl::kKeyDelete};
constexpr int32_t kMaxLength = 300;

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

void CheckWellFormed(ZEditControl& control, int32_t lengthLimit) {
    const char* text = control.GetText().GetText();
    Check(text != nullptr);
    std::string_view s(text, size_t(control.GetText().GetLength()));
    Check(int32_t(s.size()) <= lengthLimit);
    bool startOnBoundary = control.GetSelectionStart() == 0;
    bool endOnBoundary = control.GetSelectionEnd() == 0;
    for (const ZEditControl::Unit& u : ZEditControl::SplitUnits(s)) {
        if (s[size_t(u.start)] == '<') {
            Check(s[size_t(u.end - 1)] == '>');
        }
        if (s[size_t(u.start)] == '&') {
            Check(html::DecodeEntity(s, size_t(u.start)).consumed);
        }
        startOnBoundary = startOnBoundary || control.GetSelectionStart() == u.end;
        endOnBoundary = endOnBoundary || control.GetSelectionEnd() == u.end;
    }
    Check(control.GetSelectionStart() <= control.GetSelectionEnd());
    Check(control.GetSelectionEnd() <= int32_t(s.size()));
    Check(startOnBoundary && endOnBoundary);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 4096) {
        return 0;  // longer inputs only take longer
    }
    size_t textLength = std::min<size_t>(data[0], size - 1);
    platform::UseTestFont(true);
    {
        ZEditControl control(1, 0, 0, 1, 120, 60,
                             new ZString(reinterpret_cast<const char*>(data + 1), int32_t(textLength)),
                             nullptr, 1, 0, 0, kMaxLength, nullptr);
        ZEditControl::SetEditFocus(&control, false);
        // A text set from outside may be longer than typing may make it; typing must not make it longer.
        int32_t limit = std::max(kMaxLength, control.GetText().GetLength());
        CheckWellFormed(control, limit);
        for (size_t i = 1 + textLength; i + 1 < size; i += 2) {
            uint8_t how = data[i];
            uint8_t what = data[i + 1];
            uint8_t modifiers =
                uint8_t(((how & 1) != 0 ? kModifierShift : 0) | ((how & 2) != 0 ? kModifierControl : 0));
            switch ((how >> 2) & 3) {
                case 0: {
                    ZKeyEvent key;
                    key.modifiers = modifiers;
                    key.virtualKey = kKeys[what % std::size(kKeys)];
                    control.KeyDown(key);
                    break;
                }
                case 1: {
                    ZKeyEvent key;
                    key.modifiers = modifiers;
                    key.character = what;
                    control.KeyDown(key);
                    break;
                }
                default: {
                    ZMouseEvent mouse;
                    mouse.x = what % 120;
                    mouse.y = what / 8;
                    mouse.buttons = kButtonLeft;
                    if (((how >> 2) & 3) == 2) {
                        control.MouseDown(mouse);
                    } else {
                        control.MouseMoved(mouse);
                    }
                    break;
                }
            }
            // Escape gives the focus away; take it back so the keys keep reaching the control.
            ZEditControl::SetEditFocus(&control, false);
            CheckWellFormed(control, limit);
        }
    }
    ZFont::DestroyAllFonts();
    return 0;
}
