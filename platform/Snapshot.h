// Writes the virtual screen to a PNG file, so that any frame can be looked at without a display.
#pragma once

#include <string>

namespace platform {

class Display;

bool WritePngSnapshot(Display& display, const std::string& path, std::string& error);

}  // namespace platform
