// Window messages and their numbers. The framework's handlers are keyed on these values, so they are
// defined here once and nowhere else.
#pragma once

#include <algorithm>
#include <cstdint>

namespace platform {

using WindowHandle = uint32_t;  // 0 names no window
using WParam = uintptr_t;
using LParam = intptr_t;
using LResult = intptr_t;

// A rectangle in the platform's order: left, top, right, bottom (right and bottom exclusive).
struct ScreenRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool IsEmpty() const { return left >= right || top >= bottom; }
    bool Contains(int32_t x, int32_t y) const { return x >= left && x < right && y >= top && y < bottom; }
    // The part in both; ScreenRect{} when they do not overlap.
    ScreenRect Intersect(const ScreenRect& o) const {
        ScreenRect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
                     std::min(bottom, o.bottom)};
        return r.IsEmpty() ? ScreenRect{} : r;
    }
    // The smallest rectangle holding both; an empty operand adds nothing.
    ScreenRect Union(const ScreenRect& o) const {
        if (o.IsEmpty()) {
            return *this;
        }
        if (IsEmpty()) {
            return o;
        }
        return ScreenRect{std::min(left, o.left), std::min(top, o.top), std::max(right, o.right),
                          std::max(bottom, o.bottom)};
    }
};

struct Message {
    WindowHandle window = 0;
    uint32_t message = 0;
    WParam wParam = 0;
    LParam lParam = 0;
    uint32_t time = 0;  // tick count when it was posted
};

enum : uint32_t {
    kMsgNull = 0x0000,
    kMsgDestroy = 0x0002,
    kMsgActivate = 0x0006,
    kMsgSetFocus = 0x0007,
    kMsgKillFocus = 0x0008,
    kMsgPaint = 0x000F,
    kMsgClose = 0x0010,
    kMsgQuit = 0x0012,  // 18: ends the message loop
    kMsgActivateApp = 0x001C,
    kMsgSetCursor = 0x0020,
    kMsgKeyDown = 0x0100,
    kMsgKeyUp = 0x0101,
    kMsgChar = 0x0102,
    kMsgSysKeyDown = 0x0104,
    kMsgSysKeyUp = 0x0105,
    kMsgCommand = 0x0111,
    kMsgSysCommand = 0x0112,
    kMsgMouseMove = 0x0200,
    kMsgLeftButtonDown = 0x0201,
    kMsgLeftButtonUp = 0x0202,
    kMsgRightButtonDown = 0x0204,
    kMsgRightButtonUp = 0x0205,
    kMsgMiddleButtonDown = 0x0207,
    kMsgMiddleButtonUp = 0x0208,
    kMsgPaletteChanged = 0x0311,
    kMsgUser = 0x0400,
    kMsgStart = kMsgUser + 1,  // 1025: posted to the main window once start-up is done
};

// Mouse-message wParam bits.
enum : uint32_t {
    kMouseLeft = 0x0001,
    kMouseRight = 0x0002,
    kMouseShift = 0x0004,
    kMouseControl = 0x0008,
    kMouseMiddle = 0x0010,
};

// Key-message lParam bit set when the key was already down (auto-repeat).
constexpr LParam kKeyRepeatBit = LParam(1) << 30;

// System commands.
enum : uint32_t {
    kSysCommandScreenSave = 61760,
    kCommandAppExit = 57665,
};

// Virtual key codes for the keys the framework names.
enum : uint32_t {
    kKeyLeftButton = 0x01,
    kKeyRightButton = 0x02,
    kKeyMiddleButton = 0x04,
    kKeyBack = 0x08,
    kKeyTab = 0x09,
    kKeyReturn = 0x0D,
    kKeyShift = 0x10,
    kKeyControl = 0x11,
    kKeyAlt = 0x12,
    kKeyEscape = 0x1B,
    kKeySpace = 0x20,
    kKeyPageUp = 0x21,
    kKeyPageDown = 0x22,
    kKeyEnd = 0x23,
    kKeyHome = 0x24,
    kKeyLeft = 0x25,
    kKeyUp = 0x26,
    kKeyRight = 0x27,
    kKeyDown = 0x28,
    kKeyInsert = 0x2D,
    kKeyDelete = 0x2E,
    kKeyF1 = 0x70,
};

// Packs client coordinates into a mouse message's lParam (x low, y high, 16 bits each, signed).
constexpr LParam MakePointParam(int32_t x, int32_t y) {
    return static_cast<LParam>(static_cast<uint32_t>(static_cast<uint16_t>(x)) |
                               (static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16));
}
constexpr int32_t PointParamX(LParam p) {
    return static_cast<int16_t>(static_cast<uint32_t>(p) & 0xFFFF);
}
constexpr int32_t PointParamY(LParam p) {
    return static_cast<int16_t>((static_cast<uint32_t>(p) >> 16) & 0xFFFF);
}

}  // namespace platform
