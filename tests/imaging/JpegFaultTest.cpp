// Files the JPEG decoder must refuse with a reason, odd but valid files it must read like any other, and
// damaged data it must get through without a crash, a hang or a read outside the data.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <thread>

#include "JpegTestSupport.h"
#include "graphics/ZColorTable.h"
#include "imaging/ZJPEGFrame.h"
#include "imaging/ZJPEGScan.h"
#include "tests/support/MediaPtr.h"

using namespace jpegtest;

namespace {

Bytes Plain420() {
    return Encode(PhotoLike(96, 64, 3, 11), EncodeOptions{});
}

Bytes Plain444() {
    return Encode(PhotoLike(96, 64, 3, 11), EncodeOptions{85, Sampling::k444});
}

size_t At(const Bytes& jpeg, uint8_t code) {
    int64_t at = FindMarker(jpeg, code);
    EXPECT_GE(at, 0) << int(code);
    return size_t(std::max<int64_t>(at, 0));
}

// The file with the segment at marker code replaced by one with payload.
Bytes ReplaceSegment(Bytes jpeg, uint8_t code, const Bytes& payload) {
    size_t at = At(jpeg, code);
    size_t length = size_t(jpeg[at + 2] << 8 | jpeg[at + 3]);
    Bytes segment;
    AppendSegment(segment, code, payload);
    jpeg.erase(jpeg.begin() + ptrdiff_t(at), jpeg.begin() + ptrdiff_t(at + 2 + length));
    jpeg.insert(jpeg.begin() + ptrdiff_t(at), segment.begin(), segment.end());
    return jpeg;
}

// Byte offset inside the segment at marker code (offset 0 is the first payload byte).
Bytes Patch(Bytes jpeg, uint8_t code, size_t offset, uint8_t value) {
    jpeg[At(jpeg, code) + 4 + offset] = value;
    return jpeg;
}

Bytes Insert(Bytes jpeg, size_t at, const Bytes& bytes) {
    jpeg.insert(jpeg.begin() + ptrdiff_t(at), bytes.begin(), bytes.end());
    return jpeg;
}

// A Huffman table segment of the given counts (the rest 0) and symbols 0, 1, 2, ... put before the
// tables of a good file.
Bytes DhtWith(uint8_t classAndNumber, std::vector<uint8_t> counts, size_t symbols) {
    counts.resize(16, 0);
    Bytes payload = {classAndNumber};
    payload.insert(payload.end(), counts.begin(), counts.end());
    for (size_t i = 0; i < symbols; ++i) {
        payload.push_back(uint8_t(i % 16));
    }
    Bytes segment;
    AppendSegment(segment, 0xC4, payload);
    return Insert(Plain444(), 2, segment);
}

struct Refusal {
    const char* name;
    std::function<Bytes()> make;
    const char* why;
};

}  // namespace

