// A platform font object as the framework creates it: a face name, a character height and a style, opened
// through the platform's font service. A font whose face cannot be opened still exists; it measures 0 and
// draws nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/CObject.h"
#include "platform/Font.h"

class CFont : public CObject {
  public:
    CFont() = default;
    ~CFont() override = default;

    // height < 0 is the character height in pixels, > 0 is taken as the character height too, 0 means 12;
    // weight 600 and above is bold. Width, escapement, orientation, strike-out, character set, precisions,
    // quality and pitch-and-family are accepted and have no effect. False when the face cannot be opened.
    bool CreateFont(int32_t height, int32_t width, int32_t escapement, int32_t orientation, int32_t weight,
                    uint8_t italic, uint8_t underline, uint8_t strikeOut, uint8_t charSet,
                    uint8_t outPrecision, uint8_t clipPrecision, uint8_t quality, uint8_t pitchAndFamily,
                    const char* face);
    // Closes the face.
    void DeleteObject() { face_.reset(); }

    // The opened face, or null.
    platform::FontFace* GetFace() const { return face_.get(); }
    // What the font was created with, so that a device can open the same face at another size.
    const std::string& GetFaceName() const { return faceName_; }
    int32_t GetPixelSize() const { return pixelSize_; }
    int32_t GetStyleBits() const { return styleBits_; }

  private:
    std::unique_ptr<platform::FontFace> face_;
    std::string faceName_;
    int32_t pixelSize_ = 0;
    int32_t styleBits_ = 0;
};
