// Reads arbitrary bytes as a Photoshop document and decodes what passes the header: the merged image, the
// composed layers, each layer and all layers chained, into 8-, 24- and 32-bit targets.
#include <cstddef>
#include <cstdint>

#include "graphics/ZColorTable.h"
#include "graphics/ZOffscreen.h"
#include "imaging/ZPhotoshopImageReader.h"
#include "media/ZFile.h"
#include "platform/File.h"

namespace {

// Pictures larger than this are left at their header: decoding them only costs the fuzzer time.
constexpr int64_t kMaxPixels = int64_t(1) << 18;
constexpr int32_t kMaxLayers = 8;

ZColorTable* Palette() {
    static ZColorTable* palette = ZColorTable::CreateBuiltIn(4);
    return palette;
}

void Decode(ZPhotoshopImageReader& reader, int32_t depth, int32_t flags, int32_t index) {
    ZRect bounds;
    reader.GetBounds(bounds, index == kImageAllChained ? 0 : index);
    if (bounds.IsEmpty() || int64_t(bounds.Width()) * bounds.Height() > kMaxPixels) {
        return;
    }
    auto* target = new ZOffscreen(bounds, depth, Palette(), kKindMemory);
    if (target->GetPixels() != nullptr) {
        reader.ReadInto(*target, flags, index, 0, false);
    }
    DeleteOffscreenChain(target);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) {
        return 0;
    }
    platform::MemoryFile memory(data, size);
    if (!memory.IsValid()) {
        return 0;
    }
    ZFile file;
    file.SetFileSpec(ZFileSpec(memory.GetPath().c_str()));
    file.Open(ZFileObject::kModeRead);
    ZPhotoshopImageReader reader(&file);
    if (reader.ReadHeader() != 0) {
        return 0;
    }
    int32_t layers = reader.GetImageCount() < kMaxLayers ? reader.GetImageCount() : kMaxLayers;
    for (int32_t depth : {8, 24, 32}) {
        Decode(reader, depth, kLoadPixels, kImageComposed);
        Decode(reader, depth, kLoadPixels | kLoadAlpha, kImageComposed);
        for (int32_t i = 0; i < layers; ++i) {
            Decode(reader, depth, kLoadPixels | kLoadAlpha, i);
        }
    }
    if (reader.GetImageCount() <= kMaxLayers) {
        Decode(reader, 32, kLoadPixels | kLoadAlpha | kLoadColorTable, kImageAllChained);
    }
    return 0;
}
