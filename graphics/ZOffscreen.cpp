#include "graphics/ZOffscreen.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "graphics/ZAlphaChannel.h"
#include "graphics/ZColorTable.h"
#include "graphics/ZCompositor.h"
#include "graphics/ZConverter.h"
#include "graphics/ZCopyArea.h"
#include "graphics/ZDisplayMode.h"
#include "graphics/ZDitherer.h"
#include "media/ZFile.h"
#include "platform/CWnd.h"
#include "platform/Display.h"
#include "platform/Memory.h"

namespace {

int16_t gDefaultKind = kKindMemory;

bool IsValidDepth(int32_t depth) {
    return depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
}

uint16_t ReadWord(const uint8_t* p, int16_t format) {
    return (format & kNativeByteOrder) != 0 ? uint16_t(p[0] | p[1] << 8) : uint16_t(p[0] << 8 | p[1]);
}

uint32_t Expand5(uint32_t v) {
    return (v << 3) | (v >> 2);
}
uint32_t Expand6(uint32_t v) {
    return (v << 2) | (v >> 4);
}

}  // namespace

void ZOffscreen::SetDefaultKind(int16_t kind) {
    gDefaultKind = kind == kKindDIBSection ? kind : int16_t(kKindMemory);
}

int16_t ZOffscreen::GetDefaultKind() {
    return gDefaultKind;
}

ZOffscreen::ZOffscreen(const ZRect& rect, int32_t depth, ZColorTable* colorTable, int16_t kind,
                       int16_t format, int32_t stride) {
    SetColorTable(colorTable, false);
    if (depth == 0 || depth == -2) {
        depth = ZDisplayMode::Get().GetScreenMode().depth;
    }
    Allocate(rect.Width(), rect.Height(), depth, kind, format, stride);
}

ZOffscreen::ZOffscreen(const ZRect& rect, const uint8_t rgb[3]) : colorOnly_(true), depth_(8) {
    SetColorTable(nullptr);
    rect_ = ZRect{0, 0, std::max(rect.Height(), 0), std::max(rect.Width(), 0)};
    if (rgb != nullptr) {
        std::memcpy(color_, rgb, 3);
    }
    format_ = kFormatIndexed8;
}

ZOffscreen::ZOffscreen(ZOffscreen& source, const ZRect* clipRect)
    : colorOnly_(source.colorOnly_), depth_(source.depth_) {
    SetColorTable(source.colorTable_);
    std::memcpy(color_, source.color_, 3);
    ZRect part = source.rect_;
    if (clipRect != nullptr) {
        part = part.Intersect(*clipRect);
    }
    if (part.IsEmpty()) {
        part = ZRect{};
    }
    if (colorOnly_) {
        rect_ = ZRect{0, 0, part.Height(), part.Width()};
        format_ = source.format_;
    } else if (Allocate(part.Width(), part.Height(), source.depth_, source.kind_, source.format_, 0)) {
        source.CopyTo(*this, &part, nullptr);
    }
    mode_ = source.mode_;
    if (ZAlphaChannel* alpha = mode_.GetAlphaChannel()) {
        ZAlphaChannel* cropped = new ZAlphaChannel(*alpha, &part);
        mode_.SetAlphaChannel(cropped);
        cropped->Release();
    }
}

ZOffscreen::~ZOffscreen() {
    ReleasePixels();
    if (colorTable_ != nullptr) {
        colorTable_->Release();
    }
}

bool ZOffscreen::Allocate(int32_t width, int32_t height, int32_t depth, int16_t kind, int16_t format,
                          int32_t stride) {
    ReleasePixels();
    rect_ = ZRect{0, 0, std::max(height, 0), std::max(width, 0)};
    kind_ = kind == kKindDefault ? gDefaultKind : (kind == kKindDIBSection ? kind : int16_t(kKindMemory));
    if (!IsValidDepth(depth) || width <= 0 || height <= 0 || width > kMaxEdge || height > kMaxEdge) {
        depth_ = IsValidDepth(depth) ? depth : 0;
        return false;
    }
    if (kind_ == kKindDIBSection) {
        // An uncompressed 16-bit platform bitmap holds 5-5-5 pixels.
        depth_ = depth == 16 ? 15 : depth;
        format_ = DefaultFormat(depth_);
        int32_t bits = depth_ == 15 ? 16 : depth_;
        stride_ = ((width * bits + 31) >> 5) * 4;
        bottomUp_ = true;
    } else {
        depth_ = depth;
        format_ = FitFormat(depth, format == 0 || format == 1 ? DefaultFormat(depth) : format);
        int32_t rowBytes = width * BytesPerPixel(depth);
        stride_ = stride >= rowBytes ? stride : (rowBytes + 3) & ~3;
        bottomUp_ = false;
    }
    pixels_ = static_cast<uint8_t*>(platform::AllocLarge(size_t(stride_) * size_t(height)));
    return pixels_ != nullptr;
}

