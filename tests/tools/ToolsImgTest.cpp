// kestimg as people use it: describe and convert images from files and containers, and refuse clearly.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tests/support/ContainerBuilder.h"
#include "tests/support/ProcessState.h"
#include "tests/support/ToolRun.h"
#include "tools/itemwriter/ItemWriter.h"
#include "tools/kestimg/ImageTool.h"

namespace fs = std::filesystem;

namespace {

using Result = testsupport::ToolResult;

Result Img(std::vector<std::string> args) {
    return testsupport::RunTool(imgtool::Run, args);
}

// A 24-bit image of 8 x 6 pixels: R = 30 x, G = 40 y, B = 100.
itemwriter::RawImage Gradient() {
    itemwriter::RawImage image;
    image.width = 8;
    image.height = 6;
    image.stride = 24;
    image.frameCount = 2;
    for (int32_t y = 0; y < 6; ++y) {
        for (int32_t x = 0; x < 8; ++x) {
            image.pixels.insert(image.pixels.end(), {100, uint8_t(40 * y), uint8_t(30 * x)});
        }
    }
    return image;
}

// The pixels of a binary PPM, or empty.
std::vector<uint8_t> ReadPpm(const fs::path& path, int& width, int& height) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int max = 0;
    in >> magic >> width >> height >> max;
    in.get();
    std::vector<uint8_t> pixels((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return magic == "P6" && max == 255 ? pixels : std::vector<uint8_t>();
}

class ToolsImg : public testsupport::ProcessStateTest {
  protected:
    void SetUp() override {
        ProcessStateTest::SetUp();
        dir_ = fs::temp_directory_path() / ("kest-img-" + std::to_string(getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        std::string rix = itemwriter::WriteRix({Gradient()});
        std::vector<uint8_t> container = testsupport::BuildContainer({{10, "RIX ", "grad", rix}});
        std::ofstream(dir_ / "media.msf", std::ios::binary)
            .write(reinterpret_cast<const char*>(container.data()), std::streamsize(container.size()));
        std::ofstream(dir_ / "grad.rix", std::ios::binary) << rix;
        std::ofstream(dir_ / "photo.tif", std::ios::binary) << "II*";
    }
    void TearDown() override {
        fs::remove_all(dir_);
        ProcessStateTest::TearDown();
    }
    std::string P(const char* name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

TEST_F(ToolsImg, InfoDescribesFilesAndItems) {
    for (const std::string& source : {P("media.msf") + ":10", P("grad.rix")}) {
        Result r = Img({"info", source});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "type: RIX \nsize: 8x6\ndepth: 24\nimages: 1\nframes: 2\n");
    }
}

TEST_F(ToolsImg, ConvertWritesEveryDepth) {
    struct Case {
        int32_t depth;
        int tolerance;  // dithering moves pixels by up to this much
    };
    for (Case c : {Case{32, 0}, Case{24, 0}, Case{16, 40}, Case{15, 40}, Case{8, 90}}) {
        std::string out = P("out.ppm");
        Result r = Img({"convert", P("media.msf") + ":10", out, "--depth", std::to_string(c.depth)});
        ASSERT_EQ(r.status, 0) << c.depth << " " << r.err;
        int width = 0, height = 0;
        std::vector<uint8_t> rgb = ReadPpm(out, width, height);
        ASSERT_EQ(width, 8);
        ASSERT_EQ(height, 6);
        ASSERT_EQ(rgb.size(), 8u * 6u * 3u);
        double error = 0;
        for (int32_t y = 0; y < 6; ++y) {
            for (int32_t x = 0; x < 8; ++x) {
                const uint8_t* p = &rgb[size_t(y * 8 + x) * 3];
                error = std::max(
                    {error, std::abs(p[0] - 30.0 * x), std::abs(p[1] - 40.0 * y), std::abs(p[2] - 100.0)});
            }
        }
        EXPECT_LE(error, c.tolerance) << c.depth;
    }
    // One frame of the two: the lower band, rows 3 to 5.
    Result frame = Img({"convert", P("grad.rix"), P("frame.ppm"), "--frame=1"});
    ASSERT_EQ(frame.status, 0) << frame.err;
    int width = 0, height = 0;
    std::vector<uint8_t> band = ReadPpm(P("frame.ppm"), width, height);
    ASSERT_EQ(width * height * 3, int(band.size()));
    EXPECT_EQ(height, 3);
    EXPECT_EQ(band[1], 40 * 3);  // green of the band's first row is that of row 3
    Result r = Img({"convert", P("grad.rix"), P("out.png")});
    EXPECT_EQ(r.status, 0) << r.err;
    std::ifstream png(P("out.png"), std::ios::binary);
    char magic[4] = {};
    png.read(magic, 4);
    EXPECT_EQ(std::string(magic + 1, 3), "PNG");
}

TEST_F(ToolsImg, FailuresAreOneClearLine) {
    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    const Case cases[] = {
        {{"info", P("missing.jpg")}, "No such file"},
        {{"info", P("photo.tif")}, "no reader for type \"TIFF\""},
        {{"info", P("media.msf") + ":11"}, "no item 11"},
        {{"info", P("grad.rix") + ":10"}, "not a media container"},
        {{"convert", P("grad.rix"), P("out.gif")}, "must end in .png or .ppm"},
        {{"convert", P("grad.rix"), P("out.ppm"), "--depth", "12"}, "--depth takes"},
        {{"convert", P("grad.rix")}, "needs SOURCE and OUT"},
        {{"convert", P("grad.rix"), P("out.ppm"), "--layer=1"}, "has 1 layer (0 to 0)"},
        {{"convert", P("grad.rix"), P("out.ppm"), "--frame", "3"}, "has 2 frames (0 to 1)"},
        {{"convert", P("grad.rix"), P("out.ppm"), "--frame", "-1"}, "--frame takes a number"},
        {{"convert", P("grad.rix"), P("out.ppm"), "--layer", "0", "--frame", "0"}, "do not go together"},
        {{"convert", P("grad.rix"), P("out.ppm"), "--flip"}, "unknown option --flip"},
        {{"frobnicate"}, "unknown command"},
    };
    for (const Case& c : cases) {
        Result r = Img(c.args);
        EXPECT_EQ(r.status, 1) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_EQ(Img({"--help"}).status, 0);
    EXPECT_EQ(Img({}).status, 1);
}

}  // namespace
