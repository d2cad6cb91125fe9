#include "platform/Font.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cctype>
#include <string>

namespace platform {

namespace {

bool gUseTestFont = false;
std::string gFontDirectory = "/usr/share/fonts/truetype/dejavu";

bool IsControl(uint8_t byte) {
    return byte < 32 || (byte >= 127 && byte < 160);
}

// Writes max(existing, value) into the plane where (px, py) lies inside it.
void Raise(uint8_t* plane, int32_t width, int32_t height, int32_t stride, int64_t px, int64_t py,
           uint8_t value) {
    if (px >= 0 && py >= 0 && px < width && py < height) {
        uint8_t& p = plane[py * stride + px];
        p = std::max(p, value);
    }
}

void FillBox(uint8_t* plane, int32_t width, int32_t height, int32_t stride, int64_t left, int64_t top,
             int64_t right, int64_t bottom) {
    for (int64_t y = std::max<int64_t>(top, 0); y < std::min<int64_t>(bottom, height); ++y) {
        for (int64_t x = std::max<int64_t>(left, 0); x < std::min<int64_t>(right, width); ++x) {
            plane[y * stride + x] = 255;
        }
    }
}

class TestFace : public FontFace {
  public:
    TestFace(int32_t pixelSize, int32_t style)
        : k_(std::max(1, pixelSize / 12)), underline_(style & kFontUnderline) {
        metrics_ = FontMetrics{8 * k_, 2 * k_, 8 * k_, 2 * k_, 0};
    }

    void RenderText(const uint8_t* bytes, int32_t count, int32_t x, int32_t baselineY, uint8_t* plane,
                    int32_t width, int32_t height, int32_t stride) override {
        int64_t pen = x;
        for (int32_t i = 0; i < count; ++i) {
            if (bytes[i] > 32) {
                FillBox(plane, width, height, stride, pen, int64_t(baselineY) - 8 * k_, pen + 5 * k_,
                        baselineY);
            }
            pen += Advance(bytes[i]);
        }
        if (underline_) {
            FillBox(plane, width, height, stride, x, int64_t(baselineY) + k_, pen,
                    int64_t(baselineY) + 2 * k_);
        }
    }

    int32_t Advance(uint8_t byte) override { return byte < 32 ? 0 : 6 * k_; }

  private:
    int32_t k_;
    bool underline_;
};

FT_Library Library() {
    static FT_Library library = nullptr;
    static bool tried = false;
    if (!tried) {
        tried = true;
        if (FT_Init_FreeType(&library) != 0) {
            library = nullptr;
        }
    }
    return library;
}

bool Contains(const std::string& text, const char* word) {
    return text.find(word) != std::string::npos;
}

// The DejaVu file for a face name and style.
std::string FileFor(const char* face, int32_t style) {
    std::string name;
    for (const char* p = face; *p != 0; ++p) {
        name.push_back(char(std::tolower(uint8_t(*p))));
    }
    bool bold = (style & kFontBold) != 0;
    bool italic = (style & kFontItalic) != 0;
    const char* mono[] = {"courier", "mono", "fixed", "console", "consolas", "terminal", "typewriter"};
    const char* serif[] = {"times", "serif", "roman", "georgia", "garamond", "palatino", "book", "century"};
    auto any = [&](const auto& words) {
        return std::any_of(std::begin(words), std::end(words),
                           [&](const char* w) { return Contains(name, w); });
    };
    std::string file;
    if (!Contains(name, "sans") && any(serif) && !any(mono)) {
        file = "DejaVuSerif";
        file += bold && italic ? "-BoldItalic" : bold ? "-Bold" : italic ? "-Italic" : "";
    } else {
        file = any(mono) ? "DejaVuSansMono" : "DejaVuSans";
        file += bold && italic ? "-BoldOblique" : bold ? "-Bold" : italic ? "-Oblique" : "";
    }
    return gFontDirectory + "/" + file + ".ttf";
}

int32_t Pixels(FT_Pos pos26_6) {
    return int32_t((pos26_6 + 63) >> 6);
}

class FreeTypeFace : public FontFace {
  public:
    explicit FreeTypeFace(FT_Face face, int32_t pixelSize, int32_t style)
        : face_(face), underline_((style & kFontUnderline) != 0) {
        const FT_Size_Metrics& m = face->size->metrics;
        int32_t descent = std::max(0, Pixels(-m.descender));
        // The line holds the character height; what the face adds above it is leading.
        metrics_.descent = descent;
        metrics_.ascent = std::max(0, pixelSize - descent);
        metrics_.inkAscent = std::max(metrics_.ascent, Pixels(FT_MulFix(face->bbox.yMax, m.y_scale)));
        metrics_.inkDescent = std::max(descent, Pixels(FT_MulFix(-face->bbox.yMin, m.y_scale)));
        metrics_.overhang = pixelSize / 3 + 1;
        underlineTop_ = std::max(1, Pixels(FT_MulFix(-face->underline_position, m.y_scale)));
        underlineHeight_ = std::max(1, Pixels(FT_MulFix(face->underline_thickness, m.y_scale)));
        std::fill(std::begin(advances_), std::end(advances_), -1);
    }
    ~FreeTypeFace() override { FT_Done_Face(face_); }

