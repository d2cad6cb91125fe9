// The fader against a virtual clock (including the tick-count wrap), and scaling: every row routine
// against a small model of its method at every depth and format, the selectors, the pass's clipping
// and row order, and the cases that once read past a row or shifted a row by a pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "graphics/ZColorTable.h"
#include "graphics/ZFader.h"
#include "graphics/ZOffscreen.h"
#include "graphics/ZScaler.h"
#include "platform/Clock.h"
#include "tests/support/MediaPtr.h"

namespace {

// ---------------------------------------------------------------------------------------------------------
// Fader

struct Applied {
    int64_t level;
    int64_t scale;
    bool hasColor;
    std::array<uint8_t, 3> color;
};

class RecordingFader : public ZFader {
  public:
    void ApplyLevel(int64_t level, int64_t scale, const uint8_t* color) override {
        Applied a{level, scale, color != nullptr, {0, 0, 0}};
        if (color != nullptr) {
            std::copy(color, color + 3, a.color.begin());
        }
        applied.push_back(a);
    }
    std::vector<Applied> applied;
};

// Installs a clock for one test and puts the previous one back.
class ClockScope {
  public:
    explicit ClockScope(platform::Clock& clock) : previous_(platform::SetClock(&clock)) {}
    ~ClockScope() { platform::SetClock(previous_); }

