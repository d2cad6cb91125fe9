// The HTML dialect's markup pieces: tags, entities, attributes, source preparation and layout rules.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "controls/ZHTMLMarkup.h"
#include "core/ZString.h"

namespace {

using namespace html;

TEST(HTMLMarkupTest, TagsAreLookedUpCaseInsensitivelyInTableOrder) {
    ASSERT_EQ(TagName(77), "unknown tag");
    for (int32_t id = 0; id < kTagTableSize; ++id) {
        ASSERT_EQ(LookupTag(TagName(id)), id) << TagName(id);
    }
    EXPECT_EQ(LookupTag("B"), kTagB);
    EXPECT_EQ(LookupTag("HtMl"), kTagHtml);
    EXPECT_EQ(LookupTag("h1"), kTagH1);
    EXPECT_EQ(LookupTag("bogus"), kTagUnknown);
    EXPECT_EQ(LookupTag("unknown"), kTagUnknown);
    EXPECT_EQ(LookupTag(""), kTagUnknown);
    EXPECT_EQ(TagName(kTagUnknown), "");
}

TEST(HTMLMarkupTest, ParsingATagFindsNameAttributesAndEnd) {
    struct Case {
        std::string text;
        int32_t id;
        bool closing;
        std::string name;
        std::string attributes;
        size_t end;
    };
    const Case cases[] = {
        {"<B>bold", kTagB, false, "B", "", 3},
        {"</b>x", kTagB, true, "b", "", 4},
        {"<bogus x=1>text", kTagUnknown, false, "bogus", " x=1", 11},
        {"<font size=+2 color=\"#ff0000\">", kTagFont, false, "font", " size=+2 color=\"#ff0000\"", 30},
        {"<br/>", kTagBr, false, "br", "/", 5},
        {"<!-- note -->", kTagComment, false, "!", "-- note --", 13},
        // Unclosed tags stop at the end of the text.
        {"<img src=a.jpg", kTagImg, false, "img", " src=a.jpg", 14},
        {"<", kTagUnknown, false, "", "", 1},
        {"</", kTagUnknown, true, "", "", 2}};
    for (const Case& c : cases) {
        ParsedTag tag;
        ASSERT_TRUE(ParseTag(c.text, 0, tag)) << c.text;
        EXPECT_EQ(tag.id, c.id) << c.text;
        EXPECT_EQ(tag.closing, c.closing) << c.text;
        EXPECT_EQ(c.text.substr(tag.nameStart, tag.nameLength), c.name) << c.text;
        EXPECT_EQ(TagAttributes(c.text, tag), c.attributes) << c.text;
        EXPECT_EQ(tag.end, c.end) << c.text;
    }
    ParsedTag tag;
    EXPECT_FALSE(ParseTag("text", 0, tag));
    EXPECT_FALSE(ParseTag("<b>", 3, tag));
}

TEST(HTMLMarkupTest, EntityTableHoldsCodesNamesAndNamedOnlyEntries) {
    std::span<const EntityEntry> table = EntityTable();
    ASSERT_EQ(table.size(), 261u);
    EXPECT_EQ(table[160].name, "nbsp");
    EXPECT_EQ(table[160].replacement, "\xA0");
    EXPECT_EQ(table[255].name, "yuml");
    EXPECT_EQ(table[255].replacement, "\xFF");
    EXPECT_EQ(table[198].name, "AElig");
    EXPECT_EQ(table[34].name, "quot");
    for (int code : {0, 8, 11, 12, 14, 31, 127, 159}) {
        EXPECT_EQ(table[size_t(code)].replacement, "#") << code;
    }
    for (int code : {9, 10, 13, 32, 65, 126}) {
        EXPECT_EQ(table[size_t(code)].replacement, std::string(1, char(code))) << code;
    }
}

TEST(HTMLMarkupTest, EntitiesDecodeWithTheirEnds) {
    struct Case {
        std::string text;
        std::string replacement;
        bool consumed;
        size_t end;
    };
    const Case cases[] = {
        {"&#65;", "A", true, 5},
        {"&#65 x", "A", true, 4},
        {"&#65", "A", true, 4},
        {"&#300;", "", true, 6},
        {"&#99999999999999999999;", "", true, 23},  // saturates instead of wrapping into range
        {"&#;", "", true, 3},
        {"&#65x;", "", false, 0},
        {"&#6<b>", "", false, 0},
        {"&foo;", "", true, 5},
        {"&trade;", "(TM)", true, 7},
        {"&emsp;", "  ", true, 6},
        {"&lt;b", "<", true, 4},
        {"&lt b", "<", true, 3},
        {"&amp", "&", true, 4},
        {"&LT;", "", true, 4},  // names are case-sensitive
        {"&ltx;", "", true, 5},
        {"&lt<b>", "", true, 3},  // the end stops before '<'
        {"& x", "", false, 0},
        {"&;", "", false, 0},
        {"&", "", false, 0}};
    for (const Case& c : cases) {
        DecodedEntity entity = DecodeEntity(c.text, 0);
        EXPECT_EQ(entity.replacement, c.replacement) << c.text;
        EXPECT_EQ(entity.consumed, c.consumed) << c.text;
        EXPECT_EQ(entity.end, c.end) << c.text;
    }
}

TEST(HTMLMarkupTest, TypedCharactersAreEscaped) {
    const std::pair<char, const char*> escaped[] = {
        {'\r', "<BR>"}, {'\n', "<BR>"}, {'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}};
    std::string out;
    for (auto [c, text] : escaped) {
        EXPECT_TRUE(EscapeChar(c, out));
        EXPECT_EQ(out, text);
    }
    EXPECT_FALSE(EscapeChar('a', out));
    EXPECT_EQ(out, "a");
}

TEST(HTMLMarkupTest, AttributesMatchWholeNamesAndQuotedValues) {
    struct Case {
        std::string attributes;
        std::string name;
        std::optional<std::string> value;
    };
    const Case cases[] = {{" href=\"a b.html\" name=x", "href", "a b.html"},
                          {" href=\"a b.html\" name=x", "name", "x"},
                          {" HREF = top.html", "href", "top.html"},
                          {" href=\"unterminated", "href", "unterminated"},
                          {" title=\"name=x\" id=3", "name", std::nullopt},  // not inside another value
                          {" bordercolor=red", "border", std::nullopt},
                          {" bordercolor=red border", "border", ""},
                          {" nowrap width=5", "nowrap", ""},
                          {" =x y=1", "y", "1"},
                          {"", "x", std::nullopt}};
    for (const Case& c : cases) {
        EXPECT_EQ(GetStringAttribute(c.attributes, c.name), c.value) << c.attributes << " / " << c.name;
    }
}

TEST(HTMLMarkupTest, NumbersColoursAndAlignmentsAreRead) {
    const std::pair<std::string, int32_t> numbers[] = {{" width=120", 120},
                                                       {" width=-5", -5},
                                                       {" width=-+5", 5},
                                                       {" width=+7px", 7},
                                                       {" width=abc", 0},
                                                       {" border", -1},
                                                       {" height=3", 0},
                                                       {" width=99999999999", INT_MAX},
                                                       {" width=-99999999999", -INT_MAX},
                                                       {" bordercolor=3 border", -1}};
    for (const auto& [attributes, expected] : numbers) {
        const char* name = attributes.find("border") != std::string::npos ? "border" : "width";
        EXPECT_EQ(GetIntAttribute(attributes, name), expected) << attributes;
    }
    EXPECT_EQ(GetIntAttribute(" bordercolor=red", "border"), 0);

    struct Colour {
        std::string value;
        bool found;
        uint8_t r, g, b;
    };
    const Colour colours[] = {{" c=#FF8000", true, 255, 128, 0},
                              {" c=ff", true, 255, 0, 0},
                              {" c=\"#0a0B0c\"", true, 10, 11, 12},
                              {" c=12345678", true, 0x12, 0x34, 0x56},
                              {" c=#12g", true, 0x12, 0, 0},
                              {" c=red", false, 9, 9, 9},
                              {" c", false, 9, 9, 9},
                              {"", false, 9, 9, 9}};
    for (const Colour& c : colours) {
        uint8_t rgb[3] = {9, 9, 9};
        EXPECT_EQ(GetColorAttribute(c.value, "c", rgb), c.found) << c.value;
        EXPECT_EQ(rgb[0], c.r) << c.value;
        EXPECT_EQ(rgb[1], c.g) << c.value;
        EXPECT_EQ(rgb[2], c.b) << c.value;
    }

    const std::pair<std::string, int32_t> aligns[] = {{" align=Right", kAlignRight},
                                                      {" align=left", kAlignLeft},
                                                      {" align=CENTER", kAlignCenter},
                                                      {" align=justified", kAlignLeft},
                                                      {" align=absmiddle", kAlignCenter},
                                                      {" align=middle", kAlignCenter},
                                                      {" align=sideways", 7},
                                                      {" align", 7},
                                                      {"", 7}};
    for (const auto& [attributes, expected] : aligns) {
        EXPECT_EQ(GetAlignAttribute(attributes, "align", 7), expected) << attributes;
    }
}

TEST(HTMLMarkupTest, PreparationDecodesEntitiesButNeverCreatesMarkup) {
    const std::pair<std::string, std::string> cases[] = {
        {"a  b\r\n c", "a b c"},        {"&#65;&eacute;", "A\xE9"}, {"&lt;b&gt;", "&lt;b&gt;"},
        {"&#060;b&#062;", "&lt;b&gt;"},  // any spelling of '<' stays an escape
        {"&lt;&gt;", "&lt;&gt;"},        // both halves survive
        {"&#38;lt;", "&amp;lt;"},       {"&amp", "&amp;"},          {"AT & T", "AT &amp; T"},
        {"&foo;x &trade;", "x (TM)"},   {"&#65x;", "&amp;#65x;"},   {"&nbsp<b>", "<b>"},
        {"&#60&x;;", "&amp;#60;"}};
    for (const auto& [input, expected] : cases) {
        ZString source(input.c_str(), INT32_MAX);
        PrepareSource(source);
        EXPECT_STREQ(source.GetText(), expected.c_str()) << input;
        // What comes out of the preparation decodes to the same text a second time round.
        EXPECT_EQ(ReplaceEntities(source.GetText()), source.GetText()) << input;
    }
}

TEST(HTMLMarkupTest, FontSizesFollowTheSizeRuleAndStayBounded) {
    const std::pair<std::string, int32_t> cases[] = {{"1", 10},
                                                     {"2", 11},
                                                     {"3", 12},
                                                     {"5", 17},
                                                     {"+2", 16},
                                                     {"-3", 11},
                                                     {"-20", 1},
                                                     {"400", 256},
                                                     {"99999999999", 256},
                                                     {"+99999999999", 256},
                                                     {"big", 14},
                                                     {"", 14},
                                                     {"0", 12}};
    for (const auto& [value, expected] : cases) {
        EXPECT_EQ(FontSizeFromAttribute(value, 14, 12), expected) << value;
    }
}

TEST(HTMLMarkupTest, ColumnsShareTheTableWidth) {
    // Explicit width first, a column held up by its minimum, one that wants less than its share, and the
    // rest by weight.
    std::vector<ColumnMeasure> columns = {
        {100, 0, 0, 10}, {0, 80, 200, 10}, {0, 0, 30, 100}, {0, 0, 500, 100}};
    std::vector<int32_t> widths(columns.size());
    ASSERT_TRUE(ComputeColumnWidths(columns, 400, 4, widths));
    // 400 - 16 gaps - 100 = 284; weights 210: column 1's share 13 < 80 -> 80, 204 left; weights 200:
    // column 2's share 101 > 30 -> 30, 174 left; column 3 gets 174 * 100 / 101.
    EXPECT_EQ(widths, (std::vector<int32_t>{100, 80, 30, 172}));

    // Heights near 2^31 overflow a 32-bit share product.
    std::vector<ColumnMeasure> tall = {{0, 0, 1000, INT32_MAX}, {0, 0, 1000, INT32_MAX}};
    std::vector<int32_t> tallWidths(2);
    ASSERT_TRUE(ComputeColumnWidths(tall, 600, 0, tallWidths));
    EXPECT_EQ(tallWidths, (std::vector<int32_t>{299, 299}));

    // Every one of many columns gets a width, and the widths never exceed the table.
    std::vector<ColumnMeasure> many(14, ColumnMeasure{0, 0, 100, 20});
    std::vector<int32_t> manyWidths(many.size());
    ASSERT_TRUE(ComputeColumnWidths(many, 300, 2, manyWidths));
    int64_t total = 0;
    for (int32_t w : manyWidths) {
        EXPECT_GE(w, 1);
        total += w;
    }
    EXPECT_LE(total, 300);

    std::vector<int32_t> shorter(1);
    EXPECT_FALSE(ComputeColumnWidths(columns, 400, 4, shorter));
}

TEST(HTMLMarkupTest, PictureNamesStayInsideTheMediaDirectory) {
    const std::pair<std::string, const char*> cases[] = {{"a.jpg", "/media/a.jpg"},
                                                         {"sub/b.gif", "/media/sub/b.gif"},
                                                         {"..a.jpg", "/media/..a.jpg"},
                                                         {"", nullptr},
                                                         {"/etc/passwd", nullptr},
                                                         {"\\x.bmp", nullptr},
                                                         {"C:x.bmp", nullptr},
                                                         {"../x.jpg", nullptr},
                                                         {"a/../../x.jpg", nullptr},
                                                         {"a\\..\\x.jpg", nullptr},
                                                         {"a/..", nullptr},
                                                         {std::string("a\0b", 3), nullptr}};
    for (const auto& [name, expected] : cases) {
        std::string path = "unchanged";
        EXPECT_EQ(ResolvePictureName(name, "/media", path), expected != nullptr) << name;
        EXPECT_EQ(path, expected != nullptr ? expected : "unchanged") << name;
    }
}

}  // namespace
