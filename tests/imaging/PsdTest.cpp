// The Photoshop reader against documents written by hand: the merged image in every colour mode, depth
// and compression, the layers one by one and composed, the PackBits codec, and the faults a reader of
// untrusted documents must survive.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "graphics/ZAlphaChannel.h"
#include "graphics/ZColorTable.h"
#include "graphics/ZOffscreen.h"
#include "imaging/ZCMYKColor.h"
#include "imaging/ZPICTImageReader.h"
#include "imaging/ZPackBitsCodec.h"
#include "imaging/ZPhotoshopImageReader.h"
#include "media/ZFile.h"
#include "platform/File.h"
#include "tests/imaging/PsdWriter.h"

using namespace psdtest;

namespace {

// A document in a temporary file, opened for one reader.
class Opened {
  public:
    explicit Opened(const Bytes& bytes, ZTypeCode type = kTypePhotoshop)
        : memory_(bytes.data(), bytes.size()) {
        file_.SetFileSpec(ZFileSpec(memory_.GetPath().c_str()));
        file_.Open(ZFileObject::kModeRead);
        reader.reset(CreateImageReader(&file_, type));
    }
    ZPhotoshopImageReader& Psd() { return static_cast<ZPhotoshopImageReader&>(*reader); }

    std::unique_ptr<ZImageReader> reader;

  private:
    platform::MemoryFile memory_;
    ZFile file_;
};

// A target for image index of the reader's depth, in format (0: the default) and kind, with its palette.
std::unique_ptr<ZOffscreen> TargetFor(ZImageReader& reader, int32_t index, int16_t format = 0,
                                      int16_t kind = kKindMemory) {
    ZRect bounds;
    reader.GetBounds(bounds, index);
    ZColorTable* table = reader.GetColorTable(false);
    auto target = std::make_unique<ZOffscreen>(bounds, reader.GetDepth(), table, kind, format);
    if (table != nullptr) {
        table->Release();
    }
    return target;
}

uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) {
    return (r << 16) | (g << 8) | b;
}

// The colour a document's channels give at sample i: the stored value's first byte per channel.
uint32_t Expected(const Document& d, size_t i) {
    auto at = [&](size_t c) {
        return uint32_t(d.bits == 16 ? d.merged[c].samples[i] >> 8 : d.merged[c].samples[i]);
    };
    switch (d.mode) {
        case ZPhotoshopImageReader::kModeRGB:
            return Rgb(at(0), at(1), at(2));
        case ZPhotoshopImageReader::kModeCMYK: {
            // Stored inverted: 255 is no ink. Each component is the paper left by black, less the ink.
            uint32_t paper = at(3);
            auto component = [&](uint32_t stored) { return paper - ((paper * (255 - stored)) >> 8); };
            return Rgb(component(at(0)), component(at(1)), component(at(2)));
        }
        case ZPhotoshopImageReader::kModeIndexed: {
            const uint8_t* p = d.colorModeData.data();
            uint32_t v = at(0);
            return Rgb(p[v], p[256 + v], p[512 + v]);
        }
        default:
            return Rgb(at(0), at(0), at(0));
    }
}

Bytes IndexedPalette() {
    Bytes planes(768);
    for (int32_t i = 0; i < 256; ++i) {
        planes[size_t(i)] = uint8_t(i);
        planes[size_t(256 + i)] = uint8_t(255 - i);
        planes[size_t(512 + i)] = uint8_t(i * 7);
    }
    return planes;
}

