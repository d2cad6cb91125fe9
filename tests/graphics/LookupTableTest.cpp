#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "graphics/ZColorTable.h"
#include "graphics/ZLookupTable.h"
#include "graphics/ZYCbCrColorTable.h"
#include "platform/Memory.h"

namespace {

// Each test gets its own manager as the application's and checks that every block comes back.
class GraphicsLookupCache : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = GetLookupTableManager();
        blocks_ = platform::LargeBlockCount();
        manager_ = new ZLookupTableManager;
        SetLookupTableManager(manager_);
    }
    void TearDown() override {
        delete manager_;
        EXPECT_EQ(GetLookupTableManager(), nullptr);
        SetLookupTableManager(previous_);
        EXPECT_EQ(platform::LargeBlockCount(), blocks_);
    }
    // Gives the manager up early; TearDown then has nothing to delete.
    void DeleteManager() {
        delete manager_;
        manager_ = nullptr;
    }

    ZLookupTableManager* manager_ = nullptr;
    ZLookupTableManager* previous_ = nullptr;
    long blocks_ = 0;
};

class GraphicsLookupUnshared : public GraphicsLookupCache {
  protected:
    void SetUp() override {
        GraphicsLookupCache::SetUp();
        DeleteManager();
    }
};

// i * p / q (q > 0) rounded half away from zero, in integers.
int64_t RoundedRatio(int64_t i, int64_t p, int64_t q) {
    int64_t n = i * p;
    int64_t magnitude = (2 * std::llabs(n) + q) / (2 * q);
    return n < 0 ? -magnitude : magnitude;
}

// The chroma coefficients of standards 0..7, Cr->R, Cb->B, Cb->G, Cr->G.
constexpr int32_t kChroma[8][4] = {
    {117504, 138453, 13954, 34903}, {117504, 138453, 13954, 34903}, {104597, 132201, 25675, 53279},
    {104597, 132201, 25675, 53279}, {104448, 132798, 24759, 53109}, {104597, 132201, 25675, 53279},
    {104597, 132201, 25675, 53279}, {117579, 136230, 16907, 35559},
};

// The entry of table equal to rgb, or -1.
int32_t EntryOf(const ZColorTable* table, const uint8_t rgb[3]) {
    for (int32_t i = 0; i < 256; ++i) {
        if (std::equal(rgb, rgb + 3, table->GetEntryData() + 3 * i)) {
            return i;
        }
    }
    return -1;
}

std::vector<int32_t> Snapshot(const ZLookupTable* table) {
    return std::vector<int32_t>(table->Values(), table->Values() + (table->GetEnd() - table->GetStart()));
}

}  // namespace

TEST_F(GraphicsLookupCache, ClipTablesFollowTheRuleAtEveryIndex) {
    struct Case {
        int32_t offset, low, high, start, end;
    };
    std::vector<Case> cases = {{0, -32, 32, -512, 512}, {0, 0, 256, -1024, 1024}, {7, 10, 20, -3, 40}};
    for (int32_t h : {8, 32, 64, 256}) {
        cases.push_back({0, 0, h, -h, 2 * h});
    }
    for (const Case& c : cases) {
        ZClipTable* table = AcquireClipTable(c.offset, c.low, c.high, c.start, c.end);
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(table->GetKind(), ZLookupTable::kClip);
        // The clamp to 0..255 shares the wider table of the same parameters.
        ASSERT_LE(table->GetStart(), c.start);
        ASSERT_GE(table->GetEnd(), c.end);
        ZTableView<int32_t> view = table->View();
        for (int32_t i = c.start; i < c.end; ++i) {
            int32_t expected = c.offset + std::min(std::max(i, c.low), c.high - 1);
            ASSERT_EQ(table->At(i), expected) << "index " << i;
            ASSERT_EQ(view[i], expected);
            ASSERT_EQ(table->Values()[i - table->GetStart()], expected);
        }
        EXPECT_FALSE(table->Contains(table->GetEnd()));
        EXPECT_FALSE(view.Contains(table->GetStart() - 1));
        EXPECT_EQ(table->At(table->GetEnd()), 0);
        ReleaseTable(table);
    }

    ZClipTable* error = AcquireClipTable(0, -32, 32, -512, 512);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->At(-500), -32);
    EXPECT_EQ(error->At(0), 0);
    EXPECT_EQ(error->At(31), 31);
    EXPECT_EQ(error->At(500), 31);
    ReleaseTable(error);

    // Values that leave 32 bits and empty ranges are refused, and nothing is cached for them.
    EXPECT_EQ(AcquireClipTable(INT32_MAX, 0, 256, 0, 256), nullptr);
    EXPECT_EQ(AcquireClipTable(0, 0, 256, 5, 5), nullptr);
    EXPECT_EQ(AcquireClipTable(0, 0, 256, INT32_MIN, INT32_MAX), nullptr);
    EXPECT_EQ(manager_->GetCount(), static_cast<int32_t>(cases.size()) - 1);
}

