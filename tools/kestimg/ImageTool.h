// kestimg: looks at and converts images through the framework's own readers. Each command returns the
// process exit status (0 or 1) and reports a failure as one line on the error stream.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "media/ZTypeCode.h"

namespace imgtool {

// Runs the command line (without the program name). out receives normal output, err the messages.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// A picture decoded by the framework's own readers at 32 bits: R, G, B rows, top first.
struct RgbPicture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgb;
};
// Decodes the picture in the file at path with the reader for type, as convert does: a document's merged
// image, an animation's first frame. A picture of more than maxPixels is refused before it is decoded.
// False with a one-line reason in error (which starts with the path when the reader gave it).
bool DecodeFile(const std::string& path, ZTypeCode type, int64_t maxPixels, RgbPicture& out,
                std::string& error);

}  // namespace imgtool
