#include "tools/itemwriter/ItemWriter.h"

#include <algorithm>
#include <cstdlib>

namespace itemwriter {

namespace {

void Put16(std::string& out, int32_t v) {
    out.push_back(char(v & 0xFF));
    out.push_back(char((v >> 8) & 0xFF));
}

void Put32(std::string& out, int64_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(char((v >> (8 * i)) & 0xFF));
    }
}

// Where each part of an image lands in the item.
struct Layout {
    size_t pixels = 0;
    size_t alpha = 0;
    size_t colorTable = 0;
};

}  // namespace

int32_t DefaultStride(int32_t width, int32_t depth) {
    return (width * ((depth + 7) / 8) + 3) & ~3;
}

std::string WriteRix(const std::vector<RawImage>& images) {
    constexpr size_t kHeaderSize = 58;
    std::string out;
    std::string data;
    std::vector<Layout> layouts;
    size_t dataStart = kHeaderSize * images.size();
    for (const RawImage& image : images) {
        Layout layout;
        int32_t stride = image.stride != 0 ? image.stride : DefaultStride(image.width, image.depth);
        int32_t rows = std::abs(int32_t(image.height));
        layout.pixels = dataStart + data.size();
        for (int32_t i = 0; i < rows; ++i) {
            int32_t row = image.bottomUp ? rows - 1 - i : i;
            size_t from = size_t(row) * size_t(stride);
            std::string bytes(size_t(stride), '\0');
            if (from < image.pixels.size()) {
                size_t n = std::min(size_t(stride), image.pixels.size() - from);
                std::copy_n(image.pixels.begin() + std::ptrdiff_t(from), n, bytes.begin());
            }
            data += bytes;
        }
        layout.alpha = dataStart + data.size();
        data.append(image.alpha.begin(), image.alpha.end());
        layout.colorTable = dataStart + data.size();
        data += image.colorTable;
        layouts.push_back(layout);
    }
    for (size_t i = 0; i < images.size(); ++i) {
        const RawImage& image = images[i];
        const Layout& layout = layouts[i];
        int32_t stride = image.stride != 0 ? image.stride : DefaultStride(image.width, image.depth);
        int32_t rows = std::abs(int32_t(image.height));
        Put16(out, int32_t(images.size()));
        Put16(out, image.width);
        Put16(out, image.bottomUp ? -rows : rows);
        Put16(out, image.x);
        Put16(out, image.y);
        Put16(out, image.visible ? 1 : 0);
        Put16(out, image.depth);
        Put32(out, int64_t(stride) * rows);
        Put32(out, int64_t(layout.pixels));
        Put32(out, int64_t(image.alpha.size()));
        Put32(out, image.alpha.empty() ? image.alphaId : int64_t(layout.alpha));
        Put32(out, 0);
        Put32(out, image.maskId);
        Put32(out, int64_t(image.colorTable.size()));
        Put32(out, image.colorTable.empty() ? 0 : int64_t(layout.colorTable));
        out.push_back(char(image.transferFlags));
        out.push_back(char(image.opacity));
        out.push_back(char(image.transparentIndex));
        out.append(reinterpret_cast<const char*>(image.keyColor), 3);
        Put16(out, image.frameCount);
        Put16(out, image.format);
        Put16(out, 0);
    }
    return out + data;
}

std::string WriteRax(int16_t width, int16_t height, const std::vector<uint8_t>& values) {
    std::string out;
    int32_t stride = (width + 3) & ~3;
    Put16(out, width);
    Put16(out, height);
    Put32(out, stride);
    for (int32_t y = 0; y < std::abs(int32_t(height)); ++y) {
        std::string row(size_t(stride), '\0');
        for (int32_t x = 0; x < width; ++x) {
            size_t at = size_t(y) * size_t(width) + size_t(x);
            row[size_t(x)] = at < values.size() ? char(values[at]) : 0;
        }
        out += row;
    }
    return out;
}

std::string WriteRcx(const uint8_t* rgb, int32_t count, const uint8_t* inverse, const uint16_t* blend) {
    std::string out;
    Put16(out, count);
    out.append(reinterpret_cast<const char*>(rgb), size_t(std::max(count, 0)) * 3);
    if (inverse == nullptr && blend == nullptr) {
        return out;
    }
    Put16(out, (inverse != nullptr ? 0x08 : 0) | (blend != nullptr ? 0x20 : 0));
    if (inverse != nullptr) {
        out.append(reinterpret_cast<const char*>(inverse), 65536);
    }
    if (blend != nullptr) {
        for (int32_t i = 0; i < 64 * 256; ++i) {
            Put16(out, blend[i]);
        }
    }
    return out;
}

std::string WriteRdx(int16_t ascent, int16_t descent, const uint8_t widths[256]) {
    std::string out;
    Put16(out, ascent);
    Put16(out, descent);
    for (int32_t c = 0; c < 256; ++c) {
        Put16(out, widths[c]);
    }
    return out;
}

std::string WriteFont(int16_t ascent, int16_t descent, const uint8_t widths[256], const std::string& face,
                      int16_t style) {
    std::string out = WriteRdx(ascent, descent, widths);
    Put32(out, int64_t(face.size()));
    out += face;
    Put16(out, style);
    return out;
}

}  // namespace itemwriter