TEST_F(GraphicsLookupCache, MultiplyRoundsHalfAwayFromZero) {
    ZMultiplyTable* half = AcquireMultiplyTable(0.5, 0, -255, 256);
    ASSERT_NE(half, nullptr);
    EXPECT_EQ(half->At(-3), -2);
    EXPECT_EQ(half->At(3), 2);
    EXPECT_EQ(half->At(-1), -1);
    EXPECT_EQ(half->At(1), 1);
    ReleaseTable(half);

    struct Ratio {
        int64_t p, q;
    };
    for (Ratio r : {Ratio{1, 2}, Ratio{32, 63}, Ratio{1, 3}, Ratio{-3, 4}, Ratio{-32, 63}, Ratio{5, 7}}) {
        ZMultiplyTable* table = AcquireMultiplyTable(double(r.p) / double(r.q), 0, -255, 256);
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(table->GetKind(), ZLookupTable::kMultiply);
        for (int32_t i = -255; i < 256; ++i) {
            ASSERT_EQ(table->At(i), RoundedRatio(i, r.p, r.q)) << r.p << "/" << r.q << " at " << i;
        }
        ReleaseTable(table);
    }

    // An addend of a quarter: (2i + 1) / 4 rounds like (2i + 1) / 4 in integers.
    ZMultiplyTable* shifted = AcquireMultiplyTable(0.5, 0.25, 0, 64);
    ASSERT_NE(shifted, nullptr);
    for (int32_t i = 0; i < 64; ++i) {
        ASSERT_EQ(shifted->At(i), RoundedRatio(2 * i + 1, 1, 4));
    }
    ReleaseTable(shifted);
}

TEST_F(GraphicsLookupCache, UnsignedTablesHoldPackedColours) {
    // A 5-6-5 code spread over 32 bits, times a 5-bit alpha, needs all 32 bits.
    const uint32_t spread = 0x07E0F81Fu;
    for (uint32_t factor : {0xFFFFu, spread}) {
        ZUnsignedMultiplyTable* table = AcquireUnsignedMultiplyTable(factor, 0, 0, 32);
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(table->GetKind(), ZLookupTable::kUnsignedMultiply);
        ZTableView<uint32_t> view = table->UnsignedView();
        for (uint32_t a = 0; a < 32; ++a) {
            ASSERT_EQ(table->UnsignedValues()[a], factor * a);
            ASSERT_EQ(view[static_cast<int32_t>(a)], factor * a);
        }
        EXPECT_EQ(table->UnsignedAt(31), uint64_t(factor) * 31);
        ReleaseTable(table);
    }
    EXPECT_GT(uint64_t(spread) * 31, uint64_t(INT32_MAX));

    // The signed kind refuses values past int32, but holds the 15-bit spread codes.
    EXPECT_EQ(AcquireMultiplyTable(spread, 0, 0, 32), nullptr);
    ZMultiplyTable* fifteen = AcquireMultiplyTable(0x03E07C1F, 0, 0, 32);
    ASSERT_NE(fifteen, nullptr);
    EXPECT_EQ(fifteen->At(31), 0x03E07C1F * 31);
    ReleaseTable(fifteen);
    EXPECT_EQ(AcquireUnsignedMultiplyTable(-1, 0, 0, 32), nullptr);
    EXPECT_EQ(AcquireUnsignedMultiplyTable(4294967296.0, 0, 0, 32), nullptr);
}

