// The LZW codec and the GIF reader: files of our encoder decoded by giflib and files of giflib decoded by
// ours, index for index; hand-made code streams for the corners of the format; and the reader's
// composition of animations into bands, its palette merging and its refusals.
#include <gtest/gtest.h>

#include "graphics/ZImageReaderTable.h"
#include "tests/imaging/GifTestSupport.h"
#include "tests/support/ProcessState.h"

using namespace giftest;

namespace {

Bytes Runs(size_t count, int32_t limit, uint32_t seed) {
    Bytes noise = Noise(count / 16 + 1, limit, seed);
    Bytes out(count);
    for (size_t i = 0; i < count; ++i) {
        out[i] = noise[i / 16];
    }
    return out;
}

Gif OneFrame(int32_t width, int32_t height, int32_t minCodeSize, bool interlaced, Bytes pixels) {
    Gif gif;
    gif.width = width;
    gif.height = height;
    gif.globalTable = Palette(1 << minCodeSize, 7);
    Frame frame;
    frame.width = width;
    frame.height = height;
    frame.minCodeSize = minCodeSize;
    frame.interlaced = interlaced;
    frame.pixels = std::move(pixels);
    gif.frames.push_back(frame);
    return gif;
}

// Packs codes as the format widens them, for streams no encoder would write.
class CodeWriter {
  public:
    explicit CodeWriter(int32_t minCodeSize) : min_(minCodeSize) { Restart(); }
    int32_t Clear() const { return 1 << min_; }
    int32_t End() const { return Clear() + 1; }
    CodeWriter& Put(int32_t code) {
        buffer_ |= uint32_t(code) << bits_;
        bits_ += size_;
        while (bits_ >= 8) {
            bytes_.push_back(uint8_t(buffer_));
            buffer_ >>= 8;
            bits_ -= 8;
        }
        if (code == Clear()) {
            Restart();
            return *this;
        }
        next_ += previous_ && next_ < 4096 ? 1 : 0;
        previous_ = true;
        if (next_ >= (1 << size_) && size_ < 12) {
            ++size_;
        }
        return *this;
    }
    // The sub-block chain, with its terminator unless cut.
    Bytes Chain(bool terminate = true) {
        Bytes data = bytes_;
        if (bits_ > 0) {
            data.push_back(uint8_t(buffer_));
        }
        Bytes chain;
        for (size_t i = 0; i < data.size(); i += 255) {
            size_t n = std::min<size_t>(255, data.size() - i);
            chain.push_back(uint8_t(n));
            chain.insert(chain.end(), data.begin() + std::ptrdiff_t(i), data.begin() + std::ptrdiff_t(i + n));
        }
        if (terminate) {
            chain.push_back(0);
        }
        return chain;
    }

  private:
    void Restart() {
        size_ = min_ + 1;
        next_ = Clear() + 2;
        previous_ = false;
    }
    int32_t min_;
    int32_t size_ = 0;
    int32_t next_ = 0;
    bool previous_ = false;
    Bytes bytes_;
    uint32_t buffer_ = 0;
    int32_t bits_ = 0;
};

Bytes WithStream(int32_t width, int32_t height, int32_t minCodeSize, const Bytes& stream) {
    Gif gif = OneFrame(width, height, minCodeSize, false, {});
    gif.frames[0].stream = stream;
    return Write(gif);
}

}  // namespace

