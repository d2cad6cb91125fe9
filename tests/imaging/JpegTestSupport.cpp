#include "JpegTestSupport.h"

#include <csetjmp>
#include <cstdio>
// jpeglib.h needs size_t and FILE first.
#include <jpeglib.h>

#include <algorithm>
#include <cmath>

#include "graphics/ZColorTable.h"
#include "imaging/ZJPEGImageReader.h"
#include "media/ZFile.h"
#include "platform/File.h"
#include "tools/itemwriter/ItemWriter.h"

namespace jpegtest {
namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    jmp_buf jump;
};

void ExitByJump(j_common_ptr info) {
    longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void Quiet(j_common_ptr, int) {}

uint8_t Clamp(double v) {
    return uint8_t(std::clamp(v, 0.0, 255.0));
}

}  // namespace

Picture PhotoLike(int32_t width, int32_t height, int32_t channels, uint32_t seed) {
    Picture p{width, height, channels, Bytes(size_t(width) * size_t(height) * size_t(channels))};
    uint32_t state = seed * 2654435761u + 1;
    auto grain = [&state]() {
        state = state * 1664525u + 1013904223u;
        return double(int32_t(state >> 24) - 128) / 16.0;
    };
    double phase = seed * 0.7;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            double sky = 120 + 90 * std::sin(x * 0.013 + phase) * std::cos(y * 0.021);
            double disc =
                std::hypot(x - width * 0.6, y - height * 0.4) < std::min(width, height) * 0.25 ? 70 : 0;
            double stripe = ((x / 9 + y / 13) % 5 == 0) ? -40 : 0;
            double v[3] = {sky + disc + grain(), 0.8 * sky + stripe + 30 + grain(),
                           255 - sky - disc / 2 + stripe + grain()};
            uint8_t* out = p.samples.data() + (size_t(y) * size_t(width) + size_t(x)) * size_t(channels);
            for (int32_t c = 0; c < channels; ++c) {
                out[c] = Clamp(v[c]);
            }
        }
    }
    return p;
}

Bytes Encode(const Picture& picture, const EncodeOptions& options) {
    itemwriter::JpegOptions settings;
    settings.quality = options.quality;
    settings.sampling = options.sampling;
    settings.restartInterval = options.restartInterval;
    settings.optimize = options.optimize;
    settings.progressive = options.progressive;
    settings.arithmetic = options.arithmetic;
    settings.cmyk = options.cmyk;
    if (options.componentIds != nullptr) {
        // Counted, not terminated: ids may be zero.
        settings.componentIds.assign(options.componentIds, size_t(options.cmyk ? 4 : picture.channels));
    }
    settings.chromaQuantTable = options.chromaQuantTable;
    std::string jpeg = itemwriter::WriteJpeg(picture.width, picture.height, picture.channels,
                                             picture.samples.data(), settings);
    return Bytes(jpeg.begin(), jpeg.end());
}

namespace {

// A decompressor over bytes, with errors turned into a jump back; warnings are kept quiet.
struct Decompressor {
    jpeg_decompress_struct info;
    ErrorManager error;
    explicit Decompressor(const Bytes& jpeg) {
        info.err = jpeg_std_error(&error.base);
        error.base.error_exit = ExitByJump;
        error.base.emit_message = Quiet;
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    }
    ~Decompressor() { jpeg_destroy_decompress(&info); }
};

}  // namespace

bool ReadHeaderInfo(const Bytes& jpeg, HeaderInfo& out) {
    Decompressor d(jpeg);
    if (setjmp(d.error.jump) != 0) {
        return false;
    }
    jpeg_read_header(&d.info, TRUE);
    out = HeaderInfo{int32_t(d.info.image_width),
                     int32_t(d.info.image_height),
                     d.info.num_components,
                     d.info.comp_info[0].h_samp_factor,
                     d.info.comp_info[0].v_samp_factor,
                     {},
                     d.info.num_components > 1 ? d.info.comp_info[1].quant_tbl_no : -1,
                     int32_t(d.info.restart_interval),
                     d.info.progressive_mode != FALSE,
                     d.info.arith_code != FALSE};
    for (int32_t c = 0; c < d.info.num_components; ++c) {
        out.ids.push_back(char(d.info.comp_info[c].component_id));
    }
    return true;
}