TEST(PsdMerged, EveryModeDepthAndCompressionExactly) {
    struct Case {
        int16_t mode;
        int32_t channels;
        int16_t bits;
        bool packBits;
        int16_t format;
        int16_t kind;
    };
    const Case cases[] = {
        {3, 3, 8, false, kFormatRGB24, kKindMemory},
        {3, 3, 8, true, kFormatBGR24, kKindMemory},
        {3, 4, 16, false, kFormatBGR24, kKindMemory},
        {3, 3, 16, true, kFormatRGB24, kKindMemory},
        {3, 3, 8, true, kFormatBGR24, kKindDIBSection},
        {1, 1, 8, false, 0, kKindMemory},
        {1, 2, 16, true, 0, kKindDIBSection},
        {2, 1, 8, true, 0, kKindMemory},
        {4, 4, 8, false, kFormatRGB24, kKindMemory},
        {4, 5, 16, true, kFormatBGR24, kKindMemory},
        {8, 1, 8, false, 0, kKindMemory},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode) + " bits " + std::to_string(c.bits) + " packed " +
                     std::to_string(c.packBits) + " format " + std::to_string(c.format));
        Document d = Flat(c.mode, c.channels, 13, 7, c.bits, c.packBits);
        if (c.mode == ZPhotoshopImageReader::kModeIndexed) {
            d.colorModeData = IndexedPalette();
        }
        Opened file(Write(d));
        ASSERT_EQ(file.reader->ReadHeader(), 0) << file.reader->GetError();
        EXPECT_EQ(file.reader->GetDepth(), c.mode == 3 || c.mode == 4 ? 24 : 8);
        EXPECT_EQ(file.reader->GetImageCount(), 1);
        auto target = TargetFor(*file.reader, -1, c.format, c.kind);
        ASSERT_EQ(file.reader->ReadImage(*target, 7, -1, 0), 0) << file.reader->GetError();
        for (int32_t y = 0; y < d.height; ++y) {
            for (int32_t x = 0; x < d.width; ++x) {
                ASSERT_EQ(target->ColorAt(x, y), Expected(d, size_t(y * d.width + x))) << x << "," << y;
            }
        }
    }
}

TEST(PsdMerged, PaletteSixteenBitsAndKnownCmyk) {
    Document indexed = Flat(2, 1, 4, 4, 8, false);
    indexed.colorModeData = IndexedPalette();
    Opened file(Write(indexed));
    ASSERT_EQ(file.reader->ReadHeader(), 0);
    EXPECT_EQ(file.reader->GetPaletteCount(), 256);

    // A 16-bit sample keeps its high byte, whatever the low one.
    Document wide = Flat(3, 3, 2, 1, 16, false);
    wide.merged[0].samples = {0x12FF, 0x1200};
    Opened wideFile(Write(wide));
    ASSERT_EQ(wideFile.reader->ReadHeader(), 0);
    auto target = TargetFor(*wideFile.reader, -1, kFormatRGB24);
    ASSERT_EQ(wideFile.reader->ReadImage(*target, 1, -1, 0), 0);
    EXPECT_EQ(target->RowAddress(0)[0], 0x12);
    EXPECT_EQ(target->RowAddress(0)[3], 0x12);

    // No ink is white, full black is black, full cyan leaves green and blue.
    Document cmyk = Flat(4, 4, 3, 1, 8, true);
    cmyk.merged[0].samples = {255, 255, 0};
    cmyk.merged[1].samples = {255, 255, 255};
    cmyk.merged[2].samples = {255, 255, 255};
    cmyk.merged[3].samples = {255, 0, 255};
    Opened cmykFile(Write(cmyk));
    ASSERT_EQ(cmykFile.reader->ReadHeader(), 0);
    target = TargetFor(*cmykFile.reader, -1);
    ASSERT_EQ(cmykFile.reader->ReadImage(*target, 1, -1, 0), 0);
    EXPECT_EQ(target->ColorAt(0, 0), 0xFFFFFFu);
    EXPECT_EQ(target->ColorAt(1, 0), 0x000000u);
    EXPECT_EQ(target->ColorAt(2, 0), 0x01FFFFu);
}

