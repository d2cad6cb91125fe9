// Decoding an 800x600 photo-like JPEG (quality 85, as 4:2:0 and as 4:4:4) into a 32-bit target: our
// decoder beside libjpeg-turbo (B, G, R, X output, its default DCT) in the same run.
//
//   build/release/bench/bench_jpeg                             full run
//   build/release/bench/bench_jpeg --benchmark_min_time=0.01   short run for CI
//
// Each case runs in repetitions; the last lines give the medians and the ratio ours/libjpeg-turbo.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <map>
#include <string>
#include <vector>
// jpeglib.h needs size_t and FILE first.
#include <jpeglib.h>

#include "graphics/ZOffscreen.h"
#include "imaging/ZJPEGImageReader.h"
#include "media/ZFile.h"
#include "platform/File.h"
#include "tools/itemwriter/ItemWriter.h"

namespace {

constexpr int32_t kWidth = 800;
constexpr int32_t kHeight = 600;

// Smooth shading, hard edges and grain, like a photograph as far as the coder can tell.
std::vector<uint8_t> PhotoLike() {
    std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
    uint32_t state = 12345;
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            state = state * 1664525u + 1013904223u;
            double grain = double(int32_t(state >> 24) - 128) / 24.0;
            double sky = 120 + 90 * std::sin(x * 0.013) * std::cos(y * 0.021);
            double disc = std::hypot(x - 480.0, y - 240.0) < 150 ? 70 : 0;
            double stripe = ((x / 9 + y / 13) % 5 == 0) ? -40 : 0;
            double v[3] = {sky + disc + grain, 0.8 * sky + stripe + 30 + grain,
                           255 - sky - disc / 2 + stripe + grain};
            for (int32_t c = 0; c < 3; ++c) {
                rgb[(size_t(y) * kWidth + size_t(x)) * 3 + size_t(c)] = uint8_t(std::clamp(v[c], 0.0, 255.0));
            }
        }
    }
    return rgb;
}

std::vector<uint8_t> Encode(const std::vector<uint8_t>& rgb, bool subsampled) {
    itemwriter::JpegOptions options;
    options.sampling = subsampled ? itemwriter::JpegSampling::k420 : itemwriter::JpegSampling::k444;
    std::string jpeg = itemwriter::WriteJpeg(kWidth, kHeight, 3, rgb.data(), options);
    return std::vector<uint8_t>(jpeg.begin(), jpeg.end());
}

struct Files {
    std::vector<uint8_t> jpeg420;
    std::vector<uint8_t> jpeg444;
};

const Files& TheFiles() {
    static const Files files = [] {
        std::vector<uint8_t> rgb = PhotoLike();
        return Files{Encode(rgb, true), Encode(rgb, false)};
    }();
    return files;
}

const std::vector<uint8_t>& FileOf(int64_t subsampled) {
    return subsampled != 0 ? TheFiles().jpeg420 : TheFiles().jpeg444;
}

void BM_DecodeOurs(benchmark::State& state) {
    const std::vector<uint8_t>& jpeg = FileOf(state.range(0));
    platform::MemoryFile memory(jpeg.data(), jpeg.size());
    ZFile file;
    file.SetFileSpec(ZFileSpec(memory.GetPath().c_str()));
    file.Open(ZFileObject::kModeRead);
    ZOffscreen target(ZRect{0, 0, kHeight, kWidth}, 32, nullptr, kKindMemory);
    for (auto _ : state) {
        ZJPEGImageReader reader(&file);
        if (reader.ReadHeader() != 0 || reader.ReadImage(target, 7, 0, 0) != 0) {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(target.GetPixels());
        benchmark::ClobberMemory();
    }
}

void BM_DecodeLibjpegTurbo(benchmark::State& state) {
    const std::vector<uint8_t>& jpeg = FileOf(state.range(0));
    std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * 4);
    std::vector<JSAMPROW> rows(kHeight);
    for (int32_t y = 0; y < kHeight; ++y) {
        rows[size_t(y)] = pixels.data() + size_t(y) * kWidth * 4;
    }
    for (auto _ : state) {
        jpeg_decompress_struct info;
        jpeg_error_mgr error;
        info.err = jpeg_std_error(&error);
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
        jpeg_read_header(&info, TRUE);
        info.out_color_space = JCS_EXT_BGRX;
        jpeg_start_decompress(&info);
        while (info.output_scanline < info.output_height) {
            jpeg_read_scanlines(&info, rows.data() + info.output_scanline,
                                info.output_height - info.output_scanline);
        }
        jpeg_finish_decompress(&info);
        jpeg_destroy_decompress(&info);
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
}

constexpr int32_t kRepetitions = 9;

BENCHMARK(BM_DecodeOurs)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);
BENCHMARK(BM_DecodeLibjpegTurbo)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);

// Keeps each case's median time per iteration.
class MedianReporter : public benchmark::ConsoleReporter {
  public:
    // Without colour codes, so that the summary lines stay plain text for scripts.
    MedianReporter() : ConsoleReporter(OO_None) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians_[run.run_name.function_name + "/" + run.run_name.args] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double MedianOf(const std::string& name) const {
        auto it = medians_.find(name);
        return it != medians_.end() ? it->second : 0.0;
    }

  private:
    std::map<std::string, double> medians_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const std::pair<const char*, const char*> cases[] = {{"420", "1"}, {"444", "0"}};
    for (const auto& [name, arg] : cases) {
        std::printf("median decode %s: ours %.1f us, libjpeg-turbo %.1f us\n", name,
                    reporter.MedianOf(std::string("BM_DecodeOurs/") + arg),
                    reporter.MedianOf(std::string("BM_DecodeLibjpegTurbo/") + arg));
    }
    for (const auto& [name, arg] : cases) {
        double ours = reporter.MedianOf(std::string("BM_DecodeOurs/") + arg);
        double theirs = reporter.MedianOf(std::string("BM_DecodeLibjpegTurbo/") + arg);
        std::printf("decode %s: ours/libjpeg-turbo %.2f\n", name, theirs > 0 ? ours / theirs : 0.0);
    }
    return 0;
}
