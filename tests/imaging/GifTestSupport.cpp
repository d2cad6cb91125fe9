#include "tests/imaging/GifTestSupport.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "graphics/ZColorTable.h"
#include "graphics/ZOffscreen.h"
#include "imaging/ZGIFImageReader.h"
#include "imaging/ZLZWCodec.h"
#include "media/ZFile.h"
#include "platform/File.h"

namespace giftest {

namespace {

void Put16(Bytes& out, int32_t value) {
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

// The table's size field: entries are padded to the next power of two, at least 2.
int32_t TableBits(const Bytes& table) {
    int32_t bits = 1;
    while ((size_t(2) << (bits - 1)) * 3 < table.size()) {
        ++bits;
    }
    return bits;
}

void PutTable(Bytes& out, const Bytes& table) {
    size_t bytes = (size_t(2) << (TableBits(table) - 1)) * 3;
    out.insert(out.end(), table.begin(), table.end());
    out.insert(out.end(), bytes - table.size(), 0);
}

void PutGraphicControl(Bytes& out, int32_t transparent) {
    if (transparent >= 0) {
        Bytes block = {0x21, 0xF9, 4, 0x01, 0, 0, uint8_t(transparent), 0};
        out.insert(out.end(), block.begin(), block.end());
    }
}

}  // namespace

Bytes StoredOrder(const Frame& frame) {
    if (!frame.interlaced) {
        return frame.pixels;
    }
    Bytes out;
    const int32_t start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int32_t pass = 0; pass < 4; ++pass) {
        for (int32_t y = start[pass]; y < frame.height; y += step[pass]) {
            auto row = frame.pixels.begin() + std::ptrdiff_t(size_t(y) * size_t(frame.width));
            out.insert(out.end(), row, row + frame.width);
        }
    }
    return out;
}

Bytes EncodeStream(const Bytes& pixels, int32_t minCodeSize, size_t chunk) {
    Bytes stream;
    const uint8_t* input = pixels.data();
    ZLZWCodec codec(stream, &input, minCodeSize);
    size_t done = 0;
    do {
        size_t count = std::min(chunk, pixels.size() - done);
        done += count;
        codec.Encode(int32_t(count), done == pixels.size());
    } while (done < pixels.size());
    return stream;
}

Bytes DecodeStream(const Bytes& stream, int32_t minCodeSize, size_t count, size_t rowBytes) {
    Bytes out(count);
    uint8_t* output = out.data();
    ZLZWCodec codec(stream.data(), stream.size(), &output, minCodeSize);
    size_t done = 0;
    while (done < count) {
        size_t want = std::min(rowBytes, count - done);
        size_t got = size_t(codec.Decode(int32_t(want), done + want == count));
        done += got;
        if (got < want) {
            break;
        }
    }
    out.resize(done);
    return out;
}

Bytes Write(const Gif& gif) {
    Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
    Put16(out, gif.width);
    Put16(out, gif.height);
    bool global = !gif.globalTable.empty();
    out.push_back(uint8_t(global ? 0x80 | 0x70 | (TableBits(gif.globalTable) - 1) : 0x70));
    out.push_back(gif.background);
    out.push_back(0);
    if (global) {
        PutTable(out, gif.globalTable);
    }
    for (const Frame& frame : gif.frames) {
        PutGraphicControl(out, frame.transparent);
        out.push_back(0x2C);
        Put16(out, frame.left);
        Put16(out, frame.top);
        Put16(out, frame.width);
        Put16(out, frame.height);
        bool local = !frame.localTable.empty();
        out.push_back(
            uint8_t((local ? 0x80 | (TableBits(frame.localTable) - 1) : 0) | (frame.interlaced ? 0x40 : 0)));
        if (local) {
            PutTable(out, frame.localTable);
        }
        out.push_back(uint8_t(frame.minCodeSize));
        Bytes stream = !frame.stream.empty()
                           ? frame.stream
                           : EncodeStream(StoredOrder(frame), frame.minCodeSize, size_t(frame.width));
        out.insert(out.end(), stream.begin(), stream.end());
    }
    out.push_back(0x3B);
    return out;
}

namespace {

int WriteBytes(GifFileType* gif, const GifByteType* data, int count) {
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + count);
    return count;
}

struct Input {
    const Bytes* data;
    size_t position;
};

int ReadBytes(GifFileType* gif, GifByteType* data, int count) {
    auto* in = static_cast<Input*>(gif->UserData);
    size_t n = std::min(size_t(count), in->data->size() - in->position);
    std::memcpy(data, in->data->data() + in->position, n);
    in->position += n;
    return int(n);
}

ColorMapObject* MakeMap(const Bytes& table) {
    if (table.empty()) {
        return nullptr;
    }
    std::vector<GifColorType> colours(size_t(2) << (TableBits(table) - 1));
    for (size_t i = 0; i < table.size() / 3; ++i) {
        colours[i] = GifColorType{table[3 * i], table[3 * i + 1], table[3 * i + 2]};
    }
    return GifMakeMapObject(int(colours.size()), colours.data());
}

}  // namespace

