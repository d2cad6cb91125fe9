#include "graphics/ZColorTable.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "media/ZMediaServer.h"
#include "platform/Memory.h"

namespace {

ZColorTable* gCurrentColorTable = nullptr;
bool gPaletteChanged = false;
bool gBlackWhitePlacement = true;

constexpr uint8_t kBlack[3] = {0, 0, 0};
constexpr uint8_t kWhite[3] = {255, 255, 255};

int32_t SquaredDistance(const uint8_t* a, const uint8_t* b) {
    int32_t dr = int32_t(a[0]) - b[0];
    int32_t dg = int32_t(a[1]) - b[1];
    int32_t db = int32_t(a[2]) - b[2];
    return dr * dr + dg * dg + db * db;
}

void SetEntry(uint8_t* entries, int32_t index, uint8_t r, uint8_t g, uint8_t b) {
    entries[index * 3] = r;
    entries[index * 3 + 1] = g;
    entries[index * 3 + 2] = b;
}

// Every value equal to a becomes b and every value equal to b becomes a, in one pass, so that a table
// keeps pointing at the same colours after entries a and b trade places.
void ExchangeIndices(uint8_t* table, int32_t size, uint8_t a, uint8_t b) {
    for (int32_t i = 0; i < size; ++i) {
        if (table[i] == a) {
            table[i] = b;
        } else if (table[i] == b) {
            table[i] = a;
        }
    }
}

// The system palette: twenty fixed colours at both ends, a colour grid in between.
constexpr uint8_t kSystemLow[10][3] = {{0, 0, 0},       {128, 0, 0},    {0, 128, 0},   {128, 128, 0},
                                       {0, 0, 128},     {128, 0, 128},  {0, 128, 128}, {128, 128, 128},
                                       {192, 220, 192}, {166, 202, 240}};
constexpr uint8_t kSystemHigh[10][3] = {{255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},
                                        {0, 255, 0},     {255, 255, 0},   {0, 0, 255},     {255, 0, 255},
                                        {0, 255, 255},   {255, 255, 255}};
constexpr uint8_t kSystemExtra[6][3] = {{204, 204, 255}, {255, 204, 255}, {51, 255, 255},
                                        {102, 255, 255}, {153, 255, 255}, {204, 255, 255}};
constexpr uint8_t kGridRed[7] = {0, 42, 85, 127, 170, 212, 255};
constexpr uint8_t kGridGreen[9] = {0, 31, 63, 95, 127, 159, 191, 223, 255};
constexpr uint8_t kGridBlue[4] = {0, 85, 170, 255};
constexpr int32_t kGridPoints = 7 * 9 * 4;
constexpr int32_t kGridStart = 1 * 36 + 2 * 4 + 2;  // (42, 63, 170)
constexpr int32_t kExtraFirst = 212;

bool IsFixedSystemColour(const uint8_t rgb[3]) {
    for (int32_t i = 0; i < 10; ++i) {
        if (std::memcmp(rgb, kSystemLow[i], 3) == 0 || std::memcmp(rgb, kSystemHigh[i], 3) == 0) {
            return true;
        }
    }
    return false;
}

void FillSystemPalette(uint8_t* entries) {
    std::memcpy(entries, kSystemLow, sizeof kSystemLow);
    std::memcpy(entries + 246 * 3, kSystemHigh, sizeof kSystemHigh);
    std::memcpy(entries + kExtraFirst * 3, kSystemExtra, sizeof kSystemExtra);
    int32_t slot = 10;
    for (int32_t k = 0; k < kGridPoints; ++k) {
        int32_t p = (kGridStart + k) % kGridPoints;
        uint8_t rgb[3] = {kGridRed[p / 36], kGridGreen[p / 4 % 9], kGridBlue[p % 4]};
        // Dark blues and greens are covered by the fixed colours already.
        if ((rgb[0] == 0 && rgb[1] < 127) || IsFixedSystemColour(rgb)) {
            continue;
        }
        std::memcpy(entries + slot * 3, rgb, 3);
        slot = slot + 1 == kExtraFirst ? kExtraFirst + 6 : slot + 1;
    }
}

// The 6 x 6 x 6 cube from white down, blue fastest; returns the next free entry.
int32_t FillCube(uint8_t* entries, int32_t first, bool withBlack) {
    int32_t at = first;
    for (int32_t r = 0; r < 6; ++r) {
        for (int32_t g = 0; g < 6; ++g) {
            for (int32_t b = 0; b < 6; ++b) {
                if (withBlack || r + g + b < 15) {
                    SetEntry(entries, at++, uint8_t(255 - 51 * r), uint8_t(255 - 51 * g),
                             uint8_t(255 - 51 * b));
                }
            }
        }
    }
    return at;
}

void FillWebPalette(uint8_t* entries) {
    static constexpr uint8_t kRamp[10] = {238, 221, 187, 170, 136, 119, 85, 68, 34, 17};
    int32_t at = FillCube(entries, 0, false);
    for (int32_t channel = 0; channel < 4; ++channel) {
        for (uint8_t level : kRamp) {
            bool grey = channel == 3;
            SetEntry(entries, at++, grey || channel == 0 ? level : 0, grey || channel == 1 ? level : 0,
                     grey || channel == 2 ? level : 0);
        }
    }
    SetEntry(entries, at, 0, 0, 0);
}

// Grey, blue, red and green ramps of 32 levels, a 5 x 5 x 5 cube and three accents.
void FillRampPalette(uint8_t* entries) {
    static constexpr uint8_t kCube[5] = {0, 64, 128, 191, 255};
    for (int32_t i = 0; i < 32; ++i) {
        uint8_t grey = uint8_t(i * 8);
        uint8_t level = uint8_t(i * 8 + 7);
        SetEntry(entries, i, grey, grey, grey);
        SetEntry(entries, 32 + i, 0, 0, level);
        SetEntry(entries, 64 + i, level, 0, 0);
        SetEntry(entries, 96 + i, 0, level, 0);
    }
    int32_t at = 128;
    for (uint8_t r : kCube) {
        for (uint8_t g : kCube) {
            for (uint8_t b : kCube) {
                SetEntry(entries, at++, r, g, b);
            }
        }
    }
    SetEntry(entries, at++, 255, 128, 0);
    SetEntry(entries, at++, 128, 0, 255);
    SetEntry(entries, at, 0, 128, 255);
}

// Fills the entries of a built-in palette and returns their count.
int32_t FillBuiltIn(uint8_t* entries, int32_t kind) {
    switch (kind) {
        case 0:
        case 1:
            FillSystemPalette(entries);
            return 256;
        case 2:
            FillWebPalette(entries);
            return 256;
        case 3:
            FillRampPalette(entries);
            return 256;
        case 4:
            return FillCube(entries, 0, true);
        default:
            for (int32_t i = 0; i < 256; ++i) {
                SetEntry(entries, i, uint8_t(i), uint8_t(i), uint8_t(i));
            }
            return 256;
    }
}

// Component c scaled by a / 63 for every alpha, rounded; the steps are accumulated in single precision so
// that the codes match the tables stored with the media.
void ScaleComponent(uint8_t c, uint8_t out[64]) {
    float step = float(c) / 63.0f;
    float scaled = 0.0f;
    for (int32_t a = 0; a < 64; ++a) {
        out[a] = uint8_t(std::min(int32_t(scaled + 0.49f), int32_t(c)));
        scaled += step;
    }
}

}  // namespace

