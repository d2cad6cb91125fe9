// The root of a window's tree: holds the window's panels, opens them through the class registry and
// switches between them. Only one panel is active at a time. The window class derives from it.
#pragma once

#include <cstdint>

#include "controls/ZGraphicObject.h"
#include "core/ZTLink.h"

class ZPanel;

class ZPanelOwner : public ZGraphicObject, public ZEventHandler, public ZDataLink {
  public:
    ZPanelOwner(int32_t classId, int32_t id);
    // Closes and destroys every panel; the owner holds its children.
    ~ZPanelOwner() override;

    ZEventHandler* GetEventHandler() override { return this; }

    // Closes and destroys every panel.
    void ClosePanels();
    // The child panel with the id, or null.
    ZPanel* FindPanel(int32_t id) const;

    ZPanel* GetActivePanel() const { return active_; }
    bool HidesOnSwitch() const { return hideOnSwitch_; }
    void SetHideOnSwitch(bool hide) { hideOnSwitch_ = hide; }
    // Called by a panel that goes away by other means than ClosePanel.
    void ForgetPanel(const ZPanel* panel);

  private:
    void DestroyPanel(ZPanel& panel);

    ZPanel* active_ = nullptr;
    bool hideOnSwitch_ = true;
};
