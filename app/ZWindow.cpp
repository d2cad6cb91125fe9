#include "app/ZWindow.h"

#include <algorithm>

#include "app/ZApplication.h"
#include "controls/ZControlState.h"
#include "graphics/ZColorTable.h"
#include "graphics/ZGraphicDevice.h"
#include "graphics/ZOffscreen.h"
#include "platform/Display.h"
#include "platform/Host.h"
#include "platform/Input.h"
#include "platform/MessageQueue.h"

namespace {

platform::WindowHandle gPreviewParent = 0;

// Membership only: windows are deleted by their owners, never by this list, which is therefore never
// destroyed either.
ZLinkedList& WindowList() {
    static ZLinkedList* list = new ZLinkedList;
    return *list;
}

platform::ScreenRect ToScreenRect(const ZRect& r) {
    return platform::ScreenRect{r.left, r.top, r.right, r.bottom};
}

ZRect ToRect(const platform::ScreenRect& r) {
    return ZRect{r.top, r.left, r.bottom, r.right};
}

// The modifier bits of the keys held now.
uint16_t HeldModifiers() {
    uint16_t modifiers = 0;
    if (platform::IsKeyDown(platform::kKeyControl)) {
        modifiers |= kModifierControl;
    }
    if (platform::IsKeyDown(platform::kKeyAlt)) {
        modifiers |= kModifierAlt;
    }
    if (platform::IsKeyDown(platform::kKeyShift)) {
        modifiers |= kModifierShift;
    }
    return modifiers;
}

}  // namespace

ZWindow::ZWindow(int32_t panelOwnerId, uint32_t windowId, const ZRect& rect, ZWindowFlags flags,
                 const char* title)
    : ZPanelOwner(kTypeWindow, panelOwnerId),
      topmost_(HasFlags(flags, ZWindowFlags::kTopmost)),
      followsActivation_(HasFlags(flags, ZWindowFlags::kFollowsActivation)) {
    if (HasFlags(flags, ZWindowFlags::kCreate)) {
        Create(windowId, rect, true, title, 0);
    }
    WindowList().Append(this);
}

ZWindow::~ZWindow() {
    beingDestroyed_ = true;
    WindowList().Remove(this, false);
    for (auto& buffer : backBuffers_) {
        buffer.reset();
    }
    bufferCount_ = 0;
    // Panels may still ask the window for things as they close; later the window would be half gone.
    ClosePanels();
    DestroyWindow();
}

void ZWindow::SetPreviewParent(platform::WindowHandle parent) {
    gPreviewParent = parent;
}

platform::WindowHandle ZWindow::GetPreviewParent() {
    return gPreviewParent;
}

bool ZWindow::Create(uint32_t windowId, const ZRect& rect, bool clamp, const char* title, uint32_t style) {
    platform::ScreenRect screen = platform::Display::Get().GetRect();
    ZRect r = rect;
    if (clamp) {
        // Keep the size; slide the rectangle back onto the screen.
        int32_t dx = 0;
        int32_t dy = 0;
        if (r.right > screen.right) {
            dx = screen.right - r.right;
        }
        if (r.bottom > screen.bottom) {
            dy = screen.bottom - r.bottom;
        }
        if (r.left + dx < screen.left) {
            dx = screen.left - r.left;
        }
        if (r.top + dy < screen.top) {
            dy = screen.top - r.top;
        }
        r = r.Offset(dx, dy);
    }
    bool created;
    if (gPreviewParent != 0) {
        created = CreateEx(0, "", kStyleChild | kStyleVisible | kStyleClipChildren, ToScreenRect(r),
                           gPreviewParent, 0);
    } else {
        if (style == 0) {
            style =
                kStylePopup | kStyleSysMenu | (r.Height() < screen.Height() ? 0u : uint32_t(kStyleMaximize));
        }
        created = CreateEx(0, "", style, ToScreenRect(r), 0, windowId);
        if (created && topmost_) {
            SetTopmost(true);
        }
    }
    if (!created) {
        return false;
    }
    SetVisibleFlag(IsWindowVisible());
    ZApplication* app = ZApplication::GetApplication();
    SetWindowText(title != nullptr ? title : app != nullptr ? app->m_pszAppName.c_str() : "");
    SetFrame(ZRect::FromSize(r.Width(), r.Height()));
    return true;
}

bool ZWindow::BringToTop(bool check) {
    if (check && (!IsWindowVisible() || IsOnTop())) {
        return false;
    }
    BringWindowToTop();
    SetActiveWindow();
    return true;
}

void ZWindow::Close() {
    if (!beingDestroyed_) {
        delete this;
    }
}

void ZWindow::Redraw(const ZRect* rect) {
    if (rect == nullptr) {
        CWnd::InvalidateRect(nullptr);
        return;
    }
    platform::ScreenRect r = ToScreenRect(*rect);
    CWnd::InvalidateRect(&r);
}