TEST_F(GraphicsLookupCache, EqualRequestsShareOneTable) {
    ZMultiplyTable* a = AcquireMultiplyTable(32.0 / 63.0, 0, -255, 256);
    ZMultiplyTable* b = AcquireMultiplyTable(32.0 / 63.0, 0, -255, 256);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->GetRefCount(), 3);  // the cache and two users
    EXPECT_EQ(a->GetCache(), manager_);

    // A narrower request is served by the same block.
    const int32_t* block = a->Values();
    ZMultiplyTable* narrow = AcquireMultiplyTable(32.0 / 63.0, 0, 0, 64);
    EXPECT_EQ(narrow, a);
    EXPECT_EQ(a->Values(), block);

    ZUnsignedMultiplyTable* unsignedKind = AcquireUnsignedMultiplyTable(32.0 / 63.0, 0, 0, 64);
    ZMultiplyTable* otherAddend = AcquireMultiplyTable(32.0 / 63.0, 0.5, -255, 256);
    ZClipTable* clip = AcquireClipTable(0, 0, 256, -255, 256);
    ZClipTable* clipOffset = AcquireClipTable(1, 0, 256, -255, 256);
    ASSERT_NE(unsignedKind, nullptr);
    EXPECT_NE(static_cast<ZLookupTable*>(unsignedKind), a);
    EXPECT_EQ(unsignedKind->UnsignedAt(63), 32u);
    EXPECT_NE(otherAddend, a);
    EXPECT_NE(clip, clipOffset);
    EXPECT_EQ(manager_->GetCount(), 5);
    for (ZLookupTable* t :
         std::vector<ZLookupTable*>{a, b, narrow, unsignedKind, otherAddend, clip, clipOffset}) {
        ReleaseTable(t);
    }
    EXPECT_EQ(manager_->GetCount(), 5);  // the cache keeps them until it goes
}

TEST_F(GraphicsLookupCache, WiderRequestsGrowTheCachedTable) {
    ZMultiplyTable* alpha = AcquireMultiplyTable(32.0 / 63.0, 0, 0, 64);
    ASSERT_NE(alpha, nullptr);
    std::vector<int32_t> narrow = Snapshot(alpha);

    ZMultiplyTable* blend = AcquireMultiplyTable(32.0 / 63.0, 0, -255, 256);
    ASSERT_EQ(blend, alpha);
    EXPECT_EQ(blend->GetStart(), -255);
    EXPECT_EQ(blend->GetEnd(), 256);
    for (int32_t i = 0; i < 64; ++i) {
        ASSERT_EQ(blend->At(i), narrow[i]);
    }
    for (int32_t i = -255; i < 256; ++i) {
        ASSERT_EQ(blend->At(i), RoundedRatio(i, 32, 63));
    }

    // Disjoint ranges grow to the span of both.
    ZClipTable* low = AcquireClipTable(0, 0, 8, 0, 10);
    ZClipTable* high = AcquireClipTable(0, 0, 8, 100, 110);
    ASSERT_EQ(low, high);
    EXPECT_EQ(low->GetStart(), 0);
    EXPECT_EQ(low->GetEnd(), 110);
    EXPECT_EQ(low->At(5), 5);
    EXPECT_EQ(low->At(50), 7);

    for (ZLookupTable* t : std::vector<ZLookupTable*>{alpha, blend, low, high}) {
        ReleaseTable(t);
    }
}

TEST_F(GraphicsLookupCache, FailedGrowthLeavesTheCachedTableWhole) {
    ZClipTable* table = AcquireClipTable(0, 0, 64, -64, 128);
    ASSERT_NE(table, nullptr);
    std::vector<int32_t> before = Snapshot(table);
    const int32_t* block = table->Values();
    long blocks = platform::LargeBlockCount();

    // Far too wide to build: the request fails and the cached table is untouched.
    EXPECT_EQ(AcquireClipTable(0, 0, 64, INT32_MIN, 0), nullptr);
    EXPECT_EQ(table->Values(), block);
    EXPECT_EQ(table->GetStart(), -64);
    EXPECT_EQ(table->GetEnd(), 128);
    EXPECT_EQ(Snapshot(table), before);
    EXPECT_EQ(table->GetRefCount(), 2);
    EXPECT_EQ(platform::LargeBlockCount(), blocks);
    EXPECT_EQ(manager_->GetCount(), 1);
    ReleaseTable(table);
}

