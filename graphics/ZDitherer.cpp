#include "graphics/ZDitherer.h"

#include <atomic>
#include <cstring>
#include <new>

#include "core/ZRandom.h"
#include "graphics/ZColorTable.h"
#include "graphics/ZYCbCrColorTable.h"
#include "platform/Memory.h"

namespace {

std::atomic<int32_t> gPaletteMethod{kDitherErrorDiffusion};
std::atomic<int32_t> gHighColorMethod{kDitherOrdered};

bool IsMethod(int32_t method) {
    return method >= kDitherNone && method <= kDitherRandom;
}

// Levels 0..31 over -32..63 and 0..63 over -64..127: every carried, ordered or random value lands inside.
ZClipTable* AcquireClamp5() {
    return AcquireClipTable(0, 0, 32, -32, 64);
}
ZClipTable* AcquireClamp6() {
    return AcquireClipTable(0, 0, 64, -64, 128);
}
// Errors -32..31 over -512..511.
ZClipTable* AcquireErrorClamp() {
    return AcquireClipTable(0, -32, 32, -512, 512);
}

ZTableView<int32_t> ViewOf(const ZClipTable* table) {
    return table != nullptr ? table->View() : ZTableView<int32_t>();
}

// The matrix by ((x & 3) << 2) | (y & 3).
constexpr int8_t kOrderedMatrix[16] = {-8, 0, -6, 2, 4, -4, 6, -2, -5, 3, -7, 1, 7, -1, 5, -3};
static_assert(sizeof(kOrderedMatrix) == 16);

}  // namespace

void SetPaletteDitherMethod(int32_t method) {
    if (IsMethod(method)) {
        gPaletteMethod.store(method);
    }
}

int32_t GetPaletteDitherMethod() {
    return gPaletteMethod.load();
}

void SetHighColorDitherMethod(int32_t method) {
    if (IsMethod(method)) {
        gHighColorMethod.store(method);
    }
}

int32_t GetHighColorDitherMethod() {
    return gHighColorMethod.load();
}

// ---- one component

ZErrorDiffusionDitherer::ZErrorDiffusionDitherer(int32_t width) : width_(width > 0 ? width : 0) {
    size_t bytes = (size_t(width_) + 2) * sizeof(int32_t);
    rowA_ = static_cast<int32_t*>(platform::AllocLarge(bytes));
    rowB_ = static_cast<int32_t*>(platform::AllocLarge(bytes));
    clamp5Table_ = AcquireClamp5();
    clamp6Table_ = AcquireClamp6();
    errorTable_ = AcquireErrorClamp();
    // Views after every acquisition: a later one may not rebuild a block we already look at.
    clamp5_ = ViewOf(clamp5Table_);
    clamp6_ = ViewOf(clamp6Table_);
    error_ = ViewOf(errorTable_);
}

ZErrorDiffusionDitherer::~ZErrorDiffusionDitherer() {
    platform::FreeLarge(rowA_);
    platform::FreeLarge(rowB_);
    ReleaseTable(clamp5Table_);
    ReleaseTable(clamp6Table_);
    ReleaseTable(errorTable_);
}

bool ZErrorDiffusionDitherer::IsReady() const {
    return rowA_ != nullptr && rowB_ != nullptr && clamp5Table_ != nullptr && clamp6Table_ != nullptr &&
           errorTable_ != nullptr;
}

void ZErrorDiffusionDitherer::SelectRow(int32_t row) {
    bool even = (row & 1) == 0;
    current_ = even ? rowA_ : rowB_;
    next_ = even ? rowB_ : rowA_;
    row_ = row;
}

void ZErrorDiffusionDitherer::Diffuse(int32_t x, int32_t carried, int32_t chosen) {
    int32_t e = error_[carried - chosen];
    current_[x + 1] = 0;
    current_[x + 2] += 7 * e;
    next_[x] += 3 * e;
    next_[x + 1] += 5 * e;
    next_[x + 2] += e;
}

// ---- levels of 15- and 16-bit pixels

void ZLevelErrorDiffusionDitherer::SelectRow(int32_t row) {
    r_.SelectRow(row);
    g_.SelectRow(row);
    b_.SelectRow(row);
}

void ZLevelErrorDiffusionDitherer::Drop(int32_t x) {
    r_.Drop(x);
    g_.Drop(x);
    b_.Drop(x);
}

// ---- palette, error diffusion

ZRGBErrorDiffusionDitherer::ZRGBErrorDiffusionDitherer(int32_t width, ZColorTable* colorTable)
    : palette_(colorTable), r_(width), g_(width), b_(width) {}

ZRGBErrorDiffusionDitherer::~ZRGBErrorDiffusionDitherer() = default;

bool ZRGBErrorDiffusionDitherer::IsReady() const {
    return palette_.IsReady() && r_.IsReady() && g_.IsReady() && b_.IsReady();
}

