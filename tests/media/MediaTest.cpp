// Files, file names, media objects and the media server, on files and containers built here byte by byte.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cctype>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "media/ZFile.h"
#include "media/ZMedia.h"
#include "media/ZMediaServer.h"
#include "platform/File.h"
#include "platform/Memory.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Small helpers, written without the code under test.

// count bytes from, from + 1, ... (mod 256).
Bytes Range(int from, int count) {
    Bytes b(size_t(std::max(count, 0)));
    for (size_t i = 0; i < b.size(); ++i) b[i] = uint8_t(from + int(i));
    return b;
}
// Appends value, size bytes wide, in the byte order asked for.
void Put(Bytes& out, uint64_t value, int size, bool big = false) {
    for (int i = 0; i < size; ++i) out.push_back(uint8_t(value >> (8 * (big ? size - 1 - i : i))));
}
void Poke(Bytes& out, size_t at, uint64_t value, int size) {
    for (int i = 0; i < size; ++i) out.at(at + size_t(i)) = uint8_t(value >> (8 * i));
}
// The bytes a read of count delivers.
Bytes Got(ZFile& f, int32_t count) {
    Bytes b(static_cast<size_t>(count));
    b.resize(size_t(std::max(f.Read(b.data(), count), 0)));
    return b;
}
std::string ReadAll(ZFile& f) {
    Bytes b = Got(f, f.GetSize());
    return std::string(b.begin(), b.end());
}
int32_t SeekTell(ZFile& f, int32_t offset, bool fromStart = true) {
    return f.Seek(offset, fromStart), f.Tell();
}
std::string Text(const ZString& s) {
    return s.GetText() != nullptr ? s.GetText() : "<none>";
}

