// kestmsf as people use it: build, inspect, attach and detach containers, and refuse bad input clearly.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tests/support/ContainerBuilder.h"
#include "tests/support/ToolRun.h"
#include "tools/kestmsf/MsfTool.h"

namespace fs = std::filesystem;

namespace {

using Result = testsupport::ToolResult;

Result Msf(std::vector<std::string> args) {
    return testsupport::RunTool(msftool::Run, args);
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

class ToolsMsf : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("kest-msf-" + std::to_string(getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_ / "items");
        WriteText(dir_ / "items" / "hello.txt", std::string("Hello, world", 13) + "XYZ");
        WriteText(dir_ / "items" / "alpha.rax", "ALPHA-PLANE-BYTES");
        WriteText(dir_ / "items" / "font.bin", "FONT");
        WriteText(dir_ / "items" / "frame.rix", "FRAME");
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string P(const char* name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

}  // namespace

TEST_F(ToolsMsf, PackListExtractAppendStripRoundTrip) {
    WriteText(dir_ / "m.txt",
              "# items in any order; ids sorted on packing\n"
              "2500 \"RAX \" alpha items/alpha.rax\n"
              "\n"
              "2500 FONT font items/font.bin\n"
              "1000 TEXT hello items/hello.txt\n"
              "1001 \"RIX \" frame \"items/frame.rix\"\r\n");
    Result pack = Msf({"pack", P("m.txt"), "-o", P("T.MSF")});
    ASSERT_EQ(pack.status, 0) << pack.err;
    EXPECT_EQ(pack.err, "");

    Result list = Msf({"list", P("T.MSF")});
    ASSERT_EQ(list.status, 0) << list.err;
    const std::string expected = "# container " + P("T.MSF") +
                                 " base 0 length 138 entries 4\n"
                                 "1000\tTEXT\thello\t96\t16\n"
                                 "1001\tRIX \tframe\t112\t5\n"
                                 "2500\tRAX \talpha\t117\t17\n"
                                 "2500\tFONT\tfont\t134\t4\n";
    EXPECT_EQ(list.out, expected);
    std::vector<uint8_t> bytes;
    {
        std::string t = ReadText(dir_ / "T.MSF");
        bytes.assign(t.begin(), t.end());
    }
    ASSERT_EQ(bytes.size(), 138u);
    EXPECT_EQ(bytes[0], 5);  // version 5
    EXPECT_EQ(bytes[1], 0);

    ASSERT_EQ(Msf({"extract", P("T.MSF"), "2500", "FONT", "-o", P("font.out")}).status, 0);
    EXPECT_EQ(ReadText(dir_ / "font.out"), "FONT");
    ASSERT_EQ(Msf({"extract", P("T.MSF"), "2500", "-o", P("first.out")}).status, 0);
    EXPECT_EQ(ReadText(dir_ / "first.out"), "ALPHA-PLANE-BYTES");  // no type: the first entry of the id
    Result wrongType = Msf({"extract", P("T.MSF"), "1000", "JPEG", "-o", P("x.out")});
    EXPECT_EQ(wrongType.status, 1);
    EXPECT_EQ(wrongType.err, "kestmsf: " + P("T.MSF") + ": no item 1000 of type \"JPEG\"\n");
    EXPECT_FALSE(fs::exists(dir_ / "x.out"));

    // Appending to an executable keeps its mode; appending again replaces the container.
    WriteText(dir_ / "host", std::string("\x7f"
                                         "ELF pretend program",
                                         20));
    chmod(P("host").c_str(), 0751);
    ASSERT_EQ(Msf({"append", P("host"), P("T.MSF"), "-o", P("host2")}).status, 0);
    struct stat info;
    ASSERT_EQ(stat(P("host2").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0751u);
    EXPECT_EQ(fs::file_size(dir_ / "host2"), 20u + 138u + 4u);
    Result appendedList = Msf({"list", P("host2")});
    ASSERT_EQ(appendedList.status, 0);
    EXPECT_EQ(appendedList.out.substr(0, appendedList.out.find('\n')),
              "# container " + P("host2") + " base 20 length 138 entries 4");
    ASSERT_EQ(Msf({"extract", P("host2"), "1000", "-o", P("hello.out")}).status, 0);
    EXPECT_EQ(ReadText(dir_ / "hello.out"), ReadText(dir_ / "items" / "hello.txt"));
    ASSERT_EQ(Msf({"append", P("host2"), P("T.MSF"), "-o", P("host2")}).status, 0);  // in place
    EXPECT_EQ(fs::file_size(dir_ / "host2"), 162u);
    ASSERT_EQ(Msf({"check", P("host2")}).status, 0);

    ASSERT_EQ(Msf({"strip", P("host2"), "-o", P("host3")}).status, 0);
    EXPECT_EQ(ReadText(dir_ / "host3"), ReadText(dir_ / "host"));
    Result stripAgain = Msf({"strip", P("host3"), "-o", P("host4")});
    EXPECT_EQ(stripAgain.status, 1);
    EXPECT_NE(stripAgain.err.find("no container is appended"), std::string::npos);
}

TEST_F(ToolsMsf, PackRefusesBadManifestsWithTheLine) {
    struct Case {
        std::string manifest;
        std::string message;
    };
    const Case cases[] = {
        {"1000 TEXT a items/hello.txt\n1000 TEXT b items/font.bin\n",
         "m.txt:2: item 1000 of type \"TEXT\" already stands on line 1"},
        {"1000 TEXT waytoolong items/hello.txt\n", "m.txt:1: name 'waytoolong' is longer than 8 bytes"},
        {"1000 RIX a items/hello.txt\n", "m.txt:1: bad type 'RIX'"},
        {"70000 TEXT a items/hello.txt\n", "m.txt:1: bad item id '70000'"},
        {"1000 TEXT a\n", "m.txt:1: expected ID TYPE NAME PATH"},
        {"1000 TEXT a items/missing.txt\n", "m.txt:1: cannot read"},
        {"1000 TEXT a items/hello.txt extra\n", "m.txt:1: unexpected text after the path"},
        {"# nothing\n", "no items"},
    };
    for (const Case& c : cases) {
        WriteText(dir_ / "m.txt", c.manifest);
        Result r = Msf({"pack", P("m.txt"), "-o", P("out.msf")});
        EXPECT_EQ(r.status, 1) << c.manifest;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;  // one line
        EXPECT_FALSE(fs::exists(dir_ / "out.msf"));
    }
}

TEST_F(ToolsMsf, CheckNamesEveryProblemAndEveryCommandEndsWithZeroOrOne) {
    using testsupport::Item;
    std::vector<uint8_t> good =
        testsupport::BuildContainer({{1000, "TEXT", "a", "abc"}, {1001, "TEXT", "b", "defg"}});
    WriteBytes(dir_ / "good.msf", good);
    Result ok = Msf({"check", P("good.msf")});
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.out, P("good.msf") + ": ok: plain container, base 0, length 59, 2 entries\n");

    std::vector<uint8_t> bad = good;
    bad[8] = 0xFF;  // first id 1023 + 0xFF00..: now larger than the second
    bad[9] = 0xFF;
    testsupport::PutU32(bad, 8 + 22 + 18, 1000);  // second entry runs far past the end
    WriteBytes(dir_ / "bad.msf", bad);
    Result r = Msf({"check", P("bad.msf")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the directory is not sorted"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("lie outside the item data"), std::string::npos) << r.err;

    // A variant table whose size does not match its count.
    std::string table(4 + 22, '\0');
    table[0] = 2;  // claims two entries, holds one
    std::vector<uint8_t> variant = testsupport::BuildContainer({{1000, "MSF ", "v", table}});
    WriteBytes(dir_ / "variant.msf", variant);
    Result v = Msf({"check", P("variant.msf")});
    EXPECT_EQ(v.status, 1);
    EXPECT_NE(v.err.find("variant table id 1000: size 26 does not match 2 entries"), std::string::npos)
        << v.err;

    // Garbage, missing files, bad usage: one clear line or a report, never another status.
    WriteText(dir_ / "garbage", std::string(5000, '\x41'));
    const std::vector<std::vector<std::string>> calls = {
        {"check", P("garbage")},
        {"list", P("garbage")},
        {"list", P("nope")},
        {"extract", P("good.msf"), "x", "-o", P("o")},
        {"extract", P("good.msf"), "1000"},
        {"pack"},
        {"append", P("good.msf"), P("garbage"), "-o", P("o")},
        {"list"},
        {"frobnicate"},
        {},
        {"check", dir_.string()},
        {"extract", P("good.msf"), "1000", "TOOLONG", "-o", P("o")},
        {"list", P("good.msf"), "-o"},
    };
    for (const auto& call : calls) {
        Result c = Msf(call);
        EXPECT_EQ(c.status, 1) << (call.empty() ? "(none)" : call[0]);
        EXPECT_FALSE(c.err.empty());
    }
    EXPECT_EQ(Msf({"--help"}).status, 0);
}
