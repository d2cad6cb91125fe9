#include "graphics/ZCompositor.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <type_traits>

#include "graphics/ZBlendAlpha32.h"
#include "graphics/ZColorTable.h"
#include "graphics/ZLookupTable.h"
#include "graphics/ZMask.h"
#include "graphics/ZPixelFormat.h"

namespace {

constexpr uint32_t kNone = 0;
constexpr uint32_t kT = ZTransferMode::kTransparentIndex;
constexpr uint32_t kK = ZTransferMode::kTransparentColor;
constexpr uint32_t kO = ZTransferMode::kUseOpacity;
constexpr uint32_t kA = ZTransferMode::kUseAlphaChannel;
constexpr uint32_t kM = ZTransferMode::kUseMask;

constexpr bool kCopy = false;
constexpr bool kFill = true;

// ---------------------------------------------------------------------------------------------------
// The ratio table is constant, so it lives in read-only data: one instance for every offscreen, nothing
// to create or free.

constexpr std::array<uint16_t, kRatioTableSize> BuildRatioTable() {
    std::array<uint16_t, kRatioTableSize> table{};
    for (int32_t s = 0; s < 64; ++s) {
        for (int32_t d = 0; d < 64; ++d) {
            table[size_t(s * 64 + d)] = d <= s ? 16128 : uint16_t((s * 16128 * 2 + d) / (2 * d));
        }
    }
    return table;
}

constexpr std::array<uint16_t, kRatioTableSize> kRatio = BuildRatioTable();
static_assert(kRatio[63 * 64 + 63] == 16128 && kRatio[1 * 64 + 63] == 256);

// ---------------------------------------------------------------------------------------------------
// Pixel layout helpers.

uint32_t Pack(const uint8_t rgb[3], ZByteOrder o) {
    return uint32_t(rgb[0]) << (8 * o.r) | uint32_t(rgb[1]) << (8 * o.g) | uint32_t(rgb[2]) << (8 * o.b);
}

uint32_t WordCode(const uint8_t rgb[3], int32_t depth, int16_t format) {
    if (Is565(depth, format)) {
        return uint32_t(rgb[0] >> 3) << 11 | uint32_t(rgb[1] >> 2) << 5 | uint32_t(rgb[2] >> 3);
    }
    return uint32_t(rgb[0] >> 3) << 10 | uint32_t(rgb[1] >> 3) << 5 | uint32_t(rgb[2] >> 3);
}

// The bits of a pixel that carry colour: the ignored byte of 32-bit pixels is left out.
uint32_t ColourMask(int32_t depth, int16_t format) {
    switch (BytesPerPixel(depth)) {
        case 1:
            return 0xFF;
        case 2:
            return 0xFFFF;
        case 3:
            return 0xFFFFFF;
        default:
            return ~(0xFFu << (8 * ByteOrderOf(format).x));
    }
}

// The key colour as the pixels hold it. The plain 24-bit key copy compares bytes as B, G, R whatever the
// format (the layout of the 24-bit offscreens we allocate ourselves); the blends compare in the format's
// own order.
uint32_t KeyPixel(const ZCompositeCall& call, bool blends) {
    const uint8_t* key = call.mode->keyColor;
    switch (BytesPerPixel(call.depth)) {
        case 2:
            return WordCode(key, call.depth, call.format);
        case 3:
            return Pack(key, ByteOrderOf(blends ? call.format : int16_t(kFormatBGR24)));
        default:
            return Pack(key, ByteOrderOf(call.format));
    }
}

// ---------------------------------------------------------------------------------------------------
// What a routine reads besides the pixels, gathered once per draw. It holds references to the tables it
// acquired and gives them back when the draw ends.
struct Context {
    Context() = default;
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
    ~Context() {
        ReleaseTable(differenceTable);
        ReleaseTable(weightTable);
        ReleaseTable(fillTable);
        if (colorTable != nullptr) {
            colorTable->Release();
        }
    }

