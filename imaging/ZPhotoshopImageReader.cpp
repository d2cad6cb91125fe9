#include "imaging/ZPhotoshopImageReader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "core/ZByteCursor.h"
#include "graphics/ZAlphaChannel.h"
#include "graphics/ZOffscreen.h"
#include "imaging/ZCMYKColor.h"
#include "imaging/ZPackBitsCodec.h"

namespace {

constexpr int32_t kFileHeaderSize = 26;
constexpr int32_t kMaxChannels = 56;
// Layers may lie partly outside the document, but not so far that their corners stop being numbers.
constexpr int64_t kMaxLayerPosition = int64_t(1) << 24;
constexpr int16_t kRaw = 0;
constexpr int16_t kPackBits = 1;
constexpr uint8_t kLayerHidden = 0x02;

int64_t Magnitude(int64_t value) {
    return value < 0 ? -value : value;
}

const char* CompressionRefusal(int32_t compression) {
    return compression == 2 || compression == 3 ? "PSD data with ZIP compression are not supported"
                                                : "PSD data have an unknown compression";
}

// The byte of a 24-bit pixel that colour channel id (0 red .. 2 blue) fills; 8-bit pixels have one.
int32_t ByteOfChannel(const ZOffscreen& target, int32_t id) {
    if (target.GetDepth() == 8) {
        return 0;
    }
    return target.GetFormat() == kFormatRGB24 ? id : 2 - id;
}

}  // namespace

bool ZPhotoshopImageReader::ReadAt(int64_t offset, void* buffer, int64_t count) {
    if (!imagesize::RangeOk(offset, count, fileSize_)) {
        return false;
    }
    in_.Seek(int32_t(offset));
    return in_.Read(buffer, int32_t(count)) == count;
}

bool ZPhotoshopImageReader::ReadRowCounts(int64_t offset, int32_t count, std::vector<uint16_t>& out) {
    // Checked before the memory is asked for: a few bytes must not claim a large table.
    if (!imagesize::RangeOk(offset, int64_t(count) * 2, fileSize_)) {
        return false;
    }
    std::vector<uint8_t> bytes(size_t(count) * 2);
    if (!ReadAt(offset, bytes.data(), int64_t(bytes.size()))) {
        return false;
    }
    ZByteCursor c(bytes.data(), bytes.size());
    out.resize(size_t(count));
    for (uint16_t& value : out) {
        value = c.U16BE();
    }
    return true;
}

int32_t ZPhotoshopImageReader::ColorChannels() const {
    return mode_ == kModeRGB ? 3 : mode_ == kModeCMYK ? 4 : 1;
}

int32_t ZPhotoshopImageReader::ReadHeader() {
    if (headerRead_) {
        return 0;
    }
    if (file_ == nullptr) {
        return Refuse(kBadHeader, "no data");
    }
    static_cast<ZFile&>(in_) = *file_;
    fileSize_ = in_.GetSize();
    layers_.clear();
    paletteCount_ = 0;
    int32_t error = ReadFileHeader();
    if (error == 0) {
        error = ReadColorModeData();
    }
    if (error == 0) {
        error = ReadLayerSection();
    }
    if (error != 0) {
        layers_.clear();
        return error;
    }
    imageCount_ = std::max<int32_t>(1, int32_t(layers_.size()));
    headerRead_ = true;
    return 0;
}