void ZWindow::Move(const ZRect& rect, bool resizeBuffers) {
    SetFrame(ZRect::FromSize(rect.Width(), rect.Height()));
    if (resizeBuffers && bufferCount_ > 0) {
        ZRect size = ZRect::FromSize(rect.Width(), rect.Height());
        SetBackBuffers(backBuffers_[0]->GetDepth(), &size, bufferCount_);
    }
    MoveWindow(ToScreenRect(rect), true);
}

void ZWindow::SetBackBuffers(int32_t depth, const ZRect* rect, int32_t count) {
    for (auto& buffer : backBuffers_) {
        buffer.reset();
    }
    bufferCount_ = 0;
    currentBuffer_ = 0;
    platform::ScreenRect client = GetClientRect();
    ZRect size = rect != nullptr ? *rect : ZRect::FromSize(client.Width(), client.Height());
    // Only one buffer is ever made: drawing alternates over nothing more.
    int32_t wanted = std::min(std::min(count, kMaxBackBuffers), 1);
    for (int32_t i = 0; i < wanted; ++i) {
        auto buffer = std::make_unique<ZOffscreen>(size, depth, nullptr, kKindDIBSection);
        if (buffer->GetPixels() != nullptr) {
            backBuffers_[bufferCount_++] = std::move(buffer);
        }
    }
}

void ZWindow::PropagateColorTable(ZColorTable* table) {
    for (ZListElement* e = WindowList().GetHead(); e != nullptr; e = e->next) {
        ZWindow* window = static_cast<ZWindow*>(e);
        for (int32_t i = 0; i < window->bufferCount_; ++i) {
            window->backBuffers_[i]->SetColorTable(table, false);
        }
    }
    ClearPaletteChanged();
}

void ZWindow::ShowAllForActivation(bool active) {
    for (ZListElement* e = WindowList().GetHead(); e != nullptr; e = e->next) {
        ZWindow* window = static_cast<ZWindow*>(e);
        if (!window->followsActivation_ || window->GetSafeHwnd() == 0) {
            continue;
        }
        bool showing = window->IsWindowVisible() && window->IsWindowEnabled();
        if (active) {
            window->ShowWindow(showing && window->IsIconic() ? kShowRestore : kShowShow);
        } else if (showing) {
            window->ShowWindow(kShowHide);
            window->ShowWindow(kShowMinimize);
        }
    }
}

// ---- The tree's side

void ZWindow::Show(bool visible, ZRedraw redraw) {
    if (GetSafeHwnd() != 0) {
        ShowWindow(visible ? kShowShow : kShowHide);
    }
    ZPanelOwner::Show(visible, redraw);
}

bool ZWindow::SetEnabled(bool enabled) {
    if (GetSafeHwnd() != 0) {
        EnableWindow(enabled);
        CWnd::SetFocus();
    }
    return ZPanelOwner::SetEnabled(enabled);
}

// What no panel covers shows the background colour rather than an old frame.
void ZWindow::DrawContent(ZGraphicDevice& device, const ZRect& rect) {
    device.FillRect(rect, ControlState().background, nullptr, 1, 0, ZGraphicDevice::kModeNone);
}

// ---- The host's side

void ZWindow::InvalidateRect(const ZRect& rect) {
    if (IsShowing()) {
        platform::ScreenRect r = ToScreenRect(rect);
        CWnd::InvalidateRect(&r);
    }
}

void ZWindow::ValidateRect(const ZRect& rect) {
    if (IsShowing()) {
        platform::ScreenRect r = ToScreenRect(rect);
        CWnd::ValidateRect(&r);
    }
}

ZHostDevice ZWindow::MakeDevice() {
    if (!IsShowing()) {
        return ZHostDevice{};
    }
    if (ZOffscreen* buffer = GetBackBuffer()) {
        return ZHostDevice{std::make_unique<ZGraphicDevice>(*buffer),
                           ZRect::FromSize(buffer->GetWidth(), buffer->GetHeight()), true};
    }
    return ZHostDevice{std::make_unique<ZGraphicDevice>(static_cast<CWnd&>(*this)), ToRect(GetClientRect()),
                       false};
}

void ZWindow::PresentBackBuffer(const ZRect& rect) {
    ZOffscreen* buffer = GetBackBuffer();
    if (buffer == nullptr) {
        return;
    }
    ZRect shown = rect.Intersect(GetFrame());
    if (!shown.IsEmpty()) {
        buffer->DrawToWindow(*this, &shown, &shown);
    }
    currentBuffer_ = (currentBuffer_ + 1) % bufferCount_;
}

// Nothing in this program draws above the panels.
void ZWindow::DrawOverlays(ZGraphicDevice&, const ZRect&) {}

void ZWindow::AdoptChangedPalette() {
    ZColorTable* current = GetCurrentColorTable();
    PropagateColorTable(current);
    if (current != nullptr) {
        current->Release();
    }
}

