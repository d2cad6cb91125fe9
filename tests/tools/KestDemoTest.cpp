// The demo media tool: the container it writes holds every item of the show under its id and type, and
// the framework's own readers load each one at its size.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "controls/ZFont.h"
#include "controls/ZPictureFont.h"
#include "core/ZString.h"
#include "graphics/ZAlphaChannel.h"
#include "graphics/ZPicture.h"
#include "imaging/ZImageReader.h"
#include "media/ZMediaServer.h"
#include "tests/support/ProcessState.h"
#include "tests/support/ToolRun.h"
#include "tools/kestdemo/DemoMedia.h"

namespace {

struct Range {
    uint16_t first, last;
    const char* type;
    int32_t width, height;  // 0: not a picture
};

// The container's items in id order.
const Range kItems[] = {
    {1000, 1000, "JPEG", 800, 600}, {1003, 1022, "JPEG", 252, 224}, {1103, 1122, "JPEG", 60, 60},
    {1243, 1262, "JPEG", 252, 224}, {1363, 1382, "JPEG", 60, 60},   {1400, 1479, "JPEG", 250, 220},
    {1500, 1500, "RAX ", 9, 9},     {1501, 1537, "RIX ", 9, 9},     {1600, 1600, "RAX ", 15, 15},
    {1601, 1637, "RIX ", 15, 15},   {1700, 1700, "RAX ", 24, 24},   {1701, 1737, "RIX ", 24, 24},
    {1800, 1800, "RAX ", 37, 37},   {1801, 1818, "RIX ", 37, 37},   {1900, 1900, "RAX ", 56, 56},
    {1901, 1913, "RIX ", 56, 56},   {2000, 2000, "RAX ", 52, 52},   {2001, 2037, "RIX ", 52, 52},
    {2100, 2100, "RAX ", 60, 60},   {2101, 2111, "RIX ", 60, 60},   {2300, 2319, "TEXT", 0, 0},
    {2400, 2419, "TEXT", 0, 0},     {2500, 2500, "RAX ", 0, 0},     {2500, 2500, "FONT", 0, 0},
    {2600, 2600, "JPEG", 200, 150}, {2700, 2704, "JPEG", 100, 100}, {2708, 2712, "JPEG", 100, 100},
    {2716, 2747, "JPEG", 100, 100}, {2800, 2800, "JPEG", 160, 22},  {2900, 2900, "JPEG", 160, 22},
};

// One file per process: test programs of other build trees may run at the same time.
std::string ContainerPath() {
    return (std::filesystem::temp_directory_path() / ("kestdemo-test-" + std::to_string(getpid()) + ".msf"))
        .string();
}

class KestDemoTest : public testsupport::ProcessStateTest {
  protected:
    // The container is written once for the whole suite.
    static void SetUpTestSuite() { result_ = testsupport::RunTool(demo::Run, {"-o", ContainerPath()}); }
    static void TearDownTestSuite() { std::filesystem::remove(ContainerPath()); }

    void SetUp() override {
        ProcessStateTest::SetUp();
        InstallImageReaders();
        ZFont::DestroyAllFonts();
        ASSERT_EQ(result_.status, 0) << result_.err;
        ZFileSpec file(ContainerPath().c_str());
        ASSERT_TRUE(gMediaServer->OpenContainer(file, false));
    }
    void TearDown() override {
        ZFont::DestroyAllFonts();
        ProcessStateTest::TearDown();
    }

