// The entropy decoder of a JPEG scan: MCU by MCU, the quantised coefficients of each block in natural
// order. It follows the restart interval (each RSTn marker resets the DC predictors and starts the data
// on a byte boundary) and never reads outside the data: past the end, or after a corrupt stretch, the
// blocks come out zero until a restart marker lets decoding pick up again. The image reader turns the
// coefficients into pixels; tests compare them with another decoder's.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/ZJPEGFrame.h"

class ZJPEGScanDecoder {
  public:
    // frame and data must outlive the decoder; the data are the whole file.
    ZJPEGScanDecoder(const ZJPEGFrame& frame, const uint8_t* data, size_t size);

    // Decodes the next MCU into blocks[0 .. blocksPerMcu - 1] (in the frame's MCU block order), each 64
    // coefficients in natural order.
    void DecodeMcu(int16_t (*blocks)[64]);

    // True once the data ended or went bad before the current restart interval was complete.
    bool IsStalled() const { return stalled_; }

  private:
    void BeginInterval();
    void ResetPredictors();
    // Decodes one block's coefficients into a cleared block.
    static void DecodeBlock(ZJPEGBitReader& reader, int16_t* block, const ZJPEGHuffmanTable& dc,
                            const ZJPEGHuffmanTable& ac, int16_t& predictor);

    const ZJPEGFrame& frame_;
    ZJPEGBitReader reader_;
    int16_t predictors_[ZJPEGFrame::kMaxComponents] = {};
    int32_t mcusLeft_ = 0;       // MCUs before the next restart marker
    int32_t nextRestart_ = 0;    // the number n of the RSTn expected next
    int32_t lostIntervals_ = 0;  // intervals whose marker was missing, still to be given as zero
    bool resumeAfterLost_ = false;
    bool stalled_ = false;
    bool finished_ = false;  // no data for the rest of the scan
};
