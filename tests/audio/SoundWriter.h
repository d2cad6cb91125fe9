// Writes small WAVE and "RSX " sound files byte by byte, chunk sizes and all, so that the tests and the
// fuzz seeds can state well-formed and damaged files alike.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace soundtest {

inline std::string Le16(uint32_t value) {
    return {char(value & 0xFF), char((value >> 8) & 0xFF)};
}
inline std::string Le32(uint32_t value) {
    return Le16(value & 0xFFFF) + Le16(value >> 16);
}

struct Chunk {
    std::string tag;
    std::string body;
    int64_t declaredSize = -1;  // the size written in the header; -1: the body's
};

// "RIFF", the size (the true one unless given), "WAVE", then the chunks, each padded to an even size.
inline std::string Wave(const std::vector<Chunk>& chunks, int64_t riffSize = -1) {
    std::string body = "WAVE";
    for (const Chunk& chunk : chunks) {
        body += chunk.tag;
        body += Le32(uint32_t(chunk.declaredSize >= 0 ? chunk.declaredSize : int64_t(chunk.body.size())));
        body += chunk.body;
        if (chunk.body.size() % 2 != 0) {
            body += '\0';
        }
    }
    return "RIFF" + Le32(uint32_t(riffSize >= 0 ? riffSize : int64_t(body.size()))) + body;
}

// The 16 bytes of a plain "fmt " body.
inline std::string FormatBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    uint32_t align = channels * ((bits + 7u) / 8u);
    return Le16(tag) + Le16(channels) + Le32(rate) + Le32(rate * align) + Le16(align) + Le16(bits);
}

// A Microsoft ADPCM "fmt " body with its extension and the customary coefficient table.
inline std::string ADPCMFormatBody(uint16_t channels, uint32_t rate, uint16_t coefficientCount = 7) {
    static const int16_t kCoefficients[7][2] = {{256, 0}, {512, -256}, {0, 0},     {192, 64},
                                                {240, 0}, {460, -208}, {392, -232}};
    uint16_t blockAlign = uint16_t(256 * channels);
    std::string body = Le16(2) + Le16(channels) + Le32(rate) + Le32(rate * channels / 2) + Le16(blockAlign) +
                       Le16(4) + Le16(32) + Le16(500) + Le16(coefficientCount);
    for (const auto& pair : kCoefficients) {
        body += Le16(uint16_t(pair[0])) + Le16(uint16_t(pair[1]));
    }
    return body;
}

inline std::string PcmWave(uint16_t channels, uint32_t rate, uint16_t bits, const std::string& samples) {
    return Wave({{"fmt ", FormatBody(1, channels, rate, bits)}, {"data", samples}});
}

inline std::string RawSound(uint32_t rate, uint16_t bits, uint16_t channels, uint16_t compression,
                            const std::string& samples) {
    return "RSX " + Le32(rate) + Le16(bits) + Le16(channels) + Le16(compression) + samples;
}

// count bytes that differ from their neighbours, so that any misplaced byte shows.
inline std::string Ramp(size_t count) {
    std::string bytes;
    for (size_t i = 0; i < count; ++i) {
        bytes += char(i * 7 + 1);
    }
    return bytes;
}

}  // namespace soundtest
