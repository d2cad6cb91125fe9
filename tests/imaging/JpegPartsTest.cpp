// The JPEG decoder's parts on their own: canonical Huffman codes and the bit reader, the inverse DCT
// against the transform's definition, and the vector routines against the plain ones they stand for.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "imaging/ZJPEGColor.h"
#include "imaging/ZJPEGCpu.h"
#include "imaging/ZJPEGHuffman.h"
#include "imaging/ZJPEGIdct.h"

namespace {

// The luminance DC and AC tables every baseline encoder offers.
const uint8_t kDcCounts[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
const uint8_t kAcCounts[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D};

std::vector<uint8_t> AcSymbols() {
    std::vector<uint8_t> s = {0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12,
                              0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07};
    s.insert(s.end(), {0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xA1, 0x08, 0x23, 0x42, 0xB1, 0xC1, 0x15, 0x52,
                       0xD1, 0xF0});
    s.insert(s.end(), {0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0A, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x25, 0x26,
                       0x27, 0x28});
    // The 125 symbols of lengths 15 and 16 are every remaining run/size pair of sizes up to 10.
    std::vector<bool> seen(256, false);
    for (uint8_t v : s) {
        seen[v] = true;
    }
    for (int32_t run = 0; run < 16; ++run) {
        for (int32_t size = 1; size <= 10; ++size) {
            if (!seen[size_t(run << 4 | size)]) {
                s.push_back(uint8_t(run << 4 | size));
            }
        }
    }
    return s;
}

// Canonical codes written out by hand: code and length per symbol index.
struct Code {
    uint32_t bits;
    int32_t length;
};
std::vector<Code> CanonicalCodes(const uint8_t counts[16]) {
    std::vector<Code> codes;
    uint32_t code = 0;
    for (int32_t length = 1; length <= 16; ++length, code <<= 1) {
        for (int32_t i = 0; i < counts[length - 1]; ++i) {
            codes.push_back({code++, length});
        }
    }
    return codes;
}

// Bytes of the given codes packed most significant first, stuffed, padded with 1 bits.
std::vector<uint8_t> Pack(const std::vector<Code>& codes) {
    std::vector<uint8_t> out;
    uint32_t pending = 0;
    int32_t count = 0;
    auto put = [&](uint32_t bit) {
        pending = pending << 1 | bit;
        if (++count == 8) {
            out.push_back(uint8_t(pending));
            if (pending == 0xFF) {
                out.push_back(0);
            }
            pending = 0;
            count = 0;
        }
    };
    for (const Code& c : codes) {
        for (int32_t i = c.length - 1; i >= 0; --i) {
            put((c.bits >> i) & 1);
        }
    }
    while (count != 0) {
        put(1);
    }
    return out;
}

uint8_t Decode(ZJPEGBitReader& reader, const ZJPEGHuffmanTable& table) {
    reader.Refill();
    uint16_t fast = table.Fast(reader.PeekBits(ZJPEGHuffmanTable::kFastBits));
    if (fast != 0) {
        reader.Skip(fast >> 8);
        return uint8_t(fast);
    }
    int32_t length = 0;
    uint8_t symbol = table.DecodeLong(reader.PeekBits(16), length);
    reader.Skip(length);
    return symbol;
}

}  // namespace

TEST(JpegParts, HuffmanTablesDecodeEveryCanonicalCode) {
    struct TableCase {
        const char* name;
        ZJPEGHuffmanTable::Kind kind;
        const uint8_t* counts;
        std::vector<uint8_t> symbols;
    };
    uint8_t twelveCounts[16] = {0, 0, 0, 12};
    const TableCase cases[] = {
        {"luminance DC", ZJPEGHuffmanTable::Kind::kDC, kDcCounts, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        {"luminance AC", ZJPEGHuffmanTable::Kind::kAC, kAcCounts, AcSymbols()},
        {"twelve 4-bit DC codes",
         ZJPEGHuffmanTable::Kind::kDC,
         twelveCounts,
         {11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}},
    };
    for (const TableCase& c : cases) {
        SCOPED_TRACE(c.name);
        ZJPEGHuffmanTable table;
        ASSERT_TRUE(table.Build(c.kind, c.counts, c.symbols.data(), int32_t(c.symbols.size())));
        std::vector<Code> codes = CanonicalCodes(c.counts);
        ASSERT_EQ(codes.size(), c.symbols.size());
        // Every symbol once, longest first, then shortest.
        std::vector<Code> stream(codes.rbegin(), codes.rend());
        stream.insert(stream.end(), codes.begin(), codes.end());
        std::vector<uint8_t> bytes = Pack(stream);
        ZJPEGBitReader reader(bytes.data(), bytes.size(), 0);
        for (size_t i = 0; i < stream.size(); ++i) {
            size_t symbol = i < codes.size() ? codes.size() - 1 - i : i - codes.size();
            ASSERT_EQ(Decode(reader, table), c.symbols[symbol]) << i;
        }
        EXPECT_FALSE(reader.Overdrawn());
    }
}

TEST(JpegParts, HuffmanTablesRefuseWhatCannotBeDecoded) {
    uint8_t symbols[256] = {};
    struct Bad {
        const char* name;
        ZJPEGHuffmanTable::Kind kind;
        uint8_t counts[16];
        uint8_t symbol;
    };
    const Bad bad[] = {
        {"three 1-bit codes", ZJPEGHuffmanTable::Kind::kAC, {3}, 1},
        {"five 2-bit codes after one 1-bit", ZJPEGHuffmanTable::Kind::kAC, {1, 3}, 1},
        {"DC size 12", ZJPEGHuffmanTable::Kind::kDC, {0, 1}, 12},
        {"AC size 11", ZJPEGHuffmanTable::Kind::kAC, {0, 1}, 0x1B},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.name);
        symbols[0] = b.symbol;
        int32_t total = 0;
        for (uint8_t n : b.counts) {
            total += n;
        }
        ZJPEGHuffmanTable table;
        EXPECT_FALSE(table.Build(b.kind, b.counts, symbols, total));
        EXPECT_FALSE(table.IsDefined());
    }
    // A full tree, the all-ones code included, is fine.
    uint8_t full[16] = {1, 1};
    full[1] = 2;
    ZJPEGHuffmanTable table;
    symbols[0] = 1;
    EXPECT_TRUE(table.Build(ZJPEGHuffmanTable::Kind::kDC, full, symbols, 3));
}

TEST(JpegParts, BitReaderUndoesStuffingAndStopsAtMarkers) {
    const uint8_t data[] = {0xA5, 0xFF, 0x00, 0x3C, 0xFF, 0xFF, 0xD3, 0x81, 0x00, 0xFF, 0x00};
    ZJPEGBitReader reader(data, sizeof data, 0);
    reader.Refill();
    EXPECT_EQ(reader.Take(8), 0xA5u);
    EXPECT_EQ(reader.Take(16), 0xFF3Cu);  // stuffed 0xFF
    EXPECT_FALSE(reader.Overdrawn());
    EXPECT_EQ(reader.Take(8), 0u);  // fill and marker: zeros from here on
    EXPECT_TRUE(reader.Overdrawn());
    for (int32_t i = 0; i < 20; ++i) {
        reader.Refill();
        EXPECT_EQ(reader.Take(16), 0u);
    }
    reader.DropBits();
    EXPECT_EQ(reader.NextMarker(), 0xD3);
    reader.Refill();
    EXPECT_EQ(reader.Take(16), 0x8100u);
    EXPECT_EQ(reader.Take(8), 0xFFu);
    EXPECT_FALSE(reader.Overdrawn());
    EXPECT_EQ(reader.Take(1), 0u);
    EXPECT_TRUE(reader.Overdrawn());
    reader.DropBits();
    EXPECT_EQ(reader.NextMarker(), -1);

    // Long runs without 0xFF go in eight bytes at a time; the bits are the same.
    std::vector<uint8_t> run(100);
    for (size_t i = 0; i < run.size(); ++i) {
        run[i] = uint8_t(i * 37 + 1);
    }
    ZJPEGBitReader fast(run.data(), run.size(), 0);
    for (int32_t n : {3, 13, 7, 16, 1, 9, 11, 5}) {
        for (int32_t repeat = 0; repeat < 12; ++repeat) {
            if (fast.Count() < 16) {
                fast.Refill();
            }
            fast.Skip(n);
        }
    }
    size_t taken = (3 + 13 + 7 + 16 + 1 + 9 + 11 + 5) * 12;
    fast.Refill();
    uint32_t expected = uint32_t(run[taken / 8] << 16 | run[taken / 8 + 1] << 8 | run[taken / 8 + 2])
                        << (8 + taken % 8);
    EXPECT_EQ(fast.PeekBits(16), expected >> 16);
}

namespace {

// The inverse DCT by its definition, in double precision.
void DefinitionIdct(const int16_t* coefficients, const float* quant, double* out) {
    for (int32_t y = 0; y < 8; ++y) {
        for (int32_t x = 0; x < 8; ++x) {
            double sum = 0;
            for (int32_t v = 0; v < 8; ++v) {
                for (int32_t u = 0; u < 8; ++u) {
                    double cu = u == 0 ? std::sqrt(0.5) : 1.0;
                    double cv = v == 0 ? std::sqrt(0.5) : 1.0;
                    sum += cu * cv * coefficients[8 * v + u] * quant[8 * v + u] *
                           std::cos((2 * x + 1) * u * M_PI / 16) * std::cos((2 * y + 1) * v * M_PI / 16);
                }
            }
            out[8 * y + x] = sum / 4;
        }
    }
}

// Random blocks in several shapes: a DC term alone, a few low terms, rows without AC terms, dense blocks,
// and the extremes a 16-bit quantiser can make.
void RandomBlock(std::mt19937& random, int32_t shape, int16_t* coefficients, float* quant) {
    std::memset(coefficients, 0, 64 * sizeof(int16_t));
    for (int32_t i = 0; i < 64; ++i) {
        quant[i] = float(1 + random() % (shape == 4 ? 65535 : 100));
    }
    int32_t count = shape == 0 ? 1 : shape == 1 ? 6 : 64;
    for (int32_t i = 0; i < count; ++i) {
        int32_t at = shape == 2 ? int32_t(random() % 8) * 8 : shape == 1 ? int32_t(random() % 20) : i;
        int32_t range = shape == 4 ? 65536 : 2048;
        coefficients[at] = int16_t(int32_t(random() % uint32_t(range)) - range / 2);
    }
}

}  // namespace

TEST(JpegParts, InverseDctRoutinesAgreeBitForBitAndWithTheDefinition) {
    std::mt19937 random(42);
    int16_t coefficients[64];
    float quant[64];
    for (int32_t round = 0; round < 20000; ++round) {
        int32_t shape = round % 5;
        RandomBlock(random, shape, coefficients, quant);
        float plain[64], vector[64];
        float bias = round % 2 == 0 ? 128.0f : 0.0f;
        jpegidct::InverseDctPlain(coefficients, quant, plain, 8, bias);
        jpegidct::InverseDctSse2(coefficients, quant, vector, 8, bias);
        for (int32_t i = 0; i < 64; ++i) {
            ASSERT_EQ(plain[i], vector[i]) << round << " " << i;
        }
        if (jpegcpu::HasAvx2()) {
            jpegidct::InverseDctAvx2(coefficients, quant, vector, 8, bias);
            for (int32_t i = 0; i < 64; ++i) {
                ASSERT_EQ(plain[i], vector[i]) << "AVX2 " << round << " " << i;
            }
        }
        if (shape == 0) {
            float dcOnly[64];
            jpegidct::InverseDctDcOnly(coefficients, quant, dcOnly, 8, bias);
            ASSERT_EQ(std::memcmp(plain, dcOnly, sizeof plain), 0) << round;
        }
        if (shape < 4 && round < 2000) {
            double exact[64];
            DefinitionIdct(coefficients, quant, exact);
            for (int32_t i = 0; i < 64; ++i) {
                ASSERT_NEAR(plain[i] - bias, exact[i], 0.02 + std::abs(exact[i]) * 1e-5) << round << " " << i;
            }
        }
    }
}

TEST(JpegParts, VectorColourConversionGivesThePlainBytesInEveryOrder) {
    std::mt19937 random(7);
    const int32_t width = 4099;
    std::vector<float> y(width), cb(width), cr(width);
    // Values on and near the integers where truncation turns, across and beyond the byte range.
    for (int32_t round = 0; round < 40; ++round) {
        for (int32_t i = 0; i < width; ++i) {
            float base = float(int32_t(random() % 700) - 220);
            float nudge =
                round % 2 == 0 ? float(int32_t(random() % 9) - 4) * 1e-5f : float(random() % 1000) / 1000.0f;
            y[size_t(i)] = base + nudge;
            cb[size_t(i)] = float(int32_t(random() % 400) - 200) + float(random() % 100) / 100.0f;
            cr[size_t(i)] = float(int32_t(random() % 400) - 200) + float(random() % 100) / 100.0f;
        }
        y[0] = 1e9f;
        y[1] = -1e9f;
        for (int16_t format : {kFormatBGRX32, kFormatRGBX32, kFormatXRGB32, kFormatXBGR32}) {
            for (bool grey : {false, true}) {
                jpegcolor::SampleRow row{y.data(), grey ? nullptr : cb.data(), grey ? nullptr : cr.data(),
                                         width};
                std::vector<uint8_t> plain(4 * width, 0xEE), sse2(4 * width, 0xEE), avx2(4 * width, 0xEE);
                jpegcolor::WriteRow32Plain(row, plain.data(), ByteOrderOf(format));
                jpegcolor::WriteRow32Sse2(row, sse2.data(), ByteOrderOf(format));
                ASSERT_EQ(plain, sse2) << format << grey;
                if (jpegcpu::HasAvx2()) {
                    jpegcolor::WriteRow32Avx2(row, avx2.data(), ByteOrderOf(format));
                    ASSERT_EQ(plain, avx2) << format << grey;
                }
            }
        }
    }
}

TEST(JpegParts, ChromaWideningAveragesWithTheSampleUpAndLeft) {
    std::mt19937 random(3);
    for (int32_t width : {1, 2, 3, 15, 16, 17, 33, 800, 803}) {
        SCOPED_TRACE(width);
        std::vector<float> line(size_t(width / 2 + 9)), above(line.size()), out(static_cast<size_t>(width));
        for (size_t i = 0; i < line.size(); ++i) {
            line[i] = float(int32_t(random() % 20000) - 10000) / 77.0f;
            above[i] = float(int32_t(random() % 20000) - 10000) / 77.0f;
        }
        jpegcolor::WidenAveraged(line.data(), above.data(), out.data(), width);
        for (int32_t x = 0; x < width; ++x) {
            float expected = x == 0 ? line[0] : (line[size_t(x / 2)] + above[size_t((x - 1) / 2)]) * 0.5f;
            ASSERT_EQ(out[size_t(x)], expected) << x;
        }
        jpegcolor::WidenNearest(line.data(), out.data(), width);
        for (int32_t x = 0; x < width; ++x) {
            ASSERT_EQ(out[size_t(x)], line[size_t(x / 2)]) << x;
        }
    }
}