// Bytes as an in-memory file, with a spec naming it.
class MemFile {
  public:
    explicit MemFile(const Bytes& bytes)
        : file_(bytes.data(), bytes.size()), spec_(file_.GetPath().c_str()) {}
    ZFileSpec& Spec() { return spec_; }
    Bytes Contents() const {
        std::ifstream in(file_.GetPath(), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Changes the bytes behind the back of every ZFile.
    void Overwrite(const Bytes& bytes) const {
        int handle = platform::OpenFile(file_.GetPath().c_str(), platform::kAccessWrite);
        platform::WriteFile(handle, bytes.data(), bytes.size());
        platform::CloseFile(handle);
    }

  private:
    platform::MemoryFile file_;
    ZFileSpec spec_;
};

// A plain ZFile or a ZBigEndianFile on one spec.
struct EitherFile {
    EitherFile(ZFileSpec& spec, bool big) : little(spec), bigFile(spec), f(big ? bigFile : little) {}
    ZFile little;
    ZBigEndianFile bigFile;
    ZFile& f;
};

}  // namespace

TEST(MediaFileSpec, SetPathRewritesSeparatorsAndJoins) {
    ZFileSpec slash("C:\\Games\\Kest\\"), plain("C:/Games/Kest"), invalid;
    struct {
        const char* text;
        const ZFileSpec* base;
        const char* expected;
    } cases[] = {
        {"kest.msf", &slash, "C:\\Games\\Kest\\kest.msf"},  // no doubled separator
        {"kest.msf", &plain, "C:\\Games\\Kest\\kest.msf"},  // exactly one added
        {"\\", &slash, "C:\\Games\\Kest\\"},                // a lone separator is relative
        {"", &plain, "C:\\Games\\Kest"},
        {"d:/media/pics/a.rix", &slash, "d:\\media\\pics\\a.rix"},  // drive colon kept, base ignored
        {"/abs/file", &slash, "\\abs\\file"},
        {"media:pics:a.rix", &slash, "C:\\Games\\Kest\\media\\pics\\a.rix"},
        {":x:y", &slash, "\\x\\y"},
        {"a/b:c", nullptr, "a\\b\\c"},
        {"sub\\x", &invalid, "sub\\x"},
        {"", nullptr, ""},
    };
    for (const auto& c : cases) {
        ZFileSpec spec(c.text, c.base);
        EXPECT_EQ(Text(spec.GetPath()), c.expected) << c.text;
        EXPECT_EQ(spec.IsValid(), c.expected[0] != 0) << c.text;
    }
    ZFileSpec self("x");  // the text and the base may be this very object
    self.SetPath(self.GetPath(), &self);
    EXPECT_EQ(Text(self.GetPath()), "x\\x");
    self.SetValid(false);  // an invalid spec names nothing, even once marked valid again
    EXPECT_EQ(Text(self.GetPath()), "");
    self.SetValid(true);
    EXPECT_EQ(self.NativePath(), "");
}

TEST(MediaFileSpec, TypeFromExtension) {
    // One or two of every category, and the ones whose codes hold spaces or lower case.
    const char* table[] = {"1 txt TEXT",   "1 text TEXT", "2 rix RIX ", "2 jpeg JPEG", "2 gif GIFf",
                           "2 htm .HTM",   "2 rax RAX ",  "4 rcx RCX ", "8 snd sfil",  "8 mp2 MPG ",
                           "16 moov MooV", "16 avi VfW ", "32 mf MF  ", "32 ini pref", "32 msf MSF "};
    for (std::string line : table) {
        size_t space = line.find(' '), last = line.size() - 5;
        int32_t category = std::stoi(line);
        std::string extension = line.substr(space + 1, last - space - 1), type = line.substr(last + 1);
        for (std::string path : {"C:\\dir.x\\file." + extension, "x." + extension}) {
            for (int pass = 0; pass < 2; ++pass) {  // then in capitals
                ZFileSpec spec(path.c_str());
                EXPECT_EQ(TypeCodeText(spec.TypeFromExtension(category)), type) << path;
                EXPECT_EQ(TypeCodeText(spec.TypeFromExtension(0x3F)), type) << path;
                EXPECT_EQ(spec.TypeFromExtension(0x3F & ~category), kTypeUnknown) << path;
                std::transform(path.begin(), path.end(), path.begin(), ::toupper);
            }
        }
    }
    // Only the four characters that start five from the end (or the start of a short path) are searched.
    for (const char* path :
         {"x.abcde", "photo.jpg.bak", "name.", "dir.d\\file", "abc.t", ".", "a", "", "abcdef"}) {
        EXPECT_EQ(ZFileSpec(path).TypeFromExtension(0x3F), kTypeUnknown) << path;
    }
    for (const char* path : {".txt", "a.txt", "a.b.txt"}) {
        EXPECT_EQ(ZFileSpec(path).TypeFromExtension(0x3F), kTypeText) << path;
    }
    ZFileSpec reused("abc.txt");  // what the buffer holds behind a shorter text is never looked at
    reused.SetPath(ZString("ab", 2), nullptr);
    EXPECT_EQ(reused.TypeFromExtension(0x3F), kTypeUnknown);
}

TEST(MediaFile, WindowsConfineReadsSeeksAndSizes) {
    MemFile mem(Range(0, 200));
    ZFile f(mem.Spec());
    ASSERT_TRUE(f.Open(ZFileObject::kModeRead));
    // Steps on one file: a window, a seek, a read; then what arrived, Tell and GetSize.
    struct {
        int32_t base, length, seek;
        bool fromStart;
        int32_t count, got, tell, size;
    } steps[] = {
        {0, ZFile::kUnbounded, 0, true, 0, 0, 0, 200},
        {100, 10, 0, true, 20, 10, 10, 10},  // at most the window
        {100, 10, 50, true, 1, 0, 10, 10},   // Seek stops at the window's end
        {100, 10, -3, false, 2, 2, 9, 10},
        {100, 10, -50, false, 0, 0, 0, 10},                  // and at its start
        {150, 100, 0, true, 100, 50, 100, 100},              // a window past the end of the file
        {4, ZFile::kUnbounded, 0, true, 0, 0, 0, 196},       // unwindowed: what lies behind the base
        {0, ZFile::kUnbounded, 195, true, 10, 5, 205, 200},  // Tell moves by all that was asked for
        {INT32_MAX - 15, ZFile::kUnbounded, 0x20, true, 8, 0, 15, 0},  // the end neither wraps nor passes
    };
    for (const auto& st : steps) {
        f.SetBase(st.base);
        f.SetLength(st.length);
        f.Seek(st.seek, st.fromStart);
        int32_t at = f.GetBase() + f.Tell();
        EXPECT_EQ(Got(f, st.count), Range(at, st.got)) << st.base << " " << st.seek;
        EXPECT_EQ(f.Tell(), st.tell) << st.base << " " << st.seek;
        EXPECT_EQ(f.GetSize(), st.size) << st.base << " " << st.seek;
    }
    // Fresh files start at their window, opened or not, and ReadAppend stays inside it.
    ZFile opened(mem.Spec()), unopened(mem.Spec()), appending(mem.Spec());
    for (ZFile* g : {&opened, &unopened, &appending}) {
        g->SetBase(65);
        g->SetLength(5);
    }
    ASSERT_TRUE(opened.Open(ZFileObject::kModeRead));
    EXPECT_EQ(opened.Tell(), 0);
    EXPECT_EQ(Got(opened, 20), Range(65, 5));
    EXPECT_EQ(Got(unopened, 20), Range(65, 5));
    ZString text("x", 1);
    EXPECT_EQ(appending.ReadAppend(text, 100), 5);
    EXPECT_EQ(Text(text), "xABCDE");
}

TEST(MediaFile, TypedValuesInBothByteOrders) {
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "big-endian" : "little-endian");
        Bytes expected;
        Put(expected, 0x1234, 2, big);
        Put(expected, std::bit_cast<uint32_t>(1.5f), 4, big);
        Put(expected, std::bit_cast<uint64_t>(-2.25), 8, big);
        expected.insert(expected.end(), {'R', 'I', 'X', ' ', 1, 2, 3});  // codes and RGB are never swapped
        Put(expected, 2, 4, big);
        expected.insert(expected.end(), {'h', 'i'});
        for (uint32_t v : {1u, 2u, 3u, 4u, 5u, 6u, 0xFFFFFFFFu, 0x01020304u}) {  // rectangle, point, longs
            Put(expected, v, 4, big);
        }
        Put(expected, 0xBEEF, 2, big);

