#include "app/ZMainWindow.h"

#include "app/ZApplication.h"

ZMainWindow::ZMainWindow(int32_t panelOwnerId, uint32_t windowId, const ZRect& rect, ZWindowFlags flags)
    : ZWindow(panelOwnerId, windowId, rect, flags | ZWindowFlags::kCreate, nullptr) {
    SetClassId(kTypeMainWindow);
    if (ZApplication* app = ZApplication::GetApplication()) {
        app->SetMainWindow(this);
    }
}

ZMainWindow::~ZMainWindow() {
    ZApplication* app = ZApplication::GetApplication();
    if (app != nullptr && app->GetMainWindow() == this) {
        app->SetMainWindow(nullptr);
    }
}

void ZMainWindow::Close() {
    if (ZApplication* app = ZApplication::GetApplication()) {
        app->Quit();
    }
}

bool ZMainWindow::OnWndMsg(uint32_t message, platform::WParam wParam, platform::LParam lParam,
                           platform::LResult* result) {
    ZApplication* app = ZApplication::GetApplication();
    switch (message) {
        case platform::kMsgClose:
            Close();
            *result = 0;
            return true;
        case platform::kMsgActivateApp:
            if (app != nullptr) {
                app->Activate(wParam != 0);
            }
            *result = 0;
            return true;
        case platform::kMsgSysCommand:
            if ((wParam & 0xFFF0) == platform::kSysCommandScreenSave && !IsBeingDestroyed()) {
                *result = 0;  // we are the screensaver already
                return true;
            }
            return false;
        case platform::kMsgStart:
            StartHook();
            *result = 0;
            return true;
        default:
            return ZWindow::OnWndMsg(message, wParam, lParam, result);
    }
}