ZColorTable::ZColorTable() = default;

ZColorTable::~ZColorTable() {
    if (gCurrentColorTable == this) {
        gCurrentColorTable = nullptr;
    }
    FreeLookupTables();
}

ZColorTable* ZColorTable::CreateBuiltIn(int32_t kind) {
    auto* table = new (std::nothrow) ZColorTable();
    if (table != nullptr) {
        table->count_ = FillBuiltIn(table->entries_, kind);
        table->Realize();
    }
    return table;
}

ZColorTable* ZColorTable::CreateFromMemory(const uint8_t* bytes, int32_t count, int32_t skip) {
    if (bytes == nullptr || count < 1 || count > kMaxEntries || skip < 0) {
        return nullptr;
    }
    auto* table = new (std::nothrow) ZColorTable();
    if (table == nullptr) {
        return nullptr;
    }
    for (int32_t i = 0; i < count; ++i) {
        std::memcpy(table->entries_ + i * 3, bytes + size_t(i) * (size_t(3) + size_t(skip)), 3);
    }
    table->count_ = count;
    table->Realize();
    return table;
}

ZColorTable* ZColorTable::CreateFromMedia(uint16_t id) {
    auto* table = new (std::nothrow) ZColorTable();
    if (table == nullptr || gMediaServer == nullptr) {
        return table;
    }
    ZFile file;
    ZTypeCode type = kTypeRcx;
    // The server may hand out another type under the same id; only colour table data are read here.
    if (gMediaServer->OpenItem(id, file, type) && type == kTypeRcx && table->ReadRcx(file)) {
        table->loaded_ = table->Realize() == 0;
    }
    return table;
}

