#include "app/CAnimatingPicture.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "graphics/ZAlphaChannel.h"

namespace {

// Drops the references the lists hold, however the construction ends.
template <typename Media>
struct MediaList {
    std::vector<Media*> items;
    MediaList() = default;
    MediaList(const MediaList&) = delete;
    MediaList& operator=(const MediaList&) = delete;
    ~MediaList() {
        for (Media* item : items) {
            item->Release();
        }
    }
};

// Loads item id; keeps it when it has the frame's rectangle.
template <typename Media>
void AppendIfFits(MediaList<Media>& list, uint16_t id, const ZRect& frame) {
    auto* item = new Media(id);
    if (!item->GetBounds().IsEmpty() && item->GetBounds() == frame) {
        list.items.push_back(item);
    } else {
        item->Release();
    }
}

}  // namespace

CAnimatingPicture::CAnimatingPicture(uint16_t firstId, uint16_t lastId, uint16_t firstAlphaId,
                                     uint16_t lastAlphaId)
    : ZPicture(firstId, 0, -4, -4) {
    // The strip is made here, not read from one item: reloading would bring back the first frame alone.
    reloadable_ = false;
    const ZRect frame = GetBounds();
    lastId = std::max(lastId, firstId);
    lastAlphaId = std::max(lastAlphaId, firstAlphaId);

    MediaList<ZPicture> frames;
    MediaList<ZAlphaChannel> alphas;
    uint16_t alphaId = firstAlphaId;
    // A 32-bit counter: a run that ends at id 65535 must end.
    for (uint32_t id = firstId; id <= lastId; ++id) {
        AppendIfFits(frames, uint16_t(id), frame);
        AppendIfFits(alphas, alphaId, frame);
        if (alphaId < lastAlphaId) {
            ++alphaId;
        }
    }

    const int32_t count = int32_t(frames.items.size());
    ZOffscreen* base = GetFirstOffscreen();
    if (base == nullptr) {
        SetFrameCount(0);
        return;
    }
    if (count == 0) {
        return;  // not even the first frame loaded a second time: it alone stays
    }
    const int32_t height = frame.Height();
    auto* strip = new ZOffscreen(ZRect::FromSize(frame.Width(), height * count), base->GetDepth());
    if (strip->GetPixels() == nullptr) {
        delete strip;
        return;  // no memory for the strip: the first frame alone stays
    }
    for (int32_t j = 0; j < count; ++j) {
        ZRect slot = ZRect::FromSize(frame.Width(), height).Offset(0, j * height);
        frames.items[size_t(j)]->GetFirstOffscreen()->CopyTo(*strip, nullptr, &slot);
    }
    if (!alphas.items.empty()) {
        auto* plane = new ZAlphaChannel(ZRect::FromSize(frame.Width(), height * count));
        ZOffscreen* target = plane->GetPlane();
        for (int32_t j = 0; j < count && target != nullptr; ++j) {
            size_t k = std::min(size_t(j), alphas.items.size() - 1);
            const ZOffscreen* source = alphas.items[k]->GetPlane();
            for (int32_t y = 0; y < height && source != nullptr; ++y) {
                std::memcpy(target->RowAddress(j * height + y), source->RowAddress(y), size_t(frame.Width()));
            }
        }
        strip->SetAlphaChannel(plane);
        plane->Release();
    }
    ReplaceOffscreens(strip, true);
    SetFrameCount(count);
}