void ZOffscreen::ReleasePixels() {
    lockCount_ = 0;
    platform::FreeLarge(pixels_);
    pixels_ = nullptr;
}

bool ZOffscreen::Lock() {
    ++lockCount_;
    return pixels_ != nullptr;
}

void ZOffscreen::Unlock() {
    if (lockCount_ > 0) {
        --lockCount_;
    }
}

uint8_t* ZOffscreen::RowAddress(int32_t y) const {
    if (pixels_ == nullptr) {
        return nullptr;
    }
    int32_t stored = bottomUp_ ? rect_.bottom - 1 - y : y;
    return pixels_ + size_t(stored) * size_t(stride_);
}

void ZOffscreen::Clear() {
    if (pixels_ != nullptr) {
        std::memset(pixels_, 0, size_t(stride_) * size_t(rect_.bottom));
    }
}

void ZOffscreen::FlipRows() {
    if (pixels_ == nullptr) {
        return;
    }
    // Byte ranges: any stride works, odd ones included.
    for (int32_t i = 0, j = rect_.bottom - 1; i < j; ++i, --j) {
        uint8_t* a = pixels_ + size_t(i) * size_t(stride_);
        uint8_t* b = pixels_ + size_t(j) * size_t(stride_);
        std::swap_ranges(a, a + stride_, b);
    }
}

void ZOffscreen::ConvertByteOrder(int16_t toFormat) {
    ConvertByteOrder(pixels_, stride_, rect_.right, rect_.bottom, depth_, format_, toFormat);
    if (pixels_ != nullptr && depth_ > 8) {
        format_ = toFormat;
    }
}

void ZOffscreen::ConvertByteOrder(uint8_t* pixels, int32_t stride, int32_t width, int32_t height,
                                  int32_t depth, int16_t fromFormat, int16_t toFormat) {
    if (pixels == nullptr || fromFormat == toFormat || depth <= 8) {
        return;
    }
    int32_t bpp = BytesPerPixel(depth);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* p = pixels + int64_t(y) * stride;
        for (int32_t x = 0; x < width; ++x, p += bpp) {
            if (bpp == 2) {
                if (((fromFormat ^ toFormat) & kNativeByteOrder) != 0) {
                    std::swap(p[0], p[1]);
                }
                continue;
            }
            ZByteOrder from = ByteOrderOf(fromFormat);
            ZByteOrder to = ByteOrderOf(toFormat);
            uint8_t r = p[from.r], g = p[from.g], b = p[from.b];
            if (to.x >= 0) {
                p[to.x] = 0;
            }
            p[to.r] = r;
            p[to.g] = g;
            p[to.b] = b;
        }
    }
}

uint32_t ZOffscreen::ColorAt(int32_t x, int32_t y) const {
    const uint8_t* p = RowAddress(y) + size_t(x) * size_t(BytesPerPixel(depth_));
    switch (depth_) {
        case 8: {
            if (format_ != kFormatIndexed8 || colorTable_ == nullptr) {
                return uint32_t(p[0]) << 16 | uint32_t(p[0]) << 8 | p[0];
            }
            const uint8_t* c = colorTable_->GetEntryData() + p[0] * 3;
            return uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | c[2];
        }
        case 15:
        case 16: {
            uint32_t w = ReadWord(p, format_);
            if (Is565(depth_, format_)) {
                return Expand5((w >> 11) & 31) << 16 | Expand6((w >> 5) & 63) << 8 | Expand5(w & 31);
            }
            return Expand5((w >> 10) & 31) << 16 | Expand5((w >> 5) & 31) << 8 | Expand5(w & 31);
        }
        default: {
            ZByteOrder o = ByteOrderOf(format_);
            return uint32_t(p[o.r]) << 16 | uint32_t(p[o.g]) << 8 | p[o.b];
        }
    }
}