Bytes WriteWithGiflib(const Gif& gif) {
    Bytes out;
    int error = 0;
    GifFileType* file = EGifOpen(&out, WriteBytes, &error);
    if (file == nullptr) {
        return {};
    }
    EGifSetGifVersion(file, true);
    ColorMapObject* global = MakeMap(gif.globalTable);
    bool ok = EGifPutScreenDesc(file, gif.width, gif.height, 8, gif.background, global) == GIF_OK;
    for (const Frame& frame : gif.frames) {
        if (frame.transparent >= 0) {
            GifByteType control[4] = {0x01, 0, 0, GifByteType(frame.transparent)};
            ok = ok && EGifPutExtension(file, GRAPHICS_EXT_FUNC_CODE, 4, control) == GIF_OK;
        }
        ColorMapObject* local = MakeMap(frame.localTable);
        ok = ok && EGifPutImageDesc(file, frame.left, frame.top, frame.width, frame.height, frame.interlaced,
                                    local) == GIF_OK;
        Bytes stored = StoredOrder(frame);
        for (int32_t y = 0; ok && y < frame.height; ++y) {
            ok = EGifPutLine(file, stored.data() + size_t(y) * size_t(frame.width), frame.width) == GIF_OK;
        }
        if (local != nullptr) {
            GifFreeMapObject(local);
        }
    }
    ok = EGifCloseFile(file, &error) == GIF_OK && ok;
    if (global != nullptr) {
        GifFreeMapObject(global);
    }
    return ok ? out : Bytes{};
}

bool DecodeWithGiflib(const Bytes& file, std::vector<Bytes>& rasters) {
    rasters.clear();
    Input input{&file, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&input, ReadBytes, &error);
    if (gif == nullptr) {
        return false;
    }
    bool ok = DGifSlurp(gif) == GIF_OK;
    for (int i = 0; ok && i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        size_t size = size_t(image.ImageDesc.Width) * size_t(image.ImageDesc.Height);
        rasters.emplace_back(image.RasterBits, image.RasterBits + size);
    }
    DGifCloseFile(gif, &error);
    return ok;
}

Decoded ReadWithOurs(const Bytes& file, int32_t flags, bool dib) {
    Decoded result;
    platform::MemoryFile memory(file.data(), file.size());
    ZFile source;
    source.SetFileSpec(ZFileSpec(memory.GetPath().c_str()));
    source.Open(ZFileObject::kModeRead);
    ZGIFImageReader reader(&source);
    result.status = reader.ReadHeader();
    if (result.status == 0) {
        result.width = reader.GetWidth(0);
        result.height = reader.GetHeight(0);
        result.frameCount = reader.GetFrameCount();
        ZOffscreen target(ZRect::FromSize(result.width, result.height), 8, nullptr,
                          dib ? kKindDIBSection : kKindMemory);
        result.status = reader.ReadImage(target, flags, 0, 0);
        result.paletteCount = reader.GetPaletteCount();
        for (int32_t y = 0; result.status == 0 && y < result.height; ++y) {
            const uint8_t* row = target.RowAddress(y);
            result.indices.insert(result.indices.end(), row, row + result.width);
            for (int32_t x = 0; x < result.width; ++x) {
                result.rgb.push_back(target.ColorAt(x, y));
            }
        }
        result.transparent = target.GetTransferMode().Has(ZTransferMode::kTransparentIndex);
        result.transparentIndex = target.GetTransferMode().transparentIndex;
    }
    result.error = reader.GetError() != nullptr ? reader.GetError() : "";
    return result;
}

Bytes Palette(int32_t count, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes table;
    for (int32_t i = 0; i < count; ++i) {
        // Distinct by construction: the index is spread over the three channels, the rest is noise.
        table.push_back(uint8_t((i * 37 + rng() % 2) & 0xFF));
        table.push_back(uint8_t(i));
        table.push_back(uint8_t(rng()));
    }
    return table;
}

Bytes Noise(size_t count, int32_t limit, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out(count);
    for (uint8_t& v : out) {
        v = uint8_t(rng() % uint32_t(limit));
    }
    return out;
}

}  // namespace giftest
