// BMP files written here at every depth and header kind, uncompressed and run-length encoded, through the
// reader, against the pictures they were made from and stb_image's decoding; the faults of damaged files.
#include <gtest/gtest.h>

#include <functional>

#include "imaging/ZRunLengthCodec.h"
#include "tests/imaging/BmpTargaSupport.h"

namespace bmptga {
namespace {

// The palette's colour for index i: every index a different colour.
uint32_t PaletteColor(uint32_t i) {
    return i << 16 | (255 - i) << 8 | ((i * 37) & 255);
}

// The fields of a BMP file as stored; pixels are the stored pixel bytes.
struct BmpFile {
    int32_t width = 0;
    int32_t height = 0;  // negative: rows stored top first
    uint16_t bits = 8;
    uint32_t compression = 0;
    uint32_t headerSize = 40;
    uint32_t colorsUsed = 0;
    uint32_t imageSizeField = 0;
    uint16_t signature = 0x4D42;
    int32_t dataOffset = -1;  // -1: right after the palette
    Bytes pixels;
};

Bytes WriteBmp(const BmpFile& f) {
    bool core = f.headerSize == 12;
    uint32_t entries = f.bits > 8 ? 0 : f.colorsUsed == 0 ? 1u << f.bits : std::min(f.colorsUsed, 256u);
    uint32_t paletteBytes = entries * (core ? 3 : 4);
    uint32_t offset = f.dataOffset >= 0 ? uint32_t(f.dataOffset) : 14 + f.headerSize + paletteBytes;
    Bytes out;
    Put16(out, f.signature);
    Put32(out, 14 + f.headerSize + paletteBytes + uint32_t(f.pixels.size()));
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, f.headerSize);
    if (core) {
        Put16(out, uint32_t(f.width));
        Put16(out, uint32_t(f.height));
        Put16(out, 1);
        Put16(out, f.bits);
    } else {
        Put32(out, uint32_t(f.width));
        Put32(out, uint32_t(f.height));
        Put16(out, 1);
        Put16(out, f.bits);
        Put32(out, f.compression);
        Put32(out, f.imageSizeField);
        Put32(out, 2835);
        Put32(out, 2835);
        Put32(out, f.colorsUsed);
        Put32(out, 0);
        out.resize(14 + f.headerSize, 0);  // masks, colour space and profile fields are not read
    }
    for (uint32_t i = 0; i < entries; ++i) {
        uint32_t c = PaletteColor(i);
        out.insert(out.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
        if (!core) {
            out.push_back(0);
        }
    }
    out.insert(out.end(), f.pixels.begin(), f.pixels.end());
    return out;
}

// A test picture's value at (x, y): a palette index below colors, or 0xRRGGBB.
uint32_t ValueAt(int32_t x, int32_t y, uint16_t bits, uint32_t colors) {
    if (bits <= 8) {
        return uint32_t(x * 31 + y * 17 + 3) % colors;
    }
    uint32_t rgb =
        uint32_t((x * 40) & 255) << 16 | uint32_t((y * 60 + 20) & 255) << 8 | uint32_t((x * y * 13) & 255);
    if (bits == 16) {
        // 5-5-5 pixels widen to the middle of each level's span.
        uint32_t exact = 0;
        for (int shift : {0, 8, 16}) {
            uint32_t c = (rgb >> shift) & 0xF8;
            exact |= (c | 4) << shift;
        }
        rgb = exact;
    }
    return rgb;
}

// The stored rows of the test picture, each padded to 32 bits.
Bytes PackRows(int32_t width, int32_t height, uint16_t bits, uint32_t colors) {
    int32_t rows = std::abs(height);
    Bytes out;
    for (int32_t i = 0; i < rows; ++i) {
        int32_t y = height > 0 ? rows - 1 - i : i;
        size_t start = out.size();
        for (int32_t x = 0; x < width; ++x) {
            uint32_t v = ValueAt(x, y, bits, colors);
            if (bits == 8) {
                out.push_back(uint8_t(v));
            } else if (bits == 16) {
                Put16(out, (v >> 19 & 31) << 10 | (v >> 11 & 31) << 5 | (v >> 3 & 31));
            } else {
                out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)});
            }
        }
        out.resize(start + (out.size() - start + 3) / 4 * 4, 0);
    }
    return out;
}

