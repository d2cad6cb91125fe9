// Colour tables: built-in palettes against their descriptions, lookup tables against brute-force searches,
// black-and-white placement, the current table's references, and "RCX " data served from a container.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "graphics/ZColorTable.h"
#include "media/ZMediaServer.h"
#include "platform/File.h"
#include "platform/Memory.h"
#include "tests/support/ContainerBuilder.h"
#include "tests/support/MediaPtr.h"

namespace {

using Rgb = std::array<uint8_t, 3>;

using testsupport::TablePtr;

Rgb Entry(const ZColorTable& table, int i) {
    const uint8_t* e = table.GetEntryData() + i * 3;
    return {e[0], e[1], e[2]};
}
std::vector<Rgb> Entries(const ZColorTable& table) {
    std::vector<Rgb> out;
    for (int i = 0; i < 256; ++i) out.push_back(Entry(table, i));
    return out;
}
int Distance(const Rgb& a, int r, int g, int b) {
    return (a[0] - r) * (a[0] - r) + (a[1] - g) * (a[1] - g) + (a[2] - b) * (a[2] - b);
}
// Lowest index among the nearest entries, leaving out skip.
int BruteNearest(const std::vector<Rgb>& entries, int r, int g, int b, int skip = -1) {
    int best = -1;
    for (int i = 0; i < int(entries.size()); ++i) {
        if (i != skip &&
            (best < 0 || Distance(entries[size_t(i)], r, g, b) < Distance(entries[size_t(best)], r, g, b))) {
            best = i;
        }
    }
    return best;
}
uint16_t Pack565(const Rgb& c) {
    return uint16_t((c[0] >> 3) << 11 | (c[1] >> 2) << 5 | (c[2] >> 3));
}
// A table whose entries are placed by hand, not realised.
TablePtr Unrealised(const std::vector<Rgb>& entries) {
    TablePtr table(new ZColorTable());
    uint8_t* out = table->SetCount(int32_t(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) std::copy(entries[i].begin(), entries[i].end(), out + i * 3);
    return table;
}
TablePtr FromEntries(const std::vector<Rgb>& entries) {
    std::vector<uint8_t> bytes;
    for (const Rgb& c : entries) bytes.insert(bytes.end(), c.begin(), c.end());
    return TablePtr(ZColorTable::CreateFromMemory(bytes.data(), int32_t(entries.size()), 0));
}
TablePtr BuiltIn(int kind, bool placement = true) {
    ZColorTable::SetBlackWhitePlacement(placement);
    TablePtr table(ZColorTable::CreateBuiltIn(kind));
    ZColorTable::SetBlackWhitePlacement(true);
    return table;
}

// The system palette written out from its description: grid enumerated in full, then rotated and filtered.
std::vector<Rgb> SystemPaletteReference() {
    std::vector<Rgb> fixed = {{0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},
                              {0, 0, 128},     {128, 0, 128},   {0, 128, 128},   {128, 128, 128},
                              {192, 220, 192}, {166, 202, 240}, {255, 251, 240}, {160, 160, 164},
                              {128, 128, 128}, {255, 0, 0},     {0, 255, 0},     {255, 255, 0},
                              {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
    std::vector<Rgb> grid;
    for (int r : {0, 42, 85, 127, 170, 212, 255})
        for (int g : {0, 31, 63, 95, 127, 159, 191, 223, 255})
            for (int b : {0, 85, 170, 255}) grid.push_back({uint8_t(r), uint8_t(g), uint8_t(b)});
    auto start = std::find(grid.begin(), grid.end(), Rgb{42, 63, 170});
    std::rotate(grid.begin(), start, grid.end());
    EXPECT_EQ(grid.back(), (Rgb{42, 63, 85}));
    std::erase_if(grid, [&](const Rgb& c) {
        return (c[0] == 0 && c[1] < 127) || std::find(fixed.begin(), fixed.end(), c) != fixed.end();
    });
    EXPECT_EQ(grid.size(), 230u);
    std::vector<Rgb> out(fixed.begin(), fixed.begin() + 10);
    out.insert(out.end(), grid.begin(), grid.begin() + 202);
    std::vector<Rgb> extra = {{204, 204, 255}, {255, 204, 255}, {51, 255, 255},
                              {102, 255, 255}, {153, 255, 255}, {204, 255, 255}};
    out.insert(out.end(), extra.begin(), extra.end());
    out.insert(out.end(), grid.begin() + 202, grid.end());
    out.insert(out.end(), fixed.begin() + 10, fixed.end());
    return out;
}

TEST(GraphicsColorTableBuiltIn, PalettesFollowTheirDescriptions) {
    std::vector<Rgb> system = SystemPaletteReference();
    ASSERT_EQ(system.size(), 256u);
    for (int kind : {0, 1}) {
        TablePtr table = BuiltIn(kind);
        EXPECT_EQ(Entries(*table), system) << kind;
        EXPECT_FALSE(table->IsBlackWhitePlaced());  // black and white are in place already
        EXPECT_EQ(table->GetEntryCount(), 256);     // the platform palette
    }

    TablePtr cube = BuiltIn(4, false);
    EXPECT_EQ(cube->GetCount(), 256);
    for (int r = 0; r <= 255; r += 51)
        for (int g = 0; g <= 255; g += 51)
            for (int b = 0; b <= 255; b += 51)
                EXPECT_EQ(Entry(*cube, (5 - r / 51) * 36 + (5 - g / 51) * 6 + (5 - b / 51)),
                          (Rgb{uint8_t(r), uint8_t(g), uint8_t(b)}));
    for (int i = 216; i < 256; ++i) EXPECT_EQ(Entry(*cube, i), (Rgb{0, 0, 0})) << i;

    TablePtr web = BuiltIn(2, false);
    EXPECT_EQ(Entry(*web, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(Entry(*web, 214), (Rgb{0, 0, 51}));
    EXPECT_EQ(Entry(*web, 215), (Rgb{238, 0, 0}));
    EXPECT_EQ(Entry(*web, 254), (Rgb{17, 17, 17}));
    EXPECT_EQ(Entry(*web, 255), (Rgb{0, 0, 0}));

    for (int kind : {5, 9}) {
        TablePtr grey = BuiltIn(kind);
        for (int i = 0; i < 256; ++i) EXPECT_EQ(Entry(*grey, i), (Rgb{uint8_t(i), uint8_t(i), uint8_t(i)}));
        EXPECT_TRUE(grey->IsGrey());
    }
    EXPECT_FALSE(BuiltIn(0)->IsGrey());
    TablePtr ramps = BuiltIn(3, false);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(Entry(*ramps, i)[0], i * 8);
}

TEST(GraphicsColorTableRealize, PlacesBlackAndWhiteAndKeepsEveryColour) {
    for (int kind : {2, 3, 4}) {
        std::vector<Rgb> before = Entries(*BuiltIn(kind, false));
        TablePtr placed = BuiltIn(kind);
        std::vector<Rgb> after = Entries(*placed);
        EXPECT_EQ(after[0], (Rgb{0, 0, 0})) << kind;
        EXPECT_EQ(after[255], (Rgb{255, 255, 255})) << kind;
        EXPECT_TRUE(placed->IsBlackWhitePlaced()) << kind;
        std::sort(before.begin(), before.end());
        std::sort(after.begin(), after.end());
        EXPECT_EQ(before, after) << kind;  // only positions moved
    }
    // A 216-entry palette ends with 256 entries, the ones past its count black.
    std::vector<Rgb> cube(216);
    for (int i = 0; i < 216; ++i) cube[size_t(i)] = {uint8_t(i), uint8_t(255 - i), 7};
    cube[3] = {255, 255, 255};
    TablePtr table = FromEntries(cube);
    EXPECT_EQ(table->GetCount(), 256);
    EXPECT_EQ(Entry(*table, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(Entry(*table, 255), (Rgb{255, 255, 255}));
    // White 3 -> 255 leaves entry 255's padding black at 3, which then trades places with entry 0.
    EXPECT_EQ(table->GetWhiteIndex(), 3u);
    EXPECT_EQ(table->GetBlackIndex(), 3u);
    EXPECT_EQ(Entry(*table, 3), cube[0]);
    for (int i = 216; i < 255; ++i) EXPECT_EQ(Entry(*table, i), (Rgb{0, 0, 0})) << i;
    // A palette without pure white keeps its lightest colour: white takes a spare entry, not its place.
    std::vector<Rgb> pale(10, Rgb{40, 40, 40});
    pale[5] = {250, 250, 250};
    TablePtr paleTable = FromEntries(pale);
    EXPECT_EQ(Entry(*paleTable, 5), pale[5]);
    EXPECT_EQ(Entry(*paleTable, 255), (Rgb{255, 255, 255}));
    // Without placement nothing moves; the count still becomes 256.
    ZColorTable::SetBlackWhitePlacement(false);
    TablePtr kept = FromEntries(cube);
    ZColorTable::SetBlackWhitePlacement(true);
    EXPECT_EQ(Entry(*kept, 3), (Rgb{255, 255, 255}));
    EXPECT_EQ(kept->GetCount(), 256);
    EXPECT_FALSE(kept->IsBlackWhitePlaced());
    // Entries left behind by a smaller count are black after Realize, not stale.
    TablePtr shrunk = Unrealised(std::vector<Rgb>(256, Rgb{9, 9, 9}));
    shrunk->SetCount(4);
    shrunk->Realize();
    // (None of the four is lost to white, which takes a spare entry; black trades places with entry 0.)
    for (int i = 1; i < 255; ++i) EXPECT_EQ(Entry(*shrunk, i), (i <= 4 ? Rgb{9, 9, 9} : Rgb{0, 0, 0})) << i;
}

// Lookup tables built before Realize follow the entries as they move: white 0 -> 255 -> 100 -> 0 is a
// three-cycle, which two replacements in a row instead of exchanges would break.
TEST(GraphicsColorTableRealize, LookupTablesFollowMovedEntries) {
    std::mt19937 random(7);
    std::vector<Rgb> entries(256);
    for (Rgb& c : entries)
        c = {uint8_t(1 + random() % 254), uint8_t(random() % 256), uint8_t(random() % 256)};
    entries[0] = {255, 255, 255};
    entries[100] = {0, 0, 0};
    TablePtr table = Unrealised(entries);
    ASSERT_NE(table->GetInverseTable(), nullptr);
    ASSERT_NE(table->GetBlendTable(), nullptr);
    EXPECT_EQ(table->Realize(), 0);
    EXPECT_EQ(table->GetWhiteIndex(), 0u);
    EXPECT_EQ(table->GetBlackIndex(), 100u);
    std::vector<Rgb> now = Entries(*table);
    EXPECT_EQ(now[100], entries[255]);

    TablePtr fresh = FromEntries(now);
    const uint16_t* blend = table->GetBlendTable();
    EXPECT_TRUE(std::equal(blend, blend + ZColorTable::kBlendTableSize, fresh->GetBlendTable()));
    const uint8_t* inverse = table->GetInverseTable();
    for (int code = 0; code < 65536; code += 5) {
        int r = (code >> 11) * 8 + 4, g = (code >> 5 & 63) * 4 + 2, b = (code & 31) * 8 + 4;
        ASSERT_EQ(Distance(now[inverse[code]], r, g, b),
                  Distance(now[size_t(BruteNearest(now, r, g, b))], r, g, b))
            << code;
    }
}

TEST(GraphicsColorTableLookup, InverseTableIsTheNearestEntry) {
    for (int kind : {0, 3, 5}) {  // a grey palette is filled like any other
        TablePtr table = BuiltIn(kind);
        std::vector<Rgb> entries = Entries(*table);
        const uint8_t* inverse = table->GetInverseTable();
        ASSERT_NE(inverse, nullptr);
        EXPECT_EQ(inverse, table->GetInverseTable());  // built once
        for (int code = 0; code < 65536; code += 7) {
            int r = (code >> 11) * 8 + 4, g = (code >> 5 & 63) * 4 + 2, b = (code & 31) * 8 + 4;
            ASSERT_EQ(inverse[code], BruteNearest(entries, r, g, b)) << kind << " " << code;
        }
        uint8_t rgb[3] = {200, 17, 99};
        EXPECT_EQ(table->FindColor(rgb, true), inverse[(200 >> 3) << 11 | (17 >> 2) << 5 | (99 >> 3)]);
    }
}

TEST(GraphicsColorTableLookup, BlendCodesAddWithoutCarry) {
    for (int kind : {0, 5}) {
        TablePtr table = BuiltIn(kind);
        const uint16_t* blend = table->GetBlendTable();
        ASSERT_NE(blend, nullptr);
        for (int i = 0; i < 256; ++i) {
            for (int a = 0; a < 64; ++a) {  // each component scaled by a / 63, rounded at .51
                Rgb scaled;
                for (int c = 0; c < 3; ++c)
                    scaled[size_t(c)] = uint8_t(Entry(*table, i)[size_t(c)] * a / 63.0 + 0.49);
                ASSERT_EQ(blend[a * 256 + i], Pack565(scaled)) << i << " " << a;
            }
            EXPECT_EQ(blend[i], 0);                                     // alpha 0
            EXPECT_EQ(blend[63 * 256 + i], Pack565(Entry(*table, i)));  // alpha 63
        }
        int carries = 0;
        for (int a = 0; a < 64; ++a)
            for (int i = 0; i < 256; ++i)
                for (int j = 0; j < 256; ++j) {
                    uint16_t x = blend[(63 - a) * 256 + i], y = blend[a * 256 + j];
                    carries += (x & 31) + (y & 31) > 31 || (x >> 5 & 63) + (y >> 5 & 63) > 63 ||
                               (x >> 11) + (y >> 11) > 31;
                }
        EXPECT_EQ(carries, 0) << kind;
    }
    // Halfway between white and black lands on mid grey.
    TablePtr grey = BuiltIn(5);
    uint16_t half = uint16_t(grey->GetBlendTable()[31 * 256 + 255] + grey->GetBlendTable()[32 * 256]);
    EXPECT_EQ(half, Pack565({125, 125, 125}));  // 255 * 31 / 63 = 125.48
}

TEST(GraphicsColorTableFind, ExactNearestTiesAndRunnerUp) {
    ZColorTable::SetBlackWhitePlacement(false);
    TablePtr table = FromEntries({{10, 10, 10}, {20, 20, 20}, {10, 10, 10}, {30, 30, 30}});
    ZColorTable::SetBlackWhitePlacement(true);
    uint8_t c30[3] = {30, 30, 30}, c31[3] = {31, 30, 30}, c10[3] = {10, 10, 10}, c15[3] = {15, 15, 15};
    EXPECT_EQ(table->FindColor(c30, false), 3);
    EXPECT_EQ(table->FindColor(c31, false), -1);
    EXPECT_EQ(table->FindColor(c10, false), 0);  // the first of equal entries
    EXPECT_EQ(table->FindColor(c31, true), 3);
    EXPECT_EQ(table->FindColor(c15, true), 0);  // a tie goes to the lower index
    EXPECT_EQ(table->FindRunnerUp(c15), 1);
    EXPECT_EQ(table->FindRunnerUp(c10), 2);  // best is the first entry searched
    uint8_t c20[3] = {20, 20, 20};
    EXPECT_EQ(table->FindRunnerUp(c20), 0);

    TablePtr single = Unrealised({{1, 2, 3}});
    EXPECT_EQ(single->FindRunnerUp(c30), 0);
    TablePtr empty(new ZColorTable());
    EXPECT_EQ(empty->FindColor(c30, true), -1);
    EXPECT_EQ(empty->FindRunnerUp(c30), -1);

    TablePtr system = BuiltIn(0);
    std::vector<Rgb> entries = Entries(*system);
    std::mt19937 random(11);
    for (int n = 0; n < 2000; ++n) {
        uint8_t rgb[3] = {uint8_t(random()), uint8_t(random()), uint8_t(random())};
        int best = system->FindColor(rgb, true);
        int runner = system->FindRunnerUp(rgb);
        ASSERT_EQ(best, BruteNearest(entries, rgb[0], rgb[1], rgb[2]));
        ASSERT_NE(runner, best);
        ASSERT_EQ(runner, BruteNearest(entries, rgb[0], rgb[1], rgb[2], best));
    }
}

TEST(GraphicsColorTableEntries, GetEntriesSetCountAndEquals) {
    TablePtr table = Unrealised({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
    std::array<uint8_t, 12> out;
    out.fill(0xEE);
    EXPECT_EQ(table->GetEntries(out.data(), 3, 5), 0);  // first = count copies nothing
    EXPECT_EQ(out[0], 0xEE);
    EXPECT_EQ(table->GetEntries(out.data(), -4, 2), 2);
    EXPECT_EQ(out[3], 4);
    EXPECT_EQ(out[6], 0xEE);
    EXPECT_EQ(table->GetEntries(out.data(), 1, 0), 1);  // at least one
    EXPECT_EQ(table->GetEntries(out.data(), 1, 99), 2);
    EXPECT_EQ(out[5], 9);

    EXPECT_EQ(table->SetCount(0), nullptr);
    EXPECT_EQ(table->SetCount(257), nullptr);
    EXPECT_EQ(table->GetCount(), 3);
    EXPECT_NE(table->SetCount(256), nullptr);

    const uint8_t quads[8] = {1, 2, 3, 99, 4, 5, 6, 99};  // skip one byte after each entry
    ZColorTable::SetBlackWhitePlacement(false);
    TablePtr skipped(ZColorTable::CreateFromMemory(quads, 2, 1));
    ZColorTable::SetBlackWhitePlacement(true);
    EXPECT_EQ(Entry(*skipped, 1), (Rgb{4, 5, 6}));
    EXPECT_EQ(ZColorTable::CreateFromMemory(quads, 257, 0), nullptr);
    EXPECT_EQ(ZColorTable::CreateFromMemory(quads, 1, -1), nullptr);

    TablePtr full = BuiltIn(0);
    std::vector<Rgb> prefix = Entries(*full);
    prefix.resize(216);
    TablePtr part = Unrealised(prefix);
    EXPECT_TRUE(full->Equals(part.get()));
    EXPECT_FALSE(part->Equals(full.get()));
    EXPECT_TRUE(part->Equals(part.get()));
    EXPECT_FALSE(full->Equals(nullptr));
    part->SetCount(216)[215 * 3] ^= 1;
    EXPECT_FALSE(full->Equals(part.get()));

    CPalette* selection = full->GetSelectionPalette();
    ASSERT_NE(selection, nullptr);
    EXPECT_EQ(selection, full->GetSelectionPalette());
    std::vector<uint8_t> copied(768);
    EXPECT_EQ(selection->GetPaletteEntries(0, 256, copied.data()), 256);
    EXPECT_TRUE(std::equal(copied.begin(), copied.end(), full->GetEntryData()));
}

TEST(GraphicsColorTableCurrent, ReferencesAndChangedFlag) {
    TablePtr table = BuiltIn(0);
    SetCurrentColorTable(table.get());
    EXPECT_EQ(table->GetRefCount(), 2);
    EXPECT_TRUE(IsPaletteChanged());
    ClearPaletteChanged();
    SetCurrentColorTable(table.get());  // the same table: kept alive throughout
    EXPECT_EQ(table->GetRefCount(), 2);
    EXPECT_FALSE(IsPaletteChanged());
    ZColorTable* current = GetCurrentColorTable();
    EXPECT_EQ(current, table.get());
    EXPECT_EQ(current->Release(), 2);
    SetCurrentColorTable(nullptr);
    EXPECT_TRUE(IsPaletteChanged());
    EXPECT_EQ(table->GetRefCount(), 1);
    EXPECT_EQ(GetCurrentColorTable(), nullptr);

    // The current table held only by the current reference, set again: not freed on the way.
    ZColorTable* held = ZColorTable::CreateBuiltIn(5);
    SetCurrentColorTable(held);
    held->Release();
    SetCurrentColorTable(held);
    EXPECT_EQ(held->GetRefCount(), 1);
    SetCurrentColorTable(nullptr);

    // A table destroyed while current takes the reference with it.
    ZColorTable* doomed = ZColorTable::CreateBuiltIn(5);
    SetCurrentColorTable(doomed);
    doomed->Release();
    doomed->Release();
    EXPECT_EQ(GetCurrentColorTable(), nullptr);
    ClearPaletteChanged();
}

// "RCX " data: count, entries, then optionally a flag word and the tables it names.
std::string Rcx(int count, const std::vector<Rgb>& entries) {
    std::string out{char(count & 0xFF), char(count >> 8 & 0xFF)};
    for (const Rgb& c : entries) out.append({char(c[0]), char(c[1]), char(c[2])});
    return out;
}
std::string Word(int v) {
    return {char(v & 0xFF), char(v >> 8 & 0xFF)};
}
std::vector<Rgb> Ramp(int n) {
    std::vector<Rgb> out;
    for (int i = 0; i < n; ++i)
        out.push_back({uint8_t(i * 255 / std::max(n - 1, 1)), uint8_t(i), uint8_t(i)});
    return out;
}

// A container opened on the process's media server for the length of a test.
struct ServedContainer {
    explicit ServedContainer(const std::vector<testsupport::Item>& items)
        : bytes(testsupport::BuildContainer(items)), mem(bytes.data(), bytes.size()) {
        ZFileSpec spec(mem.GetPath().c_str());
        opened = gMediaServer->OpenContainer(spec, false);
    }
    ~ServedContainer() { gMediaServer->CloseContainer(); }
    std::vector<uint8_t> bytes;
    platform::MemoryFile mem;
    bool opened = false;
};

TEST(GraphicsColorTableRcx, ReadsItemsFromTheContainer) {
    std::string inverse(65536, '\0'), blend;
    for (int i = 0; i < 65536; ++i) inverse[size_t(i)] = char(i * 7 >> 3);
    for (int i = 0; i < ZColorTable::kBlendTableSize; ++i) blend += Word(i * 3);
    std::vector<Rgb> placed = Ramp(256);
    placed[255] = {255, 255, 255};  // black and white in place: the stored tables stay as they are
    ServedContainer container({{1, "RCX ", "sixteen", Rcx(16, Ramp(16))},
                               {2, "RCX ", "tables", Rcx(256, placed) + Word(0x28) + inverse + blend},
                               {3, "RCX ", "inverse", Rcx(256, placed) + Word(0x08) + inverse},
                               {4, "RCX ", "noflags", Rcx(2, Ramp(2)) + Word(0)},
                               {5, "RCX ", "grey", Rcx(256, Entries(*BuiltIn(5)))}});
    ASSERT_TRUE(container.opened);

    ZFile file;
    ZTypeCode type = kTypeRcx;
    ASSERT_TRUE(gMediaServer->OpenItem(1, file, type));
    TablePtr raw(new ZColorTable());
    ASSERT_TRUE(raw->ReadRcx(file));
    EXPECT_EQ(raw->GetCount(), 16);
    EXPECT_FALSE(raw->HasInverseTable());
    EXPECT_FALSE(raw->HasBlendTable());
    EXPECT_EQ(Entry(*raw, 15), (Rgb{255, 15, 15}));

    TablePtr sixteen(ZColorTable::CreateFromMedia(1));
    EXPECT_TRUE(sixteen->IsLoaded());
    EXPECT_EQ(sixteen->GetCount(), 256);
    EXPECT_EQ(Entry(*sixteen, 255), (Rgb{255, 255, 255}));

    TablePtr tables(ZColorTable::CreateFromMedia(2));
    ASSERT_TRUE(tables->IsLoaded());
    ASSERT_TRUE(tables->HasInverseTable() && tables->HasBlendTable());
    EXPECT_TRUE(std::equal(inverse.begin(), inverse.end(), tables->GetInverseTable(),
                           [](char a, uint8_t b) { return uint8_t(a) == b; }));
    EXPECT_EQ(tables->GetBlendTable()[1000], 3000);
    EXPECT_EQ(tables->GetBlendTable()[ZColorTable::kBlendTableSize - 1], uint16_t(3 * 16383));

    TablePtr inverseOnly(ZColorTable::CreateFromMedia(3));
    EXPECT_TRUE(inverseOnly->HasInverseTable());
    EXPECT_FALSE(inverseOnly->HasBlendTable());
    TablePtr noFlags(ZColorTable::CreateFromMedia(4));
    EXPECT_TRUE(noFlags->IsLoaded());
    EXPECT_FALSE(noFlags->HasInverseTable());
    EXPECT_TRUE(TablePtr(ZColorTable::CreateFromMedia(5))->IsGrey());
}

TEST(GraphicsColorTableRcx, MalformedItemsLeaveAnEmptyTable) {
    long blocksBefore = platform::LargeBlockCount();
    std::string inverse(65536, '\x01');
    ServedContainer container({{10, "RCX ", "257", Rcx(257, Ramp(256)) + std::string(3, 'x')},
                               {11, "RCX ", "negative", Rcx(-1, {})},
                               {12, "RCX ", "short", Rcx(4, Ramp(4)).substr(0, 11)},
                               {13, "RCX ", "noinv", Rcx(2, Ramp(2)) + Word(0x08) + std::string(100, 'i')},
                               {14, "RCX ", "noblend", Rcx(2, Ramp(2)) + Word(0x28) + inverse + "bb"},
                               {15, "RCX ", "byte", Rcx(2, Ramp(2)) + "z"},
                               // the next item's bytes lie right behind: the item's window stops the read
                               {16, "RCX ", "window", Rcx(0, {}) + Word(0x08)},
                               {17, "RAW ", "filler", inverse},
                               {18, "RIX ", "image", Rcx(2, Ramp(2))},
                               {19, "RCX ", "empty", ""}});
    ASSERT_TRUE(container.opened);
    for (uint16_t id : {10, 11, 12, 13, 14, 15, 16, 18, 19, 99}) {
        TablePtr table(ZColorTable::CreateFromMedia(id));
        ASSERT_NE(table, nullptr);
        EXPECT_FALSE(table->IsLoaded()) << id;
        EXPECT_EQ(table->GetCount(), 0) << id;
        EXPECT_FALSE(table->HasInverseTable() || table->HasBlendTable()) << id;
    }
    EXPECT_EQ(platform::LargeBlockCount(), blocksBefore);
}

}  // namespace

// Each component of an entry scaled by a / 63 and rounded by adding 0.49 is floor((100 c a + 3087) / 6300);
// the grey ramp puts every component value 0..255 into one table.
TEST(GraphicsColorTableLookup, BlendTableFollowsTheExactScalingFormula) {
    TablePtr grey = TablePtr(ZColorTable::CreateBuiltIn(5));
    const uint16_t* blend = grey->GetBlendTable();
    ASSERT_NE(blend, nullptr);
    for (int32_t c = 0; c < 256; ++c) {
        for (int32_t a = 0; a < 64; ++a) {
            uint32_t scaled = uint32_t((100 * c * a + 3087) / 6300);
            uint16_t want = uint16_t((scaled >> 3) << 11 | (scaled >> 2) << 5 | (scaled >> 3));
            ASSERT_EQ(blend[a * 256 + c], want) << "c " << c << " a " << a;
        }
    }
}
