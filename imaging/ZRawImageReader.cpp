#include "imaging/ZRawImageReader.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "core/ZByteCursor.h"
#include "graphics/ZAlphaChannel.h"
#include "graphics/ZColorTable.h"
#include "graphics/ZMask.h"
#include "graphics/ZOffscreen.h"
#include "media/ZFile.h"

namespace {

bool IsValidDepth(int32_t depth) {
    return depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
}

// The stored format must belong to the stored depth (0 and 1 stand for the depth's default).
bool IsValidFormat(int32_t depth, int16_t format) {
    if (format == 0 || format == 1) {
        return true;
    }
    int16_t plain = int16_t(format & 0x7FFF);
    switch (depth) {
        case 8:
            return format == kFormatIndexed8 || format == kFormatAlpha8;
        case 15:
            return plain == kFormatRGB555;
        case 16:
            return plain == kFormatRGB565;
        case 24:
            return format == kFormatRGB24 || format == kFormatBGR24;
        default:
            return format >= kFormatRGBX32 && format <= kFormatXBGR32;
    }
}

// The reader keeps a reference to every plane and mask it made, so later images (of this call or of the
// next, for images chained one per call) can share them.
template <class Media>
void Keep(Media*& slot, Media* media) {
    if (slot == nullptr) {
        media->AddReference();
        slot = media;
    }
}

}  // namespace

ZRawImageReader::Header ZRawImageReader::ParseHeader(const uint8_t* bytes) {
    ZByteCursor c(bytes, kHeaderSize);
    Header h;
    h.imageCount = c.S16LE();
    h.width = c.S16LE();
    h.height = c.S16LE();
    h.x = c.S16LE();
    h.y = c.S16LE();
    h.visible = c.S16LE();
    h.depth = c.S16LE();
    h.pixelSize = c.S32LE();
    h.pixelOffset = c.S32LE();
    h.alphaSize = c.S32LE();
    h.alphaRef = c.S32LE();
    h.maskSize = c.S32LE();
    h.maskRef = c.S32LE();
    h.colorTableSize = c.S32LE();
    h.colorTableOffset = c.S32LE();
    h.transferFlags = c.U8();
    h.opacity = c.U8();
    h.transparentIndex = c.U8();
    c.Read(h.keyColor, 3);
    h.frameCount = c.S16LE();
    h.format = c.S16LE();
    return h;
}

ZRawImageReader::~ZRawImageReader() {
    ReleaseShared();
}

void ZRawImageReader::ReleaseShared() {
    for (ZAlphaChannel* channel : alphas_) {
        if (channel != nullptr) {
            channel->Release();
        }
    }
    for (ZMask* mask : masks_) {
        if (mask != nullptr) {
            mask->Release();
        }
    }
    alphas_.clear();
    masks_.clear();
}

int32_t ZRawImageReader::ReadHeader() {
    headers_.clear();
    ReleaseShared();
    union_ = ZRect{};
    if (file_ == nullptr) {
        return Fail("no data");
    }
    file_->Seek(0);
    itemSize_ = file_->GetSize();
    uint8_t first[kHeaderSize];
    if (file_->Read(first, kHeaderSize) != kHeaderSize) {
        return Fail("raw image header is cut short");
    }
    int32_t count = ParseHeader(first).imageCount;
    if (count < 1) {
        return Fail("raw image has no images");
    }
    if (!imagesize::RangeOk(0, int64_t(count) * kHeaderSize, itemSize_)) {
        return Fail("raw image headers are cut short");
    }
    std::vector<uint8_t> bytes(size_t(count) * kHeaderSize);
    std::copy(first, first + kHeaderSize, bytes.begin());
    int32_t rest = (count - 1) * kHeaderSize;
    if (rest > 0 && file_->Read(bytes.data() + kHeaderSize, rest) != rest) {
        return Fail("raw image headers are cut short");
    }
    headers_.reserve(size_t(count));
    alphas_.assign(size_t(count), nullptr);
    masks_.assign(size_t(count), nullptr);
    for (int32_t i = 0; i < count; ++i) {
        headers_.push_back(ParseHeader(bytes.data() + size_t(i) * kHeaderSize));
        union_ = union_.Union(RectOf(headers_.back()));
    }
    // Every image is checked against the item before any pixel memory is asked for.
    for (const Header& image : headers_) {
        if (int32_t error = CheckImage(image); error != 0) {
            return error;
        }
    }
    if (!imagesize::EdgesOk(union_.Width(), union_.Height())) {
        return Fail("raw image is too large");
    }
    const Header& h = headers_.front();
    width_ = union_.Width();
    height_ = union_.Height();
    depth_ = h.depth;
    imageCount_ = count;
    frameCount_ = h.frameCount;
    format_ = h.format;
    return 0;
}