Rgb ExpectedPicture(int32_t width, int32_t height, uint16_t bits, uint32_t colors) {
    Rgb rgb{width, std::abs(height), {}};
    for (int32_t y = 0; y < rgb.height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            uint32_t v = ValueAt(x, y, bits, colors);
            rgb.pixels.push_back(bits <= 8 ? PaletteColor(v) : v);
        }
    }
    return rgb;
}

class Bmp : public BmpTargaTest {};

TEST_F(Bmp, EveryDepthAndHeaderMatchesItsPictureAndStb) {
    struct Case {
        const char* name;
        int32_t width, height;
        uint16_t bits;
        uint32_t headerSize, colorsUsed, imageSizeField;
        bool stb;  // stb_image reads it too
    };
    const Case cases[] = {
        {"8-bit bottom-up", 5, 3, 8, 40, 0, 0, true},
        {"8-bit top-down", 5, -3, 8, 40, 0, 0, true},
        {"8-bit 108-byte header", 6, 4, 8, 108, 0, 0, true},
        {"8-bit 124-byte header", 6, 4, 8, 124, 0, 0, true},
        {"8-bit OS/2 core header", 5, 3, 8, 12, 0, 0, true},
        {"8-bit 16 colours", 7, 2, 8, 40, 16, 0, true},
        {"8-bit 1000 colours claimed", 7, 2, 8, 40, 1000, 0, false},
        {"16-bit", 3, 2, 16, 40, 0, 0, true},
        {"24-bit bottom-up, bad image size", 5, 3, 24, 40, 0, 7, true},
        {"24-bit top-down", 5, -3, 24, 40, 0, 0, true},
        {"24-bit 124-byte header", 9, 2, 24, 124, 0, 0, true},
    };
    std::vector<std::pair<std::string, Bytes>> seeds;
    for (const Case& c : cases) {
        uint32_t colors = c.colorsUsed == 0 ? 256 : std::min(c.colorsUsed, 256u);
        BmpFile f{.width = c.width,
                  .height = c.height,
                  .bits = c.bits,
                  .headerSize = c.headerSize,
                  .colorsUsed = c.colorsUsed,
                  .imageSizeField = c.imageSizeField,
                  .pixels = PackRows(c.width, c.height, c.bits, colors)};
        Bytes bytes = WriteBmp(f);
        std::string error;
        std::unique_ptr<ZOffscreen> got = Decode(bytes, kTypeBmp, error);
        ASSERT_NE(got, nullptr) << c.name << ": " << error;
        Rgb picture = PictureOf(*got);
        ExpectSamePicture(picture, ExpectedPicture(c.width, c.height, c.bits, colors), 0, c.name);
        if (c.stb) {
            // stb_image widens 5-bit levels by repeating their bits, a little off the middle of the span.
            ExpectSamePicture(picture, StbPicture(bytes), c.bits == 16 ? 4 : 0,
                              std::string(c.name) + " (stb)");
        }
        if (c.bits == 16 || c.headerSize == 12) {
            seeds.emplace_back("bmp" + std::to_string(seeds.size()), bytes);
        }
    }
    WriteSeedsIfAsked("bmp", seeds);
}

