// Decodes arbitrary bytes as a "RIX " item, whose headers may name the same bytes as an "RAX " plane
// (id 2) and a mask (id 3), at several depths and through every index, composing what loads.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/FuzzContainer.h"
#include "graphics/ZGraphicDevice.h"
#include "graphics/ZPicture.h"
#include "imaging/ZRawImageReader.h"

namespace {

// The bytes as item 1 ("RIX "), 2 ("RAX ") and 3 ("RIX ", for masks).
std::vector<fuzzsupport::Item> Items(const uint8_t* data, size_t size) {
    std::string bytes = fuzzsupport::Bytes(data, size);
    return {{1, "RIX ", "", bytes}, {2, "RAX ", "", bytes}, {3, "RIX ", "", bytes}};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 16)) {
        return 0;
    }
    InstallImageReaders();
    fuzzsupport::OpenedContainer container(Items(data, size));
    if (!container.IsOpen()) {
        return 0;
    }
    ZOffscreen canvas(ZRect{0, 0, 64, 64}, 32, nullptr, kKindMemory);
    for (int32_t depth : {-1, 8, 16}) {
        ZForcedDepth forced(depth);
        for (int32_t index : {int32_t(kImageAllChained), int32_t(kImageComposed), 1}) {
            ZPicture* picture = new ZPicture(uint16_t(1), 0x47, index);
            ZGraphicDevice device(canvas);
            picture->Draw(device, ZRect{0, 0, 64, 64}, nullptr);
            picture->Release();
        }
    }
    return 0;
}
