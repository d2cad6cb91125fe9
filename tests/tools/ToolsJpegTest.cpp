// kestimg on JPEG files made by cjpeg, against djpeg's float decoding of the same files: the decoder as a
// person meets it, through the tool.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "tests/support/ProcessState.h"
#include "tests/support/ToolRun.h"
#include "tools/kestimg/ImageTool.h"

namespace fs = std::filesystem;

namespace {

struct Ppm {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

Ppm ReadPpm(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    Ppm ppm;
    int max = 0;
    in >> magic >> ppm.width >> ppm.height >> max;
    in.get();
    ppm.rgb.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (magic != "P6" || max != 255 || ppm.rgb.size() != size_t(ppm.width) * size_t(ppm.height) * 3) {
        return Ppm{};
    }
    return ppm;
}

// Something like a photograph: smooth light, a textured region, hard edges and a little noise.
void WritePhoto(const fs::path& path, int width, int height, bool grey) {
    std::mt19937 rng(uint32_t(width * 31 + height));
    std::ofstream out(path, std::ios::binary);
    out << (grey ? "P5\n" : "P6\n") << width << " " << height << "\n255\n";
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double u = double(x) / width;
            double v = double(y) / height;
            double light = 60 + 120 * u * (1 - v) + 30 * std::sin(x * 0.07) * std::cos(y * 0.05);
            bool inBox = x > width / 3 && x < width / 2 && y > height / 4 && y < height * 3 / 4;
            int noise = int(rng() % 9) - 4;
            int r = int(light) + (inBox ? 80 : 0) + noise;
            int g = int(light * 0.8 + 40 * v) + noise;
            int b = int(200 - light * 0.6) + (inBox ? -60 : 0) + noise;
            if (grey) {
                out.put(char(std::clamp(r, 0, 255)));
            } else {
                out.put(char(std::clamp(r, 0, 255)));
                out.put(char(std::clamp(g, 0, 255)));
                out.put(char(std::clamp(b, 0, 255)));
            }
        }
    }
}

double Psnr(const Ppm& a, const Ppm& b) {
    if (a.rgb.size() != b.rgb.size() || a.rgb.empty()) {
        return 0;
    }
    double sum = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i) {
        double d = double(a.rgb[i]) - double(b.rgb[i]);
        sum += d * d;
    }
    double mse = sum / double(a.rgb.size());
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

