// Reads arbitrary bytes as a GIF file and decodes what passes the header into an 8-bit target and, through
// the framework's conversion, a 32-bit one.
#include <cstddef>
#include <cstdint>

#include "graphics/ZColorTable.h"
#include "graphics/ZImageReaderTable.h"
#include "graphics/ZOffscreen.h"
#include "imaging/ZGIFImageReader.h"
#include "media/ZFile.h"
#include "platform/File.h"

namespace {

// Pictures larger than this are left at their header: decoding them only costs the fuzzer time.
constexpr int64_t kMaxPixels = int64_t(1) << 18;

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
    ZGIFImageReader reader(&file);
    if (reader.ReadHeader() != 0) {
        return 0;
    }
    int32_t width = reader.GetWidth(0);
    int32_t height = reader.GetHeight(0);
    if (int64_t(width) * height > kMaxPixels) {
        return 0;
    }
    for (int32_t depth : {8, 32}) {
        ZOffscreen target(ZRect{0, 0, height, width}, depth, Palette(), kKindMemory);
        if (target.GetPixels() != nullptr) {
            reader.ReadInto(target, kLoadPixels | kLoadColorTable, 0, 0, false);
        }
    }
    return 0;
}
