// Decodes arbitrary bytes as a "RIX " item, whose headers may name the same bytes as an "RAX " plane
// (id 2) and a mask (id 3), at several depths and through every index, composing what loads.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "graphics/ZGraphicDevice.h"
#include "graphics/ZPicture.h"
#include "imaging/ZRawImageReader.h"
#include "media/MsfFormat.h"
#include "media/ZMediaServer.h"
#include "platform/File.h"

namespace {

// One container holding the bytes as item 1 ("RIX "), 2 ("RAX ") and 3 ("RIX ", for masks).
std::vector<uint8_t> Wrap(const uint8_t* data, size_t size) {
    const ZTypeCode types[] = {kTypeRix, kTypeRax, kTypeRix};
    const int32_t count = 3;
    std::vector<uint8_t> out(size_t(msf::DirectoryEnd(count)), 0);
    msf::WriteU16(out.data(), msf::kVersion);
    msf::WriteU16(out.data() + 2, count);
    for (int32_t i = 0; i < count; ++i) {
        ZMediaEntry entry{
            uint16_t(i + 1), types[i], {}, uint32_t(out.size() + size * size_t(i)), uint32_t(size)};
        msf::WriteEntry(entry, out.data() + msf::kHeaderSize + msf::kEntrySize * i);
    }
    for (int32_t i = 0; i < count; ++i) {
        out.insert(out.end(), data, data + size);
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
    gMediaServer->CloseContainer();
    return 0;
}
