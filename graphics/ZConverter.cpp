#include "graphics/ZConverter.h"

#include <cstring>
#include <iterator>
#include <limits>

#include "graphics/ZColorTable.h"
#include "graphics/ZDitherer.h"
#include "graphics/ZOffscreen.h"
#include "graphics/ZPixelFormat.h"

namespace {

struct Rgb {
    int32_t r = 0;
    int32_t g = 0;
    int32_t b = 0;
};

// ---- pixel policies: how one format reads, writes, packs and unpacks a pixel. Values travel between
// them as the raw pixel (an index, a native word, or 0xRRGGBB for byte formats).

// 8-bit palette indices read as the colours of their entries.
struct IndexSource {
    static constexpr int32_t kBytes = 1;
    static constexpr bool kIsIndex = true;
    const uint8_t* entries;

    uint32_t Read(const uint8_t* p) const { return p[0]; }
    Rgb Colour(uint32_t raw) const {
        const uint8_t* e = entries + 3 * raw;
        return Rgb{e[0], e[1], e[2]};
    }
};

// 8-bit palette indices written through the inverse table; the runner-up steps off the key index.
struct IndexTarget {
    static constexpr int32_t kBytes = 1;
    static constexpr bool kIsIndex = true;
    const uint8_t* inverse;
    uint32_t runnerUp;

    void Write(uint8_t* p, uint32_t v) const { p[0] = uint8_t(v); }
    uint32_t FromLevels(const ZLevels& l) const { return inverse[InverseIndexOf(l)]; }
    uint32_t FromColour(const Rgb& c) const { return FromLevels(ZLevels{c.r >> 3, c.g >> 2, c.b >> 3}); }
    uint32_t Avoid(uint32_t) const { return runnerUp; }
};

// 5-5-5 (GreenBits 5) and 5-6-5 (GreenBits 6) native words.
template <int32_t GreenBits>
struct WordPixel {
    static constexpr int32_t kBytes = 2;
    static constexpr int32_t kGreenBits = GreenBits;
    static constexpr bool kIsIndex = false;
    static constexpr int32_t kRedShift = 5 + GreenBits;
    static constexpr uint32_t kGreenMask = (1u << GreenBits) - 1;

    uint32_t Read(const uint8_t* p) const { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
    void Write(uint8_t* p, uint32_t v) const {
        p[0] = uint8_t(v);
        p[1] = uint8_t(v >> 8);
    }
    ZLevels Levels(uint32_t w) const {
        return ZLevels{int32_t((w >> kRedShift) & 31), int32_t((w >> 5) & kGreenMask), int32_t(w & 31)};
    }
    uint32_t FromLevels(const ZLevels& l) const {
        return uint32_t(l.r) << kRedShift | uint32_t(l.g) << 5 | uint32_t(l.b);
    }
    // Levels widened to bytes at the middle of their span, so that truncation finds them again.
    Rgb Colour(uint32_t w) const {
        ZLevels l = Levels(w);
        int32_t g = GreenBits == 6 ? (l.g << 2) | 2 : (l.g << 3) | 4;
        return Rgb{(l.r << 3) | 4, g, (l.b << 3) | 4};
    }
    uint32_t FromColour(const Rgb& c) const {
        return FromLevels(ZLevels{c.r >> 3, c.g >> (8 - GreenBits), c.b >> 3});
    }
    uint32_t Avoid(uint32_t v) const { return v ^ 1u; }
};

template <int16_t Format>
struct BytePixel {
    static constexpr ZByteOrder kOrder = ByteOrderOf(Format);
    static constexpr int32_t kBytes = kOrder.x < 0 ? 3 : 4;
    static constexpr bool kIsIndex = false;