  private:
    platform::Clock* previous_;
};

// A coarse clock: every sleep moves it 250 ms, as a busy machine might.
class CoarseClock final : public platform::Clock {
  public:
    uint32_t Now() override { return now; }
    void Sleep(uint32_t) override { now += 250; }
    uint32_t now = 0;
};

void ExpectFullToNone(const std::vector<Applied>& applied, int64_t duration) {
    ASSERT_FALSE(applied.empty());
    for (size_t i = 0; i < applied.size(); ++i) {
        EXPECT_EQ(applied[i].scale, duration * 100);
        EXPECT_LE(applied[i].level, duration * 100);
        if (i > 0) {
            EXPECT_LT(applied[i].level, applied[i - 1].level);
        }
    }
    EXPECT_EQ(applied.back().level, 0);
}

TEST(GraphicsFader, SixHundredMillisecondsRunFromFullToNone) {
    platform::VirtualClock clock(5000);
    ClockScope scope(clock);
    RecordingFader fader;
    EXPECT_EQ(fader.GetDevice(), 0);
    fader.Fade(100, 0, 600, nullptr, nullptr, 0);
    EXPECT_EQ(clock.Now(), 5600u);
    ExpectFullToNone(fader.applied, 600);
    // One step per millisecond of the virtual clock: after t ms the level is 100 - t / 6 percent.
    ASSERT_EQ(fader.applied.size(), 600u);
    EXPECT_EQ(fader.applied[299].level, 100 * 600 - 300 * 100);
    EXPECT_FALSE(fader.applied[0].hasColor);
}

TEST(GraphicsFader, WaitHoldsAcrossTheTickCountWrap) {
    uint32_t start = 0xFFFFFFFFu - 200;  // the wrap falls a third of the way through the fade
    platform::VirtualClock clock(start);
    ClockScope scope(clock);
    RecordingFader fader;
    fader.Fade(100, 0, 600, nullptr, nullptr, 0);
    EXPECT_EQ(clock.Now(), start + 600u);
    ExpectFullToNone(fader.applied, 600);
    EXPECT_EQ(fader.applied.size(), 600u);
}

TEST(GraphicsFader, LateTicksClampToTheEnd) {
    CoarseClock clock;
    clock.now = 0xFFFFFF00u;
    ClockScope scope(clock);
    RecordingFader fader;
    fader.Fade(0, 100, 600, nullptr, nullptr, 0);
    ASSERT_EQ(fader.applied.size(), 3u);  // at 250, 500 and 750 ms, the last taken as 600
    EXPECT_EQ(fader.applied[0].level, 250 * 100);
    EXPECT_EQ(fader.applied[1].level, 500 * 100);
    EXPECT_EQ(fader.applied[2].level, 600 * 100);
}

TEST(GraphicsFader, ZeroOrNegativeDurationReturnsAtOnce) {
    platform::VirtualClock clock(77);
    ClockScope scope(clock);
    RecordingFader fader;
    fader.Fade(100, 0, 0, nullptr, nullptr, 0);
    fader.Fade(100, 0, -20, nullptr, nullptr, 0);
    EXPECT_TRUE(fader.applied.empty());
    EXPECT_EQ(clock.Now(), 77u);
    // The plain fader's apply step does nothing, but it waits all the same.
    ZFader plain(3);
    EXPECT_EQ(plain.GetDevice(), 3);
    plain.Fade(100, 0, 40, nullptr, nullptr, 0);
    EXPECT_EQ(clock.Now(), 117u);
}

TEST(GraphicsFader, ColoursFollowTheDirectionAndWhatIsGiven) {
    platform::VirtualClock clock(0);
    ClockScope scope(clock);
    const uint8_t from[3] = {200, 10, 100};
    const uint8_t to[3] = {0, 250, 101};

    RecordingFader both;
    both.Fade(100, 0, 600, from, to, 0);
    ASSERT_EQ(both.applied.size(), 600u);
    for (size_t i : {size_t(0), size_t(299), size_t(599)}) {
        int64_t t = int64_t(i) + 1;
        for (int c = 0; c < 3; ++c) {
            // from + t * (to - from) / 600, truncated towards zero.
            int64_t expected = from[c] + t * (int64_t(to[c]) - from[c]) / 600;
            EXPECT_EQ(both.applied[i].color[size_t(c)], expected) << i << " " << c;
        }
    }
    EXPECT_EQ(both.applied.back().color, (std::array<uint8_t, 3>{0, 250, 101}));

    RecordingFader directed;
    directed.Fade(100, 0, 10, from, to, -1);
    for (const Applied& a : directed.applied) {
        EXPECT_TRUE(a.hasColor);
        EXPECT_EQ(a.color, (std::array<uint8_t, 3>{0, 0, 0}));
    }

    RecordingFader onlyTo;
    onlyTo.Fade(100, 0, 10, nullptr, to, 0);
    for (const Applied& a : onlyTo.applied) {
        EXPECT_EQ(a.color, (std::array<uint8_t, 3>{0, 250, 101}));
    }
}

// ---------------------------------------------------------------------------------------------------------
// Scaling: a reading of every pixel format, written out from the formats' descriptions.

struct Layout {
    int32_t depth;
    int16_t format;
    int32_t bytes;
};

constexpr int16_t kNative555 = int16_t(kFormatRGB555 | kNativeByteOrder);
constexpr int16_t kNative565 = int16_t(kFormatRGB565 | kNativeByteOrder);

const std::vector<Layout>& AllLayouts() {
    static const std::vector<Layout> layouts = {
        {8, kFormatIndexed8, 1}, {8, kFormatAlpha8, 1},  {15, kNative555, 2},    {15, kFormatRGB555, 2},
        {16, kNative565, 2},     {16, kFormatRGB565, 2}, {24, kFormatRGB24, 3},  {24, kFormatBGR24, 3},
        {32, kFormatRGBX32, 4},  {32, kFormatBGRX32, 4}, {32, kFormatXRGB32, 4}, {32, kFormatXBGR32, 4},
    };
    return layouts;
}

using Colour = std::vector<int32_t>;

// The components a method works on: palette colours for indexed pixels, the fields of 16-bit words at
// their own widths, the bytes R, G, B otherwise.
Colour Decode(const Layout& l, const uint8_t* p, const ZColorTable* table) {
    switch (l.format) {
        case kFormatIndexed8: {
            const uint8_t* e = table->GetEntryData() + p[0] * 3;
            return {e[0], e[1], e[2]};
        }
        case kFormatAlpha8:
            return {p[0]};
        case kNative555:
        case kFormatRGB555:
        case kNative565:
        case kFormatRGB565: {
            bool native = (l.format & kNativeByteOrder) != 0;
            int32_t w = native ? p[0] + 256 * p[1] : 256 * p[0] + p[1];
            if ((l.format & 0x7FFF) == kFormatRGB555) {
                return {(w >> 10) % 32, (w >> 5) % 32, w % 32};
            }
            return {(w >> 11) % 32, (w >> 5) % 64, w % 32};
        }
        case kFormatRGB24:
        case kFormatRGBX32:
            return {p[0], p[1], p[2]};
        case kFormatBGR24:
        case kFormatBGRX32:
            return {p[2], p[1], p[0]};
        case kFormatXRGB32:
            return {p[1], p[2], p[3]};
        default:
            return {p[3], p[2], p[1]};
    }
}

// What the model says a target pixel holds: a copy of source pixel `copy`, or computed components.
struct Expectation {
    int32_t copy = -1;
    Colour computed;
};

using Model = std::vector<Expectation>;

Expectation Copy(int32_t i) {
    return Expectation{i, {}};
}

int32_t FloorIndex(double x, int32_t length) {
    return std::clamp(int32_t(std::floor(x)), 0, length - 1);
}

// Each method from its description, in floating point where the routines use 16.16 (the lengths tested
// exactly give steps that 16.16 holds without rounding).
Model NearestModel(const std::vector<Colour>&, int32_t s, int32_t t) {
    Model m;
    for (int32_t i = 0; i < t; ++i) m.push_back(Copy(FloorIndex((i + 0.5) * s / t, s)));
    return m;
}

Model BoxModel(const std::vector<Colour>& src, int32_t s, int32_t t) {
    int32_t n = 1;
    while (n < s / t + 1) n *= 2;
    Model m;
    for (int32_t i = 0; i < t; ++i) {
        Colour sum(src[0].size(), 0);
        for (int32_t k = 0; k < n; ++k) {
            const Colour& c = src[size_t(FloorIndex((double(i) * n + k + 0.5) * s / (double(n) * t), s))];
            for (size_t j = 0; j < sum.size(); ++j) sum[j] += c[j];
        }
        for (int32_t& v : sum) v = int32_t(std::floor((v + n / 2) / double(n)));
        m.push_back(Expectation{-1, sum});
    }
    return m;
}

Model LinearModel(const std::vector<Colour>& src, int32_t s, int32_t t) {
    Model m;
    for (int32_t i = 0; i < t; ++i) {
        double x = (i + 0.5) * s / t - 0.5;
        if (x < 0 || x >= s - 1) {
            m.push_back(Copy(FloorIndex(x, s)));
            continue;
        }
        int32_t k = int32_t(std::floor(x));
        double f = std::floor((x - k) * 256);
        Colour c;
        for (size_t j = 0; j < src[0].size(); ++j) {
            double a = src[size_t(k)][j], b = src[size_t(k) + 1][j];
            c.push_back(int32_t(a + std::floor((b - a) * f / 256)));
        }
        m.push_back(Expectation{-1, c});
    }
    return m;
}

Model RepeatModel(const std::vector<Colour>&, int32_t s, int32_t t) {
    Model m;
    for (int32_t j = 0; j < t; ++j) m.push_back(Copy(std::min(j / 2, s - 1)));
    return m;
}

Model AverageModel(const std::vector<Colour>& src, int32_t s, int32_t t) {
    Model m;
    for (int32_t j = 0; j < t; ++j) {
        int32_t i = j / 2;
        if (j % 2 == 0 || i + 1 >= s) {
            m.push_back(Copy(std::min(i, s - 1)));
            continue;
        }
        Colour c;
        for (size_t k = 0; k < src[0].size(); ++k)
            c.push_back((src[size_t(i)][k] + src[size_t(i) + 1][k] + 1) / 2);
        m.push_back(Expectation{-1, c});
    }
    return m;
}

Model ModelOf(int32_t method, const std::vector<Colour>& src, int32_t s, int32_t t) {
    switch (method) {
        case kScaleNearest:
            return NearestModel(src, s, t);
        case kScaleBoxAverage:
            return BoxModel(src, s, t);
        case kScaleLinear:
            return LinearModel(src, s, t);
        case kScaleDoubleRepeat:
            return RepeatModel(src, s, t);
        default:
            return AverageModel(src, s, t);
    }
}

// Puts the process-wide methods back after a test.
class MethodsScope {
  public:
    explicit MethodsScope(const ZScaleMethods& methods) { SetScaleMethods(methods); }
    ~MethodsScope() { SetScaleMethods(saved_); }