TEST_F(Bmp, FilesItCannotReadFailWithAReason) {
    BmpFile good{.width = 4, .height = 2, .bits = 8, .pixels = PackRows(4, 2, 8, 256)};
    struct Case {
        const char* name;
        std::function<void(BmpFile&)> change;
        size_t keepBytes;  // 0: the whole file
        const char* says;
    };
    const Case cases[] = {
        {"32 bits", [](BmpFile& f) { f.bits = 32; }, 0, "32-bit BMP is not supported"},
        {"1 bit", [](BmpFile& f) { f.bits = 1; }, 0, "1-bit BMP is not supported"},
        {"7 bits", [](BmpFile& f) { f.bits = 7; }, 0, "unknown bit count"},
        {"4 bits uncompressed", [](BmpFile& f) { f.bits = 4; }, 0, "without RLE4"},
        {"RLE8 at 24 bits", [](BmpFile& f) { f.bits = 24, f.compression = 1; }, 0, "needs 8 bits"},
        {"bit fields", [](BmpFile& f) { f.compression = 3; }, 0, "compression is not supported"},
        {"height 0", [](BmpFile& f) { f.height = 0; }, 0, "bad size"},
        {"width x bits overflows", [](BmpFile& f) { f.width = 0x40000000, f.bits = 24; }, 0, "bad size"},
        {"lowest height", [](BmpFile& f) { f.height = INT32_MIN; }, 0, "bad size"},
        {"header of 20 bytes", [](BmpFile& f) { f.headerSize = 20; }, 0, "unknown size"},
        {"not BM", [](BmpFile& f) { f.signature = 0x4142; }, 0, "not a BMP"},
        {"pixels far away", [](BmpFile& f) { f.dataOffset = 1 << 30; }, 0, "outside the file"},
        {"pixels cut short", [](BmpFile&) {}, 14 + 40 + 1024 + 7, "cut short"},
        {"palette cut short", [](BmpFile&) {}, 14 + 40 + 500, "palette is cut short"},
        {"header cut short", [](BmpFile&) {}, 30, "header is cut short"},
    };
    for (const Case& c : cases) {
        BmpFile f = good;
        c.change(f);
        Bytes bytes = WriteBmp(f);
        if (c.keepBytes != 0) {
            bytes.resize(c.keepBytes);
        }
        std::string error;
        EXPECT_EQ(Decode(bytes, kTypeBmp, error), nullptr) << c.name;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.name << ": " << error;
    }
}

// Run-length files: the encoded stream and the palette indices it must give, stored rows first.
TEST_F(Bmp, RunLengthCommandsGiveTheirRows) {
    struct Case {
        const char* name;
        int32_t width, height;
        uint16_t bits;
        Bytes stream;
        std::vector<std::vector<uint8_t>> storedRows;  // empty: the file must fail
    };
    const Case cases[] = {
        {"RLE8 runs, odd absolute run, end of line on a full row",
         5,
         3,
         8,
         {2, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 4, 9, 8, 7, 6, 0, 0, 1, 4, 0, 0, 0, 1},
         {{7, 7, 1, 2, 3}, {9, 8, 7, 6, 0}, {4, 0, 0, 0, 0}}},
        {"RLE8 end of line at the start of a row keeps later rows",
         4,
         3,
         8,
         {4, 1, 0, 0, 0, 0, 4, 2, 0, 1},
         {{1, 1, 1, 1}, {0, 0, 0, 0}, {2, 2, 2, 2}}},
        {"RLE8 delta", 4, 3, 8, {1, 1, 0, 2, 2, 1, 1, 3, 0, 1}, {{1, 0, 0, 0}, {0, 0, 0, 3}, {0, 0, 0, 0}}},
        {"RLE8 top-down", 2, -2, 8, {2, 5, 0, 0, 1, 6, 0, 1}, {{5, 5}, {6, 0}}},
        {"RLE8 run past the row is clipped", 3, 2, 8, {5, 4, 0, 0, 1, 1, 0, 1}, {{4, 4, 4}, {1, 0, 0}}},
        {"RLE4 absolute runs of 3 and 5 pixels",
         5,
         2,
         4,
         {0, 3, 0x12, 0x30, 2, 0x45, 0, 0, 0, 5, 0x67, 0x89, 0xA0, 0, 0, 1},
         {{1, 2, 3, 4, 5}, {6, 7, 8, 9, 10}}},
        {"RLE4 odd run alternates nibbles", 4, 1, 4, {3, 0x45, 0, 1}, {{4, 5, 4, 0}}},
        {"RLE4 delta and end of line", 3, 2, 4, {0, 2, 1, 1, 1, 0xF0, 0, 1}, {{0, 0, 0}, {0, 15, 0}}},
        {"no end of bitmap", 2, 1, 8, {2, 5}, {}},
        {"run past the last row", 2, 1, 8, {2, 5, 0, 0, 1, 5, 0, 1}, {}},
        {"delta past the last row", 2, 2, 8, {0, 2, 0, 3, 0, 1}, {}},
        {"absolute run cut short", 4, 1, 8, {0, 4, 1, 2}, {}},
        {"RLE4 absolute run cut short", 4, 1, 4, {0, 4, 0x12}, {}},
        {"end of bitmap first", 2, 1, 8, {0, 1}, {}},
    };
    std::vector<std::pair<std::string, Bytes>> seeds, codecSeeds;
    for (const Case& c : cases) {
        BmpFile f{.width = c.width,
                  .height = c.height,
                  .bits = c.bits,
                  .compression = uint32_t(c.bits == 8 ? 1 : 2),
                  .pixels = c.stream};
        Bytes bytes = WriteBmp(f);
        Rgb want{c.width, std::abs(c.height), {}};
        for (int32_t y = 0; y < want.height && !c.storedRows.empty(); ++y) {
            size_t stored = size_t(c.height > 0 ? want.height - 1 - y : y);
            for (uint8_t index : c.storedRows[stored]) {
                want.pixels.push_back(PaletteColor(index));
            }
        }
        // Decoded straight into 8-bit targets of either row order, and converted to 32 bits.
        for (int16_t kind : {kKindMemory, kKindDIBSection}) {
            for (int32_t depth : {8, 32}) {
                ZOffscreen::SetDefaultKind(kind);
                std::string what =
                    std::string(c.name) + " kind " + std::to_string(kind) + " depth " + std::to_string(depth);
                std::string error;
                std::unique_ptr<ZOffscreen> got = Decode(bytes, kTypeBmp, error, depth);
                if (c.storedRows.empty()) {
                    EXPECT_EQ(got, nullptr) << what;
                    EXPECT_NE(error.find("run-length"), std::string::npos) << what << ": " << error;
                } else {
                    ASSERT_NE(got, nullptr) << what << ": " << error;
                    ExpectSamePicture(PictureOf(*got), want, 0, what);
                }
            }
        }
        if (c.storedRows.empty()) {
            continue;
        }
        if (c.bits == 4 || seeds.empty()) {
            seeds.emplace_back("rle" + std::to_string(seeds.size()), bytes);
        }
        // The codec target's seeds: codec, output shape (width - 1, rows - 1 above bit 5), stream.
        Bytes stream{uint8_t(c.bits == 8 ? 0 : 1), uint8_t((c.width - 1) | (std::abs(c.height) - 1) << 5)};
        stream.insert(stream.end(), c.stream.begin(), c.stream.end());
        codecSeeds.emplace_back("bmp" + std::to_string(codecSeeds.size()), stream);
    }
    WriteSeedsIfAsked("bmp", seeds);
    WriteSeedsIfAsked("rle", codecSeeds);
}

