#include "imaging/ZJPEGImageReader.h"

ZJPEGImageReader::ZJPEGImageReader(ZFile* file) : ZImageReader(file) {}

ZJPEGImageReader::~ZJPEGImageReader() = default;

int32_t ZJPEGImageReader::ReadHeader() {
    return Fail("JPEG is not supported");
}

int32_t ZJPEGImageReader::ReadImage(ZOffscreen&, int32_t, int32_t, int32_t) {
    return -1;
}