bool ReadCoefficients(const Bytes& jpeg, Coefficients& out) {
    Decompressor d(jpeg);
    if (setjmp(d.error.jump) != 0) {
        return false;
    }
    jpeg_read_header(&d.info, TRUE);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&d.info);
    out = Coefficients();
    for (int32_t c = 0; c < d.info.num_components; ++c) {
        jpeg_component_info& comp = d.info.comp_info[c];
        int32_t w = int32_t(comp.width_in_blocks);
        int32_t h = int32_t(comp.height_in_blocks);
        // The arrays are padded to whole MCUs; take what the MCUs cover.
        w = (w + comp.h_samp_factor - 1) / comp.h_samp_factor * comp.h_samp_factor;
        h = (h + comp.v_samp_factor - 1) / comp.v_samp_factor * comp.v_samp_factor;
        if (d.info.num_components == 1) {
            w = int32_t(comp.width_in_blocks);
            h = int32_t(comp.height_in_blocks);
        }
        out.widthInBlocks.push_back(w);
        out.heightInBlocks.push_back(h);
        std::vector<int16_t> blocks(size_t(w) * size_t(h) * 64);
        for (int32_t by = 0; by < h; ++by) {
            JBLOCKARRAY row = d.info.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&d.info),
                                                             arrays[c], JDIMENSION(by), 1, FALSE);
            for (int32_t bx = 0; bx < w; ++bx) {
                std::copy(row[0][bx], row[0][bx] + 64, blocks.begin() + (ptrdiff_t(by) * w + bx) * 64);
            }
        }
        out.blocks.push_back(std::move(blocks));
    }
    jpeg_finish_decompress(&d.info);
    return true;
}

bool DecodeFloat(const Bytes& jpeg, Picture& out) {
    Decompressor d(jpeg);
    if (setjmp(d.error.jump) != 0) {
        return false;
    }
    jpeg_read_header(&d.info, TRUE);
    d.info.dct_method = JDCT_FLOAT;
    jpeg_start_decompress(&d.info);
    out = Picture{int32_t(d.info.output_width), int32_t(d.info.output_height), d.info.output_components, {}};
    out.samples.resize(size_t(out.width) * size_t(out.height) * size_t(out.channels));
    while (d.info.output_scanline < d.info.output_height) {
        JSAMPROW rows[1] = {out.samples.data() +
                            size_t(d.info.output_scanline) * size_t(out.width) * size_t(out.channels)};
        jpeg_read_scanlines(&d.info, rows, 1);
    }
    jpeg_finish_decompress(&d.info);
    return true;
}

bool DecodeRawPlanes(const Bytes& jpeg, Planes& out) {
    Decompressor d(jpeg);
    if (setjmp(d.error.jump) != 0) {
        return false;
    }
    jpeg_read_header(&d.info, TRUE);
    d.info.dct_method = JDCT_FLOAT;
    d.info.raw_data_out = TRUE;
    jpeg_start_decompress(&d.info);
    int32_t maxV = d.info.max_v_samp_factor;
    for (int32_t c = 0; c < 3; ++c) {
        jpeg_component_info& comp = d.info.comp_info[c];
        out.width[c] = int32_t(comp.width_in_blocks) * 8;
        out.height[c] = int32_t((d.info.total_iMCU_rows) * comp.v_samp_factor * 8);
        out.plane[c].assign(size_t(out.width[c]) * size_t(out.height[c]), 0);
    }
    for (JDIMENSION mcuRow = 0; mcuRow < d.info.total_iMCU_rows; ++mcuRow) {
        std::vector<JSAMPROW> rows[3];
        JSAMPARRAY arrays[3];
        for (int32_t c = 0; c < 3; ++c) {
            int32_t lines = d.info.comp_info[c].v_samp_factor * 8;
            for (int32_t i = 0; i < lines; ++i) {
                rows[c].push_back(out.plane[c].data() +
                                  (size_t(mcuRow) * size_t(lines) + size_t(i)) * size_t(out.width[c]));
            }
            arrays[c] = rows[c].data();
        }
        jpeg_read_raw_data(&d.info, arrays, JDIMENSION(maxV * 8));
    }
    jpeg_finish_decompress(&d.info);
    return true;
}

Decoded DecodeOurs(const Bytes& jpeg, int32_t depth, int16_t format, int16_t kind, ZColorTable* palette) {
    Decoded out;
    platform::MemoryFile memory(jpeg.data(), jpeg.size());
    ZFile file;
    file.SetFileSpec(ZFileSpec(memory.GetPath().c_str()));
    file.Open(ZFileObject::kModeRead);
    ZJPEGImageReader reader(&file);
    out.header = reader.ReadHeader();
    out.width = reader.GetWidth(0);
    out.height = reader.GetHeight(0);
    if (out.header == 0) {
        out.target =
            std::make_unique<ZOffscreen>(ZRect{0, 0, out.height, out.width}, depth, palette, kind, format);
        out.image = reader.ReadImage(*out.target, 7, 0, 0);
    }
    out.error = reader.GetError() != nullptr ? reader.GetError() : "";
    return out;
}

void RgbAt(const ZOffscreen& target, int32_t x, int32_t y, uint8_t rgb[3]) {
    const uint8_t* p = target.RowAddress(y) + x * BytesPerPixel(target.GetDepth());
    ZByteOrder order = ByteOrderOf(target.GetFormat());
    rgb[0] = p[order.r];
    rgb[1] = p[order.g];
    rgb[2] = p[order.b];
}

// ---- hand-made files

