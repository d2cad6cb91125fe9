// The kinds of message that travel along the link trees, and the input event records that the window
// layer builds for mouse and key messages. A record travels as the message's data (its address).
#pragma once

#include <cstdint>

// Input, broadcast through the containment tree.
inline constexpr int kLinkTick = 2;                // data: the tick count in milliseconds
inline constexpr int kLinkMouseDown = 5;           // data: ZMouseEvent*
inline constexpr int kLinkMouseUp = 6;             // data: ZMouseEvent*; goes straight to the dragged object
inline constexpr int kLinkMouseMove = 7;           // data: ZMouseEvent*
inline constexpr int kLinkKeyDown = 8;             // data: ZKeyEvent*; also a typed character
inline constexpr int kLinkKeyUp = 9;               // data: ZKeyEvent*
inline constexpr int kLinkVisibilityChanged = 10;  // data: 0
inline constexpr int kLinkCursorQuery = 11;        // data: ZMouseEvent*

// Dragging, sent back along event-handler links: data is the dragged control's id, extra its handler.
inline constexpr int kLinkDragEnter = 12;
inline constexpr int kLinkDragOver = 13;
inline constexpr int kLinkDragDrop = 14;

// Notifications from controls, sent back from the control's own event handler: data is the control's
// id unless noted, extra is that handler.
inline constexpr int kLinkPicturePressed = 17;
inline constexpr int kLinkPictureClicked = 18;
inline constexpr int kLinkAnimationClicked = 21;
inline constexpr int kLinkHotLinkChanged = 33;      // data: index of the link now under the pointer
inline constexpr int kLinkHyperlinkActivated = 35;  // data: the record holding the link's target text
inline constexpr int kLinkCommand = 37;             // data: the menu or accelerator command id
inline constexpr int kLinkAnimationStarted = 49;
inline constexpr int kLinkAnimationLooped = 50;  // reached the end of its range and looped or bounced
inline constexpr int kLinkAnimationStopped = 51;
inline constexpr int kLinkEditChanged = 54;  // data: ZKeyEvent*
inline constexpr int kLinkEditKey = 55;      // data: ZKeyEvent*

// Modifier bits of both records (the mouse record never carries alt).
inline constexpr uint16_t kModifierControl = 0x01;
inline constexpr uint16_t kModifierAlt = 0x06;
inline constexpr uint16_t kModifierShift = 0x18;

// Buttons held down, in ZMouseEvent::buttons.
inline constexpr uint16_t kButtonLeft = 0x1;
inline constexpr uint16_t kButtonMiddle = 0x2;
inline constexpr uint16_t kButtonRight = 0x4;

struct ZMouseEvent {
    uint16_t modifiers = 0;
    int32_t x = 0;  // window client coordinates
    int32_t y = 0;
    uint16_t buttons = 0;
};

struct ZKeyEvent {
    uint8_t modifiers = 0;
    uint8_t reserved1 = 0;
    uint8_t character = 0;  // 0 for a key-down of a key that types nothing
    uint8_t reserved2 = 0;
    uint32_t virtualKey = 0;  // 0 for a typed character
};

// The field widths are fixed; the layout in memory is the compiler's.
static_assert(sizeof(ZMouseEvent::modifiers) == 2 && sizeof(ZMouseEvent::x) == 4 &&
              sizeof(ZMouseEvent::buttons) == 2);
static_assert(sizeof(ZKeyEvent) == 8 && sizeof(ZKeyEvent::virtualKey) == 4);