TEST(JpegFaults, UnsupportedAndMalformedFilesFailWithAReason) {
    const Refusal refusals[] = {
        {"progressive",
         [] {
             return Encode(PhotoLike(40, 24, 3, 1), {85, Sampling::k420, 0, false, true});
         },
         "progressive JPEG is not supported"},
        {"arithmetic",
         [] {
             return Encode(PhotoLike(40, 24, 3, 1), {85, Sampling::k420, 0, false, false, true});
         },
         "arithmetic-coded JPEG is not supported"},
        {"lossless", [] { return Patch(Plain420(), 0xC0, size_t(-3), 0xC3); },
         "lossless JPEG is not supported"},
        {"12-bit", [] { return Patch(Plain420(), 0xC0, 0, 12); }, "12-bit JPEG is not supported"},
        {"four components",
         [] {
             return Encode(PhotoLike(40, 24, 3, 1), {85, Sampling::k444, 0, false, false, false, true});
         },
         "JPEG with four components is not supported"},
        {"4:2:2",
         [] {
             return Encode(PhotoLike(40, 24, 3, 1), {85, Sampling::k422});
         },
         "JPEG sampling layout is not supported"},
        {"chroma 2x2", [] { return Patch(Plain444(), 0xC0, 6 + 3 + 1, 0x22); },
         "JPEG sampling layout is not supported"},
        {"height in DNL", [] { return Patch(Patch(Plain420(), 0xC0, 1, 0), 0xC0, 2, 0); },
         "JPEG with its height in a DNL marker is not supported"},
        {"255 components", [] { return Patch(Plain420(), 0xC0, 5, 255); },
         "JPEG component count is not supported"},
        {"quantisation table 4", [] { return Patch(Plain420(), 0xC0, 6 + 2, 4); }, "bad JPEG frame header"},
        {"sampling factor 0", [] { return Patch(Plain420(), 0xC0, 6 + 1, 0x02); }, "bad JPEG frame header"},
        {"same id twice", [] { return Patch(Plain420(), 0xC0, 6 + 3, 1); }, "bad JPEG frame header"},
        {"no frame header",
         [] {
             return Bytes{0xFF, 0xD8, 0xFF, 0xD9};
         },
         "JPEG has no frame header"},
        {"scan before frame", [] { return Patch(Plain420(), 0xC0, size_t(-3), 0xFE); },
         "JPEG has no frame header"},
        {"not a JPEG", [] { return Bytes{'G', 'I', 'F', '8', '9', 'a'}; }, "not a JPEG file"},
        {"huffman class 2", [] { return DhtWith(0x20, {1}, 1); }, "bad JPEG Huffman table"},
        {"huffman number 4", [] { return DhtWith(0x04, {1}, 1); }, "bad JPEG Huffman table"},
        {"symbols past the segment",
         [] {
             return DhtWith(0x00, {0, 0, 20}, 12);
         },
         "bad JPEG Huffman table"},
        {"over-subscribed", [] { return DhtWith(0x00, {3}, 3); }, "bad JPEG Huffman table"},
        {"DC size 12",
         [] {
             return DhtWith(0x00, {0, 0, 0, 13}, 13);
         },
         "bad JPEG Huffman table"},
        {"more than 256 symbols",
         [] {
             return DhtWith(0x10, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 255}, 510);
         },
         "bad JPEG Huffman table"},
        {"quantisation table 4 defined", [] { return Patch(Plain420(), 0xDB, 0, 0x04); },
         "bad JPEG quantisation table"},
        {"missing Huffman table", [] { return Patch(Plain420(), 0xDA, 2, 0x22); },
         "JPEG Huffman table is missing"},
        {"one of three components in the scan",
         [] {
             return ReplaceSegment(Plain444(), 0xDA, {1, 1, 0x00, 0, 63, 0});
         },
         "multi-scan JPEG is not supported"},
        {"segment past the end", [] { return Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x40, 0x00, 1, 2, 3}; },
         "JPEG is truncated"},
        {"segment length 1", [] { return Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01, 1, 2, 3}; },
         "bad JPEG segment length"},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.name);
        Decoded d = DecodeOurs(r.make(), 32);
        EXPECT_EQ(d.header, -1);
        EXPECT_EQ(d.error, r.why);
        EXPECT_EQ(d.target, nullptr);
    }
}

namespace {

Bytes Pixels(const Decoded& d) {
    Bytes out;
    for (int32_t y = 0; y < d.height; ++y) {
        const uint8_t* row = d.target->RowAddress(y);
        out.insert(out.end(), row, row + 4 * d.width);
    }
    return out;
}

// Every marker before the scan data gets fill bytes in front.
Bytes WithFillBytes(const Bytes& jpeg) {
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    size_t at = 2;
    size_t scan = At(jpeg, 0xDA);
    while (at <= scan) {
        size_t length = size_t(jpeg[at + 2] << 8 | jpeg[at + 3]);
        out.insert(out.end(), {0xFF, 0xFF, 0xFF});
        out.insert(out.end(), jpeg.begin() + ptrdiff_t(at), jpeg.begin() + ptrdiff_t(at + 2 + length));
        at += 2 + length;
    }
    out.insert(out.end(), jpeg.begin() + ptrdiff_t(at), jpeg.end());
    return out;
}

// An application segment holding a whole other JPEG, as Exif thumbnails are held.
Bytes WithThumbnail(const Bytes& jpeg) {
    Bytes thumbnail = Encode(PhotoLike(16, 8, 3, 99), {20, Sampling::k444});
    Bytes payload = {'E', 'x', 'i', 'f', 0, 0};
    payload.insert(payload.end(), thumbnail.begin(), thumbnail.end());
    Bytes segment;
    AppendSegment(segment, 0xE1, payload);
    return Insert(jpeg, 2, segment);
}

Bytes WithLargeSegment(const Bytes& jpeg) {
    Bytes payload(65533, 0xFF);  // the largest segment there is, all 0xFF
    payload[100] = 0xD9;
    Bytes segment;
    AppendSegment(segment, 0xE1, payload);
    return Insert(jpeg, 2, segment);
}

}  // namespace

