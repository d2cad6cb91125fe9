// kestdemo --photos: the EXIF reader and the captions on tables of inputs, the photo reader on every
// kind of file a camera or phone writes (checked by where colours end up), and whole containers built
// from a scratch folder and opened by the media layer.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
// jpeglib.h needs size_t and FILE first.
#include <jpeglib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "core/ZString.h"
#include "graphics/ZPicture.h"
#include "imaging/ZImageReader.h"
#include "media/ZMediaServer.h"
#include "tests/support/ProcessState.h"
#include "tests/support/ToolRun.h"
#include "tools/itemwriter/ItemWriter.h"
#include "tools/kestdemo/Captions.h"
#include "tools/kestdemo/DemoMedia.h"
#include "tools/kestdemo/Exif.h"
#include "tools/kestdemo/PhotoReader.h"

namespace fs = std::filesystem;

namespace {

// ---- Building test files ----

// An EXIF block: "Exif\0\0", a TIFF header in the given byte order and IFD0 with the given entries.
// An entry with data gets it stored after the IFD and its offset in the value field.
struct Field {
    uint16_t tag, type;
    uint32_t count, value;
    std::string data;
};

std::string ExifBlock(bool big, const std::vector<Field>& fields, uint32_t next = 0, uint32_t ifd = 8) {
    std::string tiff;
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            tiff += char(big ? v >> (8 * (bytes - 1 - i)) : v >> (8 * i));
        }
    };
    tiff += big ? "MM" : "II";
    put(42, 2);
    put(ifd, 4);
    uint32_t dataAt = 8 + 2 + 12 * uint32_t(fields.size()) + 4;
    std::string data;
    put(uint32_t(fields.size()), 2);
    for (const Field& f : fields) {
        put(f.tag, 2);
        put(f.type, 2);
        put(f.count, 4);
        if (!f.data.empty()) {
            put(dataAt + uint32_t(data.size()), 4);
            data += f.data;
        } else if (f.type == 3) {
            put(f.value, 2);  // a SHORT sits in the first two bytes of the value field
            put(0, 2);
        } else {
            put(f.value, 4);
        }
    }
    put(next, 4);
    return std::string("Exif\0\0", 6) + tiff + data;
}

Field Orientation(uint32_t v) {
    return {0x0112, 3, 1, v, {}};
}
Field Description(const std::string& text) {
    return {0x010E, 2, uint32_t(text.size() + 1), 0, text + '\0'};
}

// A JPEG of width x height, left half one colour and right half another, with an APP1 block if given.
std::string HalvesJpeg(int32_t width, int32_t height, const uint8_t left[3], const uint8_t right[3],
                       const std::string& app1 = {}, itemwriter::JpegOptions options = {}) {
    std::vector<uint8_t> rgb;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t* c = x < width / 2 ? left : right;
            rgb.insert(rgb.end(), c, c + 3);
        }
    }
    std::string jpeg = itemwriter::WriteJpeg(width, height, 3, rgb.data(), options);
    if (app1.empty()) {
        return jpeg;
    }
    size_t length = app1.size() + 2;
    return jpeg.substr(0, 2) + "\xFF\xE1" + char(length >> 8) + char(length & 0xFF) + app1 + jpeg.substr(2);
}

// A huge baseline JPEG written a row at a time, so the test holds one row; left half red.
void WriteHugeJpeg(const fs::path& path, uint32_t width, uint32_t height) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = width;
    info.image_height = height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 50, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(size_t(width) * 3, 0);
    for (uint32_t x = 0; x < width / 2; ++x) {
        row[3 * x] = 255;
    }
    JSAMPROW rows[1] = {row.data()};
    while (info.next_scanline < height) {
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

// A PNG through libpng's full interface (palette, 16 bits, interlacing). samples: rows of
// width x channels values of the given depth, big-endian at 16 bits.
struct PngSpec {
    int colorType, bitDepth;
    bool interlaced;
    std::vector<png_color> palette;
    std::vector<uint8_t> transparency;  // tRNS entries of a palette
};

void WritePng(const fs::path& path, uint32_t width, uint32_t height, const PngSpec& spec,
              const std::vector<uint8_t>& samples) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, spec.bitDepth, spec.colorType,
                 spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!spec.palette.empty()) {
        png_set_PLTE(png, info, spec.palette.data(), int(spec.palette.size()));
    }
    if (!spec.transparency.empty()) {
        png_set_tRNS(png, info, spec.transparency.data(), int(spec.transparency.size()), nullptr);
    }
    png_write_info(png, info);
    size_t rowBytes = samples.size() / height;
    std::vector<png_bytep> rows;
    for (uint32_t y = 0; y < height; ++y) {
        rows.push_back(const_cast<png_bytep>(&samples[y * rowBytes]));
    }
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

