#include "platform/CFont.h"

bool CFont::CreateFont(int32_t height, int32_t, int32_t, int32_t, int32_t weight, uint8_t italic,
                       uint8_t underline, uint8_t, uint8_t, uint8_t, uint8_t, uint8_t, uint8_t,
                       const char* face) {
    faceName_ = face != nullptr ? face : "";
    pixelSize_ = height == 0 ? 12 : height < 0 ? -height : height;
    styleBits_ = (weight >= 600 ? platform::kFontBold : 0) | (italic != 0 ? platform::kFontItalic : 0) |
                 (underline != 0 ? platform::kFontUnderline : 0);
    face_ = platform::OpenFontFace(faceName_.c_str(), pixelSize_, styleBits_);
    return face_ != nullptr;
}
