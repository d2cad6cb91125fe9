#include "imaging/ZTargaImageReader.h"

#include <algorithm>

#include "core/ZByteCursor.h"
#include "graphics/ZOffscreen.h"
#include "imaging/ZTargaRLECodec.h"
#include "media/ZFile.h"

namespace {

constexpr int32_t kHeaderSize = 18;
enum : uint8_t { kTypeTrueColor = 2, kTypeTrueColorRLE = 10 };
constexpr uint8_t kAttributeBits = 0x0F;
constexpr uint8_t kRightToLeft = 0x10;

}  // namespace

int32_t ZTargaImageReader::ReadHeader() {
    if (file_ == nullptr) {
        return Fail("no data");
    }
    file_->Seek(0);
    int32_t fileSize = file_->GetSize();
    uint8_t head[kHeaderSize];
    if (file_->Read(head, kHeaderSize) != kHeaderSize) {
        return Fail("Targa header is cut short");
    }
    ZByteCursor c(head, kHeaderSize);
    uint8_t idLength = c.U8();
    c.Skip(1);  // colour-map type
    uint8_t imageType = c.U8();
    c.Skip(2);  // first colour-map entry
    uint16_t mapLength = c.U16LE();
    uint8_t mapEntryBits = c.U8();
    c.Skip(4);  // origin
    uint16_t width = c.U16LE();
    uint16_t height = c.U16LE();
    uint8_t depth = c.U8();
    uint8_t descriptor = c.U8();

    // The ID field and any colour map (unused by true-colour images) come before the pixels.
    int64_t offset = kHeaderSize + int64_t(idLength) + int64_t(mapLength) * ((mapEntryBits + 7) / 8);
    if (!imagesize::RangeOk(offset, 0, fileSize)) {
        return Fail("Targa header is cut short");
    }
    if (imageType != kTypeTrueColor && imageType != kTypeTrueColorRLE) {
        return Fail("only true-colour Targa images are supported");
    }
    if (depth != 15 && depth != 16 && depth != 24 && depth != 32) {
        return Fail("Targa has an unknown pixel depth");
    }
    if ((descriptor & kAttributeBits) != 0) {
        return Fail("Targa with an alpha descriptor is not supported");
    }
    if ((descriptor & kRightToLeft) != 0) {
        return Fail("right-to-left Targa is not supported");
    }
    if ((descriptor & ~kTopLeftOrigin) != 0) {
        return Fail("interleaved Targa is not supported");
    }
    // A height of 0 would leave no rows to size the target by; the limits keep every byte count in 32 bits.
    if (!imagesize::EdgesOk(width, height)) {
        return Fail("Targa has a bad size");
    }
    dataOffset_ = int32_t(offset);
    storedDepth_ = depth;
    depth_ = depth == 16 ? 15 : depth;
    format_ = 0;
    width_ = width;
    height_ = height;
    bottomUp_ = (descriptor & kTopLeftOrigin) == 0;
    compressed_ = (imageType & 0x08) != 0;
    return 0;
}

int32_t ZTargaImageReader::ReadImage(ZOffscreen& target, int32_t flags, int32_t, int32_t) {
    if ((flags & kLoadPixels) == 0) {
        return 0;
    }
    if (depth_ == 0 || target.GetPixels() == nullptr) {
        return Fail("no header or no pixels");
    }
    if (target.GetDepth() != depth_ || target.GetWidth() != width_ || target.GetHeight() != height_) {
        return Fail("target does not match the Targa image");
    }
    int32_t rowBytes = BytesPerPixel(depth_) * width_;
    // The pixels go to the target as stored, so its rows must have no slack bytes.
    if (target.GetStride() != rowBytes) {
        return Fail("Targa rows do not fill the target's rows exactly");
    }
    if (int32_t error = ReadPixels(target.GetPixels(), rowBytes * height_); error != 0) {
        return error;
    }
    if (bottomUp_ != target.IsBottomUp()) {
        target.FlipRows();
    }
    // Targa pixels are little-endian 5-5-5 words, B-G-R and B-G-R-A bytes: the depth's default layout.
    ZOffscreen::ConvertByteOrder(target.GetPixels(), rowBytes, width_, height_, depth_, DefaultFormat(depth_),
                                 target.GetFormat());
    return 0;
}

// Reads total bytes of pixels in stored order, expanding run-length packets.
int32_t ZTargaImageReader::ReadPixels(uint8_t* pixels, int32_t total) {
    if (!compressed_) {
        file_->Seek(dataOffset_);
        return file_->Read(pixels, total) == total ? 0 : Fail("Targa pixels are cut short");
    }
    size_t size = 0;
    std::unique_ptr<uint8_t[]> data = ReadAll(size);
    if (data == nullptr || size_t(dataOffset_) > size) {
        return Fail("Targa cannot be read into memory");
    }
    ZTargaRLECodec codec(storedDepth_, data.get() + dataOffset_, size - size_t(dataOffset_), pixels,
                         size_t(total));
    return codec.Decode(total) == total ? 0 : Fail("Targa run-length data are damaged or cut short");
}
