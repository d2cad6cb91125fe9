#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "core/ZString.h"
#include "platform/Memory.h"

namespace {

// The invariants every operation keeps, checked from the outside.
void ExpectConsistent(const ZString& s) {
    if (s.GetText() == nullptr) {
        EXPECT_EQ(s.GetLength(), 0);
        EXPECT_EQ(s.GetCapacity(), 0);
        return;
    }
    EXPECT_EQ(std::strlen(s.GetText()), static_cast<size_t>(s.GetLength()));
    EXPECT_EQ(s.GetPrefix(), std::min(s.GetLength(), 255));
    EXPECT_LE(s.GetLength(), s.GetCapacity());
}

std::string Text(const ZString& s) {
    return s.GetText() != nullptr ? s.GetText() : "<none>";
}

ZString Make(const std::string& text) {
    return ZString(text.c_str(), static_cast<int32_t>(text.size()));
}

}  // namespace

TEST(CoreString, PrefixIsClampedLength) {
    ZString s(std::string(300, 'x').c_str(), 1000);
    EXPECT_EQ(s.GetLength(), 300);
    EXPECT_EQ(s.GetPrefix(), 255);
    s.Truncate(10);
    EXPECT_EQ(s.GetPrefix(), 10);
    s.Truncate(-1);
    s.Truncate(10);
    s.Truncate(20);
    EXPECT_EQ(s.GetLength(), 10);
    for (int i = 0; i < 300; ++i) {
        s.Append('y');
        ExpectConsistent(s);
    }
}

TEST(CoreString, CapacityIsSmallestPowerOfTwoFrom128) {
    for (int32_t needed : {-5, 0, 1, 127, 128, 129, 1000, 4096, 4097, 65535, 70000}) {
        ZString s;
        s.SetCapacity(needed);
        uint32_t expected = std::bit_ceil(static_cast<uint32_t>(std::max(needed, 128)));
        EXPECT_EQ(s.GetCapacity(), static_cast<int32_t>(expected)) << needed;
        ExpectConsistent(s);
    }
    ZString big(1024);
    big.Assign("abc");
    EXPECT_EQ(big.GetCapacity(), 128);  // Assign sizes by the text
    big.SetCapacity(1024);
    big.Clear();
    EXPECT_EQ(big.GetCapacity(), 128);
    EXPECT_EQ(Text(big), "");

    ZString shrunk(std::string(300, 'q').c_str(), 300);
    shrunk.SetCapacity(0);
    EXPECT_EQ(shrunk.GetLength(), 128);
    ExpectConsistent(shrunk);
}

TEST(CoreString, LargeBuffersComeFromThePlatformAllocator) {
    long before = platform::LargeBlockCount();
    {
        ZString s(32768);
        EXPECT_EQ(platform::LargeBlockCount(), before);
        s.SetCapacity(40000);
        EXPECT_EQ(s.GetCapacity(), 65536);
        EXPECT_EQ(platform::LargeBlockCount(), before + 1);
        s.Append("kept");
        s.SetCapacity(100);
        EXPECT_EQ(platform::LargeBlockCount(), before);
        EXPECT_EQ(Text(s), "kept");
        s.SetCapacity(200000);
    }
    EXPECT_EQ(platform::LargeBlockCount(), before);
}

TEST(CoreString, OversizedRequestsEmptyTheString) {
    ZString s("abc", 3);
    s.SetCapacity(ZString::kMaxCapacity + 1);
    EXPECT_EQ(s.GetText(), nullptr);
    ExpectConsistent(s);
    EXPECT_EQ(s.GetBuffer(INT32_MAX), nullptr);

    // Every operation copes with a string that has no buffer.
    int32_t value = 7;
    EXPECT_FALSE(s.ToInteger(value));
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(s.Equals(""));
    EXPECT_TRUE(s.Delete(0, 3));
    s.Trim().CollapseWhitespace().StripExtension().ToLower().Truncate(0).ReleaseBuffer();
    ZString copy(s);
    EXPECT_EQ(Text(copy), "");
    ZString name;
    s.GetFileName(name);
    EXPECT_EQ(Text(name), "");
    s.Append("ab");  // a later request that fits allocates again
    EXPECT_EQ(Text(s), "ab");
    ExpectConsistent(s);
}