        MemFile mem(Bytes{});
        const uint8_t rgb[3] = {1, 2, 3};
        int32_t longs[2] = {-1, 0x01020304}, two = 2, one = 1;
        int16_t shorts[1] = {int16_t(0xBEEF)};
        {
            EitherFile w(mem.Spec(), big);
            ZFile& f = w.f;
            ASSERT_TRUE(f.Open(ZFileObject::kModeReadWrite));
            std::vector<int32_t> written = {
                f.WriteShort(0x1234),           f.WriteFloat(1.5f),   f.WriteDouble(-2.25),
                f.WriteType(kTypeRix),          f.WriteRGB(rgb),      f.WriteString(ZString("hi", 2)),
                f.WriteRect(ZRect{2, 1, 4, 3}), f.WritePoint({5, 6}), f.WriteLongs(longs, two),
                f.WriteShorts(shorts, one)};
            EXPECT_EQ(written, (std::vector<int32_t>{2, 4, 8, 4, 3, 6, 16, 8, 8, 2}));
        }
        EXPECT_EQ(mem.Contents(), expected);
        // Array writes leave the caller's values as they were.
        EXPECT_TRUE(longs[0] == -1 && longs[1] == 0x01020304 && uint16_t(shorts[0]) == 0xBEEF && two == 2);

        EitherFile r(mem.Spec(), big);
        int16_t s = 0;
        int32_t l = 0, readLongs[2] = {};
        float fl = 0;
        double d = 0;
        ZTypeCode code = 0;
        uint8_t rgbRead[3] = {};
        ZString text;
        ZRect rect;
        ZPoint point;
        std::vector<int32_t> read = {r.f.ReadShort(s),   r.f.ReadFloat(fl),    r.f.ReadDouble(d),
                                     r.f.ReadType(code), r.f.ReadRGB(rgbRead), r.f.ReadString(text),
                                     r.f.ReadRect(rect), r.f.ReadPoint(point), r.f.ReadLongs(readLongs, two)};
        EXPECT_EQ(read, (std::vector<int32_t>{2, 4, 8, 4, 3, 6, 16, 8, 8}));
        EXPECT_TRUE(s == 0x1234 && fl == 1.5f && d == -2.25 && code == kTypeRix && rgbRead[2] == 3);
        EXPECT_TRUE(Text(text) == "hi" && rect == (ZRect{2, 1, 4, 3}) && point.x == 5 && point.y == 6);
        EXPECT_TRUE(readLongs[0] == -1 && readLongs[1] == 0x01020304);

        // Single values that do not arrive whole read as 0; arrays count the elements that did.
        MemFile few(Bytes{0x12, 0x34, 3, 4, 5, 6, 7});
        EitherFile g(few.Spec(), big);
        auto at = [&](int32_t offset) -> ZFile& { return g.f.Seek(offset, true), g.f; };
        EXPECT_EQ(at(0).ReadShort(s), 2);
        EXPECT_EQ(uint16_t(s), big ? 0x1234 : 0x3412);
        d = fl = l = s = 9;
        std::vector<int32_t> partial = {at(0).ReadDouble(d), at(4).ReadLong(l), at(5).ReadFloat(fl),
                                        at(6).ReadShort(s), at(0).ReadRect(rect)};
        EXPECT_EQ(partial, (std::vector<int32_t>{7, 3, 2, 1, 0}));
        EXPECT_TRUE(d == 0 && fl == 0 && l == 0 && s == 0);
        int16_t five[5] = {};
        int32_t count = 5;
        EXPECT_EQ(at(0).ReadShorts(five, count), 7);
        EXPECT_EQ(count, 3);
        EXPECT_EQ(uint16_t(five[2]), big ? 0x0506 : 0x0605);
    }
}

TEST(MediaFile, StringsNeverGrowBeyondTheBytesThatRemain) {
    long blocks = platform::LargeBlockCount();
    ZString text("old", 3);
    struct {
        Bytes bytes;
        int32_t result;
        const char* text;
    } cases[] = {
        {{5, 0, 0, 0, 'h', 'e', 'l', 'l', 'o', '!'}, 9, "hello"},
        {{0xFF, 0xFF, 0xFF, 0x7F, 'a', 'b', 'c'}, 7, "abc"},  // a length far beyond the file
        {{0xFF, 0xFF, 0xFF, 0xFF, 'x'}, 4, ""},               // a negative length
        {{3, 0}, 2, ""},                                      // no whole length
    };
    for (const auto& c : cases) {
        MemFile mem(c.bytes);
        EXPECT_EQ(ZFile(mem.Spec()).ReadString(text), c.result);
        EXPECT_EQ(Text(text), c.text);
        EXPECT_LE(text.GetCapacity(), ZString::kDefaultCapacity);
    }
    // ReadAppend asked for far more than there is: the text grows by what is there, up to its NUL.
    MemFile withNul(Bytes{'c', 'd', 0, 'e', 'f'});
    ZFile a(withNul.Spec());
    ZString appended("ab", 2);
    EXPECT_EQ(a.ReadAppend(appended, 1 << 24), 5);
    EXPECT_EQ(Text(appended), "abcd");
    EXPECT_LE(appended.GetCapacity(), ZString::kDefaultCapacity);
    EXPECT_EQ(a.ReadAppend(appended, 10), 0);
    EXPECT_EQ(platform::LargeBlockCount(), blocks);
}

