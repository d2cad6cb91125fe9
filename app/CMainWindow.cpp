#include "app/CMainWindow.h"

#include "app/CProjectApplication.h"
#include "platform/Display.h"

CMainWindow::CMainWindow(int32_t panelOwnerId, uint32_t windowId, const ZRect& rect, ZWindowFlags flags)
    : ZMainWindow(panelOwnerId, windowId, rect, flags) {
    type_ = kTypeProjectWindow;
}

void CMainWindow::StartHook() {
    auto* app = static_cast<CProjectApplication*>(ZApplication::GetApplication());
    if (app == nullptr) {
        return;
    }
    const platform::ScreenMode& mode = platform::Display::Get().GetMode();
    if (mode.depth < 8) {
        if (app->IsSaverMode()) {
            app->ErrorAlert("This program requires a display with at least 256 colors.");
        }
        app->Quit();
    } else if (mode.width >= 800 && mode.height >= 600) {
        ShowWindow(kShowShow);
        Redraw(nullptr);
    } else {
        if (app->IsSaverMode()) {
            app->ErrorAlert("This program requires a display resolution of at least 800x600.");
        }
        app->Quit();
    }
}