TEST(PsdHeader, RefusesWhatItCannotRead) {
    struct Case {
        const char* what;
        void (*spoil)(Document&);
        int32_t code;
    };
    const Case cases[] = {
        {"version 2", [](Document& d) { d.version = 2; }, 1},
        {"1-bit", [](Document& d) { d.bits = 1; }, 1},
        {"32-bit", [](Document& d) { d.bits = 32; }, 1},
        {"RGB with 2 channels", [](Document& d) { d.channels = 2; }, 1},
        {"CMYK with 3 channels", [](Document& d) { d.mode = 4; }, 1},
        {"unknown mode", [](Document& d) { d.mode = 5; }, 1},
        {"no rows", [](Document& d) { d.height = 0; }, 1},
        {"indexed without palette", [](Document& d) { d.mode = 2; }, 2},
        {"layer overflowing",
         [](Document& d) {
             d.layers = {Layer{INT_MIN + 5, 0, INT_MAX - 5, 4, 255, false, {}}};
         },
         6},
        {"layer too tall",
         [](Document& d) {
             d.layers = {Layer{0, 0, 20000, 4, 255, false, {}}};
         },
         6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Document d = Flat(3, 3, 4, 4, 8, false);
        c.spoil(d);
        Opened file(Write(d));
        EXPECT_EQ(file.reader->ReadHeader(), c.code);
        ASSERT_NE(file.reader->GetError(), nullptr);
    }
    // Cut anywhere in the headers, the document fails and says why.
    Document layered = Flat(3, 3, 4, 4, 8, true);
    layered.layers = {Layer{0, 0, 2, 2, 255, false, {{0, Pattern(2, 2, 1, 8)}}}};
    Bytes whole = Write(layered);
    for (size_t size : {size_t(10), size_t(28), size_t(33), size_t(40), size_t(60), size_t(80)}) {
        Opened file(Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(size)));
        EXPECT_NE(file.reader->ReadHeader(), 0) << size;
    }
}

Document Layered() {
    Document d = Flat(3, 3, 8, 6, 8, false);
    auto planes = [](int32_t w, int32_t h, std::initializer_list<int16_t> ids) {
        std::vector<Plane> out;
        for (int16_t id : ids) {
            out.push_back(Plane{id, Pattern(w, h, uint32_t(id + 10), 8)});
        }
        return out;
    };
    d.layers = {
        Layer{1, 2, 4, 6, 255, false, planes(4, 3, {-1, 0, 1, 2})},
        Layer{0, 0, 0, 0, 255, false, planes(0, 0, {-1, 0, 1, 2})},  // a group: no pixels
        // Partly outside the document, half opaque, with a user mask (-2) and a channel id (3) that RGB
        // pixels have no byte for.
        Layer{-2, -1, 3, 2, 128, false, planes(3, 5, {0, 1, 2, 3, -2})},
        Layer{0, 0, 2, 8, 255, true, planes(8, 2, {0, 1, 2})},
    };
    return d;
}

TEST(PsdLayers, EachLayerWithPlaceVisibilityOpacityAndTransparency) {
    for (bool packBits : {false, true}) {
        Document d = Layered();
        d.packBits = packBits;
        Opened file(Write(d));
        ASSERT_EQ(file.reader->ReadHeader(), 0) << file.reader->GetError();
        ASSERT_EQ(file.reader->GetImageCount(), 3);  // the group is left out
        const size_t source[] = {0, 2, 3};
        for (int32_t i = 0; i < 3; ++i) {
            SCOPED_TRACE(i);
            const Layer& layer = d.layers[source[i]];
            auto target = TargetFor(*file.reader, i, kFormatRGB24);
            ASSERT_EQ(file.reader->ReadImage(*target, 7, i, 0), 0) << file.reader->GetError();
            EXPECT_EQ(target->GetPosition().x, layer.left);
            EXPECT_EQ(target->GetPosition().y, layer.top);
            EXPECT_EQ(target->IsVisible(), !layer.hidden);
            EXPECT_EQ(target->GetOpacity(), layer.opacity == 128 ? 32 : 63);
            EXPECT_EQ(target->GetTransferMode().Has(ZTransferMode::kUseOpacity), layer.opacity == 128);
            int32_t width = layer.right - layer.left;
            ZAlphaChannel* alpha = target->GetAlphaChannel();
            ASSERT_NE(alpha, nullptr);
            for (int32_t y = 0; y < layer.bottom - layer.top; ++y) {
                for (int32_t x = 0; x < width; ++x) {
                    size_t s = size_t(y * width + x);
                    uint32_t want[3] = {};
                    uint32_t coverage = 63;
                    for (const Plane& p : layer.planes) {
                        if (p.id >= 0 && p.id < 3) {
                            want[p.id] = p.samples[s];
                        } else if (p.id == -1) {
                            coverage = p.samples[s] >> 2;
                        }
                    }
                    ASSERT_EQ(target->RowAddress(y)[x * 3], want[0]);
                    ASSERT_EQ(target->RowAddress(y)[x * 3 + 1], want[1]);
                    ASSERT_EQ(target->RowAddress(y)[x * 3 + 2], want[2]);
                    ASSERT_EQ(uint32_t(alpha->GetAlphaAt(x, y)), coverage);
                }
            }
            alpha->Release();
        }
    }
}