void ZWindow::SetCursor(int32_t id) {
    platform::SetCursor(uint32_t(id));
}

void ZWindow::CaptureMouse() {
    SetCapture();
}

void ZWindow::ReleaseMouse() {
    if (GetCapture() == this) {
        ReleaseCapture();
    }
}

// ---- Messages

void ZWindow::Paint(const platform::ScreenRect& update) {
    if (!IsShowing() || update.IsEmpty()) {
        return;
    }
    ZRect rect = ToRect(update);
    Draw(nullptr, &rect, ZDrawFlags::kNone);
}

// The click count restarts when more than the double-click time passed since the last release.
ZMouseEvent ZWindow::MakeMouseEvent(platform::WParam wParam, platform::LParam lParam) {
    ZMouseEvent event;
    event.x = platform::PointParamX(lParam);
    event.y = platform::PointParamY(lParam);
    if ((wParam & platform::kMouseLeft) != 0) {
        event.buttons |= kButtonLeft;
    }
    if ((wParam & platform::kMouseMiddle) != 0) {
        event.buttons |= kButtonMiddle;
    }
    if ((wParam & platform::kMouseRight) != 0) {
        event.buttons |= kButtonRight;
    }
    if ((wParam & platform::kMouseControl) != 0) {
        event.modifiers |= kModifierControl;
    }
    if ((wParam & platform::kMouseShift) != 0) {
        event.modifiers |= kModifierShift;
    }
    uint32_t now = platform::GetMessageTime();
    if (event.buttons != 0) {
        // Unsigned difference: right across the wrap of the tick count.
        if (!buttonHeld_) {
            clickCount_ = now - releaseTime_ > kDoubleClickTime ? 1 : clickCount_ + 1;
        }
        buttonHeld_ = true;
    } else if (buttonHeld_) {
        buttonHeld_ = false;
        releaseTime_ = now;
    }
    return event;
}

bool ZWindow::OnMouseMessage(uint32_t message, platform::WParam wParam, platform::LParam lParam) {
    ZMouseEvent event = MakeMouseEvent(wParam, lParam);
    switch (message) {
        case platform::kMsgLeftButtonDown:
        case platform::kMsgRightButtonDown:
            CWnd::SetFocus();
            OnMouseDown(event);
            return true;
        case platform::kMsgMouseMove:
            OnMouseMove(event);
            OnCursorQuery(event);
            return true;
        case platform::kMsgLeftButtonUp:
        case platform::kMsgRightButtonUp:
            OnMouseUp(event);
            return true;
        default:
            return false;
    }
}

// False leaves an alt combination nobody used to the platform, so that system keys keep working.
bool ZWindow::OnKeyMessage(uint32_t message, platform::WParam wParam, platform::LParam lParam) {
    ZKeyEvent event;
    event.modifiers = uint8_t(HeldModifiers());
    bool handled;
    switch (message) {
        case platform::kMsgChar:
            if ((lParam & platform::kKeyRepeatBit) != 0) {
                return true;  // a held key types once
            }
            event.character = uint8_t(wParam);
            handled = OnKeyDown(event);
            break;
        case platform::kMsgSysKeyDown:
            if ((event.modifiers & kModifierAlt) == 0) {
                CWnd::SetFocus();
            }
            [[fallthrough]];
        case platform::kMsgKeyDown:
            event.virtualKey = uint32_t(wParam);
            handled = OnKeyDown(event);
            break;
        case platform::kMsgKeyUp:
        case platform::kMsgSysKeyUp:
            event.virtualKey = uint32_t(wParam);
            handled = OnKeyUp(event);
            break;
        default:
            return false;
    }
    return handled || (event.modifiers & kModifierAlt) == 0;
}

bool ZWindow::OnWndMsg(uint32_t message, platform::WParam wParam, platform::LParam lParam,
                       platform::LResult* result) {
    *result = 0;
    switch (message) {
        case platform::kMsgPaint:
            Paint(BeginPaint());
            EndPaint();
            return true;
        case platform::kMsgLeftButtonDown:
        case platform::kMsgRightButtonDown:
        case platform::kMsgMouseMove:
        case platform::kMsgLeftButtonUp:
        case platform::kMsgRightButtonUp:
            return OnMouseMessage(message, wParam, lParam);
        case platform::kMsgChar:
        case platform::kMsgKeyDown:
        case platform::kMsgKeyUp:
        case platform::kMsgSysKeyDown:
        case platform::kMsgSysKeyUp:
            return OnKeyMessage(message, wParam, lParam);
        case platform::kMsgClose:
            Close();
            return true;
        case platform::kMsgActivate:
            if (wParam != 0) {
                CWnd::SetFocus();
            }
            return true;
        case platform::kMsgSetCursor:
            *result = 1;  // handled: the cursor stays as the framework last selected it
            return true;
        case platform::kMsgPaletteChanged:
            return true;
        default:
            return false;
    }
}
