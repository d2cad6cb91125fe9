#include "graphics/ZScaler.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <iterator>

#include "graphics/ZColorTable.h"
#include "graphics/ZOffscreen.h"
#include "graphics/ZPixelFormat.h"

namespace {

ZScaleMethods gMethods;

// ---------------------------------------------------------------------------------------------------------
// Positions are 16.16 fixed point. Steps are rounded to nearest (half away from zero), so a line of n
// pixels drifts by at most n / 2 units of 1 / 65536 pixel; reads are clamped to the line all the same.

constexpr int32_t kFixedShift = 16;

int64_t RoundedDivide(int64_t numerator, int64_t denominator) {
    return numerator >= 0 ? (numerator + denominator / 2) / denominator
                          : -((-numerator + denominator / 2) / denominator);
}

// numerator / denominator in 16.16.
int64_t FixedRatio(int64_t numerator, int64_t denominator) {
    return RoundedDivide(numerator << kFixedShift, denominator);
}

// The samples [first, end) of a whole line: the part of a line that lies on its offscreen.
struct Window {
    int32_t first;
    int32_t end;
};

// A line of samples to read. The whole line's length sets the method's steps, so that a line cut by its
// offscreen samples as the whole line would; base points at sample window.first, the first that exists.
// Positions outside the window read its nearest end: a cut line has no pixels there, and the rounded
// steps may carry a position up to the line's length on large enlargements, where a read would leave
// the row.
struct SourceLine {
    const uint8_t* base;
    ptrdiff_t step;
    int32_t length;
    Window window;

    const uint8_t* At(int64_t i) const {
        return base + (std::clamp<int64_t>(i, window.first, window.end - 1) - window.first) * step;
    }
    const uint8_t* AtFixed(int64_t position) const { return At(position >> kFixedShift); }
};

// A line of samples to write: only those in the window, base pointing at sample window.first.
struct TargetLine {
    uint8_t* base;
    ptrdiff_t step;
    int32_t length;
    Window window;

    uint8_t* At(int32_t i) const { return base + ptrdiff_t(i - window.first) * step; }
};

// ---------------------------------------------------------------------------------------------------------
// Pixel policies: how a pixel of a format is stored and split into components. Every policy has kBytes;
// those that compute new pixels also have Components, Load and Store.

// kCount byte components starting at byte kFirst of a kSize-byte pixel. The order of the components does
// not matter to per-component arithmetic, so R-G-B and B-G-R share a policy; the unused byte of 32-bit
// pixels is left alone.
template <int32_t kSize, int32_t kFirst, int32_t kCount>
struct Bytes {
    static constexpr int32_t kBytes = kSize;
    using Components = std::array<int32_t, kCount>;

    explicit Bytes(ZColorTable*) {}
    bool Ready() const { return true; }
    Components Load(const uint8_t* p) const {
        Components c;
        for (int32_t i = 0; i < kCount; ++i) {
            c[size_t(i)] = p[kFirst + i];
        }
        return c;
    }
    void Store(uint8_t* p, const Components& c) const {
        for (int32_t i = 0; i < kCount; ++i) {
            p[kFirst + i] = uint8_t(c[size_t(i)]);
        }
    }
};

// 16-bit words of 5-5-5 or 5-6-5 fields, little-endian when native. Fields are averaged at their own
// width, so a pixel that is copied or averaged with itself keeps its value.
template <bool kGreen6, bool kNative>
struct Word16 {
    static constexpr int32_t kBytes = 2;
    static constexpr int32_t kRedShift = kGreen6 ? 11 : 10;
    static constexpr int32_t kGreenMask = kGreen6 ? 63 : 31;
    using Components = std::array<int32_t, 3>;

