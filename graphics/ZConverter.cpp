#include "graphics/ZConverter.h"

// The converter table lands with the ditherers; until then nothing converts.
bool ConvertArea(ZOffscreen&, ZOffscreen&, const ZCopyArea&, ZTransferMode&) {
    return false;
}