bool ZColorTable::ReadRcx(ZFile& file) {
    Reset();
    if (!ReadRcxEntries(file) || !ReadRcxTables(file)) {
        Reset();
        return false;
    }
    DetectGrey();
    return true;
}

bool ZColorTable::ReadRcxEntries(ZFile& file) {
    int16_t count = 0;
    if (file.ReadShort(count) != 2 || count < 0 || count > kMaxEntries) {
        return false;
    }
    int32_t bytes = int32_t(count) * 3;
    if (file.Read(entries_, bytes) != bytes) {
        return false;
    }
    count_ = count;
    return true;
}

// Anything after the entries starts with the flag word; a lone byte there is a short read.
bool ZColorTable::ReadRcxTables(ZFile& file) {
    int16_t word = 0;
    int32_t got = file.ReadShort(word);
    if (got == 0) {
        return true;
    }
    if (got != 2) {
        return false;
    }
    uint16_t flags = uint16_t(word);
    if ((flags & kRcxInverseTable) != 0) {
        inverse_ = static_cast<uint8_t*>(platform::AllocLarge(kInverseTableSize));
        if (inverse_ == nullptr || file.Read(inverse_, kInverseTableSize) != kInverseTableSize) {
            return false;
        }
    }
    if ((flags & kRcxBlendTable) != 0) {
        blend_ = new (std::nothrow) uint16_t[kBlendTableSize];
        if (blend_ == nullptr) {
            return false;
        }
        int32_t values = kBlendTableSize;
        // int16_t and uint16_t may alias; ReadShorts puts the bytes in host order.
        file.ReadShorts(reinterpret_cast<int16_t*>(blend_), values);
        return values == kBlendTableSize;
    }
    return true;
}

void ZColorTable::Reset() {
    FreeLookupTables();
    count_ = 0;
    std::memset(entries_, 0, sizeof entries_);
    grey_ = false;
    blackWhitePlaced_ = false;
    blackIndex_ = 0;
    whiteIndex_ = 0;
    DeleteObject();
}

void ZColorTable::FreeLookupTables() {
    platform::FreeLarge(inverse_);
    inverse_ = nullptr;
    delete[] blend_;
    blend_ = nullptr;
}

int32_t ZColorTable::GetEntries(uint8_t* out, int32_t first, int32_t n) const {
    if (out == nullptr) {
        return 0;
    }
    first = std::clamp(first, 0, count_);
    int32_t remaining = count_ - first;
    if (remaining <= 0) {
        return 0;
    }
    n = std::clamp(n, 1, remaining);
    std::memcpy(out, entries_ + first * 3, size_t(n) * 3);
    return n;
}

uint8_t* ZColorTable::SetCount(int32_t n) {
    if (n < 1 || n > kMaxEntries) {
        return nullptr;
    }
    count_ = n;
    return entries_;
}

