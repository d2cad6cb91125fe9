#include "imaging/ZGIFImageReader.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/ZByteCursor.h"
#include "graphics/ZColorTable.h"
#include "graphics/ZOffscreen.h"
#include "imaging/ZLZWCodec.h"

namespace {

constexpr uint8_t kExtension = 0x21;
constexpr uint8_t kImageDescriptor = 0x2C;
constexpr uint8_t kGraphicControl = 0xF9;
constexpr uint8_t kHasTable = 0x80;
constexpr uint8_t kInterlaced = 0x40;
constexpr size_t kScreenDescriptorEnd = 13;

// Steps past a chain of sub-blocks, its terminator included; false when the data end first.
bool SkipSubBlocks(ZByteCursor& cursor) {
    for (;;) {
        uint8_t length = cursor.U8();
        if (!cursor.Ok()) {
            return false;
        }
        if (length == 0) {
            return true;
        }
        if (!cursor.Skip(length)) {
            return false;
        }
    }
}

// A graphic control extension's transparent index, or -1; the cursor ends after the extension.
int32_t ReadGraphicControl(ZByteCursor& cursor) {
    int32_t transparent = -1;
    uint8_t length = cursor.U8();
    if (length == 0) {
        return transparent;
    }
    if (length >= 4) {
        uint8_t packed = cursor.U8();
        cursor.Skip(2);  // delay
        uint8_t index = cursor.U8();
        if (cursor.Ok() && (packed & 0x01) != 0) {
            transparent = index;
        }
        length = uint8_t(length - 4);
    }
    cursor.Skip(length);
    SkipSubBlocks(cursor);
    return transparent;
}

// Reads the blocks up to and including the next image. False at the trailer, at a block of an unknown
// kind, or when the data end before the image's data start.
bool NextImage(ZByteCursor& cursor, ZGIFImageReader::Image& image) {
    image = ZGIFImageReader::Image{};
    for (;;) {
        uint8_t kind = cursor.U8();
        if (!cursor.Ok()) {
            return false;
        }
        if (kind == kExtension) {
            if (cursor.U8() == kGraphicControl) {
                image.transparent = ReadGraphicControl(cursor);
            } else {
                SkipSubBlocks(cursor);
            }
            continue;
        }
        if (kind != kImageDescriptor) {
            return false;
        }
        image.left = cursor.U16LE();
        image.top = cursor.U16LE();
        image.width = cursor.U16LE();
        image.height = cursor.U16LE();
        uint8_t flags = cursor.U8();
        image.interlaced = (flags & kInterlaced) != 0;
        if ((flags & kHasTable) != 0) {
            image.localCount = 2 << (flags & 7);
            image.localTable = cursor.Here();
            cursor.Skip(size_t(image.localCount) * 3);
        }
        image.minCodeSize = cursor.U8();
        if (!cursor.Ok()) {
            return false;
        }
        image.data = cursor.Here();
        size_t start = cursor.Position();
        image.complete = SkipSubBlocks(cursor);
        image.dataSize = (image.complete ? cursor.Position() : cursor.Size()) - start;
        return true;
    }
}

// The four interlace passes: every 8th row from 0, every 8th from 4, every 4th from 2, every 2nd from 1.
constexpr int32_t kPassStart[4] = {0, 4, 2, 1};
constexpr int32_t kPassStep[4] = {8, 8, 4, 2};

// The rows of pass among the first rows of an image.
int32_t PassRows(int32_t pass, int32_t rows) {
    return std::max(0, (rows - kPassStart[pass] + kPassStep[pass] - 1) / kPassStep[pass]);
}

// Image row n of height rows in the order the interlace passes store them.
int32_t InterlacedRow(int32_t n, int32_t height) {
    for (int32_t pass = 0; pass < 4; ++pass) {
        int32_t rows = PassRows(pass, height);
        if (n < rows) {
            return kPassStart[pass] + n * kPassStep[pass];
        }
        n -= rows;
    }
    return height;
}

// How many stored rows must be decoded to reach every image row above limit.
int32_t RowsNeeded(int32_t height, bool interlaced, int32_t limit) {
    limit = std::clamp(limit, 0, height);
    if (!interlaced) {
        return limit;
    }
    int32_t needed = 0, before = 0;
    for (int32_t pass = 0; pass < 4; ++pass) {
        if (PassRows(pass, limit) > 0) {
            needed = before + PassRows(pass, limit);
        }
        before += PassRows(pass, height);
    }
    return needed;
}

}  // namespace

ZGIFImageReader::ZGIFImageReader(ZFile* file) : ZImageReader(file) {}

