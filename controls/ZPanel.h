// A control that groups controls and has a life of its own: opened (its contents built), started,
// stopped, suspended while another panel is shown, and closed before it is destroyed.
#pragma once

#include <cstdint>

#include "controls/ZControl.h"

class ZPanelOwner;

class ZPanel : public ZControl {
  public:
    static constexpr int32_t kClassId = 282;

    // Invisible and suspended, with an empty frame; joins the panel building its contents, if any.
    ZPanel();
    ~ZPanel() override;

    ZPanel* GetPanel() override { return this; }

    // False when opened already. Joins owner (if given), builds the contents and, unless
    // startSuspended, starts; controls made meanwhile join this panel.
    virtual bool Open(ZPanelOwner* owner, bool startSuspended);
    virtual void Start() {}
    virtual void BuildContents() {}
    // Returns whether the panel stopped; Suspend passes the answer on.
    virtual bool Stop() { return true; }
    // Called once, before the panel is destroyed.
    virtual void Close() {}
    // Hides and stops a running panel.
    virtual bool Suspend();
    // Starts a suspended panel again; false unless it is resumable and suspended.
    virtual bool Resume();

    bool IsOpened() const { return opened_; }
    bool IsSuspended() const { return suspended_; }
    bool IsResumable() const { return resumable_; }
    // A resumable panel is suspended rather than destroyed when another replaces it.
    void SetResumable(bool resumable) { resumable_ = resumable; }

  private:
    bool opened_ = false;
    bool resumable_ = false;
    bool suspended_ = true;
};