int32_t ZColorTable::FindNearest(const uint8_t rgb[3], int32_t limit, int32_t skip) const {
    int32_t best = -1;
    int32_t bestDistance = INT32_MAX;
    for (int32_t i = 0; i < limit; ++i) {
        int32_t distance = SquaredDistance(entries_ + i * 3, rgb);
        if (i != skip && distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

int32_t ZColorTable::FindColor(const uint8_t rgb[3], bool nearest) {
    if (rgb == nullptr) {
        return -1;
    }
    if (!nearest) {
        for (int32_t i = 0; i < count_; ++i) {
            if (std::memcmp(entries_ + i * 3, rgb, 3) == 0) {
                return i;
            }
        }
        return -1;
    }
    if (inverse_ != nullptr && count_ > 0) {
        return inverse_[(rgb[0] >> 3) << 11 | (rgb[1] >> 2) << 5 | (rgb[2] >> 3)];
    }
    return FindNearest(rgb, count_, -1);
}

int32_t ZColorTable::FindRunnerUp(const uint8_t rgb[3]) const {
    if (rgb == nullptr) {
        return -1;
    }
    int32_t best = FindNearest(rgb, count_, -1);
    return count_ <= 1 ? best : FindNearest(rgb, count_, best);
}

bool ZColorTable::Equals(const ZColorTable* other) const {
    if (other == this) {
        return true;
    }
    if (other == nullptr || count_ < other->count_) {
        return false;
    }
    return std::memcmp(entries_, other->entries_, size_t(other->count_) * 3) == 0;
}

const uint8_t* ZColorTable::GetInverseTable() {
    if (inverse_ == nullptr) {
        inverse_ = static_cast<uint8_t*>(platform::AllocLarge(kInverseTableSize));
        if (inverse_ != nullptr) {
            FillInverseTable(inverse_);
        }
    }
    return inverse_;
}

// Every code gets the nearest valid entry to its bucket centre, the lowest index on ties. Grey palettes
// are filled too: the blends of any two entries are looked up here. The squared distance is split per
// axis so that each code costs three table reads per entry.
void ZColorTable::FillInverseTable(uint8_t* table) const {
    std::memset(table, 0, kInverseTableSize);
    int32_t n = count_;
    std::array<int32_t, 32 * kMaxEntries> blue{};
    for (int32_t b5 = 0; b5 < 32; ++b5) {
        for (int32_t i = 0; i < n; ++i) {
            int32_t d = b5 * 8 + 4 - entries_[i * 3 + 2];
            blue[size_t(b5 * kMaxEntries + i)] = d * d;
        }
    }
    std::array<int32_t, kMaxEntries> redGreen{};
    for (int32_t code = 0; code < kInverseTableSize; ++code) {
        int32_t b5 = code & 31;
        if (b5 == 0) {
            int32_t red = (code >> 11) * 8 + 4;
            int32_t green = (code >> 5 & 63) * 4 + 2;
            for (int32_t i = 0; i < n; ++i) {
                int32_t dr = red - entries_[i * 3];
                int32_t dg = green - entries_[i * 3 + 1];
                redGreen[size_t(i)] = dr * dr + dg * dg;
            }
        }
        const int32_t* blueRow = &blue[size_t(b5 * kMaxEntries)];
        int32_t best = 0;
        int32_t bestDistance = INT32_MAX;
        for (int32_t i = 0; i < n; ++i) {
            int32_t distance = redGreen[size_t(i)] + blueRow[i];
            if (distance < bestDistance) {
                best = i;
                bestDistance = distance;
            }
        }
        table[code] = uint8_t(best);
    }
}

const uint16_t* ZColorTable::GetBlendTable() {
    if (blend_ == nullptr) {
        blend_ = new (std::nothrow) uint16_t[kBlendTableSize];
        if (blend_ != nullptr) {
            FillBlendTable(blend_);
        }
    }
    return blend_;
}

// The codes keep each field within its width, so the codes of (63 - a, i) and (a, j) add up without a
// carry between fields to the blend of entries i and j.
void ZColorTable::FillBlendTable(uint16_t* table) const {
    for (int32_t i = 0; i < kMaxEntries; ++i) {
        uint8_t red[64];
        uint8_t green[64];
        uint8_t blue[64];
        ScaleComponent(entries_[i * 3], red);
        ScaleComponent(entries_[i * 3 + 1], green);
        ScaleComponent(entries_[i * 3 + 2], blue);
        for (int32_t a = 0; a < 64; ++a) {
            table[a * kMaxEntries + i] =
                uint16_t((red[a] >> 3) << 11 | (green[a] >> 2) << 5 | (blue[a] >> 3));
        }
    }
}

bool ZColorTable::NeedsPlacement() const {
    return count_ < kMaxEntries || std::memcmp(entries_, kBlack, 3) != 0 ||
           std::memcmp(entries_ + 255 * 3, kWhite, 3) != 0;
}

uint32_t ZColorTable::PlaceColour(int32_t slot, const uint8_t colour[3]) {
    int32_t found = FindNearest(colour, kMaxEntries, -1);
    std::memcpy(entries_ + found * 3, entries_ + slot * 3, 3);
    std::memcpy(entries_ + slot * 3, colour, 3);
    if (inverse_ != nullptr) {
        ExchangeIndices(inverse_, kInverseTableSize, uint8_t(slot), uint8_t(found));
    }
    if (blend_ != nullptr) {
        for (int32_t a = 0; a < 64; ++a) {
            std::swap(blend_[a * kMaxEntries + slot], blend_[a * kMaxEntries + found]);
        }
    }
    return uint32_t(found);
}

int32_t ZColorTable::Realize() {
    // Entries past the count take part in the searches below and in every lookup table from now on.
    std::memset(entries_ + count_ * 3, 0, size_t(kMaxEntries - count_) * 3);
    if (gBlackWhitePlacement && NeedsPlacement()) {
        // Black is among the spare entries already; white goes into the last one, so that placing the two
        // moves colours instead of turning the palette's nearest ones into pure black and white.
        bool hasWhite = false;
        for (int32_t i = 0; i < count_ && !hasWhite; ++i) {
            hasWhite = std::memcmp(entries_ + i * 3, kWhite, 3) == 0;
        }
        if (!hasWhite && count_ < kMaxEntries) {
            std::memcpy(entries_ + (kMaxEntries - 1) * 3, kWhite, 3);
        }
        whiteIndex_ = PlaceColour(255, kWhite);
        blackIndex_ = PlaceColour(0, kBlack);
        blackWhitePlaced_ = true;
    }
    count_ = kMaxEntries;
    CreatePalette(entries_, count_);
    // A selection palette handed out earlier stays valid and follows the new entries.
    if (selection_ != nullptr) {
        selection_->CreatePalette(entries_, count_);
    }
    DetectGrey();
    return 0;
}

void ZColorTable::DetectGrey() {
    grey_ = count_ > 0;
    for (int32_t i = 0; i < count_ && grey_; ++i) {
        const uint8_t* e = entries_ + i * 3;
        grey_ = e[0] == e[1] && e[1] == e[2] && (i == 0 || e[0] >= e[-3]);
    }
}

CPalette* ZColorTable::GetSelectionPalette() {
    if (selection_ == nullptr) {
        uint8_t rgb[kMaxEntries * 3];
        int32_t n = GetPaletteEntries(0, kMaxEntries, rgb);
        std::unique_ptr<CPalette> copy(new (std::nothrow) CPalette());
        if (n > 0 && copy != nullptr && copy->CreatePalette(rgb, n)) {
            selection_ = std::move(copy);
        }
    }
    return selection_.get();
}

void ZColorTable::SetBlackWhitePlacement(bool on) {
    gBlackWhitePlacement = on;
}

bool ZColorTable::GetBlackWhitePlacement() {
    return gBlackWhitePlacement;
}

ZColorTable* GetCurrentColorTable() {
    if (gCurrentColorTable != nullptr) {
        gCurrentColorTable->AddReference();
    }
    return gCurrentColorTable;
}

// The new reference is taken before the old one is dropped: when both are the same table, releasing first
// could delete it.
void SetCurrentColorTable(ZColorTable* table) {
    if (table != nullptr) {
        table->AddReference();
    }
    ZColorTable* previous = gCurrentColorTable;
    gCurrentColorTable = table;
    gPaletteChanged = table != previous;
    if (previous != nullptr) {
        previous->Release();
    }
}

bool IsPaletteChanged() {
    return gPaletteChanged;
}

void ClearPaletteChanged() {
    gPaletteChanged = false;
}
