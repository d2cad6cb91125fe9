#include "graphics/ZOffscreen.h"

// Compositing lands with the compositor table; until then an offscreen draws by copying.
void ZOffscreen::DrawInto(ZOffscreen& target, const ZRect* sourceRect, const ZRect* targetRect) {
    CopyTo(target, sourceRect, targetRect);
}