// The image's place: empty for images without pixels.
ZRect ZRawImageReader::RectOf(const Header& h) const {
    int32_t rows = std::abs(int32_t(h.height));
    if (h.width < 1 || rows < 1) {
        return ZRect{};
    }
    return ZRect{h.y, h.x, h.y + rows, h.x + h.width};
}

void ZRawImageReader::GetBounds(ZRect& out, int32_t index) {
    out = ZRect{};
    if (index == kImageAllChained) {
        out = union_;
    } else if (index == kImageComposed) {
        for (const Header& h : headers_) {
            if (h.visible != 0) {
                out = out.Union(RectOf(h));
            }
        }
    } else if (index >= 0 && size_t(index) < headers_.size()) {
        const Header& h = headers_[size_t(index)];
        out = ZRect::FromSize(h.width, std::abs(int32_t(h.height)));
    }
}

// 0 when the image's stored pixels can be read as its header describes them.
int32_t ZRawImageReader::CheckImage(const Header& h) {
    int32_t rows = std::abs(int32_t(h.height));
    if (!imagesize::EdgesOk(h.width, rows)) {
        return Fail("raw image has a bad size");
    }
    if (!IsValidDepth(h.depth) || !IsValidFormat(h.depth, h.format)) {
        return Fail("raw image has an unknown pixel format");
    }
    int64_t stride = h.pixelSize / rows;
    if (stride < imagesize::RowBytes(h.width, BytesPerPixel(h.depth) * 8) ||
        !imagesize::RangeOk(h.pixelOffset, int64_t(stride) * rows, itemSize_)) {
        return Fail("raw image pixels lie outside the item");
    }
    if (h.colorTableSize > 0 && !imagesize::RangeOk(h.colorTableOffset, h.colorTableSize, itemSize_)) {
        return Fail("raw image colour table lies outside the item");
    }
    return 0;
}

int32_t ZRawImageReader::ReadImage(ZOffscreen& target, int32_t flags, int32_t index, int32_t) {
    if ((flags & kLoadPixels) == 0 || headers_.empty()) {
        return 0;
    }
    int32_t count = int32_t(headers_.size());
    if (index < kImageComposed || index >= count) {
        return -1;
    }
    int32_t first = index == kImageComposed ? 0 : index;
    int32_t last = index == kImageComposed ? count - 1 : index;
    // A composed target covers the visible images, which are placed relative to its top-left corner.
    ZRect area;
    GetBounds(area, kImageComposed);
    if (index != kImageComposed) {
        const Header& h = headers_[size_t(index)];
        area = ZRect{h.y, h.x, h.y, h.x};
    }
    target.SetPosition(ZPoint{area.left, area.top});
    bool processedOne = false;
    for (int32_t i = first; i <= last; ++i) {
        const Header& h = headers_[size_t(i)];
        if (index == kImageComposed && h.visible == 0) {
            continue;
        }
        ZRect place = RectOf(h);
        bool onlyOne = first == last;
        bool atCorner = !processedOne && place.top == area.top && place.left == area.left;
        bool direct = h.depth == target.GetDepth() && (onlyOne || atCorner);
        processedOne = true;
        if (int32_t error = ReadOne(target, flags, i, direct); error != 0) {
            return error;
        }
    }
    if (target.GetDepth() == 8) {
        target.RemapPlacedPalette();
    }
    return 0;
}

// Decodes image i into target itself (direct), or into a temporary composed into target at its place.
int32_t ZRawImageReader::ReadOne(ZOffscreen& target, int32_t flags, int32_t i, bool direct) {
    const Header& h = headers_[size_t(i)];
    int32_t rows = std::abs(int32_t(h.height));
    std::unique_ptr<ZOffscreen> temporary;
    ZOffscreen* decode = &target;
    if (!direct) {
        temporary.reset(new (std::nothrow)
                            ZOffscreen(ZRect::FromSize(h.width, rows), h.depth, nullptr, kKindMemory));
        if (temporary == nullptr || temporary->GetPixels() == nullptr) {
            return Fail("out of memory");
        }
        decode = temporary.get();
    }
    ZTransferMode mode;
    if ((h.transferFlags & kHasOpacity) != 0 && h.opacity < 63) {
        mode.flags |= ZTransferMode::kUseOpacity;
        mode.opacity = h.opacity;
    }
    if ((h.transferFlags & kHasTransparentIndex) != 0) {
        mode.flags |= ZTransferMode::kTransparentIndex;
        mode.transparentIndex = h.transparentIndex;
    }
    if ((h.transferFlags & kHasKeyColor) != 0) {
        mode.flags |= ZTransferMode::kTransparentColor;
        std::copy(h.keyColor, h.keyColor + 3, mode.keyColor);
    }
    decode->SetTransferMode(mode);
    decode->SetVisible(h.visible != 0);

    file_->Seek(h.pixelOffset);
    if (decode->ReadRows(*file_, h.width, rows, h.pixelSize / rows, h.depth, h.format, h.height < 0) == 0) {
        return Fail("raw image pixels are cut short");
    }
    if ((flags & kLoadAlpha) != 0) {
        ReadAlpha(*decode, i);
    }
    if ((flags & kLoadMask) != 0) {
        ReadMask(*decode, i);
    }
    if ((flags & kLoadColorTable) != 0) {
        ReadColorTable(*decode, i);
    }
    if (temporary != nullptr && temporary->IsVisible()) {
        ZPoint origin = target.GetPosition();
        ZRect place = RectOf(h).Offset(-origin.x, -origin.y);
        temporary->CopyTo(target, nullptr, &place);
        ZAlphaChannel* from = temporary->GetAlphaChannel();
        ZAlphaChannel* into = target.GetAlphaChannel();
        if (from != nullptr && into != nullptr) {
            from->CombineInto(*into, nullptr, &place, temporary->GetOpacity());
        }
        if (from != nullptr) {
            from->Release();
        }
        if (into != nullptr) {
            into->Release();
        }
    }
    return 0;
}

