// Maps decoded YCbCr colours straight to the indices of a palette: the palette converted to YCbCr, the
// fixed-point tables that turn Y, Cb and Cr back into RGB, and a 65 536-entry index table over 5-5-6
// YCbCr codes built from them on request.
#pragma once

#include <cstdint>

#include "graphics/ZLookupTable.h"
#include "media/ZMedia.h"

class ZColorTable;

class ZYCbCrColorTable : public ZMedia {
  public:
    static constexpr int32_t kStandardCount = 8;
    static constexpr int32_t kJpegStandard = 5;  // the one our JPEG decoder asks for
    static constexpr int32_t kIndexTableSize = 65536;

    // Serves colorTable (with an added reference), or the current colour table when it is null. A
    // standard outside 0..7 falls back to the JPEG one.
    ZYCbCrColorTable(int32_t standard, ZColorTable* colorTable);

    // Serves table (the current colour table when null) and converts its palette anew; the index table
    // is kept until the next BuildIndexTable.
    void SetColorTable(ZColorTable* table);
    // Fills the index table from the served palette: entry (Cb5 << 11) | (Cr5 << 6) | Y6 is the palette
    // index nearest to the centre of that bucket. Null when there is no colour table, no inverse table,
    // a conversion table is missing or no memory.
    const uint8_t* BuildIndexTable();

    int32_t GetStandard() const { return standard_; }
    // The served table without an added reference, or null.
    ZColorTable* PeekColorTable() const { return colorTable_; }
    // 256 entries of Y, Cb, Cr bytes, one per palette entry.
    const uint8_t* GetPaletteYCbCr() const { return paletteYCbCr_; }
    // The last built index table, or null.
    const uint8_t* GetIndexTable() const { return indexTable_; }
    // True when every conversion table could be had.
    bool HasTables() const;

    // Chroma contributions (v - 128) * c and luma (v - 16) * 255 / 219 in 16.16 fixed point over 0..255,
    // and the clamp to 0..255 over -1024..1023. Null when a table could not be had.
    const ZMultiplyTable* GetCrToR() const { return crToR_; }
    const ZMultiplyTable* GetCbToB() const { return cbToB_; }
    const ZMultiplyTable* GetCbToG() const { return cbToG_; }
    const ZMultiplyTable* GetCrToG() const { return crToG_; }
    const ZMultiplyTable* GetLuma() const { return luma_; }
    const ZClipTable* GetClamp() const { return clamp_; }

  protected:
    ~ZYCbCrColorTable() override;

  private:
    void AcquireTables();
    void ConvertPalette();
    uint8_t IndexOf(const uint8_t* inverse, int32_t cb, int32_t cr, int32_t y) const;

    ZColorTable* colorTable_ = nullptr;
    int32_t standard_ = kJpegStandard;
    uint8_t paletteYCbCr_[256 * 3] = {};
    uint8_t* indexTable_ = nullptr;  // large block
    ZMultiplyTable* crToR_ = nullptr;
    ZMultiplyTable* cbToB_ = nullptr;
    ZMultiplyTable* cbToG_ = nullptr;
    ZMultiplyTable* crToG_ = nullptr;
    ZMultiplyTable* luma_ = nullptr;
    ZClipTable* clamp_ = nullptr;
};
