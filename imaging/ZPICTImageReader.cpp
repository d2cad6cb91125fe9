#include "imaging/ZPICTImageReader.h"

namespace {

constexpr const char* kRefusal = "PICT pictures are not supported";

}  // namespace

int32_t ZPICTImageReader::ReadHeader() {
    return Fail(kRefusal);
}

int32_t ZPICTImageReader::ReadImage(ZOffscreen&, int32_t flags, int32_t, int32_t) {
    return (flags & kLoadPixels) != 0 ? Fail(kRefusal) : 0;
}
