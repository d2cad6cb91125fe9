// The screensaver's main window. Its start hook checks the display and opens the scene.
#pragma once

#include "app/ZMainWindow.h"

class CMainWindow : public ZMainWindow {
  public:
    // The scene panel: its class, registered with the factory by the program, and its id.
    static constexpr int32_t kScenePanelClass = 2048;
    static constexpr int32_t kScenePanelId = 8192;

    CMainWindow(int32_t panelOwnerId, uint32_t windowId, const ZRect& rect, ZWindowFlags flags);

    void StartHook() override;
};
