// The two facts kestdemo takes from a photo's EXIF block: how the camera was held (Orientation, tag
// 0x0112) and the photographer's description (ImageDescription, tag 0x010E). Only IFD0 is read, so a
// chain of IFD offsets, looping or not, is never followed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace exif {

struct Info {
    int orientation = 1;      // 1..8 as EXIF numbers them; 1 when absent or out of range
    std::string description;  // the bytes up to the first NUL, untrimmed; empty when absent
};

// Reads an APP1 segment's payload (the bytes after its length: "Exif\0\0", then the TIFF structure in
// either byte order). False when it is not an EXIF block or its header or IFD0 does not fit in the data;
// info then holds the defaults. An entry whose value lies outside the data is ignored.
bool Parse(const uint8_t* data, size_t size, Info& info);

}  // namespace exif
