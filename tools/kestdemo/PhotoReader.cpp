// libjpeg and libpng report a broken file by longjmp. Each function below that sets a jump point holds
// only plain values and pointers, and the decoder state and every buffer live in its caller's frame, so a
// jump never skips a destructor; the caller's guards free the decoders on every path.
#include "tools/kestdemo/PhotoReader.h"

#include <csetjmp>
#include <cstdio>
// jpeglib.h needs size_t and FILE first.
#include <jpeglib.h>
// After jpeglib.h: the message codes.
#include <jerror.h>
#include <png.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>

#include "media/ZTypeCode.h"
#include "tools/kestimg/ImageTool.h"

namespace photo {

namespace {

// Decoded pictures beyond this are refused rather than held (75 MB of RGB): only an extreme panorama,
// whose shorter side alone needs it, gets there.
constexpr int64_t kMostDecodedPixels = int64_t(25) << 20;
// An interlaced PNG can only be read whole, at four bytes a pixel.
constexpr int64_t kMostInterlacedPixels = int64_t(25) << 20;
// libjpeg's working memory. A progressive JPEG keeps all its coefficients whatever the output scale, so
// a huge one is refused by libjpeg ("Backing store not supported") instead of exhausting memory.
constexpr long kJpegWorkingMemory = 120L << 20;

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

std::string SizeText(int64_t width, int64_t height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

// Picture kinds other than JPEG and PNG, by their first bytes: the framework's own readers decode those
// with a type; the others are only named when they are skipped. Targa files have no signature: their
// extension tells.
struct Signature {
    const char* bytes;
    size_t size;
    const char* name;
    ZTypeCode type;  // kTypeUnknown: no reader
};
constexpr Signature kOtherKinds[] = {
    {"GIF8", 4, "GIF", kTypeGif},       {"BM", 2, "BMP", kTypeBmp},
    {"8BPS", 4, "PSD", kTypePhotoshop}, {"II*\0", 4, "TIFF", kTypeUnknown},
    {"MM\0*", 4, "TIFF", kTypeUnknown},
};

bool EndsWithTga(const std::string& path) {
    std::string tail = path.size() >= 4 ? path.substr(path.size() - 4) : "";
    for (char& c : tail) {
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    return tail == ".tga";
}

// Decodes a picture of another kind with the framework's reader for type, whole (an animation's first
// frame); no orientation or description comes with it.
bool ReadWithFramework(const std::string& path, ZTypeCode type, Image& out, std::string& error) {
    imgtool::RgbPicture picture;
    if (!imgtool::DecodeFile(path, type, kMostDecodedPixels, picture, error)) {
        if (error.rfind(path + ": ", 0) == 0) {
            error.erase(0, path.size() + 2);
        }
        return false;
    }
    out.width = picture.width;
    out.height = picture.height;
    out.rgb = std::move(picture.rgb);
    return true;
}

// ---- JPEG ----

struct JpegError {
    jpeg_error_mgr base;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void JpegFail(j_common_ptr info) {
    JpegError* e = reinterpret_cast<JpegError*>(info->err);
    info->err->format_message(info, e->message);
    longjmp(e->jump, 1);
}

// Warnings (a truncated scan, stray bytes) still leave a picture worth showing; they are not printed.
void JpegQuiet(j_common_ptr, int) {}

struct JpegState {
    jpeg_decompress_struct info;
    JpegError error;
    JpegState() {
        std::memset(&info, 0, sizeof info);
        std::memset(&error, 0, sizeof error);
    }
    // Safe on a struct that was never created (its memory manager is still null).
    ~JpegState() { jpeg_destroy_decompress(&info); }
};

// Reads the header and the EXIF block, and picks the smallest DCT scale (n/8) whose output covers
// coverWidth x coverHeight once turned upright.
bool ReadJpegHeader(JpegState* s, FILE* file, int32_t coverWidth, int32_t coverHeight, exif::Info* exif) {
    s->info.err = jpeg_std_error(&s->error.base);
    s->error.base.error_exit = JpegFail;
    s->error.base.emit_message = JpegQuiet;
    if (setjmp(s->error.jump)) {
        return false;
    }
    jpeg_create_decompress(&s->info);
    s->info.mem->max_memory_to_use = kJpegWorkingMemory;
    jpeg_stdio_src(&s->info, file);
    jpeg_save_markers(&s->info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(&s->info, TRUE);
    for (jpeg_saved_marker_ptr m = s->info.marker_list; m != nullptr; m = m->next) {
        if (exif::Parse(m->data, m->data_length, *exif)) {
            break;
        }
    }
    bool turned = exif->orientation > 4;
    JDIMENSION wantWidth = JDIMENSION(turned ? coverHeight : coverWidth);
    JDIMENSION wantHeight = JDIMENSION(turned ? coverWidth : coverHeight);
    // libjpeg-turbo turns YCCK into CMYK but not into RGB; that last step is ours.
    bool cmyk = s->info.jpeg_color_space == JCS_CMYK || s->info.jpeg_color_space == JCS_YCCK;
    s->info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    s->info.scale_denom = 8;
    for (unsigned num = 1; num <= 8; ++num) {
        s->info.scale_num = num;
        jpeg_calc_output_dimensions(&s->info);
        if (s->info.output_width >= wantWidth && s->info.output_height >= wantHeight) {
            break;
        }
    }
    return true;
}

// Adobe's CMYK JPEGs store the inks inverted (255: none), others plainly.
void CmykToRgb(const uint8_t* cmyk, uint8_t* rgb, JDIMENSION width, bool inverted) {
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
        int k = inverted ? cmyk[3] : 255 - cmyk[3];
        for (int c = 0; c < 3; ++c) {
            int ink = inverted ? cmyk[c] : 255 - cmyk[c];
            rgb[c] = uint8_t((ink * k + 127) / 255);
        }
    }
}

// Decodes the rows into rgb (output_width x output_height x 3); cmykRow holds output_width x 4 bytes.
bool ReadJpegPixels(JpegState* s, uint8_t* rgb, uint8_t* cmykRow) {
    if (setjmp(s->error.jump)) {
        return false;
    }
    jpeg_start_decompress(&s->info);
    JDIMENSION width = s->info.output_width;
    while (s->info.output_scanline < s->info.output_height) {
        uint8_t* row = rgb + size_t(s->info.output_scanline) * width * 3;
        JSAMPROW target = s->info.out_color_space == JCS_CMYK ? cmykRow : row;
        if (jpeg_read_scanlines(&s->info, &target, 1) != 1) {
            break;  // the data ran out: libjpeg has filled the rest grey
        }
        if (target == cmykRow) {
            CmykToRgb(cmykRow, row, width, s->info.saw_Adobe_marker);
        }
    }
    jpeg_finish_decompress(&s->info);
    return true;
}

bool ReadJpeg(FILE* file, int32_t coverWidth, int32_t coverHeight, Image& out, exif::Info& exif,
              std::string& error) {
    JpegState state;
    if (!ReadJpegHeader(&state, file, coverWidth, coverHeight, &exif)) {
        error = state.error.message;
        return false;
    }
    int64_t width = state.info.output_width, height = state.info.output_height;
    if (width * height > kMostDecodedPixels) {
        error = "too large to read (" + SizeText(state.info.image_width, state.info.image_height) + ")";
        return false;
    }
    out.width = int32_t(width);
    out.height = int32_t(height);
    out.rgb.assign(size_t(width * height * 3), 0);
    std::vector<uint8_t> cmykRow(size_t(width) * 4);
    if (!ReadJpegPixels(&state, out.rgb.data(), cmykRow.data())) {
        bool tooLarge = state.error.base.msg_code == JERR_NO_BACKING_STORE;
        error = tooLarge ? "progressive and too large to read (" +
                               SizeText(state.info.image_width, state.info.image_height) + ")"
                         : state.error.message;
        return false;
    }
    return true;
}

// ---- PNG ----

struct PngState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    char message[200] = {};
    ~PngState() { png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr); }
};

[[noreturn]] void PngFail(png_structp png, png_const_charp message) {
    PngState* s = static_cast<PngState*>(png_get_error_ptr(png));
    std::snprintf(s->message, sizeof s->message, "%s", message);
    png_longjmp(png, 1);
}

void PngQuiet(png_structp, png_const_charp) {}

// Reads the header and asks libpng for 8-bit R, G, B, A rows whatever the stored format (palette, grey,
// 16 bits, with or without transparency). passes: 1, or 7 for an interlaced file.
bool ReadPngHeader(PngState* s, FILE* file, int* passes) {
    if (setjmp(png_jmpbuf(s->png))) {
        return false;
    }
    png_init_io(s->png, file);
    png_read_info(s->png, s->info);
    png_set_expand(s->png);
    png_set_scale_16(s->png);
    png_set_gray_to_rgb(s->png);
    png_set_add_alpha(s->png, 0xFF, PNG_FILLER_AFTER);
    *passes = png_set_interlace_handling(s->png);
    png_read_update_info(s->png, s->info);
    return true;
}

// Averages factor x factor blocks of R, G, B, A rows as they arrive, transparency composited onto black;
// the few columns and rows past the last whole block are dropped.
class BoxReducer {
  public:
    BoxReducer(int32_t width, int32_t factor) : factor_(factor), sums_(size_t(width / factor) * 3) {}
    void Start(int32_t width, int32_t height, Image& out) {
        out.width = width / factor_;
        out.height = height / factor_;
        out.rgb.assign(size_t(out.width) * size_t(out.height) * 3, 0);
        out_ = &out;
    }
    void Add(const uint8_t* rgba) {
        int32_t outRow = row_++ / factor_;
        if (outRow >= out_->height) {
            return;
        }
        for (size_t x = 0; x < size_t(out_->width) * size_t(factor_); ++x) {
            const uint8_t* p = rgba + 4 * x;
            uint64_t* sum = &sums_[x / size_t(factor_) * 3];
            for (int c = 0; c < 3; ++c) {
                sum[c] += uint64_t(p[c]) * p[3];
            }
        }
        if (row_ % factor_ == 0) {
            uint64_t divisor = 255 * uint64_t(factor_) * uint64_t(factor_);
            uint8_t* target = &out_->rgb[size_t(outRow) * size_t(out_->width) * 3];
            for (size_t i = 0; i < sums_.size(); ++i) {
                target[i] = uint8_t((sums_[i] + divisor / 2) / divisor);
                sums_[i] = 0;
            }
        }
    }

  private:
    int32_t factor_;
    int32_t row_ = 0;
    std::vector<uint64_t> sums_;
    Image* out_ = nullptr;
};

bool ReadPngRows(PngState* s, uint32_t height, uint8_t* row, BoxReducer* reducer) {
    if (setjmp(png_jmpbuf(s->png))) {
        return false;
    }
    for (uint32_t y = 0; y < height; ++y) {
        png_read_row(s->png, row, nullptr);
        reducer->Add(row);
    }
    return true;
}

bool ReadPngWhole(PngState* s, png_bytepp rows) {
    if (setjmp(png_jmpbuf(s->png))) {
        return false;
    }
    png_read_image(s->png, rows);
    return true;
}

bool ReadPng(FILE* file, int32_t coverWidth, int32_t coverHeight, Image& out, std::string& error) {
    PngState state;
    state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, PngFail, PngQuiet);
    state.info = state.png != nullptr ? png_create_info_struct(state.png) : nullptr;
    if (state.info == nullptr) {
        error = "out of memory";
        return false;
    }
    int passes = 1;
    if (!ReadPngHeader(&state, file, &passes)) {
        error = state.message;
        return false;
    }
    uint32_t width = png_get_image_width(state.png, state.info);
    uint32_t height = png_get_image_height(state.png, state.info);
    if (png_get_rowbytes(state.png, state.info) != size_t(width) * 4) {
        error = "unexpected PNG row layout";
        return false;
    }
    // The largest whole reduction that still covers what is needed.
    int32_t factor = int32_t(
        std::max<uint32_t>(1, std::min(width / uint32_t(coverWidth), height / uint32_t(coverHeight))));
    if (int64_t(width / uint32_t(factor)) * (height / uint32_t(factor)) > kMostDecodedPixels ||
        (passes > 1 && int64_t(width) * height > kMostInterlacedPixels)) {
        error = std::string(passes > 1 ? "interlaced and " : "") + "too large to read (" +
                SizeText(width, height) + ")";
        return false;
    }
    BoxReducer reducer(int32_t(width), factor);
    reducer.Start(int32_t(width), int32_t(height), out);
    if (passes == 1) {
        std::vector<uint8_t> row(size_t(width) * 4);
        if (!ReadPngRows(&state, height, row.data(), &reducer)) {
            error = state.message;
            return false;
        }
        return true;
    }
    std::vector<uint8_t> pixels(size_t(width) * height * 4);
    std::vector<png_bytep> rows(height);
    for (uint32_t y = 0; y < height; ++y) {
        rows[y] = &pixels[size_t(y) * width * 4];
    }
    if (!ReadPngWhole(&state, rows.data())) {
        error = state.message;
        return false;
    }
    for (png_bytep row : rows) {
        reducer.Add(row);
    }
    return true;
}

// ---- Resampling ----

// How output pixel i of count draws on source pixels first, first + 1, ...: each weight is the share of
// the output pixel's span that the source pixel covers.
struct Taps {
    int32_t first;
    std::vector<float> weights;
};

std::vector<Taps> AreaTaps(int32_t start, int32_t length, int32_t count) {
    std::vector<Taps> out(static_cast<size_t>(count));
    double step = double(length) / count;
    for (int32_t i = 0; i < count; ++i) {
        double a = start + i * step, b = a + step;
        int32_t first = int32_t(std::floor(a)), last = std::min(start + length, int32_t(std::ceil(b)));
        out[size_t(i)].first = first;
        for (int32_t s = first; s < last; ++s) {
            out[size_t(i)].weights.push_back(float((std::min(b, s + 1.0) - std::max(a, double(s))) / step));
        }
    }
    return out;
}

}  // namespace

bool ReadPhoto(const std::string& path, int32_t coverWidth, int32_t coverHeight, Photo& out,
               std::string& error) {
    out = Photo{};
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    uint8_t head[8] = {};
    size_t got = std::fread(head, 1, sizeof head, file.get());
    std::rewind(file.get());
    Image decoded;
    bool ok = false;
    if (got >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) {
        ok = ReadJpeg(file.get(), coverWidth, coverHeight, decoded, out.exif, error);
    } else if (got == 8 && png_sig_cmp(head, 0, 8) == 0) {
        ok = ReadPng(file.get(), coverWidth, coverHeight, decoded, error);
    } else {
        const Signature* kind = nullptr;
        for (const Signature& s : kOtherKinds) {
            if (got >= s.size && std::memcmp(head, s.bytes, s.size) == 0) {
                kind = &s;
            }
        }
        if (kind != nullptr && kind->type != kTypeUnknown) {
            ok = ReadWithFramework(path, kind->type, decoded, error);
        } else if (kind == nullptr && EndsWithTga(path)) {
            ok = ReadWithFramework(path, kTypeTarga, decoded, error);
        } else {
            error = kind != nullptr
                        ? std::string("a ") + kind->name + " file, not a photo kind kestdemo reads"
                        : "not a picture kestdemo reads (JPEG, PNG, GIF, BMP, PSD or Targa)";
        }
    }
    if (!ok) {
        return false;
    }
    out.image = Orient(decoded, out.exif.orientation);
    return true;
}

Image Orient(const Image& image, int orientation) {
    // Per EXIF orientation: output (x, y) reads input (u, v) = swap ? (y, x) : (x, y), each then mirrored
    // when flipU / flipV is set.
    struct Turn {
        bool swap, flipU, flipV;
    };
    static constexpr Turn kTurns[9] = {{false, false, false}, {false, false, false}, {false, true, false},
                                       {false, true, true},   {false, false, true},  {true, false, false},
                                       {true, false, true},   {true, true, true},    {true, true, false}};
    const Turn& t = kTurns[orientation >= 1 && orientation <= 8 ? orientation : 1];
    Image out;
    out.width = t.swap ? image.height : image.width;
    out.height = t.swap ? image.width : image.height;
    out.rgb.resize(image.rgb.size());
    for (int32_t y = 0; y < out.height; ++y) {
        for (int32_t x = 0; x < out.width; ++x) {
            int32_t u = t.swap ? y : x, v = t.swap ? x : y;
            u = t.flipU ? image.width - 1 - u : u;
            v = t.flipV ? image.height - 1 - v : v;
            std::memcpy(&out.rgb[(size_t(y) * size_t(out.width) + size_t(x)) * 3],
                        &image.rgb[(size_t(v) * size_t(image.width) + size_t(u)) * 3], 3);
        }
    }
    return out;
}

Image CropToFill(const Image& image, int32_t width, int32_t height) {
    // The largest centred part of the target's aspect.
    int32_t cropWidth = image.width, cropHeight = image.height;
    if (int64_t(image.width) * height > int64_t(image.height) * width) {
        cropWidth = std::max<int32_t>(1, int32_t(std::lround(double(image.height) * width / height)));
    } else {
        cropHeight = std::max<int32_t>(1, int32_t(std::lround(double(image.width) * height / width)));
    }
    std::vector<Taps> columns = AreaTaps((image.width - cropWidth) / 2, cropWidth, width);
    std::vector<Taps> rows = AreaTaps((image.height - cropHeight) / 2, cropHeight, height);
    // Across first, for the source rows the crop uses; then down.
    int32_t top = rows.front().first, used = rows.back().first + int32_t(rows.back().weights.size()) - top;
    std::vector<float> across(size_t(used) * size_t(width) * 3, 0.0f);
    for (int32_t y = 0; y < used; ++y) {
        const uint8_t* source = &image.rgb[size_t(top + y) * size_t(image.width) * 3];
        float* target = &across[size_t(y) * size_t(width) * 3];
        for (int32_t x = 0; x < width; ++x) {
            const Taps& tap = columns[size_t(x)];
            for (size_t k = 0; k < tap.weights.size(); ++k) {
                for (int c = 0; c < 3; ++c) {
                    target[size_t(x) * 3 + size_t(c)] +=
                        tap.weights[k] * float(source[(size_t(tap.first) + k) * 3 + size_t(c)]);
                }
            }
        }
    }
    Image out;
    out.width = width;
    out.height = height;
    out.rgb.resize(size_t(width) * size_t(height) * 3);
    for (int32_t y = 0; y < height; ++y) {
        const Taps& tap = rows[size_t(y)];
        for (size_t i = 0; i < size_t(width) * 3; ++i) {
            float sum = 0;
            for (size_t k = 0; k < tap.weights.size(); ++k) {
                sum += tap.weights[k] * across[(size_t(tap.first - top) + k) * size_t(width) * 3 + i];
            }
            out.rgb[size_t(y) * size_t(width) * 3 + i] = uint8_t(std::clamp(std::lround(sum), 0L, 255L));
        }
    }
    return out;
}

}  // namespace photo