    explicit Word16(ZColorTable*) {}
    bool Ready() const { return true; }
    Components Load(const uint8_t* p) const {
        int32_t w = kNative ? p[0] | p[1] << 8 : p[0] << 8 | p[1];
        return {(w >> kRedShift) & 31, (w >> 5) & kGreenMask, w & 31};
    }
    void Store(uint8_t* p, const Components& c) const {
        int32_t w = c[0] << kRedShift | c[1] << 5 | c[2];
        p[kNative ? 0 : 1] = uint8_t(w);
        p[kNative ? 1 : 0] = uint8_t(w >> 8);
    }
};

// Palette indices: computed on the entries' colours and mapped back through the inverse table.
struct Indexed8 {
    static constexpr int32_t kBytes = 1;
    using Components = std::array<int32_t, 3>;

    explicit Indexed8(ZColorTable* table)
        : entries_(table != nullptr ? table->GetEntryData() : nullptr),
          inverse_(table != nullptr ? table->GetInverseTable() : nullptr) {}
    bool Ready() const { return entries_ != nullptr && inverse_ != nullptr; }
    Components Load(const uint8_t* p) const {
        const uint8_t* e = entries_ + size_t(p[0]) * 3;
        return {e[0], e[1], e[2]};
    }
    void Store(uint8_t* p, const Components& c) const {
        p[0] = inverse_[(c[0] >> 3) << 11 | (c[1] >> 2) << 5 | (c[2] >> 3)];
    }

  private:
    const uint8_t* entries_;
    const uint8_t* inverse_;
};

using Copy8 = Bytes<1, 0, 1>;
using Copy16 = Bytes<2, 0, 2>;
using Copy24 = Bytes<3, 0, 3>;
using Copy32 = Bytes<4, 0, 4>;
using Level8 = Bytes<1, 0, 1>;
using Rgb24 = Bytes<3, 0, 3>;
using RgbX32 = Bytes<4, 0, 3>;
using XRgb32 = Bytes<4, 1, 3>;
using Native555 = Word16<false, true>;
using Swapped555 = Word16<false, false>;
using Native565 = Word16<true, true>;
using Swapped565 = Word16<true, false>;

template <class Pixel>
void CopyPixel(uint8_t* target, const uint8_t* source) {
    std::memcpy(target, source, Pixel::kBytes);
}

// ---------------------------------------------------------------------------------------------------------
// Methods: one template each, built for the lengths of a pass and run once per line.

template <class Pixel>
class Nearest {
  public:
    Nearest(int32_t sourceLength, int32_t targetLength) : step_(FixedRatio(sourceLength, targetLength)) {}
    void Run(const Pixel&, const SourceLine& source, const TargetLine& target) const {
        int64_t position = step_ / 2 + int64_t(target.window.first) * step_;
        for (int32_t i = target.window.first; i < target.window.end; ++i, position += step_) {
            CopyPixel<Pixel>(target.At(i), source.AtFixed(position));
        }
    }

  private:
    int64_t step_;
};

// n samples per target pixel, n the smallest power of two >= floor(source / target + 1), spread evenly
// over the pixel's share of the source; the sum is rounded by starting it at n / 2.
template <class Pixel>
class BoxAverage {
  public:
    BoxAverage(int32_t sourceLength, int32_t targetLength)
        : shift_(SampleShift(sourceLength, targetLength)),
          step_(FixedRatio(sourceLength, int64_t(targetLength) << shift_)) {}
    void Run(const Pixel& pixel, const SourceLine& source, const TargetLine& target) const {
        int64_t position = step_ / 2 + (int64_t(target.window.first) << shift_) * step_;
        for (int32_t i = target.window.first; i < target.window.end; ++i) {
            typename Pixel::Components sum;
            sum.fill((1 << shift_) >> 1);
            for (int32_t k = 0; k < (1 << shift_); ++k, position += step_) {
                typename Pixel::Components sample = pixel.Load(source.AtFixed(position));
                for (size_t c = 0; c < sum.size(); ++c) {
                    sum[c] += sample[c];
                }
            }
            for (int32_t& c : sum) {
                c >>= shift_;
            }
            pixel.Store(target.At(i), sum);
        }
    }