TEST(JpegFaults, SegmentsArePassedOverByTheirLength) {
    Bytes plain = Plain420();
    Decoded reference = DecodeOurs(plain, 32);
    ASSERT_EQ(reference.image, 0);
    const std::pair<const char*, Bytes> cases[] = {
        {"fill bytes", WithFillBytes(plain)},
        {"Exif thumbnail", WithThumbnail(plain)},
        {"64 KB segment", WithLargeSegment(plain)},
        {"restart markers between segments", Insert(plain, 2, {0xFF, 0xD0, 0xFF, 0xD7})},
    };
    for (const auto& [name, jpeg] : cases) {
        SCOPED_TRACE(name);
        Decoded d = DecodeOurs(jpeg, 32);
        ASSERT_EQ(d.image, 0) << d.error;
        EXPECT_EQ(d.width, 96);
        EXPECT_EQ(d.height, 64);
        EXPECT_EQ(Pixels(d), Pixels(reference));
    }
}

TEST(JpegFaults, AStuffedFirstEntropyByteIsData) {
    // Black at quality 100: the first DC difference is -1024, whose code starts with eight 1 bits.
    Picture black{16, 8, 1, Bytes(16 * 8, 0)};
    Bytes jpeg = Encode(black, {100, Sampling::k444});
    ZJPEGFrame frame;
    ASSERT_EQ(frame.Read(jpeg.data(), jpeg.size()), nullptr);
    ASSERT_EQ(jpeg[frame.scanStart], 0xFF);
    ASSERT_EQ(jpeg[frame.scanStart + 1], 0x00);
    Coefficients reference;
    ASSERT_TRUE(ReadCoefficients(jpeg, reference));
    ZJPEGScanDecoder scan(frame, jpeg.data(), jpeg.size());
    int16_t blocks[6][64];
    scan.DecodeMcu(blocks);
    EXPECT_EQ(blocks[0][0], -1024);
    EXPECT_EQ(std::memcmp(blocks[0], reference.Block(0, 0, 0), 128), 0);
    Decoded d = DecodeOurs(jpeg, 32);
    ASSERT_EQ(d.image, 0);
    EXPECT_EQ(d.target->RowAddress(7)[4 * 15], 0);
}

namespace {

int32_t LevelOfBlock(const ZOffscreen& target, int32_t block) {
    return target.RowAddress(4)[4 * (8 * block + 4)];
}

}  // namespace

TEST(JpegFaults, RestartMarkersResynchroniseDamagedData) {
    // Five grey blocks of these levels, one per restart interval; quantiser 8 makes each DC difference
    // level - 128.
    const std::vector<int32_t> levels = {40, 90, 160, 220, 70};
    struct Damage {
        const char* name;
        const char* stream;  // digits: that block's data; Rn: marker RSTn; G: data no interval needs
        std::vector<int32_t> expected;  // 128 for a blank interval
    };
    const Damage damages[] = {
        {"intact", "0R01R12R23R34", levels},
        {"garbage before each marker", "0GR01GR12GR23GR34", levels},
        {"an interval and its marker lost", "0R12R23R34", {40, 128, 160, 220, 70}},
        {"two intervals lost", "0R23R34", {40, 128, 128, 220, 70}},
        {"markers end early", "0R01R12", {40, 90, 160, 128, 128}},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        HandMade file(8 * int32_t(levels.size()), 8, 1, 8);
        file.RestartInterval(1);
        for (const char* p = damage.stream; *p != 0; ++p) {
            if (*p == 'R') {
                file.RestartMarker(*++p - '0');
            } else if (*p == 'G') {
                file.Block(5, {{3, 7}});
            } else {
                file.Block(levels[size_t(*p - '0')] - 128);
            }
        }
        Bytes jpeg = file.Finish();
        Decoded d = DecodeOurs(jpeg, 32);
        ASSERT_EQ(d.image, 0) << d.error;
        Picture reference;
        bool intact = std::string(damage.name) == "intact";
        if (intact) {
            ASSERT_TRUE(DecodeFloat(jpeg, reference));  // the hand-made file reads so elsewhere too
        }
        for (size_t i = 0; i < levels.size(); ++i) {
            EXPECT_EQ(LevelOfBlock(*d.target, int32_t(i)), damage.expected[i]) << i;
            if (intact) {
                EXPECT_EQ(reference.samples[4 * size_t(reference.width) + 8 * i + 4], levels[i]) << i;
            }
        }
    }
}