TEST(MediaFile, BuffersServeMemoryAndAreWrittenBack) {
    long blocks = platform::LargeBlockCount();
    MemFile mem(Range(0, 64));
    Bytes expected = Range(0, 64), first = Range(0, 16);
    first.resize(20, 0xEE);
    {
        ZFile f(mem.Spec()), copy(f);  // the copy shares the file, not the buffer
        ASSERT_NE(f.Buffer(0, 16), nullptr);
        EXPECT_EQ(platform::LargeBlockCount(), blocks + 1);
        mem.Overwrite(Bytes(64, 0xEE));
        EXPECT_EQ(Got(f, 20), first);  // 16 bytes from memory, 4 from the file
        EXPECT_EQ(Got(copy, 1), Bytes{0xEE});

        // A buffer never starts before the window nor runs past it.
        mem.Overwrite(Range(0, 64));
        f.SetBase(20);
        f.SetLength(30);
        uint8_t* block = f.Buffer(-10, 100);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(block[0], 20);
        EXPECT_EQ(platform::LargeBlockCount(), blocks + 1);  // the first buffer was given back
        mem.Overwrite(Bytes(64, 0xEE));
        EXPECT_EQ(SeekTell(f, 0), 0);
        EXPECT_EQ(Got(f, 64), Range(20, 30));
        f.SetBase(100);  // a window beyond the end of the file has nothing to buffer
        EXPECT_EQ(f.Buffer(0, 16), nullptr);
        f.SetBase(0);
        f.SetLength(ZFile::kUnbounded);
        EXPECT_EQ(f.Buffer(0, 0), nullptr);

        // Bytes written into the buffer reach the file on Unbuffer; the rest go at once.
        mem.Overwrite(expected);
        ASSERT_NE(f.Buffer(0, 8), nullptr);
        EXPECT_EQ(SeekTell(f, 2), 2);
        EXPECT_EQ(f.Write(Range(0xA0, 8).data(), 8), 8);
        Bytes now = mem.Contents();
        EXPECT_TRUE(now[2] == 2 && now[8] == 0xA6);
        f.Unbuffer();
        for (int i = 0; i < 8; ++i) expected[size_t(2 + i)] = uint8_t(0xA0 + i);
        EXPECT_EQ(mem.Contents(), expected);
        ASSERT_NE(f.Buffer(16, 4), nullptr);
        EXPECT_EQ(SeekTell(f, 17), 17);
        EXPECT_EQ(f.WriteShort(0x7777), 2);
    }  // and on destruction
    expected[17] = expected[18] = 0x77;
    EXPECT_EQ(mem.Contents(), expected);
    EXPECT_EQ(platform::LargeBlockCount(), blocks);

    // Attribute files report a page as their size but hold a few bytes: a short read into the buffer.
    ZFile plain{ZFileSpec("/sys/devices/system/cpu/online")}, buffered(plain);
    Bytes content = Got(plain, 4096);
    if (!content.empty() && plain.GetSize() > int32_t(content.size())) {
        ASSERT_NE(buffered.Buffer(0, plain.GetSize()), nullptr);
        EXPECT_EQ(Got(buffered, 4096), content);
    }
}

TEST(MediaFile, OpeningCreatesForWritingOnlyAndNeverTruncates) {
    std::string path = std::filesystem::temp_directory_path() / ("kest_media_" + std::to_string(getpid()));
    std::filesystem::remove(path);
    ZFileSpec spec(path.c_str());
    ZFile f(spec), g(spec);
    EXPECT_FALSE(ZFileSpec(spec).CheckExists());
    EXPECT_FALSE(f.Open(ZFileObject::kModeRead));
    EXPECT_EQ(Got(f, 1), Bytes{});
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(f.Open(ZFileObject::kModeWrite));
    EXPECT_TRUE(ZFileSpec(spec).CheckExists());
    EXPECT_EQ(f.Write("abcdef", 6), 6);
    EXPECT_TRUE(g.Open(ZFileObject::kModeWrite));  // an existing file keeps its bytes
    EXPECT_EQ(g.Write("XY", 2), 2);
    // Access accumulates: reading stays possible after asking for writing.
    ASSERT_TRUE(g.Open(ZFileObject::kModeRead));
    EXPECT_EQ(g.GetFileObject()->GetMode(), ZFileObject::kModeReadWrite);
    EXPECT_EQ(SeekTell(g, 0), 0);
    EXPECT_EQ(ReadAll(g), "XYcdef");

    // A shared object refuses to close, and widening its access keeps it usable for all.
    ZFile reader(spec), writer(reader);
    ASSERT_TRUE(reader.Open(ZFileObject::kModeRead));
    EXPECT_FALSE(reader.GetFileObject()->Close());
    EXPECT_EQ(SeekTell(writer, 6), 6);
    EXPECT_EQ(writer.Write("gh", 2), 2);
    EXPECT_EQ(reader.GetFileObject()->GetMode(), ZFileObject::kModeReadWrite);
    EXPECT_EQ(ReadAll(reader), "XYcdefgh");
    EXPECT_TRUE(spec.CreateEmptyFile());  // empties an existing file
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
    std::filesystem::remove(path);

    // A handle that cannot be positioned (a pipe): a read elsewhere than where it stands reads nothing.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "abcdefghij", 10), 10);
    {
        ZFile piped{ZFileSpec(("/proc/self/fd/" + std::to_string(fds[0])).c_str())};
        EXPECT_EQ(SeekTell(piped, 5), 5);
        EXPECT_EQ(Got(piped, 3), Bytes{});
    }
    close(fds[0]);
    close(fds[1]);
}

