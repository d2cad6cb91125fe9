// Loads a picture font whose "FONT" metrics item (id 1) and "RDX " item (id 2) are the arbitrary bytes,
// over a small alpha strip (id 1) and a colour strip (id 2), and measures and draws every code with it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "controls/ZFont.h"
#include "fuzz/FuzzContainer.h"
#include "graphics/ZGraphicDevice.h"
#include "graphics/ZOffscreen.h"
#include "imaging/ZImageReader.h"
#include "tools/itemwriter/ItemWriter.h"

namespace {

// The bytes as the metrics of an alpha strip ("FONT", id 1) and of a colour strip ("RDX ", id 2).
std::vector<fuzzsupport::Item> Items(const uint8_t* data, size_t size) {
    std::vector<uint8_t> plane(40 * 6, 63);
    itemwriter::RawImage image;
    image.width = 40;
    image.height = 6;
    image.pixels.assign(size_t(itemwriter::DefaultStride(40, 24)) * 6, 200);
    std::string metrics = fuzzsupport::Bytes(data, size);
    return {{1, "RAX ", "", itemwriter::WriteRax(40, 6, plane)},
            {1, "FONT", "", metrics},
            {2, "RIX ", "", itemwriter::WriteRix({image})},
            {2, "RDX ", "", metrics}};
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
    char text[256];
    for (int32_t c = 0; c < 255; ++c) {
        text[c] = char(c + 1);
    }
    text[255] = 0;
    ZOffscreen canvas(ZRect{0, 0, 32, 64}, 24, nullptr, kKindMemory);
    for (int32_t id : {1, 2}) {
        ZFont* font = ZFont::FindPictureFont(id, 0);
        if (font != nullptr) {
            ZGraphicDevice device(canvas);
            font->TextWidth(text, -1);
            const ZRect clip{4, 4, 28, 60};
            font->DrawText(device, -30, 20, text, -1, nullptr, nullptr);
            font->DrawText(device, 2, 10, text, -1, &clip, nullptr);
        }
    }
    ZFont::DestroyAllFonts();
    return 0;
}
