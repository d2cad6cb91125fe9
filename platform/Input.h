// Input as the backends report it, before it becomes window messages. Positions are in virtual-screen
// pixels; keys are the framework's virtual key codes (platform/Messages.h).
#pragma once

#include <cstdint>
#include <vector>

namespace platform {

enum class InputKind : uint8_t {
    MouseMove,
    MouseDown,
    MouseUp,
    KeyDown,
    KeyUp,
    Text,         // one typed character in `character`
    Close,        // the user closed the real window
    Expose,       // the real window must be drawn again
    AppActive,    // the program gained the keyboard focus
    AppInactive,  // the program lost it
    ParentGone,   // the foreign window (`key`) that held our window was destroyed by its owner
};

enum class MouseButton : uint8_t { Left, Middle, Right };

// Which of a pair of keys (shift, control, alt) went down or up: the framework names both by one virtual
// key, which stays held while either is.
enum class KeySide : uint8_t { Only, Left, Right };

struct InputEvent {
    InputKind kind = InputKind::MouseMove;
    int32_t x = 0;
    int32_t y = 0;
    MouseButton button = MouseButton::Left;
    uint32_t key = 0;
    uint8_t character = 0;
    bool repeat = false;
    KeySide side = KeySide::Only;
};

// Turns one input event into window messages for the window it concerns (the captured window, the one
// under the pointer, or the focused one) and updates the keyboard and button state.
void DeliverInput(const InputEvent& event);

// Whether a virtual key (the mouse buttons included) is held, as of the last delivered input.
bool IsKeyDown(uint32_t key);
// Modifier keys and buttons held, as mouse-message wParam bits.
uint32_t CurrentMouseFlags();
// Forgets every held key and button (between runs, in tests).
void ResetInputState();

}  // namespace platform
