// The black backdrop that covers the whole screen behind the show. It takes no input.
#pragma once

#include "app/ZWindow.h"

class ZBackWindow : public ZWindow {
  public:
    // With fade, the screen fades towards black for a moment before the backdrop appears. The window is
    // created at once over the whole screen and becomes the application's back window.
    ZBackWindow(int32_t panelOwnerId, uint32_t windowId, bool fade, ZWindowFlags flags);
    ~ZBackWindow() override;
};