int32_t ZPhotoshopImageReader::ReadFileHeader() {
    uint8_t bytes[kFileHeaderSize];
    if (!ReadAt(0, bytes, kFileHeaderSize)) {
        return Refuse(kBadHeader, "PSD header is cut short");
    }
    ZByteCursor c(bytes, sizeof bytes);
    c.Skip(4);  // the signature, checked below
    int16_t version = c.S16BE();
    c.Skip(6);
    channels_ = c.S16BE();
    int32_t rows = c.S32BE();
    int32_t columns = c.S32BE();
    bitsPerChannel_ = c.S16BE();
    mode_ = c.S16BE();
    if (std::memcmp(bytes, "8BPS", 4) != 0 || version != 1) {
        return Refuse(kBadHeader, "not a version 1 PSD document");
    }
    if (!imagesize::EdgesOk(columns, rows)) {
        return Refuse(kBadHeader, "PSD document has a bad size");
    }
    if (bitsPerChannel_ != 8 && bitsPerChannel_ != 16) {
        return Refuse(kBadHeader, "PSD channels of other than 8 or 16 bits are not supported");
    }
    switch (mode_) {
        case kModeGrayscale:
        case kModeIndexed:
        case kModeMultichannel:
        case kModeDuotone:
        case kModeLab:
            depth_ = 8;
            break;
        case kModeRGB:
        case kModeCMYK:
            depth_ = 24;
            break;
        default:
            return Refuse(kBadHeader, "PSD colour mode is not supported");
    }
    // Every channel the colour mode needs must be there, or the row tables would be read short.
    if (channels_ < ColorChannels() || channels_ > kMaxChannels) {
        return Refuse(kBadHeader, "PSD channel count does not suit its colour mode");
    }
    width_ = columns;
    height_ = rows;
    format_ = 0;
    return 0;
}

// The palette of indexed documents (all red values, then all green, then all blue), a grey ramp for the
// other one-channel modes so that their values keep their meaning in any depth.
int32_t ZPhotoshopImageReader::ReadColorModeData() {
    uint8_t word[4];
    if (!ReadAt(kFileHeaderSize, word, 4)) {
        return Refuse(kBadColorModeData, "PSD colour mode data are cut short");
    }
    uint32_t length = ZByteCursor(word, 4).U32BE();
    int64_t start = kFileHeaderSize + 4;
    if (!imagesize::RangeOk(start, length, fileSize_)) {
        return Refuse(kBadColorModeData, "PSD colour mode data are cut short");
    }
    if (mode_ == kModeIndexed) {
        int32_t count = int32_t(std::min<uint32_t>(length / 3, 256));
        uint8_t planes[256 * 3];
        if (count == 0 || !ReadAt(start, planes, int64_t(count) * 3)) {
            return Refuse(kBadColorModeData, "PSD indexed document has no palette");
        }
        for (int32_t i = 0; i < count; ++i) {
            for (int32_t k = 0; k < 3; ++k) {
                palette_[i * 3 + k] = planes[k * count + i];
            }
        }
        paletteCount_ = count;
    } else if (depth_ == 8) {
        for (int32_t i = 0; i < 256; ++i) {
            std::memset(palette_ + i * 3, i, 3);
        }
        paletteCount_ = 256;
    }
    imageDataOffset_ = start + length;
    return 0;
}

// Image resources are passed over; the layer records are read, their channel data only located.
int32_t ZPhotoshopImageReader::ReadLayerSection() {
    uint8_t word[4];
    if (!ReadAt(imageDataOffset_, word, 4)) {
        return Refuse(kBadResources, "PSD image resources are cut short");
    }
    int64_t position = imageDataOffset_ + 4 + ZByteCursor(word, 4).U32BE();
    if (!ReadAt(position, word, 4)) {
        return Refuse(kBadLayerSection, "PSD layer section is cut short");
    }
    int64_t sectionEnd = position + 4 + ZByteCursor(word, 4).U32BE();
    if (sectionEnd > fileSize_) {
        return Refuse(kBadLayerSection, "PSD layer section is cut short");
    }
    position += 4;
    if (sectionEnd > position) {
        uint8_t info[6];
        if (!ReadAt(position, info, 6)) {
            return Refuse(kBadLayerRecords, "PSD layer records are cut short");
        }
        ZByteCursor c(info, sizeof info);
        int64_t infoEnd = position + 4 + c.U32BE();
        int32_t count = c.S16BE();
        if (infoEnd > sectionEnd) {
            return Refuse(kBadLayerRecords, "PSD layer records are cut short");
        }
        mergedTransparency_ = count < 0;
        count = count < 0 ? -count : count;
        if (infoEnd == position + 4) {
            count = 0;  // no layer info at all
        }
        position += 6;
        std::vector<Layer> all;
        for (int32_t i = 0; i < count; ++i) {
            Layer layer;
            if (int32_t error = ReadLayerRecord(layer, position, infoEnd); error != 0) {
                return error;
            }
            all.push_back(std::move(layer));
        }
        // The channels' data follow the records in the order of the records.
        for (Layer& layer : all) {
            for (Channel& channel : layer.channels) {
                channel.offset = position;
                position += channel.length;
                if (position > infoEnd) {
                    return Refuse(kBadLayerRecords, "PSD layer data lie outside their section");
                }
            }
            // Groups, their ends and adjustment layers have no pixels; they are not images.
            if (!layer.rect.IsEmpty()) {
                layers_.push_back(std::move(layer));
            }
        }
    }
    imageDataOffset_ = sectionEnd;
    return 0;
}