TEST(PsdLayers, AllImagesGiveOneOffscreenPerLayer) {
    Document d = Layered();
    Opened file(Write(d));
    ZForcedDepth forced(24);
    ZOffscreen* first = file.reader->CreateOffscreen(7, kImageAllChained, -1);
    ASSERT_NE(first, nullptr) << file.reader->GetError();
    const size_t source[] = {0, 2, 3};
    int32_t count = 0;
    for (ZOffscreen* o = first; o != nullptr; o = static_cast<ZOffscreen*>(o->next), ++count) {
        ASSERT_LT(count, 3);
        const Layer& layer = d.layers[source[count]];
        EXPECT_EQ(o->GetPosition().x, layer.left);
        EXPECT_EQ(o->GetPosition().y, layer.top);
        EXPECT_EQ(o->GetWidth(), layer.right - layer.left);
        EXPECT_EQ(o->GetHeight(), layer.bottom - layer.top);
        EXPECT_EQ(o->IsVisible(), !layer.hidden);
    }
    EXPECT_EQ(count, 3);
    DeleteOffscreenChain(first);
}

TEST(PsdLayers, ComposedLayersCoverTheirUnion) {
    // One wide and short, one narrow and tall: the temporary must hold both; a hidden one on top.
    Document d = Flat(3, 3, 8, 6, 8, true);
    auto planes = [](int32_t w, int32_t h, uint32_t seed) {
        return std::vector<Plane>{
            {0, Pattern(w, h, seed, 8)}, {1, Pattern(w, h, seed + 1, 8)}, {2, Pattern(w, h, seed + 2, 8)}};
    };
    d.layers = {Layer{0, 0, 2, 8, 255, false, planes(8, 2, 20)}, Layer{0, 0, 0, 0, 255, false, {}},
                Layer{1, 1, 6, 3, 255, false, planes(2, 5, 30)},
                Layer{0, 0, 6, 8, 255, true, planes(8, 6, 40)}};
    Opened file(Write(d));
    ASSERT_EQ(file.reader->ReadHeader(), 0);
    auto target = TargetFor(*file.reader, -1, kFormatRGB24);
    ASSERT_EQ(file.reader->ReadImage(*target, 7, -1, 0), 0) << file.reader->GetError();
    ZAlphaChannel* alpha = target->GetAlphaChannel();
    ASSERT_NE(alpha, nullptr);
    for (int32_t y = 0; y < 6; ++y) {
        for (int32_t x = 0; x < 8; ++x) {
            const Layer* top = nullptr;
            for (const Layer* l : {&d.layers[0], &d.layers[2]}) {
                if (y >= l->top && y < l->bottom && x >= l->left && x < l->right) {
                    top = l;
                }
            }
            ASSERT_EQ(alpha->GetAlphaAt(x, y), top != nullptr ? 63 : 0) << x << "," << y;
            for (int32_t c = 0; c < 3; ++c) {
                uint32_t want = 0;
                if (top != nullptr) {
                    int32_t w = top->right - top->left;
                    want = top->planes[size_t(c)].samples[size_t((y - top->top) * w + x - top->left)];
                }
                ASSERT_EQ(target->RowAddress(y)[x * 3 + c], want) << x << "," << y << " channel " << c;
            }
        }
    }
    alpha->Release();
    // Without alpha asked for, index -1 is the merged image.
    auto merged = TargetFor(*file.reader, -1, kFormatRGB24);
    ASSERT_EQ(file.reader->ReadImage(*merged, 1, -1, 0), 0);
    EXPECT_EQ(merged->ColorAt(5, 5), Expected(d, 5 * 8 + 5));
    EXPECT_EQ(merged->GetAlphaChannel(), nullptr);
}