  private:
    ZScaleMethods saved_ = GetScaleMethods();
};

using testsupport::TablePtr;

TablePtr RandomPalette(std::mt19937& random) {
    TablePtr table(new ZColorTable());
    uint8_t* entries = table->SetCount(256);
    for (int i = 0; i < 256 * 3; ++i) entries[i] = uint8_t(random());
    return table;
}

// Lines laid out for one axis: along a row the samples are adjacent and lines are stride apart; down a
// column samples are stride apart and lines adjacent. Strides carry padding so no routine gets away with
// assuming packed rows.
struct Lines {
    std::vector<uint8_t> bytes;
    int32_t stride;
    int32_t sampleStep;
    int32_t lineStep;

    Lines(int32_t length, int32_t lines, int32_t pixelBytes, bool vertical)
        : stride(vertical ? lines * pixelBytes + 7 : length * pixelBytes + 5),
          sampleStep(vertical ? stride : pixelBytes),
          lineStep(vertical ? pixelBytes : stride) {
        bytes.assign(size_t(stride) * size_t(vertical ? length : lines), 0xA5);
    }
    uint8_t* At(int32_t line, int32_t i) { return bytes.data() + line * lineStep + i * sampleStep; }
};

void CheckAgainstModel(const Layout& l, int32_t method, int32_t s, int32_t t, bool vertical,
                       std::mt19937& random, ZColorTable* palette) {
    SCOPED_TRACE(testing::Message() << "method " << method << " depth " << l.depth << " format "
                                    << (l.format & 0xFFFF) << " " << s << " -> " << t
                                    << (vertical ? " down" : " across"));
    const int32_t kLines = 3;
    Lines source(s, kLines, l.bytes, vertical), target(t, kLines, l.bytes, vertical);
    for (uint8_t& b : source.bytes) b = uint8_t(random());
    ZScaleRoutine routine = vertical ? SelectVerticalScaler(s, t, l.depth, l.format)
                                     : SelectHorizontalScaler(s, t, l.depth, l.format);
    ASSERT_NE(routine, nullptr);
    routine(source.At(0, 0), source.stride, s, target.At(0, 0), target.stride, t, kLines, l.format, palette);
    const uint8_t* inverse = palette->GetInverseTable();
    for (int32_t line = 0; line < kLines; ++line) {
        std::vector<Colour> colours;
        for (int32_t i = 0; i < s; ++i) colours.push_back(Decode(l, source.At(line, i), palette));
        Model model = ModelOf(method, colours, s, t);
        for (int32_t i = 0; i < t; ++i) {
            const Expectation& e = model[size_t(i)];
            const uint8_t* got = target.At(line, i);
            if (l.format == kFormatIndexed8) {
                const Colour& c = e.computed;
                int32_t want = e.copy >= 0 ? *source.At(line, e.copy)
                                           : inverse[(c[0] >> 3) << 11 | (c[1] >> 2) << 5 | (c[2] >> 3)];
                EXPECT_EQ(got[0], want) << "line " << line << " pixel " << i;
            } else {
                Colour want = e.copy >= 0 ? colours[size_t(e.copy)] : e.computed;
                EXPECT_EQ(Decode(l, got, palette), want) << "line " << line << " pixel " << i;
            }
        }
    }
}

struct Lengths {
    int32_t source;
    int32_t target;
};

// Length pairs for each method whose 16.16 steps and starts are exact.
std::vector<Lengths> PairsFor(int32_t method) {
    switch (method) {
        case kScaleBoxAverage:
            return {{12, 4}, {10, 4}, {6, 4}, {4, 4}, {8, 2}, {300, 100}, {3, 4}};
        case kScaleLinear:
            return {{3, 4}, {5, 8}, {2, 8}, {3, 8}, {1, 4}};
        default:
            return {{3, 8}, {5, 8}, {4, 8}, {3, 6}, {3, 7}, {12, 4}, {1, 4}, {4, 4}};
    }
}

TEST(GraphicsScale, EveryRoutineMatchesItsModelAtEveryDepthAndFormat) {
    std::mt19937 random(20240611);
    TablePtr palette = RandomPalette(random);
    ASSERT_NE(palette->GetInverseTable(), nullptr);
    for (int32_t method :
         {kScaleNearest, kScaleBoxAverage, kScaleLinear, kScaleDoubleRepeat, kScaleDoubleAverage}) {
        MethodsScope scope({method, method, method});
        for (const Layout& l : AllLayouts()) {
            for (Lengths p : PairsFor(method)) {
                if (ScaleMethodFor(p.source, p.target) != method) {
                    continue;  // a method outside its case selects nothing; checked on its own
                }
                CheckAgainstModel(l, method, p.source, p.target, false, random, palette.get());
                CheckAgainstModel(l, method, p.source, p.target, true, random, palette.get());
            }
        }
    }
}

TEST(GraphicsScale, SelectorsFollowTheSettingsAndTheirCases) {
    MethodsScope defaults({});
    EXPECT_EQ(ScaleMethodFor(300, 100), kScaleBoxAverage);
    EXPECT_EQ(ScaleMethodFor(100, 100), kScaleBoxAverage);
    EXPECT_EQ(ScaleMethodFor(100, 150), kScaleLinear);
    EXPECT_EQ(ScaleMethodFor(100, 200), kScaleDoubleAverage);
    EXPECT_EQ(ScaleMethodFor(100, 201), kScaleLinear);
    EXPECT_EQ(ScaleMethodFor(0, 10), 0);
    EXPECT_EQ(SelectHorizontalScaler(10, 0, 24, kFormatBGR24), nullptr);

    // Box average when enlarging and interpolation when shrinking fit nothing.
    SetScaleMethods({kScaleLinear, kScaleBoxAverage, kScaleBoxAverage});
    for (Lengths p : std::vector<Lengths>{{300, 100}, {100, 100}, {100, 150}, {100, 200}}) {
        EXPECT_EQ(ScaleMethodFor(p.source, p.target), 0);
        EXPECT_EQ(SelectHorizontalScaler(p.source, p.target, 24, kFormatBGR24), nullptr);
        EXPECT_EQ(SelectVerticalScaler(p.source, p.target, 24, kFormatBGR24), nullptr);
    }

    // Every depth and format has a routine for each fitting method; other keys have none.
    SetScaleMethods({});
    for (const Layout& l : AllLayouts()) {
        EXPECT_NE(SelectHorizontalScaler(100, 200, l.depth, l.format), nullptr);
        EXPECT_NE(SelectVerticalScaler(100, 200, l.depth, l.format), nullptr);
        EXPECT_NE(SelectHorizontalScaler(100, 200, l.depth, l.format),
                  SelectVerticalScaler(100, 200, l.depth, l.format));
    }
    EXPECT_EQ(SelectHorizontalScaler(10, 5, 24, kFormatRGBX32), nullptr);
    EXPECT_EQ(SelectHorizontalScaler(10, 5, 16, kNative555), nullptr);
    EXPECT_EQ(SelectHorizontalScaler(10, 5, 12, kFormatBGR24), nullptr);
    SetScaleMethods({4, 4, 4});
    EXPECT_EQ(SelectHorizontalScaler(10, 5, 24, kFormatBGR24), nullptr);
}

TEST(GraphicsScale, ShrinkingThreeToOneAveragesFourSamplesThreeQuartersApart) {
    MethodsScope defaults({});
    std::mt19937 random(7);
    std::vector<uint8_t> source(300), target(100);
    for (uint8_t& b : source) b = uint8_t(random());
    ZScaleRoutine routine = SelectHorizontalScaler(300, 100, 8, kFormatAlpha8);
    ASSERT_NE(routine, nullptr);
    routine(source.data(), 300, 300, target.data(), 100, 100, 1, kFormatAlpha8, nullptr);
    for (int32_t i = 0; i < 100; ++i) {
        // Samples at 3i + 0.375, + 1.125, + 1.875, + 2.625.
        int32_t sum = source[size_t(3 * i)] + source[size_t(3 * i + 1)] * 2 + source[size_t(3 * i + 2)];
        EXPECT_EQ(target[size_t(i)], (sum + 2) / 4) << i;
    }
}

TEST(GraphicsScale, EnlargingCopiesTheEndsAndInterpolatesBetween) {
    MethodsScope defaults({});
    std::mt19937 random(11);
    std::vector<uint8_t> source(100 * 3), target(150 * 3);
    for (uint8_t& b : source) b = uint8_t(random());
    ZScaleRoutine routine = SelectHorizontalScaler(100, 150, 24, kFormatRGB24);
    ASSERT_NE(routine, nullptr);
    routine(source.data(), 300, 100, target.data(), 450, 150, 1, kFormatRGB24, nullptr);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(target[size_t(c)], source[size_t(c)]);
        EXPECT_EQ(target[size_t(149 * 3 + c)], source[size_t(99 * 3 + c)]);
    }
    // Target centre i lies at (i + 0.5) * 100 / 150 - 0.5 in the source; the 8-bit weights and the
    // truncation keep the result within two levels of the exact mix. With neighbours this different,
    // a row shifted by one pixel lands far outside.
    for (int32_t i = 1; i < 149; ++i) {
        double x = (i + 0.5) * 100.0 / 150.0 - 0.5;
        int32_t k = int32_t(std::floor(x));
        for (int c = 0; c < 3; ++c) {
            double a = source[size_t(k * 3 + c)], b = source[size_t((k + 1) * 3 + c)];
            double exact = a + (b - a) * (x - k);
            EXPECT_LT(std::fabs(target[size_t(i * 3 + c)] - exact), 2.0) << i << " " << c;
        }
    }
}

