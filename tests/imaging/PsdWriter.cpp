#include "tests/imaging/PsdWriter.h"

#include <algorithm>

namespace psdtest {

namespace {

void Put16(Bytes& out, uint32_t value) {
    out.push_back(uint8_t(value >> 8));
    out.push_back(uint8_t(value));
}

void Put32(Bytes& out, uint32_t value) {
    Put16(out, value >> 16);
    Put16(out, value & 0xFFFF);
}

// The rows of one plane as stored: bytes per sample by bits.
Bytes RowBytes(const Plane& plane, int32_t width, int32_t y, int32_t bits) {
    Bytes row;
    for (int32_t x = 0; x < width; ++x) {
        uint16_t v = plane.samples[size_t(y) * size_t(width) + size_t(x)];
        if (bits == 16) {
            Put16(row, v);
        } else {
            row.push_back(uint8_t(v));
        }
    }
    return row;
}

// Channel data without the compression word: PackBits row counts then rows, or the raw rows.
Bytes ChannelData(const Plane& plane, int32_t width, int32_t height, int32_t bits, bool packBits,
                  Bytes* counts) {
    Bytes data;
    for (int32_t y = 0; y < height; ++y) {
        Bytes row = RowBytes(plane, width, y, bits);
        if (packBits) {
            row = PackBits(row.data(), row.size());
            Put16(*counts, uint32_t(row.size()));
        }
        data.insert(data.end(), row.begin(), row.end());
    }
    return data;
}

}  // namespace

Bytes PackBits(const uint8_t* row, size_t size) {
    Bytes out;
    size_t i = 0;
    while (i < size) {
        size_t run = 1;
        while (i + run < size && run < 128 && row[i + run] == row[i]) {
            ++run;
        }
        if (run >= 3) {
            out.push_back(uint8_t(1 - int32_t(run)));
            out.push_back(row[i]);
            i += run;
            continue;
        }
        size_t start = i;
        while (i < size && i - start < 128 &&
               !(i + 2 < size && row[i] == row[i + 1] && row[i] == row[i + 2])) {
            ++i;
        }
        out.push_back(uint8_t(i - start - 1));
        out.insert(out.end(), row + start, row + i);
    }
    return out;
}

Bytes Write(const Document& d) {
    Bytes out = {'8', 'B', 'P', 'S'};
    Put16(out, uint16_t(d.version));
    out.insert(out.end(), 6, 0);
    Put16(out, uint16_t(d.channels != 0 ? d.channels : int16_t(d.merged.size())));
    Put32(out, uint32_t(d.height));
    Put32(out, uint32_t(d.width));
    Put16(out, uint16_t(d.bits));
    Put16(out, uint16_t(d.mode));
    Put32(out, uint32_t(d.colorModeData.size()));
    out.insert(out.end(), d.colorModeData.begin(), d.colorModeData.end());
    Put32(out, 0);  // no image resources

    Bytes layerInfo;
    if (!d.layers.empty()) {
        Put16(layerInfo, uint16_t(d.layers.size()));
        Bytes channelData;
        for (const Layer& layer : d.layers) {
            // In 64 bits: the refusal tests write rectangles whose sides overflow 32.
            int64_t width = std::max<int64_t>(0, int64_t(layer.right) - layer.left);
            int64_t height = std::max<int64_t>(0, int64_t(layer.bottom) - layer.top);
            for (int32_t v : {layer.top, layer.left, layer.bottom, layer.right}) {
                Put32(layerInfo, uint32_t(v));
            }
            Put16(layerInfo, uint16_t(layer.planes.size()));
            for (const Plane& plane : layer.planes) {
                Bytes counts;
                Bytes data = ChannelData(plane, width, height, d.bits, d.packBits, &counts);
                Bytes channel;
                Put16(channel, d.packBits ? 1 : 0);
                channel.insert(channel.end(), counts.begin(), counts.end());
                channel.insert(channel.end(), data.begin(), data.end());
                Put16(layerInfo, uint16_t(plane.id));
                Put32(layerInfo, uint32_t(channel.size()));
                channelData.insert(channelData.end(), channel.begin(), channel.end());
            }
            layerInfo.insert(layerInfo.end(), {'8', 'B', 'I', 'M', 'n', 'o', 'r', 'm'});
            layerInfo.push_back(layer.opacity);
            layerInfo.push_back(0);
            layerInfo.push_back(layer.hidden ? 0x02 : 0x00);
            layerInfo.push_back(0);
            Put32(layerInfo, 4);  // extra data: an empty mask block
            Put32(layerInfo, 0);
        }
        layerInfo.insert(layerInfo.end(), channelData.begin(), channelData.end());
    }
    Bytes section;
    if (!layerInfo.empty()) {
        Put32(section, uint32_t(layerInfo.size()));
        section.insert(section.end(), layerInfo.begin(), layerInfo.end());
        Put32(section, 0);  // no global layer mask
    }
    Put32(out, uint32_t(section.size()));
    out.insert(out.end(), section.begin(), section.end());

    Put16(out, d.packBits ? 1 : 0);
    Bytes counts, data;
    for (const Plane& plane : d.merged) {
        Bytes one = ChannelData(plane, d.width, d.height, d.bits, d.packBits, &counts);
        data.insert(data.end(), one.begin(), one.end());
    }
    out.insert(out.end(), counts.begin(), counts.end());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::vector<uint16_t> Pattern(int32_t width, int32_t height, uint32_t seed, int32_t bits) {
    std::vector<uint16_t> samples;
    uint32_t state = seed * 2654435761u + 1;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            state = state * 1103515245u + 12345u;
            // Runs of equal values, so PackBits has repeats as well as literals.
            uint32_t v = (x / 3 + y * 7 + seed * 50) % 256;
            if ((state >> 16) % 4 == 0) {
                v = (state >> 8) & 0xFF;
            }
            samples.push_back(uint16_t(bits == 16 ? (v << 8) | ((state >> 4) & 0xFF) : v));
        }
    }
    return samples;
}

Document Flat(int16_t mode, int32_t channels, int32_t width, int32_t height, int16_t bits, bool packBits) {
    Document d;
    d.mode = mode;
    d.bits = bits;
    d.width = width;
    d.height = height;
    d.packBits = packBits;
    for (int32_t c = 0; c < channels; ++c) {
        d.merged.push_back(Plane{int16_t(c), Pattern(width, height, uint32_t(c + 1), bits)});
    }
    return d;
}

}  // namespace psdtest
