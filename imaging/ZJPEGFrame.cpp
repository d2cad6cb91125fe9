#include "imaging/ZJPEGFrame.h"

#include "imaging/ZImageReader.h"

const uint8_t kJPEGNaturalOrder[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

namespace {

constexpr const char* kTruncated = "JPEG is truncated";
constexpr const char* kBadFrame = "bad JPEG frame header";
constexpr const char* kBadScan = "bad JPEG scan header";
constexpr const char* kBadHuffman = "bad JPEG Huffman table";
constexpr const char* kBadQuant = "bad JPEG quantisation table";

enum : uint8_t {
    kSOF0 = 0xC0,
    kSOF1 = 0xC1,
    kDHT = 0xC4,
    kJPG = 0xC8,
    kDAC = 0xCC,
    kRST0 = 0xD0,
    kRST7 = 0xD7,
    kSOI = 0xD8,
    kEOI = 0xD9,
    kSOS = 0xDA,
    kDQT = 0xDB,
    kDRI = 0xDD,
    kTEM = 0x01,
};

bool IsFrameCode(uint8_t code) {
    return code >= 0xC0 && code <= 0xCF && code != kDHT && code != kJPG && code != kDAC;
}

// Why a frame of another kind cannot be decoded; null for the sequential Huffman frames.
const char* UnsupportedFrame(uint8_t code) {
    switch (code) {
        case kSOF0:
        case kSOF1:
            return nullptr;
        case 0xC2:
            return "progressive JPEG is not supported";
        case 0xC3:
            return "lossless JPEG is not supported";
        case 0xC5:
        case 0xC6:
        case 0xC7:
            return "hierarchical JPEG is not supported";
        default:
            return "arithmetic-coded JPEG is not supported";
    }
}

bool IsStandalone(uint8_t code) {
    return (code >= kRST0 && code <= kRST7) || code == kTEM;
}

}  // namespace

const char* ZJPEGFrame::Read(const uint8_t* data, size_t size) {
    ZByteCursor cursor(data, size);
    if (cursor.U8() != 0xFF || cursor.U8() != kSOI) {
        return "not a JPEG file";
    }
    for (;;) {
        uint8_t lead = cursor.U8();
        uint8_t code = cursor.U8();
        while (code == 0xFF && cursor.Ok()) {
            code = cursor.U8();  // fill bytes before the marker
        }
        if (!cursor.Ok()) {
            return kTruncated;
        }
        if (lead != 0xFF || code == 0x00 || code == kSOI) {
            return "bad JPEG marker";
        }
        if (code == kEOI) {
            return frameSeen_ ? "JPEG has no image data" : "JPEG has no frame header";
        }
        if (IsStandalone(code)) {
            continue;
        }
        uint16_t length = cursor.U16BE();
        if (cursor.Ok() && length < 2) {
            return "bad JPEG segment length";
        }
        ZByteCursor segment = cursor.Sub(length - 2u);
        if (!cursor.Ok()) {
            return kTruncated;
        }
        if (code == kSOS) {
            scanStart = cursor.Position();
            return ReadScanHeader(segment);
        }
        if (const char* why = ReadSegment(code, segment); why != nullptr) {
            return why;
        }
    }
}

const char* ZJPEGFrame::ReadSegment(uint8_t code, ZByteCursor segment) {
    if (IsFrameCode(code)) {
        return ReadFrameHeader(code, segment);
    }
    switch (code) {
        case kDHT:
            return ReadHuffmanTables(segment);
        case kDQT:
            return ReadQuantTables(segment);
        case kDRI:
            return ReadRestartInterval(segment);
        default:
            return nullptr;  // application data, comments and the like are passed over by their length
    }
}

const char* ZJPEGFrame::ReadFrameHeader(uint8_t code, ZByteCursor segment) {
    if (const char* why = UnsupportedFrame(code); why != nullptr) {
        return why;
    }
    if (frameSeen_) {
        return "JPEG has two frame headers";
    }
    frameSeen_ = true;
    uint8_t precision = segment.U8();
    height = segment.U16BE();
    width = segment.U16BE();
    componentCount = segment.U8();
    if (!segment.Ok()) {
        return kBadFrame;
    }
    if (precision != 8) {
        return precision == 12 ? "12-bit JPEG is not supported" : "JPEG sample precision is not supported";
    }
    if (height == 0) {
        return "JPEG with its height in a DNL marker is not supported";
    }
    if (width == 0) {
        return kBadFrame;
    }
    if (!imagesize::EdgesOk(width, height)) {
        return "JPEG is too large";
    }
    if (componentCount == 4) {
        return "JPEG with four components is not supported";
    }
    if (componentCount != 1 && componentCount != 3) {
        return componentCount == 0 ? kBadFrame : "JPEG component count is not supported";
    }
    if (segment.Remaining() != size_t(3 * componentCount)) {
        return kBadFrame;
    }
    if (const char* why = ReadComponents(segment); why != nullptr) {
        return why;
    }
    return CheckSampling();
}

const char* ZJPEGFrame::ReadComponents(ZByteCursor& segment) {
    for (int32_t i = 0; i < componentCount; ++i) {
        ZJPEGComponent& c = components[i];
        c.id = segment.U8();
        uint8_t factors = segment.U8();
        c.horizontal = factors >> 4;
        c.vertical = factors & 15;
        c.quantTable = segment.U8();
        if (c.horizontal < 1 || c.horizontal > 4 || c.vertical < 1 || c.vertical > 4 || c.quantTable > 3) {
            return kBadFrame;
        }
        for (int32_t j = 0; j < i; ++j) {
            if (components[j].id == c.id) {
                return kBadFrame;
            }
        }
    }
    return segment.Ok() ? nullptr : kBadFrame;
}

const char* ZJPEGFrame::CheckSampling() {
    if (componentCount == 1) {
        // A lone component is sent one block at a time whatever its factors say.
        components[0].horizontal = 1;
        components[0].vertical = 1;
        return nullptr;
    }
    auto is = [this](int32_t i, int32_t h, int32_t v) {
        return components[i].horizontal == h && components[i].vertical == v;
    };
    bool chromaOneByOne = is(1, 1, 1) && is(2, 1, 1);
    lumaTwoByTwo = chromaOneByOne && is(0, 2, 2);
    if (!lumaTwoByTwo && !(chromaOneByOne && is(0, 1, 1))) {
        return "JPEG sampling layout is not supported";
    }
    return nullptr;
}

const char* ZJPEGFrame::ReadHuffmanTables(ZByteCursor segment) {
    while (!segment.AtEnd()) {
        uint8_t classAndNumber = segment.U8();
        uint8_t counts[16];
        segment.Read(counts, sizeof counts);
        int32_t total = 0;
        for (uint8_t count : counts) {
            total += count;
        }
        int32_t tableClass = classAndNumber >> 4;
        int32_t number = classAndNumber & 15;
        if (!segment.Ok() || tableClass > 1 || number > 3 || total > ZJPEGHuffmanTable::kMaxSymbols) {
            return kBadHuffman;
        }
        uint8_t symbols[ZJPEGHuffmanTable::kMaxSymbols];
        if (!segment.Read(symbols, size_t(total))) {
            return kBadHuffman;
        }
        ZJPEGHuffmanTable& table = tableClass == 0 ? dc[number] : ac[number];
        auto kind = tableClass == 0 ? ZJPEGHuffmanTable::Kind::kDC : ZJPEGHuffmanTable::Kind::kAC;
        if (!table.Build(kind, counts, symbols, total)) {
            return kBadHuffman;
        }
    }
    return nullptr;
}

const char* ZJPEGFrame::ReadQuantTables(ZByteCursor segment) {
    while (!segment.AtEnd()) {
        uint8_t precisionAndNumber = segment.U8();
        int32_t precision = precisionAndNumber >> 4;
        int32_t number = precisionAndNumber & 15;
        if (precision > 1 || number > 3) {
            return kBadQuant;
        }
        for (int32_t k = 0; k < 64; ++k) {
            quant[number][kJPEGNaturalOrder[k]] = precision == 0 ? segment.U8() : segment.U16BE();
        }
        if (!segment.Ok()) {
            return kBadQuant;
        }
        quantDefined[number] = true;
    }
    return nullptr;
}

const char* ZJPEGFrame::ReadRestartInterval(ZByteCursor segment) {
    restartInterval = segment.U16BE();
    if (!segment.Ok() || !segment.AtEnd()) {
        return "bad JPEG restart interval";
    }
    return nullptr;
}

const char* ZJPEGFrame::ReadScanHeader(ZByteCursor segment) {
    if (!frameSeen_) {
        return "JPEG has no frame header";
    }
    int32_t count = segment.U8();
    if (!segment.Ok() || segment.Remaining() != size_t(2 * count + 3) || count < 1) {
        return kBadScan;
    }
    if (count != componentCount) {
        return count < componentCount ? "multi-scan JPEG is not supported" : kBadScan;
    }
    int32_t scanOrder[kMaxComponents];
    bool used[kMaxComponents] = {};
    for (int32_t i = 0; i < count; ++i) {
        uint8_t id = segment.U8();
        uint8_t tables = segment.U8();
        int32_t slot = 0;
        while (slot < componentCount && components[slot].id != id) {
            ++slot;
        }
        if (slot == componentCount || used[slot] || (tables >> 4) > 3 || (tables & 15) > 3) {
            return kBadScan;
        }
        used[slot] = true;
        scanOrder[i] = slot;
        ZJPEGComponent& c = components[slot];
        c.dcTable = tables >> 4;
        c.acTable = tables & 15;
        if (!quantDefined[c.quantTable]) {
            return "JPEG quantisation table is missing";
        }
        if (!dc[c.dcTable].IsDefined() || !ac[c.acTable].IsDefined()) {
            return "JPEG Huffman table is missing";
        }
    }
    // Spectral selection and approximation are fixed in sequential scans and not looked at.
    LayOutMcu(scanOrder);
    return nullptr;
}

void ZJPEGFrame::LayOutMcu(const int32_t* scanOrder) {
    int32_t factor = lumaTwoByTwo ? 2 : 1;
    mcuWidth = 8 * factor;
    mcuHeight = 8 * factor;
    mcuColumns = (width + mcuWidth - 1) / mcuWidth;
    mcuRows = (height + mcuHeight - 1) / mcuHeight;
    blocksPerMcu = 0;
    for (int32_t i = 0; i < componentCount; ++i) {
        int32_t slot = scanOrder[i];
        const ZJPEGComponent& c = components[slot];
        for (int32_t y = 0; y < c.vertical; ++y) {
            for (int32_t x = 0; x < c.horizontal; ++x) {
                mcuBlocks[blocksPerMcu++] = ZJPEGMcuBlock{uint8_t(slot), uint8_t(x), uint8_t(y)};
            }
        }
    }
}