TEST(GraphicsScale, LinearStartBeforeTheFirstCentreKeepsPixelsInPlace) {
    MethodsScope defaults({});
    // 2 -> 3: centres at -0.167, 0.5 and 1.167; the middle one mixes pixels 0 and 1 half and half.
    const uint8_t source[2] = {0, 200};
    uint8_t target[3] = {};
    SelectHorizontalScaler(2, 3, 8, kFormatAlpha8)(source, 2, 2, target, 3, 3, 1, kFormatAlpha8, nullptr);
    EXPECT_EQ(target[0], 0);
    EXPECT_EQ(target[1], 100);
    EXPECT_EQ(target[2], 200);
}

TEST(GraphicsScale, DoublingATwentyFourBitRowAveragesRoundingUp) {
    MethodsScope defaults({});
    const uint8_t source[6] = {0, 0, 0, 255, 255, 255};
    uint8_t target[12] = {};
    ZScaleRoutine routine = SelectHorizontalScaler(2, 4, 24, kFormatBGR24);
    ASSERT_NE(routine, nullptr);
    routine(source, 6, 2, target, 12, 4, 1, kFormatBGR24, nullptr);
    const uint8_t expected[12] = {0, 0, 0, 128, 128, 128, 255, 255, 255, 255, 255, 255};
    EXPECT_EQ(0, std::memcmp(target, expected, 12));
}