int32_t ZPhotoshopImageReader::ReadLayerRecord(Layer& layer, int64_t& position, int64_t end) {
    constexpr const char* kCutShort = "PSD layer records are cut short";
    uint8_t fixed[18];
    if (position + 18 > end || !ReadAt(position, fixed, 18)) {
        return Refuse(kBadLayerRecords, kCutShort);
    }
    ZByteCursor c(fixed, sizeof fixed);
    int64_t top = c.S32BE(), left = c.S32BE(), bottom = c.S32BE(), right = c.S32BE();
    int32_t channels = c.U16BE();
    position += 18;
    if (bottom > top && right > left) {
        bool placeOk = Magnitude(top) <= kMaxLayerPosition && Magnitude(left) <= kMaxLayerPosition &&
                       Magnitude(bottom) <= kMaxLayerPosition && Magnitude(right) <= kMaxLayerPosition;
        if (!placeOk || !imagesize::EdgesOk(right - left, bottom - top)) {
            return Refuse(kBadLayerRecords, "PSD layer is too large");
        }
        layer.rect = ZRect{int32_t(top), int32_t(left), int32_t(bottom), int32_t(right)};
    }
    int64_t recordBytes = int64_t(channels) * 6;
    std::vector<uint8_t> bytes(size_t(recordBytes) + 16);
    if (position + recordBytes + 16 > end || !ReadAt(position, bytes.data(), int64_t(bytes.size()))) {
        return Refuse(kBadLayerRecords, kCutShort);
    }
    ZByteCursor r(bytes.data(), bytes.size());
    layer.channels.resize(size_t(channels));
    for (Channel& channel : layer.channels) {
        channel.id = r.S16BE();
        channel.length = r.U32BE();
    }
    r.Skip(8);  // blend mode signature and key
    layer.opacity = r.U8();
    r.Skip(1);  // clipping
    layer.visible = (r.U8() & kLayerHidden) == 0;
    r.Skip(1);
    int64_t extra = r.U32BE();
    position += recordBytes + 16 + extra;
    if (position > end) {
        return Refuse(kBadLayerRecords, kCutShort);
    }
    return 0;
}

void ZPhotoshopImageReader::GetBounds(ZRect& out, int32_t index) {
    if (index < 0 || (index == 0 && layers_.empty())) {
        out = ZRect::FromSize(width_, height_);
    } else if (size_t(index) < layers_.size()) {
        const ZRect& r = layers_[size_t(index)].rect;
        out = ZRect::FromSize(r.Width(), r.Height());
    } else {
        out = ZRect{};
    }
}

int32_t ZPhotoshopImageReader::GetWidth(int32_t index) {
    ZRect r;
    GetBounds(r, index);
    return r.Width();
}

int32_t ZPhotoshopImageReader::GetHeight(int32_t index) {
    ZRect r;
    GetBounds(r, index);
    return r.Height();
}

int32_t ZPhotoshopImageReader::ReadImage(ZOffscreen& target, int32_t flags, int32_t index, int32_t) {
    if (!headerRead_) {
        return Fail("PSD header was not read");
    }
    if ((flags & kLoadPixels) == 0) {
        return 0;
    }
    int32_t images = std::max<int32_t>(1, int32_t(layers_.size()));
    if (target.GetDepth() != depth_ || index < kImageComposed || index >= images) {
        return Fail("bad arguments");
    }
    bool alpha = (flags & kLoadAlpha) != 0 && depth_ != 8 && !layers_.empty();
    if (layers_.empty()) {
        index = kImageComposed;
    }
    if (index >= 0) {
        return ReadLayer(target, layers_[size_t(index)], alpha);
    }
    return alpha ? ComposeLayers(target) : ReadMerged(target);
}

