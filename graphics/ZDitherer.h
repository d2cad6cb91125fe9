// Ditherers: the state and tables of one conversion run that quantises pixels to fewer colours, either to
// the indices of a palette or to the 5-bit and 6-bit levels of 15- and 16-bit pixels. A converter keeps
// one on its stack for the length of a call. Quantisation always works on 5-6-5 levels (5-5-5 for 15-bit
// targets); a palette index is the colour table's inverse table at (R5 << 11) | (G6 << 5) | B5.
#pragma once

#include <cstdint>

#include "graphics/ZLookupTable.h"

class ZColorTable;
class ZYCbCrColorTable;

// The process-wide dithering methods.
enum ZDitherMethod : int32_t {
    kDitherNone = 0,  // nearest colour: the inverse table, or truncation to the top bits
    kDitherErrorDiffusion = 1,
    kDitherOrdered = 2,
    kDitherRandom = 3,
};

// Method for conversions to an 8-bit palette (error diffusion unless set) and to 15 or 16 bits (ordered
// unless set). Values outside 0..3 are ignored.
void SetPaletteDitherMethod(int32_t method);
int32_t GetPaletteDitherMethod();
void SetHighColorDitherMethod(int32_t method);
int32_t GetHighColorDitherMethod();

// Quantised levels of one pixel: red and blue 0..31, green 0..31 or 0..63.
struct ZLevels {
    int32_t r = 0;
    int32_t g = 0;
    int32_t b = 0;
};

// The palette index of a 5-6-5 level triple.
inline int32_t InverseIndexOf(const ZLevels& l) {
    return l.r << 11 | l.g << 5 | l.b;
}

// A palette as the palette ditherers use it: a copy of its entries and its inverse table, with a reference
// to the table for as long as the ditherer lives.
class ZDitherPalette {
  public:
    explicit ZDitherPalette(ZColorTable* colorTable);
    ~ZDitherPalette();
    ZDitherPalette(const ZDitherPalette&) = delete;
    ZDitherPalette& operator=(const ZDitherPalette&) = delete;

    bool IsReady() const { return inverse_ != nullptr; }
    const uint8_t* GetEntries() const { return entries_; }
    uint8_t IndexOf(const ZLevels& l) const { return inverse_[InverseIndexOf(l)]; }

  private:
    ZColorTable* colorTable_ = nullptr;
    uint8_t entries_[256 * 3] = {};
    const uint8_t* inverse_ = nullptr;
};

// Error diffusion of one colour component, in 1/16 units: 7/16 of a pixel's error goes to the next pixel
// in scan order, 3/16, 5/16 and 1/16 to the pixels before, under and after it on the next row. x counts
// pixels in the converter's scan order, so the same weights serve either direction.
class ZErrorDiffusionDitherer {
  public:
    explicit ZErrorDiffusionDitherer(int32_t width);
    virtual ~ZErrorDiffusionDitherer();
    ZErrorDiffusionDitherer(const ZErrorDiffusionDitherer&) = delete;
    ZErrorDiffusionDitherer& operator=(const ZErrorDiffusionDitherer&) = delete;

    // False when an accumulator row or a clip table could not be had.
    bool IsReady() const;
    // Even rows read row A and spill into row B, odd rows the other way round.
    void SelectRow(int32_t row);
    int32_t GetRow() const { return row_; }
    // v (0..255) with the error carried to the pixel at scan position x.
    int32_t Carry(int32_t x, int32_t v) const { return v + (current_[x + 1] >> 4); }
    // Levels of a carried value.
    int32_t Level5(int32_t carried) const { return clamp5_[carried >> 3]; }
    int32_t Level6(int32_t carried) const { return clamp6_[carried >> 2]; }
    // Spreads carried - chosen (clamped to -32..31) from the pixel at scan position x.
    void Diffuse(int32_t x, int32_t carried, int32_t chosen);
    // Drops the error carried to x; a transparent pixel neither takes nor gives error.
    void Drop(int32_t x) { current_[x + 1] = 0; }

  private:
    int32_t width_ = 0;
    int32_t* rowA_ = nullptr;  // width + 2 cells; cell x + 1 belongs to pixel x, the ends are guards
    int32_t* rowB_ = nullptr;
    int32_t* current_ = nullptr;
    int32_t* next_ = nullptr;
    int32_t row_ = -1;
    ZClipTable* clamp5Table_ = nullptr;
    ZClipTable* clamp6Table_ = nullptr;
    ZClipTable* errorTable_ = nullptr;
    ZTableView<int32_t> clamp5_;
    ZTableView<int32_t> clamp6_;
    ZTableView<int32_t> error_;
};

