#include "imaging/ZCMYKColor.h"

#include "graphics/ZLookupTable.h"
#include "graphics/ZOffscreen.h"

bool ConvertCMYKToRGB(const uint8_t* cmyk, int32_t width, int32_t height, ZOffscreen& target) {
    if (target.GetDepth() != 24 || target.GetPixels() == nullptr || width > target.GetWidth() ||
        height > target.GetHeight()) {
        return false;
    }
    ZClipTable* clip = AcquireClipTable(0, 0, 256, -256, 512);
    if (clip == nullptr) {
        return false;
    }
    ZTableView<int32_t> view = clip->View();
    bool rgb = target.GetFormat() == kFormatRGB24;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* from = cmyk + size_t(y) * size_t(width) * 4;
        uint8_t* to = target.RowAddress(y);
        for (int32_t x = 0; x < width; ++x, from += 4, to += 3) {
            int32_t paper = 255 - from[3];
            uint8_t component[3];
            for (int32_t i = 0; i < 3; ++i) {
                component[i] = uint8_t(view[paper - ((paper * from[i]) >> 8)]);
            }
            to[0] = component[rgb ? 0 : 2];
            to[1] = component[1];
            to[2] = component[rgb ? 2 : 0];
        }
    }
    ReleaseTable(clip);
    return true;
}