namespace {

class CountingMedia : public ZMedia {
  public:
    CountingMedia(int& unloads, bool reloadable) : unloads_(unloads) { reloadable_ = reloadable; }
    int32_t Unload() override { return ++unloads_; }

  private:
    int& unloads_;
};

}  // namespace

TEST(MediaObject, PurgeUnloadsOnlyWhatCanBeReloaded) {
    int unloads = 0;
    auto* fixed = new CountingMedia(unloads, false);
    auto* reloadable = new CountingMedia(unloads, true);
    EXPECT_TRUE(fixed->GetRefCount() == 1 && fixed->IsPurgeable() && !fixed->IsLoaded());
    EXPECT_EQ(fixed->Purge(), 0);
    EXPECT_EQ(reloadable->Purge(), 1);
    reloadable->SetPurgeable(false);
    EXPECT_EQ(reloadable->Purge(), 0);
    reloadable->AddReference();
    EXPECT_EQ(reloadable->Release(), 1);
    EXPECT_EQ(reloadable->Release() + fixed->Release(), 0);  // the last release unloads
    EXPECT_EQ(unloads, 3);
}

namespace {

struct Item {
    uint16_t id;
    const char* type;
    std::string bytes;
    uint32_t offset = 0;  // where the item lies; set by Container
};
using MakeBytes = std::function<std::string(std::vector<Item>&)>;

// Containers as the container tool writes them.
struct Msf {
    static constexpr size_t IdAt(size_t i) { return 8 + 22 * i; }  // where directory entry i lies
    static constexpr size_t OffsetAt(size_t i) { return IdAt(i) + 14; }
    static constexpr size_t SizeAt(size_t i) { return IdAt(i) + 18; }

    static void Entry(Bytes& out, const Item& item) {
        Put(out, item.id, 2);
        out.insert(out.end(), item.type, item.type + 4);
        out.insert(out.end(), {'i', 't', 'e', 'm', 0, 0, 0, 0});
        Put(out, item.offset, 4);
        Put(out, item.bytes.size(), 4);
    }
    // Items in order directly behind the directory; the last one's bytes may be made once all are placed.
    static Bytes Container(std::vector<Item>& items, const MakeBytes& last = {}) {
        uint32_t offset = uint32_t(IdAt(items.size()));
        for (Item& item : items) {
            item.offset = offset;
            offset += uint32_t(item.bytes.size());
        }
        if (last)
            items.back().bytes = last(items);
        Bytes out = {5, 0, uint8_t(items.size()), uint8_t(items.size() >> 8), 0, 0, 0, 0};
        for (const Item& item : items) Entry(out, item);
        for (const Item& item : items) out.insert(out.end(), item.bytes.begin(), item.bytes.end());
        return out;
    }
    static Bytes Container(std::vector<Item>&& items) { return Container(items); }
    // prefix bytes, the container, and a trailer holding length.
    static Bytes Appended(const Bytes& container, size_t prefix, int64_t length) {
        Bytes out(prefix, 0xCC);
        out.insert(out.end(), container.begin(), container.end());
        Put(out, uint64_t(length), 4);
        return out;
    }
    static std::string VariantTable(uint32_t count, const std::vector<Item>& entries, size_t padding = 0) {
        Bytes out;
        Put(out, count, 4);
        for (const Item& e : entries) Entry(out, e);
        return std::string(out.begin(), out.end()) + std::string(padding, '\0');
    }
};

// A container in memory and a server of its own.
struct Served {
    explicit Served(const Bytes& bytes, bool appended = false) : mem(bytes) {
        opened = server.OpenContainer(mem.Spec(), appended);
    }
    std::string Read(uint16_t id, ZTypeCode type) {
        ZFile file;
        return server.OpenItem(id, file, type) ? ReadAll(file) : "<missing>";
    }
    MemFile mem;
    ZMediaServer server;
    bool opened = false;
};

void ExpectClosed(ZMediaServer& server, const std::string& what) {
    ZFile file;
    ZTypeCode type = kTypeRix;
    EXPECT_TRUE(!server.IsOpen() && server.GetDirectory().empty()) << what;
    EXPECT_EQ(server.FindEntry(1, kTypeRix), -1) << what;
    EXPECT_FALSE(server.OpenItem(1, file, type)) << what;
}

}  // namespace