    static testsupport::ToolResult result_;
};

testsupport::ToolResult KestDemoTest::result_;

TEST_F(KestDemoTest, DirectoryHoldsEveryItemWithItsIdAndType) {
    std::vector<std::pair<uint16_t, std::string>> expected, actual;
    for (const Range& r : kItems) {
        for (uint32_t id = r.first; id <= r.last; ++id) {
            expected.emplace_back(uint16_t(id), r.type);
        }
    }
    for (const ZMediaEntry& e : gMediaServer->GetDirectory()) {
        actual.emplace_back(e.id, TypeCodeText(e.type));
    }
    EXPECT_EQ(actual.size(), 445u);
    EXPECT_EQ(actual, expected);
    // The ring kinds and the mosaic have gaps the scene relies on.
    for (uint16_t missing : {1538, 1638, 1738, 1819, 1914, 2038, 2705, 2706, 2707, 2713, 2714, 2715}) {
        EXPECT_EQ(gMediaServer->FindEntry(missing, kTypeUnknown), -1) << missing;
    }
}

TEST_F(KestDemoTest, PicturesAndAlphasLoadAtTheirSizes) {
    for (const Range& r : kItems) {
        if (r.width == 0) {
            continue;
        }
        for (uint32_t id = r.first; id <= r.last; ++id) {
            SCOPED_TRACE(id);
            ZRect bounds;
            if (std::string(r.type) == "RAX ") {
                auto* alpha = new ZAlphaChannel(uint16_t(id));
                bounds = alpha->GetBounds();
                alpha->Release();
            } else {
                auto* picture = new ZPicture(uint16_t(id));
                EXPECT_NE(picture->GetFirstOffscreen(), nullptr);
                bounds = picture->GetFullBounds();
                picture->Release();
            }
            EXPECT_EQ(bounds.Width(), r.width);
            EXPECT_EQ(bounds.Height(), r.height);
        }
    }
}

TEST_F(KestDemoTest, CaptionsFitTwoLinesOfTheCaptionBoxInThePictureFont) {
    auto* font = static_cast<ZPictureFont*>(ZFont::FindPictureFont(2500, 0));
    ASSERT_NE(font, nullptr);
    EXPECT_TRUE(font->HasStrip());
    auto* strip = new ZAlphaChannel(uint16_t(2500));
    int32_t sum = 0;
    for (int c = 0; c < 256; ++c) {
        sum += font->GetWidths(nullptr)[c];
    }
    EXPECT_EQ(sum, strip->GetBounds().Width());
    EXPECT_GT(font->TextWidth("A", 1), 0);
    strip->Release();
    // Two lines stand in the 37-pixel box.
    EXPECT_LE(2 * (font->GetAscent(nullptr) + font->GetDescent(nullptr)), 37);

    for (uint16_t base : {2300, 2400}) {
        for (uint16_t id = base; id < base + 20; ++id) {
            ZString text(64);
            ASSERT_TRUE(gMediaServer->ReadTextItem(id, text)) << id;
            // Words wrapped greedily at the box's width.
            std::istringstream words(text.GetText());
            std::string word, line;
            int lines = 1;
            while (words >> word) {
                std::string longer = line.empty() ? word : line + " " + word;
                if (font->TextWidth(longer.c_str(), -1) <= 254) {
                    line = longer;
                } else {
                    ++lines;
                    line = word;
                    EXPECT_LE(font->TextWidth(word.c_str(), -1), 254) << text.GetText();
                }
            }
            EXPECT_LE(lines, 2) << text.GetText();
        }
    }
}

// A second rendering gives the very bytes the container holds: no clock, no unseeded randomness.
// The build rendered the same container in a run of its own: every run gives the same bytes. (One render
// per test program: under the sanitizers a render takes a minute.)
TEST_F(KestDemoTest, RenderingIsDeterministic) {
    auto bytes = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    std::string built = bytes(KEST_DEMO_MEDIA);
    ASSERT_FALSE(built.empty()) << KEST_DEMO_MEDIA;
    EXPECT_TRUE(bytes(ContainerPath()) == built);
}

float Luma(const demo::Rgb& c) {
    return 0.299f * c.r + 0.587f * c.g + 0.114f * c.b;
}

// A ring at rest is a quiet decoration, a played one a bright ripple that settles back to rest.
TEST(KestDemoLookTest, RingsRestQuietlyAndRippleBrightly) {
    const struct { int size, frames; } kKinds[] = {{9, 37}, {15, 37}, {24, 37}, {37, 18}, {56, 13}, {52, 37}};
    for (const auto& kind : kKinds) {
        SCOPED_TRACE(kind.size);
        int s = kind.size;
        std::vector<uint8_t> alpha = demo::RingAlpha(s);
        ASSERT_EQ(alpha.size(), size_t(s * s));
        // Nothing at the rim, so no square edge shows; translucent everywhere.
        for (int i : {0, s - 1, s / 2, s * s - 1, (s / 2) * s, (s / 2) * s + s - 1}) {
            EXPECT_LE(alpha[size_t(i)], 2) << i;
        }
        EXPECT_LE(*std::max_element(alpha.begin(), alpha.end()), 40);

        demo::Canvas rest = demo::RingFrame(s, 0, kind.frames);
        // A finished ring stops on its last frame, which must look like one at rest.
        EXPECT_EQ(demo::RingFrame(s, kind.frames - 1, kind.frames).BgrRows(), rest.BgrRows());
        // Over a mid-grey landscape the resting ring changes little; the ripple lifts some pixel well above
        // it.
        float restChange = 0, lift = 0;
        for (int y = 0; y < s; ++y) {
            for (int x = 0; x < s; ++x) {
                restChange += float(alpha[size_t(y * s + x)]) / 63 * std::abs(Luma(rest.At(x, y)) - 0.5f);
            }
        }
        for (int k = 1; k < kind.frames - 1; ++k) {
            demo::Canvas frame = demo::RingFrame(s, k, kind.frames);
            for (int y = 0; y < s; ++y) {
                for (int x = 0; x < s; ++x) {
                    lift = std::max(lift, float(alpha[size_t(y * s + x)]) / 63 *
                                              (Luma(frame.At(x, y)) - Luma(rest.At(x, y))));
                }
            }
        }
        EXPECT_LE(restChange / float(s * s), 0.03f);
        EXPECT_GE(lift, 0.15f);
    }
}

// The loop plays without a jump: the frame after the last would be the first (up to a sample of an
// edge's anti-aliasing), and consecutive frames differ by far more.
TEST(KestDemoLookTest, LoopIsSeamless) {
    auto meanDifference = [](const demo::Canvas& a, const demo::Canvas& b) {
        float sum = 0;
        for (int y = 0; y < a.Height(); ++y) {
            for (int x = 0; x < a.Width(); ++x) {
                sum += std::abs(Luma(a.At(x, y)) - Luma(b.At(x, y)));
            }
        }
        return sum / float(a.Width() * a.Height());
    };
    demo::Canvas first = demo::LoopFrame(0);
    EXPECT_LE(meanDifference(demo::LoopFrame(80), first), 0.0002f);
    EXPECT_GE(meanDifference(demo::LoopFrame(1), first), 0.002f);
}

TEST(KestDemoCommandTest, HelpAndBadArguments) {
    testsupport::ToolResult help = testsupport::RunTool(demo::Run, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("kestdemo -o OUT.MSF"), std::string::npos);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"-o"}, {"OUT.MSF"}, {"-x", "OUT.MSF"}, {"-o", "a", "b"}}) {
        testsupport::ToolResult r = testsupport::RunTool(demo::Run, args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("kestdemo:"), std::string::npos);
    }
    // An unwritable output is reported, not thrown.
    testsupport::ToolResult r = testsupport::RunTool(demo::Run, {"-o", "/nonexistent-folder/out.msf"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("nonexistent-folder"), std::string::npos);
}

}  // namespace
