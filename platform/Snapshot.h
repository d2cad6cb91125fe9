// Writes the virtual screen to a PNG file, so that any frame can be looked at without a display.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

class Display;

bool WritePngSnapshot(Display& display, const std::string& path, std::string& error);
// Writes width x height pixels of 3 bytes R, G, B, rows packed top first, as a PNG file.
bool WritePngRgb(const std::string& path, int width, int height, const uint8_t* rgb, std::string& error);

}  // namespace platform