TEST(MediaServer, LookupsPreferTheTypeAsked) {
    std::vector<Item> sample = {{1000, "JPEG", "jpeg"}, {2500, "RAX ", "alpha"}, {2500, "FONT", "font!"}};
    Served s(Msf::Container(sample));
    ASSERT_TRUE(s.opened);
    ZMediaEntry entry;
    ASSERT_TRUE(s.server.GetEntry(2500, kTypeFont, entry));
    EXPECT_TRUE(entry.type == kTypeFont && entry.offset == sample[2].offset && entry.size == 5);
    EXPECT_EQ(msf::EntryName(entry), "item");
    EXPECT_EQ(s.Read(2500, kTypeRax) + s.Read(2500, kTypeFont), "alphafont!");
    // The type is a preference: the first entry with the id answers, and its type is reported.
    MemFile other(Range(0, 50));
    ZFile item(other.Spec()), file(other.Spec());
    ZTypeCode type = kTypeRix;
    ASSERT_TRUE(s.server.OpenItem(2500, item, type));
    EXPECT_EQ(type, kTypeRax);
    EXPECT_EQ(ReadAll(item), "alpha");
    // A missing id leaves the caller's file and type as they were.
    EXPECT_EQ(SeekTell(file, 7), 7);
    EXPECT_FALSE(s.server.OpenItem(1234, file, type));
    EXPECT_TRUE(type == kTypeRax && file.Tell() == 7 && file.GetLength() == ZFile::kUnbounded);
    EXPECT_EQ(Got(file, 2), Range(7, 2));

    // Against a linear search, over long runs of one id and ids on both sides of 0x8000 (unsigned).
    std::vector<Item> items;
    const char* types[] = {"RIX ", "RAX ", "JPEG", "TEXT", "FONT", "????"};
    for (uint16_t id : {1, 5, 5, 5, 5, 5, 5, 5, 5, 5, 6, 7, 7, 0x7FFF, 0x8000, 0x8000, 0xFFFF}) {
        items.push_back({id, types[items.size() % 5], "x"});
    }
    Served many(Msf::Container(items));
    ASSERT_TRUE(many.opened);
    for (uint16_t id : {0, 1, 2, 5, 6, 7, 8, 0x7FFF, 0x8000, 0x8001, 0xFFFF}) {
        for (const char* t : types) {
            int32_t expected = -1;
            for (size_t i = 0; i < items.size() && expected < 0; ++i) {
                expected = items[i].id == id && std::strncmp(items[i].type, t, 4) == 0 ? int32_t(i) : -1;
            }
            for (size_t i = 0; i < items.size() && expected < 0; ++i) {
                expected = items[i].id == id ? int32_t(i) : -1;
            }
            ParseTypeCode(t, type);
            EXPECT_EQ(many.server.FindEntry(id, type), expected) << id << " " << t;
        }
    }
}

TEST(MediaServer, ItemsAreWindowsStartingAtTheirBase) {
    // A "TEXT" item's range runs 3 bytes into the next item, as in the shipped container.
    std::vector<Item> items = {{1, "TEXT", std::string("Hello\0", 6)},
                               {2, "RIX ", "frame"},
                               {3, "TEXT", ""},
                               {4, "TEXT", "no terminator"}};
    Bytes plain = Msf::Container(items);
    Poke(plain, Msf::SizeAt(0), 6 + 3, 4);
    int64_t size = int64_t(plain.size());
    for (auto [bytes, base] :
         {std::pair{plain, 0}, {Msf::Appended(plain, 0, size), 0}, {Msf::Appended(plain, 100, size), 100}}) {
        Served s(bytes, bytes.size() != plain.size());
        ASSERT_TRUE(s.opened) << base;
        EXPECT_TRUE(s.server.GetBase() == base && s.server.GetLength() == int32_t(size));
        ZFile item;
        ZTypeCode type = kTypeRix;
        ASSERT_TRUE(s.server.OpenItem(2, item, type));
        EXPECT_TRUE(item.Tell() == 0 && item.GetSize() == 5 &&
                    item.GetBase() == base + int32_t(items[1].offset));
        EXPECT_EQ(ReadAll(item), "frame");
        EXPECT_EQ(Got(item, 1), Bytes{});
        EXPECT_EQ(SeekTell(item, 1000), 5);
        int16_t s16 = 0;
        EXPECT_EQ(SeekTell(item, 1), 1);
        EXPECT_EQ(item.ReadShort(s16), 2);
        EXPECT_EQ(s16, 'r' | 'a' << 8);
        // The same file pointed at an earlier item starts at that item, not where it stood.
        ASSERT_TRUE(s.server.OpenItem(1, item, type));
        EXPECT_EQ(item.Tell(), 0);
        EXPECT_EQ(ReadAll(item), std::string("Hello\0fra", 9));

        ZString text("Say: ", 5), last;
        EXPECT_TRUE(s.server.ReadTextItem(1, text));
        EXPECT_EQ(Text(text), "Say: Hello");  // the text ends at its NUL
        EXPECT_EQ(text.GetLength(), 10);
        EXPECT_FALSE(s.server.ReadTextItem(3, text) || s.server.ReadTextItem(77, text));
        EXPECT_EQ(Text(text), "Say: Hello");
        EXPECT_TRUE(s.server.ReadTextItem(4, last));
        EXPECT_EQ(Text(last), "no terminator");
    }
}

namespace {

class FixedChoiceServer : public ZMediaServer {
  public:
    explicit FixedChoiceServer(int32_t choice) : choice_(choice) {}
    int32_t ChooseVariant(const ZMediaEntry*, int32_t) override { return choice_; }