namespace {

int32_t SizeOf(int32_t value) {
    int32_t magnitude = value < 0 ? -value : value;
    int32_t size = 0;
    while (magnitude != 0) {
        ++size;
        magnitude >>= 1;
    }
    return size;
}

uint32_t BitsOf(int32_t value, int32_t size) {
    return uint32_t(value < 0 ? value + (1 << size) - 1 : value);
}

// The AC symbols in code order: end of block, sixteen zeros, then run r and size s at 2 + 10 r + s - 1.
Bytes AcSymbols() {
    Bytes symbols = {0x00, 0xF0};
    for (int32_t run = 0; run < 16; ++run) {
        for (int32_t size = 1; size <= 10; ++size) {
            symbols.push_back(uint8_t(run << 4 | size));
        }
    }
    return symbols;
}

}  // namespace

void AppendSegment(Bytes& out, uint8_t code, const Bytes& payload) {
    size_t length = payload.size() + 2;
    out.insert(out.end(), {0xFF, code, uint8_t(length >> 8), uint8_t(length)});
    out.insert(out.end(), payload.begin(), payload.end());
}

int64_t FindMarker(const Bytes& jpeg, uint8_t code, size_t from) {
    for (size_t i = from; i + 1 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == code) {
            return int64_t(i);
        }
    }
    return -1;
}

HandMade::HandMade(int32_t width, int32_t height, int32_t components, uint16_t quant)
    : width_(width), height_(height), components_(components), quant_(quant) {}

Bytes HandMade::Headers() const {
    Bytes out = {0xFF, 0xD8};
    Bytes dqt = {uint8_t(quant_ > 255 ? 0x10 : 0x00)};
    for (int32_t i = 0; i < 64; ++i) {
        if (quant_ > 255) {
            dqt.push_back(uint8_t(quant_ >> 8));
        }
        dqt.push_back(uint8_t(quant_));
    }
    AppendSegment(out, 0xDB, dqt);
    Bytes sof = {8,
                 uint8_t(height_ >> 8),
                 uint8_t(height_),
                 uint8_t(width_ >> 8),
                 uint8_t(width_),
                 uint8_t(components_)};
    for (int32_t c = 0; c < components_; ++c) {
        sof.insert(sof.end(), {uint8_t(c + 1), 0x11, 0});
    }
    AppendSegment(out, 0xC0, sof);
    Bytes dc = {0x00, 0, 0, 0, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (uint8_t s = 0; s < 12; ++s) {
        dc.push_back(s);
    }
    AppendSegment(out, 0xC4, dc);
    Bytes symbols = AcSymbols();
    Bytes ac = {0x10, 0, 0, 0, 0, 0, 0, 0, uint8_t(symbols.size()), 0, 0, 0, 0, 0, 0, 0, 0};
    ac.insert(ac.end(), symbols.begin(), symbols.end());
    AppendSegment(out, 0xC4, ac);
    if (restartInterval_ > 0) {
        AppendSegment(out, 0xDD, {uint8_t(restartInterval_ >> 8), uint8_t(restartInterval_)});
    }
    Bytes sos = {uint8_t(components_)};
    for (int32_t c = 0; c < components_; ++c) {
        sos.insert(sos.end(), {uint8_t(c + 1), 0x00});
    }
    sos.insert(sos.end(), {0, 63, 0});
    AppendSegment(out, 0xDA, sos);
    return out;
}

void HandMade::Put(uint32_t bits, int32_t count) {
    for (int32_t i = count - 1; i >= 0; --i) {
        pending_ = pending_ << 1 | ((bits >> i) & 1);
        if (++pendingCount_ == 8) {
            data_.push_back(uint8_t(pending_));
            if (pending_ == 0xFF) {
                data_.push_back(0x00);
            }
            pending_ = 0;
            pendingCount_ = 0;
        }
    }
}

void HandMade::Flush() {
    while (pendingCount_ != 0) {
        Put(1, 1);
    }
}

void HandMade::Block(int32_t dcDifference, const std::vector<std::pair<int32_t, int32_t>>& ac) {
    int32_t size = SizeOf(dcDifference);
    Put(uint32_t(size), 4);
    Put(BitsOf(dcDifference, size), size);
    int32_t k = 1;
    for (auto [run, value] : ac) {
        for (; run >= 16; run -= 16, k += 16) {
            Put(1, 8);
        }
        size = SizeOf(value);
        Put(uint32_t(2 + 10 * run + size - 1), 8);
        Put(BitsOf(value, size), size);
        k += run + 1;
    }
    if (k < 64) {
        Put(0, 8);
    }
}

void HandMade::RestartMarker(int32_t number) {
    Flush();
    data_.insert(data_.end(), {0xFF, uint8_t(0xD0 + number)});
}

Bytes HandMade::Finish() {
    Flush();
    Bytes out = Headers();
    out.insert(out.end(), data_.begin(), data_.end());
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

}  // namespace jpegtest