void ZOffscreen::Fill(const ZRect* rect, const uint8_t* rgb) {
    if (pixels_ == nullptr) {
        return;
    }
    ZRect r = rect != nullptr ? *rect : rect_;
    r = r.Intersect(rect_);
    ZCompositor fill = SelectCompositor(ZTransferMode(), depth_, format_, true);
    if (r.IsEmpty() || fill == nullptr) {
        return;
    }
    ZCompositeCall call;
    call.bytesPerPixel = BytesPerPixel(depth_);
    call.target = RowAddress(r.top) + int64_t(r.left) * call.bytesPerPixel;
    call.targetStride = RowStep();
    call.width = r.Width();
    call.height = r.Height();
    call.depth = depth_;
    call.format = format_;
    call.color = rgb != nullptr ? rgb : color_;
    call.colorTable = colorTable_;
    fill(call);
}

bool ZOffscreen::CopyTo(ZOffscreen& target, const ZRect* sourceRect, const ZRect* targetRect) {
    if (pixels_ == nullptr || target.pixels_ == nullptr) {
        return false;
    }
    ZCopyArea area;
    if (!area.Clip(sourceRect != nullptr ? *sourceRect : rect_,
                   targetRect != nullptr ? *targetRect : target.rect_, rect_, target.rect_)) {
        return false;
    }
    // Big-endian words are turned into native ones once, on the first copy.
    if (BytesPerPixel(depth_) == 2 && (format_ & kNativeByteOrder) == 0) {
        ConvertByteOrder(int16_t(format_ | kNativeByteOrder));
    }
    bool palettesDiffer = depth_ == 8 && format_ == kFormatIndexed8 && target.colorTable_ != colorTable_ &&
                          (target.colorTable_ == nullptr || !target.colorTable_->Equals(colorTable_));
    if (depth_ != target.depth_ || format_ != target.format_ || palettesDiffer) {
        ZTransferMode mode = mode_;
        if (!ConvertArea(*this, target, area, mode)) {
            return false;
        }
        target.SetTransferMode(mode);
        return true;
    }
    size_t bpp = size_t(BytesPerPixel(depth_));
    for (int32_t y = 0; y < area.height; ++y) {
        std::memmove(target.RowAddress(area.targetY + y) + size_t(area.targetX) * bpp,
                     RowAddress(area.sourceY + y) + size_t(area.sourceX) * bpp, size_t(area.width) * bpp);
    }
    return true;
}

void ZOffscreen::SetColorTable(ZColorTable* table, bool convert) {
    ZColorTable* next = table != nullptr ? table : GetCurrentColorTable();
    if (table != nullptr) {
        table->AddReference();
    }
    // An equal current table stands in for the one given, so offscreens share it.
    ZColorTable* current = table != nullptr ? GetCurrentColorTable() : nullptr;
    if (current != nullptr && current != next && current->Equals(next)) {
        next->Release();
        next = current;
    } else if (current != nullptr) {
        current->Release();
    }
    if (next == colorTable_) {
        if (next != nullptr) {
            next->Release();
        }
        return;
    }
    ZColorTable* previous = colorTable_;
    colorTable_ = next;
    if (convert && previous != nullptr && next != nullptr) {
        RemapPixels(*previous, *next);
    }
    if (previous != nullptr) {
        previous->Release();
    }
}

