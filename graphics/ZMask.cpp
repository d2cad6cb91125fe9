#include "graphics/ZMask.h"

#include <cstring>

#include "graphics/ZColorTable.h"
#include "graphics/ZOffscreen.h"
#include "graphics/ZPicture.h"

ZMask::ZMask(uint16_t mediaId) {
    // The mask's values are read as they are stored: memory pixels, no palette reshuffling.
    int16_t kind = ZOffscreen::GetDefaultKind();
    bool placement = ZColorTable::GetBlackWhitePlacement();
    ZOffscreen::SetDefaultKind(kKindMemory);
    ZColorTable::SetBlackWhitePlacement(false);
    picture_ = new ZPicture(mediaId);
    ZOffscreen::SetDefaultKind(kind);
    ZColorTable::SetBlackWhitePlacement(placement);
    if (ZOffscreen* first = picture_->GetFirstOffscreen()) {
        first->Lock();
        loaded_ = true;
    }
    std::memset(blocked_, 1, sizeof blocked_);
}

ZMask::~ZMask() {
    if (ZOffscreen* first = picture_->GetFirstOffscreen()) {
        first->Unlock();
    }
    picture_->Release();
}
