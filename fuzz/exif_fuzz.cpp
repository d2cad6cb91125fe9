// Reads arbitrary bytes as a photo's APP1 block through kestdemo's EXIF reader.
#include <cstddef>
#include <cstdint>

#include "tools/kestdemo/Exif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An APP1 segment holds at most 65 533 bytes.
    if (size > 65533) {
        return 0;
    }
    exif::Info info;
    if (exif::Parse(data, size, info) && (info.orientation < 1 || info.orientation > 8)) {
        __builtin_trap();  // the reader promises an orientation EXIF defines
    }
    return 0;
}