class ToolsJpeg : public testsupport::ProcessStateTest {
  protected:
    void SetUp() override {
        ProcessStateTest::SetUp();
        if (std::system("command -v cjpeg > /dev/null && command -v djpeg > /dev/null") != 0) {
            GTEST_SKIP() << "cjpeg and djpeg are not installed (Debian: libjpeg-turbo-progs)";
        }
        dir_ = fs::temp_directory_path() / ("kest-jpeg-" + std::to_string(getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override {
        fs::remove_all(dir_);
        ProcessStateTest::TearDown();
    }
    std::string P(const std::string& name) const { return (dir_ / name).string(); }

    // Encodes a photo of the size with cjpeg's options; true when cjpeg succeeded.
    bool Encode(const std::string& name, int width, int height, bool grey, const std::string& options) {
        std::string source = P(name + (grey ? ".pgm" : ".ppm"));
        WritePhoto(source, width, height, grey);
        std::string command = "cjpeg " + options + " -outfile '" + P(name + ".jpg") + "' '" + source + "'";
        return std::system(command.c_str()) == 0;
    }

    static int Kestimg(std::vector<std::string> args, std::string& err) {
        testsupport::ToolResult result = testsupport::RunTool(imgtool::Run, args);
        err = result.err;
        return result.status;
    }

    fs::path dir_;
};

TEST_F(ToolsJpeg, BaselineFilesMatchFloatDecodingAtEveryLayout) {
    struct Case {
        const char* name;
        int width, height;
        bool grey;
        const char* cjpeg;
        const char* djpeg;
    };
    const Case cases[] = {
        {"s420", 320, 240, false, "-quality 85 -sample 2x2", "-nosmooth"},
        {"s444", 320, 240, false, "-quality 85 -sample 1x1", ""},
        {"grey", 200, 150, true, "-quality 85 -grayscale", ""},
        {"restart", 256, 160, false, "-quality 90 -sample 1x1 -restart 7B", ""},
        {"restart420", 256, 160, false, "-quality 90 -sample 2x2 -restart 1", "-nosmooth"},
        {"odd205", 205, 205, false, "-quality 85 -sample 2x2", "-nosmooth"},
        {"odd803", 803, 601, false, "-quality 75 -sample 2x2", "-nosmooth"},
        {"tiny", 1, 1, false, "-quality 85 -sample 2x2", "-nosmooth"},
        {"optimised", 97, 61, false, "-quality 60 -optimize -sample 1x1", ""},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(Encode(c.name, c.width, c.height, c.grey, c.cjpeg)) << c.name;
        std::string reference = P(std::string(c.name) + ".ref.ppm");
        std::string command = std::string("djpeg -dct float ") + c.djpeg + " -ppm -outfile '" + reference +
                              "' '" + P(std::string(c.name) + ".jpg") + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << c.name;
        std::string err;
        std::string ours = P(std::string(c.name) + ".ours.ppm");
        ASSERT_EQ(Kestimg({"convert", P(std::string(c.name) + ".jpg"), ours}, err), 0)
            << c.name << ": " << err;
        Ppm want = ReadPpm(reference);
        if (c.grey) {
            // djpeg writes grey files as PGM whatever the name; spread them to RGB.
            std::ifstream in(reference, std::ios::binary);
            std::string magic;
            int max = 0;
            in >> magic >> want.width >> want.height >> max;
            in.get();
            std::vector<uint8_t> grey((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            want.rgb.clear();
            for (uint8_t v : grey) {
                want.rgb.insert(want.rgb.end(), {v, v, v});
            }
        }
        Ppm got = ReadPpm(ours);
        ASSERT_EQ(got.width, c.width) << c.name;
        ASSERT_EQ(got.height, c.height) << c.name;
        EXPECT_GE(Psnr(got, want), 38.0) << c.name;
    }
}

TEST_F(ToolsJpeg, LowerDepthsDitherSensibly) {
    ASSERT_TRUE(Encode("photo", 240, 180, false, "-quality 90 -sample 2x2"));
    std::string err;
    ASSERT_EQ(Kestimg({"convert", P("photo.jpg"), P("full.ppm")}, err), 0) << err;
    Ppm full = ReadPpm(P("full.ppm"));
    struct Case {
        int depth;
        double psnr;  // dithered pictures stay recognisably the same picture
    };
    for (Case c : {Case{24, 99.0}, Case{16, 30.0}, Case{15, 28.0}, Case{8, 18.0}}) {
        ASSERT_EQ(Kestimg({"convert", P("photo.jpg"), P("low.ppm"), "--depth", std::to_string(c.depth)}, err),
                  0)
            << err;
        EXPECT_GE(Psnr(ReadPpm(P("low.ppm")), full), c.psnr) << c.depth;
    }
}

TEST_F(ToolsJpeg, UnsupportedFilesEndWithAClearMessage) {
    struct Case {
        const char* name;
        const char* cjpeg;
        const char* says;
    };
    const Case cases[] = {
        {"progressive", "-progressive", "progressive"},
        {"arithmetic", "-arithmetic", "arithmetic"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(Encode(c.name, 64, 48, false, c.cjpeg)) << c.name;
        std::string err;
        EXPECT_EQ(Kestimg({"convert", P(std::string(c.name) + ".jpg"), P("x.ppm")}, err), 1) << c.name;
        EXPECT_NE(err.find(c.says), std::string::npos) << err;
        EXPECT_EQ(Kestimg({"info", P(std::string(c.name) + ".jpg")}, err), 1) << c.name;
    }
}

}  // namespace
