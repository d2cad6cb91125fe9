// The container writer, read back through the media server and the directory parser.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/MsfFormat.h"
#include "media/MsfWriter.h"
#include "media/ZMediaServer.h"
#include "platform/File.h"

namespace {

using msf::Item;
using msf::WriteResult;

std::string ReadItem(ZMediaServer& server, uint16_t id, ZTypeCode type) {
    ZFile file;
    if (!server.OpenItem(id, file, type)) {
        return "<missing>";
    }
    std::string bytes(size_t(file.GetSize()), '\0');
    bytes.resize(size_t(std::max(file.Read(bytes.data(), int32_t(bytes.size())), 0)));
    return bytes;
}

TEST(MsfWriter, SortedItemsReadBackThroughTheServer) {
    // Out of id order, one id under two types, an empty item, a name of the full 8 bytes.
    std::vector<Item> items = {{2500, "FONT", "capfont", "font!"},
                               {7, "TEXT", "caption", std::string("Hi\0", 3)},
                               {2500, "RAX ", "capfont", "alpha"},
                               {65535, "JPEG", "longname", ""},
                               {0, "RIX ", "", std::string(300, '\xAB')}};
    std::vector<Item> sorted = items;
    size_t first = 0, second = 0;
    ASSERT_TRUE(msf::SortById(sorted, first, second));
    std::vector<uint16_t> ids;
    for (const Item& item : sorted) ids.push_back(item.id);
    EXPECT_EQ(ids, (std::vector<uint16_t>{0, 7, 2500, 2500, 65535}));
    EXPECT_EQ(sorted[2].type, "FONT");  // one id keeps the order given

    std::vector<uint8_t> bytes;
    ASSERT_EQ(msf::WriteContainer(sorted, bytes), WriteResult::kOk);
    EXPECT_EQ(bytes.size(), size_t(8 + 22 * 5 + 5 + 3 + 5 + 300));
    EXPECT_EQ(msf::ReadU16(bytes.data()), msf::kVersion);
    platform::MemoryFile mem(bytes.data(), bytes.size());
    ZFileSpec spec(mem.GetPath().c_str());
    ZMediaServer server;
    ASSERT_TRUE(server.OpenContainer(spec, false));
    ASSERT_EQ(server.GetDirectory().size(), items.size());
    for (const Item& item : items) {
        ZTypeCode type = 0;
        ASSERT_TRUE(ParseTypeCode(item.type, type));
        ZMediaEntry entry;
        ASSERT_TRUE(server.GetEntry(item.id, type, entry)) << item.id;
        EXPECT_EQ(msf::EntryName(entry), item.name) << item.id;
        EXPECT_EQ(ReadItem(server, item.id, type), item.bytes) << item.id;
    }
    std::vector<std::string> problems;
    msf::CheckDirectory(server.GetDirectory(), int64_t(bytes.size()), problems);
    EXPECT_TRUE(problems.empty()) << problems.front();
}

TEST(MsfWriter, WritesTheOrderGivenAndFindsDuplicates) {
    // Unsorted on purpose: the directory follows the items, and only the directory check objects.
    std::vector<Item> items = {{9, "TEXT", "b", "bb"}, {3, "TEXT", "a", "a"}};
    std::vector<uint8_t> bytes;
    ASSERT_EQ(msf::WriteContainer(items, bytes), WriteResult::kOk);
    ZMediaEntry e0 = msf::ParseEntry(bytes.data() + 8), e1 = msf::ParseEntry(bytes.data() + 30);
    EXPECT_TRUE(e0.id == 9 && e0.offset == 52 && e0.size == 2 && e1.id == 3 && e1.offset == 54);
    EXPECT_EQ(std::string(bytes.begin() + 52, bytes.end()), "bba");

    struct Case {
        std::vector<Item> items;
        size_t first, second;  // positions given
    };
    const Case cases[] = {
        {{{5, "TEXT", "", ""}, {5, "TEXT", "", ""}}, 0, 1},
        {{{8, "RIX ", "", ""}, {5, "TEXT", "", ""}, {8, "RAX ", "", ""}, {8, "RIX ", "", ""}}, 0, 3},
        {{{9, "TEXT", "", ""}, {1, "JPEG", "", ""}, {1, "JPEG", "", ""}, {9, "TEXT", "", ""}}, 1, 2},
    };
    for (const Case& c : cases) {
        std::vector<Item> kept = c.items;
        size_t first = 99, second = 99;
        EXPECT_FALSE(msf::SortById(kept, first, second));
        EXPECT_TRUE(first == c.first && second == c.second) << first << " " << second;
        EXPECT_EQ(kept.size(), c.items.size());
        EXPECT_EQ(kept[0].id, c.items[0].id);  // left as it was
    }
}

TEST(MsfWriter, RefusesWhatAContainerCannotHold) {
    struct Case {
        const char* what;
        std::vector<Item> items;
        WriteResult result;
    };
    const Case cases[] = {
        {"type of three bytes", {{1, "RIX", "", "x"}}, WriteResult::kBadType},
        {"type of five bytes", {{1, "TEXT", "", ""}, {2, "TEXTS", "", ""}}, WriteResult::kBadType},
        {"name of nine bytes", {{1, "TEXT", "ninebytes", ""}}, WriteResult::kNameTooLong},
        {"32768 items", std::vector<Item>(32768, Item{1, "TEXT", "", ""}), WriteResult::kTooManyItems},
        {"32767 items", std::vector<Item>(32767, Item{1, "TEXT", "", ""}), WriteResult::kOk},
        {"no items", {}, WriteResult::kNoItems},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes(3, 0xEE);
        EXPECT_EQ(msf::WriteContainer(c.items, bytes), c.result) << c.what;
        EXPECT_EQ(bytes.empty(), c.result != WriteResult::kOk) << c.what;
    }

    // The length limit on sizes alone, with no gigabytes behind them.
    const int64_t one = msf::kMostBytes - msf::DirectoryEnd(1), two = msf::kMostBytes - msf::DirectoryEnd(2);
    struct Sizes {
        std::vector<int64_t> sizes;
        WriteResult result;
    };
    const Sizes limits[] = {
        {{one}, WriteResult::kOk},
        {{one + 1}, WriteResult::kTooLarge},
        {{two - 10, 10}, WriteResult::kOk},
        {{two - 10, 11}, WriteResult::kTooLarge},
        {{INT64_MAX, INT64_MAX}, WriteResult::kTooLarge},
        {{-1}, WriteResult::kTooLarge},
        {{}, WriteResult::kNoItems},
    };
    for (const Sizes& l : limits) {
        std::vector<uint32_t> offsets;
        EXPECT_EQ(msf::PlaceItems(l.sizes, offsets), l.result) << l.sizes.size();
        EXPECT_EQ(offsets.size(), l.result == WriteResult::kOk ? l.sizes.size() : 0) << l.sizes.size();
    }
    std::vector<uint32_t> offsets;
    ASSERT_EQ(msf::PlaceItems({two - 10, 10}, offsets), WriteResult::kOk);
    EXPECT_EQ(offsets, (std::vector<uint32_t>{52, uint32_t(msf::kMostBytes - 10)}));
}

}  // namespace