const uint8_t kRed[3] = {230, 20, 20}, kBlue[3] = {20, 20, 230}, kWhite[3] = {255, 255, 255},
              kBlack[3] = {0, 0, 0};

// An uncompressed 24-bit BMP (bottom-up) or Targa (top-down) of two halves, for the framework's readers.
std::string HalvesBgr(bool bmp, int32_t width, int32_t height, const uint8_t left[3],
                      const uint8_t right[3]) {
    auto put = [](std::string& out, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            out += char(i < 4 ? (value >> (8 * i)) & 0xFF : 0);  // zeros past the value's four bytes
        }
    };
    std::string out;
    uint32_t pixelBytes = uint32_t(width * height * 3);  // widths of a multiple of 4: rows need no padding
    if (bmp) {
        out = "BM";
        put(out, 54 + pixelBytes, 4), put(out, 0, 4), put(out, 54, 4);
        put(out, 40, 4), put(out, uint32_t(width), 4), put(out, uint32_t(height), 4), put(out, 1, 2);
        put(out, 24, 2), put(out, 0, 4), put(out, pixelBytes, 4), put(out, 0, 16);
    } else {
        put(out, 0, 2), put(out, 2, 1), put(out, 0, 9);
        put(out, uint32_t(width), 2), put(out, uint32_t(height), 2), put(out, 24, 1), put(out, 0x20, 1);
    }
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t* c = x < width / 2 ? left : right;
            out += {char(c[2]), char(c[1]), char(c[0])};
        }
    }
    return out;
}

// The colour at (x, y) within a tolerance for JPEG's losses.
::testing::AssertionResult ColourAt(const photo::Image& image, int32_t x, int32_t y, const uint8_t want[3]) {
    const uint8_t* p = &image.rgb[(size_t(y) * size_t(image.width) + size_t(x)) * 3];
    for (int c = 0; c < 3; ++c) {
        if (std::abs(int(p[c]) - int(want[c])) > 24) {
            return ::testing::AssertionFailure()
                   << "(" << x << ", " << y << ") is " << int(p[0]) << " " << int(p[1]) << " " << int(p[2]);
        }
    }
    return ::testing::AssertionSuccess();
}

class ScratchFolder {
  public:
    ScratchFolder() : path_(fs::temp_directory_path() / ("kestdemo-photos-" + std::to_string(getpid()))) {
        fs::remove_all(path_);
        fs::create_directories(path_ / "photos");
    }
    ~ScratchFolder() { fs::remove_all(path_); }
    fs::path operator/(const std::string& name) const { return path_ / name; }

  private:
    fs::path path_;
};

// ---- The EXIF reader ----

