#include "imaging/ZJPEGImageReader.h"

#include <algorithm>
#include <new>

#include "graphics/ZColorTable.h"
#include "graphics/ZDitherer.h"
#include "graphics/ZOffscreen.h"
#include "imaging/ZJPEGColor.h"
#include "imaging/ZJPEGFrame.h"
#include "imaging/ZJPEGIdct.h"
#include "imaging/ZJPEGScan.h"

namespace {

constexpr const char* kNoMemory = "not enough memory for the JPEG";

template <class T>
std::unique_ptr<T[]> NewArray(size_t count) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]);
}

// Where decoded rows go: the routine of the target's depth and what it needs.
class PixelSink {
  public:
    // Null when the target can take the image; else why not.
    const char* Prepare(ZOffscreen& target, int32_t width);
    void Write(int32_t y, const jpegcolor::SampleRow& row);

  private:
    const char* PreparePalette(ZOffscreen& target, int32_t width);

    ZOffscreen* target_ = nullptr;
    int32_t depth_ = 0;
    ZByteOrder order_{};
    jpegcolor::WordLayout layout_;
    std::unique_ptr<ZOrderedDitherer> ordered_;
    std::unique_ptr<uint8_t[]> paletteYCbCr_;
    std::unique_ptr<uint8_t[]> indexTable_;
    std::unique_ptr<ZYCbCrErrorDiffusionDitherer> diffusion_;
};

const char* PixelSink::Prepare(ZOffscreen& target, int32_t width) {
    target_ = &target;
    depth_ = target.GetDepth();
    int16_t format = target.GetFormat();
    switch (depth_) {
        case 32:
        case 24:
            order_ = ByteOrderOf(format);
            return nullptr;
        case 16:
        case 15:
            layout_.sixBitGreen = depth_ == 16 || (format & 0x7FFF) == kFormatRGB565;
            layout_.littleEndian = (format & kNativeByteOrder) != 0;
            ordered_.reset(new (std::nothrow) ZOrderedDitherer());
            return ordered_ != nullptr && ordered_->IsReady() ? nullptr : kNoMemory;
        case 8:
            return PreparePalette(target, width);
        default:
            return "JPEG cannot be decoded into this depth";
    }
}

const char* PixelSink::PreparePalette(ZOffscreen& target, int32_t width) {
    ZColorTable* table = target.GetColorTable();
    if (table == nullptr) {
        return "8-bit target without a colour table";
    }
    paletteYCbCr_ = NewArray<uint8_t>(256 * 3);
    indexTable_ = NewArray<uint8_t>(65536);
    const uint8_t* inverse = table->GetInverseTable();
    if (paletteYCbCr_ != nullptr && indexTable_ != nullptr && inverse != nullptr) {
        jpegcolor::ConvertPalette(table->GetEntryData(), paletteYCbCr_.get());
        jpegcolor::FillIndexTable(inverse, indexTable_.get());
    }
    table->Release();
    if (paletteYCbCr_ == nullptr || indexTable_ == nullptr || inverse == nullptr) {
        return kNoMemory;
    }
    diffusion_.reset(new (std::nothrow)
                         ZYCbCrErrorDiffusionDitherer(width, indexTable_.get(), paletteYCbCr_.get()));
    return diffusion_ != nullptr && diffusion_->IsReady() ? nullptr : kNoMemory;
}

void PixelSink::Write(int32_t y, const jpegcolor::SampleRow& row) {
    uint8_t* out = target_->RowAddress(y);
    switch (depth_) {
        case 32:
            jpegcolor::WriteRow32(row, out, order_);
            break;
        case 24:
            jpegcolor::WriteRow24(row, out, order_);
            break;
        case 16:
        case 15:
            jpegcolor::WriteRow16(row, out, y, layout_, *ordered_);
            break;
        default:
            diffusion_->SelectRow(y);
            jpegcolor::WriteRow8(row, out, *diffusion_);
            break;
    }
}

// The samples of one MCU row: the scan decoder's blocks through the inverse DCT into one plane per
// component, and from the planes the image rows, chroma widened to full width.
class McuRowDecoder {
  public:
    McuRowDecoder(const ZJPEGFrame& frame, const uint8_t* data, size_t size)
        : frame_(frame), scan_(frame, data, size) {}

    // width: the pixels of each row handed out. False when memory runs out.
    bool Allocate(int32_t width);
    void DecodeRow();
    // Image row y, row line of the current MCU row.
    jpegcolor::SampleRow RowAt(int32_t line, int32_t y);

  private:
    void Reconstruct(const int16_t* block, const ZJPEGMcuBlock& where, int32_t column);
    void WidenChroma(int32_t line, int32_t y);

    const ZJPEGFrame& frame_;
    ZJPEGScanDecoder scan_;
    int32_t width_ = 0;
    std::unique_ptr<float[]> planes_[ZJPEGFrame::kMaxComponents];
    int32_t strides_[ZJPEGFrame::kMaxComponents] = {};
    float quant_[ZJPEGFrame::kMaxComponents][64] = {};
    // 4:2:0 chroma: the last chroma line of the previous MCU row (Cb, then Cr), which the first image
    // row of the next one averages with, and the samples used for the current image row.
    std::unique_ptr<float[]> previousLine_;
    std::unique_ptr<float[]> used_;
    int32_t rowsDecoded_ = 0;
};