int32_t ZPhotoshopImageReader::ReadMerged(ZOffscreen& target) {
    if (target.GetPixels() == nullptr || target.GetWidth() < width_ || target.GetHeight() < height_) {
        return Refuse(kTargetTooSmall, "target is too small");
    }
    target.ClearTransferMode();
    uint8_t word[2];
    if (!ReadAt(imageDataOffset_, word, 2)) {
        return Refuse(kBadCompression, "PSD image data are missing");
    }
    int16_t compression = ZByteCursor(word, 2).S16BE();
    if (compression != kRaw && compression != kPackBits) {
        return Refuse(kBadCompression, CompressionRefusal(compression));
    }
    int64_t data = imageDataOffset_ + 2;
    // PackBits: the row byte counts of every channel come first, then the channels' rows.
    std::vector<uint16_t> counts;
    if (compression == kPackBits) {
        if (!ReadRowCounts(data, int32_t(channels_) * height_, counts)) {
            return Refuse(kBadCompression, "PSD row counts are cut short");
        }
        data += int64_t(counts.size()) * 2;
    }
    int64_t rowBytes = int64_t(width_) * (bitsPerChannel_ / 8);
    std::vector<Source> sources(static_cast<size_t>(ColorChannels()));
    for (size_t c = 0; c < sources.size(); ++c) {
        Source& s = sources[c];
        s.id = int16_t(c);
        s.compression = compression;
        s.data = data;
        s.end = fileSize_;
        if (compression == kPackBits) {
            auto first = counts.begin() + std::ptrdiff_t(c * size_t(height_));
            s.rowCounts.assign(first, first + height_);
            for (uint16_t count : s.rowCounts) {
                data += count;
            }
        } else {
            data += rowBytes * height_;
        }
    }
    if (int32_t error = ReadSources(target, width_, height_, sources); error != 0) {
        return error;
    }
    if (target.GetDepth() == 8) {
        target.RemapPlacedPalette();
    }
    return 0;
}

int32_t ZPhotoshopImageReader::ReadLayer(ZOffscreen& target, const Layer& layer, bool transparency) {
    int32_t width = layer.rect.Width(), height = layer.rect.Height();
    if (target.GetPixels() == nullptr || target.GetWidth() < width || target.GetHeight() < height) {
        return Refuse(kTargetTooSmall, "target is too small");
    }
    ZTransferMode mode;
    if (layer.opacity < 252) {
        mode.flags = ZTransferMode::kUseOpacity;
        mode.opacity = uint8_t(layer.opacity >> 2);
    }
    target.SetTransferMode(mode);
    target.SetPosition(ZPoint{layer.rect.left, layer.rect.top});
    target.SetVisible(layer.visible);
    if (transparency) {
        // Opaque until a transparency channel says otherwise: layers without one cover their rectangle.
        auto* channel = new (std::nothrow) ZAlphaChannel(target.GetRect());
        ZOffscreen* plane = channel != nullptr ? channel->GetPlane() : nullptr;
        if (plane == nullptr || plane->GetPixels() == nullptr) {
            if (channel != nullptr) {
                channel->Release();
            }
            return Refuse(kOutOfMemory, "out of memory");
        }
        for (int32_t y = 0; y < plane->GetHeight(); ++y) {
            std::memset(plane->RowAddress(y), 63, size_t(plane->GetWidth()));
        }
        target.SetAlphaChannel(channel);
        channel->Release();
    }
    std::vector<Source> sources;
    for (const Channel& channel : layer.channels) {
        bool colour = channel.id >= 0 && channel.id < ColorChannels();
        if (!colour && !(transparency && channel.id == kTransparencyId)) {
            continue;  // masks, extra channels
        }
        Source source;
        if (int32_t error = ReadLayerSource(channel, height, source); error != 0) {
            return error;
        }
        sources.push_back(std::move(source));
    }
    if (int32_t error = ReadSources(target, width, height, sources); error != 0) {
        return error;
    }
    if (target.GetDepth() == 8) {
        target.RemapPlacedPalette();
    }
    return 0;
}