TEST(JpegFaults, TruncatedDataEndsInGrey) {
    Bytes full = Encode(PhotoLike(803, 601, 3, 5), EncodeOptions{});
    ZJPEGFrame frame;
    ASSERT_EQ(frame.Read(full.data(), full.size()), nullptr);
    for (double part : {0.0, 0.1, 0.5, 0.97}) {
        SCOPED_TRACE(part);
        size_t keep = frame.scanStart + size_t(double(full.size() - frame.scanStart) * part);
        Bytes cut(full.begin(), full.begin() + ptrdiff_t(keep));
        Decoded d = DecodeOurs(cut, 32);
        ASSERT_EQ(d.image, 0) << d.error;
        const uint8_t* last = d.target->RowAddress(600);
        int32_t notGrey = 0;
        for (int32_t x = 0; x < 803 * 4; ++x) {
            notGrey += last[x] != (x % 4 == 3 ? 0 : 128);
        }
        EXPECT_EQ(notGrey, 0);
    }
}

TEST(JpegFaults, DamagedDataNeverCrashesOrHangs) {
    std::mt19937 random(1234);
    Bytes plain = Encode(PhotoLike(120, 90, 3, 4), {85, Sampling::k420, 4});
    ZJPEGFrame frame;
    ASSERT_EQ(frame.Read(plain.data(), plain.size()), nullptr);
    testsupport::TablePtr palette(ZColorTable::CreateBuiltIn(4));
    for (int32_t round = 0; round < 60; ++round) {
        Bytes jpeg = plain;
        if (round % 3 == 0) {
            // Random bytes for the scan data.
            for (size_t i = frame.scanStart; i < jpeg.size(); ++i) {
                jpeg[i] = uint8_t(random());
            }
        } else {
            for (int32_t flips = 0; flips < 1 + round; ++flips) {
                jpeg[frame.scanStart + random() % (jpeg.size() - frame.scanStart)] = uint8_t(random());
            }
        }
        for (int32_t depth : {32, 16, 8}) {
            Decoded d = DecodeOurs(jpeg, depth, 0, kKindMemory, palette.get());
            EXPECT_EQ(d.image, 0) << d.error;
        }
    }
    for (int32_t round = 0; round < 200; ++round) {
        Bytes garbage(size_t(random() % 600));
        for (uint8_t& b : garbage) {
            b = uint8_t(random());
        }
        if (round % 2 == 0) {
            garbage.insert(garbage.begin(), plain.begin(),
                           plain.begin() + ptrdiff_t(frame.scanStart / 2 + round));
        }
        DecodeOurs(garbage, 32);
    }
}

TEST(JpegFaults, OutOfRangeSamplesAreClampedForEveryDepth) {
    // A 16-bit quantiser of 65535 on the largest DC differences: samples far beyond 0..255.
    HandMade file(24, 8, 1, 65535);
    file.Block(-2047);
    file.Block(2047);
    file.Block(2047);
    Bytes jpeg = file.Finish();
    testsupport::TablePtr grey(ZColorTable::CreateBuiltIn(99));
    for (int32_t depth : {32, 24, 16, 15, 8}) {
        SCOPED_TRACE(depth);
        Decoded d = DecodeOurs(jpeg, depth, 0, kKindMemory, grey.get());
        ASSERT_EQ(d.image, 0) << d.error;
        const uint8_t* row = d.target->RowAddress(3);
        int32_t bytes = BytesPerPixel(depth);
        if (depth == 8) {
            EXPECT_LE(grey->GetEntryData()[3 * row[2]], 15);
            EXPECT_GE(grey->GetEntryData()[3 * row[20]], 240);
        } else {
            EXPECT_EQ(row[bytes * 2], 0);
            EXPECT_EQ(row[bytes * 2 + 1], 0);
            EXPECT_EQ(row[bytes * 20], 255);
            EXPECT_EQ(row[bytes * 20 + 1], depth == 15 ? 127 : 255);
        }
    }
}

TEST(JpegFaults, ImagesDecodeAtTheSameTimeOnSeveralThreads) {
    Bytes a = Encode(PhotoLike(300, 200, 3, 1), EncodeOptions{});
    Bytes b = Encode(PhotoLike(200, 300, 1, 2), {85, Sampling::k444});
    Bytes expectedA = Pixels(DecodeOurs(a, 32));
    Bytes expectedB = Pixels(DecodeOurs(b, 32));
    bool sameA = true;
    bool sameB = true;
    std::thread first([&] {
        for (int32_t i = 0; i < 20; ++i) {
            sameA = sameA && Pixels(DecodeOurs(a, 32)) == expectedA;
        }
    });
    std::thread second([&] {
        for (int32_t i = 0; i < 20; ++i) {
            sameB = sameB && Pixels(DecodeOurs(b, 32)) == expectedB;
        }
    });
    first.join();
    second.join();
    EXPECT_TRUE(sameA);
    EXPECT_TRUE(sameB);
}