  private:
    int32_t choice_;
};

// Items 10, 11, 12 and at id 3000 a variant table made from their places.
Bytes WithTable(const MakeBytes& table) {
    std::vector<Item> items = {
        {10, "RIX ", "AAAA"}, {11, "JPEG", "BBBBBB"}, {12, "TEXT", "CC"}, {3000, "MSF ", ""}};
    return Msf::Container(items, table);
}

// Sub-entries 5, secondId and 7 for items 10, 11 and 12.
MakeBytes GoodTable(uint16_t secondId) {
    return [secondId](std::vector<Item>& items) {
        std::vector<Item> subs = {items[0], items[1], items[2]};
        subs[0].id = 5;
        subs[1].id = secondId;
        subs[2].id = 7;
        return Msf::VariantTable(3, subs);
    };
}

}  // namespace

TEST(MediaServer, VariantTablesAreResolved) {
    // The first sub-entry whose id is the variant number (0) stands in for the table.
    Served s(WithTable(GoodTable(0)));
    ASSERT_TRUE(s.opened);
    ZFile item;
    ZTypeCode type = kTypeRix;
    ZMediaEntry entry;
    ASSERT_TRUE(s.server.OpenItem(3000, item, type, &entry));
    EXPECT_TRUE(type == kTypeJpeg && entry.id == 0);
    EXPECT_EQ(ReadAll(item), "BBBBBB");
    ASSERT_TRUE(s.server.GetEntry(3000, kTypeMsf, entry));  // asking for "MSF " gives the table itself
    EXPECT_TRUE(entry.type == kTypeMsf && entry.size == 22 * 3 + 4);

    Served none(WithTable(GoodTable(9)));  // no sub-entry 0: the first one
    EXPECT_EQ(none.Read(3000, kTypeText), "AAAA");
    // Whatever a derived server chooses, the index used stays inside the table.
    for (auto [choice, expected] :
         {std::pair{2, "CC"}, {1, "BBBBBB"}, {3, "AAAA"}, {-1, "AAAA"}, {1 << 30, "AAAA"}}) {
        FixedChoiceServer server(choice);
        ASSERT_TRUE(server.OpenContainer(none.mem.Spec(), false));
        ZFile file;
        ASSERT_TRUE(server.OpenItem(3000, file, type));
        EXPECT_EQ(ReadAll(file), expected) << choice;
    }

    std::pair<const char*, MakeBytes> bad[] = {
        {"size one more than the count needs", [](auto& items) { return GoodTable(0)(items) + "!"; }},
        {"size one less", [](auto& items) { return GoodTable(0)(items).substr(0, 69); }},
        {"count 0", [](auto&) { return Msf::VariantTable(0, {}); }},
        {"shorter than its count", [](auto&) { return std::string("\x01\x00", 2); }},
        {"sub-entry beyond the container",
         [](auto&) {
             return Msf::VariantTable(1, {{0, "RIX ", "x", 1000}});
         }},
        {"sub-entry offset wraps",
         [](auto&) {
             return Msf::VariantTable(1, {{0, "RIX ", "x", 0xFFFFFFFFu}});
         }},
        {"count whose size is 44 in 32 bits",
         [](auto& items) { return Msf::VariantTable(195225788u, {items[0]}, 18); }},
    };
    for (const auto& [what, table] : bad) {
        Served t(WithTable(table));
        ASSERT_TRUE(t.opened) << what;
        EXPECT_FALSE(t.server.GetEntry(3000, kTypeRix, entry)) << what;
        ZFile file;
        type = kTypeRix;
        EXPECT_FALSE(t.server.OpenItem(3000, file, type)) << what;
        EXPECT_TRUE(type == kTypeRix && file.GetFileObject() == nullptr) << what;
        EXPECT_TRUE(t.server.GetEntry(3000, kTypeMsf, entry)) << what;  // the rest stays readable
        EXPECT_EQ(t.Read(11, kTypeJpeg), "BBBBBB") << what;
    }
}