TEST(ExifTest, ReadsOrientationAndDescriptionAndRefusesBrokenBlocks) {
    const std::string both = ExifBlock(false, {Orientation(6), Description("Sunset at the pier")});
    const std::string bothBig = ExifBlock(true, {Orientation(8), Description("Pier")});
    struct Case {
        const char* what;
        std::string bytes;
        bool ok;
        int orientation;
        const char* description;
    };
    const Case cases[] = {
        {"little-endian", both, true, 6, "Sunset at the pier"},
        {"big-endian", bothBig, true, 8, "Pier"},
        {"short text in the entry", ExifBlock(true, {{0x010E, 2, 3, 0x48690000, {}}}), true, 1, "Hi"},
        {"no entries", ExifBlock(false, {}), true, 1, ""},
        {"orientation out of range", ExifBlock(false, {Orientation(9)}), true, 1, ""},
        {"orientation of the wrong type", ExifBlock(false, {{0x0112, 4, 1, 6, {}}}), true, 1, ""},
        {"text beyond the data", both.substr(0, both.size() - 5), true, 6, ""},
        {"text offset far outside", ExifBlock(false, {Orientation(3), {0x010E, 2, 40, 0xFFFFFFF0, {}}}), true,
         3, ""},
        {"text count past 4 GB", ExifBlock(false, {{0x010E, 2, 0xFFFFFFFF, 0, "x"}}), true, 1, ""},
        {"next IFD loops to IFD0 (only IFD0 is read)", ExifBlock(false, {Orientation(2)}, 8), true, 2, ""},
        {"IFD cut short", both.substr(0, 6 + 8 + 2 + 12), false, 1, ""},
        {"IFD0 offset outside", ExifBlock(false, {Orientation(6)}, 0, 0x7FFFFFF0), false, 1, ""},
        {"IFD entry count past the end", ExifBlock(false, {}).substr(0, 6 + 8) + "\xFF\xFF", false, 1, ""},
        {"bad byte order", "Exif\0\0XX" + both.substr(8), false, 1, ""},
        {"bad TIFF magic", ExifBlock(false, {}).replace(8, 1, "\x2B"), false, 1, ""},
        {"not EXIF (XMP)", "http://ns.adobe.com/xap/1.0/", false, 1, ""},
        {"TIFF header cut", both.substr(0, 9), false, 1, ""},
        {"empty", "", false, 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        exif::Info info;
        info.orientation = 5;
        EXPECT_EQ(exif::Parse(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size(), info), c.ok);
        EXPECT_EQ(info.orientation, c.orientation);
        EXPECT_EQ(info.description, c.description);
    }
}

// ---- Captions ----

TEST(CaptionsTest, StoredTextIsTidyLatin1) {
    const std::pair<std::string, std::string> cases[] = {
        {"Caf\xC3\xA9 au lait", "Caf\xE9 au lait"},
        {"\xE6\x97\xA5\xE6\x9C\xAC in spring", "?? in spring"},  // outside Latin-1
        {"  tab\there\r\n  and\x01there  ", "tab here and there"},
        {"broken \xC3 and \xFF\xFE end", "broken ? and ?? end"},
        {captions::FromFileName("IMG_2041-beach_day.jpg"), "IMG 2041 beach day"},
        {captions::FromFileName(".profile"), ".profile"},
        {std::string(60, 'x'), std::string(captions::kMostCaptionBytes, 'x')},
        {std::string(40, 'a') + " " + std::string(30, 'b'), std::string(40, 'a')},
    };
    for (const auto& [in, want] : cases) {
        EXPECT_EQ(captions::ToStored(in), want) << in;
    }
    EXPECT_FALSE(captions::IsMeaningfulDescription("OLYMPUS DIGITAL CAMERA         "));
    EXPECT_FALSE(captions::IsMeaningfulDescription("  "));
    EXPECT_TRUE(captions::IsMeaningfulDescription("Olympus in the snow"));
}

TEST(CaptionsTest, FileLinesNameThePhotoAndBadLinesAreReported) {
    std::map<std::string, std::string> got;
    std::vector<std::string> problems;
    captions::Parse(
        "\xEF\xBB\xBF# holiday\n"
        "a.jpg\tOn the beach\r\n"
        "\n"
        "no tab here\n"
        "b.png\t  \n"
        "my photo.jpg \t Our house\n"
        "a.jpg\tThe beach again",
        got, problems);
    EXPECT_EQ(got, (std::map<std::string, std::string>{{"a.jpg", "The beach again"},
                                                       {"my photo.jpg", "Our house"}}));
    EXPECT_EQ(problems, (std::vector<std::string>{"line 4: expected \"file name<TAB>caption\"",
                                                  "line 5: expected \"file name<TAB>caption\""}));
}

// ---- The photo reader ----

TEST(PhotoReaderTest, OrientationsPutTheFirstRowWhereExifSays) {
    // A 3 x 2 picture: the stored top-left pixel 1, top-right 2, the rest 0. Per orientation, the corner
    // each lands in (0 top-left, 1 top-right, 2 bottom-right, 3 bottom-left) as EXIF defines them.
    photo::Image stored{3, 2, std::vector<uint8_t>(18, 0)};
    stored.rgb[0] = 1;
    stored.rgb[2 * 3] = 2;
    const int kCorners[9][2] = {{}, {0, 1}, {1, 0}, {2, 3}, {3, 2}, {0, 3}, {1, 2}, {2, 1}, {3, 0}};
    for (int o = 1; o <= 8; ++o) {
        photo::Image shown = photo::Orient(stored, o);
        ASSERT_EQ(shown.width, o > 4 ? 2 : 3) << o;
        auto corner = [&](int k) {
            int32_t x = k == 1 || k == 2 ? shown.width - 1 : 0, y = k >= 2 ? shown.height - 1 : 0;
            return shown.rgb[(size_t(y) * size_t(shown.width) + size_t(x)) * 3];
        };
        EXPECT_EQ(corner(kCorners[o][0]), 1) << o;
        EXPECT_EQ(corner(kCorners[o][1]), 2) << o;
    }
}

TEST(PhotoReaderTest, EveryKindDecodesUprightAndCovering) {
    ScratchFolder scratch;
    itemwriter::JpegOptions progressive, cmyk;
    progressive.progressive = true;
    cmyk.cmyk = true;
    WriteFile(scratch / "progressive.jpg", HalvesJpeg(640, 480, kRed, kBlue, {}, progressive));
    WriteFile(scratch / "turned6.jpg", HalvesJpeg(640, 480, kRed, kBlue, ExifBlock(false, {Orientation(6)})));
    WriteFile(scratch / "mirrored.jpg", HalvesJpeg(640, 480, kRed, kBlue, ExifBlock(true, {Orientation(2)})));
    WriteFile(scratch / "cmyk.jpg", HalvesJpeg(640, 480, kWhite, kBlack, {}, cmyk));
    std::vector<uint8_t> grey(300 * 200);
    for (size_t i = 0; i < grey.size(); ++i) {
        grey[i] = i % 300 < 150 ? 0 : 255;
    }
    WriteFile(scratch / "grey.jpg", itemwriter::WriteJpeg(300, 200, 1, grey.data(), {}));
    // RGBA, left half transparent red (black once composited), right half opaque blue.
    std::vector<uint8_t> rgba;
    for (int i = 0; i < 300 * 240; ++i) {
        const uint8_t pixel[4] = {kRed[0], kRed[1], kRed[2], 0},
                      opaque[4] = {kBlue[0], kBlue[1], kBlue[2], 255};
        const uint8_t* p = i % 300 < 150 ? pixel : opaque;
        rgba.insert(rgba.end(), p, p + 4);
    }
    WritePng(scratch / "alpha.png", 300, 240, {PNG_COLOR_TYPE_RGB_ALPHA, 8, false, {}, {}}, rgba);
    // An interlaced 2-bit palette picture: red left, blue right.
    std::vector<uint8_t> packed;
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 300; x += 4) {
            packed.push_back(x < 148 ? 0x00 : x < 152 ? 0x05 : 0x55);
        }
    }
    WritePng(
        scratch / "palette.png", 300, 240,
        {PNG_COLOR_TYPE_PALETTE, 2, true, {{kRed[0], kRed[1], kRed[2]}, {kBlue[0], kBlue[1], kBlue[2]}}, {}},
        packed);
    // 16-bit grey, white on the left.
    std::vector<uint8_t> grey16;
    for (int i = 0; i < 300 * 240; ++i) {
        uint8_t v = i % 300 < 150 ? 0xFF : 0x00;
        grey16.insert(grey16.end(), {v, v});
    }
    WritePng(scratch / "grey16.png", 300, 240, {PNG_COLOR_TYPE_GRAY, 16, false, {}, {}}, grey16);
    WriteHugeJpeg(scratch / "huge.jpg", 12000, 8400);

    struct Case {
        const char* file;
        int32_t width, height;          // as decoded for a 252 x 224 feature
        const uint8_t *first, *second;  // the colours at a quarter and three quarters of the way
        bool downward;                  // along the height instead of the width
    };
    const Case cases[] = {
        {"progressive.jpg", 320, 240, kRed, kBlue, false},
        {"turned6.jpg", 300, 400, kRed, kBlue, true},  // the left half turned to the top
        {"mirrored.jpg", 320, 240, kBlue, kRed, false},
        {"cmyk.jpg", 320, 240, kWhite, kBlack, false},
        {"grey.jpg", 300, 200, kBlack, kWhite, false},
        {"alpha.png", 300, 240, kBlack, kBlue, false},
        {"palette.png", 300, 240, kRed, kBlue, false},
        {"grey16.png", 300, 240, kWhite, kBlack, false},
        {"huge.jpg", 1500, 1050, kRed, kBlack, false},  // DCT-scaled by 1/8
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        photo::Photo p;
        std::string error;
        ASSERT_TRUE(photo::ReadPhoto((scratch / c.file).string(), 252, 224, p, error)) << error;
        EXPECT_EQ(p.image.width, c.width);
        EXPECT_EQ(p.image.height, c.height);
        int32_t w = p.image.width, h = p.image.height;
        EXPECT_TRUE(ColourAt(p.image, c.downward ? w / 2 : w / 4, c.downward ? h / 4 : h / 2, c.first));
        EXPECT_TRUE(
            ColourAt(p.image, c.downward ? w / 2 : 3 * w / 4, c.downward ? 3 * h / 4 : h / 2, c.second));
    }
    // Cropped to fill: the 4:3 picture keeps its middle, both halves still there.
    photo::Photo p;
    std::string error;
    ASSERT_TRUE(photo::ReadPhoto((scratch / "progressive.jpg").string(), 60, 60, p, error));
    photo::Image bubble = photo::CropToFill(p.image, 60, 60);
    EXPECT_TRUE(ColourAt(bubble, 5, 30, kRed));
    EXPECT_TRUE(ColourAt(bubble, 55, 30, kBlue));

    // Broken and foreign files are refused with a reason, never read past their end.
    const std::string good = HalvesJpeg(256, 256, kRed, kBlue);
    WriteFile(scratch / "cut.jpg", good.substr(0, good.size() - 100));
    WriteFile(scratch / "noise.jpg", "\xFF\xD8\xFF\xE0 not really");
    WriteFile(scratch / "cut.png", "\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR");
    // Kinds the framework reads itself: a BMP, and a Targa, known by its extension alone.
    WriteFile(scratch / "halves.bmp", HalvesBgr(true, 64, 48, kRed, kBlue));
    WriteFile(scratch / "halves.tga", HalvesBgr(false, 64, 48, kRed, kBlue));
    for (const char* file : {"halves.bmp", "halves.tga"}) {
        ASSERT_TRUE(photo::ReadPhoto((scratch / file).string(), 60, 60, p, error)) << file << ": " << error;
        EXPECT_TRUE(ColourAt(p.image, 8, 40, kRed)) << file;
        EXPECT_TRUE(ColourAt(p.image, 56, 8, kBlue)) << file;
    }
    WriteFile(scratch / "anim.gif", "GIF89a");
    WriteFile(scratch / "photo.tif", std::string("II*\0 and no more", 17));
    WriteFile(scratch / "notes.txt", "hello");
    const std::pair<const char*, const char*> refused[] = {{"noise.jpg", "JPEG"},
                                                           {"cut.png", "Read Error"},
                                                           {"anim.gif", "GIF"},
                                                           {"photo.tif", "TIFF file, not a photo kind"},
                                                           {"notes.txt", "not a picture kestdemo reads"},
                                                           {"missing.jpg", "No such file"}};
    for (const auto& [file, reason] : refused) {
        EXPECT_FALSE(photo::ReadPhoto((scratch / file).string(), 252, 224, p, error)) << file;
        EXPECT_NE(error.find(reason), std::string::npos) << file << ": " << error;
    }
    // A truncated scan still gives a picture: what a camera card often holds.
    EXPECT_TRUE(photo::ReadPhoto((scratch / "cut.jpg").string(), 252, 224, p, error)) << error;
}

