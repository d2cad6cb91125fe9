#include "imaging/ZRunLengthCodec.h"

#include <algorithm>
#include <cstring>

namespace {

enum : uint8_t { kEndOfLine = 0, kEndOfBitmap = 1, kDelta = 2 };

}  // namespace

bool ZRunLengthCodec::Put(uint8_t pixel) {
    if (y_ >= rows_) {
        return false;
    }
    // Pixels past the row's width are dropped; the position stays at the row's end.
    if (x_ < width_) {
        output_[size_t(y_) * size_t(stride_) + size_t(x_)] = pixel;
        ++x_;
    }
    return true;
}

bool ZRunLengthCodec::AbsoluteRun(int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        uint8_t pixel = input_.U8();
        if (!input_.Ok() || !Put(pixel)) {
            return false;
        }
    }
    return true;
}

bool ZRunLengthNibbleCodec::AbsoluteRun(int32_t count) {
    uint8_t pair = 0;
    for (int32_t i = 0; i < count; ++i) {
        if ((i & 1) == 0) {
            pair = input_.U8();
        }
        if (!input_.Ok() || !Put(RunPixel(pair, i))) {
            return false;
        }
    }
    return true;
}

int32_t ZRunLengthCodec::Decode(int32_t count) {
    if (output_ == nullptr || width_ < 1 || stride_ < width_ || count < 1) {
        return 0;
    }
    rows_ = count;
    x_ = 0;
    y_ = 0;
    std::memset(output_, 0, size_t(stride_) * size_t(rows_));
    while (true) {
        uint8_t n = input_.U8();
        uint8_t v = input_.U8();
        if (!input_.Ok()) {
            return 0;  // the data ended without an end-of-bitmap command
        }
        if (n > 0) {
            for (int32_t i = 0; i < n; ++i) {
                if (!Put(RunPixel(v, i))) {
                    return 0;
                }
            }
        } else if (v == kEndOfLine) {
            // The line ends where it is, even when its last pixel filled the row: the position is still
            // on that row, so the next row is not skipped.
            x_ = 0;
            ++y_;
        } else if (v == kEndOfBitmap) {
            return int32_t(int64_t(y_) * stride_ + x_);
        } else if (v == kDelta) {
            uint8_t dx = input_.U8();
            uint8_t dy = input_.U8();
            x_ = std::min(x_ + dx, width_);
            y_ += dy;
        } else {
            if (!AbsoluteRun(v)) {
                return 0;
            }
            if ((AbsoluteBytes(v) & 1) != 0) {
                input_.Skip(1);  // absolute runs are padded to 16 bits
            }
        }
        // The position may reach the end of the last row (a final end of line), never pass it.
        if (!input_.Ok() || y_ > rows_ || (y_ == rows_ && x_ > 0)) {
            return 0;
        }
    }
}
