#include "controls/ZPanelOwner.h"

#include "controls/ZControlState.h"
#include "controls/ZPanel.h"
#include "core/ZFactory.h"
#include "platform/Host.h"

ZPanelOwner::ZPanelOwner(int32_t classId, int32_t id) : ZGraphicObject(classId, id, 0, 0, 0, 0, 0) {}

ZPanelOwner::~ZPanelOwner() {
    ClosePanels();
    // Anything else attached below belongs to the owner as well.
    ZControl::DeleteChildren(*this);
}

ZPanel* ZPanelOwner::FindPanel(int32_t id) const {
    for (ZGraphicObject* child = GetFirstChild(); child != nullptr; child = child->GetNextSibling()) {
        auto* panel = dynamic_cast<ZPanel*>(child);
        if (panel != nullptr && panel->GetId() == id) {
            return panel;
        }
    }
    return nullptr;
}

void ZPanelOwner::ForgetPanel(const ZPanel* panel) {
    if (active_ == panel) {
        active_ = nullptr;
    }
}

ZPanel* ZPanelOwner::OpenPanel(int32_t classId, int32_t id, bool replace) {
    if (FindPanel(id) == nullptr) {
        ZPanelHost* host = GetWindow();
        SetCursorById(host, int32_t(platform::kCursorWait));
        if (active_ != nullptr) {
            active_->Suspend();
        }
        ZPanel* made = CreatePanel(classId, id);
        SetCursorById(host, 0);
        if (made == nullptr) {
            return nullptr;
        }
    }
    return ActivatePanel(id, replace || hideOnSwitch_);
}

ZPanel* ZPanelOwner::CreatePanel(int32_t classId, int32_t id) {
    ZFactory* factory = ZFactory::GetFactory();
    ZGraphicObject* parent = this;
    ZPropertyHolder* made = factory->Create(factory->Find(classId), nullptr, parent);
    auto* panel = dynamic_cast<ZPanel*>(made);
    if (panel == nullptr) {
        delete made;
        return nullptr;
    }
    panel->SetClassId(classId);
    panel->SetId(id);
    panel->Open(this, false);
    return panel;
}

ZPanel* ZPanelOwner::ActivatePanel(int32_t id, bool replace) {
    ZPanel* panel = FindPanel(id);
    if (panel == nullptr) {
        return nullptr;
    }
    if (active_ != nullptr && active_ != panel) {
        if (!replace) {
            if (hideOnSwitch_) {
                active_->Show(false, ZRedraw::kNo);
            }
        } else if (active_->IsResumable()) {
            active_->Suspend();
        } else {
            DestroyPanel(*active_);
        }
    }
    active_ = panel;
    panel->Resume();
    panel->Show(true, ZRedraw::kNo);
    if (panel->IsEffectivelyVisible()) {
        panel->Draw(nullptr, nullptr, ZDrawFlags::kClipToAncestors);
    }
    panel->ValidateInWindow();
    return panel;
}

void ZPanelOwner::ClosePanel(int32_t id, ZPanelClose how) {
    ZPanel* panel = FindPanel(id);
    if (panel == nullptr) {
        return;
    }
    if (how == ZPanelClose::kDestroy) {
        DestroyPanel(*panel);
        return;
    }
    ForgetPanel(panel);
    panel->DetachNodes();
}

void ZPanelOwner::ClosePanels() {
    for (;;) {
        ZPanel* panel = nullptr;
        for (ZGraphicObject* child = GetFirstChild(); child != nullptr && panel == nullptr;
             child = child->GetNextSibling()) {
            panel = dynamic_cast<ZPanel*>(child);
        }
        if (panel == nullptr) {
            return;
        }
        DestroyPanel(*panel);
    }
}

void ZPanelOwner::DestroyPanel(ZPanel& panel) {
    ForgetPanel(&panel);
    if (!panel.IsSuspended()) {
        panel.Stop();
    }
    panel.Close();
    delete &panel;
}