// A zero row followed by bright guard pixels: any read past the row's end shows up in the result, and
// the target's own guard shows any write past its end.
TEST(GraphicsScale, LargeFactorsStayInsideTheRow) {
    const std::vector<Lengths> pairs = {{3, 1000}, {7, 5000}, {2, 4097}, {1000, 3}, {16383, 2}, {5, 3}};
    for (int32_t method :
         {kScaleNearest, kScaleBoxAverage, kScaleLinear, kScaleDoubleRepeat, kScaleDoubleAverage}) {
        MethodsScope scope({method, method, method});
        for (const Layout& l : AllLayouts()) {
            if (l.format == kFormatIndexed8) {
                continue;  // palette colours are covered by the model test
            }
            for (Lengths p : pairs) {
                ZScaleRoutine routine = SelectHorizontalScaler(p.source, p.target, l.depth, l.format);
                if (routine == nullptr) {
                    continue;
                }
                SCOPED_TRACE(testing::Message() << "method " << method << " depth " << l.depth << " "
                                                << p.source << " -> " << p.target);
                std::vector<uint8_t> source(size_t(p.source + 4) * size_t(l.bytes), 0);
                std::fill(source.begin() + p.source * l.bytes, source.end(), 0xFF);
                std::vector<uint8_t> target(size_t(p.target + 4) * size_t(l.bytes), 0x77);
                routine(source.data(), 0, p.source, target.data(), 0, p.target, 1, l.format, nullptr);
                const std::vector<uint8_t> zero(size_t(l.bytes), 0);
                for (int32_t i = 0; i < p.target; ++i) {
                    Colour got = Decode(l, target.data() + i * l.bytes, nullptr);
                    ASSERT_EQ(got, Colour(got.size(), 0)) << "pixel " << i;
                }
                for (size_t i = size_t(p.target * l.bytes); i < target.size(); ++i) {
                    ASSERT_EQ(target[i], 0x77);
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------------------
// The pass on offscreens.

ZRect Rect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return ZRect{top, left, bottom, right};
}

void FillRandom(ZOffscreen& o, std::mt19937& random) {
    for (int32_t y = 0; y < o.GetHeight(); ++y) {
        uint8_t* row = o.RowAddress(y);
        for (int32_t x = 0; x < o.GetWidth() * BytesPerPixel(o.GetDepth()); ++x) row[x] = uint8_t(random());
    }
}

std::vector<uint8_t> PixelBytes(const ZOffscreen& o, int32_t x, int32_t y) {
    int32_t n = BytesPerPixel(o.GetDepth());
    const uint8_t* p = o.RowAddress(y) + x * n;
    return std::vector<uint8_t>(p, p + n);
}

TEST(GraphicsScale, ClippingMovesTheOtherSideByTheFactor) {
    MethodsScope defaults({});
    std::mt19937 random(3);
    ZOffscreen source(Rect(0, 0, 10, 2), 24, nullptr, kKindMemory);
    FillRandom(source, random);
    ZOffscreen full(Rect(0, 0, 20, 2), 24, nullptr, kKindMemory);
    ASSERT_TRUE(ScaleHorizontal(source, full, Rect(0, 0, 10, 2), Rect(0, 0, 20, 2)));

    auto fresh = [] {
        auto o = std::make_unique<ZOffscreen>(Rect(0, 0, 20, 2), 24, nullptr, kKindMemory);
        uint8_t grey[3] = {0x55, 0x55, 0x55};
        o->Fill(nullptr, grey);
        return o;
    };
    const std::vector<uint8_t> untouched = {0x55, 0x55, 0x55};

    // Four target pixels cut on the left move the source start by two.
    auto cutTarget = fresh();
    ASSERT_TRUE(ScaleHorizontal(source, *cutTarget, Rect(0, 0, 10, 2), Rect(-4, 0, 16, 2)));
    for (int32_t x = 0; x < 20; ++x) {
        EXPECT_EQ(PixelBytes(*cutTarget, x, 0), x < 16 ? PixelBytes(full, x + 4, 0) : untouched) << x;
    }

    // Two source pixels cut on the left move the target start by four. The clipped row ends at source
    // pixel 7, which the last target pixel repeats instead of averaging it with pixel 8.
    auto cutSource = fresh();
    ASSERT_TRUE(ScaleHorizontal(source, *cutSource, Rect(-2, 0, 8, 2), Rect(0, 0, 20, 2)));
    for (int32_t x = 0; x < 19; ++x) {
        EXPECT_EQ(PixelBytes(*cutSource, x, 1), x < 4 ? untouched : PixelBytes(full, x - 4, 1)) << x;
    }
    EXPECT_EQ(PixelBytes(*cutSource, 19, 1), PixelBytes(source, 7, 1));

    // Ten target pixels cut on the right: the ten that land are the whole picture's first ten, the last
    // of them still the average of source pixels 4 and 5, as it is when nothing is cut.
    auto cutRight = fresh();
    ASSERT_TRUE(ScaleHorizontal(source, *cutRight, Rect(0, 0, 10, 2), Rect(10, 0, 30, 2)));
    for (int32_t x = 0; x < 20; ++x) {
        EXPECT_EQ(PixelBytes(*cutRight, x, 0), x < 10 ? untouched : PixelBytes(full, x - 10, 0)) << x;
    }

    // Across the scaled axis lines map one to one: a source row cut above moves the target down one.
    auto cutAcross = fresh();
    ASSERT_TRUE(ScaleHorizontal(source, *cutAcross, Rect(0, -1, 10, 1), Rect(0, 0, 20, 2)));
    for (int32_t x = 0; x < 20; ++x) {
        EXPECT_EQ(PixelBytes(*cutAcross, x, 0), untouched);
        EXPECT_EQ(PixelBytes(*cutAcross, x, 1), PixelBytes(full, x, 0));
    }

    // Nothing left after clipping, or nothing asked for.
    auto target = fresh();
    EXPECT_FALSE(ScaleHorizontal(source, *target, Rect(0, 0, 10, 2), Rect(-40, 0, -20, 2)));
    EXPECT_FALSE(ScaleHorizontal(source, *target, Rect(12, 0, 22, 2), Rect(0, 0, 20, 2)));
    EXPECT_FALSE(ScaleHorizontal(source, *target, Rect(0, 0, 0, 2), Rect(0, 0, 20, 2)));
    EXPECT_FALSE(ScaleVertical(source, *target, Rect(0, 0, 10, 2), Rect(0, 5, 20, 5)));
    // Rectangles at the ends of the coordinate range neither overflow nor draw.
    EXPECT_FALSE(ScaleHorizontal(source, *target, Rect(INT32_MIN, 0, INT32_MAX, 2), Rect(0, 0, 20, 2)));
    EXPECT_FALSE(ScaleHorizontal(source, *target, Rect(INT32_MIN, 0, INT32_MIN + 10, 2), Rect(0, 0, 20, 2)));
    EXPECT_FALSE(ScaleVertical(source, *target, Rect(0, INT32_MAX - 2, 10, INT32_MAX), Rect(0, 0, 20, 2)));
    for (int32_t x = 0; x < 20; ++x) EXPECT_EQ(PixelBytes(*target, x, 0), untouched);
}

// A scaled picture partly off its source or its target shows, where it lands, exactly the pixels it shows
// when nothing is cut. Nearest sampling is checked against its formula: target pixel j of a line of T
// shows source pixel floor((j + 1/2) S / T) of a line of S, and is drawn only when that pixel exists.
TEST(GraphicsScale, ClippedNonIntegerFactorsSampleAsTheWholePictureWould) {
    MethodsScope nearest({kScaleNearest, kScaleNearest, kScaleNearest});
    struct Case {
        int32_t sourceStart, sourceEnd, targetStart, targetEnd;  // along the scaled axis
    };
    // The source offscreen is 12 pixels along, the target 10.
    const Case cases[] = {
        {-3, 6, 0, 6},     // 3:2, source cut on the left
        {5, 14, 1, 7},     // 3:2, source cut on the right
        {0, 9, -2, 4},     // 3:2, target cut on the left
        {0, 9, 7, 13},     // 3:2, target cut on the right
        {-4, 14, -5, 7},   // 3:2, cut on every side
        {-3, 3, 0, 9},     // 2:3, source cut on the left
        {9, 15, 1, 10},    // 2:3, source cut on the right
        {0, 6, -4, 5},     // 2:3, target cut on the left
        {2, 8, 6, 15},     // 2:3, target cut on the right
        {-1, 13, -9, 12},  // 2:3, cut on every side
        {-5, 3, -3, 9},    // 2:3, odd cuts on both offscreens
    };
    for (bool vertical : {false, true}) {
        // Along the scaled axis the offscreens are 12 and 10 pixels; across it both have 3 lines.
        ZOffscreen source(vertical ? Rect(0, 0, 3, 12) : Rect(0, 0, 12, 3), 24, nullptr, kKindMemory);
        for (int32_t y = 0; y < source.GetHeight(); ++y) {
            for (int32_t x = 0; x < source.GetWidth(); ++x) {
                uint8_t* p = source.RowAddress(y) + x * 3;
                p[0] = uint8_t(x + 1);
                p[1] = uint8_t(y + 1);
                p[2] = 0x90;
            }
        }
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << (vertical ? "down " : "across ") << c.sourceStart << ".."
                                            << c.sourceEnd << " -> " << c.targetStart << ".." << c.targetEnd);
            ZOffscreen target(vertical ? Rect(0, 0, 3, 10) : Rect(0, 0, 10, 3), 24, nullptr, kKindMemory);
            uint8_t grey[3] = {0x55, 0x55, 0x55};
            target.Fill(nullptr, grey);
            ZRect from =
                vertical ? Rect(0, c.sourceStart, 3, c.sourceEnd) : Rect(c.sourceStart, 0, c.sourceEnd, 3);
            ZRect to =
                vertical ? Rect(0, c.targetStart, 3, c.targetEnd) : Rect(c.targetStart, 0, c.targetEnd, 3);
            bool drawn = vertical ? ScaleVertical(source, target, from, to)
                                  : ScaleHorizontal(source, target, from, to);
            int64_t s = c.sourceEnd - c.sourceStart, t = c.targetEnd - c.targetStart;
            int32_t landed = 0;
            for (int32_t line = 0; line < 3; ++line) {
                for (int32_t k = 0; k < 10; ++k) {
                    int64_t j = k - c.targetStart;
                    int64_t i = c.sourceStart + (2 * j + 1) * s / (2 * t);
                    bool shows = j >= 0 && j < t && i >= 0 && i < 12;
                    std::vector<uint8_t> want = {0x55, 0x55, 0x55};
                    if (shows) {
                        // Source pixels hold their x + 1 and y + 1.
                        want = vertical ? std::vector<uint8_t>{uint8_t(line + 1), uint8_t(i + 1), 0x90}
                                        : std::vector<uint8_t>{uint8_t(i + 1), uint8_t(line + 1), 0x90};
                        ++landed;
                    }
                    int32_t x = vertical ? line : k, y = vertical ? k : line;
                    ASSERT_EQ(PixelBytes(target, x, y), want) << "pixel " << k << " of line " << line;
                }
            }
            EXPECT_EQ(drawn, landed > 0);
        }
    }
}

// Every method, not only the nearest sample: cutting the target changes none of the pixels that land.
TEST(GraphicsScale, CuttingTheTargetKeepsEveryMethodsPixels) {
    std::mt19937 random(11);
    ZOffscreen source(Rect(0, 0, 12, 2), 24, nullptr, kKindMemory);
    FillRandom(source, random);
    struct Case {
        int32_t method, sourceLength, targetLength;
    };
    const Case cases[] = {
        {kScaleNearest, 12, 8},      {kScaleNearest, 8, 12},       {kScaleBoxAverage, 12, 8},
        {kScaleBoxAverage, 9, 6},    {kScaleLinear, 8, 12},        {kScaleLinear, 6, 9},
        {kScaleDoubleRepeat, 6, 12}, {kScaleDoubleAverage, 6, 12},
    };
    for (const Case& c : cases) {
        MethodsScope scope({c.method, c.method, c.method});
        ZOffscreen whole(Rect(0, 0, c.targetLength, 2), 24, nullptr, kKindMemory);
        ASSERT_TRUE(
            ScaleHorizontal(source, whole, Rect(0, 0, c.sourceLength, 2), Rect(0, 0, c.targetLength, 2)));
        for (int32_t shift : {-5, -3, -1, 1, 3, 5}) {
            SCOPED_TRACE(testing::Message() << "method " << c.method << " " << c.sourceLength << " -> "
                                            << c.targetLength << " shifted " << shift);
            ZOffscreen cut(Rect(0, 0, c.targetLength, 2), 24, nullptr, kKindMemory);
            uint8_t grey[3] = {0x55, 0x55, 0x55};
            cut.Fill(nullptr, grey);
            ASSERT_TRUE(ScaleHorizontal(source, cut, Rect(0, 0, c.sourceLength, 2),
                                        Rect(shift, 0, shift + c.targetLength, 2)));
            for (int32_t x = 0; x < c.targetLength; ++x) {
                int32_t j = x - shift;
                std::vector<uint8_t> want = j >= 0 && j < c.targetLength
                                                ? PixelBytes(whole, j, 1)
                                                : std::vector<uint8_t>{0x55, 0x55, 0x55};
                ASSERT_EQ(PixelBytes(cut, x, 1), want) << x;
            }
        }
    }
}

TEST(GraphicsScale, PassRefusesMismatchedOffscreens) {
    MethodsScope defaults({});
    ZOffscreen rgb(Rect(0, 0, 4, 4), 24, nullptr, kKindMemory, kFormatRGB24);
    ZOffscreen bgr(Rect(0, 0, 8, 4), 24, nullptr, kKindMemory, kFormatBGR24);
    ZOffscreen deep(Rect(0, 0, 8, 4), 32, nullptr, kKindMemory);
    EXPECT_FALSE(ScaleHorizontal(rgb, bgr, Rect(0, 0, 4, 4), Rect(0, 0, 8, 4)));
    EXPECT_FALSE(ScaleVertical(rgb, deep, Rect(0, 0, 4, 4), Rect(0, 0, 4, 8)));

    std::mt19937 random(5);
    TablePtr first = RandomPalette(random), second = RandomPalette(random);
    ZOffscreen a(Rect(0, 0, 4, 4), 8, first.get(), kKindMemory, kFormatIndexed8);
    ZOffscreen b(Rect(0, 0, 8, 4), 8, second.get(), kKindMemory, kFormatIndexed8);
    ZOffscreen c(Rect(0, 0, 8, 4), 8, first.get(), kKindMemory, kFormatIndexed8);
    EXPECT_FALSE(ScaleHorizontal(a, b, Rect(0, 0, 4, 4), Rect(0, 0, 8, 4)));
    EXPECT_TRUE(ScaleHorizontal(a, c, Rect(0, 0, 4, 4), Rect(0, 0, 8, 4)));
}

TEST(GraphicsScale, IndexedWithoutInverseTableUsesNearestSamples) {
    MethodsScope defaults({});
    TablePtr grey(new ZColorTable());
    uint8_t* entries = grey->SetCount(256);
    for (int i = 0; i < 256 * 3; ++i) entries[i] = uint8_t(i / 3);
    ZOffscreen source(Rect(0, 0, 2, 1), 8, grey.get(), kKindMemory, kFormatIndexed8);
    ZOffscreen target(Rect(0, 0, 4, 1), 8, grey.get(), kKindMemory, kFormatIndexed8);
    TablePtr held(source.GetColorTable());
    ASSERT_FALSE(held->HasInverseTable());
    source.RowAddress(0)[0] = 0;
    source.RowAddress(0)[1] = 255;

    ASSERT_TRUE(ScaleHorizontal(source, target, Rect(0, 0, 2, 1), Rect(0, 0, 4, 1)));
    EXPECT_FALSE(held->HasInverseTable());
    const uint8_t* row = target.RowAddress(0);
    EXPECT_EQ(std::vector<uint8_t>(row, row + 4), (std::vector<uint8_t>{0, 0, 255, 255}));

    // With the inverse table the doubling averages palette colours: grey 128 between black and white.
    const uint8_t* inverse = held->GetInverseTable();
    ASSERT_NE(inverse, nullptr);
    ASSERT_TRUE(ScaleHorizontal(source, target, Rect(0, 0, 2, 1), Rect(0, 0, 4, 1)));
    int32_t mid = inverse[(128 >> 3) << 11 | (128 >> 2) << 5 | (128 >> 3)];
    EXPECT_EQ(std::vector<uint8_t>(row, row + 4), (std::vector<uint8_t>{0, uint8_t(mid), 255, 255}));
    EXPECT_NE(mid, 0);
    EXPECT_NE(mid, 255);
}

TEST(GraphicsScale, VerticalPassesWalkBottomUpOffscreensInImageOrder) {
    MethodsScope defaults({});
    ZOffscreen source(Rect(0, 0, 3, 2), 24, nullptr, kKindDIBSection);
    ZOffscreen target(Rect(0, 0, 3, 4), 24, nullptr, kKindDIBSection);
    ASSERT_TRUE(source.IsBottomUp());
    std::memset(source.RowAddress(0), 0, 9);
    std::memset(source.RowAddress(1), 255, 9);
    ASSERT_TRUE(ScaleVertical(source, target, Rect(0, 0, 3, 2), Rect(0, 0, 3, 4)));
    const uint8_t levels[4] = {0, 128, 255, 255};
    for (int32_t y = 0; y < 4; ++y) {
        for (int32_t x = 0; x < 3; ++x) {
            EXPECT_EQ(PixelBytes(target, x, y), std::vector<uint8_t>(3, levels[y])) << x << " " << y;
        }
    }

    // The same picture scaled in a top-down offscreen gives the same image rows.
    std::mt19937 random(9);
    ZOffscreen up(Rect(0, 0, 6, 5), 24, nullptr, kKindDIBSection);
    ZOffscreen down(Rect(0, 0, 6, 5), 24, nullptr, kKindMemory);
    FillRandom(up, random);
    for (int32_t y = 0; y < 5; ++y) std::memcpy(down.RowAddress(y), up.RowAddress(y), 18);
    ZOffscreen upTarget(Rect(0, 0, 6, 8), 24, nullptr, kKindDIBSection);
    ZOffscreen downTarget(Rect(0, 0, 6, 8), 24, nullptr, kKindMemory);
    ASSERT_TRUE(ScaleVertical(up, upTarget, Rect(0, 0, 6, 5), Rect(0, 0, 6, 8)));
    ASSERT_TRUE(ScaleVertical(down, downTarget, Rect(0, 0, 6, 5), Rect(0, 0, 6, 8)));
    for (int32_t y = 0; y < 8; ++y) {
        EXPECT_EQ(0, std::memcmp(upTarget.RowAddress(y), downTarget.RowAddress(y), 18)) << y;
    }
    // The first and last rows copy the source's first and last rows.
    EXPECT_EQ(0, std::memcmp(upTarget.RowAddress(0), up.RowAddress(0), 18));
    EXPECT_EQ(0, std::memcmp(upTarget.RowAddress(7), up.RowAddress(4), 18));
}

}  // namespace