// The codecs on their own stop at the end of the memory they were given, whatever the stream says.
TEST_F(Bmp, RunLengthCodecsStayInsideTheirOutput) {
    Bytes stream;
    for (int i = 0; i < 50; ++i) {
        stream.insert(stream.end(), {255, 9, 0, 2, 255, 255, 0, 0});
    }
    for (bool nibbles : {false, true}) {
        Bytes output(3 * 8 + 1, 0xCC);  // one guard byte after 3 rows of 8
        ZRunLengthCodec rle8(stream.data(), stream.size(), output.data(), 6, 8);
        ZRunLengthNibbleCodec rle4(stream.data(), stream.size(), output.data(), 6, 8);
        EXPECT_EQ((nibbles ? static_cast<ZRunLengthCodec&>(rle4) : rle8).Decode(3), 0);
        EXPECT_EQ(output.back(), 0xCC);
    }
}

TEST_F(Bmp, KestimgConvertsLikeStbAndRefusesClearly) {
    ToolFolder folder;
    BmpFile f{.width = 7, .height = 5, .bits = 24, .pixels = PackRows(7, 5, 24, 0)};
    std::string path = folder.Write("picture.bmp", WriteBmp(f));
    std::string err;
    ASSERT_EQ(ToolFolder::Kestimg({"convert", path, path + ".ppm"}, err), 0) << err;
    ExpectSamePicture(ToolFolder::ReadPpm(path + ".ppm"), StbPicture(WriteBmp(f)), 0, "kestimg");

    struct Case {
        uint16_t bits;
        const char* says;
    };
    for (Case c : {Case{32, "32-bit BMP is not supported"}, Case{1, "1-bit BMP is not supported"}}) {
        f.bits = c.bits;
        std::string bad = folder.Write("bad.bmp", WriteBmp(f));
        EXPECT_EQ(ToolFolder::Kestimg({"convert", bad, bad + ".ppm"}, err), 1);
        EXPECT_NE(err.find(c.says), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
}

}  // namespace
}  // namespace bmptga
