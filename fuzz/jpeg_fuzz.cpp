// Reads arbitrary bytes as a JPEG item and decodes what passes the header into 32-, 16- and 8-bit
// targets.
#include <cstddef>
#include <cstdint>

#include "graphics/ZColorTable.h"
#include "graphics/ZOffscreen.h"
#include "imaging/ZJPEGImageReader.h"
#include "media/ZFile.h"
#include "platform/File.h"

namespace {

// Pictures larger than this are left at their header: decoding them only costs the fuzzer time.
constexpr int64_t kMaxPixels = int64_t(1) << 18;

// The 8-bit targets' palette, made (with its inverse table) once for the whole run.
ZColorTable* Palette() {
    static ZColorTable* palette = ZColorTable::CreateBuiltIn(4);
    return palette;
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
    ZJPEGImageReader reader(&file);
    if (reader.ReadHeader() != 0) {
        return 0;
    }
    int32_t width = reader.GetWidth(0);
    int32_t height = reader.GetHeight(0);
    if (int64_t(width) * height > kMaxPixels) {
        return 0;
    }
    for (int32_t depth : {32, 16, 8}) {
        ZOffscreen target(ZRect{0, 0, height, width}, depth, Palette(), kKindMemory);
        if (target.GetPixels() != nullptr) {
            reader.ReadImage(target, 7, 0, 0);
        }
    }
    return 0;
}