TEST_F(GraphicsLookupCache, ReleaseNeverLeavesADeletedTableCached) {
    ZMultiplyTable* kept = AcquireMultiplyTable(0.25, 0, 0, 64);
    ASSERT_NE(kept, nullptr);
    ReleaseTable(kept);
    EXPECT_EQ(kept->GetRefCount(), 1);
    EXPECT_EQ(manager_->GetCount(), 1);

    // Released once too often: the table leaves the cache before it goes.
    ZMultiplyTable* over = AcquireMultiplyTable(0.75, 0, 0, 64);
    ASSERT_NE(over, nullptr);
    ReleaseTable(over);
    ReleaseTable(over);
    EXPECT_EQ(manager_->GetCount(), 1);
    EXPECT_EQ(manager_->GetHead(), kept);

    // Removing with destroy drops only the cache's reference; the user's copy lives on.
    ZMultiplyTable* held = AcquireMultiplyTable(0.125, 0, 0, 64);
    ASSERT_NE(held, nullptr);
    manager_->Remove(held, true);
    EXPECT_EQ(held->GetCache(), nullptr);
    EXPECT_EQ(held->GetRefCount(), 1);
    EXPECT_EQ(held->At(8), 1);
    // No longer cached: an equal request makes a new table.
    ZMultiplyTable* fresh = AcquireMultiplyTable(0.125, 0, 0, 64);
    EXPECT_NE(fresh, held);
    ReleaseTable(held);
    ReleaseTable(fresh);

    // The manager goes first: tables still held outlive it, unlinked, and go with their last release.
    ZClipTable* survivor = AcquireClipTable(0, 0, 32, -32, 64);
    ASSERT_NE(survivor, nullptr);
    DeleteManager();
    EXPECT_EQ(GetLookupTableManager(), nullptr);
    EXPECT_EQ(survivor->GetCache(), nullptr);
    EXPECT_EQ(survivor->GetRefCount(), 1);
    EXPECT_EQ(survivor->At(40), 31);
    ReleaseTable(survivor);
}

TEST_F(GraphicsLookupUnshared, WithoutAManagerEachRequestGetsItsOwnTable) {
    ZMultiplyTable* a = AcquireMultiplyTable(32.0 / 63.0, 0, -255, 256);
    ZMultiplyTable* b = AcquireMultiplyTable(32.0 / 63.0, 0, -255, 256);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(a->GetRefCount(), 1);
    EXPECT_EQ(a->GetCache(), nullptr);
    EXPECT_EQ(Snapshot(a), Snapshot(b));
    EXPECT_EQ(AcquireMultiplyTable(1.0, 0, 10, 0), nullptr);
    ReleaseTable(a);
    ReleaseTable(b);
    ReleaseTable(nullptr);
}

class GraphicsYCbCr : public GraphicsLookupCache {};

TEST_F(GraphicsYCbCr, ConversionTablesFollowTheStandards) {
    ZColorTable* palette = ZColorTable::CreateBuiltIn(0);
    ASSERT_NE(palette, nullptr);
    for (int32_t standard = 0; standard < 8; ++standard) {
        auto* ycc = new ZYCbCrColorTable(standard, palette);
        ASSERT_TRUE(ycc->HasTables());
        EXPECT_EQ(ycc->GetStandard(), standard);
        const ZMultiplyTable* chroma[4] = {ycc->GetCrToR(), ycc->GetCbToB(), ycc->GetCbToG(),
                                           ycc->GetCrToG()};
        for (int32_t v = 0; v < 256; ++v) {
            for (int32_t c = 0; c < 4; ++c) {
                ASSERT_EQ(chroma[c]->At(v), (v - 128) * kChroma[standard][c])
                    << standard << " " << c << " " << v;
            }
            ASSERT_EQ(ycc->GetLuma()->At(v), (v - 16) * 76309);
        }
        // Y[v] is (v - 16) * 255 / 219 in 16.16 to within a part in 65 536.
        EXPECT_NEAR(ycc->GetLuma()->At(235) / 65536.0, 255.0, 0.01);
        EXPECT_EQ(ycc->GetClamp()->At(-1024), 0);
        EXPECT_EQ(ycc->GetClamp()->At(1023), 255);
        EXPECT_EQ(ycc->GetClamp()->At(100), 100);
        ycc->Release();
    }
    // Two converters of one standard share their tables; an unknown standard is the JPEG one.
    auto* a = new ZYCbCrColorTable(5, palette);
    auto* b = new ZYCbCrColorTable(42, palette);
    EXPECT_EQ(b->GetStandard(), ZYCbCrColorTable::kJpegStandard);
    EXPECT_EQ(a->GetCrToR(), b->GetCrToR());
    EXPECT_EQ(a->GetClamp(), b->GetClamp());
    EXPECT_EQ(palette->GetRefCount(), 3);
    a->Release();
    b->Release();
    EXPECT_EQ(palette->GetRefCount(), 1);
    palette->Release();
}