int32_t ZPhotoshopImageReader::ReadLayerSource(const Channel& channel, int32_t rows, Source& out) {
    out.id = channel.id;
    out.end = channel.offset + channel.length;
    uint8_t word[2];
    if (channel.length < 2 || !ReadAt(channel.offset, word, 2)) {
        return Refuse(kBadCompression, "PSD layer channel is cut short");
    }
    out.compression = ZByteCursor(word, 2).S16BE();
    out.data = channel.offset + 2;
    if (out.compression == kPackBits) {
        if (int64_t(rows) * 2 > out.end - out.data || !ReadRowCounts(out.data, rows, out.rowCounts)) {
            return Refuse(kBadCompression, "PSD row counts are cut short");
        }
        out.data += int64_t(rows) * 2;
    } else if (out.compression != kRaw) {
        return Refuse(kBadCompression, CompressionRefusal(out.compression));
    }
    return 0;
}

// Colour channels go to their byte of the target's pixels (CMYK through a block of 4 bytes a pixel and
// the conversion), the transparency channel to the target's alpha plane as 6-bit values.
int32_t ZPhotoshopImageReader::ReadSources(ZOffscreen& target, int32_t width, int32_t height,
                                           const std::vector<Source>& sources) {
    std::unique_ptr<uint8_t[]> block;
    size_t blockBytes = size_t(width) * size_t(height) * 4;
    if (mode_ == kModeCMYK) {
        block.reset(new (std::nothrow) uint8_t[blockBytes]);
        if (block == nullptr) {
            return Refuse(kOutOfMemory, "out of memory");
        }
        std::memset(block.get(), 255, blockBytes);  // stored inverted: 255 is no ink
    }
    for (const Source& source : sources) {
        int32_t error = 0;
        if (source.id == kTransparencyId) {
            ZAlphaChannel* alpha = target.GetAlphaChannel();
            ZOffscreen* plane = alpha->GetPlane();
            error = ReadChannel(source, width, height, plane->RowAddress(0), plane->RowStep(), 1);
            for (int32_t y = 0; y < height && error == 0; ++y) {
                uint8_t* row = plane->RowAddress(y);
                std::transform(row, row + width, row, [](uint8_t v) { return uint8_t(v >> 2); });
            }
            alpha->Release();
        } else if (block != nullptr) {
            error = ReadChannel(source, width, height, block.get() + source.id, ptrdiff_t(width) * 4, 4);
        } else {
            uint8_t* first = target.RowAddress(0) + ByteOfChannel(target, source.id);
            error =
                ReadChannel(source, width, height, first, target.RowStep(), BytesPerPixel(target.GetDepth()));
        }
        if (error != 0) {
            return error;
        }
    }
    if (block != nullptr) {
        std::transform(block.get(), block.get() + blockBytes, block.get(),
                       [](uint8_t v) { return uint8_t(255 - v); });
        if (!ConvertCMYKToRGB(block.get(), width, height, target)) {
            return Refuse(kOutOfMemory, "CMYK conversion failed");
        }
    }
    return 0;
}