void ZOffscreen::RemapPixels(ZColorTable& from, ZColorTable& to) {
    if (pixels_ == nullptr || depth_ != 8 || format_ != kFormatIndexed8) {
        return;
    }
    // With dithering on, a copy under the old table is converted back through the palette ditherer.
    if (GetPaletteDitherMethod() != kDitherNone) {
        std::unique_ptr<ZOffscreen> copy(new (std::nothrow) ZOffscreen(*this, nullptr));
        if (copy != nullptr && copy->pixels_ != nullptr) {
            copy->SetColorTable(&from, false);
            if (copy->CopyTo(*this, nullptr, nullptr)) {
                return;
            }
        }
    }
    // Each old index maps to the new table's nearest entry for its colour.
    uint8_t map[256];
    for (int32_t i = 0; i < 256; ++i) {
        map[i] = uint8_t(std::max(to.FindColor(from.GetEntryData() + i * 3, true), 0));
    }
    for (int32_t y = 0; y < rect_.bottom; ++y) {
        uint8_t* p = RowAddress(y);
        for (int32_t x = 0; x < rect_.right; ++x) {
            p[x] = map[p[x]];
        }
    }
}

ZColorTable* ZOffscreen::GetColorTable() const {
    if (colorTable_ != nullptr) {
        colorTable_->AddReference();
    }
    return colorTable_;
}

ZAlphaChannel* ZOffscreen::GetAlphaChannel() const {
    ZAlphaChannel* alpha = mode_.GetAlphaChannel();
    if (alpha != nullptr) {
        alpha->AddReference();
    }
    return alpha;
}

void ZOffscreen::SetTransferMode(const ZTransferMode& mode) {
    mode_ = mode;
    // An alpha channel only goes with pixels of its own size.
    ZAlphaChannel* alpha = mode_.GetAlphaChannel();
    if (alpha != nullptr && !(alpha->GetBounds() == rect_)) {
        mode_.SetAlphaChannel(nullptr);
    }
    if (mode_.Has(ZTransferMode::kTransparentIndex) && depth_ != 8) {
        ZColorTable* table = colorTable_ != nullptr ? GetColorTable() : GetCurrentColorTable();
        if (table != nullptr) {
            std::memcpy(mode_.keyColor, table->GetEntryData() + mode_.transparentIndex * 3, 3);
            table->Release();
        }
        mode_.flags = (mode_.flags & ~ZTransferMode::kTransparentIndex) | ZTransferMode::kTransparentColor;
    } else if (mode_.Has(ZTransferMode::kTransparentColor) && depth_ == 8 && colorTable_ != nullptr) {
        int32_t index = colorTable_->FindColor(mode_.keyColor, true);
        if (index >= 0) {
            mode_.transparentIndex = uint8_t(index);
            mode_.flags =
                (mode_.flags & ~ZTransferMode::kTransparentColor) | ZTransferMode::kTransparentIndex;
        }
    }
}

int32_t ZOffscreen::GetAlphaAt(int32_t x, int32_t y) const {
    if (pixels_ == nullptr || x < 0 || y < 0 || x >= rect_.right || y >= rect_.bottom) {
        return 0;
    }
    if (mode_.Has(ZTransferMode::kTransparentIndex) && depth_ == 8 &&
        RowAddress(y)[x] == mode_.transparentIndex) {
        return 0;
    }
    if (mode_.Has(ZTransferMode::kTransparentColor)) {
        uint32_t pixel = ColorAt(x, y);
        uint32_t key =
            uint32_t(mode_.keyColor[0]) << 16 | uint32_t(mode_.keyColor[1]) << 8 | mode_.keyColor[2];
        if (BytesPerPixel(depth_) == 2) {
            // The key is compared at the precision the pixels have.
            bool six = Is565(depth_, format_);
            uint32_t r = Expand5(mode_.keyColor[0] >> 3);
            uint32_t g = six ? Expand6(mode_.keyColor[1] >> 2) : Expand5(mode_.keyColor[1] >> 3);
            uint32_t b = Expand5(mode_.keyColor[2] >> 3);
            key = r << 16 | g << 8 | b;
        }
        if (pixel == key) {
            return 0;
        }
    }
    if (mode_.Has(ZTransferMode::kUseOpacity) && mode_.opacity == 0) {
        return 1;
    }
    ZAlphaChannel* alpha = mode_.GetAlphaChannel();
    int32_t a = mode_.Has(ZTransferMode::kUseAlphaChannel) && alpha != nullptr ? alpha->GetAlphaAt(x, y) : 63;
    if (!mode_.Has(ZTransferMode::kUseOpacity)) {
        return a;
    }
    return int32_t(float(mode_.opacity) * float(a) * 0.015873017f);
}