TEST(GifCodec, FilesOfEitherEncoderDecodeAlikeInGiflibAndOurs) {
    struct Case {
        const char* name;
        int32_t width, height, minCodeSize;
        bool interlaced, runs;
    };
    const Case cases[] = {
        {"noise, 8 bits", 37, 23, 8, false, false},
        {"interlaced", 40, 17, 4, true, false},
        {"interlaced, tall and thin", 3, 61, 3, true, true},
        {"minimum code size 1", 64, 33, 1, false, false},
        {"long runs: KwKwK strings", 120, 50, 2, false, true},
        {"the table fills and clears many times", 400, 300, 8, false, false},
        {"one pixel", 1, 1, 2, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        size_t count = size_t(c.width) * size_t(c.height);
        Bytes pixels = c.runs ? Runs(count, 1 << c.minCodeSize, 3) : Noise(count, 1 << c.minCodeSize, 5);
        Gif gif = OneFrame(c.width, c.height, c.minCodeSize, c.interlaced, pixels);

        Bytes ours = Write(gif);
        std::vector<Bytes> rasters;
        ASSERT_TRUE(DecodeWithGiflib(ours, rasters));
        ASSERT_EQ(rasters.size(), 1u);
        EXPECT_EQ(rasters[0], pixels);
        Decoded decoded = ReadWithOurs(ours, kLoadPixels);
        ASSERT_EQ(decoded.status, 0) << decoded.error;
        EXPECT_EQ(decoded.indices, pixels);

        Bytes theirs = WriteWithGiflib(gif);
        ASSERT_FALSE(theirs.empty());
        decoded = ReadWithOurs(theirs, kLoadPixels);
        ASSERT_EQ(decoded.status, 0) << decoded.error;
        EXPECT_EQ(decoded.indices, pixels);

        // Pieces that split strings and sub-blocks anywhere change nothing.
        Bytes stream = EncodeStream(pixels, c.minCodeSize, 7);
        EXPECT_EQ(DecodeStream(stream, c.minCodeSize, count, 13), pixels);
    }
}

TEST(GifCodec, HandMadeStreamsDecodeAsGiflibDecodesThem) {
    CodeWriter full(2);
    Bytes literals = Noise(100 * 60, 4, 9);
    full.Put(full.Clear());
    for (uint8_t v : literals) {
        full.Put(v);  // the table fills long before the end and no clear follows
    }
    full.Put(full.End());

    CodeWriter noClear(2);  // clear 4, end 5: code 6 is the first entry, "1 2"
    noClear.Put(1).Put(2).Put(6).Put(noClear.End());
    CodeWriter kwkwk(2);  // code 6 arrives while it is being defined: "1" then "1 1"
    kwkwk.Put(kwkwk.Clear()).Put(1).Put(6).Put(kwkwk.End());

    struct Case {
        const char* name;
        int32_t width, height;
        Bytes stream, expected;
    };
    const Case cases[] = {
        {"a full table without a clear", 100, 60, full.Chain(), literals},
        {"a first code without a clear", 4, 1, noClear.Chain(), {1, 2, 1, 2}},
        {"KwKwK", 3, 1, kwkwk.Chain(), {1, 1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = WithStream(c.width, c.height, 2, c.stream);
        Decoded decoded = ReadWithOurs(file, kLoadPixels);
        ASSERT_EQ(decoded.status, 0) << decoded.error;
        EXPECT_EQ(decoded.indices, c.expected);
        std::vector<Bytes> rasters;
        ASSERT_TRUE(DecodeWithGiflib(file, rasters));
        EXPECT_EQ(rasters[0], c.expected);
    }
}

TEST(GifCodec, DecodingStopsAtTheEndOfItsInput) {
    CodeWriter codes(2);
    codes.Put(codes.Clear()).Put(1).Put(2).Put(3).Put(1);  // 16 bits: no spare bits to read as codes
    Bytes cut = codes.Chain(false);
    Bytes terminated = codes.Chain(true);
    Bytes more = CodeWriter(2).Put(3).Put(3).Put(3).Chain();
    terminated.insert(terminated.end(), more.begin(), more.end());
    CodeWriter invalid(2);  // code 7 lies beyond the table and counts as 0
    invalid.Put(invalid.Clear()).Put(1).Put(7).Put(invalid.End());
    struct Case {
        const char* name;
        Bytes stream, expected;
    };
    const Case cases[] = {
        {"data end without end code or terminator", cut, {1, 2, 3, 1}},
        {"a terminator ends the codes before it", terminated, {1, 2, 3, 1}},
        {"a code beyond the table", invalid.Chain(), {1, 0}},
        {"a length byte promising more than there is", {200, 0x0C, 0x0A}, {}},
        {"nothing at all", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes decoded = DecodeStream(c.stream, 2, 50, 50);
        if (c.expected.empty()) {
            EXPECT_LE(decoded.size(), 2u);
        } else {
            EXPECT_EQ(decoded, c.expected);
        }
    }
}

class GifReader : public testsupport::ProcessStateTest {};

TEST_F(GifReader, AnimationsStackIntoBandsOfComposedFrames) {
    // Colour i of the table is (i * 40, 0, 0); frames are drawn over the frame before.
    Gif gif;
    gif.width = 20;
    gif.height = 10;
    gif.background = 3;
    for (int32_t i = 0; i < 5; ++i) {
        gif.globalTable.insert(gif.globalTable.end(), {uint8_t(i * 40), 0, 0});
    }
    auto frame = [](int32_t left, int32_t top, int32_t width, int32_t height, uint8_t value) {
        Frame f;
        f.left = left, f.top = top, f.width = width, f.height = height, f.minCodeSize = 3;
        f.pixels.assign(size_t(width) * size_t(height), value);
        return f;
    };
    gif.frames = {
        frame(2, 1, 10, 5, 1),    // smaller than the screen: the rest is background
        frame(10, 5, 30, 30, 2),  // runs past the screen's right and bottom edges
        frame(0, 0, 20, 10, 4),   // with transparency: index 0 keeps the frame before
        frame(25, 12, 4, 4, 1),   // wholly outside the screen
    };
    gif.frames[2].transparent = 0;
    for (int32_t y = 0; y < 10; ++y) {
        for (int32_t x = 0; x < 20; ++x) {
            gif.frames[2].pixels[size_t(y * 20 + x)] = (x + y) % 2 == 0 ? 0 : 4;
        }
    }
    // The composed frames, built pixel by pixel.
    Bytes expected(20 * 40, 3);
    for (size_t band = 0; band < 4; ++band) {
        if (band > 0) {
            std::copy_n(expected.begin() + std::ptrdiff_t((band - 1) * 200), 200,
                        expected.begin() + std::ptrdiff_t(band * 200));
        }
        const Frame& f = gif.frames[band];
        for (int32_t y = 0; y < f.height; ++y) {
            for (int32_t x = 0; x < f.width; ++x) {
                uint8_t v = f.pixels[size_t(y * f.width + x)];
                if (f.left + x < 20 && f.top + y < 10 && int32_t(v) != f.transparent) {
                    expected[band * 200 + size_t((f.top + y) * 20 + f.left + x)] = v;
                }
            }
        }
    }
    for (bool dib : {false, true}) {
        SCOPED_TRACE(dib ? "bottom-up" : "top-down");
        Decoded decoded = ReadWithOurs(Write(gif), kLoadPixels, dib);
        ASSERT_EQ(decoded.status, 0) << decoded.error;
        EXPECT_EQ(decoded.width, 20);
        EXPECT_EQ(decoded.height, 40);
        EXPECT_EQ(decoded.frameCount, 4);
        EXPECT_EQ(decoded.indices, expected);
    }

    gif.frames.resize(3);
    gif.frames[2].transparent = -1;
    Decoded three = ReadWithOurs(Write(gif), kLoadPixels);
    EXPECT_EQ(three.height, 30);
    EXPECT_EQ(three.frameCount, 3);
}

TEST_F(GifReader, InterlacedRowsArriveInPassOrder) {
    Frame frame;
    frame.width = 4, frame.height = 10, frame.interlaced = true, frame.minCodeSize = 4;
    Bytes stored;
    for (uint8_t n = 0; n < 10; ++n) {
        stored.insert(stored.end(), 4, n);  // the n-th stored row holds n
    }
    frame.stream = EncodeStream(stored, 4, 4);
    Gif gif{4, 10, Palette(16, 1), 0, {frame}};
    Decoded decoded = ReadWithOurs(Write(gif), kLoadPixels);
    ASSERT_EQ(decoded.status, 0) << decoded.error;
    const int32_t order[10] = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
    for (int32_t n = 0; n < 10; ++n) {
        EXPECT_EQ(decoded.indices[size_t(order[n]) * 4], n) << "stored row " << n;
    }
}

TEST_F(GifReader, TablesMergeIntoOnePalette) {
    // Equal colours share an entry; once 256 entries are taken, a new colour gets the nearest.
    Gif gif;
    gif.width = 2;
    gif.height = 1;
    gif.globalTable = {200, 0, 0, 200, 0, 0};
    for (int32_t i = 0; i < 126; ++i) {
        gif.globalTable.insert(gif.globalTable.end(), {uint8_t(i), 9, 0});
    }
    Frame first;
    first.width = 2, first.height = 1, first.pixels = {0, 1};
    Frame second = first;
    for (int32_t i = 0; i < 127; ++i) {
        second.localTable.insert(second.localTable.end(), {uint8_t(i), 99, 0});
    }
    second.localTable.insert(second.localTable.end(), {7, 7, 7});
    second.pixels = {0, 127};
    Frame third = first;
    third.localTable = {9, 9, 9, 10, 12, 0};  // the 256th colour, then the 257th
    gif.frames = {first, second, third};
    Decoded decoded = ReadWithOurs(Write(gif), kLoadPixels | kLoadColorTable);
    ASSERT_EQ(decoded.status, 0) << decoded.error;
    EXPECT_EQ(decoded.indices[0], decoded.indices[1]);
    EXPECT_EQ(decoded.paletteCount, 256);
    EXPECT_EQ(decoded.rgb[2], 0x006300u);
    EXPECT_EQ(decoded.rgb[3], 0x070707u);
    EXPECT_EQ(decoded.rgb[4], 0x090909u);
    EXPECT_EQ(decoded.rgb[5], 0x0A0900u);  // nearest to (10, 12, 0)
}

TEST_F(GifReader, TheTransparentIndexKeepsAnEntryOfItsOwn) {
    // The transparent colour equals a visible one; neither may take on the other's role.
    Gif gif;
    gif.width = 3;
    gif.height = 1;
    gif.globalTable = {0, 0, 0, 255, 255, 255, 0, 0, 0, 9, 9, 9};
    Frame first;
    first.width = 3, first.height = 1, first.pixels = {0, 1, 2}, first.transparent = 2;
    Frame second = first;
    second.transparent = -1;
    second.localTable = {0, 0, 0, 1, 1, 1};
    second.pixels = {1, 0, 1};
    gif.frames = {first, second};
    Decoded decoded = ReadWithOurs(Write(gif), kLoadPixels | kLoadColorTable);
    ASSERT_EQ(decoded.status, 0) << decoded.error;
    ASSERT_TRUE(decoded.transparent);
    const Bytes& v = decoded.indices;
    EXPECT_EQ(v[2], decoded.transparentIndex);
    EXPECT_NE(v[0], decoded.transparentIndex);
    EXPECT_NE(v[1], decoded.transparentIndex);
    EXPECT_EQ(decoded.rgb[0], 0x000000u);
    EXPECT_NE(v[4], decoded.transparentIndex);  // the second frame's black is visible
    EXPECT_EQ(decoded.rgb[4], 0x000000u);
}

TEST_F(GifReader, SubBlocksAfterTheLastRowAreSkipped) {
    Gif gif = OneFrame(6, 2, 2, false, Noise(12, 4, 2));
    Bytes stream = EncodeStream(gif.frames[0].pixels, 2, 6);
    stream.pop_back();
    stream.insert(stream.end(), {3, 0xAA, 0xBB, 0xCC, 0});  // a sub-block after the end code
    gif.frames[0].stream = stream;
    Frame second = gif.frames[0];
    second.stream.clear();
    second.pixels = Noise(12, 4, 3);
    gif.frames.push_back(second);
    Decoded decoded = ReadWithOurs(Write(gif), kLoadPixels);
    ASSERT_EQ(decoded.status, 0) << decoded.error;
    EXPECT_EQ(decoded.frameCount, 2);
    EXPECT_EQ(Bytes(decoded.indices.begin() + 12, decoded.indices.end()), second.pixels);
}

TEST_F(GifReader, FrameCountsStayWithinTheSizeLimits) {
    Gif gif = OneFrame(8, 10000, 2, false, Noise(8, 4, 1));
    gif.frames[0].height = 1;
    gif.frames.resize(3, gif.frames[0]);
    Decoded decoded = ReadWithOurs(Write(gif), kLoadPixels);
    ASSERT_EQ(decoded.status, 0) << decoded.error;
    EXPECT_EQ(decoded.frameCount, 1);
    EXPECT_EQ(decoded.height, 10000);
}

TEST_F(GifReader, BadFilesFailWithAReason) {
    Gif good = OneFrame(16, 8, 4, false, Noise(128, 16, 4));
    Bytes file = Write(good);
    auto with = [&](auto change) {
        Gif gif = good;
        change(gif);
        return Write(gif);
    };
    Bytes truncated(file.begin(), file.begin() + std::ptrdiff_t(file.size() / 2));
    Bytes noImage = Write(Gif{16, 8, Palette(2, 1), 0, {}});
    Bytes shortTable(file.begin(), file.begin() + 20);
    struct Case {
        const char* name;
        Bytes file;
        const char* reason;
    };
    const Case cases[] = {
        {"shorter than a screen descriptor", Bytes(file.begin(), file.begin() + 12), "too short"},
        {"another signature", Bytes(13, 'P'), "not a GIF"},
        {"no image", noImage, "no image"},
        {"an empty screen", with([](Gif& g) { g.width = 0; }), "screen size"},
        {"a colour table cut short", shortTable, "colour table"},
        {"minimum code size 0", with([](Gif& g) {
             g.frames[0].stream = {1, 0, 0}, g.frames[0].minCodeSize = 0;
         }),
         "code size"},
        {"minimum code size 12", with([](Gif& g) {
             g.frames[0].stream = {1, 0, 0}, g.frames[0].minCodeSize = 12;
         }),
         "code size"},
        {"pixel data cut short", truncated, "cut short"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Decoded decoded = ReadWithOurs(c.file, kLoadPixels | kLoadColorTable);
        EXPECT_NE(decoded.status, 0);
        EXPECT_NE(decoded.error.find(c.reason), std::string::npos) << decoded.error;
    }
    // Every cut of a good file either fails or gives the whole picture.
    for (size_t size = 0; size < file.size(); ++size) {
        Decoded decoded = ReadWithOurs(Bytes(file.begin(), file.begin() + std::ptrdiff_t(size)), kLoadPixels);
        if (decoded.status == 0) {
            EXPECT_EQ(decoded.indices, good.frames[0].pixels) << "cut at " << size;
        }
    }
}

TEST_F(GifReader, OversizeInterlacedFramesShowTheirVisibleRows) {
    // Decoding stops after the last stored row that shows; the rows above it must all be there.
    for (int32_t top : {0, 3, 9}) {
        for (int32_t height : {1, 7, 20}) {
            SCOPED_TRACE("top " + std::to_string(top) + ", height " + std::to_string(height));
            Gif gif = OneFrame(6, 10, 3, true, Noise(size_t(6 * height), 8, uint32_t(height)));
            gif.frames[0].top = top;
            gif.frames[0].height = height;
            gif.background = 7;
            Bytes expected(60, 7);
            for (int32_t y = top; y < std::min(10, top + height); ++y) {
                std::copy_n(gif.frames[0].pixels.begin() + (y - top) * 6, 6, expected.begin() + y * 6);
            }
            Decoded decoded = ReadWithOurs(Write(gif), kLoadPixels);
            ASSERT_EQ(decoded.status, 0) << decoded.error;
            EXPECT_EQ(decoded.indices, expected);
        }
    }
}
