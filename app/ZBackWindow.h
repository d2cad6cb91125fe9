// The black backdrop that covers the whole screen behind the show. It takes no input.
#pragma once

#include "app/ZWindow.h"

class ZBackWindow : public ZWindow {
  public:
    // The window is created at once over the whole screen and becomes the application's back window.
    // fade asks for the screen to fade towards black first; this system cannot show such a fade (it
    // drives no gamma ramp), so the backdrop appears at once instead of after a blank wait.
    ZBackWindow(int32_t panelOwnerId, uint32_t windowId, bool fade, ZWindowFlags flags);
    ~ZBackWindow() override;
};
