#include "platform/HostInput.h"

#include <algorithm>

namespace platform {

namespace {

// The named keys, one line each. Letters, digits and the function keys are ranges, below.
struct KeyName {
    HostKey host;
    uint32_t virtualKey;
    uint8_t control;  // the character the key types that text input does not report
    KeySide side = KeySide::Only;
};

constexpr KeyName kKeyNames[] = {
    {kHostBackspace, kKeyBack, 0x08},
    {kHostTab, kKeyTab, 0x09},
    {kHostReturn, kKeyReturn, 0x0D},
    {kHostKeypadEnter, kKeyReturn, 0x0D},
    {kHostEscape, kKeyEscape, 0x1B},
    {kHostSpace, kKeySpace, 0},
    {kHostDelete, kKeyDelete, 0},
    {kHostInsert, kKeyInsert, 0},
    {kHostHome, kKeyHome, 0},
    {kHostEnd, kKeyEnd, 0},
    {kHostPageUp, kKeyPageUp, 0},
    {kHostPageDown, kKeyPageDown, 0},
    {kHostLeft, kKeyLeft, 0},
    {kHostUp, kKeyUp, 0},
    {kHostRight, kKeyRight, 0},
    {kHostDown, kKeyDown, 0},
    {kHostLeftShift, kKeyShift, 0, KeySide::Left},
    {kHostRightShift, kKeyShift, 0, KeySide::Right},
    {kHostLeftControl, kKeyControl, 0, KeySide::Left},
    {kHostRightControl, kKeyControl, 0, KeySide::Right},
    {kHostLeftAlt, kKeyAlt, 0, KeySide::Left},
    {kHostRightAlt, kKeyAlt, 0, KeySide::Right},
};

const KeyName* FindName(HostKey key) {
    for (const KeyName& name : kKeyNames) {
        if (name.host == key) {
            return &name;
        }
    }
    return nullptr;
}

constexpr uint32_t kUnnamedKey = 0xFF;

}  // namespace

uint32_t VirtualKeyOf(HostKey key) {
    if (key >= 'a' && key <= 'z') {
        return key - 'a' + 'A';
    }
    if (key >= '0' && key <= '9') {
        return key;
    }
    if (key >= kHostF1 && key <= kHostF12) {
        return kKeyF1 + (key - kHostF1);
    }
    const KeyName* name = FindName(key);
    return name != nullptr ? name->virtualKey : kUnnamedKey;
}

KeySide SideOf(HostKey key) {
    const KeyName* name = FindName(key);
    return name != nullptr ? name->side : KeySide::Only;
}

uint8_t ControlCharacterOf(HostKey key) {
    const KeyName* name = FindName(key);
    return name != nullptr ? name->control : 0;
}

uint8_t TypedCharacterOf(HostKey key, bool shift) {
    if (key < 0x20 || key > 0x7E) {
        return 0;
    }
    if (shift && key >= 'a' && key <= 'z') {
        return uint8_t(key - 'a' + 'A');
    }
    return uint8_t(key);
}

void TranslateKey(HostKey key, bool down, bool repeat, std::vector<InputEvent>& out) {
    InputEvent event;
    event.kind = down ? InputKind::KeyDown : InputKind::KeyUp;
    event.key = VirtualKeyOf(key);
    event.side = SideOf(key);
    event.repeat = down && repeat;
    out.push_back(event);
    uint8_t control = ControlCharacterOf(key);
    if (down && control != 0) {
        InputEvent text;
        text.kind = InputKind::Text;
        text.character = control;
        text.repeat = repeat;  // the window drops repeated characters by this bit
        out.push_back(text);
    }
}

void TranslateText(const char* utf8, bool repeat, std::vector<InputEvent>& out) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8);
    while (*p != 0) {
        uint32_t code = *p;
        int extra = code >= 0xF0 ? 3 : code >= 0xE0 ? 2 : code >= 0xC0 ? 1 : 0;
        code &= extra == 0 ? 0x7F : (0x3F >> extra);
        ++p;
        for (int i = 0; i < extra && (*p & 0xC0) == 0x80; ++i, ++p) {
            code = (code << 6) | (*p & 0x3F);
        }
        if (code >= 0x20 && code <= 0xFF && code != 0x7F) {
            InputEvent event;
            event.kind = InputKind::Text;
            event.character = static_cast<uint8_t>(code);
            event.repeat = repeat;
            out.push_back(event);
        }
    }
}

ScreenRect LetterboxView(int32_t windowWidth, int32_t windowHeight, int32_t screenWidth,
                         int32_t screenHeight) {
    if (windowWidth <= 0 || windowHeight <= 0 || screenWidth <= 0 || screenHeight <= 0) {
        return ScreenRect{};
    }
    // Compare the shapes in 64 bits: the wider one gets bars at its sides.
    int64_t w = windowWidth, h = windowHeight;
    if (w * screenHeight > h * screenWidth) {
        w = h * screenWidth / screenHeight;
    } else {
        h = w * screenHeight / screenWidth;
    }
    int32_t left = int32_t((windowWidth - w) / 2);
    int32_t top = int32_t((windowHeight - h) / 2);
    return ScreenRect{left, top, left + int32_t(w), top + int32_t(h)};
}

void WindowToScreen(const ScreenRect& view, int32_t screenWidth, int32_t screenHeight, int32_t x, int32_t y,
                    int32_t& screenX, int32_t& screenY) {
    if (view.IsEmpty()) {
        screenX = screenY = 0;
        return;
    }
    // Points left of or above the picture come out negative or zero either way: the clamp takes them.
    int64_t sx = (int64_t(x) - view.left) * screenWidth / view.Width();
    int64_t sy = (int64_t(y) - view.top) * screenHeight / view.Height();
    screenX = int32_t(std::clamp<int64_t>(sx, 0, screenWidth - 1));
    screenY = int32_t(std::clamp<int64_t>(sy, 0, screenHeight - 1));
}

void FocusTracker::Gained(uint32_t window) {
    if (std::find(focused_.begin(), focused_.end(), window) == focused_.end()) {
        focused_.push_back(window);
    }
}

void FocusTracker::Lost(uint32_t window, uint32_t now) {
    focused_.erase(std::remove(focused_.begin(), focused_.end(), window), focused_.end());
    lostAt_ = now;
}

void FocusTracker::Report(uint32_t now, std::vector<InputEvent>& out) {
    InputEvent event;
    if (!focused_.empty() && !active_) {
        active_ = true;
        event.kind = InputKind::AppActive;
        out.push_back(event);
    } else if (focused_.empty() && active_ && now - lostAt_ >= kGraceMs) {
        active_ = false;
        event.kind = InputKind::AppInactive;
        out.push_back(event);
    }
}

}  // namespace platform
