// The root of a window's tree: holds the window's panels, opens them through the class registry and
// switches between them. Only one panel is active at a time. The window class derives from it.
#pragma once

#include <cstdint>

#include "controls/ZGraphicObject.h"
#include "core/ZTLink.h"

class ZPanel;

// What ClosePanel does with the panel.
enum class ZPanelClose { kDetach, kDestroy };

class ZPanelOwner : public ZGraphicObject, public ZEventHandler, public ZDataLink {
  public:
    ZPanelOwner(int32_t classId, int32_t id);
    // Closes and destroys every panel; the owner holds its children.
    ~ZPanelOwner() override;

    ZEventHandler* GetEventHandler() override { return this; }

    // Makes the panel of the id through the registry unless one exists (with the wait cursor shown
    // meanwhile, the active panel suspended first), then activates it. Null when it cannot be made.
    ZPanel* OpenPanel(int32_t classId, int32_t id, bool replace);
    // Makes the panel of the id the active one: with replace the old one is suspended (resumable) or
    // destroyed, otherwise it is hidden when the owner hides on switching. Then the panel resumes and
    // is shown and drawn. Null when there is no such panel.
    ZPanel* ActivatePanel(int32_t id, bool replace);
    // Destroys the panel (stopped first when running) or only detaches it.
    void ClosePanel(int32_t id, ZPanelClose how);
    // Closes and destroys every panel.
    virtual void ClosePanels();
    // The child panel with the id, or null.
    ZPanel* FindPanel(int32_t id) const;

    ZPanel* GetActivePanel() const { return active_; }
    bool HidesOnSwitch() const { return hideOnSwitch_; }
    void SetHideOnSwitch(bool hide) { hideOnSwitch_ = hide; }
    // Called by a panel that goes away by other means than ClosePanel.
    void ForgetPanel(const ZPanel* panel);

  private:
    ZPanel* CreatePanel(int32_t classId, int32_t id);
    void DestroyPanel(ZPanel& panel);

    ZPanel* active_ = nullptr;
    bool hideOnSwitch_ = true;
};
