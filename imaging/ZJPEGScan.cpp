#include "imaging/ZJPEGScan.h"

#include <cstring>

namespace {

constexpr int32_t kFirstRestart = 0xD0;
constexpr int32_t kLastRestart = 0xD7;
// Bits one coefficient can take: a code of up to 16 bits and a magnitude of up to 11.
constexpr int32_t kCoefficientBits = 27;

// The next Huffman symbol: one look at the fast table for short codes, the length limits for longer.
inline int32_t DecodeSymbol(ZJPEGBitReader::Window& window, const ZJPEGHuffmanTable& table) {
    uint16_t entry = table.Fast(window.PeekBits(ZJPEGHuffmanTable::kFastBits));
    if (entry != 0) {
        window.Skip(entry >> 8);
        return entry & 255;
    }
    int32_t length = 0;
    uint8_t symbol = table.DecodeLong(window.PeekBits(16), length);
    // A code no symbol has: corrupt data, read as the end of the block (or a zero difference).
    window.Skip(length != 0 ? length : 16);
    return symbol;
}

}  // namespace

ZJPEGScanDecoder::ZJPEGScanDecoder(const ZJPEGFrame& frame, const uint8_t* data, size_t size)
    : frame_(frame), reader_(data, size, frame.scanStart), mcusLeft_(frame.restartInterval) {}

void ZJPEGScanDecoder::DecodeBlock(ZJPEGBitReader& source, int16_t* block, const ZJPEGHuffmanTable& dc,
                                   const ZJPEGHuffmanTable& ac, int16_t& predictor) {
    // A local window, so that the compiler keeps the bit buffer in registers.
    ZJPEGBitReader::Window window = source.GetWindow();
    if (window.count < kCoefficientBits) {
        source.Refill(window);
    }
    int32_t size = DecodeSymbol(window, dc);
    int32_t difference = size != 0 ? ExtendJPEGValue(window.Take(size), size) : 0;
    // The predictor keeps 16 bits, as coefficients do; only corrupt data ever wrap it.
    predictor = int16_t(predictor + difference);
    block[0] = predictor;
    for (int32_t k = 1; k < 64; ++k) {
        if (window.count < kCoefficientBits) {
            source.Refill(window);
        }
        int32_t fast = ac.FastAc(window.PeekBits(ZJPEGHuffmanTable::kFastBits));
        if (fast != 0) {
            k += (fast >> 8) & 255;
            window.Skip(fast & 255);
            if (k < 64) {
                block[kJPEGNaturalOrder[k]] = int16_t(fast >> 16);
            }
            continue;
        }
        int32_t symbol = DecodeSymbol(window, ac);
        int32_t run = symbol >> 4;
        size = symbol & 15;
        if (size == 0) {
            if (run != 15) {
                break;  // end of block
            }
            k += 15;  // sixteen zeros
            continue;
        }
        k += run;
        int32_t value = ExtendJPEGValue(window.Take(size), size);
        if (k < 64) {
            block[kJPEGNaturalOrder[k]] = int16_t(value);
        }
    }
    source.SetWindow(window);
}

void ZJPEGScanDecoder::DecodeMcu(int16_t (*blocks)[64]) {
    if (frame_.restartInterval > 0) {
        if (mcusLeft_ == 0) {
            BeginInterval();
        }
        --mcusLeft_;
    }
    std::memset(blocks, 0, sizeof(blocks[0]) * size_t(frame_.blocksPerMcu));
    if (stalled_ || finished_) {
        return;
    }
    for (int32_t b = 0; b < frame_.blocksPerMcu; ++b) {
        int32_t slot = frame_.mcuBlocks[b].component;
        const ZJPEGComponent& c = frame_.components[slot];
        DecodeBlock(reader_, blocks[b], frame_.dc[c.dcTable], frame_.ac[c.acTable], predictors_[slot]);
    }
    // Zeros taken as data: the rest of this interval cannot be trusted.
    if (reader_.Overdrawn()) {
        stalled_ = true;
    }
}

void ZJPEGScanDecoder::ResetPredictors() {
    for (int16_t& p : predictors_) {
        p = 0;
    }
}

void ZJPEGScanDecoder::BeginInterval() {
    mcusLeft_ = frame_.restartInterval;
    ResetPredictors();
    if (finished_) {
        return;
    }
    if (lostIntervals_ > 0) {
        --lostIntervals_;
        return;
    }
    if (resumeAfterLost_) {
        // The marker that ended the gap was read already; its data follow.
        resumeAfterLost_ = false;
        stalled_ = false;
        return;
    }
    reader_.DropBits();
    int32_t marker = reader_.NextMarker();
    if (marker < kFirstRestart || marker > kLastRestart) {
        finished_ = true;  // the end of the scan, of the image, or of the data
        return;
    }
    int32_t number = marker - kFirstRestart;
    int32_t lost = (number - nextRestart_) & 7;
    nextRestart_ = (number + 1) & 7;
    stalled_ = false;
    if (lost > 0) {
        // Markers were skipped: their intervals are missing. Leave them zero and keep the image in
        // place, then decode what follows this marker.
        stalled_ = true;
        lostIntervals_ = lost - 1;
        resumeAfterLost_ = true;
    }
}
