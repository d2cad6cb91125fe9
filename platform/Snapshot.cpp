#include "platform/Snapshot.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/Display.h"

namespace platform {

namespace {

struct FileCloser {
    FILE* file;
    ~FileCloser() {
        if (file != nullptr) {
            std::fclose(file);
        }
    }
};

// libpng reports errors by longjmp; everything that needs cleaning up lives outside this function.
bool WriteRows(FILE* file, int width, int height, std::vector<png_bytep>& rows) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool WritePngSnapshot(Display& display, const std::string& path, std::string& error) {
    display.UpdateFrame();
    const ScreenMode& mode = display.GetMode();
    std::vector<uint8_t> pixels(size_t(mode.width) * size_t(mode.height) * 3);
    const uint32_t* frame = display.GetFrame();
    for (size_t i = 0; i < size_t(mode.width) * size_t(mode.height); ++i) {
        pixels[i * 3 + 0] = static_cast<uint8_t>(frame[i] >> 16);
        pixels[i * 3 + 1] = static_cast<uint8_t>(frame[i] >> 8);
        pixels[i * 3 + 2] = static_cast<uint8_t>(frame[i]);
    }
    if (!WritePngRgb(path, mode.width, mode.height, pixels.data(), error)) {
        error = "cannot write snapshot " + error;
        return false;
    }
    return true;
}

bool WritePngRgb(const std::string& path, int width, int height, const uint8_t* rgb, std::string& error) {
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        rows[size_t(y)] = const_cast<uint8_t*>(rgb) + size_t(y) * size_t(width) * 3;
    }
    FileCloser out{std::fopen(path.c_str(), "wb")};
    if (out.file == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    if (!WriteRows(out.file, width, height, rows) || std::fflush(out.file) != 0) {
        error = path;
        return false;
    }
    return true;
}

}  // namespace platform
