// The screensaver's main window. Its start hook checks the display and opens the scene.
#pragma once

#include "app/ZMainWindow.h"

class CMainWindow : public ZMainWindow {
  public:
    CMainWindow(int32_t panelOwnerId, uint32_t windowId, const ZRect& rect, ZWindowFlags flags);

    void StartHook() override;
};
