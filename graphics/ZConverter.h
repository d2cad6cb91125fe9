// Converters: plain row routines that change pixel format, chosen by (source depth, target depth), which
// dither where the target holds fewer colours.
#pragma once

#include "graphics/ZCopyArea.h"
#include "graphics/ZTransferMode.h"

class ZOffscreen;

// Converts area of source into target, whose format or palette differs. mode is the source's transfer
// mode; the converter updates it when a transparent index or key colour is carried into the target's
// format. False when no converter exists for the pair or a table it needs is missing.
bool ConvertArea(ZOffscreen& source, ZOffscreen& target, const ZCopyArea& area, ZTransferMode& mode);
