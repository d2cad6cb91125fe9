#include "graphics/ZTransferMode.h"

#include <cstring>

#include "graphics/ZAlphaChannel.h"
#include "graphics/ZMask.h"

ZTransferMode::ZTransferMode(const ZTransferMode& other)
    : flags(other.flags), opacity(other.opacity), transparentIndex(other.transparentIndex) {
    std::memcpy(keyColor, other.keyColor, 3);
    alphaChannel_ = other.alphaChannel_;
    mask_ = other.mask_;
    if (alphaChannel_ != nullptr) {
        alphaChannel_->AddReference();
    }
    if (mask_ != nullptr) {
        mask_->AddReference();
    }
}

ZTransferMode& ZTransferMode::operator=(const ZTransferMode& other) {
    if (this != &other) {
        ZTransferMode copy(other);  // references taken before the old ones go
        std::swap(flags, copy.flags);
        std::swap(opacity, copy.opacity);
        std::swap(transparentIndex, copy.transparentIndex);
        std::swap(keyColor, copy.keyColor);
        std::swap(alphaChannel_, copy.alphaChannel_);
        std::swap(mask_, copy.mask_);
    }
    return *this;
}

ZTransferMode::~ZTransferMode() {
    if (alphaChannel_ != nullptr) {
        alphaChannel_->Release();
    }
    if (mask_ != nullptr) {
        mask_->Release();
    }
}

void ZTransferMode::SetAlphaChannel(ZAlphaChannel* channel) {
    if (channel != nullptr) {
        channel->AddReference();
    }
    if (alphaChannel_ != nullptr) {
        alphaChannel_->Release();
    }
    alphaChannel_ = channel;
    flags = channel != nullptr ? (flags | kUseAlphaChannel) : (flags & ~kUseAlphaChannel);
}

void ZTransferMode::SetMask(ZMask* mask) {
    if (mask != nullptr) {
        mask->AddReference();
    }
    if (mask_ != nullptr) {
        mask_->Release();
    }
    mask_ = mask;
    flags = mask != nullptr ? (flags | kUseMask) : (flags & ~kUseMask);
}
