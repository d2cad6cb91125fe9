// The image reader framework: one reader per format turns the bytes of an item or a file into offscreens.
// The base owns the facts every format yields (size, depth, format, palette, number of images) and the
// shared logic that creates the destination offscreens and converts a decoded image to their depth.
// A reader lives for one decode: created, ReadHeader (or CreateOffscreen), ReadImage, deleted. It never
// owns its file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/ZRect.h"
#include "graphics/ZImageReaderTable.h"
#include "media/ZTypeCode.h"

class ZColorTable;
class ZFile;
class ZOffscreen;

class ZImageReader {
  public:
    explicit ZImageReader(ZFile* file) : file_(file) {}
    virtual ~ZImageReader();
    ZImageReader(const ZImageReader&) = delete;
    ZImageReader& operator=(const ZImageReader&) = delete;

    // Reads and checks the headers: 0, or non-zero for data this reader cannot decode. Must come first.
    virtual int32_t ReadHeader() = 0;
    // Decodes image index into target, whose depth is the reader's (any depth for readers of depth 0).
    virtual int32_t ReadImage(ZOffscreen& target, int32_t flags, int32_t index, int32_t option) = 0;
    // The rectangle of image index at 0, 0.
    virtual void GetBounds(ZRect& out, int32_t index);
    virtual int32_t GetWidth(int32_t index);
    virtual int32_t GetHeight(int32_t index);

    // Reads the header and makes the offscreen for image index (image 0 for all images chained) in the
    // screen's depth, or gForcedDepth when that is set, and decodes into it. Null on any failure.
    ZOffscreen* CreateOffscreen(int32_t flags, int32_t index, int32_t option);
    // Decodes into target, converting from the reader's depth when the target has another; for all
    // images chained, each further image gets its own offscreen linked behind the previous one.
    int32_t ReadInto(ZOffscreen& target, int32_t flags, int32_t index, int32_t option, bool readHeader);
    // The colour table of the palette found in the data, with an added reference; null without one. With
    // rebuild, or when the count changed, it is made anew.
    ZColorTable* GetColorTable(bool rebuild);

    int32_t GetDepth() const { return depth_; }
    int16_t GetFormat() const { return format_; }
    int32_t GetImageCount() const { return imageCount_; }
    int32_t GetFrameCount() const { return frameCount_; }
    int32_t GetPaletteCount() const { return paletteCount_; }
    const uint8_t* GetPalette() const { return palette_; }
    // Why the last ReadHeader or ReadImage failed, in a few words ("progressive JPEG is not supported");
    // null when no reason was given.
    const char* GetError() const { return error_; }

  protected:
    // Records why and returns -1.
    int32_t Fail(const char* why) {
        error_ = why;
        return -1;
    }
    // The whole window of the file in memory (readers that parse from memory), at most kMaxDataBytes.
    // Null when the file is longer, cannot be read whole or memory runs out.
    std::unique_ptr<uint8_t[]> ReadAll(size_t& size);
    // Merges n colours (R, G, B) into the palette and sets map[i] to the entry colour i became: an equal
    // entry, else a new one while the palette has room, else the nearest (squared RGB distance, first on
    // ties). Entry reserved (-1: none) is never matched, so a transparent entry keeps to itself.
    void MergePalette(const uint8_t* colours, int32_t n, uint8_t* map, int32_t reserved = -1);
    static constexpr size_t kMaxDataBytes = size_t(256) << 20;

    ZFile* file_ = nullptr;
    ZColorTable* colorTable_ = nullptr;
    uint8_t palette_[256 * 3];
    int32_t paletteCount_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t depth_ = 0;
    int16_t format_ = 0;
    int32_t imageCount_ = 1;
    int32_t frameCount_ = 1;
    const char* error_ = nullptr;
};

// The largest edge any reader accepts, and the pixel bytes of an image checked in 64 bits.
namespace imagesize {

constexpr int32_t kMaxEdge = 16384;
// At most 64 M pixels (256 MiB at 32 bits): a few bytes of compressed data must not claim a gigabyte.
constexpr int64_t kMaxPixels = int64_t(1) << 26;

// True for 1 <= width, height <= kMaxEdge and width x height <= kMaxPixels.
constexpr bool EdgesOk(int64_t width, int64_t height) {
    return width >= 1 && height >= 1 && width <= kMaxEdge && height <= kMaxEdge &&
           width * height <= kMaxPixels;
}

// Bytes of one row of width pixels of bitsPerPixel, rounded up to whole bytes.
constexpr int64_t RowBytes(int64_t width, int64_t bitsPerPixel) {
    return (width * bitsPerPixel + 7) / 8;
}

// True when count bytes at offset lie inside a block of size bytes.
constexpr bool RangeOk(int64_t offset, int64_t count, int64_t size) {
    return offset >= 0 && count >= 0 && offset <= size && count <= size - offset;
}

}  // namespace imagesize

// The fixed factory: the reader for an item type, or null for a type no reader knows.
ZImageReader* CreateImageReader(ZFile* file, ZTypeCode type);
// The readers' table for pictures (graphics' seam); installed once by the application.
void InstallImageReaders();
// The rows the factory knows: type and a short name.
const ZImageReaderEntry* GetImageReaderTable(size_t& count);
