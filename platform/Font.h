// The platform's font service: a face opened by name, pixel size and style that measures and rasterises
// text. Text bytes are Latin-1 (a byte's value is its Unicode code point).
//
// Faces come from FreeType with the DejaVu files: serif for "Times" and other serif names, mono for
// "Courier" and other fixed faces, sans for the rest; bold and italic take the matching files, underline
// is drawn here; control bytes (0..31 and 127..159) have no width and no ink. A face whose file is missing
// does not open.
//
// The test font (UseTestFont) stands in for every face so that layout never depends on a font file. Its
// metrics are whole multiples k = max(1, pixelSize / 12) of these (so sizes 1..23 all give k = 1):
//   ascent 8k, descent 2k;
//   every byte from 32 on advances 6k pixels, control bytes 0;
//   a glyph is a box of full coverage over columns [0, 5k) of its cell and the 8k rows above the baseline;
//   the space (32) and control bytes draw nothing;
//   underline covers rows [baseline + k, baseline + 2k) across the whole advance.
// Bold and italic change nothing in the test font.
#pragma once

#include <cstdint>
#include <memory>

namespace platform {

enum : int32_t { kFontBold = 1, kFontItalic = 2, kFontUnderline = 4 };

struct FontMetrics {
    int32_t ascent = 0;   // pixels above the baseline that the line holds (character height - descent)
    int32_t descent = 0;  // pixels below the baseline
    // How far ink can reach beyond the line: above the baseline, below it, and left of the origin or
    // right of the advance (accents, italic overhang).
    int32_t inkAscent = 0;
    int32_t inkDescent = 0;
    int32_t overhang = 0;
};

class FontFace {
  public:
    virtual ~FontFace() = default;
    const FontMetrics& GetMetrics() const { return metrics_; }
    // The advance of count bytes in pixels: the sum of their advances (no kerning).
    int32_t MeasureText(const uint8_t* bytes, int32_t count);
    // The advance of one byte in pixels.
    virtual int32_t Advance(uint8_t byte) = 0;
    // Raises each pixel of an 8-bit coverage plane (0..255, width x height, rows stride bytes apart) to the
    // coverage of the text whose origin is at (x, baselineY) of the plane; nothing is written outside it.
    virtual void RenderText(const uint8_t* bytes, int32_t count, int32_t x, int32_t baselineY, uint8_t* plane,
                            int32_t width, int32_t height, int32_t stride) = 0;

  protected:
    FontMetrics metrics_;
};

// Null when the face's file cannot be opened or the size is not positive. style: kFontBold | kFontItalic |
// kFontUnderline.
std::unique_ptr<FontFace> OpenFontFace(const char* face, int32_t pixelSize, int32_t style);

// Makes every face open as the test font (process-wide; faces already open stay what they are).
void UseTestFont(bool use);
bool IsUsingTestFont();
// Where the DejaVu files are looked for; null puts back the system's folder (tests).
void SetFontDirectory(const char* directory);

}  // namespace platform