  private:
    static int32_t SampleShift(int32_t sourceLength, int32_t targetLength) {
        int32_t wanted = sourceLength / targetLength + 1;
        int32_t shift = 0;
        while ((1 << shift) < wanted) {
            ++shift;
        }
        return shift;
    }

    int32_t shift_;
    int64_t step_;
};

// Target pixel centres mapped onto the source: p = (i + 0.5) * source / target - 0.5. Before the first
// source centre and from the last one on the end pixel is copied; between, neighbours are mixed by the
// top 8 bits of the fraction. The source index is taken from p itself, not counted up as p grows: a
// counter started at floor(-0.17) = -1 steps to the second pixel when p reaches 0 and shifts every
// later pixel by one.
template <class Pixel>
class Linear {
  public:
    Linear(int32_t sourceLength, int32_t targetLength)
        : step_(FixedRatio(sourceLength, targetLength)),
          start_(
              RoundedDivide((int64_t(sourceLength) - targetLength) * (1 << (kFixedShift - 1)), targetLength)),
          last_(int64_t(sourceLength - 1) << kFixedShift) {}
    void Run(const Pixel& pixel, const SourceLine& source, const TargetLine& target) const {
        int64_t position = start_ + int64_t(target.window.first) * step_;
        for (int32_t i = target.window.first; i < target.window.end; ++i, position += step_) {
            if (position < 0 || position >= last_) {
                CopyPixel<Pixel>(target.At(i), source.AtFixed(std::max<int64_t>(position, 0)));
                continue;
            }
            int32_t f = int32_t(position >> 8) & 255;
            typename Pixel::Components a = pixel.Load(source.AtFixed(position));
            typename Pixel::Components b = pixel.Load(source.At((position >> kFixedShift) + 1));
            for (size_t c = 0; c < a.size(); ++c) {
                a[c] += (b[c] - a[c]) * f >> 8;
            }
            pixel.Store(target.At(i), a);
        }
    }

