// Reads arbitrary bytes as a Targa file and decodes what passes the header into 8- and 32-bit targets,
// converting from the file's depth as pictures do.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "graphics/ZColorTable.h"
#include "graphics/ZOffscreen.h"
#include "imaging/ZTargaImageReader.h"
#include "media/ZFile.h"
#include "platform/File.h"

namespace {

// Pictures larger than this are left at their header: decoding them only costs the fuzzer time.
constexpr int64_t kMaxPixels = int64_t(1) << 18;

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
    ZTargaImageReader reader(&file);
    if (reader.ReadHeader() != 0 || int64_t(reader.GetWidth(0)) * reader.GetHeight(0) > kMaxPixels) {
        return 0;
    }
    ZRect bounds;
    reader.GetBounds(bounds, 0);
    ZColorTable* palette = reader.GetColorTable(false);
    for (int32_t depth : {8, 32}) {
        ZOffscreen target(bounds, depth, palette, kKindMemory);
        if (target.GetPixels() != nullptr) {
            reader.ReadInto(target, 7, 0, 0, false);
        }
    }
    if (palette != nullptr) {
        palette->Release();
    }
    return 0;
}