TEST(CoreString, ConstructionAndAssignment) {
    EXPECT_EQ(Text(ZString("hello", 3)), "hel");
    EXPECT_EQ(Text(ZString("hi", 50)), "hi");
    EXPECT_EQ(Text(ZString("hi", -5)), "");
    EXPECT_EQ(Text(ZString(nullptr, 10)), "");

    ZString wide(1024);
    wide.Assign("text");
    wide.SetCapacity(1024);
    ZString copy(wide);
    EXPECT_EQ(copy.GetCapacity(), 1024);  // copies take the other's capacity
    EXPECT_EQ(Text(copy), "text");
    const ZString& alias = copy;
    copy = alias;
    EXPECT_EQ(Text(copy), "text");
    copy.Assign(static_cast<const char*>(nullptr));
    EXPECT_EQ(Text(copy), "");
}

// Appending or inserting a string into itself, or a pointer into its own text, must read the
// source before the buffer moves; the sanitizer build catches a read of the freed block.
TEST(CoreString, SelfReferencesSurviveReallocation) {
    std::string reference(100, 'a');
    reference[0] = 'S';
    ZString s = Make(reference);
    s.Append(s);
    reference += reference;
    EXPECT_EQ(Text(s), reference);
    EXPECT_EQ(s.GetCapacity(), 256);

    s.Append(s.GetText() + 20);  // grows past 256
    reference += reference.substr(20);
    EXPECT_EQ(s.GetCapacity(), 512);
    EXPECT_EQ(Text(s), reference);

    s.Assign(s.GetText() + 300);  // shrinks below its own source
    reference = reference.substr(300);
    EXPECT_EQ(s.GetCapacity(), 128);
    EXPECT_EQ(Text(s), reference);

    ZString abc("abc", 3);
    abc.Insert(abc, 1);
    EXPECT_EQ(Text(abc), "aabcbc");
    abc.GetFileName(abc);
    EXPECT_EQ(Text(abc), "aabcbc");
    ZString path("dir/file", 8);
    path.GetFileName(path);
    EXPECT_EQ(Text(path), "file");
}

TEST(CoreString, EditOperations) {
    ZString s("abc", 3);
    s.Append('\0').Append("").Append(static_cast<const char*>(nullptr));
    EXPECT_EQ(Text(s), "abc");
    ZString xy("XY", 2);
    s.Insert(xy, 99);
    EXPECT_EQ(Text(s), "abcXY");
    s.Insert(xy, -3);
    EXPECT_EQ(Text(s), "XYabcXY");
    s.Insert(ZString(), 2);
    EXPECT_EQ(Text(s), "XYabcXY");

    ZString five("12345", 5);
    EXPECT_TRUE(five.Delete(5, 1));
    EXPECT_EQ(Text(five), "12345");
    EXPECT_FALSE(five.Delete(6, 1));
    EXPECT_FALSE(five.Delete(-1, 1));
    EXPECT_FALSE(five.Delete(1, -1));
    EXPECT_TRUE(five.Delete(1, 2));
    EXPECT_EQ(Text(five), "145");
    EXPECT_TRUE(five.Delete(1, 100));
    EXPECT_EQ(Text(five), "1");
    ExpectConsistent(five);

    ZString word("Word", 4);
    EXPECT_TRUE(word.Equals("Word"));
    EXPECT_FALSE(word.Equals("word"));
    EXPECT_FALSE(word.Equals("Wor"));
    EXPECT_FALSE(word.Equals("Words"));
    EXPECT_FALSE(word.Equals(nullptr));
    ZString mixed("AbZ-\xC3\x9C@[", 9);
    EXPECT_EQ(Text(mixed.ToLower()), "abz-\xC3\x9C@[");
}

