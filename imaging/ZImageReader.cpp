
#include <algorithm>
#include <iterator>
#include <new>

#include "graphics/ZAlphaChannel.h"
#include "graphics/ZColorTable.h"
#include "graphics/ZOffscreen.h"
#include "imaging/ZBMPImageReader.h"
#include "imaging/ZGIFImageReader.h"
#include "imaging/ZJPEGImageReader.h"
#include "imaging/ZPICTImageReader.h"
#include "imaging/ZPhotoshopImageReader.h"
#include "imaging/ZRawImageReader.h"
#include "imaging/ZTargaImageReader.h"
#include "media/ZFile.h"

ZImageReader::~ZImageReader() {
    if (colorTable_ != nullptr) {
        colorTable_->Release();
    }
}

void ZImageReader::GetBounds(ZRect& out, int32_t) {
    out = ZRect::FromSize(width_, height_);
}

int32_t ZImageReader::GetWidth(int32_t) {
    return width_;
}

int32_t ZImageReader::GetHeight(int32_t) {
    return height_;
}

std::unique_ptr<uint8_t[]> ZImageReader::ReadAll(size_t& size) {
    size = 0;
    if (file_ == nullptr) {
        return nullptr;
    }
    file_->Seek(0);
    int32_t length = file_->GetSize();
    if (length < 0 || size_t(length) > kMaxDataBytes) {
        return nullptr;
    }
    // One spare byte so that a reader may look one byte ahead of the last without a check.
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[size_t(length) + 1]);
    if (data == nullptr || file_->Read(data.get(), length) != length) {
        return nullptr;
    }
    data[size_t(length)] = 0;
    file_->Seek(0);
    size = size_t(length);
    return data;
}

void ZImageReader::MergePalette(const uint8_t* colours, int32_t n, uint8_t* map, int32_t reserved) {
    for (int32_t i = 0; i < n; ++i) {
        const uint8_t* c = colours + 3 * i;
        int32_t nearest = -1;
        int32_t best = 0;
        for (int32_t e = 0; e < paletteCount_; ++e) {
            const uint8_t* p = palette_ + 3 * e;
            int32_t dr = p[0] - c[0], dg = p[1] - c[1], db = p[2] - c[2];
            int32_t distance = dr * dr + dg * dg + db * db;
            if (e != reserved && (nearest < 0 || distance < best)) {
                nearest = e;
                best = distance;
            }
        }
        if ((nearest < 0 || best != 0) && paletteCount_ < 256) {
            nearest = paletteCount_++;
            std::copy(c, c + 3, palette_ + 3 * nearest);
        }
        map[i] = uint8_t(nearest < 0 ? 0 : nearest);
    }
}

ZColorTable* ZImageReader::GetColorTable(bool rebuild) {
    if (colorTable_ != nullptr && (rebuild || colorTable_->GetCount() != paletteCount_)) {
        colorTable_->Release();
        colorTable_ = nullptr;
    }
    if (colorTable_ == nullptr && paletteCount_ > 0) {
        colorTable_ = ZColorTable::CreateFromMemory(palette_, paletteCount_, 0);
    }
    if (colorTable_ != nullptr) {
        colorTable_->AddReference();
    }
    return colorTable_;
}

ZOffscreen* ZImageReader::CreateOffscreen(int32_t flags, int32_t index, int32_t option) {
    if (ReadHeader() != 0) {
        return nullptr;
    }
    ZRect bounds;
    GetBounds(bounds, index == kImageAllChained ? 0 : index);
    bounds = ZRect::FromSize(bounds.Width(), bounds.Height());
    ZColorTable* table = (flags & kLoadColorTable) != 0 ? GetColorTable(false) : nullptr;
    // Pictures are kept in the screen's format: the compositor blends only equal formats, so a 24-bit
    // frame item would otherwise vanish on a 32-bit screen. The stored depth is converted once, here.
    int32_t depth = gForcedDepth != -1 ? gForcedDepth : 0;
    ZOffscreen* offscreen = new (std::nothrow) ZOffscreen(bounds, depth, table);
    if (table != nullptr) {
        table->Release();
    }
    if (offscreen == nullptr) {
        return nullptr;
    }
    if (offscreen->GetPixels() == nullptr || ReadInto(*offscreen, flags, index, option, false) != 0) {
        DeleteOffscreenChain(offscreen);
        return nullptr;
    }
    return offscreen;
}