// A one-channel 2 x 2 grey document packed by hand: the row counts, then the packed rows.
Bytes GreyPacked(std::initializer_list<uint8_t> countsAndData) {
    Document d = Flat(1, 1, 2, 2, 8, false);
    Bytes bytes = Write(d);
    bytes.resize(bytes.size() - 4);  // the raw rows
    bytes.back() = 1;                // PackBits
    bytes.insert(bytes.end(), countsAndData);
    return bytes;
}

TEST(PsdFaults, PackedRowsKeepToTheirByteCounts) {
    struct Case {
        const char* what;
        Bytes bytes;
        int32_t result;
    };
    const Case cases[] = {
        // Row 0 carries a spare byte; row 1 still starts where the counts put it.
        {"repositioned", GreyPacked({0, 4, 0, 3, 1, 10, 11, 99, 1, 12, 13}), 0},
        // Row 0's count stops inside its literal: the codec must not borrow row 1's bytes.
        {"bounded", GreyPacked({0, 2, 0, 3, 1, 10, 1, 12, 13}), ZPhotoshopImageReader::kBadCompression},
        {"counts beyond the file", GreyPacked({0, 200, 0, 3, 1, 10, 11, 1, 12, 13}),
         ZPhotoshopImageReader::kBadCompression},
        {"row counts cut short", GreyPacked({0, 3}), ZPhotoshopImageReader::kBadCompression},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Opened file(c.bytes);
        ASSERT_EQ(file.reader->ReadHeader(), 0);
        auto target = TargetFor(*file.reader, -1);
        EXPECT_EQ(file.reader->ReadImage(*target, 1, -1, 0), c.result);
        if (c.result == 0) {
            EXPECT_EQ(target->ColorAt(0, 1), 0x0C0C0Cu);
            EXPECT_EQ(target->ColorAt(1, 1), 0x0D0D0Du);
        }
    }
    // Raw data cut short, and a layer channel shorter than its rows.
    Bytes raw = Write(Flat(3, 3, 4, 4, 8, false));
    raw.resize(raw.size() - 5);
    Opened rawFile(raw);
    ASSERT_EQ(rawFile.reader->ReadHeader(), 0);
    auto target = TargetFor(*rawFile.reader, -1);
    EXPECT_EQ(rawFile.reader->ReadImage(*target, 1, -1, 0), ZPhotoshopImageReader::kShortRawData);
    // A target smaller than the document and a depth other than the reader's are refused.
    ZOffscreen small(ZRect::FromSize(2, 2), 24, nullptr, kKindMemory);
    EXPECT_EQ(rawFile.reader->ReadImage(small, 1, -1, 0), ZPhotoshopImageReader::kTargetTooSmall);
    ZOffscreen eight(ZRect::FromSize(4, 4), 8, nullptr, kKindMemory);
    EXPECT_NE(rawFile.reader->ReadImage(eight, 1, -1, 0), 0);
    EXPECT_NE(rawFile.reader->ReadImage(*target, 1, 1, 0), 0);
}