TEST_F(GraphicsYCbCr, PaletteConvertsByTheStandardsWeights) {
    const uint8_t colours[5][3] = {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    // Y, Cb, Cr worked out by hand from the weights, for standards 5 and 0.
    const uint8_t expected[2][5][3] = {
        {{16, 128, 128}, {234, 128, 128}, {81, 91, 239}, {144, 55, 35}, {40, 239, 110}},
        {{16, 128, 128}, {234, 128, 128}, {62, 103, 239}, {172, 42, 27}, {31, 239, 118}},
    };
    // Realising may move entries, so each colour is looked up.
    auto expectConverted = [&](const ZYCbCrColorTable* ycc, const ZColorTable* table, int32_t row) {
        for (int32_t c = 0; c < 5; ++c) {
            int32_t entry = EntryOf(table, colours[c]);
            ASSERT_GE(entry, 0);
            const uint8_t* got = ycc->GetPaletteYCbCr() + 3 * entry;
            EXPECT_TRUE(std::equal(got, got + 3, expected[row][c])) << "row " << row << " colour " << c;
        }
    };
    ZColorTable* palette = ZColorTable::CreateFromMemory(&colours[0][0], 5, 0);
    ASSERT_NE(palette, nullptr);
    auto* jpeg = new ZYCbCrColorTable(5, palette);
    auto* hd = new ZYCbCrColorTable(0, palette);
    expectConverted(jpeg, palette, 0);
    expectConverted(hd, palette, 1);
    hd->Release();

    // A new palette (the same colours, reordered) is converted anew; the old one is let go.
    const uint8_t reordered[5][3] = {{0, 0, 255}, {255, 0, 0}, {0, 255, 0}, {255, 255, 255}, {0, 0, 0}};
    ZColorTable* other = ZColorTable::CreateFromMemory(&reordered[0][0], 5, 0);
    ASSERT_NE(other, nullptr);
    jpeg->SetColorTable(other);
    EXPECT_EQ(jpeg->PeekColorTable(), other);
    EXPECT_EQ(palette->GetRefCount(), 1);
    expectConverted(jpeg, other, 0);
    jpeg->Release();
    other->Release();
    palette->Release();
}

TEST_F(GraphicsYCbCr, IndexTableMatchesADirectComputation) {
    ZColorTable* palette = ZColorTable::CreateBuiltIn(0);
    ASSERT_NE(palette, nullptr);
    const uint8_t* inverse = palette->GetInverseTable();
    ASSERT_NE(inverse, nullptr);
    for (int32_t standard : {0, 4, 5, 7}) {
        auto* ycc = new ZYCbCrColorTable(standard, palette);
        const uint8_t* index = ycc->BuildIndexTable();
        ASSERT_NE(index, nullptr);
        const int32_t* c = kChroma[standard];
        auto byte = [](int32_t fixed) { return std::clamp(fixed >> 16, 0, 255); };
        for (int32_t code = 0; code < 65536; code += 97) {
            int32_t cb = 8 * (code >> 11) + 4 - 128;
            int32_t cr = 8 * ((code >> 6) & 31) + 4 - 128;
            int32_t y = (4 * (code & 63) + 2 - 16) * 76309;
            int32_t r = byte(y + cr * c[0]);
            int32_t g = byte(y - cb * c[2] - cr * c[3]);
            int32_t b = byte(y + cb * c[1]);
            ASSERT_EQ(index[code], inverse[(r >> 3) << 11 | (g >> 2) << 5 | (b >> 3)]) << "code " << code;
        }
        ycc->Release();
    }
    palette->Release();
}

TEST_F(GraphicsYCbCr, NoColourTableMeansNoIndexTable) {
    ZColorTable* current = GetCurrentColorTable();
    SetCurrentColorTable(nullptr);
    auto* ycc = new ZYCbCrColorTable(5, nullptr);
    EXPECT_EQ(ycc->PeekColorTable(), nullptr);
    EXPECT_EQ(ycc->BuildIndexTable(), nullptr);
    EXPECT_EQ(ycc->GetIndexTable(), nullptr);
    // Without a palette every entry reads as black.
    EXPECT_EQ(ycc->GetPaletteYCbCr()[3 * 200], 16);
    EXPECT_EQ(ycc->GetPaletteYCbCr()[3 * 200 + 1], 128);
    ycc->Release();
    SetCurrentColorTable(current);
    if (current != nullptr) {
        current->Release();
    }
}