bool McuRowDecoder::Allocate(int32_t width) {
    width_ = width;
    for (int32_t i = 0; i < frame_.componentCount; ++i) {
        const ZJPEGComponent& c = frame_.components[i];
        strides_[i] = frame_.mcuColumns * 8 * c.horizontal;
        planes_[i] = NewArray<float>(size_t(strides_[i]) * size_t(8 * c.vertical));
        if (planes_[i] == nullptr) {
            return false;
        }
        for (int32_t k = 0; k < 64; ++k) {
            quant_[i][k] = float(frame_.quant[c.quantTable][k]);
        }
    }
    if (frame_.lumaTwoByTwo) {
        previousLine_ = NewArray<float>(2 * size_t(strides_[1]));
        used_ = NewArray<float>(2 * size_t(width));
        return previousLine_ != nullptr && used_ != nullptr;
    }
    return true;
}

void McuRowDecoder::DecodeRow() {
    if (frame_.lumaTwoByTwo && rowsDecoded_ > 0) {
        for (int32_t channel = 0; channel < 2; ++channel) {
            const float* last = planes_[1 + channel].get() + 7 * size_t(strides_[1]);
            std::copy(last, last + strides_[1], previousLine_.get() + size_t(channel) * size_t(strides_[1]));
        }
    }
    ++rowsDecoded_;
    int16_t blocks[ZJPEGFrame::kMaxMcuBlocks][64];
    for (int32_t column = 0; column < frame_.mcuColumns; ++column) {
        scan_.DecodeMcu(blocks);
        for (int32_t b = 0; b < frame_.blocksPerMcu; ++b) {
            Reconstruct(blocks[b], frame_.mcuBlocks[b], column);
        }
    }
}

void McuRowDecoder::Reconstruct(const int16_t* block, const ZJPEGMcuBlock& where, int32_t column) {
    int32_t slot = where.component;
    const ZJPEGComponent& c = frame_.components[slot];
    int32_t stride = strides_[slot];
    float* out = planes_[slot].get() + size_t(8 * where.y) * size_t(stride) +
                 size_t(8 * (column * c.horizontal + where.x));
    // Luma is stored level-shifted; chroma stays centred on 0.
    float bias = slot == 0 ? 128.0f : 0.0f;
    if (jpegidct::HasOnlyDc(block)) {
        jpegidct::InverseDctDcOnly(block, quant_[slot], out, stride, bias);
    } else {
        jpegidct::InverseDct(block, quant_[slot], out, stride, bias);
    }
}

jpegcolor::SampleRow McuRowDecoder::RowAt(int32_t line, int32_t y) {
    jpegcolor::SampleRow row;
    row.width = width_;
    row.y = planes_[0].get() + size_t(line) * size_t(strides_[0]);
    if (frame_.componentCount == 1) {
        return row;
    }
    if (!frame_.lumaTwoByTwo) {
        row.cb = planes_[1].get() + size_t(line) * size_t(strides_[1]);
        row.cr = planes_[2].get() + size_t(line) * size_t(strides_[2]);
        return row;
    }
    WidenChroma(line, y);
    row.cb = used_.get();
    row.cr = used_.get() + width_;
    return row;
}

// Each chroma sample serves the 2 x 2 pixels over it, and is then averaged with the nearest sample of
// the pixel up and to the left; the top row and the left column keep their nearest samples. For pixel
// 2i the up-left neighbour's sample is sample i - 1 of the line above, for pixel 2i + 1 sample i.
void McuRowDecoder::WidenChroma(int32_t line, int32_t y) {
    int32_t stride = strides_[1];
    for (int32_t channel = 0; channel < 2; ++channel) {
        const float* plane = planes_[1 + channel].get();
        const float* current = plane + size_t(line / 2) * size_t(stride);
        const float* above = line > 0 ? plane + size_t((line - 1) / 2) * size_t(stride)
                                      : previousLine_.get() + size_t(channel) * size_t(stride);
        float* used = used_.get() + size_t(channel) * size_t(width_);
        if (y == 0) {
            jpegcolor::WidenNearest(current, used, width_);
        } else {
            jpegcolor::WidenAveraged(current, above, used, width_);
        }
    }
}

}  // namespace

ZJPEGImageReader::ZJPEGImageReader(ZFile* file) : ZImageReader(file) {}

ZJPEGImageReader::~ZJPEGImageReader() = default;

int32_t ZJPEGImageReader::ReadHeader() {
    frame_.reset();
    width_ = 0;
    height_ = 0;
    data_ = ReadAll(size_);
    if (data_ == nullptr) {
        return Fail("JPEG cannot be read into memory");
    }
    std::unique_ptr<ZJPEGFrame> frame(new (std::nothrow) ZJPEGFrame());
    if (frame == nullptr) {
        return Fail(kNoMemory);
    }
    if (const char* why = frame->Read(data_.get(), size_); why != nullptr) {
        return Fail(why);
    }
    width_ = frame->width;
    height_ = frame->height;
    frame_ = std::move(frame);
    return 0;
}

int32_t ZJPEGImageReader::ReadImage(ZOffscreen& target, int32_t, int32_t, int32_t) {
    if (frame_ == nullptr) {
        return Fail("JPEG header not read");
    }
    if (target.GetPixels() == nullptr) {
        return Fail("no pixels to decode the JPEG into");
    }
    int32_t width = std::min(frame_->width, target.GetWidth());
    int32_t height = std::min(frame_->height, target.GetHeight());
    PixelSink sink;
    if (const char* why = sink.Prepare(target, width); why != nullptr) {
        return Fail(why);
    }
    std::unique_ptr<McuRowDecoder> decoder(new (std::nothrow) McuRowDecoder(*frame_, data_.get(), size_));
    if (decoder == nullptr || !decoder->Allocate(width)) {
        return Fail(kNoMemory);
    }
    for (int32_t top = 0; top < height; top += frame_->mcuHeight) {
        decoder->DecodeRow();
        int32_t lines = std::min(frame_->mcuHeight, height - top);
        for (int32_t line = 0; line < lines; ++line) {
            sink.Write(top + line, decoder->RowAt(line, top + line));
        }
    }
    return 0;
}