  private:
    int64_t step_;
    int64_t start_;
    int64_t last_;
};

// Target pixel j shows source pixel j / 2; past twice the source the last pixel repeats.
template <class Pixel>
class DoubleRepeat {
  public:
    DoubleRepeat(int32_t, int32_t) {}
    void Run(const Pixel&, const SourceLine& source, const TargetLine& target) const {
        for (int32_t j = target.window.first; j < target.window.end; ++j) {
            CopyPixel<Pixel>(target.At(j), source.At(j >> 1));
        }
    }
};

// Even target pixels are source pixels; odd ones average their two neighbours, rounding up, except
// after the last source pixel, which repeats.
template <class Pixel>
class DoubleAverage {
  public:
    DoubleAverage(int32_t, int32_t) {}
    void Run(const Pixel& pixel, const SourceLine& source, const TargetLine& target) const {
        for (int32_t j = target.window.first; j < target.window.end; ++j) {
            int32_t i = j >> 1;
            if ((j & 1) == 0 || i + 1 >= source.length) {
                CopyPixel<Pixel>(target.At(j), source.At(i));
                continue;
            }
            typename Pixel::Components a = pixel.Load(source.At(i));
            typename Pixel::Components b = pixel.Load(source.At(i + 1));
            for (size_t c = 0; c < a.size(); ++c) {
                a[c] = (a[c] >> 1) + (b[c] >> 1) + ((a[c] | b[c]) & 1);
            }
            pixel.Store(target.At(j), a);
        }
    }
};

// ---------------------------------------------------------------------------------------------------------
// The row routines: a method over a pixel policy, along rows or down columns.

enum class Axis { kHorizontal, kVertical };

// Scales windows of whole lines: source points at sample sourceWindow.first of the first line, target at
// sample targetWindow.first; only the target window is written, only the source window read.
using WindowRoutine = void (*)(const uint8_t* source, int32_t sourceStride, int32_t sourceLength,
                               Window sourceWindow, uint8_t* target, int32_t targetStride,
                               int32_t targetLength, Window targetWindow, int32_t lines,
                               ZColorTable* colorTable);

template <template <class> class Method, class Pixel, Axis kAxis>
void ScaleWindows(const uint8_t* source, int32_t sourceStride, int32_t sourceLength, Window sourceWindow,
                  uint8_t* target, int32_t targetStride, int32_t targetLength, Window targetWindow,
                  int32_t lines, ZColorTable* colorTable) {
    Pixel pixel(colorTable);
    if (!pixel.Ready() || sourceLength <= 0 || targetLength <= 0 || sourceWindow.end <= sourceWindow.first ||
        targetWindow.end <= targetWindow.first) {
        return;
    }
    // Along a row the samples are pixels and the lines are rows; down a column the roles swap.
    ptrdiff_t sourceSample = Pixel::kBytes, targetSample = Pixel::kBytes;
    ptrdiff_t sourceLine = sourceStride, targetLine = targetStride;
    if constexpr (kAxis == Axis::kVertical) {
        std::swap(sourceSample, sourceLine);
        std::swap(targetSample, targetLine);
    }
    Method<Pixel> method(sourceLength, targetLength);
    for (int32_t line = 0; line < lines; ++line) {
        method.Run(pixel, SourceLine{source + line * sourceLine, sourceSample, sourceLength, sourceWindow},
                   TargetLine{target + line * targetLine, targetSample, targetLength, targetWindow});
    }
}

// Whole lines.
template <template <class> class Method, class Pixel, Axis kAxis>
void ScaleLines(const uint8_t* source, int32_t sourceStride, int32_t sourceLength, uint8_t* target,
                int32_t targetStride, int32_t targetLength, int32_t lines, int16_t, ZColorTable* colorTable) {
    ScaleWindows<Method, Pixel, kAxis>(source, sourceStride, sourceLength, Window{0, sourceLength}, target,
                                       targetStride, targetLength, Window{0, targetLength}, lines,
                                       colorTable);
}

struct ScalerCell {
    int32_t method;
    int32_t depth;
    int16_t format;
    ZScaleRoutine routine;  // whole lines, for callers with lines of their own
    WindowRoutine windows;  // windows of whole lines, for the pass on offscreens
};

template <template <class> class Method, class Pixel, Axis kAxis>
constexpr ScalerCell Cell(int32_t method, int32_t depth, int16_t format) {
    return {method, depth, format, ScaleLines<Method, Pixel, kAxis>, ScaleWindows<Method, Pixel, kAxis>};
}

constexpr int16_t kNative555 = int16_t(kFormatRGB555 | kNativeByteOrder);
constexpr int16_t kNative565 = int16_t(kFormatRGB565 | kNativeByteOrder);

// Every (method, depth, format) the offscreens can hold, once. Nearest and repetition only move whole
// pixels, so they share one routine per pixel size.
template <Axis kAxis>
constexpr ScalerCell kScalers[] = {
    Cell<Nearest, Copy8, kAxis>(kScaleNearest, 8, kFormatIndexed8),
    Cell<Nearest, Copy8, kAxis>(kScaleNearest, 8, kFormatAlpha8),
    Cell<Nearest, Copy16, kAxis>(kScaleNearest, 15, kNative555),
    Cell<Nearest, Copy16, kAxis>(kScaleNearest, 15, kFormatRGB555),
    Cell<Nearest, Copy16, kAxis>(kScaleNearest, 16, kNative565),
    Cell<Nearest, Copy16, kAxis>(kScaleNearest, 16, kFormatRGB565),
    Cell<Nearest, Copy24, kAxis>(kScaleNearest, 24, kFormatRGB24),
    Cell<Nearest, Copy24, kAxis>(kScaleNearest, 24, kFormatBGR24),
    Cell<Nearest, Copy32, kAxis>(kScaleNearest, 32, kFormatRGBX32),
    Cell<Nearest, Copy32, kAxis>(kScaleNearest, 32, kFormatBGRX32),
    Cell<Nearest, Copy32, kAxis>(kScaleNearest, 32, kFormatXRGB32),
    Cell<Nearest, Copy32, kAxis>(kScaleNearest, 32, kFormatXBGR32),

    Cell<BoxAverage, Indexed8, kAxis>(kScaleBoxAverage, 8, kFormatIndexed8),
    Cell<BoxAverage, Level8, kAxis>(kScaleBoxAverage, 8, kFormatAlpha8),
    Cell<BoxAverage, Native555, kAxis>(kScaleBoxAverage, 15, kNative555),
    Cell<BoxAverage, Swapped555, kAxis>(kScaleBoxAverage, 15, kFormatRGB555),
    Cell<BoxAverage, Native565, kAxis>(kScaleBoxAverage, 16, kNative565),
    Cell<BoxAverage, Swapped565, kAxis>(kScaleBoxAverage, 16, kFormatRGB565),
    Cell<BoxAverage, Rgb24, kAxis>(kScaleBoxAverage, 24, kFormatRGB24),
    Cell<BoxAverage, Rgb24, kAxis>(kScaleBoxAverage, 24, kFormatBGR24),
    Cell<BoxAverage, RgbX32, kAxis>(kScaleBoxAverage, 32, kFormatRGBX32),
    Cell<BoxAverage, RgbX32, kAxis>(kScaleBoxAverage, 32, kFormatBGRX32),
    Cell<BoxAverage, XRgb32, kAxis>(kScaleBoxAverage, 32, kFormatXRGB32),
    Cell<BoxAverage, XRgb32, kAxis>(kScaleBoxAverage, 32, kFormatXBGR32),

    Cell<Linear, Indexed8, kAxis>(kScaleLinear, 8, kFormatIndexed8),
    Cell<Linear, Level8, kAxis>(kScaleLinear, 8, kFormatAlpha8),
    Cell<Linear, Native555, kAxis>(kScaleLinear, 15, kNative555),
    Cell<Linear, Swapped555, kAxis>(kScaleLinear, 15, kFormatRGB555),
    Cell<Linear, Native565, kAxis>(kScaleLinear, 16, kNative565),
    Cell<Linear, Swapped565, kAxis>(kScaleLinear, 16, kFormatRGB565),
    Cell<Linear, Rgb24, kAxis>(kScaleLinear, 24, kFormatRGB24),
    Cell<Linear, Rgb24, kAxis>(kScaleLinear, 24, kFormatBGR24),
    Cell<Linear, RgbX32, kAxis>(kScaleLinear, 32, kFormatRGBX32),
    Cell<Linear, RgbX32, kAxis>(kScaleLinear, 32, kFormatBGRX32),
    Cell<Linear, XRgb32, kAxis>(kScaleLinear, 32, kFormatXRGB32),
    Cell<Linear, XRgb32, kAxis>(kScaleLinear, 32, kFormatXBGR32),

    Cell<DoubleRepeat, Copy8, kAxis>(kScaleDoubleRepeat, 8, kFormatIndexed8),
    Cell<DoubleRepeat, Copy8, kAxis>(kScaleDoubleRepeat, 8, kFormatAlpha8),
    Cell<DoubleRepeat, Copy16, kAxis>(kScaleDoubleRepeat, 15, kNative555),
    Cell<DoubleRepeat, Copy16, kAxis>(kScaleDoubleRepeat, 15, kFormatRGB555),
    Cell<DoubleRepeat, Copy16, kAxis>(kScaleDoubleRepeat, 16, kNative565),
    Cell<DoubleRepeat, Copy16, kAxis>(kScaleDoubleRepeat, 16, kFormatRGB565),
    Cell<DoubleRepeat, Copy24, kAxis>(kScaleDoubleRepeat, 24, kFormatRGB24),
    Cell<DoubleRepeat, Copy24, kAxis>(kScaleDoubleRepeat, 24, kFormatBGR24),
    Cell<DoubleRepeat, Copy32, kAxis>(kScaleDoubleRepeat, 32, kFormatRGBX32),
    Cell<DoubleRepeat, Copy32, kAxis>(kScaleDoubleRepeat, 32, kFormatBGRX32),
    Cell<DoubleRepeat, Copy32, kAxis>(kScaleDoubleRepeat, 32, kFormatXRGB32),
    Cell<DoubleRepeat, Copy32, kAxis>(kScaleDoubleRepeat, 32, kFormatXBGR32),

    Cell<DoubleAverage, Indexed8, kAxis>(kScaleDoubleAverage, 8, kFormatIndexed8),
    Cell<DoubleAverage, Level8, kAxis>(kScaleDoubleAverage, 8, kFormatAlpha8),
    Cell<DoubleAverage, Native555, kAxis>(kScaleDoubleAverage, 15, kNative555),
    Cell<DoubleAverage, Swapped555, kAxis>(kScaleDoubleAverage, 15, kFormatRGB555),
    Cell<DoubleAverage, Native565, kAxis>(kScaleDoubleAverage, 16, kNative565),
    Cell<DoubleAverage, Swapped565, kAxis>(kScaleDoubleAverage, 16, kFormatRGB565),
    Cell<DoubleAverage, Rgb24, kAxis>(kScaleDoubleAverage, 24, kFormatRGB24),
    Cell<DoubleAverage, Rgb24, kAxis>(kScaleDoubleAverage, 24, kFormatBGR24),
    Cell<DoubleAverage, RgbX32, kAxis>(kScaleDoubleAverage, 32, kFormatRGBX32),
    Cell<DoubleAverage, RgbX32, kAxis>(kScaleDoubleAverage, 32, kFormatBGRX32),
    Cell<DoubleAverage, XRgb32, kAxis>(kScaleDoubleAverage, 32, kFormatXRGB32),
    Cell<DoubleAverage, XRgb32, kAxis>(kScaleDoubleAverage, 32, kFormatXBGR32),
};
static_assert(std::size(kScalers<Axis::kHorizontal>) == 5 * 12, "five methods by twelve formats");
static_assert(std::size(kScalers<Axis::kVertical>) == 5 * 12, "five methods by twelve formats");

template <Axis kAxis>
const ScalerCell* FindScaler(int32_t method, int32_t depth, int16_t format) {
    for (const ScalerCell& cell : kScalers<kAxis>) {
        if (cell.method == method && cell.depth == depth && cell.format == format) {
            return &cell;
        }
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------------------
// The pass.

// A half-open range of one axis, wide enough that no cut overflows.
struct Span {
    int64_t start;
    int64_t end;

    int64_t Length() const { return end - start; }
};

int64_t CeilDivide(__int128 numerator, int64_t denominator) {
    __int128 quotient = numerator / denominator;
    return int64_t(quotient * denominator < numerator ? quotient + 1 : quotient);
}

// The first target pixel of a line of t whose nearest source pixel, of a line of s, is at least i: target
// pixel j samples floor((j + 1/2) s / t), so j >= (2 t i - s) / (2 s). In 128 bits: t and i reach 2^31.
int64_t FirstTargetSampling(int64_t i, int64_t s, int64_t t) {
    return std::clamp<int64_t>(CeilDivide(__int128(2) * t * i - s, 2 * s), 0, t);
}

bool SameColorTable(const ZOffscreen& a, const ZOffscreen& b) {
    ZColorTable* first = a.GetColorTable();
    ZColorTable* second = b.GetColorTable();
    bool same = first == second;
    for (ZColorTable* table : {first, second}) {
        if (table != nullptr) {
            table->Release();
        }
    }
    return same;
}

bool Compatible(const ZOffscreen& source, const ZOffscreen& target) {
    if (source.GetDepth() != target.GetDepth() || source.GetFormat() != target.GetFormat()) {
        return false;
    }
    return source.GetDepth() != 8 || SameColorTable(source, target);
}

template <Axis kAxis>
const ScalerCell* Select(int32_t sourceLength, int32_t targetLength, int32_t depth, int16_t format,
                         bool nearestOnly) {
    int32_t method = nearestOnly ? kScaleNearest : ScaleMethodFor(sourceLength, targetLength);
    return FindScaler<kAxis>(method, depth, format);
}

// The ranges of one pass: along the scaled axis and across it.
struct PassRanges {
    Span sourceAlong, targetAlong, sourceAcross, targetAcross;
};

template <Axis kAxis>
PassRanges RangesOf(const ZRect& source, const ZRect& target) {
    Span sx{source.left, source.right}, sy{source.top, source.bottom};
    Span tx{target.left, target.right}, ty{target.top, target.bottom};
    if constexpr (kAxis == Axis::kHorizontal) {
        return {sx, tx, sy, ty};
    } else {
        return {sy, ty, sx, tx};
    }
}

// What of one pass lands: the windows of the whole lines along the scaled axis, and the lines across it.
struct PassClip {
    Window source;
    Window target;
    int64_t firstSourceLine;
    int64_t firstTargetLine;
    int64_t lines;
};

// Along the scaled axis the whole lines keep their lengths, and with them the factor: a target pixel lands
// when it lies on the target and the source pixel nearest its centre lies on the source. Across the axis
// lines map one to one, as in a copy. False when nothing lands.
template <Axis kAxis>
bool ClipPass(const PassRanges& r, const ZOffscreen& source, const ZOffscreen& target, PassClip& clip) {
    bool horizontal = kAxis == Axis::kHorizontal;
    int64_t sourceAlong = horizontal ? source.GetWidth() : source.GetHeight();
    int64_t targetAlong = horizontal ? target.GetWidth() : target.GetHeight();
    int64_t sourceAcross = horizontal ? source.GetHeight() : source.GetWidth();
    int64_t targetAcross = horizontal ? target.GetHeight() : target.GetWidth();
    int64_t s = r.sourceAlong.Length(), t = r.targetAlong.Length();
    int64_t sourceFirst = std::max<int64_t>(0, -r.sourceAlong.start);
    int64_t sourceEnd = std::min<int64_t>(s, sourceAlong - r.sourceAlong.start);
    if (sourceEnd <= sourceFirst) {
        return false;
    }
    int64_t targetFirst = std::max(FirstTargetSampling(sourceFirst, s, t), -r.targetAlong.start);
    int64_t targetEnd = std::min(FirstTargetSampling(sourceEnd, s, t), targetAlong - r.targetAlong.start);
    if (targetEnd <= targetFirst) {
        return false;
    }
    clip.source = Window{int32_t(sourceFirst), int32_t(sourceEnd)};
    clip.target = Window{int32_t(targetFirst), int32_t(targetEnd)};

    int64_t skip = std::max({int64_t(0), -r.sourceAcross.start, -r.targetAcross.start});
    clip.firstSourceLine = r.sourceAcross.start + skip;
    clip.firstTargetLine = r.targetAcross.start + skip;
    clip.lines = std::min({r.sourceAcross.Length() - skip, r.targetAcross.Length() - skip,
                           sourceAcross - clip.firstSourceLine, targetAcross - clip.firstTargetLine});
    return clip.lines > 0;
}

uint8_t* PixelAt(const ZOffscreen& offscreen, int64_t x, int64_t y) {
    return offscreen.RowAddress(int32_t(y)) + x * BytesPerPixel(offscreen.GetDepth());
}

template <Axis kAxis>
bool RunPass(ZOffscreen& source, ZOffscreen& target, const ZRect& sourceRect, const ZRect& targetRect,
             ZColorTable* table) {
    PassRanges r = RangesOf<kAxis>(sourceRect, targetRect);
    int64_t sourceLength = r.sourceAlong.Length(), targetLength = r.targetAlong.Length();
    if (sourceLength > INT32_MAX || targetLength > INT32_MAX) {
        return false;
    }
    bool nearestOnly =
        source.GetFormat() == kFormatIndexed8 && (table == nullptr || !table->HasInverseTable());
    const ScalerCell* cell = Select<kAxis>(int32_t(sourceLength), int32_t(targetLength), source.GetDepth(),
                                           source.GetFormat(), nearestOnly);
    PassClip clip;
    if (cell == nullptr || !ClipPass<kAxis>(r, source, target, clip)) {
        return false;
    }
    int64_t sourceAt = r.sourceAlong.start + clip.source.first;
    int64_t targetAt = r.targetAlong.start + clip.target.first;
    bool horizontal = kAxis == Axis::kHorizontal;
    const uint8_t* from = horizontal ? PixelAt(source, sourceAt, clip.firstSourceLine)
                                     : PixelAt(source, clip.firstSourceLine, sourceAt);
    uint8_t* to = horizontal ? PixelAt(target, targetAt, clip.firstTargetLine)
                             : PixelAt(target, clip.firstTargetLine, targetAt);
    cell->windows(from, source.RowStep(), int32_t(sourceLength), clip.source, to, target.RowStep(),
                  int32_t(targetLength), clip.target, int32_t(clip.lines), table);
    return true;
}

template <Axis kAxis>
bool ScalePass(ZOffscreen& source, ZOffscreen& target, const ZRect& sourceRect, const ZRect& targetRect) {
    if (sourceRect.IsEmpty() || targetRect.IsEmpty() || !Compatible(source, target)) {
        return false;
    }
    bool sourceLocked = source.Lock();
    bool targetLocked = target.Lock();
    ZColorTable* table = source.GetColorTable();
    bool done = sourceLocked && targetLocked && RunPass<kAxis>(source, target, sourceRect, targetRect, table);
    if (table != nullptr) {
        table->Release();
    }
    source.Unlock();
    target.Unlock();
    return done;
}

}  // namespace

void SetScaleMethods(const ZScaleMethods& methods) {
    gMethods = methods;
}

ZScaleMethods GetScaleMethods() {
    return gMethods;
}

int32_t ScaleMethodFor(int32_t sourceLength, int32_t targetLength) {
    if (sourceLength <= 0 || targetLength <= 0) {
        return 0;
    }
    if (targetLength <= sourceLength) {
        return gMethods.shrink == kScaleLinear ? 0 : gMethods.shrink;
    }
    int32_t method = int64_t(targetLength) == 2 * int64_t(sourceLength) ? gMethods.twice : gMethods.enlarge;
    return method == kScaleBoxAverage ? 0 : method;
}

ZScaleRoutine SelectHorizontalScaler(int32_t sourceLength, int32_t targetLength, int32_t depth,
                                     int16_t format) {
    const ScalerCell* cell = Select<Axis::kHorizontal>(sourceLength, targetLength, depth, format, false);
    return cell != nullptr ? cell->routine : nullptr;
}

ZScaleRoutine SelectVerticalScaler(int32_t sourceLength, int32_t targetLength, int32_t depth,
                                   int16_t format) {
    const ScalerCell* cell = Select<Axis::kVertical>(sourceLength, targetLength, depth, format, false);
    return cell != nullptr ? cell->routine : nullptr;
}

bool ScaleHorizontal(ZOffscreen& source, ZOffscreen& target, const ZRect& sourceRect,
                     const ZRect& targetRect) {
    return ScalePass<Axis::kHorizontal>(source, target, sourceRect, targetRect);
}

bool ScaleVertical(ZOffscreen& source, ZOffscreen& target, const ZRect& sourceRect, const ZRect& targetRect) {
    return ScalePass<Axis::kVertical>(source, target, sourceRect, targetRect);
}
