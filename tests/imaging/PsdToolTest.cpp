// kestimg on documents the test writer makes, against stb_image's decoding of the same files, pixel for
// pixel at 32 bits; and the one clear line it ends with for what it cannot read.
#include <gtest/gtest.h>
#include <stb_image.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/imaging/PsdWriter.h"
#include "tests/support/ToolRun.h"
#include "tools/kestimg/ImageTool.h"

namespace fs = std::filesystem;
using namespace psdtest;

namespace {

class PsdTool : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("kest-psd-" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path Save(const std::string& name, const Bytes& bytes) {
        fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }
    testsupport::ToolResult Convert(const fs::path& in, std::initializer_list<std::string> options = {}) {
        std::vector<std::string> args = {"convert", in.string(), (dir_ / "out.png").string(), "--depth",
                                         "32"};
        args.insert(args.end(), options);
        return testsupport::RunTool(imgtool::Run, args);
    }
    // The converted picture as R, G, B bytes; empty when it cannot be read.
    std::vector<uint8_t> Output(int& width, int& height) {
        int channels = 0;
        uint8_t* rgb = stbi_load((dir_ / "out.png").c_str(), &width, &height, &channels, 3);
        if (rgb == nullptr) {
            return {};
        }
        std::vector<uint8_t> out(rgb, rgb + size_t(width) * size_t(height) * 3);
        stbi_image_free(rgb);
        return out;
    }

    fs::path dir_;
};

TEST_F(PsdTool, ConvertMatchesStbImage) {
    struct Case {
        int16_t bits;
        bool packBits;
        size_t layers;  // over part of it, which the merged image does not show (one layer too)
    };
    // stb_image reads 16-bit documents only raw; ours of 16 bits packed are checked exactly elsewhere.
    for (Case c :
         {Case{8, false, 0}, Case{8, true, 2}, Case{8, false, 1}, Case{16, false, 0}, Case{16, false, 2}}) {
        SCOPED_TRACE(std::to_string(c.bits) + (c.packBits ? " packed" : " raw") + " layers " +
                     std::to_string(c.layers));
        Document d = Flat(3, 3, 37, 23, c.bits, c.packBits);
        if (c.layers > 0) {
            std::vector<Plane> planes;
            for (int16_t id : {0, 1, 2}) {
                planes.push_back(Plane{id, Pattern(5, 4, uint32_t(id + 9), c.bits)});
            }
            d.layers = {Layer{3, 4, 7, 9, 255, false, planes}, Layer{1, 1, 5, 6, 200, false, planes}};
            d.layers.resize(c.layers);
        }
        Bytes psd = Write(d);
        fs::path path = Save("doc.psd", psd);
        testsupport::ToolResult run = Convert(path);
        ASSERT_EQ(run.status, 0) << run.err;
        int width = 0, height = 0, channels = 0;
        uint8_t* reference =
            stbi_load_from_memory(psd.data(), int(psd.size()), &width, &height, &channels, 3);
        ASSERT_NE(reference, nullptr) << stbi_failure_reason();
        int ourWidth = 0, ourHeight = 0;
        std::vector<uint8_t> ours = Output(ourWidth, ourHeight);
        ASSERT_EQ(ourWidth, width);
        ASSERT_EQ(ourHeight, height);
        EXPECT_TRUE(std::equal(ours.begin(), ours.end(), reference));
        stbi_image_free(reference);
    }
}

TEST_F(PsdTool, OneLayer) {
    Document d = Flat(3, 3, 8, 6, 8, true);
    std::vector<Plane> planes;
    for (int16_t id : {0, 1, 2}) {
        planes.push_back(Plane{id, Pattern(3, 4, uint32_t(id + 7), 8)});
    }
    d.layers = {Layer{0,
                      0,
                      6,
                      8,
                      255,
                      false,
                      {{0, Pattern(8, 6, 1, 8)}, {1, Pattern(8, 6, 2, 8)}, {2, Pattern(8, 6, 3, 8)}}},
                Layer{2, 3, 6, 6, 100, false, planes}};
    testsupport::ToolResult run = Convert(Save("layers.psd", Write(d)), {"--layer", "1"});
    ASSERT_EQ(run.status, 0) << run.err;
    int width = 0, height = 0;
    std::vector<uint8_t> rgb = Output(width, height);
    ASSERT_EQ(width, 3);
    ASSERT_EQ(height, 4);
    for (size_t i = 0; i < 12; ++i) {
        for (size_t c = 0; c < 3; ++c) {
            ASSERT_EQ(rgb[i * 3 + c], planes[c].samples[i]) << i;
        }
    }
    run = Convert(Save("layers.psd", Write(d)), {"--layer", "2"});
    EXPECT_EQ(run.status, 1);
}

TEST_F(PsdTool, UnsupportedVariantsEndWithOneClearLine) {
    Document deep = Flat(3, 3, 4, 4, 8, false);
    deep.bits = 32;
    Bytes zip = Write(Flat(3, 3, 4, 4, 8, false));
    zip[zip.size() - 4 * 4 * 3 - 1] = 2;  // the merged image's compression word
    Document old = Flat(3, 3, 4, 4, 8, false);
    old.version = 2;
    struct Case {
        const char* name;
        Bytes bytes;
        const char* says;
    };
    const Case cases[] = {
        {"deep.psd", Write(deep), "8 or 16 bits"},
        {"zip.psd", zip, "ZIP"},
        {"old.psd", Write(old), "version 1"},
        {"drawing.pict", Bytes(600, 0), "PICT pictures are not supported"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::ToolResult run = Convert(Save(c.name, c.bytes));
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
}

}  // namespace