int32_t ZImageReader::ReadInto(ZOffscreen& target, int32_t flags, int32_t index, int32_t option,
                               bool readHeader) {
    if (readHeader) {
        if (int32_t error = ReadHeader(); error != 0) {
            return error;
        }
    }
    int32_t effectiveDepth = depth_ == 4 ? 8 : depth_;
    bool convert = depth_ >= 1 && effectiveDepth != target.GetDepth();
    ZOffscreen* current = &target;
    int32_t result = 0;
    for (int32_t i = index == kImageAllChained ? 0 : index;; ++i) {
        if (!convert) {
            result = ReadImage(*current, flags, i, option);
        } else {
            // An 8-bit decode for a target of another depth: the palette only carries the colours across,
            // so black and white are not placed, which would turn a full palette's colours nearest to them
            // into pure black and white.
            bool placement = ZColorTable::GetBlackWhitePlacement();
            bool keepPalette = effectiveDepth == 8 && target.GetDepth() != 8 && paletteCount_ > 0;
            ZColorTable::SetBlackWhitePlacement(placement && !keepPalette);
            ZColorTable* table = keepPalette ? ZColorTable::CreateFromMemory(palette_, paletteCount_, 0)
                                             : current->GetColorTable();
            std::unique_ptr<ZOffscreen> temporary(new (std::nothrow) ZOffscreen(
                current->GetRect(), effectiveDepth, table, kKindMemory, format_));
            if (table != nullptr) {
                table->Release();
            }
            if (temporary == nullptr || temporary->GetPixels() == nullptr) {
                ZColorTable::SetBlackWhitePlacement(placement);
                return -1;
            }
            result = ReadImage(*temporary, flags, i, option);
            ZColorTable::SetBlackWhitePlacement(placement);
            temporary->CopyTo(*current, nullptr, nullptr);
            // The converted pixels keep the decoded transfer mode and alpha plane, as a direct decode would.
            current->SetTransferMode(temporary->GetTransferMode());
            if (ZAlphaChannel* alpha = temporary->GetAlphaChannel()) {
                current->SetAlphaChannel(alpha);
                alpha->Release();
            }
            current->SetVisible(temporary->IsVisible());
            current->SetPosition(temporary->GetPosition());
        }
        if (result != 0 || index != kImageAllChained || i + 1 >= imageCount_) {
            break;
        }
        ZRect bounds;
        GetBounds(bounds, i + 1);
        ZColorTable* table = current->GetColorTable();
        auto* next =
            new (std::nothrow) ZOffscreen(ZRect::FromSize(bounds.Width(), bounds.Height()),
                                          current->GetDepth(), table, kKindMemory, current->GetFormat());
        if (table != nullptr) {
            table->Release();
        }
        if (next == nullptr || next->GetPixels() == nullptr) {
            delete next;  // a chain that cannot grow just ends here
            break;
        }
        next->next = current->next;
        current->next = next;
        current = next;
    }
    return result;
}

namespace {

template <class Reader>
ZImageReader* Create(ZFile* file) {
    return new (std::nothrow) Reader(file);
}

struct ReaderKind {
    ZTypeCode type;
    const char* name;
    ZImageReader* (*create)(ZFile* file);
};

// The one list of image types the framework decodes.
constexpr ReaderKind kReaderKinds[] = {
    {kTypeRix, "raw image", Create<ZRawImageReader>},
    {MakeTypeCode("RIW "), "raw image", Create<ZRawImageReader>},
    {kTypeJpeg, "JPEG", Create<ZJPEGImageReader>},
    {kTypeGif, "GIF", Create<ZGIFImageReader>},
    {kTypePhotoshop, "Photoshop", Create<ZPhotoshopImageReader>},
    {kTypePict, "PICT", Create<ZPICTImageReader>},
    {kTypeBmp, "BMP", Create<ZBMPImageReader>},
    {kTypeTarga, "Targa", Create<ZTargaImageReader>},
};
constexpr size_t kKindCount = std::size(kReaderKinds);

// The picture's way through a reader: header, offscreens, bounds, frames.
int32_t ReadPicture(ZFile& file, ZTypeCode type, const ZImageLoad& load, ZImageLoadResult& result) {
    file.Seek(0);
    std::unique_ptr<ZImageReader> reader(CreateImageReader(&file, type));
    if (reader == nullptr) {
        return -1;
    }
    result.offscreen = reader->CreateOffscreen(load.flags, load.index, load.option);
    result.error = reader->GetError();
    if (result.offscreen == nullptr) {
        return -1;
    }
    reader->GetBounds(result.bounds, load.index == kImageAllChained ? 0 : load.index);
    result.frameCount = reader->GetFrameCount();
    result.imageCount = reader->GetImageCount();
    result.depth = reader->GetDepth();
    result.width = reader->GetWidth(0);
    result.height = reader->GetHeight(0);
    return 0;
}

const ZImageReaderEntry* Table() {
    static const auto table = [] {
        struct Rows {
            ZImageReaderEntry rows[kKindCount];
        } t{};
        for (size_t i = 0; i < kKindCount; ++i) {
            t.rows[i] = ZImageReaderEntry{kReaderKinds[i].type, kReaderKinds[i].name, ReadPicture};
        }
        return t;
    }();
    return table.rows;
}

}  // namespace

ZImageReader* CreateImageReader(ZFile* file, ZTypeCode type) {
    for (const ReaderKind& kind : kReaderKinds) {
        if (kind.type == type) {
            return kind.create(file);
        }
    }
    return nullptr;
}

const ZImageReaderEntry* GetImageReaderTable(size_t& count) {
    count = kKindCount;
    return Table();
}

void InstallImageReaders() {
    SetImageReaderTable(Table(), kKindCount);
}