    uint32_t fill = 0;                  // the fill colour as a pixel
    uint32_t key = 0;                   // the key colour as a pixel (masked by colourMask)
    uint32_t colourMask = 0xFFFFFFFFu;  // bits of a pixel that carry colour
    uint32_t transparentIndex = 0;
    int32_t opacity = 63;
    const uint8_t* blocked = nullptr;  // the mask's blocked[256]
    const uint16_t* blend = nullptr;   // the colour table's [alpha * 256 + index] 5-6-5 codes
    const uint8_t* inverse = nullptr;  // the colour table's index per 5-6-5 code
    ZTableView<int32_t> difference;    // (s - d) * opacity / 63 over -255..255
    ZTableView<int32_t> weights;       // alpha * opacity / 63 over 0..63
    ZTableView<uint32_t> fillTimes;    // the spread fill word times 0..31

    ZMultiplyTable* differenceTable = nullptr;
    ZMultiplyTable* weightTable = nullptr;
    ZUnsignedMultiplyTable* fillTable = nullptr;
    ZColorTable* colorTable = nullptr;
};

// ---------------------------------------------------------------------------------------------------
// Depth policies: how a pixel is read and written, and how two pixels are blended at a weight. Pixels
// travel as 32-bit values holding the pixel's bytes little-endian.

struct Depth8 {
    static constexpr int32_t kBytes = 1;
    static constexpr bool kPalette = true;
    static constexpr bool kPackedWord = false;
    static constexpr bool kWide = false;

    static uint32_t Load(const uint8_t* p) { return p[0]; }
    static void Store(uint8_t* p, uint32_t v) { p[0] = uint8_t(v); }
    // Both entries are scaled into 5-6-5 codes that add up without carries; the inverse table maps the
    // sum back onto the palette.
    static uint32_t Blend(const Context& c, uint32_t s, uint32_t d, int32_t w) {
        return c.inverse[c.blend[w * 256 + int32_t(s)] + c.blend[(63 - w) * 256 + int32_t(d)]];
    }
    static uint32_t BlendOpacity(const Context& c, uint32_t s, uint32_t d) {
        return Blend(c, s, d, c.opacity);
    }
};

// 15- and 16-bit words. Green moves to the upper half of a 32-bit word, so one multiplication blends
// all three components of a pixel without carries between them.
template <int32_t kRedShift, uint32_t kGreenMax>
struct DepthWord {
    static constexpr int32_t kBytes = 2;
    static constexpr bool kPalette = false;
    static constexpr bool kPackedWord = true;
    static constexpr bool kWide = false;
    static constexpr uint32_t kGreen = kGreenMax << 5;
    static constexpr uint32_t kRedBlue = (31u << kRedShift) | 31u;

    static uint32_t Load(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
    static void Store(uint8_t* p, uint32_t v) {
        p[0] = uint8_t(v);
        p[1] = uint8_t(v >> 8);
    }
    static uint32_t Spread(uint32_t p) { return (p & kGreen) << 16 | (p & kRedBlue); }
    static uint32_t Gather(uint32_t e) { return ((e >> 5) & kRedBlue) | ((e >> 21) & kGreen); }
    // Five bits of weight: w' = w / 2, so weight 1 leaves the target as it is.
    static uint32_t Blend(const Context&, uint32_t s, uint32_t d, int32_t w) {
        uint32_t half = uint32_t(w) >> 1;
        return Gather(Spread(d) * (32 - half) + Spread(s) * half);
    }
    // A fill's colour is the same for every pixel: its products come from a table.
    static uint32_t BlendFill(const Context& c, uint32_t d, int32_t w) {
        int32_t half = w >> 1;
        return Gather(Spread(d) * uint32_t(32 - half) + c.fillTimes[half]);
    }
    static uint32_t Component(const Context& c, uint32_t s, uint32_t d, int32_t shift, uint32_t max) {
        auto sc = int32_t((s >> shift) & max);
        auto dc = int32_t((d >> shift) & max);
        return uint32_t(dc + c.difference[sc - dc]) << shift;
    }
    static uint32_t BlendOpacity(const Context& c, uint32_t s, uint32_t d) {
        return Component(c, s, d, kRedShift, 31) | Component(c, s, d, 5, kGreenMax) |
               Component(c, s, d, 0, 31);
    }
};

using Depth15 = DepthWord<10, 31>;
using Depth16 = DepthWord<11, 63>;

// 24- and 32-bit pixels: every byte is blended alike; the ignored byte of 32-bit pixels comes out 0.
template <int32_t kBytesPerPixel>
struct DepthWide {
    static constexpr int32_t kBytes = kBytesPerPixel;
    static constexpr bool kPalette = false;
    static constexpr bool kPackedWord = false;
    static constexpr bool kWide = true;