    uint32_t Read(const uint8_t* p) const {
        return uint32_t(p[kOrder.r]) << 16 | uint32_t(p[kOrder.g]) << 8 | uint32_t(p[kOrder.b]);
    }
    void Write(uint8_t* p, uint32_t v) const {
        p[kOrder.r] = uint8_t(v >> 16);
        p[kOrder.g] = uint8_t(v >> 8);
        p[kOrder.b] = uint8_t(v);
        if constexpr (kOrder.x >= 0) {
            p[kOrder.x] = 0;
        }
    }
    Rgb Colour(uint32_t v) const {
        return Rgb{int32_t(v >> 16), int32_t((v >> 8) & 0xFF), int32_t(v & 0xFF)};
    }
    uint32_t FromColour(const Rgb& c) const {
        return uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | uint32_t(c.b);
    }
    uint32_t Avoid(uint32_t v) const { return v ^ 1u; }
};

// ---- format dispatch: resolves the policy once per call and hands it to f.

template <class F>
bool VisitWord(int32_t depth, F&& f) {
    return depth == 16 ? f(WordPixel<6>{}) : f(WordPixel<5>{});
}

// Only formats of the depth; anything else would read or write past the row.
template <class F>
bool VisitBytes(int32_t depth, int16_t format, F&& f) {
    int16_t plain = int16_t(format & 0x7FFF);
    if (depth == 24) {
        switch (plain) {
            case kFormatRGB24:
                return f(BytePixel<kFormatRGB24>{});
            case kFormatBGR24:
                return f(BytePixel<kFormatBGR24>{});
            default:
                return false;
        }
    }
    switch (plain) {
        case kFormatRGBX32:
            return f(BytePixel<kFormatRGBX32>{});
        case kFormatBGRX32:
            return f(BytePixel<kFormatBGRX32>{});
        case kFormatXRGB32:
            return f(BytePixel<kFormatXRGB32>{});
        case kFormatXBGR32:
            return f(BytePixel<kFormatXBGR32>{});
        default:
            return false;
    }
}

template <class F>
bool VisitDeep(int32_t depth, int16_t format, F&& f) {
    return depth <= 16 ? VisitWord(depth, f) : VisitBytes(depth, format, f);
}

// ---- keys

struct KeyRule {
    bool active = false;
    uint32_t source = 0;  // the raw source pixel that is the key
    uint32_t target = 0;  // what it becomes
    Rgb rgb;              // the key colour
};

// The key of the source, when its mode carries one that fits its depth.
template <class Source>
KeyRule SourceKey(const Source& s, const ZTransferMode& mode) {
    KeyRule key;
    if constexpr (Source::kIsIndex) {
        key.active = mode.Has(ZTransferMode::kTransparentIndex);
        key.source = mode.transparentIndex;
        key.rgb = s.Colour(key.source);
    } else {
        key.active = mode.Has(ZTransferMode::kTransparentColor);
        key.rgb = Rgb{mode.keyColor[0], mode.keyColor[1], mode.keyColor[2]};
        key.source = s.FromColour(key.rgb);
    }
    return key;
}

// The entry nearest to rgb other than skip (lowest index on ties); skip itself for a one-entry table.
uint32_t NearestOtherThan(const ZColorTable& table, const Rgb& rgb, uint32_t skip) {
    const uint8_t* e = table.GetEntryData();
    uint32_t best = skip;
    int64_t bestDistance = std::numeric_limits<int64_t>::max();
    for (int32_t i = 0; i < table.GetCount(); ++i, e += 3) {
        int64_t dr = e[0] - rgb.r, dg = e[1] - rgb.g, db = e[2] - rgb.b;
        int64_t d = dr * dr + dg * dg + db * db;
        if (uint32_t(i) != skip && d < bestDistance) {
            best = uint32_t(i);
            bestDistance = d;
        }
    }
    return best;
}

// The palette target: the key becomes its nearest index k, and pixels that land on k step to the
// runner-up. The inverse table's k may differ from the exactly nearest entry, so the runner-up may be k
// itself; then the nearest other entry serves.
bool MakeIndexTarget(ZColorTable* table, KeyRule& key, IndexTarget& target) {
    const uint8_t* inverse = table != nullptr && table->GetCount() > 0 ? table->GetInverseTable() : nullptr;
    if (inverse == nullptr) {
        return false;
    }
    target = IndexTarget{inverse, 0};
    if (key.active) {
        uint8_t rgb[3] = {uint8_t(key.rgb.r), uint8_t(key.rgb.g), uint8_t(key.rgb.b)};
        key.target = uint32_t(table->FindColor(rgb, true));
        int32_t runnerUp = table->FindRunnerUp(rgb);
        target.runnerUp = runnerUp >= 0 && uint32_t(runnerUp) != key.target
                              ? uint32_t(runnerUp)
                              : NearestOtherThan(*table, key.rgb, key.target);
    }
    return true;
}

// The mode names the key as the target now holds it.
void CarryKey(const KeyRule& key, int32_t targetDepth, ZTransferMode& mode) {
    if (!key.active) {
        return;
    }
    if (targetDepth == 8) {
        mode.flags = (mode.flags & ~ZTransferMode::kTransparentColor) | ZTransferMode::kTransparentIndex;
        mode.transparentIndex = uint8_t(key.target);
        return;
    }
    mode.flags = (mode.flags & ~ZTransferMode::kTransparentIndex) | ZTransferMode::kTransparentColor;
    mode.keyColor[0] = uint8_t(key.rgb.r);
    mode.keyColor[1] = uint8_t(key.rgb.g);
    mode.keyColor[2] = uint8_t(key.rgb.b);
}

// ---- the row loop shared by every routine

enum class ScanOrder { kLeftToRight, kRightToLeft };

struct Pass {
    const ZConversion& job;
    KeyRule key;
    ScanOrder order = ScanOrder::kLeftToRight;
};

// Key pixels become the key and leave the ditherer's error where it is; others step off the key.
template <class Source, class Target, class Mapper>
void ConvertRow(const Pass& pass, const Source& s, const Target& t, Mapper& m, const uint8_t* from,
                uint8_t* to) {
    int32_t width = pass.job.width;
    bool reverse = pass.order == ScanOrder::kRightToLeft;
    for (int32_t scan = 0; scan < width; ++scan) {
        int32_t x = reverse ? width - 1 - scan : scan;
        uint32_t raw = s.Read(from + x * Source::kBytes);
        uint8_t* out = to + x * Target::kBytes;
        if (pass.key.active && raw == pass.key.source) {
            m.Drop(scan);
            t.Write(out, pass.key.target);
            continue;
        }
        uint32_t v = m.Map(scan, x, raw);
        if (pass.key.active && v == pass.key.target) {
            v = t.Avoid(v);
        }
        t.Write(out, v);
    }
}

// Rows are counted down from the height, as the ordered matrix expects.
template <class Source, class Target, class Mapper>
void ConvertRows(const Pass& pass, const Source& s, const Target& t, Mapper& m) {
    const ZConversion& job = pass.job;
    for (int32_t row = 0; row < job.height; ++row) {
        m.SelectRow(job.height - row);
        ConvertRow(pass, s, t, m, job.source + int64_t(row) * job.sourceStep,
                   job.target + int64_t(row) * job.targetStep);
    }
}

// ---- mappers: one source pixel to one target value

// Through 8-bit colour: palette lookup, expansion, byte moves, and truncation (dithering method none).
template <class Source, class Target>
struct ColourMapper {
    const Source& s;
    const Target& t;
    void SelectRow(int32_t) {}
    void Drop(int32_t) {}
    uint32_t Map(int32_t, int32_t, uint32_t raw) const { return t.FromColour(s.Colour(raw)); }
};

// Between 5-5-5 and 5-6-5 words: green gains a low 0 bit or loses its low bit.
template <class Source, class Target>
struct GreenMapper {
    const Source& s;
    const Target& t;
    void SelectRow(int32_t) {}
    void Drop(int32_t) {}
    uint32_t Map(int32_t, int32_t, uint32_t raw) const {
        ZLevels l = s.Levels(raw);
        l.g = Target::kGreenBits > Source::kGreenBits ? l.g << 1 : l.g >> 1;
        return t.FromLevels(l);
    }
};

template <class Source, class Target, class Ditherer>
struct ErrorDiffusionMapper {
    const Source& s;
    const Target& t;
    Ditherer& d;
    void SelectRow(int32_t row) { d.SelectRow(row); }
    void Drop(int32_t scan) { d.Drop(scan); }
    uint32_t Map(int32_t scan, int32_t, uint32_t raw) {
        Rgb c = s.Colour(raw);
        if constexpr (Target::kIsIndex) {
            return d.Index(scan, c.r, c.g, c.b);
        } else {
            return t.FromLevels(d.template Levels<Target::kGreenBits>(scan, c.r, c.g, c.b));
        }
    }
};

template <class Source, class Target, class Ditherer>
struct OrderedMapper {
    const Source& s;
    const Target& t;
    Ditherer& d;
    int32_t y = 0;
    void SelectRow(int32_t row) { y = row; }
    void Drop(int32_t) {}
    uint32_t Map(int32_t, int32_t x, uint32_t raw) const {
        Rgb c = s.Colour(raw);
        if constexpr (Target::kIsIndex) {
            return d.Index(x, y, c.r, c.g, c.b);
        } else {
            return t.FromLevels(d.template Levels<Target::kGreenBits>(x, y, c.r, c.g, c.b));
        }
    }
};

template <class Source, class Target, class Ditherer>
struct RandomMapper {
    const Source& s;
    const Target& t;
    Ditherer& d;
    void SelectRow(int32_t) {}
    void Drop(int32_t) {}
    uint32_t Map(int32_t, int32_t, uint32_t raw) const {
        Rgb c = s.Colour(raw);
        if constexpr (Target::kIsIndex) {
            return d.Index(c.r, c.g, c.b);
        } else {
            return t.FromLevels(d.template Levels<Target::kGreenBits>(c.r, c.g, c.b));
        }
    }
};

// ---- running a pass

template <class Source, class Target, template <class, class> class Mapper>
bool RunPlain(const Pass& pass, const Source& s, const Target& t) {
    Mapper<Source, Target> m{s, t};
    ConvertRows(pass, s, t, m);
    return true;
}

// Builds the ditherer for this call only; a missing table or accumulator row converts nothing.
template <class Ditherer, template <class, class, class> class Mapper, class Source, class Target,
          class... Args>
bool RunDithered(const Pass& pass, const Source& s, const Target& t, Args... args) {
    Ditherer d(args...);
    if (!d.IsReady()) {
        return false;
    }
    Mapper<Source, Target, Ditherer> m{s, t, d};
    ConvertRows(pass, s, t, m);
    return true;
}

template <class Source, class Target>
bool RunMethod(const Pass& pass, const Source& s, const Target& t, int32_t method) {
    ZColorTable* table = pass.job.targetTable;
    int32_t width = pass.job.width;
    switch (method) {
        case kDitherErrorDiffusion:
            if constexpr (Target::kIsIndex) {
                return RunDithered<ZRGBErrorDiffusionDitherer, ErrorDiffusionMapper>(pass, s, t, width,
                                                                                     table);
            } else {
                return RunDithered<ZLevelErrorDiffusionDitherer, ErrorDiffusionMapper>(pass, s, t, width);
            }
        case kDitherOrdered:
            if constexpr (Target::kIsIndex) {
                return RunDithered<ZRGBOrderedDitherer, OrderedMapper>(pass, s, t, table);
            } else {
                return RunDithered<ZOrderedDitherer, OrderedMapper>(pass, s, t);
            }
        case kDitherRandom:
            if constexpr (Target::kIsIndex) {
                return RunDithered<ZRGBRandomDitherer, RandomMapper>(pass, s, t, table);
            } else {
                return RunDithered<ZRandomDitherer, RandomMapper>(pass, s, t);
            }
        default:
            return RunPlain<Source, Target, ColourMapper>(pass, s, t);
    }
}

// Quantises into the target palette, carrying the key.
template <class Source>
bool QuantiseToPalette(const ZConversion& job, ZTransferMode& mode, const Source& s, ScanOrder order) {
    Pass pass{job, SourceKey(s, mode), order};
    IndexTarget t{nullptr, 0};
    if (!MakeIndexTarget(job.targetTable, pass.key, t) || !RunMethod(pass, s, t, GetPaletteDitherMethod())) {
        return false;
    }
    CarryKey(pass.key, job.targetDepth, mode);
    return true;
}

// Any routine whose target is a word or byte format: the key becomes its code in the target.
template <class Source, class Target, class Run>
bool ConvertDeep(const ZConversion& job, ZTransferMode& mode, const Source& s, const Target& t, Run run) {
    Pass pass{job, SourceKey(s, mode), ScanOrder::kLeftToRight};
    pass.key.target = t.FromColour(pass.key.rgb);
    if (!run(pass)) {
        return false;
    }
    CarryKey(pass.key, job.targetDepth, mode);
    return true;
}

// Plain copy for palettes that agree entry for entry.
void CopyIndexRows(const ZConversion& job) {
    for (int32_t row = 0; row < job.height; ++row) {
        std::memmove(job.target + int64_t(row) * job.targetStep, job.source + int64_t(row) * job.sourceStep,
                     size_t(job.width));
    }
}

bool HasPalette(const ZConversion& job) {
    return job.sourceTable != nullptr && job.sourceTable->GetCount() > 0;
}

// ---- the table: rows are source depths, columns target depths; null where nothing converts.

struct ConverterCell {
    int32_t sourceDepth;
    int32_t targetDepth;
    ZConverterRoutine routine;
};

constexpr ConverterCell kConverterTable[] = {
    {8, 8, ConvertPaletteToPalette},
    {8, 15, ConvertPaletteLookup},
    {8, 16, ConvertPaletteLookup},
    {8, 24, ConvertPaletteLookup},
    {8, 32, ConvertPaletteLookup},
    {15, 8, ConvertToPalette},
    {15, 15, nullptr},
    {15, 16, ConvertWidenGreen},
    {15, 24, ConvertExpand},
    {15, 32, ConvertExpand},
    {16, 8, ConvertToPalette},
    {16, 15, ConvertNarrowGreen},
    {16, 16, nullptr},
    {16, 24, ConvertExpand},
    {16, 32, ConvertExpand},
    {24, 8, ConvertToPalette},
    {24, 15, ConvertReduce},
    {24, 16, ConvertReduce},
    {24, 24, nullptr},
    {24, 32, ConvertMoveBytes},
    {32, 8, ConvertToPalette},
    {32, 15, ConvertReduce},
    {32, 16, ConvertReduce},
    {32, 24, ConvertMoveBytes},
    {32, 32, nullptr},
};
static_assert(std::size(kConverterTable) == 25, "one cell for every pair of the five depths");

constexpr bool CellsAreUnique() {
    for (size_t i = 0; i < std::size(kConverterTable); ++i) {
        for (size_t j = i + 1; j < std::size(kConverterTable); ++j) {
            if (kConverterTable[i].sourceDepth == kConverterTable[j].sourceDepth &&
                kConverterTable[i].targetDepth == kConverterTable[j].targetDepth) {
                return false;
            }
        }
    }
    return true;
}
static_assert(CellsAreUnique(), "exact keys: no pair of depths may appear twice");

bool IsAlphaPlane(const ZOffscreen& o) {
    return o.GetDepth() == 8 && (o.GetFormat() & 0x7FFF) == kFormatAlpha8;
}

bool IsWord(int32_t depth) {
    return depth == 15 || depth == 16;
}

bool IsForeignWord(const ZOffscreen& o) {
    return IsWord(o.GetDepth()) && (o.GetFormat() & kNativeByteOrder) == 0;
}

ZConversion MakeConversion(const ZOffscreen& source, const ZOffscreen& target, const ZCopyArea& area) {
    ZConversion job;
    job.source = source.RowAddress(area.sourceY) + int64_t(area.sourceX) * BytesPerPixel(source.GetDepth());
    job.sourceStep = source.RowStep();
    job.sourceDepth = source.GetDepth();
    job.sourceFormat = source.GetFormat();
    job.target = target.RowAddress(area.targetY) + int64_t(area.targetX) * BytesPerPixel(target.GetDepth());
    job.targetStep = target.RowStep();
    job.targetDepth = target.GetDepth();
    job.targetFormat = target.GetFormat();
    job.width = area.width;
    job.height = area.height;
    return job;
}

}  // namespace

bool ConvertPaletteToPalette(const ZConversion& job, ZTransferMode& mode) {
    if (!HasPalette(job) || job.targetTable == nullptr) {
        return false;
    }
    if (job.targetTable->Equals(job.sourceTable)) {
        CopyIndexRows(job);
        return true;
    }
    // This converter alone scans right to left; the error then runs the other way along each row.
    return QuantiseToPalette(job, mode, IndexSource{job.sourceTable->GetEntryData()},
                             ScanOrder::kRightToLeft);
}

bool ConvertPaletteLookup(const ZConversion& job, ZTransferMode& mode) {
    if (!HasPalette(job)) {
        return false;
    }
    IndexSource s{job.sourceTable->GetEntryData()};
    return VisitDeep(job.targetDepth, job.targetFormat, [&](auto t) {
        return ConvertDeep(job, mode, s, t, [&](const Pass& pass) {
            return RunPlain<IndexSource, decltype(t), ColourMapper>(pass, s, t);
        });
    });
}

bool ConvertWidenGreen(const ZConversion& job, ZTransferMode& mode) {
    WordPixel<5> s;
    WordPixel<6> t;
    return ConvertDeep(job, mode, s, t, [&](const Pass& pass) {
        return RunPlain<WordPixel<5>, WordPixel<6>, GreenMapper>(pass, s, t);
    });
}

bool ConvertNarrowGreen(const ZConversion& job, ZTransferMode& mode) {
    WordPixel<6> s;
    WordPixel<5> t;
    return ConvertDeep(job, mode, s, t, [&](const Pass& pass) {
        return RunPlain<WordPixel<6>, WordPixel<5>, GreenMapper>(pass, s, t);
    });
}

bool ConvertExpand(const ZConversion& job, ZTransferMode& mode) {
    return VisitWord(job.sourceDepth, [&](auto s) {
        return VisitBytes(job.targetDepth, job.targetFormat, [&](auto t) {
            return ConvertDeep(job, mode, s, t, [&](const Pass& pass) {
                return RunPlain<decltype(s), decltype(t), ColourMapper>(pass, s, t);
            });
        });
    });
}

bool ConvertMoveBytes(const ZConversion& job, ZTransferMode& mode) {
    return VisitBytes(job.sourceDepth, job.sourceFormat, [&](auto s) {
        return VisitBytes(job.targetDepth, job.targetFormat, [&](auto t) {
            return ConvertDeep(job, mode, s, t, [&](const Pass& pass) {
                return RunPlain<decltype(s), decltype(t), ColourMapper>(pass, s, t);
            });
        });
    });
}

bool ConvertReduce(const ZConversion& job, ZTransferMode& mode) {
    int32_t method = GetHighColorDitherMethod();
    return VisitBytes(job.sourceDepth, job.sourceFormat, [&](auto s) {
        return VisitWord(job.targetDepth, [&](auto t) {
            return ConvertDeep(job, mode, s, t,
                               [&](const Pass& pass) { return RunMethod(pass, s, t, method); });
        });
    });
}

bool ConvertToPalette(const ZConversion& job, ZTransferMode& mode) {
    return VisitDeep(job.sourceDepth, job.sourceFormat,
                     [&](auto s) { return QuantiseToPalette(job, mode, s, ScanOrder::kLeftToRight); });
}

ZConverterRoutine SelectConverter(int32_t sourceDepth, int32_t targetDepth) {
    for (const ConverterCell& cell : kConverterTable) {
        if (cell.sourceDepth == sourceDepth && cell.targetDepth == targetDepth) {
            return cell.routine;
        }
    }
    return nullptr;
}

bool ConvertArea(ZOffscreen& source, ZOffscreen& target, const ZCopyArea& area, ZTransferMode& mode) {
    if (source.GetPixels() == nullptr || target.GetPixels() == nullptr || area.width <= 0 ||
        area.height <= 0) {
        return false;
    }
    // Alpha bytes are coverage; read as indices they would come out as arbitrary colours.
    if (IsAlphaPlane(source) || IsAlphaPlane(target) || IsForeignWord(source)) {
        return false;
    }
    ZConverterRoutine routine = SelectConverter(source.GetDepth(), target.GetDepth());
    if (routine == nullptr) {
        return false;
    }
    ZConversion job = MakeConversion(source, target, area);
    job.sourceTable = source.GetColorTable();
    job.targetTable = target.GetColorTable();
    bool done = routine(job, mode);
    if (done && IsForeignWord(target)) {
        // The routines write native words; a big-endian target gets its bytes turned afterwards.
        ZOffscreen::ConvertByteOrder(job.target, job.targetStep, job.width, job.height, job.targetDepth,
                                     int16_t(target.GetFormat() | kNativeByteOrder), target.GetFormat());
    }
    if (job.sourceTable != nullptr) {
        job.sourceTable->Release();
    }
    if (job.targetTable != nullptr) {
        job.targetTable->Release();
    }
    return done;
}
