// A palette of up to 256 RGB entries that is at the same time a platform palette and a media object,
// with the lookup tables that map colours onto it: the inverse table (palette index for every 5-6-5
// colour) and the blend table (every entry scaled by every 6-bit alpha, as 5-6-5 codes).
#pragma once

#include <cstdint>
#include <memory>

#include "core/ZString.h"
#include "media/ZFile.h"
#include "media/ZMedia.h"
#include "platform/CPalette.h"

class ZColorTable : public CPalette, public ZMedia {
  public:
    static constexpr int32_t kMaxEntries = 256;
    static constexpr int32_t kInverseTableSize = 65536;   // bytes, indexed by R5 << 11 | G6 << 5 | B5
    static constexpr int32_t kBlendTableSize = 64 * 256;  // 16-bit 5-6-5 codes, [alpha][index]
    // Section flags of "RCX " data: which lookup tables follow the entries.
    static constexpr uint16_t kRcxInverseTable = 0x08;
    static constexpr uint16_t kRcxBlendTable = 0x20;

    // An empty table (count 0).
    ZColorTable();
    // A built-in palette (0 and 1: the system palette; 2: web cube with ramps; 3: grey and colour ramps;
    // 4: the 216-colour cube; any other kind: grey ramp), realised. Null when memory runs out.
    static ZColorTable* CreateBuiltIn(int32_t kind);
    // count (1..256) entries of 3 bytes R, G, B, with skip (>= 0) bytes after each, realised. Null for
    // other arguments or when memory runs out.
    static ZColorTable* CreateFromMemory(const uint8_t* bytes, int32_t count, int32_t skip);
    // The "RCX " item with the id, realised and marked loaded; an empty, not loaded table when it cannot
    // be read. Null only when memory runs out.
    static ZColorTable* CreateFromMedia(uint16_t id);
    // Reads "RCX " data from the file's position to the end of its window: a count (0..256), the entries,
    // and, when anything follows, a flag word and the lookup tables it names. The table is not realised.
    // False, with the table left empty, on malformed or short data.
    bool ReadRcx(ZFile& file);

    int32_t GetCount() const { return count_; }
    // The 256 entries, 3 bytes R, G, B each.
    const uint8_t* GetEntryData() const { return entries_; }
    // Copies entries first .. first + n - 1 as R, G, B; first is clamped to 0..count and n to 1..what
    // remains (nothing is copied when first = count). Returns the entries copied.
    int32_t GetEntries(uint8_t* out, int32_t first, int32_t n) const;
    // Accepts 1 <= n <= 256 and returns the entries to be written; null (no change) otherwise. Lookup
    // tables already built are kept: callers that change entries of a table in use own that choice.
    uint8_t* SetCount(int32_t n);
    // The index of rgb among the valid entries: the first equal entry, or -1; with nearest, the closest
    // entry (through the inverse table when it exists, else the lowest index among equally near entries).
    // -1 for a table without entries.
    int32_t FindColor(const uint8_t rgb[3], bool nearest);
    // The nearest entry to rgb other than the nearest one (lowest index on ties); the nearest itself only
    // for a one-entry table; -1 for a table without entries.
    int32_t FindRunnerUp(const uint8_t rgb[3]) const;
    // True for the same table, or when every entry of other is equal to the same entry here and this
    // table has at least as many entries.
    bool Equals(const ZColorTable* other) const;
    // Whether the lookup tables exist yet (read with the media or built by an earlier request).
    bool HasInverseTable() const { return inverse_ != nullptr; }
    bool HasBlendTable() const { return blend_ != nullptr; }
    // Built on first use; null when the memory cannot be had.
    const uint8_t* GetInverseTable();
    const uint16_t* GetBlendTable();
    // Makes entries past the count black, places black at entry 0 and white at entry 255 (when placement
    // is on and needed), makes the platform palette of all 256 entries, sets the count to 256 and
    // updates the grey flag. Returns 0.
    int32_t Realize();
    // The palette selected into devices: a copy of this one, made on first request.
    CPalette* GetSelectionPalette();

    // Every entry has R = G = B and the levels never decrease with the index (as of the last Realize or
    // ReadRcx).
    bool IsGrey() const { return grey_; }
    bool IsBlackWhitePlaced() const { return blackWhitePlaced_; }
    uint32_t GetBlackIndex() const { return blackIndex_; }
    uint32_t GetWhiteIndex() const { return whiteIndex_; }
    ZString& GetName() { return name_; }

    // Whether Realize places black and white (process-wide; on by default).
    static void SetBlackWhitePlacement(bool on);
    static bool GetBlackWhitePlacement();

  protected:
    ~ZColorTable() override;

  private:
    void DetectGrey();
    // Back to an empty table: no entries, no lookup tables, no platform palette.
    void Reset();
    void FreeLookupTables();
    bool ReadRcxEntries(ZFile& file);
    bool ReadRcxTables(ZFile& file);
    // The lowest index among the first limit entries nearest to rgb, leaving out skip; -1 when none.
    int32_t FindNearest(const uint8_t rgb[3], int32_t limit, int32_t skip) const;
    bool NeedsPlacement() const;
    // Puts colour at slot; the slot's colour moves to the entry nearest to colour, whose index is returned.
    uint32_t PlaceColour(int32_t slot, const uint8_t colour[3]);
    void FillInverseTable(uint8_t* table) const;
    void FillBlendTable(uint16_t* table) const;

    int32_t count_ = 0;
    uint8_t entries_[kMaxEntries * 3] = {};
    uint8_t* inverse_ = nullptr;  // large block
    uint16_t* blend_ = nullptr;
    bool grey_ = false;
    bool blackWhitePlaced_ = false;
    uint32_t blackIndex_ = 0;
    uint32_t whiteIndex_ = 0;
    ZString name_;
    std::unique_ptr<CPalette> selection_;
};

// The current colour table: the screen's palette and the default palette of every new offscreen.
// Returns it with an added reference (the caller releases it), or null.
ZColorTable* GetCurrentColorTable();
// Stores table (with an added reference) as the current one and releases the previous; the palette-changed
// flag becomes whether it changed. Null clears it.
void SetCurrentColorTable(ZColorTable* table);
bool IsPaletteChanged();
void ClearPaletteChanged();