ZGIFImageReader::~ZGIFImageReader() = default;

void ZGIFImageReader::MergeTable(const uint8_t* colours, int32_t count, uint8_t* map, int32_t reserved) {
    MergePalette(colours, count, map, reserved);
    // Indices the table does not cover show its first colour.
    std::fill(map + count, map + 256, map[0]);
}

void ZGIFImageReader::MergeGlobalTable() {
    paletteCount_ = 0;
    if (globalTable_ != nullptr) {
        MergeTable(globalTable_, globalCount_, globalMap_, -1);
    }
}

int32_t ZGIFImageReader::ReadHeader() {
    data_ = ReadAll(size_);
    width_ = height_ = 0;
    frameCount_ = 1;
    if (data_ == nullptr) {
        return Fail("GIF file cannot be read");
    }
    if (size_ < kScreenDescriptorEnd) {
        return Fail("GIF file is too short");
    }
    if (std::memcmp(data_.get(), "GIF", 3) != 0) {
        return Fail("not a GIF file");
    }
    ZByteCursor cursor(data_.get(), size_);
    cursor.Skip(6);
    int32_t width = cursor.U16LE();
    screenHeight_ = cursor.U16LE();
    uint8_t flags = cursor.U8();
    background_ = cursor.U8();
    cursor.Skip(1);  // aspect ratio
    if (!imagesize::EdgesOk(width, screenHeight_)) {
        return Fail("GIF screen size out of range");
    }
    globalTable_ = nullptr;
    globalCount_ = 0;
    if ((flags & kHasTable) != 0) {
        globalCount_ = 2 << (flags & 7);
        globalTable_ = cursor.Here();
        if (!cursor.Skip(size_t(globalCount_) * 3)) {
            return Fail("GIF colour table cut short");
        }
    }
    MergeGlobalTable();
    firstBlock_ = cursor.Position();

    // The bands stack into one picture, which must stay within the size limits: later images are dropped.
    int64_t screenPixels = int64_t(width) * screenHeight_;
    int64_t maxFrames =
        std::min<int64_t>(imagesize::kMaxEdge / screenHeight_, imagesize::kMaxPixels / screenPixels);
    int32_t frames = 0;
    Image image;
    while (frames < maxFrames && NextImage(cursor, image)) {
        ++frames;
        if (!image.complete) {
            break;
        }
    }
    if (frames == 0) {
        return Fail("GIF file holds no image");
    }
    width_ = width;
    height_ = screenHeight_ * frames;
    frameCount_ = frames;
    depth_ = 8;
    format_ = 0;
    return 0;
}

// Band 0 starts as the background colour; every later band starts as a copy of the band above.
void ZGIFImageReader::FillBand(ZOffscreen& target, int32_t band, uint8_t background) {
    int32_t top = band * screenHeight_;
    int32_t rows = std::min(screenHeight_, target.GetHeight() - top);
    int32_t columns = std::min(width_, target.GetWidth());
    for (int32_t y = 0; y < rows; ++y) {
        uint8_t* row = target.RowAddress(top + y);
        if (band == 0) {
            std::memset(row, background, size_t(columns));
        } else {
            std::memcpy(row, target.RowAddress(top + y - screenHeight_), size_t(columns));
        }
    }
}

// Gives the transparent index of the first image its own palette entry, which no visible colour shares:
// a new entry while the palette has room, else the one it has, which the other colours then leave.
int32_t ZGIFImageReader::ReserveTransparent(const Image& image, uint8_t* map) {
    static constexpr uint8_t kBlack[3] = {0, 0, 0};
    const uint8_t* table = image.localTable != nullptr ? image.localTable : globalTable_;
    int32_t count = image.localTable != nullptr ? image.localCount : globalCount_;
    int32_t t = image.transparent;
    int32_t entry = map[t];
    if (paletteCount_ < 256) {
        entry = paletteCount_++;
        std::memcpy(palette_ + 3 * entry, t < count ? table + 3 * t : kBlack, 3);
    }
    map[t] = uint8_t(entry);
    struct {
        uint8_t* map;
        const uint8_t* table;
        int32_t count;
    } maps[2] = {{globalMap_, globalTable_, globalCount_}, {localMap_, image.localTable, image.localCount}};
    for (const auto& m : maps) {
        for (int32_t j = 0; m.table != nullptr && j < 256; ++j) {
            if (m.map[j] == entry && !(m.map == map && j == t)) {
                MergePalette(m.table + 3 * (j < m.count ? j : 0), 1, m.map + j, entry);
            }
        }
    }
    return entry;
}

