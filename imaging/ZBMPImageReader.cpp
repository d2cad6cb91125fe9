#include "imaging/ZBMPImageReader.h"

#include <algorithm>
#include <cstdlib>

#include "core/ZByteCursor.h"
#include "graphics/ZOffscreen.h"
#include "imaging/ZRunLengthCodec.h"
#include "media/ZFile.h"

namespace {

constexpr int32_t kFileHeaderSize = 14;
constexpr int32_t kCoreHeaderSize = 12;  // OS/2: 16-bit sizes, 3-byte palette entries
constexpr int32_t kMinInfoHeaderSize = 40;
constexpr int32_t kMaxInfoHeaderSize = 124;
// Everything a header may hold before the pixels: both headers and a palette of 256 4-byte entries.
constexpr int32_t kHeadBytes = kFileHeaderSize + kMaxInfoHeaderSize + 256 * 4;

}  // namespace

int32_t ZBMPImageReader::ReadHeader() {
    if (file_ == nullptr) {
        return Fail("no data");
    }
    file_->Seek(0);
    int32_t fileSize = file_->GetSize();
    uint8_t head[kHeadBytes];
    int32_t got = file_->Read(head, std::clamp(fileSize, 0, kHeadBytes));
    ZByteCursor c(head, size_t(std::max(got, 0)));
    uint16_t signature = c.U16LE();
    c.Skip(8);  // file size and two reserved words, which writers fill carelessly
    uint32_t dataOffset = c.U32LE();
    if (!c.Ok() || signature != 0x4D42) {
        return Fail("not a BMP file");
    }

    uint32_t headerSize = c.U32LE();
    bool core = headerSize == kCoreHeaderSize;
    int64_t width = 0, height = 0;
    uint32_t compression = kCompressionNone, colorsUsed = 0;
    uint16_t bitCount = 0;
    if (core) {
        width = c.U16LE();
        height = c.U16LE();
        c.Skip(2);  // planes
        bitCount = c.U16LE();
    } else if (headerSize >= kMinInfoHeaderSize && headerSize <= kMaxInfoHeaderSize) {
        width = c.S32LE();
        height = c.S32LE();
        c.Skip(2);
        bitCount = c.U16LE();
        compression = c.U32LE();
        c.Skip(12);  // image size (the stride comes from the width) and resolution
        colorsUsed = c.U32LE();
    } else {
        return Fail("BMP header has an unknown size");
    }
    if (!c.Ok()) {
        return Fail("BMP header is cut short");
    }
    bottomUp_ = height > 0;
    height = std::abs(height);
    if (!imagesize::EdgesOk(width, height)) {
        return Fail("BMP has a bad size");
    }
    compression_ = int32_t(std::min<uint32_t>(compression, 0xFF));
    if (int32_t error = CheckDepth(bitCount); error != 0) {
        return error;
    }
    width_ = int32_t(width);
    height_ = int32_t(height);
    stride_ = int32_t((width * bitCount + 31) / 32 * 4);
    depth_ = bitCount == 16 ? 15 : bitCount;
    format_ = depth_ <= 8    ? int16_t(kFormatIndexed8)
              : depth_ == 15 ? int16_t(kFormatRGB555 | kNativeByteOrder)
                             : int16_t(kFormatBGR24);

    // The palette follows the information header, whatever its size: B, G, R (and a spare byte).
    paletteCount_ = 0;
    int32_t entryBytes = core ? 3 : 4;
    int32_t colors = 0;
    if (bitCount <= 8) {
        uint32_t most = 1u << bitCount;
        colors = int32_t(colorsUsed == 0 ? most : std::min(colorsUsed, most));
        c.Seek(size_t(kFileHeaderSize) + headerSize);
        for (int32_t i = 0; i < colors; ++i) {
            uint8_t bgr[3];
            c.Read(bgr, 3);
            c.Skip(size_t(entryBytes) - 3);
            palette_[i * 3 + 0] = bgr[2];
            palette_[i * 3 + 1] = bgr[1];
            palette_[i * 3 + 2] = bgr[0];
        }
        if (!c.Ok()) {
            return Fail("BMP palette is cut short");
        }
        paletteCount_ = colors;
    }
    int64_t offset = dataOffset != 0 ? int64_t(dataOffset)
                                     : int64_t(kFileHeaderSize) + headerSize + int64_t(colors) * entryBytes;
    if (!imagesize::RangeOk(offset, 0, fileSize)) {
        return Fail("BMP pixels lie outside the file");
    }
    dataOffset_ = int32_t(offset);
    file_->Seek(dataOffset_);
    return 0;
}

// 0 when the bit count and compression are ones this reader decodes.
int32_t ZBMPImageReader::CheckDepth(int32_t bitCount) {
    switch (bitCount) {
        case 1:
            return Fail("1-bit BMP is not supported");
        case 4:
        case 8:
        case 16:
        case 24:
            break;
        case 32:
            // The fourth byte is alpha in some files and garbage in others; no guess is made.
            return Fail("32-bit BMP is not supported");
        default:
            return Fail("BMP has an unknown bit count");
    }
    switch (compression_) {
        case kCompressionNone:
            return bitCount == 4 ? Fail("4-bit BMP without RLE4 compression is not supported") : 0;
        case kCompressionRLE8:
            return bitCount == 8 ? 0 : Fail("RLE8 compression needs 8 bits per pixel");
        case kCompressionRLE4:
            return bitCount == 4 ? 0 : Fail("RLE4 compression needs 4 bits per pixel");
        default:
            return Fail("BMP compression is not supported");
    }
}

int32_t ZBMPImageReader::ReadImage(ZOffscreen& target, int32_t flags, int32_t, int32_t) {
    if ((flags & kLoadPixels) == 0) {
        return 0;
    }
    if (depth_ == 0 || target.GetPixels() == nullptr) {
        return Fail("no header or no pixels");
    }
    if (target.GetDepth() != (depth_ == 4 ? 8 : depth_)) {
        return Fail("target depth does not match the BMP");
    }
    if (compression_ == kCompressionNone) {
        file_->Seek(dataOffset_);
        if (target.ReadRows(*file_, width_, height_, stride_, depth_, format_, bottomUp_) == 0) {
            return Fail("BMP pixels are cut short");
        }
    } else if (int32_t error = ReadRunLength(target); error != 0) {
        return error;
    }
    if (target.GetDepth() == 8) {
        target.RemapPlacedPalette();
    }
    return 0;
}

int32_t ZBMPImageReader::ReadRunLength(ZOffscreen& target) {
    if (target.GetWidth() != width_ || target.GetHeight() != height_) {
        return Fail("target size does not match the BMP");
    }
    size_t size = 0;
    std::unique_ptr<uint8_t[]> data = ReadAll(size);
    if (data == nullptr || size_t(dataOffset_) > size) {
        return Fail("BMP cannot be read into memory");
    }
    const uint8_t* input = data.get() + dataOffset_;
    size_t inputSize = size - size_t(dataOffset_);
    ZRunLengthCodec rle8(input, inputSize, target.GetPixels(), width_, target.GetStride());
    ZRunLengthNibbleCodec rle4(input, inputSize, target.GetPixels(), width_, target.GetStride());
    ZRunLengthCodec& codec = compression_ == kCompressionRLE4 ? rle4 : rle8;
    if (codec.Decode(height_) == 0) {
        return Fail("BMP run-length data are damaged or cut short");
    }
    // The codec writes rows in stored order from the first stored row on.
    if (bottomUp_ != target.IsBottomUp()) {
        target.FlipRows();
    }
    return 0;
}
