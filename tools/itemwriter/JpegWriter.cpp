// The one JPEG encoder of the tools and tests: libjpeg-turbo behind itemwriter::WriteJpeg, so that no
// caller sees its headers or its habit of ending the process on an error.
#include <csetjmp>
#include <cstdio>
// jpeglib.h needs size_t and FILE first.
#include <jpeglib.h>

#include <algorithm>
#include <vector>

#include "tools/itemwriter/ItemWriter.h"

namespace itemwriter {

namespace {

// libjpeg's default error_exit ends the process; this one jumps back into WriteJpeg instead.
struct ErrorManager {
    jpeg_error_mgr base;
    jmp_buf jump;
};

[[noreturn]] void JumpBack(j_common_ptr info) {
    longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// Compressed bytes pass through a fixed buffer into a string, so a failure leaves nothing to free.
struct Destination {
    jpeg_destination_mgr base;
    std::string* out;
    JOCTET buffer[4096];
};

Destination& DestinationOf(j_compress_ptr info) {
    return *reinterpret_cast<Destination*>(info->dest);
}

void StartDestination(j_compress_ptr info) {
    Destination& d = DestinationOf(info);
    d.base.next_output_byte = d.buffer;
    d.base.free_in_buffer = sizeof d.buffer;
}

boolean EmptyDestination(j_compress_ptr info) {
    Destination& d = DestinationOf(info);
    d.out->append(reinterpret_cast<const char*>(d.buffer), sizeof d.buffer);
    StartDestination(info);
    return TRUE;
}

void FinishDestination(j_compress_ptr info) {
    Destination& d = DestinationOf(info);
    d.out->append(reinterpret_cast<const char*>(d.buffer), sizeof d.buffer - d.base.free_in_buffer);
}

// Sampling factors, tables, ids and coding choices after jpeg_set_defaults; libjpeg checks the rest
// when compression starts.
void Configure(jpeg_compress_struct& info, const JpegOptions& options) {
    jpeg_set_quality(&info, options.quality, TRUE);
    if (info.num_components == 3) {
        info.comp_info[0].h_samp_factor = options.sampling == JpegSampling::k444 ? 1 : 2;
        info.comp_info[0].v_samp_factor =
            options.sampling == JpegSampling::k444 || options.sampling == JpegSampling::k422 ? 1 : 2;
        for (int32_t c = 1; c < 3; ++c) {
            info.comp_info[c].h_samp_factor = 1;
            info.comp_info[c].v_samp_factor = 1;
            info.comp_info[c].quant_tbl_no = options.chromaQuantTable;
        }
        if (options.chromaQuantTable > 1) {
            unsigned int table[64];
            for (int32_t i = 0; i < 64; ++i) {
                table[i] = unsigned(4 + i / 2);
            }
            jpeg_add_quant_table(&info, options.chromaQuantTable, table, 100, TRUE);
        }
    }
    if (info.num_components == 1 && options.sampling == JpegSampling::kGreyTwoByTwo) {
        info.comp_info[0].h_samp_factor = 2;
        info.comp_info[0].v_samp_factor = 2;
    }
    for (int32_t c = 0; c < int32_t(options.componentIds.size()); ++c) {
        info.comp_info[c].component_id = uint8_t(options.componentIds[size_t(c)]);
    }
    info.restart_interval = JDIMENSION(options.restartInterval);
    info.optimize_coding = options.optimize ? TRUE : FALSE;
    info.arith_code = options.arithmetic ? TRUE : FALSE;
    if (options.progressive) {
        jpeg_simple_progression(&info);
    }
}

}  // namespace

std::string WriteJpeg(int32_t width, int32_t height, int32_t channels, const uint8_t* samples,
                      const JpegOptions& options) {
    int32_t components = options.cmyk ? 4 : channels;
    // What libjpeg cannot see: the samples, the row buffer's size, ids for components that do not exist,
    // and a restart interval its 16-bit marker field would cut short. It refuses the rest itself.
    if (samples == nullptr || (channels != 1 && channels != 3) || width <= 0 || height <= 0 ||
        width > 0xFFFF || height > 0xFFFF ||
        (!options.componentIds.empty() && int32_t(options.componentIds.size()) != components) ||
        options.restartInterval < 0 || options.restartInterval > 0xFFFF) {
        return {};
    }
    std::string out;
    std::vector<uint8_t> row(size_t(width) * size_t(components));
    // Nothing with a destructor is made between setjmp and the last libjpeg call.
    jpeg_compress_struct info = {};
    ErrorManager error;
    info.err = jpeg_std_error(&error.base);
    error.base.error_exit = JumpBack;
    if (setjmp(error.jump) != 0) {
        jpeg_destroy_compress(&info);
        return {};
    }
    jpeg_create_compress(&info);
    Destination destination;
    destination.base.init_destination = StartDestination;
    destination.base.empty_output_buffer = EmptyDestination;
    destination.base.term_destination = FinishDestination;
    destination.out = &out;
    info.dest = &destination.base;
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = components;
    info.in_color_space = options.cmyk ? JCS_CMYK : (channels == 3 ? JCS_RGB : JCS_GRAYSCALE);
    jpeg_set_defaults(&info);
    Configure(info, options);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        const uint8_t* source = samples + size_t(info.next_scanline) * size_t(width) * size_t(channels);
        for (int32_t x = 0; x < width; ++x) {
            for (int32_t c = 0; c < components; ++c) {
                row[size_t(x * components + c)] = source[x * channels + std::min(c, channels - 1)];
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return out;
}

}  // namespace itemwriter