// One channel of width x rows samples, each row expanded to its bytes and then its samples' first
// (most significant) bytes placed step bytes apart, rows rowStep bytes apart.
int32_t ZPhotoshopImageReader::ReadChannel(const Source& source, int32_t width, int32_t rows,
                                           uint8_t* destination, ptrdiff_t rowStep, int32_t step) {
    int32_t sampleBytes = bitsPerChannel_ / 8;
    int32_t rowBytes = width * sampleBytes;
    std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
    std::unique_ptr<uint8_t[]> packed;
    ZPackBitsCodec codec;
    int64_t packedAt = 0;
    if (source.compression == kPackBits) {
        int64_t total = 0;
        for (uint16_t count : source.rowCounts) {
            total += count;
        }
        if (total > source.end - source.data || !imagesize::RangeOk(source.data, total, fileSize_)) {
            return Refuse(kBadCompression, "PSD packed data are cut short");
        }
        packed.reset(new (std::nothrow) uint8_t[size_t(total) + 1]);
        if (packed == nullptr) {
            return Refuse(kOutOfMemory, "out of memory");
        }
        if (!ReadAt(source.data, packed.get(), total)) {
            return Refuse(kBadCompression, "PSD packed data are cut short");
        }
    } else if (int64_t(rowBytes) * rows > source.end - source.data) {
        return Refuse(kShortRawData, "PSD raw data are cut short");
    }
    for (int32_t y = 0; y < rows; ++y) {
        if (packed != nullptr) {
            // Each row starts where its byte count puts it, whatever the row before consumed.
            uint16_t count = source.rowCounts[size_t(y)];
            codec.SetInput(packed.get() + packedAt, count);
            codec.SetOutput(row.data(), row.size(), 1);
            packedAt += count;
            if (codec.Decode(rowBytes) != rowBytes) {
                return Refuse(kBadCompression, "PSD packed row is cut short");
            }
        } else if (!ReadAt(source.data + int64_t(y) * rowBytes, row.data(), rowBytes)) {
            return Refuse(kShortRawData, "PSD raw data are cut short");
        }
        uint8_t* out = destination + rowStep * y;
        for (int32_t x = 0; x < width; ++x) {
            out[ptrdiff_t(x) * step] = row[size_t(x) * size_t(sampleBytes)];
        }
    }
    return 0;
}

// The visible layers composed into the target at their places; its alpha plane becomes the union of
// their coverages, so that the picture is transparent where no layer lies.
int32_t ZPhotoshopImageReader::ComposeLayers(ZOffscreen& target) {
    if (target.GetPixels() == nullptr || target.GetWidth() < width_ || target.GetHeight() < height_) {
        return Refuse(kTargetTooSmall, "target is too small");
    }
    ZAlphaChannel* coverage = target.GetAlphaChannel();
    if (coverage == nullptr) {
        coverage = new (std::nothrow) ZAlphaChannel(target.GetRect());
        if (coverage == nullptr) {
            return Refuse(kOutOfMemory, "out of memory");
        }
        target.SetAlphaChannel(coverage);
    }
    ZOffscreen* plane = coverage->GetPlane();
    if (plane == nullptr || plane->GetPixels() == nullptr) {
        coverage->Release();
        return Refuse(kOutOfMemory, "out of memory");
    }
    for (int32_t y = 0; y < plane->GetHeight(); ++y) {
        std::memset(plane->RowAddress(y), 0, size_t(plane->GetWidth()));
    }
    // One temporary holds every layer in turn: as wide as the widest and as tall as the tallest.
    int32_t widest = 0, tallest = 0;
    for (const Layer& layer : layers_) {
        if (layer.visible && layer.opacity != 0) {
            widest = std::max(widest, layer.rect.Width());
            tallest = std::max(tallest, layer.rect.Height());
        }
    }
    int32_t result = 0;
    std::unique_ptr<ZOffscreen> temporary;
    if (widest > 0) {
        temporary.reset(new (std::nothrow) ZOffscreen(ZRect::FromSize(widest, tallest), target.GetDepth(),
                                                      nullptr, kKindMemory, target.GetFormat()));
        if (temporary == nullptr || temporary->GetPixels() == nullptr) {
            result = Refuse(kOutOfMemory, "out of memory");
        }
    }
    bool first = true;
    for (size_t i = 0; i < layers_.size() && result == 0 && temporary != nullptr; ++i) {
        const Layer& layer = layers_[i];
        if (!layer.visible || layer.opacity == 0) {
            continue;
        }
        temporary->ClearTransferMode();
        result = ReadLayer(*temporary, layer, true);
        if (result != 0) {
            break;
        }
        ZRect from = ZRect::FromSize(layer.rect.Width(), layer.rect.Height());
        // The bottom layer is taken as it is; the ones above blend onto it by opacity and alpha.
        if (first) {
            temporary->CopyTo(target, &from, &layer.rect);
        } else {
            temporary->DrawInto(target, &from, &layer.rect);
        }
        first = false;
        ZAlphaChannel* alpha = temporary->GetAlphaChannel();
        alpha->CombineInto(*coverage, &from, &layer.rect, temporary->GetOpacity());
        alpha->Release();
    }
    coverage->Release();
    target.SetPosition(ZPoint{0, 0});
    target.SetVisible(true);
    return result;
}
