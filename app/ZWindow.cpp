#include "app/ZWindow.h"

#include <algorithm>

#include "app/ZApplication.h"
#include "graphics/ZColorTable.h"
#include "graphics/ZGraphicDevice.h"
#include "graphics/ZOffscreen.h"
#include "platform/Display.h"

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

}  // namespace

ZWindow::ZWindow(int32_t panelOwnerId, uint32_t windowId, const ZRect& rect, ZWindowFlags flags,
                 const char* title)
    : panelOwnerId_(panelOwnerId),
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
    ClosePanels();
    for (auto& buffer : backBuffers_) {
        buffer.reset();
    }
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
    ZApplication* app = ZApplication::GetApplication();
    SetWindowText(title != nullptr ? title : app != nullptr ? app->m_pszAppName.c_str() : "");
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
        InvalidateRect(nullptr);
        return;
    }
    platform::ScreenRect r = ToScreenRect(*rect);
    InvalidateRect(&r);
}

void ZWindow::ClosePanels() {}

void ZWindow::Move(const ZRect& rect, bool resizeBuffers) {
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

void ZWindow::Paint(const platform::ScreenRect& update) {
    if (!IsWindowVisible()) {
        return;
    }
    ZRect rect{update.top, update.left, update.bottom, update.right};
    static const uint8_t kBlack[3] = {0, 0, 0};
    if (ZOffscreen* buffer = GetBackBuffer()) {
        {
            ZGraphicDevice device(*buffer);
            device.FillRect(rect, kBlack, nullptr, 0, 0, ZGraphicDevice::kModeNone);
        }
        buffer->DrawToWindow(*this, &rect, &rect);
        currentBuffer_ = (currentBuffer_ + 1) % bufferCount_;
    } else {
        ZGraphicDevice device(*this);
        device.FillRect(rect, kBlack, nullptr, 0, 0, ZGraphicDevice::kModeNone);
    }
    platform::Display::Get().Present();
}

bool ZWindow::OnWndMsg(uint32_t message, platform::WParam, platform::LParam, platform::LResult* result) {
    switch (message) {
        case platform::kMsgPaint:
            Paint(BeginPaint());
            EndPaint();
            break;
        case platform::kMsgClose:
            Close();
            break;
        case platform::kMsgActivate:
            SetFocus();
            break;
        case platform::kMsgSetCursor:
            *result = 1;  // handled: the cursor stays as the framework last selected it
            return true;
        case platform::kMsgPaletteChanged:
            break;
        default:
            return false;
    }
    *result = 0;
    return true;
}
