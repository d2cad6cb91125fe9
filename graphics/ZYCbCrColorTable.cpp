#include "graphics/ZYCbCrColorTable.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "graphics/ZColorTable.h"
#include "platform/Memory.h"

namespace {

// One row per family of standards: the 16.16 chroma coefficients that turn YCbCr into RGB, and the
// weights that turn RGB into Y, Cb and Cr.
struct Coefficients {
    int32_t crToR;
    int32_t cbToB;
    int32_t cbToG;
    int32_t crToG;
    double y[3];
    double cb[3];
    double cr[3];
};

constexpr Coefficients kCoefficients[] = {
    {117504, 138453, 13954, 34903, {0.2125, 0.7154, 0.0721}, {-0.115, -0.386, 0.5}, {0.5, -0.454, -0.046}},
    {104597, 132201, 25675, 53279, {0.299, 0.587, 0.114}, {-0.169, -0.331, 0.5}, {0.5, -0.419, -0.081}},
    {104448, 132798, 24759, 53109, {0.3, 0.59, 0.11}, {-0.169, -0.331, 0.5}, {0.5, -0.421, -0.079}},
    {117579, 136230, 16907, 35559, {0.212, 0.701, 0.087}, {-0.116, -0.384, 0.5}, {0.5, -0.445, -0.055}},
};
// The row each standard 0..7 uses.
constexpr int32_t kRowOfStandard[] = {0, 0, 1, 1, 2, 1, 1, 3};
static_assert(std::size(kRowOfStandard) == ZYCbCrColorTable::kStandardCount);
static_assert(std::size(kCoefficients) == 4);

// Luma (v - 16) * 255 / 219 in 16.16 fixed point: 76309 = 65536 * 255 / 219, rounded.
constexpr double kLumaFactor = 76309;
constexpr double kLumaAddend = -16 * kLumaFactor;

const Coefficients& CoefficientsOf(int32_t standard) {
    return kCoefficients[kRowOfStandard[standard]];
}

ZMultiplyTable* AcquireChromaTable(int32_t coefficient) {
    return AcquireMultiplyTable(coefficient, -128.0 * coefficient, 0, 256);
}

// 256 * 3 zero bytes: the palette of a missing colour table reads as black.
constexpr uint8_t kBlackPalette[256 * 3] = {};

uint8_t ToByte(int32_t value) {
    return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

// offset + trunc(weighted sum * scale / 256), clamped to a byte.
uint8_t Convert(const double weights[3], const uint8_t* rgb, int32_t offset, int32_t scale) {
    double sum = weights[0] * rgb[0] + weights[1] * rgb[1] + weights[2] * rgb[2];
    return ToByte(offset + static_cast<int32_t>(std::trunc(sum * scale / 256.0)));
}

struct Readers {
    ZTableView<int32_t> crToR;
    ZTableView<int32_t> cbToB;
    ZTableView<int32_t> cbToG;
    ZTableView<int32_t> crToG;
    ZTableView<int32_t> luma;
    const ZClipTable* clamp;
};

// Below the clamp table's range its first value holds, above it its last, as within.
int32_t Clamp(const ZClipTable* clamp, int32_t value) {
    return clamp->At(std::clamp(value, clamp->GetStart(), clamp->GetEnd() - 1));
}

// The palette index for the centre of Cb bucket cb, Cr bucket cr and Y bucket y.
uint8_t IndexOfBucket(const Readers& r, const uint8_t* inverse, int32_t cb, int32_t cr, int32_t y) {
    int32_t luma = r.luma[4 * y + 2];
    int32_t red = Clamp(r.clamp, (luma + r.crToR[8 * cr + 4]) >> 16);
    int32_t green = Clamp(r.clamp, (luma - r.cbToG[8 * cb + 4] - r.crToG[8 * cr + 4]) >> 16);
    int32_t blue = Clamp(r.clamp, (luma + r.cbToB[8 * cb + 4]) >> 16);
    return inverse[(red >> 3) << 11 | (green >> 2) << 5 | (blue >> 3)];
}

}  // namespace

ZYCbCrColorTable::ZYCbCrColorTable(int32_t standard, ZColorTable* colorTable)
    : standard_(standard >= 0 && standard < kStandardCount ? standard : kJpegStandard) {
    if (colorTable != nullptr) {
        colorTable->AddReference();
        colorTable_ = colorTable;
    } else {
        colorTable_ = GetCurrentColorTable();
    }
    AcquireTables();
    ConvertPalette();
}

ZYCbCrColorTable::~ZYCbCrColorTable() {
    platform::FreeLarge(indexTable_);
    ReleaseTable(crToR_);
    ReleaseTable(cbToB_);
    ReleaseTable(cbToG_);
    ReleaseTable(crToG_);
    ReleaseTable(luma_);
    ReleaseTable(clamp_);
    if (colorTable_ != nullptr) {
        colorTable_->Release();
    }
}

void ZYCbCrColorTable::AcquireTables() {
    const Coefficients& c = CoefficientsOf(standard_);
    crToR_ = AcquireChromaTable(c.crToR);
    cbToB_ = AcquireChromaTable(c.cbToB);
    cbToG_ = AcquireChromaTable(c.cbToG);
    crToG_ = AcquireChromaTable(c.crToG);
    luma_ = AcquireMultiplyTable(kLumaFactor, kLumaAddend, 0, 256);
    clamp_ = AcquireClipTable(0, 0, 256, -1024, 1024);
}

bool ZYCbCrColorTable::HasTables() const {
    return crToR_ != nullptr && cbToB_ != nullptr && cbToG_ != nullptr && crToG_ != nullptr &&
           luma_ != nullptr && clamp_ != nullptr;
}

void ZYCbCrColorTable::SetColorTable(ZColorTable* table) {
    ZColorTable* next = table;
    if (next != nullptr) {
        next->AddReference();
    } else {
        next = GetCurrentColorTable();
    }
    // Added before the old one goes, in case they are the same table.
    if (colorTable_ != nullptr) {
        colorTable_->Release();
    }
    colorTable_ = next;
    ConvertPalette();
}

void ZYCbCrColorTable::ConvertPalette() {
    const Coefficients& c = CoefficientsOf(standard_);
    const uint8_t* rgb = colorTable_ != nullptr ? colorTable_->GetEntryData() : kBlackPalette;
    // Every weighted sum stays within -1024..1023, where the clamp table is a plain clamp to a byte.
    for (int32_t i = 0; i < 256; ++i) {
        const uint8_t* entry = rgb + 3 * i;
        uint8_t* out = paletteYCbCr_ + 3 * i;
        out[0] = Convert(c.y, entry, 16, 219);
        out[1] = Convert(c.cb, entry, 128, 224);
        out[2] = Convert(c.cr, entry, 128, 224);
    }
}

const uint8_t* ZYCbCrColorTable::BuildIndexTable() {
    if (colorTable_ == nullptr || !HasTables()) {
        return nullptr;
    }
    const uint8_t* inverse = colorTable_->GetInverseTable();
    if (inverse == nullptr) {
        return nullptr;
    }
    if (indexTable_ == nullptr) {
        indexTable_ = static_cast<uint8_t*>(platform::AllocLarge(kIndexTableSize));
        if (indexTable_ == nullptr) {
            return nullptr;
        }
    }
    Readers r{crToR_->View(), cbToB_->View(), cbToG_->View(), crToG_->View(), luma_->View(), clamp_};
    for (int32_t cb = 0; cb < 32; ++cb) {
        for (int32_t cr = 0; cr < 32; ++cr) {
            uint8_t* row = indexTable_ + (cb << 11 | cr << 6);
            for (int32_t y = 0; y < 64; ++y) {
                row[y] = IndexOfBucket(r, inverse, cb, cr, y);
            }
        }
    }
    return indexTable_;
}
