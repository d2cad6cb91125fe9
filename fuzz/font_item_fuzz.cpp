// Loads a picture font whose "FONT" metrics item (id 1) and "RDX " item (id 2) are the arbitrary bytes,
// over a small alpha strip (id 1) and a colour strip (id 2), and measures and draws every code with it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "controls/ZFont.h"
#include "graphics/ZGraphicDevice.h"
#include "graphics/ZOffscreen.h"
#include "imaging/ZImageReader.h"
#include "media/MsfFormat.h"
#include "media/ZMediaServer.h"
#include "platform/File.h"
#include "tools/itemwriter/ItemWriter.h"

namespace {

std::vector<uint8_t> Wrap(const uint8_t* data, size_t size) {
    std::vector<uint8_t> plane(40 * 6, 63);
    itemwriter::RawImage image;
    image.width = 40;
    image.height = 6;
    image.pixels.assign(size_t(itemwriter::DefaultStride(40, 24)) * 6, 200);
    const std::string metrics(reinterpret_cast<const char*>(data), size);
    const std::string items[] = {itemwriter::WriteRax(40, 6, plane), metrics, itemwriter::WriteRix({image}),
                                 metrics};
    const ZMediaEntry entries[] = {{1, kTypeRax, {}, 0, 0},
                                   {1, kTypeFont, {}, 0, 0},
                                   {2, kTypeRix, {}, 0, 0},
                                   {2, MakeTypeCode("RDX "), {}, 0, 0}};
    const int32_t count = 4;
    std::vector<uint8_t> out(size_t(msf::DirectoryEnd(count)), 0);
    msf::WriteU16(out.data(), msf::kVersion);
    msf::WriteU16(out.data() + 2, count);
    for (int32_t i = 0; i < count; ++i) {
        ZMediaEntry entry = entries[i];
        entry.offset = uint32_t(out.size());
        entry.size = uint32_t(items[i].size());
        msf::WriteEntry(entry, out.data() + msf::kHeaderSize + msf::kEntrySize * i);
        out.insert(out.end(), items[i].begin(), items[i].end());
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 16)) {
        return 0;
    }
    InstallImageReaders();
    std::vector<uint8_t> container = Wrap(data, size);
    platform::MemoryFile file(container.data(), container.size());
    ZFileSpec spec(file.GetPath().c_str());
    gMediaServer->CloseContainer();
    if (!file.IsValid() || !gMediaServer->OpenContainer(spec, false)) {
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
    gMediaServer->CloseContainer();
    return 0;
}
