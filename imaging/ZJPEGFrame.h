// What the markers of a JPEG file say before its first scan: the frame (size, components and their
// sampling), the quantisation and Huffman tables, the restart interval, and where the entropy-coded data
// of the scan begin. Only the decodable subset passes: baseline or extended sequential Huffman frames of
// 8-bit samples, one or three components, three components sampled all 1 x 1 or with the first
// component 2 x 2 and the others 1 x 1, and one scan holding every component.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/ZByteCursor.h"
#include "imaging/ZJPEGHuffman.h"

// Natural (row-major) position of each zig-zag index.
extern const uint8_t kJPEGNaturalOrder[64];

struct ZJPEGComponent {
    uint8_t id = 0;
    uint8_t horizontal = 1;  // sampling factors as decoded (a lone component counts as 1 x 1)
    uint8_t vertical = 1;
    uint8_t quantTable = 0;
    uint8_t dcTable = 0;
    uint8_t acTable = 0;
};

// One block of an MCU: its component (frame slot) and its position in the component's MCU area, in blocks.
struct ZJPEGMcuBlock {
    uint8_t component = 0;
    uint8_t x = 0;
    uint8_t y = 0;
};

class ZJPEGFrame {
  public:
    static constexpr int32_t kMaxComponents = 3;
    static constexpr int32_t kMaxMcuBlocks = 6;

    // Reads the markers from the start of image to the first scan header. Null when the file is one this
    // decoder can decode; else a short reason ("progressive JPEG is not supported").
    const char* Read(const uint8_t* data, size_t size);

    int32_t width = 0;
    int32_t height = 0;
    int32_t componentCount = 0;
    ZJPEGComponent components[kMaxComponents];
    bool lumaTwoByTwo = false;  // the first component 2 x 2, the others 1 x 1
    int32_t mcuWidth = 8;       // pixels
    int32_t mcuHeight = 8;
    int32_t mcuColumns = 0;
    int32_t mcuRows = 0;
    // The blocks of one MCU in the scan's order.
    int32_t blocksPerMcu = 0;
    ZJPEGMcuBlock mcuBlocks[kMaxMcuBlocks];
    uint16_t quant[4][64] = {};  // natural order
    bool quantDefined[4] = {};
    ZJPEGHuffmanTable dc[4];
    ZJPEGHuffmanTable ac[4];
    int32_t restartInterval = 0;  // MCUs, 0 without restart markers
    size_t scanStart = 0;         // offset of the first entropy-coded byte

  private:
    const char* ReadSegment(uint8_t code, ZByteCursor segment);
    const char* ReadFrameHeader(uint8_t code, ZByteCursor segment);
    const char* ReadComponents(ZByteCursor& segment);
    const char* CheckSampling();
    const char* ReadHuffmanTables(ZByteCursor segment);
    const char* ReadQuantTables(ZByteCursor segment);
    const char* ReadRestartInterval(ZByteCursor segment);
    const char* ReadScanHeader(ZByteCursor segment);
    void LayOutMcu(const int32_t* scanOrder);

    bool frameSeen_ = false;
};