    static uint32_t Load(const uint8_t* p) {
        uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
        if constexpr (kBytes == 4) {
            v |= uint32_t(p[3]) << 24;
        }
        return v;
    }
    static void Store(uint8_t* p, uint32_t v) {
        p[0] = uint8_t(v);
        p[1] = uint8_t(v >> 8);
        p[2] = uint8_t(v >> 16);
        if constexpr (kBytes == 4) {
            p[3] = uint8_t(v >> 24);
        }
    }
    // The four bytes in 16-bit lanes of a 64-bit word (bytes 0, 2, 1, 3 from the bottom).
    static uint64_t Spread(uint32_t p) { return (p & 0x00FF00FFu) | uint64_t(p & 0xFF00FF00u) << 24; }
    static uint32_t Gather(uint64_t e) {
        return uint32_t(e & 0x00FF00FFu) | (uint32_t(e >> 24) & 0xFF00FF00u);
    }
    // d + floor((s - d)(w + 1) / 64) = floor((d (64 - k) + s k) / 64) with k = w + 1: never negative and
    // at most 255 * 64 per lane, so the lanes stay apart.
    static uint32_t Blend(const Context& c, uint32_t s, uint32_t d, int32_t w) {
        uint64_t k = uint64_t(w) + 1;
        uint64_t e = ((Spread(d) * (64 - k) + Spread(s) * k) >> 6) & 0x00FF00FF00FF00FFull;
        return Gather(e) & c.colourMask;
    }
    // d + floor(g (s - d) / 16384) = floor((d (16384 - g) + s g) / 16384), again never negative.
    static uint32_t BlendRatio(const Context& c, uint32_t s, uint32_t d, int32_t g) {
        uint32_t result = 0;
        for (int32_t lane = 0; lane < kBytes; ++lane) {
            uint32_t sc = (s >> (8 * lane)) & 0xFF;
            uint32_t dc = (d >> (8 * lane)) & 0xFF;
            result |= ((dc * uint32_t(16384 - g) + sc * uint32_t(g)) >> 14) << (8 * lane);
        }
        return result & c.colourMask;
    }
    static uint32_t BlendOpacity(const Context& c, uint32_t s, uint32_t d) {
        uint32_t result = 0;
        for (int32_t lane = 0; lane < kBytes; ++lane) {
            auto sc = int32_t((s >> (8 * lane)) & 0xFF);
            auto dc = int32_t((d >> (8 * lane)) & 0xFF);
            result |= uint32_t(dc + c.difference[sc - dc]) << (8 * lane);
        }
        return result & c.colourMask;
    }
};

using Depth24 = DepthWide<3>;
using Depth32 = DepthWide<4>;

// ---------------------------------------------------------------------------------------------------
// Set-up of one draw: the tables, the fill pixel, the key. False when something needed is missing, and
// then nothing is drawn.

bool PreparePalette(const ZCompositeCall& call, Context& c) {
    c.colorTable = call.colorTable != nullptr ? call.colorTable : GetCurrentColorTable();
    if (c.colorTable == nullptr) {
        return false;
    }
    if (call.colorTable != nullptr) {
        c.colorTable->AddReference();
    }
    c.blend = c.colorTable->GetBlendTable();
    c.inverse = c.colorTable->GetInverseTable();
    return c.blend != nullptr && c.inverse != nullptr;
}

// Opacity alone blends differences through a table over -255..255; with an alpha plane it scales the
// plane's values through a table over 0..63.
bool PrepareOpacity(Context& c, bool scalesAlpha) {
    if (scalesAlpha) {
        c.weightTable = AcquireMultiplyTable(double(c.opacity) * (1.0 / 63.0), 0.0, 0, 64);
        if (c.weightTable == nullptr) {
            return false;
        }
        c.weights = c.weightTable->View();
        return true;
    }
    c.differenceTable = AcquireMultiplyTable(double(c.opacity) / 63.0, 0.0, -255, 256);
    if (c.differenceTable == nullptr) {
        return false;
    }
    c.difference = c.differenceTable->View();
    return true;
}

template <class D>
bool PrepareFillTimes(Context& c) {
    c.fillTable = AcquireUnsignedMultiplyTable(double(D::Spread(c.fill)), 0.0, 0, 32);
    if (c.fillTable == nullptr) {
        return false;
    }
    c.fillTimes = c.fillTable->UnsignedView();
    return true;
}

template <class D, uint32_t kFlags, bool kFilling>
bool Prepare(const ZCompositeCall& call, Context& c) {
    constexpr bool kBlends = (kFlags & (kA | kO)) != 0;
    if (call.mode == nullptr || call.target == nullptr || (!kFilling && call.source == nullptr) ||
        (kFilling && call.color == nullptr)) {
        return false;
    }
    c.colourMask = ColourMask(call.depth, call.format);
    c.opacity = std::min<int32_t>(call.mode->opacity, 63);
    c.transparentIndex = call.mode->transparentIndex;
    if constexpr ((kFlags & kA) != 0) {
        if (call.sourceAlpha == nullptr) {
            return false;
        }
    }
    if constexpr ((kFlags & kM) != 0) {
        ZMask* mask = call.mode->GetMask();
        if (mask == nullptr || call.mask == nullptr) {
            return false;
        }
        c.blocked = mask->GetBlocked();
    }
    if constexpr ((kFlags & kK) != 0) {
        c.key = KeyPixel(call, kBlends);
    }
    if constexpr (D::kPalette && kBlends) {
        if (!PreparePalette(call, c)) {
            return false;
        }
    }
    if constexpr (kFilling) {
        c.fill = MakeFillPixel(call.color, call.depth, call.format, call.colorTable);
    }
    if constexpr ((kFlags & kO) != 0 && (!D::kPalette || (kFlags & kA) != 0)) {
        if (!PrepareOpacity(c, (kFlags & kA) != 0)) {
            return false;
        }
    }
    if constexpr (kFilling && D::kPackedWord && (kFlags & kA) != 0) {
        return PrepareFillTimes<D>(c);
    }
    return true;
}

// ---------------------------------------------------------------------------------------------------
// The routines.

struct Rows {
    const uint8_t* source;
    uint8_t* target;
    const uint8_t* alpha;
    const uint8_t* targetAlpha;
    const uint8_t* mask;
};

template <typename T>
T* RowOf(T* first, int32_t stride, int32_t y) {
    return first != nullptr ? first + int64_t(y) * stride : nullptr;
}

template <class D, bool kFilling, bool kTargetAlpha>
uint32_t BlendAlpha(const Context& c, uint32_t s, uint32_t d, int32_t w, uint32_t targetAlpha) {
    if constexpr (kTargetAlpha) {
        return D::BlendRatio(c, s, d, kRatio[size_t(w * 64) + (targetAlpha & 63)]);
    } else if constexpr (kFilling && D::kPackedWord) {
        return D::BlendFill(c, d, w);
    } else {
        return D::Blend(c, s, d, w);
    }
}

// One row, pixel by pixel: transparency and the mask first, then the weight with its early exits.
template <class D, uint32_t kFlags, bool kFilling, bool kTargetAlpha>
void ComposeRow(const Context& c, const Rows& row, int32_t width) {
    if constexpr (std::is_same_v<D, Depth32> && kFlags == kA && !kFilling && !kTargetAlpha) {
        // The show's most frequent draw has a routine of its own, vectorised where the machine allows.
        BlendAlphaRow32(row.source, row.target, row.alpha, width, c.colourMask);
        return;
    }
    constexpr bool kAlpha = (kFlags & kA) != 0;
    constexpr bool kOpacity = (kFlags & kO) != 0;
    // The palette blends that honour a transparent index visit weights 0 and 63 too: blend and inverse
    // tables are the only way 8-bit pixels are produced, and skipping those weights would leave pixels
    // unquantised that the same draw at weight 1 re-quantises through the palette.
    constexpr bool kEveryWeight = D::kPalette && kAlpha && (kFlags & kT) != 0;
    for (int32_t x = 0; x < width; ++x) {
        uint8_t* t = row.target + int64_t(x) * D::kBytes;
        if constexpr (kFlags == kT && !kFilling) {
            // Runs of transparent pixels cost one compare per four.
            uint32_t four = 0;
            if (x + 4 <= width) {
                std::memcpy(&four, row.source + x, 4);
                if (four == c.transparentIndex * 0x01010101u) {
                    x += 3;
                    continue;
                }
            }
        }
        if constexpr (kFlags == kA && !kFilling) {
            // Runs of fully transparent or fully opaque pixels cost a compare and a copy per four.
            uint32_t four = 0;
            if (x + 4 <= width) {
                std::memcpy(&four, row.alpha + x, 4);
                four &= 0x3F3F3F3Fu;
                if (four == 0 || four == 0x3F3F3F3Fu) {
                    if (four != 0) {
                        std::memcpy(t, row.source + int64_t(x) * D::kBytes, size_t(4 * D::kBytes));
                    }
                    x += 3;
                    continue;
                }
            }
        }
        uint32_t s = 0;
        if constexpr (kFilling) {
            s = c.fill;
        } else {
            s = D::Load(row.source + int64_t(x) * D::kBytes);
        }
        if constexpr ((kFlags & kT) != 0) {
            if (s == c.transparentIndex) {
                continue;
            }
        }
        if constexpr ((kFlags & kK) != 0) {
            if ((s & c.colourMask) == c.key) {
                continue;
            }
        }
        if constexpr ((kFlags & kM) != 0) {
            if (c.blocked[row.mask[x]] != 0) {
                continue;
            }
        }
        if constexpr (!kAlpha && !kOpacity) {
            D::Store(t, s);
        } else if constexpr (!kAlpha) {
            D::Store(t, D::BlendOpacity(c, s, D::Load(t)));
        } else {
            int32_t w = row.alpha[x] & 63;
            if constexpr (kOpacity) {
                w = c.weights[w];
            }
            if constexpr (!kEveryWeight) {
                if (w == 0) {
                    continue;
                }
                if (w == 63) {
                    D::Store(t, s);
                    continue;
                }
            }
            uint32_t targetAlpha = kTargetAlpha ? row.targetAlpha[x] : 0;
            D::Store(t, BlendAlpha<D, kFilling, kTargetAlpha>(c, s, D::Load(t), w, targetAlpha));
        }
    }
}

template <class D, uint32_t kFlags, bool kFilling, bool kTargetAlpha>
void ComposeRows(const ZCompositeCall& call, const Context& c) {
    for (int32_t y = 0; y < call.height; ++y) {
        Rows row{kFilling ? nullptr : RowOf(call.source, call.sourceStride, y),
                 RowOf(call.target, call.targetStride, y), RowOf(call.sourceAlpha, call.sourceAlphaStride, y),
                 RowOf(call.targetAlpha, call.targetAlphaStride, y), RowOf(call.mask, call.maskStride, y)};
        ComposeRow<D, kFlags, kFilling, kTargetAlpha>(c, row, call.width);
    }
}

// The one template behind every routine that honours a flag.
template <class D, uint32_t kFlags, bool kFilling>
void Compose(const ZCompositeCall& call) {
    Context c;
    if (!Prepare<D, kFlags, kFilling>(call, c)) {
        return;
    }
    if constexpr (D::kWide && (kFlags & kA) != 0) {
        if (call.targetAlpha != nullptr) {
            ComposeRows<D, kFlags, kFilling, true>(call, c);
            return;
        }
    }
    ComposeRows<D, kFlags, kFilling, false>(call, c);
}

// The library copy aligns itself and never runs past the row (a hand-made lead of single bytes up to the
// next word boundary once did, on rows shorter than that distance); memmove also lets a draw overlap
// itself.
void RowCopy(const ZCompositeCall& call) {
    if (call.source == nullptr || call.target == nullptr) {
        return;
    }
    size_t bytes = size_t(call.width) * size_t(call.bytesPerPixel);
    for (int32_t y = 0; y < call.height; ++y) {
        std::memmove(RowOf(call.target, call.targetStride, y), RowOf(call.source, call.sourceStride, y),
                     bytes);
    }
}

// The first row is written pixel by pixel, the others are copies of it.
template <class D>
void FillRows(const ZCompositeCall& call) {
    if (call.target == nullptr || call.color == nullptr || call.height <= 0) {
        return;
    }
    uint32_t pixel = MakeFillPixel(call.color, call.depth, call.format, call.colorTable);
    for (int32_t x = 0; x < call.width; ++x) {
        D::Store(call.target + int64_t(x) * D::kBytes, pixel);
    }
    size_t bytes = size_t(call.width) * size_t(D::kBytes);
    for (int32_t y = 1; y < call.height; ++y) {
        std::memcpy(RowOf(call.target, call.targetStride, y), call.target, bytes);
    }
}

// ---------------------------------------------------------------------------------------------------
// The selector table: one line per (flags, depth, copy or fill), exact keys.

struct CompositorCell {
    uint32_t flags;
    int32_t depth;
    bool fill;
    ZCompositor routine;
};

template <uint32_t kFlags, int32_t kDepth, bool kFilling, class D>
constexpr CompositorCell Cell() {
    return {kFlags, kDepth, kFilling, &Compose<D, kFlags, kFilling>};
}

constexpr CompositorCell kCells[] = {
    // Plain copies and fills.
    {kNone, 8, kCopy, &RowCopy},
    {kNone, 15, kCopy, &RowCopy},
    {kNone, 16, kCopy, &RowCopy},
    {kNone, 24, kCopy, &RowCopy},
    {kNone, 32, kCopy, &RowCopy},
    {kNone, 8, kFill, &FillRows<Depth8>},
    {kNone, 15, kFill, &FillRows<Depth15>},
    {kNone, 16, kFill, &FillRows<Depth16>},
    {kNone, 24, kFill, &FillRows<Depth24>},
    {kNone, 32, kFill, &FillRows<Depth32>},
    // Transparent index and key colour. A key is compared as a whole word: one routine for 15 and 16.
    Cell<kT, 8, kCopy, Depth8>(),
    Cell<kK, 15, kCopy, Depth15>(),
    {kK, 16, kCopy, &Compose<Depth15, kK, kCopy>},
    Cell<kK, 24, kCopy, Depth24>(),
    Cell<kK, 32, kCopy, Depth32>(),
    // Opacity.
    Cell<kO, 8, kCopy, Depth8>(),
    Cell<kO, 15, kCopy, Depth15>(),
    Cell<kO, 16, kCopy, Depth16>(),
    Cell<kO, 24, kCopy, Depth24>(),
    Cell<kO, 32, kCopy, Depth32>(),
    Cell<kO, 8, kFill, Depth8>(),
    Cell<kO, 15, kFill, Depth15>(),
    Cell<kO, 16, kFill, Depth16>(),
    Cell<kO, 24, kFill, Depth24>(),
    Cell<kO, 32, kFill, Depth32>(),
    Cell<kO | kT, 8, kCopy, Depth8>(),
    Cell<kO | kK, 15, kCopy, Depth15>(),
    Cell<kO | kK, 16, kCopy, Depth16>(),
    Cell<kO | kK, 24, kCopy, Depth24>(),
    Cell<kO | kK, 32, kCopy, Depth32>(),
    // Alpha plane.
    Cell<kA, 8, kCopy, Depth8>(),
    Cell<kA, 15, kCopy, Depth15>(),
    Cell<kA, 16, kCopy, Depth16>(),
    Cell<kA, 24, kCopy, Depth24>(),
    Cell<kA, 32, kCopy, Depth32>(),
    Cell<kA, 8, kFill, Depth8>(),
    Cell<kA, 15, kFill, Depth15>(),
    Cell<kA, 16, kFill, Depth16>(),
    Cell<kA, 24, kFill, Depth24>(),
    Cell<kA, 32, kFill, Depth32>(),
    Cell<kA | kT, 8, kCopy, Depth8>(),
    Cell<kA | kK, 15, kCopy, Depth15>(),
    Cell<kA | kK, 16, kCopy, Depth16>(),
    Cell<kA | kK, 24, kCopy, Depth24>(),
    Cell<kA | kK, 32, kCopy, Depth32>(),
    // Alpha plane scaled by the opacity.
    Cell<kA | kO, 8, kCopy, Depth8>(),
    Cell<kA | kO, 15, kCopy, Depth15>(),
    Cell<kA | kO, 16, kCopy, Depth16>(),
    Cell<kA | kO, 24, kCopy, Depth24>(),
    Cell<kA | kO, 32, kCopy, Depth32>(),
    Cell<kA | kO, 8, kFill, Depth8>(),
    Cell<kA | kO, 15, kFill, Depth15>(),
    Cell<kA | kO, 16, kFill, Depth16>(),
    Cell<kA | kO, 24, kFill, Depth24>(),
    Cell<kA | kO, 32, kFill, Depth32>(),
    Cell<kA | kO | kT, 8, kCopy, Depth8>(),
    Cell<kA | kO | kK, 15, kCopy, Depth15>(),
    Cell<kA | kO | kK, 16, kCopy, Depth16>(),
    Cell<kA | kO | kK, 24, kCopy, Depth24>(),
    Cell<kA | kO | kK, 32, kCopy, Depth32>(),
    // Mask. A word is moved whole: one routine for 15 and 16. A colour-only source fills the pixels the
    // mask lets through.
    Cell<kM, 8, kCopy, Depth8>(),
    Cell<kM, 15, kCopy, Depth15>(),
    {kM, 16, kCopy, &Compose<Depth15, kM, kCopy>},
    Cell<kM, 24, kCopy, Depth24>(),
    Cell<kM, 32, kCopy, Depth32>(),
    Cell<kM, 8, kFill, Depth8>(),
    Cell<kM, 15, kFill, Depth15>(),
    Cell<kM, 16, kFill, Depth16>(),
    Cell<kM, 24, kFill, Depth24>(),
    Cell<kM, 32, kFill, Depth32>(),
    Cell<kM | kO, 8, kCopy, Depth8>(),
    Cell<kM | kO, 15, kCopy, Depth15>(),
    Cell<kM | kO, 16, kCopy, Depth16>(),
    Cell<kM | kO, 24, kCopy, Depth24>(),
    Cell<kM | kO, 32, kCopy, Depth32>(),
    Cell<kM | kO, 8, kFill, Depth8>(),
    Cell<kM | kO, 15, kFill, Depth15>(),
    Cell<kM | kO, 16, kFill, Depth16>(),
    Cell<kM | kO, 24, kFill, Depth24>(),
    Cell<kM | kO, 32, kFill, Depth32>(),
};
static_assert(std::size(kCells) == 80, "50 copy cells and 30 fill cells");

constexpr bool KeysAreUnique() {
    for (size_t i = 0; i < std::size(kCells); ++i) {
        for (size_t j = i + 1; j < std::size(kCells); ++j) {
            if (kCells[i].flags == kCells[j].flags && kCells[i].depth == kCells[j].depth &&
                kCells[i].fill == kCells[j].fill) {
                return false;
            }
        }
    }
    return true;
}
static_assert(KeysAreUnique(), "every key names one routine");

}  // namespace

const uint16_t* GetRatioTable() {
    return kRatio.data();
}

uint32_t MakeFillPixel(const uint8_t rgb[3], int32_t depth, int16_t format, ZColorTable* table) {
    switch (BytesPerPixel(depth)) {
        case 1: {
            if (format != kFormatIndexed8) {
                return rgb[0];
            }
            ZColorTable* palette = table != nullptr ? table : GetCurrentColorTable();
            if (palette == nullptr) {
                return 0;
            }
            int32_t index = std::max(palette->FindColor(rgb, true), 0);
            if (table == nullptr) {
                palette->Release();
            }
            return uint32_t(index);
        }
        case 2: {
            uint32_t code = WordCode(rgb, depth, format);
            // Big-endian words keep their high byte first.
            return (format & kNativeByteOrder) != 0 ? code : (code >> 8 | (code & 0xFF) << 8);
        }
        default:
            return Pack(rgb, ByteOrderOf(format));
    }
}

ZCompositor SelectCompositor(const ZTransferMode& mode, int32_t depth, int16_t /*format*/, bool fill) {
    uint32_t flags = mode.flags;
    if ((flags & kO) != 0) {
        if (mode.opacity == 0) {
            return nullptr;
        }
        // Full opacity draws exactly as no opacity; larger values are not opacities at all.
        if (mode.opacity >= 63) {
            flags &= ~kO;
        }
    }
    for (const CompositorCell& cell : kCells) {
        if (cell.flags == flags && cell.depth == depth && cell.fill == fill) {
            return cell.routine;
        }
    }
    return nullptr;
}
