// Scaling: a picture is resized in two passes, a horizontal one from one offscreen into another of the
// same format, then a vertical one. Each pass picks a row routine by the factor x = target length /
// source length, the depth and the format, from a table of resampling methods.
#pragma once

#include <cstdint>

#include "core/ZRect.h"

class ZColorTable;
class ZOffscreen;

enum : int32_t {
    kScaleNearest = 1,         // nearest sample
    kScaleBoxAverage = 2,      // average of power-of-two samples per target pixel; shrinking only
    kScaleLinear = 3,          // linear interpolation between neighbours; enlarging only
    kScaleDoubleRepeat = 9,    // every source pixel written twice
    kScaleDoubleAverage = 10,  // source pixels with their rounded-up averages in between
};

// The process-wide choice of method for each case of the factor x.
struct ZScaleMethods {
    int32_t shrink = kScaleBoxAverage;    // x <= 1
    int32_t enlarge = kScaleLinear;       // 1 < x, x != 2
    int32_t twice = kScaleDoubleAverage;  // x = 2 exactly
};
void SetScaleMethods(const ZScaleMethods& methods);
ZScaleMethods GetScaleMethods();
// The method the settings give for the lengths, or 0 when the setting does not fit its case (box average
// when enlarging, linear interpolation when shrinking or at the same size) or a length is not positive.
int32_t ScaleMethodFor(int32_t sourceLength, int32_t targetLength);

// A row routine scales `lines` lines of sourceLength samples into lines of targetLength samples. A
// horizontal routine walks along rows: stride is the step from one row to the next. A vertical routine
// walks down columns: stride is the step from one sample to the next, and the lines are the columns side
// by side. Strides are negative for bottom-up offscreens. Indexed 8-bit routines other than nearest and
// repetition read the colour table's entries and inverse table.
using ZScaleRoutine = void (*)(const uint8_t* source, int32_t sourceStride, int32_t sourceLength,
                               uint8_t* target, int32_t targetStride, int32_t targetLength, int32_t lines,
                               int16_t format, ZColorTable* colorTable);

// The routine for the method the settings give, the depth and the format; null when none fits.
ZScaleRoutine SelectHorizontalScaler(int32_t sourceLength, int32_t targetLength, int32_t depth,
                                     int16_t format);
ZScaleRoutine SelectVerticalScaler(int32_t sourceLength, int32_t targetLength, int32_t depth, int16_t format);

// Scales sourceRect of source onto targetRect of target along one axis; the other axis is copied line for
// line. Clipping keeps the factor of the whole rectangles: a target pixel is drawn when it lies on the
// target and the source pixel nearest its centre lies on the source, and it shows what it shows when
// nothing is cut (reads that would fall off the source take its edge pixel). False, with nothing drawn,
// when the formats differ, 8-bit offscreens hold different colour tables, a rectangle is empty or clipped
// away, or no routine fits. For an indexed offscreen whose colour table has no inverse table yet every
// case uses the nearest sample.
bool ScaleHorizontal(ZOffscreen& source, ZOffscreen& target, const ZRect& sourceRect,
                     const ZRect& targetRect);
bool ScaleVertical(ZOffscreen& source, ZOffscreen& target, const ZRect& sourceRect, const ZRect& targetRect);
