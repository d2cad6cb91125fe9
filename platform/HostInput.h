// Input as the host's window system reports it, turned into the framework's input. Both backends go
// through here: SDL with what its events carry, headless with what a test scripts, so a test drives the
// windows exactly as a user at the keyboard would, through the same one table.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Input.h"
#include "platform/Messages.h"

namespace platform {

// A key as the host names it, in SDL's keycode space (which the SDL backend passes through unchanged): a
// key that types a character is that character ('a', '1', ' ', 8 for backspace), every other key is its
// scancode with bit 30 set.
using HostKey = uint32_t;
constexpr HostKey HostKeyFromScancode(uint32_t scancode) {
    return scancode | (1u << 30);
}

enum : HostKey {
    kHostBackspace = 0x08,
    kHostTab = 0x09,
    kHostReturn = 0x0D,
    kHostEscape = 0x1B,
    kHostSpace = 0x20,
    kHostDelete = 0x7F,
    kHostF1 = HostKeyFromScancode(58),
    kHostF12 = HostKeyFromScancode(69),
    kHostInsert = HostKeyFromScancode(73),
    kHostHome = HostKeyFromScancode(74),
    kHostPageUp = HostKeyFromScancode(75),
    kHostEnd = HostKeyFromScancode(77),
    kHostPageDown = HostKeyFromScancode(78),
    kHostRight = HostKeyFromScancode(79),
    kHostLeft = HostKeyFromScancode(80),
    kHostDown = HostKeyFromScancode(81),
    kHostUp = HostKeyFromScancode(82),
    kHostKeypadEnter = HostKeyFromScancode(88),
    kHostLeftControl = HostKeyFromScancode(224),
    kHostLeftShift = HostKeyFromScancode(225),
    kHostLeftAlt = HostKeyFromScancode(226),
    kHostRightControl = HostKeyFromScancode(228),
    kHostRightShift = HostKeyFromScancode(229),
    kHostRightAlt = HostKeyFromScancode(230),
};

// The framework's virtual key for a host key; 0xFF for a key the framework has no name for, which still
// counts as a key press.
uint32_t VirtualKeyOf(HostKey key);

// Which of a pair of keys it is (left or right shift, control, alt); Only for every other key.
KeySide SideOf(HostKey key);

// The character a key types when the host's text input reports none: the control characters of
// backspace, tab, return and escape. 0 for every other key.
uint8_t ControlCharacterOf(HostKey key);

// The character a key types on a plain US keyboard, shift applied; 0 when it types none. Headless scripts
// use it when they give no text of their own.
uint8_t TypedCharacterOf(HostKey key, bool shift);

// A key pressed, held (repeat) or released: the key event and, when pressed, the control character that
// text input leaves out.
void TranslateKey(HostKey key, bool down, bool repeat, std::vector<InputEvent>& out);

// Typed text in UTF-8: one character event per character. Characters are bytes in the framework, so text
// becomes Latin-1 where it can and is dropped where it cannot; control characters come from TranslateKey.
void TranslateText(const char* utf8, bool repeat, std::vector<InputEvent>& out);

// Where the virtual screen is shown inside a real window of the given size: the largest rectangle of the
// screen's shape, centred, the rest black bars.
ScreenRect LetterboxView(int32_t windowWidth, int32_t windowHeight, int32_t screenWidth,
                         int32_t screenHeight);

// A point in the real window, in virtual-screen pixels. A point on the bars lands on the nearest edge
// pixel, so a pointer leaving the picture still moves to its edge.
void WindowToScreen(const ScreenRect& view, int32_t screenWidth, int32_t screenHeight, int32_t x, int32_t y,
                    int32_t& screenX, int32_t& screenY);

// The program is active while any of its real windows holds the keyboard focus. Hosts move the focus in
// two steps, a loss by one window and a gain by the next, so a loss counts only once no window has
// regained the focus for kGraceMs: the focus moving from the backdrop to the main window is no deactivation.
class FocusTracker {
  public:
    static constexpr uint32_t kGraceMs = 100;

    // A real window gained or lost the focus, or went away (which loses it).
    void Gained(uint32_t window);
    void Lost(uint32_t window, uint32_t now);
    // Appends AppActive or AppInactive when the combined state changed since the last report.
    void Report(uint32_t now, std::vector<InputEvent>& out);
    bool IsActive() const { return active_; }

  private:
    std::vector<uint32_t> focused_;
    uint32_t lostAt_ = 0;
    bool active_ = false;
};

}  // namespace platform
