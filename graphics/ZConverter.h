// Converters: plain row routines that change pixel format, chosen by (source depth, target depth), which
// dither where the target holds fewer colours.
//
// Keys travel with the pixels. A transparent index (8-bit sources) or key colour (deeper sources) comes
// out as the key in the target's own encoding, and any other pixel that would land on that encoding is
// moved off it by one step: the palette's runner-up entry on 8-bit targets, the lowest bit of blue
// elsewhere. The mode then names the key as the target sees it.
//
// Alpha planes (8-bit alpha format) are never converted: their bytes are coverage, not palette indices
// or colours, so any conversion to or from one is refused.
#pragma once

#include <cstdint>

#include "graphics/ZCopyArea.h"
#include "graphics/ZTransferMode.h"

class ZColorTable;
class ZOffscreen;

// One call of a converter: the first pixel of each side, the signed step from one image row to the next,
// depth, format and colour table of each side (tables are borrowed, not referenced), and the extent.
// 15- and 16-bit sides hold native (little-endian) words.
struct ZConversion {
    const uint8_t* source = nullptr;
    int32_t sourceStep = 0;
    int32_t sourceDepth = 0;
    int16_t sourceFormat = 0;
    ZColorTable* sourceTable = nullptr;
    uint8_t* target = nullptr;
    int32_t targetStep = 0;
    int32_t targetDepth = 0;
    int16_t targetFormat = 0;
    ZColorTable* targetTable = nullptr;
    int32_t width = 0;
    int32_t height = 0;
};

// mode is the source's transfer mode, updated when a key is carried into the target's format. False when
// a table the routine needs is missing or a format does not belong to its depth; nothing is written then.
using ZConverterRoutine = bool (*)(const ZConversion& job, ZTransferMode& mode);

// The routines of the converter table, one per family.
bool ConvertPaletteToPalette(const ZConversion& job, ZTransferMode& mode);  // 8 -> 8
bool ConvertPaletteLookup(const ZConversion& job, ZTransferMode& mode);     // 8 -> 15, 16, 24, 32
bool ConvertWidenGreen(const ZConversion& job, ZTransferMode& mode);        // 15 -> 16
bool ConvertNarrowGreen(const ZConversion& job, ZTransferMode& mode);       // 16 -> 15
bool ConvertExpand(const ZConversion& job, ZTransferMode& mode);            // 15, 16 -> 24, 32
bool ConvertMoveBytes(const ZConversion& job, ZTransferMode& mode);         // 24 <-> 32
bool ConvertReduce(const ZConversion& job, ZTransferMode& mode);            // 24, 32 -> 15, 16
bool ConvertToPalette(const ZConversion& job, ZTransferMode& mode);         // 15, 16, 24, 32 -> 8

// The routine for a pair of depths, or null: between two formats of one depth nothing converts.
ZConverterRoutine SelectConverter(int32_t sourceDepth, int32_t targetDepth);

// Converts area of source into target, whose format or palette differs. mode is the source's transfer
// mode; the converter updates it when a transparent index or key colour is carried into the target's
// format. False when no converter exists for the pair, a side is an alpha plane, a 16-bit source is not
// in native byte order, or a table the converter needs is missing.
bool ConvertArea(ZOffscreen& source, ZOffscreen& target, const ZCopyArea& area, ZTransferMode& mode);
