// The framework's CMYK conversion: ink amounts (0 none, 255 full) of cyan, magenta, yellow and black
// become red, green and blue, each 255 - k - (255 - k) * ink / 256, clipped through the shared 0..255
// clip table. The scaling by 256 keeps every value inside the table's range.
#pragma once

#include <cstdint>

class ZOffscreen;

// Converts height rows of width pixels, 4 bytes C, M, Y, K each and width * 4 bytes a row, into the
// top-left of a 24-bit target (R, G, B for format 5, else B, G, R). False when the target is not 24-bit
// or too small, or the clip table cannot be had.
bool ConvertCMYKToRGB(const uint8_t* cmyk, int32_t width, int32_t height, ZOffscreen& target);
