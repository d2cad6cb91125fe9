// Reads arbitrary bytes as a Targa file and decodes what passes the header into 8- and 32-bit targets,
// converting from the file's depth as pictures do.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzReader.h"
#include "imaging/ZTargaImageReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::InputFile input(data, size);
    if (!input.IsOpen()) {
        return 0;
    }
    ZTargaImageReader reader(input.Get());
    if (reader.ReadHeader() != 0) {
        return 0;
    }
    for (int32_t depth : {8, 32}) {
        fuzzsupport::Decode(reader, depth, kLoadPixels | kLoadAlpha | kLoadColorTable, 0);
    }
    return 0;
}
