// What the BMP and Targa tests share: byte writers for the little-endian files they make, a decode through
// the framework's reader table into a 32-bit offscreen, stb_image's decode of the same bytes, and kestimg
// on the files written to a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "graphics/ZOffscreen.h"
#include "media/ZTypeCode.h"
#include "tests/support/ProcessState.h"

namespace bmptga {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
inline void Put32(Bytes& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// A picture as 0xRRGGBB per pixel, rows top first.
struct Rgb {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int32_t x, int32_t y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

// Decodes bytes as an item of type at depth (as a picture does, in the default storage kind) through the
// installed reader table. Null on failure, with the reader's reason in error.
std::unique_ptr<ZOffscreen> Decode(const Bytes& bytes, ZTypeCode type, std::string& error,
                                   int32_t depth = 32);
// The picture of an offscreen.
Rgb PictureOf(const ZOffscreen& offscreen);
// stb_image's picture of the bytes; empty when it cannot decode them.
Rgb StbPicture(const Bytes& bytes);
// Expects equal sizes and pixels, each channel within tolerance.
void ExpectSamePicture(const Rgb& got, const Rgb& want, int32_t tolerance, const std::string& what);

// A scratch folder for files and kestimg runs, removed after the test.
class ToolFolder {
  public:
    ToolFolder();
    ~ToolFolder();
    std::string Write(const std::string& name, const Bytes& bytes) const;
    // kestimg with args; err receives its message stream.
    static int Kestimg(const std::vector<std::string>& args, std::string& err);
    // The picture of a binary PPM file kestimg wrote; empty when it is not one.
    static Rgb ReadPpm(const std::string& path);

  private:
    std::string dir_;
};

// Writes bytes into folder/name for each seed when KEST_WRITE_SEEDS names a corpus folder (used to make
// the fuzz targets' seeds from the tests' own writers).
void WriteSeedsIfAsked(const std::string& corpus, const std::vector<std::pair<std::string, Bytes>>& seeds);

class BmpTargaTest : public testsupport::ProcessStateTest {
  protected:
    void SetUp() override;
};

}  // namespace bmptga
