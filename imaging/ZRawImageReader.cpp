#include "imaging/ZRawImageReader.h"

ZRawImageReader::~ZRawImageReader() = default;
int32_t ZRawImageReader::ReadHeader() {
    return -1;
}
int32_t ZRawImageReader::ReadImage(ZOffscreen&, int32_t, int32_t, int32_t) {
    return -1;
}
void ZRawImageReader::GetBounds(ZRect& out, int32_t) {
    out = ZRect{};
}
