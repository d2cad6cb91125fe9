#include "controls/ZPanel.h"

#include "controls/ZPanelOwner.h"

namespace {

// Makes panel the one building its contents for the scope's life, then puts the previous one back.
class BuildingScope {
  public:
    explicit BuildingScope(ZPanel* panel) : previous_(ControlState().building) {
        ControlState().building = panel;
    }
    ~BuildingScope() { ControlState().building = previous_; }
    BuildingScope(const BuildingScope&) = delete;
    BuildingScope& operator=(const BuildingScope&) = delete;

  private:
    ZPanel* previous_;
};

}  // namespace

ZPanel::ZPanel() : ZControl(kClassId, 0, 0, 0, 0, 0, 0) {
    SetVisibleFlag(false);
}

ZPanel::~ZPanel() {
    if (auto* owner = dynamic_cast<ZPanelOwner*>(GetParentObject())) {
        owner->ForgetPanel(this);
    }
}

bool ZPanel::Open(ZPanelOwner* owner, bool startSuspended) {
    if (opened_) {
        return false;
    }
    if (owner != nullptr) {
        AttachNodes(*owner, *owner, *owner);
    }
    {
        BuildingScope scope(this);
        BuildContents();
        if (!startSuspended) {
            Start();
        }
    }
    suspended_ = startSuspended;
    opened_ = true;
    return true;
}

bool ZPanel::Suspend() {
    if (suspended_) {
        return true;
    }
    Show(false, ZRedraw::kNo);
    bool stopped = Stop();
    suspended_ = true;
    return stopped;
}

bool ZPanel::Resume() {
    if (!resumable_ || !suspended_) {
        return false;
    }
    suspended_ = false;
    BuildingScope scope(this);
    Start();
    return true;
}