// ---- Whole containers ----

class PhotoAlbumTest : public testsupport::ProcessStateTest {
  protected:
    void SetUp() override {
        ProcessStateTest::SetUp();
        InstallImageReaders();
    }
    std::string Caption(uint16_t id) {
        ZString text(64);
        EXPECT_TRUE(gMediaServer->ReadTextItem(id, text)) << id;
        return text.GetText();
    }
    ZRect Bounds(uint16_t id) {
        auto* picture = new ZPicture(id);
        ZRect bounds = picture->GetFullBounds();
        picture->Release();
        return bounds;
    }
    ScratchFolder scratch_;
};

TEST_F(PhotoAlbumTest, FolderBecomesAShowWithCaptionsAndRepeats) {
    const fs::path photos = scratch_ / "photos";
    WriteFile(photos / "a_first-photo.jpg", HalvesJpeg(640, 480, kRed, kBlue));
    WriteFile(photos / "b.jpg",
              HalvesJpeg(480, 640, kRed, kBlue, ExifBlock(false, {Description("Sunset at the pier")})));
    WriteFile(photos / "c.jpg",
              HalvesJpeg(480, 640, kRed, kBlue, ExifBlock(false, {Description("SONY DSC ")})));
    WriteFile(photos / "d broken.jpg", "\xFF\xD8\xFF garbage");
    WriteFile(photos / "e.gif", "GIF89a");
    WriteFile(photos / ".hidden.jpg", HalvesJpeg(64, 64, kRed, kBlue));
    fs::create_directory(photos / "f_folder.jpg");
    WriteFile(scratch_ / "captions.txt", "b.jpg\tB's caption, not the camera's\nbad line\n");

    const std::string out = (scratch_ / "show.msf").string();
    testsupport::ToolResult r = testsupport::RunTool(
        demo::Run,
        {"--photos", photos.string(), "--captions", (scratch_ / "captions.txt").string(), "-o", out});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("kestdemo: photo 1 of 5: a_first-photo.jpg"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("skipped d broken.jpg: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("skipped e.gif: GIF file is too short"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("captions.txt: line 2:"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("hidden"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("photos used: 3, repeats in the sets: 37, reused for the background and mosaic: 2, "
                         "files skipped: 2"),
              std::string::npos)
        << r.err;

    ZFileSpec file(out.c_str());
    ASSERT_TRUE(gMediaServer->OpenContainer(file, false));
    EXPECT_EQ(gMediaServer->GetDirectory().size(), 445u);
    const struct {
        uint16_t id;
        int32_t width, height;
    } pictures[] = {{1000, 800, 600}, {1003, 252, 224}, {1022, 252, 224}, {1103, 60, 60},  {1243, 252, 224},
                    {1382, 60, 60},   {2600, 200, 150}, {2700, 100, 100}, {2747, 100, 100}};
    for (const auto& p : pictures) {
        EXPECT_EQ(Bounds(p.id).Width(), p.width) << p.id;
        EXPECT_EQ(Bounds(p.id).Height(), p.height) << p.id;
    }
    // Set 0 is the three photos repeated in order; set 1 goes on where it stopped (20 = 3 x 6 + 2).
    EXPECT_EQ(Caption(2400), "a first photo");
    EXPECT_EQ(Caption(2401), "B's caption, not the camera's");
    EXPECT_EQ(Caption(2402), "c");
    EXPECT_EQ(Caption(2403), "a first photo");
    EXPECT_EQ(Caption(2300), "c");
    EXPECT_EQ(Caption(2319), "a first photo");
}