void ZOffscreen::DrawToWindow(CWnd& window, const ZRect* sourceRect, const ZRect* targetRect) {
    if (pixels_ == nullptr || !window.IsWindowVisible()) {
        return;
    }
    platform::Display& display = platform::Display::Get();
    int32_t screenDepth = display.GetMode().depth;
    bool widen = depth_ == 15 && screenDepth == 16;
    if ((depth_ != screenDepth && !widen) || (format_ != DefaultFormat(depth_) && depth_ != 8)) {
        return;  // not in the screen's layout
    }
    platform::ScreenRect frame = window.GetWindowRect();
    ZRect client{0, 0, frame.Height(), frame.Width()};
    ZCopyArea area;
    if (!area.Clip(sourceRect != nullptr ? *sourceRect : rect_, targetRect != nullptr ? *targetRect : client,
                   rect_, client)) {
        return;
    }
    int32_t bpp = BytesPerPixel(depth_);
    std::vector<uint8_t> row(widen ? size_t(area.width) * 2 : 0);
    for (int32_t y = 0; y < area.height; ++y) {
        const uint8_t* from = RowAddress(area.sourceY + y) + area.sourceX * bpp;
        if (widen) {
            // 5-5-5 words become 5-6-5 ones: green gains a low bit.
            for (int32_t x = 0; x < area.width; ++x) {
                uint32_t p = uint32_t(from[x * 2] | from[x * 2 + 1] << 8);
                uint32_t q = (p & 0x7C00) << 1 | (p & 0x03E0) << 1 | (p & 0x0200) >> 4 | (p & 0x001F);
                row[size_t(x) * 2] = uint8_t(q);
                row[size_t(x) * 2 + 1] = uint8_t(q >> 8);
            }
            from = row.data();
        }
        display.Blit(frame.left + area.targetX, frame.top + area.targetY + y, from, 0, area.width, 1);
    }
}

int32_t ZOffscreen::ReadRows(ZFile& file, int32_t width, int32_t height, int32_t stride, int32_t depth,
                             int16_t format, bool bottomUp) {
    int32_t bpp = BytesPerPixel(depth);
    if (pixels_ == nullptr || width <= 0 || height <= 0 || depth != depth_ ||
        int64_t(stride) < int64_t(width) * bpp) {
        return 0;
    }
    int16_t fileFormat = format == 0 || format == 1 ? DefaultFormat(depth) : format;
    // Only the rows that fit are kept; the file is still read past the others so its position is right.
    int32_t rows = std::min(height, rect_.bottom);
    size_t keep = size_t(std::min(width, rect_.right)) * size_t(bpp);
    // Data that cannot be there is not waited for (nor allocated for).
    if (int64_t(stride) * height > int64_t(file.GetSize()) - file.Tell()) {
        return 0;
    }
    std::vector<uint8_t> row(static_cast<size_t>(stride));
    int64_t total = 0;
    for (int32_t i = 0; i < height; ++i) {
        if (file.Read(row.data(), stride) != stride) {
            return 0;
        }
        total += stride;
        int32_t y = bottomUp ? height - 1 - i : i;
        if (y >= rows) {
            continue;
        }
        // The file's words or bytes are turned into this offscreen's order.
        ConvertByteOrder(row.data(), stride, width, 1, depth, fileFormat, format_);
        std::memcpy(RowAddress(y), row.data(), keep);
    }
    return int32_t(std::min<int64_t>(total, INT32_MAX));
}

void ZOffscreen::RemapPlacedPalette() {
    if (pixels_ == nullptr || depth_ != 8 || format_ != kFormatIndexed8 || colorTable_ == nullptr ||
        !colorTable_->IsBlackWhitePlaced()) {
        return;
    }
    auto white = uint8_t(colorTable_->GetWhiteIndex());
    auto black = uint8_t(colorTable_->GetBlackIndex());
    // Each pair trades places in one pass, so no value is moved twice.
    for (int32_t y = 0; y < rect_.bottom; ++y) {
        uint8_t* p = RowAddress(y);
        for (int32_t x = 0; x < rect_.right; ++x) {
            p[x] = p[x] == white ? 255 : p[x] == 255 ? white : p[x];
            p[x] = p[x] == black ? 0 : p[x] == 0 ? black : p[x];
        }
    }
}
