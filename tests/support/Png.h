// Reading and writing the PNG snapshots the tests compare, through libpng's simplified API.
#pragma once

#include <png.h>

#include <cstdint>
#include <filesystem>
#include <vector>

namespace testsupport {

// 0x00RRGGBB pixels, top row first.
struct Image {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int32_t x, int32_t y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

// False when the file is no readable PNG.
inline bool ReadPng(const std::filesystem::path& path, Image& image) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&png, path.c_str()) == 0) {
        return false;
    }
    png.format = PNG_FORMAT_BGRA;  // little-endian words of 0xAARRGGBB
    image.width = int32_t(png.width);
    image.height = int32_t(png.height);
    image.pixels.assign(size_t(png.width) * png.height, 0);
    if (png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr) == 0) {
        png_image_free(&png);
        return false;
    }
    for (uint32_t& p : image.pixels) {
        p &= 0xFFFFFF;
    }
    return true;
}

inline bool WritePng(const std::filesystem::path& path, const Image& image) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = uint32_t(image.width);
    png.height = uint32_t(image.height);
    png.format = PNG_FORMAT_BGRA;
    std::vector<uint32_t> opaque(image.pixels);
    for (uint32_t& p : opaque) {
        p |= 0xFF000000;
    }
    return png_image_write_to_file(&png, path.c_str(), 0, opaque.data(), 0, nullptr) != 0;
}

// One colour component (0 blue, 1 green, 2 red) of a pixel.
inline int Channel(uint32_t p, int c) {
    return int((p >> (8 * c)) & 0xFF);
}

}  // namespace testsupport
