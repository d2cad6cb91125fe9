// Reading the user's photographs for kestdemo --photos: JPEG through libjpeg-turbo and PNG through libpng,
// GIF, BMP, Photoshop and Targa through the framework's own readers, recognised by their first bytes, turned
// upright by their EXIF orientation and decoded no larger than needed, so a 100-megapixel panorama costs a
// few megabytes. Cropping to fill and area-averaging down to the show's sizes live here too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/kestdemo/Exif.h"

namespace photo {

// Rows top first of R, G, B bytes.
struct Image {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgb;
};

struct Photo {
    Image image;  // upright
    exif::Info exif;
};

// Reads the photo at path at the smallest size whose sides (once upright) are both at least coverWidth x
// coverHeight, or at its full size when it is smaller. False with a one-line reason in error: not a JPEG
// or PNG file, the decoder's own message for a broken one, or a size beyond what is read. PNG transparency
// is composited onto black.
bool ReadPhoto(const std::string& path, int32_t coverWidth, int32_t coverHeight, Photo& out,
               std::string& error);

// The image as a camera held with the given EXIF orientation (1..8) shows it.
Image Orient(const Image& image, int orientation);

// The middle of the image cut to the aspect of width x height, then brought to that size with each output
// pixel the area-weighted mean of the pixels it covers. Never stretched.
Image CropToFill(const Image& image, int32_t width, int32_t height);

}  // namespace photo