    void RenderText(const uint8_t* bytes, int32_t count, int32_t x, int32_t baselineY, uint8_t* plane,
                    int32_t width, int32_t height, int32_t stride) override {
        int64_t pen = x;
        for (int32_t i = 0; i < count; ++i) {
            if (!IsControl(bytes[i]) && FT_Load_Char(face_, bytes[i], FT_LOAD_RENDER) == 0) {
                const FT_Bitmap& bitmap = face_->glyph->bitmap;
                int64_t left = pen + face_->glyph->bitmap_left;
                int64_t top = int64_t(baselineY) - face_->glyph->bitmap_top;
                for (uint32_t row = 0; row < bitmap.rows; ++row) {
                    const uint8_t* line = bitmap.buffer + int64_t(row) * bitmap.pitch;
                    for (uint32_t col = 0; col < bitmap.width; ++col) {
                        uint8_t value = bitmap.pixel_mode == FT_PIXEL_MODE_MONO
                                            ? ((line[col >> 3] >> (7 - (col & 7))) & 1) * 255
                                            : line[col];
                        Raise(plane, width, height, stride, left + col, top + row, value);
                    }
                }
            }
            pen += Advance(bytes[i]);
        }
        if (underline_) {
            FillBox(plane, width, height, stride, x, int64_t(baselineY) + underlineTop_, pen,
                    int64_t(baselineY) + underlineTop_ + underlineHeight_);
        }
    }

    int32_t Advance(uint8_t byte) override {
        if (advances_[byte] < 0) {
            bool loaded = !IsControl(byte) && FT_Load_Char(face_, byte, FT_LOAD_DEFAULT) == 0;
            advances_[byte] = loaded ? int32_t((face_->glyph->advance.x + 32) >> 6) : 0;
        }
        return advances_[byte];
    }

  private:
    FT_Face face_;
    bool underline_;
    int32_t underlineTop_ = 1;
    int32_t underlineHeight_ = 1;
    int32_t advances_[256];
};

}  // namespace

int32_t FontFace::MeasureText(const uint8_t* bytes, int32_t count) {
    int32_t width = 0;
    for (int32_t i = 0; i < count; ++i) {
        width += Advance(bytes[i]);
    }
    return width;
}

std::unique_ptr<FontFace> OpenFontFace(const char* face, int32_t pixelSize, int32_t style) {
    if (face == nullptr || pixelSize <= 0 || pixelSize > 4096) {
        return nullptr;
    }
    if (gUseTestFont) {
        return std::make_unique<TestFace>(pixelSize, style);
    }
    FT_Library library = Library();
    FT_Face ftFace = nullptr;
    if (library == nullptr || FT_New_Face(library, FileFor(face, style).c_str(), 0, &ftFace) != 0) {
        return nullptr;
    }
    if (FT_Select_Charmap(ftFace, FT_ENCODING_UNICODE) != 0 ||
        FT_Set_Pixel_Sizes(ftFace, 0, FT_UInt(pixelSize)) != 0) {
        FT_Done_Face(ftFace);
        return nullptr;
    }
    return std::make_unique<FreeTypeFace>(ftFace, pixelSize, style);
}

void UseTestFont(bool use) {
    gUseTestFont = use;
}

bool IsUsingTestFont() {
    return gUseTestFont;
}

void SetFontDirectory(const char* directory) {
    gFontDirectory = directory != nullptr ? directory : "/usr/share/fonts/truetype/dejavu";
}

}  // namespace platform