void ZRGBErrorDiffusionDitherer::SelectRow(int32_t row) {
    r_.SelectRow(row);
    g_.SelectRow(row);
    b_.SelectRow(row);
}

void ZRGBErrorDiffusionDitherer::Drop(int32_t x) {
    r_.Drop(x);
    g_.Drop(x);
    b_.Drop(x);
}

uint8_t ZRGBErrorDiffusionDitherer::Index(int32_t x, int32_t r, int32_t g, int32_t b) {
    int32_t cr = r_.Carry(x, r);
    int32_t cg = g_.Carry(x, g);
    int32_t cb = b_.Carry(x, b);
    ZLevels l{r_.Level5(cr), g_.Level6(cg), b_.Level5(cb)};
    uint8_t index = palette_.IndexOf(l);
    const uint8_t* chosen = palette_.GetEntries() + 3 * index;
    r_.Diffuse(x, cr, chosen[0]);
    g_.Diffuse(x, cg, chosen[1]);
    b_.Diffuse(x, cb, chosen[2]);
    return index;
}

// ---- palette copy

// The caller's reference is not taken over: the palette takes its own.
ZDitherPalette::ZDitherPalette(ZColorTable* colorTable) : colorTable_(colorTable) {
    if (colorTable_ == nullptr) {
        return;
    }
    colorTable_->AddReference();
    std::memcpy(entries_, colorTable_->GetEntryData(), sizeof entries_);
    inverse_ = colorTable_->GetInverseTable();
}

ZDitherPalette::~ZDitherPalette() {
    if (colorTable_ != nullptr) {
        colorTable_->Release();
    }
}

// ---- ordered and random

ZShiftDitherer::ZShiftDitherer() : clamp5Table_(AcquireClamp5()), clamp6Table_(AcquireClamp6()) {
    clamp5_ = ViewOf(clamp5Table_);
    clamp6_ = ViewOf(clamp6Table_);
}

ZShiftDitherer::~ZShiftDitherer() {
    ReleaseTable(clamp5Table_);
    ReleaseTable(clamp6Table_);
}

int32_t ZOrderedDitherer::Threshold(int32_t x, int32_t y) {
    return kOrderedMatrix[((x & 3) << 2) | (y & 3)];
}

ZRandomDitherer::ZRandomDitherer() {
    // The process source is seeded once, by whichever user draws first.
    SeedRandom();
}

int32_t ZRandomDitherer::DrawShift() {
    return (RandomValue() & 15) * 4 - 32;
}

// ---- YCbCr

ZYCbCrErrorDiffusionDitherer::ZYCbCrErrorDiffusionDitherer(int32_t width, ZYCbCrColorTable* table)
    : y_(width), cb_(width), cr_(width) {
    if (table != nullptr) {
        table->AddReference();
        table_ = table;
    } else {
        table_ = new (std::nothrow) ZYCbCrColorTable(ZYCbCrColorTable::kJpegStandard, nullptr);
    }
    if (table_ == nullptr) {
        return;
    }
    indexTable_ = table_->GetIndexTable();
    if (indexTable_ == nullptr) {
        indexTable_ = table_->BuildIndexTable();
    }
    palette_ = table_->GetPaletteYCbCr();
}

ZYCbCrErrorDiffusionDitherer::ZYCbCrErrorDiffusionDitherer(int32_t width, const uint8_t* indexTable,
                                                           const uint8_t* paletteYCbCr)
    : indexTable_(indexTable), palette_(paletteYCbCr), y_(width), cb_(width), cr_(width) {}

ZYCbCrErrorDiffusionDitherer::~ZYCbCrErrorDiffusionDitherer() {
    if (table_ != nullptr) {
        table_->Release();
    }
}

bool ZYCbCrErrorDiffusionDitherer::IsReady() const {
    return indexTable_ != nullptr && palette_ != nullptr && y_.IsReady() && cb_.IsReady() && cr_.IsReady();
}

void ZYCbCrErrorDiffusionDitherer::SelectRow(int32_t row) {
    y_.SelectRow(row);
    cb_.SelectRow(row);
    cr_.SelectRow(row);
}

uint8_t ZYCbCrErrorDiffusionDitherer::Index(int32_t x, int32_t luma, int32_t cb, int32_t cr) {
    int32_t cy = y_.Carry(x, luma);
    int32_t ccb = cb_.Carry(x, cb);
    int32_t ccr = cr_.Carry(x, cr);
    int32_t y6 = y_.Level6(cy);
    int32_t cb5 = cb_.Level5(ccb);
    int32_t cr5 = cr_.Level5(ccr);
    uint8_t index = indexTable_[cb5 << 11 | cr5 << 6 | y6];
    const uint8_t* chosen = palette_ + 3 * index;
    y_.Diffuse(x, cy, chosen[0]);
    cb_.Diffuse(x, ccb, chosen[1]);
    cr_.Diffuse(x, ccr, chosen[2]);
    return index;
}