int32_t ZGIFImageReader::ReadImage(ZOffscreen& target, int32_t flags, int32_t, int32_t) {
    if ((flags & kLoadPixels) == 0) {
        return 0;
    }
    if (data_ == nullptr || width_ < 1) {
        return Fail("GIF header not read");
    }
    if (target.GetDepth() != 8 || target.GetPixels() == nullptr) {
        return Fail("GIF images decode only into 8-bit offscreens");
    }
    bool translate = (flags & kLoadColorTable) != 0;
    MergeGlobalTable();  // the palette grows the same way on every decode
    ZByteCursor cursor(data_.get(), size_);
    cursor.Seek(firstBlock_);
    ZTransferMode mode;
    int32_t reserved = -1;
    uint8_t background = translate && globalTable_ != nullptr ? globalMap_[background_] : background_;
    for (int32_t i = 0; i < frameCount_; ++i) {
        Image image;
        if (!NextImage(cursor, image)) {
            break;
        }
        FillBand(target, i, background);
        if (image.localTable != nullptr) {
            MergeTable(image.localTable, image.localCount, localMap_, reserved);
        }
        uint8_t* map = image.localTable != nullptr ? localMap_
                       : globalTable_ != nullptr   ? globalMap_
                                                   : nullptr;
        if (!translate) {
            map = nullptr;
        }
        int32_t skip = image.transparent;
        if (i == 0 && image.transparent >= 0) {
            // The first frame's transparent pixels stay transparent in the picture, through every band.
            if (map != nullptr) {
                reserved = ReserveTransparent(image, map);
            }
            mode.flags |= ZTransferMode::kTransparentIndex;
            mode.transparentIndex = uint8_t(map != nullptr ? reserved : image.transparent);
            skip = -1;
        }
        if (const char* why = DecodeImage(target, image, i * screenHeight_, map, skip); why != nullptr) {
            return Fail(why);
        }
        if (!image.complete) {
            break;
        }
    }
    if (translate && paletteCount_ > 0) {
        ZColorTable* table = GetColorTable(true);
        target.SetColorTable(table);
        if (table != nullptr) {
            // The placed black and white trade values with 0 and 255; the transparent index goes along.
            if (table->IsBlackWhitePlaced() && target.GetFormat() == kFormatIndexed8) {
                auto white = uint8_t(table->GetWhiteIndex()), black = uint8_t(table->GetBlackIndex());
                uint8_t& t = mode.transparentIndex;
                t = t == white ? 255 : t == 255 ? white : t;
                t = t == black ? 0 : t == 0 ? black : t;
            }
            table->Release();
        }
        target.RemapPlacedPalette();
    }
    target.SetTransferMode(mode);
    return 0;
}

// Decodes image into the band starting at row bandTop: pixels outside the screen (or the target) are
// decoded into the scratch row only; pixels equal to skipIndex keep what the band holds.
const char* ZGIFImageReader::DecodeImage(ZOffscreen& target, const Image& image, int32_t bandTop,
                                         const uint8_t* map, int32_t skipIndex) {
    if (image.minCodeSize < 1 || image.minCodeSize >= ZLZWCodec::kMaxCodeSize) {
        return "GIF code size out of range";
    }
    int32_t rows = std::min(screenHeight_, target.GetHeight() - bandTop);
    int32_t columns = std::min(width_, target.GetWidth());
    // Only rows up to the last one that shows are decoded: the rest cannot change the picture.
    int32_t needed = RowsNeeded(image.height, image.interlaced, rows - image.top);
    if (needed == 0 || image.width == 0 || image.left >= columns) {
        return nullptr;
    }
    std::vector<uint8_t> row(size_t(image.width));
    uint8_t* out = nullptr;
    ZLZWCodec codec(image.data, image.dataSize, &out, image.minCodeSize);
    if (!codec.IsValid()) {
        return "not enough memory for the GIF";
    }
    int32_t shown = std::min(image.width, columns - image.left);
    for (int32_t n = 0; n < needed; ++n) {
        out = row.data();
        if (codec.Decode(image.width, n + 1 == image.height) != image.width) {
            return "GIF image data cut short";
        }
        int32_t y = image.top + (image.interlaced ? InterlacedRow(n, image.height) : n);
        if (y >= rows) {
            continue;
        }
        uint8_t* dest = target.RowAddress(bandTop + y) + image.left;
        for (int32_t x = 0; x < shown; ++x) {
            uint8_t value = row[size_t(x)];
            if (value != skipIndex) {
                dest[x] = map != nullptr ? map[value] : value;
            }
        }
    }
    return nullptr;
}