TEST_F(PhotoAlbumTest, NoUsablePhotoWritesNothing) {
    WriteFile(scratch_ / "photos" / "x.jpg", "not a photo");
    const std::string out = (scratch_ / "none.msf").string();
    testsupport::ToolResult r =
        testsupport::RunTool(demo::Run, {"--photos", (scratch_ / "photos").string(), "-o", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no photograph could be read"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out));
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--photos", "x"},
                                                 {"--captions", "c", "-o", "o"},
                                                 {"--photos", "x", "--photos", "y", "-o", "o"}}) {
        EXPECT_EQ(testsupport::RunTool(demo::Run, args).status, 1);
    }
    r = testsupport::RunTool(demo::Run, {"--photos", (scratch_ / "nowhere").string(), "-o", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot read the folder"), std::string::npos) << r.err;
}

// The show plays a whole minute of a container built from photos, as the screensaver, and draws it.
TEST_F(PhotoAlbumTest, TheShowPlaysTheContainer) {
    WriteFile(scratch_ / "photos" / "a.jpg", HalvesJpeg(640, 480, kRed, kBlue));
    const std::string out = (scratch_ / "play.msf").string();
    ASSERT_EQ(testsupport::RunTool(demo::Run, {"--photos", (scratch_ / "photos").string(), "-o", out}).status,
              0);
    // Its own runtime and configuration folders: the instance lock and profile of no other run.
    const fs::path run = scratch_ / "run";
    fs::create_directory(run);
    const fs::path snapshot = run / "shown.png";
    const std::string command = "cd '" + run.string() + "' && XDG_RUNTIME_DIR='" + run.string() +
                                "' XDG_CONFIG_HOME='" + run.string() + "' DISPLAY= WAYLAND_DISPLAY= '" +
                                KESTAPP_PATH +
                                "' --video=headless --seconds=60 --seed=1 --screen=800x600x32 --snapshot='" +
                                snapshot.string() + "' --media='" + out + "' /s 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string said;
    char buffer[512];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        said.append(buffer, n);
    }
    EXPECT_EQ(pclose(pipe), 0) << said;
    EXPECT_EQ(said, "");
    // The scene is drawn: most of the screen is lit.
    photo::Photo shown;
    std::string error;
    ASSERT_TRUE(photo::ReadPhoto(snapshot.string(), 800, 600, shown, error)) << error;
    size_t lit = 0;
    for (size_t i = 0; i < shown.image.rgb.size(); i += 3) {
        lit += shown.image.rgb[i] + shown.image.rgb[i + 1] + shown.image.rgb[i + 2] > 0;
    }
    EXPECT_GT(lit, shown.image.rgb.size() / 3 / 2);
}

}  // namespace
