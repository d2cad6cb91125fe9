// Reads arbitrary bytes as a Photoshop document and decodes what passes the header: the merged image, the
// composed layers, each layer and all layers chained, into 8-, 24- and 32-bit targets.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzReader.h"
#include "imaging/ZPhotoshopImageReader.h"

namespace {

constexpr int32_t kMaxLayers = 8;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::InputFile input(data, size);
    if (!input.IsOpen()) {
        return 0;
    }
    ZPhotoshopImageReader reader(input.Get());
    if (reader.ReadHeader() != 0) {
        return 0;
    }
    int32_t layers = reader.GetImageCount() < kMaxLayers ? reader.GetImageCount() : kMaxLayers;
    for (int32_t depth : {8, 24, 32}) {
        fuzzsupport::Decode(reader, depth, kLoadPixels, kImageComposed);
        fuzzsupport::Decode(reader, depth, kLoadPixels | kLoadAlpha, kImageComposed);
        for (int32_t i = 0; i < layers; ++i) {
            fuzzsupport::Decode(reader, depth, kLoadPixels | kLoadAlpha, i);
        }
    }
    if (reader.GetImageCount() <= kMaxLayers) {
        fuzzsupport::Decode(reader, 32, kLoadPixels | kLoadAlpha | kLoadColorTable, kImageAllChained);
    }
    return 0;
}