TEST(CoreString, ToIntegerReadsTheFirstNumberAndWraps) {
    struct Case {
        const char* text;
        bool ok;
        int64_t value;
    };
    const Case cases[] = {
        {" abc-12x", true, -12},
        {"+", true, 0},
        {"-", true, 0},
        {"abc", false, 0},
        {"", false, 0},
        {"+-5", true, 0},
        {"12 34", true, 12},
        {"007", true, 7},
        {"2147483647", true, 2147483647},
        {"-2147483648", true, -2147483648LL},
        {"4294967295", true, -1},
        {"99999999999", true, 99999999999LL},
    };
    for (const Case& c : cases) {
        int32_t value = 123;
        EXPECT_EQ(Make(c.text).ToInteger(value), c.ok) << c.text;
        // Reference: the exact value reduced modulo 2^32.
        EXPECT_EQ(value, static_cast<int32_t>(static_cast<uint32_t>(c.value))) << c.text;
    }
}

TEST(CoreString, WhitespaceHandlingKeepsHighBytes) {
    struct Case {
        const char* text;
        const char* collapsed;
    };
    const Case cases[] = {
        {"\r\n  Hello,\t\tworld  \r\n", "Hello, world"},
        {"inter-\r\nnational", "inter-national"},
        {"one\r\n\r\ntwo", "one two"},
        {"a \r\n b", "a b"},
        {"a\x01\x7f"
         "b",
         "a\x7f"
         "b"},
        {"\r\n", ""},
        {"  caf\xC3\xA9 \t cr\xC3\xA8me\xA0", "caf\xC3\xA9 cr\xC3\xA8me\xA0"},
    };
    for (const Case& c : cases) {
        ZString s = Make(c.text);
        EXPECT_EQ(Text(s.CollapseWhitespace()), c.collapsed) << c.text;
        ExpectConsistent(s);
    }
    ZString t = Make(" \t\x01 caf\xC3\xA9\xE2\x80\x83 \r\n");
    EXPECT_EQ(Text(t.Trim()), "caf\xC3\xA9\xE2\x80\x83");
    ZString blank = Make(" \t ");
    EXPECT_EQ(Text(blank.Trim()), "");
}

TEST(CoreString, PathHelpers) {
    struct Case {
        const char* text;
        const char* stripped;
        const char* fileName;
    };
    const Case cases[] = {
        {"dir.d/file", "dir.d/file", "file"},
        {"a.b.c", "a.b", "a.b.c"},
        {".profile", ".profile", ".profile"},
        {"C:\\Media\\x.msf", "C:\\Media\\x", "x.msf"},
        {"name", "name", "name"},
        {"dir/", "dir/", "dir/"},
        {"/x", "/x", "/x"},
        {"disk:a.b", "disk:a", "a.b"},
    };
    for (const Case& c : cases) {
        ZString name;
        Make(c.text).GetFileName(name);
        EXPECT_EQ(Text(name), c.fileName) << c.text;
        ZString s = Make(c.text);
        EXPECT_EQ(Text(s.StripExtension()), c.stripped) << c.text;
    }
    ZString out("stale", 5);
    ZString().GetFileName(out);
    EXPECT_EQ(Text(out), "");
}

TEST(CoreString, OpenBufferIsWrittenInPlace) {
    ZString s("old", 3);
    char* buffer = s.GetBuffer(300);
    ASSERT_NE(buffer, nullptr);
    EXPECT_TRUE(s.IsBufferOpen());
    EXPECT_EQ(s.GetCapacity(), 512);
    std::strcpy(buffer, "fresh text");
    s.ReleaseBuffer();
    EXPECT_FALSE(s.IsBufferOpen());
    EXPECT_EQ(Text(s), "fresh text");
    EXPECT_EQ(s.GetPrefix(), 10);

    buffer = s.GetBuffer(10);  // never shrinks here
    EXPECT_EQ(s.GetCapacity(), 512);
    std::memset(buffer, 'z', 512);  // no NUL: the length stops at the capacity
    s.ReleaseBuffer();
    EXPECT_EQ(s.GetLength(), 512);
    ExpectConsistent(s);
}
