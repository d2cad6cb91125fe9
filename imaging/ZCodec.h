// The base of the framework's codecs. Each codec works on memory its caller owns and moves through it
// one call at a time (a row, a run of rows); the base does nothing, so a codec overrides only the side it
// has. Decoders stop at the end of their input and of their output and say so by their result: they never
// read or write outside the blocks they were given.
#pragma once

#include <cstdint>

class ZCodec {
  public:
    virtual ~ZCodec() = default;
    // Encodes count units; the result is the codec's own (0 in the base).
    virtual int32_t Encode(int32_t count) {
        (void)count;
        return 0;
    }
    // Decodes up to count units; the result is the codec's own (0 in the base: nothing decoded).
    virtual int32_t Decode(int32_t count) {
        (void)count;
        return 0;
    }
};
