#include "graphics/ZMask.h"

#include <cstring>

#include "graphics/ZColorTable.h"
#include "graphics/ZDitherer.h"
#include "graphics/ZImageReaderTable.h"
#include "graphics/ZOffscreen.h"
#include "graphics/ZPicture.h"

ZMask::ZMask(uint16_t mediaId) {
    // The mask's values are read as they are stored: 8-bit memory pixels, no dithering, no palette
    // reshuffling, and nothing but the pixels (a plane or mask the item names could name this item again).
    int16_t kind = ZOffscreen::GetDefaultKind();
    bool placement = ZColorTable::GetBlackWhitePlacement();
    int32_t dither = GetPaletteDitherMethod();
    ZOffscreen::SetDefaultKind(kKindMemory);
    ZColorTable::SetBlackWhitePlacement(false);
    SetPaletteDitherMethod(kDitherNone);
    {
        ZForcedDepth depth(8);
        picture_ = new ZPicture(mediaId, kLoadPixels);
    }
    ZOffscreen::SetDefaultKind(kind);
    ZColorTable::SetBlackWhitePlacement(placement);
    SetPaletteDitherMethod(dither);
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