TEST(MediaServer, MalformedContainersFailCleanly) {
    const Bytes valid = Msf::Container({{1, "RIX ", "abcd"}, {2, "TEXT", "hi"}});
    auto patched = [&](size_t at, uint64_t value, int size) {
        Bytes b = valid;
        Poke(b, at, value, size);
        return b;
    };
    Bytes wraps = patched(Msf::OffsetAt(1), 0xFFFFFFF0u, 4), garbage = Range(0, 96), plausible;
    Poke(wraps, Msf::SizeAt(1), 0x20, 4);
    for (uint8_t& b : garbage) b = uint8_t(b * 73 + 41);
    plausible = garbage;  // a sensible header over garbage entries
    Poke(plausible, 0, 0x00020005, 4);
    int64_t size = int64_t(valid.size());
    struct {
        const char* what;
        Bytes bytes;
        bool appended;
    } cases[] = {
        {"empty", {}, false},
        {"empty, appended", {}, true},
        {"3 bytes", {5, 0, 1}, false},
        {"3 bytes, appended", {3, 0, 0}, true},
        {"header only", Bytes(valid.begin(), valid.begin() + 8), false},
        {"count 0", patched(2, 0, 2), false},
        {"count -1", patched(2, 0xFFFF, 2), false},
        {"count -32768", patched(2, 0x8000, 2), false},
        {"directory beyond the end", patched(2, 3, 2), false},
        {"directory far beyond the end", patched(2, 0x7FFF, 2), false},
        {"ids not sorted", patched(Msf::IdAt(0), 3, 2), false},
        {"entry one byte beyond the end", patched(Msf::SizeAt(1), 3, 4), false},
        {"entry offset wraps", wraps, false},
        {"entry inside the directory", patched(Msf::OffsetAt(0), Msf::IdAt(2) - 1, 4), false},
        {"entry in the header", patched(Msf::OffsetAt(0), 0, 4), false},
        {"trailer negative", Msf::Appended(valid, 0, -1), true},
        {"trailer most negative", Msf::Appended(valid, 0, INT32_MIN), true},
        {"trailer equal to the file size", Msf::Appended(valid, 0, size + 4), true},
        {"trailer one more than fits", Msf::Appended(valid, 0, size + 1), true},
        {"trailer one short", Msf::Appended(valid, 0, size - 1), true},
        {"trailer 0", Msf::Appended(valid, 16, 0), true},
        {"trailer fits exactly over garbage", Msf::Appended(garbage, 0, 96), true},
        {"garbage with a plausible trailer", Msf::Appended(garbage, 10, 40), true},
        {"garbage entries behind a plausible header", Msf::Appended(plausible, 7, 96), true},
        {"plausible header over garbage", plausible, false},
        {"appended container opened as plain", Msf::Appended(valid, 100, size), false},
    };
    ZMediaServer server;
    for (const auto& c : cases) {
        MemFile mem(c.bytes);
        EXPECT_FALSE(server.OpenContainer(mem.Spec(), c.appended)) << c.what;
        ExpectClosed(server, c.what);
    }
    ZFileSpec missing("/nonexistent/kest/none.msf");
    EXPECT_FALSE(server.OpenContainer(missing, false));
    ExpectClosed(server, "missing file");
    // The same server then opens a good container, whose trailer may take the whole rest of the file.
    MemFile good(Msf::Appended(valid, 0, size));
    ASSERT_TRUE(server.OpenContainer(good.Spec(), true));
    EXPECT_TRUE(server.GetBase() == 0 && server.FindEntry(2, kTypeText) == 1);
}

TEST(MediaServer, CloseWithLiveItemsThenOpenAnother) {
    Served a(Msf::Container({{1, "RIX ", "AAAA"}, {2, "RIX ", "only-in-A"}}));
    MemFile b(Msf::Container({{1, "RIX ", "BBBB"}, {3, "RIX ", "only-in-B"}}));
    ASSERT_TRUE(a.opened);
    ZFile item;
    ZTypeCode type = kTypeRix;
    ASSERT_TRUE(a.server.OpenItem(1, item, type));
    EXPECT_TRUE(a.server.OpenContainer(b.Spec(), false));  // while open: changes nothing
    EXPECT_EQ(a.Read(2, kTypeRix), "only-in-A");
    a.server.CloseContainer();
    ExpectClosed(a.server, "closed");
    EXPECT_EQ(item.GetFileObject()->GetRefCount(), 1);  // the item alone holds the file now
    EXPECT_EQ(ReadAll(item), "AAAA");
    ASSERT_TRUE(a.server.OpenContainer(b.Spec(), false));
    EXPECT_EQ(a.Read(1, kTypeRix) + a.Read(3, kTypeRix), "BBBBonly-in-B");
    EXPECT_EQ(SeekTell(item, 0), 0);
    EXPECT_EQ(ReadAll(item), "AAAA");
}

TEST(MediaServer, ThreadsReadItemsThroughOneSharedFile) {
    constexpr int kItems = 6;
    constexpr size_t kItemSize = 3000;
    auto byteOf = [](int item, size_t i) { return char((item * 31 + i * 7 + i / 251) & 0xFF); };
    std::vector<Item> items;
    for (int k = 0; k < kItems; ++k) {
        items.push_back({uint16_t(100 + k), "RIX ", std::string(kItemSize, '\0')});
        for (size_t i = 0; i < kItemSize; ++i) items.back().bytes[i] = byteOf(k, i);
    }
    Served s(Msf::Container(items));
    ASSERT_TRUE(s.opened);
    ZFile shared;
    ZTypeCode type = 0;
    ASSERT_TRUE(s.server.OpenItem(100, shared, type));
    int32_t references = shared.GetFileObject()->GetRefCount();
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int k = 0; k < kItems; ++k) {
        threads.emplace_back([&, k] {
            for (int round = 0; round < 20; ++round) {
                ZFile item, copy(shared);  // references change on every thread at once
                ZTypeCode found = kTypeRix;
                wrong += s.server.OpenItem(uint16_t(100 + k), item, found) ? 0 : 1;
                if (round % 4 == 1)
                    item.Buffer(0, 1000);
                std::string got;
                char chunk[37];  // small reads, so that the threads take turns on the handle
                for (int32_t n; (n = item.Read(chunk, sizeof chunk)) > 0;) got.append(chunk, size_t(n));
                for (size_t i = 0; i < kItemSize; ++i)
                    wrong += i < got.size() && got[i] == byteOf(k, i) ? 0 : 1;
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(shared.GetFileObject()->GetRefCount(), references);
    ASSERT_NE(gMediaServer, nullptr);  // and the process's own server stayed closed
    ExpectClosed(*gMediaServer, "global");
}
