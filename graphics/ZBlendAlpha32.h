// The hottest routine of the show: 32-bit pixels over 32-bit pixels through a 6-bit alpha plane. Weight 0
// leaves the target, 63 copies the source pixel whole, any other weight w gives per byte
// floor((d (64 - k) + s k) / 64) with k = w + 1, and the byte outside colourMask (the ignored one) 0.
// The vector version gives exactly the bytes of the plain one.
#pragma once

#include <cstdint>

void BlendAlphaRow32Plain(const uint8_t* source, uint8_t* target, const uint8_t* alpha, int32_t count,
                          uint32_t colourMask);
// The vector version where the machine has one, else the plain one.
void BlendAlphaRow32(const uint8_t* source, uint8_t* target, const uint8_t* alpha, int32_t count,
                     uint32_t colourMask);
