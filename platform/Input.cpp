#include "platform/Input.h"

#include <array>

#include "platform/CWinApp.h"
#include "platform/CWnd.h"
#include "platform/MessageQueue.h"
#include "platform/Messages.h"

namespace platform {

namespace {

// Per virtual key, one bit for each side held (KeySide as bit number): a key is down while any is set.
std::array<uint8_t, 256> gKeys{};
uint32_t gButtons = 0;  // kMouseLeft | kMouseRight | kMouseMiddle

uint32_t ButtonBit(MouseButton button) {
    switch (button) {
        case MouseButton::Left:
            return kMouseLeft;
        case MouseButton::Right:
            return kMouseRight;
        default:
            return kMouseMiddle;
    }
}

uint32_t ButtonMessage(MouseButton button, bool down) {
    switch (button) {
        case MouseButton::Left:
            return down ? kMsgLeftButtonDown : kMsgLeftButtonUp;
        case MouseButton::Right:
            return down ? kMsgRightButtonDown : kMsgRightButtonUp;
        default:
            return down ? kMsgMiddleButtonDown : kMsgMiddleButtonUp;
    }
}

void Hold(const InputEvent& event, bool down) {
    uint8_t bit = uint8_t(1u << uint32_t(event.side));
    uint8_t& held = gKeys[event.key & 0xFF];
    held = down ? uint8_t(held | bit) : uint8_t(held & ~bit);
}

void PostMouse(uint32_t message, int32_t x, int32_t y) {
    CWnd* target = CWnd::GetCapture();
    if (target == nullptr) {
        target = CWnd::WindowFromPoint(x, y);
    }
    if (target == nullptr) {
        return;
    }
    ScreenRect origin = target->GetWindowRect();
    PostMessage(target->GetSafeHwnd(), message, CurrentMouseFlags(),
                MakePointParam(x - origin.left, y - origin.top));
}

// Keys go to the focused window, else the active one, else the main window.
CWnd* KeyTarget() {
    if (CWnd* focus = CWnd::GetFocus()) {
        return focus;
    }
    if (CWnd* active = CWnd::GetActiveWindow()) {
        return active;
    }
    CWinApp* app = CWinApp::GetCurrent();
    return app != nullptr ? app->m_pMainWnd : nullptr;
}

void PostKey(uint32_t message, uint32_t wParam, bool repeat) {
    CWnd* target = KeyTarget();
    if (target == nullptr || target->GetSafeHwnd() == 0) {
        return;
    }
    LParam data = 1 | (repeat ? kKeyRepeatBit : 0);
    PostMessage(target->GetSafeHwnd(), message, wParam, data);
}

void PostToMainWindow(uint32_t message, WParam wParam) {
    CWinApp* app = CWinApp::GetCurrent();
    if (app != nullptr && app->m_pMainWnd != nullptr && app->m_pMainWnd->GetSafeHwnd() != 0) {
        PostMessage(app->m_pMainWnd->GetSafeHwnd(), message, wParam, 0);
    } else if (message == kMsgClose) {
        PostQuitMessage(0);
    }
}

}  // namespace

void DeliverInput(const InputEvent& event) {
    switch (event.kind) {
        case InputKind::MouseMove:
            PostMouse(kMsgMouseMove, event.x, event.y);
            break;
        case InputKind::MouseDown:
            gButtons |= ButtonBit(event.button);
            PostMouse(ButtonMessage(event.button, true), event.x, event.y);
            break;
        case InputKind::MouseUp:
            gButtons &= ~ButtonBit(event.button);
            PostMouse(ButtonMessage(event.button, false), event.x, event.y);
            break;
        case InputKind::KeyDown: {
            bool alt = IsKeyDown(kKeyAlt) || event.key == kKeyAlt;
            Hold(event, true);
            PostKey(alt ? kMsgSysKeyDown : kMsgKeyDown, event.key, event.repeat);
            break;
        }
        case InputKind::KeyUp: {
            Hold(event, false);
            bool alt = IsKeyDown(kKeyAlt) || event.key == kKeyAlt;
            PostKey(alt ? kMsgSysKeyUp : kMsgKeyUp, event.key, false);
            break;
        }
        case InputKind::Text:
            if (event.character != 0) {
                PostKey(kMsgChar, event.character, event.repeat);
            }
            break;
        case InputKind::Close:
            PostToMainWindow(kMsgClose, 0);
            break;
        case InputKind::Expose:
            for (CWnd* window : CWnd::GetAllWindows()) {
                window->InvalidateRect(nullptr);
            }
            break;
        case InputKind::AppActive:
        case InputKind::AppInactive:
            PostToMainWindow(kMsgActivateApp, event.kind == InputKind::AppActive ? 1 : 0);
            break;
        case InputKind::ParentGone:
            CWnd::ForeignWindowGone(event.key);
            break;
    }
}

bool IsKeyDown(uint32_t key) {
    switch (key) {
        case kKeyLeftButton:
            return (gButtons & kMouseLeft) != 0;
        case kKeyRightButton:
            return (gButtons & kMouseRight) != 0;
        case kKeyMiddleButton:
            return (gButtons & kMouseMiddle) != 0;
        default:
            return key < 256 && gKeys[key] != 0;
    }
}

uint32_t CurrentMouseFlags() {
    uint32_t flags = gButtons;
    if (IsKeyDown(kKeyShift)) {
        flags |= kMouseShift;
    }
    if (IsKeyDown(kKeyControl)) {
        flags |= kMouseControl;
    }
    return flags;
}

void ResetInputState() {
    gKeys.fill(0);
    gButtons = 0;
}

}  // namespace platform
