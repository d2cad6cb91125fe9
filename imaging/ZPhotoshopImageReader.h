// The reader for Photoshop documents (version 1, big-endian): the merged image, or the layers one by one,
// each with its place, visibility, opacity and transparency. The layers are the reader's images, so a
// picture that asks for all images gets one offscreen per layer; index -1 gives the merged image, or with
// alpha wanted the visible layers composed into one offscreen with a plane of their coverage.
#pragma once

#include <vector>

#include "imaging/ZImageReader.h"
#include "media/ZFile.h"

class ZPhotoshopImageReader : public ZImageReader {
  public:
    // Failure codes, each with a reason in GetError().
    enum : int32_t {
        kBadHeader = 1,
        kBadColorModeData = 2,
        kBadResources = 3,
        kBadLayerSection = 4,
        kBadCompression = 5,  // or packed data cut short
        kBadLayerRecords = 6,
        kShortRawData = 10,
        kTargetTooSmall = 12,
        kOutOfMemory = 14,
    };
    // Colour modes.
    enum : int16_t {
        kModeBitmap = 0,
        kModeGrayscale = 1,
        kModeIndexed = 2,
        kModeRGB = 3,
        kModeCMYK = 4,
        kModeMultichannel = 7,
        kModeDuotone = 8,
        kModeLab = 9,
    };
    static constexpr int16_t kTransparencyId = -1;

    struct Channel {
        int16_t id = 0;
        int64_t offset = 0;  // of its compression word, from the start of the file
        int64_t length = 0;  // bytes, the compression word included
    };
    struct Layer {
        ZRect rect;  // in the document
        std::vector<Channel> channels;
        uint8_t opacity = 255;
        bool visible = true;
    };

    explicit ZPhotoshopImageReader(ZFile* file) : ZImageReader(file) {}

    int32_t ReadHeader() override;
    // Index -1 (or 0 without layers): the document; a layer: its rectangle's size. Flag 0x02 asks for
    // transparency.
    int32_t ReadImage(ZOffscreen& target, int32_t flags, int32_t index, int32_t option) override;
    void GetBounds(ZRect& out, int32_t index) override;
    int32_t GetWidth(int32_t index) override;
    int32_t GetHeight(int32_t index) override;

    // The layers that have pixels (empty ones, such as groups and adjustment layers, are left out).
    const std::vector<Layer>& GetLayers() const { return layers_; }
    int16_t GetColorMode() const { return mode_; }

  private:
    // One channel ready to decode: its compression, row byte counts (PackBits) and data.
    struct Source {
        int16_t id = 0;
        int16_t compression = 0;
        std::vector<uint16_t> rowCounts;
        int64_t data = 0;
        int64_t end = 0;  // the data must end here or before
    };

    int32_t Refuse(int32_t code, const char* why) {
        Fail(why);
        return code;
    }
    int32_t ReadFileHeader();
    int32_t ReadColorModeData();
    int32_t ReadLayerSection();
    // Reads the record at position and moves past it; the record must end by end.
    int32_t ReadLayerRecord(Layer& layer, int64_t& position, int64_t end);
    bool ReadAt(int64_t offset, void* buffer, int64_t count);
    bool ReadRowCounts(int64_t offset, int32_t count, std::vector<uint16_t>& out);

    int32_t ReadMerged(ZOffscreen& target);
    int32_t ReadLayer(ZOffscreen& target, const Layer& layer, bool transparency);
    int32_t ComposeLayers(ZOffscreen& target);
    int32_t ReadLayerSource(const Channel& channel, int32_t rows, Source& out);
    int32_t ReadSources(ZOffscreen& target, int32_t width, int32_t height,
                        const std::vector<Source>& sources);
    int32_t ReadChannel(const Source& source, int32_t width, int32_t rows, uint8_t* destination,
                        ptrdiff_t rowStep, int32_t step);
    int32_t ColorChannels() const;

    ZBigEndianFile in_;
    std::vector<Layer> layers_;
    bool headerRead_ = false;
    bool mergedTransparency_ = false;
    int64_t imageDataOffset_ = 0;
    int64_t fileSize_ = 0;
    int16_t mode_ = 0;
    int16_t channels_ = 0;
    int16_t bitsPerChannel_ = 0;
};