// An earlier image's plane or mask made for the same size and reference, or null: images that name one
// plane share it.
template <class Media>
Media* ZRawImageReader::MadeEarlier(const std::vector<Media*>& made, int32_t i, bool alpha) const {
    const Header& h = headers_[size_t(i)];
    for (int32_t j = 0; j < i; ++j) {
        const Header& e = headers_[size_t(j)];
        bool same = alpha ? e.alphaSize == h.alphaSize && e.alphaRef == h.alphaRef
                          : e.maskSize == h.maskSize && e.maskRef == h.maskRef;
        if (made[size_t(j)] != nullptr && same) {
            return made[size_t(j)];
        }
    }
    return nullptr;
}

void ZRawImageReader::ReadAlpha(ZOffscreen& target, int32_t i) {
    if (headers_[size_t(i)].alphaRef <= 0) {
        return;
    }
    ZAlphaChannel* channel = MadeEarlier(alphas_, i, true);
    if (channel != nullptr) {
        channel->AddReference();
    } else {
        channel = MakeAlphaChannel(headers_[size_t(i)]);
    }
    if (channel != nullptr) {
        Keep(alphas_[size_t(i)], channel);
        target.SetAlphaChannel(channel);
        channel->Release();
    }
}

// The plane named by media id, or the one embedded in the item when its bytes fill the plane exactly.
ZAlphaChannel* ZRawImageReader::MakeAlphaChannel(const Header& h) {
    if (h.alphaSize == 0) {
        return h.alphaRef <= 0xFFFF ? new (std::nothrow) ZAlphaChannel(uint16_t(h.alphaRef)) : nullptr;
    }
    int32_t rows = std::abs(int32_t(h.height));
    auto* channel = new (std::nothrow) ZAlphaChannel(ZRect::FromSize(h.width, rows));
    ZOffscreen* plane = channel != nullptr ? channel->GetPlane() : nullptr;
    bool fits = plane != nullptr && plane->GetPixels() != nullptr &&
                int64_t(plane->GetStride()) * rows == h.alphaSize &&
                imagesize::RangeOk(h.alphaRef, h.alphaSize, itemSize_);
    if (fits) {
        file_->Seek(h.alphaRef);
        fits = file_->Read(plane->GetPixels(), h.alphaSize) == h.alphaSize;
    }
    if (!fits && channel != nullptr) {
        channel->Release();
        channel = nullptr;
    }
    return channel;
}

void ZRawImageReader::ReadMask(ZOffscreen& target, int32_t i) {
    const Header& h = headers_[size_t(i)];
    if (h.maskRef <= 0) {
        return;
    }
    ZMask* mask = MadeEarlier(masks_, i, false);
    if (mask != nullptr) {
        mask->AddReference();
    } else if (h.maskSize == 0 && h.maskRef <= 0xFFFF) {
        // Embedded masks are not stored by any tool; only masks named by media id are made.
        mask = new (std::nothrow) ZMask(uint16_t(h.maskRef));
    }
    if (mask != nullptr) {
        Keep(masks_[size_t(i)], mask);
        target.SetMask(mask);
        mask->Release();
    }
}

void ZRawImageReader::ReadColorTable(ZOffscreen& target, int32_t i) {
    const Header& h = headers_[size_t(i)];
    if (h.colorTableSize <= 0 || h.colorTableOffset <= 0) {
        return;
    }
    ZFile part(*file_);
    part.SetBase(file_->GetBase() + h.colorTableOffset);
    part.SetLength(h.colorTableSize);
    part.Seek(0);
    auto* table = new (std::nothrow) ZColorTable();
    if (table == nullptr) {
        return;
    }
    if (table->ReadRcx(part) && table->Realize() == 0) {
        target.SetColorTable(table);
    }
    table->Release();
}
