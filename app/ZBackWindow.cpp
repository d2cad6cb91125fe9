#include "app/ZBackWindow.h"

#include "app/ZApplication.h"
#include "platform/Display.h"

ZBackWindow::ZBackWindow(int32_t panelOwnerId, uint32_t windowId, bool /*fade*/, ZWindowFlags flags)
    : ZWindow(panelOwnerId, windowId, ZRect{},
              ZWindowFlags(uint32_t(flags) & ~uint32_t(ZWindowFlags::kCreate)), nullptr) {
    SetClassId(kTypeBackWindow);
    if (ZApplication* app = ZApplication::GetApplication()) {
        app->SetBackWindow(this);
    }
    // No fade: its steps would show nothing here, and waiting out its 600 ms only held back the show's
    // first frame.
    platform::ScreenRect screen = platform::Display::Get().GetRect();
    Create(windowId, ZRect{screen.top, screen.left, screen.bottom, screen.right}, false, nullptr, 0);
    SetEnabled(false);
}

ZBackWindow::~ZBackWindow() {
    ZApplication* app = ZApplication::GetApplication();
    if (app != nullptr && app->GetBackWindow() == this) {
        app->SetBackWindow(nullptr);
    }
}