TEST(PackBits, DecodesRunsLiteralsAndNoOps) {
    struct Case {
        Bytes in;
        int32_t count;
        int32_t step;
        Bytes out;  // the output block after decoding (step spacing shows as untouched zeros)
        int32_t produced;
    };
    const Case cases[] = {
        {{0xFD, 0x41}, 4, 1, {0x41, 0x41, 0x41, 0x41}, 4},
        {{0x02, 1, 2, 3}, 3, 1, {1, 2, 3}, 3},
        {{0x80, 0x00, 7}, 1, 1, {7}, 1},
        {{0xFD, 0x41}, 2, 1, {0x41, 0x41, 0, 0}, 2},  // a run is cut at count
        {{0x03, 1, 2}, 4, 1, {1, 2, 0, 0}, 2},        // input ends inside a literal
        {{0xFF}, 2, 1, {0, 0}, 0},                    // a repeat without its byte
        {{0x02, 1, 2, 3}, 3, 3, {1, 0, 0, 2, 0, 0, 3}, 3},
        {{0xF9, 5}, 8, 2, {5, 0, 5, 0, 5}, 3},  // the output ends first
    };
    for (const Case& c : cases) {
        Bytes out(c.out.size(), 0);
        ZPackBitsCodec codec;
        codec.SetInput(c.in.data(), c.in.size());
        codec.SetOutput(out.data(), out.size(), c.step);
        EXPECT_EQ(codec.Decode(c.count), c.produced);
        EXPECT_EQ(out, c.out);
    }
    // The writer's encoder and the codec agree on rows of every kind.
    for (uint32_t seed = 0; seed < 20; ++seed) {
        std::vector<uint16_t> samples = Pattern(300, 1, seed, 8);
        Bytes row(samples.begin(), samples.end());
        Bytes packed = PackBits(row.data(), row.size());
        Bytes out(row.size());
        ZPackBitsCodec codec;
        codec.SetInput(packed.data(), packed.size());
        codec.SetOutput(out.data(), out.size(), 1);
        ASSERT_EQ(codec.Decode(int32_t(row.size())), int32_t(row.size()));
        EXPECT_EQ(codec.GetInputUsed(), packed.size());
        EXPECT_EQ(out, row);
    }
}

TEST(Pict, IsRecognisedAndRefused) {
    Opened file(Bytes(600, 0), kTypePict);
    ASSERT_NE(file.reader, nullptr);
    EXPECT_EQ(file.reader->ReadHeader(), -1);
    EXPECT_STREQ(file.reader->GetError(), "PICT pictures are not supported");
    ZOffscreen target(ZRect::FromSize(2, 2), 24, nullptr, kKindMemory);
    EXPECT_EQ(file.reader->ReadImage(target, 0, 0, 0), 0);
    EXPECT_EQ(file.reader->ReadImage(target, 1, 0, 0), -1);
}

// With KEST_PSD_SEEDS set to a folder, writes the fuzz seeds there (fuzz/corpus/psd).
TEST(PsdSeeds, WriteWhenAsked) {
    const char* folder = std::getenv("KEST_PSD_SEEDS");
    if (folder == nullptr) {
        GTEST_SKIP() << "KEST_PSD_SEEDS not set";
    }
    Document indexed = Flat(2, 1, 6, 5, 8, true);
    indexed.colorModeData = IndexedPalette();
    Document layeredPacked = Layered();
    layeredPacked.packBits = true;
    const std::pair<const char*, Document> seeds[] = {
        {"rgb8_raw.psd", Flat(3, 3, 6, 5, 8, false)},
        {"rgb16_packed.psd", Flat(3, 4, 6, 5, 16, true)},
        {"grey8_packed.psd", Flat(1, 1, 6, 5, 8, true)},
        {"cmyk8_packed.psd", Flat(4, 4, 6, 5, 8, true)},
        {"indexed8.psd", indexed},
        {"layers_raw.psd", Layered()},
        {"layers_packed.psd", layeredPacked},
    };
    for (const auto& [name, document] : seeds) {
        Bytes bytes = Write(document);
        std::ofstream(std::filesystem::path(folder) / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
}

}  // namespace
