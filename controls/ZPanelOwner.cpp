#include "controls/ZPanelOwner.h"

#include "controls/ZControlState.h"
#include "controls/ZPanel.h"

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
