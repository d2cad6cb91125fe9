// Targa files written here, plain and run-length encoded, at every depth and both origins, through the
// reader, against the pictures they were made from and stb_image's decoding; the faults of damaged files.
#include <gtest/gtest.h>

#include <functional>

#include "imaging/ZTargaRLECodec.h"
#include "tests/imaging/BmpTargaSupport.h"

namespace bmptga {
namespace {

struct TargaFile {
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t depth = 24;
    uint8_t type = 2;
    uint8_t descriptor = 0;
    uint8_t idLength = 0;
    uint16_t mapLength = 0;  // a colour map true-colour images carry but do not use
    Bytes pixels;            // as stored (packets for type 10)
};

Bytes WriteTarga(const TargaFile& f) {
    Bytes out{f.idLength, uint8_t(f.mapLength != 0 ? 1 : 0), f.type};
    Put16(out, 0);
    Put16(out, f.mapLength);
    out.push_back(24);
    Put32(out, 0);
    Put16(out, f.width);
    Put16(out, f.height);
    out.insert(out.end(), {f.depth, f.descriptor});
    out.resize(out.size() + f.idLength + size_t(f.mapLength) * 3, 0x5A);
    out.insert(out.end(), f.pixels.begin(), f.pixels.end());
    return out;
}

// The test picture at (x, y) as 0xRRGGBB; at 15 and 16 bits as its 5-5-5 levels widen, to the middle of
// each level's span.
uint32_t ColorAt(int32_t x, int32_t y, uint8_t depth) {
    uint32_t rgb = uint32_t((x * 50 + 10) & 255) << 16 | uint32_t((y * 70) & 255) << 8 |
                   uint32_t((x * y * 29 + 5) & 255);
    if (depth <= 16) {
        uint32_t exact = 0;
        for (int shift : {0, 8, 16}) {
            uint32_t c = (rgb >> shift) & 0xF8;
            exact |= (c | 4) << shift;
        }
        rgb = exact;
    }
    return rgb;
}

void PutPixel(Bytes& out, uint32_t rgb, uint8_t depth) {
    if (depth <= 16) {
        Put16(out, (rgb >> 19 & 31) << 10 | (rgb >> 11 & 31) << 5 | (rgb >> 3 & 31) | 0x8000);
        return;
    }
    out.insert(out.end(), {uint8_t(rgb), uint8_t(rgb >> 8), uint8_t(rgb >> 16)});
    if (depth == 32) {
        out.push_back(0x80);  // alpha, which the descriptor does not announce and nobody reads
    }
}

// The picture's pixels in stored order; with packets, runs of equal pixels become run packets (crossing
// rows, as Targa allows) and the rest raw packets.
Bytes StorePixels(int32_t width, int32_t height, uint8_t depth, bool topLeft, bool packets) {
    std::vector<uint32_t> stored;
    for (int32_t i = 0; i < height; ++i) {
        int32_t y = topLeft ? i : height - 1 - i;
        for (int32_t x = 0; x < width; ++x) {
            stored.push_back(ColorAt(x / 3 * 3, y, depth));  // runs of three
        }
    }
    Bytes out;
    for (size_t i = 0; i < stored.size();) {
        size_t n = 1;
        while (packets && i + n < stored.size() && n < 128 && stored[i + n] == stored[i]) {
            ++n;
        }
        if (packets) {
            out.push_back(n > 1 ? uint8_t(0x80 | (n - 1)) : 0);
        }
        PutPixel(out, stored[i], depth);
        for (size_t k = 1; k < n && !packets; ++k) {
            PutPixel(out, stored[i + k], depth);
        }
        i += n;
    }
    return out;
}

class Targa : public BmpTargaTest {};

TEST_F(Targa, PlainAndRunLengthFilesMatchTheirPictureAndStb) {
    struct Case {
        const char* name;
        uint16_t width, height;
        uint8_t depth, type, descriptor;
        uint16_t mapLength;  // stb_image refuses a colour map on a true-colour image
    };
    const Case cases[] = {
        {"24-bit", 8, 3, 24, 2, 0x00, 0},
        {"24-bit top-left", 4, 5, 24, 2, 0x20, 0},
        {"24-bit with an unused colour map", 4, 2, 24, 2, 0x00, 2},
        {"32-bit", 5, 3, 32, 2, 0x00, 0},
        {"16-bit", 6, 2, 16, 2, 0x00, 0},
        {"15-bit top-left", 2, 3, 15, 2, 0x20, 0},
        {"24-bit run-length", 8, 4, 24, 10, 0x00, 0},
        {"32-bit run-length top-left", 7, 3, 32, 10, 0x20, 0},
        {"16-bit run-length", 10, 2, 16, 10, 0x00, 0},
    };
    std::vector<std::pair<std::string, Bytes>> seeds;
    for (const Case& c : cases) {
        bool topLeft = c.descriptor == 0x20;
        TargaFile f{.width = c.width,
                    .height = c.height,
                    .depth = c.depth,
                    .type = c.type,
                    .descriptor = c.descriptor,
                    .idLength = 3,
                    .mapLength = c.mapLength,
                    .pixels = StorePixels(c.width, c.height, c.depth, topLeft, c.type == 10)};
        Bytes bytes = WriteTarga(f);
        Rgb want{c.width, c.height, {}};
        for (int32_t y = 0; y < c.height; ++y) {
            for (int32_t x = 0; x < c.width; ++x) {
                want.pixels.push_back(ColorAt(x / 3 * 3, y, c.depth));
            }
        }
        // 32-bit files go straight into targets of either row order; the others are converted.
        for (int16_t kind : {kKindMemory, kKindDIBSection}) {
            ZOffscreen::SetDefaultKind(kind);
            std::string what = std::string(c.name) + " kind " + std::to_string(kind);
            std::string error;
            std::unique_ptr<ZOffscreen> got = Decode(bytes, kTypeTarga, error);
            ASSERT_NE(got, nullptr) << what << ": " << error;
            Rgb picture = PictureOf(*got);
            ExpectSamePicture(picture, want, 0, what);
            // stb_image widens 5-bit levels as c * 255 / 31, a little off the middle of the span.
            if (c.mapLength == 0) {
                ExpectSamePicture(picture, StbPicture(bytes), c.depth <= 16 ? 4 : 0, what + " (stb)");
            }
        }
        if (seeds.size() < 4 && (c.type == 10 || c.descriptor != 0)) {
            seeds.emplace_back("tga" + std::to_string(seeds.size()), bytes);
        }
    }
    WriteSeedsIfAsked("targa", seeds);
}

TEST_F(Targa, FilesItCannotReadFailWithAReason) {
    TargaFile good{
        .width = 4, .height = 2, .depth = 24, .type = 2, .pixels = StorePixels(4, 2, 24, false, false)};
    struct Case {
        const char* name;
        std::function<void(TargaFile&)> change;
        const char* says;
    };
    const Case cases[] = {
        {"alpha descriptor", [](TargaFile& f) { f.descriptor = 0x08; },
         "Targa with an alpha descriptor is not supported"},
        {"right to left", [](TargaFile& f) { f.descriptor = 0x10; }, "right-to-left"},
        {"colour-mapped", [](TargaFile& f) { f.type = 1; }, "true-colour"},
        {"grey", [](TargaFile& f) { f.type = 3; }, "true-colour"},
        {"8 bits", [](TargaFile& f) { f.depth = 8; }, "pixel depth"},
        {"height 0", [](TargaFile& f) { f.height = 0; }, "bad size"},
        {"65535 squared", [](TargaFile& f) { f.width = f.height = 65535; }, "bad size"},
        {"rows with slack in the target", [](TargaFile& f) { f.width = 5, f.height = 1; }, "rows"},
        {"pixels cut short", [](TargaFile& f) { f.pixels.resize(20); }, "cut short"},
        {"id field past the end", [](TargaFile& f) { f.pixels.clear(), f.idLength = 200; }, "cut short"},
        {"packets cut short",
         [](TargaFile& f) {
             f.type = 10, f.pixels = {0x83, 1, 2};
         },
         "run-length"},
        {"packet past the image", [](TargaFile& f) { f.type = 10, f.pixels = Bytes(16, 0xFF); },
         "run-length"},
    };
    for (const Case& c : cases) {
        TargaFile f = good;
        c.change(f);
        if (f.width == 5) {
            f.pixels = StorePixels(5, 1, 24, false, false);
        }
        std::string error;
        EXPECT_EQ(Decode(WriteTarga(f), kTypeTarga, error), nullptr) << c.name;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.name << ": " << error;
    }
}

TEST_F(Targa, RunPacketsRepeatAndStopAtTheEnd) {
    struct Case {
        Bytes stream;
        int32_t depth, total, result;
    };
    const Case cases[] = {
        {{0x83, 1, 2, 3}, 24, 12, 12},                        // one pixel four times
        {{0x01, 1, 2, 3, 4, 5, 6, 0x80, 7, 8, 9}, 24, 9, 9},  // two raw pixels, then one run of one
        {{0x81, 1, 2}, 16, 4, 4},
        {{0x84, 1, 2, 3}, 24, 12, 0},  // five pixels do not fit in four
        {{0x83, 1, 2}, 24, 12, 0},     // the pixel is cut short
        {{0x83, 1}, 8, 4, 4},
        {{0x83, 1, 2, 3}, 12, 12, 0},  // not a Targa depth
    };
    std::vector<std::pair<std::string, Bytes>> seeds;
    for (const Case& c : cases) {
        // The codec target's seeds: Targa packets (2), a shape giving 24 bits, the stream.
        Bytes seed{2, 3};
        seed.insert(seed.end(), c.stream.begin(), c.stream.end());
        seeds.emplace_back("targa" + std::to_string(seeds.size()), seed);
        Bytes output(size_t(c.total) + 1, 0xCC);
        ZTargaRLECodec codec(c.depth, c.stream.data(), c.stream.size(), output.data(), size_t(c.total));
        EXPECT_EQ(codec.Decode(c.total), c.result);
        EXPECT_EQ(output.back(), 0xCC);
    }
    WriteSeedsIfAsked("rle", seeds);
    Bytes output(12);
    ZTargaRLECodec codec(24, cases[0].stream.data(), 4, output.data(), 12);
    ASSERT_EQ(codec.Decode(12), 12);
    for (size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(output[i], uint8_t(1 + i % 3));
    }
}

TEST_F(Targa, KestimgConvertsLikeStbAndRefusesClearly) {
    ToolFolder folder;
    TargaFile f{
        .width = 8, .height = 5, .depth = 24, .type = 10, .pixels = StorePixels(8, 5, 24, false, true)};
    std::string path = folder.Write("picture.tga", WriteTarga(f));
    std::string err;
    ASSERT_EQ(ToolFolder::Kestimg({"convert", path, path + ".ppm"}, err), 0) << err;
    ExpectSamePicture(ToolFolder::ReadPpm(path + ".ppm"), StbPicture(WriteTarga(f)), 0, "kestimg");

    f.descriptor = 0x08;
    std::string bad = folder.Write("alpha.tga", WriteTarga(f));
    for (const char* command : {"info", "convert"}) {
        std::vector<std::string> args{command, bad};
        if (std::string(command) == "convert") {
            args.push_back(bad + ".ppm");
        }
        EXPECT_EQ(ToolFolder::Kestimg(args, err), 1) << command;
        EXPECT_NE(err.find("Targa with an alpha descriptor is not supported"), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
}

}  // namespace
}  // namespace bmptga
