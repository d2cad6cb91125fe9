#include "graphics/ZImageReaderTable.h"

#include "graphics/ZOffscreen.h"

int32_t gForcedDepth = -1;

namespace {

const ZImageReaderEntry* gEntries = nullptr;
size_t gCount = 0;

}  // namespace

void SetImageReaderTable(const ZImageReaderEntry* entries, size_t count) {
    gEntries = count > 0 ? entries : nullptr;
    gCount = entries != nullptr ? count : 0;
}

const ZImageReaderEntry* FindImageReader(ZTypeCode type) {
    for (size_t i = 0; i < gCount; ++i) {
        if (gEntries[i].type == type) {
            return &gEntries[i];
        }
    }
    return nullptr;
}

int32_t ReadImageFile(ZFile& file, ZTypeCode type, const ZImageLoad& load, ZImageLoadResult& result) {
    result = ZImageLoadResult();
    const ZImageReaderEntry* entry = FindImageReader(type);
    return entry != nullptr ? entry->read(file, type, load, result) : -1;
}

void DeleteOffscreenChain(ZOffscreen* first) {
    while (first != nullptr) {
        auto* next = static_cast<ZOffscreen*>(first->next);
        first->next = nullptr;
        delete first;
        first = next;
    }
}
