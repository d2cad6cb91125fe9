// What the image readers' fuzz targets share: the input as an open file, one fixed 8-bit palette, and a
// decode of one image at one depth as pictures do it, which leaves large pictures at their header (decoding
// them only costs the fuzzer time).
#pragma once

#include <cstddef>
#include <cstdint>

#include "graphics/ZColorTable.h"
#include "graphics/ZImageReaderTable.h"
#include "graphics/ZOffscreen.h"
#include "imaging/ZImageReader.h"
#include "media/ZFile.h"
#include "platform/File.h"

namespace fuzzsupport {

constexpr size_t kMaxInput = size_t(1) << 20;
constexpr int64_t kMaxPixels = int64_t(1) << 18;

// The 8-bit targets' palette, made (with its inverse table) once for the whole run.
inline ZColorTable* Palette() {
    static ZColorTable* palette = ZColorTable::CreateBuiltIn(4);
    return palette;
}

// The input as a file open for reading while the object lives; inputs beyond kMaxInput are not opened.
class InputFile {
  public:
    InputFile(const uint8_t* data, size_t size) : memory_(data, size <= kMaxInput ? size : 0) {
        if (size <= kMaxInput && memory_.IsValid()) {
            file_.SetFileSpec(ZFileSpec(memory_.GetPath().c_str()));
            open_ = file_.Open(ZFileObject::kModeRead);
        }
    }
    bool IsOpen() const { return open_; }
    ZFile* Get() { return &file_; }

  private:
    platform::MemoryFile memory_;
    ZFile file_;
    bool open_ = false;
};

// Decodes image index (or all images chained) of a reader whose header was read into a memory offscreen
// of depth, converting from the reader's depth as pictures do.
inline void Decode(ZImageReader& reader, int32_t depth, int32_t flags, int32_t index) {
    ZRect bounds;
    reader.GetBounds(bounds, index == kImageAllChained ? 0 : index);
    if (bounds.IsEmpty() || int64_t(bounds.Width()) * bounds.Height() > kMaxPixels) {
        return;
    }
    auto* target =
        new ZOffscreen(ZRect::FromSize(bounds.Width(), bounds.Height()), depth, Palette(), kKindMemory);
    if (target->GetPixels() != nullptr) {
        reader.ReadInto(*target, flags, index, 0, false);
    }
    DeleteOffscreenChain(target);
}

}  // namespace fuzzsupport