// Error diffusion to the levels of 15-bit (GreenBits 5) or 16-bit (GreenBits 6) pixels; each level is
// measured back as level * 8 or level * 4.
class ZLevelErrorDiffusionDitherer {
  public:
    explicit ZLevelErrorDiffusionDitherer(int32_t width) : r_(width), g_(width), b_(width) {}
    virtual ~ZLevelErrorDiffusionDitherer() = default;

    bool IsReady() const { return r_.IsReady() && g_.IsReady() && b_.IsReady(); }
    void SelectRow(int32_t row);
    void Drop(int32_t x);
    template <int32_t GreenBits>
    ZLevels Levels(int32_t x, int32_t r, int32_t g, int32_t b);

  private:
    ZErrorDiffusionDitherer r_;
    ZErrorDiffusionDitherer g_;
    ZErrorDiffusionDitherer b_;
};

// Error diffusion to the entries of a palette, the error measured against the chosen entry's colour.
class ZRGBErrorDiffusionDitherer {
  public:
    ZRGBErrorDiffusionDitherer(int32_t width, ZColorTable* colorTable);
    virtual ~ZRGBErrorDiffusionDitherer();
    ZRGBErrorDiffusionDitherer(const ZRGBErrorDiffusionDitherer&) = delete;
    ZRGBErrorDiffusionDitherer& operator=(const ZRGBErrorDiffusionDitherer&) = delete;

    // False without a colour table, an inverse table or the components' state.
    bool IsReady() const;
    void SelectRow(int32_t row);
    void Drop(int32_t x);
    uint8_t Index(int32_t x, int32_t r, int32_t g, int32_t b);

  private:
    ZDitherPalette palette_;
    ZErrorDiffusionDitherer r_;
    ZErrorDiffusionDitherer g_;
    ZErrorDiffusionDitherer b_;
};

// Ordered and random dither both move the three components by one shift n before quantising:
// R5 = clamp5[(R + n) >> 3], G6 = clamp6[(G + n) >> 2] (G5 like R), B5 = clamp5[(B + n) >> 3].
class ZShiftDitherer {
  public:
    ZShiftDitherer();
    virtual ~ZShiftDitherer();
    ZShiftDitherer(const ZShiftDitherer&) = delete;
    ZShiftDitherer& operator=(const ZShiftDitherer&) = delete;

    bool IsReady() const { return clamp5Table_ != nullptr && clamp6Table_ != nullptr; }

  protected:
    template <int32_t GreenBits>
    ZLevels Shifted(int32_t r, int32_t g, int32_t b, int32_t n) const {
        return ShiftedApart<GreenBits>(r, g, b, n, n);
    }
    // As Shifted, with green moved by its own shift.
    template <int32_t GreenBits>
    ZLevels ShiftedApart(int32_t r, int32_t g, int32_t b, int32_t n, int32_t greenShift) const {
        ZLevels l;
        l.r = clamp5_[(r + n) >> 3];
        l.b = clamp5_[(b + n) >> 3];
        if constexpr (GreenBits == 6) {
            l.g = clamp6_[(g + greenShift) >> 2];
        } else {
            l.g = clamp5_[(g + greenShift) >> 3];
        }
        return l;
    }

  private:
    ZClipTable* clamp5Table_ = nullptr;
    ZClipTable* clamp6Table_ = nullptr;
    ZTableView<int32_t> clamp5_;
    ZTableView<int32_t> clamp6_;
};

// Ordered dither with a 4 x 4 matrix indexed by column and row counter: the shift is 4 x the matrix value.
class ZOrderedDitherer : public ZShiftDitherer {
  public:
    // The matrix value for column x of row counter y: -8..7.
    static int32_t Threshold(int32_t x, int32_t y);
    template <int32_t GreenBits>
    ZLevels Levels(int32_t x, int32_t y, int32_t r, int32_t g, int32_t b) const {
        return Shifted<GreenBits>(r, g, b, 4 * Threshold(x, y));
    }
    // The finer dither of decoded photographs (r, g, b in 0..255): m = Threshold(row, column) moves red,
    // blue and 5-bit green by m, 6-bit green by m / 2 (arithmetic shift).
    template <int32_t GreenBits>
    ZLevels FineLevels(int32_t row, int32_t column, int32_t r, int32_t g, int32_t b) const {
        int32_t m = Threshold(row, column);
        return ShiftedApart<GreenBits>(r, g, b, m, GreenBits == 6 ? m >> 1 : m);
    }
};

