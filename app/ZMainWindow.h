// The application's main window: closing it quits, activation changes reach the application, the
// system's request to start the screensaver is dropped while it exists, and the start message calls the
// start hook.
#pragma once

#include "app/ZWindow.h"

class ZMainWindow : public ZWindow {
  public:
    // Creates the window (kCreate is implied) and makes it the application's main window.
    ZMainWindow(int32_t panelOwnerId, uint32_t windowId, const ZRect& rect, ZWindowFlags flags);
    ~ZMainWindow() override;

    // Called once start-up is done (the start message).
    virtual void StartHook() {}
    // Closing the main window ends the program.
    void Close() override;

    bool OnWndMsg(uint32_t message, platform::WParam wParam, platform::LParam lParam,
                  platform::LResult* result) override;
};
