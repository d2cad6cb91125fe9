// kestimg on GIF files written by our encoder and by giflib, against giflib's decoding of the same files
// at 32 bits, pixel for pixel; and the seeds of the GIF and LZW fuzz targets, written on request.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/imaging/GifTestSupport.h"
#include "tests/support/ProcessState.h"
#include "tests/support/ToolRun.h"
#include "tools/kestimg/ImageTool.h"

namespace fs = std::filesystem;
using namespace giftest;

namespace {

void WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The R, G, B bytes of a P6 file, empty for anything else.
Bytes PpmPixels(const fs::path& path, int32_t& width, int32_t& height) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int max = 0;
    in >> magic >> width >> height >> max;
    in.get();
    Bytes rgb(std::istreambuf_iterator<char>(in), {});
    return magic == "P6" && rgb.size() == size_t(width) * size_t(height) * 3 ? rgb : Bytes{};
}

// An animation of full-screen frames, each with its own table, one of them interlaced.
Gif Animation() {
    Gif gif;
    gif.width = 24;
    gif.height = 14;
    gif.globalTable = Palette(16, 2);
    for (uint32_t i = 0; i < 3; ++i) {
        Frame frame;
        frame.width = 24, frame.height = 14, frame.minCodeSize = 4, frame.interlaced = i == 1;
        frame.localTable = i == 0 ? Bytes{} : Palette(16, 10 + i);
        frame.pixels = Noise(24 * 14, 16, 20 + i);
        gif.frames.push_back(frame);
    }
    return gif;
}

// giflib's colours of image index of the file: the image's own table or the global one.
Bytes GiflibRgb(const Gif& gif, size_t index, const Bytes& raster) {
    const Bytes& table =
        gif.frames[index].localTable.empty() ? gif.globalTable : gif.frames[index].localTable;
    Bytes rgb;
    for (uint8_t v : raster) {
        rgb.insert(rgb.end(), table.begin() + 3 * v, table.begin() + 3 * v + 3);
    }
    return rgb;
}

class GifTool : public testsupport::ProcessStateTest {
  protected:
    void SetUp() override {
        ProcessStateTest::SetUp();
        dir_ = fs::temp_directory_path() / ("kest-gif-" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        fs::remove_all(dir_);
        ProcessStateTest::TearDown();
    }
    testsupport::ToolResult Kestimg(const std::vector<std::string>& args) {
        return testsupport::RunTool(imgtool::Run, args);
    }
    fs::path dir_;
};

}  // namespace

TEST_F(GifTool, ConvertMatchesGiflibFrameByFrame) {
    Gif gif = Animation();
    const struct {
        const char* name;
        Bytes file;
    } files[] = {{"ours.gif", Write(gif)}, {"giflib.gif", WriteWithGiflib(gif)}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        fs::path path = dir_ / f.name;
        WriteFile(path, f.file);
        std::vector<Bytes> rasters;
        ASSERT_TRUE(DecodeWithGiflib(f.file, rasters));
        ASSERT_EQ(rasters.size(), 3u);
        for (size_t frame = 0; frame < 3; ++frame) {
            fs::path out = dir_ / ("frame" + std::to_string(frame) + ".ppm");
            auto run = Kestimg(
                {"convert", path.string(), out.string(), "--depth", "32", "--frame", std::to_string(frame)});
            ASSERT_EQ(run.status, 0) << run.err;
            int32_t width = 0, height = 0;
            Bytes rgb = PpmPixels(out, width, height);
            EXPECT_EQ(width, 24);
            EXPECT_EQ(height, 14);
            Bytes expected = GiflibRgb(gif, frame, rasters[frame]);
            ASSERT_EQ(rgb.size(), expected.size());
            auto mismatch = std::mismatch(rgb.begin(), rgb.end(), expected.begin());
            EXPECT_TRUE(mismatch.first == rgb.end())
                << "frame " << frame << " differs first at pixel " << (mismatch.first - rgb.begin()) / 3
                << ": " << int(*mismatch.first) << " for " << int(*mismatch.second);
        }
        auto info = Kestimg({"info", path.string()});
        EXPECT_EQ(info.status, 0) << info.err;
        EXPECT_NE(info.out.find("frames: 3"), std::string::npos) << info.out;
    }
}

TEST_F(GifTool, UnsupportedFilesEndWithOneClearLine) {
    Gif gif = Animation();
    Bytes good = Write(gif);
    gif.frames.resize(1);
    gif.frames[0].stream = {1, 0, 0};
    gif.frames[0].minCodeSize = 12;
    const struct {
        const char* name;
        Bytes file;
        const char* reason;
    } cases[] = {
        {"cut.gif", Bytes(good.begin(), good.begin() + 200), "cut short"},
        {"empty.gif", Write(Gif{8, 8, Palette(4, 1), 0, {}}), "no image"},
        {"codesize.gif", Write(gif), "code size"},
        {"tiny.gif", Bytes{'G', 'I', 'F'}, "too short"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::path path = dir_ / c.name;
        WriteFile(path, c.file);
        auto run = Kestimg({"convert", path.string(), (dir_ / "out.png").string()});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
}

// Writes the fuzz seeds when KEST_GIF_SEEDS names the fuzz corpus folder (fuzz/corpus).
TEST(GifSeeds, WrittenOnRequest) {
    const char* root = std::getenv("KEST_GIF_SEEDS");
    if (root == nullptr) {
        GTEST_SKIP() << "set KEST_GIF_SEEDS to write the seeds";
    }
    fs::path gifDir = fs::path(root) / "gif", lzwDir = fs::path(root) / "lzw";
    fs::create_directories(gifDir);
    fs::create_directories(lzwDir);
    Gif animation = Animation();
    for (Frame& frame : animation.frames) {
        frame.width = frame.height = 6;
        frame.pixels.resize(36);
    }
    animation.width = animation.height = 6;
    animation.frames[2].transparent = 3;
    animation.frames[1].left = 2;
    WriteFile(gifDir / "animation.gif", Write(animation));
    WriteFile(gifDir / "giflib.gif", WriteWithGiflib(animation));
    Gif one = animation;
    one.frames.resize(1);
    one.frames[0].transparent = 1;
    one.frames[0].interlaced = true;
    WriteFile(gifDir / "interlaced_transparent.gif", Write(one));
    // The LZW target reads the minimum code size less one, a row length, then a sub-block chain.
    for (int32_t size : {2, 8}) {
        Bytes seed = {uint8_t(size - 1), 39};
        Bytes stream = EncodeStream(Noise(300, 1 << size, uint32_t(size)), size, 40);
        seed.insert(seed.end(), stream.begin(), stream.end());
        WriteFile(lzwDir / ("stream" + std::to_string(size) + ".lzw"), seed);
    }
}