// Ordered dither to the entries of a palette.
class ZRGBOrderedDitherer : public ZOrderedDitherer {
  public:
    explicit ZRGBOrderedDitherer(ZColorTable* colorTable) : palette_(colorTable) {}

    bool IsReady() const { return ZOrderedDitherer::IsReady() && palette_.IsReady(); }
    uint8_t Index(int32_t x, int32_t y, int32_t r, int32_t g, int32_t b) const {
        return palette_.IndexOf(Levels<6>(x, y, r, g, b));
    }
    const uint8_t* GetEntries() const { return palette_.GetEntries(); }

  private:
    ZDitherPalette palette_;
};

// Random dither: one draw per pixel from the process random source moves all three components by the
// same -32, -28, ..., 28.
class ZRandomDitherer : public ZShiftDitherer {
  public:
    ZRandomDitherer();
    // The next shift: -32..28 in steps of 4.
    static int32_t DrawShift();
    template <int32_t GreenBits>
    ZLevels Levels(int32_t r, int32_t g, int32_t b) const {
        return Shifted<GreenBits>(r, g, b, DrawShift());
    }
};

// Random dither to the entries of a palette.
class ZRGBRandomDitherer : public ZRandomDitherer {
  public:
    explicit ZRGBRandomDitherer(ZColorTable* colorTable) : palette_(colorTable) {}

    bool IsReady() const { return ZRandomDitherer::IsReady() && palette_.IsReady(); }
    uint8_t Index(int32_t r, int32_t g, int32_t b) const { return palette_.IndexOf(Levels<6>(r, g, b)); }
    const uint8_t* GetEntries() const { return palette_.GetEntries(); }

  private:
    ZDitherPalette palette_;
};

// Error diffusion of decoded Y, Cb, Cr straight to palette indices through a YCbCr colour table's index
// table at (Cb5 << 11) | (Cr5 << 6) | Y6; errors are measured in YCbCr against the chosen entry.
class ZYCbCrErrorDiffusionDitherer {
  public:
    // Null table: a new one of the JPEG standard for the current colour table.
    ZYCbCrErrorDiffusionDitherer(int32_t width, ZYCbCrColorTable* table);
    // The caller's own index table (65 536 entries at (Cb5 << 11) | (Cr5 << 6) | Y6) and palette in Y, Cb,
    // Cr bytes, kept by the caller for the ditherer's life: for YCbCr other than the table's studio range,
    // such as the full-range YCbCr of JPEG files.
    ZYCbCrErrorDiffusionDitherer(int32_t width, const uint8_t* indexTable, const uint8_t* paletteYCbCr);
    virtual ~ZYCbCrErrorDiffusionDitherer();
    ZYCbCrErrorDiffusionDitherer(const ZYCbCrErrorDiffusionDitherer&) = delete;
    ZYCbCrErrorDiffusionDitherer& operator=(const ZYCbCrErrorDiffusionDitherer&) = delete;

    // False without a YCbCr table, its index table or the components' state.
    bool IsReady() const;
    void SelectRow(int32_t row);
    uint8_t Index(int32_t x, int32_t luma, int32_t cb, int32_t cr);

  private:
    ZYCbCrColorTable* table_ = nullptr;
    const uint8_t* indexTable_ = nullptr;
    const uint8_t* palette_ = nullptr;  // Y, Cb, Cr per entry, owned by table_
    ZErrorDiffusionDitherer y_;
    ZErrorDiffusionDitherer cb_;
    ZErrorDiffusionDitherer cr_;
};

template <int32_t GreenBits>
ZLevels ZLevelErrorDiffusionDitherer::Levels(int32_t x, int32_t r, int32_t g, int32_t b) {
    int32_t cr = r_.Carry(x, r);
    int32_t cg = g_.Carry(x, g);
    int32_t cb = b_.Carry(x, b);
    ZLevels l;
    l.r = r_.Level5(cr);
    l.b = b_.Level5(cb);
    r_.Diffuse(x, cr, l.r << 3);
    b_.Diffuse(x, cb, l.b << 3);
    if constexpr (GreenBits == 6) {
        l.g = g_.Level6(cg);
        g_.Diffuse(x, cg, l.g << 2);
    } else {
        l.g = g_.Level5(cg);
        g_.Diffuse(x, cg, l.g << 3);
    }
    return l;
}
