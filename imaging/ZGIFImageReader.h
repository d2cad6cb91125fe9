// The reader for GIF files (87a and 89a) into 8-bit offscreens. An animation becomes one tall picture:
// one band of the screen's height per image, each band holding the whole frame as it looks once that
// image is drawn over the frame before; frameCount says how many bands there are. The colour tables of
// all images are merged into one palette. Disposal methods, delays and loop counts are not used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "imaging/ZImageReader.h"

class ZByteCursor;

class ZGIFImageReader : public ZImageReader {
  public:
    explicit ZGIFImageReader(ZFile* file);
    ~ZGIFImageReader() override;

    // Reads the whole file, the screen descriptor and the global colour table, and counts the images.
    int32_t ReadHeader() override;
    // Decodes every image into its band of target (8-bit), whatever index asks for.
    int32_t ReadImage(ZOffscreen& target, int32_t flags, int32_t index, int32_t option) override;

    // The blocks of one image, as found in the data.
    struct Image {
        int32_t left = 0;
        int32_t top = 0;
        int32_t width = 0;
        int32_t height = 0;
        bool interlaced = false;
        const uint8_t* localTable = nullptr;
        int32_t localCount = 0;
        int32_t minCodeSize = 0;
        const uint8_t* data = nullptr;  // the sub-block chain
        size_t dataSize = 0;
        bool complete = false;  // the chain ends with its terminator
        int32_t transparent = -1;
    };

  private:
    void MergeGlobalTable();
    // The table (global or local) image's indices translate through.
    void MergeTable(const uint8_t* colours, int32_t count, uint8_t* map, int32_t reserved);
    int32_t ReserveTransparent(const Image& image, uint8_t* map);
    const char* DecodeImage(ZOffscreen& target, const Image& image, int32_t bandTop, const uint8_t* map,
                            int32_t skipIndex);
    void FillBand(ZOffscreen& target, int32_t band, uint8_t background);

    std::unique_ptr<uint8_t[]> data_;
    size_t size_ = 0;
    size_t firstBlock_ = 0;
    int32_t screenHeight_ = 0;
    const uint8_t* globalTable_ = nullptr;
    int32_t globalCount_ = 0;
    uint8_t background_ = 0;
    uint8_t globalMap_[256] = {};
    uint8_t localMap_[256] = {};
};
